// SOS: the handle of one SOS constraint of a model.
#pragma once
#include <Python.h>

namespace velmorpy {

extern PyTypeObject SOSType;
void prepare_sos();
void bind_sos_namespace();

inline bool is_sos(PyObject* op) { return PyObject_TypeCheck(op, &SOSType); }

}  // namespace velmorpy
