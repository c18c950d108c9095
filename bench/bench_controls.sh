#!/bin/sh
# Picture decoding from memory (a 1920 × 1080 JPEG and PNG, as a full wallpaper
# download) beside ImageMagick converting the same file to BMP, and the panel
# stretch over a full-HD area. Prints medians of 9 runs; ImageMagick's figure
# includes its process start, so the ratio flatters the program slightly less
# for small pictures.
set -eu
BUILD=${1:-build}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
"$BUILD/bench/bench_imaging" generate "$WORK"
for f in photo.jpg photo.png; do
    ours=$("$BUILD/bench/bench_imaging" decode "$WORK/$f" 9 2>/dev/null)
    if command -v convert >/dev/null 2>&1; then
        im=$(for i in 1 2 3 4 5 6 7 8 9; do
            s=$(date +%s%N); convert "$WORK/$f" bmp:- >/dev/null; e=$(date +%s%N)
            echo $(( (e - s) / 1000 ))
        done | sort -n | sed -n 5p)
        awk -v f="$f" -v o="$ours" -v m="$im" 'BEGIN { printf "%s: velmora decode %.1f ms, convert to bmp %.1f ms, ratio %.2f\n", f, o, m/1000, o/(m/1000) }'
    else
        echo "$f: velmora decode $ours ms (ImageMagick not installed)"
    fi
done
echo "stretch 36x42 -> 1920x1080 (hstMiddle, vstCenter): $("$BUILD/bench/bench_imaging" stretch 9 2>/dev/null) ms"
