# Shared by the desktop checks: a private X display with openbox and a
# scratch application folder holding a copy of the program.
set -u
for tool in Xvfb openbox xprop xdotool; do command -v $tool >/dev/null || { echo "no $tool"; exit 77; }; done
work=$(mktemp -d); trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/app" "$work/save"; cp "$1/fetchora" "$work/app/"
printf '[Global]\nLanguage=English\n[Options]\nURL=http://127.0.0.1:9/x.txt\nSavePath=%s\n' "$work/save" > "$work/app/fcr.ini"
# wait_for COMMAND...: polls for up to 10 s.
wait_for() { for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done; return 1; }
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; }
# The X server picks a free display itself and tells its number when ready. Without
# -noreset it restarts when the readiness probe leaves and turns the next client away.
Xvfb -displayfd 3 -noreset -screen 0 "${SCREEN:-1024x768}x24" -nolisten tcp 3>"$work/display" >/dev/null 2>&1 & xvfb=$!
wait_for test -s "$work/display" || { echo "no X server"; exit 1; }
export DISPLAY=:$(head -1 "$work/display")
wait_for xprop -root >/dev/null 2>&1 || { echo "X server $DISPLAY does not answer"; exit 1; }
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wait_for wm_running || { echo "no window manager"; cat "$work/openbox.log"; exit 1; }
main_window() { xdotool search --onlyvisible --name "^TAQ Fetchora" 2>/dev/null | head -1; }
has_window() { test -n "$(main_window)"; }
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }
found() { test -n "$("$@")"; }
frame_of() { xwininfo -children -id "$1" | awk '/Parent window id/ {print $4}'; }  # the window manager's frame
gone() { ! found "$@"; }
# No notices on the desktop of whoever runs the checks.
export DBUS_SESSION_BUS_ADDRESS=
# The real program on that display, whatever platform the rest of the suite runs on.
export QT_QPA_PLATFORM=xcb
