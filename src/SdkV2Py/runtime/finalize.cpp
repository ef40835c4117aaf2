// The finalisers' dispose calls, which report a failure as unraisable.
#include "runtime/finalize.hpp"

#include "runtime/errors.hpp"
#include "runtime/holder.hpp"

namespace velmorpy {

namespace {

void write_unraisable(PyObject* fallback, const char* where) noexcept {
  PyObject* context = PyUnicode_FromString(where);
  PyErr_WriteUnraisable(context ? context : fallback);
  Py_XDECREF(context);
}

}  // namespace

void call_dispose_unraisable(PyObject* self, const char* where) noexcept {
  PyObject *type, *value, *tb;
  PyErr_Fetch(&type, &value, &tb);
  PyObject* result = PyObject_CallMethod(self, "dispose", nullptr);
  if (result)
    Py_DECREF(result);
  else
    write_unraisable(self, where);
  PyErr_Restore(type, value, tb);
}

void dispose_holder_unraisable(PyObject* holder, const char* where) noexcept {
  if (!holder_alive(holder)) return;
  PyObject *type, *value, *tb;
  PyErr_Fetch(&type, &value, &tb);
  if (guarded_int([&] { dispose_holder(holder); return 0; }) < 0) write_unraisable(nullptr, where);
  PyErr_Restore(type, value, tb);
}

}  // namespace velmorpy
