#!/usr/bin/env python3
"""Writes the polygon pairs of the clipper's oracle test as text.

Reads two shapefiles (plain Python, no GIS packages) and writes, for each
chosen pair of neighbouring features, two polygons in this form:

    polygon <name> <ring count>
    <vertex count> x0 y0 x1 y1 ...        one line per ring, not closed

Coordinates are written in the shortest form that reads back exactly.

    extract.py us_counties.shp world_1km.shp OUTDIR
"""
import struct
import sys

COUNTIES = [("51059", "51600"), ("06037", "06111"), ("01001", "01051"), ("12086", "12087")]
COUNTRIES = [("BDI", "RWA"), ("BEL", "LUX"), ("LIE", "CHE"), ("DOM", "HTI"), ("PSE", "ISR")]


def read_shp(path):
    data = open(path, "rb").read()
    pos, shapes = 100, []
    while pos < len(data):
        _, length = struct.unpack(">ii", data[pos:pos + 8])
        rec = data[pos + 8:pos + 8 + 2 * length]
        pos += 8 + 2 * length
        if struct.unpack("<i", rec[:4])[0] == 0:
            shapes.append([])
            continue
        nparts, npts = struct.unpack("<ii", rec[36:44])
        starts = list(struct.unpack("<%di" % nparts, rec[44:44 + 4 * nparts])) + [npts]
        xy = struct.unpack("<%dd" % (2 * npts), rec[44 + 4 * nparts:44 + 4 * nparts + 16 * npts])
        rings = []
        for p in range(nparts):
            ring = [(xy[2 * k], xy[2 * k + 1]) for k in range(starts[p], starts[p + 1])]
            if len(ring) > 1 and ring[0] == ring[-1]:
                ring.pop()
            rings.append(ring)
        shapes.append(rings)
    return shapes


def read_dbf_column(path, column):
    data = open(path, "rb").read()
    count, header, size = struct.unpack("<IHH", data[4:12])
    fields, p = [], 32
    while data[p] != 0x0D:
        fields.append((data[p:p + 11].split(b"\0")[0].decode(), data[p + 16]))
        p += 32
    offset = 1 + sum(width for name, width in fields[:[f[0] for f in fields].index(column)])
    width = dict(fields)[column]
    return [data[header + r * size + offset:header + r * size + offset + width].decode().strip()
            for r in range(count)]


def write_pairs(shp, column, pairs, out):
    shapes = read_shp(shp)
    keys = read_dbf_column(shp[:-4] + ".dbf", column)
    with open(out, "w") as f:
        f.write("# Pairs of neighbouring polygons from %s, by %s; see README.md.\n" % (shp.split("/")[-1], column))
        for pair in pairs:
            for key in pair:
                rings = shapes[keys.index(key)]
                f.write("polygon %s %d\n" % (key, len(rings)))
                for ring in rings:
                    f.write("%d %s\n" % (len(ring), " ".join("%r %r" % p for p in ring)))


if __name__ == "__main__":
    counties, world, outdir = sys.argv[1:4]
    write_pairs(counties, "FIPS", COUNTIES, outdir + "/us_counties.txt")
    write_pairs(world, "A3", COUNTRIES, outdir + "/world_countries.txt")
