"""Semidefinite variables and rows: addPsdVar, getPsdVars, getPsdConstrs, the
semidefinite rows of addConstr and addRange, and semidefinite programs solved
to the optimum the eigenvalues give."""
import numpy as np
import pytest
import scipy.sparse as sp

from velmorpy import VLM, Constr, Model, PsdConstr, PsdExpr, PsdVar, VelmorError

INF = 1e20


# --- addPsdVar, getPsdVars, getPsdConstrs ---------------------------------------------

def test_addpsdvar_dimension_objective_and_lists(m):
    X = m.addPsdVar(dim=3, name="X")
    assert type(X) is PsdVar and X.index == 0 and X.dim == 3 and X.PsdVarName == "X"
    assert np.array_equal(np.asarray(sp.csr_matrix(X.PsdObj).toarray()), np.zeros((3, 3)))
    Y = m.addPsdVar(obj=np.array([[1.0, 0.0], [0.0, 2.0]]))
    Z = m.addPsdVar(2, np.array([[1.0, 2.0], [3.0, 4.0]]))          # read by the mirror rule
    W = m.addPsdVar(obj=sp.csc_matrix(np.array([[1.0, 2.0], [3.0, 4.0]])))  # column order: the 2 comes last
    for var, expected in [(Y, [[1, 0], [0, 2]]), (Z, [[1, 3], [3, 4]]), (W, [[1, 2], [2, 4]])]:
        assert np.array_equal(sp.csr_matrix(var.PsdObj).toarray(), expected)
    assert m.getPsdVars() == [X, Y, Z, W] and m.NumPsdVars == 4
    assert m.getPsdVars() is not m.getPsdVars()                         # a copy: the model's list stays its own
    m.getPsdVars().clear()
    assert len(m.getPsdVars()) == 4 and m.getPsdConstrs() == []


def test_addpsdvar_sums_repeated_entries_on_a_copy(m):
    S = sp.coo_matrix(([0.5, 0.5, 2.0], ([0, 0, 1], [0, 0, 0])), shape=(2, 2))
    snapshot = S.data.copy(), S.row.copy(), S.col.copy()
    X = m.addPsdVar(obj=S)
    assert np.array_equal(sp.csr_matrix(X.PsdObj).toarray(), [[1.0, 2.0], [2.0, 0.0]])
    assert all(np.array_equal(a, b) for a, b in zip((S.data, S.row, S.col), snapshot))
    assert not S.has_canonical_format


def test_malformed_sparse_coefficients_are_refused(m):
    bad = sp.csr_matrix(np.eye(2))
    bad.indices = np.array([0, 5], dtype=np.int64)                       # a column outside the matrix
    P = m.addPsdVar(2)
    with pytest.raises(ValueError):                                     # SciPy's own check, or ours
        m.addPsdVar(obj=bad)
    e = P * sp.csr_matrix(np.eye(2))
    e.getCoeff(0).indices[1] = 5                                        # the coefficient broken after the check
    with pytest.raises(ValueError):
        m.addConstr(e <= 1)
    assert (m.NumPsdVars, m.NumConstrs) == (1, 0)


def test_addpsdvar_refusals_add_nothing(m):
    cases = [
        (lambda: m.addPsdVar(), ValueError, "one of arguments {`dim`, `obj`} should be provided"),
        (lambda: m.addPsdVar(dim=0), ValueError, "one of arguments {`dim`, `obj`} should be provided"),
        (lambda: m.addPsdVar(dim=-1), ValueError, "one of arguments {`dim`, `obj`} should be provided"),
        (lambda: m.addPsdVar(dim=2, name=None), TypeError, "encoding without a string argument"),
        (lambda: m.addPsdVar(name=None), TypeError, "encoding without a string argument"),
        (lambda: m.addPsdVar(obj=[[1, 0], [0, 1]]), TypeError, "obj should be a numpy 2d-array or scipy sparse matrix"),
        (lambda: m.addPsdVar(obj=np.ones(3)), TypeError, "obj should be a numpy 2d-array or scipy sparse matrix"),
        (lambda: m.addPsdVar(obj=np.ones((2, 2, 2))), TypeError,
         "obj should be a numpy 2d-array or scipy sparse matrix"),
        (lambda: m.addPsdVar(obj=np.ones((2, 3))), ValueError, "obj should be a square matrix"),
        (lambda: m.addPsdVar(dim=3, obj=np.eye(2)), ValueError, "dimension of obj should be equal to dim"),
        (lambda: m.addPsdVar(dim=46341), ValueError, "dim * dim is beyond the 32-bit range"),
        (lambda: m.addPsdVar(obj=sp.coo_matrix((2**32, 2**32))), ValueError, "dim * dim is beyond the 32-bit range"),
        (lambda: m.addPsdVar(obj=np.array([[1.0, np.nan], [0.0, 1.0]])), VelmorError, None),   # the library's refusal
        (lambda: m.addPsdVar(obj=np.zeros((0, 0))), VelmorError, None),
        (lambda: m.addPsdVar(obj=np.array([[1, "x"], ["y", 1]], dtype=object)), ValueError, None),
    ]
    for call, kind, text in cases:
        with pytest.raises(kind) as info:
            call()
        if text is not None:
            assert str(info.value) == text
        assert m.NumPsdVars == 0 and m.getPsdVars() == []
    assert m.addPsdVar(dim=2, obj=np.eye(2)).dim == 2                   # a dim that agrees is taken
    m.dispose()
    with pytest.raises(VelmorError):
        m.addPsdVar(dim=2)


# --- semidefinite rows ------------------------------------------------------------

def test_psd_rows_join_both_lists_with_their_bounds(m):
    P = m.addPsdVar(2)
    x = m.addVar()
    pe = P * np.eye(2) + 2 * x + 3
    c0 = m.addRange(pe, 0, 1e25, "r")                                    # an infinite bound is not shifted
    c1 = m.addConstr(pe >= 1)                                            # one-sided: the other side infinite
    c2 = m.addConstr(pe <= 5, "up")
    c3 = m.addConstr(pe == 4)
    assert [type(c) for c in (c0, c1, c2, c3)] == [PsdConstr] * 4
    assert [c.index for c in (c0, c1, c2, c3)] == [0, 1, 2, 3]
    assert [(c.PsdCLHS, c.PsdCRHS) for c in (c0, c1, c2, c3)] == [(-3, INF), (-2, INF), (-INF, 2), (1, 1)]
    assert [c.PsdCName for c in (c0, c1, c2)] == ["r", "", "up"]
    assert m.NumConstrs == 4 and len(m.getConstrs()) == len(m.getPsdConstrs()) == 4
    assert all(type(c) is Constr for c in m.getConstrs()) and m.getPsdConstrs()[2].sameAs(c2)
    assert m.getA().toarray().tolist() == [[2.0]] * 4                    # the linear parts
    assert m.addRange(pe, None, 5, None).PsdCLHS == -INF                  # addRange: None is the empty name


def test_psd_row_refusals_add_nothing(m):
    other = Model()
    P, Q = m.addPsdVar(2), other.addPsdVar(2)
    x, w = m.addVar(), other.addVar()
    cases = [
        (lambda: m.addRange(P * np.eye(2), None, None), TypeError, "must be real number, not NoneType"),
        (lambda: m.addConstr(P * np.eye(2) <= 1, None), TypeError, "encoding without a string argument"),
        (lambda: m.addConstr(Q * np.eye(2) <= 1), ValueError,
         "the expression holds a semidefinite variable that does not belong to this model"),
        (lambda: m.addConstr(P * np.eye(2) + w <= 1), ValueError,
         "the expression holds a variable that does not belong to this model"),
        (lambda: m.addConstr(P * np.array([[np.nan, 0], [0, 1]]) <= 1), VelmorError, None),
        (lambda: m.addConstr(P * np.eye(2) <= float("nan")), VelmorError, None),
    ]
    for call, kind, text in cases:
        with pytest.raises(kind) as info:
            call()
        if text is not None:
            assert str(info.value) == text
        assert m.NumConstrs == 0 and m.getConstrs() == [] and m.getPsdConstrs() == []
    assert m.addConstr(PsdExpr(x) <= 1).index == 0                        # no semidefinite terms: still a row
    other.dispose()


def sdp(C, make=np.asarray):
    """min C . P subject to trace(P) = 1, P positive semidefinite."""
    m = Model()
    P = m.addPsdVar(dim=C.shape[0], name="P")
    m.addConstr(P * make(np.eye(C.shape[0])) == 1, "trace")
    m.setObjective(P * make(C), VLM.MINIMIZE)
    m.optimize()
    return m, P


@pytest.mark.parametrize("make", [np.asarray, sp.csr_matrix, sp.coo_matrix])
def test_the_sdp_finds_the_smallest_eigenvalue(make):
    rng = np.random.default_rng(11)
    for n in (2, 3, 5):
        B = rng.standard_normal((n, n))
        C = (B + B.T) / 2
        m, P = sdp(C, make)
        assert m.Status == VLM.OPTIMAL
        assert m.ObjVal == pytest.approx(np.linalg.eigvalsh(C)[0], abs=1e-6)
        X = np.asarray(sp.csr_matrix(P.PsdX).toarray() if sp.issparse(P.PsdX) else P.PsdX)
        assert np.allclose(X, X.T) and np.linalg.eigvalsh(X)[0] > -1e-6 and np.trace(X) == pytest.approx(1, abs=1e-6)
        m.dispose()


def test_rows_and_objective_read_coefficients_as_their_values_do():
    # Two non-symmetric terms of one variable, and a sparse coefficient with a
    # repeated entry: the solver and getValue read them alike.
    m = Model()
    P = m.addPsdVar(2)
    upper, lower = np.array([[0.0, 1.0], [0.0, 0.0]]), np.array([[0.0, 0.0], [1.0, 0.0]])
    S = sp.coo_matrix(([0.5, 0.5], ([0, 0], [0, 0])), shape=(2, 2))      # stands for 1.0 at (0, 0)
    row = P * upper + P * lower                                          # each reads as [[0, 1], [1, 0]]
    trace = P * S + P * np.array([[0.0, 0.0], [0.0, 1.0]])
    m.addConstr(row == 1.5)
    m.addConstr(trace == 1)
    objective = P * np.eye(2) + P * upper
    m.setObjective(objective, VLM.MINIMIZE)
    m.optimize()
    assert m.Status == VLM.OPTIMAL
    assert row.getValue() == pytest.approx(1.5, abs=1e-6) and trace.getValue() == pytest.approx(1, abs=1e-6)
    assert objective.getValue() == pytest.approx(m.ObjVal, abs=1e-6)
    assert m.getObjective().getValue() == pytest.approx(m.ObjVal, abs=1e-6)
    assert S.data.tolist() == [0.5, 0.5] and not S.has_canonical_format
    m.dispose()


def test_one_sided_rows_bound_the_optimum():
    C = np.diag([3.0, 1.0, 2.0])
    m = Model()
    P = m.addPsdVar(3)
    m.addConstr(P * np.eye(3) >= 2)                                       # trace(P) >= 2
    m.addConstr(P * np.diag([1.0, 1.0, 0.0]) <= 1.5)
    m.setObjective(P * C, VLM.MINIMIZE)
    m.optimize()
    # Cheapest is weight on the second diagonal entry (cost 1), at most 1.5 of it; the rest on the third (cost 2).
    assert m.Status == VLM.OPTIMAL and m.ObjVal == pytest.approx(1.5 * 1 + 0.5 * 2, abs=1e-5)
    m.dispose()


def test_subclasses_are_read_through_their_methods(m):
    P = m.addPsdVar(2)
    x = m.addVar()

    class Scaled(PsdExpr):
        def getCoeff(self, i):
            return 2 * super().getCoeff(i)

        def getConstant(self):
            return 1.0

    e = Scaled([(np.eye(2), P), (1.0, x)])
    c = m.addRange(e, None, 3)                                            # the constant from getConstant
    assert (c.PsdCLHS, c.PsdCRHS) == (-INF, 2.0)
    m.setObjective(-1.0 * x, VLM.MINIMIZE)
    m.addConstr(x <= 10)
    m.optimize()                                                          # <2 I, P> + x <= 2, P >= 0: x up to 2
    assert m.Status == VLM.OPTIMAL and x.X == pytest.approx(2, abs=1e-5)

    class Overstated(PsdExpr):      # a size() far beyond its terms: the first wrong term ends the read
        def size(self):
            return 2**31 - 1

        def getCoeff(self, i):
            return np.eye(2)

        def getVar(self, i):
            return 10**12

    for add in (lambda e: m.addRange(e, None, 3), m.setObjective):
        with pytest.raises(TypeError, match="PsdVar"):
            add(Overstated())


def test_semidefinite_rows_keep_nothing(leaks):
    def fresh_model():
        m = Model()
        P = m.addPsdVar(obj=np.eye(2))
        x = m.addVar()
        m.addConstr(P * np.eye(2) + x == 1, "t")
        m.addRange(P * sp.csr_matrix(np.ones((2, 2))), 0, 1)
        m.getPsdVars(), m.getPsdConstrs()
        m.dispose()

    m = Model()
    P = m.addPsdVar(2)

    def refused():
        try:
            m.addRange(P * np.eye(2), None, None)
        except TypeError:
            pass
    for _ in range(2000):                   # the interpreter's free lists and SciPy's caches fill first
        fresh_model()
    assert not leaks(fresh_model, inner=50)
    assert not leaks(refused, inner=50)
    m.dispose()


def test_code_run_while_coefficients_are_read_cannot_free_what_they_use(run_python):
    # A coefficient whose float conversion re-initialises the model: the row
    # is refused on the disposed library model, and nothing reads freed memory.
    result = run_python("""
        import numpy as np
        from velmorpy import Model, VelmorError
        m = Model()
        P = m.addPsdVar(2)

        class Renewing(float):
            def __float__(self):
                m.__init__()
                return 1.0

        C = np.array([[Renewing(1), 0], [0, Renewing(1)]], dtype=object)
        try:
            m.addConstr(P * C <= 1)
        except (VelmorError, ValueError) as e:
            print("refused", type(e).__name__)
        try:
            m.addPsdVar(obj=C)
            print("added", m.NumPsdVars)
        except VelmorError as e:
            print("refused", type(e).__name__)
    """, PYTHONMALLOC="malloc_debug")
    assert result.returncode == 0, result.stderr
    assert result.stdout.split("\n")[0].startswith("refused")
