"""Model.addConstr, addLConstr and addRange: the rows and bounds the library
receives, the refusals (each before anything is added), and the handles."""
import sys

import pytest

from velmorpy import VLM, LinExpr, Model, PsdExpr, TempConstr, VelmorError


def bounds(m):
    cs = m.getConstrs()
    return list(zip(m.getAttr("LHS", cs), m.getAttr("RHS", cs)))


def test_rows_take_their_sides_with_the_constant_moved_into_them(m, xyz):
    x, y, z = xyz
    c = m.addConstr(x + y <= 4, "c0")
    assert (c.index, c.ConstrName, m.NumConstrs) == (0, "c0", 1)
    m.addConstr(x + 2 >= 5)
    m.addConstr(x - y == [0, 10])               # a range
    m.addConstr(x == y)
    m.addConstr(2 * x + 1 == 3)
    m.addRange(x + 1, 0, 1e25)                  # an infinite bound is not shifted
    m.addRange(x + 1, 0, 10)
    m.addRange(x, None, 5)
    m.addRange(y, -1e20, None)
    m.addLConstr(x, "<", 3)
    m.addLConstr(x + 1, VLM.GREATER_EQUAL, y)   # x - y >= -1
    m.addLConstr(2, "=", x)                     # 2 - x == 0
    assert bounds(m) == [(-1e20, 4), (3, 1e20), (0, 10), (0, 0), (2, 2), (-1, 1e20), (-1, 9), (-1e20, 5),
                         (-1e20, 1e20), (-1e20, 3), (-1, 1e20), (-2, -2)]
    assert [r.index for r in m.getConstrs()] == list(range(12))
    assert m.getConstrs()[0].sameAs(c)


def test_a_subclass_expression_and_the_kinds_of_expressions(m, xyz):
    x, y, z = xyz

    class Shifted(LinExpr):
        def getConstant(self):
            return 100.0

    m.addRange(Shifted(x), 0, 200)      # read through its methods
    m.addConstr(TempConstr.new(3, None, 5))   # a constant row: 3 <= 5
    m.addConstr(TempConstr.new(x, 1, 2))
    assert bounds(m) == [(-100, 100), (-1e20, 2), (1, 2)]
    m.optimize()
    assert m.Status == VLM.OPTIMAL and m.getConstrs()[0].Activity == x.X


def test_refusals_add_nothing(m, xyz):
    x, y, z = xyz
    other = Model()
    w = other.addVar()
    cases = [
        (lambda: m.addConstr(None), TypeError,
         "Argument 'constr' has incorrect type (expected velmorpy.TempConstr, got NoneType)"),
        (lambda: m.addConstr(x + y), TypeError,
         "Argument 'constr' has incorrect type (expected velmorpy.TempConstr, got velmorpy.LinExpr)"),
        (lambda: m.addConstr(x * y <= 1), TypeError, "quadratic constraint is not currently supported"),
        (lambda: m.addConstr(x <= 1, None), TypeError, "expected bytes, NoneType found"),
        (lambda: m.addConstr(x <= 1, 5), TypeError, "encoding without a string argument"),
        (lambda: m.addConstr(x <= 1, "a\0b"), ValueError, "embedded null character"),
        (lambda: m.addConstr(x + w <= 1), ValueError,
         "the expression holds a variable that does not belong to this model"),
        (lambda: m.addConstr(TempConstr()), TypeError, None),
        (lambda: m.addRange(2.0, 0, 1), TypeError, "expr should be one of [Var, LinExpr, PsdExpr] type"),
        (lambda: m.addRange(x, None, None), TypeError, "must be real number, not NoneType"),
        (lambda: m.addRange(x, "0", 1), TypeError, "bad operand type for abs(): 'str'"),
        (lambda: m.addRange(PsdExpr(), None, None), TypeError, "must be real number, not NoneType"),
        (lambda: m.addLConstr(x + y <= 1, "<", 1), ValueError,
         "sense and rhs should be None if lhs is s TempConstr"),
        (lambda: m.addLConstr(x * x <= 1), TypeError,
         "expression in TempConstr shoud be one of [constant, Var, LinExpr] type"),
        (lambda: m.addLConstr(x * x, "<", 1), TypeError, "lhs shoud be one of [constant, Var, LinExpr, TempConstr] type"),
        (lambda: m.addLConstr(x, "<"), ValueError, "sense and rhs can not be None if lhs is not a TempConstr"),
        (lambda: m.addLConstr(x, "<", "1"), TypeError, "rhs shoud be one of [constant, Var, LinExpr, TempConstr] type"),
        (lambda: m.addLConstr(x, "<=", 3), VelmorError, "Invalid sense `<=`"),
        (lambda: m.addLConstr(x, b"<", 3), VelmorError, "Invalid sense `b'<'`"),
        (lambda: m.addLConstr(x, "<\udcff", 3), VelmorError, "Invalid sense `<\udcff`"),   # no UTF-8 form
        (lambda: m.addConstr(float("nan") * x <= 1), VelmorError, None),     # the library's refusal
    ]
    for call, kind, text in cases:
        with pytest.raises(kind) as info:
            call()
        if text is not None:
            assert str(info.value) == text
        assert m.NumConstrs == 0 and m.getConstrs() == []
    other.dispose()
    m.dispose()
    with pytest.raises(VelmorError):
        m.addConstr(x <= 1)


def test_indicator_pairs_are_checked_and_handed_on_with_their_name(m, xyz):
    x, y, z = xyz
    b = m.addVar(vtype=VLM.BINARY)
    g = m.addConstr((b == 1) >> (x + y <= 3), "ind")
    assert (g.GenConstrName, m.NumGenConstrs, m.NumConstrs) == ("ind", 1, 0)
    assert m.getGenConstrIndicator(m.addConstr((b == 0) >> (x >= 2)))[1:2] == (False,)
    with pytest.raises(TypeError):
        m.addConstr((b == 1) >> (x <= 1), None)
    assert m.NumGenConstrs == 2
    with pytest.raises(ValueError, match=r"^indicator value can only be one of \[0, 1\]$"):
        m.addConstr((b == 1) >> (x + y == 3))
    with pytest.raises(ValueError, match="single binary variable"):
        m.addConstr((x == 1) >> (x + y <= 3))
    with pytest.raises(TypeError, match="only be in linear form"):
        m.addConstr((b == 1) >> (x * y <= 3))
    assert m.NumConstrs == 0 and m.NumGenConstrs == 2


def test_no_argument_is_kept(m, xyz, leaks):
    x, y, z = xyz
    name = "".join(["c", "1"])
    constr = x + 2 * y <= 3
    before = sys.getrefcount(name), sys.getrefcount(constr)
    for _ in range(50):
        m.addConstr(constr, name)
        m.addLConstr(x, "<", 2, name)
    assert (sys.getrefcount(name), sys.getrefcount(constr)) == before

    def refused():
        try:
            m.addConstr(x * x <= 1, name)
        except TypeError:
            pass

    def fresh_model():
        mm = Model()
        v = mm.addVar()
        mm.addRange(v + 1, 0, 1, name)
        mm.addConstr(v >= 1)
        mm.dispose()

    assert not leaks(fresh_model, inner=50)
    assert not leaks(refused, inner=100)


def test_code_run_while_a_row_is_read_cannot_free_what_it_uses(run_python):
    # The subclass's getConstant re-initialises the model: the row is then
    # refused on the disposed library model, and nothing reads freed memory.
    result = run_python("""
        from velmorpy import LinExpr, Model, VelmorError
        m = Model()
        x = m.addVar()

        class Renewing(LinExpr):
            def getConstant(self):
                m.__init__()
                return 0.0

        try:
            m.addRange(Renewing(x), 0, 1)
        except VelmorError:
            pass
        m.addConstr(m.addVar() <= 1)
        assert m.NumConstrs == 1 and len(m.getConstrs()) == 1
        print("ok")
        """, PYTHONMALLOC="malloc_debug")
    assert result.stdout == "ok\n", result.stderr
