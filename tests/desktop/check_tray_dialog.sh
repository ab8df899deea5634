#!/usr/bin/env bash
# Minimised while its settings dialog is open, the main window goes to the
# tray and a double-click on the icon brings back both; Escape closes the
# dialog. Back from the tray again, the Start button has the keys.
set -u
source "$(dirname "$0")/lib.sh" "$1"
start_tray_host || { echo "no tray host"; exit 77; }
"$work/app/fetchora" >/dev/null 2>&1 &
wait_for has_window || { echo "no window"; exit 1; }
win=$(main_window)
wait_for viewable "$win"
xdotool mousemove --window "$win" 40 225 click 1
dlg() { xdotool search --onlyvisible --name "^Settings$" 2>/dev/null | head -1; }
wait_for found dlg || { echo "no settings dialog"; exit 1; }
dlg=$(dlg)
wait_for viewable "$dlg"
xdotool windowminimize "$win"
wait_for has_tray_icon || { echo "no tray icon"; exit 1; }
double_click_tray_icon
wait_for viewable "$win" && wait_for viewable "$dlg" || { echo "not both restored"; exit 1; }
xdotool key Escape
wait_for gone dlg || { echo "Escape left the dialog open"; exit 1; }
xdotool windowminimize "$win"
wait_for has_tray_icon && double_click_tray_icon
wait_for viewable "$win" || { echo "not restored"; exit 1; }
xdotool key space
wait_for xdotool search --onlyvisible --name "Active" >/dev/null || { echo "Start lacks the focus"; exit 1; }
echo ok
