// VLM: its class, its scalar constants and table members, and its one instance.
#include "module/vlm_constants.hpp"

#include <velmor.h>

#include "runtime/constants.hpp"
#include "runtime/decorators.hpp"
#include "runtime/errors.hpp"
#include "runtime/function.hpp"
#include "runtime/state.hpp"

namespace velmorpy {

namespace {

// The functions of the class body return the module global as it is at the
// moment of the read.
PyObject* vlm_attr(PyObject*, const Args&) { return module_global("attr").release(); }
PyObject* vlm_param(PyObject*, const Args&) { return module_global("param").release(); }
PyObject* vlm_callback(PyObject*, const Args&) { return module_global("callback").release(); }

enum class Wrap : unsigned char {
  Documented,  // documented_constant with the pydoc rendering of `rendered`
  Constant,    // constant: read-only, no docstring
  Plain,       // stored as it is, so reading it gives a bound method
};

struct BodyMember {
  FunctionDef def;
  Wrap wrap;
  const char* rendered;  // the table class whose rendering documents a Documented member
};

// The class body, in namespace order.
const BodyMember kVlmBody[] = {
    {{"Attr", "self", vlm_attr, Kind::Function, nullptr, __LINE__}, Wrap::Documented, "AttrConstClass"},
    {{"attr", "self", vlm_attr, Kind::Function, nullptr, __LINE__}, Wrap::Constant, nullptr},
    {{"Param", "self", vlm_param, Kind::Function, nullptr, __LINE__}, Wrap::Documented, "ParamConstClass"},
    {{"param", "self", vlm_param, Kind::Function, nullptr, __LINE__}, Wrap::Constant, nullptr},
    {{"Callback", "self", vlm_callback, Kind::Function, nullptr, __LINE__}, Wrap::Documented, "CallbackClass"},
    {{"callback", "self", vlm_callback, Kind::Function, nullptr, __LINE__}, Wrap::Plain, nullptr},
};

// pydoc.render_doc(cls) with the interpreter's defaults, rendered once.
Ref render_doc(const char* table_class) {
  Ref pydoc = module_global("pydoc");
  Ref render = take(PyObject_GetAttrString(pydoc.get(), "render_doc"));
  Ref cls = module_global(table_class);
  return take(PyObject_CallOneArg(render.get(), cls.get()));
}

Ref make_body_member(const BodyMember& m) {
  Ref qualname = take(PyUnicode_FromFormat("VLM.%s", m.def.name));
  Ref fn = make_function(m.def, qualname.get(), nullptr, nullptr, __FILE__);
  switch (m.wrap) {
    case Wrap::Documented: {
      Ref doc = render_doc(m.rendered);
      return documented_constant(doc.get(), fn.get());
    }
    case Wrap::Constant:
      return constant(fn.get());
    case Wrap::Plain:
      break;
  }
  return fn;
}

void set_constant(PyObject* cls, const char* name, Ref value) { check(PyObject_SetAttrString(cls, name, value.get())); }

Ref letter(char c) { return take(PyUnicode_FromStringAndSize(&c, 1)); }

}  // namespace

void make_vlm_class() {
  Ref ns = take(Py_BuildValue("{s:s,s:s}", "__module__", "velmorpy", "__qualname__", "VLM"));
  for (const BodyMember& m : kVlmBody) {
    Ref member = make_body_member(m);
    check(PyDict_SetItemString(ns.get(), m.def.name, member.get()));
  }
  // type(...) itself: no metaclass is derived from bases and no __prepare__ is consulted.
  Ref cls = take(PyObject_CallFunction(reinterpret_cast<PyObject*>(&PyType_Type), "s()O", "VLM", ns.get()));
  check(PyDict_SetItemString(state().dict, "VLM", cls.get()));

  PyObject* c = cls.get();
  set_constant(c, "UNDEFINED", take(PyFloat_FromDouble(VLM_UNDEFINED)));
  set_constant(c, "INFINITY", take(PyFloat_FromDouble(VLM_INFINITY)));
  set_constant(c, "GENCONSTR_INDICATOR", take(PyLong_FromLong(VLM_GENCONSTR_INDICATOR)));
  set_constant(c, "CONTINUOUS", letter(VLM_CONTINUOUS));
  set_constant(c, "BINARY", letter(VLM_BINARY));
  set_constant(c, "INTEGER", letter(VLM_INTEGER));
  set_constant(c, "SEMICONT", letter(VLM_SEMICONT));
  set_constant(c, "SEMIINT", letter(VLM_SEMIINT));
  set_constant(c, "EQUAL", letter(VLM_EQUAL));
  set_constant(c, "LESS_EQUAL", letter(VLM_LESS_EQUAL));
  set_constant(c, "GREATER_EQUAL", letter(VLM_GREATER_EQUAL));
  set_constant(c, "MINIMIZE", take(PyLong_FromLong(VLM_MINIMIZE)));
  set_constant(c, "MAXIMIZE", take(PyLong_FromLong(VLM_MAXIMIZE)));
  set_constant(c, "SOS_TYPE1", take(PyLong_FromLong(VLM_SOS_TYPE1)));
  set_constant(c, "SOS_TYPE2", take(PyLong_FromLong(VLM_SOS_TYPE2)));
  set_constant(c, "MAXINT", take(PyLong_FromLong(kMaxInt)));
  set_constant(c, "MAX_NAMELEN", take(PyLong_FromLong(VLM_MAX_NAMELEN)));
  set_constant(c, "MAX_STRLEN", take(PyLong_FromLong(VLM_MAX_STRLEN)));
}

void bind_vlm_instance() {
  Ref cls = module_global("VLM");
  Ref instance = take(PyObject_CallNoArgs(cls.get()));
  check(PyDict_SetItemString(state().dict, "VLM", instance.get()));
}

}  // namespace velmorpy
