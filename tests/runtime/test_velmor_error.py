"""VelmorError: construction from codes and texts, read-only fields, pickling."""
import pickle

import pytest

from velmorpy import VelmorError


def explain(code):
    return VelmorError(code).message


def test_from_code_uses_the_library_text():
    e = VelmorError(-3)
    assert e.errno == -3 and e.message == str(e) and e.args == (e.message,)
    assert e.message and e.message != explain(-5)      # -5 has no row: a generic text
    assert explain(-5) == explain(12345)
    assert VelmorError(True).errno == 1


def test_from_text():
    assert (VelmorError("boom").errno, VelmorError("boom").message) == (-1, "boom")
    assert VelmorError("caf\u00e9".encode()).message == "caf\u00e9"
    with pytest.raises(UnicodeDecodeError):
        VelmorError(b"\xff\xfe")
    e = VelmorError("first", "second")      # the second text is ignored but must still be a str
    assert (e.errno, e.message) == (-1, "first")
    e = VelmorError(7, "own text")
    assert (e.errno, e.message) == (7, "own text")


def test_argument_faults():
    with pytest.raises(TypeError, match=r"^Argument 'arg2' has incorrect type \(expected str, got bytes\)$"):
        VelmorError(1, b"x")
    with pytest.raises(OverflowError):
        VelmorError(2 ** 40)
    with pytest.raises(OverflowError):
        VelmorError(2 ** 40, "text")
    with pytest.raises(TypeError, match="^an integer is required$"):
        VelmorError(object())

    class Text(str):
        pass

    with pytest.raises(TypeError, match=r"^Expected unicode, got Text$"):
        VelmorError(Text("x"))
    with pytest.raises(TypeError, match=r"^__init__\(\) takes at least 1 positional argument \(0 given\)$"):
        VelmorError()
    with pytest.raises(TypeError, match=r"^__init__\(\) takes at most 2 positional arguments \(3 given\)$"):
        VelmorError(1, "a", "b")
    with pytest.raises(TypeError, match=r"^__init__\(\) got multiple values for keyword argument 'arg1'$"):
        VelmorError(1, arg1=2)
    with pytest.raises(TypeError, match=r"^__init__\(\) got an unexpected keyword argument 'code'$"):
        VelmorError(code=1)
    assert VelmorError(arg2="t", arg1=5).message == "t"


def test_fields_are_read_only_and_documented():
    e = VelmorError(-2)
    for name in ("errno", "message"):
        with pytest.raises(TypeError, match="^Value is readonly$"):
            setattr(e, name, 1)
    assert e.errno == -2
    assert "The error code corresponding to the current exception." in VelmorError.errno.__doc__
    assert "Text description corresponding to the current exception" in VelmorError.message.__doc__
    raw = VelmorError.__new__(VelmorError)
    assert raw.errno == 0 and raw.message is None


def test_pickle_keeps_code_and_text():
    for e in (VelmorError(-3), VelmorError("text"), VelmorError(5, "own")):
        e.extra = [1]
        back = pickle.loads(pickle.dumps(e))
        assert type(back) is VelmorError
        assert (back.errno, back.message, back.args, back.extra) == (e.errno, e.message, e.args, [1])


def test_subclass_and_catching():
    class Mine(VelmorError):
        pass

    with pytest.raises(VelmorError) as info:
        raise Mine(-1000)
    assert info.value.errno == -1000 and isinstance(info.value, Exception)


def test_metaclass_lists_documented_members():
    mc = VelmorError.__getmetaclass__(VelmorError(1))
    assert mc.__name__ == "MetaClass" and issubclass(mc, type)
    assert mc.__qualname__ == "__getmetaclass__.<locals>.MetaClass"
    assert mc.__dir__(None) == ["errno", "message"]
    assert VelmorError.__getmetaclass__(None) is not mc


def test_construction_does_not_leak(leaks):
    def construct():
        VelmorError(-3)
        VelmorError("text", "other")
    assert not leaks(construct)
