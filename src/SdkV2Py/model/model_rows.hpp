// Linear rows for the library: the flattening of linear expressions into
// compressed sparse rows (_linExprs2array), the bound rule that moves a row's
// constant into its bounds (_dec_bound), and the test that a variable belongs
// to the model. Every linear row the module hands to the library goes through
// them: single rows and batches, semidefinite rows, indicator constraints and
// callback cuts.
#pragma once
#include <Python.h>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "attributes/handle.hpp"
#include "attributes/var.hpp"
#include "runtime/holder.hpp"
#include "runtime/ref.hpp"

namespace velmorpy {

// Compressed sparse rows, as the library takes them. Row r spans
// [beg[r], beg[r + 1]) of ind/val (the last one ends at nnz()); within a row
// the columns are strictly ascending: the terms of one variable are merged
// into one whose value is the sum of their coefficients, summed in the order
// the expression holds them. No term is dropped for its value (a zero, and a
// sum that cancels, stay). A row of an expression without terms is empty.
// The constant of an expression is not part of its row: constants[r] holds
// it, for the caller to move into the bounds (model_dec_bound).
struct CompressedRows {
  std::vector<int> beg;            // one start per row, no closing entry; empty unless asked for
  std::vector<int> ind;            // the variable index of each term
  std::vector<double> val;         // the coefficient of each term
  std::vector<double> constants;   // one per row
  // Taken before the first index was read: the caller checks it after its
  // last Python code, right before the library call.
  IndexMark mark;

  int rows() const noexcept { return static_cast<int>(constants.size()); }
  int nnz() const noexcept { return static_cast<int>(ind.size()); }
  // The arrays as the library's pointers: null for an empty array.
  const int* beg_data() const noexcept { return beg.empty() ? nullptr : beg.data(); }
  const int* ind_data() const noexcept { return ind.empty() ? nullptr : ind.data(); }
  const double* val_data() const noexcept { return val.empty() ? nullptr : val.data(); }
};

// A batch of rows as the library's row call takes it: `rows` rows, row r
// spanning [beg[r], beg[r + 1]) of `nnz` entries of ind/val (the last one
// ending at nnz). Views either the arrays of a CompressedRows or arrays held
// elsewhere for the call; within a row, columns need not ascend nor differ
// (the library sorts and merges such a row as CompressedRows describes).
struct RowsView {
  int rows = 0;
  int nnz = 0;
  const int* beg = nullptr;
  const int* ind = nullptr;
  const double* val = nullptr;
  IndexMark mark;  // taken before the columns were read from the handles
  RowsView() = default;
  RowsView(int r, int n, const int* b, const int* i, const double* v) noexcept
      : rows(r), nnz(n), beg(b), ind(i), val(v) {}
  RowsView(const CompressedRows& c) noexcept  // NOLINT: a CompressedRows is such a batch
      : RowsView(c.rows(), c.nnz(), c.beg_data(), c.ind_data(), c.val_data()) {
    mark = c.mark;
  }
};

// Appends rows to `out` as their terms come: add() writes a term straight
// into the arrays, close() ends the row. A row whose columns do not strictly
// ascend is then sorted by column, stably, and its terms of one column merged
// (summed in the order they came), as CompressedRows says. Throws.
class RowCollector {
 public:
  RowCollector(CompressedRows& out, bool with_starts) noexcept
      : out_(out), with_starts_(with_starts), start_(out.ind.size()) {}
  void add(int column, double value) {
    if (out_.ind.size() > start_ && column <= out_.ind.back()) ascending_ = false;
    out_.ind.push_back(column);
    out_.val.push_back(value);
  }
  // Ends the row under way, whose expression's constant is `constant`;
  // OverflowError beyond 32-bit counts.
  void close(double constant);

 private:
  CompressedRows& out_;
  const bool with_starts_;
  size_t start_;
  bool ascending_ = true;
  std::vector<std::pair<int, double>> scratch_;
};

// _linExprs2array: the rows of the LinExprs that `exprs` (any iterable: a
// list, a tuple, a NumPy object array, a generator) yields, in order, with
// the row starts when `with_starts`. Exact LinExprs are read from their term
// buffers; a subclass through its methods (size, getCoeff, getVar,
// getConstant). Every variable must be a Var of the model behind `holder`.
// Failures, each before anything reaches the library: TypeError "Expect a
// LinExpr" for another element, TypeError for a term that is no Var,
// ValueError for a Var of another model (model_var_index), OverflowError for
// more rows or terms than 32-bit counts hold, and whatever the methods or
// the float conversion of a coefficient raise. Throws; the arrays free
// themselves.
CompressedRows model_linExprs2array(const Ref& holder, PyObject* exprs, bool with_starts);

// _dec_bound: a row's bound with the constant `constant` of its expression
// moved into it. None gives no bound (the caller decides what a missing side
// means); a bound of magnitude at least VLM_INFINITY is infinite and stays
// +-VLM_INFINITY, unshifted; any other number gives bound - constant, by the
// interpreter's arithmetic for numbers other than int and float. A bound that
// is no number raises the interpreter's TypeError of abs(). Throws.
std::optional<double> model_dec_bound(PyObject* bound, double constant);
// The same rule for a bound read as a double.
double model_dec_bound(double bound, double constant);

// The sense character of a row: the first byte of the UTF-8 form of the str
// `sense` ("<=" acts as '<'); TypeError for anything but a str, IndexError
// for the empty text. Throws.
char model_sense_byte(PyObject* sense);

// The index of `var`, which must be a Var of the model behind `holder`:
// TypeError "Cannot convert {} to velmorpy.Var" for anything else, ValueError
// `other_model` for a Var of another model (or an unbound one). Reads fields
// only: no Python code runs. Throws.
extern const char kVarOfOtherModel[];
[[noreturn]] void raise_not_var_of(const Ref& holder, PyObject* var, const char* other_model);
inline int32_t model_var_index(const Ref& holder, PyObject* var, const char* other_model = kVarOfOtherModel) {
  if (is_var(var) && holder && as_handle(var)->holder_ == holder.get()) return as_handle(var)->index;
  raise_not_var_of(holder, var, other_model);
}

// The same for a semidefinite variable: TypeError "Cannot convert {} to
// velmorpy.PsdVar" for anything but a PsdVar, ValueError for one of another
// model. Reads fields only. Throws.
int32_t model_psdvar_index(const Ref& holder, PyObject* var);

}  // namespace velmorpy
