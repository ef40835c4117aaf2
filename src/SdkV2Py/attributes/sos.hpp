// SOS: the handle of one SOS constraint of a model. Its slots, members and
// documentation are the handle family's, made from its row in handle.cpp.
#pragma once
#include <Python.h>

namespace velmorpy {

extern PyTypeObject SOSType;

inline bool is_sos(PyObject* op) { return PyObject_TypeCheck(op, &SOSType); }

}  // namespace velmorpy
