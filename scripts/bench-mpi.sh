#!/usr/bin/env bash
# The MPI coordinator's cost per point and the scaling from one rank to two
# (bench/kly_MpiOverhead.cpp), for analytic points of about a millisecond and
# for the round-beam example's simulation: builds the benchmark (Release) and
# runs it with mpirun on 1 and on 2 ranks of this machine. Arguments go to
# mpirun (a hostfile, more ranks). Other programs on the cores change the
# figures: take them on a quiet machine (the load average is printed).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKLY_BUILD_BENCHMARKS=ON \
  -DKLY_BUILD_TESTS=OFF -DKLY_BUILD_JAVA=OFF -DKLY_BUILD_TOOLS=OFF -DKLY_WITH_MPI=ON > /dev/null
cmake --build build-bench -j"$(nproc)" --target klystron_mpi_overhead
lscpu | grep -E '^(Model name|CPU\(s\)|Thread\(s\) per core|Core\(s\) per socket):'
root=()
[ "$(id -u)" -eq 0 ] && root=(--allow-run-as-root)
for kind in analytic simulation; do
  for n in 1 2; do
    mpirun -n "$n" --oversubscribe "${root[@]}" "$@" build-bench/bench/klystron_mpi_overhead "$kind"
  done
done
