#!/bin/sh
# Builds Velmora, makes the demo catalogue, serves it on the build-time server
# base with `velmora-tool serve`, and starts Velmora against it.
#
# Without a display the program runs under Xvfb, and a screenshot of the main
# window is saved to build/velmora-screenshot.png (or $VELMORA_SCREENSHOT)
# before it is closed again.
set -eu
cd "$(dirname "$0")/.."

BUILD=${VELMORA_BUILD_DIR:-build}
./scripts/install-deps.sh
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The demo server also answers for the three image-search services, so that
# the wallpaper search works without the internet.
BASE=$(sed -n 's/^VELMORA_SERVER_BASE:STRING=//p' "$BUILD/CMakeCache.txt")
cmake -S . -B "$BUILD" -DVELMORA_BAIDU_BASE="$BASE" -DVELMORA_YOUDAO_BASE="$BASE" \
      -DVELMORA_SOGOU_BASE="$BASE" >/dev/null
cmake --build "$BUILD"

DEMO="$BUILD/demo-catalog"
rm -rf "$DEMO"
QT_QPA_PLATFORM=offscreen "$BUILD"/tools/velmora-demo "$DEMO" --base "$BASE"
PORT=$(echo "$BASE" | sed -n 's|^http://[^:/]*:\([0-9]*\).*|\1|p')
PORT=${PORT:-80}
"$BUILD"/tools/velmora-tool serve "$DEMO" --port "$PORT" &
SERVER=$!
trap 'kill $SERVER 2>/dev/null || true' EXIT INT TERM
for _ in 1 2 3 4 5 6 7 8 9 10; do
    curl -sf -o /dev/null "$BASE/softdata/win7/config.txt" && break
    sleep 0.3
done

echo "== the demo catalogue at $BASE, as Velmora reads it"
"$BUILD"/tools/velmora-tool catalog "$DEMO/softdata/win7/config.txt" --base "$BASE"

# The program folder is $BUILD/app: the cache and the updater library live
# there. The simulated Windows is the per-user default
# (${XDG_DATA_HOME:-~/.local/share}/velmora/windows): its journal.log lists
# every change made to the desktop.
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "== starting Velmora"
    "$BUILD"/app/velmora
    exit 0
fi

SHOT=${VELMORA_SCREENSHOT:-$BUILD/velmora-screenshot.png}
case "$SHOT" in /*) ;; *) SHOT="$(pwd)/$SHOT" ;; esac
echo "== no display: running Velmora under Xvfb; screenshot: $SHOT"
SHOT="$SHOT" BUILD="$BUILD" xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    "$BUILD"/app/velmora &
    APP=$!
    # The window appears at once; give the advertisement page time to load.
    sleep 10
    id=$(xdotool search --sync --onlyvisible --limit 1 --name "^Velmora\$" 2>/dev/null || true)
    import -window root "$SHOT"
    if [ -n "$id" ]; then
        # Cut the main window out of the screen.
        eval "$(xdotool getwindowgeometry --shell "$id")"
        mogrify -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$SHOT"
    fi
    kill $APP 2>/dev/null || true
    wait $APP 2>/dev/null || true
'
if [ ! -s "$SHOT" ]; then
    echo "run.sh: no screenshot was taken" >&2
    exit 1
fi
echo "== screenshot of the main window saved to $SHOT"
