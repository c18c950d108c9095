#!/bin/sh
# Builds velmora.exe, the program's windows for 64-bit Windows, and its
# updater Update.dll, with mingw-w64 over a static Qt for Windows
# (scripts/build-win32-qt.sh, built once into a prefix outside the work tree)
# and the C libraries of the core (scripts/build-win32-deps.sh). With --tests,
# also the window tests that run under Wine (win32-gui-tests.txt). The
# reference window of bench/bench_win32_window.sh comes with it.
#
#     ./scripts/build-win32-gui.sh [--tests]    -> build-win32/app/velmora.exe
#
# The program imports only DLLs Windows itself has.
set -eu
cd "$(dirname "$0")/.."

TESTS=OFF
TARGETS="velmora velmora_updater bench_minimal_window"
if [ "${1:-}" = "--tests" ]; then
    TESTS=ON
    TARGETS="$TARGETS win32_gui_tests"
fi
# The same build tree as the core's Windows build (scripts/build-win32.sh):
# the core, its C libraries and velmora-tool.exe are compiled once for both.
DEPS_BUILD=${VELMORA_WIN32_BUILD:-build-win32}
BUILD=${VELMORA_WIN32_GUI_BUILD:-$DEPS_BUILD}

if [ "${VELMORA_SKIP_DEPS:-}" != 1 ]; then
    ./scripts/install-deps.sh
fi
./scripts/build-win32-deps.sh "$DEPS_BUILD"
QT_PREFIX=$(./scripts/build-win32-qt.sh | tail -n 1)
case "$DEPS_BUILD" in /*) ;; *) DEPS_BUILD="$(pwd)/$DEPS_BUILD" ;; esac

if command -v ccache >/dev/null 2>&1; then
    export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
    export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
fi
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DVELMORA_PLATFORM_ONLY=OFF \
      -DVELMORA_WIN32_PREFIX="$DEPS_BUILD/deps/prefix" -DVELMORA_WIN32_QT_PREFIX="$QT_PREFIX" \
      -DVELMORA_BUILD_TESTS=$TESTS -DVELMORA_BUILD_BENCH=ON >/dev/null
# shellcheck disable=SC2086
cmake --build "$BUILD" -j "${VELMORA_JOBS:-$(nproc)}" --target $TARGETS

# Self-contained: every DLL the program and its updater import is one of
# Windows' own (Wine ships a copy of each), nothing of the compiler's or Qt's.
WINE_DLLS=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
for file in "$BUILD/app/velmora.exe" "$BUILD/app/Update.dll"; do
    for dll in $(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
        lower=$(printf '%s' "$dll" | tr 'A-Z' 'a-z')
        # api-ms-win-* are API sets, which the system's loader maps to its own
        # DLLs (Wine through its API set schema) rather than files.
        if [ -d "$WINE_DLLS" ] && [ ! -f "$WINE_DLLS/$lower" ] && [ "${lower#api-ms-win-}" = "$lower" ]; then
            echo "build-win32: $(basename "$file") imports $dll, which is not part of Windows" >&2
            exit 1
        fi
        case "$lower" in
            libstdc++*|libgcc*|libwinpthread*|qt6*)
                echo "build-win32: $(basename "$file") imports $dll" >&2
                exit 1 ;;
        esac
    done
done
echo "build-win32: $BUILD/app/velmora.exe"
