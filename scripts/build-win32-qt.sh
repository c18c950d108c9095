#!/bin/sh
# Builds Qt for 64-bit Windows (mingw-w64, posix threads) from Debian's own
# qt6-base source package, static, with only what velmora.exe and its window
# tests use: Core, Gui, Widgets, Test, the Windows platform plugin and the
# Windows styles (the single instance is the system's mutex and message there,
# so no Network).
#
#     scripts/build-win32-qt.sh            -> prints the prefix on its last line
#
# The prefix lives outside the work tree, under VELMORA_QT_CACHE (default
# ~/.cache/velmora), named by the source version and a digest of the options
# below: a later run with the same version and options finds it and builds
# nothing. Debian's own Qt (the same version, qt6-base-dev-tools) supplies the
# host tools (moc, rcc, uic) through QT_HOST_PATH.
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
CACHE=${VELMORA_QT_CACHE:-$HOME/.cache/velmora}
HOST=x86_64-w64-mingw32
TOOLCHAIN="$ROOT/cmake/mingw-w64-x86_64.cmake"
JOBS=${VELMORA_JOBS:-$(nproc)}

# The host Qt's version: the cross build must be the same release.
HOST_CMAKE=/usr/lib/$(uname -m)-linux-gnu/cmake
HOST_VERSION=$(cat "$HOST_CMAKE"/Qt6/Qt6ConfigVersion*.cmake 2>/dev/null |
    sed -n 's/^set(PACKAGE_VERSION "\(.*\)")/\1/p' | head -n 1)
if [ -z "$HOST_VERSION" ] || ! command -v /usr/lib/qt6/libexec/moc >/dev/null 2>&1; then
    echo "build-win32-qt: missing the host Qt tools (qt6-base-dev-tools, see scripts/install-deps.sh)" >&2
    exit 1
fi
for tool in $HOST-gcc-posix $HOST-g++-posix cmake ninja dpkg-source; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "build-win32-qt: missing $tool (see scripts/install-deps.sh)" >&2
        exit 1
    }
done

# What is built. Image formats: PNG, JPEG and GIF (previews, thumbnails and
# the program's own pictures: its decoder reads them through Qt's readers, as
# on Linux; Qt's own copies of the libraries) and ICO. Desktop OpenGL
# stays on: this release's Windows platform plugin does not compile without
# it. Debian's source leaves out the tablet header the Windows plugin would
# include, hence no tablet events. The DirectWrite font database comes only
# with Direct2D in this release; without either, text goes through GDI, the
# plugin's default.
OPTIONS="-DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF
-DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
-DFEATURE_dbus=OFF -DFEATURE_sql=OFF -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF
-DFEATURE_printsupport=OFF -DFEATURE_testlib=ON -DFEATURE_network=OFF
-DFEATURE_tabletevent=OFF -DFEATURE_opengl_desktop=ON -DFEATURE_vulkan=OFF
-DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF -DFEATURE_freetype=OFF -DFEATURE_fontconfig=OFF
-DFEATURE_jpeg=ON -DFEATURE_system_jpeg=OFF -DFEATURE_gif=ON -DFEATURE_system_png=OFF -DFEATURE_png=ON
-DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_pcre2=ON
-DFEATURE_system_harfbuzz=OFF -DFEATURE_zstd=OFF
-DFEATURE_icu=OFF -DFEATURE_glib=OFF -DFEATURE_sessionmanager=OFF
-DFEATURE_androiddeployqt=OFF -DFEATURE_macdeployqt=OFF -DFEATURE_windeployqt=OFF"

SOURCE_VERSION=$(apt-cache showsrc --only-source qt6-base 2>/dev/null | sed -n 's/^Version: //p' |
    sort -u -r -V | head -n 1)
if [ -z "$SOURCE_VERSION" ]; then
    echo "build-win32-qt: no source package qt6-base (run scripts/install-deps.sh for the deb-src entry)" >&2
    exit 1
fi
case "$SOURCE_VERSION" in
    "$HOST_VERSION"*) ;;
    *) echo "build-win32-qt: qt6-base source $SOURCE_VERSION is not the host Qt $HOST_VERSION" >&2
       exit 1 ;;
esac
DIGEST=$(printf '%s\n%s\n' "$OPTIONS" "$(cat "$TOOLCHAIN")" | sha256sum | cut -c1-10)
PREFIX="$CACHE/qt6-$SOURCE_VERSION-$HOST-$DIGEST"
# One build at a time per prefix: a second run waits for the first and then
# finds its result.
mkdir -p "$CACHE"
exec 9>"$PREFIX.lock"
flock 9
if [ -f "$PREFIX/.complete" ]; then
    echo "build-win32-qt: Qt $SOURCE_VERSION for $HOST (built already)"
    echo "$PREFIX"
    exit 0
fi

# The source, unpacked once per version.
SRC="$CACHE/src/qt6-base-$SOURCE_VERSION"
if [ ! -f "$SRC/.unpacked" ]; then
    rm -rf "$SRC" "$SRC.tmp"
    mkdir -p "$SRC.tmp"
    (cd "$SRC.tmp" && apt-get source -qq --only-source "qt6-base=$SOURCE_VERSION" >/dev/null 2>&1) || {
        echo "build-win32-qt: apt-get source qt6-base=$SOURCE_VERSION failed" >&2
        rm -rf "$SRC.tmp"
        exit 1
    }
    mv "$(find "$SRC.tmp" -mindepth 1 -maxdepth 1 -type d | head -n 1)" "$SRC"
    rm -rf "$SRC.tmp"
    touch "$SRC/.unpacked"
fi

# Built beside the prefix and installed into a temporary name first, so an
# interrupted build never leaves a prefix that looks complete.
WORK="$PREFIX.build"
LOG="$PREFIX.log"
rm -rf "$WORK" "$PREFIX"
mkdir -p "$WORK"
echo "build-win32-qt: building Qt $SOURCE_VERSION for $HOST into $PREFIX (log $LOG)"
start=$(date +%s)
# shellcheck disable=SC2086
{
    cmake -S "$SRC" -B "$WORK" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
          -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$HOST_CMAKE" -DCMAKE_INSTALL_PREFIX="$PREFIX" $OPTIONS &&
        cmake --build "$WORK" -j "$JOBS" &&
        cmake --install "$WORK"
} >"$LOG" 2>&1 || {
    echo "build-win32-qt: failed, see $LOG" >&2
    tail -n 40 "$LOG" >&2
    rm -rf "$PREFIX"
    exit 1
}
rm -rf "$WORK"
echo "$SOURCE_VERSION" >"$PREFIX/.complete"
echo "build-win32-qt: built in $(( $(date +%s) - start )) s"
echo "$PREFIX"
