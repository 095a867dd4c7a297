#!/usr/bin/env bash
# Runs the README's main command, scripts/demo.sh, as a newcomer without a
# display would, into a fresh build folder (so that the demo must build all it
# installs) and a scratch demo folder, and checks what it prints: the three
# running terminals transferred, the stopped one unreachable, the head of the
# record file. The checkout is left as it was.
#   DemoCheck.sh SOURCE_DIR
set -euo pipefail
source="$1"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/miravel-demo-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
had_demo=$([ -e "$source/demo" ] && echo 1 || echo 0)
# An office folder named in the environment must not take the demo's transfer.
if ! env -u DISPLAY -u WAYLAND_DISPLAY MIRAVEL_BUILD_DIR="$scratch/build" \
  MIRAVEL_DEMO_DIR="$scratch/demo" MIRAVEL_KLASORU="$scratch/office" \
  "$source/scripts/demo.sh" >"$scratch/demo.log" 2>&1; then
  tail -n 40 "$scratch/demo.log" >&2
  echo "FAIL: scripts/demo.sh failed in a fresh build folder" >&2
  exit 1
fi
failed=0
for line in "1 Merkez Giriş: aktarıldı, 400 kayıt" "2 Üretim Atölyesi: aktarıldı, 900 kayıt" \
  "3 Depo (seri hat): aktarıldı, 150 kayıt" "4 Şube Ofisi: bağlantı kurulamadı" \
  "miravel-aktar çıkış durumu: 1" "--- tr500.txt (ilk 10 satır, toplam 1450) ---"; do
  grep -qxF -- "$line" "$scratch/demo.log" || { echo "FAIL: the demo did not print \"$line\"" >&2; failed=1; }
done
# Ten record lines follow, as payroll reads them and in time order.
head=$(sed -n '/^--- tr500.txt/,/^--- yedekler/{//!p}' "$scratch/demo.log" | tr -d '\r')
if [ "$(grep -cE '^[0-9]{3},[0-9]{5},[0-9] [0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:00$' <<<"$head")" != 10 ] ||
  ! cut -c13- <<<"$head" | sort -c; then
  echo "FAIL: the head of the record file is not ten record lines in time order: $head" >&2
  failed=1
fi
[ "$had_demo" = 1 ] || [ ! -e "$source/demo" ] || { echo "FAIL: the demo wrote into the checkout" >&2; failed=1; }
[ "$failed" = 1 ] || echo "demo: 3 terminals transferred, the fourth unreachable"
exit "$failed"
