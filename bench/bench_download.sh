#!/bin/sh
# A 200 MB package served by `velmora-tool serve`, fetched through the download
# worker (`velmora-tool get`) and by curl, alternately in the same run: median
# wall time of each, their ratio, peak resident memory of each (/usr/bin/time's
# %M: the whole process, the libraries it maps included), and the number of
# updates the worker handed to the main thread.
# Usage: bench/bench_download.sh BUILD_DIR [RUNS]
set -eu
BUILD=${1:-build}
RUNS=${2:-5}
TOOL=$BUILD/tools/velmora-tool
SIZE=209715200

for need in curl /usr/bin/time; do
    if ! command -v "$need" >/dev/null 2>&1; then
        echo "bench_download: $need is missing, skipped"
        exit 0
    fi
done
if [ ! -x "$TOOL" ]; then
    echo "bench_download: $TOOL is not built, skipped"
    exit 0
fi

WORK=$(mktemp -d)
SERVER=
cleanup() {
    if [ -n "$SERVER" ]; then
        kill "$SERVER" 2>/dev/null || true
        wait "$SERVER" 2>/dev/null || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

mkdir "$WORK/srv"
head -c "$SIZE" /dev/urandom >"$WORK/srv/package.zip"

# A port nobody uses: the server exits at once when it cannot bind, and a
# foreign server would not have our package.
port=$((20000 + $$ % 20000))
tries=0
while :; do
    "$TOOL" serve "$WORK/srv" --port "$port" 2>/dev/null &
    SERVER=$!
    sleep 0.5
    if kill -0 "$SERVER" 2>/dev/null &&
        [ "$(curl -s -o /dev/null -I -w '%{http_code}' "http://127.0.0.1:$port/package.zip")" = 200 ]; then
        break
    fi
    kill "$SERVER" 2>/dev/null || true
    wait "$SERVER" 2>/dev/null || true
    SERVER=
    tries=$((tries + 1))
    if [ "$tries" -ge 20 ]; then
        echo "bench_download: no free port for the server, skipped"
        exit 0
    fi
    port=$((port + 1))
done
URL=http://127.0.0.1:$port/package.zip

# Warm the page cache so that the first timed run is not the one reading from disk.
curl -s -o /dev/null "$URL"

i=0
while [ "$i" -lt "$RUNS" ]; do
    rm -f "$WORK/curl.zip" "$WORK/get.zip"
    /usr/bin/time -f "%e %M" -o "$WORK/t" curl -s -o "$WORK/curl.zip" "$URL" || true
    cat "$WORK/t" >>"$WORK/curl.times"
    /usr/bin/time -f "%e %M" -o "$WORK/t" "$TOOL" get "$URL" "$WORK/get.zip" >"$WORK/updates" || true
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
CURL_T=$(median "$WORK/curl.times" 1)
GET_T=$(median "$WORK/get.times" 1)
CURL_M=$(median "$WORK/curl.times" 2)
GET_M=$(median "$WORK/get.times" 2)
UPDATES=$(wc -l <"$WORK/updates")
LAST=$(tail -n 1 "$WORK/updates")

echo "download of 200 MB from velmora-tool serve on 127.0.0.1, median of $RUNS runs"
awk -v ct="$CURL_T" -v gt="$GET_T" -v cm="$CURL_M" -v gm="$GET_M" -v up="$UPDATES" -v last="$LAST" 'BEGIN {
    printf "  curl                 %6.2f s   peak %7.1f MB\n", ct, cm / 1024
    printf "  TDownThread (get)    %6.2f s   peak %7.1f MB\n", gt, gm / 1024
    printf "  time ratio get/curl  %6.2f     (goal <= 0.9)\n", (ct > 0 ? gt / ct : 0)
    printf "  peak get             %6.1f MB  (goal <= 12; curl %.1f MB)\n", gm / 1024, cm / 1024
    printf "  main-thread updates  %6d     (goal <= 102; last \"%s\")\n", up, last
}'
