"""The dense and sparse matrix products with matrix-shaped operands: shapes
and term counts against the same products of float arrays, the terms of the
cells, the one- and two-dimensional rules, sparse formats, index widths and
malformed sparse matrices, and the refusals."""
import itertools

import numpy as np
import pytest
import scipy.sparse as sp

from velmorpy import LinExpr, MLinExpr, MQuadExpr, QuadExpr


def lin(e):
    assert type(e) is LinExpr
    return [(e.getCoeff(i), e.getVar(i).VarName) for i in range(e.size())], e.getConstant()


def cells(M):
    return [M[idx].item() for idx in np.ndindex(M.shape)]


def values(M, X, x):
    """The value of every cell when the variables of X take the values x (a float array of X's shape)."""
    where = {v.index: val for v, val in zip(np.array(X.tolist(), dtype=object).reshape(-1), x.reshape(-1))}

    def value(e):
        if type(e) is QuadExpr:
            return value(e.getLinExpr()) + sum(e.getCoeff(i) * where[e.getVar1(i).index] * where[e.getVar2(i).index]
                                               for i in range(e.size()))
        return e.getConstant() + sum(e.getCoeff(i) * where[e.getVar(i).index] for i in range(e.size()))
    return np.array([value(c) for c in cells(M)]).reshape(M.shape)


# --- dense ---------------------------------------------------------------------------

def test_dense_numbers_with_variables(m):
    X = m.addMVar(3, name="x")
    E = np.array([[1, 0, 2], [0, 3, 0]]) @ X
    assert type(E) is MLinExpr and E.shape == (2,)
    assert lin(E[0].item()) == ([(1.0, "x[0]"), (0.0, "x[1]"), (2.0, "x[2]")], 0.0)   # zero coefficients stay
    assert lin((X @ np.array([[1.0], [2.0], [3.0]]))[0].item()) == ([(1.0, "x[0]"), (2.0, "x[1]"),
                                                                    (3.0, "x[2]")], 0.0)
    assert lin((np.array([1.0, 2.0, 3.0]) @ X).item()) == ([(1.0, "x[0]"), (2.0, "x[1]"), (3.0, "x[2]")], 0.0)
    assert (np.asfortranarray(np.arange(6.0).reshape(2, 3)) @ X)[1].item().getCoeff(0) == 3.0
    with pytest.raises(ValueError, match=r"^matmul: \(2, 3\) @ \(4,\) operation not support$"):
        np.ones((2, 3)) @ m.addMVar(4)
    with pytest.raises(ValueError, match=r"^matmul: \(3,\) @ \(2,\) operation not support$"):
        X @ np.ones(2)
    with pytest.raises(ValueError, match="^matmul operand is empty$"):
        np.ones((2, 0)) @ m.addMVar((0, 2))
    with pytest.raises(ValueError, match="^matmul operand is empty$"):
        m.addMVar((2, 0)) @ np.ones((0, 3))
    with pytest.raises((TypeError, ValueError)):
        np.array([["a", "b", "c"]], dtype=object) @ X    # numbers that are no numbers fail in the float conversion


@pytest.mark.parametrize("sa, sb", itertools.product([(3,), (2, 3), (1, 3)], [(3,), (3, 2), (3, 1)]))
def test_dense_shapes_and_terms_follow_numpy(m, sa, sb):
    rng = np.random.default_rng(sum(sa) * 10 + sum(sb))
    A = rng.integers(-3, 4, size=sa).astype(float)
    B = rng.integers(-3, 4, size=sb).astype(float)
    X = m.addMVar(sb, name="x")
    Y = m.addMVar(sa, name="y")
    xv, yv = rng.random(sb), rng.random(sa)
    for got, ref, var, val in [(A @ X, A @ xv, X, xv), (Y @ B, yv @ B, Y, yv)]:
        assert type(got) is MLinExpr and got.shape == np.shape(ref)
        assert all(c.size() == 3 for c in cells(got))               # one term per inner index
        assert values(got, var, val) == pytest.approx(ref)
    Q = Y @ X                                                         # variables with variables
    assert type(Q) is MQuadExpr and Q.shape == np.shape(yv @ xv)
    first = cells(Q)[0]
    assert first.size() == 3 and [first.getCoeff(k) for k in range(3)] == [1, 1, 1]
    assert type(first.getCoeff(0)) is int and first.getVar1(0).VarName.startswith("y")


def test_dense_other_pairings_are_numpys(m):
    X = m.addMVar((2, 2), name="x")
    A = np.array([[1.0, 2.0], [3.0, 4.0]])
    C = MLinExpr.new(np.array([[LinExpr(1.0), LinExpr(2.0)], [LinExpr(3.0), LinExpr(4.0)]], dtype=object))
    assert [c.getConstant() for c in cells(A @ C)] == (A @ A).reshape(-1).tolist()
    assert [c.getConstant() for c in cells(C @ A)] == (A @ A).reshape(-1).tolist()
    assert type(C @ C) is MQuadExpr and [c.getLinExpr().getConstant() for c in cells(C @ C)] == (A @ A).reshape(-1).tolist()
    assert type(X @ C) is MQuadExpr and type(C @ X) is MQuadExpr and (X @ C).shape == (2, 2)
    Q = X * X
    assert type(A @ Q) is MQuadExpr and cells(A @ Q)[0].size() == 2
    three = np.ones((2, 2, 2))
    assert (three @ X).shape == (2, 2, 2)                             # more dimensions: NumPy's product


# --- sparse ---------------------------------------------------------------------------

def test_sparse_products_of_the_issue(m):
    X = m.addMVar(3, name="x")
    S = sp.csr_matrix([[1.0, 0, 0], [0, 0, 2.0]])
    F = S @ X
    assert type(F) is MLinExpr and F.shape == (2,) and lin(F[1].item()) == ([(2.0, "x[2]")], 0.0)
    stored_zero = sp.csr_matrix((np.array([1.0, 0.0]), np.array([0, 1]), np.array([0, 2, 2])), shape=(2, 3))
    assert stored_zero.nnz == 2 and [c.size() for c in cells(stored_zero @ X)] == [1, 0]
    wide = S.copy()
    wide.indices, wide.indptr = wide.indices.astype(np.int64), wide.indptr.astype(np.int64)
    assert wide.indices.dtype == np.int64
    assert [lin(c) for c in cells(wide @ X)] == [lin(c) for c in cells(F)]
    empty = sp.csr_matrix((0, 3)) @ X
    assert type(empty) is MLinExpr and empty.shape == (0,)
    assert (X @ sp.csr_matrix((3, 0))).shape == (0,)


@pytest.mark.parametrize("fmt", ["csr", "csc", "coo", "lil", "dok"])
def test_sparse_shapes_terms_and_values_follow_floats(m, fmt):
    rng = np.random.default_rng(3)
    dense = rng.integers(-2, 3, size=(4, 5)) * (rng.random((4, 5)) < 0.5)
    S = sp.csr_matrix(dense).asformat(fmt)
    for shape in [(5,), (5, 2)]:
        X = m.addMVar(shape, name="x")
        xv = rng.random(shape)
        got, ref = S @ X, S @ xv
        assert type(got) is MLinExpr and got.shape == ref.shape
        per_row = np.count_nonzero(dense, axis=1)
        assert [c.size() for c in cells(got)] == np.repeat(per_row, 1 if len(shape) == 1 else 2).tolist()
        assert values(got, X, xv) == pytest.approx(ref)
    for shape in [(4,), (3, 4)]:
        Y = m.addMVar(shape, name="y")
        yv = rng.random(shape)
        got, ref = Y @ S, yv @ S
        assert got.shape == ref.shape and values(got, Y, yv) == pytest.approx(ref)
        assert [c.size() for c in cells(got)][:5] == np.count_nonzero(dense, axis=0).tolist()


def test_sparse_values_and_items_of_expressions(m):
    X = m.addMVar(3, name="x")
    S = sp.csr_matrix(np.array([[1, 0, 2], [0, 0, 0]], dtype=np.int8))   # integers become float64 values
    L = 2 * X + 1
    SL = S @ L
    assert type(SL) is MLinExpr and lin(SL[0].item()) == ([(2.0, "x[0]"), (4.0, "x[2]")], 3.0)
    assert SL[1].item().size() == 0 and SL[1].item().getConstant() == 0
    SQ = sp.csr_matrix(np.array([[True, False, True]])) @ (X * X + 1)
    assert type(SQ) is MQuadExpr and SQ.shape == (1,) and SQ[0].item().size() == 2
    assert SQ[0].item().getLinExpr().getConstant() == 2.0
    assert type((X * X) @ sp.eye(3)) is MQuadExpr and type(L @ sp.eye(3, format="csc")) is MLinExpr


def test_sparse_refusals(m):
    X = m.addMVar(3)
    with pytest.raises(ValueError, match=r"^matmul: \(2, 3\) @ \(4, 1\) operation not support$"):
        sp.csr_matrix(np.ones((2, 3))) @ m.addMVar(4)
    with pytest.raises(ValueError, match=r"^matmul: \(1, 3\) @ \(2, 2\) operation not support$"):
        X @ sp.csr_matrix(np.ones((2, 2)))
    with pytest.raises(ValueError, match="^ndarray is empty$"):
        sp.csr_matrix((2, 0)) @ m.addMVar((0, 3))
    with pytest.raises(ValueError, match="^ndarray is empty$"):
        m.addMVar((3, 0)).T @ sp.csr_matrix((3, 2))
    mixed = MLinExpr.new(np.array([LinExpr(), 5, LinExpr()], dtype=object))
    assert (sp.csr_matrix([[1.0, 0, 1.0]]) @ mixed).shape == (1,)     # the odd item is never reached
    with pytest.raises(TypeError, match=r"^Cannot convert int to velmorpy\.LinExpr$"):
        sp.csr_matrix([[0, 1.0, 0]]) @ mixed


def test_malformed_sparse_matrices_are_refused(m):
    X = m.addMVar(3)
    for indices, indptr in [([0, 7], [0, 1, 2]), ([0, -1], [0, 1, 2]), ([0, 3], [0, 1, 2])]:
        bad = sp.csr_matrix((np.array([1.0, 1.0]), np.array(indices), np.array(indptr)), shape=(2, 3))
        with pytest.raises(ValueError, match="index .* of the sparse matrix is out of range"):
            bad @ X
        with pytest.raises(ValueError, match="out of range"):
            X @ bad.T.tocsc()
    short = sp.csr_matrix((2, 3))
    short.indptr = np.array([0, 5, 9], dtype=np.int32)                 # pointers beyond the stored entries
    with pytest.raises(ValueError, match="index pointers of the sparse matrix are out of range"):
        short @ X
    # In the other orientation SciPy converts the matrix first, and its
    # conversion writes where the indices say: they are checked before it.
    for indices, indptr in [([0, 7], [0, 1, 2, 2]), ([0, -1], [0, 1, 2, 2]), ([0, 1], [0, 1, 5, 5])]:
        right, left = sp.csr_matrix((3, 2)), sp.csc_matrix((2, 3))          # each converted by the product
        for bad in (right, left):
            bad.data, bad.indices, bad.indptr = np.ones(2), np.array(indices), np.array(indptr)
        for product in (lambda: X @ right, lambda: left @ X):
            with pytest.raises(ValueError, match="^matmul: (index -?[0-9]+|the index pointers) of the sparse matrix"):
                product()
    ints = sp.csr_matrix((2, 3), dtype=np.int64)                        # astype(float64) sums duplicates first
    ints.data, ints.indices, ints.indptr = np.ones(2, dtype=np.int64), np.array([0, 7]), np.array([0, 1, 2])
    with pytest.raises(ValueError, match="^matmul: index 7 of the sparse matrix is out of range$"):
        ints @ X
    coo = sp.coo_matrix(np.eye(3))
    coo.row[1] = 9
    with pytest.raises(ValueError, match="^matmul: index 9 of the sparse matrix is out of range$"):
        coo @ X


def single(product):
    """The one expression of a product of vectors (a 0-d MLinExpr or the expression)."""
    return product if isinstance(product, LinExpr) else product.item()


def test_products_keep_every_coefficient_exactly(m):
    # Coefficients are read back as floats of exactly the products' values,
    # zeros of either sign included.
    n = 6000
    x = m.addMVar(n)
    costs = 1.0 + np.arange(n) % 17
    e = single(costs @ x)
    coeffs = [e.getCoeff(i) for i in range(e.size())]
    assert coeffs == costs.tolist() and all(type(c) is float for c in coeffs)
    rng = np.random.default_rng(3)
    for data in (rng.random(n), np.where(np.arange(n) % 2, 0.0, -0.0), rng.integers(0, 3, n) * 0.5):
        for product in (data @ x, (sp.csr_matrix(data.reshape(1, n)) @ x)[0].item()):
            e = single(product)
            got = np.array([e.getCoeff(i) for i in range(e.size())])
            kept = data if e.size() == n else data[data != 0]            # the sparse product leaves zeros out
            assert np.array_equal(got, kept) and np.array_equal(np.signbit(got), np.signbit(kept))


def test_products_keep_no_reference(m, leaks):
    X = m.addMVar(4)
    A = np.arange(8.0).reshape(2, 4)
    S = sp.csr_matrix(A)
    T = S.T                                             # made once: SciPy's transpose allocates on its own
    L = X + 1
    assert not leaks(lambda: A @ X, inner=50)
    assert not leaks(lambda: S @ X, inner=50)
    assert not leaks(lambda: X @ T, inner=50)
    assert not leaks(lambda: S @ L, inner=50)
    assert not leaks(lambda: X @ X, inner=50)
    assert not leaks(lambda: A @ L, inner=20)
