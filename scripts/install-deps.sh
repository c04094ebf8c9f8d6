#!/bin/sh
# Installs every Debian package the build, the tests and the demo need.
# Idempotent and quick when everything is present. osslsigncode is bookworm's 2.5,
# which medium sign and its tests are made for.
set -eu

PACKAGES="cmake make g++ clang libclang-rt-14-dev googletest libgtest-dev zlib1g-dev
g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix g++-mingw-w64-i686-win32 gcc-mingw-w64-i686-win32
binutils-mingw-w64-i686 libz-mingw-w64-dev
wine wine32:i386 wine64 xvfb xauth imagemagick clang-format python3 zip unzip
libisofs-dev fuseiso libssl-dev openssl osslsigncode"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
echo "install-deps: installing$missing"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
