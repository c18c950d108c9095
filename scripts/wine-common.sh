# Sourced by the scripts that run Windows programs under Wine (scripts/*win32*,
# bench/bench_win32*): where Wine is, one prefix's environment, and the
# checks' pass/fail count.

# wine64 and wineserver: on the PATH, else where Debian's wine64 puts them.
WINE=${WINE:-$(command -v wine64 || true)}
if [ -z "$WINE" ] && [ -x /usr/lib/wine/wine64 ]; then WINE=/usr/lib/wine/wine64; fi
WINESERVER=$(command -v wineserver || true)
if [ -z "$WINESERVER" ] && [ -x /usr/lib/wine/wineserver ]; then WINESERVER=/usr/lib/wine/wineserver; fi

# wine_env PREFIX: Wine's environment for a 64-bit prefix at PREFIX: no
# Mono/Gecko installers and no desktop menu entries. Wine stores Windows file
# names in the locale's character set: without a UTF-8 locale (none is set on
# a fresh machine) Chinese names cannot be made.
wine_env() {
    export WINEPREFIX="$1" WINEARCH=win64 WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    export LC_ALL=C.UTF-8
}

# wine_boot NAME: makes the prefix wine_env named, without the debugger Wine
# starts on a crash: a program that crashes then ends with a failure (or its
# time-out) instead of a backtrace and exit code 0.
wine_boot() {
    timeout 180 "$WINE" wineboot -i >/dev/null 2>&1 || {
        echo "$1: wineboot failed" >&2
        exit 1
    }
    "$WINE" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Debugger /f >/dev/null 2>&1 || true
    "$WINESERVER" -w
}

# A free port on 127.0.0.1.
free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

failures=0
fail() {
    printf 'FAIL: %s\n' "$*" >&2
    failures=$((failures + 1))
}
pass() {
    printf 'ok: %s\n' "$*"
}
