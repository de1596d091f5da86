# The phases of the test commands (sourced by scripts/run-tests.sh and
# scripts/run-cross-tests.sh), and the summary table they end with.
#
#   phase "name" command [args...]
#
# runs the command (a program or a shell function) in a subshell under
# `set -euo pipefail`, its whole output in $phase_logs/NN-name.log, and prints
# a heading and one line of result. A failed phase prints the log, less the
# lines of passing tests and of compiling, and the suite goes on. `summary`
# then prints one table of every phase and returns non-zero if any failed.
#
# Inside a phase, these run a test suite and count its tests for the table:
#   ctest_suite BUILD_DIR [ctest options...]  ctest in BUILD_DIR
#   gtest_suite PROGRAM [arguments...]        a GoogleTest program (or its launcher;
#                                             gtest_report_drive=Z: under Wine)
#   fuzz_suite SECONDS                        fuzz/run-fuzzers.sh for SECONDS per target
# A phase that runs none of them counts no tests (a build, a comparison).

phase_logs="${phase_logs:-$PWD/build/test-logs}"
phase_rows=()
phase_notes=()
phase_failed=0
phase_number=0
total_passed=0 total_failed=0 total_skipped=0

phase() {
  local name="$1"
  shift
  phase_number=$((phase_number + 1))
  mkdir -p "$phase_logs"
  local slug
  slug="$(printf '%02d-%s' "$phase_number" "$name" | tr -cs 'A-Za-z0-9.-' '-')"
  local log="$phase_logs/${slug%-}.log"
  export PHASE_COUNTS="$phase_logs/${slug%-}.counts"
  : >"$PHASE_COUNTS"
  printf '\n== %s\n' "$name"
  local start=$SECONDS status=0
  set +e
  (set -euo pipefail; "$@") >"$log" 2>&1 </dev/null
  status=$?
  set -e
  local seconds=$((SECONDS - start))

  local run=0 passed=0 failed=0 skipped=0 kind rest a b c d
  while read -r kind a b c d; do
    [ "$kind" = count ] || continue
    run=$((run + a)) passed=$((passed + b)) failed=$((failed + c)) skipped=$((skipped + d))
  done <"$PHASE_COUNTS"
  total_passed=$((total_passed + passed)) total_failed=$((total_failed + failed))
  total_skipped=$((total_skipped + skipped))
  local result=passed
  if [ "$status" -ne 0 ] || [ "$failed" -ne 0 ]; then
    result=FAILED
    [ "$status" -eq 0 ] || result+=" (exit $status)"
    phase_failed=1
    echo "   log: $log"
    # Everything but the lines of passing tests and of compiling.
    grep -v -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* (Passed|Skipped)|^\[ *[0-9]+%\] (Building|Linking|Built)|^\[       OK \]|^\[ RUN      \]|^#[0-9]+\s' "$log" |
      tail -n 400 | sed 's/^/   | /' || true
  fi
  if [ "$run" -gt 0 ]; then
    printf '   %s: %d tests, %d passed, %d failed, %d skipped, %d s\n' \
      "$result" "$run" "$passed" "$failed" "$skipped" "$seconds"
  else
    printf '   %s, %d s\n' "$result" "$seconds"
  fi
  phase_rows+=("$(printf '%-54s %-10s %6s %7s %8s %6s' "$name" "${result%% *}" \
    "$([ "$run" -gt 0 ] && echo "$run" || echo -)" "$([ "$run" -gt 0 ] && echo "$passed" || echo -)" \
    "$([ "$run" -gt 0 ] && echo "$skipped" || echo -)" "$(printf '%dm%02ds' $((seconds / 60)) $((seconds % 60)))")")
  # Skip reasons, once each with their number; and the phase's own notes.
  while IFS= read -r rest; do
    phase_notes+=("$name: $rest")
  done < <(sed -n 's/^skip //p' "$PHASE_COUNTS" | sort | uniq -c | sed -E 's/^ *([0-9]+) (.*)/skipped \1: \2/'
           sed -n 's/^note //p' "$PHASE_COUNTS")
}

summary() {
  printf '\n== Summary\n'
  printf '%-54s %-10s %6s %7s %8s %6s\n' phase result tests passed skipped time
  printf '%s\n' "${phase_rows[@]}"
  [ ${#phase_notes[@]} -eq 0 ] || printf '  %s\n' "${phase_notes[@]}"
  printf 'tests: %d passed, %d failed, %d skipped\n' "$total_passed" "$total_failed" "$total_skipped"
  if [ "$phase_failed" -ne 0 ]; then
    echo "FAILED: see the phases marked above"
    return 1
  fi
}

# Counts the test cases of a JUnit-style XML report (GoogleTest's, CTest's):
# test cases, failures, skips and each skip's reason.
count_report() {
  awk 'BEGIN { RS = "<testcase " }
       NR > 1 {
         run++
         if ($0 ~ /<failure/) { failed++; next }
         if ($0 !~ /<skipped|status="notrun"/) { passed++; next }
         skipped++
         # The reason: the line after "Skipped" in the test output, or the
         # message, less its file and line.
         reason = ""
         if (match($0, /Skipped(&#x0A;|&#10;|\n)[^&\n<]*/)) {
           reason = substr($0, RSTART, RLENGTH); sub(/^Skipped(&#x0A;|&#10;|\n)/, "", reason)
         }
         if (reason == "" && match($0, /skipped: [^&\n<]*/)) reason = substr($0, RSTART + 9, RLENGTH - 9)
         if (reason == "" && match($0, /skipped message="[^"]*"/)) {
           reason = substr($0, RSTART + 17, RLENGTH - 18); sub(/.*(&#x0A;|&#10;)/, "", reason)
         }
         if (reason == "") reason = "no reason given"
         gsub(/&quot;/, "\"", reason); gsub(/&apos;/, "'\''", reason); gsub(/&amp;/, "\\&", reason)
         print "skip " reason
       }
       END { print "count", run + 0, passed + 0, failed + 0, skipped + 0 }' "$1" >>"$PHASE_COUNTS"
}

ctest_suite() {
  local dir="$1"
  shift
  local report="$PHASE_COUNTS.$(basename "$dir").xml"
  local status=0
  ctest --test-dir "$dir" --no-tests=error --output-on-failure -j"${jobs:-2}" \
    --output-junit "$report" "$@" || status=$?
  count_report "$report"
  return "$status"
}

gtest_suite() {
  local report="$PHASE_COUNTS.gtest.xml"
  local status=0
  rm -f "$report"
  # A Windows program under Wine finds the report by its drive (Z: is /).
  "$@" --gtest_brief=1 --gtest_output="xml:${gtest_report_drive:-}$report" || status=$?
  if [ -f "$report" ]; then count_report "$report"; else echo "count 1 0 1 0" >>"$PHASE_COUNTS"; fi
  return "$status"
}

# Each fuzz target for SECONDS from the seeds: a fuzz build that no longer
# compiles, or a crash the seeds reach, fails the phase.
fuzz_suite() {
  local target status=0 output="$PHASE_COUNTS.fuzz"
  PLOTVEIL_FUZZ_BUILD_ONLY=1 bash fuzz/run-fuzzers.sh
  for target in number_fuzz run_fuzz; do
    if bash fuzz/run-fuzzers.sh "$1" "$target" 2>&1 | tee "$output"; then
      echo "count 1 1 0 0" >>"$PHASE_COUNTS"
    else
      echo "count 1 0 1 0" >>"$PHASE_COUNTS"
      status=1
    fi
    echo "note $target: $(sed -n 's/^stat::average_exec_per_sec: *//p' "$output") executions per second" >>"$PHASE_COUNTS"
  done
  return "$status"
}
