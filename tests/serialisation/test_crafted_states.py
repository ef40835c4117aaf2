"""States that no pickler of ours wrote: checked whole before anything is stored, never a crash."""
import copy
import io
import pickle
import pickletools
import random
from fractions import Fraction

import numpy as np
import pytest

import velmorpy
from velmorpy import Column, LinExpr, PsdExpr, QuadExpr, TempConstr, VelmorError, tupledict, tuplelist

List = velmorpy.List
Operand = velmorpy.Operand


class Noted(Operand):
    pass


def test_short_states_are_refused_before_any_item_is_read():
    for cls, n, checksum in ((LinExpr, 3, 0x82fd631), (QuadExpr, 4, 0x273855f), (PsdExpr, 3, 0x9e58bed),
                             (TempConstr, 3, 0x4b64fd6), (Column, 2, 0x2a3a231), (tuplelist, 2, 0x7a47fbf),
                             (tupledict, 1, 0x834c73b), (VelmorError, 2, 0xd41db47)):
        rebuild = getattr(velmorpy, "_unpickle_" + cls.__name__)
        for short in range(n):
            message = r"^Expected tuple of at least %d items, got %d$" % (n, short)
            with pytest.raises(TypeError, match=message):
                rebuild(cls, checksum, (None,) * short)
            if cls is not VelmorError:                                     # pickled as exceptions are
                with pytest.raises(TypeError, match=message):
                    cls.__new__(cls).__setstate__((None,) * short)


def test_linexpr_state_is_checked_whole(xyz):
    x, y, z = xyz
    e = 2 * x + 1
    before = str(e)
    refusals = [
        ((None, "a", None), r"must be real number, not str"),
        ((List([1.0]), 0.0, None), r"^Cannot convert NoneType to velmorpy\.List$"),
        ((None, 0.0, List([x])), r"^Cannot convert NoneType to velmorpy\.List$"),
        (([1.0], 0.0, [x]), r"^Cannot convert list to velmorpy\.List$"),
        ((List([1.0, 2.0]), 0.0, List([x])), r"^Expected term lists of equal length, got 2 and 1$"),
        ((List(["a"]), 0.0, List([x])), r"^Cannot convert str to float$"),
        ((List([1.0]), 0.0, List([5])), r"^Cannot convert int to velmorpy\.Var$"),
        ((List([1.0]), 0.0, List([e])), r"^Cannot convert velmorpy\.LinExpr to velmorpy\.Var$"),
    ]
    for state, message in refusals:
        with pytest.raises(TypeError, match=message):
            e.__setstate__(state)
        assert str(e) == before                                             # nothing was stored
        with pytest.raises(TypeError, match=message):
            velmorpy._unpickle_LinExpr(LinExpr, 0x82fd631, state)
    e.__setstate__((List([3.0, -1.0]), 2, List([y, z])))
    assert [e.getCoeff(i) for i in range(e.size())] == [3.0, -1.0] and e.getConstant() == 2.0
    assert e.getVar(1).sameAs(z)
    e.__setstate__((None, 0.0, None))
    with pytest.raises(TypeError):
        e.size()


def test_quadexpr_and_psdexpr_states(xyz):
    x, y, z = xyz
    q = QuadExpr.__new__(QuadExpr)
    with pytest.raises(TypeError, match=r"^Cannot convert int to velmorpy\.LinExpr$"):
        q.__setstate__((None, 5, None, None))
    with pytest.raises(TypeError, match=r"^Expected term lists of equal length, got 1 and 0$"):
        q.__setstate__((List([1.0]), LinExpr(), List([x]), List([])))
    with pytest.raises(TypeError, match=r"^Cannot convert NoneType to velmorpy\.List$"):
        q.__setstate__((List([1.0]), LinExpr(), List([x]), None))
    q.__setstate__((List([2.0]), LinExpr(y), List([x]), List([z])))
    assert q.size() == 1 and q.getVar1(0).sameAs(x) and q.getVar2(0).sameAs(z) and q.getLinExpr().size() == 1
    # A state's coefficients come back as given (a float subclass too), and a
    # product's, a sum's and an in-place product's state holds their values.
    q.__setstate__((List([np.float64(2.5), 1.5]), LinExpr(), List([x, y]), List([z, z])))
    assert [(type(c), c) for c in map(q.getCoeff, range(2))] == [(np.float64, 2.5), (float, 1.5)]
    made = 0.5 * (x * y) + q
    made *= 2
    state = made.__reduce__()[2]
    assert list(state[0]) == [1.0, 5.0, 3.0] and [type(c) for c in state[0]] == [float, np.float64, float]
    back = QuadExpr.__new__(QuadExpr)
    back.__setstate__(state)
    assert [back.getCoeff(i) for i in range(3)] == [1.0, 5.0, 3.0] and back.getVar2(2).sameAs(z)
    listed = QuadExpr()                                          # kept as listed, so copies keep them too
    listed.addTerms([2, Fraction(1, 3)], [x, y], [y, z])
    assert [(type(c), c) for c in map(copy.copy(listed).getCoeff, range(2))] == [(int, 2), (Fraction, Fraction(1, 3))]
    shared = List([x, y, z])                                     # one term list shown twice: appends stay apart
    q.__setstate__((List([1.0, 1.0, 1.0]), LinExpr(), shared, shared))
    q.addTerms(5.0, x, z)
    q.addTerms([2.0], [y], [z])
    state = q.__reduce__()[2]
    assert [len(part) for part in (state[0], state[2], state[3])] == [5, 5, 5] and len(shared) == 3
    assert [(q.getVar1(i).sameAs(a), q.getVar2(i).sameAs(b)) for i, a, b in [(3, x, z), (4, y, z)]] == [(True, True)] * 2
    q.__setstate__((None, LinExpr(), None, None))                           # no term lists: no terms
    assert q.size() == 0 and q.getLinExpr().size() == 0
    q.__setstate__((List([1.0]), LinExpr.__new__(LinExpr), List([x]), List([y])))
    with pytest.raises(TypeError):                                           # its linear part was never made
        q.size()
    p = PsdExpr.__new__(PsdExpr)
    with pytest.raises(TypeError, match=r"^Cannot convert velmorpy\.Var to velmorpy\.PsdVar$"):
        p.__setstate__((List([np.eye(2)]), LinExpr(), List([x])))
    p.__setstate__((List([]), LinExpr(x), List([])))
    assert p.size() == 0 and p.getLinExpr().size() == 1


def test_container_and_column_states(m):
    with pytest.raises(TypeError, match=r"^Expected list, got velmorpy\.tuplelist$"):
        Column().__setstate__((tuplelist([1]), []))
    with pytest.raises(TypeError, match=r"^Expected list, got tuple$"):
        Column().__setstate__(([], ()))
    with pytest.raises(TypeError, match=r"^Expected term lists of equal length, got 1 and 0$"):
        Column().__setstate__(([1.0], []))
    col = Column()
    col.__setstate__(([2.5], ["not a constraint"]))                         # the model checks what it uses
    assert col.size() == 1 and col.getCoeff(0) == 2.5
    with pytest.raises(TypeError, match=r"^Cannot convert str to velmorpy\.Constr$"):
        m.addVar(column=col)
    with pytest.raises(TypeError, match=r"^Cannot convert list to velmorpy\.tuplelist$"):
        tupledict().__setstate__(([1, 2],))
    with pytest.raises(TypeError, match=r"^Expected list, got dict$"):
        tuplelist().__setstate__(({}, "*"))
    with pytest.raises(TypeError, match=r"^Expected unicode, got int$"):
        tuplelist().__setstate__((None, 5))
    tl = tuplelist([(1, 2)])
    tl.__setstate__(([{1: [5]}, {2: [7]}], "+"))                            # an index is never taken from a state
    assert tl.tuple_index_ is None and tl.select(1, "+") == [(1, 2)]


def test_instance_dictionary_item():
    n = Noted()
    with pytest.raises(TypeError, match=r"^Expected dict, got list$"):
        n.__setstate__(([("a", 1)],))
    assert vars(n) == {}
    n.__setstate__(({"a": 1}, "ignored"))
    assert n.a == 1
    Operand().__setstate__(({"a": 1},))                                     # no dictionary: the item is ignored
    t = TempConstr.__new__(TempConstr)
    t.__setstate__((1, 2, 3, [5]))
    assert t.__reduce__()[2] == (1, 2, 3)


def test_tempconstr_state_forgets_the_remembered_equality(xyz):
    x, y, z = xyz
    eq = x == x
    assert bool(eq)
    eq.__setstate__((LinExpr(y), 0, 0))
    with pytest.raises(TypeError):
        bool(eq)


# --- fuzz ---------------------------------------------------------------------------------
#
# Pickles of each class, truncated and with bits flipped, loaded through an
# unpickler that reaches nothing but this module's classes; every outcome must
# be a value or an ordinary exception. Expressions with terms travel with
# their term lists written as List(...) calls and their variables as
# persistent ids, so the mutations reach the term checks too.

class _Writer(pickle.Pickler):
    def __init__(self, file, handles):
        super().__init__(file, protocol=4)
        self.handles = handles

    def persistent_id(self, obj):
        if not isinstance(obj, velmorpy.Var):
            return None
        for i, h in enumerate(self.handles):
            if obj is h:
                return i
        self.handles.append(obj)
        return len(self.handles) - 1

    def reducer_override(self, obj):
        if type(obj) is List:
            return List, ([obj[i] for i in range(len(obj))],)
        return NotImplemented


# What a pickled object array needs of NumPy, and nothing else of it.
_NUMPY = {("numpy.core.multiarray", "_reconstruct"), ("numpy", "ndarray"), ("numpy", "dtype")}


class _Source:
    """The pickle's bytes with read and readline alone: the unpickler's
    readinto path leaves a buffer export behind on truncated data."""

    def __init__(self, data):
        self.f = io.BytesIO(data)

    def read(self, n=-1):
        return self.f.read(n)

    def readline(self):
        return self.f.readline()


class _Reader(pickle.Unpickler):
    def __init__(self, data, handles):
        super().__init__(_Source(data))
        self.handles = handles

    def persistent_load(self, pid):
        return self.handles[pid]

    def find_class(self, module, name):
        if module in ("velmorpy", __name__) or (module, name) in _NUMPY:
            return super().find_class(module, name)
        raise pickle.UnpicklingError("refused %s.%s" % (module, name))


# Opcodes whose argument is a length of up to 4 or 8 bytes: a flipped bit
# there makes the unpickler allocate that much before it finds the data short.
_SIZED = frozenset(b"BXT\x8b\x8d\x8e\x95\x96")


def _plausible(blob):
    """Whether a mutated pickle stays clear of the unpickler's own troubles,
    which test the interpreter rather than this module: lengths, memo indices
    and frame sizes in the billions allocate that much, and the out-of-band
    buffer opcodes (which no pickle here holds) leave exports behind."""
    if any(op in blob for op in (b"\x96", b"\x97", b"\x98")):
        return False
    stream = io.BytesIO(blob)
    end = 0
    try:
        for op, arg, _ in pickletools.genops(stream):
            end = stream.tell()
            if isinstance(arg, int) and ("PUT" in op.name or "GET" in op.name or op.name == "FRAME") and \
                    arg > len(blob):
                return False
    except Exception:
        return end >= len(blob) or blob[end] not in _SIZED   # the unpickler stops where the parser did
    return True


def _use(obj, x, m):
    """Every method that is cheap and free of a model's solution, and the model's uses of the object."""
    uses = [str, repr, copy.copy, lambda o: o.__reduce__(), lambda o: o + x, lambda o: x + o, lambda o: o * 2,
            lambda o: o <= 1, lambda o: o.size(), lambda o: o.getCoeff(0), lambda o: o.getVar(0),
            lambda o: o.getConstant(), lambda o: o.getLinExpr(), lambda o: o.addTerms(1.0, x),
            lambda o: o.remove(0), lambda o: o.select(1, "*"), lambda o: o.sum("*"), lambda o: (1, 2) in o,
            lambda o: o.clear(), lambda o: m.addConstr(o), lambda o: m.addConstr(o <= 1),
            lambda o: m.setObjective(o), lambda o: m.addVar(column=o), lambda o: o.shape,
            lambda o: o.item(), lambda o: o.tolist(), lambda o: o[0], lambda o: o.getAttr("LB")]
    for use in uses:
        try:
            use(obj)
        except Exception:
            pass


def test_fuzzed_pickles_fail_cleanly(m, xyz):
    x, y, z = xyz
    noted = Noted()
    noted.label = "n"
    seeds = [
        tuplelist([(1, "a"), (2, "b")]), tuplelist([1, 2, 3], None), tupledict({(1, 2): 3.0, (2, 2): "v"}),
        Operand(), noted, TempConstr.new(None, 1, 2), Column(), LinExpr.__new__(LinExpr),
        QuadExpr.__new__(QuadExpr), PsdExpr.__new__(PsdExpr), VelmorError(10001),
        2 * x + 3 * y + 1, x * y + 2 * z * z + x, x + y <= 2,
        velmorpy.MVar.__new__(velmorpy.MVar), m.addMVar((2,)), m.addMVar((2, 2)).sum(axis=0),
        velmorpy.MQuadExpr.__new__(velmorpy.MQuadExpr),
    ]
    blobs = []
    handles = [x, y, z]
    for seed in seeds:
        buf = io.BytesIO()
        _Writer(buf, handles).dump(seed)
        blobs.append(buf.getvalue())
    rng = random.Random(20261209)
    outcomes = {"loaded": 0, "refused": 0}
    for blob in blobs:
        variants = [blob[:rng.randrange(len(blob))] for _ in range(20)]
        for _ in range(60):
            b = bytearray(blob)
            for _ in range(rng.randint(1, 3)):
                i = rng.randrange(len(b))
                b[i] ^= 1 << rng.randrange(8)
            variants.append(bytes(b))
        for v in filter(_plausible, variants):
            try:
                obj = _Reader(v, handles).load()
            except Exception:
                outcomes["refused"] += 1
                continue
            outcomes["loaded"] += 1
            _use(obj, x, m)
    assert outcomes["loaded"] > 0 and outcomes["refused"] > 0


def test_unmutated_writer_round_trips_expressions(xyz):
    x, y, z = xyz
    e = 2 * x + 3 * y + 1
    buf = io.BytesIO()
    _Writer(buf, [x, y, z]).dump(e)
    back = _Reader(buf.getvalue(), [x, y, z]).load()
    assert type(back) is LinExpr and str(back) == str(e)


def test_state_conversion_that_reenters_under_the_debug_allocator(run_python):
    # The constant's __float__ runs before the term lists are read: a state
    # stored from inside it is replaced whole by the outer one.
    out = run_python("""
        import gc, velmorpy
        m = velmorpy.Model()
        x, y = m.addVar(name="x"), m.addVar(name="y")
        e = velmorpy.LinExpr()

        class Sneaky:
            def __float__(self):
                e.__setstate__((velmorpy.List([5.0]), 0.0, velmorpy.List([y])))
                gc.collect()
                return 1.0

        e.__setstate__((velmorpy.List([2.0, 3.0]), Sneaky(), velmorpy.List([x, y])))
        gc.collect()
        print(e.size(), e.getConstant(), e.getVar(1).VarName)
    """, PYTHONMALLOC="malloc_debug")
    assert out.returncode == 0, out.stderr
    assert out.stdout.split() == ["2", "1.0", "y"]
