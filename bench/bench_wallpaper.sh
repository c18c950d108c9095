#!/bin/sh
# Wallpaper search core: MD5 of a 200 MB file beside md5sum (median of 3 runs
# each, same file, same run), then the extraction time of 2 MB Sogou and
# Youdao result pages and of 1 MB pages crafted to make the item patterns
# backtrack (median of 5 runs).
set -eu
BUILD=${1:-build}
BIN="$BUILD/bench/bench_wallpaper"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

head -c 200000000 /dev/urandom >"$WORK/big.bin"
cat "$WORK/big.bin" >/dev/null # both read it from the page cache

ours=""
theirs=""
for i in 1 2 3; do
    out=$("$BIN" md5 "$WORK/big.bin")
    ours="$ours ${out#* }"
    digest=${out%% *}
    s=$(date +%s%N)
    sum=$(md5sum "$WORK/big.bin")
    e=$(date +%s%N)
    theirs="$theirs $(( (e - s) / 1000 ))"
done
[ "$digest" = "${sum%% *}" ] || echo "MD5 MISMATCH: $digest vs ${sum%% *}"
o=$(echo $ours | tr ' ' '\n' | sort -n | sed -n 2p)
t=$(echo $theirs | tr ' ' '\n' | sort -n | sed -n 2p)
awk -v o="$o" -v t="$t" 'BEGIN {
    printf "md5 200 MB: velmora %.0f ms (%.0f MB/s), md5sum %.0f ms (%.0f MB/s), speed ratio %.2f\n",
        o, 200/(o/1000), t/1000, 200/(t/1e6), (t/1000)/o }'

"$BIN" generate "$WORK"
for page in sogou youdao; do
    r=$("$BIN" extract $page "$WORK/$page.html" 5)
    printf "extract %s page (%s bytes): %.2f ms, %s results\n" $page \
        "$(stat -c %s "$WORK/$page.html")" "${r% *}" "${r#* }"
done
for page in sogou youdao; do
    r=$("$BIN" extract $page "$WORK/$page-crafted.html" 5)
    printf "extract crafted %s page (%s bytes): %.2f ms, %s results\n" $page \
        "$(stat -c %s "$WORK/$page-crafted.html")" "${r% *}" "${r#* }"
done
