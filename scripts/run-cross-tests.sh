#!/usr/bin/env bash
# The suites against the builds for other systems: Linux ARM64 under
# qemu-user, a static x86-64 Linux binary, and Windows x86-64 under Wine. Each
# runs its own unit tests (built for it) and the end-to-end suite of build/
# through a launcher; then all builds must write the same bytes.
# Needs build/ (scripts/run-tests.sh makes it first).
set -euo pipefail
cd "$(dirname "$0")/.."
e2e="$PWD/build/tests/e2e_tests"
jobs="$(nproc)"

bash scripts/build-arm64.sh --tests
ctest --test-dir build-arm64 --no-tests=error --output-on-failure -j"$jobs" --timeout 300
PLOTVEIL_LAUNCHER=qemu-aarch64 PLOTVEIL_BINARY="$PWD/build-arm64/plotveil" PLOTVEIL_HDR_BINARY="$PWD/build-arm64/plotveil-hdr" "$e2e" --gtest_brief=1

bash scripts/build-linux-static.sh
PLOTVEIL_BINARY="$PWD/build-linux-static/plotveil" PLOTVEIL_HDR_BINARY="$PWD/build-linux-static/plotveil-hdr" "$e2e" --gtest_brief=1

bash scripts/build-windows.sh --tests
wine="${WINE:-/usr/lib/wine/wine64}"
export WINEPREFIX="$PWD/build-windows/wineprefix" WINEDEBUG=-all LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="winemenubuilder.exe,mscoree,mshtml=d"
# One Wine server for the whole suite (a run then starts in a tenth of a
# second instead of seconds), stopped however the suite ends. It and Wine's
# own services start with their streams closed, so they hold no pipe open.
# A server left from an earlier run of this build folder's prefix goes first.
wineserver -k >/dev/null 2>&1 || true
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
timeout 300 "$wine" wineboot --init </dev/null >/dev/null 2>&1
ctest --test-dir build-windows --no-tests=error --output-on-failure --timeout 300
PLOTVEIL_LAUNCHER="$wine" PLOTVEIL_BINARY="$PWD/build-windows/plotveil.exe" PLOTVEIL_HDR_BINARY="$PWD/build-windows/plotveil-hdr.exe" "$e2e" --gtest_brief=1

bash tests/platforms/same_outputs.sh build/bench/make_grids "linux==$PWD/build/plotveil" \
  "linux-static==$PWD/build-linux-static/plotveil" "arm64=qemu-aarch64=$PWD/build-arm64/plotveil" \
  "windows=$wine=$PWD/build-windows/plotveil.exe"
ls -l build-linux-static/plotveil build-arm64/plotveil build-windows/plotveil.exe build-windows/plotveil-*-win64.zip
