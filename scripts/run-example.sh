#!/usr/bin/env bash
# Builds what is missing and runs the bundled example tube.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target klystron klystron_jar >/dev/null
java -Djava.library.path=build/jni -cp build/java/klystron.jar examples/java/DescribeTube.java
