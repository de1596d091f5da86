# Shared by the scripts that pack release files (sourced, from the repository
# root). Everything they pack takes its time from SOURCE_DATE_EPOCH, its
# order from the names and its modes from fixed rules, so the same commit
# gives the same bytes in any folder, on any day, under any umask.

# SOURCE_DATE_EPOCH: as given, else the last commit's time, else now (a
# source tree outside git).
release_epoch() {
  if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH="$(git log -1 --format=%ct 2>/dev/null || date +%s)"
  fi
  export SOURCE_DATE_EPOCH
}

# settle DIR: folders and programs 755, every other file 644, every time
# SOURCE_DATE_EPOCH.
settle() {
  chmod -R u=rwX,go=rX "$1"
  find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

# The files under DIR (no folders), sorted bytewise, relative to DIR.
files_under() {
  (cd "$1" && find . -type f -printf '%P\n' | LC_ALL=C sort)
}

# pack_tar_gz DIR OUT: the files under DIR as a .tar.gz without a top
# folder (unpacked into a prefix, they land in its bin/ and share/), owned by
# root.
pack_tar_gz() {
  settle "$1"
  files_under "$1" | tar -C "$1" --create --format=gnu --no-recursion --verbatim-files-from \
    --files-from=- --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 --numeric-owner \
    | gzip -9n >"$2"
}

# pack_zip PARENT NAME OUT: PARENT/NAME and everything in it as a zip, NAME
# its top folder; no owner or extra times stored, times in UTC.
pack_zip() {
  settle "$1/$2"
  rm -f "$3"
  local out
  out="$(cd "$(dirname "$3")" && pwd)/$(basename "$3")"
  (cd "$1" && find "$2" -printf '%p\n' | LC_ALL=C sort | TZ=UTC zip -X -q -9 "$out" -@)
}

# gzip_file FILE OUT: a manual page or document as Debian packs them.
gzip_file() {
  gzip -9n <"$1" >"$2"
}
