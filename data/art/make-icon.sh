#!/usr/bin/env bash
# Draws the program icon from its one source, data/art/norvale.svg:
#   make-icon.sh              the 128-pixel data/norvale.png the windows show
#   make-icon.sh SIZE OUT     one PNG of SIZE pixels (the build draws the hicolor sizes this way)
set -euo pipefail
here=$(dirname "$0")
size=${1:-128}
out=${2:-"$here/../norvale.png"}
rsvg-convert --width "$size" --height "$size" "$here/norvale.svg" --output "$out"
