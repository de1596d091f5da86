#!/usr/bin/env bash
# Cross-builds plotveil.exe for Windows x86-64 with MinGW-w64 in build-windows/
# (linked statically: it needs no DLL beyond Windows' own) and makes the
# release build-windows/plotveil-<version>-win64.zip: the programs, README.md,
# the manual pages as HTML (plotveil.html), the README's picture and the
# examples.
# Usage: scripts/build-windows.sh [--tests]   (--tests: unit tests too, run by
# ctest under Wine; see scripts/run-tests.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh windows
tests=OFF
[ "${1:-}" = --tests ] && tests=ON
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DPLOTVEIL_TESTS="$tests" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="${WINE:-/usr/lib/wine/wine64}" >/dev/null
cmake --build build-windows -j"$(nproc)"

version="$(cat build-windows/release-version.txt)"
name="plotveil-$version-win64"
stage="build-windows/$name"
rm -rf "$stage" "$stage.zip"
mkdir -p "$stage/examples" "$stage/docs"
while read -r program; do
  [ -n "$program" ] && cp "$program" "$stage/"
done <build-windows/release-programs.txt
cp README.md "$stage/"
cp docs/* "$stage/docs/"   # the README's picture
cp examples/*.asc "$stage/examples/"   # the grids; examples/slurm is for Linux clusters
for page in man/*.1; do
  groff -man -Thtml "$page" >"$stage/$(basename "$page" .1).html"
done
(cd build-windows && cmake -E tar cf "$name.zip" --format=zip "$name")
echo "build-windows/$name.zip"
