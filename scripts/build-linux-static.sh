#!/usr/bin/env bash
# Builds statically linked Linux x86-64 plotveil and plotveil-hdr in
# build-linux-static/, with their manual pages in build-linux-static/man/: each one
# file that runs on any x86-64 Linux distribution, whatever its C++ library.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
cmake -S . -B build-linux-static -DCMAKE_BUILD_TYPE=Release -DPLOTVEIL_TESTS=OFF \
  -DCMAKE_EXE_LINKER_FLAGS="-static -s" >/dev/null
cmake --build build-linux-static -j"$(nproc)" --target plotveil plotveil-hdr man_pages
