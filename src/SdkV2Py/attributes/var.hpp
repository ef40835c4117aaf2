// Var: the handle of one variable of a model. Its slots, members and
// documentation are the handle family's, made from its row in handle.cpp.
#pragma once
#include <Python.h>

namespace velmorpy {

extern PyTypeObject VarType;

inline bool is_var(PyObject* op) { return PyObject_TypeCheck(op, &VarType); }

}  // namespace velmorpy
