#!/usr/bin/env bash
# The Python lookup benchmark (bench/README.md, "Python"): builds the
# package and the C-interface baseline in build/bench-python, then runs
# lookup_bench.py on the us-atlas counties (downloaded with npm and converted
# with GDAL).  Needs scripts/install-deps.sh --bench (python3-rtree for
# GeoPandas' sjoin).
#   bench/python/run.sh [POINTS] [BASELINE_POINTS]
# LUMETRA_BENCH_BUILD names another (Release) build folder to use.
set -euo pipefail
cd "$(dirname "$0")/../.."
python=${LUMETRA_PYTHON:-/usr/bin/python3}
build=${LUMETRA_BENCH_BUILD:-build/bench-python}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DLUMETRA_BUILD_TESTS=OFF \
  -DLUMETRA_BUILD_PYTHON=ON -DPython3_EXECUTABLE="$python" > /dev/null
cmake --build "$build" -j"${LUMETRA_JOBS:-2}" --target lumetra_python
cc -O2 -Iinclude bench/python/capi_lookup.c -L"$build" -llumetra -Wl,-rpath,"$PWD/$build" \
  -o "$build/capi_lookup"
data/regenerate.sh --counties "$work" >/dev/null
PYTHONPATH="$build/python" "$python" bench/python/lookup_bench.py --capi "$build/capi_lookup" \
  --counties "$work/us_counties.shp" \
  --points "${1:-10000000}" ${2:+--baseline-points "$2"}
