#!/bin/sh
# Draws the two program icons (our own artwork) with ImageMagick.
# Run from anywhere; writes src/main/window/icons/*.ico. The .ico files are committed.
set -e
out="$(cd "$(dirname "$0")/.." && pwd)/src/main/window/icons"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# Kestane: a blue shield-like disc with a white grid struck through in red.
convert -size 256x256 xc:none \
  -fill '#1f5fbf' -draw 'roundrectangle 8,8 248,248 48,48' \
  -stroke white -strokewidth 14 \
  -draw 'line 88,56 88,200' -draw 'line 168,56 168,200' \
  -draw 'line 56,96 200,96' -draw 'line 56,160 200,160' \
  -stroke '#e53935' -strokewidth 26 -draw 'line 52,204 204,52' \
  "$tmp/kestane.png"
# Deep scan: a magnifier over a small grid.
convert -size 256x256 xc:none \
  -fill '#2e7d32' -draw 'roundrectangle 8,8 248,248 48,48' \
  -stroke white -strokewidth 12 \
  -draw 'line 64,60 64,150' -draw 'line 110,60 110,150' -draw 'line 40,84 136,84' -draw 'line 40,128 136,128' \
  -fill none -stroke '#ffd54f' -strokewidth 18 -draw 'circle 140,120 140,60' \
  -strokewidth 30 -draw 'line 184,164 224,204' \
  "$tmp/deep_scan.png"
for name in kestane deep_scan; do
  for size in 16 24 32 48; do
    convert "$tmp/$name.png" -resize ${size}x${size} "$tmp/$name-$size.png"
  done
  convert "$tmp/$name-16.png" "$tmp/$name-24.png" "$tmp/$name-32.png" "$tmp/$name-48.png" "$out/$name.ico"
done
