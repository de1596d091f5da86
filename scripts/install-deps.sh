#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, where missing.
# Usage: scripts/install-deps.sh [build|test]
set -euo pipefail
want=(cmake g++ make)
if [ "${1:-build}" = test ]; then
  want+=(libgtest-dev clang libclang-rt-14-dev gdal-bin python3-gdal)
fi
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
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
