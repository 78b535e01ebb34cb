"""Object files from Python: information, objects and attributes against
the source shapefile, errors carrying the library's record, lifetimes."""

import gc
import os
import subprocess

import fiona
import numpy as np
import pytest

import lumetra

from conftest import STATES_SHP


def test_objects_and_attributes_match_the_source(states):
    with fiona.open(STATES_SHP) as source:
        records = list(source)
    objects = list(states)
    assert len(objects) == len(records) == len(states) == states.info.objects
    for o, r in zip(objects, records):
        assert o.attributes == {k: str(v) for k, v in r["properties"].items()}
        assert o.name == r["properties"]["NAME"] and o.type == "region"
        rings = r["geometry"]["coordinates"]
        if r["geometry"]["type"] == "Polygon":
            rings = [rings]
        rings = [ring for polygon in rings for ring in polygon]
        assert len(o.parts) == len(rings)
        for part, ring in zip(o.parts, rings):
            expected = np.trunc(np.asarray(ring)[:-1] * 1e6) / 1e6
            assert np.allclose(part, expected, atol=1.1e-6)
    ordinals = np.array([[o.ordinal for o in objects[:3]], [-1, 0, 10**6]])
    table = states.attributes(ordinals, ["NAME"])
    assert table["NAME"][0].tolist() == [o.name for o in objects[:3]]
    assert table["NAME"][1].tolist() == [None, None, None]
    with pytest.raises(KeyError):
        states.attributes([1], ["POPULATION"])


def test_info_and_numeric_fields(tmp_path):
    (tmp_path / "c.mif").write_text(
        'Version 300\nCharset "Neutral"\nDelimiter ","\nColumns 2\n  Name Char(20)\n'
        '  Pop Integer\nData\n\nPoint -87.6298 41.8781\nPoint -90.1994 38.627\n')
    (tmp_path / "c.mid").write_text('"Chicago",2746388\n"St. Louis",301578\n')
    path = lumetra.import_file(str(tmp_path / "c.mif"), str(tmp_path / "c.lmb"), segments=True)
    with lumetra.open(path) as cities:
        info = cities.info
        assert (info.points, info.regions, info.segments, info.format) == (2, 0, True, "mif")
        assert info.fields[1] == lumetra.Field("Pop", "N", info.fields[1].width, 0)
        assert cities.attributes([2, 1, 7])["Pop"].tolist()[:2] == [301578.0, 2746388.0]
        assert np.isnan(cities.attributes([7])["Pop"][0])


def test_errors_carry_the_error_record(tmp_path, states_path):
    with pytest.raises(lumetra.LumetraError) as missing:
        lumetra.open(tmp_path / "missing.lmb")
    assert missing.value.code == 2 and "missing.lmb" in str(missing.value)
    junk = tmp_path / "junk.lmb"
    junk.write_bytes(b"\0" * 600)
    with pytest.raises(lumetra.LumetraError) as signature:
        lumetra.open(junk)
    assert signature.value.code == 102
    assert signature.value.message == "Invalid file signature."
    with lumetra.open(states_path) as states:
        with pytest.raises(lumetra.LumetraError) as radius:
            states.lookup([-87.6], [41.8], radius=100)
    assert radius.value.code == 106 and "buffers" in radius.value.detail
    with pytest.raises(ValueError):
        lumetra.open(states_path, mode="w")
    with pytest.raises(FileExistsError):
        lumetra.import_file(STATES_SHP, states_path)
    with pytest.raises(ValueError):
        lumetra.import_file(STATES_SHP, str(tmp_path / "x.lmb"), name_field="NOPE")
    assert not (tmp_path / "x.lmb").exists()
    bad = tmp_path / "bad.bna"
    bad.write_text('"A","",3\n1,1\n2,2\n')
    with pytest.raises(lumetra.LumetraError) as truncated:
        lumetra.import_file(str(bad), str(tmp_path / "bad.lmb"))
    assert "Unexpected End of File" in str(truncated.value)
    assert not (tmp_path / "bad.lmb").exists()


def test_lifetimes(states_path):
    f = lumetra.open(states_path)
    ordinals = f.lookup([-87.6298], [41.8781], threads=2)
    objects = f.objects()
    first = next(objects)
    f.close()
    f.close()
    del f
    gc.collect()
    assert ordinals.tolist() == [14] and first.name == "Alabama" and len(first.parts[0]) > 3
    with pytest.raises(ValueError):
        next(objects)
    with lumetra.open(states_path) as g:
        pass
    assert g.closed
    for call in (lambda: g.lookup([0], [0]), lambda: g.info, lambda: g.names([1])):
        with pytest.raises(ValueError):
            call()


@pytest.mark.skipif("LUMETRA_CLI" not in os.environ, reason="the lumetra tool's path is not given")
def test_import_file_builds_what_the_tool_builds(tmp_path, states):
    tool = str(tmp_path / "tool.lmb")
    subprocess.run([os.environ["LUMETRA_CLI"], "import", "--quiet", STATES_SHP, tool], check=True)
    assert os.path.exists(tmp_path / "tool.lma")
    with lumetra.open(tool) as built:
        assert built.info.fields == states.info.fields
        for a, b in zip(built, states):
            assert (a.ordinal, a.name, a.attributes) == (b.ordinal, b.name, b.attributes)
            assert all(np.array_equal(p, q) for p, q in zip(a.parts, b.parts))
