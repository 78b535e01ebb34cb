#!/usr/bin/env bash
# Builds the oracle benchmark and runs it, in one run per data set, on
#   nc       the 100 North Carolina counties of the R package sf (Debian's
#            r-cran-sf: /usr/lib/R/site-library/sf/shape/nc.shp),
#   counties the 3,230 US counties of us-atlas (npm, via data/regenerate.sh),
#   world    the 1 km country land areas of @geo-maps/countries-land-1km (npm,
#            OpenStreetMap / ODbL), and with --10m also its 10 m build.
#   bench/oracle/run.sh [--10m] [POINTS]
# Needs libgeos-dev, libgdal-dev, gdal-bin, npm and r-cran-sf.
set -euo pipefail
cd "$(dirname "$0")/../.."
big=0
if [ "${1:-}" = "--10m" ]; then
  big=1
  shift
fi
points=${1:-1000000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DLUMETRA_BUILD_BENCHMARKS=ON \
  -DLUMETRA_BUILD_TESTS=OFF >/dev/null
cmake --build build/bench -j"${LUMETRA_JOBS:-2}" --target pip_oracle >/dev/null
data/regenerate.sh --counties "$work" >/dev/null

# world_<size>.geo.json from the npm package @geo-maps/countries-land-<size>
# (read as it is: converting the 10 m build to a shapefile takes GDAL hours).
world() {
  (cd "$work" && npm pack --silent "@geo-maps/countries-land-$1" >/dev/null &&
    mkdir "w$1" && tar xzf geo-maps-countries-land-"$1"-*.tgz -C "w$1" &&
    mv "w$1/package/map.geo.json" "world_$1.geo.json")
}
world 1km
[ "$big" = 1 ] && world 10m

oracle=build/bench/bench/oracle/pip_oracle
nc=/usr/lib/R/site-library/sf/shape/nc.shp
"$oracle" "$nc" --points "$points" --work "$work" --nearest-points 20000 --nearest-queries 100000
echo
"$oracle" "$work/us_counties.shp" --points "$points" --work "$work" --nearest-queries 0
echo
"$oracle" "$work/world_1km.geo.json" --points "$points" --work "$work" --nearest-queries 0 \
  --ranked-queries 0
if [ "$big" = 1 ]; then
  echo
  "$oracle" "$work/world_10m.geo.json" --points "$points" --work "$work" --nearest-queries 0 \
    --ranked-queries 0
fi
