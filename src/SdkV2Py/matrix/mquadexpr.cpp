#include "matrix/mquadexpr.hpp"

#include "module/numpy.hpp"

#include "algebra/operand.hpp"
#include "expressions/quadexpr.hpp"
#include "matrix/matrix_array.hpp"
#include "module/errors.hpp"
#include "module/function.hpp"

namespace velmorpy {

namespace {

PyObject* mquadexpr_new_method(PyObject*, const Args& a) { return mquadexpr_new(a[0]).release(); }

// Stores a new empty QuadExpr in every cell, in row-major order, through the
// array's own strides (a view writes into the array it came from); the
// expressions the cells held are left as they were.
PyObject* mquadexpr_clear_method(PyObject* self, const Args&) {
  Ref array = Ref::borrow(matrix_array(self));
  Ref it = take(PyArray_IterNew(array.get()));
  auto* iter = reinterpret_cast<PyArrayIterObject*>(it.get());
  auto* a = reinterpret_cast<PyArrayObject*>(array.get());
  while (PyArray_ITER_NOTDONE(iter)) {
    Ref cell = quadexpr_new();
    check(PyArray_SETITEM(a, static_cast<char*>(PyArray_ITER_DATA(iter)), cell.get()));
    PyArray_ITER_NEXT(iter);
  }
  Py_RETURN_NONE;
}

PyObject* mquadexpr_sum(PyObject* self, const Args& a) { return matrix_sum(self, a[0], &MQuadExprType).release(); }

PyObject* mquadexpr_zeros(PyObject*, const Args& a) { return matrix_zeros(&MQuadExprType, a[0]).release(); }

PyNumberMethods mquadexpr_as_number = {};

}  // namespace

Ref mquadexpr_new(PyObject* arr) { return matrix_new(&MQuadExprType, arr); }

PyTypeObject MQuadExprType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_mquadexpr() {
  prepare_matrix_class(&MQuadExprType, "velmorpy.MQuadExpr", &OperandType, &mquadexpr_as_number);
}

void bind_mquadexpr_namespace() {
  bind_matrix_expr_namespace(
      &MQuadExprType,
      {"QuadExpr", "quadexprarr", mquadexpr_new_method, mquadexpr_clear_method,
       "Put a new empty QuadExpr in every cell of the MQuadExpr; the expressions the\n"
       "            cells held are not changed.",
       mquadexpr_sum, mquadexpr_zeros, "Number of expressions contained in the QuadExpr"});
}

}  // namespace velmorpy
