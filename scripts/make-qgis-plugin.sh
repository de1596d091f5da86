#!/usr/bin/env bash
# Makes the QGIS plugin's zips, installable through Plugins > Manage and
# Install Plugins > Install from ZIP:
#   dist/plotveil-qgis-<version>.zip        the plugin; plotveil is looked for on PATH
#   dist/plotveil-qgis-<version>-win64.zip  the same with plotveil.exe and
#                                            plotveil-hdr.exe in the plugin folder
# Both hold help.html, the guide docs/qgis.md as the algorithm's Help button
# shows it (scripts/qgis-help.py).
# The version is the project's (CMakeLists.txt), written into metadata.txt.
# Entries are sorted, dated SOURCE_DATE_EPOCH (default: the last commit's time)
# and stored without extra fields, so the same sources give the same bytes.
# The Windows programs come from build-windows/, built by
# scripts/build-windows.sh where they are missing.
# Usage: scripts/make-qgis-plugin.sh
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(plotveil VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
if [ -z "$version" ]; then
  echo "make-qgis-plugin.sh: no 'project(plotveil VERSION x.y.z' in CMakeLists.txt" >&2
  exit 1
fi
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || true)}
if [ -z "$epoch" ]; then
  echo "make-qgis-plugin.sh: not a git checkout; set SOURCE_DATE_EPOCH" >&2
  exit 1
fi
if ! command -v zip >/dev/null 2>&1; then
  echo "make-qgis-plugin.sh: zip not found (Debian package zip)" >&2
  exit 1
fi
if [ ! -f build-windows/plotveil.exe ] || [ ! -f build-windows/plotveil-hdr.exe ]; then
  bash scripts/build-windows.sh >/dev/null
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p dist

# make_zip <zip name> [program ...]: the plugin folder, with the programs inside.
make_zip() {
  local name=$1 tree=$stage/$1 out=$PWD/dist/$1 plugin
  shift
  plugin=$tree/plotveil_processing
  mkdir -p "$plugin"
  find qgis/plotveil_processing -maxdepth 1 -type f ! -name '*.pyc' -exec cp {} "$plugin/" \;
  sed -i "s/^version=.*/version=$version/" "$plugin/metadata.txt"
  python3 scripts/qgis-help.py docs/qgis.md >"$plugin/help.html"
  [ $# -eq 0 ] || cp "$@" "$plugin/"
  find "$tree" -type d -exec chmod 755 {} +
  find "$tree" -type f -exec chmod 644 {} +
  find "$tree" -type f -name '*.exe' -exec chmod 755 {} +
  find "$tree" -exec touch -h -d "@$epoch" {} +
  rm -f "$out"
  (cd "$tree" && find plotveil_processing -print | LC_ALL=C sort | TZ=UTC zip -X -q -@ "$out")
  echo "dist/$name"
}

make_zip "plotveil-qgis-$version.zip"
make_zip "plotveil-qgis-$version-win64.zip" build-windows/plotveil.exe build-windows/plotveil-hdr.exe
