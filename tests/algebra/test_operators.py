"""Operand's operators: the result grid of the scalar kinds, the order of
terms, division and power, comparisons, NumPy scalars on both sides, and
refusals."""
import itertools

import numpy as np
import pytest

from velmorpy import LinExpr, MLinExpr, MQuadExpr, Operand, QuadExpr, TempConstr, Var, VelmorError

L, Q = LinExpr, QuadExpr


def lin(e):
    """Terms and constant of a LinExpr (names for variables)."""
    assert type(e) is LinExpr
    return [(e.getCoeff(i), e.getVar(i).VarName) for i in range(e.size())], e.getConstant()


def quad(q):
    assert type(q) is QuadExpr
    return ([(q.getCoeff(i), q.getVar1(i).VarName, q.getVar2(i).VarName) for i in range(q.size())],
            lin(q.getLinExpr()))


@pytest.fixture
def kinds(xyz):
    x, y, z = xyz
    return {"number": 2.5, "Var": x, "LinExpr": 2 * y + 1, "QuadExpr": x * z + y}


# Part of the result grid: left kind -> right kind -> class (None: TypeError).
ADD = {"Var": {"number": L, "Var": L, "LinExpr": L, "QuadExpr": Q},
       "LinExpr": {"number": L, "Var": L, "LinExpr": L, "QuadExpr": Q},
       "QuadExpr": {"number": Q, "Var": Q, "LinExpr": Q, "QuadExpr": Q}}
MUL = {"Var": {"number": L, "Var": Q, "LinExpr": Q, "QuadExpr": None},
       "LinExpr": {"number": L, "Var": Q, "LinExpr": Q, "QuadExpr": None},
       "QuadExpr": {"number": Q, "Var": None, "LinExpr": None, "QuadExpr": None}}


def test_result_grid(kinds):
    for (left, row), (op, symbol) in itertools.product(ADD.items(), [("+", "+"), ("-", "-")]):
        for right, cls in row.items():
            a, b = kinds[left], kinds[right]
            result = a + b if op == "+" else a - b
            assert type(result) is cls, (left, op, right)
            reflected = b + a if op == "+" else b - a
            assert type(reflected) is cls, (right, op, left)
    for left, row in MUL.items():
        for right, cls in row.items():
            a, b = kinds[left], kinds[right]
            if cls is None:
                with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for \*: `%s` and `%s`$"
                                   % (left, right if right != "number" else "float")):
                    a * b
            else:
                assert type(a * b) is cls and type(b * a) is cls, (left, right)
    assert type(QuadExpr() + 1) is QuadExpr           # a QuadExpr sum is always a QuadExpr
    assert type(QuadExpr() + LinExpr()) is QuadExpr and type(LinExpr() + QuadExpr()) is QuadExpr


def test_terms_come_in_operand_order(xyz):
    x, y, z = xyz
    assert lin(x + 2) == ([(1.0, "x")], 2.0) and lin(2 + x) == lin(x + 2) == lin(x - (-2))
    assert lin(x + y) == ([(1.0, "x"), (1.0, "y")], 0.0)
    assert lin(x + 2 * y) == ([(2.0, "y"), (1.0, "x")], 0.0)      # a LinExpr operand's terms come first
    assert lin(2 - x) == ([(-1.0, "x")], 2.0) and lin(x - y) == ([(-1.0, "y"), (1.0, "x")], 0.0)
    assert lin(x + x) == ([(1.0, "x"), (1.0, "x")], 0.0)         # never merged
    assert lin(x + True) == ([(1.0, "x")], 1.0)
    q = (2 * x + 3) * (4 * y + 5)
    assert quad(q) == ([(8.0, "x", "y")], ([(12.0, "y"), (10.0, "x")], 15.0))
    assert quad((x + 1) * (x + 1)) == ([(1.0, "x", "x")], ([(1.0, "x"), (1.0, "x")], 1.0))
    assert quad((z + y) * x) == ([(1.0, "x", "z"), (1.0, "x", "y")], ([], 0.0))  # smaller index first
    assert quad((x + 3) * z) == ([(1.0, "x", "z")], ([(3.0, "z")], 0.0))
    assert quad(x * x) == quad(x ** 2) == ([(1.0, "x", "x")], ([], 0.0))
    e = 2 * x + 1
    assert quad(e ** 2) == quad(e * e) and quad(pow(x, 2, 5)) == quad(x * x) and quad(x ** 2.0) == quad(x * x)
    assert quad(LinExpr(x) * LinExpr(2.0)) == ([], ([(2.0, "x")], 0.0))
    q = x * y + 2 * x
    assert quad(q + q) == ([(1.0, "x", "y"), (1.0, "x", "y")], ([(2.0, "x"), (2.0, "x")], 0.0))
    assert quad(-q) == ([(-1.0, "x", "y")], ([(-2.0, "x")], -0.0))
    assert quad(q * 0) == ([], ([], 0.0)) and lin(e * 0) == ([], 0.0) and lin(x * 0) == ([], 0.0)
    assert lin(e * 1) == lin(e) and lin(x / 2) == ([(0.5, "x")], 0.0) and lin(-x) == ([(-1.0, "x")], 0.0)
    assert lin(3 - e) == ([(-2.0, "x")], 2.0) and lin(e - e) == ([(2.0, "x"), (-2.0, "x")], 0.0)


def test_operands_are_never_changed(xyz):
    x, y, _ = xyz
    e = 2 * x + 1
    before = lin(e)
    for make in (lambda: e + y, lambda: e - y, lambda: e * 3, lambda: -e, lambda: e * y, lambda: e * e,
                 lambda: e / 4, lambda: 1 - e, lambda: e <= 2, lambda: e == 2):
        make()
        assert lin(e) == before
    grown = e + y
    again = e + x                                       # shares e's storage, appends its own term
    assert lin(grown)[0][-1] == (1.0, "y") and lin(again)[0][-1] == (1.0, "x") and lin(e) == before


def test_division_power_and_refusals(xyz):
    x, y, _ = xyz
    with pytest.raises(ZeroDivisionError, match="^float division$"):
        x / 0
    with pytest.raises(ZeroDivisionError):
        (x + 1) / -0.0
    for bad in (lambda: 2 / x, lambda: x / y, lambda: x / "a", lambda: 2 ** x, lambda: x < 1, lambda: x > 1,
                lambda: 1 < x):
        with pytest.raises(TypeError):
            bad()
    for e, name in [(x, "Var"), (x + 1, "LinExpr")]:
        for exponent in (3, 2.5):
            with pytest.raises(VelmorError, match="^`%s` can only be raised to a power of two$" % name):
                e ** exponent
    with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for \*\* or pow\(\): `QuadExpr` and 'int'$"):
        (x * x) ** 2
    with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for hash\(\): `LinExpr`$"):
        hash(x + 1)
    assert hash(x) == 0 and hash(y) == 1 and {x: 1}[x] == 1
    with pytest.raises(TypeError, match="^bad operand type for unary -: `Operand`$"):
        -Operand()
    for op, text in [(lambda: Operand() + 1, r"\+: `Operand` and `int`"),
                     (lambda: Operand() - 1, r"-: `Operand` and `int`"),
                     (lambda: Operand() * 1, r"\*: `Operand` and `int`"),
                     (lambda: x @ np.eye(2), r"@: `Var` and `ndarray`"),
                     (lambda: np.eye(2) @ x, r"@: `ndarray` and `Var`")]:
        with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for " + text + "$"):
            op()


def test_junk_operands_are_refused_up_front(xyz):
    x, _, _ = xyz
    for junk in (None, "a", {}, {1}, object(), b"b", lambda: 1):
        name = type(junk).__name__
        with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for \+: `Var` and `%s`$" % name):
            x + junk
        with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for \+: `LinExpr` and `%s`$" % name):
            (x + 1) + junk
        with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for -: `Var` and `%s`$" % name):
            x - junk
        with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for \*: `Var` and `%s`$" % name):
            x * junk
    with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for \+: `Var` and `NoneType`$"):
        None + x                                        # the right operand's rule names it first
    with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for \+: `LinExpr` and `str`$"):
        "a" - x                                         # (-x) + "a"


def test_array_likes_give_matrix_shaped_expressions(xyz):
    x, y, _ = xyz
    for arr in (np.array([1.0, 2.0]), [1, 2], (1.0, 2.0)):
        for e in (x + arr, arr + x):                    # each element first, then x
            assert type(e) is MLinExpr and e.shape == (2,)
            assert [lin(e[i].item()) for i in range(2)] == [([(1.0, "x")], 1.0), ([(1.0, "x")], 2.0)]
        assert [lin(e[i].item()) for i in range(2) for e in [x * arr]] == [([(1.0, "x")], 0.0), ([(2.0, "x")], 0.0)]
        assert type(arr * (x * y)) is MQuadExpr and type((x + 1) * arr) is MLinExpr
    assert [lin(c.item()) for c in x - np.array([1, 2])] == [([(1.0, "x")], -1.0), ([(1.0, "x")], -2.0)]
    with pytest.raises(TypeError, match=r"for -: `Var` and `list`"):
        x - [1, 2]                                      # -[1, 2] fails: the subtraction's text
    zero_d = x + np.array(3.0)                          # a zero-dimensional array is array-like, not a number
    assert type(zero_d) is MLinExpr and zero_d.shape == () and lin(zero_d.item()) == ([(1.0, "x")], 3.0)
    assert type(x * [y]) is MLinExpr and type((x * [y]).item()) is QuadExpr   # the wrapper follows the left kind


def test_an_array_like_that_contains_itself_is_refused_at_once(xyz):
    x, _, _ = xyz
    looped = [1.0]
    looped.append(looped)
    cyclic = np.empty(2, dtype=object)
    cyclic[0], cyclic[1] = 1.0, cyclic
    for seq in (looped, cyclic):                        # not a thousand levels of element code first
        for make in (lambda: x + seq, lambda: seq + (x + 1), lambda: seq * x, lambda: x * x + seq):
            with pytest.raises(RecursionError, match="contains itself"):
                make()


def test_expression_and_array_arguments_as_their_parts_say(m, xyz):
    x, y, _ = xyz
    # A ragged array-like is refused by numpy.asarray, as numpy.vectorize would;
    # an object array is taken as it is, lists in its cells included.
    nested = [[1.0], [2.0, 3.0]]
    for make in (lambda: x + [[1, 2], [3]], lambda: [[1, 2], [3]] * (x + 1), lambda: x * x + [nested, nested],
                 lambda: x + [x, [y]]):
        with pytest.raises(ValueError, match="inhomogeneous shape"):
            make()
    cells = np.empty(2, dtype=object)
    cells[0], cells[1] = [1.0, 2.0], [3.0]
    assert [(x + cells)[k].item().shape for k in (0, 1)] == [(2,), (1,)]
    # TempConstr has no constructor arguments; a subclass's __init__ may have.
    with pytest.raises(TypeError, match=r"^TempConstr\(\) takes no arguments$"):
        TempConstr(1, 2)
    with pytest.raises(TypeError, match=r"^TempConstr\(\) takes no arguments$"):
        TempConstr(expr=x)

    class Noted(TempConstr):
        def __init__(self, note):
            self.note = note

    assert Noted("n").note == "n" and str(TempConstr()).startswith("(")
    # Column.remove(constr) visits the pairs below size(), called by name.
    from velmorpy import Column
    c0, c1 = m.addConstr(x <= 1), m.addConstr(y <= 1)

    class Short(Column):
        def size(self):
            return 2

    col = Short([1, 2, 3], [c0, c1, c0])
    col.remove(c1)
    assert Column.size(col) == 1 and col.getCoeff(0) == 1.0 and col.getConstr(0).sameAs(c0)
    Short.size = lambda self: 4
    col = Short([1, 2], [c0, c1])
    with pytest.raises(IndexError, match="list index out of range"):
        col.remove(c0)
    assert Column.size(col) == 2                        # unchanged
    # A dense objective of addPsdVar converts its cells with float().
    with pytest.raises(TypeError, match=r"^float\(\) argument must be .* not 'NoneType'$"):
        m.addPsdVar(obj=np.array([[1, None], [None, 1]], dtype=object))   # not NumPy's NaN
    assert m.getPsdVars() == []
    assert m.addPsdVar(obj=np.array([["2", 0], [0, 1.5]], dtype=object)).dim == 2


@pytest.mark.filterwarnings("ignore::PendingDeprecationWarning")
def test_an_operator_reached_with_an_exception_set_leaves_it_alone(m):
    # NumPy's object dot product goes on with the next cells after one failed,
    # calling the operators with that cell's exception still set.
    x = m.addMVar((1, 2), name="x")
    text = np.matrix(np.array([[b"a"], [b"b"], [b"c"]], dtype="S3"))
    for make in (lambda: text * (x + 1), lambda: (x + 1).__rmul__(text)):
        with pytest.raises(TypeError, match="for \\*: `LinExpr` and `bytes`"):
            make()


def test_subtraction_keeps_interrupts_and_memory_errors(xyz):
    x, _, _ = xyz

    def neg_raising(exc):
        class Odd:
            __array_priority__ = 1.0

            def __len__(self):
                return 1

            def __getitem__(self, i):
                raise IndexError

            def __neg__(self):
                raise exc
        return Odd()

    with pytest.raises(TypeError, match=r"^unsupported operand type\(s\) for -: `Var` and `Odd`$"):
        x - neg_raising(ValueError("inner"))
    for exc in (KeyboardInterrupt, MemoryError):
        with pytest.raises(exc):
            x - neg_raising(exc())


def test_comparisons(xyz):
    x, y, _ = xyz
    up, low, eq, rng = x <= 5, 5 <= x, x == 3, x == [1, 5]
    for tc in (up, low, eq, rng):
        assert type(tc) is TempConstr
    assert str(up) == str(TempConstr.new(x, None, 5)) and str(low) == str(TempConstr.new(x, 5, None))
    assert "<LinExpr: x - 3.0>" in str(eq) and str(eq).endswith("rhs:\n----\n0")
    assert "lhs:\n----\n1\nexpr:\n-----\n<Var x>" in str(rng)
    assert "lhs:\n----\n0\nexpr:\n-----\n<LinExpr: - y + x>" in str(x == y)
    with pytest.raises(ValueError, match=r"^`=` expect an array with 2 elements: \[ LHS, RHS \]$"):
        x == [1, 2, 3]
    with pytest.raises(ValueError):
        x != [1, 2, 3]
    with pytest.raises(TypeError, match="^range constraint requires numeric values$"):
        x == [1, "2"]
    assert "<QuadExpr: x * y + - 1.0>" in str(x * y >= 1)


NUMPY_SCALARS = [np.bool_(True), np.int8(2), np.int16(2), np.int32(2), np.int64(2), np.uint8(2), np.uint16(2),
                 np.uint32(2), np.uint64(2), np.float16(2), np.float32(2), np.float64(2), np.longdouble(2)]


@pytest.mark.parametrize("s", NUMPY_SCALARS, ids=lambda s: type(s).__name__)
def test_numpy_scalars_are_numbers_on_both_sides(xyz, s):
    x, _, _ = xyz
    v = float(s)
    for e in (s * x, x * s):
        assert lin(e) == ([(v, "x")], 0.0)
    for e in (s + x, x + s):
        assert lin(e) == ([(1.0, "x")], v)
    assert lin(x - s) == ([(1.0, "x")], -v) and lin(s - x) == ([(-1.0, "x")], v)
    assert lin(x / s) == ([(1.0 / v, "x")], 0.0)
    for tc in (x <= s, x == s, x >= s):
        assert type(tc) is TempConstr
    if not isinstance(s, np.bool_):                     # NumPy's bool_ does not defer its comparisons
        assert type(s <= x) is TempConstr and type(s == x) is TempConstr
    assert "<LinExpr: x - %r>" % v in str(x == s) or "<LinExpr: x - 1.0>" in str(x == s)
    assert type(s * (x * x)) is QuadExpr and type((x + 1) * s) is LinExpr


def test_numpy_complex_and_other_scalars(xyz):
    x, _, _ = xyz
    with pytest.raises(TypeError):
        x + 1j                                          # a number without a float value
    with pytest.raises(TypeError, match=r"`Var` and `str_`"):
        x + np.str_("a")                                # a NumPy scalar that is no number: refused
    with pytest.raises(OverflowError):
        x * 10 ** 400


def test_an_array_subclass_cannot_reach_the_cells_a_kernel_reads(run_python):
    # The kernel reads a private copy of the array; a subclass's copy would run its
    # __array_finalize__, which could keep the copy and reallocate it mid-loop.
    result = run_python("""
        import numpy as np
        from velmorpy import MLinExpr, Model
        kept = []
        class Keeper(np.ndarray):
            def __array_finalize__(self, obj):
                kept.append(self)
        class Cell:
            def __add__(self, other):
                for a in kept:
                    a.resize(100000, refcheck=False)
                return 1.0
        m = Model()
        x = m.addVar()
        cells = np.empty(4, dtype=object)
        for i in range(4):
            cells[i] = Cell()
        a = cells.view(Keeper)
        kept.clear()
        r = x + a
        assert type(r) is MLinExpr and r.shape == (4,), r
        assert not kept, kept  # the copy was never a Keeper
        print("ok")
    """, PYTHONMALLOC="malloc_debug")
    assert result.returncode == 0 and result.stdout.strip() == "ok", result.stderr
