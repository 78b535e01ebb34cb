#!/usr/bin/env bash
# Times `lumetra import` of the 3,231 US counties as a TAB table (object
# file and attribute file) against GDAL's ogr2ogr converting the same table
# to a shapefile, and prints both and their ratio.  Each is run RUNS times;
# the best run counts.
#
#   bench/cli/tab_import.sh [RUNS] [BUILD_DIR]     (defaults: 5, build/release)
#
# The counties come from data/regenerate.sh --counties (npm and ogr2ogr), made
# once into the work directory ($LUMETRA_BENCH_DIR, default build/bench-cli),
# or from $LUMETRA_COUNTIES (a us_counties.shp); ogr2ogr turns them into
# us_counties.tab there.
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-5}
build=${2:-build/release}
tool=$build/tools/lumetra/lumetra
work=${LUMETRA_BENCH_DIR:-build/bench-cli}
[ -x "$tool" ] || { echo "no $tool: build first (cmake --build $build)" >&2; exit 2; }
command -v ogr2ogr > /dev/null || { echo "ogr2ogr (gdal-bin) is needed" >&2; exit 2; }
mkdir -p "$work"
counties=${LUMETRA_COUNTIES:-$work/us_counties.shp}
[ -f "$counties" ] || data/regenerate.sh --counties "$(dirname "$counties")"
rm -f "$work"/tab_counties.*
ogr2ogr -f "MapInfo File" "$work/tab_counties.tab" "$counties"

# Best wall time of `runs` runs of the command and the CPU time (user +
# system) of that run, in seconds: "wall cpu".
best() {
  local best_wall="" best_cpu=""
  local TIMEFORMAT='%R %U %S'
  for ((i = 0; i < runs; i++)); do
    rm -f "$work"/tab_out.*
    local times
    times=$({ time "$@" > /dev/null 2>&1; } 2>&1)
    read -r wall user sys <<< "$times"
    if [ -z "$best_wall" ] || awk -v a="$wall" -v b="$best_wall" 'BEGIN { exit !(a < b) }'; then
      best_wall=$wall
      best_cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')
    fi
  done
  echo "$best_wall $best_cpu"
}

read -r ours ours_cpu <<< "$(best "$tool" import "$work/tab_counties.tab" "$work/tab_out.lmb" --quiet)"
objects=$("$tool" info "$work/tab_out.lmb" | awk '/^objects:/ { print $2 }')
read -r gdal gdal_cpu <<< "$(best ogr2ogr -f "ESRI Shapefile" "$work/tab_out.shp" "$work/tab_counties.tab")"
awk -v o="$ours" -v oc="$ours_cpu" -v g="$gdal" -v gc="$gdal_cpu" -v n="$objects" 'BEGIN {
  printf "lumetra import (object + attribute file): %.3f s wall, %.3f s CPU, %d objects\n", o, oc, n
  printf "ogr2ogr to a shapefile:                    %.3f s wall, %.3f s CPU\n", g, gc
  printf "ratio ogr2ogr / lumetra: %.2f wall, %.2f CPU\n", g / o, gc / oc }'
