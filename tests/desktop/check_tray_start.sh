#!/usr/bin/env bash
# The real program under a real window manager: "-s -m" ends minimised (the
# tray icon is then its way back), not on screen.
set -u
build=$1
for tool in Xvfb openbox xprop xdotool; do command -v $tool >/dev/null || { echo "no $tool"; exit 77; }; done
work=$(mktemp -d); trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/app" "$work/save"; cp "$build/fetchora" "$work/app/"
printf '[Global]\nLanguage=English\n[Options]\nURL=http://127.0.0.1:9/x.txt\nSavePath=%s\n' "$work/save" > "$work/app/fcr.ini"
display=:$((100 + RANDOM % 800)); export DISPLAY=$display
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
for _ in $(seq 50); do xprop -root >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
for _ in $(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.1; done
"$work/app/fetchora" -s -m >/dev/null 2>&1 &
for _ in $(seq 100); do
  for win in $(xdotool search --name "TAQ Fetchora" 2>/dev/null); do
    xprop -id "$win" WM_STATE 2>/dev/null | grep -q Iconic && { echo "minimised"; exit 0; }
  done
  sleep 0.1
done
echo "still on screen"; exit 1
