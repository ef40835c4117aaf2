"""Model.addConstrs: keys from the generator's loop variables in the order of
its for clauses, names made from them, and the refusals."""
import pytest

from velmorpy import VLM, Model, quicksum, tupledict


@pytest.fixture
def x(m):
    return m.addVars(3, 2, name="x")


def names(constrs):
    return [c.ConstrName for c in constrs]


def test_keys_and_names_follow_the_loop_variables(m, x):
    c = m.addConstrs((x[i, j] <= i for i in range(3) for j in range(2)), name="c")
    assert isinstance(c, tupledict) and list(c) == [(i, j) for i in range(3) for j in range(2)]
    assert names(c.values()) == ["c[0,0]", "c[0,1]", "c[1,0]", "c[1,1]", "c[2,0]", "c[2,1]"]
    assert names(c.values()) == names(m.getConstrs())
    assert m.getAttr("RHS", list(c.values())) == [0, 0, 1, 1, 2, 2]
    single = m.addConstrs(x[i, 0] >= 0 for i in range(3))
    assert list(single) == [0, 1, 2] and names(single.values()) == ["", "", ""]
    keyed = m.addConstrs((x[0, 0] >= 1 for s in ["a b"] for t in [(1, 2)] for f in [2.5]), name="k")
    assert list(keyed) == [("a b", (1, 2), 2.5)] and names(keyed.values()) == ["k['ab',(1,2),2.5]"]


def test_a_loop_variable_used_by_an_inner_scope_keeps_its_place(m, x):
    coeff = {0: 1.0, 1: 2.0}               # of the enclosing scope: never part of a key
    J = [0, 1]
    c = m.addConstrs((quicksum(coeff[k] * x[i, k] for k in J) + x[i, j] <= 4 for i in range(3) for j in J),
                     name="d")
    assert list(c) == [(i, j) for i in range(3) for j in J]
    assert names(c.values())[:3] == ["d[0,0]", "d[0,1]", "d[1,0]"]
    # Unpacking targets keep their order too.
    c = m.addConstrs(x[i, j] >= 0 for j, i in [(1, 2), (0, 1)])
    assert list(c) == [(1, 2), (0, 1)]


def test_generator_functions(m, x):
    def fixed():
        yield x[0, 0] <= 1
        yield x[0, 1] <= 1

    assert list(m.addConstrs(fixed())) == [0, 1]
    assert list(m.addConstrs(fixed(), name="f")) == [0, 1]        # the counter starts again
    assert names(m.getConstrs()[-2:]) == ["f[0]", "f[1]"]

    def rows(n):
        for i in range(n):
            yield x[i, 0] <= n

    assert list(m.addConstrs(rows(2))) == [(2, 0), (2, 1)]         # its parameter is a local too
    repeated = m.addConstrs(x[0, 0] <= k for i in [1, 1] for k in [3])
    assert list(repeated) == [(1, 3)] and m.NumConstrs == 8       # both rows enter the model
    assert repeated[1, 3].index == 7
    assert m.addConstrs(x[i, 0] <= 1 for i in []) == {} and m.NumConstrs == 8


def test_refusals(m, x):
    with pytest.raises(TypeError, match=r"^list object is not an iterator$"):
        m.addConstrs([x[0, 0] <= 1])
    with pytest.raises(TypeError, match="^only accept generator which generates TempConstr value$"):
        m.addConstrs(x[0, i] for i in range(2))
    with pytest.raises(TypeError, match="^expected bytes, NoneType found$"):
        m.addConstrs((x[0, i] <= 1 for i in range(2)), name=None)
    with pytest.raises(AttributeError, match="gi_code"):
        m.addConstrs(iter([x[0, 0] <= 1]))
    assert m.NumConstrs == 0
    # Constraints added before a failing one stay.
    with pytest.raises(TypeError, match="quadratic"):
        m.addConstrs((x[0, 0] * x[0, i] <= 1 if i else x[0, 0] <= 1) for i in range(2))
    assert m.NumConstrs == 1 and len(m.getConstrs()) == 1


def test_a_model_of_generated_rows_solves(m, x):
    cap = {(i, j): 1 + i + j for i in range(3) for j in range(2)}
    c = m.addConstrs(x[i, j] <= cap[i, j] for i, j in cap)
    m.addConstrs((x.sum(i, "*") <= 3 for i in range(3)), name="row")
    m.setAttr("Obj", list(x.values()), [1.0] * 6)
    m.ModelSense = VLM.MAXIMIZE
    m.optimize()
    assert m.ObjVal == pytest.approx(3 + 3 + 3)
    assert all(x[k].X <= cap[k] + 1e-9 for k in cap) and c[2, 1].Activity == pytest.approx(x[2, 1].X)


def test_nothing_is_kept(leaks):
    def build():
        mm = Model()
        v = mm.addVars(2)
        mm.addConstrs((v[i] <= i for i in range(2)), name="c")
        mm.dispose()

    assert not leaks(build, inner=50)
