#!/usr/bin/env bash
# At 100, 150 and 200 % on a 1280 x 800 screen: the window at its scaled size, the folder browser
# within 90 % of the height, its buttons answering a click; the history window on the screen whole. Pictures stay in <build>/desktop-shots.
# Ended by SIGTERM, the program saves what was typed as the close box would;
# a second program on the same folder says so, leaves everything alone and ends as at OK with 1 at a signal;
# when the display goes away, the program ends without crashing. No XDG_RUNTIME_DIR: no warning.
SCREEN=1280x800 source "$(dirname "$0")/lib.sh" "$1"; mkdir -p "$1/desktop-shots"
browser() { xdotool search --onlyvisible --name "^Find folder" 2>/dev/null; }
size() { eval "$(xwininfo -id "$1" | awk '/te upper-left Y/ {print "Y=" $4} /Width/ {print "W=" $2} /Height/ {print "H=" $2}')"; }
at() { awk -v s="$scale" -v x="$1" 'BEGIN {print int(x * s + .5)}'; }
for scale in 1 1.5 2; do
  QT_SCALE_FACTOR=$scale "$work/app/fetchora" >/dev/null 2>&1 & app=$!
  wait_for has_window && win=$(main_window) && wait_for viewable "$win" && size "$win" && [ "$W $H" = "$(at 402) $(at 257)" ] &&
    xdotool mousemove --window "$win" "$(at 379)" "$(at 80)" click 1 && wait_for found browser && dlg=$(browser) &&
    wait_for viewable "$dlg" && size "$(frame_of "$dlg")" && [ "$Y" -ge 0 ] && [ "$H" -le 720 ] || { echo "at $scale: $W x $H, $Y + $H"; exit 1; }
  import -window "$(frame_of "$win")" "$1/desktop-shots/main-$scale.png"; import -window "$(frame_of "$dlg")" "$1/desktop-shots/browser-$scale.png"
  size "$dlg"; xdotool mousemove --window "$dlg" $((W - $(at 50))) $((H - $(at 22))) click 1
  wait_for gone browser || { echo "no button under the click at $scale"; exit 1; }
  kill "$app"; wait "$app"
  # The history window at that scale: on the screen whole.
  QT_SCALE_FACTOR=$scale "$work/app/fetchora" --history --config "$work/app" >/dev/null 2>&1 & app=$!
  wait_for found xdotool search --onlyvisible --name "^History" && hist=$(xdotool search --onlyvisible --name "^History" | head -1) &&
    wait_for viewable "$hist" && size "$(frame_of "$hist")" && [ "$Y" -ge 0 ] && [ "$H" -le 800 ] && [ "$W" -le 1280 ] ||
    { echo "history at $scale: $W x $H, $Y + $H"; exit 1; }
  import -window "$(frame_of "$hist")" "$1/desktop-shots/history-$scale.png"
  kill "$app"; wait "$app"
done
# A session bus that takes the connection and then never answers (stopped) holds nothing: not even the window, whose
# accessibility bridge Qt would have wait on such a bus as the window starts.
dbus-daemon --session --fork --print-address=1 --print-pid=1 > "$work/bus" 2>/dev/null
wait_for test "$(wc -l < "$work/bus")" = 2 || { echo "no second bus"; exit 1; }
frozen_pid=$(tail -1 "$work/bus"); kill -STOP "$frozen_pid"
printf 'Start=1\n' >> "$work/app/fcr.ini"  # the first attempt at once
trap 'kill -CONT $frozen_pid; kill $frozen_pid; kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
DBUS_SESSION_BUS_ADDRESS=$(head -1 "$work/bus") "$work/app/fetchora" -s > /dev/null 2> "$work/frozen.err" & app=$!
wait_for grep -q "does not answer" "$work/frozen.err" && wait_for grep -q "	failed	" "$work/app/history.log" ||
  { echo "frozen bus: the window never came to its first attempt"; exit 1; }
kill -TERM $app
for _ in $(seq 40); do kill -0 $app 2>/dev/null || break; sleep 0.05; done
kill -0 $app 2>/dev/null && { kill -KILL $app; echo "frozen bus: the window still runs 2 s after SIGTERM"; exit 1; }
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
