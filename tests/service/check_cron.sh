#!/usr/bin/env bash
# The service as cron and systemd run it: results on standard output, failures and warnings on standard error,
# --quiet keeping only what went wrong; priority prefixes when standard error is the journal; the service's
# language from the locale when fcr.ini names none; readiness and watchdog beats on systemd's notify socket.
source "$(dirname "$0")/lib.sh" "$1"

# What goes where. A row: profile, path, keys, options, expected stdout, expected stderr (grep patterns, or empty).
while IFS='|' read -r name path keys options out err; do
  profile "$name" "$base/$path" $keys
  timeout 30 "$program" --once $options --config "$work/$name" > "$work/$name.out" 2> "$work/$name.err"
  for stream in out err; do
    expected=${!stream}
    if [ -z "$expected" ]; then [ ! -s "$work/$name.$stream" ] || fail "$name: std$stream not empty"
    else grep -q "$expected" "$work/$name.$stream" || fail "$name: no '$expected' on std$stream"; fi
  done
done <<TABLE
stored|f/a.txt||| stored, ||
failed|503/a.txt|||| failed, .*503
notfound|404/a.txt||||Please check URL= in \[Options\] of $work/notfound/fcr.ini
quiet|f/c.txt||--quiet||
quietfail|503/c.txt||--quiet|| failed, 
quiethook|f/d.txt|OnStored=false|--quiet||hook OnStored (false): ended with status 1
TABLE
"$program" --quiet --config "$work/stored" > /dev/null 2>&1; [ $? = 2 ] || fail "--quiet for the window"

# Standard error is the journal (systemd names its device and inode): every line carries its priority, standard
# output too when it is the same stream. A stream that is not the journal gets none.
journal=$work/journal; : > "$journal"
profile journaled "$base/503/j.txt" OnFailed=false
JOURNAL_STREAM=$(stat -c %d:%i "$journal") "$program" --once --config "$work/journaled" >> "$journal" 2>&1
profile journaled "$base/f/j.txt" OnFailed=false
JOURNAL_STREAM=$(stat -c %d:%i "$journal") "$program" --once --config "$work/journaled" >> "$journal" 2>&1
[ "$(grep -c . "$journal")" = 3 ] && ! grep -qv '^<[346]>' "$journal" && grep -q '^<3>.* failed, ' "$journal" &&
  grep -q '^<4>fetchora: hook OnFailed' "$journal" && grep -q '^<6>.* stored, ' "$journal" || fail "priorities: $(cat "$journal")"
JOURNAL_STREAM=$(stat -c %d:%i "$journal") "$program" --once --config "$work/journaled" > "$work/plain" 2>&1
grep -q '^[0-9].* stored, ' "$work/plain" || fail "a prefix where the stream is not the journal"

# With no Language= key the service speaks the locale's language (cron gives none: English); the key wins.
profile nolang ""; sed -i '/^Language=/d' "$work/nolang/fcr.ini"
while IFS='|' read -r vars said; do
  env -u LC_ALL -u LC_MESSAGES -u LANG $vars "$program" --once --config "$work/nolang" 2> "$work/nolang.err"
  grep -q "^fetchora: URL: $said" "$work/nolang.err" || fail "language with '$vars': $(cat "$work/nolang.err")"
done <<'TABLE'
|no address to fetch; set URL= in \[Options\]
LANG=C|no address
LANG=de_DE.UTF-8|keine Adresse zum Laden; URL= in \[Options\]
LC_MESSAGES=de_AT LANG=C|keine Adresse
LC_ALL=en_GB.UTF-8 LANG=de_DE.UTF-8|no address
TABLE
sed -i '1a Language=Deutsch' "$work/nolang/fcr.ini"
LANG=C "$program" --once --config "$work/nolang" 2>&1 | grep -q "keine Adresse" || fail "Language=Deutsch under LANG=C"

# systemd's notify socket: --headless is ready once its profile is loaded and beats at half of WATCHDOG_USEC;
# settings it cannot run with never make it ready; --once says nothing.
/usr/bin/python3 -c '
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM); s.bind(sys.argv[1])
with open(sys.argv[2], "a") as f:
    while True: f.write(s.recv(4096).decode() + "\n"); f.flush()' "$work/notify" "$work/notified" &
wait_for test -S "$work/notify" || fail "no notify socket"
beats() { [ "$(grep -cx WATCHDOG=1 "$work/notified")" -ge 3 ]; }
mark() { /usr/bin/python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM).sendto(sys.argv[2].encode(), sys.argv[1])' "$work/notify" "$1"
  wait_for grep -qx "$1" "$work/notified" || fail "marker $1 lost"; }
profile notready ""
NOTIFY_SOCKET=$work/notify "$program" --headless --config "$work/notready" 2> /dev/null; [ $? = 2 ] || fail "notready: status"
profile once "$base/f/o.txt"; NOTIFY_SOCKET=$work/notify WATCHDOG_USEC=20000 "$program" --once --config "$work/once" > /dev/null
mark unready; [ "$(grep -vc unready "$work/notified")" = 0 ] || fail "notified before ready: $(cat "$work/notified")"
profile ready "$base/f/r.txt" Start=1
NOTIFY_SOCKET=$work/notify WATCHDOG_USEC=200000 "$program" --headless --config "$work/ready" > "$work/ready.out" & pid=$!
wait_for grep -qx READY=1 "$work/notified" || fail "not ready"
wait_for beats || fail "no watchdog beats"
wait_for grep -q '^STATUS=.* stored, ' "$work/notified" || fail "no status"
kill -TERM $pid; wait $pid || fail "ready: status $?"
grep -qx STOPPING=1 "$work/notified" || fail "not stopping"
echo ok
