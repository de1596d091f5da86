#!/usr/bin/env bash
# Runs several builds of plotveil over the same grids and requires byte-equal
# output files and equal exit codes: the examples, generated grids in every
# encoding and output format, the corpus of real grids, and a sum that
# meets both infinities.
# Usage: same_outputs.sh MAKE_GRIDS NAME=LAUNCHER=BINARY...   (LAUNCHER may be
# empty: "linux==build/plotveil" "windows=wine64=build-windows/plotveil.exe")
set -euo pipefail
make_grids="$1"
shift
here="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

inputs="$work/in"
mkdir -p "$inputs"
"$make_grids" "$inputs" 60 70 >/dev/null
cp "$here/examples/elevation.asc" "$here/examples/mask.asc" "$inputs/"
printf 'ncols 3\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -1e999\n-1.7e308 -1.7e308 1e999\n' \
  >"$inputs/infinite.asc"
printf 'ncols 3\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -1e999\n1 1 1\n' >"$inputs/ones.asc"

pairs=("elevation.asc mask.asc" "infinite.asc ones.asc")
for a in grid.asc grid.dbl grid.flt; do
  for b in mask.asc mask.dbl mask.flt; do pairs+=("$a $b"); done
done
for mask in "$here"/tests/corpus/*.mask.asc; do
  pairs+=("${mask%.mask.asc}.asc $mask")
done

names=()
for build in "$@"; do
  IFS='=' read -r name launcher binary <<<"$build"
  names+=("$name")
  out="$work/$name"
  mkdir -p "$out"
  n=0
  for pair in "${pairs[@]}"; do
    read -r a b <<<"$pair"
    [[ "$a" = /* ]] || a="$inputs/$a"
    [[ "$b" = /* ]] || b="$inputs/$b"
    for format in -f:t -f:s -f:d; do
      n=$((n + 1))
      code=0
      $launcher "$binary" "$a" "$b" "$out/$n$format" "$format" </dev/null >/dev/null 2>&1 || code=$?
      echo "$n $format $(basename "$a") $(basename "$b"): exit $code" >>"$out/codes"
    done
  done
done

status=0
for name in "${names[@]:1}"; do
  if diff -r "$work/${names[0]}" "$work/$name"; then
    echo "same outputs: ${names[0]} and $name ($(wc -l <"$work/$name/codes") runs)"
  else
    echo "outputs differ: ${names[0]} and $name"
    status=1
  fi
done
exit $status
