#!/bin/sh
# Builds Velmora and runs the whole test suite: the normal build, the
# ThreadSanitizer build of the thread-touching tests, the AddressSanitizer and
# UndefinedBehaviorSanitizer build of the core, and the Win32 backend under
# Wine. Installs what is missing first.
set -eu
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

JOBS=$(nproc)
# Each stage's heading says how long the run has taken so far.
START=$(date +%s)
stage() {
    echo "== $* [$(( $(date +%s) - START )) s]"
}

# Qt for Windows (for the Windows program's stage at the end) builds in the
# background at low priority from the start: it takes the processor time the
# stages before leave idle (tests waiting on servers, Wine, single-process
# fuzzing). Reused from ~/.cache/velmora when it was built before.
mkdir -p build-win32
QT_LOG=$(pwd)/build-win32/qt-build.log
QT_PID=""
if [ -x scripts/build-win32-qt.sh ]; then
    # A process group of its own, so that a stage that fails stops the
    # whole build (cmake, ninja, the compilers), not only the script.
    setsid nice -n 15 ./scripts/build-win32-qt.sh >"$QT_LOG" 2>&1 &
    QT_PID=$!
    trap 'kill -- "-$QT_PID" 2>/dev/null || true' EXIT
fi

stage "build (RelWithDebInfo)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$JOBS"
stage "tests"
(cd build && ctest --output-on-failure -j "$JOBS" --timeout 300)

stage "ThreadSanitizer build (tests labelled 'threads', the window tests included)"
# The GUI is built too: the Qt dispatcher and the window's workers are thread
# code like any other. Only the labelled tests and what they run are built.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=thread \
      -DVELMORA_BUILD_GUI=ON -DVELMORA_BUILD_BENCH=OFF
cmake --build build-tsan -j "$JOBS" --target $(sed -n 's/.*velmora_add_test(NAME \([a-z_]*\).*/\1/p' \
      $(grep -l 'LABELS threads' tests/*/CMakeLists.txt) | tr '\n' ' ')
# The tests get tests/tsan.supp through their CTest environment.
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
     ctest --output-on-failure -j "$JOBS" --timeout 600 -L '^threads$')

stage "AddressSanitizer + UndefinedBehaviorSanitizer build (the core, no GUI)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=address \
      -DVELMORA_BUILD_GUI=OFF -DVELMORA_BUILD_BENCH=OFF
cmake --build build-asan -j "$JOBS"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1" \
     ctest --output-on-failure -j "$JOBS" --timeout 600)

# ---- the installed program -------------------------------------------------
# From the normal build: cmake --install into a temporary prefix and the
# installed programs run there (velmora under Xvfb against the demo catalogue),
# the desktop entry and AppStream validators, the Debian package's file list
# and lintian, and as root apt-get install of the package and its removal.
stage "the installed program and the Debian package"
./scripts/test-install.sh
# ---------------------------------------------------------------------------

# ---- fuzz targets ---------------------------------------------------------
# A clang build of their own (build-fuzz): every seed corpus replayed under
# AddressSanitizer and UndefinedBehaviorSanitizer, then each target fuzzed for
# a bounded 15 seconds.
stage "fuzz targets: replay every corpus, then fuzz each briefly"
./scripts/fuzz.sh --replay
./scripts/fuzz.sh 15
# ---------------------------------------------------------------------------

if [ -x scripts/test-win32.sh ]; then
    stage "Windows build under Wine (system layer, core suites, velmora-tool.exe)"
    ./scripts/test-win32.sh
fi

# ---- the Windows program under Wine ----------------------------------------
# velmora.exe over a static Qt for Windows (built once from Debian's source
# into ~/.cache/velmora, reused afterwards): the window tests under Wine, and
# the program end to end against the demo catalogue, a theme downloaded and
# applied into Wine's registry.
if [ -x scripts/test-win32-gui.sh ]; then
    stage "Qt for Windows (started in the background at the beginning)"
    if ! wait "$QT_PID"; then
        tail -n 40 "$QT_LOG" >&2
        exit 1
    fi
    tail -n 2 "$QT_LOG"
    stage "velmora.exe under Wine (window tests, end to end)"
    ./scripts/test-win32-gui.sh
fi
# ---------------------------------------------------------------------------
stage "all stages passed"
