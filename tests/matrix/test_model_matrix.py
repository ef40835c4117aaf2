"""The model's matrix interface: matrix-shaped constraints through addConstr,
addMConstr and getA. Every result is checked against the same computation on
float arrays or against getA."""
import numpy as np
import pytest
import scipy.sparse as sp

from velmorpy import Constr, MConstr, Model, MVar, TempConstr, VelmorError

INF = 1e20


def state(m):
    return m.NumConstrs, len(m.getConstrs()), len(m.getPsdConstrs())


def row_names(c):
    return [r.ConstrName for r in np.array(c.tolist(), dtype=object).reshape(-1)]


# --- addConstr of matrix-shaped expressions ---------------------------------------

def test_matrix_rows_have_their_shape_names_and_sides(m):
    x = m.addMVar(2, name="x")
    E = np.eye(2) @ x
    C = m.addConstr(E <= np.array([4.0, 5.0]), name="r")
    assert type(C) is MConstr and C.shape == (2,)
    assert row_names(C) == ["r[0]", "r[1]"]
    assert C.RHS.tolist() == [4.0, 5.0] and C.LHS.tolist() == [-INF, -INF]
    X = m.addMVar((2, 3))
    D = m.addConstr(X >= 1, name="c")                           # an MVar is the MLinExpr X + 0
    assert D.shape == (2, 3) and D.LHS.tolist() == [[1.0] * 3] * 2 and (D.RHS == INF).all()
    assert row_names(D) == ["c[0,0]", "c[0,1]", "c[0,2]", "c[1,0]", "c[1,1]", "c[1,2]"]
    assert row_names(m.addConstr(X <= 2)) == [""] * 6
    assert row_names(m.addConstr(X <= 2, None)) == [""] * 6
    assert [c.index for c in C.tolist()] == [0, 1] and m.NumConstrs == 2 + 6 + 12
    assert state(m) == (20, 20, 20)
    A = m.getA().toarray()
    assert np.array_equal(A[2:8, 2:], np.eye(6)) and np.array_equal(A[:2, :2], np.eye(2))


def test_matrix_rows_match_the_products_on_floats(m):
    rng = np.random.default_rng(7)
    A = rng.random((4, 6))
    S = sp.random(5, 6, density=0.4, format="csr", random_state=3)
    x = m.addMVar(6)
    c = rng.random(4)
    b = rng.random(4) + 2
    r1 = m.addConstr(A @ x + c <= b)
    r2 = m.addConstr(S @ x == np.arange(5.0))
    assert np.allclose(r1.RHS, b - c) and (r1.LHS == -INF).all()
    assert np.allclose(r2.RHS, np.arange(5.0)) and np.allclose(r2.LHS, np.arange(5.0))
    assert np.array_equal(m.getA().toarray(), np.vstack([A, S.toarray()]))


def test_empty_matrix_rows_make_no_call_and_keep_their_shape(m):
    x = m.addMVar((2, 3))
    before = state(m)
    for expr, shape in [(x[0:0], (0, 3)), (x[:, 0:0], (2, 0)), (x[0, 0:0], (0,))]:
        C = m.addConstr(expr <= 1, name="e")
        assert type(C) is MConstr and C.shape == shape and C.size == 0
        assert state(m) == before
    m.dispose()
    with pytest.raises(VelmorError):                               # still refused on a disposed model
        m.addConstr(x[0:0] <= 1)


def test_refused_matrix_rows_add_nothing(m):
    other = Model()
    x, w = m.addMVar(3), other.addMVar(3)
    m.addConstr(x >= 0)
    before = state(m), m.getA().nnz
    cases = [
        (lambda: m.addConstr(x + w <= 1), ValueError, "the expression holds a variable that does not belong to this model"),
        (lambda: m.addConstr(np.array([1.0, np.nan, 1.0]) * x <= 1), VelmorError, None),  # the library's refusal
        (lambda: m.addConstr(x * x <= 1), TypeError, "quadratic constraint is not currently supported"),
        (lambda: m.addConstr(x <= 1, 5), TypeError, None),
    ]
    for call, kind, text in cases:
        with pytest.raises(kind) as info:
            call()
        if text is not None:
            assert str(info.value) == text
        assert (state(m), m.getA().nnz) == before
    other.dispose()


def test_matrix_rows_keep_nothing(leaks):
    A = np.arange(6.0).reshape(2, 3)

    def fresh_model():
        m = Model()
        x = m.addMVar(3)
        m.addConstr(A @ x <= 1, name="c")
        m.addConstr(x >= 0)
        m.dispose()

    m = Model()
    x = m.addMVar(2)

    def refused():
        try:
            m.addConstr(np.array([1.0, np.nan]) * x <= 1)
        except VelmorError:
            pass
    for _ in range(2000):                   # the interpreter's free lists fill first
        fresh_model()
    assert not leaks(fresh_model, inner=50)
    assert not leaks(refused, inner=50)
    m.dispose()


# --- addMConstr --------------------------------------------------------------------

@pytest.mark.parametrize("make", [np.array, sp.csr_matrix, sp.csc_matrix, lambda a: a.tolist()])
def test_addmconstr_rows_bounds_and_names(m, make):
    A = np.array([[1.0, 0.0, 2.0], [0.0, 3.0, 0.0], [4.0, 5.0, 6.0]])
    x = m.addMVar(3)
    b = np.array([1.0, 2.0, 3.0])
    C = m.addMConstr(make(A), x, ["<", ">", "="], b)
    assert type(C) is MConstr and C.shape == (3,) and all(type(c) is Constr for c in C.tolist())
    assert C.LHS.tolist() == [-INF, 2.0, 3.0] and C.RHS.tolist() == [1.0, INF, 3.0]
    assert row_names(C) == ["[0]", "[1]", "[2]"]                     # the default name gives bare subscripts
    assert np.array_equal(m.getA().toarray(), A)
    assert row_names(m.addMConstr(A, x, "<", b, name="cap")) == ["cap[0]", "cap[1]", "cap[2]"]
    assert row_names(m.addMConstr(A, x, "<", b, name=None)) == ["", "", ""]


def test_addmconstr_rows_from_the_arrays_equal_the_products_rows(m):
    # addMConstr reads A's arrays; its rows must be those that A @ x gives.
    x = m.addMVar(4)
    v = x.tolist()
    picks = [v[2], v[0], v[2], v[3], v[1]]                           # out of order, one variable twice
    coo = sp.coo_matrix(([1.0, 0.0, 2.0, -1.0, 3.0, 5.0], ([0, 0, 1, 1, 1, 2], [4, 1, 0, 0, 2, 3])), shape=(3, 5))
    unsorted = sp.csr_matrix(([1.0, 2.0, 3.0], [3, 0, 1], [0, 3, 3, 3]), shape=(3, 5))
    dense = np.array([[0, 2, 0, 1, 0], [1, 0, 0, 0, 3], [0, 0, 0, 0, 0]])
    for A in [coo, unsorted, coo.tocsc(), dense, dense.astype(bool), dense.astype(np.float32)]:
        first = m.NumConstrs
        m.addMConstr(A, picks, "<", np.ones(3))
        m.addConstr(A @ x[[2, 0, 2, 3, 1]] <= np.ones(3))
        rows = m.getA()[first:]
        assert (rows[:3] != rows[3:]).nnz == 0 and rows[:3].nnz == rows[3:].nnz
    bad = sp.csr_matrix(([1.0], [0], [0, 1, 1, 1]), shape=(3, 5))
    bad.indices[0] = 7
    with pytest.raises(ValueError) as info:
        m.addMConstr(bad, picks, "<", np.ones(3))
    assert "index 7 of the sparse matrix is out of range" in str(info.value)


def test_addmconstr_as_the_issue_shows(m):
    X = m.addMVar(3)
    C = m.addMConstr(np.eye(3), X, "=", np.array([1.0, 2.0, 3.0]))
    assert C.LHS.tolist() == C.RHS.tolist() == [1.0, 2.0, 3.0]
    with pytest.raises(VelmorError) as info:
        m.addMConstr(np.eye(3), X, "<=", [1, 2, 3])
    assert str(info.value) == "Invalid sense `<=`" and m.NumConstrs == 3


def test_addmconstr_takes_x_as_none_a_list_or_an_mvar(m):
    v = [m.addVar() for _ in range(3)]
    A = np.array([[1.0, 2.0, 3.0]])
    m.addMConstr(A, None, "<", [1])
    m.addMConstr(A, v, ">", [2])
    m.addMConstr(A, m.addMVar(3), "=", [3])
    assert np.array_equal(m.getA().toarray(), [[1, 2, 3, 0, 0, 0], [1, 2, 3, 0, 0, 0], [0, 0, 0, 1, 2, 3]])
    assert m.getConstrs()[0].RHS == 1 and m.getConstrs()[1].LHS == 2


def test_addmconstr_edges_of_size(m):
    x = m.addMVar(2)
    C = m.addMConstr(np.zeros((0, 2)), x, "<", np.zeros(0))          # no rows: no library call
    assert C.shape == (0,) and m.NumConstrs == 0
    e = Model()
    C = e.addMConstr(np.zeros((2, 0)), None, [">", "<"], [1.0, 2.0])  # rows without terms
    assert C.shape == (2,) and e.NumConstrs == 2 and e.getA().shape == (2, 0)
    assert C.LHS.tolist() == [1.0, -INF] and C.RHS.tolist() == [INF, 2.0]
    e.dispose()


def test_addmconstr_bounds_take_the_row_constant_and_infinity(m):
    x = m.addMVar(2)
    C = m.addMConstr(np.eye(2), x, "<", [1e20, 1e30])
    assert C.RHS.tolist() == [INF, INF]
    C = m.addMConstr(np.eye(2), x, ">", [-1e25, 5])
    assert C.LHS.tolist() == [-INF, 5.0]


class OddProduct(np.ndarray):
    """A coefficient matrix whose own `@` answers something that is no matrix expression."""
    def __matmul__(self, other):
        return 5


def test_matrix_rows_refuse_a_sum_that_is_no_matrix_expression(m):
    class OddSum(MVar):
        def __add__(self, other):
            return 5
    x = m.addMVar(2)
    odd = OddSum()
    odd.__setstate__((np.array(x.tolist(), dtype=object),))
    constr = TempConstr.__new__(TempConstr)
    constr.__setstate__((odd, 1.0, 2.0))
    with pytest.raises(TypeError, match="Cannot convert int to velmorpy.MLinExpr"):
        m.addConstr(constr)
    assert state(m) == (0, 0, 0)


def test_addmconstr_refusals_in_order_add_nothing(m):
    other = Model()
    x, w = m.addMVar(3), other.addMVar(3)
    A, b = np.eye(3), [1.0, 2.0, 3.0]
    cases = [
        (lambda: m.addMConstr([1, 2, 3], x, "<", b), TypeError, "argument A shoud be a matrix"),
        (lambda: m.addMConstr(A, x.reshape(3, 1), "<", b), TypeError, "argument x shoud be a 1-D array or a matrix"),
        (lambda: m.addMConstr(A, x[:2], "<", b), ValueError,
         "first dimension of x should be equal to second dimension of A"),
        (lambda: m.addMConstr(A, x, [["<"] * 3], b), ValueError, "sense should be a scalar or 1-D array"),
        (lambda: m.addMConstr(A, x, ["<", ">"], b), ValueError,
         "length of sense should be equal to first dimension of A"),
        (lambda: m.addMConstr(A, x, ["<", "x", "="], b), VelmorError, "Invalid sense `x`"),   # the element
        (lambda: m.addMConstr(A, x, "x", b), VelmorError, "Invalid sense `x`"),
        (lambda: m.addMConstr(A, x, b"<", b), VelmorError, "Invalid sense `b'<'`"),
        (lambda: m.addMConstr(A, x, "<", [[1.0], [2.0], [3.0]]), TypeError, "argument b shoud be a 1-D array"),
        (lambda: m.addMConstr(A, x, "<", [1.0, 2.0]), ValueError, "length of b should be equal to first dimension of A"),
        (lambda: m.addMConstr(A, w, "<", b), ValueError, "Argument `x` holds an item of another model"),
        (lambda: m.addMConstr(A, [1, 2, 3], "<", b), TypeError, "Cannot convert int to velmorpy.Var"),
        (lambda: m.addMConstr(A.view(OddProduct), x, "<", b), TypeError, "Cannot convert int to velmorpy.MLinExpr"),
        (lambda: m.addMConstr(np.diag([1.0, np.nan, 1.0]), x, "<", b), VelmorError, None),   # the one library call
        (lambda: m.addMConstr(A, x, "<", [1.0, np.nan, 1.0]), VelmorError, None),
        (lambda: m.addMConstr(A, x, "<", b, name=5), TypeError, None),
    ]
    for call, kind, text in cases:
        with pytest.raises(kind) as info:
            call()
        if text is not None:
            assert str(info.value) == text
        assert state(m) == (0, 0, 0)
    other.dispose()


def test_addmconstr_leaves_the_callers_arrays_alone(m):
    x = m.addMVar(3)
    S = sp.coo_matrix(([1.0, 1.0, 2.0], ([0, 0, 1], [1, 1, 2])), shape=(2, 3))   # a repeated entry
    b = np.array([1.0, 2.0])
    snapshot = (S.data.copy(), S.row.copy(), S.col.copy(), b.copy())
    m.addMConstr(S, x, "<", b)
    assert np.array_equal(m.getA().toarray(), [[0, 2, 0], [0, 0, 2]])   # the repeated entry summed
    for now, then in zip((S.data, S.row, S.col, b), snapshot):
        assert np.array_equal(now, then)


def test_sparse_index_arrays_of_either_width_are_read_and_checked(m):
    x = m.addMVar(3)
    A = sp.csr_matrix((np.array([1.0, 2.0, 3.0, 4.0]), np.array([0, 2, 2, 2], dtype=np.int64),
                       np.array([0, 2, 4], dtype=np.int64)), shape=(2, 3))   # a repeated entry in row 1
    m.addMConstr(A, x, "<", [1.0, 2.0])
    m.addConstr(A @ x >= 0)
    assert np.array_equal(m.getA().toarray(), [[1, 0, 2], [0, 0, 7]] * 2)
    assert A.indices.tolist() == [0, 2, 2, 2] and not A.has_canonical_format     # the caller's matrix as it was
    bad = sp.csr_matrix(A, copy=True)
    bad.indices[3] = 7                                                   # outside the 3 columns
    for call in (lambda: m.addMConstr(bad, x, "<", [1.0, 2.0]), lambda: m.addConstr(bad @ x <= 1)):
        with pytest.raises(ValueError):
            call()
    assert m.NumConstrs == 4


def test_addmconstr_keeps_nothing(leaks):
    A = sp.random(3, 4, density=0.5, format="csr", random_state=1)

    def fresh_model():
        m = Model()
        x = m.addMVar(4)
        m.addMConstr(A, x, ["<", ">", "="], [1, 2, 3], name="c")
        m.addMConstr(A.toarray(), None, "<", [1, 2, 3])
        m.getA()
        m.dispose()

    m = Model()
    x = m.addMVar(4)

    def refused():
        try:
            m.addMConstr(A, x, ["<", ">", "x"], [1, 2, 3])
        except VelmorError:
            pass
    for _ in range(2000):                   # the interpreter's free lists fill first
        fresh_model()
    assert not leaks(fresh_model, inner=50)
    assert not leaks(refused, inner=50)
    m.dispose()


# --- getA -------------------------------------------------------------------------

def test_geta_of_empty_models_and_rows_without_coefficients(m):
    A = m.getA()
    assert type(A) is sp.csr_matrix and A.shape == (0, 0) and A.indptr.tolist() == [0]
    m.addMVar(3)
    assert m.getA().shape == (0, 3)
    m.addConstr(np.zeros((1, 3)) @ m.addMVar(3) <= 2)                 # terms of value 0 stay coefficients
    m.addLConstr(0, "<", 1)
    A = m.getA()
    assert A.shape == (2, 6) and A.indptr.tolist() == [0, 3, 3] and A.data.tolist() == [0.0] * 3
    assert A.data.dtype == np.float64 and A.indices.dtype == np.int32 and A.indptr.dtype == np.int32


def test_geta_round_trips_scalar_matrix_and_semidefinite_rows(m):
    x, y = m.addVar(), m.addVar()
    z = m.addMVar(3)
    P = m.addPsdVar(2)
    m.addConstr(2 * x - y <= 4)
    m.addConstr(np.array([[1.0, 0.0, -1.0], [0.0, 5.0, 0.0]]) @ z >= 1)
    m.addConstr(P * np.eye(2) + 3 * y == 1)                            # its linear part is a row of A
    m.addRange(x + y + z[2].item(), 0, 1)
    A = m.getA()
    A.check_format(full_check=True)
    assert A.indptr[-1] == A.nnz == 12                               # the product's zero terms are stored too
    assert np.array_equal(A.toarray(), [[2, -1, 0, 0, 0], [0, 0, 1, 0, -1], [0, 0, 0, 5, 0], [0, 3, 0, 0, 0],
                                        [1, 1, 0, 0, 1]])
    snapshot = A.toarray()
    m.addConstr(x <= 1)
    assert np.array_equal(A.toarray(), snapshot)                      # a snapshot, not a view of the model
    m.dispose()
    with pytest.raises(VelmorError):
        m.getA()


def test_argument_counts(m):
    cases = [
        (lambda: m.addMConstr(1, 2, 3), "addMConstr() takes at least 4 positional arguments (3 given)"),
        (lambda: m.addMConstr(1, 2, 3, 4, 5, 6), "addMConstr() takes at most 5 positional arguments (6 given)"),
        (lambda: m.addPsdVar(1, None, "", 4), "addPsdVar() takes at most 3 positional arguments (4 given)"),
        (lambda: m.getA(1), "getA() takes exactly 0 positional arguments (1 given)"),
        (lambda: m.getPsdVars(1), "getPsdVars() takes exactly 0 positional arguments (1 given)"),
        (lambda: m.getPsdConstrs(x=1), "getPsdConstrs() got an unexpected keyword argument 'x'"),
    ]
    for call, text in cases:
        with pytest.raises(TypeError) as info:
            call()
        assert str(info.value) == text
    assert (Model.addPsdVar.__defaults__, Model.addMConstr.__defaults__) == ((0, None, ""), ("",))
