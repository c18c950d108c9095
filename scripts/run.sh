#!/bin/sh
# Builds Velmora, makes the demo catalogue, serves it on the build-time server
# base with `velmora-tool serve`, and shows what the program reads from it.
set -eu
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build

DEMO=build/demo-catalog
rm -rf "$DEMO"
build/tools/velmora-demo "$DEMO"

BASE=$(sed -n 's/^VELMORA_SERVER_BASE:STRING=//p' build/CMakeCache.txt)
PORT=$(echo "$BASE" | sed -n 's|^http://[^:/]*:\([0-9]*\).*|\1|p')
PORT=${PORT:-80}
build/tools/velmora-tool serve "$DEMO" --port "$PORT" &
SERVER=$!
trap 'kill $SERVER 2>/dev/null || true' EXIT INT TERM
for _ in 1 2 3 4 5 6 7 8 9 10; do
    curl -sf -o /dev/null "$BASE/softdata/win7/config.txt" && break
    sleep 0.3
done

echo "== the demo catalogue at $BASE, as Velmora reads it"
build/tools/velmora-tool catalog "$DEMO/softdata/win7/config.txt" --base "$BASE"
