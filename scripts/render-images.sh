#!/usr/bin/env bash
# Renders the SVG sources in resources/svg/ into resources/Resources/.
#   name.svg           -> Resources/name.png
#   name.frame-NN.svg  -> frames of the animation Resources/name.gif
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
