"""tuplelist.select and `in`: wildcard queries answered from the index."""
import random

import pytest

from velmorpy import tuplelist


def brute_force(items, query, wildcard="*"):
    """Every item checked field by field: the answer the index must reproduce."""
    if not query:
        return list(items)
    if not items:
        return []
    width = len(items[0]) if isinstance(items[0], (tuple, list)) else 1
    if len(query) > width:
        return []
    out = []
    for item in items:
        fields = item if isinstance(item, (tuple, list)) else (item,)
        if all(q == wildcard or (f in q if isinstance(q, (list, tuple)) else f == q)
               for q, f in zip(query, fields)):
            out.append(item)
    return out


@pytest.fixture
def abc():
    return tuplelist([(1, 2, "a"), (2, 2, "b")])


def test_examples(abc):
    assert abc.select("*", 2, "*") == [(1, 2, "a"), (2, 2, "b")]
    assert abc.select("*", 2) == [(1, 2, "a"), (2, 2, "b")]
    assert abc.select(1) == [(1, 2, "a")]
    assert abc.select("*", "*", "b") == [(2, 2, "b")]
    assert abc.select(1, 2, "a", 0) == []  # longer than the items
    assert abc.select() == abc and abc.select("*") == abc
    assert abc.select(3) == [] and abc.select("*", 2, "c") == []


def test_results_are_new_plain_tuplelists_holding_the_items_themselves():
    items = [(1, 2), (1, 3)]
    tl = tuplelist(items, "?")
    for result in (tl.select(1), tl.select(), tl.select("?"), tl.select(9)):
        assert type(result) is tuplelist
        assert result.wildcard_ == "*" and result.tuple_index_ is None
        assert result is not tl
    assert all(a is b for a, b in zip(tl.select(1, "?"), items))


def test_alternatives(abc):
    assert abc.select([1, 2]) == abc
    assert abc.select([1, 9]) == [(1, 2, "a")]
    assert abc.select([8, 9]) == []
    assert abc.select((1, 1)) == [(1, 2, "a")]  # repeated alternatives give each item once
    # beside another constrained position, alternatives still mean "any of these"
    # (with two items the cost rule stops merging and checks the candidates one by one)
    assert abc.select([1, 2], 2) == abc
    assert abc.select([1, 2], 2, ["b", "c"]) == [(2, 2, "b")]
    assert abc.select((2,), "*", ("a", "b")) == [(2, 2, "b")]


def test_many_alternatives_give_each_item_once_in_list_order():
    items = [(i % 7, i % 5, i) for i in range(300)]
    tl = tuplelist(items)
    first = [3, 1, 6, 1, 99, 3]
    assert tl.select(first) == [t for t in items if t[0] in first]
    assert tl.select("*", (4, 0, 4)) == [t for t in items if t[1] in (4, 0)]
    assert tl.select(first, [4, 0], "*") == [t for t in items if t[0] in first and t[1] in (4, 0)]
    assert tl.select([99, 98]) == [] and tl.select([2]) == [t for t in items if t[0] == 2]


def test_scalar_items():
    tl = tuplelist([1, 2, 3])
    assert tl.select(2) == [2]
    assert tl.select(2, 3) == []
    assert tl.select([1, 3]) == [1, 3]
    assert tl.select("*") == tl


def test_other_wildcard():
    tl = tuplelist([(1, "*"), (2, "x")], wildcard="?")
    assert tl.select("?", "*") == [(1, "*")]  # "*" is an ordinary value here
    assert tl.select(2, "?") == [(2, "x")]
    tl.wildcard_ = None  # None then matches anything
    assert tl.select(None, "x") == [(2, "x")]


def test_empty_list_answers_every_query():
    tl = tuplelist()
    assert tl.select() == [] and tl.select(1, 2) == []
    assert (None in tl) is False and ((1,) in tl) is False
    assert tl.tuple_index_ is None


def test_index_contents():
    tl = tuplelist([(1, "a"), (2, "b"), (1, "b")])
    tl.select(1)
    assert tl.tuple_index_ == [{1: [0, 2], 2: [1]}, {"a": [0], "b": [1, 2]}]
    assert tl.tuple_index_ is tl.tuple_index_
    tl.tuple_index_[0][1].remove(2)              # the index read from Python is the one queries use
    assert tl.select(1, "b") == [] and tl.select(1) == [(1, "a")]
    scalars = tuplelist(["x", "y", "x"])
    scalars.select("x")
    assert scalars.tuple_index_ == [{"x": [0, 2], "y": [1]}]


def test_unhashable_values():
    tl = tuplelist([([1], 2)])
    with pytest.raises(TypeError, match="unhashable"):
        tl.select(1)
    assert tl.tuple_index_ is None
    tl = tuplelist([(1, 2)])
    with pytest.raises(TypeError, match="unhashable"):
        tl.select({})
    with pytest.raises(TypeError, match="unhashable"):
        tl.select([{}])


def test_contains():
    tl = tuplelist([(1, 2, "a"), (2, 2, "b")])
    assert (1, 2, "a") in tl and (2,) in tl and ("*", 2) in tl
    assert (1, 2, "b") not in tl and (1, 2, "a", 0) not in tl
    assert (2,) in tuplelist([1, 2, 3])
    with pytest.raises(TypeError, match="^Expected tuple, got int$"):
        2 in tuplelist([1, 2, 3])
    with pytest.raises(TypeError, match="^Expected tuple, got list$"):
        [1, 2, "a"] in tl
    with pytest.raises(TypeError, match="object of type 'NoneType' has no len()"):
        None in tl


def test_queries_after_each_kind_of_change_see_current_items():
    tl = tuplelist([(k % 3, k % 5) for k in range(30)])
    assert tl.select(1, 1) == brute_force(list(tl), (1, 1))
    steps = [
        lambda: tl.append((1, 1)),
        lambda: tl.insert(0, (1, 4)),
        lambda: tl.__setitem__(3, (1, 1)),
        lambda: tl.extend([(1, 1), (2, 2)]),
        lambda: tl.sort(),
        lambda: tl.reverse(),
        lambda: tl.remove((1, 1)),
        lambda: tl.pop(4),
        lambda: tl.__delitem__(slice(0, 5)),
        lambda: tl.clean(),
    ]
    for step in steps:
        step()
        for query in [(1, 1), (1,), ("*", 4), ([0, 1], [1, 4])]:
            assert tl.select(*query) == brute_force(list(tl), query)


@pytest.mark.parametrize("seed", range(6))
def test_random_queries_match_a_field_by_field_check(seed):
    # Domains of very different sizes, so that the merges run to the end for
    # some queries and stop early (leaving candidates to check) for others.
    rng = random.Random(seed)
    domains = [rng.choice([2, 5, 40, 300]) for _ in range(3)]
    items = [tuple(rng.randrange(d) for d in domains) for _ in range(600)]
    tl = tuplelist(items)

    def value(d):
        roll = rng.random()
        if roll < 0.3:
            return "*"
        if roll < 0.5:
            return [rng.randrange(d + 1) for _ in range(rng.randrange(1, 4))]
        return rng.randrange(d + 1)

    for _ in range(150):
        query = tuple(value(d) for d in domains[:rng.randrange(1, 4)])
        assert tl.select(*query) == brute_force(items, query), query
        assert (query in tl) == bool(brute_force(items, query))


def test_many_constrained_positions():
    items = [(a, b, c, d) for a in range(4) for b in range(4) for c in range(4) for d in range(4)]
    tl = tuplelist(items)
    for query in [(1, 2, 3, 0), (1, "*", 3, 0), ([0, 3], 2, [1, 2], "*"), (3, 3, 3, [3, 0])]:
        assert tl.select(*query) == brute_force(items, query)


# --- an index written from Python is trusted, but read with care -------------------


def test_foreign_index_is_used_as_given():
    tl = tuplelist([(1, 2), (3, 4)])
    tl.tuple_index_ = [{1: [1]}, {}]
    assert tl.select(1) == [(3, 4)]


@pytest.mark.parametrize("index, error", [
    ([], IndexError),
    ([5, {}], TypeError),
    ([{1: (0,)}, {}], TypeError),
    ([{1: ["x"]}, {}], TypeError),
    ([{1: [7]}, {}], IndexError),
    ([{1: [-1]}, {}], IndexError),
])
def test_broken_foreign_index_raises(index, error):
    tl = tuplelist([(1, 2), (3, 4)])
    tl.tuple_index_ = index
    with pytest.raises(error):
        tl.select(1)


def test_broken_foreign_index_in_merges():
    tl = tuplelist([(1, 2), (1, 2), (3, 4)])
    tl.tuple_index_ = [{1: [0, "x"]}, {2: [0, 1]}]
    with pytest.raises(TypeError):
        tl.select(1, 2)


# --- user code run during a query ---------------------------------------------------


class Meddler:
    """A field value whose hash, or whose n-th comparison, changes the list being queried."""

    def __init__(self, value, on_hash=None, on_eq=None, eq_calls=1):
        self.value, self.on_hash, self.on_eq, self.eq_calls = value, on_hash, on_eq, eq_calls

    def __hash__(self):
        if self.on_hash:
            action, self.on_hash = self.on_hash, None
            action()
        return hash(self.value)

    def __eq__(self, other):
        self.eq_calls -= 1
        if self.on_eq and self.eq_calls == 0:
            action, self.on_eq = self.on_eq, None
            action()
        return self.value == getattr(other, "value", other)


def test_change_during_index_build_is_not_installed():
    tl = tuplelist()
    tl.append((Meddler(1, on_hash=lambda: tl.append((Meddler(2), 0))), 0))
    tl.append((Meddler(3), 0))
    tl.select(1)
    assert tl.tuple_index_ is None  # built over items that changed meanwhile
    assert len(tl) == 3
    assert [t[0].value for t in tl.select("*", 0)] == [1, 3, 2]
    assert tl.tuple_index_ is not None


def test_list_emptied_during_query_raises_instead_of_reading_freed_items():
    tl = tuplelist()
    # the first comparison is the index look-up of 2, the second the check of
    # the candidate: two constrained positions and too few items for merging
    tl.append((1, Meddler(2, on_eq=lambda: tl.clear(), eq_calls=2)))
    tl.append((1, Meddler(5)))
    with pytest.raises(IndexError):
        tl.select(1, 2)


def test_list_emptied_during_index_look_up_gives_an_empty_answer():
    tl = tuplelist()
    tl.append((1, Meddler(2, on_eq=lambda: tl.clear())))
    tl.append((1, Meddler(5)))
    assert tl.select(1, 2) == []


def test_items_widened_in_place_after_a_query_raise_instead_of_reading_past_the_index():
    tl = tuplelist([[1, 2], [3, 4]])
    assert tl.select(1) == [[1, 2]]
    for item in tl:
        item.append(9)                      # list items changed in place: the index is kept
    with pytest.raises(IndexError):
        tl.select(1, 2, 9)
