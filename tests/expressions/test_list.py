"""List: copy-on-write sharing, indexing, in-place addition, refusals, cycles."""
import gc
import weakref

import pytest

import velmorpy
List = velmorpy.List


class Cell:
    pass


def items(lst):
    return [lst[i] for i in range(len(lst))]


def test_copies_never_see_each_others_appends():
    a = List(["x", "y"])
    b = a + ["z"]                          # a sharing copy that appends at the buffer's end
    assert items(a) == ["x", "y"] and items(b) == ["x", "y", "z"]
    a += ["w"]                             # a takes a private copy before its append
    assert items(a) == ["x", "y", "w"] and items(b) == ["x", "y", "z"]
    c = b + []
    del b
    c += ["v"]
    assert items(c) == ["x", "y", "z", "v"] and items(a) == ["x", "y", "w"]


def test_in_place_addition():
    empty = List()
    grown = empty
    grown += [1, 2]
    assert grown is not empty and len(empty) == 0 and items(grown) == [1, 2]
    same = grown
    same += List([3])
    assert same is grown and items(grown) == [1, 2, 3]
    grown += grown                          # the length is read once: the items double
    assert items(grown) == [1, 2, 3, 1, 2, 3]
    shared = List() + grown                 # an empty List += a List shares it
    assert items(shared) == items(grown)
    with pytest.raises(TypeError, match=r"^unsupport operation \+=: `List` and `tuple`$"):
        grown += (1,)
    with pytest.raises(TypeError):
        [1] + List([1])                     # only a left List adds


def test_indexing_and_text():
    lst = List([1.5, "a"])
    assert lst[1] == "a" and str(lst) == "[1.5, 'a']" and repr(lst) == "[1.5, 'a']"
    assert list(lst) == [1.5, "a"]
    for bad, error in [(-1, IndexError), (2, IndexError), (2 ** 31, OverflowError), ("0", TypeError)]:
        with pytest.raises(error):
            lst[bad]
    with pytest.raises(IndexError, match="^list index out of range$"):
        lst[-1]


def test_constructor_and_default():
    with pytest.raises(TypeError, match="^Expect a list$"):
        List((1, 2))
    lst = List([1])
    with pytest.raises(TypeError, match="^Expect a list$"):
        lst.__init__("ab")
    assert len(lst) == 0                    # the failed constructor left it empty
    assert len(List()) == 0 and len(List.__new__(List)) == 0
    assert isinstance(velmorpy.List(data=[1]), List)
    lst._make_append_safe()
    lst._make_update_safe()


def test_subclass_append_runs_its_make_append_safe():
    calls = []

    class Logged(List):
        def _make_append_safe(self):
            calls.append(len(self))
            return super()._make_append_safe()

    lst = Logged([1])
    lst += [2, 3]
    assert calls == [0, 1, 2] and items(lst) == [1, 2, 3]


def test_cycles_through_shared_buffers_are_collected(collected):
    def self_reference():
        c = Cell()
        lst = List([c])
        c.lst = lst
        return weakref.ref(c)

    def two_sharers():
        c = Cell()
        a = List([c])
        b = a + [c]                         # shares a's buffer, one item longer
        c.lists = (a, b)
        return weakref.ref(c)

    def list_in_itself():
        c = Cell()
        lst = List([c])
        lst += [lst]
        c.lst = lst
        return weakref.ref(c)

    assert collected(self_reference) and collected(two_sharers) and collected(list_in_itself)


def test_no_leaks(leaks):
    base = List(list(range(20)))

    def work():
        a = base + [1]
        a += a
        b = List() + a
        b += [2]
        str(b)

    assert not leaks(work)
