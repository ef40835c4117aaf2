"""Model.getCol, getRow, getCoeff, chgCoeff and cleanupMilp: lines of the
matrix read back with the model's own handles, changes round-tripped, and the
refusals."""
import inspect

import pytest

from velmorpy import VLM, Column, LinExpr, Model, VelmorError


def pairs(expr):
    return [(expr.getVar(i).VarName, expr.getCoeff(i)) for i in range(expr.size())]


def column_pairs(col):
    return [(col.getConstr(i).ConstrName, col.getCoeff(i)) for i in range(col.size())]


def test_rows_and_columns_come_back_in_index_order(m, xyz):
    x, y, z = xyz
    c0 = m.addConstr(3 * z + x - 2 * y <= 4, "c0")
    c1 = m.addConstr(x + y - x >= 1, "c1")           # a zero sum is kept by the library
    c2 = m.addConstr(LinExpr() <= 1, "c2")
    c3 = m.addConstr(2 * x + z == 0, "c3")
    w = m.addVar(name="w")
    row = m.getRow(c0)
    assert type(row) is LinExpr and pairs(row) == [("x", 1.0), ("y", -2.0), ("z", 3.0)] and row.getConstant() == 0
    assert row.getVar(0) is m.getVars()[0]
    assert pairs(m.getRow(c1)) == [("y", 1.0)]          # the zero coefficient is left out of the row ...
    col = m.getCol(x)
    assert type(col) is Column and column_pairs(col) == [("c0", 1.0), ("c1", 0.0), ("c3", 2.0)]   # ... not the column
    assert col.getConstr(2) is m.getConstrs()[3]
    assert m.getRow(c2).size() == 0 and m.getCol(w).size() == 0
    assert pairs(m.getRow(y)) == pairs(m.getRow(c1))   # any object with an index is a row number
    assert (m.getCoeff(c0, z), m.getCoeff(c0, w), m.getCoeff(constr=c3, var=x)) == (3.0, 0.0, 2.0)
    assert type(m.getCoeff(c0, z)) is float


def test_chgCoeff_round_trips(m, xyz):
    x, y, z = xyz
    c0 = m.addConstr(x + y <= 4, "c0")
    c1 = m.addConstr(y + z >= 1, "c1")
    m.chgCoeff(c0, x, 2)                   # sent as 2.0
    m.chgCoeff(c0, z, -1.5)                # a new coefficient
    m.chgCoeff(c1, y, 0.0)                 # removes it
    m.chgCoeff(newvalue=7, var=y, constr=c0)
    assert (m.getCoeff(c0, x), m.getCoeff(c0, z), m.getCoeff(c1, y)) == (2.0, -1.5, 0.0)
    assert pairs(m.getRow(c0)) == [("x", 2.0), ("y", 7.0), ("z", -1.5)]
    assert pairs(m.getRow(c1)) == [("z", 1.0)] and column_pairs(m.getCol(y)) == [("c0", 7.0)]
    # The changed model solves as the changed rows say: max x + y + z over
    # [0, 1]^3 with 2x + 7y - 1.5z <= 4 and z >= 1.
    for v in xyz:
        v.Obj, v.UB = 1.0, 1.0
    m.ModelSense = VLM.MAXIMIZE
    m.optimize()
    assert m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(2.5) and y.X == pytest.approx(0.5)


def test_refusals(m, xyz):
    x, y, z = xyz
    c = m.addConstr(x + y <= 4, "c")
    other = Model()
    w = other.addVar()
    oc = other.addConstr(w <= 1)
    cases = [
        (lambda: m.getCol(c), TypeError, "Argument 'var' has incorrect type (expected velmorpy.Var, got velmorpy.Constr)"),
        (lambda: m.getCol(None), AttributeError, "'NoneType' object has no attribute 'index'"),
        (lambda: m.getRow(None), AttributeError, "'NoneType' object has no attribute 'index'"),
        (lambda: m.getRow(5), AttributeError, "'int' object has no attribute 'index'"),
        (lambda: m.getCoeff(x, c), TypeError,
         "Argument 'constr' has incorrect type (expected velmorpy.Constr, got velmorpy.Var)"),
        (lambda: m.getCoeff(c, None), AttributeError, "'NoneType' object has no attribute 'index'"),
        (lambda: m.chgCoeff(c, x, "a"), TypeError, "must be real number, not str"),
        (lambda: m.chgCoeff(None, x, "a"), TypeError, "must be real number, not str"),   # the value first
        (lambda: m.chgCoeff(c, x, float("nan")), VelmorError, None),
        (lambda: m.getCol(w), ValueError, "Argument `var` is an item of another model"),
        (lambda: m.getRow(oc), ValueError, "Argument `constr` is an item of another model"),
        (lambda: m.chgCoeff(oc, x, 1), ValueError, "Argument `constr` is an item of another model"),
        (lambda: m.getCoeff(c, w), ValueError, "Argument `var` is an item of another model"),
        (lambda: m.cleanupMilp(1), TypeError, None),
    ]
    for call, error, text in cases:
        with pytest.raises(error) as info:
            call()
        if text is not None:
            assert str(info.value) == text
    assert pairs(m.getRow(c)) == [("x", 1.0), ("y", 1.0)]    # unchanged
    other.dispose()
    m.dispose()
    with pytest.raises(VelmorError):
        m.getRow(c)


def test_cleanupMilp_is_callable_but_not_documented(m):
    i = m.addVar(lb=0.3, ub=2.7, vtype=VLM.INTEGER)
    b = m.addVar(lb=-1, ub=3, vtype=VLM.BINARY)
    m.addVar(lb=0.3, ub=2.7)
    assert m.cleanupMilp() == 4
    assert (i.LB, i.UB, b.LB, b.UB) == (1, 2, 0, 1)
    assert m.cleanupMilp() == 0
    assert Model.cleanupMilp.__doc__ == "" and Model.cleanupMilp.__text_signature__ == "__internal__"
    listed = Model.__getmetaclass__(None).__dir__(None)
    assert "cleanupMilp" not in listed and "getCol" in listed and "remove" in listed
    assert list(inspect.signature(Model.chgCoeff).parameters) == ["self", "constr", "var", "newvalue"]
