#!/bin/sh
# The Windows edition beside the Linux one, in the same run:
#   - a 200 MB package from `velmora-tool serve` fetched by curl, by the Linux
#     `velmora-tool get` (libcurl) and by `velmora-tool.exe get` under Wine
#     (WinINet): median wall time of RUNS runs each, interleaved, and ratios;
#   - the catalogue of bench_catalog (120,000 items, code page 936) read by
#     `velmora-tool catalog` on both sides (the whole program run, output to
#     /dev/null): median of RUNS runs and the ratio.
# Wine runs in a fresh prefix of its own (its start-up, about a second, is
# part of every Windows time: a user starting the tool pays it too).
# Usage: bench/bench_win32.sh [LINUX_BUILD] [WIN32_BUILD] [RUNS]
set -eu
LINUX=${1:-build}
WIN32=${2:-build-win32}
RUNS=${3:-3}
TOOL=$LINUX/tools/velmora-tool
EXE=$WIN32/tools/velmora-tool.exe
GEN=$LINUX/bench/bench_catalog
WINE=$(command -v wine64 || echo /usr/lib/wine/wine64)
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)
for need in curl "$WINE" "$TOOL" "$EXE" "$GEN"; do
    if ! command -v "$need" >/dev/null 2>&1 && [ ! -x "$need" ] && [ ! -f "$need" ]; then
        echo "bench_win32: $need is missing (build both sides first), skipped"
        exit 0
    fi
done

WORK=$(mktemp -d)
export WINEPREFIX="$WORK/wine" WINEARCH=win64 WINEDEBUG=-all DISPLAY="" LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
SERVER=
cleanup() {
    if [ -n "$SERVER" ]; then kill "$SERVER" 2>/dev/null || true; fi
    "$WINESERVER" -k >/dev/null 2>&1 || true
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
"$WINE" wineboot -i >/dev/null 2>&1
"$WINESERVER" -w

mkdir "$WORK/srv"
head -c 209715200 /dev/urandom >"$WORK/srv/package.zip"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
"$TOOL" serve "$WORK/srv" --port "$port" 2>/dev/null &
SERVER=$!
URL=http://127.0.0.1:$port/package.zip
for _ in 1 2 3 4 5 6 7 8 9 10; do
    curl -s -o /dev/null "$URL" && break
    sleep 0.3
done

"$GEN" generate "$WORK" >/dev/null

ms() { # command...: wall milliseconds
    s=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    e=$(date +%s%N)
    echo $(((e - s) / 1000000))
}
i=0
while [ "$i" -lt "$RUNS" ]; do
    rm -f "$WORK"/*.zip.out
    ms curl -s -o "$WORK/curl.zip.out" "$URL" >>"$WORK/curl.ms"
    ms "$TOOL" get "$URL" "$WORK/linux.zip.out" >>"$WORK/linux.ms"
    ms "$WINE" "$EXE" get "$URL" "Z:$WORK/win.zip.out" >>"$WORK/win.ms"
    if ! cmp -s "$WORK/curl.zip.out" "$WORK/win.zip.out" || ! cmp -s "$WORK/curl.zip.out" "$WORK/linux.zip.out"; then
        echo "bench_win32: the downloads differ"
        exit 1
    fi
    ms "$TOOL" catalog "$WORK/config.txt" --system "$WORK/sim" --exe-dir "$WORK/exe" >>"$WORK/cat-linux.ms"
    ms "$WINE" "$EXE" catalog "Z:$WORK/config.txt" --exe-dir "Z:$WORK/exe" >>"$WORK/cat-win.ms"
    i=$((i + 1))
done
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
awk -v c="$(median "$WORK/curl.ms")" -v l="$(median "$WORK/linux.ms")" -v w="$(median "$WORK/win.ms")" \
    -v cl="$(median "$WORK/cat-linux.ms")" -v cw="$(median "$WORK/cat-win.ms")" -v n="$RUNS" 'BEGIN {
    printf "median of %d runs, same machine, same run\n", n
    printf "get 200 MB   curl                     %7.2f s\n", c / 1000
    printf "             velmora-tool (libcurl)   %7.2f s   %.2f x curl\n", l / 1000, l / c
    printf "             velmora-tool.exe (WinINet, Wine) %7.2f s   %.2f x curl, %.2f x Linux\n", w / 1000, w / c, w / l
    printf "catalogue    velmora-tool catalog     %7.2f s\n", cl / 1000
    printf "             velmora-tool.exe catalog (Wine) %7.2f s   %.2f x Linux\n", cw / 1000, cw / cl
}'
