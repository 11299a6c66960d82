#!/bin/sh
# Builds the 32-bit release and packs dist/Tollvard-1.3-win32.zip: the two
# programs side by side and the Korean user guide (UTF-8 with BOM, CRLF, as
# Notepad on Korean Windows expects); its SHA-256 goes beside it, in the form
# `sha256sum -c` reads. Built again from the same commit, on the same Debian
# toolchain, in any folder, the zip is the same byte for byte (README.md,
# "Checking a release"): its files carry the commit's time in UTC, fixed modes
# and a fixed order, and no owner, directory entry or extra time field.
set -e
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/tools/source-date-epoch.sh"
"$root/tools/build.sh" win32 Kestane Velmora
"$root/tools/check-binaries.sh" win32
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/Tollvard-1.3"
cp "$root/dist/win32/Kestane.exe" "$root/dist/win32/Velmora.exe" "$stage/Tollvard-1.3/"
{ printf '\357\273\277'; sed 's/$/\r/' "$root/docs/사용법.txt"; } > "$stage/Tollvard-1.3/사용법.txt"
# The zip keeps each file's mode, which the builder's umask would otherwise set.
chmod 0755 "$stage/Tollvard-1.3/Kestane.exe" "$stage/Tollvard-1.3/Velmora.exe"
chmod 0644 "$stage/Tollvard-1.3/사용법.txt"
touch -d "@$SOURCE_DATE_EPOCH" "$stage/Tollvard-1.3"/*
zip="$root/dist/Tollvard-1.3-win32.zip"
rm -f "$zip" "$zip.sha256"
# zip writes local time, and takes files in the order it is given them.
(cd "$stage" && find Tollvard-1.3 -type f | LC_ALL=C sort | TZ=UTC zip -q -X -D "$zip" -@)
(cd "$root/dist" && sha256sum Tollvard-1.3-win32.zip > Tollvard-1.3-win32.zip.sha256)
TZ=UTC unzip -l "$zip"
cat "$zip.sha256"
