#!/usr/bin/env bash
# Configures and builds Miravel into build/ (warnings are errors):
#   build.sh            everything, tests and benchmarks included
#   build.sh TARGET...  only these targets
# MIRAVEL_BUILD_DIR names another build folder (the package check builds
# into a fresh one).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
build="${MIRAVEL_BUILD_DIR:-$root/build}"
cmake -G Ninja -S "$root" -B "$build" -DMIRAVEL_WERROR=ON >/dev/null
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build "$build" -j "$(nproc)" "${targets[@]}"
