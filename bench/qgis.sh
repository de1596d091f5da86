#!/usr/bin/env bash
# Times the QGIS plugin against QGIS's Raster Calculator and gdal_calc.py in
# one QGIS process (bench/qgis_bench.py), after building Release plotveil and
# plotveil-hdr in build-bench/ as bench/run.sh does. The table goes to
# standard output, progress to standard error.
#
# Usage: bench/qgis.sh [--rows N] [--cols N] [--rounds N] [--plugin DIR] [FOLDER]
#   FOLDER  where the GeoTIFF, text and single grids are written and kept
#           (default: a temporary folder, removed at the end)
#   --rows, --cols  grid size (default 4000 x 4000)
#   --rounds  timed rounds, each running every case once in turn (default 3)
#   --plugin DIR  the plugin folder to time (default qgis/plotveil_processing)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-bench"
echo "building plotveil and plotveil-hdr in $build" >&2
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPLOTVEIL_TESTS=OFF -DPLOTVEIL_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target plotveil plotveil-hdr >/dev/null
exec /usr/bin/python3 "$root/bench/qgis_bench.py" --programs "$build" "$@"
