#!/bin/sh
# Builds Velmora, makes the demo catalogue, serves it on the build-time server
# base with `velmora-tool serve`, and starts Velmora against it.
#
# Without a display the program runs under Xvfb: a screenshot of the main
# window is saved to build/velmora-screenshot.png (or $VELMORA_SCREENSHOT);
# then the wallpaper search is used as a person would (a Baidu search for the
# keyword shown, the next result page, a full-screen preview, setting a
# wallpaper) and a screenshot of the wallpaper page after the search is saved
# beside it as velmora-wallpaper-screenshot.png; then the program is closed.
# A picture of the simulated desktop (wallpaper, cursor, theme and screen
# saver names) is saved beside them.
set -eu
cd "$(dirname "$0")/.."

# --win32: the Windows program under Wine, the same way (scripts/run-win32.sh).
if [ "${1:-}" = "--win32" ]; then
    shift
    exec ./scripts/run-win32.sh "$@"
fi

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
    "$BUILD"/app/velmora "$@"
    exit 0
fi

SHOT=${VELMORA_SCREENSHOT:-$BUILD/velmora-screenshot.png}
case "$SHOT" in /*) ;; *) SHOT="$(pwd)/$SHOT" ;; esac
echo "== no display: running Velmora under Xvfb; screenshot: $SHOT"
WALLSHOT="$(dirname "$SHOT")/velmora-wallpaper-screenshot.png"
rm -f "$WALLSHOT"
SHOT="$SHOT" WALLSHOT="$WALLSHOT" BUILD="$BUILD" xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
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

        # Positions in the main window: the page button "壁纸搜索", and the
        # wallpaper page (702 x 336 at 22, 107) with its search bar, first
        # result cell and pagination strip.
        click() { xdotool mousemove --window "$id" "$1" "$2"; sleep 0.3; xdotool click 1; }
        PX=22; PY=107
        click 390 81                                # the wallpaper page
        sleep 1
        click $((PX + 483)) $((PY + 12))            # 百度搜索, keyword and size as shown
        sleep 6                                     # the page and its thumbnails
        import -window root "$WALLSHOT"
        mogrify -crop "702x336+$((X + PX))+$((Y + PY))" +repage "$WALLSHOT"
        click $((PX + 46)) $((PY + 321))            # page 2 in the strip
        sleep 5
        click $((PX + 36)) $((PY + 109))            # 预览 (preview) of the first picture
        sleep 4
        xdotool key Escape                          # the viewer closes
        sleep 1
        click $((PX + 100)) $((PY + 109))           # 设为壁纸 (set as wallpaper)
        sleep 4
        xdotool key Return                          # a message box, if any
        sleep 1
    fi
    kill $APP 2>/dev/null || true
    wait $APP 2>/dev/null || true
'
if [ ! -s "$SHOT" ]; then
    echo "run.sh: no screenshot was taken" >&2
    exit 1
fi
echo "== screenshot of the main window saved to $SHOT"
if [ -s "$WALLSHOT" ]; then
    echo "== screenshot of the wallpaper search saved to $WALLSHOT"
fi

# What Velmora did to the simulated desktop, as a picture beside it.
DESKTOP_SHOT="$(dirname "$SHOT")/velmora-desktop.png"
echo "== the simulated desktop"
"$BUILD"/tools/velmora-tool desktop --png "$DESKTOP_SHOT"
echo "== picture of the simulated desktop saved to $DESKTOP_SHOT"
