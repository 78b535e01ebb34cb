"""Point-in-polygon lookups from Python: lumetra against GeoPandas and Shapely.

The same random points (seed 12345, uniform over the contiguous United
States) are looked up in the US counties by

- lumetra.ObjectFile.lookup, on 1 and 2 threads (``threads=``);
- the C interface itself (capi_lookup, one thread): the calls the binding
  makes, without Python;
- GeoPandas: sjoin(points, counties, predicate="within") -- with Debian's
  Shapely 1.8 and no PyGEOS, GeoPandas' spatial index is the rtree package;
- Shapely 1.8: STRtree query per point, then prepared contains.

The answers are compared (each side names the county of each point; a point
within a millionth of a degree of a border may differ) before the figures
are printed.  Baselines can run on the first --baseline-points points only
(their rates are per point).

    bench/python/run.sh [POINTS] [BASELINE_POINTS]
"""

import argparse
import os
import resource
import subprocess
import tempfile
import time

import numpy as np

import lumetra

SEED = 12345
BOX = (-124.8, 24.5, -66.9, 49.4)  # contiguous US


def parse_args():
    parser = argparse.ArgumentParser()
    parser.add_argument("--counties", required=True, help="the us-atlas counties shapefile")
    parser.add_argument("--points", type=int, default=10_000_000)
    parser.add_argument("--baseline-points", type=int, default=None)
    parser.add_argument("--capi", required=True, help="path of the capi_lookup program")
    return parser.parse_args()


def cpu_seconds():
    """CPU time of this process and its finished children (every thread)."""
    own = resource.getrusage(resource.RUSAGE_SELF)
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    return own.ru_utime + own.ru_stime + children.ru_utime + children.ru_stime


def report(label, count, seconds, cpu):
    """Wall-clock rate, and the rate per CPU second (what a loaded machine
    distorts least: other processes' share of the cores is not counted)."""
    print(f"{label:<44} {count:>11,} points {seconds:9.2f} s {count / seconds:>13,.0f} points/s"
          f" {cpu:9.2f} CPU s {count / cpu:>13,.0f} points/CPU s", flush=True)


def timed(label, count, work):
    start, start_cpu = time.perf_counter(), cpu_seconds()
    result = work()
    seconds, cpu = time.perf_counter() - start, cpu_seconds() - start_cpu
    report(label, count, seconds, cpu)
    return result, count / seconds


def county_polygons(path):
    import geopandas

    frame = geopandas.read_file(path)
    frame["ordinal"] = np.arange(1, len(frame) + 1)  # the importer's ordinals: record numbers
    return frame[~frame.geometry.isna()]  # (a null shape is skipped by the importer too)


def run_geopandas(counties, lon, lat):
    import geopandas

    points = geopandas.GeoDataFrame(geometry=geopandas.points_from_xy(lon, lat),
                                    crs=counties.crs)
    joined = geopandas.sjoin(points, counties[["ordinal", "geometry"]], predicate="within")
    first = joined[~joined.index.duplicated()]
    out = np.full(len(lon), -1, dtype=np.int64)
    out[first.index.to_numpy()] = first.ordinal.to_numpy()
    return out


def run_shapely(counties, lon, lat):
    from shapely.geometry import Point
    from shapely.prepared import prep
    from shapely.strtree import STRtree

    geoms = list(counties.geometry)
    prepared = {id(g): (prep(g), o) for g, o in zip(geoms, counties.ordinal)}
    tree = STRtree(geoms)
    out = np.full(len(lon), -1, dtype=np.int64)
    for i, (x, y) in enumerate(zip(lon.tolist(), lat.tolist())):
        p = Point(x, y)
        for g in tree.query(p):
            test, ordinal = prepared[id(g)]
            if test.contains(p):
                out[i] = ordinal
                break
    return out


def compare(label, got, expected, lon, lat, counties):
    """Differences are allowed only within a millionth of a degree of a border."""
    from shapely.geometry import Point

    differ = np.flatnonzero(got != expected)
    far = 0
    for i in differ:
        p = Point(lon[i], lat[i])
        near = [counties.geometry[counties.ordinal == o].iloc[0].boundary.distance(p)
                for o in (got[i], expected[i]) if o > 0]
        far += not near or min(near) > 2e-6
    print(f"  {label}: {len(differ)} differ from lumetra, {far} not at a border")
    if far:
        raise SystemExit(f"{label} disagrees with lumetra away from borders")


def main():
    args = parse_args()
    rng = np.random.default_rng(SEED)
    lon = rng.uniform(BOX[0], BOX[2], args.points)
    lat = rng.uniform(BOX[1], BOX[3], args.points)
    base = min(args.baseline_points or args.points, args.points)
    print(f"{args.points:,} random points (seed {SEED}); baselines on the first {base:,}")
    with tempfile.TemporaryDirectory(prefix="lumetra-bench-") as tmp:
        path = lumetra.import_file(args.counties, os.path.join(tmp, "counties.lmb"))
        rates = {}
        with lumetra.open(path) as objects:
            objects.lookup(lon[:100_000], lat[:100_000], threads=2)  # warm both handles
            ours, rates[1] = timed("lumetra lookup, threads=1", args.points,
                                   lambda: objects.lookup(lon, lat))
            ours2, rates[2] = timed("lumetra lookup, threads=2", args.points,
                                    lambda: objects.lookup(lon, lat, threads=2))
            assert np.array_equal(ours, ours2)
        xy = np.empty((args.points, 2), dtype=np.int32)
        xy[:, 0], xy[:, 1] = np.trunc(lon * 1e6), np.trunc(lat * 1e6)
        xy.tofile(os.path.join(tmp, "points.bin"))
        start_cpu = cpu_seconds()
        output = subprocess.run([args.capi, path, os.path.join(tmp, "points.bin"),
                                 os.path.join(tmp, "capi.bin")], check=True,
                                capture_output=True, text=True).stdout.strip()
        capi_rate = float(output.split(",")[-1].split()[0])
        # (its CPU time includes reading the points and writing the answers)
        report("C interface (capi_lookup), one thread", args.points, args.points / capi_rate,
               cpu_seconds() - start_cpu)
        assert np.array_equal(np.fromfile(os.path.join(tmp, "capi.bin"), dtype=np.int32), ours)
    counties = county_polygons(args.counties)
    gpd_answer, gpd_rate = timed("GeoPandas sjoin (within, rtree index)", base,
                                 lambda: run_geopandas(counties, lon[:base], lat[:base]))
    shp_answer, shp_rate = timed("Shapely 1.8 STRtree + prepared contains", base,
                                 lambda: run_shapely(counties, lon[:base], lat[:base]))
    compare("GeoPandas", gpd_answer, ours[:base], lon, lat, counties)
    compare("Shapely", shp_answer, ours[:base], lon, lat, counties)
    print(f"lumetra 1 thread: {rates[1] / gpd_rate:.1f}x GeoPandas sjoin, "
          f"{rates[1] / shp_rate:.1f}x Shapely STRtree; 2 threads: {rates[2] / gpd_rate:.1f}x "
          f"sjoin; C interface / lumetra 1 thread: {capi_rate / rates[1]:.2f}; "
          f"2 threads / 1 thread: {rates[2] / rates[1]:.2f}")


if __name__ == "__main__":
    main()
