"""getValue() of the expression classes in a solved model equals the same
arithmetic done from the variables' X."""
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
