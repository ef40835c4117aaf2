#include "module/finalize.hpp"

namespace velmorpy {

void call_dispose_unraisable(PyObject* self, const char* where) noexcept {
  PyObject *type, *value, *tb;
  PyErr_Fetch(&type, &value, &tb);
  PyObject* result = PyObject_CallMethod(self, "dispose", nullptr);
  if (result) {
    Py_DECREF(result);
  } else {
    PyObject* context = PyUnicode_FromString(where);
    PyErr_WriteUnraisable(context ? context : self);
    Py_XDECREF(context);
  }
  PyErr_Restore(type, value, tb);
}

}  // namespace velmorpy
