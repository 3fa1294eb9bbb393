#!/bin/bash
# klystron optimize as an MPI job of three processes against the same
# optimisation in one: each generation's evaluations go over the processes,
# and the files are the same (wall times and worker counts aside), for an
# analytic problem and for one with the simulation.
# Usage: mpi-optimize.sh RUN_MPI MPIEXEC KLYSTRON COMPARE DATA_DIR OUT_DIR
set -u
run_mpi=$1
mpiexec=$2
klystron=$3
compare=$4
data=$5
out=$6
. "$(dirname "$0")/script-common.sh"

check() {
  local name=$1
  shift
  "$klystron" "$@" --jobs 2 -o "$out/$name-local" >"$out/$name-local.out" 2>"$out/$name-local.err"
  local local_status=$?
  "$run_mpi" "$mpiexec" 3 "$klystron" "$@" --jobs 1 -o "$out/$name-mpi" >"$out/$name-mpi.out" 2>"$out/$name-mpi.err"
  local mpi_status=$?
  [ $local_status -eq $mpi_status ] || fail "$name: exit status $mpi_status over MPI, $local_status in one process"
  [ -e "$out/$name-mpi/history.csv" ] || fail "$name: no history.csv over MPI"
  grep -q "on 3 worker" "$out/$name-mpi/summary.txt" || fail "$name: the evaluations did not go over the three processes"
  "$compare" "$out/$name-local" "$out/$name-mpi" || fail "$name: the files differ"
}

check analytic optimize "$data/small-tube.json" --no-sim --vary "cavities[1].frequency=2.85e9:2.90e9" \
  --vary "cavities[2].qe=30:60" --objective max:analyticGain --constraint "analyticGain<=35" --population 8 \
  --generations 3
check simulated optimize "$data/small-tube.json" --vary "cavities[1].frequency=2.85e9:2.90e9" \
  --objective max:simulatedElectronicEfficiency --objective max:analyticBandwidth1dB --band-samples 21 \
  --saturation-drives 30,60,90 --constraint "simulatedSaturatedOutputPower>=0" --population 8 --generations 2
echo "optimisations over MPI processes give the files of those in one"
exit 0
