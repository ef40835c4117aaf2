// The internal decorators, the documented-member listing and __getmetaclass__.
#include "runtime/decorators.hpp"

#include "runtime/errors.hpp"
#include "runtime/function.hpp"
#include "runtime/members.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

namespace {

// fget(self): the closure holds the decorated function.
PyObject* constant_fget(PyObject* f, const Args& a) { return PyObject_CallOneArg(f, a[0]); }

PyObject* constant_fset(PyObject*, const Args&) {
  PyErr_SetString(PyExc_TypeError, "Value is readonly");
  return nullptr;
}

const FunctionDef kFget = {"fget", "self", constant_fget, Kind::Function, nullptr, __LINE__};
const FunctionDef kFset = {"fset", "self, value", constant_fset, Kind::Function, nullptr, __LINE__};

// `name` looked up on `obj`, or an empty Ref when the look-up fails with
// AttributeError; any other exception propagates. Throws.
Ref lookup_attr(PyObject* obj, PyObject* name) {
  PyObject* v = nullptr;
  check(_PyObject_LookupAttr(obj, name, &v));
  return Ref::steal(v);
}

bool has_attr(PyObject* obj, PyObject* name) { return static_cast<bool>(lookup_attr(obj, name)); }

bool has_docstring(PyObject* doc) {
  if (doc == Py_None) return false;
  const Py_ssize_t n = PyObject_Length(doc);
  if (n < 0) throw_error_set();
  return n >= 1;
}

PyObject* metaclass_dir(PyObject* owner, const Args&) { return get_documented_fields(owner).release(); }

const FunctionDef kMetaDir = {"__dir__", "self", metaclass_dir, Kind::Function, nullptr, __LINE__};

PyObject* getmetaclass(PyObject* owner, const Args&) {
  Ref qual = take(PyUnicode_FromString("__getmetaclass__.<locals>.MetaClass.__dir__"));
  Ref dir = make_function(kMetaDir, qual.get(), nullptr, owner, __FILE__);
  Ref ns = take(Py_BuildValue("{s:O,s:s,s:s}", "__dir__", dir.get(), "__module__", "velmorpy", "__qualname__",
                              "__getmetaclass__.<locals>.MetaClass"));
  return PyObject_CallFunction(reinterpret_cast<PyObject*>(&PyType_Type), "s(O)O", "MetaClass",
                               reinterpret_cast<PyObject*>(&PyType_Type), ns.get());
}

const FunctionDef kGetMetaclass = {"__getmetaclass__", "self", getmetaclass, Kind::Function, nullptr, __LINE__};

}  // namespace

Ref documented_constant(PyObject* doc, PyObject* f) {
  Ref fget = make_function(kFget, nullptr, nullptr, f, __FILE__);
  Ref fset = make_function(kFset, nullptr, nullptr, nullptr, __FILE__);
  return take(PyObject_CallFunctionObjArgs(reinterpret_cast<PyObject*>(&PyProperty_Type), fget.get(), fset.get(),
                                           Py_None, doc, nullptr));
}

Ref constant(PyObject* f) {
  Ref doc = take(PyObject_GetAttr(f, VLM_STR("__doc__")));
  return documented_constant(doc.get(), f);
}

void signature(PyObject* f, const char* args) {
  Ref name = take(PyObject_GetAttr(f, VLM_STR("__name__")));
  Ref text = take(PyUnicode_FromFormat("%U(%s)", name.get(), args));
  check(PyObject_SetAttr(f, VLM_STR("__text_signature__"), text.get()));
}

void internal(PyObject* f) {
  check(PyObject_SetAttr(f, VLM_STR("__text_signature__"), VLM_STR("__internal__")));
  Ref empty = take(PyUnicode_FromString(""));
  check(PyObject_SetAttr(f, VLM_STR("__doc__"), empty.get()));
}

Ref get_documented_fields(PyObject* cls) {
  Ref names = take(PyObject_CallMethod(reinterpret_cast<PyObject*>(&PyType_Type), "__dir__", "O", cls));
  Ref own = take(PyObject_GetAttr(cls, VLM_STR("__dict__")));
  Ref sup = take(PyObject_CallOneArg(reinterpret_cast<PyObject*>(&PySuper_Type), cls));
  Ref out = take(PyList_New(0));
  Ref iter = take(PyObject_GetIter(names.get()));
  while (PyObject* item = PyIter_Next(iter.get())) {
    Ref name = Ref::steal(item);
    Ref value = take(PyObject_GetAttr(cls, name.get()));
    if (!check(PySequence_Contains(own.get(), name.get()))) continue;
    if (has_attr(sup.get(), name.get())) continue;
    Ref sig = lookup_attr(value.get(), VLM_STR("__text_signature__"));
    if (sig && PyUnicode_Check(sig.get()) && PyUnicode_CompareWithASCIIString(sig.get(), "__internal__") == 0)
      continue;
    bool documented = false;
    if (PyObject_TypeCheck(value.get(), &PyProperty_Type) || has_attr(value.get(), VLM_STR("__call__"))) {
      Ref doc = take(PyObject_GetAttr(value.get(), VLM_STR("__doc__")));
      documented = has_docstring(doc.get());
    }
    if (documented) check(PyList_Append(out.get(), name.get()));
  }
  if (PyErr_Occurred()) throw_error_set();
  return out;
}

void bind_getmetaclass(PyTypeObject* owner, const char* file) {
  Ref qual = take(PyUnicode_FromFormat("%s.__getmetaclass__", short_name(owner)));
  Ref fn = make_function(kGetMetaclass, qual.get(), nullptr, reinterpret_cast<PyObject*>(owner), file);
  set_class_attr(owner, "__getmetaclass__", fn.get());
}

}  // namespace velmorpy
