// PsdConstr: the handle of one psd constraint of a model.
#pragma once
#include <Python.h>

namespace velmorpy {

extern PyTypeObject PsdConstrType;
void prepare_psdconstr();
void bind_psdconstr_namespace();

inline bool is_psdconstr(PyObject* op) { return PyObject_TypeCheck(op, &PsdConstrType); }

}  // namespace velmorpy
