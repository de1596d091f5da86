#!/usr/bin/env bash
# Builds and runs the whole test suite: the normal build, then the same tests
# under the address and undefined-behaviour sanitizers, then the builds for
# Windows, ARM64 and static x86-64 Linux.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
jobs="$(nproc)"

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DPLOTVEIL_TESTS=ON -DPLOTVEIL_SANITIZE=OFF >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --no-tests=error --output-on-failure -j"$jobs"

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DPLOTVEIL_TESTS=ON -DPLOTVEIL_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --no-tests=error --output-on-failure -j"$jobs"

# The worker threads under the thread sanitizer: any report fails the run.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DPLOTVEIL_TESTS=ON -DPLOTVEIL_TSAN=ON >/dev/null
cmake --build build-tsan -j"$jobs"
TSAN_OPTIONS=halt_on_error=1:exitcode=66 \
  ctest --test-dir build-tsan --no-tests=error --output-on-failure -j"$jobs"

# ---- many grid pairs: the README's xargs, parallel and Slurm job-array
# recipes, the last on a single-node Slurm started under build/slurm-test ----
bash tests/cluster/slurm_pairs.sh build/plotveil

# The same tests against the Windows x86-64 (under Wine), Linux ARM64 (under
# qemu-user) and static x86-64 builds.
bash scripts/run-cross-tests.sh

# --- QGIS plugin ---------------------------------------------------------
# Its zips (the Windows one takes build-windows/'s programs), then the plugin
# installed from the zip and run headless in QGIS (Debian's python3-qgis, with
# the system's Python) against build/'s programs. Without QGIS it fails.
qgis_zips=$(bash scripts/make-qgis-plugin.sh)
PLOTVEIL_QGIS_ZIP="$PWD/${qgis_zips%%$'\n'*}" PLOTVEIL_BUILD_DIR="$PWD/build" \
  /usr/bin/python3 tests/qgis/test_plotveil_processing.py

# Release files: the Linux x86-64 tarball and Debian package, built in two
# clones in different folders, must be the same bytes, run as they stand and
# pass lintian.
bash tests/release/check_release.sh build/plotveil
