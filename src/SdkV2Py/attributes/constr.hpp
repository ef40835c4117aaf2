// Constr: the handle of one linear constraint of a model. Its slots, members and
// documentation are the handle family's, made from its row in handle.cpp.
#pragma once
#include <Python.h>

namespace velmorpy {

extern PyTypeObject ConstrType;

inline bool is_constr(PyObject* op) { return PyObject_TypeCheck(op, &ConstrType); }

}  // namespace velmorpy
