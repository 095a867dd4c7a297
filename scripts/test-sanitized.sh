#!/usr/bin/env bash
# Builds every test and program with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan/ and runs the whole suite there.
# Any report (a bad memory access, a leak, undefined behaviour) ends the
# program that made it, so the test fails. The package check and the
# benchmarks are left out: they test nothing a sanitizer sees.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
cmake -G Ninja -S "$root" -B "$root/build-asan" -DMIRAVEL_WERROR=ON -DMIRAVEL_SANITIZE=ON \
  -DMIRAVEL_BUILD_BENCH=OFF -DMIRAVEL_BUILD_PACKAGE=OFF >/dev/null
cmake --build "$root/build-asan" -j "$(nproc)"

# Programs the tests start (the emulator, miravel-aktar) inherit these. Every
# report of every process goes to build-asan/sanitizer-reports/ and is shown
# at the end, so that one in a program whose failure no test noticed (a leak
# when a test stops the emulator) still fails the run. No leak needs
# suppressing: the suite runs clean with Qt's offscreen platform and
# fontconfig, so any leak reported is ours.
reports="$root/build-asan/sanitizer-reports"
rm -rf "$reports" && mkdir -p "$reports"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1:log_path=$reports/asan"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$reports/ubsan"
cd "$root/build-asan"
status=0
ctest --output-on-failure --parallel "$(nproc)" --timeout 900 || status=$?
if [ -n "$(ls -A "$reports")" ]; then
  echo "Sanitizer reports:"
  for report in "$reports"/*; do echo "== $report"; cat "$report"; done
  exit 1
fi
exit "$status"
