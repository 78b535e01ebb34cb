"""Object files opened for reading: information, objects, batch searches."""

import os
from dataclasses import dataclass, field
from typing import NamedTuple, Optional, Tuple

import numpy as np

from . import _lumetra
from ._text import decode

#: Object types of the library, by code.
OBJECT_TYPES = {0: "region", 1: "line", 2: "point"}
#: Open-mode cache budgets: 0 one polygon buffer, 1 5 MiB, 2 20 MiB, 3 100 MiB.
CACHE_MODES = (0, 1, 2, 3)
UNITS = ("degrees", "millionths")
_INT32 = np.iinfo(np.int32)


@dataclass(frozen=True)
class Field:
    """An attribute field: name, type ('C' text, 'N' number), width, decimals."""

    name: str
    type: str
    width: int
    decimals: int


@dataclass(frozen=True)
class FileInfo:
    """What an object file's header and extension block say.

    Rectangles are (min x, min y, max x, max y), in degrees for geographic
    files (``geographic``; distances are then in feet) and in the file's
    plain units otherwise.
    """

    path: str
    signature: str
    geographic: bool
    coord_type: int
    objects: int
    regions: int
    lines: int
    points: int
    bbox: Tuple[float, float, float, float]
    max_record_size: int
    max_points: int
    max_parts: int
    segments: bool
    compressed: bool
    tax: bool
    search_distance: int
    source: Optional[str]
    format: Optional[str]
    created: Optional[str]
    fields: Tuple[Field, ...]


@dataclass(frozen=True)
class Object:
    """One object of a file.

    ``ordinal`` is the number the importer gave it (1, 2, ... in source
    order; the key of its attribute record), ``parts`` its rings (regions,
    open: the first point is not repeated) or pieces (lines) as (n, 2) arrays
    of x, y, ``attributes`` its attribute values as text ({} without record).
    """

    ordinal: int
    name: str
    name2: str
    type: str
    id: int
    label: Tuple[float, float]
    bbox: Tuple[float, float, float, float]
    parts: list = field(repr=False)
    attributes: dict = field(repr=False)


class Hits(NamedTuple):
    """Every hit of a batch lookup, as compressed rows.

    The hits of point i are ``ordinals[offsets[i]:offsets[i + 1]]``, with
    ``results`` 1 (inside), 2 (within the radius of the border only) or 3
    (both).  ``point_index()`` gives the point of each hit.
    """

    offsets: np.ndarray
    ordinals: np.ndarray
    results: np.ndarray

    def point_index(self):
        return np.repeat(np.arange(len(self.offsets) - 1), np.diff(self.offsets))


class BorderDistances(NamedTuple):
    """Per point: distance to the nearest border (feet in geographic files;
    NaN when none is within reach), the ordinal of that border's object (-1
    when none) and whether the point is inside that object."""

    distance: np.ndarray
    ordinal: np.ndarray
    inside: np.ndarray


class ObjectFile:
    """An object file open for reading (``lumetra.open``).

    Searches take arrays (or anything NumPy turns into arrays) of longitudes
    and latitudes of one shape and answer arrays of that shape.  With
    ``units="degrees"`` (the default) coordinates are decimal degrees,
    converted as the importer converts them (times 1,000,000, truncated
    toward zero); with ``units="millionths"`` they are integers already in
    the file's units (millionths of a degree in geographic files).  A point
    whose coordinates are not finite or do not fit the file's 32-bit units
    matches nothing.  Non-geographic files take plain units either way.

    ``threads=N`` splits a batch over N threads, each searching with a
    handle of its own on the file (opened once and kept).  The GIL is
    released during every search, and calls from several Python threads on
    one ObjectFile run one after the other.
    """

    def __init__(self, path, mode="r", *, cache=3):
        if mode != "r":
            raise ValueError(
                "object files open read-only (mode 'r'); build them with lumetra.import_file"
            )
        if cache not in CACHE_MODES:
            raise ValueError(f"cache must be one of {CACHE_MODES}, not {cache!r}")
        self._path = os.fspath(path)
        self._file = _lumetra.ObjectFile(self._path, cache | _lumetra.OPEN_MAPPED)
        self._table = None

    # -- life cycle --------------------------------------------------------

    def close(self):
        """Closes the file's handles; later calls raise ValueError."""
        self._file.close()
        self._table = None

    @property
    def closed(self):
        return self._file.closed

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        state = "closed" if self.closed else "open"
        return f"<lumetra.ObjectFile {self._path!r} ({state})>"

    # -- description -------------------------------------------------------

    @property
    def path(self):
        return self._path

    @property
    def geographic(self):
        """True for files in millionths of a degree (distances in feet)."""
        return self._file.geographic

    @property
    def fields(self):
        """The attribute fields (empty without attribute file)."""
        return tuple(Field(decode(n), t, w, d) for n, t, w, d in self._file.fields())

    @property
    def info(self):
        raw = self._file.info()
        ext = {k: decode(raw[k]) if k in raw else None for k in ("source", "format", "created")}
        flags = raw["flags"]
        return FileInfo(
            path=self._path,
            signature=" / ".join(line.strip() for line in
                                 decode(raw["signature"]).rstrip("\x1a").splitlines()
                                 if line.strip()),
            geographic=raw["coord_type"] == 1,
            coord_type=raw["coord_type"],
            objects=raw["regions"] + raw["lines"] + raw["points"],
            regions=raw["regions"],
            lines=raw["lines"],
            points=raw["points"],
            bbox=self._rect(raw["bbox"]),
            max_record_size=raw["max_record_size"],
            max_points=raw["max_points"],
            max_parts=raw["max_parts"],
            segments=bool(flags & 1),
            compressed=bool(flags & 2),
            tax=raw["tax"],
            search_distance=raw["search_distance"],
            fields=self.fields,
            **ext,
        )

    def __len__(self):
        raw = self._file.info()
        return raw["regions"] + raw["lines"] + raw["points"]

    # -- objects -----------------------------------------------------------

    def __iter__(self):
        return self.objects()

    def objects(self, coordinates=True, units="degrees"):
        """Every object in file order (ordinal order for imported files),
        with its coordinates (``units`` as for searches) unless
        ``coordinates=False``, and its attribute values."""
        _check_units(units)
        names = [f.name for f in self.fields]
        for position in self._file.positions():
            raw = self._file.object_at(int(position), coordinates)
            values = raw["values"]
            scale = self._scale(units)
            yield Object(
                ordinal=raw["ordinal"],
                name=decode(raw["name"]),
                name2=decode(raw["name2"]),
                type=OBJECT_TYPES.get(raw["type"], str(raw["type"])),
                id=raw["id"],
                label=tuple(v / scale for v in raw["label"]) if scale != 1 else raw["label"],
                bbox=self._rect(raw["bbox"], units),
                parts=[p / scale if scale != 1 else p for p in raw["parts"]],
                attributes={} if values is None else dict(zip(names, map(decode, values))),
            )

    # -- searches ----------------------------------------------------------

    def lookup(self, lon, lat, radius=0, *, units="degrees", threads=1):
        """The ordinal of the first object containing each point (-1: none).

        With ``radius`` (feet in geographic files; needs a file imported
        with segment records) an object whose border is nearer than that
        also counts.  Objects come in the spatial index's order; on a shared
        border the first of them answers."""
        x, y, degrees, shape = self._points(lon, lat, units)
        out = self._file.lookup(x, y, degrees, _radius(radius), _threads(threads))
        return out.reshape(shape)

    def lookup_all(self, lon, lat, radius=0, *, units="degrees", threads=1):
        """Every object containing (or near) each point, as ``Hits`` over
        the points flattened in C order."""
        x, y, degrees, _ = self._points(lon, lat, units)
        return Hits(*self._file.lookup_all(x, y, degrees, _radius(radius), _threads(threads)))

    def nearest(self, lon, lat, k=1, *, max_distance=None, units="degrees", threads=1):
        """The k point objects nearest to each point: ordinals (-1 past the
        last found) and distances (feet in geographic files, NaN past the
        last), each of shape ``points + (k,)``, nearest first.  Only points
        within ``max_distance`` feet (the file's search distance, default
        366,000 feet) are searched; ``max_distance`` applies to this call
        only."""
        x, y, degrees, shape = self._points(lon, lat, units)
        previous = None
        if max_distance is not None:
            previous = self._file.info()["search_distance"]
            self._file.set_search_distance(int(max_distance))
        try:
            ordinals, distances = self._file.nearest(x, y, degrees, int(k), _threads(threads))
        finally:
            if previous is not None:
                self._file.set_search_distance(previous)
        return ordinals.reshape(shape + (k,)), distances.reshape(shape + (k,))

    def distance_to_border(self, lon, lat, *, max_distance=528000, units="degrees", threads=1):
        """Distance from each point to the border of the object containing
        it or, outside every object, to the nearest border within
        ``max_distance`` (feet in geographic files), as ``BorderDistances``."""
        x, y, degrees, shape = self._points(lon, lat, units)
        raw = self._file.border_distance(x, y, degrees, _radius(max_distance), _threads(threads))
        return BorderDistances(*(a.reshape(shape) for a in raw))

    # -- attributes --------------------------------------------------------

    def attributes(self, ordinals, fields=None):
        """Attribute values of the objects with these ordinals, as a dict of
        arrays of the ordinals' shape, one per field (all by default): text
        fields as object arrays of str, numeric fields as float64.  Ordinals
        without an object or an attribute record give None or NaN."""
        table = self._attribute_table()
        wanted = [f.name for f in self.fields] if fields is None else list(fields)
        rows, found = table.rows(ordinals)
        out = {}
        for name in wanted:
            if name not in table.columns:
                raise KeyError(f"{self._path} has no attribute field {name!r}")
            out[name] = _take(table.columns[name], rows, found)
        return out

    def names(self, ordinals):
        """Object names for these ordinals (None where no object has it)."""
        table = self._attribute_table()
        rows, found = table.rows(ordinals)
        return _take(table.names, rows, found)

    # -- helpers -----------------------------------------------------------

    def _attribute_table(self):
        if self._table is None:
            self._table = _AttributeTable(self._file.attribute_table(), self.fields)
        return self._table

    def _scale(self, units):
        return 1_000_000.0 if units == "degrees" and self.geographic else 1

    def _rect(self, rect, units="degrees"):
        scale = self._scale(units)
        return tuple(v / scale for v in rect) if scale != 1 else tuple(rect)

    def _points(self, lon, lat, units):
        _check_units(units)
        lon, lat = np.broadcast_arrays(np.asarray(lon), np.asarray(lat))
        shape = lon.shape
        if units == "degrees":
            return (np.ascontiguousarray(lon, dtype=np.float64).ravel(),
                    np.ascontiguousarray(lat, dtype=np.float64).ravel(), True, shape)
        return _file_units(lon).ravel(), _file_units(lat).ravel(), False, shape


class _AttributeTable:
    """Every object's attribute values, read once per file and typed."""

    def __init__(self, raw, fields):
        ordinals, names, has_record, columns = raw
        # First object of each ordinal wins, as lookups show the first.
        order = np.argsort(ordinals, kind="stable")
        keep = np.ones(len(order), dtype=bool)
        keep[1:] = ordinals[order][1:] != ordinals[order][:-1]
        self.index = order[keep]
        self.ordinals = ordinals[self.index]
        self.names = np.array([decode(n) for n in names], dtype=object)[self.index]
        self.columns = {}
        for f, texts in zip(fields, columns):
            texts = [decode(t) for t in texts]
            if f.type == "N":
                values = np.array([_number(t) for t in texts], dtype=np.float64)
                values[~has_record] = np.nan
            else:
                values = np.array(texts, dtype=object)
                values[~has_record] = None
            self.columns[f.name] = values[self.index]

    def rows(self, ordinals):
        """Row of each ordinal and whether it has one."""
        ordinals = np.asarray(ordinals)
        if ordinals.dtype.kind not in "iu":
            raise TypeError("ordinals must be integers")
        rows = np.searchsorted(self.ordinals, ordinals)
        found = rows < len(self.ordinals)
        found[found] = self.ordinals[rows[found]] == ordinals[found]
        return np.where(found, rows, 0), found


def _take(column, rows, found):
    """column[rows] where found, None (text) or NaN (numbers) elsewhere."""
    if column.dtype == object:
        values = np.full(rows.shape, None, dtype=object)
    else:
        values = np.full(rows.shape, np.nan)
    values[found] = column[rows[found]]
    return values


def _number(text):
    try:
        return float(text) if text.strip() else np.nan
    except ValueError:
        return np.nan


def _check_units(units):
    if units not in UNITS:
        raise ValueError(f"units must be one of {UNITS}, not {units!r}")


def _file_units(values):
    if values.dtype.kind not in "iu":
        raise TypeError("coordinates in millionths must be integers")
    if values.size and (values.min() < _INT32.min or values.max() > _INT32.max):
        raise ValueError("coordinates in millionths must fit 32 bits")
    return np.ascontiguousarray(values, dtype=np.int32)


def _radius(value):
    value = int(value)
    if not 0 <= value <= _INT32.max:
        raise ValueError(f"distance must be between 0 and {_INT32.max}, not {value}")
    return value


def _threads(value):
    value = int(value)
    if not 1 <= value <= 64:
        raise ValueError(f"threads must be between 1 and 64, not {value}")
    return value
