"""Item handles: identity, hashing, index, text form, attribute routing, and
use after their model is gone."""
import gc
import sys

import numpy as np
import pytest

import velmorpy
from velmorpy import Constr, GenConstr, Model, PsdConstr, PsdVar, SOS, Var, VelmorError

HANDLES = [(Var, "var"), (Constr, "constr"), (SOS, "sos"), (GenConstr, "genconstr"), (PsdVar, "var"),
           (PsdConstr, "constr")]


@pytest.fixture
def m():
    model = Model("m")
    yield model
    model.dispose()


def test_same_item_same_model():
    m1, m2 = Model(), Model()
    x1, y1 = m1.addVar(), m1.addVar()
    x2 = m2.addVar()
    assert x1.sameAs(x1) and x1.sameAs(var=m1.getVars()[0])
    assert not x1.sameAs(y1)
    assert not x1.sameAs(x2) and x1.index == x2.index           # same index, other model
    assert not x1.sameAs(m1.copy().getVars()[0])
    assert Var().sameAs(Var())                                  # both unbound, index 0
    assert x1 == x1 and x1 != y1                                # no comparison of its own yet: identity


@pytest.mark.parametrize("cls, arg", HANDLES)
def test_sameAs_takes_only_its_own_class(cls, arg):
    h = cls()
    other = Constr() if cls is not Constr else Var()
    for bad, got in [(other, type(other).__module__ + "." + type(other).__name__), (None, "NoneType"), (1, "int")]:
        with pytest.raises(TypeError) as e:
            h.sameAs(bad)
        assert str(e.value) == f"Argument '{arg}' has incorrect type (expected velmorpy.{cls.__name__}, got {got})"
    assert h.sameAs(**{arg: cls()})

    class Sub(cls):
        pass
    assert h.sameAs(Sub()) and Sub().sameAs(h)


@pytest.mark.parametrize("cls, arg", HANDLES)
def test_hash_is_the_index_and_index_is_read_only(cls, arg):
    h = cls()
    assert hash(h) == h.index == 0 and type(h.index) is int
    with pytest.raises(AttributeError, match=r"^Attribute `index` does not exist$"):
        h.index = 5                                             # every assignment is a solver attribute ...
    with pytest.raises(TypeError, match=r"^Value is readonly$"):
        cls.index.fset(h, 5)                                    # ... the property's own setter refuses
    with pytest.raises(AttributeError):
        del h.index
    assert h.index == 0
    assert cls.index.__doc__ and cls.__getmetaclass__(h).__dir__(None)[-1] == "index"


def test_variables_hash_by_index_and_meet_in_one_entry(m):
    x, y = m.addVar(name="x"), m.addVar(name="y")
    assert (hash(x), hash(y)) == (0, 1)
    d = {x: "x", y: "y"}
    assert d[m.getVarByName("x")] == "x" and d[m.getVars()[1]] == "y"
    with pytest.raises(AttributeError, match=r"^Attribute `index` does not exist$"):
        y.index = 5
    assert y.index == 1
    assert isinstance(x, velmorpy.Operand)
    with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for hash\(\): `Operand`$"):
        hash(velmorpy.Operand())


def test_text_forms(m):
    x = m.addVar(name="x")
    assert str(x) == repr(x) == "<Var x>"
    assert str(m.addVar()) == "<Var >"
    x.VarName = "renamed"
    assert str(x) == "<Var renamed>"                            # read afresh each time
    assert str(SOS()) == "<SOS 0>" == repr(SOS())               # the index: no library call, even unbound
    with pytest.raises(VelmorError):
        str(Var())


def test_attribute_access_is_solver_attribute_access(m):
    x = m.addVar(ub=2, name="x")
    assert x.ub == x.UB == x.getAttr("UB") == x.__getattr__("ub") == 2.0
    x.ub = 7
    assert x.UB == 7.0
    x.setAttr(attrname="lb", attrvalue=1)
    assert x.LB == 1.0
    with pytest.raises(AttributeError):
        del x.ub
    with pytest.raises(AttributeError, match=r"^Attribute `getAttr` does not exist$"):
        x.getAttr = None                                        # assignments never reach the class
    assert x.getAttr.__qualname__ == "Var.getAttr" and x.getAttr.__module__ == "velmorpy"
    with pytest.raises(ValueError, match=r"^the number of values \(2\) differs from the number of objects \(1\)$"):
        x.ub = [1.0, 2.0]


def test_subclassed_handles_route_the_same_way(m):
    class MyVar(Var):
        def twice_ub(self):
            return 2 * self.UB

    v = MyVar()
    assert v.index == 0 and isinstance(v, velmorpy.Operand)
    with pytest.raises(VelmorError):
        v.twice_ub()


def test_use_after_dispose_and_unbound_handles(m):
    x = m.addVar(name="x")
    m.dispose()
    for call in [lambda: x.ub, lambda: x.getAttr("UB"), lambda: setattr(x, "ub", 1.0), lambda: x.setAttr("UB", 1),
                 lambda: str(x), lambda: Var().ub, lambda: Constr().getAttr("RHS"),
                 lambda: PsdVar().dim, lambda: setattr(GenConstr(), "x", 1)]:
        with pytest.raises(VelmorError) as e:
            call()
        assert e.value.errno == -3
    assert x.index == 0 and hash(x) == 0 and x.sameAs(x)        # no library call: still answered
    assert not hasattr(x, "__array__") and not hasattr(Var(), "noSuchName")
    assert np.array([x, Var()]).shape == (2,)                   # NumPy's probes see plain missing attributes
    with pytest.raises(AttributeError, match=r"^Attribute `noSuchName` does not exist$"):
        x.noSuchName
    assert Var(1, 2, key=3).index == 0


def test_handles_do_not_keep_their_model():
    m = Model()
    x = m.addVar()
    del m
    gc.collect()
    with pytest.raises(VelmorError) as e:
        x.ub
    assert e.value.errno == -3


def test_psdvar_array_priority():
    assert PsdVar().__array_priority__ == 1000.0 and type(PsdVar().__array_priority__) is float
    assert "__array_priority__" not in PsdVar.__getmetaclass__(None).__dir__(None)


def test_documented_members_and_constructor():
    for cls, _ in HANDLES:
        own = ["__mul__"] if cls is PsdVar else []               # the slot wrapper of its multiplication
        assert cls.__getmetaclass__(None).__dir__(None) == own + ["sameAs", "getAttr", "setAttr", "index"]
        assert cls.sameAs.__doc__.lstrip().startswith("SIGNATURE:")
        assert "case-insensitive" in cls.getAttr.__doc__ and "case-insensitive" in cls.setAttr.__doc__
    assert Var.index.__doc__ == "The index position of the variable."
    assert PsdConstr.index.__doc__ == "Index position of PsdConstr"
    assert Var.__init__.__doc__ == object.__init__.__doc__


def test_reads_and_writes_leak_nothing(m, leaks):
    x = m.addVar(name="x")
    name = "".join(["U", "B"])
    value = float("3.25")
    getattr(x, name)                                            # the class's look-up cache keeps the name
    before = (sys.getrefcount(name), sys.getrefcount(value))
    for _ in range(200):
        x.setAttr(name, value)
        x.getAttr(name)
        getattr(x, name)
    assert (sys.getrefcount(name), sys.getrefcount(value)) == before

    for fn in [lambda: x.UB, lambda: setattr(x, "ub", 2.0), lambda: x.VarName, lambda: x.VType,
               lambda: m.getAttr("UB", [x, x]), lambda: str(x), lambda: x.sameAs(x)]:
        assert not leaks(fn, inner=300)

    def failing():
        try:
            x.noSuchAttribute
        except AttributeError:
            pass
    assert not leaks(failing, inner=300)


def test_misses_keep_their_texts_and_never_reach_the_library(m):
    x = m.addVar(name="x")
    for h in (x, Var(), Constr()):
        with pytest.raises(AttributeError, match=r"^Attribute `__array_interface__` does not exist$"):
            h.__array_interface__
        assert getattr(h, "__array_struct__", 7) == 7 and getattr(h, "noSuchName", 7) == 7
    with pytest.raises(AttributeError, match=r"^Attribute `RHS` does not exist$"):
        x.RHS                                                   # an attribute of another kind
    assert x.__class__ is Var and x.__doc__ == Var.__doc__
    m.dispose()
    assert not hasattr(x, "__array__") and not hasattr(x, "noSuchName")   # no VelmorError for a miss

    class Sub(Var):
        pass
    s = Sub()
    s.__dict__["own"] = 1                                       # found before the solver attributes
    assert s.own == 1 and getattr(s, "__missing__", None) is None


def test_names_that_are_str_subclasses_are_folded_by_their_own_methods(m):
    class Name(str):
        def replace(self, old, new):
            return "UB"
    x = m.addVar(ub=4)
    assert getattr(x, Name("anything")) == 4.0
