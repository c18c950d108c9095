#!/bin/sh
# Builds the libFuzzer targets (fuzz/) with clang in build-fuzz and runs each
# for SECONDS (default 60) from its seed corpus with its dictionary. New inputs
# go to build-fuzz/corpus/NAME, so the corpus in the repository only changes
# by hand; a crash, leak or hang leaves its reproducer in build-fuzz/findings.
#
#   scripts/fuzz.sh [SECONDS]       build, then fuzz every target
#   scripts/fuzz.sh --replay        build, then run every seed once
#
# Each target prints a last line "NAME: N runs, E exec/s, C coverage, F features".
set -eu
cd "$(dirname "$0")/.."

MODE=fuzz
SECONDS_EACH=60
case "${1:-}" in
--replay) MODE=replay ;;
'') ;;
*) SECONDS_EACH=$1 ;;
esac

BUILD=${VELMORA_FUZZ_BUILD:-build-fuzz}
LAUNCHER=""
if command -v ccache >/dev/null 2>&1; then
    LAUNCHER="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
fi
# shellcheck disable=SC2086
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELMORA_FUZZ=ON $LAUNCHER >/dev/null
# Only the targets and what they link.
cmake --build "$BUILD" -j "$(nproc)" --target \
    $(sed 's/\([^;]*\)/fuzz_\1/g' "$BUILD/fuzz-targets.txt" | tr ';' ' ')

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
# The picture target runs Qt without a display.
export QT_QPA_PLATFORM=offscreen

mkdir -p "$BUILD/findings"
status=0
for name in $(cat "$BUILD/fuzz-targets.txt" | tr ';' ' '); do
    bin="$BUILD/fuzz/fuzz_$name"
    seeds="fuzz/corpus/$name"
    if [ "$MODE" = replay ]; then
        # Every seed once, under the sanitizers; any failure fails the run.
        if ! "$bin" -runs=0 "$seeds" >"$BUILD/findings/$name.log" 2>&1; then
            echo "$name: FAILED on its corpus (see $BUILD/findings/$name.log)"
            status=1
        else
            echo "$name: corpus of $(ls "$seeds" | wc -l) replayed"
        fi
        continue
    fi
    work="$BUILD/corpus/$name"
    mkdir -p "$work"
    if ! "$bin" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
        -max_len=65536 -dict="fuzz/dict/$name.dict" -print_final_stats=1 \
        -artifact_prefix="$BUILD/findings/$name-" "$work" "$seeds" \
        >"$BUILD/findings/$name.log" 2>&1; then
        echo "$name: FOUND a failure (see $BUILD/findings/$name.log)"
        status=1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$BUILD/findings/$name.log")
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$BUILD/findings/$name.log")
    last=$(grep -E '^#[0-9]+' "$BUILD/findings/$name.log" | tail -1)
    cov=$(echo "$last" | sed -n 's/.*cov: \([0-9]*\).*/\1/p')
    ft=$(echo "$last" | sed -n 's/.*ft: \([0-9]*\).*/\1/p')
    echo "$name: ${runs:-?} runs, ${speed:-?} exec/s, ${cov:-?} coverage, ${ft:-?} features"
done
exit $status
