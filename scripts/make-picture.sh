#!/usr/bin/env bash
# Draws the worked example as one picture, docs/example.png: the elevation
# grid, the mask and plotveil's result side by side, coloured as an elevation
# map, no-data cells in plain grey, each cell an enlarged square.
# Needs GDAL's gdaldem and gdal_translate (Debian gdal-bin) and ImageMagick's
# convert (Debian imagemagick).
# Usage: scripts/make-picture.sh [plotveil binary]   (default: builds build-example/plotveil)
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in gdaldem gdal_translate convert; do
  command -v "$tool" >/dev/null || { echo "missing $tool (Debian packages gdal-bin, imagemagick)" >&2; exit 1; }
done
plotveil=${1:-}
if [ -z "$plotveil" ]; then
  cmake -S . -B build-example -DCMAKE_BUILD_TYPE=Release -DPLOTVEIL_TESTS=OFF >/dev/null
  cmake --build build-example -j"$(nproc)" --target plotveil >/dev/null
  plotveil=build-example/plotveil
fi
case $plotveil in /*) ;; *) plotveil=$PWD/$plotveil ;; esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export GDAL_PAM_ENABLED=NO
scale=2400%                  # 12 x 10 cells become 288 x 240 pixels
font=DejaVu-Sans
nodata='#a6a6a6'
keep='#2c7fb8'

"$plotveil" examples/elevation.asc examples/mask.asc "$work/masked.asc" < /dev/null > /dev/null

# Elevation colours from green lowland to brown heights (metres, red, green,
# blue); "nv" colours no data, in both the elevation and the mask colours.
cat > "$work/colours.txt" <<'COLOURS'
400 26 152 80
430 145 207 96
455 217 239 139
475 254 224 139
490 216 161 90
500 140 81 10
nv 166 166 166
COLOURS
printf '1 44 127 184\nnv 166 166 166\n' > "$work/mask.txt"

# One panel: colour relief, enlarged without smoothing, thin cell lines, a label above.
panel() {  # grid colours label output
  gdaldem color-relief -q -of PNG "$1" "$2" "$work/relief.png"
  convert "$work/relief.png" -filter point -resize "$scale" \
    -fill none -stroke '#ffffff40' -strokewidth 1 \
    -draw "$(awk 'BEGIN { for (x = 24; x < 288; x += 24) printf "line %d,0 %d,240 ", x, x;
                         for (y = 24; y < 240; y += 24) printf "line 0,%d 288,%d ", y, y }')" \
    -bordercolor '#333333' -border 1 \
    -background white -font "$font" -pointsize 16 -fill black -stroke none \
    label:"$3" +swap -gravity center -append +repage "$4"
}
panel examples/elevation.asc "$work/colours.txt" "elevation.asc (grid_1)" "$work/a.png"
panel examples/mask.asc "$work/mask.txt" "mask.asc (grid_2)" "$work/b.png"
panel "$work/masked.asc" "$work/colours.txt" "result: out/masked.asc" "$work/c.png"

# Legend: the elevation scale as a bar of the same colours, then the two swatches.
{
  printf 'ncols 101\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -9999\n'
  awk 'BEGIN { for (v = 400; v <= 500; v++) printf "%d ", v; print "" }'
} > "$work/bar.asc"
gdaldem color-relief -q -of PNG "$work/bar.asc" "$work/colours.txt" "$work/bar.png"
convert -size 302x18 xc:white -font "$font" -pointsize 14 -fill black \
  -gravity west -annotate +0+0 '400 m' -gravity center -annotate +0+0 'elevation' \
  -gravity east -annotate +0+0 '500 m' "$work/bar_text.png"
convert "$work/bar.png" -filter point -resize '300x16!' -bordercolor '#333333' -border 1 \
  "$work/bar_text.png" -append +repage "$work/bar_labelled.png"
swatch() {  # colour text output
  convert -size 18x18 "xc:$1" -bordercolor '#333333' -border 1 \
    +size -background white -font "$font" -pointsize 14 -fill black label:"  $2" -gravity center +append +repage "$3"
}
swatch "$nodata" "no data, -9999 (in the mask: drop the cell)" "$work/nodata.png"
swatch "$keep" "mask 1: keep the cell" "$work/keep.png"
convert "$work/bar_labelled.png" -size 40x1 xc:white "$work/nodata.png" -size 40x1 xc:white "$work/keep.png" \
  -background white -gravity center +append +repage "$work/legend.png"

convert "$work/a.png" -size 24x1 xc:white "$work/b.png" -size 24x1 xc:white "$work/c.png" \
  -background white -gravity south +append \
  -size 1x14 xc:white "$work/legend.png" -gravity center -append \
  -bordercolor white -border 12 -depth 8 -strip docs/example.png
echo "wrote docs/example.png"
