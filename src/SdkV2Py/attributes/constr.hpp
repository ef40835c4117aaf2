// Constr: the handle of one linear constraint of a model.
#pragma once
#include <Python.h>

namespace velmorpy {

extern PyTypeObject ConstrType;
void prepare_constr();
void bind_constr_namespace();

inline bool is_constr(PyObject* op) { return PyObject_TypeCheck(op, &ConstrType); }

}  // namespace velmorpy
