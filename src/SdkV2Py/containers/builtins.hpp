// Helpers for the containers built on the interpreter's list and dict.
#pragma once
#include <Python.h>

#include "runtime/errors.hpp"

namespace velmorpy {

// base.name(*args) with args[0] the instance, found on `base` itself so that a
// subclass's override of `name` is never reached again: an override drops its
// index first, then hands the call on unchanged, so argument handling and
// messages stay the base's. `kwnames` names the keyword values that follow the
// nargs positionals, as in a vectorcall.
inline Ref call_base_method(PyTypeObject* base, PyObject* name, PyObject* const* args, size_t nargs,
                            PyObject* kwnames = nullptr) {
  PyObject* descr = _PyType_Lookup(base, name);  // borrowed from the base's dictionary
  if (!descr) raise_format(PyExc_AttributeError, "type object '%.200s' has no attribute '%U'", base->tp_name, name);
  Ref hold = Ref::borrow(descr);
  return take(PyObject_Vectorcall(descr, args, nargs, kwnames));
}

// As above, with the keyword arguments in a dict (or null).
inline Ref call_base_method_dict(PyTypeObject* base, PyObject* name, PyObject* const* args, size_t nargs,
                                 PyObject* kwargs) {
  PyObject* descr = _PyType_Lookup(base, name);
  if (!descr) raise_format(PyExc_AttributeError, "type object '%.200s' has no attribute '%U'", base->tp_name, name);
  Ref hold = Ref::borrow(descr);
  return take(PyObject_VectorcallDict(descr, args, nargs, kwargs));
}

// Calls body(key, value) for each pair of an exact dict, in its order, holding
// both while the body runs (it may run arbitrary code). A change of the dict's
// size between two pairs raises RuntimeError, as the interpreter's own dict
// iteration does.
template <class Body>
void for_each_dict_item(PyObject* dict, Body&& body) {
  const Py_ssize_t size = PyDict_GET_SIZE(dict);
  Py_ssize_t pos = 0;
  PyObject *k, *v;
  for (;;) {
    if (PyDict_GET_SIZE(dict) != size) raise(PyExc_RuntimeError, "dictionary changed size during iteration");
    if (!PyDict_Next(dict, &pos, &k, &v)) break;
    Ref key = Ref::borrow(k);
    Ref value = Ref::borrow(v);
    body(key.get(), value.get());
  }
}

}  // namespace velmorpy
