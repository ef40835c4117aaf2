"""The module's function objects: calls, argument faults, introspection, binding, pickling."""
import gc
import inspect
import pickle
import weakref

import pytest

import velmorpy
from velmorpy import VelmorError


def test_no_argument_functions():
    with pytest.raises(TypeError, match=r"^version\(\) takes no arguments \(1 given\)$"):
        velmorpy.version(1)
    with pytest.raises(TypeError, match=r"^version\(\) takes no keyword arguments$"):
        velmorpy.version(x=1)


def test_introspection():
    f = velmorpy.version
    assert (f.__name__, f.__qualname__, f.__module__) == ("version", "version", "velmorpy")
    assert f.__globals__ is vars(velmorpy)
    assert f.__defaults__ is None and f.__kwdefaults__ is None and f.__closure__ is None
    assert f.__annotations__ == {}
    assert "SIGNATURE:" in f.__doc__ and "PURPOSE:" in f.__doc__
    assert f.func_doc is f.__doc__ and f.func_name == "version"
    assert str(inspect.signature(velmorpy.system)) == "(*args, **kwargs)"
    assert str(inspect.signature(velmorpy.version)) == "()"
    assert f.__code__.co_name == "version" and f.__code__.co_filename.startswith("velmorpy/")
    assert str(inspect.signature(VelmorError(1).__reduce__)) == "()"


def test_writable_attributes():
    f = velmorpy.system
    old = (f.__name__, f.__qualname__, f.__doc__)
    try:
        f.__name__ = "renamed"
        assert f.__name__ == "renamed"
        with pytest.raises(TypeError, match="^__name__ must be set to a string object$"):
            f.__name__ = 3
        with pytest.raises(TypeError):
            del f.__qualname__
        with pytest.raises(TypeError, match="^__defaults__ must be set to a tuple object$"):
            f.__defaults__ = [1]
        f.__doc__ = "doc"
        f.__text_signature__ = "system(command)"
        assert f.__dict__["__text_signature__"] == "system(command)"
        f.__annotations__ = {"x": int}
        assert f.__annotations__ == {"x": int}
        with pytest.raises(AttributeError):
            f.__code__ = None
    finally:
        f.__name__, f.__qualname__, f.__doc__ = old
        del f.__text_signature__
        f.__annotations__ = None


def test_defaults_are_read_at_call_time():
    init = VelmorError.__dict__["errno"].fget
    assert init(VelmorError(4)) == 4


def test_methods_bind_and_check_self():
    e = VelmorError(-3)
    reduce = VelmorError.__dict__["__reduce__"]
    assert reduce.__qualname__ == "VelmorError.__reduce__"
    bound = e.__reduce__
    assert inspect.ismethod(bound) and bound.__self__ is e and bound.__func__ is reduce
    assert VelmorError.__reduce__ is reduce
    assert reduce(e) == bound()
    with pytest.raises(TypeError, match=r"^unbound method VelmorError.__reduce__\(\) needs an argument$"):
        reduce()
    with pytest.raises(TypeError, match="doesn't apply to a 'int' object"):
        reduce(5)


def test_pickle_by_qualified_name():
    assert pickle.loads(pickle.dumps(velmorpy.version)) is velmorpy.version
    assert velmorpy.version.__reduce__() == "version"


def test_keywords_must_be_strings():
    with pytest.raises(TypeError, match="keywords must be strings"):
        velmorpy.system(**{1: 2})


def test_integer_arguments_take_integers_only():
    # One rule for every integer argument: what the interpreter takes as an index
    # (int, bool, NumPy integers); a float is refused, never truncated.
    import numpy as np
    m = velmorpy.Model()
    e = 1 * m.addVar()
    for call in (lambda v: m.setObjective(e, v), m.reset, lambda v: m.addPsdVar(dim=v), VelmorError):
        for bad in (1.5, 2.0, np.float64(1.0), None):
            with pytest.raises(TypeError, match="^an integer is required$"):
                call(bad)
    assert m.ModelSense == 1 and m.getPsdVars() == []          # nothing done before the refusal
    m.setObjective(e, np.int8(-1))
    m.reset(True)
    assert m.ModelSense == -1 and m.addPsdVar(dim=np.int64(2)).dim == 2
    with pytest.raises(OverflowError):
        m.reset(2 ** 31)
    m.dispose()


def test_defaults_stay_alive_while_the_body_runs(run_python):
    # The body converts `lb` first; the conversion drops the function's defaults,
    # whose floats the body reads next.
    out = run_python("""
        from velmorpy import Model
        m = Model()
        class Bound:
            def __float__(self):
                Model.addVar.__defaults__ = None
                return 0.5
        x = m.addVar(Bound())
        print(x.LB, x.UB, x.Obj, x.VType)
        try:
            m.addVar()
        except TypeError as e:
            print(e)
    """, PYTHONMALLOC="malloc_debug")
    assert out.returncode == 0, out.stderr
    assert out.stdout.splitlines() == ["0.5 1e+20 0.0 b'C'", "addVar() takes exactly 6 positional arguments (0 given)"]


def test_cycle_through_a_str_subclass_name_is_collected():
    class Name(str):
        pass

    for field in ("__name__", "__qualname__"):
        meta = velmorpy.Var.__getmetaclass__(None)
        f = meta.__dict__["__dir__"]                   # a function object of its own
        name = Name("renamed")
        name.function = f
        setattr(f, field, name)
        alive = weakref.ref(name)
        del meta, f, name
        gc.collect()
        assert alive() is None, field
