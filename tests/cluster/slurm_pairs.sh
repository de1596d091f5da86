#!/usr/bin/env bash
# The README's recipes for many grid pairs, run on one list of the corpus
# grids in all three output formats, a comment, a blank line and a pair whose
# grid is missing:
#
#  1. examples/slurm/mask-pairs.sbatch as a job array on a single-node Slurm
#     started here on loopback (munged, slurmctld, slurmd; state, logs and pid
#     files under the build folder): every output and log equals plotveil run
#     directly, every task ends with plotveil's exit code, `sbatch --wait` with
#     the highest of them, and failed-lines.sh lists the failed lines; once the
#     missing grid is there, resubmitting those lines reruns them alone.
#     The list is longer than the cluster's MaxArraySize, so it runs three
#     lines a task, and its failed lines go again as a list of their own
#     (failed-lines.sh --list). A list with a byte-order mark, CR CR LF line
#     ends, lines that are no run and a missing output folder fails just those
#     lines, with their messages on Slurm's .out; a list whose lines race (one
#     output twice, a line reading another's output) runs nothing and fails
#     every task; 2000 failed lines of 5000 go again through --list, 134 a task.
#  2. The README's `xargs` and GNU `parallel` commands and the manual's `xargs`,
#     taken as they stand, run on the same list with the same results, names
#     with quotes, $( and a backslash among them.
#
# The daemons are stopped by their pids however the test ends, jobs cancelled
# first, and nothing of this cluster may be left running.
#
# Usage: slurm_pairs.sh <plotveil binary>
# Exit status: 0 all checks passed, 1 a check failed or a tool is missing
# (Debian packages slurm-wlm, munge, parallel).
set -uo pipefail

plotveil=${1:?usage: slurm_pairs.sh <plotveil binary>}
case $plotveil in /*) ;; *) plotveil=$PWD/$plotveil ;; esac
root=$(cd "$(dirname "$0")/../.." && pwd)
dir=$(dirname "$plotveil")/slurm-test
export PATH="$PATH:/usr/sbin:/sbin"

missing=()
for tool in munged slurmctld slurmd sbatch squeue sinfo scontrol scancel parallel timeout; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "slurm_pairs: not found: ${missing[*]} (Debian packages slurm-wlm, munge, parallel)"
  exit 1
fi

passed=0 failed=0
pass() { passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
# same WHAT GOT WANT: one check that two texts are equal.
same() {
  if [ "$2" = "$3" ]; then pass; else fail "$1"; printf 'got:\n%s\nwanted:\n%s\n' "$2" "$3"; fi
}

# --- the cluster ------------------------------------------------------------

daemon_pids=()
# The processes of this cluster's jobs: its job step daemons (their environment
# names our slurm.conf) and the sessions they lead the jobs in.
our_jobs() {
  local pid sid own_sid
  own_sid=$(ps -o sid= -p $$)
  for pid in $(pgrep -x slurmstepd); do
    { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qxF "SLURM_CONF=$dir/slurm.conf" || continue
    echo "$pid"
    sid=$(ps -o sid= -p "$pid")
    [ -n "$sid" ] && [ "$sid" != "$own_sid" ] && pgrep -s "$sid"
  done | sort -u
}
# end PID...: terminates them, and kills what is left after 10 s.
end() {
  local pid alive
  [ $# -gt 0 ] || return 0
  kill "$@" 2>/dev/null
  for _ in $(seq 40); do
    alive=()
    for pid in "$@"; do kill -0 "$pid" 2>/dev/null && alive+=("$pid"); done
    [ ${#alive[@]} -eq 0 ] && return 0
    sleep 0.25
  done
  kill -KILL "${alive[@]}" 2>/dev/null
  sleep 0.5
}
stop_cluster() {
  # Jobs first, so that no job step daemon (which leaves slurmd's process
  # tree) outlives the daemons; then the daemons, each by its pid.
  if [ ${#daemon_pids[@]} -gt 0 ]; then
    timeout 10 scancel --user="$(id -un)" >/dev/null 2>&1
    for _ in $(seq 40); do [ -z "$(our_jobs)" ] && break; sleep 0.25; done
  fi
  end $(our_jobs)
  end "${daemon_pids[@]}"
}
sbatch_pid=
finish() {
  [ -n "$sbatch_pid" ] && kill "$sbatch_pid" 2>/dev/null
  stop_cluster
  local pid left=()
  for pid in $(our_jobs) "${daemon_pids[@]}"; do kill -0 "$pid" 2>/dev/null && left+=("$pid"); done
  if [ ${#left[@]} -gt 0 ]; then fail "left running: ${left[*]}"; else pass; fi
  [ -n "${socket_dir:-}" ] && rm -rf "$socket_dir"
  echo "slurm_pairs: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
trap 'finish; exit $?' EXIT
trap 'fail "interrupted"; exit 1' INT TERM

rm -rf "$dir"
mkdir -p "$dir/munge" "$dir/state" "$dir/spool" "$dir/bin"
# munged wants every folder above its socket open to all, which a checkout in
# a private folder (mktemp -d, a home of mode 700) is not: the socket lives
# in a folder of its own under /tmp, removed at the end.
socket_dir=$(mktemp -d /tmp/plotveil-munge.XXXXXX)
chmod 755 "$socket_dir"
socket=$socket_dir/munge.socket
dd if=/dev/urandom of="$dir/munge/munge.key" bs=1024 count=1 status=none
chmod 400 "$dir/munge/munge.key"

# Two free loopback ports below the range the system hands out to clients.
port_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
for _ in $(seq 50); do
  port=$((20000 + RANDOM % 12000))
  port_free "$port" && port_free $((port + 1)) && break
done

# Both daemons listen on 127.0.0.1 alone (NoInAddrAny, NoCtldInAddrAny). Eight
# task slots on the node: the tasks are short, and eight at a time finish the
# array in a few scheduling rounds (config_overrides lets the node claim
# them). Finished tasks stay on record (MinJobAge, 300 s) for the whole test:
# sbatch --wait takes the array's exit code from the records it finds.
cat >"$dir/slurm.conf" <<EOF
ClusterName=plotveil
SlurmctldHost=localhost
SlurmUser=$(id -un)
SlurmdUser=$(id -un)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
CommunicationParameters=NoInAddrAny,NoCtldInAddrAny
AuthType=auth/munge
AuthInfo=socket=$socket
CredType=cred/munge
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
MpiDefault=none
SchedulerType=sched/builtin
SchedulerParameters=batch_sched_delay=0
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
JobCompType=jobcomp/none
MailProg=/bin/true
ReturnToService=2
MaxArraySize=16
SlurmdParameters=config_overrides
NodeName=localhost CPUs=8 RealMemory=1024 State=UNKNOWN
PartitionName=debug Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$dir/slurm.conf

munged --foreground --socket="$socket" --key-file="$dir/munge/munge.key" \
  --pid-file="$dir/munge/munged.pid" --log-file="$dir/munge/munged.log" \
  --seed-file="$dir/munge/munged.seed" </dev/null >"$dir/munged.out" 2>&1 &
daemon_pids+=($!)
for _ in $(seq 40); do [ -S "$socket" ] && break; sleep 0.25; done
slurmctld -D -f "$SLURM_CONF" </dev/null >"$dir/slurmctld.out" 2>&1 &
daemon_pids+=($!)
slurmd -D -f "$SLURM_CONF" -N localhost </dev/null >"$dir/slurmd.out" 2>&1 &
daemon_pids+=($!)

# --- the list and what plotveil itself makes of it --------------------------

ln -s "$plotveil" "$dir/bin/plotveil"
export PATH="$dir/bin:$PATH"
{
  echo "# the corpus in three formats, and a grid that arrives late (text by default)"
  for grid in "$root"/tests/corpus/*.asc; do
    case $grid in *.mask.asc) continue ;; esac
    name=$(basename "$grid" .asc)
    echo "corpus/$name.asc corpus/$name.mask.asc out/$name.asc -f:t"
    echo "corpus/$name.asc corpus/$name.mask.asc out/$name.flt -f:s"
    echo "corpus/$name.asc corpus/$name.mask.asc out/$name.dbl -f:d"
  done
  echo
  echo "late/elevation.asc late/mask.asc out/late.asc"
  # Any character but blank and newline may stand in a name.
  echo "odd/it's.asc odd/\$(x)\"q\".asc out/back\\slash&it's.flt -f:s"
} >"$dir/pairs.txt"
for run in direct slurm xargs parallel manual; do
  mkdir -p "$dir/$run/out" "$dir/$run/odd"
  ln -s "$root/tests/corpus" "$dir/$run/corpus"
  cp "$dir/pairs.txt" "$dir/$run/"
  cp "$root/examples/elevation.asc" "$dir/$run/odd/it's.asc"
  cp "$root/examples/mask.asc" "$dir/$run/odd/\$(x)\"q\".asc"
done

# direct_runs: runs every line in $dir/direct as one plain call, logs it as
# the recipes do, and sets code[i] and outgrid[i] for line i (code[i] empty for
# lines that are not runs).
code=() outgrid=()
direct_runs() {
  local i=0 line args
  while IFS= read -r line || [ -n "$line" ]; do
    i=$((i + 1))
    read -r -a args <<<"$line"
    code[i]= outgrid[i]=
    if [ ${#args[@]} -eq 0 ] || [[ ${args[0]} == \#* ]]; then continue; fi
    outgrid[i]=${args[2]}
    (cd "$dir/direct" && "$plotveil" "${args[@]}" </dev/null >"${args[2]}.log")
    code[i]=$?
    echo "exit ${code[i]}" >>"$dir/direct/${args[2]}.log"
  done <"$dir/pairs.txt"
  lines=$i
}
direct_runs

# failed_runs: the lines whose run failed, as "3,5,6".
failed_runs() {
  local i out=
  for i in "${!code[@]}"; do
    [ -n "${code[i]}" ] && [ "${code[i]}" != 0 ] && out+="${out:+,}$i"
  done
  echo "$out"
}
# expand: 3,5-7 -> 3,5,6,7
expand() {
  local part out=
  for part in ${1//,/ }; do
    case $part in *-*) out+="${out:+,}$(seq -s, "${part%-*}" "${part#*-}")" ;; *) out+="${out:+,}$part" ;; esac
  done
  echo "$out"
}
# same_as_direct RUN: every output and log in RUN's folder equals the direct run's.
same_as_direct() {
  local file differ=
  for file in "$dir/direct/out/"* "$dir/$1/out/"*; do
    file=out/${file##*/out/}
    cmp -s "$dir/direct/$file" "$dir/$1/$file" || differ+=" $file"
  done
  same "$1: outputs and logs as plotveil's own" "${differ# }" ""
}
# failed_lines_in RUN: what failed-lines.sh prints in RUN's folder, expanded.
failed_lines_in() {
  expand "$(cd "$dir/$1" && sh "$root/examples/slurm/failed-lines.sh" pairs.txt)"
}

# --- Slurm --------------------------------------------------------------------

idle=
for _ in $(seq 120); do
  [ "$(sinfo -h -n localhost -o %t 2>/dev/null)" = idle ] && { idle=1; break; }
  sleep 0.25
done
if [ -z "$idle" ]; then
  fail "the single-node cluster did not come up in 30 s"
  tail -n 5 "$dir"/*.out "$dir"/*.log
  exit 1
fi
pass

# The list is longer than the site's MaxArraySize (16 here): one task a line
# is refused, three lines a task fit.
per_task=3
tasks=$(( (lines + per_task - 1) / per_task ))
[ "$lines" -gt 16 ] && [ "$tasks" -lt 16 ] || fail "the list does not need K lines a task ($lines lines)"
refused=$(cd "$dir/slurm" && sbatch --array=1-"$lines" "$root/examples/slurm/mask-pairs.sbatch" pairs.txt 2>&1)
case $refused in *"Invalid job array"*) pass ;; *) fail "--array=1-$lines was not refused: $refused" ;; esac
# The array runs while the recipes below run beside it: sbatch --wait polls
# at growing intervals and mostly waits.
(cd "$dir/slurm" && exec timeout 180 sbatch --wait --parsable --array=1-"$tasks" \
  "$root/examples/slurm/mask-pairs.sbatch" pairs.txt "$per_task" >"$dir/sbatch.out" 2>&1) &
sbatch_pid=$!

# --- xargs and GNU parallel, as the README has them ---------------------------

# readme_block WORDS: the shell block of the README's section on many pairs
# that holds WORDS.
readme_block() {
  awk -v words="$1" '
    /^## / { in_section = ($0 == "## Many grid pairs at once") }
    in_section && /^```sh$/ { in_block = 1; block = ""; next }
    in_block && /^```$/ { in_block = 0; if (index(block, words)) { printf "%s", block; exit } next }
    in_block { block = block $0 "\n" }' "$root/README.md"
}
failures=$(expand "$(failed_runs)" | tr ',' '\n' | grep -c .)
# Each run prints "exit N outgrid".
exit_lines=$(for i in "${!code[@]}"; do
    [ -n "${code[i]}" ] && echo "exit ${code[i]} ${outgrid[i]}"
  done | sort)
# man_recipe: the manual's xargs command for many pairs, as groff shows it.
man_recipe() {
  groff -man -Tascii -P-cbou "$root/man/plotveil.1" 2>/dev/null |
    awk '/^ *tr -d/ { on = 1 } on { print } on && /sh$/ { exit }'
}
for recipe in 'xargs -d' 'parallel -j' 'manual'; do
  run=${recipe% *}
  if [ "$recipe" = manual ]; then block=$(man_recipe); else block=$(readme_block "$recipe"); fi
  if [ -z "$block" ]; then fail "README: no command with '$recipe' under 'Many grid pairs at once'"; continue; fi
  (cd "$dir/$run" && timeout 180 sh -c "$block" >"$dir/$run.out" 2>&1)
  rc=$?
  # xargs ends with 123 when any run failed, parallel with their number.
  case $run in xargs | manual) want=$([ "$failures" -gt 0 ] && echo 123 || echo 0) ;; *) want=$failures ;; esac
  same "$run: its exit code" "$rc" "$want"
  same "$run: its exit lines" "$(grep '^exit ' "$dir/$run.out" | sort)" "$exit_lines"
  same_as_direct "$run"
  same "$run: failed-lines.sh" "$(failed_lines_in "$run")" "$(failed_runs)"
done

# --- the array's results -------------------------------------------------------

wait "$sbatch_pid"
rc=$?
sbatch_pid=
job=$(head -n 1 "$dir/sbatch.out"); job=${job%%;*}
highest=0
for c in "${code[@]}"; do [ -n "$c" ] && [ "$c" -gt "$highest" ] && highest=$c; done
[ "$highest" -gt 0 ] || fail "no line of the list fails"
same "sbatch --wait: the array's highest exit code" "$rc" "$highest"
# task_codes: each task's code, the last failed code of its lines (0 for
# the comment and the blank line), as "task code" lines.
task_codes() {
  local t i c
  for t in $(seq "$tasks"); do
    c=0
    for i in $(seq $(( (t - 1) * per_task + 1 )) $(( t * per_task ))); do
      [ -n "${code[i]:-}" ] && [ "${code[i]}" != 0 ] && c=${code[i]}
    done
    echo "$t $c"
  done
}
# Each task's exit code as the controller recorded it.
same "the tasks' exit codes" \
  "$(scontrol -o show job "$job" 2>/dev/null |
    sed -n 's/.* ArrayTaskId=\([0-9]*\) .* ExitCode=\([0-9]*\):.*/\1 \2/p' | sort -n)" \
  "$(task_codes)"
same "squeue -t failed" "$(squeue -h -t failed -j "$job" -o %K | sort -n | paste -sd,)" \
  "$(task_codes | awk '$2 != 0 { print $1 }' | paste -sd,)"
same_as_direct slurm
same "the failing line's log" "$(cat "$dir/slurm/out/late.asc.log" 2>/dev/null)" \
  $'could not open input file late/elevation.asc\nexit 98'
same "slurm: failed-lines.sh" "$(failed_lines_in slurm)" "$(failed_runs)"
same "the job script's complaints (slurm-*.out)" \
  "$(find "$dir/slurm" -name 'slurm-*.out' -size +0 -exec cat {} +)" ""

# The README's job-array commands as written, with the examples where the
# tarball installs them and each sbatch waiting for its array.
readme_home=$dir/readme-home
mkdir -p "$readme_home/.local/share/doc/plotveil/examples" "$dir/readme/out" "$dir/readme/odd"
ln -s "$root/examples/slurm" "$readme_home/.local/share/doc/plotveil/examples/slurm"
ln -s "$root/tests/corpus" "$dir/readme/corpus"
cp "$dir/pairs.txt" "$dir/readme/"
cp "$dir/slurm/odd/"* "$dir/readme/odd/"
block=$(readme_block 'mask-pairs.sbatch')
[ -n "$block" ] || fail "README: no command with 'mask-pairs.sbatch' under 'Many grid pairs at once'"
(cd "$dir/readme" && HOME="$readme_home" timeout 300 bash -c "sbatch() { command sbatch --wait \"\$@\"; }
$block" >"$dir/readme.out" 2>&1)
same_as_direct readme
same "the README's job array: failed-lines.sh" "$(failed_lines_in readme)" "$(failed_runs)"

# The late grid arrives; the failed lines run again, and only they.
for run in direct slurm; do
  mkdir -p "$dir/$run/late"
  cp "$root/examples/elevation.asc" "$root/examples/mask.asc" "$dir/$run/late/"
done
failed_before=$(failed_runs)
direct_runs
touch "$dir/resubmitted"
# The failed lines, a list of their own, two lines a task (MaxArraySize).
(cd "$dir/slurm" && sh "$root/examples/slurm/failed-lines.sh" --list pairs.txt >again.txt
  timeout 180 sbatch --wait --parsable --array=1-"$(( ($(grep -c '' again.txt) + 1) / 2 ))" \
  "$root/examples/slurm/mask-pairs.sbatch" again.txt 2 >"$dir/sbatch.out" 2>&1)
same "sbatch --wait, resubmitted" "$?" "$highest"
same_as_direct slurm
same "slurm, resubmitted: failed-lines.sh" "$(failed_lines_in slurm)" "$(failed_runs)"
same "the lines that ran again" \
  "$(for i in "${!outgrid[@]}"; do
      [ -n "${outgrid[i]}" ] && [ "$dir/slurm/${outgrid[i]}.log" -nt "$dir/resubmitted" ] && echo "$i"
    done | paste -sd,)" \
  "$failed_before"

# --- lines that are no run, and lists written on Windows -----------------------

# A list with a byte-order mark, CR LF and CR CR LF line ends: lines that are
# no run fail and run nothing, a missing output folder is said on Slurm's
# .out, and the rest run. Two lines a task.
lines_dir=$dir/lines
mkdir -p "$lines_dir/out"
cp "$root/examples/elevation.asc" "$root/examples/mask.asc" "$lines_dir/"
echo keep >"$lines_dir/out/keep.asc"
printf '%s\r\n' $'\xef\xbb\xbf# a comment after a byte-order mark' \
  "elevation.asc mask.asc out/keep.asc out/a.asc" \
  "elevation.asc mask.asc out/b.flt f:s" \
  "elevation.asc mask.asc out/c.flt -F:S" \
  "elevation.asc mask.asc missing/d.asc" \
  $'elevation.asc mask.asc out/e.asc\r' \
  "elevation.asc mask.asc out/f.flt -f:s" \
  "elevation.asc mask.asc" >"$lines_dir/hostile.txt"
(cd "$lines_dir" && timeout 120 sbatch --wait --parsable --array=1-4 \
  "$root/examples/slurm/mask-pairs.sbatch" hostile.txt 2 >"$dir/sbatch-lines.out" 2>&1)
same "hostile lines: sbatch --wait" "$?" 1
job=$(head -n 1 "$dir/sbatch-lines.out"); job=${job%%;*}
same "hostile lines: the tasks' exit codes" \
  "$(scontrol -o show job "$job" 2>/dev/null |
    sed -n 's/.* ArrayTaskId=\([0-9]*\) .* ExitCode=\([0-9]*\):.*/\1 \2/p' | sort -n)" \
  $'1 1\n2 1\n3 1\n4 1'
same "hostile lines: what ran" "$(cd "$lines_dir" && find out -type f | sort | paste -sd' ')" \
  "out/e.asc out/e.asc.log out/f.flt out/f.flt.log out/keep.asc"
same "hostile lines: out/keep.asc untouched" "$(cat "$lines_dir/out/keep.asc")" keep
same "hostile lines: the line with CR CR LF" "$(cat "$lines_dir/out/e.asc.log")" $'..........\nexit 0'
same "hostile lines: Slurm's .out" "$(cd "$lines_dir" && cat slurm-*.out | sort)" \
  "$(printf '%s\n' \
    "mask-pairs: line 2 of hostile.txt is not 'grid_1 grid_2 outgrid [-f:t|-f:s|-f:d]': elevation.asc mask.asc out/keep.asc out/a.asc" \
    "mask-pairs: line 3 of hostile.txt is not 'grid_1 grid_2 outgrid [-f:t|-f:s|-f:d]': elevation.asc mask.asc out/b.flt f:s" \
    "mask-pairs: line 4 of hostile.txt is not 'grid_1 grid_2 outgrid [-f:t|-f:s|-f:d]': elevation.asc mask.asc out/c.flt -F:S" \
    "mask-pairs: line 5 of hostile.txt: cannot write missing/d.asc.log (does the folder missing exist?)" \
    "mask-pairs: line 8 of hostile.txt is not 'grid_1 grid_2 outgrid [-f:t|-f:s|-f:d]': elevation.asc mask.asc" | sort)"
same "hostile lines: failed-lines.sh" "$(cd "$lines_dir" && sh "$root/examples/slurm/failed-lines.sh" hostile.txt)" "2-5,8"

# --- lines that race ---------------------------------------------------------------

# Two lines naming one output (./ and // make no other name), and a line that
# reads another line's output: the list is refused, every task fails naming
# the lines, nothing is written, and failed-lines.sh lists them although an
# earlier run left "exit 0" in one's log.
race_dir=$dir/race
mkdir -p "$race_dir/out"
cp "$root/examples/elevation.asc" "$root/examples/mask.asc" "$race_dir/"
printf '%s\n' "elevation.asc mask.asc out/a.asc" "elevation.asc mask.asc out/b.asc" \
  "elevation.asc mask.asc .//out/./a.asc -f:t" "out/b.asc mask.asc out/c.asc" >"$race_dir/race.txt"
echo "exit 0" >"$race_dir/out/a.asc.log"
(cd "$race_dir" && timeout 120 sbatch --wait --parsable --array=1-2 \
  "$root/examples/slurm/mask-pairs.sbatch" race.txt 2 >"$dir/sbatch-race.out" 2>&1)
same "racing lines: sbatch --wait" "$?" 1
job=$(head -n 1 "$dir/sbatch-race.out"); job=${job%%;*}
same "racing lines: the tasks' exit codes" \
  "$(scontrol -o show job "$job" 2>/dev/null |
    sed -n 's/.* ArrayTaskId=\([0-9]*\) .* ExitCode=\([0-9]*\):.*/\1 \2/p' | sort -n)" $'1 1\n2 1'
same "racing lines: nothing written" "$(cd "$race_dir" && find out -type f | sort | paste -sd' ')" "out/a.asc.log"
race_message=$(printf '%s\n' \
  "mask-pairs: lines 1 and 3 of race.txt both write .//out/./a.asc: one result would be lost" \
  "mask-pairs: line 4 of race.txt reads out/b.asc, which line 2 writes" \
  "mask-pairs: race.txt runs nothing: give each line its own output, and run lines that read others' outputs as a list of their own once those have ended")
for task in 1 2; do
  same "racing lines: task $task's .out" "$(cat "$race_dir/slurm-${job}_$task.out" 2>/dev/null)" "$race_message"
done
same "racing lines: failed-lines.sh" "$(cd "$race_dir" && sh "$root/examples/slurm/failed-lines.sh" race.txt)" "1-4"

# --- thousands of failed lines ---------------------------------------------------

# 5000 lines, 2000 of them failed at scattered places: the index form passes
# what sbatch takes, the --list form is a list like any other, submitted with
# 134 lines a task to stay below MaxArraySize.
many_dir=$dir/many
mkdir -p "$many_dir/out"
cp "$root/examples/elevation.asc" "$root/examples/mask.asc" "$many_dir/"
for i in $(seq 5000); do echo "elevation.asc mask.asc out/t$i.asc"; done >"$many_dir/pairs.txt"
(cd "$many_dir/out" && for i in $(seq 5000); do
  if [ $(( i * 7919 % 5 )) -lt 2 ]; then echo "exit 5" >"t$i.asc.log"; else echo "exit 0" >"t$i.asc.log"; fi
done)
indices=$(cd "$many_dir" && sh "$root/examples/slurm/failed-lines.sh" pairs.txt)
[ "${#indices}" -gt 4000 ] && pass || fail "2000 scattered failures give only ${#indices} characters of indices"
(cd "$many_dir" && sh "$root/examples/slurm/failed-lines.sh" --list pairs.txt >again.txt)
same "--list: the failed lines" "$(grep -c '' "$many_dir/again.txt")" 2000
(cd "$many_dir" && timeout 300 sbatch --wait --parsable --array=1-15 \
  "$root/examples/slurm/mask-pairs.sbatch" again.txt 134 >"$dir/sbatch-many.out" 2>&1)
same "2000 lines again, 134 a task: sbatch --wait" "$?" 0
(cd "$many_dir" && sh "$root/examples/slurm/failed-lines.sh" pairs.txt >/dev/null)
same "after the resubmission no line has failed" "$?" 0
