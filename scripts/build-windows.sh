#!/usr/bin/env bash
# Cross-builds plotveil.exe and plotveil-hdr.exe for Windows x86-64 with
# MinGW-w64 in build-windows/ (linked statically: they need no DLL beyond
# Windows' own) and makes the release build-windows/plotveil-<version>-win64.zip:
# the programs, README.md, LICENSE, CHANGELOG.md, the manual pages as HTML
# (plotveil.html, plotveil-hdr.html), WINDOWS.txt (the Windows forms of the
# manual's commands), the README's picture and the examples. The same commit
# gives the same zip, byte for byte (scripts/release-lib.sh).
# Usage: scripts/build-windows.sh [--tests] [--portable]   (--tests: unit
# tests too, run by ctest under Wine; see scripts/run-tests.sh. --portable: the
# programs only, in build-windows-portable/, with the portable kernels in plain
# arithmetic, not SSE2 or AVX2: -DPLOTVEIL_KERNEL=portable)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh windows
source scripts/release-lib.sh
release_epoch
source scripts/cross-build-lib.sh
cross_build build-windows cmake/mingw-w64-x86_64.cmake "${WINE:-/usr/lib/wine/wine64}" "$@"
[ "$cross_folder" = build-windows ] || exit 0   # the release zip is the vector build's

version="$(cat build-windows/release-version.txt)"
name="plotveil-$version-win64"
stage="build-windows/$name"
rm -rf "$stage" "$stage.zip"
mkdir -p "$stage/examples" "$stage/docs"
while read -r program; do
  [ -n "$program" ] && cp "$program" "$stage/"
done <build-windows/release-programs.txt
cp README.md LICENSE CHANGELOG.md "$stage/"
sed 's/$/\r/' packaging/WINDOWS.txt >"$stage/WINDOWS.txt"   # for Notepad, CR LF
cp docs/example.png docs/windows.md docs/qgis.md "$stage/docs/"   # the README's picture and pages
cp examples/*.asc "$stage/examples/"   # the grids; examples/slurm is for Linux clusters
for page in build-windows/man/*.1; do
  TZ=UTC groff -man -Thtml "$page" >"$stage/$(basename "$page" .1).html"
done
pack_zip build-windows "$name" "$stage.zip"
echo "build-windows/$name.zip"
