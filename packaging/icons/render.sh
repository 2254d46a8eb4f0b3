#!/usr/bin/env bash
# Renders wren-simulator.svg to the PNG sizes of the hicolor theme, which are
# kept in the repository so that building needs no SVG renderer.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" wren-simulator.svg -o "wren-simulator-$size.png"
done
