#!/usr/bin/env bash
# With trayer and the trace viewer: the window not resizable (its size: check_scale), the settings dialog not maximisable;
# minimised with the settings dialog open, the tray icon brings back both; Escape closes the dialog; back from the
# tray, Start has the keys; a tray host that ends gives the window back, a new one is used. The log, not writable at
# first, catches up with every line's CR LF; the 10-line window says what it dropped.
source "$(dirname "$0")/lib.sh" "$1"
command -v trayer >/dev/null || { echo "no trayer"; exit 77; }
trayer_up() { trayer --edge bottom --align right --widthtype request --height 24 >/dev/null 2>&1 & tray=$!; }
trayer_up
export XDG_RUNTIME_DIR=$work  # a viewer socket of this check's own
"$1/fetchora-trace" --log "$work/later/trace.log" --lines 10 >/dev/null 2>&1 &
panel() { xwininfo -root -tree | grep '("panel" "trayer")'; }
wait_for found panel && wait_for test -S "$work/Tracewright" || { echo "no tray host or viewer"; exit 1; }
"$work/app/fetchora" >/dev/null 2>&1 & app=$!
wait_for has_window && win=$(main_window) && wait_for viewable "$win" || { echo "no window"; exit 1; }
wait_for xdotool search --name "^Tracewright - .*cannot write the log" >/dev/null && mkdir "$work/later" || { echo "no word of the log"; exit 1; }
xprop -id "$win" _NET_WM_ALLOWED_ACTIONS | grep -q -e RESIZE -e MAXIMIZE && { echo "resizable"; exit 1; }
dialog() { xdotool search --onlyvisible --name "^Settings$" 2>/dev/null; }
icon() { xwininfo -root -tree | awk '/\("panel" "trayer"\)/ {p = 1; next} p && /\("fetchora"/ {print $1; exit}'; }
to_tray_and_back() {  # twice: on a busy machine the icon may still be settling into the panel
  xdotool windowminimize "$win" && wait_for found icon || return 1
  for _ in 1 2; do
    eval "$(xdotool getwindowgeometry --shell "$(icon)")"
    xdotool mousemove $((X + 5)) $((Y + 5)) click --repeat 2 --delay 80 1
    wait_for viewable "$win" && return 0
  done; return 1
}
xdotool mousemove --window "$win" 40 225 click 1
wait_for found dialog && dlg=$(dialog) && wait_for viewable "$dlg" || { echo "no settings dialog"; exit 1; }
xprop -id "$dlg" _NET_WM_ALLOWED_ACTIONS | grep -q MAXIMIZE && { echo "dialog maximisable"; exit 1; }
to_tray_and_back && wait_for viewable "$dlg" || { echo "not both back from the tray"; exit 1; }
xdotool key Escape
wait_for gone dialog || { echo "Escape left the dialog open"; exit 1; }
to_tray_and_back || { echo "not back from the tray"; exit 1; }
xdotool key space
wait_for xdotool search --onlyvisible --name "Active" >/dev/null || { echo "Start lacks the focus"; exit 1; }
xdotool windowminimize "$win" && wait_for found icon && kill "$tray" && wait_for viewable "$win" ||
  { echo "stranded when the tray went away"; exit 1; }
trayer_up; wait_for found panel && xdotool windowminimize "$win" && wait_for found icon || { echo "new tray unused"; exit 1; }
kill -TERM "$app"; wait "$app"
lines=$(wc -l < "$work/later/trace.log"); crlf=$(grep -c $'\r$' "$work/later/trace.log")
[ "$lines" -gt 10 ] && [ "$crlf" = "$lines" ] || { echo "$lines lines, $crlf end in CR LF"; exit 1; }
wait_for xdotool search --name "^Tracewright - $((lines - 10)) older lines dropped from this window$" >/dev/null || { echo "no word of dropped lines"; exit 1; }
echo ok
