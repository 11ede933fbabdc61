#!/bin/sh
# Renders the icon's PNG sizes from orven5927.svg (needs ImageMagick). The PNGs
# are kept in the repository so a build needs no image tools.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
for size in 16 24 32 48 64 128 256; do
  mkdir -p "$here/icons/$size"
  convert -background none -density 300 "$here/orven5927.svg" -resize "${size}x${size}" \
    -depth 8 -strip "PNG32:$here/icons/$size/orven5927.png"
done
# The windows carry the same picture.
cp "$here/icons/128/orven5927.png" "$here/../app/icon.png"
