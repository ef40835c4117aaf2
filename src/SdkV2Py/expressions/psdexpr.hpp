// PsdExpr: a sum of inner products of coefficient matrices with semidefinite
// variables (PsdVar), plus a linear part (a LinExpr) with the constant.
//
// Term i is coeffs_[i] (a NumPy array or a SciPy sparse matrix, kept as the
// caller gave it and never changed in place) with vars_[i] (a PsdVar). It
// carries its own operators (it is not an Operand).
#pragma once
#include <Python.h>

#include <cstdint>
#include <vector>

#include "expressions/linexpr.hpp"
#include "expressions/list.hpp"
#include "runtime/ref.hpp"

namespace velmorpy {

struct PsdExprObject {
  PyObject_HEAD
  TermList coeffs_;  // coefficient matrices
  TermList vars_;    // PsdVar handles; always as long as coeffs_
  PyObject* lin_;    // a LinExpr, or None until the constructor ran
};

extern PyTypeObject PsdExprType;
extern const char psdexpr_init_doc[];
void prepare_psdexpr();
void bind_psdexpr_namespace();

inline bool is_psdexpr(PyObject* op) { return PyObject_TypeCheck(op, &PsdExprType); }
inline PsdExprObject* as_psdexpr(PyObject* op) { return reinterpret_cast<PsdExprObject*>(op); }

// --- internal operations ---------------------------------------------------------------

// A new empty PsdExpr. Throws.
Ref psdexpr_new();
// The record, its linear part checked to be a constructed LinExpr. Throws.
PsdExprObject* psdexpr_checked(PyObject* expr);
LinExprObject* psdexpr_lin(PsdExprObject* e);
// _addterm: a square coefficient as wide as var.dim (one attribute read). Throws.
void psdexpr_addterm(PsdExprObject* self, PyObject* coeff, PyObject* var);
// _addexpr: mult times `expr` (coefficients shared when mult is 1.0). Throws.
void psdexpr_addexpr(PsdExprObject* self, double mult, PsdExprObject* expr);

// The terms of `expr` as (coefficient, variable) pairs, held: an exact
// PsdExpr's from its term buffers, a subclass's through size, getCoeff and
// getVar. Throws.
struct PsdTermRef {
  Ref coeff, var;
};
std::vector<PsdTermRef> psdexpr_terms(PyObject* expr);

// ValueError text for a coefficient whose order is not its variable's Dim.
extern const char kPsdDimMismatch[];

// One entry of a coefficient read as the symmetric matrix it stands for.
struct SymEntry {
  int64_t row, col;
  double value;
};
// The mirror rule, shared with the library (velmor.h, "Coefficient
// matrices"): the entries of `mat` in coordinate order (a NumPy array: its
// non-zero cells row by row, read as float64; anything else: the stored
// entries of its scipy.sparse.coo_matrix form, entries stored twice at one
// position summed, as SciPy reads them, and then in the row-major order of
// the canonical form), zeros ignored, each set at its position and at the
// mirrored one, a later entry overwriting an earlier one. The result lists
// each position of both triangles once, in the order positions were first
// set; `rows`/`cols` receive the shape. The caller's matrix is only read.
// ValueError "expect a square matrix" for an array that is not 2-D or an
// entry without a mirrored position. Throws.
std::vector<SymEntry> psd_symmetric_entries(PyObject* mat, int64_t* rows, int64_t* cols);
// _restore_symmat: those entries as a SciPy coo_matrix of the coefficient's shape. Throws.
Ref psdexpr_restore_symmat(PyObject* mat);
// The value in the current solution: the linear part's, plus <C_i, PsdX_i>
// for each term with C_i read by the mirror rule; over the first `count` terms
// as quadexpr_value. Throws.
double psdexpr_value(PsdExprObject* self, Py_ssize_t count = -1);

// The multiplication slot of PsdVar: a PsdVar times a matrix (a list, a NumPy
// array or a SciPy sparse matrix) on either side is PsdExpr(matrix, var).
PyObject* psdvar_multiply(PyObject* left, PyObject* right) noexcept;

}  // namespace velmorpy
