#!/bin/sh
# Downloads a person controls, against nginx on 127.0.0.1 (the server
# publishers use), in the same run:
#  - a 200 MB download killed at half and started again: the bytes the server
#    sent for the second run, from its access log (goal <= 52 %);
#  - `velmora-tool get` with and without --sha256 (hashing while writing),
#    alternately, median wall time and their ratio (goal <= 1.10), at full
#    loopback speed and at 50 MB/s;
#  - SHA-256 of the 200 MB file: the program's digest (bench_sha256) beside
#    sha256sum, alternately, median wall time.
# Usage: bench/bench_resume.sh BUILD_DIR [RUNS]
set -eu
BUILD=${1:-build}
RUNS=${2:-5}
TOOL=$BUILD/tools/velmora-tool
SHA=$BUILD/bench/bench_sha256
NAME=bench_resume
. "$(dirname "$0")/nginx-server.sh"
SIZE=209715200
HALF=$((SIZE / 2))

for need in sha256sum /usr/bin/time "$NGINX" "$TOOL" "$SHA"; do
    if ! command -v "$need" >/dev/null 2>&1 && [ ! -x "$need" ]; then
        echo "bench_resume: $need is missing, skipped"
        exit 0
    fi
done

WORK=$(mktemp -d)
NGINX_PID=
GET_PID=
cleanup() {
    for p in $GET_PID $NGINX_PID; do
        kill "$p" 2>/dev/null || true
        wait "$p" 2>/dev/null || true
    done
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

mkdir -p "$WORK/www/slow" "$WORK/www/fast" "$WORK/out"
head -c "$SIZE" /dev/urandom >"$WORK/www/fast/package.zip"
ln "$WORK/www/fast/package.zip" "$WORK/www/slow/package.zip"
DIGEST=$(sha256sum "$WORK/www/fast/package.zip" | cut -d' ' -f1)

# The slow location lets the first run be killed near half way.
start_nginx_server 'location /slow/ { limit_rate 50m; }'

# 1. Killed at half, then resumed.
OUT=$WORK/out/package.zip
"$TOOL" get "$BASE/slow/package.zip" "$OUT" >/dev/null 2>&1 &
GET_PID=$!
while :; do
    have=$(stat -c %s "$OUT.part" 2>/dev/null || echo 0)
    [ "$have" -ge "$HALF" ] && break
    if ! kill -0 "$GET_PID" 2>/dev/null; then
        echo "bench_resume: the first download ended before half way"
        exit 0
    fi
    sleep 0.01
done
kill -9 "$GET_PID"
wait "$GET_PID" 2>/dev/null || true
GET_PID=
KEPT=$(stat -c %s "$OUT.part")
: >"$WORK/access.log"
"$TOOL" get "$BASE/slow/package.zip" "$OUT" --sha256 "$DIGEST" >"$WORK/resume.out"
RESUMED_AT=$(sed -n 's/^resume //p' "$WORK/resume.out")
SECOND=$(awk '{ s += $2 } END { print s + 0 }' "$WORK/access.log")
if ! cmp -s "$OUT" "$WORK/www/fast/package.zip"; then
    echo "bench_resume: the resumed download differs from the file"
    exit 0
fi

# 2. The same download with and without the digest taken while it is written.
rm -f "$OUT"
"$TOOL" get "$BASE/fast/package.zip" "$WORK/out/warm.zip" >/dev/null 2>&1 || true
rm -f "$WORK/out/warm.zip"
# Full speed (loopback: the download itself is bound by the processor), then
# at 50 MB/s, a fast real connection.
timed_gets() { # LOCATION PREFIX
    i=0
    while [ "$i" -lt "$RUNS" ]; do
        rm -f "$WORK/out/plain.zip" "$WORK/out/hashed.zip"
        /usr/bin/time -f "%e %U %S" -o "$WORK/t" "$TOOL" get "$BASE/$1/package.zip" "$WORK/out/plain.zip" >/dev/null
        cat "$WORK/t" >>"$WORK/$2plain.times"
        /usr/bin/time -f "%e %U %S" -o "$WORK/t" "$TOOL" get "$BASE/$1/package.zip" "$WORK/out/hashed.zip" \
            --sha256 "$DIGEST" >/dev/null
        cat "$WORK/t" >>"$WORK/$2hashed.times"
        i=$((i + 1))
    done
    rm -f "$WORK/out/plain.zip" "$WORK/out/hashed.zip"
}
timed_gets fast ""
timed_gets slow slow-

# 3. SHA-256 of the file, both ways.
i=0
while [ "$i" -lt "$RUNS" ]; do
    /usr/bin/time -f "%e" -o "$WORK/t" sha256sum "$WORK/www/fast/package.zip" >"$WORK/sum.out"
    cat "$WORK/t" >>"$WORK/sum.times"
    /usr/bin/time -f "%e" -o "$WORK/t" "$SHA" "$WORK/www/fast/package.zip" >"$WORK/ours.out"
    cat "$WORK/t" >>"$WORK/ours.times"
    i=$((i + 1))
done
if [ "$(cut -d' ' -f1 "$WORK/sum.out")" != "$(cut -d' ' -f1 "$WORK/ours.out")" ]; then
    echo "bench_resume: the digests differ"
    exit 0
fi

median() {
    sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}
# Median processor seconds (user + system) of a times file.
cpu() {
    awk '{ print $2 + $3 }' "$1" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}
echo "downloads from nginx on 127.0.0.1, 200 MB, median of $RUNS runs"
awk -v size="$SIZE" -v kept="$KEPT" -v at="$RESUMED_AT" -v second="$SECOND" \
    -v plain="$(median "$WORK/plain.times")" -v hashed="$(median "$WORK/hashed.times")" \
    -v plaincpu="$(cpu "$WORK/plain.times")" -v hashedcpu="$(cpu "$WORK/hashed.times")" \
    -v splain="$(median "$WORK/slow-plain.times")" -v shashed="$(median "$WORK/slow-hashed.times")" \
    -v sum="$(median "$WORK/sum.times")" -v ours="$(median "$WORK/ours.times")" 'BEGIN {
    printf "  killed after %d bytes on disk; resumed at %s\n", kept, at
    printf "  second run: server sent %d bytes = %5.1f %% of the file   (goal <= 52 %%)\n", second, 100 * second / size
    printf "  full speed:  get             %6.2f s  (%5.2f s processor)\n", plain, plaincpu
    printf "               get --sha256    %6.2f s  (%5.2f s processor)   ratio %5.2f   (goal <= 1.10)\n", hashed, hashedcpu, (plain > 0 ? hashed / plain : 0)
    printf "  at 50 MB/s:  get             %6.2f s\n", splain
    printf "               get --sha256    %6.2f s   ratio %5.2f   (goal <= 1.10)\n", shashed, (splain > 0 ? shashed / splain : 0)
    printf "  sha256sum            %6.2f s\n", sum
    printf "  bench_sha256         %6.2f s   ratio %5.2f\n", ours, (sum > 0 ? ours / sum : 0)
}'
