// Building a model: adding variables, rows, quadratic terms, SOS, indicator
// constraints and semidefinite items, changing coefficients, and deleting
// items with the renumbering of everything that refers to them.
//
// Every function checks all its input first (through validate.hpp, which
// refuses before anything changes), then reserves the memory the change needs,
// and only then changes the model with operations that cannot fail, so a call
// either happens completely or not at all.
#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "model/model.hpp"
#include "core/validate.hpp"

namespace velmor {

namespace {

ShortText name_or_empty(const char* name) { return name ? ShortText(name) : ShortText(); }

// Makes room for `extra` more elements, growing geometrically so that adding
// items one call at a time stays linear overall.
template <class T>
void make_room(std::vector<T>& v, size_t extra) {
  const size_t need = v.size() + extra;
  if (need > v.capacity()) v.reserve(std::max(need, 2 * v.capacity()));
}

// A row to append: checked and built before anything changes.
struct NewRow {
  double lb, ub;
  ShortText name;
  SparseVector lin;
  std::vector<PsdTerm> psd;
  char is_psd;
};

void append_rows(VLMmodel& m, std::vector<NewRow>& rows) {
  Rows& r = m.data.rows;
  const size_t n = rows.size();
  make_room(r.lb, n);
  make_room(r.ub, n);
  make_room(r.name, n);
  make_room(r.lin, n);
  make_room(r.psd, n);
  make_room(r.is_psd, n);
  const int first = r.size();
  for (NewRow& row : rows) {
    r.lb.push_back(row.lb);
    r.ub.push_back(row.ub);
    r.name.push_back(std::move(row.name));
    r.lin.push_back(std::move(row.lin));
    r.psd.push_back(std::move(row.psd));
    r.is_psd.push_back(row.is_psd);
  }
  m.row_names.appended(r.name, first);
  m.data_changed();
}

// The positions of a coefficient matrix of order dim: each in [0, dim * dim).
void check_positions(const int* pos, long long nnz, int dim) {
  check_array(pos, nnz);
  const long long limit = static_cast<long long>(dim) * dim;
  for (long long k = 0; k < nnz; ++k) check_index(pos[k], limit, VLM_ERROR_MODEL_INVALID_SYM_MAT_ROW_IDX);
}

void check_values(const double* val, long long nnz) {
  check_array(val, nnz);
  for (long long k = 0; k < nnz; ++k) checked_coef(val[k]);
}

// old index -> new index (-1 for deleted) after deleting the listed items of
// a kind with `size` items; refuses indices out of range with `code`.
std::vector<int> renumbering(int size, int num, const int* ind, int code) {
  check_count(num);
  check_array(ind, num);
  std::vector<int> map(static_cast<size_t>(size), 0);
  for (int k = 0; k < num; ++k) {
    check_index(ind[k], size, code);
    map[static_cast<size_t>(ind[k])] = -1;
  }
  int next = 0;
  for (int& v : map) v = v < 0 ? -1 : next++;
  return map;
}

// Keeps the elements of `v` whose old index survives, in order.
template <class T>
void keep(std::vector<T>& v, const std::vector<int>& map) {
  size_t out = 0;
  for (size_t i = 0; i < v.size(); ++i)
    if (map[i] >= 0) {
      if (out != i) v[out] = std::move(v[i]);
      ++out;
    }
  v.erase(v.begin() + static_cast<std::ptrdiff_t>(out), v.end());
}

// Drops the entries of deleted indices from a sorted sparse vector and
// renumbers the others (the order is kept: the renumbering is increasing).
void renumber(SparseVector& v, const std::vector<int>& map) {
  size_t out = 0;
  for (const Entry& e : v)
    if (map[static_cast<size_t>(e.index)] >= 0) v[out++] = {map[static_cast<size_t>(e.index)], e.value};
  v.resize(out);
}

}  // namespace

void add_vars(VLMmodel& m, int numvars, int numnz, const int* colbeg, const int* colind, const double* colval,
              const double* obj, const double* lb, const double* ub, const char* vtype,
              const char* const* varnames) {
  check_writable(m);
  check_count(numvars);
  Columns& c = m.data.cols;
  check_growth(c.size(), numvars);
  check_starts(numvars, numnz, colbeg);
  check_array(colind, numnz);
  check_array(colval, numnz);
  // The values are checked here and taken again below: the checks have no
  // effect of their own, and no copy of the input is made.
  for (int j = 0; j < numvars; ++j) {
    if (lb) checked_bound(lb[j]);
    if (ub) checked_bound(ub[j]);
    if (obj) checked_coef(obj[j]);
    if (vtype) checked_type(vtype[j]);
  }

  // Coefficients: each column's entries, checked, sorted and summed.
  const int nrows = m.data.rows.size();
  std::vector<SparseVector> columns;
  if (numnz > 0) {
    columns.resize(static_cast<size_t>(numvars));
    for (int j = 0; j < numvars; ++j) {
      const long long b = item_begin(colbeg, j), e = item_end(colbeg, numvars, numnz, j);
      columns[static_cast<size_t>(j)] =
          make_sparse(colind + b, colval + b, e - b, nrows, VLM_ERROR_MODEL_INVALID_ROW_IDX);
    }
  }

  const size_t n = static_cast<size_t>(numvars);
  make_room(c.lb, n);
  make_room(c.ub, n);
  make_room(c.obj, n);
  make_room(c.type, n);
  const bool named = varnames || !c.name.empty();  // else the names stay absent
  if (named) make_room(c.names(), n);
  if (!c.start.empty()) make_room(c.start, n);
  Rows& r = m.data.rows;
  if (numvars == 1 && numnz > 0) {
    for (const Entry& en : columns[0]) make_room(r.lin[static_cast<size_t>(en.index)], 1);  // each row once
  } else if (numnz > 0) {
    std::vector<long long> row_growth(static_cast<size_t>(nrows), 0);
    for (const SparseVector& col : columns)
      for (const Entry& en : col) ++row_growth[static_cast<size_t>(en.index)];
    for (size_t i = 0; i < row_growth.size(); ++i)
      if (row_growth[i]) make_room(r.lin[i], static_cast<size_t>(row_growth[i]));
  }

  // Names are the one part that allocates as it is stored: they go first and
  // are taken back when one cannot be made.
  const int first = c.size();
  try {
    if (named)
      for (int j = 0; j < numvars; ++j) c.name.push_back(varnames ? name_or_empty(varnames[j]) : ShortText());
  } catch (...) {
    c.name.resize(static_cast<size_t>(first));
    throw;
  }
  // Nothing below allocates: the change cannot stop half-way.
  for (int j = 0; j < numvars; ++j) {
    c.lb.push_back(lb ? checked_bound(lb[j]) : 0.0);
    c.ub.push_back(ub ? checked_bound(ub[j]) : VLM_INFINITY);
    c.obj.push_back(obj ? checked_coef(obj[j]) : 0.0);
    c.type.push_back(vtype ? checked_type(vtype[j]) : VLM_CONTINUOUS);
    if (!c.start.empty()) c.start.push_back(VLM_UNDEFINED);
    // The new column has the largest index, so appending keeps rows sorted.
    if (!columns.empty())
      for (const Entry& en : columns[static_cast<size_t>(j)])
        r.lin[static_cast<size_t>(en.index)].push_back({first + j, en.value});
  }
  m.var_names.appended(c.name, first);
  m.data_changed();
}

}  // namespace velmor

using velmor::check_writable;
using velmor::refuse;
using velmor::with_model;

extern "C" {

int VLMaddvar(VLMmodel* model, int nnz, const int* rowind, const double* rowval, double obj, double lb, double ub,
              char vtype, const char* name) {
  return with_model(model, [&](VLMmodel& m) {
    velmor::check_count(nnz);
    const int beg = 0;
    const char* const names[1] = {name};
    velmor::add_vars(m, 1, nnz, &beg, rowind, rowval, &obj, &lb, &ub, &vtype, names);
    return VLM_OKAY;
  });
}

int VLMaddvars(VLMmodel* model, int numvars, int numnz, const int* colbeg, const int* colind, const double* colval,
               const double* obj, const double* lb, const double* ub, const char* vtype,
               const char* const* varnames) {
  return with_model(model, [&](VLMmodel& m) {
    velmor::add_vars(m, numvars, numnz, colbeg, colind, colval, obj, lb, ub, vtype, varnames);
    return VLM_OKAY;
  });
}

int VLMaddrangeconstr(VLMmodel* model, int nnz, const int* colind, const double* colval, double lb, double ub,
                      const char* name) {
  return VLMaddrangeconstrs(model, 1, nnz, nullptr, colind, colval, &lb, &ub, &name);
}

int VLMaddrangeconstrs(VLMmodel* model, int numconstrs, int nnz, const int* rowbeg, const int* colind,
                       const double* colval, const double* lb, const double* ub, const char* const* names) {
  return with_model(model, [&](VLMmodel& m) {
    check_writable(m);
    velmor::check_count(numconstrs);
    velmor::check_growth(m.data.rows.size(), numconstrs);
    // One row needs no starts: it spans every entry.
    const int single = 0;
    if (numconstrs == 1 && !rowbeg) rowbeg = &single;
    velmor::check_starts(numconstrs, nnz, rowbeg);
    const int ncols = m.data.cols.size();
    std::vector<velmor::NewRow> rows(static_cast<size_t>(numconstrs));
    for (int i = 0; i < numconstrs; ++i) {
      velmor::NewRow& row = rows[static_cast<size_t>(i)];
      const long long b = velmor::item_begin(rowbeg, i), e = velmor::item_end(rowbeg, numconstrs, nnz, i);
      row.lin = velmor::make_sparse(colind + b, colval + b, e - b, ncols, VLM_ERROR_MODEL_INVALID_COL_IDX);
      row.lb = lb ? velmor::checked_bound(lb[i]) : -VLM_INFINITY;
      row.ub = ub ? velmor::checked_bound(ub[i]) : VLM_INFINITY;
      row.name = names ? velmor::name_or_empty(names[i]) : velmor::ShortText();
      row.is_psd = 0;
    }
    velmor::append_rows(m, rows);
    return VLM_OKAY;
  });
}

int VLMaddqpterms(VLMmodel* model, int numqnz, const int* qrow, const int* qcol, const double* qval) {
  return with_model(model, [&](VLMmodel& m) {
    check_writable(m);
    velmor::check_count(numqnz);
    velmor::check_array(qrow, numqnz);
    velmor::check_array(qcol, numqnz);
    velmor::check_array(qval, numqnz);
    const int ncols = m.data.cols.size();
    velmor::QuadTerms added;
    added.reserve(static_cast<size_t>(numqnz));
    for (int k = 0; k < numqnz; ++k) {
      velmor::check_index(qrow[k], ncols, VLM_ERROR_MODEL_INVALID_COL_IDX);
      velmor::check_index(qcol[k], ncols, VLM_ERROR_MODEL_INVALID_COL_IDX);
      added.push_back({{qrow[k], qcol[k]}, velmor::checked_coef(qval[k])});
    }
    velmor::add_quad_terms(m.data.quad, added, [](double sum) { velmor::checked_coef(sum); });
    m.data_changed();
    return VLM_OKAY;
  });
}

int VLMdelq(VLMmodel* model) {
  return with_model(model, [&](VLMmodel& m) {
    check_writable(m);
    m.data.quad.clear();
    m.data_changed();
    return VLM_OKAY;
  });
}

int VLMaddsos(VLMmodel* model, int numsos, int nnz, const int* types, const int* beg, const int* ind,
              const double* weight) {
  return with_model(model, [&](VLMmodel& m) {
    check_writable(m);
    velmor::check_count(numsos);
    velmor::check_growth(static_cast<long long>(m.data.sos.size()), numsos);
    velmor::check_array(types, numsos);
    velmor::check_starts(numsos, nnz, beg);
    velmor::check_array(ind, nnz);
    velmor::check_array(weight, nnz);
    const int ncols = m.data.cols.size();
    std::vector<velmor::Sos> sets(static_cast<size_t>(numsos));
    for (int i = 0; i < numsos; ++i) {
      velmor::Sos& s = sets[static_cast<size_t>(i)];
      if (types[i] != VLM_SOS_TYPE1 && types[i] != VLM_SOS_TYPE2) refuse(VLM_ERROR_MODEL_INVALID_SOS_TYPE);
      s.type = types[i];
      const long long b = velmor::item_begin(beg, i), e = velmor::item_end(beg, numsos, nnz, i);
      for (long long k = b; k < e; ++k) {
        velmor::check_index(ind[k], ncols, VLM_ERROR_MODEL_INVALID_COL_IDX);
        s.members.push_back(ind[k]);
        s.weights.push_back(velmor::checked_coef(weight[k]));
      }
      std::vector<int> sorted = s.members;
      std::sort(sorted.begin(), sorted.end());
      if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) refuse(VLM_ERROR_INVALID_ARGUMENT);
    }
    velmor::make_room(m.data.sos, sets.size());
    for (velmor::Sos& s : sets) m.data.sos.push_back(std::move(s));
    m.data_changed();
    return VLM_OKAY;
  });
}

int VLMaddgenconstrIndicator(VLMmodel* model, const char* name, int binvar, int binval, int nnz, const int* colind,
                             const double* colval, char sense, double rhs) {
  return with_model(model, [&](VLMmodel& m) {
    check_writable(m);
    velmor::check_growth(static_cast<long long>(m.data.indicators.size()), 1);
    const velmor::Columns& c = m.data.cols;
    velmor::check_index(binvar, c.size(), VLM_ERROR_MODEL_INVALID_INDICATOR_COL_IDX);
    if (c.type[static_cast<size_t>(binvar)] != VLM_BINARY) refuse(VLM_ERROR_MODEL_INVALID_INDICATOR_COL_IDX);
    if (binval != 0 && binval != 1) refuse(VLM_ERROR_INVALID_ARGUMENT);
    velmor::Indicator ind;
    ind.lin = velmor::make_sparse(colind, colval, nnz, c.size(), VLM_ERROR_MODEL_INVALID_COL_IDX);
    ind.sense = velmor::checked_sense(sense);
    ind.rhs = velmor::checked_bound(rhs);
    ind.name = velmor::name_or_empty(name);
    ind.binvar = binvar;
    ind.binval = binval;
    m.data.indicators.push_back(std::move(ind));
    m.data_changed();
    return VLM_OKAY;
  });
}

int VLMaddpsdvar(VLMmodel* model, int dim, int nnz, const int* objind, const double* objval, const char* name) {
  return with_model(model, [&](VLMmodel& m) {
    check_writable(m);
    velmor::check_growth(static_cast<long long>(m.data.psd_vars.size()), 1);
    if (dim < 1 || dim > velmor::kMaxPsdDim) refuse(VLM_ERROR_INVALID_ARGUMENT);
    velmor::check_count(nnz);
    velmor::check_positions(objind, nnz, dim);
    velmor::check_values(objval, nnz);
    velmor::PsdVariable v;
    v.dim = dim;
    v.obj = velmor::sym_from_handoff(dim, nnz, objind, objval);
    v.name = velmor::name_or_empty(name);
    m.data.psd_vars.push_back(std::move(v));
    m.data_changed();
    return VLM_OKAY;
  });
}

int VLMaddrangepsdconstr(VLMmodel* model, int nlin, int npsd, int nnz, const int* linind, const double* linval,
                         const int* psdvarind, const int* psdbeg, const int* psdind, const double* psdval, double lb,
                         double ub, const char* name) {
  return with_model(model, [&](VLMmodel& m) {
    check_writable(m);
    velmor::check_growth(m.data.rows.size(), 1);
    std::vector<velmor::NewRow> rows(1);
    velmor::NewRow& row = rows[0];
    row.lin = velmor::make_sparse(linind, linval, nlin, m.data.cols.size(), VLM_ERROR_MODEL_INVALID_COL_IDX);
    velmor::check_count(npsd);
    velmor::check_array(psdvarind, npsd);
    velmor::check_starts(npsd, nnz, psdbeg);
    const int nvars = static_cast<int>(m.data.psd_vars.size());
    for (int j = 0; j < npsd; ++j) {
      velmor::check_index(psdvarind[j], nvars, VLM_ERROR_MODEL_INVALID_SYM_MAT_IDX);
      const int dim = m.data.psd_vars[static_cast<size_t>(psdvarind[j])].dim;
      const long long b = velmor::item_begin(psdbeg, j), e = velmor::item_end(psdbeg, npsd, nnz, j);
      velmor::check_positions(psdind + b, e - b, dim);
      velmor::check_values(psdval + b, e - b);
      row.psd.push_back({psdvarind[j], velmor::sym_from_handoff(dim, e - b, psdind + b, psdval + b)});
    }
    std::sort(row.psd.begin(), row.psd.end(),
              [](const velmor::PsdTerm& a, const velmor::PsdTerm& b) { return a.var < b.var; });
    for (size_t j = 1; j < row.psd.size(); ++j)
      if (row.psd[j].var == row.psd[j - 1].var) refuse(VLM_ERROR_INVALID_ARGUMENT);
    row.lb = velmor::checked_bound(lb);
    row.ub = velmor::checked_bound(ub);
    row.name = velmor::name_or_empty(name);
    row.is_psd = 1;
    velmor::append_rows(m, rows);
    return VLM_OKAY;
  });
}

int VLMchgcoeffs(VLMmodel* model, int cnt, const int* rowind, const int* colind, const double* val) {
  return with_model(model, [&](VLMmodel& m) {
    check_writable(m);
    velmor::check_count(cnt);
    velmor::check_array(rowind, cnt);
    velmor::check_array(colind, cnt);
    velmor::check_array(val, cnt);
    velmor::Rows& r = m.data.rows;
    std::vector<int> growth;  // rows that may gain an entry, once per change
    for (int k = 0; k < cnt; ++k) {
      velmor::check_index(rowind[k], r.size(), VLM_ERROR_MODEL_INVALID_ROW_IDX);
      velmor::check_index(colind[k], m.data.cols.size(), VLM_ERROR_MODEL_INVALID_COL_IDX);
      if (velmor::checked_coef(val[k]) != 0.0) growth.push_back(rowind[k]);
    }
    std::sort(growth.begin(), growth.end());
    for (size_t k = 0; k < growth.size();) {
      size_t e = k;
      while (e < growth.size() && growth[e] == growth[k]) ++e;
      velmor::SparseVector& row = r.lin[static_cast<size_t>(growth[k])];
      velmor::make_room(row, e - k);
      k = e;
    }
    // Applied in order, so a later change of the same coefficient wins.
    for (int k = 0; k < cnt; ++k) {
      velmor::SparseVector& row = r.lin[static_cast<size_t>(rowind[k])];
      auto it = std::lower_bound(row.begin(), row.end(), colind[k],
                                 [](const velmor::Entry& e, int col) { return e.index < col; });
      const bool found = it != row.end() && it->index == colind[k];
      if (val[k] == 0.0) {
        if (found) row.erase(it);
      } else if (found) {
        it->value = val[k];
      } else {
        row.insert(it, {colind[k], val[k]});
      }
    }
    m.data_changed();
    return VLM_OKAY;
  });
}

int VLMdelvars(VLMmodel* model, int num, const int* ind) {
  return with_model(model, [&](VLMmodel& m) {
    check_writable(m);
    velmor::ModelData& d = m.data;
    const std::vector<int> map = velmor::renumbering(d.cols.size(), num, ind, VLM_ERROR_MODEL_INVALID_COL_IDX);
    // An indicator cannot lose its binary variable: delete the indicator first.
    for (const velmor::Indicator& g : d.indicators)
      if (map[static_cast<size_t>(g.binvar)] < 0) refuse(VLM_ERROR_MODEL_INVALID_INDICATOR_COL_IDX);
    if (num == 0) return VLM_OKAY;

    velmor::keep(d.cols.lb, map);
    velmor::keep(d.cols.ub, map);
    velmor::keep(d.cols.obj, map);
    velmor::keep(d.cols.type, map);
    if (!d.cols.name.empty()) velmor::keep(d.cols.name, map);
    if (!d.cols.start.empty()) velmor::keep(d.cols.start, map);
    for (velmor::SparseVector& row : d.rows.lin) velmor::renumber(row, map);
    for (velmor::Indicator& g : d.indicators) {
      velmor::renumber(g.lin, map);
      g.binvar = map[static_cast<size_t>(g.binvar)];
    }
    for (velmor::Sos& s : d.sos) {
      size_t out = 0;
      for (size_t k = 0; k < s.members.size(); ++k) {
        const int to = map[static_cast<size_t>(s.members[k])];
        if (to < 0) continue;
        s.members[out] = to;
        s.weights[out] = s.weights[k];
        ++out;
      }
      s.members.resize(out);
      s.weights.resize(out);
    }
    // The renumbering keeps the order of pairs.
    size_t kept = 0;
    for (const auto& t : d.quad) {
      const int i = map[static_cast<size_t>(t.first.first)], j = map[static_cast<size_t>(t.first.second)];
      if (i >= 0 && j >= 0) d.quad[kept++] = {{i, j}, t.second};
    }
    d.quad.resize(kept);
    m.var_names.renumbered(map);
    m.data_changed();
    return VLM_OKAY;
  });
}

int VLMdelconstrs(VLMmodel* model, int num, const int* ind) {
  return with_model(model, [&](VLMmodel& m) {
    check_writable(m);
    velmor::Rows& r = m.data.rows;
    const std::vector<int> map = velmor::renumbering(r.size(), num, ind, VLM_ERROR_MODEL_INVALID_ROW_IDX);
    if (num == 0) return VLM_OKAY;
    velmor::keep(r.lb, map);
    velmor::keep(r.ub, map);
    velmor::keep(r.name, map);
    velmor::keep(r.lin, map);
    velmor::keep(r.psd, map);
    velmor::keep(r.is_psd, map);
    m.row_names.renumbered(map);
    m.data_changed();
    return VLM_OKAY;
  });
}

int VLMdelsos(VLMmodel* model, int num, const int* ind) {
  return with_model(model, [&](VLMmodel& m) {
    check_writable(m);
    const std::vector<int> map = velmor::renumbering(static_cast<int>(m.data.sos.size()), num, ind,
                                                     VLM_ERROR_MODEL_INVALID_SOS_IDX);
    if (num == 0) return VLM_OKAY;
    velmor::keep(m.data.sos, map);
    m.data_changed();
    return VLM_OKAY;
  });
}

int VLMdelgenconstrs(VLMmodel* model, int num, const int* ind) {
  return with_model(model, [&](VLMmodel& m) {
    check_writable(m);
    const std::vector<int> map = velmor::renumbering(static_cast<int>(m.data.indicators.size()), num, ind,
                                                     VLM_ERROR_MODEL_INVALID_INDICATOR_ROW_IDX);
    if (num == 0) return VLM_OKAY;
    velmor::keep(m.data.indicators, map);
    m.data_changed();
    return VLM_OKAY;
  });
}

}  // extern "C"
