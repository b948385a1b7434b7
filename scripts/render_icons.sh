#!/usr/bin/env bash
# Renders the PNG sizes of the program icon from its SVG (needs rsvg-convert from librsvg2-bin).
# The PNGs are committed, so building and packaging need no SVG renderer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
icons="$root/packaging/icons"
for size in 16 24 32 48 64 128 256; do
    mkdir -p "$icons/$size"
    rsvg-convert -w "$size" -h "$size" "$icons/org.tarnwell.Benchlord.svg" \
        -o "$icons/$size/org.tarnwell.Benchlord.png"
done
