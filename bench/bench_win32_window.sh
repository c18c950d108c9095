#!/bin/sh
# The Windows program's window under Wine and Xvfb, in the same run:
#   - time from launch to the visible window: velmora.exe on a catalogue
#     server that accepts and never answers, beside a minimal Qt window built
#     the same way (static Qt, mingw-w64); medians of RUNS runs, interleaved,
#     and the ratio. Wine's own start is in both.
#   - memory at rest, 8 s after the window is shown on the silent server: the
#     resident size of velmora.exe under Wine beside the Linux program's
#     (with its browser processes) on the same server.
# Usage: bench/bench_win32_window.sh [LINUX_BUILD] [WIN32_GUI_BUILD] [RUNS]
set -eu
SELF=$(realpath "$0")
LINUX=${1:-build}
GUI=${2:-build-win32}
RUNS=${3:-5}
EXE=$GUI/app/velmora.exe
MINIMAL=$GUI/bench/bench_minimal_window.exe
WINE=$(command -v wine64 || echo /usr/lib/wine/wine64)
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)
for need in "$EXE" "$MINIMAL" xvfb-run xdotool; do
    if ! command -v "$need" >/dev/null 2>&1 && [ ! -f "$need" ]; then
        echo "bench_win32_window: $need is missing (scripts/build-win32-gui.sh first), skipped"
        exit 0
    fi
done
if [ -z "${VELMORA_UNDER_XVFB:-}" ]; then
    exec env VELMORA_UNDER_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" sh "$SELF" "$@"
fi

WORK=$(mktemp -d)
export WINEPREFIX="$WORK/wine" WINEARCH=win64 WINEDEBUG=-all LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" QT_QPA_PLATFORM=windows
SILENT=""
cleanup() {
    [ -n "$SILENT" ] && kill "$SILENT" 2>/dev/null || true
    "$WINESERVER" -k >/dev/null 2>&1 || true
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM
"$WINE" wineboot -i >/dev/null 2>&1
"$WINESERVER" -w

# The silent server: accepts, reads, never answers.
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
python3 -c '
import socket, sys, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(64)
held = []
while True:
    c, _ = s.accept(); held.append(c)
' "$PORT" &
SILENT=$!
BASE="http://127.0.0.1:$PORT"
cp "$EXE" "$GUI/app/Update.dll" "$WORK/" 2>/dev/null || cp "$EXE" "$WORK/"

# shown TITLE COMMAND...: ms from launch until a window titled TITLE is visible;
# the program is left running (its pid in $LAST).
shown() {
    title=$1
    shift
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 &
    LAST=$!
    while ! xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1; do
        sleep 0.02
    done
    echo $(( ($(date +%s%N) - start) / 1000000 ))
}
stop() {
    kill "$LAST" 2>/dev/null || true
    "$WINESERVER" -k >/dev/null 2>&1 || true
    "$WINESERVER" -w 2>/dev/null || true
}
# Resident kB of the processes whose command line holds NAME.
rss_kb() {
    total=0
    for pid in $(pgrep -f "$1" || true); do
        kb=$(sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$pid/status" 2>/dev/null || echo 0)
        total=$((total + ${kb:-0}))
    done
    echo "$total"
}
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

i=0
: >"$WORK/minimal.txt"
: >"$WORK/velmora.txt"
while [ "$i" -lt "$RUNS" ]; do
    shown Minimal "$WINE" "$MINIMAL" >>"$WORK/minimal.txt"
    stop
    shown Velmora "$WINE" "$WORK/velmora.exe" --server "$BASE" >>"$WORK/velmora.txt"
    stop
    i=$((i + 1))
done
m=$(median <"$WORK/minimal.txt")
v=$(median <"$WORK/velmora.txt")
printf "%-40s %9s %6s\n" "window under Wine (silent server)" "shown ms" "ratio"
printf "%-40s %9s %6s\n" "minimal Qt window (same build)" "$m" "1.00"
awk -v v="$v" -v m="$m" 'BEGIN { printf "%-40s %9s %6.2f\n", "velmora.exe", v, v / m }'

# Memory at rest.
shown Velmora "$WINE" "$WORK/velmora.exe" --server "$BASE" >/dev/null
sleep 8
win=$(rss_kb 'velmora\.exe')
stop
linux="-"
if [ -x "$LINUX/app/velmora" ]; then
    env QT_QPA_PLATFORM=xcb XDG_DATA_HOME="$WORK/xdg" "$LINUX/app/velmora" --server "$BASE" >/dev/null 2>&1 &
    LPID=$!
    while ! xdotool search --onlyvisible --name '^Velmora$' >/dev/null 2>&1; do sleep 0.05; done
    sleep 8
    linux=$(( $(rss_kb "$LINUX/app/velmora") + $(rss_kb QtWebEngineProcess) ))
    kill "$LPID" 2>/dev/null || true
    wait "$LPID" 2>/dev/null || true
fi
printf "%-40s %9s\n" "memory at rest (resident kB)" ""
printf "%-40s %9s\n" "velmora.exe under Wine" "$win"
printf "%-40s %9s\n" "Linux velmora (with browser processes)" "$linux"
echo "shown: median of $RUNS runs, launch of wine to the visible window; memory: 8 s after shown."
