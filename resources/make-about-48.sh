#!/usr/bin/env bash
# Renders the About box's picture from its SVG source into a 48 x 48, 256-colour PNG.
set -euo pipefail
cd "$(dirname "$0")"
convert -background none -density 96 about-48.svg -resize 48x48 -colors 256 \
    -define png:color-type=3 -strip PNG8:about-48.png
