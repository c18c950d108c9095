#!/bin/sh
# Tests Velmora as a person installs it, from the normal build tree:
#
#   - `cmake --install` into a temporary prefix, which is then made read-only;
#   - the desktop entry and the AppStream data through their validators;
#   - the installed programs' command lines (--help, --version, a wrong option);
#   - the installed velmora-tool on the demo catalogue, served by itself;
#   - the installed velmora, started from its desktop entry's Exec line under
#     Xvfb with --server: the demo catalogue shows, a theme downloads into the
#     user's cache and is applied, and nothing under the prefix changes;
#   - the Debian package (cpack): its file list and lintian, and, as root,
#     `apt-get install` of it and removal afterwards.
#
# Usage: scripts/test-install.sh [--screenshots DIR]
#   --screenshots DIR  also keep the program's screenshots there (the
#                      AppStream data names packaging/screenshots/*.png)
# VELMORA_BUILD_DIR selects the build tree (default build).
set -eu
cd "$(dirname "$0")/.."
BUILD=${VELMORA_BUILD_DIR:-build}
SHOTS=""
if [ "${1:-}" = "--screenshots" ] && [ -n "${2:-}" ]; then
    mkdir -p "$2"
    SHOTS=$(cd "$2" && pwd)
fi

WORK=$(mktemp -d /tmp/velmora-install-test.XXXXXX)
SERVER=""
cleanup() {
    if [ -n "$SERVER" ]; then kill "$SERVER" 2>/dev/null || true; fi
    chmod -R u+w "$WORK" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

fail() {
    echo "test-install: FAILED: $*" >&2
    exit 1
}
check() { # DESCRIPTION COMMAND...: runs the command, fails with the description
    what=$1
    shift
    "$@" || fail "$what"
    echo "ok: $what"
}

cmake --build "$BUILD" --target velmora velmora-tool velmora-demo velmora_packaging

echo "== install into a temporary prefix"
PREFIX="$WORK/prefix"
cmake --install "$BUILD" --prefix "$PREFIX" >/dev/null
DESKTOP_FILE="$PREFIX/share/applications/org.velmora.Velmora.desktop"
METAINFO="$PREFIX/share/metainfo/org.velmora.Velmora.metainfo.xml"
for f in bin/velmora bin/velmora-tool share/man/man1/velmora.1.gz share/man/man1/velmora-tool.1.gz \
         share/icons/hicolor/16x16/apps/velmora.png share/icons/hicolor/256x256/apps/velmora.png \
         share/velmora/cache/icons share/doc/velmora/copyright; do
    [ -e "$PREFIX/$f" ] || fail "the install lacks $f"
done

echo "== validators"
check "desktop-file-validate" desktop-file-validate "$DESKTOP_FILE"
check "appstreamcli validate" appstreamcli validate --no-net "$METAINFO"

echo "== the installed programs' command lines"
# Everything below runs as a user with a fresh home and no XDG variables.
HOME_DIR="$WORK/home"
mkdir -p "$HOME_DIR"
as_user() {
    env -u XDG_CACHE_HOME -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u VELMORA_SERVER \
        HOME="$HOME_DIR" PATH="$PREFIX/bin:$PATH" "$@"
}
expect() { # EXIT-CODE STDOUT-PATTERN COMMAND...
    code=$1
    pattern=$2
    shift 2
    set +e
    out=$(as_user "$@" 2>"$WORK/stderr")
    got=$?
    set -e
    [ "$got" = "$code" ] || fail "$* exited $got, not $code"
    printf '%s\n' "$out" | grep -q -- "$pattern" || fail "$* printed no '$pattern': $out"
    echo "ok: $*"
}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")
expect 0 "^velmora-tool $version\$" velmora-tool --version
expect 0 "^velmora $version\$" velmora --version
expect 0 "velmora-tool catalog FILE" velmora-tool --help
expect 0 "^usage: velmora-tool serve DIR" velmora-tool serve --help
expect 0 "^Usage: velmora " velmora --help
for wrong in "velmora --no-such-option" "velmora-tool --no-such-option" "velmora --server" \
             "velmora --server ftp://example.net" "velmora-tool catalog x --no-such-option"; do
    # shellcheck disable=SC2086
    expect 2 "" $wrong
    [ "$(wc -l <"$WORK/stderr")" = 1 ] || fail "$wrong: not one line: $(cat "$WORK/stderr")"
done

echo "== the installed velmora-tool on the demo catalogue"
QT_QPA_PLATFORM=offscreen "$BUILD"/tools/velmora-demo "$WORK/demo" >/dev/null
# A free port: the server says so by staying up.
port=$((18100 + $$ % 800))
for _ in 1 2 3 4 5 6 7 8 9 10; do
    # Not through a function: $! must be the server itself.
    "$PREFIX/bin/velmora-tool" serve "$WORK/demo" --port "$port" >"$WORK/serve.log" 2>&1 &
    SERVER=$!
    sleep 0.5
    if kill -0 "$SERVER" 2>/dev/null && curl -sf -o /dev/null "http://127.0.0.1:$port/softdata/win7/config.txt"; then
        break
    fi
    kill "$SERVER" 2>/dev/null || true
    SERVER=""
    port=$((port + 1))
done
[ -n "$SERVER" ] || fail "velmora-tool serve found no free port"
BASE="http://127.0.0.1:$port"
as_user velmora-tool catalog "$WORK/demo/softdata/win7/config.txt" >"$WORK/catalog.json"
check "catalog lists the demo themes" grep -q '"theme_count": [1-9]' "$WORK/catalog.json"
check "catalog names files in the user's cache" \
    grep -q "\"package_file\": \"$HOME_DIR/.cache/velmora/theme/" "$WORK/catalog.json"
VELMORA_SERVER="$BASE" HOME="$HOME_DIR" "$PREFIX/bin/velmora-tool" catalog \
    "$WORK/demo/softdata/win7/config.txt" >"$WORK/catalog.json"
check "catalog takes the server from VELMORA_SERVER" grep -q "\"package_url\": \"$BASE/" "$WORK/catalog.json"
# The tool and its core helper load no picture library; the picture verbs
# find their helper.
check "velmora-tool links no Qt library" sh -c '! ldd "$1" | grep -q libQt6' - "$PREFIX/bin/velmora-tool"
check "velmora-tool-core links no Qt library" \
    sh -c '! ldd "$1" | grep -q libQt6' - "$PREFIX/libexec/velmora/velmora-tool-core"
as_user velmora-tool desktop --system "$WORK/sys" --png "$WORK/desktop.png" >/dev/null ||
    fail "desktop --png of the installed tool"
check "desktop --png draws through the installed helper" sh -c 'file "$1" | grep -q "PNG image data, 1280 x 800"' - "$WORK/desktop.png"

echo "== the installed velmora from its desktop entry, the prefix read-only"
chmod -R a-w "$PREFIX"
(cd "$PREFIX" && find . -printf '%p %s %m %T@\n' | sort) >"$WORK/prefix.before"
EXEC=$(sed -n 's/^Exec=//p' "$DESKTOP_FILE")
[ -n "$EXEC" ] || fail "the desktop entry has no Exec line"
export WORK EXEC BASE HOME_DIR PREFIX SHOTS
xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    cd "$WORK"
    # The Exec line as the menu runs it, with the publisher'"'"'s server added.
    # shellcheck disable=SC2086
    env -u XDG_CACHE_HOME -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$HOME_DIR" \
        PATH="$PREFIX/bin:$PATH" $EXEC --server "$BASE" >"$WORK/velmora.log" 2>&1 &
    APP=$!
    id=$(timeout 30 xdotool search --sync --onlyvisible --limit 1 --name "^Velmora\$" 2>/dev/null || true)
    if [ -z "$id" ]; then kill $APP 2>/dev/null; exit 1; fi
    sleep 4 # the catalogue arrives from a worker
    eval "$(xdotool getwindowgeometry --shell "$id")"
    shot() { import -window root "$WORK/$1"; mogrify -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$WORK/$1"; }
    at() { xdotool mousemove --window "$id" "$1" "$2"; sleep 0.3; }
    at 40 162; xdotool click 1; sleep 1                             # open the first group
    at 90 184; xdotool click 1; sleep 3                             # its first theme: the preview
    at 90 184; xdotool click --repeat 2 --delay 80 1; sleep 5       # double-click: download
    shot velmora-main.png
    at 90 184; xdotool click --repeat 2 --delay 80 1; sleep 4       # again: apply
    xdotool key Return; sleep 1                                     # a message box, if any
    at 305 81; xdotool click 1; sleep 2                             # the folder-icon page
    at 90 184; xdotool click 1; sleep 2                             # a category of the library
    shot velmora-folder-icons.png
    kill $APP; wait $APP 2>/dev/null || true
' || fail "the installed velmora showed no window: $(cat "$WORK/velmora.log")"
(cd "$PREFIX" && find . -printf '%p %s %m %T@\n' | sort) >"$WORK/prefix.after"
check "nothing under the prefix changed" cmp -s "$WORK/prefix.before" "$WORK/prefix.after"
ls "$HOME_DIR"/.cache/velmora/theme/*.jpg >/dev/null 2>&1 || fail "no preview in the user's cache"
ls "$HOME_DIR"/.cache/velmora/theme/ | grep -q -e '\.zip$' -e '\.themepack$' ||
    fail "no downloaded package in the user's cache: $(ls "$HOME_DIR/.cache/velmora/theme")"
echo "ok: the preview and the package landed in the user's cache"
check "the theme was applied" grep -q '^ThemeApplied ' "$HOME_DIR/.local/share/velmora/windows/journal.log"
for d in .local/share/velmora/favorites .config/velmora; do
    [ -d "$HOME_DIR/$d" ] || fail "no $d for the user"
done
if [ -n "$SHOTS" ]; then
    cp "$WORK/velmora-main.png" "$WORK/velmora-folder-icons.png" "$SHOTS/"
    echo "== screenshots saved to $SHOTS"
fi

echo "== the Debian package"
(cd "$BUILD" && rm -f velmora_*.deb && cpack -G DEB >/dev/null)
DEB=$(cd "$BUILD" && echo "$(pwd)"/velmora_*_amd64.deb)
dpkg-deb -c "$DEB" | awk '{print $6}' | sed 's|^\./|/|' >"$WORK/deb.files"
for f in /usr/bin/velmora /usr/bin/velmora-tool /usr/share/applications/org.velmora.Velmora.desktop \
         /usr/share/metainfo/org.velmora.Velmora.metainfo.xml /usr/share/man/man1/velmora.1.gz \
         /usr/share/icons/hicolor/48x48/apps/velmora.png /usr/share/doc/velmora/copyright \
         /usr/share/doc/velmora/changelog.gz; do
    grep -qx "$f" "$WORK/deb.files" || fail "the package lacks $f"
done
grep -q '^/usr/lib/.*velmora/Update.so$' "$WORK/deb.files" || fail "the package lacks the updater"
for helper in velmora-tool-core velmora-tool-pictures; do
    grep -qx "/usr/libexec/velmora/$helper" "$WORK/deb.files" || fail "the package lacks $helper"
done
if grep -v -e '^/usr/bin/' -e '^/usr/share/' -e '^/usr/lib/' -e '^/usr/libexec/' -e '^/$' -e '^/usr/$' \
    "$WORK/deb.files"; then
    fail "the package has files outside /usr/bin, /usr/lib, /usr/libexec and /usr/share"
fi
dpkg-deb -f "$DEB" Depends | grep -q 'libqt6widgets6' || fail "the package's dependencies were not computed"
echo "ok: the package's file list and dependencies"
if command -v lintian >/dev/null; then
    lintian --fail-on error "$DEB" || fail "lintian reports errors"
    echo "ok: lintian"
fi

# Installing needs root; the machine is left as it was found.
if [ "$(id -u)" = 0 ] && ! dpkg-query -W -f='${Status}' velmora 2>/dev/null | grep -q "ok installed"; then
    echo "== apt-get install of the package"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$DEB" >"$WORK/apt.log" 2>&1 ||
        fail "apt-get install: $(tail -5 "$WORK/apt.log")"
    ok=1
    [ "$(/usr/bin/velmora-tool --version)" = "velmora-tool $version" ] || ok=0
    [ "$(/usr/bin/velmora --version)" = "velmora $version" ] || ok=0
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -q velmora >>"$WORK/apt.log" 2>&1 ||
        fail "apt-get remove: $(tail -5 "$WORK/apt.log")"
    [ "$ok" = 1 ] || fail "the programs of the installed package do not run"
    echo "ok: apt-get install, run and remove"
fi
echo "test-install: all passed"
