#!/bin/sh
# Package extraction: a 2,000-entry package of about 65 MB (three entries in
# four incompressible, like pictures), extracted by the ZIP facility beside
# `unzip -o -q` extracting the same file into an empty folder, alternately, in
# the same run. Prints the median wall time of 5 runs of each, the ratio, and
# the peak memory of one run of each.
set -eu
BUILD=${1:-build}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
"$BUILD/bench/bench_zip" make "$WORK/package.zip" 2000 65
echo "package: $(stat -c %s "$WORK/package.zip") bytes, $(unzip -Z1 "$WORK/package.zip" | wc -l) entries"
for i in 1 2 3 4 5; do
    rm -rf "$WORK/ours" "$WORK/unzip"; sync
    s=$(date +%s%N); "$BUILD/bench/bench_zip" extract "$WORK/package.zip" "$WORK/ours" >/dev/null; e=$(date +%s%N)
    echo $(( (e - s) / 1000 )) >>"$WORK/ours.txt"
    rm -rf "$WORK/ours"; sync
    s=$(date +%s%N); unzip -o -q "$WORK/package.zip" -d "$WORK/unzip"; e=$(date +%s%N)
    echo $(( (e - s) / 1000 )) >>"$WORK/unzip.txt"
done
ours=$(sort -n "$WORK/ours.txt" | sed -n 3p)
theirs=$(sort -n "$WORK/unzip.txt" | sed -n 3p)
if [ -x /usr/bin/time ]; then
    rm -rf "$WORK/ours" "$WORK/unzip"
    om=$(/usr/bin/time -f %M "$BUILD/bench/bench_zip" extract "$WORK/package.zip" "$WORK/ours" 2>&1 >/dev/null)
    um=$(/usr/bin/time -f %M unzip -o -q "$WORK/package.zip" -d "$WORK/unzip" 2>&1)
    echo "peak memory: velmora $om kB, unzip $um kB"
fi
awk -v o="$ours" -v u="$theirs" 'BEGIN { printf "velmora extract: %.1f ms\nunzip -o -q:     %.1f ms\nratio (velmora/unzip): %.2f\n", o/1000, u/1000, o/u }'
