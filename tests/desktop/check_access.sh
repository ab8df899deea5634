#!/usr/bin/env bash
# What a screen reader (Orca) reads of the real window through AT-SPI, in German: every control that takes the focus
# in the main window, the settings dialog, the folder dialog and the history window has a name, the fields are named by
# their captions and the folder button for what it opens; the bar is a progress bar with its name (its value: the
# window's tests). Buttons are pressed through AT-SPI, as a screen-reader user presses them.
if [ "${2:-}" != inner ]; then
  command -v dbus-run-session >/dev/null && /usr/bin/python3 -c 'import pyatspi' 2>/dev/null ||
    { echo "no dbus-run-session or python3-pyatspi"; exit 77; }
  exec dbus-run-session -- bash "$0" "$1" inner 2> >(grep -v 'Failed to set fd limit' >&2)
fi
bus=$DBUS_SESSION_BUS_ADDRESS
source "$(dirname "$0")/lib.sh" "$1"
export DBUS_SESSION_BUS_ADDRESS=$bus  # the private one: the accessibility bus is started on it
printf '[Options]\nSavePath=%s\nURL=http://127.0.0.1:9/x.txt\n' "$work/save" > "$work/app/fcr.ini"
printf '2026-12-01T10:00:00+01:00\t%s\t%s\t0\t1.000\t-\t%s\thttp://127.0.0.1:9/x.txt\n' \
  failed 7 "connection refused" not-found 404 "http 404" > "$work/app/history.log"
# One stored copy, and a file manager on the bus that notes what it is asked to show.
echo report > "$work/save/a.txt"
printf 'stored\t2026-12-01T09:00:00+01:00\t7\t0\t%s\t%s\thttp://127.0.0.1:9/x.txt\n' \
  "$(sha256sum < "$work/save/a.txt" | cut -d' ' -f1)" "$work/save/a.txt" > "$work/app/copies.manifest"
/usr/bin/python3 -m dbusmock --session -l "$work/filemanager" org.freedesktop.FileManager1 /org/freedesktop/FileManager1 \
  org.freedesktop.FileManager1 >/dev/null 2>&1 &
wait_for dbus-send --session --print-reply --dest=org.freedesktop.FileManager1 /org/freedesktop/FileManager1 \
  org.freedesktop.DBus.Mock.AddMethod string:'' string:ShowItems string:ass string: string: >/dev/null 2>&1 ||
  { echo "no file manager on the bus"; exit 1; }
# The accessibility bus is up before the program looks for it, as in a desktop session.
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null ||
  { echo "no accessibility bus"; exit 1; }
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$work/app/fetchora" >"$work/app.log" 2>&1 & app=$!
wait_for has_window || { echo "no window"; cat "$work/app.log"; exit 1; }
timeout 45 /usr/bin/python3 - "$app" "$work/filemanager" <<'PY' || exit 1
import sys, time
import pyatspi

def wait(what, probe, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            found = probe()
        except Exception:  # an object that went away while it was read: read again
            found = None
        if found:
            return found
        time.sleep(0.1)
    sys.exit(f"no {what}")

def app():
    desktop = pyatspi.Registry.getDesktop(0)
    return next((a for a in desktop if a and a.get_process_id() == int(sys.argv[1])), None)

def window(title):  # by the start of its title
    return wait(f"{title} on the bus", lambda: next(
        (w for w in app() if w.name.startswith(title) and w.getState().contains(pyatspi.STATE_SHOWING)), None))

def nodes(node):
    yield node
    if node.getRole() in (pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TABLE):
        return  # the folders in a tree are named by themselves
    for child in node:
        if child is not None:
            yield from nodes(child)

def unnamed(win):
    return [f"{n.getRoleName()} in {win.name}" for n in nodes(win)
            if n.getState().contains(pyatspi.STATE_FOCUSABLE) and n.getState().contains(pyatspi.STATE_SHOWING)
            and not n.name.strip()]

def find(win, role, name=None):
    return next((n for n in nodes(win) if n.getRole() == role and (name is None or n.name == name)), None)

def press(win, name):
    button = find(win, pyatspi.ROLE_PUSH_BUTTON, name) or sys.exit(f"no button {name!r} in {win.name}")
    actions = button.queryAction()
    actions.doAction(next(i for i in range(actions.nActions) if actions.getName(i).lower() == "press"))

failures = []
def expect(ok, what):
    if not ok:
        failures.append(what)

main = window("TAQ Fetchora")
failures += unnamed(main)
fields = [n.name for n in nodes(main) if n.getRole() == pyatspi.ROLE_TEXT]
expect(fields == ["Speicherort für heruntergeladene Dateien", "URL (Http://)"], f"fields named {fields}")
expect(find(main, pyatspi.ROLE_PUSH_BUTTON, "Speicherort (Ordner) suchen"), "no folder button named for its dialog")
expect(find(main, pyatspi.ROLE_PROGRESS_BAR, "Download"), "no progress bar named Download")

# The dialogs and the history window: their controls named. The history window stays.
for button, title, leave in [("Optionen", "Einstellungen", "Abbrechen"),
                             ("Speicherort (Ordner) suchen", "Speicherort (Ordner) suchen ...", "Abbrechen"),
                             ("Verlauf", "Verlauf – ", None)]:
    press(main, button)
    opened = window(title)
    failures += unnamed(opened)
    if leave:
        press(opened, leave)
        wait(f"end of {title}", lambda: not any(w.name == title for w in app()))
# The history window's attempts: a table of as many rows.
table = find(opened, pyatspi.ROLE_TABLE)
rows = table.queryTable().nRows if table else None
expect(rows == 2, f"history table with {rows} rows")
press(opened, "Im Dateimanager zeigen")
shown = wait("the copy shown in the file manager", lambda: "ShowItems" in open(sys.argv[2]).read() and open(sys.argv[2]).read())
expect("save/a.txt" in shown, f"the file manager was asked for {shown!r}")

print("\n".join(failures) or "ok")
sys.exit(1 if failures else 0)
PY
kill -TERM "$app"; wait "$app"
