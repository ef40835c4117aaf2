// VelmorError's record and type object: what the error boundary (errors.hpp)
// raises for a library code. The type object is stored here; start-up fills
// its slots and members (runtime/velmor_error.cpp) before any error can be
// raised.
#pragma once
#include <Python.h>

namespace velmorpy {

struct VelmorErrorObject {
  PyBaseExceptionObject base;
  int errno_;          // the library's code; -1 when built from a text; 0 before __init__
  PyObject* message_;  // str; None before __init__
};

extern PyTypeObject VelmorErrorType;

}  // namespace velmorpy
