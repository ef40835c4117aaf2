"""Column: construction, terms, positions, removal, copies and reference cycles.
Pairs of distinct constraints of a model are exercised in the embedded C++
tests, where constraints can be made."""
import gc
import weakref

import numpy as np
import pytest

from velmorpy import Column, Constr, Var, VelmorError


def test_construction():
    assert Column().size() == 0
    c0 = Constr()
    col = Column([1, 2], [c0, c0])
    assert col.size() == 2 and col.getCoeff(1) == 2.0 and type(col.getCoeff(1)) is float
    assert col.getConstr(1) is c0
    assert Column(3, c0).size() == 1 and Column(coeffs=(1.5,), constrs=[c0]).getCoeff(0) == 1.5
    for args, text in [((None, [c0]), "Argument `coeffs` cannot be None"),
                       (([1.0], None), "Argument `constrs` cannot be None")]:
        with pytest.raises(VelmorError) as e:
            Column(*args)
        assert (e.value.errno, e.value.message) == (-1, text)
    assert Column.__init__.__doc__.startswith("\n        SIGNATURE:\n            __init__(coeffs=None, constrs=None)")


def test_addTerms():
    c = Constr()
    col = Column()
    col.addTerms(1, c)
    col.addTerms("2.5", c)                                      # float() of the coefficient
    col.addTerms(np.array([3.0, 4.0]), [c, c])
    col.addTerms([5, 6, 7], [c, c, c, c])                        # extra constraints are ignored
    assert [col.getCoeff(i) for i in range(col.size())] == [1.0, 2.5, 3.0, 4.0, 5.0, 6.0, 7.0]
    with pytest.raises(VelmorError, match="^Expect a constr$"):
        col.addTerms(1, [c])
    with pytest.raises(VelmorError, match="^Expect a constr$"):
        col.addTerms(1, Var())
    with pytest.raises(ValueError):
        col.addTerms("x", c)
    assert col.size() == 7


def test_failing_addTerms_keeps_the_lists_parallel():
    c = Constr()
    col = Column()
    with pytest.raises(VelmorError, match="^Expect a list of constr$"):
        col.addTerms([1, 2, 3], [c, "not a constr", c])
    assert col.size() == 1 and col.getConstr(-1) is c
    with pytest.raises(IndexError):
        col.addTerms([1, 2], [c])                               # the second constraint is missing
    with pytest.raises(ValueError):
        col.addTerms([1, "x"], [c, c])
    assert col.size() == 3
    assert [col.getConstr(i) for i in range(3)] == [c, c, c]    # every coefficient has its constraint


def test_positions():
    c = Constr()
    col = Column([1, 2, 3], [c, c, c])
    assert col.getCoeff(-1) == 3.0 and col.getCoeff(i=-3) == 1.0 and col.getConstr(-1) is c
    for bad in [3, -4, 10 ** 6]:
        with pytest.raises(IndexError, match="^Column index out of range$"):
            col.getCoeff(bad)
        with pytest.raises(IndexError, match="^Column index out of range$"):
            col.getConstr(bad)
    with pytest.raises(OverflowError):
        col.getCoeff(2 ** 40)
    with pytest.raises(TypeError, match=r"^getCoeff\(\) got an unexpected keyword argument 'index'$"):
        col.getCoeff(index=0)
    with pytest.raises(IndexError):
        Column().getCoeff(0)


def test_remove_and_clear():
    c = Constr()
    col = Column([1, 2, 3], [c, c, c])
    col.remove(0)
    assert [col.getCoeff(i) for i in range(col.size())] == [2.0, 3.0]
    col.remove(-1)
    assert col.size() == 1 and col.getCoeff(0) == 2.0
    with pytest.raises(IndexError):
        col.remove(5)
    with pytest.raises(TypeError, match=r"^Argument `item` should be an integer or constr$"):
        col.remove(1.5)
    col.remove(Constr())                                        # unbound constraints are all the same item
    assert col.size() == 0
    col = Column([1, 2], [c, c])
    col.clear()
    assert col.size() == 0


def test_copy_is_independent():
    c = Constr()
    col = Column([1, 2], [c, c])
    dup = col.copy()
    assert type(dup) is Column and dup.size() == 2 and dup.getConstr(0) is c
    dup.addTerms(3, c)
    col.remove(0)
    assert (col.size(), dup.size()) == (1, 3) and dup.getCoeff(0) == 1.0


def test_unconstructed_column_fails_as_the_interpreter_would():
    col = Column.__new__(Column)
    with pytest.raises(TypeError, match="has no len"):
        col.size()
    with pytest.raises(TypeError, match="has no len"):
        col.getCoeff(0)
    with pytest.raises(AttributeError, match="'NoneType' object has no attribute 'append'"):
        col.addTerms(1, Constr())
    assert col.copy().size() == 0


def test_cycle_through_the_constraint_list_is_collected():
    class MyConstr(Constr):
        pass

    def build():
        c = MyConstr()
        col = Column(1, c)
        c.__dict__["column"] = col
        return weakref.ref(c)

    gc.collect()
    ref = build()
    gc.collect()
    assert ref() is None


def test_documented_members():
    assert Column.__getmetaclass__(None).__dir__(None) == [
        "addTerms", "copy", "getCoeff", "getConstr", "size", "clear", "remove"]
