#!/bin/sh
# Catalogue parsing: 120,000 items (1,000 groups of 100 themes, 10,000 cursor
# schemes, 10,000 screen savers) in code page 936, beside jq parsing the same
# document in UTF-8. Prints median wall times of 5 runs and the ratio.
set -eu
BUILD=${1:-build}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
"$BUILD/bench/bench_catalog" generate "$WORK"
echo "document: $(stat -c %s "$WORK/config.txt") bytes (code page 936)"
ours=$("$BUILD/bench/bench_catalog" parse "$WORK/config.txt" 5 2>/dev/null)
jq_ms=$(for i in 1 2 3 4 5; do
    s=$(date +%s%N); jq empty "$WORK/config.utf8.json"; e=$(date +%s%N)
    echo $(( (e - s) / 1000 ))
done | sort -n | sed -n 3p)
awk -v o="$ours" -v j="$jq_ms" 'BEGIN { printf "velmora parse+items: %.1f ms\njq empty:            %.1f ms\nratio (velmora/jq):  %.2f\n", o, j/1000, o/(j/1000) }'
