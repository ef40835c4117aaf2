// Model.getCol, getRow, getCoeff, chgCoeff and cleanupMilp.
#include "model/model_coeffs.hpp"

#include <velmor.h>

#include <cstdint>
#include <utility>

#include "expressions/column.hpp"
#include "model/model.hpp"
#include "model/model_items.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/holder.hpp"

namespace velmorpy {

namespace {

// One line of the matrix: the column of variable `index` (VLMgetvars) or the
// row of constraint `index` (VLMgetconstrs), by ascending row or column.
SparseLine matrix_line(const Ref& holder, int32_t index, int (*get)(VLMmodel*, int*, int*, int*, double*, int, int)) {
  int start = 0;
  return read_sparse_line(holder, [&](VLMmodel* mdl, int* nnz, int* ind, double* val) {
    return get(mdl, nnz, ind ? &start : nullptr, ind, val, index, 1);
  });
}

// The column of a variable: the constraints that hold it, by ascending row,
// zero coefficients kept.
PyObject* model_getCol(PyObject* self, const Args& a) {
  const Ref holder = holder_of(self);
  const SparseLine line = matrix_line(holder, model_item_index(holder, a[0], "var"), VLMgetvars);
  Ref handles = model_handles_at(Ref::borrow(as_model(self)->constrs_), line, VLM_ERROR_MODEL_INVALID_ROW_IDX);
  return column_of_lists(float_list(line), std::move(handles)).release();
}

// The row of a constraint by ascending column, zero coefficients left out.
// Any object with an index is taken as a row number (a handle of this model).
PyObject* model_getRow(PyObject* self, const Args& a) {
  const Ref holder = holder_of(self);
  const SparseLine line = matrix_line(holder, model_item_index(holder, a[0], "constr"), VLMgetconstrs);
  return model_linexpr_of(Ref::borrow(as_model(self)->vars_), line).release();
}

PyObject* model_getCoeff(PyObject* self, const Args& a) {
  const Ref holder = holder_of(self);
  const int32_t row = model_item_index(holder, a[0], "constr");
  const int32_t col = model_item_index(holder, a[1], "var");
  double value = 0.0;
  check_rc(VLMgetcoeff(live_model(holder), row, col, &value));
  return PyFloat_FromDouble(value);
}

// The new value is converted first, before any index is read.
PyObject* model_chgCoeff(PyObject* self, const Args& a) {
  const double value = as_double(a[2]);
  const Ref holder = holder_of(self);
  const IndexMark mark(holder);  // an index attribute may run code
  const int32_t row = model_item_index(holder, a[0], "constr");
  const int32_t col = model_item_index(holder, a[1], "var");
  mark.check();
  check_rc(VLMchgcoeffs(live_model(holder), 1, &row, &col, &value));
  Py_RETURN_NONE;
}

PyObject* model_cleanupMilp(PyObject* self, const Args&) {
  int result = 0;
  check_rc(VLMcleanupmilp(live_model(holder_of(self)), &result));
  return PyLong_FromLong(result);
}

// --- documentation -------------------------------------------------------------

const char getCol_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getCol(var)\n"
    "\n"
    "        PURPOSE:\n"
    "            Return the column of a variable: the constraints it appears in, with its\n"
    "            coefficients, as a Column\n"
    "\n"
    "        ARGUMENTS:\n"
    "            var: the variable\n"
    "\n"
    "        EXAMPLE:\n"
    "            col = m.getCol(x)\n"
    "        ";

const char getRow_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getRow(constr)\n"
    "\n"
    "        PURPOSE:\n"
    "            Return the left-hand side of a linear constraint, its variables in index order,\n"
    "            as a LinExpr\n"
    "\n"
    "        ARGUMENTS:\n"
    "            constr: the linear constraint\n"
    "\n"
    "        EXAMPLE:\n"
    "            expr = m.getRow(c)\n"
    "        ";

const char chgCoeff_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            chgCoeff(constr, var, newvalue)\n"
    "\n"
    "        PURPOSE:\n"
    "            Change the coefficient of a variable in a linear constraint; 0 removes it\n"
    "\n"
    "        ARGUMENTS:\n"
    "            constr: the linear constraint\n"
    "            var: the variable\n"
    "            newvalue: the new coefficient\n"
    "\n"
    "        EXAMPLE:\n"
    "            m.chgCoeff(c, x, 2.0)\n"
    "        ";

const char getCoeff_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getCoeff(constr, var)\n"
    "\n"
    "        PURPOSE:\n"
    "            Return the coefficient of a variable in a linear constraint (0.0 when it does\n"
    "            not appear there)\n"
    "\n"
    "        ARGUMENTS:\n"
    "            constr: the linear constraint\n"
    "            var: the variable\n"
    "\n"
    "        EXAMPLE:\n"
    "            a = m.getCoeff(c, x)\n"
    "        ";

const FunctionDef model_coeffs_members[] = {
    {"getCol", "self, var: Var", model_getCol, Kind::Method, getCol_doc, __LINE__},
    {"getRow", "self, constr", model_getRow, Kind::Method, getRow_doc, __LINE__},
    {"chgCoeff", "self, constr: Constr, var: Var, newvalue", model_chgCoeff, Kind::Method, chgCoeff_doc, __LINE__},
    {"getCoeff", "self, constr: Constr, var: Var", model_getCoeff, Kind::Method, getCoeff_doc, __LINE__},
    {"cleanupMilp", "self", model_cleanupMilp, Kind::Method, nullptr, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

const MemberTable model_coeffs_table = {model_coeffs_members, __FILE__};

}  // namespace velmorpy
