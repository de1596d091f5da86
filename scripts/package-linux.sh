#!/usr/bin/env bash
# Builds the static Linux programs for one processor and packs them, the same
# bytes from the same commit in any folder (scripts/release-lib.sh):
#   plotveil-<version>-linux-<arch>.tar.gz: bin/, share/man/man1/ and
#     share/doc/plotveil/ (README, LICENSE, CHANGELOG, examples), to unpack
#     into a prefix: tar -xzf ... -C ~/.local (or /usr/local)
#   plotveil_<version>_<debian arch>.deb: /usr/bin, gzipped manual pages and
#     /usr/share/doc/plotveil with the licence in Debian's copyright format
# into the build folder, whose names it prints.
# Usage: scripts/package-linux.sh x86_64|arm64
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/release-lib.sh
release_epoch
umask 022
case "${1:-}" in
  x86_64) build=build-linux-static; deb_arch=amd64; bash scripts/build-linux-static.sh >/dev/null ;;
  arm64) build=build-arm64; deb_arch=arm64; bash scripts/build-arm64.sh >/dev/null ;;
  *) echo "usage: scripts/package-linux.sh x86_64|arm64" >&2; exit 2 ;;
esac
version="$(cat "$build/release-version.txt")"
programs=(plotveil plotveil-hdr)

# --- the tarball
tarball="$build/plotveil-$version-linux-$1.tar.gz"
stage="$build/stage-tarball"
rm -rf "$stage"
mkdir -p "$stage/bin" "$stage/share/man/man1" "$stage/share/doc/plotveil/docs" "$stage/share/doc/plotveil/examples"
for program in "${programs[@]}"; do
  cp "$build/$program" "$stage/bin/"
  cp "$build/man/$program.1" "$stage/share/man/man1/"
done
cp README.md LICENSE CHANGELOG.md "$stage/share/doc/plotveil/"
cp docs/example.png docs/windows.md docs/qgis.md "$stage/share/doc/plotveil/docs/"   # the README's picture and pages
cp -r examples/. "$stage/share/doc/plotveil/examples/"   # the grids and the Slurm job array
pack_tar_gz "$stage" "$tarball"

# --- the Debian package
deb="$build/plotveil_${version}_$deb_arch.deb"
root="$build/stage-deb"
doc="$root/usr/share/doc/plotveil"
rm -rf "$root"
mkdir -p "$root/DEBIAN" "$root/usr/bin" "$root/usr/share/man/man1" "$doc/examples" \
  "$root/usr/share/lintian/overrides"
for program in "${programs[@]}"; do
  cp "$build/$program" "$root/usr/bin/"
  gzip_file "$build/man/$program.1" "$root/usr/share/man/man1/$program.1.gz"
done
gzip_file README.md "$doc/README.md.gz"
cp -r examples/. "$doc/examples/"
bash packaging/debian-changelog.sh CHANGELOG.md | gzip -9n >"$doc/changelog.gz"
{
  cat <<COPYRIGHT
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: plotveil
Comment: The programs are linked statically with the GNU C Library (LGPL-2.1+)
 and GCC's C++ library (GPL-3+ with the GCC Runtime Library Exception), as
 Debian's packages of them provide.

Files: *
Copyright: $(sed -n 's/^Copyright (c) //p' LICENSE)
License: Expat

License: Expat
COPYRIGHT
  sed -n '/^Permission/,$p' LICENSE | sed -e 's/^$/./' -e 's/^/ /'
} >"$doc/copyright"
cp packaging/lintian-overrides "$root/usr/share/lintian/overrides/plotveil"
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$deb_arch/" \
  -e "s/@SIZE@/$(du -s --apparent-size --block-size=1024 "$root/usr" | cut -f1)/" \
  packaging/debian-control >"$root/DEBIAN/control"
(cd "$root" && find usr -type f -printf '%P\n' | LC_ALL=C sort | sed 's|^|usr/|' | xargs md5sum) \
  >"$root/DEBIAN/md5sums"
settle "$root"
dpkg-deb --root-owner-group -Zxz --threads-max=1 --build "$root" "$deb" >/dev/null
echo "$tarball"
echo "$deb"
