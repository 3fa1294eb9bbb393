#!/usr/bin/env bash
# Builds what is missing and runs the bundled example tube through the
# klystron command: summary on the terminal, results and plots in out/sband-round/.
# Extra arguments go to the command (--no-sim, --threads N).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target klystron_tool >/dev/null
build/tools/klystron run examples/sband-round.json -o out/sband-round "$@"
