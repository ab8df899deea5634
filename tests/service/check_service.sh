#!/usr/bin/env bash
# The real program with no window and no display.
source "$(dirname "$0")/lib.sh" "$1"

"$program" --help | grep -q -- '--headless' && "$program" --version | grep -qx 'fetchora [0-9.]*' || fail "help, version"
"$program" --config "$work/x" --bogus 2>&1 | grep -q '^Usage:' && [ ${PIPESTATUS[0]} = 2 ] || fail "an unknown option is not refused"
# No display for a window: one line pointing to --headless and status 2, whatever else the command line holds.
while IFS='|' read -r vars args; do
  env $vars "$program" $args > /dev/null 2> "$work/nodisplay.err"; rc=$?
  [ $rc = 2 ] && [ "$(wc -l < "$work/nodisplay.err")" = 1 ] && grep -q -- --headless "$work/nodisplay.err" ||
    fail "no display with '$vars $args': status $rc, $(cat "$work/nodisplay.err")"
done <<TABLE
-|--config $work/x
QT_QPA_PLATFORM=xcb|--config $work/x -s
DISPLAY=:987|-s
TABLE

# Settings it cannot run with: status 2 and one line naming the key.
while IFS='|' read -r name url extra key; do
  profile "$name" "$url" $extra
  [ "$name" = dirini ] && rm "$work/$name/fcr.ini" && mkdir "$work/$name/fcr.ini"
  once "$name"; [ $rc = 2 ] && [ "$(wc -l < "$work/$name.err")" = 1 ] && grep -q "^fetchora: $key" "$work/$name.err" ||
    fail "$name: status $rc, expected 2 naming $key"
done <<TABLE
nourl|||URL
ftp|ftp://127.0.0.1/a.txt||URL
nohost|http:///a.txt||URL
nosave|$base/a.txt|SavePath=|SavePath
gone|$base/a.txt|SavePath=$work/nowhere|SavePath
dirini|$base/a.txt||fcr.ini
blank|$base/daily report.csv||URL
escape|$base/a%zz.txt||URL
TABLE

# One attempt per outcome; the line on standard output and in history.log, the password masked in both.
while IFS='|' read -r name url extra status outcome; do
  profile "$name" "$url" $extra; [ "$name" = storefails ] && mkdir "$work/$name/save/a.txt"
  once "$name"
  [ $rc = "$status" ] || fail "$name: status $rc, expected $status"
  grep -hq "Z $outcome, \|[+-][0-9:]* $outcome, " "$work/$name.out" "$work/$name.err" &&
    [ "$(cut -f2 "$work/$name/history.log")" = "$outcome" ] || fail "$name: no $outcome line"
  ! grep -q secret "$work/$name.out" "$work/$name.err" "$work/$name/history.log" || fail "$name: password shown"
  # Someone who reads the service's errors knows keys and files, not the window's procedures.
  ! grep -Eq "module|Sub |Tracewright" "$work/$name.err" || fail "$name: an error names procedures"
done <<TABLE
stored|$base/f/a.txt||0|stored
notfound|$base/404/a.txt||1|not-found
http|$base/503/a.txt||1|failed
storefails|$base/f/a.txt|Mode1=0|1|failed
TABLE
# A run of its own knows the copy the run before stored: the same body again is unchanged.
profile again "$base/f/a.txt" CheckVersion=True; once again; once again
[ $rc = 0 ] && [ "$(cut -f2 "$work/again/history.log" | xargs)" = "stored unchanged" ] || fail "again: status $rc"
"$program" --once --config "$work/made/new" > /dev/null 2>&1; [ $? = 2 ] && [ "$(stat -c %a "$work/made/new")" = 700 ] ||
  fail "--config folder not made 0700"

# Hooks: one records its environment, one cannot start.
record='sh -c '"'"'env | grep ^FETCHORA_ | sort > "$0"'"'"' '$work/env.txt
profile hooked "$base/f/b.txt" "OnStored=$record"; once hooked
copy=$(ls "$work"/hooked/save/b_*.txt)
printf -v expected 'FETCHORA_%s\n' "BYTES=$(stat -c %s "$copy")" ERROR= "FILE=$copy" OUTCOME=stored \
  "SHA256=$(sha256sum < "$copy" | cut -d' ' -f1)" STATUS=200 "URL=${base/secret/***}/f/b.txt"
[ $rc = 0 ] && [ "$(cat "$work/env.txt")" = "${expected%$'\n'}" ] || fail "hook environment: $(cat "$work/env.txt")"
# A save folder given relative to where the program starts: the hook and history.log get the copy's absolute path.
profile relative "$base/f/r.txt" SavePath=save "OnStored=$record"; (cd "$work/relative" && once relative)
grep -qx "FETCHORA_FILE=$work/relative/save/r_.*\.txt" "$work/env.txt" &&
  [ "$(cut -f7 "$work/relative/history.log")" = "$(ls "$work"/relative/save/r_*.txt)" ] || fail "relative save folder"
profile hookfail "$base/503/b.txt" "OnFailed=$record"; once hookfail
grep -qx 'FETCHORA_ERROR=http 503 HTTP 503 Service Unavailable' "$work/env.txt" || fail "OnFailed environment"
profile missing "$base/404/c.txt" OnFailed=/nowhere/fetchora-hook; once missing
[ $rc = 1 ] && [ "$(grep -c "hook OnFailed" "$work/missing.err")" = 1 ] && grep -q "(fetchora-hook): .*No such file" "$work/missing.err" ||
  fail "missing hook: status $rc, no single report"

# Three profiles side by side, each on its own folder; a second program on one of them says whose lock it is.
for sig in TERM INT HUP; do
  profile "$sig" "$base/f/$sig.txt" Start=1
  "$program" --headless --config "$work/$sig" > "$work/$sig.out" 2> "$work/$sig.err" & eval "pid_$sig=$!"
done
for sig in TERM INT HUP; do wait_for grep -q " stored, " "$work/$sig.out" || fail "$sig: no copy stored"; done
holder="the service, process $pid_TERM of $(id -un) on $(hostname)"
once TERM; [ $rc = 1 ] && grep -q "$holder" "$work/TERM.err" || fail "second program: status $rc"
for sig in TERM INT HUP; do
  pid=pid_$sig; kill -$sig ${!pid}; wait ${!pid}; rc=$?
  [ $rc = 0 ] && [ "$(ls "$work/$sig/save")" ] || fail "$sig: status $rc"
done
# A service killed outright (kill -9) is replaced by the next start: the lock is the next one's, and what the
# killed one left in tmp/ goes.
profile killed "$base/f/k.txt" Start=1
"$program" --headless --config "$work/killed" > "$work/killed.out" 2>&1 & pid=$!
wait_for grep -q " stored, " "$work/killed.out" || fail "killed: no copy stored"
echo half > "$work/killed/tmp/k.txt.7.part"; kill -KILL $pid; wait $pid 2>/dev/null
once killed; [ $rc = 0 ] && [ -z "$(ls -A "$work/killed/tmp")" ] || fail "after kill -9: status $rc, tmp: $(ls -A "$work/killed/tmp")"
# SIGTERM while a copy is packed: the copy is finished whole, or given up when that would outlast the end's bound;
# either way its line is written, the status is 0, and nothing half is left under a copy's name. A small copy is
# mostly finished, a large one given up.
for size_rate in 4:1 64:9; do
profile packing "$base/big/${size_rate%:*}/p.txt" Start=1 Compress=1 CompRate=${size_rate#*:}
/usr/bin/python3 - "$program" "$work/packing" <<'PY' || fail "SIGTERM while packing"
import ctypes, os, select, signal, struct, subprocess, sys, time
libc = ctypes.CDLL(None, use_errno=True)
watch = libc.inotify_init1(os.O_NONBLOCK)
libc.inotify_add_watch(watch, os.path.join(sys.argv[2], "save").encode(), 0x100)  # IN_CREATE
p = subprocess.Popen([sys.argv[1], "--headless", "--config", sys.argv[2]], stdout=subprocess.DEVNULL)
end, packing = time.monotonic() + 20, False
while not packing and time.monotonic() < end:
    if not select.select([watch], [], [], 1)[0]:
        continue
    events, at = os.read(watch, 65536), 0
    while at < len(events):
        size = struct.unpack_from("iIII", events, at)[3]
        packing |= b".fetchora-zip" in events[at + 16 : at + 16 + size]
        at += 16 + size
if not packing:
    p.kill()
p.send_signal(signal.SIGTERM)
sys.exit(0 if packing and p.wait(timeout=5) == 0 else f"packing seen: {packing}, status {p.wait()}")
PY
IFS=$'\t' read -r _ outcome _ _ _ _ detail _ < <(tail -n1 "$work/packing/history.log")
case $outcome in
  stored) 7z t -bso0 -bse0 "$detail" || fail "packing: the copy stored is not whole" ;;
  failed) [ "$detail" = "the program ended before the copy was stored" ] && [ -z "$(ls "$work/packing/save")" ] ||
            fail "packing: given up as '$detail', save holds $(ls "$work/packing/save")" ;;
  *) fail "packing: the last line says $outcome" ;;
esac
once packing; [ -z "$(ls -A "$work/packing/save" | grep '^\.')" ] || fail "packing: the next start left $(ls -A "$work/packing/save")"
rm -rf "$work/packing"
done
echo ok
