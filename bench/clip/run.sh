#!/usr/bin/env bash
# Builds the clipping benchmark and runs it against GEOS and the Debian
# Clipper on random polygons and neighbouring countries.
#   bench/clip/run.sh [WORLD.shp] [benchmark flags...]
# Without WORLD.shp the countries come from the npm package
# @geo-maps/countries-land-1km 0.6.0, converted with ogr2ogr (gdal-bin).
# Needs libbenchmark-dev, libgeos-dev, libpolyclipping-dev.
set -euo pipefail
cd "$(dirname "$0")/../.."
world=""
if [ $# -gt 0 ] && [[ "$1" != --* ]]; then
  world=$1
  shift
fi
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DLUMETRA_BUILD_BENCHMARKS=ON \
  -DLUMETRA_BUILD_TESTS=OFF >/dev/null
cmake --build build/bench -j"${LUMETRA_JOBS:-2}" --target clip_overlay_compare >/dev/null
if [ -z "$world" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  (cd "$work" && npm pack --silent @geo-maps/countries-land-1km@0.6.0 >/dev/null &&
    tar xzf geo-maps-countries-land-1km-0.6.0.tgz)
  ogr2ogr -f "ESRI Shapefile" "$work/world_1km.shp" "$work/package/map.geo.json" -nlt POLYGON \
    -lco ENCODING=UTF-8
  world="$work/world_1km.shp"
fi
nice build/bench/bench/clip/clip_overlay_compare --world="$world" "$@"
