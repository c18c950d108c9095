#!/bin/sh
# Builds the system layer for Windows with mingw-w64 and runs its conformance
# tests (the same table the simulated backend passes) under Wine, in a fresh
# Wine prefix that is removed afterwards. The folder picker's tests run under
# Xvfb when it is there and are skipped without a display.
set -eu
cd "$(dirname "$0")/.."

BUILD=${VELMORA_WIN32_BUILD:-build-win32}
WINE=$(command -v wine64 || true)
if [ -z "$WINE" ] && [ -x /usr/lib/wine/wine64 ]; then WINE=/usr/lib/wine/wine64; fi
WINESERVER=$(command -v wineserver || true)
if [ -z "$WINESERVER" ] && [ -x /usr/lib/wine/wineserver ]; then WINESERVER=/usr/lib/wine/wineserver; fi
for tool in x86_64-w64-mingw32-g++-posix "$WINE" "$WINESERVER"; do
    if [ -z "$tool" ] || ! command -v "$tool" >/dev/null 2>&1; then
        echo "test-win32: missing ${tool:-wine} (see scripts/install-deps.sh)" >&2
        exit 1
    fi
done

echo "== Win32 cross build ($BUILD)"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DVELMORA_PLATFORM_ONLY=ON >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target test_platform_win32

PREFIX=$(mktemp -d "${TMPDIR:-/tmp}/velmora-wine.XXXXXX")
export WINEPREFIX="$PREFIX" WINEARCH=win64 WINEDEBUG=-all
# No Mono/Gecko installers, no desktop menu entries, no display.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export DISPLAY=""
# Wine stores Windows file names in the locale's character set; without a
# UTF-8 locale (none is set on a fresh machine) Chinese names cannot be made.
export LC_ALL=C.UTF-8
unset WAYLAND_DISPLAY 2>/dev/null || true
cleanup() {
    "$WINESERVER" -k >/dev/null 2>&1 || true
    rm -rf "$PREFIX"
}
trap cleanup EXIT INT TERM

echo "== Wine prefix $PREFIX"
timeout 180 "$WINE" wineboot -i >/dev/null 2>&1 || {
    echo "test-win32: wineboot failed" >&2
    exit 1
}
"$WINESERVER" -w

echo "== conformance tests under Wine"
status=0
if command -v xvfb-run >/dev/null 2>&1; then
    # The folder picker is a window: it needs a display, a virtual one here.
    timeout 240 xvfb-run -a -s "-screen 0 1024x768x24" \
        "$WINE" "$BUILD/tests/platform/test_platform_win32.exe" --gtest_color=no || status=$?
else
    timeout 240 "$WINE" "$BUILD/tests/platform/test_platform_win32.exe" --gtest_color=no || status=$?
fi
if [ "$status" -ne 0 ]; then
    echo "test-win32: FAILED (exit $status)" >&2
fi
exit "$status"
