#!/usr/bin/env bash
# Regenerates the bundled US state boundaries from the npm package us-atlas
# (public-domain US Census cartographic boundaries, 1:10,000,000) with GDAL.
# Needs: npm, ogr2ogr (Debian package gdal-bin).
#
#   data/regenerate.sh [OUTDIR]        -> OUTDIR/us_states.{shp,shx,dbf,prj}
#   data/regenerate.sh --counties DIR  -> DIR/us_counties.{shp,shx,dbf,prj} (benchmarks)
set -euo pipefail
version=3.0.1
layer=states
out_name=us_states
if [ "${1:-}" = "--counties" ]; then
  layer=counties
  out_name=us_counties
  shift
fi
outdir=${1:-$(cd "$(dirname "$0")" && pwd)}
mkdir -p "$outdir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent "us-atlas@$version" >/dev/null && tar xzf "us-atlas-$version.tgz")
rm -f "$outdir/$out_name".{shp,shx,dbf,prj,cpg}
ogr2ogr -f "ESRI Shapefile" "$outdir/$out_name.shp" "$work/package/$layer-10m.json" \
  -a_srs EPSG:4326 -nlt PROMOTE_TO_MULTI -lco ENCODING=UTF-8 \
  -sql "SELECT CAST(id AS character(5)) AS FIPS, CAST(name AS character(40)) AS NAME FROM $layer ORDER BY id" \
  2>/dev/null
rm -f "$outdir/$out_name.cpg"
echo "wrote $outdir/$out_name.shp"
