#!/usr/bin/env bash
# Checks the Linux x86-64 release files: two clones of this checkout in
# different folders (the second with another umask and time zone) must pack
# the same tarball and Debian package, byte for byte; unpacked, what they hold
# must run on the examples as the tested build does, carry the version and the
# last commit's date, and the package must pass lintian without an error or a
# warning. Uncommitted changes of the checkout are carried into both clones.
# Usage: tests/release/check_release.sh PLOTVEIL   (a tested build of plotveil,
# whose outputs the packed programs must match)
set -euo pipefail
reference="$(realpath "$1")"
root="$(cd "$(dirname "$0")/../.." && pwd)"
if ! git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
  echo "release check skipped: $root is not a git checkout, and releases are made from commits"
  exit 0
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# clone DIR: this checkout as it stands, committed or not.
clone() {
  git clone -q "$root" "$1"
  (cd "$root" && git ls-files -z --modified --others --exclude-standard) >"$work/changed"
  if [ -s "$work/changed" ]; then
    tar -C "$root" --null --files-from="$work/changed" --ignore-failed-read -cf - 2>/dev/null | tar -xf - -C "$1"
  fi
  (cd "$root" && git ls-files -z --deleted) | (cd "$1" && xargs -0 -r rm -f)
}
clone "$work/a/plotveil"
(umask 077 && clone "$work/second/folder/named/otherwise")
(cd "$work/a/plotveil" && bash scripts/package-linux.sh x86_64 >"$work/a.log" 2>&1) ||
  { cat "$work/a.log"; exit 1; }
(cd "$work/second/folder/named/otherwise" && TZ=Asia/Tokyo bash scripts/package-linux.sh x86_64 \
  >"$work/b.log" 2>&1) || { cat "$work/b.log"; exit 1; }
a="$work/a/plotveil/build-linux-static"
b="$work/second/folder/named/otherwise/build-linux-static"
v="$(cat "$a/release-version.txt")"
tarball="plotveil-$v-linux-x86_64.tar.gz"
deb="plotveil_${v}_amd64.deb"
for file in "$tarball" "$deb"; do
  if cmp "$a/$file" "$b/$file"; then
    echo "same bytes from two folders: $file ($(stat -c %s "$a/$file") bytes)"
  else
    fail "$file differs between two folders"
  fi
done

date="$(TZ=UTC git -C "$root" log -1 --format=%cd --date=format-local:%Y-%m-%d)"
expected="$work/expected"
mkdir -p "$expected"
examples="$root/examples"
"$reference" "$examples/elevation.asc" "$examples/mask.asc" "$expected/masked.flt" -f:s </dev/null >/dev/null

# check_install PREFIX MANDIR READER DOCDIR: the programs run on the examples
# as the reference does, the manual pages carry version and date.
check_install() {
  local prefix="$1" man="$2" reader="$3" doc="$4" out="$work/out-$(basename "$1")"
  mkdir -p "$out"
  "$prefix/bin/plotveil" "$doc/examples/elevation.asc" "$doc/examples/mask.asc" "$out/masked.flt" -f:s \
    </dev/null >"$out/log" || fail "$prefix/bin/plotveil on the examples: exit $? ($(cat "$out/log"))"
  cmp -s "$out/masked.flt" "$expected/masked.flt" || fail "$prefix/bin/plotveil: another output than $reference"
  "$prefix/bin/plotveil-hdr" "$out/masked.flt" >/dev/null || fail "$prefix/bin/plotveil-hdr on its output"
  [ "$("$prefix/bin/plotveil-hdr" --version)" = "plotveil-hdr $v" ] || fail "$prefix/bin/plotveil-hdr --version"
  for page in plotveil plotveil-hdr; do
    local title
    title="$("$reader" "$man/$page.1"* | head -n 1)"
    [[ "$title" == ".TH ${page^^} 1 $date \"plotveil $v\" "* ]] || fail "$man/$page.1: title line $title"
  done
}

mkdir -p "$work/tarball"
tar -xzf "$a/$tarball" -C "$work/tarball"
check_install "$work/tarball" "$work/tarball/share/man/man1" cat "$work/tarball/share/doc/plotveil"
for file in LICENSE README.md CHANGELOG.md; do
  [ -f "$work/tarball/share/doc/plotveil/$file" ] || fail "$tarball holds no share/doc/plotveil/$file"
done
stray="$(cd "$work/tarball" && find . -name '*.aux.xml')"
[ -z "$stray" ] || fail "$tarball holds GDAL's statistics files: $stray"

# The README from its top, as a user with only the release files: its quick
# start, then its recipes for masks from other programs and the statistics,
# in one shell, with the inputs those recipes name as GDAL writes them: a
# clipped mask, a 0/1 mask with GDAL's five-line header, a GeoTIFF DEM in UTM
# without no-data and a study-area polygon. The kept cells must be exactly
# the clipped mask's and the polygon's (by their centres), in place.
home="$work/home"
mkdir -p "$home/Downloads" "$home/plotveil-first"
cp "$a/$tarball" "$home/Downloads/"
{
  (cd "$home/Downloads" && sha256sum "$tarball")
  for other in "plotveil-$v-win64.zip" "plotveil-$v-linux-arm64.tar.gz" "plotveil_${v}_amd64.deb"; do
    echo "0000000000000000000000000000000000000000000000000000000000000000  $other"
  done
} >"$home/Downloads/SHA256SUMS"
first="$home/plotveil-first"
gdal_translate -q -of AAIGrid -srcwin 2 1 9 8 "$examples/mask.asc" "$first/area_clip.asc"
awk 'NR <= 6 { print; next } { for (i = 1; i <= NF; i++) if ($i == -9999) $i = 0; print }' \
  "$examples/mask.asc" >"$work/mask01.asc"
gdal_translate -q -of AAIGrid -a_nodata none "$work/mask01.asc" "$first/mask01.asc"
gdal_create -q -of GTiff -outsize 80 60 -bands 1 -ot Float32 -burn 450.25 -a_srs EPSG:25832 \
  -a_ullr 452003.5 5600987.5 452803.5 5600387.5 "$first/dem.tif"
polygon="452101.3 5600501.1 452655.9 5600433.7 452701.2 5600901.4 452330.4 5600950.8 452101.3 5600501.1"
printf '{"type": "Polygon", "coordinates": [[%s]]}\n' "$(printf '[%s, %s], ' $polygon | sed 's/, $//')" \
  >"$work/area.geojson"
ogr2ogr -a_srs EPSG:25832 "$first/area.shp" "$work/area.geojson"
# kept FILE: a text grid's cells as rows of 1 (data) and 0 (no data).
kept() {
  awk 'BEGIN { nodata = -9999 } $1 ~ /^[A-Za-z]/ { if (tolower($1) == "nodata_value") nodata = $2; next }
       { row = ""; for (i = 1; i <= NF; i++) row = row ($i + 0 != nodata + 0); print row }' "$1"
}
# The cells whose centres lie inside the polygon, of the DEM's 80 x 60 cells of 10 m.
inside="$(awk -v polygon="$polygon" 'BEGIN {
  n = split(polygon, p, " ") / 2
  for (r = 0; r < 60; r++) {
    row = ""
    for (c = 0; c < 80; c++) {
      x = 452003.5 + (c + 0.5) * 10; y = 5600987.5 - (r + 0.5) * 10; in_it = 0
      for (i = 1; i <= n; i++) {
        j = i % n + 1; xi = p[2 * i - 1]; yi = p[2 * i]; xj = p[2 * j - 1]; yj = p[2 * j]
        if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) in_it = !in_it
      }
      row = row in_it
    }
    print row
  } }')"
# The clipped mask's cells (columns 3 to 11, rows 2 to 9) that are data in the mask and the grid.
clipped="$(paste -d ' ' <(kept "$examples/mask.asc") <(kept "$examples/elevation.asc") |
  awk '{ row = ""; for (c = 1; c <= 12; c++)
           row = row (NR >= 2 && NR <= 9 && c >= 3 && c <= 11 && substr($1, c, 1) == 1 && substr($2, c, 1) == 1)
         print row }')"
placed() { gdalinfo "$1" 2>/dev/null | grep -E '^(Size is|Origin|Pixel Size|Coordinate System)'; }
readme_blocks() {
  awk 'BEGIN { wanted["Quick start on Linux"]; wanted["Masks from other programs"];
               wanted["A GeoTIFF DEM and a study-area polygon"];
               wanted["Masks that mark with 0"]; wanted["Reading the statistics"] }
       /^##+ / { heading = $0; sub(/^##+ /, "", heading); next }
       /^```sh$/ && (heading in wanted) { in_block = 1; next }
       in_block && /^```$/ { in_block = 0; next }
       in_block { print }' "$root/README.md"
}
if HOME="$home" PATH=/usr/local/bin:/usr/bin:/bin bash -euo pipefail -c "$(readme_blocks)" >"$work/readme.log" 2>&1 &&
  cmp -s "$first/masked_drop0.asc" "$first/masked.asc" &&
  [ "$(kept "$first/masked_area.asc")" = "$clipped" ] &&
  [ "$(kept "$first/masked_dem.asc")" = "$inside" ] && [ "$inside" != "$(tr 1 0 <<<"$inside")" ] &&
  [ "$(placed "$first/masked_dem.asc")" = "$(placed "$first/dem.tif")" ] &&
  grep -qx "mean 454.27878" "$work/readme.log" &&
  gdalinfo "$first/masked.flt" 2>/dev/null | grep -q "^Size is 12, 10"; then
  echo "the README followed from its top with the tarball alone: every command succeeds"
else
  cat "$work/readme.log"
  fail "the README's quick start and recipes, run as written on the tarball"
fi
dpkg-deb -x "$a/$deb" "$work/deb"
check_install "$work/deb/usr" "$work/deb/usr/share/man/man1" zcat "$work/deb/usr/share/doc/plotveil"
[ "$(dpkg-deb -f "$a/$deb" Version Architecture | tr '\n' ' ')" = "Version: $v Architecture: amd64 " ] ||
  fail "$deb: version or architecture"
head -n 1 "$work/deb/usr/share/doc/plotveil/copyright" | grep -q '^Format: ' || fail "$deb: copyright format"
grep -qF "$(sed -n 3p "$root/LICENSE" | sed 's/^Copyright (c) //')" "$work/deb/usr/share/doc/plotveil/copyright" ||
  fail "$deb: copyright holder"

if lintian --fail-on error,warning "$a/$deb" >"$work/lintian" 2>&1; then
  echo "lintian: no error or warning in $deb"
else
  cat "$work/lintian"
  fail "lintian on $deb"
fi

if [ "$failures" -ne 0 ]; then
  echo "release check: $failures failures"
  exit 1
fi
echo "release check passed"
