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

cxx="${CXX_FUZZ:-clang++}"
flags=(-std=c++20 -O1 -g -Wall -Wextra -Werror -ffp-contract=off
       -fno-omit-frame-pointer -fno-sanitize-recover=all -Isrc -Ifuzz)
out=build-fuzz
mkdir -p "$out/obj"

# The library and the fuzz models, with coverage for the engine; no main.
objects=()
# Every source of the tool but the two main files and the other system's layer.
mapfile -t library < <(find src -name '*.cpp' ! -name main.cpp ! -name sidecar_main.cpp \
                         ! -name platform_win32.cpp | sort)
for source in "${library[@]}" fuzz/scratch_dir.cpp fuzz/text_model.cpp fuzz/run_model.cpp; do
  object="$out/obj/$(echo "$source" | tr / _).o"
  if [ ! -f "$object" ] || [ "$source" -nt "$object" ] || [ -n "$(find src -name '*.hpp' -newer "$object")" ]; then
    "$cxx" "${flags[@]}" -fsanitize=fuzzer-no-link,address,undefined -c "$source" -o "$object"
  fi
  objects+=("$object")
done

for target in "${targets[@]}"; do
  "$cxx" "${flags[@]}" -fsanitize=fuzzer,address,undefined "fuzz/$target.cpp" "${objects[@]}" \
    -o "$out/$target"
done
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
