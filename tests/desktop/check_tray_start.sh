#!/usr/bin/env bash
# The real program under a real window manager: "-s -m" ends minimised (the
# tray icon is then its way back), not on screen.
set -u
source "$(dirname "$0")/lib.sh" "$1"
"$work/app/fetchora" -s -m >/dev/null 2>&1 &
iconic() { for w in $(xdotool search --name "TAQ Fetchora" 2>/dev/null); do
  xprop -id "$w" WM_STATE 2>/dev/null | grep -q Iconic && return 0; done; return 1; }
wait_for iconic && { echo "minimised"; exit 0; }
echo "still on screen"; exit 1
