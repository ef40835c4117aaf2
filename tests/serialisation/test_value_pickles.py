"""Pickling of the value classes: reduce forms, checksums, reconstructors, round trips."""
import copy
import hashlib
import multiprocessing
import pickle

import numpy as np
import pytest

import velmorpy
from velmorpy import Column, LinExpr, PsdExpr, QuadExpr, TempConstr, VelmorError, tupledict, tuplelist

Operand = velmorpy.Operand
List = velmorpy.List

# Each class's fields in state order, as its pickles name them.
FIELDS = {
    "VelmorError": ["errno_", "message_"],
    "Operand": [],
    "tuplelist": ["tuple_index_", "wildcard_"],
    "tupledict": ["keys_"],
    "MVar": ["vararr_"],
    "MConstr": ["constrarr_"],
    "MLinExpr": ["linexprarr_"],
    "MQuadExpr": ["quadexprarr_"],
    "LinExpr": ["coeffs_", "constant_", "vars_"],
    "QuadExpr": ["coeffs_", "lin_", "vars1_", "vars2_"],
    "PsdExpr": ["coeffs_", "lin_", "vars_"],
    "TempConstr": ["expr_", "lhs_", "rhs_"],
    "Column": ["coeffs_", "constrs_"],
}


class Noted(Operand):
    pass


class NotedList(tuplelist):
    pass


class NotedDict(tupledict):
    pass


def checksums(fields):
    text = " ".join(fields).encode()
    return tuple(int(getattr(hashlib, h)(text).hexdigest()[:7], 16) for h in ("sha256", "sha1", "md5"))


def every_protocol(obj):
    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
        yield pickle.loads(pickle.dumps(obj, protocol))


def test_checksums_follow_the_field_names():
    # The state written by __reduce__ carries the SHA-256 value; each of the three is accepted.
    for name, fields in FIELDS.items():
        cls = getattr(velmorpy, name)
        rebuild = getattr(velmorpy, "_unpickle_" + name)
        sums = checksums(fields)
        for s in sums:
            assert type(rebuild(cls, s, None)) is cls
        wanted = "Incompatible checksums (0x1234 vs (%s) = (%s))" % (
            ", ".join("0x%07x" % s for s in sums), ", ".join(fields))
        with pytest.raises(pickle.PickleError) as info:
            rebuild(cls, 0x1234, None)
        assert str(info.value) == wanted
    assert checksums(FIELDS["LinExpr"])[0] == 0x82fd631
    assert LinExpr.__new__(LinExpr).__reduce__()[1][1] == checksums(FIELDS["LinExpr"])[0]
    assert tuplelist().__reduce__()[1][1] == checksums(FIELDS["tuplelist"])[0]


def test_reconstructors_are_module_functions():
    names = sorted(n for n in vars(velmorpy) if n.startswith("_unpickle_"))
    assert names == sorted("_unpickle_" + n for n in FIELDS)
    f = velmorpy._unpickle_LinExpr
    assert (f.__name__, f.__qualname__, f.__module__) == ("_unpickle_LinExpr", "_unpickle_LinExpr", "velmorpy")
    assert f.__code__.co_argcount == 3 and f.__closure__ is None and f.__defaults__ is None
    assert not any(n.startswith("_unpickle_") for n in velmorpy.__all__)
    for args in ((LinExpr, 0x82fd631), (LinExpr, 0x82fd631, None, None)):
        with pytest.raises(TypeError):
            f(*args)
    assert velmorpy.__test__ == {}
    assert b"_unpickle_tuplelist" in pickle.dumps(tuplelist([1]), 0)


def test_reduce_forms():
    assert LinExpr.__new__(LinExpr).__reduce__() == (
        velmorpy._unpickle_LinExpr, (LinExpr, 0x82fd631, (None, 0.0, None)))
    assert Operand().__reduce__() == (velmorpy._unpickle_Operand, (Operand, 0xe3b0c44, ()))
    tc = TempConstr.new(None, 1, 2)
    assert tc.__reduce__() == (velmorpy._unpickle_TempConstr, (TempConstr, 0x4b64fd6, None), (None, 1, 2))

    n = Noted()
    n.note = "kept"
    f, args, state = n.__reduce__()
    assert (f, args, state) == (velmorpy._unpickle_Operand, (Noted, 0xe3b0c44, None), ({"note": "kept"},))
    for back in every_protocol(n):
        assert type(back) is Noted and back.note == "kept"
    Operand().__setstate__(())                                            # the empty state restores nothing
    back = pickle.loads(pickle.dumps(LinExpr.__new__(LinExpr)))
    assert back.__reduce__()[1][2] == (None, 0.0, None)
    with pytest.raises(TypeError, match=r"^Cannot convert NoneType to velmorpy\.LinExpr$|velmorpy\.List"):
        back.size()


def test_argument_counts():
    tl = tuplelist()
    with pytest.raises(TypeError, match=r"^__reduce__\(\) takes exactly 0 positional arguments \(1 given\)$"):
        tl.__reduce__(1)
    with pytest.raises(TypeError, match=r"^__reduce__\(\) got an unexpected keyword argument 'protocol'$"):
        tl.__reduce__(protocol=2)
    with pytest.raises(TypeError, match=r"^__setstate__\(\) takes exactly 1 positional argument \(0 given\)$"):
        tl.__setstate__()
    with pytest.raises(TypeError, match=r"^Expected tuple, got list$"):
        velmorpy._unpickle_LinExpr(LinExpr, 0x82fd631, [None, 0.0, None])
    with pytest.raises(TypeError, match=r"^'NoneType' object is not subscriptable$"):
        LinExpr.__new__(LinExpr).__setstate__(None)
    with pytest.raises(TypeError, match=r"^object of type 'NoneType' has no len\(\)$"):
        Operand().__setstate__(None)
    with pytest.raises(OverflowError):
        velmorpy._unpickle_LinExpr(LinExpr, 2 ** 40, None)
    with pytest.raises(TypeError):
        velmorpy._unpickle_LinExpr(LinExpr, "0x82fd631", None)


def test_reconstructor_checks_the_class_first():
    rebuild = velmorpy._unpickle_LinExpr
    with pytest.raises(TypeError, match=r"^LinExpr\.__new__\(int\): int is not a subtype of LinExpr$"):
        rebuild(int, 0x82fd631, None)
    with pytest.raises(TypeError, match=r"is not a type object"):
        rebuild(LinExpr(), 0x82fd631, None)
    with pytest.raises(TypeError, match=r"is not safe"):                 # a module class below Operand
        velmorpy._unpickle_Operand(LinExpr, 0xe3b0c44, None)
    with pytest.raises(TypeError, match=r"is not safe"):
        velmorpy._unpickle_Operand(velmorpy.Var, 0xe3b0c44, None)

    class Sub(LinExpr):
        def __init__(self):
            raise AssertionError("the constructor never runs")

    assert type(rebuild(Sub, 0x82fd631, None)) is Sub


def test_missing_reconstructor_is_a_name_error(monkeypatch):
    monkeypatch.delattr(velmorpy, "_unpickle_Column")
    with pytest.raises(NameError, match=r"^name '_unpickle_Column' is not defined$"):
        Column().__reduce__()


def test_tuplelist_round_trip_item_by_item():
    tl = tuplelist([(1, "a"), (2, "b"), (1, "c")], "?")
    tl.select(1, "?")                                                    # an index exists
    assert tl.__reduce__()[2] == (None, "?")                             # a loaded list never takes one
    for made in [copy.copy(tl), copy.deepcopy(tl), *every_protocol(tl)]:
        assert type(made) is tuplelist and list(made) == list(tl) and made.wildcard_ == "?"
        assert made.select(1, "?") == [(1, "a"), (1, "c")] and made.select("?", "b") == [(2, "b")]
        assert (3, "a") not in made and (2, "b") in made
    scalar = tuplelist([3, 1, 2])
    assert list(pickle.loads(pickle.dumps(scalar))) == [3, 1, 2]


def test_tupledict_round_trip_item_by_item():
    td = tupledict({(1, "a"): 1.5, (2, "b"): "x", (1, "c"): None})
    assert td.select(1, "*") == [1.5, None]                             # a key list exists
    f, args, state, listitems, dictitems = td.__reduce__()
    assert args == (tupledict, 0x834c73b, (None,)) and state is None and listitems is None
    assert list(dictitems) == list(td.items())
    for made in [copy.copy(td), copy.deepcopy(td), *every_protocol(td)]:
        assert type(made) is tupledict and list(made.items()) == list(td.items())
        assert made.select(1, "*") == [1.5, None] and made.select("*", "b") == ["x"]
        made[(3, "a")] = 7
        assert made.select("*", "a") == [1.5, 7]


def test_subclass_instances_keep_their_attributes():
    nl = NotedList([(1, 2)], "#")
    nl.note = "kept"
    nd = NotedDict({(1, 2): 3})
    nd.note = "also"
    for made in [copy.deepcopy(nl), *every_protocol(nl)]:
        assert type(made) is NotedList and made == [(1, 2)] and made.wildcard_ == "#" and made.note == "kept"
        assert made.select(1, "#") == [(1, 2)]
    for made in [copy.deepcopy(nd), *every_protocol(nd)]:
        assert type(made) is NotedDict and made == {(1, 2): 3} and made.note == "also"


def test_old_pickles_without_items_still_load():
    # The state alone (the reconstructor's arguments and a state), as a writer
    # that did not carry the items made it: an empty container, and its index
    # or key list, which describe other items, are never used.
    tl = velmorpy._unpickle_tuplelist(tuplelist, 0x7a47fbf, ([{1: [0]}], "*"))
    assert tl == [] and tl.tuple_index_ is None and tl.select(1) == []
    tl.append((1,))
    assert tl.select(1) == [(1,)]
    td = velmorpy._unpickle_tupledict(tupledict, 0x834c73b, (tuplelist([(9, 9)]),))
    assert td == {} and td.select(9, 9) == []
    td[(1, 1)] = 5
    assert td.select(1, "*") == [5]


def test_value_objects_round_trip():
    tc = TempConstr.new(None, 1, 2)
    for made in [copy.deepcopy(tc), *every_protocol(tc)]:
        assert type(made) is TempConstr
        assert made.__reduce__()[2] == (None, 1, 2)
    for made in [copy.deepcopy(Column()), *every_protocol(Column())]:
        assert type(made) is Column and made.size() == 0
    made_col = pickle.loads(pickle.dumps(Column.__new__(Column)))
    assert made_col.__reduce__()[1][2] == (None, None)
    for cls in (QuadExpr, PsdExpr):
        back = pickle.loads(pickle.dumps(cls.__new__(cls)))
        assert type(back) is cls and all(v is None for v in back.__reduce__()[1][2])
    for e in (VelmorError(10001), VelmorError("text")):                  # keeps its code and text
        back = pickle.loads(pickle.dumps(e))
        assert (back.errno, back.message) == (e.errno, e.message)


def test_matrix_classes_pickle_their_array():
    for name in ("MVar", "MConstr", "MLinExpr", "MQuadExpr"):
        cls = getattr(velmorpy, name)
        rebuild = getattr(velmorpy, "_unpickle_" + name)
        checksum = checksums(FIELDS[name])[0]
        empty = cls.__new__(cls)
        assert empty.__reduce__() == (rebuild, (cls, checksum, (None,)))
        assert pickle.loads(pickle.dumps(empty)).__reduce__()[1][2] == (None,)
        numbers = rebuild(cls, checksum, (np.arange(4.0).reshape(2, 2),))
        f, args, state = numbers.__reduce__()
        assert args == (cls, checksum, None) and state[0] is numbers.__reduce__()[2][0]   # the array itself
        for back in every_protocol(numbers):
            assert type(back) is cls and back.shape == (2, 2)
            assert np.array_equal(back.__reduce__()[2][0], np.arange(4.0).reshape(2, 2))
        anything = rebuild(cls, checksum, ("not an array",))                 # taken as it is; methods refuse
        with pytest.raises(TypeError, match="^Cannot convert str to numpy.ndarray$"):
            anything.shape


def test_velmorerror_reconstructor():
    e = velmorpy._unpickle_VelmorError(VelmorError, 0xd41db47, (10003, "own text"))
    assert type(e) is VelmorError and (e.errno, e.message) == (10003, "own text")
    with pytest.raises(OverflowError):
        velmorpy._unpickle_VelmorError(VelmorError, 0xd41db47, (2 ** 40, None))
    with pytest.raises(TypeError, match=r"^Expected unicode, got bytes$"):
        velmorpy._unpickle_VelmorError(VelmorError, 0xd41db47, (1, b"text"))


def test_expressions_with_terms_through_their_reduce_and_setstate(xyz):
    x, y, z = xyz
    e = 2 * x + 3 * y + 1
    f, args, state = e.__reduce__()                                     # returns: the pickler refuses the List
    assert (f, args) == (velmorpy._unpickle_LinExpr, (LinExpr, 0x82fd631, None))
    coeffs, constant, variables = state
    assert type(coeffs) is List and list(coeffs) == [2.0, 3.0] and constant == 1.0
    assert [v.sameAs(w) for v, w in zip(variables, (x, y))] == [True, True]
    back = f(*args)
    back.__setstate__(state)
    assert str(back) == str(e) and back.size() == 2
    back.addTerms(1.0, z)                                               # its terms are its own
    assert e.size() == 2 and copy.copy(e).size() == 2

    q = x * y + 2 * z * z + x + 4
    f, args, state = q.__reduce__()
    back = f(*args)
    back.__setstate__(state)
    assert str(back) == str(q) and back.getLinExpr() is q.getLinExpr()  # the state holds the field itself
    q_back = copy.copy(q)
    assert str(q_back) == str(q)
    with pytest.raises(TypeError, match=r"^self\.list_ cannot be converted to a Python object for pickling$"):
        copy.deepcopy(q)


def test_multiprocessing_pool_round_trip():
    tl = tuplelist([(i, j, "x" if i % 2 else "y") for i in range(20) for j in range(3)])
    td = tupledict({(i, j): float(i * j) for i in range(10) for j in range(4)})
    with multiprocessing.get_context("spawn").Pool(2) as pool:
        back_tl, back_td = pool.map(copy.copy, [tl, td])     # both ways through pickle
        answers = pool.starmap(_select, [(tl, (1, "*", "x")), (td, ("*", 2))])
    assert type(back_tl) is tuplelist and back_tl == tl and back_tl.select(1, "*", "x") == tl.select(1, "*", "x")
    assert type(back_td) is tupledict and back_td == td and back_td.select("*", 2) == td.select("*", 2)
    assert answers == [tl.select(1, "*", "x"), td.select("*", 2)]


def _select(container, query):
    return container.select(*query)


def test_unpickling_in_a_fresh_interpreter(run_python):
    data = pickle.dumps([tuplelist([(1, 2)]), tupledict({1: 2}), TempConstr.new(None, 1, 2), Operand()])
    out = run_python("""
        import pickle, sys
        objs = pickle.loads(%r)
        print([type(o).__name__ for o in objs], objs[0].select(1), objs[1].select(1))
    """ % data)
    assert out.returncode == 0, out.stderr
    assert out.stdout.strip() == "['tuplelist', 'tupledict', 'TempConstr', 'Operand'] [(1, 2)] [2]"


def test_round_trips_do_not_leak(leaks):
    tl = tuplelist([(1, 2), (3, 4)])
    td = tupledict({(1, 2): 3})
    tl.select(1)
    td.select(1, 2)
    assert not leaks(lambda: pickle.loads(pickle.dumps(tl)))
    assert not leaks(lambda: pickle.loads(pickle.dumps(td)))
    assert not leaks(lambda: pickle.loads(pickle.dumps(TempConstr.new(None, 1, 2))))

    def refused():
        try:
            velmorpy._unpickle_LinExpr(LinExpr, 0x82fd631, (List([1.0]), 0.0, None))
        except TypeError:
            pass
    assert not leaks(refused)
