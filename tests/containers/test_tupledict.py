"""tupledict: wildcard key queries, the key list's life, sum and prod."""
import collections
import operator

import pytest

import velmorpy
from velmorpy import tupledict

MIX = b"Cannot mix scalar and tuple values in a tuplelist"
LENGTH = b"All tuples in a tuplelist must be the same length"


@pytest.fixture
def td():
    return tupledict([((1, 2), 3), ((2, 2), 4)])


@pytest.fixture
def v():
    """Four variables named v0 .. v3 of one model."""
    m = velmorpy.Model()
    yield [m.addVar(name="v%d" % i) for i in range(4)]
    m.dispose()


def terms(e):
    """The terms and constant of a LinExpr, variables by name."""
    assert type(e) is velmorpy.LinExpr
    return [(e.getCoeff(i), e.getVar(i).VarName) for i in range(e.size())], e.getConstant()


def test_select(td):
    assert td.select(1) == [3]
    assert td.select("*", 2) == [3, 4]
    assert td.select() == [3, 4]
    assert td.select(3) == []
    assert td.select([1, 2], 2) == [3, 4]
    assert type(td.select(1)) is list


def test_select_with_scalar_keys():
    td = tupledict(a=1, b=2)
    assert td.select("a") == [1] and td.select("*") == [1, 2] and td.select("c") == []


def test_it_is_a_dict():
    td = tupledict({(1, 2): 3}, x=4)
    assert isinstance(td, dict) and td == {(1, 2): 3, "x": 4}
    assert type(td.copy()) is dict
    assert repr(tupledict({1: 2})) == "{1: 2}"
    with pytest.raises(TypeError, match="dict expected at most 1 argument"):
        tupledict({}, {})


# --- the key list is dropped by every change ------------------------------------------

CHANGES = {
    "setitem": lambda td: operator.setitem(td, (9, 9), 0),
    "delitem": lambda td: operator.delitem(td, (1, 2)),
    "clear": lambda td: td.clear(),
    "pop": lambda td: td.pop((1, 2)),
    "pop-keyword": lambda td: td.pop(key=(1, 2)),
    "popitem": lambda td: td.popitem(),
    "update": lambda td: td.update({(9, 9): 0}),
    "update-pairs": lambda td: td.update([((9, 9), 0)]),
    "setdefault-new": lambda td: td.setdefault((9, 9)),
    "setdefault-existing": lambda td: td.setdefault(key=(1, 2), default=0),
    "ior": lambda td: operator.ior(td, {(9, 9): 0}),
    "init": lambda td: td.__init__({(9, 9): 0}),
    "clean": lambda td: td.clean(),
}


@pytest.mark.parametrize("change", CHANGES.values(), ids=list(CHANGES))
def test_every_change_drops_the_key_list(td, change):
    assert td.select() == [3, 4]  # makes the key list
    # Stored past the overrides, this key stays unknown to the key list until it is dropped.
    dict.__setitem__(td, (5, 5), 5)
    assert 5 not in td.select()
    change(td)
    assert td.select() == list(td.values())


def test_queries_follow_assignments(td):
    td[(3, 2)] = 5
    assert td.select("*", 2) == [3, 4, 5]
    del td[(1, 2)]
    assert td.select("*", 2) == [4, 5]
    td |= {(7, 2): 6}
    assert td.select("*", 2) == [4, 5, 6]


def test_mutators_return_what_dict_returns(td):
    assert td.setdefault((1, 2), 99) == 3 and td[(1, 2)] == 3
    assert td.setdefault((5, 5)) is None
    assert td.pop((5, 5)) is None
    assert td.popitem() == ((2, 2), 4)
    assert td.update(k=1) is None
    assert td.clear() is None and td == {}
    same = td
    td |= {1: 2}
    assert td is same and td == {1: 2}


def test_mutator_errors():
    td = tupledict({1: 2})
    with pytest.raises(TypeError, match=r"^pop\(\) takes exactly 1 positional argument \(2 given\)$"):
        td.pop(1, None)
    with pytest.raises(KeyError):
        td.pop(5)
    with pytest.raises(KeyError):
        tupledict().popitem()
    with pytest.raises(TypeError, match="update expected at most 1 argument"):
        td.update({}, {})
    for name in ("clear", "popitem", "clean", "select", "sum"):
        with pytest.raises(TypeError, match="keyword argument"):
            getattr(td, name)(x=1)
    assert td == {1: 2}


def test_keys_that_do_not_fit_fail_at_the_first_query():
    td = tupledict({1: "a", (1, 2): "b"})
    with pytest.raises(ValueError) as exc:
        td.select(1)
    assert exc.value.args == (MIX,)
    del td[1]
    td[(1, 2, 3)] = "c"
    with pytest.raises(ValueError) as exc:
        td.select(1)
    assert exc.value.args == (LENGTH,)
    del td[(1, 2, 3)]
    assert td.select(1) == ["b"]


def test_subclass_lookups_take_part():
    class Defaulting(tupledict):
        def __missing__(self, key):
            return "missing"

    td = Defaulting({(1, 1): "a"})
    td.select()
    dict.__delitem__(td, (1, 1))  # the key list still has the key
    assert td.select(1) == ["missing"]


# --- sum and prod ------------------------------------------------------------------------


def test_sum_is_quicksum_of_the_selected_values(v):
    x = tupledict({(1, 2): v[0], (2, 2): v[1], (2, 3): v[2]})
    assert terms(x.sum("*", 2)) == ([(1.0, "v0"), (1.0, "v1")], 0.0)
    assert terms(x.sum(2)) == ([(1.0, "v1"), (1.0, "v2")], 0.0)
    assert terms(tupledict().sum()) == ([], 0.0)
    assert terms(tupledict({1: 2, 2: 2.5}).sum()) == ([], 4.5)
    q = tupledict({1: v[0] * v[1], 2: v[2]}).sum()
    assert type(q) is velmorpy.QuadExpr and q.size() == 1
    with pytest.raises(TypeError, match="^bad type for quicksum: str$"):
        tupledict({1: "a"}).sum()


def test_sum_looks_quicksum_up_by_name(td, monkeypatch):
    monkeypatch.setattr(velmorpy, "quicksum", lambda li: ("quicksum", li))
    assert td.sum("*", 2) == ("quicksum", [3, 4])


def test_sum_uses_a_subclass_select(v):
    class Doubled(tupledict):
        def select(self, *query):
            return [2 * x for x in super().select(*query)]

    assert terms(Doubled({1: v[0]}).sum()) == ([(2.0, "v0")], 0.0)


def test_prod_without_query_follows_the_coefficients(v):
    x = tupledict({(1, 1): v[0], (1, 2): v[1], (1, 3): v[2]})
    assert terms(x.prod({(1, 2): 2, (9, 9): 5, (1, 1): 1})) == ([(2.0, "v1"), (1.0, "v0")], 0.0)
    assert terms(x.prod(collections.OrderedDict([((1, 3), 3)]))) == ([(3.0, "v2")], 0.0)
    assert terms(x.prod(coeffs={})) == ([], 0.0)


def test_prod_with_query_follows_the_keys(v):
    x = tupledict({(1, 1): v[0], (1, 2): v[1], (1, 3): v[2]})
    coeffs = {(1, 2): 2, (9, 9): 5, (1, 1): 1}
    assert terms(x.prod(coeffs, 1, "*")) == ([(1.0, "v0"), (2.0, "v1")], 0.0)
    assert terms(x.prod(coeffs, "*", 3)) == ([], 0.0)


def test_prod_puts_the_coefficient_on_the_left():
    calls = []

    class Coeff:
        def __mul__(self, other):
            calls.append(("coeff-left", other))
            return 1.0

    class Value:
        def __rmul__(self, other):
            calls.append(("value-right", other))
            return 1.0

    value, coeff = Value(), Coeff()
    assert terms(tupledict({1: value}).prod({1: coeff})) == ([], 1.0)
    tupledict({1: value}).prod({1: coeff}, "*")
    assert calls == [("coeff-left", value), ("coeff-left", value)]


def test_prod_of_numbers_and_variables_is_the_sum_of_the_products(v):
    x = tupledict({k: v[k] for k in range(4)})
    coeffs = {3: 3, 0: 0, 1: -1, 2: 2.5, 5: 7}
    assert terms(x.prod(coeffs)) == terms(velmorpy.quicksum(c * x[k] for k, c in coeffs.items() if k in x))
    assert terms(x.prod(coeffs)) == ([(3.0, "v3"), (-1.0, "v1"), (2.5, "v2")], 0.0)
    with pytest.raises(OverflowError):
        x.prod({0: 10 ** 400})


def test_prod_looks_quicksum_up_by_name(v, monkeypatch):
    x = tupledict({1: v[0], 2: v[1]})
    monkeypatch.setattr(velmorpy, "quicksum", lambda li: ("quicksum", [terms(t) for t in li]))
    assert x.prod({1: 2, 2: 0.0}) == ("quicksum", [([(2.0, "v0")], 0.0), ([], 0.0)])
    assert x.prod({2: 3}, "*") == ("quicksum", [([(3.0, "v1")], 0.0)])


def test_prod_skips_none(v):
    x = tupledict({1: None, 2: v[3]})
    assert terms(x.prod({1: 3, 2: 4})) == ([(4.0, "v3")], 0.0)
    assert terms(x.prod({1: None, 2: None}, "*")) == ([], 0.0)


def test_prod_honours_a_coefficient_subclass_get(v):
    class One(dict):
        def get(self, key, default=None):
            return super().get(key, 1)

    x = tupledict({(1, 1): v[0], (1, 2): v[1]})
    assert terms(x.prod(One({(1, 2): 3}), 1, "*")) == ([(1.0, "v0"), (3.0, "v1")], 0.0)


def test_prod_errors():
    x = tupledict({1: 2})
    for bad in ([1, 2], None, [(1, 2)], 3):
        with pytest.raises(TypeError, match="^expect a dict for argument `coeffs`$"):
            x.prod(bad)

    class Pairs(dict):
        def __init__(self, items):
            super().__init__()
            self.pairs = items

        def items(self):
            return self.pairs

    with pytest.raises(ValueError, match=r"^too many values to unpack \(expected 2\)$"):
        x.prod(Pairs([(1, 2, 3)]))
    with pytest.raises(ValueError, match="^need more than 1 value to unpack$"):
        x.prod(Pairs([[1]]))
    with pytest.raises(ValueError, match="^need more than 0 values to unpack$"):
        x.prod(Pairs([()]))
    with pytest.raises(TypeError, match="not iterable"):
        x.prod(Pairs([5]))


def test_prod_refuses_coefficients_that_change_size():
    coeffs = {}

    class Growing:
        def __mul__(self, other):
            coeffs[len(coeffs) + 10] = Growing()
            return other

    coeffs.update({1: Growing(), 2: Growing()})
    with pytest.raises(RuntimeError, match="^dictionary changed size during iteration$"):
        tupledict({1: 1, 2: 2}).prod(coeffs)


# --- class namespace ---------------------------------------------------------------------


def test_namespace():
    assert issubclass(tupledict, dict)
    assert tupledict.setdefault.__defaults__ == (None,)
    assert tupledict.pop.__defaults__ is None
    assert tupledict.prod.__qualname__ == "tupledict.prod"
    assert tupledict.__init__.__doc__.startswith("\n    SIGNATURE:\n        __init__(*args, **kwargs)\n")
    for name, signature in (("select", "select(*query)"), ("sum", "sum(*query=[])"),
                            ("prod", "prod(coeffs, *query=[])"), ("clean", "clean()")):
        assert signature in getattr(tupledict, name).__doc__
    listing = tupledict().__getmetaclass__().__dir__(None)
    assert [n for n in listing if not n.startswith("__")] == ["select", "sum", "prod", "clean"]
