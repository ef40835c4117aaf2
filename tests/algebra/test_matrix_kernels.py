"""The operators with matrix-shaped operands: the result grid of every pair of
kinds, element-wise values and broadcasting (compared with the same
computation on float arrays), NumPy arrays, SciPy sparse matrices and NumPy
scalars on the left, negation, power, division, comparisons and refusals."""
import itertools

import numpy as np
import pytest
import scipy.sparse as sp

from velmorpy import LinExpr, MLinExpr, MQuadExpr, MVar, QuadExpr, TempConstr, Var

ML, MQ = MLinExpr, MQuadExpr


def lin(e):
    assert type(e) is LinExpr
    return [(e.getCoeff(i), e.getVar(i).VarName) for i in range(e.size())], e.getConstant()


def cells(M):
    """The cells of a matrix-shaped object in row-major order."""
    return [M[idx].item() for idx in np.ndindex(M.shape)]


@pytest.fixture
def ops(m):
    x = m.addVar(name="v")
    X = m.addMVar(3, name="x")
    return {"number": 2.0, "array": np.array([1.0, 2.0, 3.0]), "Var": x, "LinExpr": 2 * x + 1,
            "QuadExpr": x * x, "MVar": X, "MLinExpr": X + 1, "MQuadExpr": X * X}


# Rows: left kind; columns: right kind; None: TypeError (the Parts' result grid).
ADD_M = {"Var": ML, "LinExpr": ML, "QuadExpr": MQ, "MVar": ML, "MLinExpr": ML, "MQuadExpr": MQ}
MUL_MV = {"number": ML, "array": ML, "Var": MQ, "LinExpr": MQ, "QuadExpr": None, "MVar": MQ, "MLinExpr": MQ,
          "MQuadExpr": None}
MUL_MQ = {"number": MQ, "array": MQ, "Var": None, "LinExpr": None, "QuadExpr": None, "MVar": None, "MLinExpr": None,
          "MQuadExpr": None}
MATMUL = {("array", "MVar"): ML, ("array", "MLinExpr"): ML, ("array", "MQuadExpr"): MQ, ("MVar", "array"): ML,
          ("MVar", "MVar"): MQ, ("MVar", "MLinExpr"): MQ, ("MLinExpr", "array"): ML, ("MLinExpr", "MVar"): MQ,
          ("MLinExpr", "MLinExpr"): MQ, ("MQuadExpr", "array"): MQ}


def test_result_grid(ops):
    matrix = ("MVar", "MLinExpr", "MQuadExpr")
    for left, right in itertools.product(ops, matrix):
        a, b = ops[left], ops[right]
        expected = MQ if "Quad" in left + right else ML
        for r in (a + b, b + a, a - b, b - a):
            assert type(r) is expected and r.shape == (3,), (left, right)
    for left, table in (("MVar", MUL_MV), ("MLinExpr", MUL_MV), ("MQuadExpr", MUL_MQ)):
        for right, cls in table.items():
            a, b = ops[left], ops[right]
            if cls is None:
                name = type(b).__name__
                with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for \*: `%s` and `%s`$"
                                   % (left, name)):
                    a * b
            else:
                assert type(a * b) is cls and type(b * a) is cls, (left, right)
    for left, right in itertools.product(ops, ops):
        cls = MATMUL.get((left, right))
        if cls is not None:
            assert type(ops[left] @ ops[right]) is cls, (left, right)
        elif left in matrix or right in matrix:
            with pytest.raises(TypeError, match=r"unsupported operand type\(s\) for @"):
                ops[left] @ ops[right]


def test_element_wise_values(m, ops):
    X = m.addMVar((2, 3), name="x")
    x = ops["Var"]
    assert [lin(c) for c in cells(X + 2)][:2] == [([(1.0, "x[0,0]")], 2.0), ([(1.0, "x[0,1]")], 2.0)]
    assert cells(X + True)[0].getConstant() == 1.0 and cells(X + 0)[0].size() == 1
    assert lin(cells(X + x)[4]) == ([(1.0, "x[1,1]"), (1.0, "v")], 0.0)
    assert lin(cells(x + X)[4]) == ([(1.0, "x[1,1]"), (1.0, "v")], 0.0)   # the cell first, either way
    assert lin(cells(3 * X - 1)[5]) == ([(3.0, "x[1,2]")], -1.0)
    assert lin(cells(X / 4)[0]) == ([(0.25, "x[0,0]")], 0.0)
    assert lin(cells(-X)[1]) == ([(-1.0, "x[0,1]")], 0.0)
    assert lin(cells(X + X.T.T)[3]) == ([(1.0, "x[1,0]"), (1.0, "x[1,0]")], 0.0)
    row = np.array([10.0, 20.0, 30.0])
    M = X + 1
    assert [c.getConstant() for c in cells(M + row)] == (np.ones((2, 3)) + row).reshape(-1).tolist()  # broadcast
    assert [c.getConstant() for c in cells(M + [1.0, 2.0, 3.0])] == [2.0, 3.0, 4.0] * 2
    assert (M + X).shape == (2, 3) and lin(cells(M + X)[0]) == ([(1.0, "x[0,0]"), (1.0, "x[0,0]")], 1.0)
    with pytest.raises(ValueError):
        M + np.ones(2)                                  # shapes NumPy cannot broadcast
    Q = X * X
    assert [c.size() for c in cells(Q)] == [1] * 6 and type(X ** 2) is MQ and cells(X ** 2)[0].size() == 1
    assert type((X + 1) ** 2) is MQ and cells((X + 1) ** 2)[0].getLinExpr().getConstant() == 1.0
    assert [c.getLinExpr().getConstant() for c in cells(Q * np.arange(6.0).reshape(2, 3) + 5)] == [5.0] * 6
    with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for \*\* or pow\(\): `MQuadExpr` and 'int'$"):
        Q ** 2


def test_shapes_follow_numpy(m):
    """Every operator gives the shape NumPy gives for floats in the same places."""
    shapes = [(3,), (2, 3), (1, 3), (2, 1)]
    for sa, sb in itertools.product(shapes, shapes):
        A, B = m.addMVar(sa), m.addMVar(sb)
        fa, fb = np.ones(sa), np.ones(sb)
        try:
            expected = (fa + fb).shape
        except ValueError:
            with pytest.raises(ValueError):
                A + B
            continue
        for got in (A + B, A * B, (A + 1) + fb, fa * (B * 2), A - (B * B)):
            assert got.shape == expected, (sa, sb)


def test_numpy_and_scipy_operands_on_the_left(m):
    X = m.addMVar((2, 2), name="x")
    a = np.array([[1.0, 2.0], [3.0, 4.0]])
    S = sp.csr_matrix(a)
    for M in (X, X + 1, X * X):
        kind = MQ if type(M) is MQ else ML
        for r in (a + M, a - M, a * M, M * a, a @ M, S @ M, M @ a, M @ S, [[1, 0], [0, 1]] @ M):
            assert type(r) is kind and r.shape == (2, 2)
    assert lin(cells(a - X)[3]) == ([(-1.0, "x[1,1]")], 4.0)
    assert lin(cells(a * X)[2]) == ([(3.0, "x[1,0]")], 0.0)


SCALARS = [np.bool_(True), np.int8(2), np.int32(2), np.int64(2), np.uint64(2), np.float16(2), np.float32(2),
           np.float64(2), np.longdouble(2)]


@pytest.mark.parametrize("s", SCALARS, ids=lambda s: type(s).__name__)
def test_numpy_scalars_on_the_left(m, s):
    X = m.addMVar(2, name="x")
    v = float(s)
    for M in (X, X + 0, X * X):
        for r in (s * M, s + M, s - M):
            assert type(r) is (MQ if type(M) is MQ else ML) and r.shape == (2,)
    assert lin(cells(s * X)[1]) == ([(v, "x[1]")], 0.0)
    assert lin(cells(s - X)[0]) == ([(-1.0, "x[0]")], v)


def test_refusals(m, ops):
    X, Q = ops["MVar"], ops["MQuadExpr"]
    S = sp.csr_matrix(np.eye(3))
    for op, sym in [(lambda a, b: a + b, r"\+"), (lambda a, b: a * b, r"\*")]:
        with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for %s: `MVar` and `csr_matrix`$" % sym):
            op(X, S)                                    # a sparse matrix is array-like only for @
    for right, name in [(2.0, "float"), (ops["Var"], "Var"), (Q, "MQuadExpr"), ("a", "str")]:
        with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for @: `MVar` and `%s`$" % name):
            X @ right
    with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for @: `MLinExpr` and `float`$"):
        (X + 1) @ 2.0
    with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for @: `MQuadExpr` and `MVar`$"):
        Q @ X
    with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for @: `int` and `MVar`$"):
        2 @ X
    with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for -: `MVar` and `str`$"):
        X - "a"
    with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for \+: `MQuadExpr` and `dict`$"):
        Q + {}
    with pytest.raises(TypeError):
        X + 1j
    with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for hash\(\): `MVar`$"):
        hash(X)


def test_empty_operands_give_empty_results(m):
    E = m.addMVar((0, 2))
    x = m.addVar()
    for r in (E + 1, E + x, E * x, E + (x * x), (E + 1) + x, (E * E) + x, E + np.ones((0, 2)), x + np.ones((0, 2))):
        assert r.shape == (0, 2) and r.size == 0
    assert (-E).shape == (0, 2)


def test_comparisons_hold_matrix_expressions(m):
    X = m.addMVar(2, name="x")
    b = np.array([1.0, 2.0])
    for tc, head in [(X <= b, "<MLinExpr (2,)>"), (X >= 1, "<MLinExpr (2,)>"), (X == b, "<MLinExpr (2,)>"),
                     (X * X <= 1, "<MQuadExpr (2,)>"), (b >= X, "<MLinExpr (2,)>"), (X @ X <= 1, "<MQuadExpr ()>")]:
        assert type(tc) is TempConstr and head in str(tc)


def test_operands_are_not_changed(m):
    X = m.addMVar(2, name="x")
    L = X + 1
    before = [lin(c) for c in cells(L)]
    for r in (L + X, L * 2, -L, L @ np.ones(2), 2 - L, L - X):
        assert r is not L
    assert [lin(c) for c in cells(L)] == before


def test_object_arrays_numpy_cannot_loop_over_are_refused(m):
    # NumPy's element loops recurse without end into an array of objects that holds
    # itself, and past the stack's end into a deep enough nesting; every path that
    # hands an array to NumPy's operators walks it first.
    import velmorpy
    x, X = m.addVar(), m.addMVar(2)

    def cyclic():
        a = np.empty(2, dtype=object)
        a[0], a[1] = a, 1
        return a

    def nested(depth):
        a = np.array([1.0], dtype=object)
        for _ in range(depth):
            b = np.empty(1, dtype=object)
            b[0] = a
            a = b
        return a

    uses = [lambda a: ML.new(a) <= 1, lambda a: ML.new(a) + 1, lambda a: -MQ.new(a), lambda a: ML.new(a).sum(),
            lambda a: X * a, lambda a: [a[:1], a[:1]] + X, lambda a: (X + 1) @ a, lambda a: x - a,
            lambda a: velmorpy.tupledict({1: x}).prod({1: a}), lambda a: m.addMConstr(np.eye(2), X, a, [1, 1]),
            lambda a: (X + 1).__isub__(a), lambda a: x ** a, lambda a: velmorpy.LinExpr(a, x),
            lambda a: velmorpy.LinExpr().addConstant(a), lambda a: m.addRange(1 * x, a, 1),
            lambda a: m.addConstrs((x <= i for i in range(1)), a), lambda a: velmorpy.tuplelist([(1, 2)]).select(a),
            lambda a: m.addLConstr(x, a, 1)]
    for make in (cyclic, lambda: nested(1500)):
        for use in uses:
            with pytest.raises((RecursionError, TypeError)) as e:     # or the refusal of a kernel's argument
                use(make())
            if e.type is RecursionError:
                assert "contains itself" in str(e.value) or "nested too deeply" in str(e.value)
    assert (ML.new(nested(200)) + 1).shape == (1,)         # a nesting NumPy's loops carry still reaches them

    class Own:                                             # an array-like with operators of its own keeps them
        def __array__(self, dtype=None):
            return np.array([1.0, 2.0])

        def __add__(self, other):
            return "own"
    assert (X + Own()).item() == "own" and (X + 1 + Own()).item() == "own"
