#!/usr/bin/env bash
# The suites against the builds for other systems: Linux ARM64 under
# qemu-user, a static x86-64 Linux binary, and Windows x86-64 under Wine. Each
# runs its own unit tests (built for it) and the end-to-end suite of build/
# through a launcher; then all builds must write the same bytes.
# Needs build/ (scripts/run-tests.sh makes it first). Run alone, it runs these
# phases and prints their summary; scripts/run-tests.sh sources it and runs
# them among its own (cross_phases).

cross_phases() {
  phase "Linux ARM64 (qemu-user)" arm64_suite
  phase "Linux ARM64, portable kernels" arm64_suite --portable
  phase "Linux x86-64 static" static_suite
  phase "Windows x86-64 (Wine)" with_wine_server windows_suite
  phase "Windows x86-64, portable kernels" with_wine_server windows_suite --portable
  phase "Same outputs on every build" with_wine_server same_outputs
}

e2e="$PWD/build/tests/e2e_tests"
wine="${WINE:-/usr/lib/wine/wine64}"

# [--portable]: the build with the portable kernels, which find white space,
# read words and mask rows in plain arithmetic, in build-arm64-portable/
# (build-windows-portable/ for Windows).
arm64_suite() {
  local folder=build-arm64${1:+-portable}
  bash scripts/build-arm64.sh --tests "$@"
  gtest_suite timeout 600 qemu-aarch64 "$folder/tests/unit_tests"
  PLOTVEIL_LAUNCHER=qemu-aarch64 PLOTVEIL_BINARY="$PWD/$folder/plotveil" \
    PLOTVEIL_HDR_BINARY="$PWD/$folder/plotveil-hdr" gtest_suite "$e2e"
  ls -l "$folder/plotveil"
}

static_suite() {
  bash scripts/build-linux-static.sh
  PLOTVEIL_BINARY="$PWD/build-linux-static/plotveil" \
    PLOTVEIL_HDR_BINARY="$PWD/build-linux-static/plotveil-hdr" gtest_suite "$e2e"
  ls -l build-linux-static/plotveil
}

# One Wine server for the whole phase (a run then starts in a tenth of a second
# instead of seconds), stopped however the phase ends. It and Wine's own
# services start with their streams closed, so they hold no pipe open. A
# server left from an earlier run of this build folder's prefix (the last
# phase's, perhaps still shutting down) is stopped and waited for first.
with_wine_server() {
  export WINEPREFIX="$PWD/build-windows/wineprefix" WINEDEBUG=-all LC_ALL=C.UTF-8
  export WINEDLLOVERRIDES="winemenubuilder.exe,mscoree,mshtml=d"
  wineserver -k >/dev/null 2>&1 || true
  timeout 60 wineserver -w >/dev/null 2>&1 || true
  trap 'wineserver -k >/dev/null 2>&1 || true; timeout 60 wineserver -w >/dev/null 2>&1 || true' EXIT
  mkdir -p "$WINEPREFIX"
  wineserver -p </dev/null >/dev/null 2>&1 || { echo "the Wine server did not start"; return 1; }
  local attempt
  for attempt in 1 2; do
    timeout 300 "$wine" wineboot --init </dev/null >/dev/null 2>&1 && break
    echo "wineboot --init failed (attempt $attempt)"
    [ "$attempt" -eq 2 ] && return 1
  done
  "$@"
}

windows_suite() {
  local folder=build-windows${1:+-portable}
  bash scripts/build-windows.sh --tests "$@"
  gtest_report_drive=Z: gtest_suite timeout 600 "$wine" "$folder/tests/unit_tests.exe"
  PLOTVEIL_LAUNCHER="$wine" PLOTVEIL_BINARY="$PWD/$folder/plotveil.exe" \
    PLOTVEIL_HDR_BINARY="$PWD/$folder/plotveil-hdr.exe" gtest_suite "$e2e"
  ls -l "$folder/plotveil.exe"
  [ -n "${1:-}" ] || ls -l build-windows/plotveil-*-win64.zip
}

same_outputs() {
  local portable=()
  [ -x build-portable/plotveil ] && portable+=("linux-portable==$PWD/build-portable/plotveil")
  [ -x build-arm64-portable/plotveil ] && portable+=("arm64-portable=qemu-aarch64=$PWD/build-arm64-portable/plotveil")
  [ -x build-windows-portable/plotveil.exe ] &&
    portable+=("windows-portable=$wine=$PWD/build-windows-portable/plotveil.exe")
  bash tests/platforms/same_outputs.sh build/bench/make_grids "linux==$PWD/build/plotveil" "${portable[@]}" \
    "linux-static==$PWD/build-linux-static/plotveil" "arm64=qemu-aarch64=$PWD/build-arm64/plotveil" \
    "windows=$wine=$PWD/build-windows/plotveil.exe"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  cd "$(dirname "$0")/.."
  e2e="$PWD/build/tests/e2e_tests"
  jobs="$(nproc)"
  source scripts/test-phases.sh
  cross_phases
  summary
fi
