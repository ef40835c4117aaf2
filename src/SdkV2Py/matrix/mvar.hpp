// MVar: a NumPy object array of Var handles as one matrix-shaped variable.
//
// It takes part in the operator algebra (its base is Operand); reading an
// attribute it does not have reads the solver attribute of that name for
// every cell, shaped like the array, and every attribute assignment writes
// one (matrix/matrix_array.hpp).
#pragma once
#include <Python.h>

#include "runtime/ref.hpp"

namespace velmorpy {

struct MVarObject {
  PyObject_HEAD
  PyObject* vararr_;  // ndarray of Var (None for an object made by calling the class)
};

extern PyTypeObject MVarType;
void prepare_mvar();
void bind_mvar_namespace();

inline bool is_mvar(PyObject* op) { return PyObject_TypeCheck(op, &MVarType); }

// MVar.new(arr): a new MVar over `arr` itself when it is an ndarray, else
// over numpy.array(arr). Throws.
Ref mvar_new(PyObject* arr);

}  // namespace velmorpy
