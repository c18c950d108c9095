#!/bin/sh
# Memory at rest: the program on the demo catalogue beside a bare window with
# one browser pane showing a small page (bench_browser, the main window's
# advertisement page), each alone, each on its second start with a warm
# profile, measured 12 s after start: the proportional set size (Pss of
# /proc/PID/smaps_rollup) of every process of the program, the browser
# engine's processes included. Then the program's wallpaper page is opened
# and the same processes are measured again 6 s later: the same run, so that
# what other programs on the machine share of the libraries at the time does
# not enter the difference.
# Goals: the program <= 1.0 x the bare browser window; the wallpaper page
# adds <= 5 MB. Under Xvfb; a scratch HOME, so no profile or simulated
# Windows of the user is touched.
set -eu
BUILD=${1:-build}
WAIT=${WAIT:-12}
if [ ! -x "$BUILD/bench/bench_browser" ] || [ ! -x "$BUILD/app/velmora" ]; then
    echo "bench_memory: not built (no browser engine)"
    exit 0
fi
BUILD=$(cd "$BUILD" && pwd)
# As root the browser engine runs without its sandbox, which the program
# arranges for itself; the reference runs the same way.
[ "$(id -u)" != 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1
WORK=$(mktemp -d)
SERVER=""
cleanup() {
    [ -z "$SERVER" ] || kill "$SERVER" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM
PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
BASE=http://127.0.0.1:$PORT
QT_QPA_PLATFORM=offscreen "$BUILD/tools/velmora-demo" "$WORK/demo" --base "$BASE" >/dev/null 2>&1
"$BUILD/tools/velmora-tool" serve "$WORK/demo" --port "$PORT" >/dev/null 2>&1 &
SERVER=$!
for _ in 1 2 3 4 5 6 7 8 9 10; do
    curl -sf -o /dev/null "$BASE/softdata/win7/config.txt" && break
    sleep 0.3
done

# pss.py PID prints "total main count others": the Pss in kB of PID and all
# its descendants, of PID alone, their number, and the others' in MB.
cat >"$WORK/pss.py" <<'PY'
import os, sys
root = int(sys.argv[1])
children = {}
for p in os.listdir("/proc"):
    if p.isdigit():
        try:
            with open(f"/proc/{p}/stat") as f:
                ppid = int(f.read().rsplit(")", 1)[1].split()[1])
            children.setdefault(ppid, []).append(int(p))
        except OSError:
            pass
def value(pid):
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            for line in f:
                if line.startswith("Pss:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0
todo, seen = [root], []
while todo:
    p = todo.pop()
    seen.append(p)
    todo += children.get(p, [])
parts = [value(p) for p in seen]
rest = sorted(parts[1:], reverse=True)
print(sum(parts), parts[0], len(parts), " + ".join(str(round(v / 1024, 1)) for v in rest if v))
PY

# measure NAME WALLPAPER COMMAND...: starts COMMAND twice under its own
# Xvfb (the first start warms the profile), measures the second; with a
# WALLPAPER name, then opens the wallpaper page and measures it as that.
measure() {
    name=$1 wall=$2
    shift 2
    for round in 1 2; do
        HOME="$WORK/home" XDG_DATA_HOME="$WORK/home/.local/share" XDG_CACHE_HOME="$WORK/home/.cache" \
        XDG_CONFIG_HOME="$WORK/home/.config" OUT="$WORK/$name.txt" WAIT="$WAIT" WALL="${wall:+$WORK/$wall.txt}" \
        ROUND=$round xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
            "$@" >/dev/null 2>&1 &
            APP=$!
            sleep "$WAIT"
            if [ "$ROUND" = 2 ]; then
                python3 "$PSS" "$APP" >"$OUT"
                if [ -n "$WALL" ]; then
                    id=$(xdotool search --onlyvisible --limit 1 --name "^Velmora\$" 2>/dev/null || true)
                    if [ -n "$id" ]; then
                        xdotool mousemove --window "$id" 390 81; sleep 0.3; xdotool click 1
                    fi
                    sleep 6
                    python3 "$PSS" "$APP" >"$WALL"
                fi
            fi
            kill $APP 2>/dev/null || true
            wait $APP 2>/dev/null || true
        ' sh "$@"
    done
}
export PSS="$WORK/pss.py"

measure browser "" "$BUILD/bench/bench_browser" "$BASE/ad/201081153_1.html"
measure velmora wallpaper "$BUILD/app/velmora" --server "$BASE"

printf "%-34s %9s %9s %6s  %s\n" "" "total MB" "main MB" ratio "other processes MB"
ref=$(cut -d' ' -f1 "$WORK/browser.txt")
for n in browser velmora wallpaper; do
    case $n in
    browser) label="bare window, one browser pane" ;;
    velmora) label="velmora at rest" ;;
    wallpaper) label="velmora, wallpaper page opened" ;;
    esac
    read -r total main count rest <"$WORK/$n.txt"
    awk -v l="$label" -v t="$total" -v m="$main" -v r="$ref" -v o="$rest" \
        'BEGIN { printf "%-34s %9.1f %9.1f %6.2f  %s\n", l, t / 1024, m / 1024, t / r, o }'
done
awk -v a="$(cut -d' ' -f1 "$WORK/velmora.txt")" -v b="$(cut -d' ' -f1 "$WORK/wallpaper.txt")" \
    'BEGIN { printf "the wallpaper page adds %.1f MB\n", (b - a) / 1024 }'
echo "Pss of every process of the program, $WAIT s after its second start (load: $(cut -d' ' -f1-3 /proc/loadavg))"
