#!/usr/bin/env bash
# Builds plotveil and masks the example elevation grid with its mask.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DPLOTVEIL_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)"
mkdir -p out
./build/plotveil examples/elevation.asc examples/mask.asc out/masked.asc
echo "--- out/masked.asc"
cat out/masked.asc
