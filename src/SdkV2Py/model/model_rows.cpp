// _linExprs2array: linear expressions flattened into compressed rows, and the bound rule.
#include "model/model_rows.hpp"

#include <velmor.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "algebra/object_arrays.hpp"
#include "attributes/handle.hpp"
#include "attributes/psdvar.hpp"
#include "attributes/var.hpp"
#include "expressions/linexpr.hpp"
#include "expressions/list.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/numbers.hpp"
#include "runtime/strings.hpp"
#include "runtime/text.hpp"

namespace velmorpy {

const char kVarOfOtherModel[] = "the expression holds a variable that does not belong to this model";

namespace {
const char kPsdVarOfOtherModel[] = "the expression holds a semidefinite variable that does not belong to this model";
}  // namespace

namespace {

const char kExpectLinExpr[] = "Expect a LinExpr";
const char kTooMany[] = "value too large to convert to int";

// Reads the rows one by one into a RowCollector.
class RowWriter {
 public:
  RowWriter(const Ref& holder, CompressedRows& out, bool with_starts) : holder_(holder), rows_(out, with_starts) {}

  // An exact LinExpr: its term buffers, read in place (its coefficients are
  // numbers, and checking its variables runs no Python code).
  void exact(PyObject* expr) {
    LinExprObject* e = linexpr_checked(expr);
    const Py_ssize_t n = linexpr_size(e);
    const double* coeffs = nums_items(e->coeffs_);
    PyObject* const* vars = terms_items(e->vars_);
    for (Py_ssize_t i = 0; i < n; ++i) rows_.add(model_var_index(holder_, vars[i]), coeffs[i]);
    rows_.close(e->constant_);
  }

  // A subclass: the coefficients first, then the variables, then the
  // constant, each through the expression's own methods.
  void by_methods(PyObject* expr) {
    Ref size_obj = take(PyObject_CallMethodNoArgs(expr, VLM_STR("size")));
    const int64_t n = integer_only<int64_t>(size_obj.get());
    if (n > kMaxListItems) raise(PyExc_OverflowError, kTooMany);
    std::vector<double> coeffs;
    for (int64_t i = 0; i < n; ++i) {
      Ref c = take(PyObject_CallMethod(expr, "getCoeff", "L", static_cast<long long>(i)));
      coeffs.push_back(as_double(c.get()));
    }
    std::vector<Ref> vars;
    for (int64_t i = 0; i < n; ++i) vars.push_back(take(PyObject_CallMethod(expr, "getVar", "L", static_cast<long long>(i))));
    Ref constant = take(PyObject_CallMethodNoArgs(expr, VLM_STR("getConstant")));
    const double k = as_double(constant.get());
    for (int64_t i = 0; i < n; ++i) rows_.add(model_var_index(holder_, vars[i].get()), coeffs[i]);
    rows_.close(k);
  }

 private:
  const Ref& holder_;
  RowCollector rows_;
};

}  // namespace

void RowCollector::close(double constant) {
  if (!ascending_) {
    // Sorted stably (equal columns keep the order they came in, so their sum
    // does not depend on the sort), then written back with equal columns
    // merged: only within the row, so its first term always opens an entry.
    scratch_.clear();
    for (size_t k = start_; k < out_.ind.size(); ++k) scratch_.emplace_back(out_.ind[k], out_.val[k]);
    std::stable_sort(scratch_.begin(), scratch_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    out_.ind.resize(start_);
    out_.val.resize(start_);
    for (const auto& t : scratch_) {
      if (out_.ind.size() > start_ && out_.ind.back() == t.first) {
        out_.val.back() += t.second;
      } else {
        out_.ind.push_back(t.first);
        out_.val.push_back(t.second);
      }
    }
  }
  if (out_.ind.size() > static_cast<size_t>(INT32_MAX)) raise(PyExc_OverflowError, kTooMany);
  if (with_starts_) out_.beg.push_back(static_cast<int>(start_));
  out_.constants.push_back(constant);
  start_ = out_.ind.size();
  ascending_ = true;
}

void raise_not_var_of(const Ref& holder, PyObject* var, const char* other_model) {
  if (!is_var(var)) raise_cannot_convert(var, "velmorpy.Var");
  if (!holder || as_handle(var)->holder_ != holder.get()) raise(PyExc_ValueError, other_model);
  raise(PyExc_SystemError, "velmorpy: a variable of the model refused");
}

int32_t model_psdvar_index(const Ref& holder, PyObject* var) {
  if (!is_psdvar(var)) raise_cannot_convert(var, "velmorpy.PsdVar");
  if (!holder || as_handle(var)->holder_ != holder.get()) raise(PyExc_ValueError, kPsdVarOfOtherModel);
  return as_handle(var)->index;
}

CompressedRows model_linExprs2array(const Ref& holder, PyObject* exprs, bool with_starts) {
  // The elements, held, before any term is read: reading may run Python code
  // that changes the sequence. The terms of exact LinExprs are counted so
  // that the arrays are allocated once.
  std::vector<Ref> items;
  if (PyList_CheckExact(exprs) || PyTuple_CheckExact(exprs)) items.reserve(static_cast<size_t>(Py_SIZE(exprs)));
  int64_t terms = 0;
  Ref iter = take(PyObject_GetIter(exprs));
  while (PyObject* next = PyIter_Next(iter.get())) {
    Ref item = Ref::steal(next);
    if (!is_linexpr(item.get())) raise(PyExc_TypeError, kExpectLinExpr);
    if (Py_IS_TYPE(item.get(), &LinExprType)) terms += terms_size(linexpr_checked(item.get())->vars_);
    items.push_back(std::move(item));
  }
  if (PyErr_Occurred()) throw_error_set();
  if (static_cast<int64_t>(items.size()) > INT32_MAX) raise(PyExc_OverflowError, kTooMany);

  CompressedRows out;
  if (with_starts) out.beg.reserve(items.size());
  out.constants.reserve(items.size());
  const size_t capacity = static_cast<size_t>(std::min<int64_t>(terms, INT32_MAX));
  out.ind.reserve(capacity);
  out.val.reserve(capacity);
  out.mark = IndexMark(holder);
  RowWriter writer(holder, out, with_starts);
  for (const Ref& item : items) {
    if (Py_IS_TYPE(item.get(), &LinExprType)) {
      writer.exact(item.get());
    } else {
      writer.by_methods(item.get());
    }
  }
  return out;
}

double model_dec_bound(double bound, double constant) {
  if (std::fabs(bound) >= VLM_INFINITY) return bound >= 0 ? VLM_INFINITY : -VLM_INFINITY;
  return bound - constant;
}

char model_sense_byte(PyObject* sense) {
  Ref bytes = str2chars(sense);
  if (PyBytes_GET_SIZE(bytes.get()) == 0) raise(PyExc_IndexError, "index out of range");
  return PyBytes_AS_STRING(bytes.get())[0];
}

std::optional<double> model_dec_bound(PyObject* bound, double constant) {
  if (bound == Py_None) return std::nullopt;
  if (PyFloat_CheckExact(bound) || PyLong_CheckExact(bound)) {
    double b = 0.0;
    if (PyFloat_CheckExact(bound)) {
      b = PyFloat_AS_DOUBLE(bound);
    } else {
      b = PyLong_AsDouble(bound);
      if (b == -1.0 && PyErr_Occurred()) {
        if (!PyErr_ExceptionMatches(PyExc_OverflowError)) throw_error_set();
        PyErr_Clear();  // an int beyond every double is infinite
        return _PyLong_Sign(bound) >= 0 ? VLM_INFINITY : -VLM_INFINITY;
      }
    }
    return model_dec_bound(b, constant);
  }
  // Other numbers (bool, Fraction, NumPy scalars): the interpreter's abs,
  // comparisons and subtraction, as for the bound as written.
  Ref pin = Ref::borrow(bound);
  check_object_nesting(bound);  // an array is taken cell by cell by NumPy
  Ref magnitude = take(PyNumber_Absolute(bound));
  Ref infinity = take(PyFloat_FromDouble(VLM_INFINITY));
  if (check(PyObject_RichCompareBool(magnitude.get(), infinity.get(), Py_GE))) {
    Ref zero = take(PyLong_FromLong(0));
    return check(PyObject_RichCompareBool(bound, zero.get(), Py_GE)) ? VLM_INFINITY : -VLM_INFINITY;
  }
  Ref c = take(PyFloat_FromDouble(constant));
  Ref shifted = take(PyNumber_Subtract(bound, c.get()));
  return as_double(shifted.get());
}

}  // namespace velmorpy
