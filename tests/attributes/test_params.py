"""Setting parameters by name, ParamClass, paramHelp and the module-level parameter functions.

A ParamClass bound to a live environment, and the module functions acting on a
default environment, need an internal constructor: tests/embedded/test_params.cpp."""
import inspect
import pickle

import pytest

import velmorpy
from velmorpy import Env, ParamClass, VelmorError, VLM

PARAM_COUNT = 39


@pytest.fixture
def env():
    e = Env()
    yield e
    e.dispose()


def params_in(path):
    with open(path) as f:
        rows = [line.split() for line in f if line.strip() and not line.startswith("#")]
    return {name: value for name, value in rows}


# --- _setParam, through Env.setParam ---------------------------------------------

def test_set_prints_the_canonical_name_and_the_value_as_given(env, capsys):
    assert env.setParam("maxtime", 10) is True
    assert env.setParam("MIP_GAPREL", 0.25) is True
    assert env.setParam("spx/maxiterations", "12") is True
    assert capsys.readouterr().out == ("Set parameter MaxTime to value 10\n"
                                       "Set parameter MIP/GapRel to value 0.25\n"
                                       "Set parameter SPX/MaxIterations to value 12\n")


def test_int_parameters_truncate_floats_and_parse_texts(env, tmp_path, capsys):
    path = str(tmp_path / "p.prm")
    for value, stored in ((2.9, "2"), (-0.9, "0"), ("1", "1"), (True, "1")):
        env.setParam("Method", value)
        env.writeParams(path)
        assert params_in(path).get("Method", "0") == stored, value
    assert capsys.readouterr().out.splitlines()[0] == "Set parameter Method to value 2.9"


def test_float_parameters_take_numbers_and_texts(env, tmp_path):
    path = str(tmp_path / "p.prm")
    env.setParam("MaxTime", "7.5")
    env.setParam("MIP/Cutoff", 3)
    env.writeParams(path)
    assert params_in(path) == {"MaxTime": "7.5", "MIP/Cutoff": "3"}


def test_default_in_any_case_restores_the_library_default(env, tmp_path, capsys):
    path = str(tmp_path / "p.prm")
    env.setParam("Method", 2)
    env.setParam("MaxTime", 1)
    capsys.readouterr()
    assert env.setParam("Method", "default") is True
    assert env.setParam("maxtime", "DeFaUlT") is True
    out = capsys.readouterr().out.splitlines()
    assert out[0] == "Set parameter Method to value -1"              # the default is shown as a number
    assert out[1] == "Set parameter MaxTime to value " + str(float(VLM.INFINITY))
    env.writeParams(path)
    assert params_in(path) == {}


def test_wildcard_with_one_match_sets_it(env, tmp_path, capsys):
    assert env.setParam("MaxTi*", 4) is True
    assert env.setParam("*CUTOFF", 5) is True
    assert capsys.readouterr().out == "Set parameter MaxTime to value 4\nSet parameter MIP/Cutoff to value 5\n"
    path = str(tmp_path / "p.prm")
    env.writeParams(path)
    assert params_in(path) == {"MaxTime": "4", "MIP/Cutoff": "5"}


def test_ambiguous_or_unknown_names_set_nothing(env, tmp_path, capsys):
    assert env.setParam("mip/gap*", 0.1) is False
    assert capsys.readouterr().out == ("Matching parameters: ['MIP/GapAbs', 'MIP/GapRel']\n"
                                       "No parameters matching 'mip/gap*' found\n")
    assert env.setParam("NoSuchParam", 1) is False
    assert env.setParam("ObjVal", 1) is False                       # an attribute, not a parameter
    assert capsys.readouterr().out == ("No parameters matching 'NoSuchParam' found\n"
                                       "No parameters matching 'ObjVal' found\n")
    path = str(tmp_path / "p.prm")
    env.writeParams(path)
    assert params_in(path) == {}


def test_conversion_failures_come_after_the_message(env, capsys):
    with pytest.raises(ValueError):
        env.setParam("Method", "two")
    with pytest.raises(ValueError):
        env.setParam("MaxTime", "soon")
    with pytest.raises(OverflowError):
        env.setParam("Method", 2 ** 40)
    with pytest.raises(TypeError):
        env.setParam("MaxTime", None)
    assert capsys.readouterr().out == ("Set parameter Method to value two\n"
                                       "Set parameter MaxTime to value soon\n"
                                       f"Set parameter Method to value {2 ** 40}\n"
                                       "Set parameter MaxTime to value None\n")


def test_library_refusal_raises_its_code(env, tmp_path):
    with pytest.raises(VelmorError) as info:
        env.setParam("Method", 5)
    assert info.value.errno == VLM.Error.PARAM_SET_ERROR
    with pytest.raises(VelmorError):
        env.setParam("MaxTime", -1.0)
    path = str(tmp_path / "p.prm")
    env.writeParams(path)
    assert params_in(path) == {}                                     # a refused value changes nothing


def test_name_must_support_the_str_methods(env):
    with pytest.raises(TypeError):
        env.setParam(b"MaxTime", 1)
    with pytest.raises(AttributeError):
        env.setParam(5, 1)


def test_value_format_is_str_format(env, capsys):
    class Shown:
        def __format__(self, spec):
            return "<shown>"

        def __float__(self):
            return 2.0

    env.setParam("MaxTime", Shown())
    assert capsys.readouterr().out == "Set parameter MaxTime to value <shown>\n"


# --- ParamClass ----------------------------------------------------------------

def test_paramclass_is_a_module_global_outside_all():
    assert velmorpy.ParamClass is ParamClass
    assert "ParamClass" not in velmorpy.__all__
    assert ParamClass.__module__ == "velmorpy" and ParamClass.__name__ == "ParamClass"


def test_paramclass_made_from_python_ignores_arguments_and_refuses_use(capsys):
    p = ParamClass(1, 2, x=3)
    for use in (lambda: p.MaxTime, lambda: p.method, lambda: getattr(p, "*cutoff"),
                lambda: setattr(p, "MaxTime", 1), lambda: setattr(p, "NoSuch", 1)):
        with pytest.raises(VelmorError) as info:
            use()
        assert info.value.errno == VLM.Error.INVALID_ARGUMENT
    assert capsys.readouterr().out == ""


def test_paramclass_names_that_are_no_parameter():
    p = ParamClass()
    with pytest.raises(AttributeError, match=r"^Param `NoSuch` does not exist$"):
        p.NoSuch
    with pytest.raises(AttributeError, match=r"^Param `mip/gap\*` does not exist$"):
        getattr(p, "mip/gap*")
    assert not hasattr(p, "__array__")
    assert p.__class__ is ParamClass                                 # the class's own members come first


def test_paramclass_getattr_method_checks_its_argument():
    p = ParamClass()
    with pytest.raises(TypeError, match=r"^Argument 'name' has incorrect type \(expected str, got int\)$"):
        p.__getattr__(5)
    with pytest.raises(TypeError, match=r"^Argument 'name' has incorrect type \(expected str, got int\)$"):
        p.__setattr__(5, 1)
    with pytest.raises(AttributeError, match=r"^Param `nope` does not exist$"):
        p.__getattr__("nope")


def test_paramclass_attributes_cannot_be_deleted():
    p = ParamClass()
    with pytest.raises(AttributeError):
        del p.MaxTime


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


def test_paramclass_is_not_pickled():
    with pytest.raises(TypeError):
        pickle.dumps(ParamClass())


# --- paramHelp -----------------------------------------------------------------

def test_param_help_of_one_name(capsys):
    velmorpy.paramHelp("maxtime")
    velmorpy.paramHelp(name="SPX_MaxIterations")
    assert capsys.readouterr().out == (
        "MaxTime (float)\n    Set the maximum solve time\n"
        "SPX/MaxIterations (int)\n    Set the maximum number of iterations in the simplex method\n")


def test_param_help_of_every_parameter(capsys):
    velmorpy.paramHelp()
    lines = capsys.readouterr().out.splitlines()
    assert len(lines) == 2 * PARAM_COUNT
    assert lines[:2] == ["Method (int)", "    Set the selected optimization method"]
    assert lines[-2:] == ["MIP/Cutoff (float)",
                          "    Set the objective cutoff to avoid finding solutions worse than this value in MIP"]
    names = [line.split(" (")[0] for line in lines[0::2]]
    assert names == [VLM.Param.__class__.__dict__[k].fget(VLM.Param)
                     for k, v in vars(type(VLM.Param)).items() if isinstance(v, property)]


def test_param_help_patterns(capsys):
    velmorpy.paramHelp("IPM*")
    velmorpy.paramHelp("ipm/?apTolerance")
    velmorpy.paramHelp("zz*")
    assert capsys.readouterr().out == (
        "Matching parameters: ['IPM/MaxIterations', 'IPM/PrimalTolerance', 'IPM/DualTolerance', "
        "'IPM/GapTolerance']\n"
        "Matching parameters: ['IPM/GapTolerance']\n"
        "Matching parameters: []\n")


def test_param_help_prints_nothing_for_unknown_names(capsys):
    velmorpy.paramHelp("NoSuchParam")
    velmorpy.paramHelp("[m]axtime")                                  # a set alone is no pattern here
    assert capsys.readouterr().out == ""


def test_param_help_signature():
    assert velmorpy.paramHelp.__defaults__ == (None,)
    assert str(inspect.signature(velmorpy.paramHelp)) == "(name=None)"
    assert "paramHelp(paramname)" in velmorpy.paramHelp.__doc__
    with pytest.raises(TypeError):
        velmorpy.paramHelp(paramname="MaxTime")


# --- module functions without a default environment ------------------------------

def test_module_functions_without_default_environment(tmp_path, capsys):
    velmorpy.disposeDefaultEnv()
    assert velmorpy.setParam("MaxTime", 1) is None
    assert velmorpy.setParam("NoSuch", 1) is None
    assert velmorpy.readParams(str(tmp_path / "missing.prm")) is None
    assert velmorpy.resetParams() is None
    assert capsys.readouterr().out == ""
    path = tmp_path / "p.prm"
    assert velmorpy.writeParams(str(path)) is None
    assert capsys.readouterr().out == "Failed to write parameters because default environment has been disposed\n"
    assert not path.exists()


def test_module_function_signatures():
    sig = {name: str(inspect.signature(getattr(velmorpy, name)))
           for name in ("setParam", "readParams", "resetParams", "writeParams")}
    assert sig == {"setParam": "(name, value)", "readParams": "(filename)", "resetParams": "()",
                   "writeParams": "(filename)"}
    assert "setParam(paramname, paramvalue)" in velmorpy.setParam.__doc__
    assert velmorpy.setParam(name="NoSuch", value=1) is None
    with pytest.raises(TypeError, match=r"^setParam\(\) got an unexpected keyword argument 'paramname'$"):
        velmorpy.setParam(paramname="MaxTime", value=1)
    with pytest.raises(TypeError, match=r"^resetParams\(\) takes no arguments \(1 given\)$"):
        velmorpy.resetParams(1)
    names = [k for k in vars(velmorpy) if k in ("paramHelp", "readParams", "resetParams", "setParam",
                                                "writeParams", "version", "system")]
    assert names == ["paramHelp", "version", "readParams", "resetParams", "setParam", "system", "writeParams"]
