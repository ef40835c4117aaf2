// Reading the model: coefficients, rows, columns, quadratic terms, SOS,
// indicator constraints and look-ups by name.
#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "model/model.hpp"
#include "core/validate.hpp"

using velmor::refuse;
using velmor::with_model;

namespace {

// Items first .. first + count - 1 of a kind with `size` items.
void check_range(int first, int count, int size, int code) {
  velmor::check_count(count);
  if (first < 0 || static_cast<long long>(first) + count > size) refuse(code);
}

// The fill call of the two-call protocol: *nnz holds the capacity of the
// caller's arrays, which the result must not exceed.
void check_capacity(const int* capacity, long long needed) {
  if (needed > *capacity) refuse(VLM_ERROR_INVALID_ARGUMENT);
}

// Writes `count` lines (rows or columns); line(i) gives line i.
template <class Line>
int write_lines(int count, Line line, int* nnz, int* beg, int* ind, double* val) {
  long long total = 0;
  for (int i = 0; i < count; ++i) total += static_cast<long long>(line(i).size());
  if (total > INT_MAX) refuse(VLM_ERROR_INVALID_ARGUMENT);
  const bool fill = velmor::fill_call({{ind, total}, {val, total}});
  if (fill) check_capacity(nnz, total);
  int k = 0;
  for (int i = 0; i < count; ++i) {
    if (beg) beg[i] = k;
    for (const velmor::Entry& e : line(i)) {
      if (fill) {
        ind[k] = e.index;
        val[k] = e.value;
      }
      ++k;
    }
  }
  *nnz = k;
  return VLM_OKAY;
}

}  // namespace

extern "C" {

int VLMgetcoeff(VLMmodel* model, int row, int col, double* val) {
  return with_model(model, [&](VLMmodel& m) {
    if (!val) refuse(VLM_ERROR_INVALID_ARGUMENT);
    velmor::check_index(row, m.data.rows.size(), VLM_ERROR_MODEL_INVALID_ROW_IDX);
    velmor::check_index(col, m.data.cols.size(), VLM_ERROR_MODEL_INVALID_COL_IDX);
    const velmor::SparseVector& r = m.data.rows.lin[static_cast<size_t>(row)];
    const auto it =
        std::lower_bound(r.begin(), r.end(), col, [](const velmor::Entry& e, int c) { return e.index < c; });
    *val = it != r.end() && it->index == col ? it->value : 0.0;
    return VLM_OKAY;
  });
}

int VLMgetvars(VLMmodel* model, int* nnz, int* beg, int* ind, double* val, int first, int count) {
  return with_model(model, [&](VLMmodel& m) {
    if (!nnz) refuse(VLM_ERROR_INVALID_ARGUMENT);
    check_range(first, count, m.data.cols.size(), VLM_ERROR_MODEL_INVALID_COL_IDX);
    // Columns are gathered from the rows; walking the rows in order lists
    // each column's entries by ascending row.
    std::vector<velmor::SparseVector> columns(static_cast<size_t>(count));
    const auto& rows = m.data.rows.lin;
    const long long last = static_cast<long long>(first) + count;
    for (size_t i = 0; i < rows.size(); ++i) {
      const velmor::SparseVector& r = rows[i];
      auto it =
          std::lower_bound(r.begin(), r.end(), first, [](const velmor::Entry& e, int c) { return e.index < c; });
      for (; it != r.end() && it->index < last; ++it)
        columns[static_cast<size_t>(it->index - first)].push_back({static_cast<int>(i), it->value});
    }
    return write_lines(
        count, [&](int i) -> const velmor::SparseVector& { return columns[static_cast<size_t>(i)]; }, nnz, beg, ind,
        val);
  });
}

int VLMgetconstrs(VLMmodel* model, int* nnz, int* beg, int* ind, double* val, int first, int count) {
  return with_model(model, [&](VLMmodel& m) {
    if (!nnz) refuse(VLM_ERROR_INVALID_ARGUMENT);
    check_range(first, count, m.data.rows.size(), VLM_ERROR_MODEL_INVALID_ROW_IDX);
    const auto& rows = m.data.rows.lin;
    return write_lines(
        count, [&](int i) -> const velmor::SparseVector& { return rows[static_cast<size_t>(first + i)]; }, nnz, beg,
        ind, val);
  });
}

int VLMgetq(VLMmodel* model, int* numqnz, int* qrow, int* qcol, double* qval) {
  return with_model(model, [&](VLMmodel& m) {
    if (!numqnz) refuse(VLM_ERROR_INVALID_ARGUMENT);
    const velmor::QuadTerms& q = m.data.quad;
    if (q.size() > INT_MAX) refuse(VLM_ERROR_INVALID_ARGUMENT);
    const long long total = static_cast<long long>(q.size());
    if (velmor::fill_call({{qrow, total}, {qcol, total}, {qval, total}})) {
      check_capacity(numqnz, static_cast<long long>(q.size()));
      int k = 0;
      for (const auto& t : q) {
        qrow[k] = t.first.first;
        qcol[k] = t.first.second;
        qval[k] = t.second;
        ++k;
      }
    }
    *numqnz = static_cast<int>(q.size());
    return VLM_OKAY;
  });
}

int VLMgetsos(VLMmodel* model, int* nnz, int* types, int* beg, int* ind, double* weight, int first, int count) {
  return with_model(model, [&](VLMmodel& m) {
    if (!nnz) refuse(VLM_ERROR_INVALID_ARGUMENT);
    check_range(first, count, static_cast<int>(m.data.sos.size()), VLM_ERROR_MODEL_INVALID_SOS_IDX);
    long long total = 0;
    for (int i = 0; i < count; ++i) total += static_cast<long long>(m.data.sos[static_cast<size_t>(first + i)].members.size());
    if (total > INT_MAX) refuse(VLM_ERROR_INVALID_ARGUMENT);
    const bool fill = velmor::fill_call({{ind, total}, {weight, total}});
    if (fill) check_capacity(nnz, total);
    int k = 0;
    for (int i = 0; i < count; ++i) {
      const velmor::Sos& s = m.data.sos[static_cast<size_t>(first + i)];
      if (types) types[i] = s.type;
      if (beg) beg[i] = k;
      for (size_t j = 0; j < s.members.size(); ++j, ++k)
        if (fill) {
          ind[k] = s.members[j];
          weight[k] = s.weights[j];
        }
    }
    *nnz = k;
    return VLM_OKAY;
  });
}

int VLMgetgenconstrIndicator(VLMmodel* model, int index, int* binvar, int* binval, int* nnz, int* colind,
                             double* colval, char* sense, double* rhs) {
  return with_model(model, [&](VLMmodel& m) {
    if (!nnz) refuse(VLM_ERROR_INVALID_ARGUMENT);
    velmor::check_index(index, static_cast<long long>(m.data.indicators.size()),
                        VLM_ERROR_MODEL_INVALID_INDICATOR_ROW_IDX);
    const velmor::Indicator& g = m.data.indicators[static_cast<size_t>(index)];
    const long long total = static_cast<long long>(g.lin.size());
    if (velmor::fill_call({{colind, total}, {colval, total}})) {
      check_capacity(nnz, total);
      for (size_t k = 0; k < g.lin.size(); ++k) {
        colind[k] = g.lin[k].index;
        colval[k] = g.lin[k].value;
      }
    }
    *nnz = static_cast<int>(total);
    if (binvar) *binvar = g.binvar;
    if (binval) *binval = g.binval;
    if (sense) *sense = g.sense;
    if (rhs) *rhs = g.rhs;
    return VLM_OKAY;
  });
}

int VLMgetvarbyname(VLMmodel* model, const char* name, int* index) {
  return with_model(model, [&](VLMmodel& m) {
    if (!name || !index) refuse(VLM_ERROR_INVALID_ARGUMENT);
    *index = m.var_names.find(m.data.cols.name, name);
    return VLM_OKAY;
  });
}

int VLMgetconstrbyname(VLMmodel* model, const char* name, int* index) {
  return with_model(model, [&](VLMmodel& m) {
    if (!name || !index) refuse(VLM_ERROR_INVALID_ARGUMENT);
    *index = m.row_names.find(m.data.rows.name, name);
    return VLM_OKAY;
  });
}

}  // extern "C"
