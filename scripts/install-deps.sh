#!/bin/sh
# Installs every Debian package Velmora needs to build, run and test.
# Non-interactive; only packages that are missing are fetched.
set -eu

PACKAGES="
build-essential cmake ninja-build pkg-config git ca-certificates
qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-image-formats-plugins
libqt6svg6 libgl-dev
libcurl4-openssl-dev libzip-dev libpcre2-dev nlohmann-json3-dev
libglib2.0-dev libxcursor-dev libpng-dev gsettings-desktop-schemas
libcpp-httplib-dev libgcab-dev gcab
googletest libgtest-dev libgmock-dev libbenchmark-dev
mingw-w64 g++-mingw-w64-x86-64-posix wine64
xvfb xauth xdotool x11-apps imagemagick fonts-noto-cjk
curl jq unzip zip time
clang libclang-rt-14-dev
"
PACKAGES="$PACKAGES desktop-file-utils" # checks the installed desktop entry
PACKAGES="$PACKAGES appstream"          # checks the installed AppStream data
PACKAGES="$PACKAGES lintian"            # checks the Debian package
# SHA-256 of downloaded packages (OpenSSL's libcrypto)
PACKAGES="$PACKAGES libssl-dev"          # SHA-256 of packages and of the change record
# the real web server the download tests start on a loopback port
PACKAGES="$PACKAGES nginx-light"
# zlib for the Windows build (scripts/build-win32.sh)
PACKAGES="$PACKAGES libz-mingw-w64-dev"
# dpkg-source, which apt-get source unpacks with (scripts/build-win32-deps.sh)
PACKAGES="$PACKAGES dpkg-dev"

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

# The Windows build compiles PCRE2 and libzip from Debian's own source
# packages (scripts/build-win32-deps.sh): it needs the release's deb-src entry.
SRC_LIST=/etc/apt/sources.list.d/velmora-src.sources
if [ ! -f "$SRC_LIST" ] && ! grep -rqs '^[[:space:]]*\(deb-src\|Types:.*deb-src\)' \
        /etc/apt/sources.list /etc/apt/sources.list.d/; then
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    echo "install-deps: adding the deb-src entry for $codename ($SRC_LIST)"
    printf '%s\n' "Types: deb-src" "URIs: http://deb.debian.org/debian" \
        "Suites: $codename $codename-updates" "Components: main" \
        "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" "" \
        "Types: deb-src" "URIs: http://deb.debian.org/debian-security" \
        "Suites: $codename-security" "Components: main" \
        "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" | $SUDO tee "$SRC_LIST" >/dev/null
    $SUDO apt-get update -q
fi

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    echo "install-deps: all packages present"
    exit 0
fi

export DEBIAN_FRONTEND=noninteractive
echo "install-deps: installing$missing"
$SUDO apt-get update -q
# shellcheck disable=SC2086
$SUDO apt-get install -y -q --no-install-recommends $missing
