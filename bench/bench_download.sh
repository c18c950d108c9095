#!/bin/sh
# A 200 MB package fetched from nginx on 127.0.0.1 (the server publishers use,
# with sendfile as Debian ships it, so that the server costs the clients
# little) through the download worker (`velmora-tool get`) and by curl,
# alternately in the same run: median wall time and processor time of each,
# their ratio, peak resident memory of each (/usr/bin/time's %M: the whole
# process, the libraries it maps included), and the number of updates the
# worker handed to the main thread. The disk is synced before each timed run,
# so that neither download pays for writing back the one before.
# Usage: bench/bench_download.sh BUILD_DIR [RUNS]
set -eu
BUILD=${1:-build}
RUNS=${2:-9}
TOOL=$BUILD/tools/velmora-tool
SIZE=209715200
NAME=bench_download
. "$(dirname "$0")/nginx-server.sh"

for need in curl /usr/bin/time "$NGINX"; do
    if ! command -v "$need" >/dev/null 2>&1 && [ ! -x "$need" ]; then
        echo "bench_download: $need is missing, skipped"
        exit 0
    fi
done
if [ ! -x "$TOOL" ]; then
    echo "bench_download: $TOOL is not built, skipped"
    exit 0
fi

WORK=$(mktemp -d)
cleanup() {
    if [ -n "$NGINX_PID" ]; then
        kill "$NGINX_PID" 2>/dev/null || true
        wait "$NGINX_PID" 2>/dev/null || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

mkdir -p "$WORK/www"
head -c "$SIZE" /dev/urandom >"$WORK/www/package.zip"
start_nginx_server
URL=$BASE/package.zip

# Warm the page cache so that the first timed run is not the one reading from disk.
curl -s -o /dev/null "$URL"

i=0
while [ "$i" -lt "$RUNS" ]; do
    rm -f "$WORK/curl.zip" "$WORK/get.zip"
    sync
    /usr/bin/time -f "%e %M %U %S" -o "$WORK/t" curl -s -o "$WORK/curl.zip" "$URL" || true
    cat "$WORK/t" >>"$WORK/curl.times"
    sync
    /usr/bin/time -f "%e %M %U %S" -o "$WORK/t" "$TOOL" get "$URL" "$WORK/get.zip" >"$WORK/updates" || true
    cat "$WORK/t" >>"$WORK/get.times"
    if ! cmp -s "$WORK/curl.zip" "$WORK/get.zip"; then
        echo "bench_download: the two downloads differ"
        exit 0
    fi
    i=$((i + 1))
done

median() { # column of a times file
    sort -n -k"$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'
}
cpu() { # median processor seconds (user + system) of a times file
    awk '{ print $3 + $4 }' "$1" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}
UPDATES=$(wc -l <"$WORK/updates")
LAST=$(tail -n 1 "$WORK/updates")

echo "download of 200 MB from nginx on 127.0.0.1, median of $RUNS runs"
awk -v ct="$(median "$WORK/curl.times" 1)" -v gt="$(median "$WORK/get.times" 1)" \
    -v cm="$(median "$WORK/curl.times" 2)" -v gm="$(median "$WORK/get.times" 2)" \
    -v cc="$(cpu "$WORK/curl.times")" -v gc="$(cpu "$WORK/get.times")" \
    -v up="$UPDATES" -v last="$LAST" 'BEGIN {
    printf "  curl                 %6.2f s  (%5.2f s processor)   peak %5.1f MB\n", ct, cc, cm / 1024
    printf "  TDownThread (get)    %6.2f s  (%5.2f s processor)   peak %5.1f MB\n", gt, gc, gm / 1024
    printf "  time ratio get/curl  %6.2f     (goal <= 0.9; processor %.2f)\n", (ct > 0 ? gt / ct : 0), (cc > 0 ? gc / cc : 0)
    printf "  peak get             %6.1f MB  (goal <= 12; curl %.1f MB)\n", gm / 1024, cm / 1024
    printf "  main-thread updates  %6d     (goal <= 102; last \"%s\")\n", up, last
}'
