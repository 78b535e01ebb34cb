"""GeoPandas bridge: object files from GeoDataFrames, lookups as DataFrames.

GeoPandas (and pandas) are imported only when these functions run; the rest
of the package never needs them.
"""

import os
import tempfile

import numpy as np

from .importer import import_file
from .objectfile import ObjectFile


def from_geodataframe(gdf, dst, *, name_field=None, name2_field=None, overwrite=False,
                      **options):
    """Builds the object file ``dst`` (and its attribute file) from a
    GeoDataFrame of one geometry kind (polygons and multipolygons become
    regions, lines lines, points points), its columns becoming the
    attributes.  A frame in a projected coordinate system is converted to
    longitude/latitude (EPSG:4326) first; one without CRS is taken as
    degrees.  The frame goes through a shapefile, so column names are cut
    to 10 characters (name ``name_field`` by its cut name).  Other options
    as for ``import_file``.  Returns ``dst``."""
    if gdf.crs is not None and not gdf.crs.is_geographic:
        gdf = gdf.to_crs(4326)
    with tempfile.TemporaryDirectory(prefix="lumetra-") as tmp:
        source = os.path.join(tmp, "frame.shp")
        gdf.to_file(source, driver="ESRI Shapefile")
        return import_file(source, dst, name_field=name_field, name2_field=name2_field,
                           overwrite=overwrite, **options)


def point_coordinates(points, lon=None, lat=None):
    """Longitudes and latitudes of a GeoSeries/GeoDataFrame of points (its
    geometry; projected frames converted to EPSG:4326) or of the ``lon`` and
    ``lat`` columns of a DataFrame."""
    if lon is not None or lat is not None:
        return np.asarray(points[lon], dtype=np.float64), np.asarray(points[lat], dtype=np.float64)
    geometry = getattr(points, "geometry", points)
    if geometry.crs is not None and not geometry.crs.is_geographic:
        geometry = geometry.to_crs(4326)
    return np.asarray(geometry.x, dtype=np.float64), np.asarray(geometry.y, dtype=np.float64)


def lookup_frame(objects, points, *, lon=None, lat=None, fields=None, radius=0, how="first",
                 threads=1):
    """Looks up every point of ``points`` (see ``point_coordinates``) in
    ``objects`` (an ObjectFile or a path) and returns a DataFrame:

    - ``how="first"``: one row per point, indexed like ``points``, with the
      columns ``ordinal`` (-1 where no object contains the point), ``name``
      and the attribute ``fields`` (all by default);
    - ``how="all"``: one row per (point, containing object) pair, indexed by
      the points' index as GeoPandas' ``sjoin`` is, with ``result`` (1
      inside, 2 near, 3 both) besides; points in no object have no row.
    """
    import pandas as pd

    if how not in ("first", "all"):
        raise ValueError(f"how must be 'first' or 'all', not {how!r}")
    if not isinstance(objects, ObjectFile):
        with ObjectFile(objects) as opened:
            return lookup_frame(opened, points, lon=lon, lat=lat, fields=fields, radius=radius,
                                how=how, threads=threads)
    x, y = point_coordinates(points, lon, lat)
    if how == "first":
        index = points.index
        ordinals = objects.lookup(x, y, radius, threads=threads)
        extra = {}
    else:
        hits = objects.lookup_all(x, y, radius, threads=threads)
        index = points.index[hits.point_index()]
        ordinals = hits.ordinals
        extra = {"result": hits.results}
    columns = {"ordinal": ordinals, "name": objects.names(ordinals), **extra}
    columns.update(objects.attributes(ordinals, fields))
    return pd.DataFrame(columns, index=index)
