#!/usr/bin/env bash
# Writes CHANGELOG.md (Keep a Changelog) in the form of a Debian changelog:
# one entry per released version, dated its day at midnight UTC plus as many
# seconds as its version reads as major x 10000 + minor x 100 + patch (so
# that two versions of one day follow each other), a star for each
# item, led by its kind of change ("Added:", "Fixed:", ...) and wrapped to 79
# columns.
# Usage: packaging/debian-changelog.sh CHANGELOG.md
set -euo pipefail
maintainer="$(sed -n 's/^Maintainer: //p' "$(dirname "$0")/debian-control")"
awk -v maintainer="$maintainer" '
  function flush_item(    n, words, k, line, empty) {
    if (item == "") return
    n = split(item, words, " ")
    line = "  * " kind ":"
    empty = 0
    for (k = 1; k <= n; ++k) {
      if (length(line) + 1 + length(words[k]) > 79 && !empty) {
        print line
        line = "   "
        empty = 1
      }
      line = line " " words[k]
      empty = 0
    }
    print line
    item = ""
  }
  function close_entry() {
    flush_item()
    if (version != "") printf "\n -- %s  %s\n", maintainer, stamp
    version = ""
  }
  /^## \[[0-9]/ {
    close_entry()
    if (started) printf "\n"
    started = 1
    version = $2; gsub(/[][]/, "", version)
    split(version, part, ".")
    cmd = "date -u -R -d \"" $4 " 00:00:00 UTC + " (part[1] * 10000 + part[2] * 100 + part[3]) " seconds\""
    cmd | getline stamp; close(cmd)
    printf "plotveil (%s) unstable; urgency=medium\n\n", version
    next
  }
  /^## / { close_entry(); next }
  version == "" { next }
  /^### / { flush_item(); kind = substr($0, 5); next }
  /^- / { flush_item(); item = substr($0, 3); next }
  /^  [^ ]/ { item = item " " substr($0, 3); next }
  END { close_entry() }
' "$1"
