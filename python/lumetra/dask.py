"""Lookups over Dask DataFrames of points (``map_partitions``).

Each worker process opens an object file once, read-only, and keeps it for
every partition it is given (``cached_file``): the file must be reachable
under the same path on every worker -- shared storage, or copied to each
machine (see python/README.md).  Dask is imported only by
``lookup_dataframe``.
"""

import os
import threading

from .geo import lookup_frame
from .objectfile import ObjectFile

_files = {}
_files_lock = threading.Lock()


def cached_file(path):
    """This process's ObjectFile on ``path``, opened on first use and kept
    (reopened when the file was replaced).  Safe to share among a worker's
    threads: calls on one ObjectFile run one after the other."""
    path = os.path.abspath(os.fspath(path))
    stat = os.stat(path)
    key = (path, stat.st_ino, stat.st_mtime_ns, stat.st_size)
    with _files_lock:
        opened = _files.get(path)
        if opened is None or opened[0] != key:
            if opened is not None:
                opened[1].close()
            opened = (key, ObjectFile(path))
            _files[path] = opened
        return opened[1]


def lookup_partition(frame, path, lon="lon", lat="lat", fields=None, radius=0, threads=1):
    """One partition's points with the lookup's columns appended (``ordinal``,
    ``name`` and the attribute ``fields``): the function to map over a Dask
    DataFrame's partitions."""
    found = lookup_frame(cached_file(path), frame, lon=lon, lat=lat, fields=fields,
                         radius=radius, threads=threads)
    return frame.join(found, rsuffix="_found")


def lookup_dataframe(ddf, path, lon="lon", lat="lat", fields=None, radius=0, threads=1):
    """``ddf`` with the lookup's columns, computed partition by partition on
    the workers (lazily, as Dask does).  The columns' types are taken from
    the file here, on the client."""
    meta = lookup_partition(ddf._meta, path, lon, lat, fields, radius, threads)
    return ddf.map_partitions(lookup_partition, path, lon, lat, fields, radius, threads,
                              meta=meta)
