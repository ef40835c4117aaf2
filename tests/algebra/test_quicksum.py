"""quicksum: one pass over numbers, variables and expressions."""
import numpy as np
import pytest

import velmorpy
from velmorpy import LinExpr, QuadExpr, quicksum


def lin(e):
    assert type(e) is LinExpr
    return [(e.getCoeff(i), e.getVar(i).VarName) for i in range(e.size())], e.getConstant()


def test_sums(xyz):
    x, y, z = xyz
    assert lin(quicksum([])) == ([], 0.0)
    assert lin(quicksum([1, 2.5, True])) == ([], 4.5)
    assert lin(quicksum([x, x])) == ([(1.0, "x"), (1.0, "x")], 0.0)
    assert lin(quicksum(li=(2 * x, 3, y - 1))) == ([(2.0, "x"), (1.0, "y")], 2.0)
    assert lin(quicksum([x * 0, LinExpr([0.0], [y])] + [np.float64(1.5), np.int32(2)])) == ([], 3.5)
    zero = LinExpr(x)
    zero *= 0
    assert lin(quicksum([zero, y])) == ([(0.0, "x"), (1.0, "y")], 0.0)  # zero coefficients stay
    q = quicksum([x * x, 2 * y])
    assert type(q) is QuadExpr and q.size() == 1 and lin(q.getLinExpr()) == ([(2.0, "y")], 0.0)
    assert lin(quicksum([QuadExpr(x + 1), z])) == ([(1.0, "x"), (1.0, "z")], 1.0)  # no quadratic term: a LinExpr
    gen = (v for v in (x, y, z))
    assert lin(quicksum(gen)) == ([(1.0, "x"), (1.0, "y"), (1.0, "z")], 0.0)
    assert lin(quicksum(gen)) == ([], 0.0)               # a generator is consumed once
    assert quicksum.__doc__.startswith("\n    SIGNATURE:\n        quicksum(li)")


def test_shared_storage_is_read_as_each_expression_shows_it(xyz):
    x, y, z = xyz
    short = x + y
    longer = short + z                                   # shares short's storage, one term longer
    assert lin(quicksum([short, short])) == ([(1.0, "x"), (1.0, "y"), (1.0, "x"), (1.0, "y")], 0.0)
    assert lin(quicksum([longer])) == ([(1.0, "x"), (1.0, "y"), (1.0, "z")], 0.0)
    total = quicksum([short, x])
    assert lin(short) == ([(1.0, "x"), (1.0, "y")], 0.0) and total.size() == 3


def test_subclasses_are_read_through_their_methods(xyz):
    x, y, _ = xyz

    class FirstOnly(LinExpr):
        def size(self):
            return 1

        def getConstant(self):
            return 10.0

    e = FirstOnly([1.0, 2.0], [x, y])
    assert lin(quicksum([e])) == ([(1.0, "x")], 10.0)

    class Huge(LinExpr):
        def size(self):
            return 10 ** 6                               # never read beyond the terms it has

    assert lin(quicksum([Huge(x)])) == ([(1.0, "x")], 0.0)


def test_refusals(xyz):
    x, _, _ = xyz
    for bad, name in [("a", "str"), (None, "NoneType"), (np.array([1.0]), "ndarray"), ([x], "list")]:
        with pytest.raises(TypeError, match="^bad type for quicksum: %s$" % name):
            quicksum([x, bad])
    with pytest.raises(TypeError):
        quicksum(5)
    with pytest.raises(TypeError):
        quicksum()

    def failing():
        yield x
        raise KeyError("k")

    with pytest.raises(KeyError):
        quicksum(failing())


def test_no_leaks(xyz, leaks):
    x, y, _ = xyz
    items = [2 * x, y, 3.0, x * y, LinExpr(1.0)]

    def work():
        quicksum(items)
        quicksum(iter(items[:3]))
        try:
            quicksum([x, "a"])
        except TypeError:
            pass

    assert not leaks(work)
