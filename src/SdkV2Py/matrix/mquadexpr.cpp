// MQuadExpr: its methods, type object and namespace.
#include "matrix/mquadexpr.hpp"

#include "runtime/numpy.hpp"

#include <vector>

#include "algebra/operand.hpp"
#include "expressions/quadexpr.hpp"
#include "matrix/matrix_array.hpp"
#include "runtime/errors.hpp"
#include "runtime/function.hpp"

namespace velmorpy {

namespace {

PyObject* mquadexpr_new_method(PyObject*, const Args& a) { return mquadexpr_new(a[0]).release(); }

// Stores a new empty QuadExpr in every cell, in row-major order, through the
// array's own strides (a view writes into the array it came from); the
// expressions the cells held are left as they were. The new expressions are
// made first and the old cells released last, so no Python code runs while
// the array is walked.
PyObject* mquadexpr_clear_method(PyObject* self, const Args&) {
  Ref array = Ref::borrow(matrix_array(self));
  auto* a = reinterpret_cast<PyArrayObject*>(array.get());
  const npy_intp n = PyArray_SIZE(a);
  if (n == 0) Py_RETURN_NONE;
  std::vector<Ref> fresh;
  fresh.reserve(static_cast<size_t>(n));
  for (npy_intp k = 0; k < n; ++k) fresh.push_back(quadexpr_new());
  Ref it = take(PyArray_IterNew(array.get()));
  auto* iter = reinterpret_cast<PyArrayIterObject*>(it.get());
  if (PyArray_TYPE(a) != NPY_OBJECT || !PyArray_ISALIGNED(a)) {
    // Cells of another dtype take what NumPy makes of a QuadExpr, as its own assignment does.
    for (npy_intp k = 0; k < n && PyArray_ITER_NOTDONE(iter); ++k) {
      check(PyArray_SETITEM(a, static_cast<char*>(PyArray_ITER_DATA(iter)), fresh[k].get()));
      PyArray_ITER_NEXT(iter);
    }
    Py_RETURN_NONE;
  }
  std::vector<Ref> old;
  old.reserve(static_cast<size_t>(n));
  for (npy_intp k = 0; k < n && PyArray_ITER_NOTDONE(iter); ++k) {
    auto** cell = static_cast<PyObject**>(PyArray_ITER_DATA(iter));
    old.push_back(Ref::steal(*cell));  // a null cell is None to NumPy: nothing to release
    *cell = fresh[k].release();
    PyArray_ITER_NEXT(iter);
  }
  Py_RETURN_NONE;  // `old` releases the previous cells now
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
