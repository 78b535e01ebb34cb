#!/usr/bin/env bash
# Installs the build dependencies, builds the library and the lumetra tool,
# imports the bundled US state boundaries into an object file with its
# attribute file, and answers a few point lookups on it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMETRA_WERROR=ON
cmake --build build/release -j"${LUMETRA_JOBS:-2}"
tool=build/release/tools/lumetra/lumetra
states=build/us_states.lmb

echo
echo "== lumetra import data/us_states.shp $states"
"$tool" import data/us_states.shp "$states" --overwrite
echo
echo "== lumetra info $states"
"$tool" info "$states"

lookup() {  # lookup LABEL LON LAT EXPECTED_STATUS
  echo
  echo "== $1: lumetra lookup $states $2 $3"
  local status=0
  "$tool" lookup "$states" "$2" "$3" || status=$?
  if [ "$status" -ne "$4" ]; then
    echo "quickstart: expected exit status $4, got $status" >&2
    exit 1
  fi
}
lookup "Chicago" -87.6298 41.8781 0
lookup "Denver" -104.9903 39.7392 0
lookup "A point in the Atlantic (nothing found, status 1)" -40 30 1

echo
echo "== lumetra render $states build/us_states.svg (lower 48, with names)"
"$tool" render "$states" build/us_states.svg --bbox -125 24 -66 50 --labels
echo
echo "Done.  Try: $tool --help"
