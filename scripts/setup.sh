#!/usr/bin/env bash
# Installs the Debian packages Miravel needs to build, test and run, when they
# are missing. Safe to run again: it installs nothing that is already there.
set -euo pipefail

packages=(cmake ninja-build g++ qt6-base-dev libgtest-dev libgmock-dev fonts-dejavu-core)
# The package check in the tests: dpkg-shlibdeps and the menu entry's validator.
packages+=(dpkg-dev desktop-file-utils)
# The fuzz targets: clang with libFuzzer and its sanitizer runtimes (the
# sanitized suite uses g++'s own).
packages+=(clang libclang-rt-dev)
if [ "${MIRAVEL_WITH_PACKAGE_TOOLS:-0}" = 1 ]; then
  packages+=(lintian)
fi
if [ "${MIRAVEL_WITH_DISPLAY_TOOLS:-0}" = 1 ]; then
  packages+=(xvfb xauth imagemagick)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Kurulacak paketler: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
