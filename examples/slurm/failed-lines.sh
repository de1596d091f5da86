#!/bin/sh
# Prints the lines of a pairs list whose run did not succeed: lines whose
# outgrid.log is missing or does not end with the line "exit 0", and lines
# that are no run ("grid_1 grid_2 outgrid [-f:t|-f:s|-f:d]"). Run it from the
# folder the names are relative to, after the array has ended (a task still
# running has no "exit" line yet). Blank lines and lines whose first word
# begins with # are not runs; a byte-order mark and CRs before a line end are
# dropped, as mask-pairs.sbatch drops them.
#
#   sh failed-lines.sh --list pairs.txt > again.txt   # the failed lines: a new list
#   sbatch --array=1-"$(grep -c '' again.txt)" mask-pairs.sbatch again.txt
#
#   failed=$(sh failed-lines.sh pairs.txt) ||         # short lists: array indices
#     sbatch --array="$failed" mask-pairs.sbatch pairs.txt
#
# Without --list it prints the line numbers as array indices for sbatch
# (3,17,42; runs of lines as 5-9), which are task numbers only for one line a
# task; Slurm refuses an --array of more than about 4000 characters, so for
# many failures, or K lines a task, use --list.
#
# Exit status: 0 every run succeeded (nothing printed), 1 some did not, 2 the
# list cannot be read.
as_list=0
if [ "${1:-}" = --list ]; then
  as_list=1
  shift
fi
list=${1:?usage: failed-lines.sh [--list] pairs.txt}
[ -r "$list" ] || { echo "failed-lines: cannot read $list" >&2; exit 2; }

LC_ALL=C awk -v as_list="$as_list" '
  NR == 1 { sub(/^\xef\xbb\xbf/, "") }
  { sub(/\r+$/, "") }
  NF == 0 || $1 ~ /^#/ { next }
  {
    last = ""
    if (NF == 3 || (NF == 4 && $4 ~ /^-f:[tsd]$/)) {
      log_name = $3 ".log"
      while ((getline text < log_name) > 0) last = text
      close(log_name)
    }
    if (last != "exit 0") {
      failed[++count] = NR
      if (as_list) print
    }
  }
  END {
    if (!as_list && count > 0) {
      # Consecutive lines become one range.
      out = ""
      for (i = 1; i <= count; i = j + 1) {
        j = i
        while (j < count && failed[j + 1] == failed[j] + 1) j++
        out = out (out == "" ? "" : ",") failed[i] (j > i ? "-" failed[j] : "")
      }
      print out
    }
    exit (count > 0)
  }' "$list"
