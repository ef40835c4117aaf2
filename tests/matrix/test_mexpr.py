"""MLinExpr and MQuadExpr: construction by new and zeros, item access, the
in-place operators (which return new objects), copy and clear, values in a
solution, sum and item, the text form and the class surface."""
import numpy as np
import pytest

from velmorpy import LinExpr, MLinExpr, MQuadExpr, QuadExpr


def lin(e):
    assert type(e) is LinExpr
    return [(e.getCoeff(i), e.getVar(i).VarName) for i in range(e.size())], e.getConstant()


@pytest.fixture
def X(m):
    return m.addMVar((2, 3), name="x")


@pytest.mark.parametrize("cls, cell", [(MLinExpr, LinExpr), (MQuadExpr, QuadExpr)])
def test_new_keeps_an_array_and_zeros_gives_each_cell_its_own(cls, cell):
    arr = np.array([cell(), cell()], dtype=object)
    e = cls.new(arr)
    e[0] = "anything"                                   # item assignment writes the shared array, unchecked
    assert arr[0] == "anything" and cls.new([cell()]).shape == (1,) and cls.new(cell()).shape == ()
    z = cls.zeros((2, 2))
    cells = [c for row in z for c in (row[0].item(), row[1].item())]
    assert all(type(c) is cell and c.size() == 0 for c in cells) and len({id(c) for c in cells}) == 4
    assert cls.zeros(3).shape == (3,) and cls.zeros(0).size == 0
    assert isinstance(cls.__dict__["new"], staticmethod) and isinstance(cls.__dict__["zeros"], staticmethod)
    assert cls.sum.__defaults__ == (None,) and cls.new.__doc__ is None
    with pytest.raises(NotImplementedError, match=r"^Subscript deletion not supported by velmorpy\.%s$" % cls.__name__):
        del e[0]
    with pytest.raises(TypeError, match="^Value is readonly$"):
        z.shape = (4,)
    with pytest.raises(AttributeError):
        z.anything = 1                                  # no attribute fallback on the expression classes


def test_property_documentation():
    docs = {(MLinExpr, "ndim"): "Number of MLinExpr dimensions", (MLinExpr, "shape"): "Shape of the MLinExpr",
            (MLinExpr, "size"): "Number of expressions contained in the MLinExpr",
            (MQuadExpr, "ndim"): "Number of MQuadExpr dimensions", (MQuadExpr, "shape"): "Shape of the MQuadExpr",
            (MQuadExpr, "size"): "Number of expressions contained in the QuadExpr"}
    for (cls, name), words in docs.items():
        assert getattr(cls, name).__doc__ == "\n        " + words + "\n        \n\n        "
    assert "NOTE:" in MLinExpr.item.__doc__ and MQuadExpr.zeros.__doc__.lstrip().startswith("SIGNATURE:")


def test_in_place_operators_return_new_objects(m, X):
    x = m.addVar(name="v")
    a = MLinExpr.zeros((2,))
    b = a
    a += x
    assert a is not b and [e.item().size() for e in b] == [0, 0] and [lin(e.item()) for e in a] == [([(1.0, "v")], 0.0)] * 2
    a -= x
    assert [lin(e.item()) for e in a] == [([(1.0, "v"), (-1.0, "v")], 0.0)] * 2
    a *= 2
    a *= np.array([1.0, 3.0])
    assert [lin(e.item())[0] for e in a] == [[(2.0, "v"), (-2.0, "v")], [(6.0, "v"), (-6.0, "v")]]
    q = a
    q += x * x
    assert type(q) is MQuadExpr and type(a) is MLinExpr
    q -= 1
    q *= 0.5
    assert q[0].item().getLinExpr().getConstant() == -0.5
    for bad, name in [(x, "Var"), (X, "MVar"), ("a", "str")]:
        with pytest.raises(TypeError, match=r"^unsupport operation \*=: `MLinExpr` and `%s`$" % name):
            a *= bad
        with pytest.raises(TypeError, match=r"^unsupport operation \*=: `MQuadExpr` and `%s`$" % name):
            q *= bad
    with pytest.raises(TypeError, match="bad operand type for unary -"):
        a -= "s"                                        # the negation fails first
    with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for \+: `MLinExpr` and `str`$"):
        a += "s"


def test_copy_clear_and_slices(m, X):
    L = X + 1
    c = L.copy()
    assert c is not L and c[0, 0].item() is L[0, 0].item()
    c.clear()                                           # empties the shared expressions
    assert all(e.size() == 0 and e.getConstant() == 0 for row in L for e in (r.item() for r in row))
    Q = X * X
    old = Q[0, 0].item()
    c = Q.copy()
    c.clear()                                           # new expressions in the copy's own cells
    assert Q[0, 0].item() is old and old.size() == 1 and c[0, 0].item().size() == 0
    Q[0:1].clear()                                      # a slice writes into the array it came from
    assert Q[0, 0].item().size() == 0 and Q[1, 0].item() is not None and Q[1, 0].item().size() == 1
    M = X + 2
    M[0:1].clear()
    assert M[0, 2].item().size() == 0 and M[1, 2].item().size() == 1
    bad = MLinExpr.new(np.array([LinExpr(), 3, LinExpr(X[0, 0].item())], dtype=object))
    with pytest.raises(AttributeError):
        bad.clear()                                     # stops at the cell that is not an expression
    assert bad[2].item().size() == 1
    MQuadExpr.new(np.array([1, 2], dtype=object)).clear()   # MQuadExpr.clear replaces any cell
    grid = np.empty((3, 4), dtype=object)
    MQuadExpr.new(grid[:, ::2]).clear()                 # through the strides of a view
    assert [type(c).__name__ for c in grid[0]] == ["QuadExpr", "NoneType", "QuadExpr", "NoneType"]
    with pytest.raises(TypeError):
        MQuadExpr.new(np.zeros(2)).clear()              # a float array takes no QuadExpr


def test_values_in_a_solution(m, X, capsys):
    X.ub = np.arange(6.0).reshape(2, 3)
    X.obj = 1
    m.ModelSense = -1
    m.optimize()
    capsys.readouterr()
    v = X.X
    L = 2 * X + 1
    Q = X * X - X
    assert L.getValue().tolist() == (2 * v + 1).tolist() and L.getValue().dtype == np.float64
    assert Q.getValue().tolist() == (v * v - v).tolist() and Q.getValue().shape == (2, 3)
    assert L[1, 2].getValue().shape == () and L[1, 2].getValue() == 11.0
    assert MLinExpr.zeros((0, 2)).getValue().shape == (0, 2)
    assert L.sum().getValue() == (2 * v + 1).sum() and L.sum(axis=0).getValue().tolist() == (2 * v + 1).sum(0).tolist()


def test_item_sum_and_text(m, X):
    L = X + 1
    e = L[0, 1].item()
    assert type(e) is LinExpr and e is L[0, 1].item()
    for cls, text in ((MLinExpr, "MLinExpr contains more than 1 LinExpr"),
                      (MQuadExpr, "MQuadExpr contains more than 1 QuadExpr")):
        for obj in (cls.zeros(2), cls.zeros(0)):
            with pytest.raises(ValueError, match="^%s$" % text):
                obj.item()
    s = L.sum()
    assert type(s) is MLinExpr and s.shape == () and s.item().size() == 6 and s.item().getConstant() == 6
    assert (X * X).sum(axis=1).shape == (2,) and type((X * X).sum()) is MQuadExpr
    assert str(L) == repr(L) == "<MLinExpr (2, 3)>\n" + str(np.array([[c.item() for c in r] for r in L], dtype=object))
    assert str(MQuadExpr.zeros(1)) == "<MQuadExpr (1,)>\n[<QuadExpr: >]"
    for cls in (MLinExpr, MQuadExpr):
        with pytest.raises(TypeError, match="^Cannot convert NoneType to numpy.ndarray$"):
            cls().shape


def test_no_reference_is_kept(m, X, leaks):
    x = X[0, 0].item()
    assert not leaks(lambda: (X + 1)[0].copy().sum(axis=0).item())
    assert not leaks(lambda: MLinExpr.zeros((2, 2)).clear())
    assert not leaks(lambda: MQuadExpr.zeros((2, 2)).clear())

    def inplace():
        a = MLinExpr.zeros(3)
        a += x
        a -= x
        a *= 2
    assert not leaks(inplace)


def test_a_cell_leading_back_to_its_array_ends_in_recursion_error(run_python):
    # Cells take any value (`ml[:] = ml` stores the object itself), so an operator
    # applied cell by cell meets the array again at every level, each level
    # through NumPy's element loops: the stack, not only the interpreter's
    # counter, must bound it. In a child: a crash must not take the tests down.
    out = run_python("""
        import sys
        from velmorpy import Model
        m = Model()
        ml = m.addMVar((2, 3)) * 2.0 + 1.0
        ml[:] = ml
        for limit in (1000, 100000):
            sys.setrecursionlimit(limit)
            for op in (lambda: ml + 1, lambda: ml * 2.0, lambda: -ml, ml.getValue, ml.clear):
                try:
                    op()
                except RecursionError as e:
                    print(e)
    """, timeout=120)
    assert out.returncode == 0, out.stderr[-2000:]
    assert out.stdout.splitlines() == (["maximum recursion depth exceeded in an operator of velmorpy"] * 3 + [
        "maximum recursion depth exceeded while reading the values of a matrix expression",
        "maximum recursion depth exceeded while clearing an MLinExpr"]) * 2
