#!/usr/bin/env bash
# Makes the release files of the checked-out commit in dist/ and their
# SHA256SUMS (check them with: cd dist && sha256sum -c SHA256SUMS). Two runs
# from clones of the same commit, in any folders, give the same bytes: every
# date is the last commit's (SOURCE_DATE_EPOCH), archives are sorted by name
# with fixed owners and modes, and the binaries carry no build path or link
# time. Each Debian package must pass lintian without an error.
# Usage: scripts/make-release.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh release
source scripts/release-lib.sh
release_epoch
[ -z "$(git status --porcelain --untracked-files=no 2>/dev/null)" ] ||
  echo "warning: uncommitted changes are in this release, but not in its version or date" >&2
v="$(sed -n 's/^project(plotveil VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
rm -rf dist
mkdir -p dist

# artifact FILE COMMAND...: runs COMMAND (once per release, however many
# files it makes) and takes FILE, which it must have made, into dist/.
made=()
artifact() {
  local file="$1"
  shift
  if [[ " ${made[*]-} " != *" $* "* ]]; then
    echo "== $*" >&2
    "$@" >&2
    made+=("$*")
  fi
  [ -f "$file" ] || { echo "$* did not make $file" >&2; exit 1; }
  [ "$(dirname "$file")" = dist ] || cp "$file" dist/
}

artifact "build-windows/plotveil-$v-win64.zip"                 bash scripts/build-windows.sh
artifact "build-linux-static/plotveil-$v-linux-x86_64.tar.gz"  bash scripts/package-linux.sh x86_64
artifact "build-linux-static/plotveil_${v}_amd64.deb"          bash scripts/package-linux.sh x86_64
artifact "build-arm64/plotveil-$v-linux-arm64.tar.gz"          bash scripts/package-linux.sh arm64
artifact "build-arm64/plotveil_${v}_arm64.deb"                 bash scripts/package-linux.sh arm64
artifact "dist/plotveil-qgis-$v.zip"                           bash scripts/make-qgis-plugin.sh
artifact "dist/plotveil-qgis-$v-win64.zip"                     bash scripts/make-qgis-plugin.sh

for deb in dist/*.deb; do
  lintian --fail-on error "$deb" >&2 || { echo "lintian: $deb has errors" >&2; exit 1; }
done
(cd dist && sha256sum -- $(ls | LC_ALL=C sort) >SHA256SUMS && sha256sum --quiet -c SHA256SUMS)
ls -l dist
