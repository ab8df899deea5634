#!/usr/bin/env bash
# "-s -m" ends minimised (the tray icon is then its way back), not on screen.
# Ended by SIGTERM, the program saves what was typed as the close box would;
# a second program on the same folder says so, leaves everything alone and ends as at OK with 1 at a signal;
# when the display goes away, the program ends without crashing. No XDG_RUNTIME_DIR: no warning.
set -u
source "$(dirname "$0")/lib.sh" "$1"
"$work/app/fetchora" -s -m >/dev/null 2>&1 & tray=$!
iconic() { for w in $(xdotool search --name "TAQ Fetchora" 2>/dev/null); do
  xprop -id "$w" WM_STATE 2>/dev/null | grep -q Iconic && return 0; done; return 1; }
wait_for iconic || { echo "-s -m: still on screen"; exit 1; }
kill "$tray"; wait "$tray"
env -u XDG_RUNTIME_DIR "$work/app/fetchora" >/dev/null 2>"$work/err" & first=$!
wait_for has_window || { echo "no window"; exit 1; }
win=$(main_window)
mkdir -p "$work/app/tmp"; echo partial > "$work/app/tmp/x.txt.part"
before=$(md5sum < "$work/app/fcr.ini")
"$work/app/fetchora" -s >/dev/null 2>&1 & second=$!
wait_for xdotool search --onlyvisible --name "^Fetchora$" >/dev/null || { echo "no message from the second program"; exit 1; }
kill "$second"; wait "$second"
[ $? = 1 ] || { echo "second program: not status 1 at SIGTERM"; exit 1; }
[ "$(md5sum < "$work/app/fcr.ini")" = "$before" ] && [ -f "$work/app/tmp/x.txt.part" ] || { echo "second program touched files"; exit 1; }
kill -0 "$first" || { echo "first program died"; exit 1; }
xdotool windowactivate --sync "$win"
xdotool mousemove --window "$win" 100 142 click --repeat 3 1 type --delay 5 "http://typed.example/new.txt"
kill -TERM "$first"; wait "$first"
grep XDG_RUNTIME_DIR "$work/err" && exit 1
grep -q "^URL=http://typed.example/new.txt" "$work/app/fcr.ini" || { echo "typed URL not saved"; cat "$work/app/fcr.ini"; exit 1; }
"$work/app/fetchora" >/dev/null 2>&1 & app=$!
wait_for has_window || { echo "no window the second time"; exit 1; }
kill "$xvfb"; wait "$app"; rc=$?
[ "$rc" -lt 128 ] || { echo "ended by signal $((rc - 128)) when the display went away"; exit 1; }
echo ok
