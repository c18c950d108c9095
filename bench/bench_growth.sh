#!/bin/sh
# How the costs grow with the input: each size once the one before it has
# been measured, and the growth factor from the size before (time and peak
# resident memory); a straight line shows factors near the size factor.
#   (1) the catalogue: 1,000 to 1,000,000 items (bench_catalog's document at
#       that size): the parse alone (median of 3), then the whole load in the
#       main window (parse, rows, the lists filled; offscreen platform) with
#       its longest event-loop gap; goal: no gap over 250 ms at 1,000,000;
#   (2) result-page extraction: Sogou and Youdao pages of 100 kB to 10 MB
#       (median of 5).
# Peak memory is the process's maximum resident set (GNU time's %M).
set -eu
BUILD=${1:-build}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export QT_QPA_PLATFORM=offscreen

# peak KB of the command, its output in $WORK/out
peak() {
    /usr/bin/time -f %M -o "$WORK/peak" "$@" >"$WORK/out" 2>/dev/null
    cat "$WORK/peak"
}
growth() { # previous current
    awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || a <= 0) printf "%6s", "-"; else printf "%6.1f", b / a }'
}

echo "(1) catalogue load"
printf "%10s %11s %8s %9s %6s %11s %8s %9s %6s %11s\n" items "parse ms" growth "parse MB" growth \
    "window ms" growth "window MB" growth "max gap ms"
pt="" pm="" wt="" wm=""
for n in 1000 10000 100000 1000000; do
    "$BUILD/bench/bench_catalog" generate "$WORK/gen" "$n"
    mkdir -p "$WORK/cat/softdata/win7"
    mv "$WORK/gen/config.txt" "$WORK/cat/softdata/win7/config.txt"
    m=$(peak "$BUILD/bench/bench_catalog" parse "$WORK/cat/softdata/win7/config.txt" 3)
    t=$(cat "$WORK/out")
    line=""
    if [ -x "$BUILD/bench/bench_window" ]; then
        [ -d "$WORK/windows" ] || "$BUILD/bench/bench_window" minimal --windows "$WORK/windows" >/dev/null 2>&1
        wmem=$(peak "$BUILD/bench/bench_window" catalog "$WORK/cat" --windows "$WORK/windows")
        filled=$(sed -n 's/.*filled_ms=\([0-9.-]*\).*/\1/p' "$WORK/out")
        gap=$(sed -n 's/.*gap_ms=\([0-9.-]*\).*/\1/p' "$WORK/out")
        line=$(printf "%11.1f %8s %9.1f %6s %11.1f" "$filled" "$(growth "$wt" "$filled")" \
            "$(echo "$wmem" | awk '{ print $1 / 1024 }')" "$(growth "$wm" "$wmem")" "$gap")
        wt=$filled wm=$wmem
    fi
    printf "%10s %11.1f %8s %9.1f %6s %s\n" "$n" "$t" "$(growth "$pt" "$t")" \
        "$(echo "$m" | awk '{ print $1 / 1024 }')" "$(growth "$pm" "$m")" "$line"
    pt=$t pm=$m
    rm -rf "$WORK/gen" "$WORK/cat"
done
echo "window ms: from the first paint until the lists are filled; max gap: the longest"
echo "delay of a 5 ms timer past its due time from the first paint until then"

echo "(2) result-page extraction"
printf "%8s %10s %11s %8s %9s %6s %8s\n" service "page kB" "extract ms" growth "peak MB" growth results
for service in sogou youdao; do
    pt="" pm=""
    for kb in 100 1000 10000; do
        "$BUILD/bench/bench_wallpaper" page $service $((kb * 1000)) "$WORK/page.html"
        m=$(peak "$BUILD/bench/bench_wallpaper" extract $service "$WORK/page.html" 5)
        r=$(cat "$WORK/out")
        t=${r% *}
        printf "%8s %10s %11.2f %8s %9.1f %6s %8s\n" $service $kb "$t" "$(growth "$pt" "$t")" \
            "$(echo "$m" | awk '{ print $1 / 1024 }')" "$(growth "$pm" "$m")" "${r#* }"
        pt=$t pm=$m
    done
done
echo "peak MB includes the page read into memory; growth: against the size before (x10)"
