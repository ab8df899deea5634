#!/usr/bin/env bash
# The trace viewer's log keeps every line with its CR LF; the window, keeping
# the last 10, says how many older ones it dropped.
set -u
source "$(dirname "$0")/lib.sh" "$1"
export TMPDIR=$work  # a viewer socket of our own, apart from any other viewer
"$1/fetchora-trace" --log "$work/trace.log" --lines 10 >/dev/null 2>&1 &
wait_for test -S "$work/Tracewright" || { echo "no viewer"; exit 1; }
"$work/app/fetchora" >/dev/null 2>&1 & app=$!
wait_for has_window || { echo "no window"; exit 1; }
kill -TERM "$app"; wait "$app"
lines=$(wc -l < "$work/trace.log"); crlf=$(grep -c $'\r$' "$work/trace.log")
[ "$lines" -gt 10 ] && [ "$crlf" = "$lines" ] || { echo "$lines lines, $crlf end in CR LF"; exit 1; }
wait_for xdotool search --name "^Tracewright - $((lines - 10)) older lines dropped" >/dev/null || { echo "no word of dropped lines"; exit 1; }
echo ok
