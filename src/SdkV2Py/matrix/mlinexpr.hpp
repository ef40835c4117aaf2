// MLinExpr: a NumPy object array of LinExpr as one matrix-shaped linear
// expression, the result of arithmetic on matrix-shaped operands. Its
// in-place operators return new objects (matrix/matrix_array.hpp).
#pragma once
#include <Python.h>

#include "runtime/ref.hpp"

namespace velmorpy {

struct MLinExprObject {
  PyObject_HEAD
  PyObject* linexprarr_;  // ndarray of LinExpr (None for an object made by calling the class)
};

extern PyTypeObject MLinExprType;
void prepare_mlinexpr();
void bind_mlinexpr_namespace();

inline bool is_mlinexpr(PyObject* op) { return PyObject_TypeCheck(op, &MLinExprType); }

// MLinExpr.new(arr): a new MLinExpr over `arr` itself when it is an ndarray,
// else over numpy.array(arr). Throws.
Ref mlinexpr_new(PyObject* arr);

}  // namespace velmorpy
