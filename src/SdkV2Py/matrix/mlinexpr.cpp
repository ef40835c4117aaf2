// MLinExpr: its methods, type object and namespace.
#include "matrix/mlinexpr.hpp"

#include "algebra/object_arrays.hpp"
#include "algebra/operand.hpp"
#include "expressions/linexpr.hpp"
#include "matrix/matrix_array.hpp"
#include "runtime/errors.hpp"
#include "runtime/function.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

namespace {

PyObject* mlinexpr_new_method(PyObject*, const Args& a) { return mlinexpr_new(a[0]).release(); }

// Empties every cell's expression in place, in row-major order: whoever else
// holds those LinExpr objects sees them emptied. A cell that is not an
// expression fails when it is reached; the cells before it stay cleared.
PyObject* mlinexpr_clear_method(PyObject* self, const Args&) {
  ObjectCells cells = object_cells(matrix_array(self));
  for (Py_ssize_t k = 0; k < cells.size; ++k) {
    PyObject* cell = cells[k];
    if (Py_IS_TYPE(cell, &LinExprType)) {
      linexpr_clear_terms(linexpr_checked(cell));
    } else {
      RecursionGuard level(" while clearing an MLinExpr");  // a cell may lead back here
      Ref r = take(PyObject_CallMethodNoArgs(cell, VLM_STR("clear")));
    }
  }
  Py_RETURN_NONE;
}

PyObject* mlinexpr_sum(PyObject* self, const Args& a) { return matrix_sum(self, a[0], &MLinExprType).release(); }

PyObject* mlinexpr_zeros(PyObject*, const Args& a) { return matrix_zeros(&MLinExprType, a[0]).release(); }

PyNumberMethods mlinexpr_as_number = {};

}  // namespace

Ref mlinexpr_new(PyObject* arr) { return matrix_new(&MLinExprType, arr); }

PyTypeObject MLinExprType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_mlinexpr() {
  prepare_matrix_class(&MLinExprType, "velmorpy.MLinExpr", &OperandType, &mlinexpr_as_number);
}

void bind_mlinexpr_namespace() {
  bind_matrix_expr_namespace(
      &MLinExprType,
      {"LinExpr", "linexprarr", mlinexpr_new_method, mlinexpr_clear_method,
       "Empty every LinExpr of the MLinExpr in place: every holder of those expressions\n"
       "            sees them emptied.",
       mlinexpr_sum, mlinexpr_zeros, "Number of expressions contained in the MLinExpr"});
}

}  // namespace velmorpy
