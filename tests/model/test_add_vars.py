"""Model.addVars: keys and names, per-variable data, refusals, references."""
import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest

from velmorpy import VLM, Model, VelmorError, tupledict, tuplelist


@pytest.fixture
def m():
    model = Model("m")
    yield model
    model.dispose()


def attrs(m, name, tdict):
    return m.getAttr(name, list(tdict.values()))


def test_keys_names_and_indices(m):
    m.addVar()
    x = m.addVars(2, 3, name="x")
    assert type(x) is tupledict and list(x) == [(i, j) for i in range(2) for j in range(3)]
    assert [v.index for v in x.values()] == [1, 2, 3, 4, 5, 6] and m.getVars()[1:] == list(x.values())
    assert attrs(m, "VarName", x) == ["x[0,0]", "x[0,1]", "x[0,2]", "x[1,0]", "x[1,1]", "x[1,2]"]
    y = m.addVars([5, 7], name="y")
    assert list(y) == [5, 7] and attrs(m, "VarName", y) == ["y[5]", "y[7]"]
    z = m.addVars(tuplelist([(1, "a"), ("new york", 2)]), name="z")
    assert list(z) == [(1, "a"), ("new york", 2)]
    assert attrs(m, "VarName", z) == ["z[1,'a']", "z['newyork',2]"]     # blanks dropped, also inside strings
    w = m.addVars(["ab", b"cd"], [(1, 2)], name="w")                     # str and bytes stay whole
    assert list(w) == [("ab", 1, 2), (b"cd", 1, 2)] and attrs(m, "VarName", w) == ["w['ab',1,2]", "w[b'cd',1,2]"]
    odd = m.addVars(["it's", "\u00e9", 1.5, True, -(10 ** 30), None], name="o")
    assert attrs(m, "VarName", odd) == ['o["it\'s"]', "o['\u00e9']", "o[1.5]", "o[True]",
                                        "o[-1000000000000000000000000000000]", "o[None]"]
    assert list(m.addVars(range(2), "ab")) == [(0, "a"), (0, "b"), (1, "a"), (1, "b")]
    assert m.NumVars == len(m.getVars()) == 1 + 6 + 2 + 2 + 2 + 6 + 4


def test_repeated_and_empty_indices(m):
    d = m.addVars([1, 1], name="d")
    assert list(d) == [1] and d[1].index == 1 and m.NumVars == 2     # both exist; the later one is kept
    assert len(m.addVars(0)) == 0 and len(m.addVars(3, [])) == 0 and m.NumVars == 2
    with pytest.raises(ValueError, match="^empty indices$"):
        m.addVars()
    with pytest.raises(ValueError, match="^empty indices$"):
        m.addVars(name="x")
    assert len(m.addVars(-2**70)) == 0 and len(m.addVars(range(3), range(-2**70))) == 0
    # More keys than a model can hold are refused before any index is read:
    # building 2**31 keys first would take minutes and all the memory.
    for indices in [(2**31,), (2**70,), (2**20, 2**12), (range(2**40), 0), (range(2**31 - 2),)]:
        with pytest.raises(OverflowError, match="^value too large to convert to int$"):
            m.addVars(*indices)
    assert m.NumVars == 2


def test_data_per_variable(m):
    x = m.addVars(2, 2, lb=[[1, 2], [3, 4]], ub=np.asfortranarray([[5.0, 6.0], [7.0, 8.0]]), obj=range(4),
                  vtype=["B", "I", "C", "N"], name=["p", "q", "r", 4])
    assert attrs(m, "LB", x) == [1.0, 2.0, 3.0, 4.0]
    assert attrs(m, "UB", x) == [5.0, 6.0, 7.0, 8.0]                   # row-major, whatever the layout
    assert attrs(m, "Obj", x) == [0.0, 1.0, 2.0, 3.0]
    assert attrs(m, "VType", x) == [b"B", b"I", b"C", b"N"]
    assert attrs(m, "VarName", x) == ["p", "q", "r", "4"]
    y = m.addVars(3, lb=-1, ub=2.5, obj=np.float32(1.5), vtype=b"Integer", name=np.array(["a", "b", "c"]))
    assert attrs(m, "LB", y) == [-1.0] * 3 and attrs(m, "UB", y) == [2.5] * 3 and attrs(m, "Obj", y) == [1.5] * 3
    assert attrs(m, "VType", y) == [b"I"] * 3 and attrs(m, "VarName", y) == ["a", "b", "c"]
    z = m.addVars(2, ub=[float("inf"), 5], vtype=np.array([b"S", b"B"]))
    assert attrs(m, "UB", z) == [1e20, 5.0] and attrs(m, "VType", z) == [b"S", b"B"]


@pytest.mark.parametrize("kwargs", [
    dict(lb=0), dict(lb=0.0), dict(lb=False), dict(lb=None), dict(lb=np.float64(0)),
    dict(ub=float("inf")), dict(ub=1e20), dict(ub=1e30), dict(ub=None),
    dict(obj=0), dict(obj=None), dict(vtype="c"), dict(vtype=b"C"), dict(vtype=None),
    dict(name=""), dict(name=None),
])
def test_defaults(m, kwargs):
    x = m.addVars(2, **kwargs)
    assert attrs(m, "LB", x) == [0.0, 0.0] and attrs(m, "UB", x) == [1e20, 1e20]
    assert attrs(m, "Obj", x) == [0.0, 0.0] and attrs(m, "VType", x) == [b"C", b"C"]
    assert attrs(m, "VarName", x) == ["", ""]


def test_refusals_add_nothing(m):
    m.addVar()
    cases = [
        (ValueError, "lb doesn't have enough elements", dict(lb=[1, 2])),
        (ValueError, "lb doesn't have enough elements", dict(lb=[1, 2, 3, 4])),
        (ValueError, "lb doesn't have enough elements", dict(lb=np.array([0.0]))),   # one item is no scalar
        (ValueError, "ub doesn't have enough elements", dict(ub=np.array([1e20]))),
        (ValueError, "obj doesn't have enough elements", dict(obj=[0])),
        (ValueError, "vtype doesn't have enough elements", dict(vtype=["C"])),
        (ValueError, "names doesn't have enough elements", dict(name=[""])),
        (TypeError, "vtype should be str or byte", dict(vtype=5)),
        (TypeError, "vtype contains bad type NoneType at 1", dict(vtype=["B", None, "C"])),
        (TypeError, "vtype contains bad type float64 at 0", dict(vtype=np.array([1.5, 2, 3]))),
        (IndexError, "index out of range", dict(vtype="")),
        (IndexError, "index out of range", dict(vtype=["B", "", "C"])),
        (ValueError, "embedded null character", dict(name="x\0")),
        (ValueError, "embedded null character", dict(name=["a", "b\0", "c"])),
        (TypeError, "float() argument must be a string or a real number, not 'dict'", dict(lb={1: [2]})),
        (ValueError, "could not convert string to float: 'a'", dict(ub=["a", 1, 2])),
    ]
    for exc, text, kwargs in cases:
        with pytest.raises(exc) as e:
            m.addVars(3, **kwargs)
        assert str(e.value) == text, kwargs
    # Values only the library judges: a type letter, NaN; a list mixing str and
    # numbers becomes strings, so 1 is the letter "1".
    for kwargs in [dict(vtype="Q"), dict(vtype=["B", 1, "C"]), dict(lb=float("nan")), dict(obj=[0, float("inf"), 0])]:
        with pytest.raises(VelmorError):
            m.addVars(3, **kwargs)
    assert m.NumVars == 1 and len(m.getVars()) == 1


def test_a_disposed_model_refuses(m):
    m.dispose()
    with pytest.raises(VelmorError) as e:
        m.addVars(2)
    assert e.value.errno == VLM.Error.INVALID_ARGUMENT


def test_keeps_no_reference_to_its_arguments(m, leaks):
    name = "".join(["n", "1"])
    keys = ["".join(["k", str(i)]) for i in range(3)]
    lb = [1.0, 2.0, 3.0]
    before = [sys.getrefcount(o) for o in [name, lb] + keys]
    for _ in range(50):
        m.addVars(keys, lb=lb, name=name)
        with pytest.raises(ValueError):
            m.addVars(keys, lb=lb[:2], name=name)
    assert [sys.getrefcount(o) for o in [name, lb] + keys] == before

    def batch_on_a_new_model():
        fresh = Model()
        fresh.addVars(2, [("a", 1)], ub=[1, 2], vtype=["B", "I"], name="x")
        try:
            fresh.addVars(2, vtype=["B", None])
        except TypeError:
            pass
        fresh.dispose()
    assert not leaks(batch_on_a_new_model, inner=50)


def test_data_that_renews_the_model_meanwhile_is_refused():
    # Naming the variables runs repr() of the keys, and spreading a bound its
    # __float__; under the debug allocator a freed holder or list would be caught.
    code = textwrap.dedent("""
        import velmorpy
        m = velmorpy.Model()
        class Evil:
            def __repr__(self):
                m.__init__()
                return "evil"
            def __float__(self):
                m.__init__()
                return 1.0
        for call in [lambda: m.addVars([Evil()], name="x"), lambda: m.addVars(2, ub=Evil())]:
            try:
                call()
            except velmorpy.VelmorError as e:
                print("refused", e.errno, m.NumVars, len(m.getVars()))
    """)
    env = dict(os.environ, PYTHONPATH=":".join(sys.path), PYTHONMALLOC="malloc_debug")
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env)
    assert out.returncode == 0, out.stderr
    assert out.stdout.split("\n") == ["refused -3 0 0"] * 2 + [""]
