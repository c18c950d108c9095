#!/bin/sh
# Builds the C libraries the core needs that Debian does not package for
# mingw-w64 (PCRE2, libzip) from Debian's own source packages, as static
# libraries for 64-bit Windows, into a prefix under the build folder:
#
#     scripts/build-win32-deps.sh [BUILD]      (default build-win32)
#
# gives BUILD/deps/prefix with include/, lib/ and lib/pkgconfig/. Each library
# is built once per source version: a stamp file names the version it was
# built from, and a later run with the same version does nothing for it.
# The sources come from `apt-get source` (scripts/install-deps.sh adds the
# deb-src entry); zlib is Debian's libz-mingw-w64-dev.
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${1:-${VELMORA_WIN32_BUILD:-build-win32}}
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac
DEPS="$BUILD/deps"
PREFIX="$DEPS/prefix"
HOST=x86_64-w64-mingw32
TOOLCHAIN="$ROOT/cmake/mingw-w64-x86_64.cmake"
JOBS=${VELMORA_JOBS:-$(nproc)}
mkdir -p "$DEPS/src" "$PREFIX"

# The source versions the archive lists for NAME, newest first.
source_versions() {
    apt-cache showsrc --only-source "$1" 2>/dev/null | sed -n 's/^Version: //p' | sort -u -r -V
}

# Unpacks NAME at VERSION under deps/src (once) and prints its folder; fails
# when the archive does not give that version.
fetch_source() {
    name=$1 version=$2
    dir="$DEPS/src/$name-$version"
    if [ ! -f "$dir/.unpacked" ]; then
        rm -rf "$dir" "$dir.tmp"
        mkdir -p "$dir.tmp"
        if ! (cd "$dir.tmp" && apt-get source -qq --only-source "$name=$version" >/dev/null 2>&1); then
            rm -rf "$dir.tmp"
            return 1
        fi
        tree=$(find "$dir.tmp" -mindepth 1 -maxdepth 1 -type d | head -n 1)
        mv "$tree" "$dir"
        rm -rf "$dir.tmp"
        touch "$dir/.unpacked"
    fi
    echo "$dir"
}

# Configures, builds and installs one CMake project into the prefix.
# The newest version the archive gives is used (a security update whose files
# a mirror lacks falls back to the release's own).
build_cmake() {
    name=$1
    shift
    versions=$(source_versions "$name")
    if [ -z "$versions" ]; then
        echo "build-win32-deps: no source package $name" \
             "(run scripts/install-deps.sh for the deb-src entry)" >&2
        exit 1
    fi
    stamp="$PREFIX/.built-$name"
    src=""
    for version in $versions; do
        if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ]; then
            echo "build-win32-deps: $name $version (built already)"
            return
        fi
        if src=$(fetch_source "$name" "$version"); then break; fi
        src=""
    done
    if [ -z "$src" ]; then
        echo "build-win32-deps: apt-get source $name failed for every version: $versions" >&2
        exit 1
    fi
    echo "build-win32-deps: building $name $version"
    rm -rf "$DEPS/build-$name"
    cmake -S "$src" -B "$DEPS/build-$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_INSTALL_PREFIX="$PREFIX" \
          -DCMAKE_PREFIX_PATH="$PREFIX" -DBUILD_SHARED_LIBS=OFF "$@" >"$DEPS/build-$name.log" 2>&1 &&
        cmake --build "$DEPS/build-$name" -j "$JOBS" >>"$DEPS/build-$name.log" 2>&1 &&
        cmake --install "$DEPS/build-$name" >>"$DEPS/build-$name.log" 2>&1 || {
            echo "build-win32-deps: $name failed, see $DEPS/build-$name.log" >&2
            tail -n 30 "$DEPS/build-$name.log" >&2
            exit 1
        }
    rm -rf "$DEPS/build-$name"
    echo "$version" >"$stamp"
}

for tool in $HOST-gcc-posix cmake ninja dpkg-source; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "build-win32-deps: missing $tool (see scripts/install-deps.sh)" >&2
        exit 1
    }
done
if [ ! -f /usr/$HOST/include/zlib.h ]; then
    echo "build-win32-deps: missing libz-mingw-w64-dev (see scripts/install-deps.sh)" >&2
    exit 1
fi

# PCRE2: the 8-bit library only, no programs, JIT off (the core's patterns are
# small and run on short pages).
build_cmake pcre2 \
    -DPCRE2_BUILD_PCRE2_8=ON -DPCRE2_BUILD_PCRE2_16=OFF -DPCRE2_BUILD_PCRE2_32=OFF \
    -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_BUILD_TESTS=OFF -DPCRE2_SUPPORT_JIT=OFF \
    -DPCRE2_SUPPORT_LIBBZ2=OFF -DPCRE2_SUPPORT_LIBZ=OFF -DPCRE2_SUPPORT_LIBEDIT=OFF \
    -DPCRE2_SUPPORT_LIBREADLINE=OFF

# libzip: deflate through zlib, no other compressors, no encryption, no tools.
build_cmake libzip \
    -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF -DENABLE_COMMONCRYPTO=OFF \
    -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=OFF \
    -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF

# libpng: the PNG reader of platform/util (the window's own pictures and
# cursor images), static, no programs or tests.
build_cmake libpng1.6 \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DPNG_TOOLS=OFF \
    -DZLIB_ROOT=/usr/$HOST

# cpp-httplib (the catalogue server of `velmora-tool serve`): Debian's
# library package is built in two parts for Linux; its source is the upstream
# single header, which is all Windows needs.
newest_source() {
    name=$1
    for version in $(source_versions "$name"); do
        if src=$(fetch_source "$name" "$version"); then
            echo "$version $src"
            return 0
        fi
    done
    echo "build-win32-deps: apt-get source $name failed" >&2
    exit 1
}
stamp="$PREFIX/.built-cpp-httplib"
if [ ! -f "$stamp" ] || [ ! -f "$PREFIX/include/httplib.h" ]; then
    set -- $(newest_source cpp-httplib)
    mkdir -p "$PREFIX/include"
    cp "$2/httplib.h" "$PREFIX/include/httplib.h"
    echo "$1" >"$stamp"
    echo "build-win32-deps: cpp-httplib $1 (header)"
fi

# nlohmann/json: the same headers on both sides, Debian's nlohmann-json3-dev.
if [ ! -e "$PREFIX/include/nlohmann" ]; then
    ln -s /usr/include/nlohmann "$PREFIX/include/nlohmann"
fi

echo "build-win32-deps: prefix $PREFIX"
