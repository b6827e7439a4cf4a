#!/usr/bin/env bash
# Draws the launcher's icon (a pale "H" over a still mere at night) and writes
# resources/launcher.ico with 16, 32, 48 and 256 pixel images. The .ico is committed so
# a build never depends on the ImageMagick version; run this again after changing it.
#   resources/make_icon.sh [output.ico]
set -euo pipefail
cd "$(dirname "$0")"
out="${1:-launcher.ico}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# Drawn once at 256 pixels; the smaller sizes are scaled down from it. The strokes are
# wide enough to stay readable at 16 pixels.
convert -size 256x256 gradient:'#2f5d94-#0b1a2f' -colorspace sRGB \
  \( -size 256x256 xc:black -fill white -draw "roundrectangle 8,8 247,247 44,44" \) \
  -alpha off -compose CopyOpacity -composite -compose Over \
  -fill '#f2d38a' -draw "rectangle 62,44 102,176" -draw "rectangle 154,44 194,176" \
  -draw "rectangle 102,92 154,126" \
  -fill none -stroke '#8cc4f0' -strokewidth 16 -draw "bezier 36,210 92,178 164,238 220,204" \
  -depth 8 "$work/256.png"
for size in 48 32 16; do
  convert "$work/256.png" -filter Lanczos -resize "${size}x${size}" "$work/$size.png"
done
convert "$work/16.png" "$work/32.png" "$work/48.png" "$work/256.png" "$out"
identify "$out"
