#!/usr/bin/env bash
# Builds the oracle benchmark and runs it on the bundled states and on the
# us-atlas counties (downloaded with npm and converted with GDAL).
#   bench/oracle/run.sh [POINTS]
set -euo pipefail
cd "$(dirname "$0")/../.."
points=${1:-1000000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DLUMETRA_BUILD_BENCHMARKS=ON \
  -DLUMETRA_BUILD_TESTS=OFF >/dev/null
cmake --build build/bench -j"${LUMETRA_JOBS:-2}" --target pip_oracle >/dev/null
data/regenerate.sh --counties "$work" >/dev/null
for shp in data/us_states.shp "$work/us_counties.shp"; do
  build/bench/bench/oracle/pip_oracle "$shp" --points "$points" --work "$work"
  echo
done
