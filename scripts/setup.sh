#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, where missing.
set -euo pipefail

packages=(
  cmake g++ make binutils
  default-jdk-headless   # javac, javap and the JNI headers (/usr/lib/jvm/default-java)
  junit5                 # /usr/share/java/junit-platform-console-standalone.jar
  googletest libgtest-dev libbenchmark-dev
  nlohmann-json3-dev libcli11-dev libfmt-dev
  libpagmo-dev           # the optimiser's algorithms
  libexpat1-dev          # the XML parser the tests read the plots back with
  libopenmpi-dev openmpi-bin  # sweeps over many processes (mpirun), KLY_WITH_MPI
)
if [ "${KLY_WITH_FUZZERS:-0}" = 1 ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! $sudo apt-get install -y --no-install-recommends "${missing[@]}"; then
  $sudo apt-get update
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
