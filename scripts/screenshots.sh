#!/usr/bin/env bash
# Takes the README's pictures of the real program on a virtual X display with
# the openbox window manager and the trayer tray host:
#   docs/main-window.png, docs/settings.png, docs/tray-menu.png
#
#   scripts/screenshots.sh [BUILD_DIR]     (default: build; run `make` first)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
out=$here/docs
for tool in Xvfb openbox trayer xdotool xwininfo import convert; do
  command -v $tool >/dev/null || { echo "missing $tool (see deps/debian-packages.txt)"; exit 1; }
done
work=$(mktemp -d)
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

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
wait_for test -s "$work/display"
export DISPLAY=:$(head -1 "$work/display")
openbox --sm-disable >/dev/null 2>&1 &
wait_for sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"'
trayer --edge bottom --align right --widthtype request --height 24 >/dev/null 2>&1 &
wait_for sh -c 'xwininfo -root -tree | grep -q "(\"panel\" \"trayer\")"'

"$work/app/fetchora" >/dev/null 2>&1 &
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
shoot root "$out/tray-menu.png" "$((800 - left))x$((600 - top))+$left+$top"
echo "written: $out/main-window.png $out/settings.png $out/tray-menu.png"
