#!/bin/sh
# Installs the Debian packages the builds and tests need; quick when they are
# already there. Needs root (or sudo).
set -e
packages="cmake g++ make libgtest-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
binutils-mingw-w64-x86-64 wine wine64 xvfb x11-apps imagemagick fonts-nanum locales zip clang"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
# The mingw compilers must really be there, not only registered.
for tool in x86_64-w64-mingw32-g++-win32 i686-w64-mingw32-g++-win32 x86_64-w64-mingw32-windres i686-w64-mingw32-windres; do
    command -v "$tool" >/dev/null 2>&1 || missing="$missing reinstall"
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq $packages >/dev/null
case "$missing" in
    *reinstall*) $SUDO apt-get install -y -qq --reinstall g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 \
        gcc-mingw-w64-i686-win32 gcc-mingw-w64-x86-64-win32 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 >/dev/null ;;
esac
