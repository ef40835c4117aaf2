"""A model's parameters, the module-level parameter functions reaching global models,
models() and read()."""
import gc
import os

import pytest

import velmorpy
from velmorpy import Env, Model, VelmorError

MPS = """NAME          small
ROWS
 N  obj
 L  c1
COLUMNS
    x         obj       1.0        c1        1.0
    y         obj       2.0        c1        1.0
RHS
    rhs       c1        4.0
BOUNDS
 UP bnd       x         3.0
ENDATA
"""


def test_model_parameters_are_its_own(capsys):
    env = Env()
    m1, m2 = Model("a", env), Model("b", env)
    m1.setParam("MaxTime", 5)
    assert capsys.readouterr().out == "Set parameter MaxTime to value 5\n"
    assert (m1.Params.MaxTime, m2.Params.MaxTime) == (5.0, 1e20)
    assert m1.getParamInfo("maxtime") == ("MaxTime", float, 5.0, 0.0, 1e20, 1e20)
    assert m1.getParamInfo(name="Method")[:2] == ("Method", int)
    assert m1.getParamInfo("nothing*") is None
    m1.Params.MaxTime = 8
    assert m1.Params.MaxTime == 8.0
    m1.resetParams()
    assert m1.Params.MaxTime == 1e20
    capsys.readouterr()
    assert m1.getParamInfo("MIP/Gap*") is None                  # several match: printed, no answer
    assert capsys.readouterr().out.startswith("Matching parameters: ")


def test_params_object_outliving_its_model():
    m = Model()
    p = m.Params
    m.dispose()
    with pytest.raises(VelmorError) as e:
        p.MaxTime
    assert e.value.errno == -3
    q = Model().Params                                          # the model is gone with its last reference
    gc.collect()
    with pytest.raises(VelmorError):
        q.MaxTime


GLOBAL_MODEL = None


def test_module_functions_reach_global_models_only(capsys):
    global GLOBAL_MODEL
    GLOBAL_MODEL = Model("global")
    local = Model("local")
    try:
        velmorpy.setParam("MaxTime", 3)
        assert GLOBAL_MODEL.Params.MaxTime == 3.0 and local.Params.MaxTime == 1e20
        velmorpy.resetParams()
        assert GLOBAL_MODEL.Params.MaxTime == 1e20
        capsys.readouterr()
        velmorpy.models()
        out = capsys.readouterr().out.splitlines()
        assert out[0] == "Currently loaded models:"
        assert out[1:] == [f"GLOBAL_MODEL : {GLOBAL_MODEL}"]
    finally:
        GLOBAL_MODEL = None




def test_models_lists_module_globals_in_order(run_python):
    out = run_python("""
        import velmorpy
        velmorpy.models()
        b = velmorpy.Model("b"); a = velmorpy.Model("a"); alias = b
        def inner():
            hidden = velmorpy.Model("hidden")
            velmorpy.models()
        inner()
    """)
    assert out.returncode == 0, out.stderr
    lines = out.stdout.splitlines()
    assert lines[0] == "No models currently loaded"
    assert lines[1] == "Currently loaded models:"
    assert [line.split(" : ")[0] for line in lines[2:]] == ["b", "a", "alias"]


def test_read(tmp_path):
    path = tmp_path / "small.mps"
    path.write_text(MPS)
    m = velmorpy.read(str(path))
    assert (m.NumVars, m.NumConstrs) == (2, 1)
    x, y = m.getVars()
    assert (x.VarName, x.UB, y.Obj) == ("x", 3.0, 2.0)
    assert m.getConstrByName("c1").index == 0 and isinstance(m.Params, velmorpy.ParamClass)
    env = Env()
    assert velmorpy.read(filename=str(path), env=env).NumVars == 2
    m.dispose()
    m.dispose()


def test_read_refusals(tmp_path):
    with pytest.raises(TypeError, match=r"^Cannot convert str to velmorpy.Env$"):
        velmorpy.read("x.mps", env="env")
    with pytest.raises(TypeError):
        velmorpy.read(None)
    with pytest.raises(VelmorError) as e:
        velmorpy.read(str(tmp_path / "missing.mps"))
    assert e.value.errno == -1001
    env = Env()
    env.dispose()
    with pytest.raises(VelmorError) as e:
        velmorpy.read(str(tmp_path / "missing.mps"), env)
    assert e.value.errno == -3


def test_read_lets_other_threads_run_while_the_file_is_read(run_python, tmp_path):
    # Opening a FIFO blocks until a writer comes: the writer is this program's
    # main thread, which runs only if the reading thread let go of the interpreter.
    fifo = tmp_path / "slow.mps"
    os.mkfifo(fifo)
    out = run_python(f"""
        import threading
        import velmorpy
        env = velmorpy.Env()
        result = {{}}
        reader = threading.Thread(target=lambda: result.update(m=velmorpy.read({str(fifo)!r}, env)))
        reader.start()
        reader.join(0.2)
        assert reader.is_alive()
        velmorpy.Model("meanwhile", env).addVar()       # the environment stays usable meanwhile
        env.dispose()                                   # the read works on its own copy of it
        with open({str(fifo)!r}, "w") as f:
            f.write({MPS!r})
        reader.join()
        print(result["m"].NumVars, result["m"].getVars()[0].VarName)
    """, timeout=20)
    assert out.returncode == 0, out.stderr
    assert out.stdout == "2 x\n"


def test_module_parameter_functions_pass_over_disposed_models(run_python, tmp_path):
    out = run_python(f"""
        import sys
        import velmorpy
        from velmorpy import Model
        a, gone, c, empty = Model("a"), Model("gone"), Model("c"), Model(empty=True)
        gone.dispose()
        velmorpy.setParam("MaxTime", 7)
        print(a.Params.MaxTime, c.Params.MaxTime)
        velmorpy.writeParams({str(tmp_path / "p.prm")!r})
        velmorpy.resetParams()
        print(a.Params.MaxTime, c.Params.MaxTime)
        velmorpy.readParams({str(tmp_path / "p.prm")!r})
        print(a.Params.MaxTime, c.Params.MaxTime)

        class DisposeOnPrint:                  # c goes while the earlier targets print
            def write(self, text):
                c.dispose()
                return sys.__stdout__.write(text)
            def flush(self):
                pass
        sys.stdout = DisposeOnPrint()
        velmorpy.setParam("MaxTime", 8)
        sys.stdout = sys.__stdout__
        print(a.Params.MaxTime)
    """)
    assert out.returncode == 0, out.stderr
    assert out.stdout.splitlines() == [
        "Set parameter MaxTime to value 7", "Set parameter MaxTime to value 7", "Set parameter MaxTime to value 7",
        "7.0 7.0", "1e+20 1e+20", "7.0 7.0",
        "Set parameter MaxTime to value 8", "Set parameter MaxTime to value 8", "8.0"]
