#!/usr/bin/env bash
# Builds the file-reader fuzz targets with clang and runs each from the seed
# corpus in fuzz/corpus and the sample files. A crash leaves its input in
# build-fuzz/findings and fails.
#
# By default each target makes a fixed number of runs (KLY_FUZZ_RUNS, 400000,
# about a minute) from a fixed seed (KLY_FUZZ_SEED, 1): the same inputs on
# every machine, so a test run fails only for a change in the readers. For a
# campaign that explores, give KLY_FUZZ_SEED=0 (a new seed each time),
# KLY_FUZZ_RUNS=-1 (no limit) and KLY_FUZZ_SECONDS (default 180, the bound on
# each target's time).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${KLY_FUZZ_SECONDS:-180}
runs=${KLY_FUZZ_RUNS:-400000}
fuzz_seed=${KLY_FUZZ_SEED:-1}
KLY_WITH_FUZZERS=1 scripts/setup.sh

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DKLY_BUILD_FUZZERS=ON -DKLY_BUILD_TESTS=OFF -DKLY_BUILD_JAVA=OFF -DKLY_BUILD_TOOLS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_field_file fuzz_beam_file

mkdir -p build-fuzz/findings
run() {
  local target=$1
  shift
  local corpus=build-fuzz/corpus-$target
  rm -rf "$corpus"
  mkdir -p "$corpus"
  # Seeds of the same name from different folders (the examples' copies of the
  # sample files) are kept apart by a number.
  local i=0 seed
  for seed in "$@"; do
    cp "$seed" "$corpus/$((i += 1))-$(basename "$seed")"
  done
  echo "== $target: $runs runs from seed $fuzz_seed, at most ${seconds}s"
  build-fuzz/fuzz/$target -runs="$runs" -seed="$fuzz_seed" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -dict=fuzz/$target.dict -print_final_stats=1 -artifact_prefix=build-fuzz/findings/$target- \
    "$corpus" 2>&1 | tail -n 12
}
# Seeds: small hand-made files, the sample files, the examples' files and every
# input that once found a fault (tests/data/regression, replayed by the tests).
run fuzz_field_file fuzz/corpus/field/* tests/data/gap-field-*.txt examples/fields/*.txt tests/data/regression/field-*
run fuzz_beam_file fuzz/corpus/beam/* tests/data/prebunched-beam.txt examples/beams/*.txt tests/data/regression/beam-*
