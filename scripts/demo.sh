#!/usr/bin/env bash
# The main job with emulated terminals: builds Miravel, lays out a program
# folder in demo/miravel (the same layout `cmake --install` makes), starts
# emulated terminals on 127.0.0.1 (two over TCP, one over a pseudo-terminal
# serial line, and one configured terminal that is not running), writes a small
# personnel store into its personel/, then opens the main window. Without a display it runs miravel-aktar on the same folder and
# shows the head of the record file. The emulators stop when it ends.
# With --screenshots it saves pictures of the windows to docs/images instead.
# It builds everything the install step lays out, from a clone without build/.
# MIRAVEL_BUILD_DIR names another build folder, MIRAVEL_DEMO_DIR another
# folder than demo/ for the program folder and the emulators' files (the demo
# check runs it in scratch folders, leaving the checkout as it was).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh" miravel_package_contents
build="${MIRAVEL_BUILD_DIR:-$root/build}"

demo="${MIRAVEL_DEMO_DIR:-$root/demo}"
folder="$demo/miravel"
# Only what an earlier run made: a folder given by name may hold other files.
rm -rf "$folder" "$demo/state"
mkdir -p "$demo/state"
cmake --install "$build" --prefix "$folder" >/dev/null
# The programs look for the office folder in MIRAVEL_KLASORU before their own
# folder: a real office's would get the demo's transfer.
unset MIRAVEL_KLASORU

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

# Starts one emulator in the background and waits until it is ready; its
# first line ("listening on 127.0.0.1:PORT" or "serial on LINK") is left in
# $ready. Runs in this shell, not a subshell, so that cleanup knows its pid.
ready=""
start_emulator() {
  local name="$1"
  shift
  local out="$demo/state/$name.out"
  "$folder/miravel-terminal-emulator" --state "$demo/state/$name.state" "$@" >"$out" 2>&1 &
  pids+=($!)
  for _ in $(seq 1 100); do
    if [ -s "$out" ]; then
      ready=$(head -n 1 "$out")
      return
    fi
    sleep 0.1
  done
  echo "emülatör başlamadı: $name" >&2
  cat "$out" >&2
  exit 1
}

start_emulator merkez --listen 127.0.0.1:0 --generate-users 25 --generate-templates 2 \
  --generate-log 400 --seed 1
merkez=${ready##*:}
start_emulator uretim --listen 127.0.0.1:0 --generate-users 40 --generate-log 900 --seed 2
uretim=${ready##*:}
start_emulator depo --pty "$demo/state/depo.tty" --machine 2 --generate-users 12 \
  --generate-log 150 --seed 3
# A terminal that is configured but not running: a port that was free a moment ago.
start_emulator bos --listen 127.0.0.1:0
sube=${ready##*:}
kill "${pids[-1]}"
wait "${pids[-1]}" 2>/dev/null || true
unset 'pids[-1]'

# cihazlar.ini is Windows-1254 text with CR LF line ends.
{
  printf '[ayarlar]\r\ndosya=tr500.txt\r\nsilkontrol=1\r\n'
  printf '[cihaz1]\r\nadi=Merkez Giriş\r\nbaglantitipi=Ethernet\r\nmakineno=1\r\nportno=Com1\r\nbaudrate=115200\r\nipadres=127.0.0.1\r\nipport=%s\r\nparola=\r\ngcdurum=Standart\r\n' "$merkez"
  printf '[cihaz2]\r\nadi=Üretim Atölyesi\r\nbaglantitipi=Ethernet\r\nmakineno=1\r\nportno=Com1\r\nbaudrate=115200\r\nipadres=127.0.0.1\r\nipport=%s\r\nparola=\r\ngcdurum=Standart\r\n' "$uretim"
  printf '[cihaz3]\r\nadi=Depo (seri hat)\r\nbaglantitipi=Comm Port\r\nmakineno=2\r\nportno=Com1\r\nbaudrate=115200\r\nipadres=\r\nipport=\r\nparola=\r\ngcdurum=Her Zaman Giriş\r\n'
  printf '[cihaz4]\r\nadi=Şube Ofisi\r\nbaglantitipi=Ethernet\r\nmakineno=1\r\nportno=Com1\r\nbaudrate=115200\r\nipadres=127.0.0.1\r\nipport=%s\r\nparola=\r\ngcdurum=Standart\r\n' "$sube"
  printf '[seriportlar]\r\ncom1=%s\r\n' "$demo/state/depo.tty"
} | iconv -f UTF-8 -t CP1254 >"$folder/cihazlar.ini"

# The personnel store on this computer: a few persons the first terminal also
# has, a few it does not; some with fingerprints, one whose Yetki was typed by hand.
mkdir -p "$folder/personel"
printf '00003\r\n00001\r\n00007\r\n00120\r\n00121\r\n00122\r\n' >"$folder/personel/personel.ini"
fingerprint=$(head -c 600 /dev/zero | tr '\0' 'Q')
{
  printf '[00001]\r\nisim=Ayşe Öztürk\r\nyetki=Supervizor\r\nkartno=100245\r\nsifre=\r\nparmakizi0=%s\r\n' "$fingerprint"
  printf '[00003]\r\nisim=Çağlar Şimşek\r\nyetki=Normal\r\nkartno=100311\r\nsifre=4711\r\nparmakizi0=%s\r\nparmakizi1=%s\r\n' "$fingerprint" "$fingerprint"
  printf '[00007]\r\nisim=Gülşen Işık\r\nyetki=Normal\r\nkartno=\r\nsifre=\r\n'
  printf '[00120]\r\nisim=İbrahim Ünal\r\nyetki=Kayıtçı\r\nkartno=100877\r\nsifre=2580\r\nparmakizi0=%s\r\n' "$fingerprint"
  printf '[00121]\r\nisim=Tuğçe Doğan\r\nyetki=Bölüm Şefi\r\nkartno=100902\r\nsifre=\r\n'
  printf '[00122]\r\nisim=Yiğit Özkan\r\nyetki=Normal\r\nkartno=100915\r\nsifre=\r\nparmakizi0=%s\r\n' "$fingerprint"
} | iconv -f UTF-8 -t CP1254 >"$folder/personel/parmakizi.ini"

cd "$folder"
if [ "${1:-}" = "--screenshots" ]; then
  # Pictures of the windows, for the README and the help page.
  "$root/scripts/build.sh" miravel_screenshots
  "$build/tools/miravel_screenshots" "$folder" "$root/docs/images"
elif [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Miravel açılıyor: $folder (emülatörler pencere kapanınca durur)"
  ./miravel
else
  echo "Ekran yok: aynı aktarım miravel-aktar ile yapılıyor ($folder)"
  status=0
  ./miravel-aktar || status=$?
  echo "miravel-aktar çıkış durumu: $status"
  echo "--- tr500.txt (ilk 10 satır, toplam $(wc -l <tr500.txt)) ---"
  head -n 10 tr500.txt
  echo "--- yedekler/ ---"
  ls -l yedekler
fi
