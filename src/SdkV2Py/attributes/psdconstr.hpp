// PsdConstr: the handle of one psd constraint of a model. Its slots, members and
// documentation are the handle family's, made from its row in handle.cpp.
#pragma once
#include <Python.h>

namespace velmorpy {

extern PyTypeObject PsdConstrType;

inline bool is_psdconstr(PyObject* op) { return PyObject_TypeCheck(op, &PsdConstrType); }

}  // namespace velmorpy
