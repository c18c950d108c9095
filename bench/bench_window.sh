#!/bin/sh
# Time from start to a painted main window, beside a minimal Qt window started
# the same way, and the longest event-loop gap (a 5 ms timer that records how
# late it fires) while the catalogue comes:
#   (a) the demo catalogue, (b) 120,000 items (bench_catalog's document),
#   (c) a server that accepts and never answers (local copy present).
# A second reference, the minimal window with one line of Chinese text, shows
# what drawing such text costs by itself. Every run opens the same
# simulated Windows folder, made once beforehand as the program's first start
# makes it. Offscreen platform; medians of RUNS runs (default 21), taken round
# by round. Goals: (c) shown within 1.2 x the minimal window's time, no gap
# over 100 ms in (c), (b) filled with no gap over 250 ms.
set -eu
BUILD=${1:-build}
RUNS=${RUNS:-21}
if [ ! -x "$BUILD/bench/bench_window" ]; then
    echo "bench_window: not built (GUI off)"
    exit 0
fi
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export QT_QPA_PLATFORM=offscreen
"$BUILD/tools/velmora-demo" "$WORK/demo" >/dev/null 2>&1
"$BUILD/bench/bench_catalog" generate "$WORK/gen"
mkdir -p "$WORK/big/softdata/win7"
mv "$WORK/gen/config.txt" "$WORK/big/softdata/win7/config.txt"
"$BUILD/bench/bench_window" minimal --windows "$WORK/windows" >/dev/null 2>&1

# run NAME ARGS...: one run, one line "shown filled gap close cpu" added to NAME.txt
run() {
    name=$1
    shift
    start=$(date +%s%N)
    out=$("$BUILD/bench/bench_window" "$@" --windows "$WORK/windows" 2>/dev/null)
    echo "$out" | awk -v s="$start" '{
        for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
        printf "%.1f %s %s %s %s\n", (v["painted_ns"] - s) / 1e6, v["filled_ms"], v["gap_ms"],
               v["close_ms"], v["cpu_ms"]
    }' >>"$WORK/$name.txt"
}
median() { # file column
    cut -d' ' -f"$2" "$1" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'
}
maximum() {
    cut -d' ' -f"$2" "$1" | sort -n | tail -1
}

# Round by round, so that a change in the machine's load falls on every kind alike.
i=0
while [ "$i" -lt "$RUNS" ]; do
    run minimal minimal
    run label label
    run demo catalog "$WORK/demo"
    run big catalog "$WORK/big"
    run silent silent "$WORK/demo"
    i=$((i + 1))
done

base=$(median "$WORK/minimal.txt" 1)
cpubase=$(median "$WORK/minimal.txt" 5)
printf "%-26s %9s %6s %8s %6s %10s %11s %9s\n" "window" "shown ms" "ratio" "cpu ms" "ratio" "filled ms" "max gap ms" "close ms"
for n in minimal label demo big silent; do
    case $n in
    minimal) label="minimal Qt window" ;;
    label) label="  with one Chinese label" ;;
    demo) label="(a) demo catalogue" ;;
    big) label="(b) 120,000 items" ;;
    silent) label="(c) server never answers" ;;
    esac
    show=$(median "$WORK/$n.txt" 1)
    cpu=$(median "$WORK/$n.txt" 5)
    awk -v l="$label" -v s="$show" -v b="$base" -v p="$cpu" -v pb="$cpubase" \
        -v f="$(median "$WORK/$n.txt" 2)" -v g="$(maximum "$WORK/$n.txt" 3)" -v c="$(median "$WORK/$n.txt" 4)" \
        'BEGIN { printf "%-26s %9.1f %6.2f %8.1f %6.2f %10s %11s %9s\n", l, s, s / b, p, p / pb, (f < 0 ? "-" : f), g, c }'
done
echo "shown: median wall time from launch to the first painted frame; cpu: median processor"
echo "time used by then; filled: median from the first paint until the lists are filled;"
echo "max gap: the largest of $RUNS runs, from the first paint to the end ((c): 2 s after it);"
echo "close: median time the window took to close (it waits for its workers)."
