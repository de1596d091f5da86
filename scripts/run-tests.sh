#!/usr/bin/env bash
# The whole test suite, as CI runs it (8 to 15 minutes on 2 cores): the Linux
# release build, the same tests under the address and undefined-behaviour
# sanitizers and under the thread sanitizer, a short run of each fuzz target,
# the many-pairs recipes on a single-node Slurm, then the builds for Linux
# ARM64, static Linux x86-64 and Windows x86-64, the QGIS plugin headless and
# the release files' reproducibility.
#   scripts/run-tests.sh           everything
#   scripts/run-tests.sh --quick   the Linux release build and its tests (about a minute)
#
# Every phase is one line: `phase "name" command [args...]`. The command runs
# with its output in build/test-logs/; the screen shows a heading and a result
# line per phase (a failed phase's log as well) and one summary table at the
# end, and the command fails if any phase did. To add a phase, add a line;
# scripts/test-phases.sh tells how a phase counts its tests (ctest_suite,
# gtest_suite, fuzz_suite) and the cross phases are in scripts/run-cross-tests.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
quick=
[ "${1:-}" = --quick ] && quick=1
scripts/install-deps.sh "$([ -n "$quick" ] && echo quick || echo test)"
jobs="$(nproc)"
source scripts/test-phases.sh
source scripts/run-cross-tests.sh

# Configures and builds a Linux build folder with the given options, then runs its tests.
linux_suite() {
  local dir="$1"
  shift
  cmake -S . -B "$dir" -DPLOTVEIL_TESTS=ON "$@"
  cmake --build "$dir" -j"$jobs"
  ctest_suite "$dir"
}
# A test script that ends with "N passed, M failed": its checks counted.
checks_suite() {
  local output="$PHASE_COUNTS.checks" status=0
  "$@" 2>&1 | tee "$output" || status=$?
  sed -n -E 's/.* ([0-9]+) passed, ([0-9]+) failed$/count \1 \1 \2 0/p' "$output" |
    awk '{ print $1, $2 + $4, $3, $4, $5 }' >>"$PHASE_COUNTS"
  return "$status"
}
# The QGIS plugin from its zip, headless, with the system's Python: unittest's
# "Ran N tests" counted; then Bandit, which the QGIS plugin repository runs on
# uploads, must find nothing of medium or high severity (one more test).
qgis_suite() {
  local zips output="$PHASE_COUNTS.qgis" status=0
  if bandit -q -r qgis/ -ll; then echo "count 1 1 0 0" >>"$PHASE_COUNTS"; else echo "count 1 0 1 0" >>"$PHASE_COUNTS"; status=1; fi
  zips="$(bash scripts/make-qgis-plugin.sh)"
  PLOTVEIL_QGIS_ZIP="$PWD/${zips%%$'\n'*}" PLOTVEIL_BUILD_DIR="$PWD/build" \
    /usr/bin/python3 tests/qgis/test_plotveil_processing.py 2>&1 | tee "$output" || status=$?
  local ran
  ran="$(sed -n -E 's/^Ran ([0-9]+) tests? in .*/\1/p' "$output")"
  if [ "$status" -eq 0 ]; then echo "count ${ran:-0} ${ran:-0} 0 0"; else echo "count ${ran:-1} 0 ${ran:-1} 0"; fi >>"$PHASE_COUNTS"
  return "$status"
}
# with NAME=VALUE... command: the command with those variables set.
with() {
  while [[ "$1" == *=* ]]; do export "${1?}"; shift; done
  "$@"
}

phase "Linux release" linux_suite build -DCMAKE_BUILD_TYPE=Release -DPLOTVEIL_SANITIZE=OFF
if [ -z "$quick" ]; then
  phase "Linux address+undefined sanitizers" \
    with ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    linux_suite build-sanitize -DCMAKE_BUILD_TYPE=Debug -DPLOTVEIL_SANITIZE=ON
  # The worker threads: any report fails the run.
  phase "Linux thread sanitizer" with TSAN_OPTIONS=halt_on_error=1:exitcode=66 \
    linux_suite build-tsan -DCMAKE_BUILD_TYPE=Debug -DPLOTVEIL_TSAN=ON
  # Long runs: fuzz/run-fuzzers.sh 1200 (see fuzz/README.md).
  phase "Linux, portable kernels" linux_suite build-portable -DCMAKE_BUILD_TYPE=Release \
    -DPLOTVEIL_KERNEL=portable
  phase "Fuzzing, clang, 25 s per target" fuzz_suite 25
  # The README's xargs, parallel and Slurm job-array recipes, the last on a
  # single-node Slurm started under build/slurm-test and stopped with the phase.
  phase "Many pairs: xargs, parallel, Slurm" checks_suite bash tests/cluster/slurm_pairs.sh build/plotveil
  cross_phases
  # The plugin installed from its zip (the Windows zip takes build-windows/'s
  # programs) and run headless in QGIS.
  phase "QGIS plugin, headless" qgis_suite
  # The Linux x86-64 tarball and Debian package, built in two clones in
  # different folders: the same bytes, run as they stand, no lintian error.
  phase "Release files reproducible" bash tests/release/check_release.sh build/plotveil
fi
summary
