"""MVar and MConstr: Model.addMVar, indexing and the array-shaped methods, the
array-wide attribute access, the text form, refusals and memory."""
import gc
import inspect
import weakref

import numpy as np
import pytest

import velmorpy
from velmorpy import LinExpr, MConstr, MLinExpr, MVar, Model, Var, VelmorError


def names(mv):
    return [v.VarName for v in np.array(mv.tolist(), dtype=object).reshape(-1)]


# --- Model.addMVar -----------------------------------------------------------------

def test_addmvar_shapes_defaults_and_names(m):
    x = m.addMVar((2, 3))
    assert type(x) is MVar and x.shape == (2, 3) and x.ndim == 2 and x.size == 6
    assert m.getVars() == [v for row in x.tolist() for v in row]         # row-major order, appended to the model
    assert (x.LB == 0).all() and (x.UB == 1e20).all() and (x.Obj == 0).all() and (x.VType == b"C").all()
    assert x.getAttr("LB").shape == (2, 3) and x.getAttr("LB").dtype == np.float64
    assert names(x) == [""] * 6                                         # the default name gives no names
    y = m.addMVar(3, name="y")
    assert y.shape == (3,) and names(y) == ["y[0]", "y[1]", "y[2]"]
    z = m.addMVar((2, 1, 2), lb=[1, 2, 3, 4], ub=9, obj=[0, 1, 0, 1], vtype=velmorpy.VLM.INTEGER, name="z")
    assert z.LB.reshape(-1).tolist() == [1, 2, 3, 4] and z.LB.shape == (2, 1, 2)
    assert names(z)[1:3] == ["z[0,0,1]", "z[1,0,0]"] and (z.VType == b"I").all() and (z.UB == 9).all()
    assert m.addMVar(0).shape == (0,) and m.NumVars == 13
    assert str(inspect.signature(Model.addMVar)) == (
        "(self, shape, lb=0.0, ub=1e+20, obj=0.0, vtype='C', name='')")


def test_addmvar_refusals_add_nothing(m):
    with pytest.raises(ValueError, match="^empty shape$"):
        m.addMVar(())
    with pytest.raises(ValueError, match="^lb doesn't have enough elements$"):
        m.addMVar((2, 2), lb=[1, 2, 3])
    with pytest.raises(TypeError):
        m.addMVar()
    with pytest.raises(TypeError):
        m.addMVar(2, 0, 1, 0, "C", "x", "extra")
    # Every shape argument is checked before NumPy fills a buffer of its own from
    # it (numpy.ndindex smashed the stack from 1000 dimensions on), the cells
    # counted in 64 bits.
    for make in (m.addMVar, MLinExpr.zeros, velmorpy.MQuadExpr.zeros):
        for shape, error, text in [((0,) * 1000, ValueError, "maximum supported dimension .* found 1000"),
                                   ((0,) * 10 ** 5, ValueError, "found 100000"),
                                   ((2, -1), ValueError, "negative dimensions"),
                                   (2 ** 64, ValueError, "Maximum allowed dimension"),
                                   ((2 ** 62, 2 ** 62, 0), ValueError, "array is too big"),
                                   ((2, 2.0), TypeError, "'float' object cannot be interpreted")]:
            with pytest.raises(error, match=text):
                make(shape)
        assert make((0,) * 32).ndim == 32 and make(np.array([2, 1])).shape == (2, 1)
    with pytest.raises(OverflowError):
        m.addMVar((2 ** 16, 2 ** 16))                   # more variables than a model holds, before any allocation
    m.remove(m.getVars())
    assert m.NumVars == 0 and m.getVars() == []
    m.dispose()
    with pytest.raises(VelmorError):
        m.addMVar(2)


# --- indexing and the array-shaped methods ---------------------------------------------

def test_indexing_gives_mvars_that_share_the_handles(m):
    x = m.addMVar((2, 3), name="x")
    cell = x[0, 1]
    assert type(cell) is MVar and cell.shape == () and type(cell.item()) is Var and cell.tolist() is cell.item()
    assert cell.item().sameAs(x.tolist()[0][1]) and cell.item() is x.tolist()[0][1]
    assert x[1].shape == (3,) and x[:, 1:].shape == (2, 2) and x[..., 0].shape == (2,)
    assert [r.shape for r in x] == [(3,), (3,)]                         # iteration by the first axis
    with pytest.raises(TypeError):
        len(x)                                                          # no length
    with pytest.raises(IndexError):
        x[2]
    with pytest.raises(TypeError):
        x[0] = 1                                                        # no item assignment
    assert MVar.fromvar(cell.item()).shape == (1,)
    four = MVar.fromlist([v for row in x.tolist() for v in row][:4]).reshape(2, 2)
    assert four.shape == (2, 2) and names(four) == ["x[0,0]", "x[0,1]", "x[0,2]", "x[1,0]"]


def test_reshape_transpose_diagonal_copy_sum(m):
    x = m.addMVar((2, 3), name="x")
    assert x.reshape(3, 2).shape == (3, 2) and x.reshape((6,)).shape == (6,) and x.reshape(-1, 2).shape == (3, 2)
    assert names(x.reshape(6, order="F")) == ["x[0,0]", "x[1,0]", "x[0,1]", "x[1,1]", "x[0,2]", "x[1,2]"]
    assert names(x.T) == names(x.transpose()) == names(x.reshape(6, order="F"))
    assert names(x[:, :2].diagonal()) == ["x[0,0]", "x[1,1]"]
    c = x.copy()
    assert c is not x and names(c) == names(x) and (c.getAttr("UB") == x.getAttr("UB")).all()
    total = x.sum()
    assert type(total) is MLinExpr and total.shape == () and total.item().size() == 6
    assert x.sum(axis=0).shape == (3,) and x.sum(1).shape == (2,) and x.sum(axis=(0, 1)).shape == ()
    with pytest.raises(ValueError):
        x.reshape(4)
    with pytest.raises(ValueError):
        x[0].diagonal()                                                 # NumPy's own errors pass through
    with pytest.raises(TypeError):
        x.reshape(3, 2, "F")                                            # order is keyword-only
    assert MVar.reshape.__kwdefaults__ == {"order": "C"} and MVar.sum.__defaults__ == (None,)


def test_sum_along_an_axis_equals_numpys_fold(m):
    # X.sum builds its sums itself where NumPy's fold over the cells is known;
    # an array NumPy must fold (here a subclass) is the reference.
    class Folded(np.ndarray):
        pass

    def terms(e):
        cells = [e[i].item() for i in np.ndindex(e.shape)]
        return [(type(c).__name__, str(c)) if not isinstance(c, LinExpr) else
                (c.getConstant(), [(c.getCoeff(i), c.getVar(i).index) for i in range(c.size())]) for c in cells]
    for shape in [(5,), (2, 3), (3, 1), (2, 3, 4), (0, 3), (2, 1, 3)]:
        X = m.addMVar(shape)
        Y = MVar()
        Y.__setstate__((np.array(X.tolist(), dtype=object).reshape(shape).view(Folded),))
        for axis in [None, 0, 1, -1, 2, (0,)]:
            if isinstance(axis, int) and axis >= len(shape):
                continue
            a, b = X.sum(axis=axis), Y.sum(axis=axis)
            assert a.shape == b.shape and terms(a) == terms(b)
    assert terms(X.T.sum()) == terms(Y.T.sum())                   # NumPy folds in memory order


def test_class_surface():
    for name in ("fromlist", "fromvar"):
        assert isinstance(MVar.__dict__[name], staticmethod)
    assert isinstance(MConstr.__dict__["_fromlist"], staticmethod)
    for name in ("shape", "ndim", "size", "T", "__array_priority__"):
        assert isinstance(MVar.__dict__[name], property)
    assert not hasattr(MConstr, "T") and not hasattr(MConstr, "reshape") and not hasattr(MConstr, "sum")
    assert MVar.shape.__doc__ == "\n        Shape of MVar\n        \n\n        "
    assert MConstr.shape.__doc__ == "\n        Shape of the MConstr\n        \n\n        "
    assert MVar.getAttr.__qualname__ == "MVar.getAttr" and MVar.getAttr.__module__ == "velmorpy"
    assert issubclass(MVar, velmorpy.Operand) and not issubclass(MConstr, velmorpy.Operand)
    with pytest.raises(TypeError, match="^Value is readonly$"):
        MVar.shape.__set__(MVar.fromlist([1]), (1,))
    fields = MVar.__getmetaclass__(None).__dir__(None)
    assert fields[:5] == ["__getitem__", "getAttr", "setAttr", "shape", "ndim"] and "__array_priority__" not in fields


# --- attributes ------------------------------------------------------------------------

def test_attributes_of_every_cell(m, capsys):
    x = m.addMVar((2, 2), ub=[1, 2, 3, 4], obj=1, name="x")
    xt = x.T
    assert xt.UB.tolist() == [[1, 3], [2, 4]]                           # values follow the cells of a view
    x.lb = [0.5, 0.25, 0.125, 0.0]
    assert x.getAttr("lb").tolist() == [[0.5, 0.25], [0.125, 0.0]] and x.LB.tolist() == x.lb.tolist()
    xt.setAttr("UB", np.array([[10, 30], [20, 40]]))
    assert x.UB.tolist() == [[10, 20], [30, 40]]
    x[1].ub = 7
    assert x.UB.tolist() == [[10, 20], [7, 7]]
    m.ModelSense = -1
    m.optimize()
    capsys.readouterr()
    assert x.X.tolist() == [[10, 20], [7, 7]] and x[0, 1].X.shape == ()
    with pytest.raises(AttributeError, match=r"^Attribute `shape` does not exist$"):
        x.shape = (4,)                                                  # every assignment is an attribute write
    with pytest.raises(AttributeError, match=r"^Attribute `nothing` does not exist$"):
        x.nothing
    assert not hasattr(x, "nothing") and not hasattr(x, "__array__")
    with pytest.raises(AttributeError, match=r"^Attribute `RHS` does not exist$"):
        x.RHS                                                           # a constraint attribute
    with pytest.raises(TypeError, match=r"^Argument 'attrname' has incorrect type \(expected str, got NoneType\)$"):
        x.getAttr(None)
    with pytest.raises(TypeError, match=r"^Argument 'attrname' has incorrect type \(expected str, got bytes\)$"):
        x.setAttr(b"LB", 1)


def test_empty_mvars_answer_without_the_library(m):
    e = m.addMVar((0, 3))
    got = e.getAttr("anything")
    assert got.shape == (0,) and got.dtype == object and e.whatever.shape == (0,)
    e.setAttr("anything", 5)
    e.nothing = 3                                                       # nothing to write
    with pytest.raises(ValueError, match="^MVar contains more than 1 variable$"):
        e.item()
    with pytest.raises(ValueError, match="^MVar contains more than 1 variable$"):
        m.addMVar(2).item()


def test_cells_are_checked_before_the_library_is_called(m):
    x = m.addVar(ub=3)
    other = Model()
    y = other.addVar(ub=5)
    with pytest.raises(ValueError, match="another model"):
        MVar.fromlist([x, y]).getAttr("UB")
    with pytest.raises(ValueError, match="another model"):
        MVar.fromlist([x, y]).setAttr("UB", 1.0)
    assert x.UB == 3 and y.UB == 5                                      # nothing written
    with pytest.raises(TypeError, match=r"^Cannot convert numpy\.int64 to velmorpy\.Var$"):
        MVar.fromlist([1, 2]).getAttr("X")                              # NumPy's flat[0] decides
    with pytest.raises(TypeError, match=r"^Cannot convert NoneType to velmorpy\.Var$"):
        MVar.fromlist([x, None]).UB
    with pytest.raises(TypeError, match=r"^Cannot convert velmorpy\.Constr to velmorpy\.Var$"):
        MVar.fromlist([velmorpy.Constr()]).LB
    for bad in (None, 1, x + 1):
        with pytest.raises(TypeError, match="^Argument 'var' has incorrect type"):
            MVar.fromvar(bad)
    other.dispose()
    with pytest.raises(VelmorError):
        MVar.fromlist([y]).UB


def test_text_form(m):
    x = m.addMVar((2, 3), name="x")
    arr = np.array(x.tolist(), dtype=object)
    assert str(x) == repr(x) == "<MVar (2, 3)>\n" + str(arr)
    assert str(x[0, 0]) == "<MVar ()>\n<Var x[0,0]>"

    class Sub(MVar):
        def __str__(self):
            return "sub"
    assert repr(Sub()) == "sub"


def test_objects_made_by_calling_the_class_have_no_array():
    for cls in (MVar, MConstr):
        bare = cls(1, 2, key=3)                                         # arguments are ignored
        for probe in (lambda: bare.shape, lambda: bare.item(), lambda: str(bare), lambda: bare[0],
                      lambda: bare.tolist(), lambda: bare.getAttr("LB")):
            with pytest.raises(TypeError, match="^Cannot convert NoneType to numpy.ndarray$"):
                probe()


# --- MConstr -----------------------------------------------------------------------------

def test_mconstr_over_the_rows_of_a_model(tmp_path):
    path = tmp_path / "rows.lp"
    path.write_text("Minimize\n obj: x + y\nSubject To\n r0: x + y >= 1\n r1: x - y <= 2\n r2: y >= 0.5\nEnd\n")
    m = velmorpy.read(str(path))
    c = MConstr._fromlist(m.getConstrs())
    assert type(c) is MConstr and c.shape == (3,) and c.size == 3 and c.ndim == 1
    assert c.LHS.tolist() == [1, -1e20, 0.5] and c.getAttr("ConstrName").tolist() == ["r0", "r1", "r2"]
    c[1:].rhs = [4, 5]
    assert c.RHS.tolist() == [1e20, 4, 5]
    assert type(c[0]) is MConstr and c[0].item() is m.getConstrs()[0] and c.tolist() == m.getConstrs()
    assert str(c).startswith("<MConstr (3,)>\n[<Constr r0> <Constr r1> <Constr r2>]")
    with pytest.raises(ValueError, match="^MConstr contains more than 1 constraint$"):
        c.item()
    with pytest.raises(AttributeError, match=r"^Attribute `LB` does not exist$"):
        c.LB                                                            # a variable attribute
    with pytest.raises(TypeError, match=r"^Cannot convert velmorpy\.Var to velmorpy\.Constr$"):
        MConstr._fromlist(m.getVars()).RHS
    m.dispose()


# --- memory ------------------------------------------------------------------------------

def test_no_reference_is_kept(m, leaks):
    x = m.addMVar((3, 3))
    A = np.arange(9.0).reshape(3, 3)
    assert not leaks(lambda: x[1:, 0].T.reshape(2).copy().tolist())
    assert not leaks(lambda: x.getAttr("UB"))
    assert not leaks(lambda: x.setAttr("UB", 5.0))
    assert not leaks(lambda: (x.nothing_here if hasattr(x, "nothing_here") else None))
    assert not leaks(lambda: A @ x[:, 0] + x.sum(axis=1), inner=50)


def test_subclass_cycles_are_collected(m, collected):
    class Sub(MVar):
        pass

    def build():
        s = Sub()
        s.__dict__["me"] = s
        return weakref.ref(s)
    assert collected(build)
    gc.collect()
