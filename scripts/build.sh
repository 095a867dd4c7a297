#!/usr/bin/env bash
# Configures and builds Miravel into build/ (warnings are errors):
#   build.sh            everything, tests and benchmarks included
#   build.sh TARGET...  only these targets
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
cmake -G Ninja -S "$root" -B "$root/build" -DMIRAVEL_WERROR=ON >/dev/null
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build "$root/build" -j "$(nproc)" "${targets[@]}"
