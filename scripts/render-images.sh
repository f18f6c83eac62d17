#!/usr/bin/env bash
# Renders the SVG sources in resources/svg/ into resources/Resources/.
#   name.svg           -> Resources/name.png
#   name.frame-NN.svg  -> frames of the animation Resources/name.gif
#   name.ico.svg       -> Resources/name.ico (16, 24, 32, 48, 64 and 256 pixels; the
#                         program's icon in the Windows build and its installer)
# The rendered files are committed, so the build does not need these tools.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
src=$here/resources/svg
out=$here/resources/Resources
mkdir -p "$out"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
for f in "$src"/*.svg; do
  [ -e "$f" ] || continue
  b=$(basename "$f" .svg)
  case "$b" in
    *.frame-*) continue ;;
    *.ico)
      frames=()
      for px in 16 24 32 48 64 256; do
        rsvg-convert -w $px -h $px "$f" -o "$tmp/$b-$px.png"
        frames+=("$tmp/$b-$px.png")
      done
      convert "${frames[@]}" "$out/$b"
      continue ;;
  esac
  rsvg-convert "$f" -o "$out/$b.png"
done
for first in "$src"/*.frame-00.svg; do
  [ -e "$first" ] || continue
  b=$(basename "$first" .frame-00.svg)
  for fr in "$src/$b".frame-*.svg; do
    rsvg-convert "$fr" -o "$tmp/$(basename "$fr" .svg).png"
  done
  convert -delay 8 -loop 0 -dispose previous -background none "$tmp/$b".frame-*.png "$out/$b.gif"
done
