"""Model construction, copy, dispose, finalisation and garbage collection."""
import gc
import sys
import weakref

import pytest

import velmorpy
from velmorpy import Env, Model, VelmorError


def errno_of(call):
    with pytest.raises(VelmorError) as e:
        call()
    return e.value.errno


def test_construction_forms():
    m = Model()
    assert m.ModelName == "" and m.NumVars == 0 and m.getVars() == [] and m.getConstrs() == []
    assert m.Params is m.params and m.Params.MaxTime == 1e20
    assert Model("named").ModelName == "named"
    env = Env()
    assert Model(name="e", env=env).ModelName == "e"
    env.dispose()                                               # a model keeps its own copy of the environment
    velmorpy.disposeDefaultEnv()
    assert Model("again").NumVars == 0                          # the default environment is made again


def test_construction_refusals():
    cases = [
        (lambda: Model(5), "Argument 'name' has incorrect type (expected str, got int)"),
        (lambda: Model(name=None), "Argument 'name' has incorrect type (expected str, got NoneType)"),
        (lambda: Model("m", 5), "Argument 'env' has incorrect type (expected velmorpy.Env, got int)"),
        (lambda: Model("m", None, False, 1), "__init__() takes at most 3 positional arguments (4 given)"),
        (lambda: Model(nam="m"), "__init__() got an unexpected keyword argument 'nam'"),
    ]
    for call, text in cases:
        with pytest.raises(TypeError) as e:
            call()
        assert str(e.value) == text
    with pytest.raises(ValueError, match="^embedded null character$"):
        Model("a\0b")
    env = Env()
    env.dispose()
    assert errno_of(lambda: Model(env=env)) == -3


def test_empty_and_uninitialised_models_make_no_library_call():
    m = Model(empty=True)
    assert m.getVars() == [] and m.Params is None
    m.dispose()
    m.dispose()
    for call in [lambda: m.NumVars, lambda: m.addVar(), lambda: m.copy(), lambda: m.getVarByName("x"),
                 lambda: m.getAttr("NumVars"), lambda: setattr(m, "ModelName", "x")]:
        assert errno_of(call) == -3
    bare = Model.__new__(Model)
    assert bare.Params is None
    for call in [lambda: bare.getVars(), lambda: bare.NumVars, lambda: bare.addVar(), lambda: bare.copy()]:
        assert errno_of(call) == -3
    bare._note = 1                                              # private attributes need no library model
    assert bare._note == 1


def test_copy_is_independent():
    m = Model("orig")
    x = m.addVar(ub=5, name="x")
    m.addVar(vtype="B", name="b")
    c = m.copy()
    assert type(c) is Model and c.Params is None
    assert c.ModelName == "orig" and c.NumVars == 2 and len(c.getVars()) == 2
    cx, cb = c.getVars()
    assert (cx.index, cb.index) == (0, 1) and not cx.sameAs(x)
    assert c.getAttr("VarName", [cx, cb]) == ["x", "b"] and cb.VType == b"B"
    cx.UB = 1
    c.addVar(name="only_in_copy")
    c.ModelName = "copy"
    assert x.UB == 5.0 and m.NumVars == 2 and m.ModelName == "orig"
    m.dispose()
    assert cx.UB == 1.0 and c.NumVars == 3                      # the copy outlives its source
    assert errno_of(lambda: m.copy()) == -3
    c.dispose()


def test_dispose_twice_and_use_after_dispose():
    m = Model()
    x = m.addVar()
    handles = m.getVars()
    assert m.dispose() is None and m.dispose() is None
    for call in [lambda: m.NumVars, lambda: m.addVar(), lambda: x.ub, lambda: m.getAttr("UB", [x]),
                 lambda: m.setAttr("UB", [x], [1.0]), lambda: m.getVarByName("x")]:
        assert errno_of(call) == -3
    assert len(m.getVars()) == 1 and m.getVars()[0] is handles[0]


def test_second_init_frees_the_first_model():
    m = Model("first")
    x = m.addVar()
    Model.__init__(m, "second")
    assert m.ModelName == "second" and m.getVars() == [] and m.NumVars == 0
    assert errno_of(lambda: x.ub) == -3


def test_finaliser_disposes_and_reports_failures(monkeypatch):
    reports = []
    monkeypatch.setattr(sys, "unraisablehook", lambda u: reports.append((u.exc_type, str(u.exc_value), u.object)))

    class Failing(Model):
        def dispose(self):
            raise RuntimeError("refused")

    m = Failing()
    x = m.addVar()
    del m
    gc.collect()
    assert reports == [(RuntimeError, "refused", "velmorpy.Model.__del__")]
    assert errno_of(lambda: x.ub) == -3                         # freed at C level all the same

    class Counting(Model):
        calls = 0

        def dispose(self):
            Counting.calls += 1
            super().dispose()

    m = Counting()
    del m
    gc.collect()
    assert Counting.calls == 1


def test_cycles_through_private_attributes_are_collected():
    class Node:
        pass

    def build():
        m = Model()
        x = m.addVar()
        node = Node()
        node.model = m
        m._node = node
        m._self = m
        return weakref.ref(node), x

    gc.collect()
    ref, x = build()
    gc.collect()
    assert ref() is None
    assert errno_of(lambda: x.ub) == -3                         # collected: finalised, library model freed


def test_cycle_through_a_subclass_dictionary_is_collected():
    class MyModel(Model):
        pass

    def build():
        m = MyModel()
        m.__dict__["me"] = m
        m._list = [m]
        return weakref.ref(m)

    gc.collect()
    ref = build()
    gc.collect()
    assert ref() is None


def test_repeated_models_leak_nothing(leaks):
    def cycle():
        m = Model("leak")
        x = m.addVar(name="x")
        x.ub = 2
        m.copy().dispose()
        m.dispose()

    assert not leaks(cycle, inner=100)
