#!/usr/bin/env bash
# Cross-builds a statically linked Linux ARM64 plotveil in build-arm64/ with
# Debian's aarch64 cross compiler; it runs on any ARM64 Linux, and here under
# qemu-user (qemu-aarch64 build-arm64/plotveil ...).
# Usage: scripts/build-arm64.sh [--tests] [--portable]   (--tests: unit tests
# too, run by ctest under qemu-aarch64; --portable: in build-arm64-portable/
# instead, with the portable kernels in plain arithmetic, not NEON:
# -DPLOTVEIL_KERNEL=portable)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh arm64
source scripts/cross-build-lib.sh
cross_build build-arm64 cmake/aarch64-linux-gnu.cmake qemu-aarch64 "$@"
