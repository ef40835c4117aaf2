"""getValue() of the expression classes in a solved model equals the same
arithmetic done from the variables' X; the terms a subclass's size() gives are
the ones read; the numeric arguments of PsdExpr."""
import numpy as np
import pytest

from velmorpy import LinExpr, PsdExpr, QuadExpr, VelmorError, quicksum


def test_values_in_a_solution(m, capsys):
    x = m.addVar(ub=2, obj=1, name="x")
    y = m.addVar(ub=3, obj=1, name="y")
    e = LinExpr([1.5, -2.0], [x, y])
    with pytest.raises(VelmorError):
        e.getValue()                                   # no solution yet
    m.ModelSense = -1
    m.optimize()
    capsys.readouterr()
    X, Y = float(x.X), float(y.X)
    assert (X, Y) == (2.0, 3.0)
    e.addConstant(0.25)
    assert e.getValue() == 0.25 + 1.5 * X - 2.0 * Y and type(e.getValue()) is float
    q = 2 * x * y + x * x - 3 * y + 1
    assert q.getValue() == 2 * X * Y + X * X - 3 * Y + 1
    assert quicksum([q, e, 7]).getValue() == q.getValue() + e.getValue() + 7
    assert PsdExpr(2.0 * x + 1).getValue() == 2 * X + 1
    assert LinExpr(4).getValue() == 4.0 and QuadExpr().getValue() == 0.0


def test_size_by_name_and_numeric_arguments(m):
    x = m.addVar(name="x")
    px = m.addPsdVar(dim=2, name="X")
    e = PsdExpr(np.eye(2), px)
    e.addConstant(1.5)
    for call in (lambda: e.addTerms("2.5", x), lambda: e.addTerms("a", x), lambda: e.add(PsdExpr(x), "2.5")):
        with pytest.raises(TypeError, match="^must be real number, not str$"):
            call()
    assert (e.size(), e.getLinExpr().size(), str(e)) == (1, 0, "<PsdExpr: (2, 2) * X + 1.5>")

    def sized(cls, n):
        return type(cls.__name__, (cls,), {"size": lambda self: n})

    # No solution: a term that is visited fails to read its value; one left out is not read.
    with pytest.raises(VelmorError):
        e.getValue()
    with pytest.raises(VelmorError):
        (x * x + 2).getValue()
    for n in (0, -1):
        assert sized(PsdExpr, n)(e).getValue() == 1.5 and str(sized(PsdExpr, n)(e)) == "<PsdExpr: 1.5>"
        assert sized(QuadExpr, n)(x * x + 2).getValue() == 2.0
    for call in (lambda: sized(PsdExpr, 2)(e).getValue(), lambda: str(sized(PsdExpr, 2)(e)),
                 lambda: sized(QuadExpr, 2)(x * x + 2).getValue()):
        with pytest.raises(IndexError, match="^list index out of range$"):
            call()
