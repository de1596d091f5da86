#!/usr/bin/env bash
# Builds plotveil and masks the example elevation grid with its mask:
# examples/elevation.asc masked by examples/mask.asc into out/masked.asc.
# Builds in its own directory, build-example/, without the test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
cmake -S . -B build-example -DCMAKE_BUILD_TYPE=Release -DPLOTVEIL_TESTS=OFF >/dev/null
cmake --build build-example -j"$(nproc)"
mkdir -p out
echo "--- plotveil examples/elevation.asc examples/mask.asc out/masked.asc"
./build-example/plotveil examples/elevation.asc examples/mask.asc out/masked.asc
echo "--- out/masked.asc"
cat out/masked.asc
