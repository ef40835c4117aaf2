"""The attribute layer through Model.getAttr/setAttr and handle attributes:
batches, value types, names, and the refusals."""
import numpy as np
import pytest

import velmorpy
from velmorpy import Constr, Model, Var, VelmorError


@pytest.fixture
def m():
    model = Model("m1")
    yield model
    model.dispose()


@pytest.fixture
def xyz(m):
    return m.addVar(lb=1, ub=4, name="x"), m.addVar(name="y", vtype="I"), m.addVar(name="z")


def test_first_contact():
    m = Model("m1")
    x = m.addVar(name="x")
    x.ub = 3
    assert (x.UB, x.getAttr("varname"), str(x), m.getAttr("NumVars"), m.getAttr("VType", [x]), m.ModelName) == \
        (3.0, "x", "<Var x>", 1, [b"C"], "m1")
    assert type(x.UB) is np.float64 and type(m.getAttr("NumVars")) is np.int32


def test_batch_reads_in_the_order_of_the_items(m, xyz):
    x, y, z = xyz
    assert m.getAttr("LB", [x, y, z]) == [1.0, 0.0, 0.0]
    assert m.getAttr("LB", (z, x)) == [0.0, 1.0]
    assert m.getAttr("LB", np.array([y, x], dtype=object)) == [0.0, 1.0]
    assert m.getAttr("VarName", [x, y, x, z]) == ["x", "y", "x", "z"]
    assert m.getAttr("IsInteger", [x, y]) == [0, 1]
    assert all(type(v) is int for v in m.getAttr("IsInteger", [x, y]))
    assert m.getAttr("VType", [y, x]) == [b"I", b"C"]
    assert type(m.getAttr("UB", y)) is np.float64 and m.getAttr("VType", y) == b"I"


def test_batch_writes_lists_and_arrays(m, xyz):
    x, y, z = xyz
    m.setAttr("UB", [x, y, z], [5, 6.5, np.float64(7)])
    assert m.getAttr("UB", [x, y, z]) == [5.0, 6.5, 7.0]
    m.setAttr("LB", [x, y, z], np.array([[0.5, 1.5, 2.5]]))     # a nested value gives its leaves in row-major order
    assert m.getAttr("LB", [x, y, z]) == [0.5, 1.5, 2.5]
    m.setAttr("VarName", (x, y), ["a", "\u00e9t\u00e9"])
    assert m.getAttr("VarName", [x, y]) == ["a", "\u00e9t\u00e9"]
    m.setAttr("VType", [x, y, z], ["B", b"I", "C"])
    assert m.getAttr("VType", [x, y, z]) == [b"B", b"I", b"C"]
    caller = np.array([8.0, 9.0, 10.0])[::-1]                   # a view, not contiguous in the order read
    m.setAttr("UB", [x, y, z], caller)
    assert m.getAttr("UB", [x, y, z]) == [10.0, 9.0, 8.0] and caller.tolist() == [10.0, 9.0, 8.0]


def test_float64_arrays_are_read_as_they_lie(m, xyz):
    x, y, z = xyz
    items = [x, y, z]
    unaligned = np.frombuffer(b"\0" + np.array([0.0, 2.0, 4.0]).tobytes(), dtype="f8", offset=1)
    for values in (np.arange(6.0)[::2], np.array([0.0, 2.0, 4.0], dtype=">f8"), unaligned):
        m.setAttr("UB", items, np.zeros(3))
        m.setAttr("UB", items, values)
        assert m.getAttr("UB", items) == [0.0, 2.0, 4.0], values
    w = m.addVar()
    m.setAttr("UB", items + [w], np.asfortranarray([[1.0, 2.0], [3.0, 4.0]]))   # row-major, whatever the storage
    assert m.getAttr("UB", items + [w]) == [1.0, 2.0, 3.0, 4.0]
    for wrong in (np.zeros(2), np.zeros((2, 2))):
        with pytest.raises(ValueError, match=rf"^the number of values \({wrong.size}\) differs from the number of "
                                             r"objects \(3\)$"):
            m.setAttr("UB", items, wrong)
    with pytest.raises(VelmorError):   # a masked value reads as None, which NumPy makes NaN: the library refuses it
        m.setAttr("UB", items, np.ma.masked_array([1.0, 2.0, 3.0], mask=[0, 1, 0]))
    assert m.getAttr("UB", items) == [1.0, 2.0, 3.0]
    m.setAttr("VType", items, np.array(["B", "I", "C"]))          # other arrays keep the general path
    assert m.getAttr("VType", items) == [b"B", b"I", b"C"]
    m.setAttr("UB", items, np.array([1, 2, 3]))
    assert m.getAttr("UB", items) == [1.0, 2.0, 3.0]


def test_model_level_values(m):
    m.setAttr("ObjCon", 3.5)
    assert m.ObjCon == 3.5 and m.objconst == 3.5 and m.getAttr("OBJCONST") == 3.5
    m.setAttr("ObjCon", [4.5])                                   # one element is one value
    assert m.ObjConst == 4.5
    m.objcon = np.array(5.5)
    assert m.getAttr("ObjCon") == 5.5
    m.ModelName = "renamed"
    assert m.modelname == "renamed" and m.getAttr("ProbName") == "renamed"
    m.setAttr("ModelSense", -1)
    assert m.ModelSense == -1 and m.MinSense == 0
    with pytest.raises(ValueError, match=r"^the number of values \(2\) differs from the number of objects \(1\)$"):
        m.setAttr("ObjCon", [1.0, 2.0])
    with pytest.raises(ValueError, match=r"^the number of values \(0\) differs from the number of objects \(1\)$"):
        m.setAttr("ObjCon", [])
    assert m.ObjCon == 5.5


def test_names_any_case_either_separator_and_aliases(m, xyz):
    x = xyz[0]
    assert x.varname == x.VarName == x.VARNAME == x.getAttr("ColName") == x.colname == "x"
    assert m.getAttr("NumConstrs") == m.getAttr("NumConss") == m.numconss == 0
    assert m.getAttr("numnzs") == m.NumEnts == 0
    x.colname = "renamed"
    assert x.VarName == "renamed"
    with pytest.raises(VelmorError) as e:                       # a known name the model has no statistics for
        m.getAttr("Spx_NumIters")
    assert e.value.errno != -3


@pytest.mark.parametrize("read, name", [
    (lambda m, x: m.getAttr("spx.numiters"), "spx.numiters"),
    (lambda m, x: x.getAttr("Var Name"), "Var Name"),
    (lambda m, x: m.getAttr(" X", [x]), " X"),
    (lambda m, x: m.getAttr("", [x]), ""),
    (lambda m, x: m.getAttr("MIP/SolutionNumber"), "MIP/SolutionNumber"),     # a parameter, not an attribute
    (lambda m, x: x.noSuchThing, "noSuchThing"),
    (lambda m, x: setattr(x, "noSuchThing", 1), "noSuchThing"),
])
def test_unknown_name_is_reported_as_written(m, xyz, read, name):
    with pytest.raises(AttributeError) as e:
        read(m, xyz[0])
    assert str(e.value) == f"Attribute `{name}` does not exist"


def test_kind_mismatches_read_as_missing_attributes(m, xyz):
    x = xyz[0]
    cases = [
        (lambda: m.getAttr("X"), "X"),
        (lambda: m.lb, "lb"),
        (lambda: x.ObjVal, "ObjVal"),
        (lambda: x.getAttr("numvars"), "numvars"),
        (lambda: m.getAttr("VType"), "VType"),                  # char attributes exist only for items
        (lambda: m.setAttr("VType", "B"), "VType"),
        (lambda: m.setAttr("NumVars", [x], [1]), "NumVars"),
        (lambda: setattr(x, "ObjCon", 1.0), "ObjCon"),
        (lambda: setattr(m, "UB", 1.0), "UB"),
        (lambda: m.getAttr("VarName", [velmorpy.Constr()]), "VarName"),
    ]
    for call, name in cases:
        with pytest.raises(AttributeError) as e:
            call()
        assert str(e.value) == f"Attribute `{name}` does not exist"


def test_value_refusals_write_nothing(m, xyz):
    x, y, z = xyz
    before = m.getAttr("UB", [x, y, z])
    refusals = [
        (ValueError, r"^the number of values \(2\) differs from the number of objects \(3\)$",
         lambda: m.setAttr("UB", [x, y, z], [1.0, 2.0])),
        (ValueError, r"^the number of values \(4\) differs from the number of objects \(3\)$",
         lambda: m.setAttr("UB", [x, y, z], [[1.0, 2.0], [3.0, 4.0]])),
        (ValueError, r"^could not convert string to float: 'a'$", lambda: m.setAttr("UB", [x, y, z], [1.0, 2.0, "a"])),
    ]
    for exc, text, call in refusals:
        with pytest.raises(exc, match=text):
            call()
    assert m.getAttr("UB", [x, y, z]) == before
    with pytest.raises(ValueError, match=r"^Expect a single character, got 'BI'$"):
        m.setAttr("VType", [x, y], ["B", "BI"])
    for bad in ["", 5, "\u00e9", b"ab"]:
        with pytest.raises(ValueError, match=r"^Expect a single character, got "):
            m.setAttr("VType", [x], [bad])
    assert m.getAttr("VType", [x, y]) == [b"C", b"I"]
    with pytest.raises(TypeError, match="^encoding without a string argument$"):
        m.setAttr("VarName", [x, y], ["ok", 5])
    with pytest.raises(ValueError, match="^embedded null character$"):
        x.VarName = "a\0b"
    assert m.getAttr("VarName", [x, y]) == ["x", "y"]


def test_numeric_values_take_numpys_conversion(m, xyz):
    x, y, z = xyz
    m.setAttr("ObjCon", "2.5")
    x.ub = "3"
    m.setAttr("LB", [y, z], ["-1.5", 2])
    assert (m.ObjCon, x.UB, m.getAttr("LB", [y, z])) == (2.5, 3.0, [-1.5, 2.0])
    m.setAttr("UB", [x, y, z], [["4"], [b"5"], [6]])             # nested: row-major, as NumPy reads it
    m.ModelSense = "-1"
    assert m.getAttr("UB", [x, y, z]) == [4.0, 5.0, 6.0] and m.ModelSense == -1
    with pytest.raises(ValueError, match=r"^could not convert string to float: 'abc'$"):
        m.setAttr("ObjCon", "abc")
    with pytest.raises(ValueError, match=r"^invalid literal for int\(\) with base 10: '1.5'$"):
        m.ModelSense = "1.5"
    for wide in (3e10, "3000000000", float("inf")):              # refused, not wrapped into 32 bits
        with pytest.raises(OverflowError):
            m.ModelSense = wide
    assert m.ObjCon == 2.5 and m.ModelSense == -1


def test_integers_beyond_32_bits_overflow(m):
    with pytest.raises(OverflowError):
        m.ModelSense = 2 ** 31
    with pytest.raises(OverflowError):
        m.setAttr("ModelSense", -2 ** 40)
    assert m.ModelSense == 1


def test_library_refusals_carry_its_code(m, xyz):
    x = xyz[0]
    with pytest.raises(VelmorError) as e:
        x.X                                                     # no solution yet
    assert e.value.errno == -3000
    with pytest.raises(VelmorError) as e:
        m.NumVars = 5                                           # read-only
    assert e.value.errno == -3
    with pytest.raises(VelmorError) as e:
        m.setAttr("LB", [x], [float("nan")])
    assert e.value.errno == -3


def test_items_must_be_handles_of_this_model_and_kind(m, xyz):
    x, y, _ = xyz
    other = Model()
    w = other.addVar(name="w")
    with pytest.raises(ValueError, match=r"^Argument `objs` holds an item of another model$"):
        m.getAttr("UB", [x, w])
    with pytest.raises(ValueError, match=r"^Argument `objs` holds an item of another model$"):
        m.setAttr("UB", [x, w], [1.0, 2.0])
    with pytest.raises(ValueError, match=r"^Argument `objs` holds an item of another model$"):
        m.getAttr("UB", w)
    with pytest.raises(ValueError, match=r"^Argument `objs` holds an item of another model$"):
        m.getAttr("UB", [Var()])
    assert w.UB == 1e20 and m.getAttr("UB", [x, y]) == [4.0, 1e20]
    with pytest.raises(TypeError, match=r"^Cannot convert velmorpy.Constr to velmorpy.Var$"):
        m.getAttr("UB", [x, Constr()])
    with pytest.raises(TypeError, match=r"^Cannot convert int to velmorpy.Var$"):
        m.setAttr("UB", [x, 5], [1.0, 2.0])
    with pytest.raises(TypeError, match=r"^type int temporary not support$"):
        m.getAttr("UB", 5)
    with pytest.raises(TypeError, match=r"^type str temporary not support$"):
        m.getAttr("UB", ["x"])
    with pytest.raises(TypeError, match=r"^type ndarray temporary not support$"):
        m.getAttr("UB", np.array([[x, y]], dtype=object))
    other.dispose()


def test_empty_item_sequences(m, xyz):
    assert m.getAttr("UB", []) == [] and m.getAttr("NoSuchThing", ()) == []
    assert m.getAttr("UB", np.array([], dtype=object)) == []
    assert m.setAttr("UB", [], [1.0]) is None
    assert m.getAttr("UB", list(xyz)) == [4.0, 1e20, 1e20]


def test_attribute_names_must_be_str(m, xyz):
    x = xyz[0]
    for call, arg, got in [
        (lambda: m.getAttr(b"UB", x), "attrname", "bytes"),
        (lambda: m.getAttr(None), "attrname", "NoneType"),
        (lambda: m.setAttr(None, 1), "attrname", "NoneType"),
        (lambda: x.getAttr(b"VarName"), "attrname", "bytes"),
        (lambda: x.setAttr(None, 1), "attrname", "NoneType"),
    ]:
        with pytest.raises(TypeError) as e:
            call()
        assert str(e.value) == f"Argument '{arg}' has incorrect type (expected str, got {got})"
