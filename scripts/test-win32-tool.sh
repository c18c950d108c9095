#!/bin/sh
# velmora-tool.exe end to end under Wine, beside the Linux tool:
#   - catalog: the same items as the Linux tool on the same documents,
#   - get: a 200 MB package from the Linux `velmora-tool serve`, --sha256 with
#     a matching digest and another, a download killed half-way and resumed,
#     and every fault of the misbehaving server (exit 1, nothing left beside
#     the output),
#   - install/uninstall of a theme ZIP and a screen saver, read back with
#     Wine's own `reg query` and looked up in the Wine Windows folder,
#   - wallpaper (BMP), folder-icon set and restore, a cursor scheme,
#   - a theme's wallpaper and cursor applied where Wine has no theme handler,
#   - package, md5name, search and serve: the same answers as on Linux,
#   - history and restore: the change record puts the registry back.
# Run by scripts/test-win32.sh, which sets WINE and a fresh WINEPREFIX:
#     scripts/test-win32-tool.sh build-win32/tools/velmora-tool.exe
set -eu
cd "$(dirname "$0")/.."
EXE=$(realpath "$1")
. scripts/wine-common.sh
LINUX_BUILD=${VELMORA_LINUX_BUILD:-build}

# The Linux side: the tool (serve, catalog) and the misbehaving server.
if [ ! -f "$LINUX_BUILD/build.ninja" ]; then
    cmake -S . -B "$LINUX_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$LINUX_BUILD" -j "$(nproc)" --target velmora-tool velmora-fault-server >/dev/null
TOOL=$(realpath "$LINUX_BUILD/tools/velmora-tool")
FAULTS=$(realpath "$LINUX_BUILD/tests/velmora-fault-server")

WORK=$(mktemp -d "${TMPDIR:-/tmp}/velmora-win32-tool.XXXXXX")
PIDS=""
cleanup() {
    for pid in $PIDS; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

win() {
    # Wine writes CR LF where the program writes LF; compare the text.
    timeout 600 "$WINE" "$EXE" "$@" | tr -d '\r'
}
DRIVE_C="$WINEPREFIX/drive_c"

# --- catalog: a table of documents (UTF-8 here, code page 936 on disk), the
# output compared with the Linux tool's; Windows writes its own separators.
mkdir -p "$WORK/catalog/exe" "$WORK/catalog/sim"
i=0
while IFS= read -r doc; do
    i=$((i + 1))
    printf '%s' "$doc" | iconv -f UTF-8 -t CP936 >"$WORK/catalog/doc$i.txt"
    linux=$(cd "$WORK/catalog" && { code=0; "$TOOL" catalog "doc$i.txt" --base http://cat.example \
                --exe-dir exe --system sim 2>&1 || code=$?; echo "exit $code"; })
    windows=$(cd "$WORK/catalog" && { code=0; timeout 120 "$WINE" "$EXE" catalog "doc$i.txt" \
                --base http://cat.example --exe-dir exe 2>&1 || code=$?; echo "exit $code"; } |
                tr -d '\r' | sed 's|\\\\|/|g')
    if [ "$linux" = "$windows" ]; then
        pass "catalog document $i"
    else
        fail "catalog document $i differs"
        printf '%s\n--- Linux\n%s\n--- Windows\n%s\n' "$doc" "$linux" "$windows" >&2
    fi
done <<'DOCS'
{"themes":[{"name":" 风景 ","list":[{"name":" a b ","iszip":true},{"name":"..","iszip":true},{"name":"p","iszip":"yes"},{"name":"q"}]},{"name":"","list":[{"name":"x"}]}],"cursors":["指针","CON"],"screensave":[" "]}
{"themes":[{"name":"自然","list":[{"name":"山水","iszip":true},{"name":"Blue Hour"}]}],"cursors":["Neon","霓虹"],"screensave":["Waves","a/b","c\\d"]}
{"themes":[],"cursors":[],"screensave":[]}
{"themes":[{"name":"长","list":[{"name":"名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字名字","iszip":true}]}],"cursors":[],"screensave":[]}
{}
not json
{"themes":null}
DOCS

# --- the verbs that only read or print: the same output as the Linux tool.
same_as_linux() { # label, then the verb and its arguments (paths relative to $WORK)
    label=$1
    shift
    linux=$(cd "$WORK" && { code=0; "$TOOL" "$@" 2>&1 || code=$?; echo "exit $code"; })
    windows=$(cd "$WORK" && { code=0; timeout 120 "$WINE" "$EXE" "$@" 2>&1 || code=$?; echo "exit $code"; } |
        tr -d '\r')
    if [ "$linux" = "$windows" ]; then
        pass "$label"
    else
        fail "$label differs"
        printf -- '--- Linux\n%s\n--- Windows\n%s\n' "$linux" "$windows" >&2
    fi
}
mkdir -p "$WORK/verbs"
(cd "$WORK/verbs" && printf '[Theme]\r\n' >"Blue Hour.theme" && printf 'MZ' >Waves.SCR &&
    zip -q theme.zip "Blue Hour.theme" && zip -q saver.zip Waves.SCR)
same_as_linux "package, theme" package verbs/theme.zip --kind theme
same_as_linux "package, screen saver" package verbs/saver.zip --kind screensave
same_as_linux "package, not an archive" package verbs/Waves.SCR --kind screensave
same_as_linux "md5name" md5name "主题 壁纸"
same_as_linux "search url" search url --service baidu --keyword "风景" --size 2 --screen 1920x1080
same_as_linux "search pager" search pager --pages 12 --current 5
same_as_linux "--version" --version
same_as_linux "get --help" get --help
same_as_linux "an unknown option" --bogus

# --- serve under Wine, fetched from Linux.
PORT=$(free_port)
printf 'served from Windows' >"$WORK/verbs/hello.txt"
timeout 120 "$WINE" "$EXE" serve "Z:$WORK/verbs" --port "$PORT" >/dev/null 2>&1 &
PIDS="$PIDS $!"
got=""
for _ in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20; do
    got=$(curl -s "http://127.0.0.1:$PORT/hello.txt" || true)
    [ -n "$got" ] && break
    sleep 0.5
done
if [ "$got" = "served from Windows" ]; then
    pass "serve"
else
    fail "serve: '$got'"
fi

# --- get: 200 MB from the Linux server, byte for byte.
mkdir -p "$WORK/served/res" "$WORK/get"
head -c 200000000 /dev/urandom >"$WORK/served/res/big.zip"
PORT=$(free_port)
"$TOOL" serve "$WORK/served" --port "$PORT" 2>/dev/null &
PIDS="$PIDS $!"
for _ in 1 2 3 4 5 6 7 8 9 10; do
    curl -s -o /dev/null "http://127.0.0.1:$PORT/" && break
    sleep 0.3
done
if (cd "$WORK/get" && win get "http://127.0.0.1:$PORT/res/big.zip" big.zip >/dev/null) &&
    cmp -s "$WORK/served/res/big.zip" "$WORK/get/big.zip"; then
    pass "get of 200 MB"
else
    fail "get of 200 MB"
fi
rm -f "$WORK/get/big.zip"

# --- get --sha256: kept when the digest matches; otherwise exit 1, the message
# naming the package and nothing left. Output, exit and what is left as the
# Linux tool gives them.
# (Small enough to arrive in one piece: the percentages between depend on
# how the bytes arrive.)
head -c 1000 /dev/urandom >"$WORK/served/res/v.zip"
good=$(sha256sum "$WORK/served/res/v.zip" | cut -d' ' -f1)
bad=$(printf other | sha256sum | cut -d' ' -f1)
for digest in "$good" "$bad"; do
    label="get --sha256 $([ "$digest" = "$good" ] && echo matching || echo 'of another file')"
    rm -rf "$WORK/sha"
    mkdir -p "$WORK/sha/linux" "$WORK/sha/windows"
    linux=$(cd "$WORK/sha/linux" && { code=0; "$TOOL" get "http://127.0.0.1:$PORT/res/v.zip" \
                v.zip --sha256 "$digest" 2>&1 || code=$?; echo "exit $code"; ls -A; })
    windows=$(cd "$WORK/sha/windows" && { code=0; timeout 120 "$WINE" "$EXE" get \
                "http://127.0.0.1:$PORT/res/v.zip" v.zip --sha256 "$digest" 2>&1 || code=$?;
                echo "exit $code"; ls -A; } | tr -d '\r')
    if [ "$linux" = "$windows" ] && { [ "$digest" = "$bad" ] ||
            cmp -s "$WORK/served/res/v.zip" "$WORK/sha/windows/v.zip"; }; then
        pass "$label"
    else
        fail "$label differs"
        printf -- '--- Linux\n%s\n--- Windows\n%s\n' "$linux" "$windows" >&2
    fi
done

# --- get killed half-way (TerminateProcess), then run again: the package
# never appears under its name, the next run continues where the killed one
# stopped ("resume N") and the package is whole; as on Linux. The server
# sends 16 KB every 5 ms, so that the kill comes in time.
mkdir -p "$WORK/slow/srv" "$WORK/slow/out"
head -c 16000000 /dev/urandom >"$WORK/slow/srv/big.zip"
"$FAULTS" slow "$WORK/slow/srv" >"$WORK/slow/url" &
PIDS="$PIDS $!"
for _ in 1 2 3 4 5 6 7 8 9 10; do
    [ -s "$WORK/slow/url" ] && break
    sleep 0.3
done
url="$(cat "$WORK/slow/url")/big.zip"
(cd "$WORK/slow/out" && timeout 120 "$WINE" "$EXE" get "$url" big.zip >/dev/null 2>&1) &
getjob=$!
for _ in $(seq 300); do
    [ -s "$WORK/slow/out/big.zip.part" ] && break
    sleep 0.1
done
timeout 60 "$WINE" taskkill /F /IM velmora-tool.exe >/dev/null 2>&1 || true
wait "$getjob" || true
left=$(ls -A "$WORK/slow/out" | tr '\n' ' ')
kept=$(stat -c %s "$WORK/slow/out/big.zip.part" 2>/dev/null || echo 0)
code=0
out=$(cd "$WORK/slow/out" && timeout 120 "$WINE" "$EXE" get "$url" big.zip 2>&1) || code=$?
out=$(printf '%s\n' "$out" | tr -d '\r')
if [ "$left" = "big.zip.part big.zip.resume " ] && [ "$kept" -gt 0 ] && [ "$code" = 0 ] &&
    printf '%s\n' "$out" | grep -qx "resume $kept" &&
    cmp -s "$WORK/slow/srv/big.zip" "$WORK/slow/out/big.zip" &&
    [ "$(ls -A "$WORK/slow/out")" = big.zip ]; then
    pass "get killed, then resumed from $kept bytes"
else
    fail "get killed and resumed: left '$left', kept $kept, exit $code, output: $(printf '%s' "$out" | head -3 | tr '\n' ' ')"
fi

# --- get against every fault, all at once (each waits for its time-out).
# Wine's WinINet takes a chunk cut short and a reset after the last byte for
# the end of the body, and gives the client nothing to tell them from a clean
# end (see tests/support/FaultServer.h): those two are left out here.
for fault in silent stall short redirect huge endless trickle; do
    mkdir -p "$WORK/fault/$fault"
    "$FAULTS" "$fault" >"$WORK/fault/$fault.url" &
    PIDS="$PIDS $!"
done
sleep 1
jobs=""
for fault in silent stall short redirect huge endless trickle; do
    (
        cd "$WORK/fault/$fault"
        code=0
        timeout 600 "$WINE" "$EXE" get "$(cat "../$fault.url")" p.zip >/dev/null 2>&1 || code=$?
        echo "$code" >"../$fault.exit"
    ) &
    jobs="$jobs $!"
done
for job in $jobs; do wait "$job" || true; done
for fault in silent stall short redirect huge endless trickle; do
    code=$(cat "$WORK/fault/$fault.exit")
    left=$(ls -A "$WORK/fault/$fault")
    if [ "$code" = 1 ] && [ -z "$left" ]; then
        pass "get, fault $fault: exit 1, nothing left"
    else
        fail "get, fault $fault: exit $code, left: $left"
    fi
done

# --- install and uninstall, read back from the Wine registry and folders.
reg_value() { # KEY NAME
    timeout 120 "$WINE" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
mkdir -p "$WORK/pkg"
(cd "$WORK/pkg" && printf 'MZ' >WAVES.Scr && zip -q Waves.zip WAVES.Scr)
if win install "Z:$WORK/pkg/Waves.zip" --kind screensave >/dev/null 2>&1 &&
    { [ -f "$DRIVE_C/windows/system32/waves.scr" ] || [ -f "$DRIVE_C/windows/system32/WAVES.Scr" ]; }; then
    saver=$(reg_value 'HKCU\Control Panel\Desktop' SCRNSAVE.EXE)
    case "$saver" in
    *[Ww][Aa][Vv][Ee][Ss]*) pass "install screen saver (SCRNSAVE.EXE=$saver)" ;;
    *) fail "install screen saver: SCRNSAVE.EXE is '$saver'" ;;
    esac
else
    fail "install screen saver"
fi
if win uninstall Waves --kind screensave >/dev/null 2>&1 &&
    [ ! -f "$DRIVE_C/windows/system32/waves.scr" ] && [ ! -f "$DRIVE_C/windows/system32/WAVES.Scr" ]; then
    pass "uninstall screen saver"
else
    fail "uninstall screen saver"
fi

convert -size 8x6 xc:red "BMP3:$WORK/pkg/wall.bmp"
mkdir -p "$WORK/pkg/theme/Blue Hour"
cp "$WORK/pkg/wall.bmp" "$WORK/pkg/theme/Blue Hour/Wall.BMP"
printf '[Theme]\r\nDisplayName=Blue Hour\r\n[Control Panel\\Desktop]\r\nWallpaper=%%WinDir%%\\Resources\\Themes\\blue hour\\WALL.bmp\r\n' \
    >"$WORK/pkg/theme/Blue Hour.theme"
(cd "$WORK/pkg/theme" && zip -q -r ../pkg.zip "Blue Hour.theme" "Blue Hour")
# Windows' own folders; Wine spells them in lower case.
themes=$(find "$DRIVE_C/windows" -maxdepth 2 -ipath "$DRIVE_C/windows/resources/themes" | head -n 1)
if win install "Z:$WORK/pkg/pkg.zip" --kind theme --name "Blue Hour" >/dev/null 2>&1 &&
    [ -f "$themes/Blue Hour.theme" ] && cmp -s "$WORK/pkg/wall.bmp" "$themes/Blue Hour/Wall.BMP"; then
    pass "install theme"
else
    fail "install theme"
fi
if win uninstall "Blue Hour" --kind theme >/dev/null 2>&1 && [ ! -e "$themes/Blue Hour.theme" ]; then
    pass "uninstall theme"
else
    fail "uninstall theme"
fi

# --- a cursor scheme whose Setup.inf and file names use other letter case:
# the registry values read back, the files in the Windows folder.
python3 - "$WORK/pkg/Arrow.CUR" <<'PY'
import struct, sys
# A 32x32 two-colour cursor, hot spot (3, 2): header, directory entry, DIB.
dib = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 1, 0, 2 * 32 * 4, 0, 0, 2, 0)
dib += struct.pack("<II", 0x000000, 0xFFFFFF)
dib += b"".join(struct.pack("<I", 0x0000FFFF if r < 16 else 0) for r in range(32))
dib += b"".join(struct.pack("<I", 0xFFFF0000 if r < 16 else 0xFFFFFFFF) for r in range(32))
cur = struct.pack("<HHH", 0, 2, 1) + struct.pack("<BBBBHHII", 32, 32, 2, 0, 3, 2, len(dib), 22) + dib
open(sys.argv[1], "wb").write(cur)
PY
printf '[Strings]\r\npointer="Arrow.CUR"\r\n' >"$WORK/pkg/Setup.INF"
(cd "$WORK/pkg" && zip -q cursor.zip Setup.INF Arrow.CUR)
cursors=""
if win install "Z:$WORK/pkg/cursor.zip" --kind cursor --name Neon >/dev/null 2>&1; then
    # Looked up once the install has made it: a fresh prefix has no Cursors.
    cursors=$(find "$DRIVE_C/windows" -maxdepth 1 -iname cursors | head -n 1)
    scheme=$(reg_value 'HKCU\Control Panel\Cursors' '(Default)')
    [ -n "$scheme" ] || scheme=$(timeout 120 "$WINE" reg query 'HKCU\Control Panel\Cursors' /ve 2>/dev/null |
        tr -d '\r' | sed -n 's/^ *([^)]*) *REG_[A-Z_]* *//p')
    arrow=$(reg_value 'HKCU\Control Panel\Cursors' Arrow)
    if [ "$scheme" = Neon ] && printf '%s' "$arrow" | grep -qiF 'cursors\neon\arrow.cur' &&
        [ -n "$(find "$cursors/Neon" -maxdepth 1 -iname arrow.cur 2>/dev/null)" ]; then
        pass "install cursor scheme (Arrow=$arrow)"
    else
        fail "install cursor scheme: scheme '$scheme', Arrow '$arrow'"
    fi
else
    fail "install cursor scheme"
fi
if win uninstall neon --kind cursor >/dev/null 2>&1 && [ -n "$cursors" ] && [ ! -e "$cursors/Neon" ]; then
    pass "uninstall cursor scheme (names in any case)"
else
    fail "uninstall cursor scheme"
fi

# --- a theme on a system without a theme handler (Wine has none): the
# program applies its wallpaper, style and cursor itself; read back with
# `reg query`.
mkdir -p "$WORK/pkg/dusk/Dusk"
cp "$WORK/pkg/wall.bmp" "$WORK/pkg/dusk/Dusk/Wall.BMP"
cp "$WORK/pkg/Arrow.CUR" "$WORK/pkg/dusk/Dusk/Arrow.cur"
printf '[Theme]\r\nDisplayName=Dusk\r\n[Control Panel\\Desktop]\r\nWallpaper=Dusk\\wall.bmp\r\nWallpaperStyle=2\r\n[Control Panel\\Cursors]\r\nDefaultValue=Dusk cursors\r\nArrow=%%WinDir%%\\Resources\\Themes\\Dusk\\ARROW.cur\r\n' \
    >"$WORK/pkg/dusk/Dusk.theme"
(cd "$WORK/pkg/dusk" && zip -q -r ../dusk.zip Dusk.theme Dusk)
if win install "Z:$WORK/pkg/dusk.zip" --kind theme --name Dusk >/dev/null 2>&1; then
    wallpaper=$(reg_value 'HKCU\Control Panel\Desktop' Wallpaper)
    style=$(reg_value 'HKCU\Control Panel\Desktop' WallpaperStyle)
    arrow=$(reg_value 'HKCU\Control Panel\Cursors' Arrow)
    if printf '%s' "$wallpaper" | grep -qiF 'themes\dusk\wall.bmp' && [ "$style" = 2 ] &&
        printf '%s' "$arrow" | grep -qiF 'themes\dusk\arrow.cur'; then
        pass "install theme without a theme handler (Wallpaper=$wallpaper, Arrow=$arrow)"
    else
        fail "install theme without a theme handler: Wallpaper '$wallpaper', style '$style', Arrow '$arrow'"
    fi
else
    fail "install theme without a theme handler"
fi
win uninstall Dusk --kind theme >/dev/null 2>&1 || fail "uninstall theme Dusk"

# --- wallpaper: through the copy in the Windows folder.
out=$(win wallpaper "Z:$WORK/pkg/wall.bmp" 2>&1 || true)
if cmp -s "$WORK/pkg/wall.bmp" "$DRIVE_C/windows/WallpaperTemp.bmp"; then
    pass "wallpaper (BMP): $(echo "$out" | head -n 1)"
else
    fail "wallpaper (BMP): $out"
fi

# --- folder-icon set and restore: the desktop.ini, its attributes and the
# folder's system mark, read back with Wine's own attrib.
mkdir -p "$DRIVE_C/velmora/cache/icons/办公" "$DRIVE_C/Photos"
printf 'icon' >"$DRIVE_C/velmora/cache/icons/办公/文档.ico"
attrib_of() { # Windows path: the attribute letters attrib prints
    timeout 120 "$WINE" cmd /c attrib "$1" 2>/dev/null | tr -d '\r' | sed 's/ *[A-Za-z]:\\.*//' | tr -d ' '
}
out=$(win folder-icon set 'C:\Photos' --category 办公 --icon 文档.ico --exe-dir 'C:\velmora' 2>&1 || true)
ini=$(iconv -f CP936 -t UTF-8 "$DRIVE_C/Photos/desktop.ini" 2>/dev/null | tr -d '\r' || true)
want=$(printf '[.ShellClassInfo]\nIconFile=C:\\velmora\\cache\\icons\\办公\\文档.ico\nIconIndex=0')
ini_attr=$(attrib_of 'C:\Photos\desktop.ini')
folder_attr=$(attrib_of 'C:\Photos')
if [ "$out" = "设置文件夹图标成功" ] && [ "$ini" = "$want" ] &&
    case "$ini_attr" in *H*) true ;; *) false ;; esac &&
    case "$folder_attr" in *[RS]*) true ;; *) false ;; esac; then
    pass "folder-icon set (desktop.ini $ini_attr, folder $folder_attr)"
else
    fail "folder-icon set: '$out' / '$ini' / desktop.ini '$ini_attr' / folder '$folder_attr'"
fi
out=$(win folder-icon restore 'C:\Photos' 2>&1 || true)
if [ "$out" = "恢复图标成功" ] && [ ! -e "$DRIVE_C/Photos/desktop.ini" ]; then
    pass "folder-icon restore"
else
    fail "folder-icon restore: $out"
fi

# --- the change record: a wallpaper and a cursor scheme, then `restore` of
# the wallpaper's entry puts back every value both changed, read with Wine's
# own `reg query`, and the wallpaper copy as it was.
desktop_values() {
    for name in Wallpaper WallpaperStyle TileWallpaper; do
        printf 'Desktop\\%s=%s\n' "$name" "$(reg_value 'HKCU\Control Panel\Desktop' "$name")"
    done
    for name in Arrow Wait Hand; do
        printf 'Cursors\\%s=%s\n' "$name" "$(reg_value 'HKCU\Control Panel\Cursors' "$name")"
    done
    printf 'Cursors=%s\n' "$(timeout 120 "$WINE" reg query 'HKCU\Control Panel\Cursors' /ve 2>/dev/null |
        tr -d '\r' | sed -n 's/^ *([^)]*) *REG_[A-Z_]* *//p')"
    printf 'Schemes\\Neon=%s\n' "$(reg_value 'HKCU\Control Panel\Cursors\Schemes' Neon)"
    printf 'WallpaperTemp.bmp %s\n' "$(md5sum <"$DRIVE_C/windows/WallpaperTemp.bmp" 2>/dev/null)"
}
timeout 120 "$WINE" reg add 'HKCU\Control Panel\Desktop' /v Wallpaper /d 'C:\users\me\beach.bmp' /f >/dev/null 2>&1
timeout 120 "$WINE" reg add 'HKCU\Control Panel\Desktop' /v WallpaperStyle /d 2 /f >/dev/null 2>&1
convert -size 5x3 xc:blue "BMP3:$WORK/pkg/wall2.bmp"
before=$(desktop_values)
if win wallpaper "Z:$WORK/pkg/wall2.bmp" >/dev/null 2>&1 &&
    win install "Z:$WORK/pkg/cursor.zip" --kind cursor --name Neon >/dev/null 2>&1; then
    changed=$(desktop_values)
    history=$(win history 2>&1 || true)
    # Newest first: the cursor scheme, then the wallpaper.
    id=$(printf '%s' "$history" | python3 -c '
import json, sys
e = json.load(sys.stdin)
ok = len(e) >= 2 and e[0]["text"] == "安装鼠标指针：Neon" and e[1]["text"] == "设置壁纸"
print(e[1]["id"] if ok else "")' 2>/dev/null || true)
    record=$(find "$DRIVE_C/users" -ipath '*/appdata/local/velmora/history/record.jsonl' 2>/dev/null | head -n 1)
    if [ -z "$id" ] || [ -z "$record" ] || [ "$changed" = "$before" ]; then
        fail "history: id '$id', record '$record', output: $(printf '%s' "$history" | head -c 300)"
    else
        out=$(win restore "$id" 2>&1 || true)
        after=$(desktop_values)
        if [ "$after" = "$before" ]; then
            pass "restore $id: $(printf '%s' "$out" | head -n 1)"
        else
            fail "restore $id: $out; before / after:
$before
---
$after"
        fi
    fi
else
    fail "change record: wallpaper and cursor scheme"
fi

echo "velmora-tool.exe: $failures failure(s)"
[ "$failures" -eq 0 ]
