#!/usr/bin/env bash
# The test command: installs what is missing, builds into build/ with warnings
# as errors, and runs every test. Ends with CTest's summary line.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh"
cd "$root/build"
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
