#!/usr/bin/env bash
# Runs the README's main command, scripts/demo.sh, as a newcomer without a
# display would: into a fresh build folder (so that the demo must build
# everything it installs) and a scratch demo folder (MIRAVEL_BUILD_DIR,
# MIRAVEL_DEMO_DIR), and checks what it prints: the three running terminals
# transferred, the one that is not running unreachable, and the head of the
# record file. The checkout is left as it was.
#   DemoCheck.sh SOURCE_DIR
set -euo pipefail
source="$1"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/miravel-demo-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failed=0
fail() {
  echo "FAIL: $*" >&2
  failed=1
}

had_demo=0
[ -e "$source/demo" ] && had_demo=1
status=0
env -u DISPLAY -u WAYLAND_DISPLAY MIRAVEL_BUILD_DIR="$scratch/build" MIRAVEL_DEMO_DIR="$scratch/demo" \
  MIRAVEL_KLASORU="$scratch/not-the-demo" "$source/scripts/demo.sh" >"$scratch/demo.log" 2>&1 ||
  status=$?
if [ "$status" -ne 0 ]; then
  tail -n 40 "$scratch/demo.log" >&2
  echo "FAIL: scripts/demo.sh ended with $status in a fresh build folder" >&2
  exit 1
fi
log=$(cat "$scratch/demo.log")
for line in \
  "1 Merkez Giriş: aktarıldı, 400 kayıt" \
  "2 Üretim Atölyesi: aktarıldı, 900 kayıt" \
  "3 Depo (seri hat): aktarıldı, 150 kayıt" \
  "4 Şube Ofisi: bağlantı kurulamadı" \
  "miravel-aktar çıkış durumu: 1" \
  "--- tr500.txt (ilk 10 satır, toplam 1450) ---"; do
  grep -qxF -- "$line" <<<"$log" || fail "the demo did not print \"$line\""
done
# Ten record lines follow the heading, as payroll reads them and in time order.
head=$(sed -n '/^--- tr500.txt/,/^--- yedekler/p' <<<"$log" | sed '1d;$d' | tr -d '\r')
records=$(grep -cE '^[0-9]{3},[0-9]{5},[0-9] [0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:00$' \
  <<<"$head" || true)
[ "$records" -eq 10 ] || fail "the head of the record file is not ten record lines: $head"
cut -c13- <<<"$head" | sort -c || fail "the head of the record file is not in time order: $head"
[ -f "$scratch/demo/miravel/tr500.txt" ] || fail "no record file in the demo's folder"
[ "$had_demo" -eq 1 ] || [ ! -e "$source/demo" ] || fail "the demo wrote into the checkout"
[ "$failed" -eq 0 ] && echo "demo: 3 terminals transferred, the fourth unreachable"
exit "$failed"
