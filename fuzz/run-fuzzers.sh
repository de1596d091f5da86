#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for the
# given number of seconds (default 60), one after the other.
# Usage: fuzz/run-fuzzers.sh [seconds] [target...]
#   PLOTVEIL_FUZZ_BUILD_ONLY=1 builds without running.
# New inputs go to build-fuzz/corpus/<target>/ (the committed seeds stay as
# they are); crashes, leaks and timeouts to build-fuzz/findings/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(number_fuzz run_fuzz)

# The targets link the tool's own library, built from the tool's source list
# for this system with coverage and the address and undefined-behaviour
# sanitizers (the PLOTVEIL_FUZZ build).
out=build-fuzz
cmake -S . -B "$out" -DCMAKE_CXX_COMPILER="${CXX_FUZZ:-clang++}" -DCMAKE_BUILD_TYPE=Debug \
  -DPLOTVEIL_FUZZ=ON -DPLOTVEIL_TESTS=OFF >/dev/null
cmake --build "$out" -j"${PLOTVEIL_JOBS:-2}" --target "${targets[@]}"
[ -n "${PLOTVEIL_FUZZ_BUILD_ONLY:-}" ] && exit 0

for target in "${targets[@]}"; do
  work="$out/corpus/$target"
  findings="$out/findings/$target"
  mkdir -p "$work" "$findings"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048
           -artifact_prefix="$findings/" -print_final_stats=1)
  [ -f "fuzz/$target.dict" ] && options+=(-dict="fuzz/$target.dict")
  case "$target" in
    # Row buffers are reserved for the promised width and touched only where
    # data fills them: allow the large reservation, keep the real memory limit.
    run_fuzz) options+=(-malloc_limit_mb=65536 -max_len=16384) ;;
    number_fuzz) options+=(-max_len=8192) ;;
  esac
  echo "== $target for ${seconds}s"
  ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}" \
    "$out/$target" "${options[@]}" "$work" "fuzz/corpus/$target"
done
