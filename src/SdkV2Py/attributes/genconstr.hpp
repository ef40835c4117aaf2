// GenConstr: the handle of one general constraint of a model.
#pragma once
#include <Python.h>

namespace velmorpy {

extern PyTypeObject GenConstrType;
void prepare_genconstr();
void bind_genconstr_namespace();

inline bool is_genconstr(PyObject* op) { return PyObject_TypeCheck(op, &GenConstrType); }

}  // namespace velmorpy
