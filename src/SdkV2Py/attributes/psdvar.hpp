// PsdVar: the handle of one psd variable of a model.
#pragma once
#include <Python.h>

namespace velmorpy {

extern PyTypeObject PsdVarType;
void prepare_psdvar();
void bind_psdvar_namespace();

inline bool is_psdvar(PyObject* op) { return PyObject_TypeCheck(op, &PsdVarType); }

}  // namespace velmorpy
