#!/usr/bin/env bash
# Draws the program icon (data/norvale.png): a mast sending waves on a blue tile.
set -euo pipefail
out=${1:-"$(dirname "$0")/../norvale.png"}
tile=$(mktemp --suffix=.png)
trap 'rm -f "$tile"' EXIT
convert -size 256x256 xc:none \
    \( -size 240x240 gradient:'#2b7bc0-#123a66' \) -geometry +8+8 -compose over -composite \
    \( -size 256x256 xc:black -fill white -draw "roundrectangle 8,8 247,247 52,52" \) \
    -alpha off -compose copy_opacity -composite "$tile"
convert "$tile" -fill none -stroke white -strokewidth 11 \
    -draw "polyline 99,191 96,189 93,186 90,183 88,180 86,177 84,173 82,169 81,166 79,162 79,158 78,154 78,150 78,146 79,142 79,138 81,134 82,131 84,127 86,123 88,120 90,117 93,114 96,111 99,109" -draw "polyline 157,109 160,111 163,114 166,117 168,120 170,123 172,127 174,131 175,134 177,138 177,142 178,146 178,150 178,154 177,158 177,162 175,166 174,169 172,173 170,177 168,180 166,183 163,186 160,189 157,191" \
    -stroke '#f3c441' -draw "polyline 74,219 69,215 64,210 60,205 56,200 52,194 49,189 46,182 44,176 42,170 41,163 40,157 40,150 40,143 41,137 42,130 44,124 46,118 49,111 52,106 56,100 60,95 64,90 69,85 74,81" -draw "polyline 182,81 187,85 192,90 196,95 200,100 204,106 207,111 210,118 212,124 214,130 215,137 216,143 216,150 216,157 215,163 214,170 212,176 210,182 207,189 204,194 200,200 196,205 192,210 187,215 182,219" \
    -stroke none -fill white -draw "circle 128,150 128,172" -draw "roundrectangle 121,40 135,132 7,7" \
    -resize 128x128 "$out"
