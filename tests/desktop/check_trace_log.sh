#!/usr/bin/env bash
# The trace viewer with a --log it cannot write yet: its title says so while the program's lines come
# in, and once the folder is there the log catches up with every line and the title clears.
set -u
source "$(dirname "$0")/lib.sh" "$1"
export XDG_RUNTIME_DIR=$work  # a viewer socket of this check's own
log=$work/later/trace.log
"$1/fetchora-trace" --log "$log" >/dev/null 2>&1 &
wait_for test -S "$work/Tracewright" || { echo "no viewer"; exit 1; }
"$work/app/fetchora" >/dev/null 2>&1 & app=$!
wait_for has_window || { echo "no window"; exit 1; }
wait_for xdotool search --name "^Tracewright - cannot write the log $log" >/dev/null || { echo "no word of the log"; exit 1; }
mkdir "$work/later"
wait_for xdotool search --name "^Tracewright$" >/dev/null || { echo "the log did not catch up"; exit 1; }
kill -TERM "$app"; wait "$app"
wait_for grep -q "Sub Form_Unload" "$log" || { echo "the log stopped"; exit 1; }
grep -q "START TRACEWRIGHT" "$log" || { echo "the log lacks the first lines"; exit 1; }
echo ok
