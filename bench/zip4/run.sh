#!/usr/bin/env bash
# Builds the ZIP+4 search benchmark and runs it on the us-atlas counties
# (downloaded with npm and converted with GDAL), at distance 0 and 1000 feet.
#   bench/zip4/run.sh [RECORDS]
set -euo pipefail
cd "$(dirname "$0")/../.."
records=${1:-200000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DLUMETRA_BUILD_BENCHMARKS=ON \
  -DLUMETRA_BUILD_TESTS=OFF >/dev/null
cmake --build build/bench -j"${LUMETRA_JOBS:-2}" --target zip4_search >/dev/null
data/regenerate.sh --counties "$work" >/dev/null
for distance in 0 1000; do
  nice build/bench/bench/zip4/zip4_search "$work/us_counties.shp" --records "$records" \
    --distance "$distance" --work "$work"
done
