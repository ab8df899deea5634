#!/usr/bin/env bash
# At 100 %, 150 % and 200 % on a 1280 x 800 screen: the window at its scaled size, and the
# folder browser inside the screen with its buttons, which still answer a click.
# The screenshots stay in <build>/desktop-shots.
set -u
SCREEN=1280x800 source "$(dirname "$0")/lib.sh" "$1"
shots=$1/desktop-shots; mkdir -p "$shots"
sed -i 's/^Language=English/Language=Deutsch/' "$work/app/fcr.ini"
browser() { xdotool search --onlyvisible --name "^Speicherort \(Ordner\)" 2>/dev/null | head -1; }
for scale in 1 1.5 2; do
  QT_SCALE_FACTOR=$scale "$work/app/fetchora" >/dev/null 2>&1 & app=$!
  wait_for has_window && win=$(main_window) && wait_for viewable "$win" || { echo "no window at $scale"; exit 1; }
  eval "$(xwininfo -id "$win" | awk '/Width:/ {print "W=" $2} /Height:/ {print "H=" $2}')"
  want=$(awk -v s="$scale" 'BEGIN {printf "%dx%d", int(402 * s + 0.5), int(257 * s + 0.5)}')
  [ "${W}x$H" = "$want" ] || { echo "window ${W}x$H at $scale, not $want"; exit 1; }
  import -window "$(frame_of "$win")" "$shots/main-$scale.png"
  xdotool mousemove --window "$win" "$(awk -v s="$scale" 'BEGIN {print int(379 * s)}')" \
    "$(awk -v s="$scale" 'BEGIN {print int(80 * s)}')" click 1
  wait_for found browser && dlg=$(browser) && wait_for viewable "$dlg" || { echo "no browser at $scale"; exit 1; }
  eval "$(xwininfo -id "$(frame_of "$dlg")" | awk '/Absolute upper-left Y:/ {print "Y=" $4} /Height:/ {print "H=" $2}')"
  [ "$Y" -ge 0 ] && [ $((Y + H)) -le 800 ] && [ "$H" -le 720 ] || { echo "browser $Y+$H off the screen at $scale"; exit 1; }
  import -window "$(frame_of "$dlg")" "$shots/browser-$scale.png"
  # The button row: a click near the lower right corner lands on OK or Cancel and closes the dialog.
  eval "$(xwininfo -id "$dlg" | awk '/Width:/ {print "DW=" $2} /Height:/ {print "DH=" $2}')"
  xdotool mousemove --window "$dlg" $((DW - $(awk -v s="$scale" 'BEGIN {print int(50 * s)}'))) \
    $((DH - $(awk -v s="$scale" 'BEGIN {print int(22 * s)}'))) click 1
  wait_for gone browser || { echo "no button under the click at $scale"; exit 1; }
  kill -TERM "$app"; wait "$app"
done
echo ok
