#!/usr/bin/env bash
# Builds everything and runs every test: the release build with the C++, Java,
# export and install tests, then the C++ tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, the concurrency tests under ThreadSanitizer, and
# the file readers under libFuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

scripts/setup.sh

# The benchmarks are built (not run: scripts/bench.sh does) so that they keep compiling.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKLY_BUILD_BENCHMARKS=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKLY_SANITIZE=address,undefined -DKLY_BUILD_TOOLS=OFF
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" -LE slow

# Runs on distinct objects on several threads at once, under ThreadSanitizer:
# only the programs of the tests labelled concurrency are built; any report
# fails the test.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKLY_SANITIZE=thread -DKLY_BUILD_TOOLS=OFF
cmake --build build-tsan -j"$jobs" --target concurrency_test_programs
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -j"$jobs" -L concurrency --no-tests=error

# The file readers under libFuzzer, about a minute each.
scripts/fuzz.sh
