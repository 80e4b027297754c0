#!/usr/bin/env bash
# Renders ivra.svg to the PNG sizes that the desktop icon theme, the window and
# the About box use. Run it after editing the SVG and commit the PNGs with it.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
  rsvg-convert --width "$size" --height "$size" --format png --output "ivra-$size.png" ivra.svg
done
