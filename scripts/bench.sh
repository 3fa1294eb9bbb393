#!/usr/bin/env bash
# Builds the Google Benchmark suite (Release) and runs it: the space-charge
# sums of both kernels and of a straightforward loop, one pass, whole disk
# simulations of the example tubes at their own counts (to convergence) and
# at 64 disks x 10 rings x 60 steps (their first 4 passes, the same for both
# kernels: the plain pass takes seconds a pass there) on one thread and on
# two, the rebuild, the analytic run, its I1/I0 sweep and the space-charge
# table; then the ratios reference / fast from the same run, the speed goals
# of whole simulations and the peak memory of the largest runs (measured
# only when no --benchmark_filter is given). About 10 minutes on a 2-core
# machine.
# Arguments go to the benchmark program (e.g. --benchmark_filter=Kernel).
# Other programs on the cores change the figures, the threaded ones most: take
# them on a quiet machine (the load average is printed before and after).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKLY_BUILD_BENCHMARKS=ON \
  -DKLY_BUILD_TESTS=OFF -DKLY_BUILD_JAVA=OFF -DKLY_BUILD_TOOLS=OFF > /dev/null
cmake --build build-bench -j"$(nproc)" --target klystron_bench
lscpu | grep -E '^(Model name|CPU\(s\)|Thread\(s\) per core|Core\(s\) per socket|L2 cache|L3 cache):'
build-bench/bench/klystron_bench "$@"
