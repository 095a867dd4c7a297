#!/usr/bin/env bash
# Builds the Debian package the way the README says, with scripts/package.sh
# into a fresh build folder (so that the command must build everything the
# package installs), and checks what an office would install: every program
# the suite's build made, the files it lists, nothing writable
# and nothing but /usr, the programs running from the unpacked package, a
# manual page that names every option of each program's --help, a valid menu
# entry and, where the tools are installed, valid timer units and no lintian
# errors.
#   PackageCheck.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$1"
source="$2"
for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing (scripts/setup.sh installs it)"
    exit 77
  fi
done
scratch=$(mktemp -d "${TMPDIR:-/tmp}/miravel-package-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failed=0
fail() {
  echo "FAIL: $*" >&2
  failed=1
}

if ! MIRAVEL_BUILD_DIR="$scratch/build" "$source/scripts/package.sh" >"$scratch/package.log" 2>&1; then
  tail -n 40 "$scratch/package.log" >&2
  echo "FAIL: scripts/package.sh failed in a fresh build folder" >&2
  exit 1
fi
debs=("$scratch"/build/miravel_*.deb)
[ -f "${debs[0]}" ] || { echo "FAIL: cpack made no package" >&2; exit 1; }
deb="${debs[0]}"
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes"

listing=$(dpkg-deb -c "$deb")
paths=$(awk '{print $6}' <<<"$listing")
for path in \
  ./usr/bin/miravel ./usr/bin/miravel-aktar ./usr/bin/miravel-personel ./usr/bin/miravel-cihaz \
  ./usr/bin/miravel-terminal-emulator \
  ./usr/share/applications/miravel.desktop \
  ./usr/share/icons/hicolor/48x48/apps/miravel.png \
  ./usr/share/icons/hicolor/128x128/apps/miravel.png \
  ./usr/share/icons/hicolor/scalable/apps/miravel.svg \
  ./usr/lib/systemd/user/miravel-aktar.service ./usr/lib/systemd/user/miravel-aktar.timer \
  ./usr/lib/systemd/user/miravel-cihaz-saat.service ./usr/lib/systemd/user/miravel-cihaz-saat.timer \
  ./usr/share/miravel/yardim/index.html \
  ./usr/share/doc/miravel/copyright ./usr/share/doc/miravel/changelog.gz; do
  grep -qxF "$path" <<<"$paths" || fail "the package lacks $path"
done
programs=$(sed -n 's|^\./usr/bin/\(.\+\)$|\1|p' <<<"$paths")
# Every program the suite's build made (miravel and miravel-<name>; tests and
# tools are named with underscores) is in the package.
built=$(find "$build" -name CMakeFiles -prune -o -type f -executable -regextype posix-extended \
  -regex '.*/miravel(-[a-z]+)*' -printf '%f\n' | sort -u)
for program in $built; do
  grep -qxF "$program" <<<"$programs" || fail "the package lacks the program $program"
done
for program in $programs; do
  grep -qxF "./usr/share/man/man1/$program.1.gz" <<<"$paths" || fail "$program has no manual page"
done
# The office's files live in the user's data folder: nothing under /usr may
# be writable by anyone but root, and nothing may land outside /usr.
writable=$(awk '$1 !~ /^l/ && (substr($1, 6, 1) == "w" || substr($1, 9, 1) == "w")' <<<"$listing")
[ -z "$writable" ] || fail "writable by group or others: $writable"
owners=$(awk '$2 != "root/root"' <<<"$listing")
[ -z "$owners" ] || fail "not owned by root: $owners"
outside=$(grep -v -e '^\./$' -e '^\./usr/' <<<"$paths" || true)
[ -z "$outside" ] || fail "outside /usr: $outside"
office=$(grep -E '/(personel|yedekler)/?$|cihazlar\.ini' <<<"$paths" || true)
[ -z "$office" ] || fail "office files in the package: $office"

depends=$(dpkg-deb -f "$deb" Depends)
for package in libc6 libstdc++6 libqt6widgets6 qt6-qpa-plugins; do
  grep -q "\b$package\b" <<<"$depends" || fail "Depends lacks $package: $depends"
done

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
help=$("$root/usr/bin/miravel-aktar" --help) || fail "miravel-aktar --help failed"
grep -q "^Kullanım: miravel-aktar" <<<"$help" || fail "miravel-aktar --help: $help"
# As the timer runs it before the window ever opened: no office folder yet.
# It must fail (a failed unit) and name the folder it looked for.
status=0
output=$(env -i HOME="$scratch/home" "$root/usr/bin/miravel-aktar" 2>&1) || status=$?
[ "$status" -eq 2 ] || fail "miravel-aktar without an office folder ended with $status: $output"
grep -qF "$scratch/home/.local/share/miravel" <<<"$output" ||
  fail "miravel-aktar does not name the data folder: $output"

for program in $programs; do
  options=$("$root/usr/bin/$program" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u) ||
    fail "$program --help failed"
  page=$(gzip -dc "$root/usr/share/man/man1/$program.1.gz" | sed 's/\\-/-/g')
  for option in $options; do
    grep -qF -- "$option" <<<"$page" || fail "$program.1 does not describe $option"
  done
done

desktop-file-validate "$root/usr/share/applications/miravel.desktop" ||
  fail "the menu entry does not validate"
if command -v systemd-analyze >/dev/null; then
  # Verified beside the unpacked program, which their ExecStart then names.
  mkdir "$scratch/units"
  for unit in miravel-aktar.service miravel-aktar.timer miravel-cihaz-saat.service \
    miravel-cihaz-saat.timer; do
    sed "s|=/usr/bin/|=$root/usr/bin/|" "$root/usr/lib/systemd/user/$unit" >"$scratch/units/$unit"
  done
  systemd-analyze verify --man=no "$scratch"/units/miravel-aktar.{service,timer} \
    "$scratch"/units/miravel-cihaz-saat.{service,timer} || fail "the timer units do not verify"
fi
if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1 || true
  grep -q '^E:' "$scratch/lintian.log" && fail "lintian errors: $(grep '^E:' "$scratch/lintian.log")"
  echo "lintian: $(grep -c '^W:' "$scratch/lintian.log" || true) warnings, no errors"
fi
exit "$failed"
