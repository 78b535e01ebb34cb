"""The GeoPandas bridge and the Dask path (a local cluster of processes)."""

import numpy as np
import pandas as pd
import pytest

import lumetra
import lumetra.geo

from conftest import STATES_SHP

geopandas = pytest.importorskip("geopandas")


def test_geodataframe_round_trip(tmp_path, states, points):
    frame = geopandas.read_file(STATES_SHP)
    path = lumetra.geo.from_geodataframe(frame.to_crs(3857), str(tmp_path / "g.lmb"))
    lon, lat = points[0][:2000], points[1][:2000]
    pts = geopandas.GeoDataFrame(geometry=geopandas.points_from_xy(lon, lat), crs=4326,
                                 index=pd.RangeIndex(100, 2100))
    with lumetra.open(path) as rebuilt:
        assert [f.name for f in rebuilt.fields] == [f.name for f in states.fields]
        first = lumetra.geo.lookup_frame(rebuilt, pts)
        every = lumetra.geo.lookup_frame(rebuilt, pts, how="all", fields=["FIPS"])
    # The round trip through a projection moves vertices by a few units.
    expected = states.names(states.lookup(lon, lat))
    assert (first.name.to_numpy() == expected).mean() > 0.995
    assert list(first.index) == list(pts.index)
    assert set(every.index) <= set(pts.index) and list(every.columns) == [
        "ordinal", "name", "result", "FIPS"]


def test_dask_map_partitions_on_a_local_cluster(states_path, points):
    dd = pytest.importorskip("dask.dataframe")
    distributed = pytest.importorskip("distributed")
    import lumetra.dask

    frame = pd.DataFrame({"lon": points[0], "lat": points[1], "id": np.arange(len(points[0]))})
    ddf = dd.from_pandas(frame, npartitions=6)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster:
        with distributed.Client(cluster) as client:
            found = lumetra.dask.lookup_dataframe(ddf, states_path, fields=["NAME"]).compute()
            opened = client.run(lambda: sorted(lumetra.dask._files))
    with lumetra.open(states_path) as states:
        expected = states.lookup(frame.lon, frame.lat)
        names = states.names(expected)
    found = found.sort_index()
    assert np.array_equal(found.ordinal.to_numpy(), expected)
    assert np.array_equal(found.NAME.to_numpy(), names)
    assert np.array_equal(found.id.to_numpy(), frame.id.to_numpy())
    assert all(len(files) == 1 for files in opened.values())
