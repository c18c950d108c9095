#!/bin/sh
# The Windows checks: builds the core, velmora-tool.exe and the core's test
# suites for Windows (scripts/build-win32.sh) and runs them under Wine, in a
# fresh Wine prefix that is removed afterwards:
#   - the system layer's conformance table (the same one the simulated backend
#     passes; its folder picker under Xvfb when there is one),
#   - the core's platform-neutral suites (win32-tests.txt of the build), the
#     installers' suite against the Win32 backend among them
#     (test_installers_system: its cases put back what they change),
#   - velmora-tool.exe end to end against the Linux `velmora-tool serve`
#     (scripts/test-win32-tool.sh).
set -eu
cd "$(dirname "$0")/.."

BUILD=${VELMORA_WIN32_BUILD:-build-win32}
. scripts/wine-common.sh
for tool in x86_64-w64-mingw32-g++-posix "$WINE" "$WINESERVER"; do
    if [ -z "$tool" ] || ! command -v "$tool" >/dev/null 2>&1; then
        echo "test-win32: missing ${tool:-wine} (see scripts/install-deps.sh)" >&2
        exit 1
    fi
done

echo "== Win32 cross build ($BUILD)"
VELMORA_WIN32_BUILD="$BUILD" ./scripts/build-win32.sh --tests

PREFIX=$(mktemp -d "${TMPDIR:-/tmp}/velmora-wine.XXXXXX")
wine_env "$PREFIX"
# No display.
export DISPLAY=""
unset WAYLAND_DISPLAY 2>/dev/null || true
cleanup() {
    "$WINESERVER" -k >/dev/null 2>&1 || true
    rm -rf "$PREFIX"
}
trap cleanup EXIT INT TERM

echo "== Wine prefix $PREFIX"
wine_boot test-win32

status=0
echo "== conformance tests under Wine"
if command -v xvfb-run >/dev/null 2>&1; then
    # The folder picker is a window: it needs a display, a virtual one here.
    timeout 240 xvfb-run -a -s "-screen 0 1024x768x24" \
        "$WINE" "$BUILD/tests/platform/test_platform_win32.exe" --gtest_color=no || status=$?
else
    timeout 240 "$WINE" "$BUILD/tests/platform/test_platform_win32.exe" --gtest_color=no || status=$?
fi

while read -r suite; do
    [ -n "$suite" ] || continue
    echo "== $(basename "$suite") under Wine"
    timeout 300 "$WINE" "$suite" --gtest_color=no --gtest_brief=1 || status=$?
done <"$BUILD/win32-tests.txt"

if [ -x scripts/test-win32-tool.sh ]; then
    echo "== velmora-tool.exe end to end under Wine"
    WINE="$WINE" ./scripts/test-win32-tool.sh "$BUILD/tools/velmora-tool.exe" || status=$?
fi

if [ "$status" -ne 0 ]; then
    echo "test-win32: FAILED (exit $status)" >&2
fi
exit "$status"
