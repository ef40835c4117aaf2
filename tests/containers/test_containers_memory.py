"""Reference cycles through the containers' own fields, and leaks."""
import gc
import sys
import weakref

import pytest

from velmorpy import multidict, tupledict, tuplelist


class Holder:
    def __hash__(self):
        return id(self) >> 4

    def __eq__(self, other):
        return self is other


def collected(build):
    """build() returns a weakref to an object of a cycle it made and dropped."""
    gc.collect()
    ref = build()
    gc.collect()
    return ref() is None


def test_cycle_through_the_index_field():
    def build():
        tl, h = tuplelist([(1, 2)]), Holder()
        tl.tuple_index_ = [h]
        h.tl = tl
        return weakref.ref(h)
    assert collected(build)


def test_cycle_through_the_items():
    def build():
        h = Holder()
        h.tl = tuplelist([h])
        return weakref.ref(h)
    assert collected(build)


def test_cycle_through_a_subclass_instance():
    class Sub(tuplelist):
        pass

    def build():
        h = Holder()
        h.tl = Sub([(1, 2)])
        h.tl.owner = h
        return weakref.ref(h)
    assert collected(build)


def test_cycle_through_the_key_list():
    def build():
        td, k = tupledict(), Holder()
        td[k] = 1
        td.select()
        dict.__delitem__(td, k)  # now only the key list holds the key
        k.td = td
        return weakref.ref(k)
    assert collected(build)


def test_cycle_through_the_values():
    def build():
        td, h = tupledict(), Holder()
        td["a"] = h
        h.td = td
        return weakref.ref(h)
    assert collected(build)


ITEMS = [(k % 7, k % 3, str(k % 5)) for k in range(400)]  # positions beyond the cached small ints


def query_fresh_index():
    tl = tuplelist(ITEMS)
    tl.select(1, "*", "2")
    tl.select([1, 2], 0, ["3", "4"])
    tl.select(1, 2, "0")
    (1, 2) in tl


def query_built_index(tl=tuplelist(ITEMS)):
    tl.select("*", 1)
    tl.select(3, [0, 1])
    tl.select(9)
    tl.clean()


def change_list():
    tl = tuplelist(ITEMS[:20])
    tl.select(1)
    tl.append((1, 1, "1"))
    tl[0:2] = [(2, 2, "2")]
    tl += [(0, 0, "0")]
    tl.sort()
    tl.pop()
    tl.copy()
    tl + [(5, 5, "5")]
    tl * 2


KEYS = [(k % 7, k % 3, k) for k in range(400)]


def dict_queries():
    td = tupledict((key, k) for k, key in enumerate(KEYS))
    td.select(1, "*")
    td[(9, 9, 9)] = 1
    td.select("*", 1)
    td.setdefault((9, 9, 9))
    td.pop((9, 9, 9))
    td.update({(8, 8, 8): 0})
    td.select(8)


def split():
    multidict({(k, k + 1): [k, 2 * k] for k in range(20)})
    multidict({"a": 1, "b": [1]})


def errors():
    for fn in (lambda: tuplelist([1, (1, 2)]),
               lambda: tuplelist([(1, 2)]).append((1,)),
               lambda: tuplelist([([1], 1)]).select(1),
               lambda: tupledict({1: 2}).prod([1]),
               lambda: tupledict({1: 2, (1,): 3}).select(),
               lambda: multidict({"a": [1], "b": []}),
               lambda: multidict(None),
               lambda: 5 in tuplelist([1])):
        try:
            fn()
        except (ValueError, TypeError, IndexError, AttributeError):
            pass


@pytest.mark.parametrize("fn", [query_fresh_index, query_built_index, change_list, dict_queries, split, errors])
def test_no_allocation_leak(fn, leaks):
    assert not leaks(fn, inner=100)


def test_queries_keep_no_reference_to_their_arguments():
    tl = tuplelist(ITEMS)
    td = tupledict((item, k) for k, item in enumerate(ITEMS))
    value = "".join(["not", "-", "held"])  # a fresh, non-interned str
    alternatives = [value, 1]
    before = sys.getrefcount(value), sys.getrefcount(alternatives)
    for _ in range(50):
        tl.select(value)
        tl.select("*", alternatives)
        (value,) in tl
        td.select(1, value)
    assert (sys.getrefcount(value), sys.getrefcount(alternatives)) == before
