#!/bin/sh
# Prints the lines of a pairs list whose run did not succeed, as array indices
# for sbatch (3,17,42; runs of lines as 5-9): lines whose outgrid.log is
# missing or does not end with the line "exit 0". Run it from the folder the
# names are relative to, after the array has ended (a task still running has
# no "exit" line yet). Blank lines and lines whose first word begins with #
# are not runs.
#
#   failed=$(sh failed-lines.sh pairs.txt) ||
#     sbatch --array="$failed" mask-pairs.sbatch pairs.txt
#
# Exit status: 0 every run succeeded (nothing printed), 1 some did not, 2 the
# list cannot be read.
list=${1:?usage: failed-lines.sh pairs.txt}
[ -r "$list" ] || { echo "failed-lines: cannot read $list" >&2; exit 2; }

awk '
  { sub(/\r$/, "") }
  NF == 0 || $1 ~ /^#/ { next }
  {
    last = ""
    if (NF >= 3) {
      log_name = $3 ".log"
      while ((getline text < log_name) > 0) last = text
      close(log_name)
    }
    if (last != "exit 0") failed[++count] = NR
  }
  END {
    # Consecutive lines become one range.
    out = ""
    for (i = 1; i <= count; i = j + 1) {
      j = i
      while (j < count && failed[j + 1] == failed[j] + 1) j++
      out = out (out == "" ? "" : ",") failed[i] (j > i ? "-" failed[j] : "")
    }
    if (count > 0) print out
    exit (count > 0)
  }' "$list"
