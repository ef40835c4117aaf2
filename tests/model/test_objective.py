"""Model.setObjective and getObjective: what the library stores afterwards,
round trips, and refusals that leave the previous objective as it was."""
import pytest

from velmorpy import VLM, LinExpr, Model, QuadExpr, VelmorError


def objective(m):
    """What the library holds: sense, constant, Obj of every variable, the
    quadratic terms as getObjective rebuilds them."""
    e = m.getObjective()
    quad = [] if isinstance(e, LinExpr) else [(e.getVar1(i).index, e.getVar2(i).index, e.getCoeff(i))
                                               for i in range(e.size())]
    return m.ModelSense, m.ObjCon, m.getAttr("Obj", m.getVars()), quad


def test_linear_coefficients_are_summed_and_every_other_one_is_reset(m, xyz):
    x, y, z = xyz
    assert m.getObjective().size() == 0 and m.getObjective().getConstant() == 0.0
    m.setObjective(z + 0.0)
    m.setObjective(x + x + 2 * y + 3)
    assert objective(m) == (VLM.MINIMIZE, 3.0, [2.0, 2.0, 0.0], [])
    m.setObjective(x - x, VLM.MAXIMIZE)
    assert objective(m) == (VLM.MAXIMIZE, 0.0, [0.0, 0.0, 0.0], [])
    m.setObjective(LinExpr(y), VLM.MAXINT)                     # the sense stays
    assert m.ModelSense == VLM.MAXIMIZE
    e = m.getObjective()
    assert type(e) is LinExpr and e.size() == 1 and e.getVar(0).sameAs(y) and e.getCoeff(0) == 1.0


def test_quadratic_terms_replace_the_earlier_ones(m, xyz):
    x, y, z = xyz
    q = QuadExpr()
    q.addTerms([1.0, 2.0], [x, y], [y, x])       # two triples; the library keeps one per pair
    q.addTerms(4.0, z, z)
    m.setObjective(q + 2 * x + 7)
    assert objective(m) == (VLM.MINIMIZE, 7.0, [2.0, 0.0, 0.0], [(0, 1, 3.0), (2, 2, 4.0)])
    got = m.getObjective()
    assert type(got) is QuadExpr and got.getLinExpr().getConstant() == 7.0
    m.setObjective(QuadExpr(x + 1))              # no quadratic part: removes them all
    assert objective(m) == (VLM.MINIMIZE, 1.0, [1.0, 0.0, 0.0], [])
    m.setObjective(x * x)
    m.setObjective(y + 0)
    assert objective(m)[3] == []


def test_subclasses_are_read_through_their_methods(m, xyz):
    x, y, z = xyz

    class Scaled(LinExpr):
        def getCoeff(self, i):
            return 10 * LinExpr.getCoeff(self, i)

    class Squares(QuadExpr):
        def getCoeff(self, i):
            return 5.0

    m.setObjective(Scaled([1, 2], [x, y]))
    assert m.getAttr("Obj", m.getVars()) == [10.0, 20.0, 0.0]
    m.setObjective(Squares(x * x + y * z))
    assert objective(m)[3] == [(0, 0, 5.0), (1, 2, 5.0)]


def test_refused_objectives_change_nothing(m, xyz):
    x, y, z = xyz
    m.setObjective(x * y + 2 * z + 1, VLM.MAXIMIZE)
    before = objective(m)
    other = Model()
    w = other.addVar()
    cases = [
        (lambda: m.setObjective(x), TypeError, "expr should be one of [LinExpr, QuadExpr, PsdExpr] type"),
        (lambda: m.setObjective(3.0), TypeError, "expr should be one of [LinExpr, QuadExpr, PsdExpr] type"),
        (lambda: m.setObjective(x == 1), TypeError, "expr should be one of [LinExpr, QuadExpr, PsdExpr] type"),
        (lambda: m.setObjective(x + w), ValueError,
         "the expression holds a variable that does not belong to this model"),
        (lambda: m.setObjective(x + y * w), ValueError,
         "the expression holds a variable that does not belong to this model"),
        (lambda: m.setObjective(x + 1, "max"), TypeError, None),
        (lambda: m.setObjective(x + 1, 2 ** 40), OverflowError, None),
        (lambda: m.setObjective(x + 1, 0), VelmorError, None),              # the library's sense rule
        (lambda: m.setObjective(float("nan") * x + y), VelmorError, "Invalid argument"),
        (lambda: m.setObjective(x * y + float("inf")), VelmorError, "Invalid argument"),
        (lambda: m.setObjective(float("inf") * x * y), VelmorError, "Invalid argument"),
    ]
    for call, kind, text in cases:
        with pytest.raises(kind) as info:
            call()
        if text is not None:
            assert str(info.value) == text
        assert objective(m) == before
    other.dispose()


def test_convex_qp_optimum_and_values(m, xyz):
    x, y, z = xyz
    m.addConstr(x + y >= 1)
    obj = x * x + y * y
    m.setObjective(obj)
    m.optimize()
    assert m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(0.5, abs=1e-7)
    assert (x.X, y.X) == pytest.approx((0.5, 0.5), abs=1e-6)
    assert obj.getValue() == pytest.approx(m.ObjVal, abs=1e-9)
    assert m.getObjective().getValue() == pytest.approx(m.ObjVal, abs=1e-9)


def test_nothing_is_kept(m, xyz, leaks):
    x, y, z = xyz
    q = x * x + 2 * y + 1

    def refused():
        try:
            m.setObjective(x + 1, 0)
        except VelmorError:
            pass

    assert not leaks(lambda: m.setObjective(q), inner=100)
    assert not leaks(lambda: m.getObjective(), inner=100)
    assert not leaks(refused, inner=100)
