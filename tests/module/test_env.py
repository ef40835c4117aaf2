"""Env: construction, the parameter methods, disposal and finalisation."""
import gc
import inspect
import os
import sys

import pytest

import velmorpy
from velmorpy import Env, VelmorError, VLM

INVALID = VLM.Error.INVALID_ARGUMENT


def params_in(path):
    """{name: text value} of a parameter file written by the library."""
    with open(path) as f:
        rows = [line.split() for line in f if line.strip() and not line.startswith("#")]
    return {name: value for name, value in rows}


# --- construction --------------------------------------------------------------

def test_log_file_is_opened_at_creation(tmp_path):
    log = tmp_path / "solve.log"
    e = Env(str(log))
    assert log.exists()
    e.dispose()
    Env(logfilename=str(log)).dispose()          # appends: an existing log is kept


def test_empty_env_ignores_the_log_name():
    for e in (Env(None, True), Env(empty=2), Env(empty=0.5)):
        e.start()
        e.dispose()


def test_unwritable_log_raises_the_library_code(tmp_path):
    with pytest.raises(VelmorError) as info:
        Env(str(tmp_path / "no" / "such" / "dir.log"))
    assert info.value.errno == VLM.Error.FILE_WRITE_ERROR


def test_argument_faults():
    with pytest.raises(TypeError, match=r"^Argument 'logfilename' has incorrect type \(expected str, got bytes\)$"):
        Env(b"x.log")
    with pytest.raises(TypeError, match=r"^Argument 'params' has incorrect type \(expected dict, got list\)$"):
        Env(params=[("MaxTime", 10)])
    with pytest.raises(TypeError, match="^an integer is required$"):
        Env(empty=None)
    with pytest.raises(TypeError):
        Env(None)                                # a loaded env needs a str log name
    with pytest.raises(ValueError, match="embedded null character"):
        Env("a\0b")
    with pytest.raises(OverflowError):
        Env(empty=2 ** 40)
    with pytest.raises(TypeError):
        Env("", False, None, 1)


def test_params_are_applied_in_dict_order_after_creation(tmp_path, capsys):
    e = Env(params={"MaxTime": 10, "method": 2.9, "MIP/Gap*": 0.1, "presolve": "DEFAULT"})
    assert capsys.readouterr().out == (
        "Set parameter MaxTime to value 10\n"
        "Set parameter Method to value 2.9\n"
        "Matching parameters: ['MIP/GapAbs', 'MIP/GapRel']\n"
        "No parameters matching 'MIP/Gap*' found\n"
        "Set parameter Presolve to value -1\n")
    path = str(tmp_path / "p.prm")
    e.writeParams(path)
    assert params_in(path) == {"MaxTime": "10", "Method": "2"}


def test_failing_param_ends_construction(capsys):
    with pytest.raises(VelmorError) as info:
        Env(params={"Method": 7})                # outside the parameter's range
    assert info.value.errno == VLM.Error.PARAM_SET_ERROR
    with pytest.raises(ValueError):
        Env(params={"MaxTime": "soon"})
    assert capsys.readouterr().out == "Set parameter Method to value 7\nSet parameter MaxTime to value soon\n"


def test_params_dict_changing_size_is_refused():
    class Growing(Env):
        def setParam(self, name, value):
            params["Presolve"] = 0
            return True

    params = {"MaxTime": 1}
    with pytest.raises(RuntimeError, match="^dictionary changed size during iteration$"):
        Growing(params=params)


def test_reinit_replaces_the_environment(tmp_path, capsys):
    e = Env(params={"MaxTime": 5})
    e.__init__()
    path = str(tmp_path / "p.prm")
    e.writeParams(path)
    assert params_in(path) == {}                 # a new environment, with the defaults
    with pytest.raises(TypeError):
        e.__init__(None)                         # the old one is freed before the failure
    with pytest.raises(VelmorError):
        e.start()


# --- members -------------------------------------------------------------------

def test_members_and_signatures():
    bound = ["__getmetaclass__", "start", "resetParam", "setParam", "writeParams", "dispose"]
    assert [k for k in vars(Env) if k in bound] == bound
    assert str(inspect.signature(Env.setParam)) == "(self, paramname, newvalue)"
    assert str(inspect.signature(Env.writeParams)) == "(self, filename)"
    for name in ("start", "resetParam", "setParam", "writeParams", "dispose"):
        fn = vars(Env)[name]
        assert fn.__qualname__ == "Env." + name and fn.__module__ == "velmorpy"
        assert fn.__defaults__ is None
    assert "Reset all parameter to default values" in Env.resetParam.__doc__
    assert "Set the value of a parameter" in Env.setParam.__doc__
    assert "Write parameter settings to a file" in Env.writeParams.__doc__
    for call in ('"MaxTime"', '"MaxTi*"', '"default"'):
        assert call in Env.setParam.__doc__


def test_set_param_arguments():
    e = Env()
    with pytest.raises(TypeError):
        e.setParam("MaxTime")
    with pytest.raises(TypeError, match="unexpected keyword argument 'value'"):
        e.setParam(paramname="MaxTime", value=1)
    assert e.setParam(paramname="MaxTime", newvalue=1) is True
    with pytest.raises(TypeError):
        e.resetParam(1)


def test_reset_param_restores_defaults(tmp_path):
    e = Env(params={"MaxTime": 5, "Method": 1})
    e.resetParam()
    path = str(tmp_path / "p.prm")
    e.writeParams(path)
    assert params_in(path) == {}


def test_write_params_failures(tmp_path):
    e = Env()
    with pytest.raises(VelmorError) as info:
        e.writeParams(str(tmp_path / "missing" / "p.prm"))
    assert info.value.errno == VLM.Error.FILE_WRITE_ERROR
    with pytest.raises(TypeError):
        e.writeParams(5)
    with pytest.raises(ValueError):
        e.writeParams("a\0b")


# --- disposal ------------------------------------------------------------------

def test_dispose_twice_and_use_after_dispose(tmp_path, capsys):
    e = Env()
    assert e.dispose() is None
    assert e.dispose() is None
    for call in (e.start, e.resetParam, lambda: e.writeParams(str(tmp_path / "p.prm")),
                 lambda: e.setParam("MaxTime", 1), lambda: e.setParam("NoSuch", 1)):
        with pytest.raises(VelmorError) as info:
            call()
        assert info.value.errno == INVALID
    assert capsys.readouterr().out == ""         # refused before anything is matched or printed
    assert not (tmp_path / "p.prm").exists()


def test_never_created_env_refuses_every_operation():
    e = Env.__new__(Env)
    for call in (e.start, e.resetParam, lambda: e.writeParams("p.prm"), lambda: e.setParam("MaxTime", 1)):
        with pytest.raises(VelmorError) as info:
            call()
        assert info.value.errno == INVALID
    e.dispose()
    with pytest.raises(VelmorError):
        Env("", False, {"Method": 9})            # a failed construction leaves nothing to free


def test_dispose_from_inside_a_print_is_seen_before_the_library_call(monkeypatch):
    e = Env()

    def printing(*args, **kwargs):
        e.dispose()

    monkeypatch.setattr(velmorpy, "print", printing, raising=False)
    with pytest.raises(VelmorError) as info:
        e.setParam("MaxTime", 1)
    assert info.value.errno == INVALID


def test_reinit_from_inside_a_print(monkeypatch):
    e = Env()

    def printing(*args, **kwargs):
        e.__init__()

    monkeypatch.setattr(velmorpy, "print", printing, raising=False)
    with pytest.raises(VelmorError):
        e.setParam("MaxTime", 1)                 # its old environment is gone
    monkeypatch.undo()
    assert e.setParam("MaxTime", 1) is True


def test_subclass_dispose_raising_is_reported_as_unraisable(monkeypatch):
    seen = []
    monkeypatch.setattr(sys, "unraisablehook", seen.append)

    class Failing(Env):
        def dispose(self):
            raise ValueError("boom")

    e = Failing()
    with pytest.raises(ValueError):
        e.dispose()
    del e
    gc.collect()
    assert len(seen) == 1
    assert seen[0].object == "velmorpy.Env.__del__"
    assert seen[0].exc_type is ValueError and str(seen[0].exc_value) == "boom"


def test_finaliser_keeps_the_pending_exception(monkeypatch):
    seen = []
    monkeypatch.setattr(sys, "unraisablehook", seen.append)

    class Failing(Env):
        def dispose(self):
            raise ValueError("inner")

    try:
        e = Failing()
        try:
            raise KeyError("outer")
        except KeyError:
            del e
            assert sys.exc_info()[0] is KeyError
    finally:
        gc.collect()
    assert [s.exc_type for s in seen] == [ValueError]


def test_env_is_not_pickled_as_a_live_handle():
    import pickle
    with pytest.raises(TypeError):
        pickle.dumps(Env())


# --- leaks ---------------------------------------------------------------------

def alloc_deltas(fn, warmups=3, runs=5, inner=100):
    out = []
    for _ in range(warmups + runs):
        gc.collect()
        before = sys.getallocatedblocks()
        for _ in range(inner):
            fn()
        gc.collect()
        out.append(sys.getallocatedblocks() - before)
    return out[warmups:]


def test_no_allocation_leak_across_create_set_dispose(monkeypatch, tmp_path):
    monkeypatch.setattr(velmorpy, "print", lambda *a, **k: None, raising=False)
    path = str(tmp_path / "p.prm")

    def cycle():
        e = Env(params={"MaxTime": 3})
        e.setParam("Method", "default")
        e.setParam("MIP/Gap*", 1)
        e.writeParams(path)
        e.dispose()
        Env()                                    # freed by its finaliser

    assert not all(d >= 1 for d in alloc_deltas(cycle))


def test_set_param_keeps_no_reference(monkeypatch):
    monkeypatch.setattr(velmorpy, "print", lambda *a, **k: None, raising=False)
    e = Env()
    name = "".join(["Max", "Time"])
    value = float("".join(["1", "2"]))
    before = sys.getrefcount(name), sys.getrefcount(value)
    for _ in range(100):
        e.setParam(name, value)
        e.setParam(name, "default")
    assert (sys.getrefcount(name), sys.getrefcount(value)) == before
