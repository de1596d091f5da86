#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, where missing.
# Usage: scripts/install-deps.sh [build|quick|test|windows|arm64|release]
set -euo pipefail
want=(cmake g++ make)
# The Linux release build's tests alone (scripts/run-tests.sh --quick).
[ "${1:-build}" = quick ] && want+=(libgtest-dev gdal-bin python3-gdal)
if [ "${1:-build}" = test ]; then
  want+=(libgtest-dev clang libclang-rt-14-dev gdal-bin python3-gdal)
  # The QGIS plugin's headless test and its zips.
  want+=(python3-qgis qgis-providers zip bandit)
  # The many-pairs recipes: a single-node Slurm and GNU parallel.
  want+=(slurm-wlm munge parallel)
fi
# Cross builds: Windows x86-64 (tested under Wine) and Linux ARM64 (tested
# under qemu-user), their unit tests built from GoogleTest's sources.
case "${1:-build}" in
  test) want+=(g++-mingw-w64-x86-64-posix wine wine64 groff zip g++-aarch64-linux-gnu qemu-user googletest
               git lintian) ;;
  windows) want+=(g++-mingw-w64-x86-64-posix wine wine64 groff zip googletest) ;;
  arm64) want+=(g++-aarch64-linux-gnu qemu-user googletest) ;;
  # scripts/make-release.sh: every build above, packed and checked.
  release) want+=(g++-mingw-w64-x86-64-posix wine wine64 groff zip googletest g++-aarch64-linux-gnu
                  qemu-user git lintian) ;;
esac
missing=()
for p in "${want[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]} (install them as root)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# munge, slurmd and slurmctld come as services; the tests start their own, so
# the install starts none (Debian's policy-rc.d hook, unless the machine has
# one already).
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' >"$policy"
  chmod 755 "$policy"
  trap 'rm -f "$policy"' EXIT
fi
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
