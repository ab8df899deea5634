#!/usr/bin/env bash
# The tray host ends while the program sits in it: the window comes back. A new
# host is used by the next minimise.
set -u
source "$(dirname "$0")/lib.sh" "$1"
command -v trayer >/dev/null || { echo "no trayer"; exit 77; }
start_trayer() { trayer --edge bottom --align right --widthtype request --height 24 >/dev/null 2>&1 & tray=$!; }
panel() { xwininfo -root -tree | grep '("panel" "trayer")'; }
icon() { xwininfo -root -tree | awk '/\("panel" "trayer"\)/ {p = 1; next} p && /\("fetchora"/ {print $1; exit}'; }
start_trayer
wait_for found panel || { echo "no tray host"; exit 1; }
"$work/app/fetchora" >/dev/null 2>&1 & app=$!
wait_for has_window && win=$(main_window) && wait_for viewable "$win" || { echo "no window"; exit 1; }
xdotool windowminimize "$win" && wait_for found icon || { echo "no tray icon"; exit 1; }
kill "$tray"; wait "$tray" 2>/dev/null
wait_for viewable "$win" || { echo "the window stayed hidden without a tray"; exit 1; }
start_trayer
wait_for found panel || { echo "no second tray host"; exit 1; }
xdotool windowminimize "$win" && wait_for found icon || { echo "the new tray is not used"; exit 1; }
kill -TERM "$app"; wait "$app"
echo ok
