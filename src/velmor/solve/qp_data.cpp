// QpData: building it from a model or from CLP's relaxation, and its
// products.
#include "solve/qp_data.hpp"

#include <ClpSimplex.hpp>
#include <CoinPackedMatrix.hpp>

#include "solve/solve.hpp"

namespace velmor {

void add_symmetric_times(const std::vector<int>& start, const std::vector<int>& index, const std::vector<double>& value,
                         const double* x, double* out) {
  for (int j = 0; j + 1 < static_cast<int>(start.size()); ++j)
    for (int k = start[static_cast<size_t>(j)]; k < start[static_cast<size_t>(j) + 1]; ++k) {
      const int i = index[static_cast<size_t>(k)];
      const double h = value[static_cast<size_t>(k)];
      out[i] += h * x[j];
      if (i != j) out[j] += h * x[i];
    }
}

double quadratic_objective(const std::vector<double>& c, const std::vector<int>& h_start,
                           const std::vector<int>& h_index, const std::vector<double>& h_value, const double* x) {
  double v = 0;
  for (size_t j = 0; j < c.size(); ++j) v += c[j] * x[j];
  for (int j = 0; j + 1 < static_cast<int>(h_start.size()); ++j)
    for (int k = h_start[static_cast<size_t>(j)]; k < h_start[static_cast<size_t>(j) + 1]; ++k) {
      const int i = h_index[static_cast<size_t>(k)];
      v += (i == j ? 0.5 : 1.0) * h_value[static_cast<size_t>(k)] * x[i] * x[j];
    }
  return v;
}

QpData QpData::from_clp(const ClpSimplex& lp, const std::vector<int>& h_start, const std::vector<int>& h_index,
                        const std::vector<double>& h_value) {
  QpData d;
  d.n = lp.numberColumns();
  d.m = lp.numberRows();
  const CoinPackedMatrix* a = const_cast<ClpSimplex&>(lp).matrix();
  const CoinBigIndex* start = a->getVectorStarts();
  const int* length = a->getVectorLengths();
  const int* index = a->getIndices();
  const double* value = a->getElements();
  d.a_start.push_back(0);
  for (int j = 0; j < d.n; ++j) {
    for (CoinBigIndex k = start[j]; k < start[j] + length[j]; ++k) {
      d.a_index.push_back(index[k]);
      d.a_value.push_back(value[k]);
    }
    d.a_start.push_back(static_cast<int>(d.a_index.size()));
  }
  d.h_start = h_start;
  d.h_index = h_index;
  d.h_value = h_value;
  if (!d.h_start.empty()) d.h_start.resize(static_cast<size_t>(d.n) + 1, d.h_start.back());
  const double* obj = const_cast<ClpSimplex&>(lp).objective();
  d.c.assign(obj, obj + d.n);
  d.col_lb.assign(lp.columnLower(), lp.columnLower() + d.n);
  d.col_ub.assign(lp.columnUpper(), lp.columnUpper() + d.n);
  d.row_lb.assign(lp.rowLower(), lp.rowLower() + d.m);
  d.row_ub.assign(lp.rowUpper(), lp.rowUpper() + d.m);
  return d;
}

QpData QpData::from_model(const SolverModel& sm) {
  QpData d;
  d.n = sm.num_cols();
  d.m = sm.num_rows();
  d.a_start = sm.col_start;
  d.a_index = sm.row_index;
  d.a_value = sm.value;
  d.h_start = sm.h_start;
  d.h_index = sm.h_index;
  d.h_value = sm.h_value;
  d.c = sm.obj;
  d.col_lb = sm.col_lb;
  d.col_ub = sm.col_ub;
  d.row_lb = sm.row_lb;
  d.row_ub = sm.row_ub;
  d.constant = sm.sense * sm.obj_const;
  return d;
}

std::vector<double> QpData::activities(const double* x) const {
  std::vector<double> a(static_cast<size_t>(m), 0.0);
  for (int j = 0; j < n; ++j)
    for (int k = a_start[static_cast<size_t>(j)]; k < a_start[static_cast<size_t>(j) + 1]; ++k)
      a[static_cast<size_t>(a_index[static_cast<size_t>(k)])] += a_value[static_cast<size_t>(k)] * x[j];
  return a;
}

std::vector<double> QpData::hessian_times(const double* x) const {
  std::vector<double> g(static_cast<size_t>(n), 0.0);
  add_symmetric_times(h_start, h_index, h_value, x, g.data());
  return g;
}

std::vector<double> QpData::gradient(const double* x) const {
  std::vector<double> g = hessian_times(x);
  for (size_t j = 0; j < g.size(); ++j) g[j] += c[j];
  return g;
}

std::vector<double> QpData::reduced_gradient(const double* x, const double* y) const {
  std::vector<double> d = gradient(x);
  for (int j = 0; j < n; ++j)
    for (int k = a_start[static_cast<size_t>(j)]; k < a_start[static_cast<size_t>(j) + 1]; ++k)
      d[static_cast<size_t>(j)] -= a_value[static_cast<size_t>(k)] * y[a_index[static_cast<size_t>(k)]];
  return d;
}

double QpData::objective(const double* x) const { return quadratic_objective(c, h_start, h_index, h_value, x); }

}  // namespace velmor
