#!/usr/bin/env bash
# Builds the Debian package build/miravel_VERSION_ARCH.deb (the same as
# `cmake --build build --target package`, without building the tests first)
# and runs lintian on it. It builds everything the package installs, from a
# clone without build/. MIRAVEL_BUILD_DIR names another build folder.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
MIRAVEL_WITH_PACKAGE_TOOLS=1 "$root/scripts/setup.sh"
"$root/scripts/build.sh" miravel_package_contents
build="${MIRAVEL_BUILD_DIR:-$root/build}"
cd "$build"
rm -f miravel_*.deb
cpack --config CPackConfig.cmake
deb=$(ls miravel_*.deb)
echo "Paket: $build/$deb ($(du -h "$deb" | cut -f1))"
lintian --tag-display-limit 0 "$deb" || true
