#!/bin/sh
# Builds velmora-tool.exe (and, with --tests, the core's test suites) for
# 64-bit Windows with mingw-w64: the Debian packages first, then the C
# libraries Debian does not package for mingw-w64 (scripts/build-win32-deps.sh,
# once per version), then the program. The result imports nothing but
# Windows' own DLLs.
#
#     ./scripts/build-win32.sh [--tests]     -> build-win32/tools/velmora-tool.exe
set -eu
cd "$(dirname "$0")/.."

TARGETS=velmora-tool
TESTS=OFF
if [ "${1:-}" = "--tests" ]; then
    TARGETS="velmora-tool win32_tests"
    TESTS=ON
fi
BUILD=${VELMORA_WIN32_BUILD:-build-win32}

if [ "${VELMORA_SKIP_DEPS:-}" != 1 ]; then
    ./scripts/install-deps.sh
fi
./scripts/build-win32-deps.sh "$BUILD"

if command -v ccache >/dev/null 2>&1; then
    export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
    export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
fi
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DVELMORA_PLATFORM_ONLY=OFF \
      -DVELMORA_BUILD_TESTS=$TESTS -DVELMORA_BUILD_BENCH=OFF >/dev/null
# shellcheck disable=SC2086
cmake --build "$BUILD" -j "$(nproc)" --target $TARGETS

# Self-contained: every DLL it imports is part of Windows.
EXE="$BUILD/tools/velmora-tool.exe"
foreign=$(x86_64-w64-mingw32-objdump -p "$EXE" | sed -n 's/^[[:space:]]*DLL Name: //p' |
    grep -v -i -x -E 'advapi32\.dll|bcrypt\.dll|cabinet\.dll|kernel32\.dll|msvcrt\.dll|ole32\.dll|shell32\.dll|shlwapi\.dll|user32\.dll|wininet\.dll|ws2_32\.dll' || true)
if [ -n "$foreign" ]; then
    echo "build-win32: velmora-tool.exe imports DLLs that are not Windows' own: $foreign" >&2
    exit 1
fi
echo "build-win32: $EXE"
