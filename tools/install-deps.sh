#!/bin/sh
# Installs the Debian packages the builds and tests need; quick when they are
# already there. Needs root (or sudo).
# The 32-bit end-to-end runs need the i386 architecture and the 32-bit Wine
# loader (wine32). Installing them does no harm on a machine whose kernel runs
# no 32-bit code (the tests then skip those runs), and when they cannot be
# installed at all this only warns: the tests say why they skipped.
set -e
packages="cmake g++ make libgtest-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
binutils-mingw-w64-x86-64 wine wine64 xvfb x11-apps imagemagick fonts-nanum locales zip clang"
packages32="wine32:i386"
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=""
for p in $packages; do
    installed "$p" || missing="$missing $p"
done
# The mingw compilers must really be there, not only registered.
for tool in x86_64-w64-mingw32-g++-win32 i686-w64-mingw32-g++-win32 x86_64-w64-mingw32-windres i686-w64-mingw32-windres; do
    command -v "$tool" >/dev/null 2>&1 || missing="$missing reinstall"
done
missing32=""
for p in $packages32; do
    installed "$p" || missing32="$missing32 $p"
done
[ -z "$missing$missing32" ] && exit 0
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
if [ -n "$missing32" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386 || echo "install-deps: warning: the i386 architecture could not be added" >&2
fi
$SUDO apt-get update -qq
if [ -n "$missing" ]; then
    $SUDO apt-get install -y -qq $packages >/dev/null
fi
case "$missing" in
    *reinstall*) $SUDO apt-get install -y -qq --reinstall g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 \
        gcc-mingw-w64-i686-win32 gcc-mingw-w64-x86-64-win32 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 >/dev/null ;;
esac
if [ -n "$missing32" ] && ! $SUDO apt-get install -y -qq $packages $packages32 >/dev/null; then
    echo "install-deps: warning: $packages32 could not be installed; the 32-bit end-to-end runs will be skipped" >&2
fi
exit 0
