"""Lumetra for Python: which region contains each of these points.

Vectorized point-in-polygon lookups, nearest-point and border-distance
searches over NumPy arrays, on the Lumetra library's indexed object files::

    import lumetra
    lumetra.import_file("us_states.shp", "states.lmb")
    with lumetra.open("states.lmb") as states:
        ordinals = states.lookup([-87.6298, -104.9903], [41.8781, 39.7392])
        print(states.attributes(ordinals)["NAME"])     # ['Illinois' 'Colorado']

``lumetra.geo`` bridges to GeoPandas and ``lumetra.dask`` runs lookups over
Dask DataFrames; both import their libraries only when used.
"""

from . import _lumetra
from .errors import LumetraError
from .importer import attribute_file_name, import_file
from .objectfile import BorderDistances, Field, FileInfo, Hits, Object, ObjectFile

__all__ = [
    "BorderDistances", "Field", "FileInfo", "Hits", "LumetraError", "Object", "ObjectFile",
    "attribute_file_name", "import_file", "library_version", "open",
]


def open(path, mode="r", *, cache=3):  # noqa: A001 -- mirrors the builtin on purpose
    """Opens an object file for reading (``mode="r"``, the only mode: object
    files are built by ``import_file``).  ``cache`` is the open mode's
    polygon-buffer budget: 0 one buffer, 1 5 MiB, 2 20 MiB, 3 100 MiB
    (default).  Use it as a context manager, or call ``close()``."""
    return ObjectFile(path, mode, cache=cache)


def library_version():
    """The library's version text, e.g. "Lumetra+ v41.04"."""
    return _lumetra.version()
