"""Text forms of LinExpr, QuadExpr and TempConstr: terms, signs, names, shortening."""
import pytest

from velmorpy import LinExpr, Model, QuadExpr, TempConstr


def test_linexpr_text(m, xyz):
    x, y, _ = xyz
    e = LinExpr([1, 2], [x, y])
    e.addConstant(-3)
    assert str(e) == "<LinExpr: x + 2.0 * y - 3.0>" and repr(e) == str(e)
    assert str(LinExpr(-1.0, x)) == "<LinExpr: - x>"
    assert str(LinExpr(1.0, x)) == "<LinExpr: x>"
    assert str(LinExpr(5)) == "<LinExpr: 5.0>" and str(LinExpr(-5)) == "<LinExpr: - 5.0>"
    assert str(LinExpr()) == "<LinExpr: >"
    assert str(LinExpr([1e-07, 0.5], [x, y])) == "<LinExpr: 1e-07 * x + 0.5 * y>"
    z = m.addVar()                                                    # no name: only its coefficient shows
    assert str(LinExpr([2.0, 1.0], [z, x])) == "<LinExpr: 2.0 + x>"
    e *= 0
    assert str(e) == "<LinExpr: >"                                    # zero coefficients print nothing
    nan = LinExpr(float("nan"), x)
    assert str(nan) == "<LinExpr: - nan * x>"


def test_long_texts_keep_head_and_tail(m):
    vs = [m.addVar(name="v%03d" % i) for i in range(60)]
    e = LinExpr([1.0] * 60, vs)
    inner = str(e)[len("<LinExpr: "):-1]
    assert len(inner) == 2 * 123 + 5 and inner.startswith("v000 + v001") and inner.endswith("v058 + v059")
    assert inner[123:128] == " ... "
    # 250 characters stay whole, 251 are cut.
    a = m.addVar(name="a" * 246)
    assert str(LinExpr(1.0, a)) == "<LinExpr: " + "a" * 246 + ">"
    b = m.addVar(name="b" * 245)
    t = str(LinExpr(2.0, b))[len("<LinExpr: "):-1]                     # "2.0 * bbb..." is 251 characters
    assert len(t) == 251 and t[:123] == "2.0 * " + "b" * 117 and t[123:128] == " ... "


def test_quadexpr_text(xyz):
    x, y, z = xyz
    q = QuadExpr()
    assert str(q) == "<QuadExpr: >"
    q.addTerms(-3.0, x, x)
    q.addTerms(1.0, y, x)
    assert str(q) == "<QuadExpr: - 3.0 * x ^ 2 + x * y>"
    q.add(LinExpr(-2.0, z))
    assert str(q) == "<QuadExpr: - 3.0 * x ^ 2 + x * y + - 2.0 * z>"
    assert str(QuadExpr(LinExpr(-2.0, z))) == "<QuadExpr: - 2.0 * z>"
    q2 = QuadExpr()
    q2.addTerms([2], [x], [y])                                         # an int coefficient prints as an int
    assert str(q2) == "<QuadExpr: 2 * x * y>" and repr(q2) == str(q2)


def test_tempconstr_text(xyz):
    x, y, _ = xyz
    assert str(x <= 1) == "TempConstr:\nlhs:\n----\nNone\nexpr:\n-----\n<LinExpr: x - 1.0>\nrhs:\n----\n0"
    pair = TempConstr.new(None, 1, 2)
    assert str(pair) == "(\n  1\n) >> (\n  2\n)" and repr(pair) == str(pair)
    ind = (x == 1) >> (y <= 3)
    assert str(ind).startswith("(\n  TempConstr:\n  lhs:\n  ----\n  0\n  expr:\n  -----\n  <LinExpr: x - 1.0>")


def test_names_are_read_per_term_and_must_be_text(m, xyz):
    x, _, _ = xyz

    class Numbered(type(x)):
        VarName = property(lambda self: 5)

    odd = Numbered()
    with pytest.raises(TypeError, match="^Expected unicode, got int$"):
        str(LinExpr(1.0, odd))
    e = LinExpr(1.0, x)
    m.dispose()
    with pytest.raises(Exception):                                     # the name read fails on a disposed model
        str(e)
