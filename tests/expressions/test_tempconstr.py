"""TempConstr: the forms new() makes, >>, truth values, parseIndicator."""
import pytest

from velmorpy import LinExpr, QuadExpr, TempConstr


def test_forms_of_new(xyz):
    x, _, _ = xyz
    e = LinExpr(2.0, x)
    r = TempConstr.new(e, 1, 2)
    assert "lhs:\n----\n1\nexpr" in str(r) and "rhs:\n----\n2" in str(r)
    with pytest.raises(TypeError, match="^range constraint requires numeric values$"):
        TempConstr.new(e, 1, "2")
    lower = TempConstr.new(e, 3, None)
    upper = TempConstr.new(expr=e, lhs=None, rhs=3)
    assert str(lower).endswith("<LinExpr: 2.0 * x - 3.0>\nrhs:\n----\nNone")
    assert str(upper).startswith("TempConstr:\nlhs:\n----\nNone\nexpr:\n-----\n<LinExpr: 2.0 * x - 3.0>")
    with pytest.raises(TypeError):
        TempConstr.new(e, None, None)                   # e - None
    blank = TempConstr()
    assert str(blank).startswith("(\n  None\n) >> (")
    assert TempConstr.new.__name__ == "new" and isinstance(TempConstr.__dict__["new"], staticmethod)


def test_indicator_operator(xyz):
    x, y, _ = xyz
    cond, body = x == 1, y <= 2
    pair = cond >> body
    assert type(pair) is TempConstr and str(pair).startswith("(\n  TempConstr:")
    with pytest.raises(TypeError, match=r"^Argument 'r' has incorrect type \(expected velmorpy.TempConstr, got int\)$"):
        cond >> 5
    with pytest.raises(TypeError):
        5 >> cond
    with pytest.raises(TypeError):
        cond >> None                                    # None - cond


def test_truth_values(xyz):
    x, y, _ = xyz
    assert bool(x == x) and not bool(x == y)
    assert (x != y) is True and (x != x) is False
    assert x in [y, x] and [y, x].index(x) == 1 and y not in [x]
    pool = [x, y]
    pool.remove(y)
    assert pool == [x]
    assert {x: 1, y: 2}[y] == 2
    for tc in (x + 1 <= 2, x >= 1, x == 3, x + y == y + x, TempConstr.new(LinExpr(), 1, 2)):
        with pytest.raises(TypeError, match=r"^Constraint has no truth value \(for a range use addRange or expr == \[lb, ub\]\)$"):
            bool(tc)
    with pytest.raises(TypeError, match="no truth value"):
        1 <= x + y <= 2                                # the chained form fails loudly
    with pytest.raises(TypeError, match="no truth value"):
        x != 3
