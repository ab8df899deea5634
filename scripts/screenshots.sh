#!/usr/bin/env bash
# Takes the README's pictures of the real program on a virtual X display with
# the openbox window manager and the trayer tray host:
#   docs/main-window.png, docs/settings.png, docs/tray-menu.png, and in German
#   during a download and with the cancel question, at 100 % and 200 %:
#   docs/de-download.png, docs/de-cancel.png, docs/de-download@2x.png, docs/de-cancel@2x.png
#
#   scripts/screenshots.sh [BUILD_DIR]     (default: build; run `make` first)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
out=$here/docs
for tool in Xvfb openbox trayer xdotool xwininfo import convert python3; do
  command -v $tool >/dev/null || { echo "missing $tool (see deps/debian-packages.txt)"; exit 1; }
done
work=$(mktemp -d)
SW=1280; SH=800
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
# wait_for COMMAND...: polls for up to 10 s.
wait_for() { for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done; echo "timed out: $*"; return 1; }
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }
found() { test -n "$("$@")"; }
gone() { ! found "$@"; }
# shoot WINDOW FILE [CROP]: once the window has been painted (more than a
# handful of colours), not before.
shoot() {
  for _ in $(seq 100); do
    import -window "$1" ${3:+-crop "$3"} +repage "$2"
    [ "$(convert "$2" -format %k info:)" -gt 16 ] && return 0
    sleep 0.1
  done
  echo "nothing painted in $2"; return 1
}

mkdir -p "$work/app/bin"
cp "$build/fetchora" "$work/app/"
cp "$here/resources/bin/banner.bmp" "$work/app/bin/"
cat > "$work/app/fcr.ini" <<INI
[Global]
Language=English
[Options]
SavePath=/home/anna/reports
URL=https://example.org/daily/report.csv
Intervall=15
Compress=1
CompRate=6
Mode1=1
Mode2=0
INI

Xvfb -displayfd 3 -screen 0 ${SW}x${SH}x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
wait_for test -s "$work/display"
export DISPLAY=:$(head -1 "$work/display")
openbox --sm-disable >/dev/null 2>&1 &
wait_for sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"'
trayer --edge bottom --align right --widthtype request --height 24 >/dev/null 2>&1 &
wait_for sh -c 'xwininfo -root -tree | grep -q "(\"panel\" \"trayer\")"'

"$work/app/fetchora" >/dev/null 2>&1 & app=$!
main() { xdotool search --onlyvisible --name "^TAQ Fetchora" 2>/dev/null | head -1; }
wait_for found main
win=$(main)
wait_for viewable "$win"
# The frame too: the window as a user sees it.
frame=$(xwininfo -children -id "$win" | awk '/Parent window id/ {print $4}')
shoot "$frame" "$out/main-window.png"

xdotool mousemove --window "$win" 40 225 click 1
dialog() { xdotool search --onlyvisible --name "^Settings$" 2>/dev/null | head -1; }
wait_for found dialog
dlg=$(dialog)
wait_for viewable "$dlg"
shoot "$(xwininfo -children -id "$dlg" | awk '/Parent window id/ {print $4}')" "$out/settings.png"
xdotool key Escape
wait_for gone dialog

xdotool windowminimize "$win"
icon() { xwininfo -root -tree | awk '/\("panel" "trayer"\)/ {p=1; next} p && /\("fetchora"/ {print $1; exit}'; }
wait_for found icon
eval "$(xdotool getwindowgeometry --shell "$(icon)")"
xdotool mousemove $((X + 8)) $((Y + 8)) click 3
# The menu is the program's only window straight on the root besides its helpers without a class.
popup() { xwininfo -root -children | awk '/\("fetchora" "Fetchora"\)/ {print $1}' | while read -r w; do
  viewable "$w" && echo "$w"; done | head -1; }
wait_for found popup
eval "$(xdotool getwindowgeometry --shell "$(popup)")"
# The menu with the tray icon below it, cut from the screen.
left=$((X - 40)); top=$((Y - 10))
shoot root "$out/tray-menu.png" "$((SW - left))x$((SH - top))+$left+$top"
xdotool key Escape
kill "$app"; wait "$app" 2>/dev/null || true

# A server that sends a third of its file and then holds the rest back, so
# the download stays under way while the pictures are taken.
cat > "$work/slow.py" <<'PY'
import http.server, socketserver, sys, time
class Slow(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200)
        self.send_header("Content-Length", "3000000")
        self.end_headers()
        self.wfile.write(b"x" * 1000000)
        self.wfile.flush()
        time.sleep(600)
    def log_message(self, *args):
        pass
server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), Slow)
server.daemon_threads = True
print(server.server_address[1], flush=True)
server.serve_forever()
PY
python3 "$work/slow.py" > "$work/port" &
wait_for test -s "$work/port"
sed -i -e "s|^URL=.*|URL=http://127.0.0.1:$(cat "$work/port")/daily/report.csv|" \
  -e 's/^Language=English/Language=Deutsch/' -e '/^Start=/d' "$work/app/fcr.ini"
echo "Start=1" >> "$work/app/fcr.ini"
mkdir -p "$work/save"; sed -i "s|^SavePath=.*|SavePath=$work/save|" "$work/app/fcr.ini"
# german SCALE SUFFIX: the window during a download, then the cancel question.
german() {
  QT_SCALE_FACTOR=$1 "$work/app/fetchora" -s >/dev/null 2>&1 & app=$!
  wait_for found main
  win=$(main)
  wait_for viewable "$win"
  active() { xdotool search --onlyvisible --name "Aktiv" 2>/dev/null | head -1; }
  wait_for found active
  # The bar shows the first third once those bytes have arrived.
  bar() { import -window "$win" png:- | convert - -crop "1x1+$(awk -v s="$1" 'BEGIN {print int(20 * s) "+" int(172 * s)}')" txt:- |
    grep -qi '#0000C0'; }
  wait_for bar "$1"
  shoot "$(xwininfo -children -id "$win" | awk '/Parent window id/ {print $4}')" "$out/de-download$2.png"
  xdotool mousemove --window "$win" "$(awk -v s="$1" 'BEGIN {print int(250 * s)}')" \
    "$(awk -v s="$1" 'BEGIN {print int(233 * s)}')" click 1
  question() { xdotool search --onlyvisible --name "^Download$" 2>/dev/null | head -1; }
  wait_for found question
  box=$(question)
  wait_for viewable "$box"
  shoot "$(xwininfo -children -id "$box" | awk '/Parent window id/ {print $4}')" "$out/de-cancel$2.png"
  xdotool key Escape
  kill "$app"; wait "$app" 2>/dev/null || true
}
german 1 ""
german 2 "@2x"
echo "written: $out/main-window.png $out/settings.png $out/tray-menu.png $out/de-*.png"
