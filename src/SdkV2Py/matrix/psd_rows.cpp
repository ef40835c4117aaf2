// _psdExpr2array: the semidefinite terms of a row laid out for the library.
#include "matrix/psd_rows.hpp"

#include "runtime/numpy.hpp"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "attributes/attr_access.hpp"
#include "expressions/psdexpr.hpp"
#include "model/model_rows.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

namespace {

const char kTooMany[] = "value too large to convert to int";

// One term of the expression, held while Python code runs.
struct Term {
  Ref var, coeff;
  std::vector<SymEntry> entries;  // the coefficient by the mirror rule
  int64_t rows = 0, cols = 0;
};

}  // namespace

PsdRowTerms model_psdExpr2array(const Ref& holder, PyObject* expr) {
  std::vector<Term> terms;
  for (PsdTermRef& t : psdexpr_terms(expr)) terms.push_back(Term{std::move(t.var), std::move(t.coeff), {}});
  for (Term& t : terms) t.entries = psd_symmetric_entries(t.coeff.get(), &t.rows, &t.cols);
  // The variables' indices, read once no more Python code runs; the terms by
  // variable, each variable's in expression order.
  std::vector<std::pair<int, size_t>> order;
  order.reserve(terms.size());
  for (size_t i = 0; i < terms.size(); ++i) order.emplace_back(model_psdvar_index(holder, terms[i].var.get()), i);
  std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  Ref distinct = take(PyList_New(0));
  for (size_t k = 0; k < order.size(); ++k)
    if (k == 0 || order[k].first != order[k - 1].first)
      check(PyList_Append(distinct.get(), terms[order[k].second].var.get()));
  Ref dims_obj = _getAttr(holder, VLM_STR("Dim"), AttrKind::PsdVar, distinct.get());
  Ref dims = take(PyArray_FROMANY(dims_obj.get(), NPY_INT64, 1, 1, NPY_ARRAY_CARRAY_RO | NPY_ARRAY_FORCECAST));
  const int64_t* dim_of = static_cast<const int64_t*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(dims.get())));
  if (PyArray_SIZE(reinterpret_cast<PyArrayObject*>(dims.get())) != PyList_GET_SIZE(distinct.get()))
    raise_format(PyExc_RuntimeError, "velmorpy: the library reported %d dimensions",
                 static_cast<int>(PyArray_SIZE(reinterpret_cast<PyArrayObject*>(dims.get()))));

  PsdRowTerms out;
  std::vector<std::pair<int64_t, double>> sum;  // one variable's (position, value), merged
  for (size_t k = 0, v = 0; k < order.size(); ++v) {
    const int index = order[k].first;
    const int64_t dim = dim_of[v];
    sum.clear();
    for (; k < order.size() && order[k].first == index; ++k) {
      const Term& t = terms[order[k].second];
      if (t.rows != dim || t.cols != dim) raise(PyExc_ValueError, kPsdDimMismatch);
      for (const SymEntry& e : t.entries) sum.emplace_back(e.row * dim + e.col, e.value);
    }
    std::stable_sort(sum.begin(), sum.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    out.var.push_back(index);
    out.beg.push_back(out.nnz());
    for (size_t j = 0; j < sum.size();) {
      const int64_t position = sum[j].first;
      double value = 0.0;
      for (; j < sum.size() && sum[j].first == position; ++j) value += sum[j].second;
      if (value == 0.0) continue;  // cancelled
      if (position > INT32_MAX || out.ind.size() >= static_cast<size_t>(INT32_MAX))
        raise(PyExc_OverflowError, kTooMany);
      out.ind.push_back(static_cast<int>(position));
      out.val.push_back(value);
    }
  }
  return out;
}

}  // namespace velmorpy
