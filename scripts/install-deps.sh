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
libssl-dev
"
PACKAGES="$PACKAGES desktop-file-utils" # checks the installed desktop entry
PACKAGES="$PACKAGES appstream"          # checks the installed AppStream data
PACKAGES="$PACKAGES lintian"            # checks the Debian package
# SHA-256 of downloaded packages (OpenSSL's libcrypto)
PACKAGES="$PACKAGES libssl-dev"
# the real web server the download tests start on a loopback port
PACKAGES="$PACKAGES nginx-light"

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

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
echo "install-deps: installing$missing"
$SUDO apt-get update -q
# shellcheck disable=SC2086
$SUDO apt-get install -y -q --no-install-recommends $missing
