#!/usr/bin/env bash
# Cross-builds a statically linked Linux ARM64 plotveil in build-arm64/ with
# Debian's aarch64 cross compiler; it runs on any ARM64 Linux, and here under
# qemu-user (qemu-aarch64 build-arm64/plotveil ...).
# Usage: scripts/build-arm64.sh [--tests]   (--tests: unit tests too, run by
# ctest under qemu-aarch64)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh arm64
tests=OFF
[ "${1:-}" = --tests ] && tests=ON
# --no-warn-unused-cli: a configured folder takes no new toolchain file, and
# would say so on every later run.
cmake -S . -B build-arm64 --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
  -DCMAKE_BUILD_TYPE=Release -DPLOTVEIL_TESTS="$tests" \
  -DCMAKE_CROSSCOMPILING_EMULATOR=qemu-aarch64 >/dev/null
cmake --build build-arm64 -j"$(nproc)"
