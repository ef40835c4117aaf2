// GenConstr: the handle of one general constraint of a model. Its slots, members and
// documentation are the handle family's, made from its row in handle.cpp.
#pragma once
#include <Python.h>

namespace velmorpy {

extern PyTypeObject GenConstrType;

inline bool is_genconstr(PyObject* op) { return PyObject_TypeCheck(op, &GenConstrType); }

}  // namespace velmorpy
