#!/usr/bin/env bash
# Configures and builds Miravel into build/ (warnings are errors):
#   build.sh            everything, tests and benchmarks included
#   build.sh TARGET...  only these targets
# MIRAVEL_BUILD_DIR names another build folder (the package check builds
# into a fresh one); MIRAVEL_BUILD_TYPE a CMake build type (RelWithDebInfo
# unless the folder was configured otherwise). The package check's fresh
# build inherits it: MIRAVEL_BUILD_TYPE=Quick ctest -R miravel_package_check
# in build-quick/ builds that package without optimisation too.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
build="${MIRAVEL_BUILD_DIR:-$root/build}"
type=()
if [ -n "${MIRAVEL_BUILD_TYPE:-}" ]; then type=(-DCMAKE_BUILD_TYPE="$MIRAVEL_BUILD_TYPE"); fi
cmake -G Ninja -S "$root" -B "$build" -DMIRAVEL_WERROR=ON "${type[@]}" >/dev/null
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build "$build" -j "$(nproc)" "${targets[@]}"
