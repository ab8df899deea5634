#!/usr/bin/env bash
# Under a window manager the main window's inside is the layout's 402 x 257
# pixels, and the window manager offers neither resizing nor maximising.
set -u
source "$(dirname "$0")/lib.sh" "$1"
"$work/app/fetchora" >/dev/null 2>&1 &
wait_for has_window || { echo "no window"; exit 1; }
win=$(main_window)
wait_for viewable "$win" || { echo "never mapped"; exit 1; }
size=$(xwininfo -id "$win" | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w "x" h}')
[ "$size" = 402x257 ] || { echo "client area $size"; exit 1; }
actions=$(xprop -id "$win" _NET_WM_ALLOWED_ACTIONS)
case "$actions" in *RESIZE* | *MAXIMIZE*) echo "resizable: $actions"; exit 1 ;; esac
echo ok
