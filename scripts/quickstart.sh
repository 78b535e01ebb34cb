#!/usr/bin/env bash
# Installs the build dependencies, builds the library and runs a first
# program against it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j"${LUMETRA_JOBS:-2}"
rm -rf build/prefix build/consumer
cmake --install build/release --prefix "$(pwd)/build/prefix" >/dev/null
cmake -S tests/consumer -B build/consumer -DCMAKE_PREFIX_PATH="$(pwd)/build/prefix" >/dev/null
cmake --build build/consumer >/dev/null
LD_LIBRARY_PATH="$(pwd)/build/prefix/lib" build/consumer/consumer
