#!/usr/bin/env bash
# Interoperability with GDAL, the library most GIS software reads rasters with.
#
#  1. GDAL opens a text grid written by plotveil as a grid of the same size,
#     georeference and no-data value, and reads every cell to the value
#     plotveil meant (exactly as 64-bit floats; to the nearest 32-bit float in
#     GDAL's default reading).
#  2. plotveil reads text grids written by `gdal_translate -of AAIGrid`, in both
#     of GDAL's number forms, to the same output it makes from the originals.
#  3. A grid that GDAL writes without a no-data value has a five-line header,
#     whose no-data value is -9999, and masks as its six-line original; a grid
#     registered by cell centres masks as its corner form and its output lies
#     where GDAL puts the input.
#  4. GDAL opens single and double outputs through the sidecar plotveil-hdr
#     writes, with every cell and the stored statistics (gdal_reads_sidecar.py).
#  5. Headers by keyword: a reordered and an upper-case header give the
#     output of the ordered lower-case one; the corpus's upper-case grids run
#     to the cells GDAL's rewrites of them give; a grid that begins "NROWS" (exit 98) runs
#     once rewritten by gdal_translate with its cells unchanged; the one with
#     non-square cells ends with the header message (exit 1) before and after
#     the rewrite, and runs once resampled to square cells.
#  6. A text output's no-data cells read as no data in GDAL, for no-data
#     values that six digits do not hold (-1234567, the Float32 -FLT_MAX).
#
# Usage: gdal_interop.sh <plotveil binary> <plotveil-hdr binary>
# Exit status: 0 all checks passed, 1 a check failed, 77 GDAL's tools are not
# installed, or its Python bindings are not and the other checks passed (the
# test is then reported as skipped).
set -uo pipefail

plotveil=${1:?usage: gdal_interop.sh <plotveil binary> <plotveil-hdr binary>}
plotveil_hdr=${2:?usage: gdal_interop.sh <plotveil binary> <plotveil-hdr binary>}
case $plotveil in /*) ;; *) plotveil=$PWD/$plotveil ;; esac
case $plotveil_hdr in /*) ;; *) plotveil_hdr=$PWD/$plotveil_hdr ;; esac
here=$(cd "$(dirname "$0")" && pwd)
corpus=$here/../corpus
for tool in gdalinfo gdal_translate gdallocationinfo gdalwarp; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool not found (Debian package gdal-bin)"
    exit 77
  fi
done
# GDAL's Python bindings come with the system's Python (Debian python3-gdal).
python=
for candidate in python3 /usr/bin/python3; do
  if "$candidate" -c 'from osgeo import gdal; import numpy' >/dev/null 2>&1; then python=$candidate; break; fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
export GDAL_PAM_ENABLED=NO   # no .aux.xml side files

failures=0
pass() { echo "ok:   $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A 5 x 4 pair. Every value has at most six significant digits, so plotveil's
# text output carries it exactly. The mask keeps cells above -9999 (0 and 0.5
# included) and masks -9999 and anything below it; grid_1's own no-data cell
# (row 2, column 3) lies under a kept mask cell and stays -9999.
cat > grid.asc <<'GRID'
ncols 5
nrows 4
xllcorner 1000.5
yllcorner 2000.25
cellsize 0.5
nodata_value -9999
12.5 -3.25 0.001 123456 7
1.5e-05 2.5e-12 -9999 88.125 -0.5
1000 2000.5 3000.25 4000.5 5000.75
-12.5 0 1.5e+06 99.999 42
GRID
cat > mask.asc <<'GRID'
ncols 5
nrows 4
xllcorner 1000.5
yllcorner 2000.25
cellsize 0.5
nodata_value -9999
1 1 -9999 1 0.5
1 1 1 -10000 1
-9999 0 1 1 1
1 1 1 -9999 1
GRID

# Cells in row order, one per line: what the masking must produce.
awk 'FNR == NR { if (FNR > 6) for (i = 1; i <= NF; i++) mask[++n] = $i; next }
     FNR > 6 { for (i = 1; i <= NF; i++) { ++k; print (mask[k] + 0 <= -9999 ? -9999 : $i) } }' \
  mask.asc grid.asc > expected.txt

# Pixel/line coordinates of every cell centre, in row order.
awk 'BEGIN { for (r = 0; r < 4; r++) for (c = 0; c < 5; c++) print c + 0.5, r + 0.5 }' > cells.txt

# ---------------------------------------------------------------- 1. GDAL reads plotveil
"$plotveil" grid.asc mask.asc out.asc > stdout.txt
rc=$?
if [ "$rc" -eq 0 ] && [ "$(cat stdout.txt)" = "...." ]; then
  pass "plotveil masks the pair (exit 0, four dots)"
else
  fail "plotveil exit $rc, printed: $(cat stdout.txt)"
fi

info=$(gdalinfo out.asc 2>&1)
if echo "$info" | awk '
    /^Driver: AAIGrid/ { driver = 1 }
    /^Size is 5, 4$/ { size = 1 }
    /^Origin = / { gsub(/[(),]/, " "); origin = ($3 == 1000.5 && $4 == 2002.25) }
    /^Pixel Size = / { gsub(/[(),]/, " "); pixel = ($4 == 0.5 && $5 == -0.5) }
    /NoData Value=/ { split($0, a, "="); nodata = (a[2] == -9999) }
    END { exit !(driver && size && origin && pixel && nodata) }'; then
  pass "GDAL opens the output as a 5 x 4 grid at (1000.5, 2000.25), cell size 0.5, no-data -9999"
else
  fail "GDAL's view of the output differs:"; echo "$info"
fi

# The same cells through GDAL's 64-bit reading: exactly the expected values.
gdallocationinfo -valonly --config AAIGRID_DATATYPE Float64 out.asc < cells.txt > gdal64.txt 2> gdal.err
if paste -d ' ' expected.txt gdal64.txt | awk 'NF != 2 || $1 + 0 != $2 + 0 { bad++; print "  cell " NR ": expected " $1 ", GDAL read " $2 }
                                               END { exit (bad > 0 || NR != 20) }'; then
  pass "GDAL (Float64) reads all 20 cells to exactly the expected values"
else
  fail "GDAL (Float64) reads other cell values"; cat gdal.err
fi

# GDAL's default reading narrows decimal grids to 32-bit floats: every cell
# within half a unit in the last place of a 32-bit float (2^-24 relative).
gdallocationinfo -valonly out.asc < cells.txt > gdal32.txt 2>> gdal.err
if paste -d ' ' expected.txt gdal32.txt | awk '
    function abs(x) { return x < 0 ? -x : x }
    NF != 2 || abs($2 - $1) > abs($1) * 2^-24 * 1.0001 { bad++; print "  cell " NR ": expected " $1 ", GDAL read " $2 }
    END { exit (bad > 0 || NR != 20) }'; then
  pass "GDAL (default Float32) reads all 20 cells to the nearest 32-bit value"
else
  fail "GDAL (default Float32) reads other cell values"; cat gdal.err
fi

# ---------------------------------------------------------------- 2. plotveil reads GDAL
gdal_translate -q -of AAIGrid grid.asc gdal_grid32.asc
gdal_translate -q --config AAIGRID_DATATYPE Float64 -of AAIGrid grid.asc gdal_grid64.asc
gdal_translate -q -of AAIGrid mask.asc gdal_mask.asc
echo "      GDAL's text header: $(head -n 6 gdal_grid32.asc | awk '{ printf "%s%s", sep, $1; sep = " " }')"

if [ "$(head -c 4 gdal_grid32.asc)" = "ncol" ]; then
  "$plotveil" gdal_grid32.asc gdal_mask.asc out_gdal32.asc > stdout.txt
  rc=$?
  if [ "$rc" -eq 0 ] && cmp -s out.asc out_gdal32.asc; then
    pass "grids written by GDAL (32-bit values) give the same output, byte for byte"
  else
    fail "GDAL-written grids (32-bit values): exit $rc, output differs: $(cat stdout.txt)"
  fi

  # GDAL's 64-bit text values are the same doubles as the originals: even a
  # double-precision output is identical, and the headers agree with the
  # original mask to the bit.
  "$plotveil" grid.asc mask.asc out.dbl -f:d > /dev/null
  "$plotveil" gdal_grid64.asc mask.asc out_gdal64.dbl -f:d > stdout.txt
  rc=$?
  if [ "$rc" -eq 0 ] && cmp -s out.dbl out_gdal64.dbl; then
    pass "a grid written by GDAL (64-bit values) with the original mask gives the same double output"
  else
    fail "GDAL-written grid (64-bit values): exit $rc, output differs: $(cat stdout.txt)"
  fi
else
  # A text grid is recognised only by a file that begins with "ncol".
  "$plotveil" gdal_grid32.asc gdal_mask.asc out_gdal32.asc > stdout.txt
  rc=$?
  if [ "$rc" -eq 98 ] && grep -q "could not recognise file format" stdout.txt && [ ! -e out_gdal32.asc ]; then
    pass "GDAL's header does not begin with \"ncol\": refused with exit 98, no output"
  else
    fail "GDAL's header does not begin with \"ncol\", yet exit $rc: $(cat stdout.txt)"
  fi
fi

# ---------------------------------------------------------------- 3. five lines, centres
# GDAL leaves the no-data line out for a raster without one: the format's
# default, -9999, is the grid's no-data value, so the five-line grid masks as
# the six-line original does, as grid_1, as grid_2 and both, in every format.
five_lines() { gdal_translate -q -a_nodata none -of AAIGrid --config AAIGRID_DATATYPE Float64 "$1" "$2"; }
five_lines grid.asc five.asc
five_lines mask.asc five.mask.asc
if grep -qi 'nodata_value' five.asc five.mask.asc || [ "$(head -c 4 five.asc)" != ncol ]; then
  fail "GDAL wrote a no-data line, or no lower-case header, for a raster without no-data"
else
  for format in -f:t -f:s -f:d; do
    "$plotveil" grid.asc mask.asc six$format "$format" > /dev/null
    for pair in "five.asc mask.asc" "grid.asc five.mask.asc" "five.asc five.mask.asc"; do
      # shellcheck disable=SC2086
      "$plotveil" $pair five_out$format "$format" > stdout.txt
      rc=$?
      if [ "$rc" -eq 0 ] && cmp -s six$format five_out$format; then
        pass "five-line header ($pair, $format): the six-line original's output"
      else
        fail "five-line header ($pair, $format): exit $rc or another output: $(head -c 300 stdout.txt)"
      fi
    done
  done
  # Against a grid whose no-data value is not the default: the mismatch of index 6.
  sed 's/^nodata_value -9999/nodata_value -1/' mask.asc > other_nodata.asc
  "$plotveil" five.asc other_nodata.asc refused.asc > stdout.txt
  rc=$?
  if [ "$rc" -eq 2 ] && head -n 1 stdout.txt | grep -q '^6\. Parameter (-9999.000000)'; then
    pass "a five-line header against no-data -1 is refused (exit 2, parameter 6)"
  else
    fail "five-line header against no-data -1: exit $rc, printed: $(cat stdout.txt)"
  fi
fi
# A grid registered by cell centres lies where GDAL puts it, and so does the
# output, whose header gives the corner.
sed -e 's/^xllcorner 1000.5/xllcenter 1000.75/' -e 's/^yllcorner 2000.25/yllcenter 2000.5/' grid.asc > centre.asc
"$plotveil" centre.asc mask.asc centre_out.asc > stdout.txt
rc=$?
origin() { gdalinfo "$1" | sed -n 's/^Origin = //p'; }
if [ "$rc" -eq 0 ] && cmp -s centre_out.asc six-f:t && [ "$(origin centre.asc)" = "$(origin centre_out.asc)" ]; then
  pass "a cell-centre header masks as its corner form, and GDAL places input and output alike"
else
  fail "cell-centre header: exit $rc, output or origin differs ($(origin centre.asc) / $(origin centre_out.asc))"
fi

# ---------------------------------------------------------------- 4. sidecars
skipped=
if [ -z "$python" ]; then
  skipped="GDAL's Python bindings not found (Debian package python3-gdal): check 4 not run"
else
  mkdir sidecar && (cd sidecar && "$python" "$here/gdal_reads_sidecar.py" "$plotveil" "$plotveil_hdr")
  [ $? -eq 0 ] || failures=$((failures + 1))
fi

# ---------------------------------------------------------------- 5. headers by keyword
# The example pair's headers in another order, and in upper case.
reorder() { awk 'NR == 1 || NR == 2 { print; next } NR <= 6 { held[NR] = $0; next }
                 NR == 7 { print held[5]; print held[6]; print held[4]; print held[3] } { print }' "$1"; }
reorder grid.asc > reordered.asc
awk 'NR <= 6 { $1 = toupper($1) } { print }' mask.asc > upper.mask.asc
"$plotveil" reordered.asc upper.mask.asc reordered_out.asc > stdout.txt
rc=$?
if [ "$rc" -eq 0 ] && cmp -s out.asc reordered_out.asc; then
  pass "a reordered and an upper-case header give the output of the ordered lower-case ones"
else
  fail "reordered or upper-case header: exit $rc or another output: $(head -c 300 stdout.txt)"
fi

# Rewritten with 64-bit cells: GDAL's default 32-bit reading would change
# decimal cells (505.0252 would become 505.02520751953125).
to_plotveil() { gdal_translate -q -of AAIGrid --config AAIGRID_DATATYPE Float64 "$1" "$2"; }
# The cells after the header lines, one per line, as numbers.
cells_of() { awk -v skip="$2" 'FNR > skip { for (i = 1; i <= NF; i++) print $i + 0 }' "$1"; }
for name in landlab_new_writer_reordered_center r_raster_dem_upper_trailblank saga_upper_fixed4 \
            qgis_tin_dx_dy_header; do
  "$plotveil" "$corpus/$name.asc" "$corpus/$name.mask.asc" direct.asc < /dev/null > stdout.txt
  rc=$?
  to_plotveil "$corpus/$name.asc" "$name.asc" 2> /dev/null
  to_plotveil "$corpus/$name.mask.asc" "$name.mask.asc" 2> /dev/null
  "$plotveil" "$name.asc" "$name.mask.asc" "$name.out.asc" < /dev/null > stdout.txt
  rc_after=$?
  case $name in
    landlab_*)
      if [ "$rc" -eq 98 ] && [ "$rc_after" -eq 0 ] && cmp -s <(cells_of "$corpus/$name.asc" 6) <(cells_of "$name.asc" 6); then
        pass "$name: exit 98, rewritten by gdal_translate exit 0, every cell unchanged"
      else
        fail "$name: exit $rc, after gdal_translate exit $rc_after (or cells changed): $(head -c 300 stdout.txt)"
      fi
      continue ;;
    *_upper_*)
      # GDAL rounds a header value to 12 decimals (cellsize 30.8499999999996 to 30.85).
      if [ "$rc" -eq 0 ] && [ "$rc_after" -eq 0 ] && cmp -s <(tail -n +7 direct.asc) <(tail -n +7 "$name.out.asc"); then
        pass "$name: upper-case header runs (exit 0), the cells of GDAL's rewrite byte for byte"
      else
        fail "$name: exit $rc, after gdal_translate exit $rc_after (or outputs differ): $(head -c 300 stdout.txt)"
      fi
      continue ;;
  esac
  # Cells that are not square: GDAL keeps dx and dy; resampled to square cells
  # (which changes the grid) it runs.
  for grid in "$name" "$name.mask"; do
    method=bilinear
    [ "$grid" = "$name.mask" ] && method=near
    gdalwarp -q -overwrite -tr 4.4444444 4.4444444 -r "$method" -of VRT "$corpus/$grid.asc" "$grid.square.vrt"
    to_plotveil "$grid.square.vrt" "$grid.square.asc"
  done
  "$plotveil" "$name.square.asc" "$name.mask.square.asc" square.out.asc < /dev/null > square.txt
  rc_square=$?
  if [ "$rc" -eq 1 ] && [ "$rc_after" -eq 1 ] && grep -q '^dx ' "$name.asc" && grep -q '^error reading fiel header' stdout.txt &&
     [ "$rc_square" -eq 0 ]; then
    pass "$name: header refused (exit 1), with dx/dy after gdal_translate too, resampled to square cells exit 0"
  else
    fail "$name: exit $rc, after gdal_translate $rc_after, resampled $rc_square: $(head -c 300 square.txt)"
  fi
done

# ---------------------------------------------------------------- 6. no-data cells
# The example pair with another no-data value (-10000 in the mask is then
# data, so 4 of the 20 cells are no data): GDAL counts the valid cells of
# plotveil's text output as the cells that are not no data, and so does
# plotveil given that output again as a mask.
for nodata in -1234567 -3.4028234663852886e+38; do
  for f in grid mask; do
    awk -v n="$nodata" 'NR == 6 { print "nodata_value " n; next }
                        NR > 6 { for (i = 1; i <= NF; i++) if ($i == -9999) $i = n } { print }' $f.asc > nd.$f.asc
  done
  "$plotveil" nd.grid.asc nd.mask.asc nd.out.asc > stdout.txt
  rc=$?
  valid=$(gdalinfo -stats nd.out.asc 2> /dev/null | sed -n 's/.*STATISTICS_VALID_PERCENT=//p')
  "$plotveil" nd.grid.asc nd.out.asc nd.again.asc > /dev/null
  if [ "$rc" -eq 0 ] && [ "$valid" = 80 ] && cmp -s nd.out.asc nd.again.asc; then
    pass "no-data $nodata: GDAL reads the output's no-data cells as no data (80 % valid), and so does plotveil"
  else
    fail "no-data $nodata: exit $rc, GDAL finds ${valid:-?} % valid: $(grep -v '^[a-z]' nd.out.asc | head -n 2)"
  fi
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
if [ -n "$skipped" ]; then
  echo "skipped: $skipped"
  exit 77
fi
echo "all checks passed"
