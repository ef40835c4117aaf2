// MConstr: a NumPy object array of Constr handles as one matrix-shaped
// constraint. It has no operators; reading an attribute it does not have
// reads the solver attribute of that name for every cell, shaped like the
// array, and every attribute assignment writes one (matrix/matrix_array.hpp).
#pragma once
#include <Python.h>

#include "runtime/ref.hpp"

namespace velmorpy {

struct MConstrObject {
  PyObject_HEAD
  PyObject* constrarr_;  // ndarray of Constr (None for an object made by calling the class)
};

extern PyTypeObject MConstrType;
void prepare_mconstr();
void bind_mconstr_namespace();

inline bool is_mconstr(PyObject* op) { return PyObject_TypeCheck(op, &MConstrType); }

// MConstr.new(arr): a new MConstr over `arr` itself when it is an ndarray,
// else over numpy.array(arr). Throws.
Ref mconstr_new(PyObject* arr);

}  // namespace velmorpy
