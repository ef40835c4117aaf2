import gc

import pytest

from velmorpy import Model


@pytest.fixture
def m():
    model = Model()
    yield model
    model.dispose()


@pytest.fixture
def xyz(m):
    """Three continuous variables named x, y, z (indices 0, 1, 2)."""
    return tuple(m.addVar(name=n) for n in "xyz")


@pytest.fixture
def collected():
    """collected(build): build() makes a reference cycle, drops it and returns a
    weakref to one of its objects; true when the collector freed the cycle."""
    def run(build):
        gc.collect()
        ref = build()
        gc.collect()
        return ref() is None
    return run
