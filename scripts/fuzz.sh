#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/) with clang and libFuzzer into build-fuzz/
# and runs each for a bounded time from its seed corpus, two at a time:
#   fuzz.sh              every target for 30 s (MIRAVEL_FUZZ_SECONDS to change)
#   fuzz.sh -R ini       only the targets whose test name matches
# A crash, a hang or a leak fails the target's test; the input that caused it
# is kept in build-fuzz/fuzz/crashes/. Ends with each target's executions.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
cmake -G Ninja -S "$root" -B "$root/build-fuzz" -DCMAKE_CXX_COMPILER=clang++ \
  -DMIRAVEL_BUILD_FUZZ=ON -DMIRAVEL_BUILD_UI=OFF -DMIRAVEL_BUILD_TESTS=OFF \
  -DMIRAVEL_BUILD_BENCH=OFF -DMIRAVEL_WERROR=ON \
  -DMIRAVEL_FUZZ_SECONDS="${MIRAVEL_FUZZ_SECONDS:-30}" >/dev/null
cmake --build "$root/build-fuzz" -j "$(nproc)"
cd "$root/build-fuzz"
status=0
ctest --output-on-failure --parallel "$(nproc)" "$@" || status=$?
# libFuzzer's closing statistics, one line per target.
awk '/^[0-9]+\/[0-9]+ Testing: / { target = $3 }
     /stat::number_of_executed_units/ { print target ": " $2 " executions" }' \
  Testing/Temporary/LastTest.log
exit "$status"
