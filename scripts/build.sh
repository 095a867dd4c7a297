#!/usr/bin/env bash
# Configures and builds Miravel into build/ (warnings are errors):
#   build.sh            everything, tests and benchmarks included
#   build.sh TARGET...  only these targets
# MIRAVEL_BUILD_DIR names another build folder (the package check builds
# into a fresh one); MIRAVEL_BUILD_TYPE a CMake build type (RelWithDebInfo
# unless the folder was configured otherwise; the quick test command sets
# Quick, which its package check inherits).
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
