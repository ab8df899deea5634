#!/usr/bin/env bash
# At 100, 150 and 200 % on a 1280 x 800 screen: the window at its scaled size, the folder browser
# within 90 % of the height, its buttons answering a click; the history window on the screen whole. Pictures stay in <build>/desktop-shots.
set -u
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
echo ok
