#!/usr/bin/env bash
# "-s" with no URL on a fresh setup and no XDG_RUNTIME_DIR: no warning, the window
# opens, the Start button's notice comes up in front of it (not behind, not blocking)
# and offers no maximise, nor do the window and the settings dialog.
set -u
source "$(dirname "$0")/lib.sh" "$1"
sed -i '/^URL=/d' "$work/app/fcr.ini"
env -u XDG_RUNTIME_DIR "$work/app/fetchora" -s >/dev/null 2>"$work/stderr" & app=$!
wait_for has_window && win=$(main_window) && wait_for viewable "$win" || { echo "no window"; exit 1; }
notice() { xdotool search --onlyvisible --name "^Fetchora$" 2>/dev/null | head -1; }
wait_for found notice && box=$(notice) && wait_for viewable "$box" || { echo "no notice"; exit 1; }
stacking=$(xprop -root _NET_CLIENT_LIST_STACKING | tr -d ',' | awk '{$1=$2=$3=$4=""; print}')
above=$(printf '%s\n' $stacking | awk -v w="$(printf '0x%x' "$win")" -v b="$(printf '0x%x' "$box")" \
  '$1 == w {wi = NR} $1 == b {bi = NR} END {print (bi > wi)}')
[ "$above" = 1 ] || { echo "notice behind the window: $stacking"; exit 1; }
for w in "$win" "$box"; do maximisable "$w" && { echo "window $w can be maximised"; exit 1; }; done
# Not blocked: the settings dialog opens while the notice is still up.
xdotool windowactivate --sync "$win" mousemove --window "$win" 40 225 click 1
dialog() { xdotool search --onlyvisible --name "^Settings$" 2>/dev/null; }
wait_for found dialog || { echo "the window is blocked by the notice"; exit 1; }
maximisable "$(dialog)" && { echo "settings dialog can be maximised"; exit 1; }
kill -TERM "$app"; wait "$app"
grep -i "XDG_RUNTIME_DIR" "$work/stderr" && { echo "warned about XDG_RUNTIME_DIR"; exit 1; }
echo ok
