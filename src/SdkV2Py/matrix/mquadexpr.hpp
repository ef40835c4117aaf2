// MQuadExpr: a NumPy object array of QuadExpr as one matrix-shaped quadratic
// expression, the result of arithmetic on matrix-shaped operands. Its
// in-place operators return new objects (matrix/matrix_array.hpp).
#pragma once
#include <Python.h>

#include "runtime/ref.hpp"

namespace velmorpy {

struct MQuadExprObject {
  PyObject_HEAD
  PyObject* quadexprarr_;  // ndarray of QuadExpr (None for an object made by calling the class)
};

extern PyTypeObject MQuadExprType;
void prepare_mquadexpr();
void bind_mquadexpr_namespace();

inline bool is_mquadexpr(PyObject* op) { return PyObject_TypeCheck(op, &MQuadExprType); }

// MQuadExpr.new(arr): a new MQuadExpr over `arr` itself when it is an ndarray,
// else over numpy.array(arr). Throws.
Ref mquadexpr_new(PyObject* arr);

}  // namespace velmorpy
