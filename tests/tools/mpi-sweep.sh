#!/bin/bash
# klystron sweep as an MPI job of three processes against the same sweep in
# one process:
#  - a simulated grid with refused points, and an analytic frequency sweep:
#    the same files (wall times and worker counts aside);
#  - a job that loses a process part-way ends with the command that resumes
#    it, and that command completes the sweep with the files of one that ran
#    through.
# Usage: mpi-sweep.sh RUN_MPI MPIEXEC KLYSTRON COMPARE DATA_DIR OUT_DIR
set -u
run_mpi=$1
mpiexec=$2
klystron=$3
compare=$4
data=$5
out=$6
. "$(dirname "$0")/script-common.sh"
mpi() { "$run_mpi" "$mpiexec" 3 "$klystron" "$@"; }
same() { "$compare" "$1" "$2" || fail "$1 and $2 differ"; }
descendants() { for c in $(pgrep -P "$1"); do echo "$c"; descendants "$c"; done; }

# A grid of simulated points, two of them refused by the checks.
grid=(sweep "$data/small-tube.json" --vary beam.inputPower=10:1000:5:log --vary "cavities[2].qe=-5,40")
"$klystron" "${grid[@]}" --jobs 2 -o "$out/grid-local" >"$out/grid-local.out" 2>"$out/grid-local.err"
[ $? -eq 3 ] || fail "the local grid did not end with failed points (status 3)"
mpi "${grid[@]}" --jobs 1 -o "$out/grid-mpi" >"$out/grid-mpi.out" 2>"$out/grid-mpi.err"
status=$?
[ $status -eq 3 ] || fail "the MPI grid ended with status $status, not 3"
same "$out/grid-local" "$out/grid-mpi"
grep -q "on 3 workers" "$out/grid-mpi/summary.txt" || fail "the MPI grid did not run on the three processes"
grep -q "5 failed" "$out/grid-mpi.out" || fail "the refused points were not recorded"

# An analytic sweep of short points, a few on each process.
freq=(sweep "$data/small-tube.json" --vary beam.frequency=2.80e9:2.92e9:41 --no-sim)
"$klystron" "${freq[@]}" --jobs 1 -o "$out/freq-local" >"$out/freq-local.out" 2>"$out/freq-local.err" ||
  fail "the local frequency sweep failed"
mpi "${freq[@]}" --jobs 2 -o "$out/freq-mpi" >"$out/freq-mpi.out" 2>"$out/freq-mpi.err" ||
  fail "the MPI frequency sweep failed"
same "$out/freq-local" "$out/freq-mpi"

# Points of a few tenths of a second, one per process at a time; rank 1 is
# killed once a point is in the journal.
long=(sweep "$data/one-cavity.json" --vary beam.inputPower=10:100:10 --max-passes 2000 --jobs 1)
"$klystron" "${long[@]}" -o "$out/long-local" >"$out/long-local.out" 2>"$out/long-local.err" ||
  fail "the local long sweep failed"
mpi "${long[@]}" -o "$out/long-mpi" >"$out/killed.out" 2>"$out/killed.err" &
job=$!
for _ in $(seq 1 1200); do
  [ "$(records "$out/long-mpi")" -ge 1 ] && break
  sleep 0.05
done
[ "$(records "$out/long-mpi")" -ge 1 ] || { kill -9 $job; fail "no point done"; }
victim=""
for child in $(descendants $job); do
  tr '\0' '\n' <"/proc/$child/environ" 2>/dev/null | grep -qx "OMPI_COMM_WORLD_RANK=1" && victim=$child
done
[ -n "$victim" ] || { kill -9 $job; fail "rank 1 not found among the processes of the job ($(descendants $job))"; }
kill -9 "$victim"
wait $job
status=$?
[ $status -ne 0 ] || fail "the job that lost a process ended with status 0"
done=$(records "$out/long-mpi")
[ "$done" -lt 10 ] || fail "the job that lost a process finished every point"
grep -q "The same command with --resume computes only the rest" "$out/killed.err" ||
  fail "no word of how to resume"
grep -q "mpirun -n 3 .*klystron sweep .*--resume" "$out/killed.err" || fail "no command that resumes"
[ -e "$out/long-mpi/sweep.csv" ] && fail "files were written by the job that lost a process"

mpi "${long[@]}" -o "$out/long-mpi" --resume >"$out/resumed.out" 2>"$out/resumed.err" || fail "the resumed job failed"
grep -q "resuming: $done of 10 points are in the journal" "$out/resumed.err" ||
  fail "the resumed job did not keep the $done points of the journal"
[ "$(records "$out/long-mpi")" -eq 10 ] || fail "the journal has $(records "$out/long-mpi") records after the resume"
same "$out/long-local" "$out/long-mpi"
echo "sweeps over MPI processes give the files of the sweeps in one"
exit 0
