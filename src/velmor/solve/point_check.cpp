// The check of a point on a quadratic program as given, and the tests of
// infeasibility and unboundedness certificates.
#include "solve/point_check.hpp"

#include <algorithm>
#include <cmath>

namespace velmor {

namespace {

// The objective-scaled measures of a QP (QpCheck) take an objective or a
// gradient below this size as this size: relative accuracy means nothing
// for an objective that is 0 at its optimum with all its terms.
constexpr double kObjectiveFloor = 1e-6;

}  // namespace

QpCheck check_qp_point(const QpData& qp, const double* x, const double* y) {
  QpCheck r;
  const size_t n = static_cast<size_t>(qp.n), m = static_cast<size_t>(qp.m);
  for (size_t j = 0; j < n; ++j)
    if (!std::isfinite(x[j])) return r;
  for (size_t i = 0; i < m; ++i)
    if (!std::isfinite(y[i])) return r;
  // Row activities, the largest term of each row, the largest |a_ij| of each
  // row, and A'y with its largest term per column.
  std::vector<double> act(m, 0.0), term(m, 0.0), amax(m, 0.0), aty(n, 0.0);
  double aty_max = 0;
  for (size_t j = 0; j < n; ++j) {
    double s = 0;
    for (int k = qp.a_start[j]; k < qp.a_start[j + 1]; ++k) {
      const size_t i = static_cast<size_t>(qp.a_index[static_cast<size_t>(k)]);
      const double a = qp.a_value[static_cast<size_t>(k)];
      act[i] += a * x[j];
      term[i] = std::max(term[i], std::fabs(a * x[j]));
      amax[i] = std::max(amax[i], std::fabs(a));
      s += a * y[i];
      aty_max = std::max(aty_max, std::fabs(a * y[i]));
    }
    aty[j] = s;
  }
  const std::vector<double> hx = qp.hessian_times(x);
  double quad = 0;
  double cx = 0, c_max = 0, hx_max = 0;
  for (size_t j = 0; j < n; ++j) {
    cx += qp.c[j] * x[j];
    quad += 0.5 * hx[j] * x[j];
    c_max = std::max(c_max, std::fabs(qp.c[j]));
    hx_max = std::max(hx_max, std::fabs(hx[j]));
  }
  r.objective = cx + quad;

  double primal = 0, dual = 0, comp = 0;
  auto violation = [](double v, double l, double u) {
    double e = 0;
    if (finite_bound(l)) e = std::max(e, l - v);
    if (finite_bound(u)) e = std::max(e, v - u);
    return e;
  };
  // A multiplier's complementarity term, or its dual infeasibility when the
  // side it prices is infinite.
  auto priced = [&](double mult, double v, double l, double u, double weight) {
    if (mult > 0) {
      if (finite_bound(l))
        comp += mult * std::fabs(v - l);
      else
        dual = std::max(dual, mult * weight);
    } else if (mult < 0) {
      if (finite_bound(u))
        comp += -mult * std::fabs(u - v);
      else
        dual = std::max(dual, -mult * weight);
    }
  };
  for (size_t j = 0; j < n; ++j) {
    const double l = qp.col_lb[j], u = qp.col_ub[j];
    const double side = std::max(finite_bound(l) ? std::fabs(l) : 0.0, finite_bound(u) ? std::fabs(u) : 0.0);
    primal = std::max(primal, violation(x[j], l, u) / std::max(1.0, side));
    priced(qp.c[j] + hx[j] - aty[j], x[j], l, u, 1.0);
  }
  for (size_t i = 0; i < m; ++i) {
    const double l = qp.row_lb[i], u = qp.row_ub[i];
    const double side = std::max(finite_bound(l) ? std::fabs(l) : 0.0, finite_bound(u) ? std::fabs(u) : 0.0);
    primal = std::max(primal, violation(act[i], l, u) / std::max({1.0, side, term[i]}));
    priced(y[i], act[i], l, u, amax[i]);
  }
  r.primal = primal;
  const double gradient = std::max({c_max, hx_max, aty_max});
  const double terms = std::max({std::fabs(r.objective), std::fabs(cx), quad});
  r.dual = dual / (1.0 + gradient);
  r.gap = comp / (1.0 + terms);
  r.objective_dual = dual / std::min(1.0 + gradient, std::max(gradient, kObjectiveFloor));
  r.objective_gap =
      comp / std::min(std::max(1.0, std::fabs(r.objective + qp.constant)), std::max(terms, kObjectiveFloor));
  return r;
}

// ---- certificates ---------------------------------------------------------------------------

namespace {

// The largest finite bound or side of the problem, at least 1.
double largest_side(const QpData& qp) {
  double s = 1.0;
  for (const std::vector<double>* v : {&qp.col_lb, &qp.col_ub, &qp.row_lb, &qp.row_ub})
    for (double x : *v)
      if (finite_bound(x)) s = std::max(s, std::fabs(x));
  return s;
}

// v divided by its largest magnitude; false when v is not of `size`
// entries, is zero or is not finite.
bool normalised(const std::vector<double>& v, size_t size, std::vector<double>& out) {
  if (v.size() != size) return false;
  const double big = norm_inf(v);
  if (!(big > 0) || !std::isfinite(big)) return false;
  out.resize(size);
  for (size_t k = 0; k < size; ++k) out[k] = v[k] / big;
  return true;
}

}  // namespace

bool is_infeasibility_certificate(const QpData& qp, const std::vector<double>& y_in) {
  const size_t n = static_cast<size_t>(qp.n), m = static_cast<size_t>(qp.m);
  // Normalised; a multiplier pricing an infinite side is dropped.
  std::vector<double> y;
  if (!normalised(y_in, m, y)) return false;
  for (size_t i = 0; i < m; ++i)
    if (!((y[i] > 0 && finite_bound(qp.row_lb[i])) || (y[i] < 0 && finite_bound(qp.row_ub[i])))) y[i] = 0.0;
  // For every feasible x: y'Ax >= sum of the row sides y prices, and
  // z'x >= sum of the bounds z = -A'y prices; y'Ax + z'x = 0. A positive
  // total is a contradiction. A z_j pricing an infinite bound is allowed
  // only for |x_j| up to `reach`, where it cannot cancel the total.
  double total = 0, size = 0, loose = 0;
  for (size_t i = 0; i < m; ++i) {
    if (y[i] == 0) continue;
    const double t = y[i] * (y[i] > 0 ? qp.row_lb[i] : qp.row_ub[i]);
    total += t;
    size += std::fabs(t);
  }
  for (size_t j = 0; j < n; ++j) {
    double z = 0;
    for (int k = qp.a_start[j]; k < qp.a_start[j + 1]; ++k)
      z -= qp.a_value[static_cast<size_t>(k)] * y[static_cast<size_t>(qp.a_index[static_cast<size_t>(k)])];
    if (z == 0) continue;
    const double bound = z > 0 ? qp.col_lb[j] : qp.col_ub[j];
    if (finite_bound(bound)) {
      total += z * bound;
      size += std::fabs(z * bound);
    } else {
      loose += std::fabs(z);
    }
  }
  const double reach = 1e8 * largest_side(qp);
  return total > 1e-9 * (1.0 + size) && loose * reach < 0.5 * total;
}

bool is_unbounded_direction(const QpData& qp, const std::vector<double>& d_in) {
  const size_t n = static_cast<size_t>(qp.n), m = static_cast<size_t>(qp.m);
  std::vector<double> d;
  if (!normalised(d_in, n, d)) return false;
  constexpr double kTol = 1e-7;
  double cd = 0, c_max = 0;
  for (size_t j = 0; j < n; ++j) {
    cd += qp.c[j] * d[j];
    c_max = std::max(c_max, std::fabs(qp.c[j]));
    if ((finite_bound(qp.col_lb[j]) && d[j] < -kTol) || (finite_bound(qp.col_ub[j]) && d[j] > kTol)) return false;
  }
  if (!(cd < -1e-6 * std::max(1.0, c_max))) return false;
  const std::vector<double> hd = qp.hessian_times(d.data());
  const double h_max = norm_inf(qp.h_value);
  // Along t d the objective changes by t c'd + t^2/2 d'Hd (plus t x'Hd): d'Hd
  // must leave the decrease unbounded for every reasonable t.
  if (norm_inf(hd) > kTol * std::max(1.0, h_max)) return false;
  std::vector<double> ad(m, 0.0), amax(m, 0.0);
  for (size_t j = 0; j < n; ++j)
    for (int k = qp.a_start[j]; k < qp.a_start[j + 1]; ++k) {
      const size_t i = static_cast<size_t>(qp.a_index[static_cast<size_t>(k)]);
      ad[i] += qp.a_value[static_cast<size_t>(k)] * d[j];
      amax[i] = std::max(amax[i], std::fabs(qp.a_value[static_cast<size_t>(k)]));
    }
  for (size_t i = 0; i < m; ++i) {
    const double tol = kTol * std::max(1.0, amax[i]);
    if ((finite_bound(qp.row_lb[i]) && ad[i] < -tol) || (finite_bound(qp.row_ub[i]) && ad[i] > tol)) return false;
  }
  return true;
}

}  // namespace velmor
