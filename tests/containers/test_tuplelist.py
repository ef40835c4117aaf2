"""tuplelist: construction, item checks, mutation and the life of its index."""
import copy
import operator
import pickle

import pytest

import velmorpy
from velmorpy import tuplelist

MIX = b"Cannot mix scalar and tuple values in a tuplelist"
LENGTH = b"All tuples in a tuplelist must be the same length"


def indexed(items, wildcard="*"):
    """A tuplelist whose index has been built by a query."""
    tl = tuplelist(items, wildcard)
    tl.select(wildcard if wildcard is not None else "*")
    tl.select(items[0][0] if isinstance(items[0], tuple) else items[0])
    assert tl.tuple_index_ is not None
    return tl


def expect_item_error(message, fn, *args):
    with pytest.raises(ValueError) as exc:
        fn(*args)
    assert exc.value.args == (message,)


# --- construction -------------------------------------------------------------


def test_empty_constructions():
    for tl in (tuplelist(), tuplelist(None), tuplelist([])):
        assert tl == [] and type(tl) is tuplelist
        assert tl.wildcard_ == "*" and tl.tuple_index_ is None
    tl = tuplelist([], "?")
    assert tl == [] and tl.wildcard_ == "?"
    assert tuplelist(li=[(1, 2)], wildcard=None).wildcard_ is None


def test_item_checks_on_construction():
    expect_item_error(MIX, tuplelist, [1, (1, 2)])
    expect_item_error(MIX, tuplelist, [(1, 2), 1])
    expect_item_error(LENGTH, tuplelist, [(1, 2), (1, 2, 3)])
    assert tuplelist([[1, 2], (3, 4)]) == [[1, 2], (3, 4)]  # lists and tuples are both sequence items
    assert tuplelist(["ab", 3, None]) == ["ab", 3, None]  # strings are scalars
    assert tuplelist([(), ()]) == [(), ()]


def test_constructor_refuses_iterables_without_length():
    with pytest.raises(TypeError, match="object of type 'generator' has no len()"):
        tuplelist(x for x in [(1, 2)])


def test_constructor_reads_its_argument_once():
    class Once:
        def __init__(self, items):
            self.items = items

        def __len__(self):
            return len(self.items)

        def __iter__(self):
            items, self.items = self.items, []
            return iter(items)

    assert tuplelist(Once([(1, 2), (3, 4)])) == [(1, 2), (3, 4)]


def test_constructor_takes_any_collection_with_a_length():
    assert sorted(tuplelist({(1, 2), (3, 4)})) == [(1, 2), (3, 4)]
    # a dict gives its keys, measured against its first key (not against d[0])
    assert tuplelist({(1, 2): "a", (3, 4): "b"}) == [(1, 2), (3, 4)]
    assert tuplelist({0: (1, 2), 1: (3, 4)}) == [0, 1]


def test_constructor_wildcard_type():
    with pytest.raises(TypeError, match="^Expected unicode, got int$"):
        tuplelist([], 1)

    class Text(str):
        pass

    with pytest.raises(TypeError, match="^Expected unicode, got Text$"):
        tuplelist([], Text("*"))


def test_constructor_argument_errors():
    with pytest.raises(TypeError, match=r"__init__\(\) takes at most 2 positional arguments \(3 given\)"):
        tuplelist([], "*", 3)
    with pytest.raises(TypeError, match="unexpected keyword argument 'items'"):
        tuplelist(items=[])


def test_reinitialising_replaces_items_and_drops_index():
    tl = indexed([(1, 2), (3, 4)])
    tl.__init__([(5, 6)], "?")
    assert tl == [(5, 6)] and tl.wildcard_ == "?" and tl.tuple_index_ is None


# --- attributes -----------------------------------------------------------------


def test_field_attributes():
    tl = tuplelist([(1, 2)])
    with pytest.raises(TypeError, match="^Expected list, got tuple$"):
        tl.tuple_index_ = ({},)
    with pytest.raises(TypeError, match="^Expected list, got velmorpy.tuplelist$"):
        tl.tuple_index_ = tuplelist()
    with pytest.raises(TypeError, match="^Expected unicode, got bytes$"):
        tl.wildcard_ = b"*"
    tl.wildcard_ = "?"
    assert tl.wildcard_ == "?"
    del tl.wildcard_
    assert tl.wildcard_ is None
    tl.select(1)
    del tl.tuple_index_
    assert tl.tuple_index_ is None
    with pytest.raises(AttributeError, match="'velmorpy.tuplelist' object has no attribute 'missing'"):
        tl.missing


# --- checked mutation -------------------------------------------------------------


def test_append_measures_against_the_first_item():
    tl = tuplelist()
    tl.append(5)  # the first item of an empty list always fits
    expect_item_error(MIX, tl.append, (1, 2))
    tl = tuplelist()
    tl.append((1, 2))
    expect_item_error(LENGTH, tl.append, (1, 2, 3))
    expect_item_error(MIX, tl.append, 3)
    tl.append(e=[3, 4])
    assert tl == [(1, 2), [3, 4]]


def test_insert():
    tl = tuplelist([(1, 2)])
    tl.insert(0, (0, 0))
    tl.insert(index=-1, obj=(5, 5))
    assert tl == [(0, 0), (5, 5), (1, 2)]
    expect_item_error(LENGTH, tl.insert, 0, (1,))
    with pytest.raises(OverflowError):
        tl.insert(2**31, (1, 1))
    with pytest.raises(TypeError, match="an integer is required"):
        tl.insert("0", (1, 1))
    assert tl == [(0, 0), (5, 5), (1, 2)]


def test_item_assignment():
    tl = indexed([(1, 2), (3, 4)])
    expect_item_error(LENGTH, tl.__setitem__, 0, (9, 9, 9))
    expect_item_error(MIX, tl.__setitem__, 0, 9)
    assert tl == [(1, 2), (3, 4)] and tl.tuple_index_ is not None
    tl[0] = (1, 2)  # an equal value keeps the index
    assert tl.tuple_index_ is not None
    tl[0] = (9, 9)
    assert tl.tuple_index_ is None and tl == [(9, 9), (3, 4)]
    with pytest.raises(IndexError):
        tl[5] = (1, 1)


def test_slice_assignment_checks_each_element():
    tl = indexed([(1, 2), (3, 4)])
    expect_item_error(LENGTH, tl.__setitem__, slice(0, 1), [(1, 2, 3)])
    expect_item_error(MIX, tl.__setitem__, slice(0, 0), [7])
    expect_item_error(LENGTH, tl.__setitem__, slice(1, None), [(5, 6), (7,)])
    assert tl == [(1, 2), (3, 4)] and tl.tuple_index_ is not None
    tl[1:] = [(3, 4)]  # equal items keep the index
    assert tl.tuple_index_ is not None
    tl[1:] = ((k, k) for k in range(3))  # a one-shot iterable is read once
    assert tl == [(1, 2), (0, 0), (1, 1), (2, 2)] and tl.tuple_index_ is None
    with pytest.raises(TypeError, match="can only assign an iterable"):
        tl[0:1] = 5
    with pytest.raises(ValueError, match="attempt to assign sequence of size 1 to extended slice of size 2"):
        tl[::2] = [(0, 0)]
    empty = tuplelist()
    empty[:] = [3, 4]
    assert empty == [3, 4]
    expect_item_error(MIX, empty.__setitem__, slice(0, 0), [(1, 2)])


def test_deletion():
    tl = indexed([(1, 2), (3, 4)])
    with pytest.raises(IndexError):
        del tl[5]
    assert tl.tuple_index_ is not None  # a failed deletion keeps it
    del tl[0]
    assert tl == [(3, 4)] and tl.tuple_index_ is None


# --- the index is dropped by every change -------------------------------------------

CHANGES = {
    "append": lambda tl: tl.append((7, 7)),
    "insert": lambda tl: tl.insert(1, (7, 7)),
    "extend": lambda tl: tl.extend([(7, 7)]),
    "iadd": lambda tl: operator.iadd(tl, [(7, 7)]),
    "imul": lambda tl: operator.imul(tl, 2),
    "iconcat": lambda tl: operator.iconcat(tl, [(7, 7)]),
    "setitem": lambda tl: operator.setitem(tl, 0, (7, 7)),
    "setslice": lambda tl: operator.setitem(tl, slice(0, 1), [(7, 7)]),
    "delitem": lambda tl: operator.delitem(tl, 0),
    "pop": lambda tl: tl.pop(),
    "pop-index": lambda tl: tl.pop(index=0),
    "remove": lambda tl: tl.remove(value=(1, 2)),
    "sort": lambda tl: tl.sort(reverse=True),
    "reverse": lambda tl: tl.reverse(),
    "clear": lambda tl: tl.clear(),
    "clean": lambda tl: tl.clean(),
}


@pytest.mark.parametrize("change", CHANGES.values(), ids=list(CHANGES))
def test_every_change_drops_the_index_and_queries_see_the_new_items(change):
    tl = indexed([(1, 2), (3, 4), (5, 6)])
    change(tl)
    assert tl.tuple_index_ is None
    assert list(tl.select()) == list(tl)
    for item in tl:
        assert item in tl.select(*item)


def test_failing_changes_drop_the_index_too():
    tl = indexed([(1, 2)])
    with pytest.raises(IndexError, match="pop index out of range"):
        tl.pop(5)
    assert tl.tuple_index_ is None
    tl.select(1)
    with pytest.raises(ValueError):
        tl.remove((9, 9))
    assert tl.tuple_index_ is None


def test_unchecked_changes_take_anything():
    tl = tuplelist([(1, 2)])
    tl += [(1, 2, 3), 4]
    tl.extend([5])
    assert tl == [(1, 2), (1, 2, 3), 4, 5]
    tl.append((8, 8))  # later checked changes measure against tl[0] only
    expect_item_error(LENGTH, tl.append, (1, 2, 3))
    tl = tuplelist([(1, 2)])
    tl += [(1,)]
    with pytest.raises(IndexError, match="tuple index out of range"):
        tl.select(1)  # building the index reads a field beyond the short item
    assert tl.tuple_index_ is None


def test_base_methods_keep_their_arguments():
    tl = tuplelist([(2, 1), (1, 2)])
    tl.sort(key=lambda t: t[1])
    assert tl == [(2, 1), (1, 2)]
    with pytest.raises(TypeError, match="sort"):
        tl.sort(1)
    with pytest.raises(TypeError, match="not iterable"):
        tl.extend(5)
    with pytest.raises(IndexError, match="pop from empty list"):
        tuplelist().pop()


# --- new lists --------------------------------------------------------------------------


def test_copies_and_operators_give_checked_tuplelists_with_default_wildcard():
    tl = tuplelist([(1, 2)], "?")
    tl.select(1)
    for made in (tl.copy(), tl + [(3, 4)], tl * 2, 2 * tl, [(0, 0)] + tl, operator.concat(tl, [(5, 5)])):
        assert type(made) is tuplelist
        assert made.wildcard_ == "*" and made.tuple_index_ is None
    assert tl + [(3, 4)] == [(1, 2), (3, 4)]
    assert [(0, 0)] + tl == [(0, 0), (1, 2)]
    assert tl * 2 == 2 * tl == [(1, 2), (1, 2)]
    assert tl.__radd__([(0, 0)]) == [(0, 0), (1, 2)]
    assert tl.__rmul__(3) == [(1, 2)] * 3
    assert tuplelist() + [(1, 2, 3)] == [(1, 2, 3)]
    expect_item_error(LENGTH, operator.add, tl, [(3, 4, 5)])
    expect_item_error(MIX, operator.add, [1], tl)
    assert tl == [(1, 2)] and tl.tuple_index_ is not None  # the operands are left alone


def test_operator_type_errors():
    tl = tuplelist([(1, 2)])
    with pytest.raises(TypeError, match=r'can only concatenate list \(not "tuple"\) to list'):
        tl + ((1, 2),)
    with pytest.raises(TypeError, match="can only concatenate tuple"):
        ((1, 2),) + tl
    with pytest.raises(TypeError, match="can't multiply sequence by non-int of type 'float'"):
        tl * 2.0
    with pytest.raises(TypeError, match="can't multiply sequence by non-int of type 'float'"):
        tl *= 2.0
    with pytest.raises(TypeError, match="not iterable"):
        tl += 5


def test_in_place_operators_change_the_object():
    tl = tuplelist([(1, 2)])
    same = tl
    tl += [(3, 4)]
    tl *= 2
    assert tl is same and tl == [(1, 2), (3, 4)] * 2


# --- class namespace ---------------------------------------------------------------------


def test_namespace():
    assert issubclass(tuplelist, list)
    assert tuplelist.pop.__defaults__ == (-1,)
    assert tuplelist.select.__qualname__ == "tuplelist.select"
    assert tuplelist.select.__module__ == "velmorpy"
    assert tuplelist.__init__.__doc__.startswith("\n    SIGNATURE:\n        __init__(li, wildcard)\n")
    assert "select(*query=[])" in tuplelist.select.__doc__
    assert "clean()" in tuplelist.clean.__doc__
    listing = tuplelist([]).__getmetaclass__().__dir__(None)
    assert "select" in listing and "clean" in listing
    for undocumented in ("append", "insert", "pop", "copy", "extend", "sort"):
        assert undocumented not in listing
    assert velmorpy.tuplelist is tuplelist


def test_method_keywords():
    tl = tuplelist([(1, 2)])
    for name in ("copy", "clean", "reverse", "clear"):
        with pytest.raises(TypeError, match=rf"^{name}\(\) takes no keyword arguments$"):
            getattr(tl, name)(x=1)
    with pytest.raises(TypeError, match="select\\(\\) got an unexpected keyword argument 'query'"):
        tl.select(query=1)
    with pytest.raises(TypeError, match=r"append\(\) takes exactly 1 positional argument \(0 given\)"):
        tl.append()


def test_subclass_overrides_reach_the_checked_base():
    class Counting(tuplelist):
        def append(self, e):
            self.appended = getattr(self, "appended", 0) + 1
            super().append(e)

    c = Counting([(1, 2)])
    c.append((3, 4))
    expect_item_error(LENGTH, c.append, (5,))
    assert c.appended == 2 and c == [(1, 2), (3, 4)]
    assert type(c.copy()) is tuplelist and type(c.select(1)) is tuplelist
    c.note = "instances of Python subclasses have a dictionary"
    assert c.note.startswith("instances")


class NotedTuplelist(tuplelist):
    pass


def copies_of(tl):
    yield copy.copy(tl)
    yield copy.deepcopy(tl)
    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
        yield pickle.loads(pickle.dumps(tl, protocol))


def test_copies_and_pickles_keep_the_wildcard_and_items():
    tl = indexed([(1, "a"), (2, "b"), (1, "c")], wildcard="?")
    for made in copies_of(tl):
        assert type(made) is tuplelist and made == tl
        assert made.wildcard_ == "?" and made.tuple_index_ is None      # the copy builds its own index
        assert made.select(1, "?") == [(1, "a"), (1, "c")] and made.select(1, "*") == []
    for wildcard in (None, "*"):
        assert all(made.wildcard_ == wildcard for made in copies_of(tuplelist([(1, 2)], wildcard)))
    deep = copy.deepcopy(tuplelist([([1], 2)]))
    assert deep == [([1], 2)]
    sub = NotedTuplelist([(1, 2)], "#")
    sub.note = "kept"
    for made in copies_of(sub):
        assert type(made) is NotedTuplelist and made == [(1, 2)] and made.wildcard_ == "#" and made.note == "kept"


def test_setstate_refusals():
    tl = tuplelist()
    with pytest.raises(TypeError, match=r"^Expected tuple, got list$"):
        tl.__setstate__([None, "*"])
    with pytest.raises(TypeError, match=r"^Expected tuple of at least 2 items, got 1$"):
        tl.__setstate__((None,))
    with pytest.raises(TypeError, match=r"^Expected unicode, got bytes$"):
        tl.__setstate__((None, b"*"))
    tl.__setstate__(([{}], "+"))                                        # an index in the state is never installed
    assert tl.wildcard_ == "+" and tl.tuple_index_ is None
