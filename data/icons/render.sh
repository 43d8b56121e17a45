#!/usr/bin/env bash
# Draws the icon's PNG sizes and the Windows .ico from brenvo.svg (librsvg2-bin, icoutils). The
# results are kept in the repository, so a build needs neither tool; run this after editing the SVG.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w $size -h $size brenvo.svg -o brenvo-$size.png
done
# Windows shows 16 to 48 pixels in lists and title bars, 256 in large views (stored as PNG).
icotool -c -o brenvo.ico brenvo-16.png brenvo-24.png brenvo-32.png brenvo-48.png -r brenvo-256.png
