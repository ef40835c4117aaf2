// The module record and module_global.
#include "runtime/state.hpp"

#include "runtime/errors.hpp"

namespace velmorpy {

ModuleState& state() noexcept {
  static ModuleState s;
  return s;
}

Ref module_global(const char* name) {
  Ref key = take(PyUnicode_FromString(name));
  if (state().dict) {
    if (PyObject* v = PyDict_GetItemWithError(state().dict, key.get())) return Ref::borrow(v);
    if (PyErr_Occurred()) throw_error_set();
  }
  if (state().builtins) {
    if (PyObject* v = PyObject_GetAttr(state().builtins, key.get())) return Ref::steal(v);
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw_error_set();
    PyErr_Clear();
  }
  raise_format(PyExc_NameError, "name '%U' is not defined", key.get());
}

}  // namespace velmorpy
