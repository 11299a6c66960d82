#!/bin/sh
# Builds the 32-bit release and packs dist/Tollvard-1.3-win32.zip: the two
# programs side by side and the Korean user guide (UTF-8 with BOM, CRLF, as
# Notepad on Korean Windows expects).
set -e
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/build.sh" win32
"$root/tools/check-binaries.sh" win32
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/Tollvard-1.3"
cp "$root/dist/win32/Kestane.exe" "$root/dist/win32/Velmora.exe" "$stage/Tollvard-1.3/"
{ printf '\357\273\277'; sed 's/$/\r/' "$root/docs/사용법.txt"; } > "$stage/Tollvard-1.3/사용법.txt"
rm -f "$root/dist/Tollvard-1.3-win32.zip"
(cd "$stage" && zip -q -X -r "$root/dist/Tollvard-1.3-win32.zip" Tollvard-1.3)
unzip -l "$root/dist/Tollvard-1.3-win32.zip"
