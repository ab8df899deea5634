#!/usr/bin/env bash
# Runs every benchmark and writes one Markdown table to <builddir>/bench/results.md.
#
#   bash bench/run.sh <builddir>
#
# Sizes: 1 GiB download, 512 MiB ZIP source. They shrink (with a note) when the
# scratch folder has too little free space. Runs per side: DOWNLOAD_RUNS (3),
# ZIP_RUNS (1: one pass at levels 1, 6 and 9 already takes about two minutes
# on two cores), STARTUP_RUNS (7); ETAG_CYCLES (10) cycles of an unchanged
# 100 MiB file with an ETag. Everything stays on 127.0.0.1.
set -euo pipefail

BUILD=${1:?usage: bash bench/run.sh <builddir>}
BUILD=$(cd "$BUILD" && pwd)
BIN="$BUILD/bench"
DOWNLOAD_RUNS=${DOWNLOAD_RUNS:-3}
ZIP_RUNS=${ZIP_RUNS:-1}
STARTUP_RUNS=${STARTUP_RUNS:-7}
ETAG_CYCLES=${ETAG_CYCLES:-10}

for tool in curl zip; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run 'bash scripts/setup.sh'" >&2; exit 1; }
done
for exe in bench_server bench_download bench_zip bench_startup hello_qt; do
    [ -x "$BIN/$exe" ] || { echo "$BIN/$exe is missing: cmake --build $BUILD --target benchmarks" >&2; exit 1; }
done
[ -x "$BUILD/fetchora" ] || { echo "$BUILD/fetchora is missing" >&2; exit 1; }

# Scratch space beside the build: large files, removed on any exit.
WORK=$(mktemp -d "$BUILD/bench/run.XXXXXX")
SERVER_PID=
cleanup() {
    if [ -n "$SERVER_PID" ]; then kill "$SERVER_PID" 2>/dev/null || true; wait "$SERVER_PID" 2>/dev/null || true; fi
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

NOTES=()
DL_SIZE=$((1 << 30))
ZIP_SIZE=$((512 << 20))
# The download keeps two copies at most (engine, curl one after the other:
# one), the ZIP run holds the source plus two archives of up to its size.
# A margin of 1 GiB stays free for everybody else.
free_bytes() { echo $(( $(df -Pk "$WORK" | awk 'NR==2 {print $4}') * 1024 )); }
FREE=$(free_bytes)
MARGIN=$((1 << 30))
while [ "$DL_SIZE" -gt $((16 << 20)) ] && [ $((DL_SIZE + MARGIN)) -gt "$FREE" ]; do DL_SIZE=$((DL_SIZE / 2)); done
while [ "$ZIP_SIZE" -gt $((16 << 20)) ] && [ $((ZIP_SIZE * 3 + MARGIN)) -gt "$FREE" ]; do ZIP_SIZE=$((ZIP_SIZE / 2)); done
if [ "$DL_SIZE" -ne $((1 << 30)) ]; then
    NOTES+=("Only $((FREE >> 20)) MiB free in $WORK: the download is scaled down to $((DL_SIZE >> 20)) MiB.")
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
kill "$SERVER_PID"; wait "$SERVER_PID" 2>/dev/null || true; SERVER_PID=
rm -rf "$WORK/download"

echo "== zip ($((ZIP_SIZE >> 20)) MiB, levels 1 6 9, $ZIP_RUNS run(s) per side)"
mkdir -p "$WORK/zip"
"$BIN/bench_zip" --dir "$WORK/zip" --size "$ZIP_SIZE" --levels 1,6,9 --runs "$ZIP_RUNS" | collect
rm -rf "$WORK/zip"

echo "== start-up ($STARTUP_RUNS runs per side)"
mkdir -p "$WORK/startup"
"$BIN/bench_startup" --fetchora "$BUILD/fetchora" --hello "$BIN/hello_qt" --dir "$WORK/startup" \
    --runs "$STARTUP_RUNS" | collect

OUT="$BUILD/bench/results.md"
{
    echo "Fetchora benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores" \
        "($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(($(awk '/MemTotal/ {print $2}' /proc/meminfo) >> 20)) GiB RAM)"
    echo
    echo "| benchmark | ours | peer | ratio | goal |"
    echo "|---|---|---|---|---|"
    while IFS=$'\t' read -r name ours peer ratio goal; do
        echo "| $name | $ours | $peer | $ratio | $goal |"
    done <"$ROWS"
    if [ "${#NOTES[@]}" -gt 0 ]; then
        echo
        for n in "${NOTES[@]}"; do echo "Note: $n"; done
    fi
    echo
    echo "Download ratio: curl time / our time (higher is better); ETag ratio: our body bytes / curl's (lower is"
    echo "better); ZIP ratios: ours / zip (lower is better);"
    echo "start-up ratio: our time / hello-qt time."
} >"$OUT"
echo
cat "$OUT"
