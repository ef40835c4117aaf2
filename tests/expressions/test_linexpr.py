"""LinExpr: construction, term editing, copy-on-write, in-place operators, refusals."""
import weakref

import numpy as np
import pytest

from velmorpy import LinExpr, QuadExpr, Var, VelmorError


def terms(e):
    return [(e.getCoeff(i), e.getVar(i).VarName) for i in range(e.size())]


def test_construction(xyz):
    x, y, z = xyz
    assert (terms(LinExpr()), LinExpr().getConstant()) == ([], 0.0)
    assert (terms(LinExpr(2)), LinExpr(2).getConstant()) == ([], 2.0)
    assert terms(LinExpr(x)) == [(1.0, "x")]
    assert terms(LinExpr([(1.0, x), (2.0, y)])) == [(1.0, "x"), (2.0, "y")]
    assert terms(LinExpr([(1.0, x, 7)])) == [(1.0, "x")]            # a third entry is not read
    assert terms(LinExpr([1, 0, 2], [x, y, z])) == [(1.0, "x"), (2.0, "z")]
    assert terms(LinExpr(np.array([3.0]), [y])) == [(3.0, "y")]
    for bad in ([(1.0,)], [5], np.array([[1, 2]])):
        with pytest.raises(VelmorError, match="^Each element should be a tuple or list with length 2$"):
            LinExpr(bad)
    class LenRaises(list):
        def __len__(self):
            raise ValueError("no length")
    for cls in (LinExpr, QuadExpr):  # the item's own error
        with pytest.raises(ValueError, match="^no length$"):
            cls([(1.0, x), LenRaises([2.0, y])])
    e = LinExpr()
    with pytest.raises(ValueError):
        e.__init__([(1.0, x), LenRaises([2.0, y])])
    assert terms(e) == [(1.0, "x")]  # the term before it stays
    with pytest.raises(VelmorError, match="^Expect a list of var$") as e:
        LinExpr([1, 2], [x, 5])
    assert e.value.errno == -1
    with pytest.raises(TypeError):
        LinExpr(None)
    assert type(LinExpr(x).getCoeff(0)) is float and LinExpr.__init__.__doc__.startswith("\n        SIGNATURE:")


def test_copy_on_write(xyz):
    x, y, z = xyz
    e = LinExpr([1, 2], [x, y])
    f = LinExpr(e)
    f.addTerms(1.0, y)
    e += z
    assert terms(e) == [(1.0, "x"), (2.0, "y"), (1.0, "z")]
    assert terms(f) == [(1.0, "x"), (2.0, "y"), (1.0, "y")]
    g = LinExpr(e)
    g *= 3
    assert terms(e)[0] == (1.0, "x") and terms(g)[0] == (3.0, "x")
    h = LinExpr(e)
    h.remove(x)
    h.clear()
    assert e.size() == 3


def test_addTerms_add_and_constants(xyz):
    x, y, z = xyz
    e = LinExpr()
    e.addTerms(0, x)                                                 # zero: nothing added
    e.addTerms("2.5", x)                                             # float() of the coefficient
    e.addTerms((1, 0, 3), [y, "never read", z])
    assert terms(e) == [(2.5, "x"), (1.0, "y"), (3.0, "z")]
    with pytest.raises(VelmorError, match="^Expect a var$"):
        e.addTerms(1, 5)
    with pytest.raises(IndexError):
        e.addTerms([1, 2], [x])                                      # vars runs out
    assert e.size() == 4                                             # the term before it stays
    f = LinExpr([1.0], [x])
    f.addConstant(2)
    e2 = LinExpr()
    e2.add(f, 0.0)
    assert (e2.size(), e2.getConstant()) == (0, 0.0)
    e2.add(f, 2.0)
    e2.add(f)
    assert terms(e2) == [(2.0, "x"), (1.0, "x")] and e2.getConstant() == 6.0 and terms(f) == [(1.0, "x")]
    e2.add(e2)                                                       # itself: the terms double
    assert e2.size() == 4 and e2.getConstant() == 12.0
    for bad in (None, x, QuadExpr()):
        with pytest.raises(TypeError, match="^Argument 'expr' has incorrect type"):
            e2.add(bad)
    e2.addConstant(np.float64(0.5))
    assert e2.getConstant() == 12.5 and type(e2.getConstant()) is float
    with pytest.raises(TypeError):
        e2.addConstant("a")


def test_positions_and_removal(xyz):
    x, y, z = xyz
    e = LinExpr([1, 2, 3, 4], [x, y, x, z])
    assert e.getCoeff(index=3) == 4.0 and e.getVar(1) is y
    for bad in (-1, 4):
        with pytest.raises(IndexError, match="^list index out of range$"):
            e.getCoeff(bad)
    with pytest.raises(OverflowError):
        e.getVar(2 ** 40)
    e.remove(10)
    e.remove(-1)
    assert e.size() == 4
    e.remove(x)                                                      # every term of x
    assert terms(e) == [(2.0, "y"), (4.0, "z")]
    e.remove(True)                                                   # True is the index 1
    assert terms(e) == [(2.0, "y")]
    with pytest.raises(TypeError, match="^Argument `item` should be an integer or Var$"):
        e.remove(1.5)
    e.addConstant(3)
    e.clear()
    assert (e.size(), e.getConstant()) == (0, 0.0)


def test_in_place_operators(xyz):
    x, y, z = xyz
    e = LinExpr([1], [x])
    same = e
    e += 3
    e += y
    e += LinExpr([2], [z])
    e -= x
    e -= 1
    assert e is same and terms(e) == [(1.0, "x"), (1.0, "y"), (2.0, "z"), (-1.0, "x")] and e.getConstant() == 2.0
    e *= 0
    assert terms(e) == [(0.0, "x"), (0.0, "y"), (0.0, "z"), (-0.0, "x")] and e.getConstant() == 0.0
    for op, other, text in [("+=", x * x, r"unsupport operation \+=: `LinExpr` and `QuadExpr`"),
                            ("+=", "a", r"unsupport operation \+=: `LinExpr` and `str`"),
                            ("*=", x, r"unsupport operation \*=: `LinExpr` and `Var`")]:
        with pytest.raises(TypeError, match=text):
            if op == "+=":
                e += other
            else:
                e *= other
    with pytest.raises(TypeError):
        e -= None                                                    # the negation's own error


def test_unconstructed_objects_refuse():
    e = LinExpr.__new__(LinExpr)
    for call in (e.size, e.getConstant, e.clear, e.getValue, lambda: e.addTerms(1, Var()), lambda: str(e),
                 lambda: e.getCoeff(0), lambda: e + 1):
        with pytest.raises(TypeError, match="Cannot convert NoneType to velmorpy.List"):
            call()


def test_subclass_methods_are_used_by_the_constructor(xyz):
    x, y, _ = xyz
    calls = []

    class Traced(LinExpr):
        def addTerms(self, coeffs, vars):
            calls.append(coeffs)
            return super().addTerms(coeffs, vars)

    t = Traced([(2.0, x), (3.0, y)])
    assert calls == [2.0, 3.0] and t.size() == 2 and isinstance(t + 1, LinExpr)


def test_cycles_and_leaks(xyz, collected, leaks):
    x, y, _ = xyz

    class Sub(LinExpr):
        pass

    def through_a_subclass():
        e = Sub(2.0, x)
        shared = LinExpr(e)                 # shares e's buffers
        e.partner = shared
        e.me = e
        return weakref.ref(e)

    assert collected(through_a_subclass)

    # Small expressions of plain Vars are left to reference counting; one
    # that holds a Var of a subclass (it has a __dict__) must stay collectable.
    class Tagged(Var):
        pass

    def through_a_var(make):
        def build():
            v = Tagged()
            v.__dict__["expr"] = make(v)
            return weakref.ref(v)
        return build

    for make in (lambda v: 2 * v, lambda v: v + x, lambda v: (x + 1) + v, lambda v: LinExpr(2 * v),
                 lambda v: 1.0 * (2 * x) + v * 3):
        assert collected(through_a_var(make))

    base = LinExpr([1.0, 2.0], [x, y])

    def work():
        e = LinExpr(base)
        e += x
        e -= base
        e *= 2.0
        e.remove(y)
        str(e)

    assert not leaks(work)
