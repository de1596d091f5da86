#!/usr/bin/env bash
# Cross-builds a statically linked Linux ARM64 plotveil in build-arm64/ with
# Debian's aarch64 cross compiler; it runs on any ARM64 Linux, and here under
# qemu-user (qemu-aarch64 build-arm64/plotveil ...).
# Usage: scripts/build-arm64.sh [--tests] [--plain]   (--tests: unit tests too,
# run by ctest under qemu-aarch64; --plain: in build-arm64-plain/ instead,
# white space found in plain arithmetic, not NEON: -DPLOTVEIL_PLAIN_SCAN=ON)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh arm64
tests=OFF plain=OFF folder=build-arm64
for option in "$@"; do
  case "$option" in
    --tests) tests=ON ;;
    --plain) plain=ON folder=build-arm64-plain ;;
    *) echo "usage: scripts/build-arm64.sh [--tests] [--plain]"; exit 1 ;;
  esac
done
# --no-warn-unused-cli: a configured folder takes no new toolchain file, and
# would say so on every later run.
cmake -S . -B "$folder" --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
  -DCMAKE_BUILD_TYPE=Release -DPLOTVEIL_TESTS="$tests" -DPLOTVEIL_PLAIN_SCAN="$plain" \
  -DCMAKE_CROSSCOMPILING_EMULATOR=qemu-aarch64 >/dev/null
cmake --build "$folder" -j"$(nproc)"
