"""The constants object VLM."""
import math
import os
import pydoc
import subprocess
import sys
import types

import pytest

import velmorpy
from velmorpy import VLM

VLMClass = type(VLM)


def test_one_line_program():
    env = dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(velmorpy.__file__)))
    out = subprocess.run(
        [sys.executable, "-c",
         "from velmorpy import VLM; print(VLM.Attr.SPX_NumIters, VLM.Param.MIP_GapRel, VLM.Callback.MIPNODE, "
         "VLM.Error.NOMEMORY, VLM.NOMEMORY, VLM.MAXINT, VLM.INFINITY, VLM.OPTIMAL)"],
        env=env, cwd="/", capture_output=True, text=True, check=True)
    assert out.stdout == "SPX/NumIters MIP/GapRel 5 -2 -2 2000000000 1e+20 1\n"


def test_vlm_is_the_one_instance_of_a_plain_class():
    assert not isinstance(VLM, type)
    assert VLMClass.__name__ == VLMClass.__qualname__ == "VLM"
    assert VLMClass.__module__ == "velmorpy"
    assert VLMClass.__bases__ == (object,) and type(VLMClass) is type
    assert VLMClass.__doc__ is None
    assert velmorpy.VLM is VLM
    assert not any(v is VLMClass for v in vars(velmorpy).values())
    body = [k for k in vars(VLMClass) if k in ("Attr", "attr", "Param", "param", "Callback", "callback")]
    assert body == ["Attr", "attr", "Param", "param", "Callback", "callback"]


def test_table_objects_and_aliases():
    assert VLM.Attr is VLM.attr is velmorpy.attr
    assert VLM.Param is VLM.param is velmorpy.param
    assert VLM.Callback is VLM.callback() is velmorpy.callback
    assert VLM.Error is VLM.error
    assert VLM.Status is VLM.status
    # callback is a plain method: read without a call it is bound to VLM.
    assert isinstance(VLM.callback, types.MethodType) and VLM.callback.__self__ is VLM
    assert VLM.Callback.MIPSOL == VLM.callback().MIPSOL == 4


def test_callback_takes_no_argument():
    with pytest.raises(TypeError) as e:
        VLM.callback(1)
    assert str(e.value) == "callback() takes exactly 1 positional argument (2 given)"


def test_scalar_constants():
    expected = [
        ("UNDEFINED", float, -1.23457e+88), ("INFINITY", float, 1e20), ("GENCONSTR_INDICATOR", int, 6),
        ("CONTINUOUS", str, "C"), ("BINARY", str, "B"), ("INTEGER", str, "I"), ("SEMICONT", str, "S"),
        ("SEMIINT", str, "N"), ("EQUAL", str, "="), ("LESS_EQUAL", str, "<"), ("GREATER_EQUAL", str, ">"),
        ("MINIMIZE", int, 1), ("MAXIMIZE", int, -1), ("SOS_TYPE1", int, 1), ("SOS_TYPE2", int, 2),
        ("MAXINT", int, 2000000000), ("MAX_NAMELEN", int, 255), ("MAX_STRLEN", int, 512)]
    for name, typ, value in expected:
        assert type(getattr(VLM, name)) is typ, name
        assert getattr(VLM, name) == value, name
    assert math.isfinite(VLM.INFINITY)
    # Set in this order, right after the class body.
    names = list(vars(VLMClass))
    start = names.index("UNDEFINED")
    assert names[start:start + 18] == [n for n, _, _ in expected]


@pytest.mark.parametrize("member", ["Attr", "attr", "Param", "param", "Callback"])
def test_table_members_are_readonly(member):
    before = getattr(VLM, member)
    with pytest.raises(TypeError) as e:
        setattr(VLM, member, 1)
    assert str(e.value) == "Value is readonly"
    with pytest.raises(AttributeError):
        delattr(VLM, member)
    assert getattr(VLM, member) is before
    assert member not in vars(VLM)


def test_plain_members_can_be_shadowed_on_the_instance():
    try:
        VLM.INFINITY = 5
        VLM.Error = None
        assert VLM.INFINITY == 5 and VLM.Error is None
        assert VLMClass.INFINITY == 1e20 and VLMClass.Error is VLM.error
    finally:
        del VLM.INFINITY
        del VLM.Error
    assert VLM.INFINITY == 1e20 and VLM.Error is VLM.error
    assert vars(VLM) == {}


def test_second_instance_sees_the_same_members():
    other = VLMClass()
    assert other is not VLM
    for name in ("Attr", "Param", "Callback", "Error", "Status", "INFINITY", "OPTIMAL", "NOMEMORY"):
        assert getattr(other, name) is getattr(VLM, name)


def test_getters_read_the_module_global_at_each_read(monkeypatch):
    sentinel = object()
    monkeypatch.setattr(velmorpy, "attr", sentinel)
    assert VLM.Attr is sentinel and VLM.attr is sentinel
    monkeypatch.delattr(velmorpy, "callback")
    with pytest.raises(NameError) as e:
        VLM.callback()
    assert str(e.value) == "name 'callback' is not defined"
    with pytest.raises(NameError):
        VLM.Callback


@pytest.mark.parametrize("member, cls", [
    ("Attr", "AttrConstClass"), ("Param", "ParamConstClass"), ("Callback", "CallbackClass")])
def test_documented_members_carry_the_pydoc_rendering(member, cls):
    rendered = pydoc.render_doc(getattr(velmorpy, cls))
    assert getattr(VLMClass, member).__doc__ == rendered
    # The rendering lists the members with their docstrings.
    first = next(p for p in vars(getattr(velmorpy, cls)).values() if isinstance(p, property))
    assert first.__doc__.split("\n")[1] in rendered


def test_undocumented_members():
    assert VLMClass.attr.__doc__ is None
    assert VLMClass.param.__doc__ is None
    assert VLMClass.callback.__doc__ is None


def test_help_of_a_table_object_lists_its_members():
    text = pydoc.render_doc(VLM.Callback, renderer=pydoc.plaintext)
    assert "Code = 309\n |      Desc: Total number of nodes unexplored nodes." in text


def test_reading_members_does_not_leak(leaks):
    def read():
        VLM.Attr.X, VLM.Param.MaxTime, VLM.Callback.MIP_SOL, VLM.callback(), VLM.Error.NOMEMORY, VLM.INFINITY
        try:
            VLM.Attr = 1
        except TypeError:
            pass
    assert not leaks(read)


def test_failure_in_the_constants_stage_ends_the_import_and_a_retry_succeeds():
    script = r"""
import sys, traceback, types, pydoc
fake = types.ModuleType("pydoc")
def render_doc(thing):
    raise ValueError("no rendering")
fake.render_doc = render_doc
sys.modules["pydoc"] = fake
try:
    import velmorpy
except ValueError as e:
    names = [f.name for f in traceback.extract_tb(e.__traceback__)]
    print("failed", str(e), "init velmorpy" in names)
sys.modules["pydoc"] = pydoc
sys.modules.pop("velmorpy", None)
import velmorpy
print(velmorpy.VLM.Attr.X, velmorpy.VLM.Param.MaxTime, type(velmorpy.VLM).Attr.__doc__ == pydoc.render_doc(velmorpy.AttrConstClass))
"""
    env = dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(velmorpy.__file__)))
    out = subprocess.run([sys.executable, "-c", script], env=env, cwd="/", capture_output=True, text=True, check=True)
    assert out.stdout == "failed no rendering True\nX MaxTime True\n"
