// is_number and number_value.
#include "runtime/numbers.hpp"

#include "runtime/numpy.hpp"

#include "runtime/errors.hpp"
#include "runtime/state.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

bool is_number(PyObject* o) {
  if (PyFloat_Check(o) || PyLong_Check(o) || PyComplex_CheckExact(o)) return true;
  if (PyArray_IsScalar(o, Number) || PyArray_IsScalar(o, Bool)) return true;
  if (o == Py_None || PyUnicode_Check(o) || PyList_CheckExact(o) || PyTuple_CheckExact(o) || PyDict_CheckExact(o) ||
      PyArray_Check(o))
    return false;
  Ref numbers = module_global("numbers");
  Ref number = take(PyObject_GetAttr(numbers.get(), VLM_STR("Number")));
  return check(PyObject_IsInstance(o, number.get())) != 0;
}

double number_value(PyObject* o) {
  if (PyFloat_CheckExact(o)) return PyFloat_AS_DOUBLE(o);
  const double v = PyFloat_AsDouble(o);
  if (v == -1.0 && PyErr_Occurred()) throw_error_set();
  return v;
}

}  // namespace velmorpy
