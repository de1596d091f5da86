#!/usr/bin/env bash
# Times plotveil on a generated grid pair in its text, double and single
# encodings against a block-copy floor of the same bytes, records the peak
# memory of a text run at two heights and, where gdal_translate is installed,
# times it converting the text grid. Every case with a text side runs twice:
# with PLOTVEIL_THREADS=1 (label "/1") and with the default thread count (one
# per core, label "/N"). Prints one table on standard output;
# progress goes to standard error. Only a failing command fails the run,
# never a slow one.
#
# Usage: bench/run.sh [--rows N] [--cols N] [--runs N] [--shapes] [--against COMMIT] [FOLDER]
#   FOLDER  where the grids are written and kept (default: a temporary folder,
#           removed at the end); grids already there at this size are reused
#   --rows, --cols  grid size (default 4000 x 4000; also ROWS and COLS)
#   --runs  timed runs per case, median reported (default 5, at most 3 for a
#           case whose first run takes over 5 s; also RUNS)
#   --shapes  also time text grids in the forms GDAL writes other programs'
#           rasters in: a Float32 raster's cells with up to 20 digits (f32), a
#           Float64 raster's (f64) and whole numbers (int), to text and to
#           double, with one thread and the default
#   --against COMMIT  also build plotveil at COMMIT beside this tree (in
#           build-bench-against/) and time it in every case, run by run in
#           turn with this tree's; a last table gives each case's two medians
#           and their ratio (COMMIT's time / this tree's: above 1 is faster)
set -euo pipefail

rows="${ROWS:-4000}"
cols="${COLS:-4000}"
runs="${RUNS:-5}"
folder=""
against=""
shapes=""
slow_us=5000000
memory_heights=(1000 8000)

usage() {
  sed -n '/^# Usage/,/^set /p' "$0" | sed -e '$d' -e 's/^# \{0,1\}//'
}

while [ $# -gt 0 ]; do
  case "$1" in
    --rows) rows="${2:?--rows needs a number}"; shift 2 ;;
    --cols) cols="${2:?--cols needs a number}"; shift 2 ;;
    --runs) runs="${2:?--runs needs a number}"; shift 2 ;;
    --against) against="${2:?--against needs a commit}"; shift 2 ;;
    --shapes) shapes="--shapes"; shift ;;
    -h|--help) usage; exit 0 ;;
    -*) usage; exit 1 ;;
    *) [ -z "$folder" ] || { usage; exit 1; }; folder="$1"; shift ;;
  esac
done
for n in "$rows" "$cols" "$runs"; do
  [[ "$n" =~ ^[1-9][0-9]*$ ]] || { echo "not a positive whole number: $n"; exit 1; }
done

say() { echo "$*" >&2; }

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-bench"

# --- build: Release plotveil and the helpers, without the test suite
if [ -x "$root/scripts/install-deps.sh" ]; then "$root/scripts/install-deps.sh" build >&2; fi
say "building plotveil and the benchmark helpers in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DPLOTVEIL_TESTS=OFF -DPLOTVEIL_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target plotveil make_grids copy_floor peak_memory >/dev/null
plotveil="$build/plotveil"
make_grids="$build/bench/make_grids"
copy_floor="$build/bench/copy_floor"
peak_memory="$build/bench/peak_memory"

# --- the commit to compare with, built from its own sources beside this tree
old_plotveil=""
if [ -n "$against" ]; then
  against_sources="$root/build-bench-against/src-tree"
  against_build="$root/build-bench-against/build"
  commit="$(git -C "$root" rev-parse --verify "$against^{commit}")" || { echo "not a commit: $against"; exit 1; }
  if [ "$(cat "$root/build-bench-against/commit" 2>/dev/null)" != "$commit" ]; then
    say "building plotveil at $against ($commit) in $root/build-bench-against"
    rm -rf "$root/build-bench-against"
    mkdir -p "$against_sources"
    git -C "$root" archive "$commit" | tar -x -C "$against_sources"
    cmake -S "$against_sources" -B "$against_build" -DCMAKE_BUILD_TYPE=Release -DPLOTVEIL_TESTS=OFF >/dev/null
    cmake --build "$against_build" -j2 --target plotveil >/dev/null
    echo "$commit" >"$root/build-bench-against/commit"
  fi
  old_plotveil="$against_build/plotveil"
fi

if [ -z "$folder" ]; then
  folder="$(mktemp -d "${TMPDIR:-/tmp}/plotveil-bench.XXXXXX")"
  trap 'rm -rf "$folder"' EXIT
else
  mkdir -p "$folder"
fi
folder="$(cd "$folder" && pwd)"

# Writes the grid pair of $2 x $3 cells into $1 unless it is there already;
# $4 is "--text-only", "--shapes" or empty.
generate() {
  local dir="$1" r="$2" c="$3" only="${4:-}"
  local stamp="$r x $c ${only:-all}"
  mkdir -p "$dir"
  if [ "$(cat "$dir/.made" 2>/dev/null)" = "$stamp" ]; then
    say "reusing the $r x $c grids in $dir"
    return
  fi
  say "generating $r x $c grids in $dir"
  rm -f "$dir/.made"
  "$make_grids" "$dir" "$r" "$c" $only
  echo "$stamp" >"$dir/.made"
}

# --- timing
now_us() {
  if [ -n "${EPOCHREALTIME:-}" ]; then
    local t="${EPOCHREALTIME//[.,]/}"
    echo "$((10#$t))"
  else
    echo $(($(date +%s%N) / 1000))
  fi
}

failed=0
elapsed_us=0
# Runs a command with its output discarded; sets elapsed_us. A failing command
# is reported and counted.
run_timed() {
  local start rc=0
  start="$(now_us)"
  "$@" >/dev/null 2>&1 || rc=$?
  elapsed_us=$(($(now_us) - start))
  if [ "$rc" -ne 0 ]; then
    say "FAILED (exit $rc): $*"
    failed=$((failed + 1))
  fi
  return 0
}

median() {
  printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END {
    if (NR % 2) print v[(NR + 1) / 2]; else printf "%d\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

file_size() { stat -c %s "$1" 2>/dev/null || echo 0; }

cells=$((rows * cols))
results=()
against_results=()

# Times one plotveil case and its floor, alternating the two so that both see
# the same state of the machine. $1 label, $2 input extension, $3 output
# file name, $4 format option (may be empty), $5 PLOTVEIL_THREADS (empty: the
# default, one per core), $6 the grid's file when not grid.$2.
time_case() {
  local label="$1" ext="$2" out="$folder/$3" option="$4" threads="${5:-}"
  local in1="$folder/${6:-grid.$ext}" in2="$folder/mask.$ext" floor_out="$folder/floor.out"
  local args=("$in1" "$in2" "$out")
  [ -n "$option" ] && args+=("$option")
  local n="$runs" tool=() floor=() old=() i out_bytes failed_before="$failed"
  local tool_run=(env -u PLOTVEIL_THREADS "$plotveil")
  [ -n "$threads" ] && tool_run=(env PLOTVEIL_THREADS="$threads" "$plotveil")
  local old_run=(env -u PLOTVEIL_THREADS "$old_plotveil")
  [ -n "$threads" ] && old_run=(env PLOTVEIL_THREADS="$threads" "$old_plotveil")

  say "timing $label"
  # A first, untimed run warms the caches and gives the output size.
  rm -f "$out"
  run_timed "${tool_run[@]}" "${args[@]}"
  [ "$elapsed_us" -gt "$slow_us" ] && [ "$n" -gt 3 ] && n=3
  out_bytes="$(file_size "$out")"
  for ((i = 0; i < n; i++)); do
    rm -f "$out"
    run_timed "${tool_run[@]}" "${args[@]}"
    tool+=("$elapsed_us")
    rm -f "$floor_out"
    run_timed "$copy_floor" "$in1" "$in2" "$floor_out" "$out_bytes"
    floor+=("$elapsed_us")
    if [ -n "$old_plotveil" ]; then
      rm -f "$out.old"
      run_timed "${old_run[@]}" "${args[0]}" "${args[1]}" "$out.old" "${args[@]:3}"
      old+=("$elapsed_us")
      cmp -s "$out" "$out.old" || { say "DIFFERENT output from $against: $label"; failed=$((failed + 1)); }
      rm -f "$out.old"
    fi
  done
  [ -n "$old_plotveil" ] && against_results+=("$label $(median "${tool[@]}") $(median "${old[@]}")")
  rm -f "$floor_out"
  local status=ok
  [ "$failed" -eq "$failed_before" ] || status=failed
  results+=("$label $(median "${tool[@]}") $(median "${floor[@]}") $(($(file_size "$in1") + $(file_size "$in2"))) $n $status")
}

generate "$folder" "$rows" "$cols" $shapes

cores="$(nproc)"
time_case "text->text/1" asc out_text_text_1.asc "" 1
time_case "text->text/$cores" asc out_text_text.asc ""
time_case "double->double" dbl out_double_double.dbl "-f:d"
time_case "single->single" flt out_single_single.flt "-f:s"
time_case "text->double/1" asc out_text_double_1.dbl "-f:d" 1
time_case "text->double/$cores" asc out_text_double.dbl "-f:d"
time_case "double->text/1" dbl out_double_text_1.asc "" 1
time_case "double->text/$cores" dbl out_double_text.asc ""
if [ -n "$shapes" ]; then
  for shape in f32 f64 int; do
    time_case "$shape:text->text/1" asc "out_${shape}_text_1.asc" "" 1 "grid_$shape.asc"
    time_case "$shape:text->text/$cores" asc "out_${shape}_text.asc" "" "" "grid_$shape.asc"
    time_case "$shape:text->double/1" asc "out_${shape}_double_1.dbl" "-f:d" 1 "grid_$shape.asc"
    time_case "$shape:text->double/$cores" asc "out_${shape}_double.dbl" "-f:d" "" "grid_$shape.asc"
  done
fi

# --- the same cells give the same output whatever the input encoding
checks=()
same() {
  if cmp -s "$folder/$1" "$folder/$2"; then
    checks+=("$3: identical")
  else
    checks+=("$3: DIFFERENT")
    failed=$((failed + 1))
  fi
}
same out_text_double.dbl out_double_double.dbl "text->double and double->double outputs"
same out_double_text.asc out_text_text.asc "double->text and text->text outputs"
same out_text_text_1.asc out_text_text.asc "text->text outputs with one thread and $cores"
same out_text_double_1.dbl out_text_double.dbl "text->double outputs with one thread and $cores"
same out_double_text_1.asc out_double_text.asc "double->text outputs with one thread and $cores"
if [ -n "$shapes" ]; then
  # GDAL's 20 digits of a double read back as that double.
  same out_f64_double.dbl out_double_double.dbl "f64 text->double and double->double outputs"
  for shape in f32 f64 int; do
    same "out_${shape}_text_1.asc" "out_${shape}_text.asc" "$shape text->text outputs with one thread and $cores"
    same "out_${shape}_double_1.dbl" "out_${shape}_double.dbl" "$shape text->double outputs with one thread and $cores"
  done
fi
for pair in "out_double_double.dbl 8" "out_single_single.flt 4"; do
  set -- $pair
  want=$(((12 + cells) * $2))
  got="$(file_size "$folder/$1")"
  if [ "$got" -ne "$want" ]; then
    checks+=("$1 holds $got bytes, not $want")
    failed=$((failed + 1))
  fi
done

# --- gdal_translate converting one text grid, where it is installed
gdal_line=""
if command -v gdal_translate >/dev/null 2>&1; then
  say "timing gdal_translate"
  gdal_out="$folder/gdal_out.asc"
  gdal=(gdal_translate -q -of AAIGrid -ot Float64 -co SIGNIFICANT_DIGITS=6 "$folder/grid.asc" "$gdal_out")
  rm -f "$gdal_out"*
  run_timed "${gdal[@]}"
  n="$runs"
  [ "$elapsed_us" -gt "$slow_us" ] && [ "$n" -gt 3 ] && n=3
  times=()
  failed_before="$failed"
  for ((i = 0; i < n; i++)); do
    rm -f "$gdal_out"*
    run_timed "${gdal[@]}"
    times+=("$elapsed_us")
  done
  rm -f "$gdal_out"*
  status=ok
  [ "$failed" -eq "$failed_before" ] || status=failed
  gdal_line="$(median "${times[@]}") $(file_size "$folder/grid.asc") $n $status"
fi

# --- peak memory of text->text at two heights of the same width
memory=()
for threads in 1 "$cores"; do
for height in "${memory_heights[@]}"; do
  dir="$folder/height-$height"
  generate "$dir" "$height" "$cols" --text-only
  say "peak memory at $height rows, $threads threads"
  report="$dir/peak.txt"
  rm -f "$report" "$dir/out.asc"
  rc=0
  if [ -x /usr/bin/time ]; then
    PLOTVEIL_THREADS="$threads" /usr/bin/time -f %M -o "$report" "$plotveil" "$dir/grid.asc" "$dir/mask.asc" "$dir/out.asc" >/dev/null || rc=$?
  else
    PLOTVEIL_THREADS="$threads" "$peak_memory" "$report" "$plotveil" "$dir/grid.asc" "$dir/mask.asc" "$dir/out.asc" >/dev/null || rc=$?
  fi
  rm -f "$dir/out.asc"
  if [ "$rc" -ne 0 ]; then
    say "FAILED (exit $rc): plotveil text->text at $height rows"
    failed=$((failed + 1))
    memory+=("$threads $height failed")
  else
    memory+=("$threads $height $(tail -n 1 "$report" 2>/dev/null || echo 0)")
  fi
done
done

# --- the table
revision="$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)"
[ -n "$(git -C "$root" status --porcelain -- src 2>/dev/null)" ] && revision="$revision+changes"
{
  echo "plotveil $revision, $rows x $cols cells, $(date -u +%Y-%m-%d), $(nproc) cores"
  printf '%s\n' "${results[@]}"
  echo "--"
  [ -n "$gdal_line" ] && echo "gdal $gdal_line"
  echo "--"
  printf '%s\n' "${memory[@]}"
} | awk -v cells="$cells" -v cols="$cols" '
  NR == 1 { print; print ""; state = 0
            printf "%-20s %9s %10s %9s %8s %9s %5s\n", "case", "median s", "M cells/s", "MB/s in", "x floor", "floor s", "runs"
            next }
  $1 == "--" { state++; next }
  state == 0 && $6 != "ok" { printf "%-20s %9s\n", $1, "FAILED"; next }
  state == 0 {
    t = $2 / 1e6; f = $3 / 1e6
    if ($1 ~ /^text->text\// && $1 != "text->text/1") text_s = t
    if ($1 ~ /\/1$/) { one[substr($1, 1, length($1) - 2)] = t } else if ($1 ~ /\//) { split($1, part, "/"); many[part[1]] = t; many_n = part[2] }
    printf "%-20s %9.3f %10.2f %9.1f %8.2f %9.3f %5d\n", $1, t, cells / t / 1e6, $4 / t / 1e6, t / f, f, $5
    next }
  state == 1 && $5 != "ok" { printf "%-20s %9s\n", "gdal_translate", "FAILED"; next }
  state == 1 {
    t = $2 / 1e6
    printf "%-20s %9.3f %10.2f %9.1f %8s %9s %5d\n", "gdal_translate", t, cells / t / 1e6, $3 / t / 1e6, "-", "-", $4
    gdal_s = t
    next }
  state == 2 { thr[++h] = $1; height[h] = $2; kib[h] = $3 }
  END {
    print ""
    if (gdal_s > 0 && text_s > 0) printf "gdal_translate: one text grid to text (AAIGrid, Float64, 6 significant digits); plotveil text->text (two grids in) is %.1f times as fast\n", gdal_s / text_s
    n_names = split("text->text text->double double->text f32:text->text f32:text->double f64:text->text f64:text->double int:text->text int:text->double", names, " ")
    for (j = 1; j <= n_names; j++) if ((k = names[j]) in many && k in one) printf "%s: %s threads %.2f times as fast as one\n", k, many_n, one[k] / many[k]
    for (i = 1; i < h; i += 2) {
      if (kib[i] == "failed" || kib[i + 1] == "failed") { print "peak memory: FAILED"; continue }
      printf "peak memory, text->text, %d columns, %d thread(s): %d rows %.1f MiB, %d rows %.1f MiB (difference %+.2f MiB)\n", cols, thr[i], height[i], kib[i] / 1024, height[i + 1], kib[i + 1] / 1024, (kib[i + 1] - kib[i]) / 1024
    }
  }'
printf '%s\n' "${checks[@]}"
if [ -n "$old_plotveil" ]; then
  echo
  printf '%s\n' "${against_results[@]}" | awk -v against="$against" '
    BEGIN { printf "%-20s %9s %12s %9s\n", "case", "this s", against " s", "ratio" }
    { printf "%-20s %9.3f %12.3f %9.2f\n", $1, $2 / 1e6, $3 / 1e6, $3 / $2 }'
  echo "ratio: the time at $against divided by this tree's, medians of runs taken in turn; outputs compared byte for byte"
fi
[ "$failed" -eq 0 ] || { echo "$failed command(s) or check(s) failed"; exit 1; }
