#!/usr/bin/env bash
# The quick test command, for every change while working: installs what is
# missing, builds the programs and the whole suite into build-quick/ with
# warnings as errors but without optimisation or debug information (the Quick
# build type, cmake/MiravelOptions.cmake; no benchmarks) and runs every test,
# the package check included (its fresh build is a Quick one too). The full
# command, scripts/test.sh, adds the optimised build, fuzzing and the
# sanitized suite.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-quick"
# The package check runs scripts/package.sh, which wants lintian: installed
# here, before the suite, not by a test. It builds with this build type.
export MIRAVEL_WITH_PACKAGE_TOOLS=1 MIRAVEL_BUILD_TYPE=Quick
"$root/scripts/setup.sh"
cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Quick -DMIRAVEL_WERROR=ON \
  -DMIRAVEL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
cd "$build"
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
