"""Objects holding library handles or shared term buffers refuse pickling, naming their fields."""
import copy
import pickle

import numpy as np
import pytest

import velmorpy
from velmorpy import Env, LinExpr, Model, TempConstr, tuplelist

MDL = r"^self\.mdl_ cannot be converted to a Python object for pickling$"
ENV = r"^self\.env_ cannot be converted to a Python object for pickling$"
LIST = r"^self\.list_ cannot be converted to a Python object for pickling$"
MODEL = r"^self\.cbdata_,self\.mdl_ cannot be converted to a Python object for pickling$"


class MyModel(Model):
    pass


def refuses(obj, message):
    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
        with pytest.raises(TypeError, match=message):
            pickle.dumps(obj, protocol)
    with pytest.raises(TypeError, match=message):
        copy.deepcopy(obj)


def test_handles_models_and_environments(m, xyz):
    x, y, z = xyz
    c = m.addConstr(x + y <= 1)
    refuses(x, MDL)
    refuses([x, y], MDL)
    refuses(c, MDL)
    refuses(velmorpy.SOS(), MDL)
    refuses({"key": (1, c)}, MDL)
    refuses(m, MODEL)
    refuses(MyModel(), MODEL)                                          # inherited with its message
    refuses(m.Params, ENV)
    env = Env.__new__(Env)
    refuses(env, ENV)
    refuses(velmorpy.ParamClass(), ENV)
    refuses(tuplelist([(x, 1)]), MDL)                                  # reached through the items


def test_expressions_refuse_through_their_term_lists(xyz):
    x, y, z = xyz
    refuses(velmorpy.List([1.0]), LIST)
    refuses(x + 1, LIST)
    refuses(LinExpr(), LIST)                                           # term lists present, even empty
    refuses(x * y, LIST)
    refuses(x <= y, LIST)                                              # a TempConstr holding a LinExpr
    refuses(TempConstr.new(x + 0, 0, None), LIST)
    assert (x + 1).__reduce__()[0] is velmorpy._unpickle_LinExpr       # __reduce__ itself answers


def test_matrix_classes_refuse_through_their_cells(m):
    x = m.addMVar((2, 3))
    refuses(x, MDL)
    refuses(x[0], MDL)
    refuses(x.sum(axis=0), LIST)                                       # an MLinExpr
    refuses(x * x, LIST)                                               # an MQuadExpr
    refuses(velmorpy.MLinExpr.zeros((2,)), LIST)                       # empty expressions hold term lists too
    constrs = velmorpy.MConstr.__new__(velmorpy.MConstr)
    constrs.__setstate__((np.array([m.addConstr(x.tolist()[0][0] <= 1)], dtype=object),))
    refuses(constrs, MDL)


def test_refusing_pair_leaves_the_object_alone(m, xyz):
    x, y, z = xyz
    c = m.addConstr(x <= 1, name="c")
    with pytest.raises(TypeError, match=MDL):
        c.__setstate__((1, 2))
    with pytest.raises(TypeError, match=r"^__setstate__\(\) takes exactly 1 positional argument \(0 given\)$"):
        c.__setstate__()
    with pytest.raises(TypeError, match=MDL):
        y.__reduce__()
    assert c.ConstrName == "c" and c.index == 0
    lst = velmorpy.List([1])
    with pytest.raises(TypeError, match=r"^__reduce__\(\) takes exactly 0 positional arguments \(1 given\)$"):
        lst.__reduce__(1)
    with pytest.raises(TypeError, match=r"^__reduce__\(\) got an unexpected keyword argument 'x'$"):
        lst.__reduce__(x=1)
    with pytest.raises(TypeError, match=MODEL):
        m.__setstate__(None)
    with pytest.raises(TypeError, match=ENV):
        m.Params.__reduce__()
    assert m.NumVars == 3


def test_every_class_carries_a_pair():
    for name in ("Var", "Constr", "SOS", "GenConstr", "PsdVar", "PsdConstr", "List", "Env", "ParamClass", "Model",
                 "Operand", "tuplelist", "tupledict", "LinExpr", "QuadExpr", "PsdExpr", "TempConstr", "Column"):
        cls = getattr(velmorpy, name)
        assert "__reduce__" in cls.__dict__ and "__setstate__" in cls.__dict__, name
        assert cls.__dict__["__reduce__"].__qualname__ == name + ".__reduce__"
    # VelmorError keeps the pickling of exceptions (with its code and text).
    assert "__setstate__" not in velmorpy.VelmorError.__dict__
