import gc
import os
import subprocess
import sys
import textwrap

import pytest

# Test the tree that scripts/test just built, not whatever else is importable.
_build = os.environ.get("VELMORPY_BUILD") or os.path.join(
    os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "build", "python")
if os.path.isdir(_build):
    sys.path.insert(0, _build)


@pytest.fixture
def run_python():
    """Runs a snippet in a fresh interpreter that imports this build (and keeps a
    sanitizer preload of the caller, if any). Keywords set further environment
    variables: run_python(code, PYTHONMALLOC="malloc_debug") fills freed memory,
    so a use after free shows as a crash. A snippet still running after `timeout`
    seconds is ended and raises subprocess.TimeoutExpired."""
    def run(code, timeout=None, **extra_env):
        env = dict(os.environ, PYTHONPATH=":".join(sys.path), **extra_env)
        return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True,
                              env=env, timeout=timeout)
    return run


@pytest.fixture
def leaks():
    """leaks(fn) is true when running fn keeps allocating: the block count grows in
    every one of several measured rounds (after warm-up rounds), as CPython's own
    leak hunter decides, and by at least one block for every other call. The
    interpreter's caches add a few blocks now and then; a leak grows with the calls."""
    def measure(fn, inner=200, warmups=3, runs=5):
        deltas = []
        for _ in range(warmups + runs):
            gc.collect()
            before = sys.getallocatedblocks()
            for _ in range(inner):
                fn()
            gc.collect()
            deltas.append(sys.getallocatedblocks() - before - 1)   # `before` itself is one block
        return all(d >= max(1, inner // 2) for d in deltas[warmups:])
    return measure


@pytest.fixture
def m():
    """A new empty model, disposed after the test."""
    import velmorpy
    model = velmorpy.Model()
    yield model
    model.dispose()


@pytest.fixture
def xyz(m):
    """Three continuous variables of `m` named x, y, z (indices 0, 1, 2)."""
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
