"""Setting parameters by name, ParamClass, paramHelp and the module-level parameter functions.

A ParamClass bound to a live environment, and the module functions acting on a
default environment, are tested in tests/embedded/test_params.cpp."""
import pytest

import velmorpy
from velmorpy import Env, ParamClass, VelmorError, VLM


@pytest.fixture
def env():
    e = Env()
    yield e
    e.dispose()


@pytest.fixture
def stored(env, tmp_path):
    """The parameters of `env` that differ from their defaults, as the library writes them."""
    def read():
        path = tmp_path / "p.prm"
        env.writeParams(str(path))
        return dict(line.split() for line in path.read_text().splitlines() if line and not line.startswith("#"))
    return read


# --- _setParam, through Env.setParam ---------------------------------------------

def test_set_prints_the_canonical_name_and_the_value_as_given(env, stored, capsys):
    assert env.setParam("maxtime", 10) is True
    assert env.setParam("MIP_GAPREL", "0.25") is True
    assert env.setParam("*CUTOFF", 5) is True                       # a pattern meaning one parameter
    assert capsys.readouterr().out == ("Set parameter MaxTime to value 10\n"
                                       "Set parameter MIP/GapRel to value 0.25\n"
                                       "Set parameter MIP/Cutoff to value 5\n")
    assert stored() == {"MaxTime": "10", "MIP/GapRel": "0.25", "MIP/Cutoff": "5"}


@pytest.mark.parametrize("value, kept", [(2.9, "2"), (-0.9, "0"), ("1", "1"), (True, "1")])
def test_int_parameters_truncate_floats_and_parse_texts(env, stored, capsys, value, kept):
    env.setParam("Method", value)
    assert capsys.readouterr().out == f"Set parameter Method to value {value}\n"
    assert stored()["Method"] == kept


def test_default_in_any_case_restores_the_library_default(env, stored, capsys):
    env.setParam("Method", 2)
    env.setParam("MaxTime", 1)
    capsys.readouterr()
    assert env.setParam("Method", "default") is True
    assert env.setParam("maxtime", "DeFaUlT") is True
    assert capsys.readouterr().out == ("Set parameter Method to value -1\n"       # shown as a number
                                       "Set parameter MaxTime to value 1e+20\n")
    assert stored() == {}


def test_ambiguous_or_unknown_names_set_nothing(env, stored, capsys):
    assert env.setParam("mip/gap*", 0.1) is False
    assert env.setParam("ObjVal", 1) is False                       # an attribute, not a parameter
    assert capsys.readouterr().out == ("Matching parameters: ['MIP/GapAbs', 'MIP/GapRel']\n"
                                       "No parameters matching 'mip/gap*' found\n"
                                       "No parameters matching 'ObjVal' found\n")
    assert stored() == {}


def test_failures_come_after_the_message_and_change_nothing(env, stored, capsys):
    with pytest.raises(ValueError):
        env.setParam("Method", "two")
    with pytest.raises(OverflowError):
        env.setParam("Method", 2 ** 40)
    with pytest.raises(TypeError):
        env.setParam("MaxTime", None)
    with pytest.raises(VelmorError) as info:
        env.setParam("Method", 5)                                    # outside the library's range
    assert info.value.errno == VLM.Error.PARAM_SET_ERROR
    assert capsys.readouterr().out == ("Set parameter Method to value two\n"
                                       f"Set parameter Method to value {2 ** 40}\n"
                                       "Set parameter MaxTime to value None\n"
                                       "Set parameter Method to value 5\n")
    assert stored() == {}


# --- ParamClass made from Python ---------------------------------------------------

def test_paramclass_made_from_python_refuses_use(capsys):
    p = ParamClass(1, 2, x=3)                                        # arguments are ignored
    for use in (lambda: p.MaxTime, lambda: getattr(p, "*cutoff"), lambda: setattr(p, "MaxTime", 1),
                lambda: setattr(p, "NoSuch", 1)):
        with pytest.raises(VelmorError) as info:
            use()
        assert info.value.errno == VLM.Error.INVALID_ARGUMENT
    assert capsys.readouterr().out == ""
    with pytest.raises(AttributeError, match=r"^Param `NoSuch` does not exist$"):
        p.NoSuch
    assert p.__class__ is ParamClass and not hasattr(p, "__array__")
    with pytest.raises(AttributeError):
        del p.MaxTime
    with pytest.raises(TypeError, match=r"^Argument 'name' has incorrect type \(expected str, got int\)$"):
        p.__getattr__(5)
    with pytest.raises(TypeError, match=r"^Argument 'name' has incorrect type \(expected str, got int\)$"):
        p.__setattr__(5, 1)


def test_paramclass_subclass_takes_the_parameter_path_once(capsys):
    class Sub(ParamClass):
        pass

    with pytest.raises(AttributeError, match=r"^Param `MIP/Gap\*` does not exist$"):
        getattr(Sub(), "MIP/Gap*")
    assert capsys.readouterr().out == "Matching parameters: ['MIP/GapAbs', 'MIP/GapRel']\n"

    class Own(ParamClass):
        def __getattr__(self, name):
            return "own " + name

    assert Own().anything == "own anything"


# --- paramHelp ---------------------------------------------------------------------

def test_param_help(capsys):
    velmorpy.paramHelp("maxtime")
    velmorpy.paramHelp("IPM*")
    velmorpy.paramHelp("zz*")
    velmorpy.paramHelp("NoSuchParam")
    velmorpy.paramHelp("[m]axtime")                                  # a set alone is no pattern here
    assert capsys.readouterr().out == (
        "MaxTime (float)\n    Set the maximum solve time\n"
        "Matching parameters: ['IPM/MaxIterations', 'IPM/PrimalTolerance', 'IPM/DualTolerance', "
        "'IPM/GapTolerance']\n"
        "Matching parameters: []\n")
    velmorpy.paramHelp()
    lines = capsys.readouterr().out.splitlines()
    assert len(lines) == 2 * 39
    assert lines[:2] == ["Method (int)", "    Set the selected optimization method"]
    assert [line.split(" (")[0] for line in lines[0::2]] == [
        getattr(VLM.Param, k) for k, v in vars(type(VLM.Param)).items() if isinstance(v, property)]


# --- module functions without a default environment ------------------------------

def test_module_functions_without_default_environment(tmp_path, capsys):
    velmorpy.disposeDefaultEnv()
    assert velmorpy.resetParams() is None
    assert capsys.readouterr().out == ""
    path = tmp_path / "p.prm"
    assert velmorpy.writeParams(str(path)) is None
    assert capsys.readouterr().out == "Failed to write parameters because default environment has been disposed\n"
    assert not path.exists()
    # A setting made before any model (the top of a script) reaches the models made afterwards.
    assert velmorpy.setParam(name="MaxTime", value=1) is None
    assert velmorpy.Model().getParamInfo("MaxTime")[2] == 1
    velmorpy.disposeDefaultEnv()
    path.write_text("MaxTime 3\n")
    assert velmorpy.readParams(str(path)) is None
    assert velmorpy.Model().getParamInfo("MaxTime")[2] == 3
    velmorpy.disposeDefaultEnv()
    capsys.readouterr()
    with pytest.raises(TypeError, match=r"^setParam\(\) got an unexpected keyword argument 'paramname'$"):
        velmorpy.setParam(paramname="MaxTime", value=1)
    names = [k for k in vars(velmorpy) if k in ("paramHelp", "readParams", "resetParams", "setParam",
                                                "writeParams", "version", "system")]
    assert names == ["paramHelp", "version", "readParams", "resetParams", "setParam", "system", "writeParams"]


def test_paramclass_misses(capsys):
    m = velmorpy.Model()
    p = m.Params
    with pytest.raises(AttributeError, match=r"^Param `__array_interface__` does not exist$"):
        p.__array_interface__
    assert getattr(p, "__deepcopy__", 5) == 5 and getattr(p, "NoSuch", 5) == 5 and getattr(p, "Max_Time", 5) == 5
    assert getattr(p, "[m]axtime") == 1e20 and getattr(p, "Max?ime") == 1e20     # patterns still match
    assert capsys.readouterr().out == ""
