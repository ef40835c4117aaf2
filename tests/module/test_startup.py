"""Import, re-import, failed start-up and the module's namespace."""
import importlib
import sys

import velmorpy




def test_reimport_and_reload_give_the_same_module():
    assert importlib.reload(velmorpy) is velmorpy
    del sys.modules["velmorpy"]
    try:
        again = importlib.import_module("velmorpy")
    finally:
        sys.modules["velmorpy"] = velmorpy
    assert again is velmorpy


def test_failed_import_reports_its_cause_and_a_retry_succeeds(run_python):
    out = run_python("""
        import sys, traceback
        sys.modules["numpy"] = None          # importing numpy now fails
        try:
            import velmorpy
        except ImportError as e:
            tb = "".join(traceback.format_exception(e))
            print(type(e).__name__, "init velmorpy" in tb, "velmorpy" in sys.modules)
        del sys.modules["numpy"]
        import velmorpy
        print(velmorpy.version())
    """)
    assert out.returncode == 0, out.stderr
    lines = out.stdout.splitlines()
    assert lines[0] == "ModuleNotFoundError True False"   # the import's own exception, no half-built module left
    assert lines[1].startswith("(")


def test_loaded_under_another_name_it_is_velmorpy_too(run_python):
    out = run_python("""
        import importlib.util, sys
        path = importlib.util.find_spec("velmorpy").origin
        def load(name):                          # the name's last part picks the init entry
            spec = importlib.util.spec_from_file_location(name, path)
            module = importlib.util.module_from_spec(spec)
            spec.loader.exec_module(module)
            return module
        sys.modules["numpy"] = None
        try:
            load("alias.__init__")
        except ImportError:
            print("velmorpy" in sys.modules)     # a failed start-up leaves no entry behind
        del sys.modules["numpy"]
        module = load("alias.__init__")
        print(module.__name__, sys.modules.get("velmorpy") is module)
        import velmorpy
        print(velmorpy is module, load("other.velmorpy") is module)
    """)
    assert out.returncode == 0, out.stderr
    assert out.stdout.splitlines() == ["False", "alias.__init__ True", "True True"]


def test_second_interpreter_is_refused(run_python):
    out = run_python("""
        import velmorpy, _xxsubinterpreters as interpreters
        sub = interpreters.create()
        try:
            interpreters.run_string(sub, "import velmorpy")
        except Exception as e:
            print(e)
    """)
    assert out.returncode == 0, out.stderr
    assert "Interpreter change detected - this module can only be loaded into one interpreter per process." \
        in out.stdout


def test_sub_interpreters_importing_the_module(run_python):
    # A sub-interpreter made after the one that imported the module was destroyed
    # may get its address: the interpreter is told by its id, which is never
    # reused. A sub-interpreter that imported the module and is still alive at
    # exit is ended by the finalisation, which runs the module's exit hook.
    out = run_python("""
        import _xxsubinterpreters as interpreters
        first = interpreters.create()
        interpreters.run_string(first, "import velmorpy; assert velmorpy.VLM is not None")
        interpreters.destroy(first)
        again = interpreters.create()
        try:
            interpreters.run_string(again, "import velmorpy; print(velmorpy.VLM)")
        except Exception as e:
            print(e)
        interpreters.destroy(again)
    """)
    out2 = run_python("""
        import _xxsubinterpreters as interpreters
        alive = interpreters.create()
        interpreters.run_string(alive, "import velmorpy; m = velmorpy.Model(); m.addVar(); m.optimize()")
    """)
    assert out.returncode == 0, out.stderr
    assert "Interpreter change detected" in out.stdout and "None" not in out.stdout
    assert out2.returncode == 0 and "terminate" not in out2.stderr, out2.stderr


def test_namespace():
    assert isinstance(velmorpy.__all__, list) and len(velmorpy.__all__) == 33
    assert velmorpy.__all__[:3] == ["VLM", "models", "disposeDefaultEnv"]
    assert velmorpy.__all__[-3:] == ["Column", "Env", "Model"]
    assert all(hasattr(velmorpy, name) for name in velmorpy.__all__)
    assert velmorpy.__doc__ is None
    assert velmorpy._np is importlib.import_module("numpy")
    assert velmorpy._sp is importlib.import_module("scipy.sparse")
    for absent in ("numpy", "scipy", "defaultEnvironment", "callbackLock", "str2chars", "chars2str"):
        assert not hasattr(velmorpy, absent)
    assert velmorpy.__test__ == {}
    assert "Operand" not in velmorpy.__all__ and velmorpy.Operand.__module__ == "velmorpy"


def test_star_import_binds_all():
    ns = {}
    exec("from velmorpy import *", ns)
    assert set(ns) - {"__builtins__"} == set(velmorpy.__all__)
    assert {"VLM", "VelmorError", "tuplelist", "multidict", "version"} <= set(ns)


def test_operand_base_and_array_priority():
    op = velmorpy.Operand()
    assert velmorpy.Operand.__dict__["__array_priority__"] == 1000
    try:
        op.missing
    except AttributeError as e:
        assert str(e) == "'velmorpy.Operand' object has no attribute 'missing'"
    else:
        raise AssertionError("no AttributeError")

    class Sub(velmorpy.Operand):
        pass

    assert Sub().__array_priority__ == 1000


def test_version_and_system():
    v = velmorpy.version()
    assert isinstance(v, tuple) and len(v) == 3 and all(type(x) is int for x in v)
    assert velmorpy.system("exit 3") != 0
    assert velmorpy.system("true") == 0
