#!/bin/sh
# Runs every benchmark (bench/*.sh) against a release build in ./build.
# Usage: bench/run.sh [BUILD_DIR]
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD"
for b in bench/bench_*.sh; do
    echo "== $b"
    sh "$b" "$BUILD"
done
