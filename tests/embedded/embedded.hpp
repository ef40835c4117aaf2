// Helpers for tests that call the module's C++ functions directly. main()
// starts the interpreter and imports velmorpy before any test runs.
#pragma once
#include <Python.h>

#include <string>

#include "runtime/errors.hpp"
#include "runtime/ref.hpp"

namespace velmorpy::testing {

inline Ref str(const char* s) { return Ref::steal(PyUnicode_FromString(s)); }

// The UTF-8 text of a str.
inline std::string text(PyObject* s) {
  const char* t = s ? PyUnicode_AsUTF8(s) : nullptr;
  return t ? std::string(t) : std::string("<null>");
}

// Runs `body`; on a C++ exception with a Python error set, answers the error's
// class name (and clears it), otherwise "".
template <class F>
std::string raised(F&& body) {
  try {
    body();
  } catch (const PyErrAlreadySet&) {
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    std::string name = reinterpret_cast<PyTypeObject*>(type)->tp_name;
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(tb);
    return name;
  }
  return "";
}

// Runs `body`; on a C++ exception with a Python error set, answers the
// error's message (and clears it), otherwise "".
template <class F>
std::string raised_message(F&& body) {
  try {
    body();
  } catch (const PyErrAlreadySet&) {
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    Ref message = Ref::steal(PyObject_Str(value));
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(tb);
    return text(message.get());
  }
  return "";
}

// The pending error as "<exception class>: <message>", cleared.
inline std::string pending_error() {
  PyObject *type, *value, *tb;
  PyErr_Fetch(&type, &value, &tb);
  PyErr_NormalizeException(&type, &value, &tb);
  Ref message = Ref::steal(PyObject_Str(value));
  std::string out = std::string(reinterpret_cast<PyTypeObject*>(type)->tp_name) + ": " + text(message.get());
  Py_XDECREF(type);
  Py_XDECREF(value);
  Py_XDECREF(tb);
  return out;
}

// Runs `code` in `globals`: "" when it runs to its end, else the error as
// pending_error() gives it.
inline std::string run_code(PyObject* globals, const char* code) {
  PyObject* result = PyRun_String(code, Py_file_input, globals, globals);
  if (!result) return pending_error();
  Py_DECREF(result);
  return "";
}

// A namespace for run_code(): builtins, numpy as np, scipy.sparse as sp, velmorpy.
inline Ref python_namespace() {
  Ref globals = Ref::steal(PyDict_New());
  PyDict_SetItemString(globals.get(), "__builtins__", PyEval_GetBuiltins());
  run_code(globals.get(), "import numpy as np\nimport scipy.sparse as sp\nimport velmorpy\nfrom velmorpy import *\n");
  return globals;
}

// Collects what Python code prints to sys.stdout while `body` runs.
template <class F>
std::string captured_stdout(F&& body) {
  Ref io = Ref::steal(PyImport_ImportModule("io"));
  Ref buffer = Ref::steal(PyObject_CallMethod(io.get(), "StringIO", nullptr));
  Ref saved = Ref::borrow(PySys_GetObject("stdout"));
  PySys_SetObject("stdout", buffer.get());
  try {
    body();
  } catch (...) {
    PySys_SetObject("stdout", saved.get());
    throw;
  }
  PySys_SetObject("stdout", saved.get());
  Ref value = Ref::steal(PyObject_CallMethod(buffer.get(), "getvalue", nullptr));
  return text(value.get());
}

}  // namespace velmorpy::testing
