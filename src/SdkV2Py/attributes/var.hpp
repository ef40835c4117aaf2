// Var: the handle of one variable of a model.
#pragma once
#include <Python.h>

namespace velmorpy {

extern PyTypeObject VarType;
void prepare_var();
void bind_var_namespace();

inline bool is_var(PyObject* op) { return PyObject_TypeCheck(op, &VarType); }

}  // namespace velmorpy
