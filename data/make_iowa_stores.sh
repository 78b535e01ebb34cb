#!/usr/bin/env bash
# Derives the market-area sample lists from the us-atlas county polygons
# (see README.md; regenerate.sh --counties DIR writes them):
#   iowa_stores.csv     name,lon,lat: ten stores, one at the centroid of the
#                       county of each of ten large Iowa cities
#   iowa_customers.csv  store,lon,lat,weight: the centroids of Iowa's 99
#                       counties, each a customer (weight 1) of its nearest
#                       store (distances with longitude scaled by cos 42 deg)
# Needs: ogr2ogr (Debian package gdal-bin) with its SQLite dialect.
#
#   data/make_iowa_stores.sh COUNTIES.shp [OUTDIR]
set -euo pipefail
counties=$1
outdir=${2:-$(cd "$(dirname "$0")" && pwd)}
layer=$(basename "$counties" .shp)
stores="SELECT s.column1 AS name, ST_X(ST_Centroid(c.geometry)) AS lon,
         ST_Y(ST_Centroid(c.geometry)) AS lat
  FROM (VALUES ('Des Moines','19153'),('Cedar Rapids','19113'),('Davenport','19163'),
        ('Sioux City','19193'),('Iowa City','19103'),('Waterloo','19013'),('Ames','19169'),
        ('Council Bluffs','19155'),('Dubuque','19061'),('Mason City','19033')) s
  JOIN $layer c ON c.FIPS = s.column2"
csv() {
  ogr2ogr -f CSV /vsistdout/ "$counties" -lco STRING_QUOTING=IF_NEEDED -dialect sqlite -sql "$1"
}
csv "SELECT name, printf('%.6f', lon) AS lon, printf('%.6f', lat) AS lat FROM ($stores)" \
  > "$outdir/iowa_stores.csv"
customers="SELECT ST_X(ST_Centroid(geometry)) AS lon, ST_Y(ST_Centroid(geometry)) AS lat
  FROM $layer WHERE substr(FIPS, 1, 2) = '19'"
# SQLite takes the bare columns of a min() aggregate from the row of the minimum.
csv "SELECT store, printf('%.6f', lon) AS lon, printf('%.6f', lat) AS lat, 1 AS weight FROM (
  SELECT st.name AS store, cu.lon AS lon, cu.lat AS lat,
         min(((st.lon - cu.lon) * 0.743) * ((st.lon - cu.lon) * 0.743)
             + (st.lat - cu.lat) * (st.lat - cu.lat)) AS d
  FROM ($stores) st, ($customers) cu GROUP BY cu.lon, cu.lat) ORDER BY store, lon" \
  > "$outdir/iowa_customers.csv"
echo "wrote $outdir/iowa_stores.csv and $outdir/iowa_customers.csv"
