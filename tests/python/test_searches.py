"""Batch searches: answers against Shapely on the source polygons, the two
coordinate forms, shapes, threads and the GIL."""

import threading

import numpy as np
import pytest
import shapely.geometry
import shapely.prepared

import lumetra

from conftest import STATES_SHP


def shapely_states():
    import fiona

    with fiona.open(STATES_SHP) as source:
        return [(r["properties"]["NAME"], shapely.geometry.shape(r["geometry"])) for r in source]


def test_lookup_agrees_with_shapely(states, points):
    lon, lat = points[0][:3000], points[1][:3000]
    names = states.names(states.lookup(lon, lat))
    polygons = [(n, shapely.prepared.prep(g), g) for n, g in shapely_states()]
    for x, y, got in zip(lon, lat, names):
        p = shapely.geometry.Point(x, y)
        containing = [n for n, prepared, _ in polygons if prepared.contains(p)]
        if got is None:
            assert containing == [], (x, y)
        elif got not in containing:
            # Only a point within a millionth of a degree of a border may differ.
            border = min(g.boundary.distance(p) for n, _, g in polygons if n == got)
            assert border < 2e-6, (x, y, got, containing)


def test_units_shapes_and_bad_points(states, points):
    lon, lat = points
    expected = states.lookup(lon, lat)
    x = np.trunc(lon * 1e6).astype(np.int64)
    y = np.trunc(lat * 1e6).astype(np.int64)
    assert np.array_equal(states.lookup(x, y, units="millionths"), expected)
    grid = states.lookup(lon[:100].reshape(10, 10), lat[:100].reshape(10, 10))
    assert grid.shape == (10, 10) and np.array_equal(grid.ravel(), expected[:100])
    assert states.lookup(-87.6298, 41.8781).shape == ()
    assert np.array_equal(states.lookup([-87.6298, -104.9903], 41.8781), states.lookup(
        [-87.6298, -104.9903], [41.8781, 41.8781]))
    bad = states.lookup([np.nan, np.inf, -87.6298, 1e300], [41.8781, 41.8781, np.nan, 1.0])
    assert bad.tolist() == [-1, -1, -1, -1]
    with pytest.raises(TypeError):
        states.lookup(lon, lat, units="millionths")
    with pytest.raises(ValueError):
        states.lookup([2**40], [0], units="millionths")
    with pytest.raises(ValueError):
        states.lookup(lon, lat, units="feet")
    assert states.lookup([], []).shape == (0,)


def test_threads_answer_alike(states, points):
    lon, lat = points
    one = states.lookup(lon, lat)
    hits_one = states.lookup_all(lon, lat)
    border_one = states.distance_to_border(lon[:2000], lat[:2000])
    for threads in (2, 3):
        assert np.array_equal(states.lookup(lon, lat, threads=threads), one)
        hits = states.lookup_all(lon, lat, threads=threads)
        for a, b in zip(hits, hits_one):
            assert np.array_equal(a, b)
        border = states.distance_to_border(lon[:2000], lat[:2000], threads=threads)
        for a, b in zip(border, border_one):
            assert np.array_equal(a, b, equal_nan=True)
    # Python threads sharing one ObjectFile take turns.
    results = [None] * 4

    def work(i):
        results[i] = states.lookup(lon, lat, threads=2)

    workers = [threading.Thread(target=work, args=(i,)) for i in range(4)]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    assert all(np.array_equal(r, one) for r in results)


def test_lookup_releases_the_gil(states):
    rng = np.random.default_rng(7)
    lon, lat = rng.uniform(-125, -66, 400_000), rng.uniform(24, 50, 400_000)
    worker = threading.Thread(target=states.lookup, args=(lon, lat))
    ticks = 0
    worker.start()
    while worker.is_alive():
        ticks += 1
    worker.join()
    assert ticks > 1000


def test_lookup_all_and_border_distance(states):
    # Chicago is in Illinois; a point on the Illinois-Indiana line is in both.
    hits = states.lookup_all([-87.6298, -40.0, -87.524], [41.8781, 30.0, 40.5])
    assert np.diff(hits.offsets).tolist()[:2] == [1, 0]
    assert list(hits.point_index()[:1]) == [0]
    assert set(states.names(hits.ordinals[hits.offsets[2]:])) <= {"Illinois", "Indiana"}
    border = states.distance_to_border([-87.6298, -40.0, -88.2], [41.8781, 30.0, 29.9])
    assert border.inside.tolist() == [True, False, False]
    assert 3000 < border.distance[0] < 4500 and np.isnan(border.distance[1])
    assert states.names(border.ordinal).tolist() == ["Illinois", None, "Alabama"]


def test_nearest_matches_brute_force(tmp_path):
    rng = np.random.default_rng(11)
    lon, lat = rng.uniform(-90, -89, 300), rng.uniform(40, 41, 300)
    mif = "Version 300\nColumns 1\n  Name Char(10)\nData\n" + "".join(
        f"Point {x:.6f} {y:.6f}\n" for x, y in zip(lon, lat))
    (tmp_path / "towns.mif").write_text(mif)
    (tmp_path / "towns.mid").write_text("".join(f'"T{i}"\n' for i in range(len(lon))))
    path = lumetra.import_file(str(tmp_path / "towns.mif"), str(tmp_path / "towns.lmb"))
    qx, qy = rng.uniform(-89.9, -89.1, 50), rng.uniform(40.1, 40.9, 50)
    with lumetra.open(path) as towns:
        ordinals, feet = towns.nearest(qx, qy, k=3)
        assert ordinals.shape == (50, 3) and np.all(np.diff(feet, axis=1) >= 0)
        px, py = np.trunc(lon * 1e6), np.trunc(lat * 1e6)
        for i in range(50):
            x, y = np.trunc(qx[i] * 1e6), np.trunc(qy[i] * 1e6)
            dy = (py - y) * 0.36432
            dx = (px - x) * 0.36432 * np.cos(y * 1.745329252e-8)
            brute = np.hypot(dx, dy)
            assert np.allclose(feet[i], brute[ordinals[i] - 1], atol=1.5), i
            if lumetra._lumetra.EXACT_NEAREST:
                assert np.allclose(feet[i], np.sort(brute)[:3], atol=1.5), i
        far, none = towns.nearest([-60.0], [10.0], k=2)
        assert far.tolist() == [[-1, -1]] and np.isnan(none).all()
        # A distance limit holds for its own call only.
        before = towns.info.search_distance
        near, _ = towns.nearest(qx[:1], qy[:1], k=1, max_distance=1)
        assert near.tolist() == [[-1]] and towns.info.search_distance == before
