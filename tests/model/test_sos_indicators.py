"""Model.addSOS, getSOS, getSOSs, addGenConstrIndicator (also through
addConstr), getGenConstrIndicator and getGenConstrs: what the library receives
and hands back, the refusals (each before anything is added), and optima
against the same models written with big-M binaries."""
import sys

import pytest

from velmorpy import VLM, LinExpr, Model, TempConstr, VelmorError, tuplelist


def test_sos_read_back_exactly_and_numbered_by_position(m, xyz):
    x, y, z = xyz
    s0 = m.addSOS(VLM.SOS_TYPE1, [x, y, z])
    s1 = m.addSOS(type=VLM.SOS_TYPE2, vars=[z, x], wts=[1.5, 2.5])
    s2 = m.addSOS(VLM.SOS_TYPE1, [])
    assert (s0.index, s1.index, s2.index, m.NumSOS) == (0, 1, 2, 3)
    assert m.getSOS(s0) == (1, [x, y, z], [1.0, 2.0, 3.0])
    typ, members, wts = m.getSOS(s1)
    assert (typ, wts) == (2, [1.5, 2.5]) and members[0] is z and members[1] is x
    assert m.getSOS(s2) == (1, [], [])
    # New lists each time, holding the model's own handles.
    a, b = m.getSOSs(), m.getSOSs()
    assert a == [s0, s1, s2] and a is not b
    a.append(s0)
    assert len(m.getSOSs()) == 3


def test_sos_refusals_add_nothing(m, xyz):
    x, y, z = xyz
    other = Model()
    w = other.addVar()
    cases = [
        (lambda: m.addSOS(1, [x, y], [1, 2, 3]), ValueError, "wts doesn't have enough elements"),
        (lambda: m.addSOS(1, [x, y], [1]), ValueError, "wts doesn't have enough elements"),
        (lambda: m.addSOS(1, tuplelist([x, y])), TypeError,
         "Argument 'vars' has incorrect type (expected list, got velmorpy.tuplelist)"),
        (lambda: m.addSOS(1, (x, y)), TypeError, "Argument 'vars' has incorrect type (expected list, got tuple)"),
        (lambda: m.addSOS(1, [x, y], (1, 2)), TypeError,
         "Argument 'wts' has incorrect type (expected list, got tuple)"),
        (lambda: m.addSOS(1, None), TypeError, "'NoneType' object is not iterable"),
        (lambda: m.addSOS(1, [x, 3]), AttributeError, "'int' object has no attribute 'index'"),
        (lambda: m.addSOS(1, [x, w]), ValueError, "Argument `vars` holds an item of another model"),
        (lambda: m.addSOS("1", [x]), TypeError, None),
        (lambda: m.addSOS(3, [x, y]), VelmorError, None),               # the library's type check
        (lambda: m.addSOS(1, [x, x]), VelmorError, None),               # members must differ
        (lambda: m.addSOS(1, [x, y], [1, float("nan")]), VelmorError, None),
    ]
    for call, error, text in cases:
        with pytest.raises(error) as info:
            call()
        if text is not None:
            assert str(info.value) == text
        assert m.NumSOS == 0 and m.getSOSs() == []
    with pytest.raises(AttributeError, match="'NoneType' object has no attribute 'index'"):
        m.getSOS(None)
    with pytest.raises(TypeError, match=r"expected velmorpy.SOS, got velmorpy.Var"):
        m.getSOS(x)
    s = other.addSOS(1, [w])
    with pytest.raises(ValueError, match="^Argument `sos` is an item of another model$"):
        m.getSOS(s)
    other.dispose()


def test_sos_members_of_any_object_with_an_index(m, xyz):
    x, y, z = xyz

    class Pos:
        def __init__(self, i):
            self.index = i

    s = m.addSOS(VLM.SOS_TYPE1, [Pos(2), x], [1, 2])
    assert m.getSOS(s)[1] == [z, x]


def sos1_optimum(with_sos):
    """max x0 + 2 x1 + 3 x2 + x3 over [0, 2]^4 with x0 + x1 + x2 + x3 <= 3 and
    at most one of x0, x1, x2 non-zero: by an SOS1 set, or by binaries."""
    m = Model()
    xs = [m.addVar(ub=2, obj=c, name=f"x{i}") for i, c in enumerate([1, 2, 3, 1])]
    m.ModelSense = VLM.MAXIMIZE
    m.addConstr(xs[0] + xs[1] + xs[2] + xs[3] <= 3)
    if with_sos:
        m.addSOS(VLM.SOS_TYPE1, xs[:3], [1, 2, 3])
    else:
        zs = [m.addVar(vtype=VLM.BINARY) for _ in range(3)]
        for v, b in zip(xs, zs):
            m.addConstr(v <= 2 * b)
        m.addConstr(zs[0] + zs[1] + zs[2] <= 1)
    m.optimize()
    result = m.Status, m.ObjVal, [v.X for v in xs]
    m.dispose()
    return result


def test_an_sos1_set_optimises_as_its_big_m_form():
    status, value, xs = sos1_optimum(True)
    assert status == VLM.OPTIMAL
    assert (value, xs) == pytest.approx(sos1_optimum(False)[1:]) and value == pytest.approx(7.0)
    assert sum(v > 1e-9 for v in xs[:3]) == 1


def test_indicator_sides_and_what_the_library_receives(m, xyz):
    x, y, z = xyz
    b = m.addVar(vtype=VLM.BINARY, name="b")
    lhs = x + y + 1
    g0 = m.addGenConstrIndicator(b, True, lhs, "<", 3, name="g0")
    assert lhs.getConstant() == 1.0 and lhs.size() == 2              # the caller's expression is kept
    g1 = m.addGenConstrIndicator(b, False, x, VLM.GREATER_EQUAL, 2)
    g2 = m.addGenConstrIndicator(b, True, 5, "<=", 7)                  # "<=" is sent as '<'
    g3 = m.addGenConstrIndicator(binvar=b, binval=True, lhs=x + y <= 3)
    g4 = m.addGenConstrIndicator(b, True, x + y >= 3)
    g5 = m.addGenConstrIndicator(b, True, x + y == 3)
    g6 = m.addGenConstrIndicator(b, True, TempConstr.new(x + y - 3, 4, 4))
    g7 = m.addGenConstrIndicator(b, True, LinExpr(2.0, z) - 2 * z, "=", 0)   # terms cancelling to 0.0
    assert [g.index for g in m.getGenConstrs()] == list(range(8)) and m.NumGenConstrs == 8
    got = [m.getGenConstrIndicator(g) for g in (g0, g1, g2, g3, g4, g5, g6, g7)]
    assert [(v is b, bv, str(e), s, r) for v, bv, e, s, r in got] == [
        (True, True, "<LinExpr: x + y>", "<", 2.0),
        (True, False, "<LinExpr: x>", ">", 2.0),
        (True, True, "<LinExpr: >", "<", 2.0),
        (True, True, "<LinExpr: x + y>", "<", 3.0),
        (True, True, "<LinExpr: x + y>", ">", 3.0),
        (True, True, "<LinExpr: x + y>", "=", 3.0),
        (True, True, "<LinExpr: x + y>", "=", 7.0),
        (True, True, "<LinExpr: >", "=", 0.0),
    ]
    assert got[0][2].getVar(0) is x and g0.GenConstrName == "g0" and g1.GenConstrName == ""


def test_indicator_pairs_through_addConstr(m, xyz):
    x, y, z = xyz
    b = m.addVar(vtype=VLM.BINARY, name="b")
    g = m.addConstr((b == 1) >> (x + 2 * y <= 4), "pair")
    h = m.addConstr((b == 0) >> (z >= 1))
    assert g.GenConstrName == "pair" and h.index == 1 and m.NumConstrs == 0
    assert [(str(e), s, r) for _, _, e, s, r in map(m.getGenConstrIndicator, (g, h))] == [
        ("<LinExpr: x + 2.0 * y>", "<", 4.0), ("<LinExpr: z>", ">", 1.0)]
    assert m.getGenConstrIndicator(h)[1] is False


def test_indicator_refusals_add_nothing(m, xyz):
    x, y, z = xyz
    b = m.addVar(vtype=VLM.BINARY)
    other = Model()
    w = other.addVar(vtype=VLM.BINARY)
    cases = [
        (lambda: m.addGenConstrIndicator(b, 1, x + y, "<", 3), TypeError, "binval should be a boolean value"),
        (lambda: m.addGenConstrIndicator(b, True, x + y, "<", "3"), TypeError, "rhs should be a numeric value"),
        (lambda: m.addGenConstrIndicator(b, True, x + y <= 3, "<"), ValueError,
         "both 'sense' and 'rhs' should be None if lhs is TempConstr"),
        (lambda: m.addGenConstrIndicator(b, True, x * y <= 3), TypeError,
         "indicator constraints can only be in linear form"),
        (lambda: m.addGenConstrIndicator(b, True, TempConstr.new(x + y, 1, 5)), ValueError,
         "indicator constraints cannot be ranges"),
        (lambda: m.addGenConstrIndicator(b, True, x + y == [1, 5]), ValueError, "indicator constraints cannot be ranges"),
        (lambda: m.addGenConstrIndicator(b, True, x * y, "<", 1), TypeError, "Expect a LinExpr"),
        (lambda: m.addGenConstrIndicator(b, True, "x", "<", 1), TypeError, "Expect a LinExpr"),
        (lambda: m.addGenConstrIndicator(b, True, x, "", 1), IndexError, "index out of range"),
        (lambda: m.addGenConstrIndicator(b, True, x, None, 1), TypeError, None),
        (lambda: m.addGenConstrIndicator(b, True, x, "<"), TypeError, None),
        (lambda: m.addGenConstrIndicator(b, True, x, "<", 1, None), TypeError, None),
        (lambda: m.addGenConstrIndicator(None, True, x, "<", 1), AttributeError,
         "'NoneType' object has no attribute 'index'"),
        (lambda: m.addGenConstrIndicator(x, True, x, "<", 1), VelmorError, None),     # not binary
        (lambda: m.addGenConstrIndicator(b, True, x, "!", 1), VelmorError, None),     # the library's sense check
        (lambda: m.addGenConstrIndicator(w, True, x, "<", 1), ValueError, "Argument `binvar` is an item of another model"),
        (lambda: m.addGenConstrIndicator(b, True, x + w, "<", 1), ValueError,
         "the expression holds a variable that does not belong to this model"),
        (lambda: m.addGenConstrIndicator(b, True, x, "<", 1, 5), TypeError,
         "Argument 'name' has incorrect type (expected str, got int)"),
        (lambda: m.addGenConstrIndicator(m.getConstrs, True, x, "<", 1), TypeError, None),
    ]
    for call, error, text in cases:
        with pytest.raises(error) as info:
            call()
        if text is not None:
            assert str(info.value) == text
        assert m.NumGenConstrs == 0 and m.getGenConstrs() == []
    with pytest.raises(AttributeError):
        m.getGenConstrIndicator(None)
    with pytest.raises(TypeError, match=r"expected velmorpy.GenConstr, got velmorpy.SOS"):
        m.getGenConstrIndicator(m.addSOS(1, [x]))
    other.dispose()


def indicator_optimum(with_indicators):
    """min -x - 2y + 3 b0 + 2 b1 with x, y in [0, 10] and x <= 8, where
    b0 = 0 -> x + y <= 2 and b1 = 0 -> y <= 1: by indicators, or by big-M rows."""
    m = Model()
    x = m.addVar(ub=10, obj=-1, name="x")
    y = m.addVar(ub=10, obj=-2, name="y")
    b0 = m.addVar(vtype=VLM.BINARY, obj=3, name="b0")
    b1 = m.addVar(vtype=VLM.BINARY, obj=2, name="b1")
    m.addConstr(x <= 8)
    if with_indicators:
        m.addGenConstrIndicator(b0, False, x + y, "<", 2)
        m.addConstr((b1 == 0) >> (y <= 1))
    else:
        big = 20
        m.addConstr(x + y <= 2 + big * b0)
        m.addConstr(y <= 1 + big * b1)
    m.optimize()
    result = m.Status, m.ObjVal, x.X, y.X, b0.X, b1.X
    m.dispose()
    return result


def test_indicators_optimise_as_their_big_m_form():
    got, want = indicator_optimum(True), indicator_optimum(False)
    assert got[0] == want[0] == VLM.OPTIMAL
    assert got[1:] == pytest.approx(want[1:]) and got[1] == pytest.approx(-23.0)


def test_an_infeasible_miqp_with_an_indicator_is_called_infeasible():
    # The check of the verdict searches for a point without the objective;
    # CBC's search of an all-zero objective asserted in CLP on this model.
    m = Model()
    x0, x1 = m.addVar(ub=3, vtype=VLM.INTEGER), m.addVar(lb=-1, ub=1, vtype=VLM.INTEGER)
    x2 = m.addVar(vtype=VLM.BINARY)
    m.addConstr(3 * x0 + x1 + 2 * x2 <= 10)
    m.addGenConstrIndicator(x2, False, -3 * x0 + 2 * x1 - 2 * x2, VLM.EQUAL, -2)
    m.addConstr(2 * x0 + 2 * x1 + 2 * x2 >= 0)
    m.addConstr(-2 * x1 - x2 == 0)                          # x1 = x2 = 0, then 3 x0 = 2
    m.setObjective(4 * x0 - 3 * x2 + 2 - (2 * x0 * x0 + x1 * x1), VLM.MAXIMIZE)
    m.optimize()
    assert m.Status == VLM.INFEASIBLE


def test_no_argument_is_kept(m, xyz, leaks):
    x, y, z = xyz
    b = m.addVar(vtype=VLM.BINARY)
    members, wts, expr, name = [x, y], [1.0, 2.0], x + y, "".join(["g", "1"])
    before = [sys.getrefcount(o) for o in (members, wts, expr, name)]
    for _ in range(20):
        m.getSOS(m.addSOS(1, members, wts))
        m.getGenConstrIndicator(m.addGenConstrIndicator(b, True, expr, "<", 1, name))
    assert [sys.getrefcount(o) for o in (members, wts, expr, name)] == before

    def refused():
        for call in (lambda: m.addSOS(1, members, [1.0]), lambda: m.addGenConstrIndicator(b, True, expr, "", 1),
                     lambda: m.addGenConstrIndicator(x, True, expr, "<", 1)):
            try:
                call()
            except (ValueError, IndexError, VelmorError):
                pass

    def fresh_model():
        mm = Model()
        v, bb = mm.addVar(), mm.addVar(vtype=VLM.BINARY)
        mm.getSOS(mm.addSOS(1, [v, bb]))
        mm.getGenConstrIndicator(mm.addConstr((bb == 1) >> (v <= 1)))
        mm.dispose()

    assert not leaks(refused, inner=50)
    assert not leaks(fresh_model, inner=30)


def test_code_run_by_a_weight_cannot_free_what_addSOS_uses(run_python):
    # A weight's __float__ removes the first member and re-initialises the
    # model: the set is refused on the disposed library model, and nothing
    # reads freed memory or a stale index.
    result = run_python("""
        from velmorpy import Model, VelmorError
        m = Model()
        x, y, z = (m.addVar() for _ in range(3))

        class Weight:
            def __float__(self):
                m.remove(x)
                return 2.0

        s = m.addSOS(1, [y, z], [1.0, Weight()])
        assert m.getSOS(s)[1] == [y, z] and (y.index, z.index) == (0, 1)

        class Wiper:
            def __float__(self):
                m.__init__()
                return 1.0

        try:
            m.addSOS(1, [y, z], [1.0, Wiper()])
        except VelmorError:
            print("refused")
    """, PYTHONMALLOC="malloc_debug")
    assert result.returncode == 0, result.stderr
    assert result.stdout == "refused\n"
