"""Env: construction, the parameter methods, disposal and finalisation."""
import gc
import sys

import pytest

import velmorpy
from velmorpy import Env, VelmorError, VLM

INVALID = VLM.Error.INVALID_ARGUMENT


def params_in(env, tmp_path):
    """{name: text value} of the parameters that differ from their defaults."""
    path = tmp_path / "p.prm"
    env.writeParams(str(path))
    rows = [line.split() for line in path.read_text().splitlines() if line and not line.startswith("#")]
    return dict(rows)


def test_log_file_and_creation_failures(tmp_path):
    log = tmp_path / "solve.log"
    Env(str(log)).dispose()
    assert log.exists()
    Env(None, True).start()                      # an empty env ignores the log name; start() starts it
    with pytest.raises(VelmorError) as info:
        Env(str(tmp_path / "no" / "dir.log"))
    assert info.value.errno == VLM.Error.FILE_WRITE_ERROR
    with pytest.raises(TypeError, match=r"^Argument 'params' has incorrect type \(expected dict, got list\)$"):
        Env(params=[("MaxTime", 10)])
    with pytest.raises(TypeError, match="^an integer is required$"):
        Env(empty=None)
    with pytest.raises(TypeError):
        Env(None)


def test_params_are_applied_in_dict_order_after_creation(tmp_path, capsys):
    e = Env(params={"MaxTime": 10, "method": 2.9, "MIP/Gap*": 0.1, "presolve": "DEFAULT"})
    assert capsys.readouterr().out == (
        "Set parameter MaxTime to value 10\n"
        "Set parameter Method to value 2.9\n"
        "Matching parameters: ['MIP/GapAbs', 'MIP/GapRel']\n"
        "No parameters matching 'MIP/Gap*' found\n"
        "Set parameter Presolve to value -1\n")
    assert params_in(e, tmp_path) == {"MaxTime": "10", "Method": "2"}
    with pytest.raises(VelmorError) as info:
        Env(params={"Method": 7})                # outside the parameter's range
    assert info.value.errno == VLM.Error.PARAM_SET_ERROR

    class Growing(Env):
        def setParam(self, name, value):
            params["Presolve"] = 0

    params = {"MaxTime": 1}
    with pytest.raises(RuntimeError, match="^dictionary changed size during iteration$"):
        Growing(params=params)


def test_reinit_replaces_the_environment(tmp_path):
    e = Env(params={"MaxTime": 5})
    e.__init__()
    assert params_in(e, tmp_path) == {}          # a new environment, with the defaults
    with pytest.raises(TypeError):
        e.__init__(None)                         # the old one is freed before the failure
    with pytest.raises(VelmorError):
        e.start()


def test_reset_and_write_params(tmp_path):
    e = Env(params={"MaxTime": 5, "Method": 1})
    e.resetParam()
    assert params_in(e, tmp_path) == {}
    with pytest.raises(VelmorError) as info:
        e.writeParams(str(tmp_path / "missing" / "p.prm"))
    assert info.value.errno == VLM.Error.FILE_WRITE_ERROR
    with pytest.raises(TypeError):
        e.writeParams(5)
    with pytest.raises(TypeError, match="unexpected keyword argument 'value'"):
        e.setParam(paramname="MaxTime", value=1)
    assert [k for k in vars(Env) if k in ("__getmetaclass__", "start", "resetParam", "setParam", "writeParams",
                                          "dispose")] == ["__getmetaclass__", "start", "resetParam", "setParam",
                                                          "writeParams", "dispose"]


@pytest.mark.parametrize("make", [lambda: Env(), lambda: Env.__new__(Env)], ids=["disposed", "never created"])
def test_unusable_env_refuses_every_operation(make, tmp_path, capsys):
    e = make()
    e.dispose()
    e.dispose()
    for call in (e.start, e.resetParam, lambda: e.writeParams(str(tmp_path / "p.prm")),
                 lambda: e.setParam("MaxTime", 1), lambda: e.setParam("NoSuch", 1)):
        with pytest.raises(VelmorError) as info:
            call()
        assert info.value.errno == INVALID
    assert capsys.readouterr().out == ""         # refused before anything is matched or printed
    assert not (tmp_path / "p.prm").exists()


def test_dispose_or_reinit_while_printing(monkeypatch):
    # print runs Python code between the match and the library call.
    e = Env()
    monkeypatch.setattr(velmorpy, "print", lambda *a: e.dispose(), raising=False)
    with pytest.raises(VelmorError):
        e.setParam("MaxTime", 1)
    e = Env()
    monkeypatch.setattr(velmorpy, "print", lambda *a: e.__init__(), raising=False)
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
    try:
        raise KeyError("pending")
    except KeyError:
        del e
        assert sys.exc_info()[0] is KeyError     # the finaliser keeps the pending exception
    gc.collect()
    assert [(s.object, s.exc_type) for s in seen] == [("velmorpy.Env.__del__", ValueError)]


def test_no_leak_across_create_set_dispose(monkeypatch, tmp_path):
    monkeypatch.setattr(velmorpy, "print", lambda *a: None, raising=False)
    path = str(tmp_path / "p.prm")

    def cycle():
        e = Env(params={"MaxTime": 3})
        e.setParam("Method", "default")
        e.setParam("MIP/Gap*", 1)
        e.writeParams(path)
        e.dispose()
        Env()                                    # freed by its finaliser

    deltas = []
    for _ in range(12):                          # caches of the interpreter settle in the first rounds
        gc.collect()
        before = sys.getallocatedblocks()
        for _ in range(100):
            cycle()
        gc.collect()
        deltas.append(sys.getallocatedblocks() - before)
    assert not all(d >= 1 for d in deltas[7:])

    e = Env()
    name, value = "".join(["Max", "Time"]), float("".join(["1", "2"]))
    before = sys.getrefcount(name), sys.getrefcount(value)
    for _ in range(100):
        e.setParam(name, value)
    assert (sys.getrefcount(name), sys.getrefcount(value)) == before
