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


def test_integer_arguments_convert_as_their_parts_say():
    # Two conversions. The interpreter's integer conversion (its __int__: a float
    # truncates toward zero; no text is parsed) for the error code of VelmorError
    # and its state, Env's `empty`, reset, tuplelist.insert, addSOS's type and
    # cbBranch's way; integers only (int, bool, NumPy integers) for setObjective's
    # sense, addPsdVar's dim, the term indices and a reconstructor's checksum.
    import fractions
    import numpy as np
    from velmorpy import Column, Env, LinExpr, tuplelist
    m = velmorpy.Model()
    x, y = m.addVar(vtype="B"), m.addVar(vtype="B")
    e, q = 2 * x + 3 * y, x * x + 2 * y * y
    for value, code in ((3.9, 3), (-3.0, -3), (np.float64(-3), -3), (fractions.Fraction(-7, 2), -3), (True, 1)):
        assert VelmorError(value).errno == code and VelmorError(value).message == VelmorError(code).message
        assert velmorpy._unpickle_VelmorError(VelmorError, 0xd41db47, (value, None)).errno == code
    Env(None, 0.5).dispose()                        # empty_ is 0, while the truth value made it empty
    m.reset(1.9)
    with pytest.raises(VelmorError) as info:
        m.reset(2.5)                                # 2 reaches the library
    assert info.value.errno == velmorpy.VLM.Error.INVALID_ARGUMENT
    tl = tuplelist([(1, 2), (3, 4)])
    tl.insert(1.9, (5, 6))
    assert tl == [(1, 2), (5, 6), (3, 4)]
    assert m.getSOS(m.addSOS(1.7, [x, y]))[0] == 1
    with pytest.raises(RuntimeError, match="in callback function"):
        m.cbBranch(x, 0.5, 1.9)                     # converted before the turn is looked at
    truncating = (VelmorError, lambda v: Env(None, v), m.reset, lambda v: tl.insert(v, (0, 0)),
                  lambda v: m.addSOS(v, [x, y]), lambda v: m.cbBranch(x, 0.5, v),
                  lambda v: velmorpy._unpickle_VelmorError(VelmorError, 0xd41db47, (v, None)))
    for call in truncating:
        for bad in (None, 1j, [1]) + (("1", b"1") if call is not VelmorError else ()):   # VelmorError's texts
            with pytest.raises(TypeError, match="^an integer is required$"):
                call(bad)
        with pytest.raises(OverflowError):
            call(2 ** 31)
    with pytest.raises(ValueError):
        VelmorError(float("nan"))
    integers_only = (lambda v: m.setObjective(e, v), lambda v: m.addPsdVar(dim=v), e.getCoeff, e.getVar,
                     q.getCoeff, q.getVar2, Column([1.0], [m.addConstr(x <= 1)]).getCoeff,
                     lambda v: velmorpy.List([x])[v],
                     lambda v: velmorpy._unpickle_LinExpr(LinExpr, v, None))
    for call in integers_only:
        for bad in (0.0, 2.0, np.float64(0), fractions.Fraction(0), "0", None):
            with pytest.raises(TypeError, match="^an integer is required$"):
                call(bad)
    assert m.ModelSense == 1 and m.getPsdVars() == []          # nothing done before the refusals
    m.setObjective(e, np.int8(-1))
    assert m.ModelSense == -1 and m.addPsdVar(dim=np.int64(2)).dim == 2
    assert e.getCoeff(np.int32(1)) == 3.0 and q.getVar2(True) is y and velmorpy.List([x])[np.uint8(0)] is x
    assert type(velmorpy._unpickle_LinExpr(LinExpr, np.int64(0x82fd631), None)) is LinExpr
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


def documented_fields(cls):
    """The documented-member listing, step by step in Python."""
    out = []
    for name in type.__dir__(cls):
        value = getattr(cls, name)
        if name not in cls.__dict__ or hasattr(super(cls), name):
            continue
        if getattr(value, "__text_signature__", None) == "__internal__":
            continue
        if (isinstance(value, property) or hasattr(value, "__call__")) and value.__doc__:
            out.append(name)
    return out


def test_texts_signatures_and_listings():
    f = velmorpy.version
    with pytest.raises(AttributeError, match="^readonly attribute$"):
        f.__module__ = "elsewhere"
    with pytest.raises(AttributeError, match="^readonly attribute$"):
        del f.__module__
    assert f.__module__ == "velmorpy"

    Model = velmorpy.Model
    assert Model.cbGet.__text_signature__ == "cbGet(self, what)"
    assert Model.cbCut.__text_signature__ == "cbCut(self, lhs, sense, rhs)"
    assert str(inspect.signature(Model.cbGet)) == "(self, what)"      # the text signature, not the code
    assert Model.cbGet.__code__.co_varnames[:3] == ("self", "what", "index") and Model.cbGet.__defaults__ == (None,)
    assert Model.cbCut.__code__.co_argcount == 5 and Model.cbCut.__defaults__ == (None,)

    # The interpreter's wrappers of a class's own slots are listed like its methods.
    classes = [getattr(velmorpy, name) for name in velmorpy.__all__]
    classes = [c for c in classes if isinstance(c, type) and "__getmetaclass__" in c.__dict__]
    assert len(classes) == 20
    for cls in classes:
        assert cls.__getmetaclass__(None).__dir__(None) == documented_fields(cls), cls
    listing = lambda cls: cls.__getmetaclass__(None).__dir__(None)
    assert listing(velmorpy.TempConstr) == ["__bool__", "__rshift__", "__rrshift__"]
    assert listing(velmorpy.PsdVar)[:2] == ["__mul__", "sameAs"] and listing(velmorpy.Var)[0] == "sameAs"
    assert listing(velmorpy.PsdExpr)[:7] == ["__add__", "__sub__", "__mul__", "__neg__", "__iadd__", "__isub__",
                                            "__imul__"]
    assert {"__iadd__", "__contains__", "select"} <= set(listing(velmorpy.tuplelist))
    assert not {"__init__", "__repr__", "__str__", "__eq__", "__del__"} & set(listing(velmorpy.PsdExpr) +
                                                                            listing(velmorpy.Env))

    # A handle's __getattr__ is its getAttr, with the method's argument checks.
    m = velmorpy.Model()
    x = m.addVar(ub=2.0, name="x")
    assert x.__getattr__("UB") == 2.0
    with pytest.raises(TypeError, match=r"^Argument 'attrname' has incorrect type \(expected str, got int\)$"):
        x.__getattr__(5)
    with pytest.raises(TypeError, match=r"^__getattr__\(\) takes exactly 1 positional argument \(0 given\)$"):
        x.__getattr__()
    for cls in (velmorpy.Constr, velmorpy.SOS, velmorpy.GenConstr, velmorpy.PsdVar, velmorpy.PsdConstr):
        with pytest.raises(TypeError, match=r"^Argument 'attrname' has incorrect type \(expected str, got int\)$"):
            cls().__getattr__(5)
