// PsdVar: the handle of one psd variable of a model. Its slots, members and
// documentation are the handle family's, made from its row in handle.cpp.
#pragma once
#include <Python.h>

#include "runtime/function.hpp"

namespace velmorpy {

extern PyTypeObject PsdVarType;
// The members PsdVar adds to the handle family's, and its number slots (a
// PsdVar times a matrix is a PsdExpr).
extern const FunctionDef psdvar_members[];
extern PyNumberMethods psdvar_as_number;

inline bool is_psdvar(PyObject* op) { return PyObject_TypeCheck(op, &PsdVarType); }

}  // namespace velmorpy
