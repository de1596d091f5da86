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
source scripts/cross-build-lib.sh
cross_build build-arm64 cmake/aarch64-linux-gnu.cmake qemu-aarch64 "$@"
