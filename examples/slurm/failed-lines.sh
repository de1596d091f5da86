#!/bin/sh
# Prints the lines of a pairs list whose run did not succeed: lines whose
# outgrid.log is missing or does not end with the line "exit 0", lines that
# are no run ("grid_1 grid_2 outgrid [-f:t|-f:s|-f:d]"), and lines that race,
# for which mask-pairs.sbatch refuses the list (two lines naming one output,
# a line reading another line's output), whatever their logs say. Run it from the
# folder the names are relative to, after the array has ended (a task still
# running has no "exit" line yet). Blank lines and lines whose first word
# begins with # are not runs; a byte-order mark and CRs before a line end are
# dropped, as mask-pairs.sbatch drops them. It also lists the lines of runs
# made with xargs or GNU parallel as the README shows them, which write the
# same logs.
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

# The lines that race are known once the whole list is read: every line's
# outcome is kept until then.
LC_ALL=C awk -v as_list="$as_list" '
  function name(path) {   # as mask-pairs.sbatch compares names
    gsub(/\/+/, "/", path); gsub(/\/(\.\/)+/, "/", path); sub(/^(\.\/)+/, "", path)
    return path
  }
  NR == 1 { sub(/^\xef\xbb\xbf/, "") }
  { sub(/\r+$/, "") }
  NF == 0 || $1 ~ /^#/ { next }
  {
    last = ""
    if (NF == 3 || (NF == 4 && $4 ~ /^-f:[tsd]$/)) {
      log_name = $3 ".log"
      while ((getline text < log_name) > 0) last = text
      close(log_name)
      out = name($3)
      if (out in writer) { racing[writer[out]]; racing[NR] } else writer[out] = NR
      reads[NR, 1] = name($1); reads[NR, 2] = name($2); runs[NR]
    }
    lines[++total] = NR; texts[total] = $0; succeeded[total] = (last == "exit 0")
  }
  END {
    for (i in runs)
      for (k = 1; k <= 2; k++)
        if ((reads[i, k] in writer) && writer[reads[i, k]] != i) { racing[i]; racing[writer[reads[i, k]]] }
    for (i = 1; i <= total; i++)
      if (!succeeded[i] || (lines[i] in racing)) {
        failed[++count] = lines[i]
        if (as_list) print texts[i]
      }
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
