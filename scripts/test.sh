#!/usr/bin/env bash
# The full test command, which CI runs (.ci/run) and which runs before a
# submission (scripts/test-quick.sh is the quick one): installs what is
# missing, then
#   1. builds into build/ with warnings as errors and runs every test;
#   2. runs each fuzz target for 30 s from its seed corpus (scripts/fuzz.sh,
#      build-fuzz/, clang and libFuzzer, no Qt);
#   3. builds the whole suite again with AddressSanitizer and
#      UndefinedBehaviorSanitizer and runs it (scripts/test-sanitized.sh,
#      build-asan/), where any report fails its test.
# Ends with CTest's summary line of the sanitized suite. From a clean clone on
# two cores shared with other builds it took 17 minutes: build and tests 7.3,
# fuzzing 3.2 (1.6 of it building), sanitized build and suite 6.4.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# The package check runs scripts/package.sh, which wants lintian: installed
# here, before the suite, not by a test.
export MIRAVEL_WITH_PACKAGE_TOOLS=1
"$root/scripts/build.sh"
(cd "$root/build" && ctest --output-on-failure --parallel "$(nproc)" --timeout 600)
"$root/scripts/fuzz.sh"
"$root/scripts/test-sanitized.sh"
