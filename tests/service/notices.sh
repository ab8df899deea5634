# Sourced by the checks of desktop notices: runs the check again on a private session bus, with python3-dbusmock's
# notification service recording every notice in $work/notices. Then lib.sh's helpers are there as well.
if [ "${2:-}" != inner ]; then
  command -v dbus-run-session >/dev/null && /usr/bin/python3 -c 'import dbusmock' 2>/dev/null ||
    { echo "no dbus-run-session or python3-dbusmock"; exit 77; }
  exec dbus-run-session -- bash "$0" "$1" inner 2> >(grep -v 'Failed to set fd limit' >&2)
fi
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh" "$1"
/usr/bin/python3 -m dbusmock --session -t notification_daemon -l "$work/notices" >/dev/null 2>&1 &
wait_for dbus-send --session --print-reply --dest=org.freedesktop.Notifications /org/freedesktop/Notifications \
  org.freedesktop.Notifications.GetServerInformation >/dev/null 2>&1 || fail "no notification service"
