#!/usr/bin/env bash
# Runs every benchmark, writes one Markdown table to <builddir>/bench/results.md
# and puts it into README.md between the "make bench" markers, headed with the
# commit measured, so the table there is always this output and never typed.
#
#   bash bench/run.sh <builddir>
#
# Sizes: 1 GiB download, 512 MiB end to end, 512 MiB ZIP source. They shrink
# (with a note) when the scratch folder has too little free space. Runs per
# side: DOWNLOAD_RUNS (3), END_TO_END_RUNS (3), ZIP_RUNS (1: one pass at levels
# 1, 6 and 9 already takes about two minutes on two cores), STARTUP_RUNS (7);
# ETAG_CYCLES (10) cycles of an unchanged 100 MiB file with an ETag;
# FOLDER_FILES (100000) files in the save folder for FOLDER_CYCLES (100) cycles;
# HISTORY_LINES (525600: a year, one a minute) lines of history.log with
# HISTORY_COPIES (100000) copies, HISTORY_RUNS (3) openings of the window.
# README=0 leaves README.md alone. Everything stays on 127.0.0.1.
set -euo pipefail

BUILD=${1:?usage: bash bench/run.sh <builddir>}
BUILD=$(cd "$BUILD" && pwd)
BIN="$BUILD/bench"
DOWNLOAD_RUNS=${DOWNLOAD_RUNS:-3}
ZIP_RUNS=${ZIP_RUNS:-1}
STARTUP_RUNS=${STARTUP_RUNS:-7}
ETAG_CYCLES=${ETAG_CYCLES:-10}
END_TO_END_RUNS=${END_TO_END_RUNS:-3}
FOLDER_FILES=${FOLDER_FILES:-100000}
FOLDER_CYCLES=${FOLDER_CYCLES:-100}
HISTORY_LINES=${HISTORY_LINES:-525600}
HISTORY_COPIES=${HISTORY_COPIES:-100000}
HISTORY_RUNS=${HISTORY_RUNS:-3}
README=${README:-1}
HERE=$(cd "$(dirname "$0")/.." && pwd)
LOAD_START=$(cut -d' ' -f1-3 /proc/loadavg)

for tool in curl zip sha256sum diff; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run 'bash scripts/setup.sh'" >&2; exit 1; }
done
for exe in bench_server bench_download bench_zip bench_startup hello_qt bench_program bench_warp.so bench_history; do
    [ -x "$BIN/$exe" ] || { echo "$BIN/$exe is missing: cmake --build $BUILD --target benchmarks" >&2; exit 1; }
done
[ -x "$BUILD/fetchora" ] || { echo "$BUILD/fetchora is missing" >&2; exit 1; }

# Scratch space beside the build: large files, removed on any exit. The
# folder of many small files goes to memory (tmpfs) where there is one: the
# row measures the program's work per cycle, and removing 100,000 files from
# a busy disk would take minutes.
WORK=$(mktemp -d "$BUILD/bench/run.XXXXXX")
MANY=$(mktemp -d "$( [ -d /dev/shm ] && [ -w /dev/shm ] && echo /dev/shm || echo "$BUILD/bench")/fetchora-bench.XXXXXX")
SERVER_PID=
cleanup() {
    if [ -n "$SERVER_PID" ]; then kill "$SERVER_PID" 2>/dev/null || true; wait "$SERVER_PID" 2>/dev/null || true; fi
    rm -rf "$WORK" "$MANY"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

NOTES=()
DL_SIZE=$((1 << 30))
E2E_SIZE=$((512 << 20))
ZIP_SIZE=$((512 << 20))
# The download keeps two copies at most (engine, curl one after the other:
# one), the ZIP run holds the source plus two archives of up to its size.
# A margin of 1 GiB stays free for everybody else.
free_bytes() { echo $(( $(df -Pk "$WORK" | awk 'NR==2 {print $4}') * 1024 )); }
FREE=$(free_bytes)
MARGIN=$((1 << 30))
while [ "$DL_SIZE" -gt $((16 << 20)) ] && [ $((DL_SIZE + MARGIN)) -gt "$FREE" ]; do DL_SIZE=$((DL_SIZE / 2)); done
while [ "$E2E_SIZE" -gt $((16 << 20)) ] && [ $((E2E_SIZE + MARGIN)) -gt "$FREE" ]; do E2E_SIZE=$((E2E_SIZE / 2)); done
while [ "$ZIP_SIZE" -gt $((16 << 20)) ] && [ $((ZIP_SIZE * 3 + MARGIN)) -gt "$FREE" ]; do ZIP_SIZE=$((ZIP_SIZE / 2)); done
if [ "$DL_SIZE" -ne $((1 << 30)) ]; then
    NOTES+=("Only $((FREE >> 20)) MiB free in $WORK: the download is scaled down to $((DL_SIZE >> 20)) MiB.")
fi
if [ "$E2E_SIZE" -ne $((512 << 20)) ]; then
    NOTES+=("Only $((FREE >> 20)) MiB free in $WORK: the end-to-end file is scaled down to $((E2E_SIZE >> 20)) MiB.")
fi
if [ "$ZIP_SIZE" -ne $((512 << 20)) ]; then
    NOTES+=("Only $((FREE >> 20)) MiB free in $WORK: the ZIP source is scaled down to $((ZIP_SIZE >> 20)) MiB.")
fi
for n in "${NOTES[@]}"; do echo "NOTE: $n"; done

ROWS="$WORK/rows.txt"
: >"$ROWS"
collect() { grep '^ROW' | cut -f2- >>"$ROWS"; }

echo "== download ($((DL_SIZE >> 20)) MiB, $DOWNLOAD_RUNS runs per side)"
mkdir -p "$WORK/download"
"$BIN/bench_server" --size "$DL_SIZE" >"$WORK/server.out" &
SERVER_PID=$!
PORT=
for _ in $(seq 1 100); do
    PORT=$(awk '/^PORT/ {print $2}' "$WORK/server.out")
    [ -n "$PORT" ] && break
    kill -0 "$SERVER_PID" 2>/dev/null || { echo "bench_server did not start" >&2; exit 1; }
    sleep 0.05
done
[ -n "$PORT" ] || { echo "bench_server printed no port" >&2; exit 1; }
"$BIN/bench_download" --url "http://127.0.0.1:$PORT/" --dir "$WORK/download" --size "$DL_SIZE" \
    --runs "$DOWNLOAD_RUNS" --etag-size $((100 << 20)) --etag-cycles "$ETAG_CYCLES" | collect
rm -rf "$WORK/download"

echo "== end to end ($((E2E_SIZE >> 20)) MiB, $END_TO_END_RUNS runs per side, same server)"
"$BIN/bench_program" --fetchora "$BUILD/fetchora" --dir "$WORK/program" --url "http://127.0.0.1:$PORT/$E2E_SIZE" \
    --endtoend "$E2E_SIZE" --runs "$END_TO_END_RUNS" | collect
rm -rf "$WORK/program"

echo "== cycle cost: $FOLDER_FILES files in the save folder against none, $FOLDER_CYCLES cycles each"
"$BIN/bench_program" --fetchora "$BUILD/fetchora" --dir "$MANY" --url "http://127.0.0.1:$PORT/65536" \
    --folder "$FOLDER_FILES" --warp "$BIN/bench_warp.so" --cycles "$FOLDER_CYCLES" | collect
kill "$SERVER_PID"; wait "$SERVER_PID" 2>/dev/null || true; SERVER_PID=

echo "== zip ($((ZIP_SIZE >> 20)) MiB, levels 1 6 9, $ZIP_RUNS run(s) per side)"
mkdir -p "$WORK/zip"
"$BIN/bench_zip" --dir "$WORK/zip" --size "$ZIP_SIZE" --levels 1,6,9 --runs "$ZIP_RUNS" | collect
rm -rf "$WORK/zip"

echo "== start-up ($STARTUP_RUNS runs per side)"
mkdir -p "$WORK/startup"
"$BIN/bench_startup" --fetchora "$BUILD/fetchora" --hello "$BIN/hello_qt" --dir "$WORK/startup" \
    --runs "$STARTUP_RUNS" | collect

echo "== history window over a year ($HISTORY_LINES lines, $HISTORY_COPIES copies, $HISTORY_RUNS runs per side)"
mkdir -p "$WORK/history"
"$BIN/bench_history" --dir "$WORK/history" --lines "$HISTORY_LINES" --copies "$HISTORY_COPIES" \
    --runs "$HISTORY_RUNS" | collect
rm -rf "$WORK/history"

LOAD_END=$(cut -d' ' -f1-3 /proc/loadavg)
COMMIT=$(git -C "$HERE" rev-parse --short HEAD 2>/dev/null || echo unknown)
COMMIT_DATE=$(git -C "$HERE" log -1 --format=%cs 2>/dev/null || echo unknown)
# Changes not yet committed make the figures those of no commit: said so.
if ! git -C "$HERE" diff --quiet HEAD -- . ':!README.md' 2>/dev/null; then COMMIT="$COMMIT with uncommitted changes"; fi

# "0.59x" against ">= 0.9x": met, or how far off. A goal in seconds or MiB
# ("< 1 s") holds our own figure to it.
verdict() {
    awk -v ratio="$1" -v goal="$2" -v ours="$3" 'BEGIN {
        if (goal ~ /^[<>]=? *[0-9.]+ (s|MiB)$/) {
            unit = goal; sub(/^.* /, "", unit); want = goal; sub(/ [^ ]*$/, "", want); gsub(/[^0-9.]/, "", want); want += 0
            op = goal; sub(/ *[0-9.].*$/, "", op)
            if (ours !~ ("^[0-9.]+ " unit "$")) { print "-"; exit }
            got = ours + 0
            ok = (op == "<=" && got <= want) || (op == "<" && got < want) || (op == ">=" && got >= want) || (op == ">" && got > want)
            if (ok) print "met"; else printf "missed by %.2f %s\n", (got > want ? got - want : want - got), unit
            exit
        }
        if (goal !~ /^[<>]=? *[0-9.]+x$/ || ratio !~ /^[0-9.]+x$/) { print "-"; exit }
        op = goal; sub(/ *[0-9.]+x$/, "", op); want = goal; gsub(/[^0-9.]/, "", want); got = ratio + 0
        ok = (op == ">=" && got >= want) || (op == "<=" && got <= want) || (op == ">" && got > want) || (op == "<" && got < want)
        if (ok) print "met"; else printf "missed by %.2fx\n", (got > want ? got - want : want - got)
    }'
}

OUT="$BUILD/bench/results.md"
{
    echo "Measured with \`make bench\` at commit $COMMIT ($COMMIT_DATE), $(date -u '+%Y-%m-%d %H:%M UTC'), on $(nproc) cores" \
        "($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(($(awk '/MemTotal/ {print $2}' /proc/meminfo) >> 20)) GiB RAM);" \
        "load average $LOAD_START at the start, $LOAD_END at the end."
    echo
    echo "| benchmark | ours | peer | ratio | goal | result |"
    echo "|---|---|---|---|---|---|"
    while IFS=$'\t' read -r name ours peer ratio goal; do
        echo "| $name | $ours | $peer | $ratio | $goal | $(verdict "$ratio" "$goal" "$ours") |"
    done <"$ROWS"
    if [ "${#NOTES[@]}" -gt 0 ]; then
        echo
        for n in "${NOTES[@]}"; do echo "Note: $n"; done
    fi
    echo
    echo "Download and end-to-end ratios: the peer's time / ours (higher is better); ETag ratio: our body bytes /"
    echo "curl's (lower is better); ZIP ratios: ours / zip (lower is better); cycle-cost ratios: with the files /"
    echo "without; start-up ratio: our time / hello-qt time; history rows: ours / the peer's, the goal on our own"
    echo "figure."
} >"$OUT"
echo
cat "$OUT"

# The README's table is this file, between its markers.
if [ "$README" = 1 ] && [ -f "$HERE/README.md" ] && grep -q '^<!-- make bench: start -->$' "$HERE/README.md"; then
    awk -v table="$OUT" '
        /^<!-- make bench: start -->$/ { print; while ((getline line < table) > 0) print line; skip = 1; next }
        /^<!-- make bench: end -->$/ { skip = 0 }
        !skip { print }' "$HERE/README.md" >"$WORK/README.md" && cat "$WORK/README.md" >"$HERE/README.md"
    echo "README.md updated."
fi
