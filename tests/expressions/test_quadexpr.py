"""QuadExpr: construction, the two forms of addTerms, add, removal, in-place operators."""
import weakref
from fractions import Fraction

import numpy as np
import pytest

from velmorpy import LinExpr, List, QuadExpr, Var, VelmorError


def quad(q):
    return [(q.getCoeff(i), q.getVar1(i).VarName, q.getVar2(i).VarName) for i in range(q.size())]


def lin(q):
    e = q.getLinExpr()
    return [(e.getCoeff(i), e.getVar(i).VarName) for i in range(e.size())], e.getConstant()


def test_construction(xyz):
    x, y, _ = xyz
    assert (QuadExpr().size(), lin(QuadExpr())) == (0, ([], 0.0))
    assert lin(QuadExpr(3)) == ([], 3.0) and lin(QuadExpr(x)) == ([(1.0, "x")], 0.0)
    q = QuadExpr()
    q.addTerms(2, x, y)
    q.addConstant(1)
    c = QuadExpr(q)
    c.addTerms(1.0, y, y)
    c.getLinExpr().addConstant(1)
    assert quad(q) == [(2.0, "x", "y")] and q.getConstant() == 1.0          # the copy changed alone
    assert c.size() == 2 and c.getConstant() == 2.0
    d = q.copy()
    assert type(d) is QuadExpr and quad(d) == quad(q)
    with pytest.raises(VelmorError, match="^Each element should be a tuple or list with length 2$"):
        QuadExpr([5])


def test_addTerms_forms(xyz):
    x, y, z = xyz
    q = QuadExpr()
    q.addTerms(2, y, x)                              # one term: the smaller index first
    q.addTerms(0, x, "not read")                     # zero: nothing added, nothing checked
    q.addTerms([0, 2], [y, x], [x, y])               # the list form keeps terms exactly as given
    q.addTerms([5.0], List([z]), [z])                # a list or a List
    q.addTerms(3.0, z)                               # without vars2: a linear term
    assert quad(q) == [(2.0, "x", "y"), (0, "y", "x"), (2, "x", "y"), (5.0, "z", "z")]
    assert lin(q) == ([(3.0, "z")], 0.0)
    for args, error, text in [((1, x, 5), VelmorError, "^Expect a var$"),
                              ((1, 5, x), VelmorError, "^Expect a var$"),
                              (([1, 2], [x], [y, z]), ValueError, "same length"),
                              (([1], [x], ["a"]), VelmorError, "^Expect a var$"),
                              (([1], x, [y]), TypeError, r"^unsupport operation \+=: `List` and `Var`$"),
                              (((1.0,), [x], [y]), TypeError, r"^unsupport operation \+=: `List` and `tuple`$"),
                              ((np.ones(1), [x], [y]), TypeError, r"^unsupport operation \+=: `List` and `ndarray`$"),
                              (([1.0], [x], (y,)), TypeError, r"^unsupport operation \+=: `List` and `tuple`$")]:
        with pytest.raises(error, match=text):
            q.addTerms(*args)
    assert q.size() == 4                              # every refused list form changed nothing


def test_add_and_in_place(xyz):
    x, y, z = xyz
    base = QuadExpr()
    base.addTerms(1.0, x, y)
    base.addTerms(1.0, z)
    q = QuadExpr()
    q.add(base, 0)
    assert (q.size(), lin(q)) == (0, ([], 0.0))
    q.add(base, 2)
    q.add(LinExpr(1.0, x))
    assert quad(q) == [(2.0, "x", "y")] and lin(q) == ([(2.0, "z"), (1.0, "x")], 0.0) and quad(base) == [(1.0, "x", "y")]
    for bad in (x, None, 3):
        with pytest.raises(TypeError, match="^Argument `expr` cannot be <class '"):
            q.add(bad)
    same = q
    q += 1
    q += y
    q += LinExpr(2.0, z)
    q += base
    q -= 1
    assert q is same and q.size() == 2 and q.getConstant() == 0.0
    q *= 2
    assert quad(q) == [(4.0, "x", "y"), (2.0, "x", "y")] and lin(q)[0][0] == (4.0, "z")
    for op, other, text in [("+=", "a", r"unsupport operation \+=: `QuadExpr` and `str`"),
                            ("*=", x, r"unsupport operation \*=: `QuadExpr` and `Var`")]:
        with pytest.raises(TypeError, match=text):
            if op == "+=":
                q += other
            else:
                q *= other
    with pytest.raises(TypeError):
        q -= "a"                                      # the negation's own error
    q.getLinExpr().addConstant(1)
    assert q.getConstant() == 1.0                     # the linear part is the expression's own


def test_coefficients_kept_as_given_through_sums_products_and_changes(xyz):
    x, y, z = xyz
    a = 2.5 * (x * y) + 0.1 * (z * z)                # coefficients made from numbers
    b = QuadExpr()
    b.addTerms([Fraction(1, 3), 3], [x, y], [z, z])   # kept as the objects given
    for r, want in [(a + b, [2.5, 0.1, Fraction(1, 3), 3]), (b + a, [Fraction(1, 3), 3, 2.5, 0.1]),
                    (-1.0 * a, [-2.5, -0.1]), (a * 2, [5.0, 0.2])]:
        assert [(type(c), c) for c in map(r.getCoeff, range(r.size()))] == [(type(w), w) for w in want]
    r = QuadExpr(a)
    r.add(b, 2)
    assert [r.getCoeff(i) for i in range(4)] == [2.5, 0.1, 2 / 3, 6.0]
    b *= 2
    assert (b.getCoeff(0), type(b.getCoeff(1))) == (Fraction(2, 3), int)
    c = QuadExpr(a)
    c *= np.float64(3.0)                              # the coefficients are what the products make
    assert type(c.getCoeff(0)) is np.float64 and c.getCoeff(0) == 7.5 and type(a.getCoeff(0)) is float
    assert (str(a), str(b)) == ("<QuadExpr: 2.5 * x * y + 0.1 * z ^ 2>", "<QuadExpr: 2/3 * x * z + 6 * y * z>")

    # Copies share the coefficients: an append, a removal or a product on one
    # is never seen by the other.
    d = QuadExpr(a)
    a += x * x
    d += 4.0 * (y * y)
    d.remove(1)
    assert quad(a) == [(2.5, "x", "y"), (0.1, "z", "z"), (1.0, "x", "x")]
    assert quad(d) == [(2.5, "x", "y"), (4.0, "y", "y")]
    e = QuadExpr(a)
    e *= -1
    assert [a.getCoeff(i) for i in range(3)] == [2.5, 0.1, 1.0] and e.getCoeff(2) == -1.0


def test_positions_removal_and_clear(xyz):
    x, y, z = xyz
    q = QuadExpr()
    q.addTerms([1.0, 2.0, 3.0], [x, y, z], [y, y, x])
    q.addTerms([4.0, 5.0], [x, y])
    q.remove(5)
    assert q.size() == 3
    q.remove(y)                                       # every quadratic term with y, and y's linear terms
    assert quad(q) == [(3.0, "z", "x")] and lin(q) == ([(4.0, "x")], 0.0)
    q.remove(0)
    assert q.size() == 0 and lin(q)[0] == [(4.0, "x")]
    with pytest.raises(TypeError, match="^Argument `item` should be an integer or Var$"):
        q.remove("x")
    with pytest.raises(IndexError, match="^list index out of range$"):
        q.getVar1(0)
    assert QuadExpr.getCoeff.__code__.co_varnames[:2] == ("self", "i")
    q.addConstant(2)
    q.clear()
    assert (q.size(), lin(q)) == (0, ([], 0.0))


def test_unconstructed_and_cycles(xyz, collected, leaks):
    x, y, _ = xyz
    raw = QuadExpr.__new__(QuadExpr)
    for call in (raw.size, raw.getConstant, lambda: str(raw), lambda: raw + 1, lambda: raw.getLinExpr()):
        with pytest.raises(TypeError, match="Cannot convert NoneType to velmorpy.LinExpr"):
            call()

    class Cell:
        pass

    def through_a_coefficient():
        c = Cell()
        q = QuadExpr()
        q.addTerms([c], [x], [y])                     # the list form keeps any coefficient
        c.q = QuadExpr(q)
        return weakref.ref(c)

    assert collected(through_a_coefficient)

    base = x * y + 2 * x

    def work():
        q = QuadExpr(base)
        q += base
        q *= 2.0
        q.remove(x)
        str(q)

    assert not leaks(work)
