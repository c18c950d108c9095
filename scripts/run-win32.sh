#!/bin/sh
# The Windows program under Wine (./scripts/run.sh --win32): builds
# velmora.exe (scripts/build-win32-gui.sh), makes the demo catalogue, serves
# it with the Linux `velmora-tool serve`, and starts velmora.exe against it in
# a Wine prefix of its own (build-win32/wine, kept between runs: what the
# program changed stays in its registry and Windows folder).
#
# Without a display it runs under Xvfb, saves a screenshot of the window to
# build-win32/velmora-win32-screenshot.png (or $VELMORA_SCREENSHOT) and
# closes the program.
set -eu
cd "$(dirname "$0")/.."

BUILD=${VELMORA_WIN32_GUI_BUILD:-build-win32}
LINUX_BUILD=${VELMORA_BUILD_DIR:-build}
. scripts/wine-common.sh

./scripts/build-win32-gui.sh
if [ ! -f "$LINUX_BUILD/build.ninja" ]; then
    cmake -S . -B "$LINUX_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$LINUX_BUILD" --target velmora-tool velmora-demo >/dev/null

BASE=${VELMORA_SERVER:-http://127.0.0.1:18080}
PORT=$(echo "$BASE" | sed -n 's|^http://[^:/]*:\([0-9]*\).*|\1|p')
PORT=${PORT:-80}
DEMO="$BUILD/demo-catalog"
rm -rf "$DEMO"
QT_QPA_PLATFORM=offscreen "$LINUX_BUILD"/tools/velmora-demo "$DEMO" --base "$BASE" >/dev/null
"$LINUX_BUILD"/tools/velmora-tool serve "$DEMO" --port "$PORT" >/dev/null 2>&1 &
SERVER=$!
trap 'kill $SERVER 2>/dev/null || true' EXIT INT TERM
for _ in $(seq 1 50); do
    curl -sf -o /dev/null "$BASE/softdata/win7/config.txt" && break
    sleep 0.2
done

wine_env "$(realpath "$BUILD")/wine"
export QT_QPA_PLATFORM=windows
EXE="$BUILD/app/velmora.exe"

if [ -n "${DISPLAY:-}" ]; then
    echo "== starting velmora.exe under Wine against $BASE"
    "$WINE" "$EXE" --server "$BASE"
    exit 0
fi

SHOT=${VELMORA_SCREENSHOT:-$BUILD/velmora-win32-screenshot.png}
case "$SHOT" in /*) ;; *) SHOT="$(pwd)/$SHOT" ;; esac
echo "== no display: running velmora.exe under Wine and Xvfb; screenshot: $SHOT"
rm -f "$SHOT"
SHOT="$SHOT" WINE="$WINE" EXE="$EXE" BASE="$BASE" xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    "$WINE" "$EXE" --server "$BASE" &
    APP=$!
    id=""
    for _ in $(seq 1 120); do
        id=$(xdotool search --onlyvisible --name "^Velmora\$" 2>/dev/null | head -n 1 || true)
        [ -n "$id" ] && break
        sleep 0.5
    done
    if [ -n "$id" ]; then
        sleep 4
        eval "$(xdotool getwindowgeometry --shell "$id")"
        import -window root "$SHOT"
        mogrify -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$SHOT"
    fi
    kill $APP 2>/dev/null || true
'
"$WINESERVER" -k >/dev/null 2>&1 || true
if [ ! -s "$SHOT" ]; then
    echo "run-win32: no screenshot was taken" >&2
    exit 1
fi
echo "== screenshot of velmora.exe saved to $SHOT"
