"""multidict: a dict of data split into keys and per-position tupledicts."""
import inspect

import pytest

import velmorpy
from velmorpy import multidict, tupledict, tuplelist


def check_result(result, keys, *dicts):
    assert type(result) is list
    assert type(result[0]) is tuplelist and result[0] == keys and result[0].wildcard_ == "*"
    assert len(result) == 1 + len(dicts)
    for made, expected in zip(result[1:], dicts):
        assert type(made) is tupledict and made == expected


def test_sequence_values_give_one_tupledict_per_position():
    check_result(multidict({"k1": [1, 2], "k2": [1, 3], "k3": [1, 4]}),
                 ["k1", "k2", "k3"], {"k1": 1, "k2": 1, "k3": 1}, {"k1": 2, "k2": 3, "k3": 4})
    keys, cost, capacity = multidict({"x": [1, 2], "y": (3, 4)})
    assert cost == {"x": 1, "y": 3} and capacity == {"x": 2, "y": 4}


def test_scalar_values_give_one_tupledict():
    check_result(multidict({"a": 1, "b": 2}), ["a", "b"], {"a": 1, "b": 2})
    # one scalar value makes every value whole
    check_result(multidict({"a": 1, "b": [2, 3]}), ["a", "b"], {"a": 1, "b": [2, 3]})
    check_result(multidict({"a": [2, 3], "b": "text"}), ["a", "b"], {"a": [2, 3], "b": "text"})


def test_the_shortest_value_decides_the_count():
    check_result(multidict({"a": [1, 2, 3], "b": [4, 5]}), ["a", "b"], {"a": 1, "b": 4}, {"a": 2, "b": 5})
    check_result(multidict({"a": [1], "b": (2,)}), ["a", "b"], {"a": 1, "b": 2})


def test_empty_dict():
    check_result(multidict({}), [], {})


def test_tuple_keys_can_be_queried():
    keys, value = multidict(d={(1, 2): 5, (1, 3): 7, (2, 3): 9})
    assert keys.select(1, "*") == [(1, 2), (1, 3)]
    assert value.select("*", 3) == [7, 9]


def test_errors():
    with pytest.raises(TypeError, match=r"^Argument 'd' has incorrect type \(expected dict, got velmorpy.tupledict\)$"):
        multidict(tupledict())
    with pytest.raises(TypeError, match=r"\(expected dict, got list\)"):
        multidict([("a", 1)])
    with pytest.raises(AttributeError, match="^'NoneType' object has no attribute 'items'$"):
        multidict(None)
    with pytest.raises(ValueError) as exc:
        multidict({1: 1, (1, 2): 2})
    assert exc.value.args == (b"Cannot mix scalar and tuple values in a tuplelist",)
    with pytest.raises(ValueError) as exc:
        multidict({(1,): 1, (1, 2): 2})
    assert exc.value.args == (b"All tuples in a tuplelist must be the same length",)
    with pytest.raises(IndexError):
        multidict({"a": [1], "b": []})


def test_dict_changing_size_while_read():
    d = {}

    class Growing(list):
        def __len__(self):
            d[len(d) + 100] = 0
            return list.__len__(self)

    d.update(a=Growing([1, 2]), b=Growing([3, 4]))
    with pytest.raises(RuntimeError, match="^dictionary changed size during iteration$"):
        multidict(d)


def test_namespace():
    assert str(inspect.signature(multidict)) == "(d)"
    assert multidict.__module__ == "velmorpy" and multidict.__qualname__ == "multidict"
    assert multidict.__defaults__ is None
    assert multidict.__doc__.startswith("\n    SIGNATURE:\n        multidict(d)\n")
    assert velmorpy.multidict is multidict
