"""Model.addVar: defaults, conversions, refusals and the column argument."""
import gc
import sys

import pytest

from velmorpy import Column, Constr, Model, Var, VelmorError


@pytest.fixture
def m():
    model = Model("m")
    yield model
    model.dispose()


def test_defaults(m):
    m.addVar()
    x = m.addVar()
    assert isinstance(x, Var) and x.index == 1 and m.getVars()[-1] is x and m.NumVars == 2
    assert (x.LB, x.UB, x.Obj, x.VType, x.VarName) == (0.0, 1e20, 0.0, b"C", "")


def test_arguments(m):
    class Half:
        def __float__(self):
            return 0.5

    x = m.addVar(Half(), 4, 2, "I", "x")
    assert (x.LB, x.UB, x.Obj, x.VType, x.VarName) == (0.5, 4.0, 2.0, b"I", "x")
    assert m.addVar(vtype="BINARY").VType == b"B"                # the first character decides
    assert m.addVar(name=None).VarName == ""
    assert m.addVar(ub=float("inf")).UB == 1e20                 # infinite bounds read back as the library's infinity
    assert m.addVar(name="\u00e9").VarName == "\u00e9"


def test_refusals_leave_the_model_unchanged(m):
    m.addVar()
    cases = [
        (TypeError, "must be real number, not str", lambda: m.addVar(lb="a")),
        (TypeError, "Argument 'vtype' has incorrect type (expected str, got NoneType)", lambda: m.addVar(vtype=None)),
        (TypeError, "Argument 'vtype' has incorrect type (expected str, got bytes)", lambda: m.addVar(vtype=b"C")),
        (TypeError, "Argument 'name' has incorrect type (expected str, got int)", lambda: m.addVar(name=1)),
        (TypeError, "Argument 'column' has incorrect type (expected Column, got list)",
         lambda: m.addVar(column=[])),
        (TypeError, "addVar() takes at most 6 positional arguments (7 given)", lambda: m.addVar(0, 1, 0, "C", "", None, 1)),
        (TypeError, "addVar() got an unexpected keyword argument 'type'", lambda: m.addVar(type="C")),
        (ValueError, "embedded null character", lambda: m.addVar(name="a\0")),
        (ValueError, "Argument `column` holds an item of another model", lambda: m.addVar(column=Column(1, Constr()))),
    ]
    for exc, text, call in cases:
        with pytest.raises(exc) as e:
            call()
        assert str(e.value) == text
    for call in [lambda: m.addVar(vtype=""), lambda: m.addVar(vtype="Q"), lambda: m.addVar(lb=float("nan"))]:
        with pytest.raises(VelmorError):                        # the library judges the type letter and values
            call()
    assert m.NumVars == 1 and len(m.getVars()) == 1


def test_empty_column(m):
    x = m.addVar(column=Column())
    assert x.index == 0 and m.NumEnts == 0


def test_keeps_no_reference_to_its_arguments(m):
    name = "".join(["n", "1"])
    vtype = "".join(["C", "x"])
    col = Column()
    before = [sys.getrefcount(o) for o in (name, vtype, col)]
    for _ in range(100):
        m.addVar(1.0, 2.0, 0.0, vtype, name, col)
    assert [sys.getrefcount(o) for o in (name, vtype, col)] == before
    gc.collect()
    assert m.NumVars == 100
