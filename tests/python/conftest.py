"""Fixtures of the Python package's tests: the bundled US states imported
once per session, and random points over them (fixed, printed seed)."""

import os

import numpy as np
import pytest

import lumetra

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data")
STATES_SHP = os.path.join(DATA, "us_states.shp")
SEED = 20261206


@pytest.fixture(scope="session")
def states_path(tmp_path_factory):
    return lumetra.import_file(STATES_SHP, str(tmp_path_factory.mktemp("states") / "states.lmb"))


@pytest.fixture
def states(states_path):
    with lumetra.open(states_path) as f:
        yield f


@pytest.fixture(scope="session")
def points():
    print(f"random points: seed {SEED}")
    rng = np.random.default_rng(SEED)
    n = 20_000
    return rng.uniform(-125.0, -66.0, n), rng.uniform(24.0, 50.0, n)
