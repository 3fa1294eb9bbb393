#!/usr/bin/env bash
# Truth files of the example tubes. Every tube of examples/ (or those named)
# runs through the klystron command at the tube file's own counts and with the
# command's default near field, and its results.json is held to
# tests/golden/<example>.json.
#
#   scripts/update-golden.sh [EXAMPLE...]
#       builds what is missing in build/ (or $KLY_BUILD_DIR), runs the
#       examples, prints for each every value that moved (key, old, new, the
#       change; * where it is beyond the tolerance of the test) and rewrites
#       the truth files in which something moved. Commit them with the change
#       that moved them, and name what moved in the commit message.
#   scripts/update-golden.sh --check KLYSTRON GOLDEN_TOOL OUT EXAMPLE...
#       what the tests golden_<example> of ctest run: the same runs, into
#       OUT/<example>/, held to the truth files; nothing is written into
#       tests/golden. Exit status 1 when a value is beyond tolerance.
set -euo pipefail
cd "$(dirname "$0")/.."

# The one run of an example, for both modes: klystron, example, output folder.
run_example() {
  mkdir -p "$(dirname "$3")"
  if ! "$1" run "examples/$2.json" -o "$3" >"$3.log" 2>&1; then
    cat "$3.log" >&2
    echo "update-golden: the run of examples/$2.json failed" >&2
    return 1
  fi
}

if [[ ${1:-} == --check ]]; then
  if [[ $# -lt 5 ]]; then
    echo "usage: scripts/update-golden.sh --check KLYSTRON GOLDEN_TOOL OUT EXAMPLE..." >&2
    exit 2
  fi
  klystron=$2 golden=$3 out=$4
  shift 4
  status=0
  for example in "$@"; do
    run_example "$klystron" "$example" "$out/$example"
    "$golden" compare "tests/golden/$example.json" "$out/$example/results.json" || status=1
  done
  exit $status
fi

build=${KLY_BUILD_DIR:-build}
if [[ ! -f $build/CMakeCache.txt ]]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target klystron_tool klystron_golden >/dev/null

examples=("$@")
if [[ ${#examples[@]} -eq 0 ]]; then
  for tube in examples/*.json; do
    examples+=("$(basename "$tube" .json)")
  done
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for example in "${examples[@]}"; do
  run_example "$build/tools/klystron" "$example" "$out/$example"
  "$build/tests/golden/klystron_golden" update "tests/golden/$example.json" "$out/$example/results.json"
done
