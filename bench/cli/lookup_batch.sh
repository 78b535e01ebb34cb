#!/usr/bin/env bash
# Times the batch lookup of the lumetra tool -- reading 'lon,lat' lines,
# one containing search per point, one CSV line per hit -- on N random points
# over the lower 48 with the 3,231 US counties, and prints lookups/s.
#
#   bench/cli/lookup_batch.sh [N] [BUILD_DIR]     (defaults: 1000000, build/release)
#
# The counties come from data/regenerate.sh --counties (npm and ogr2ogr);
# they are made once into the work directory ($LUMETRA_BENCH_DIR, default
# build/bench-cli), or taken from $LUMETRA_COUNTIES (a us_counties.shp).
# The points use a fixed seed, so runs are comparable.
set -euo pipefail
cd "$(dirname "$0")/../.."
n=${1:-1000000}
build=${2:-build/release}
tool=$build/tools/lumetra/lumetra
work=${LUMETRA_BENCH_DIR:-build/bench-cli}
[ -x "$tool" ] || { echo "no $tool: build first (cmake --build $build)" >&2; exit 2; }
mkdir -p "$work"
counties=${LUMETRA_COUNTIES:-$work/us_counties.shp}
[ -f "$counties" ] || data/regenerate.sh --counties "$(dirname "$counties")"

"$tool" import "$counties" "$work/us_counties.lmb" --quiet --overwrite
awk -v n="$n" 'BEGIN { srand(20240601)
  for (i = 0; i < n; i++) printf "%.6f,%.6f\n", -125 + rand() * 59, 24 + rand() * 26 }' \
  > "$work/points.csv"

start=$(date +%s.%N)
status=0
"$tool" lookup "$work/us_counties.lmb" --batch "$work/points.csv" > "$work/hits.csv" || status=$?
end=$(date +%s.%N)
[ "$status" -le 1 ] || exit "$status"
hits=$(wc -l < "$work/hits.csv")
awk -v n="$n" -v h="$hits" -v s="$start" -v e="$end" 'BEGIN {
  t = e - s; printf "%d points, %d hits in %.3f s: %.0f lookups/s\n", n, h, t, n / t }'
