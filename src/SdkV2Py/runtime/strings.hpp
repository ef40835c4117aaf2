// Interned names, made once and kept for the life of the process.
#pragma once
#include <Python.h>

#include "runtime/errors.hpp"

namespace velmorpy {

inline PyObject* intern_forever(const char* text) {
  PyObject* s = PyUnicode_InternFromString(text);
  if (!s) throw_error_set();  // a throwing static initialiser is retried on the next use
  return s;
}

}  // namespace velmorpy

// A borrowed, interned str for a literal: VLM_STR("append"). Only inside bodies run
// by guarded() (it throws PyErrAlreadySet when the string cannot be made).
#define VLM_STR(literal) ([]() -> PyObject* { static PyObject* s_ = ::velmorpy::intern_forever(literal); return s_; }())
