"""The vocabulary classes: attribute, parameter and callback names, error and status codes.

Everything is read through the public objects (VLM and the module globals)."""
import re

import pytest

import velmorpy
from velmorpy import VLM


def properties(cls):
    """(member name, property) in the order of the class's own dictionary."""
    return [(k, v) for k, v in vars(cls).items() if isinstance(v, property)]


def int_members(cls):
    return [(k, v) for k, v in vars(cls).items() if type(v) is int]


TABLE_CLASSES = ["AttrConstClass", "ParamConstClass", "ErrorConstClass", "StatusConstClass", "CallbackClass"]


@pytest.mark.parametrize("name", TABLE_CLASSES)
def test_table_classes_are_plain_classes_of_the_module(name):
    cls = getattr(velmorpy, name)
    assert type(cls) is type
    assert cls.__name__ == cls.__qualname__ == name
    assert cls.__module__ == "velmorpy"
    assert cls.__bases__ == (object,)
    assert cls.__doc__ is None


def test_table_instances():
    assert type(velmorpy.attr) is velmorpy.AttrConstClass and velmorpy.attr is VLM.Attr
    assert type(velmorpy.param) is velmorpy.ParamConstClass and velmorpy.param is VLM.Param
    assert type(velmorpy.callback) is velmorpy.CallbackClass and velmorpy.callback is VLM.Callback
    assert type(VLM.Error) is velmorpy.ErrorConstClass
    assert type(VLM.Status) is velmorpy.StatusConstClass
    for obj in (velmorpy.attr, velmorpy.param, velmorpy.callback, VLM.Error, VLM.Status):
        assert vars(obj) == {}  # every member comes from the class
    # The error and status objects are reached through VLM only.
    assert not any(v is VLM.Error or v is VLM.Status for v in vars(velmorpy).values())


# --- attribute names -----------------------------------------------------------

ATTR_DOC = re.compile(r"Type: (int|double|string|char|matrix)\nDesc: ([^\n]+)")


def attr_rows():
    """(member, value, type word, description) of every attribute member."""
    rows = []
    for member, prop in properties(velmorpy.AttrConstClass):
        m = ATTR_DOC.fullmatch(prop.__doc__)
        assert m, (member, prop.__doc__)
        rows.append((member, getattr(VLM.Attr, member), m.group(1), m.group(2)))
    return rows


def test_attr_members_return_the_library_name():
    rows = attr_rows()
    assert len(rows) == 64
    for member, value, _, _ in rows:
        assert type(value) is str
        assert value.replace("/", "_") == member
    assert [m for m, v, _, _ in rows if m != v] == ["SPX_NumIters", "IPM_NumIters", "MIP_GapAbs", "MIP_GapRel"]
    assert VLM.Attr.SPX_NumIters == "SPX/NumIters"
    assert VLM.attr.MIP_GapRel == "MIP/GapRel"
    assert VLM.Attr.ObjVal == "ObjVal"
    # Names differ by more than case: a case-insensitive look-up finds one row.
    assert len({m.lower() for m, _, _, _ in rows}) == 64


def test_attr_table_order_and_type_words():
    rows = attr_rows()
    assert rows[0][0] == "MinSense" and rows[-1][0] == "PsdObj"
    words = [w for _, _, w, _ in rows]
    assert words == ["int"] * 27 + ["double"] * 25 + ["string"] * 9 + ["char"] + ["matrix"] * 2
    assert dict((m, w) for m, _, w, _ in rows)["VType"] == "char"


def test_attr_docstrings_keep_the_library_texts():
    doc = {m: p.__doc__ for m, p in properties(velmorpy.AttrConstClass)}
    assert doc["NumVars"] == "Type: int\nDesc: The total number of variables"
    assert doc["PsdObj"] == "Type: matrix\nDesc: The objective coefficient of a psd variable"
    assert doc["PsdCLHS"] == "Type: double\nDesc: psd contraint left-hand-side value"
    assert doc["VarName"] == "Type: string\nDesc: Alias for ColName, The variable name"
    assert doc["Xn"] == "Type: double\nDesc: The suboptimal solution specified by parameter `MIP/SolutionNumber`."
    assert doc["SPX_NumIters"] == (
        "Type: int\nDesc: The total number of iterations after a simplex method completed")


def test_attr_aliases_are_members_of_their_own():
    rows = attr_rows()
    members = {m for m, _, _, _ in rows}
    aliases = {m: re.match(r"Alias for (\w+)[.,]", d).group(1) for m, _, _, d in rows if d.startswith("Alias for")}
    assert aliases == {
        "NumConstrs": "NumConss", "NumNZs": "NumEnts", "IISCol": "IISVar", "IISRow": "IISConstr",
        "ObjCon": "ObjConst", "ObjVal": "PrimalObjVal", "X": "PrimalSoln", "RC": "ReducedCost",
        "ModelName": "ProbName", "ConstrName": "RowName", "VarName": "ColName"}
    assert set(aliases.values()) <= members
    assert VLM.Attr.X == "X" and VLM.Attr.PrimalSoln == "PrimalSoln"
    assert VLM.Attr.NumConstrs == "NumConstrs"


# --- parameter names -----------------------------------------------------------

PARAM_DOC = re.compile(r"Type: (<class 'int'>|<class 'float'>)\nDesc: ([^\n]+)")


def test_param_members():
    rows = properties(velmorpy.ParamConstClass)
    assert len(rows) == 39
    types = []
    for member, prop in rows:
        value = getattr(VLM.Param, member)
        assert type(value) is str and value.replace("/", "_") == member
        m = PARAM_DOC.fullmatch(prop.__doc__)
        assert m, (member, prop.__doc__)
        types.append(m.group(1))
    # The type shows as str() of the type object, integer parameters first.
    assert types == [str(int)] * 27 + [str(float)] * 12
    assert rows[0][0] == "Method" and rows[-1][0] == "MIP_Cutoff"
    assert VLM.Param.SPX_ColumnGeneration == "SPX/ColumnGeneration"
    assert VLM.param.MaxTime == "MaxTime"
    assert VLM.Param.MIP_DetectDisconnectedComponents == "MIP/DetectDisconnectedComponents"


def test_param_docstrings():
    P = velmorpy.ParamConstClass
    assert P.MIP_GapRel.__doc__ == "Type: {}\nDesc: {}".format(float, "Set relative gap allowed for a MIP model")
    assert P.MaxTime.__doc__ == "Type: <class 'float'>\nDesc: Set the maximum solve time"
    assert P.MIP_SolutionNumber.__doc__ == (
        "Type: <class 'int'>\nDesc: Set the index of suboptimal solution to get. After parameter set, "
        "access attribute Xn to retrieve corresponding suboptimal solution.")
    # One name, two tables: the attribute and the parameter are documented apart.
    assert velmorpy.AttrConstClass.MIP_GapRel.__doc__ == "Type: double\nDesc: The relative gap for a mip solution"


def test_param_member_by_slash_name_does_not_exist():
    with pytest.raises(AttributeError):
        getattr(VLM.Param, "SPX/ColumnGeneration")
    with pytest.raises(AttributeError):
        VLM.Param.spx_columngeneration


# --- callback codes ------------------------------------------------------------

CODE_DOC = re.compile(r"Code = (\d+)\nDesc: ([^\n]+)")


def test_callback_members():
    rows = properties(velmorpy.CallbackClass)
    names = [m for m, _ in rows]
    assert len(rows) == 18
    assert names[:3] == ["MIPSTART", "MIPSOL", "MIPNODE"]
    codes = {}
    for member, prop in rows:
        value = getattr(VLM.Callback, member)
        assert type(value) is int
        m = CODE_DOC.fullmatch(prop.__doc__)
        assert m and int(m.group(1)) == value, (member, prop.__doc__)
        codes[member] = value
    assert [codes[n] for n in names[:3]] == [3, 4, 5]
    assert sorted(codes[n] for n in names[3:]) == [200, 201, 202, 300, 301, 302, *range(306, 313), 316, 317]
    assert VLM.Callback.MIPSOL == 4 and VLM.Callback.MIP_SOL == 316
    assert VLM.Callback.PRE_NUMVARS == 200 and VLM.Callback.MIP_PHASE == 312 and VLM.Callback.MIP_REL == 317


def test_callback_docstrings_keep_trailing_blanks():
    C = velmorpy.CallbackClass
    assert C.MIP_NODLFT.__doc__ == "Code = 309\nDesc: Total number of nodes unexplored nodes. "
    assert C.MIP_NODCNT.__doc__ == "Code = {}\nDesc: {}".format(306, "Total number of nodes explored so far. ")
    assert C.MIPSTART.__doc__ == "Code = 3\nDesc: MIP Optimizer is in initial optimization phase."
    assert C.MIP_SOL.__doc__ == "Code = 316\nDesc: Array to hold the best solution(in original domain) found so far."
    assert C.MIP_PHASE.__doc__.endswith("2: close to the optimum) ")


@pytest.mark.parametrize("name", ["PRE_LB", "PRE_OBJCONST", "MIP_SOLPRE", "MIP_RELRDCPRE", "MIP_LB", "MIP_UB"])
def test_unexposed_what_codes_are_not_members(name):
    with pytest.raises(AttributeError):
        getattr(VLM.Callback, name)


# --- read-only members -----------------------------------------------------------

@pytest.mark.parametrize("obj, member", [
    (velmorpy.attr, "ObjVal"), (velmorpy.param, "Method"), (velmorpy.callback, "MIPSOL")])
def test_property_members_refuse_assignment_and_deletion(obj, member):
    before = getattr(obj, member)
    with pytest.raises(AttributeError):
        setattr(obj, member, "x")
    with pytest.raises(AttributeError):
        delattr(obj, member)
    assert getattr(obj, member) == before
    assert vars(obj) == {}


# --- error and status codes ---------------------------------------------------------

def test_error_codes():
    rows = int_members(velmorpy.ErrorConstClass)
    assert len(rows) == 59
    assert rows[0] == ("OKAY", 0) and rows[-1] == ("IIS_NUMERIC", -30000)
    assert all(code < 0 for _, code in rows[1:])
    assert len({code for _, code in rows}) == 59
    for name, code in rows:
        assert getattr(VLM.Error, name) == code and getattr(VLM, name) == code
    assert VLM.Error.NOMEMORY == VLM.NOMEMORY == -2
    assert VLM.ABORT_CTRL_C == -9002 and VLM.CB_INVALID_WHAT == -5001
    assert VLM.ERROR == VLM.Error.ERROR == -1
    assert type(VLM.Error.ERROR) is int
    # Plain integers: no property, nothing documented.
    assert properties(velmorpy.ErrorConstClass) == []


def test_every_error_name_is_a_code_the_library_explains():
    unknown = velmorpy.VelmorError(-5).message
    for name, code in int_members(velmorpy.ErrorConstClass)[1:]:
        err = velmorpy.VelmorError(code)
        assert err.errno == code
        assert err.message != unknown, name


def test_status_codes():
    rows = int_members(velmorpy.StatusConstClass)
    assert rows == [("UNKNOWN", 0), ("OPTIMAL", 1), ("INFEASIBLE", 2), ("UNBOUNDED", 3), ("INF_OR_UBD", 4),
                    ("SUB_OPTIMAL", 5)]
    for name, code in rows:
        assert getattr(VLM.Status, name) == getattr(VLM, name) == code
    assert VLM.UNKNOWN == VLM.OKAY == 0
    assert properties(velmorpy.StatusConstClass) == []


def test_codes_and_constants_share_vlm_without_overlap():
    errors = {n for n, _ in int_members(velmorpy.ErrorConstClass)}
    statuses = {n for n, _ in int_members(velmorpy.StatusConstClass)}
    scalars = {n for n in vars(type(VLM)) if n.isupper()} - errors - statuses
    assert not errors & statuses
    assert len(scalars) == 18
