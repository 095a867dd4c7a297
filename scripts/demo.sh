#!/usr/bin/env bash
# The main job with emulated terminals: builds Miravel, lays out a program
# folder in demo/miravel (the same layout `cmake --install` makes), starts
# emulated terminals on 127.0.0.1 (two over TCP, one over a pseudo-terminal
# serial line, and one configured terminal that is not running), then opens the
# main window. Without a display it runs miravel-aktar on the same folder and
# shows the head of the record file. The emulators stop when it ends.
# With --screenshots it saves pictures of the window to docs/images instead.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh" miravel miravel-aktar miravel-terminal-emulator

demo="$root/demo"
folder="$demo/miravel"
rm -rf "$demo"
mkdir -p "$demo/state"
cmake --install "$root/build" --prefix "$folder" >/dev/null

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

start_emulator merkez --listen 127.0.0.1:0 --generate-users 25 --generate-log 400 --seed 1
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

cd "$folder"
if [ "${1:-}" = "--screenshots" ]; then
  # Pictures of the main window before and after a transfer, for the README.
  "$root/scripts/build.sh" miravel_screenshots
  "$root/build/tools/miravel_screenshots" "$folder" "$root/docs/images"
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
