// The semidefinite terms of a row (_psdExpr2array): a PsdExpr's inner
// products of coefficient matrices with semidefinite variables, laid out as
// the library's semidefinite row takes them.
#pragma once
#include <Python.h>

#include <vector>

#include "runtime/ref.hpp"

namespace velmorpy {

// One row's semidefinite terms: variable k (index var[k], strictly ascending)
// has the entries [beg[k], beg[k + 1]) of ind/val (the last ends at the
// entry count); an entry's index is row * Dim + column of its variable.
struct PsdRowTerms {
  std::vector<int> var;     // distinct PsdVar indices, ascending
  std::vector<int> beg;     // one start per variable, no closing entry
  std::vector<int> ind;     // flat positions, ascending within a variable
  std::vector<double> val;  // their values, none 0

  int vars() const noexcept { return static_cast<int>(var.size()); }
  int nnz() const noexcept { return static_cast<int>(ind.size()); }
  // The arrays as the library's pointers: null for an empty array.
  const int* var_data() const noexcept { return var.empty() ? nullptr : var.data(); }
  const int* beg_data() const noexcept { return beg.empty() ? nullptr : beg.data(); }
  const int* ind_data() const noexcept { return ind.empty() ? nullptr : ind.data(); }
  const double* val_data() const noexcept { return val.empty() ? nullptr : val.data(); }
};

// _psdExpr2array: the semidefinite terms of `expr` (a PsdExpr; an exact one
// read from its term buffers, a subclass through size, getCoeff and getVar).
// Each coefficient is read as the symmetric matrix it stands for
// (psd_symmetric_entries, the rule the library and getValue apply), the
// terms of one variable are summed, and a sum that cancels to 0 leaves its
// position out; both triangles are listed. Every variable must be a PsdVar of
// the model behind `holder` (model_psdvar_index), and every coefficient
// Dim x Dim of its variable (ValueError "coefficient has different dim from
// psd variable"; Dim is read for all variables with one attribute read).
// Throws; the arrays free themselves.
PsdRowTerms model_psdExpr2array(const Ref& holder, PyObject* expr);

}  // namespace velmorpy
