#!/usr/bin/env bash
# Builds the file-reader fuzz targets with clang and runs each for a bounded
# time (KLY_FUZZ_SECONDS, default 60) from the seed corpus in fuzz/corpus and
# the sample files. A crash leaves its input in build-fuzz/findings and fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${KLY_FUZZ_SECONDS:-60}
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
  echo "== $target: ${seconds}s"
  build-fuzz/fuzz/$target -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -dict=fuzz/$target.dict -print_final_stats=1 -artifact_prefix=build-fuzz/findings/$target- \
    "$corpus" 2>&1 | tail -n 12
}
# Seeds: small hand-made files, the sample files, the examples' files and every
# input that once found a fault (tests/data/regression, replayed by the tests).
run fuzz_field_file fuzz/corpus/field/* tests/data/gap-field-*.txt examples/fields/*.txt tests/data/regression/field-*
run fuzz_beam_file fuzz/corpus/beam/* tests/data/prebunched-beam.txt examples/beams/*.txt tests/data/regression/beam-*
