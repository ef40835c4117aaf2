"""Model attribute routing, private attributes, getAttr/setAttr forms, the
Params properties, handle lists and look-ups by name."""
import inspect

import numpy as np
import pytest

import velmorpy
from velmorpy import Model, Var


@pytest.fixture
def m():
    model = Model("m")
    yield model
    model.dispose()


def test_model_attributes_read_and_written_as_object_attributes(m):
    assert m.modelname == m.ModelName == m.getAttr("modelname") == "m"
    m.modelname = "renamed"
    assert m.getAttr("ModelName") == "renamed"
    m.setAttr("ModelName", "again")
    assert m.ProbName == "again"
    assert m.setAttr("ObjCon", 2.5) is None and m.ObjCon == 2.5


def test_private_attributes_stay_on_the_python_side(m):
    m._data = {"k": 1}
    m._data["k"] += 1
    m._calls = 0
    m._calls += 1
    assert m._data == {"k": 2} and m._calls == 1
    assert not hasattr(m, "_missing") and getattr(m, "_missing", "default") == "default"
    with pytest.raises(KeyError) as e:
        m._missing
    assert isinstance(e.value, AttributeError) and e.value.args == ("_missing",)
    with pytest.raises(AttributeError):
        del m._data                                             # the interpreter's deletion: no instance dict
    with pytest.raises(AttributeError, match=r"'velmorpy.Model' object has no attribute '__missing'"):
        m.__missing
    with pytest.raises(AttributeError):
        m.__dunder__ = 1
    with pytest.raises(AttributeError, match=r"^Attribute `Data` does not exist$"):
        m.Data = 1


def test_params_properties(m):
    assert isinstance(m.Params, velmorpy.ParamClass) and m.Params is m.params
    with pytest.raises(AttributeError, match=r"^Attribute `Params` does not exist$"):
        m.Params = None                                         # assignment is routed to the model attributes
    p = m.Params
    Model.Params.__set__(m, None)
    assert m.Params is None and m.params is p                   # the setter changes one field
    Model.Params.__set__(m, p)
    del m.params
    assert m.params is None and m.Params is p
    with pytest.raises(TypeError, match=r"^Cannot convert int to velmorpy.ParamClass$"):
        Model.Params.__set__(m, 5)


def test_getAttr_forms(m):
    x, y = m.addVar(ub=1, name="x"), m.addVar(ub=2, name="y")
    assert type(m.getAttr("NumVars")) is np.int32 and m.getAttr("NumVars") == 2
    assert type(m.getAttr("UB", x)) is np.float64 and m.getAttr("UB", x) == 1.0
    assert m.getAttr("UB", [x, y]) == [1.0, 2.0] and all(type(v) is float for v in m.getAttr("UB", [x, y]))
    assert m.getAttr("UB", []) == []
    assert m.getAttr(attrname="UB", objs=(y,)) == [2.0]


def test_setAttr_forms(m):
    x, y = m.addVar(name="x"), m.addVar(name="y")
    m.setAttr("UB", x, 3)
    m.setAttr("LB", [x, y], [1, 2])
    assert m.getAttr("UB", [x, y]) == [3.0, 1e20] and m.getAttr("LB", [x, y]) == [1.0, 2.0]
    with pytest.raises(ValueError, match="^objs is None$"):
        m.setAttr("UB", None, [1.0])
    with pytest.raises(ValueError, match="^invalid newvalues$"):
        m.setAttr("UB", x, [1.0])
    with pytest.raises(ValueError, match="^invalid newvalues$"):
        m.setAttr("LB", [x, y], 0.0)
    with pytest.raises(TypeError, match=r"^setAttr\(\) takes at least 2 positional arguments \(1 given\)$"):
        m.setAttr("UB")
    assert m.getAttr("LB", [x, y]) == [1.0, 2.0]


def test_handle_lists_are_new_lists(m):
    x = m.addVar()
    got = m.getVars()
    assert got == [x] and got is not m.getVars() and m.getVars()[0] is x
    got.append("junk")
    got.clear()
    assert m.getVars() == [x] and m.getConstrs() == [] and m.getConstrs() is not m.getConstrs()


def test_lookups_by_name(m):
    x = m.addVar(name="x")
    m.addVar(name="x")                                          # the first of a name is found
    assert m.getVarByName("x") is x and m.getVarByName(name="nope") is None
    assert m.getConstrByName("c") is None
    for call, got in [(lambda: m.getVarByName(None), "NoneType"), (lambda: m.getVarByName(b"x"), "bytes"),
                      (lambda: m.getConstrByName(1), "int")]:
        with pytest.raises(TypeError) as e:
            call()
        assert str(e.value) == f"Argument 'name' has incorrect type (expected str, got {got})"


def test_method_surface():
    assert Model.__getmetaclass__(None).__dir__(None) == [
        "copy", "dispose", "addVar", "addMVar", "addVars", "addPsdVar", "addConstr", "addConstrs", "addLConstr",
        "addMConstr", "addSOS", "addGenConstrIndicator", "addRange", "getVars", "getConstrs", "getGenConstrs",
        "getSOSs", "getPsdVars", "getPsdConstrs", "getCol", "getRow", "getSOS", "getGenConstrIndicator", "getA",
        "getConstrByName", "getVarByName", "chgCoeff", "getCoeff", "remove",
        "setObjective", "getObjective", "setAttr",
        "getAttr", "setParam", "resetParams", "getParamInfo", "optimize", "computeIIS", "cbCut", "cbBranch", "cbGet",
        "cbGetNodeRel", "cbGetSolution", "cbSetSolution", "cbUseSolution", "terminate", "reset", "message", "read",
        "write"]
    assert Model.__dict__["addVar"].__qualname__ == "Model.addVar"
    assert Model.addVar.__defaults__ == (0.0, 1e20, 0.0, "C", "", None)
    assert str(inspect.signature(Model.getAttr)) == "(self, attrname, objs=None)"
    assert str(inspect.signature(Model.setAttr)) == "(self, attrname, objs, newvalues=None)"
    assert str(inspect.signature(Model.addVars)) == "(self, *indices, lb=0.0, ub=1e+20, obj=0.0, vtype='C', name='')"
    assert Model.addVars.__defaults__ is None and list(Model.addVars.__kwdefaults__.items()) == [
        ("lb", 0.0), ("ub", 1e20), ("obj", 0.0), ("vtype", "C"), ("name", "")]
    assert Model.setObjective.__defaults__ == (2000000000,) and Model.addConstr.__defaults__ == ("",)
    assert str(inspect.signature(Model.addLConstr)) == "(self, lhs, sense=None, rhs=None, name='')"
    assert Model.__dict__["optimize"].__qualname__ == "Model.optimize" and Model.reset.__defaults__ == (0,)
    for name in ["optimize", "terminate", "reset", "message", "read", "write", "addVars", "addConstr", "addLConstr",
                 "addRange", "addConstrs",
                 "setObjective", "getObjective"]:
        doc = getattr(Model, name).__doc__
        assert all(part in doc for part in ["SIGNATURE:", "PURPOSE:", "ARGUMENTS:", "EXAMPLE:"]), name
    assert Model.__init__.__doc__.startswith("\n        SIGNATURE:\n            __init__(name='', env=None)\n")
    for name in Model.__getmetaclass__(None).__dir__(None):
        assert getattr(Model, name).__doc__.lstrip().startswith("SIGNATURE:")
