"""Which US state contains each of a million points, on a Dask cluster.

Builds the object file of the bundled US states (unless given one), makes a
Dask DataFrame of random points and looks them up partition by partition
with map_partitions on a local cluster of worker processes; each worker
opens the object file once, read-only.  Then checks the answers against a
lookup in this process and prints the states with the most points.

    python3 python/examples/dask_lookup.py [--points N] [--workers N] [--file F.lmb]

On a cluster of several machines, start the scheduler and workers there and
pass ``--scheduler tcp://HOST:8786``; the object file (with its attribute
file) must be at the same path on every worker (see python/README.md).
"""

import argparse
import os
import sys
import tempfile

import numpy as np
import pandas as pd

import lumetra
import lumetra.dask

HERE = os.path.dirname(os.path.abspath(__file__))
STATES = os.path.join(HERE, "..", "..", "data", "us_states.shp")


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--points", type=int, default=1_000_000)
    parser.add_argument("--partitions", type=int, default=8)
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--file", help="object file to search (default: the bundled states)")
    parser.add_argument("--scheduler", help="address of a running Dask scheduler")
    return parser.parse_args()


def random_points(count, seed=2024):
    rng = np.random.default_rng(seed)
    return pd.DataFrame({"lon": rng.uniform(-125.0, -66.0, count),
                         "lat": rng.uniform(24.0, 50.0, count)})


def run(path, args):
    import dask.dataframe as dd
    from distributed import Client, LocalCluster

    points = random_points(args.points)
    ddf = dd.from_pandas(points, npartitions=args.partitions)
    if args.scheduler:
        cluster, client = None, Client(args.scheduler)
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                               dashboard_address=None)
        client = Client(cluster)
    try:
        found = lumetra.dask.lookup_dataframe(ddf, path, fields=["NAME"]).compute()
        opened = client.run(lambda: len(lumetra.dask._files))
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    with lumetra.open(path) as objects:
        expected = objects.lookup(points.lon, points.lat)
    if not np.array_equal(found.sort_index().ordinal.to_numpy(), expected):
        sys.exit("dask_lookup: the cluster's answers differ from a local lookup")
    print(f"{len(found)} points in {args.partitions} partitions on {len(opened)} workers "
          f"(object files opened per worker: {sorted(opened.values())})")
    print(f"{(found.ordinal >= 0).mean():.1%} of the points lie in a state; the most:")
    print(found.NAME.value_counts().head(5).to_string())


def main():
    args = parse_args()
    if args.file:
        run(args.file, args)
        return
    with tempfile.TemporaryDirectory(prefix="lumetra-dask-") as tmp:
        path = lumetra.import_file(STATES, os.path.join(tmp, "us_states.lmb"))
        run(path, args)


if __name__ == "__main__":
    main()
