#!/usr/bin/env bash
# Regenerates the seed corpora in fuzz/corpus/ from the committed county
# extract (tests/data/counties_il_ak.*): small extracts cut with ogr2ogr
# (Illinois' Chicago counties, Hawaii's counties, points on the Chicago
# counties), written as MIF/MID and TAB by GDAL and as object files, data
# library files, BNA and ZIP+4 files by the lumetra tool; make_corpus.py
# then cuts the decoder seeds (headers, records, columns, tree pages) out of
# those files.  Needs gdal-bin (with SpatiaLite) and python3; run it after a
# build:  fuzz/make_corpus.sh build/rel
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$(cd "${1:?usage: fuzz/make_corpus.sh BUILD_DIR}" && pwd)
tool="$build/tools/lumetra/lumetra"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
src="$root/tests/data/counties_il_ak.shp"

cd "$work"
ogr2ogr -where "FIPS IN ('17031','17043','17089','17097')" chicago.shp "$src"
ogr2ogr -where "FIPS LIKE '15%'" hawaii.shp "$src"
ogr2ogr -dialect sqlite \
  -sql "SELECT ST_PointOnSurface(geometry) AS geometry, FIPS, NAME FROM chicago" \
  points.shp chicago.shp
for base in chicago points; do
  ogr2ogr -f "MapInfo File" -dsco FORMAT=MIF "$base.mif" "$base.shp"
done
ogr2ogr -f "MapInfo File" hawaii.tab hawaii.shp
ogr2ogr -f "MapInfo File" points.tab points.shp

"$tool" import --quiet chicago.shp chicago.lmb
"$tool" import --quiet --compress --segments hawaii.shp hawaii.lmb
"$tool" import --quiet points.shp points.lmb
"$tool" export chicago.lmb chicago.bna
"$tool" export points.lmb points.bna

# ZIP+4 centroids at the points' positions, with made-up codes.
ogr2ogr -f CSV -lco GEOMETRY=AS_XY points.csv points.shp
python3 - <<'EOF' > centroids.csv
import csv
rows = list(csv.DictReader(open("points.csv")))
for i, r in enumerate(rows):
    x, y = float(r["X"]), float(r["Y"])
    for k in range(3):
        print(f"{60600 + i},{1000 + 7 * k},S,{x + k * 0.001:.4f},{y:.4f},{i},{k}")
EOF
"$tool" zip4 build centroids.csv centroids.z9

python3 "$root/fuzz/make_corpus.py" "$work" "$root/fuzz/corpus"
