#include "qp_interior.hpp"

#include <algorithm>
#include <cmath>

#include <ClpSimplex.hpp>
#include <CoinFinite.hpp>
#include <CoinPackedMatrix.hpp>

#include "solve.hpp"

namespace velmor {

namespace {

constexpr double kInfinite = 1e20;

bool finite(double v) { return std::fabs(v) < kInfinite; }

// A dense symmetric positive (semi)definite matrix, factorised in place as
// L L'. A pivot that cancels out against its diagonal entry (a direction
// the matrix does not see, as a dependent row gives) is replaced by a huge
// one, so that the solution's component along it is zero.
class Dense {
 public:
  explicit Dense(int n) : n_(n), a_(static_cast<size_t>(n) * static_cast<size_t>(n), 0.0) {}
  double& at(int i, int j) { return a_[static_cast<size_t>(i) * static_cast<size_t>(n_) + static_cast<size_t>(j)]; }
  double at(int i, int j) const { return a_[static_cast<size_t>(i) * static_cast<size_t>(n_) + static_cast<size_t>(j)]; }
  int size() const { return n_; }

  void factorize() {
    for (int j = 0; j < n_; ++j) {
      const double original = at(j, j);
      double d = original;
      for (int k = 0; k < j; ++k) d -= at(j, k) * at(j, k);
      if (!(d > 1e-13 * std::fabs(original)) || !(d > 1e-300)) {
        at(j, j) = 1e100;
        for (int i = j + 1; i < n_; ++i) at(i, j) = 0.0;
        continue;
      }
      const double l = std::sqrt(d);
      at(j, j) = l;
      for (int i = j + 1; i < n_; ++i) {
        double s = at(i, j);
        for (int k = 0; k < j; ++k) s -= at(i, k) * at(j, k);
        at(i, j) = s / l;
      }
    }
  }

  // Solves (L L') x = b in place.
  void solve(double* b) const {
    for (int i = 0; i < n_; ++i) {
      double s = b[i];
      for (int k = 0; k < i; ++k) s -= at(i, k) * b[k];
      b[i] = s / at(i, i);
    }
    for (int i = n_ - 1; i >= 0; --i) {
      double s = b[i];
      for (int k = i + 1; k < n_; ++k) s -= at(k, i) * b[k];
      b[i] = s / at(i, i);
    }
  }

 private:
  int n_;
  std::vector<double> a_;
};

double norm_inf(const std::vector<double>& v) {
  double r = 0;
  for (double x : v) r = std::max(r, std::fabs(x));
  return r;
}

// The problem the iterations work on: v = (free columns, row slacks) with
// bounds, equality rows B v = r, objective 1/2 v'Qv + q'v (+ a constant).
// Fixed columns are substituted out, equality rows need no slack, rows
// without any bound are dropped.
struct Reduced {
  int nx = 0, ns = 0, me = 0;  // free columns, slacks, equality rows
  std::vector<int> col_of;     // v index -> model column (slacks: -1)
  std::vector<int> row_of;     // equality row -> model row
  std::vector<double> lo, hi, q;
  Dense Q{0};
  std::vector<double> bmat;  // B, me x N row-major
  std::vector<double> r;
  int N() const { return nx + ns; }
  double b(int i, int j) const {
    return bmat[static_cast<size_t>(i) * static_cast<size_t>(N()) + static_cast<size_t>(j)];
  }
};

// Builds the reduced problem; false when fixed columns already break a row
// or a bound pair is crossed (the problem is infeasible).
bool reduce(const QpData& qp, std::vector<double>& fixed_x, Reduced& red) {
  const int n = qp.n, m = qp.m;
  fixed_x.assign(static_cast<size_t>(n), 0.0);
  std::vector<int> v_of(static_cast<size_t>(n), -1);
  for (int j = 0; j < n; ++j) {
    const double l = qp.col_lb[static_cast<size_t>(j)], u = qp.col_ub[static_cast<size_t>(j)];
    if (l > u + 1e-9 * std::max(1.0, std::fabs(l))) return false;
    if (finite(l) && finite(u) && u - l <= 1e-12 * std::max(1.0, std::fabs(l))) {
      fixed_x[static_cast<size_t>(j)] = 0.5 * (l + u);
      continue;
    }
    v_of[static_cast<size_t>(j)] = red.nx++;
    red.col_of.push_back(j);
  }
  // Row activity of the fixed part.
  std::vector<double> fixed_act(static_cast<size_t>(m), 0.0);
  std::vector<char> row_has_free(static_cast<size_t>(m), 0);
  for (int j = 0; j < n; ++j)
    for (int k = qp.a_start[static_cast<size_t>(j)]; k < qp.a_start[static_cast<size_t>(j) + 1]; ++k) {
      const int i = qp.a_index[static_cast<size_t>(k)];
      const double a = qp.a_value[static_cast<size_t>(k)];
      if (a == 0) continue;
      if (v_of[static_cast<size_t>(j)] < 0)
        fixed_act[static_cast<size_t>(i)] += a * fixed_x[static_cast<size_t>(j)];
      else
        row_has_free[static_cast<size_t>(i)] = 1;
    }
  std::vector<int> eq_of_row(static_cast<size_t>(m), -1), slack_of_row(static_cast<size_t>(m), -1);
  for (int i = 0; i < m; ++i) {
    const size_t k = static_cast<size_t>(i);
    const double l = qp.row_lb[k], u = qp.row_ub[k], a = fixed_act[k];
    const double tol = 1e-9 * std::max(1.0, std::max(std::fabs(finite(l) ? l : 0), std::fabs(finite(u) ? u : 0)));
    if (l > u + tol) return false;
    if (!row_has_free[k]) {
      if ((finite(l) && a < l - 1e-7 * std::max(1.0, std::fabs(l))) ||
          (finite(u) && a > u + 1e-7 * std::max(1.0, std::fabs(u))))
        return false;
      continue;
    }
    if (!finite(l) && !finite(u)) continue;
    eq_of_row[k] = red.me++;
    red.row_of.push_back(i);
    if (!(finite(l) && finite(u) && u - l <= tol)) slack_of_row[k] = red.ns++;
  }
  const int N = red.nx + red.ns;
  red.lo.assign(static_cast<size_t>(N), -COIN_DBL_MAX);
  red.hi.assign(static_cast<size_t>(N), COIN_DBL_MAX);
  red.q.assign(static_cast<size_t>(N), 0.0);
  red.r.assign(static_cast<size_t>(red.me), 0.0);
  red.bmat.assign(static_cast<size_t>(red.me) * static_cast<size_t>(N), 0.0);
  red.Q = Dense(N);
  for (int t = 0; t < red.nx; ++t) {
    const int j = red.col_of[static_cast<size_t>(t)];
    red.lo[static_cast<size_t>(t)] = qp.col_lb[static_cast<size_t>(j)];
    red.hi[static_cast<size_t>(t)] = qp.col_ub[static_cast<size_t>(j)];
    red.q[static_cast<size_t>(t)] = qp.c[static_cast<size_t>(j)];
  }
  red.col_of.resize(static_cast<size_t>(N), -1);
  for (int i = 0; i < m; ++i) {
    const size_t k = static_cast<size_t>(i);
    const int e = eq_of_row[k];
    if (e < 0) continue;
    const int s = slack_of_row[k];
    if (s < 0) {
      red.r[static_cast<size_t>(e)] = qp.row_lb[k] - fixed_act[k];
    } else {
      const size_t v = static_cast<size_t>(red.nx + s);
      red.bmat[static_cast<size_t>(e) * static_cast<size_t>(N) + v] = -1.0;
      if (finite(qp.row_lb[k])) red.lo[v] = qp.row_lb[k] - fixed_act[k];
      if (finite(qp.row_ub[k])) red.hi[v] = qp.row_ub[k] - fixed_act[k];
    }
  }
  for (int j = 0; j < n; ++j) {
    const int t = v_of[static_cast<size_t>(j)];
    if (t < 0) continue;
    for (int k = qp.a_start[static_cast<size_t>(j)]; k < qp.a_start[static_cast<size_t>(j) + 1]; ++k) {
      const int e = eq_of_row[static_cast<size_t>(qp.a_index[static_cast<size_t>(k)])];
      if (e >= 0)
        red.bmat[static_cast<size_t>(e) * static_cast<size_t>(N) + static_cast<size_t>(t)] +=
            qp.a_value[static_cast<size_t>(k)];
    }
  }
  // Hessian: free-free entries into Q, free-fixed ones into q.
  for (int j = 0; j + 1 < static_cast<int>(qp.h_start.size()); ++j)
    for (int k = qp.h_start[static_cast<size_t>(j)]; k < qp.h_start[static_cast<size_t>(j) + 1]; ++k) {
      const int i = qp.h_index[static_cast<size_t>(k)];
      const double h = qp.h_value[static_cast<size_t>(k)];
      const int ti = v_of[static_cast<size_t>(i)], tj = v_of[static_cast<size_t>(j)];
      if (ti >= 0 && tj >= 0) {
        red.Q.at(ti, tj) += h;
        if (ti != tj) red.Q.at(tj, ti) += h;
      } else if (ti >= 0) {
        red.q[static_cast<size_t>(ti)] += h * fixed_x[static_cast<size_t>(j)];
      } else if (tj >= 0) {
        red.q[static_cast<size_t>(tj)] += h * fixed_x[static_cast<size_t>(i)];
      }
    }
  return true;
}

}  // namespace

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
  return d;
}

std::vector<double> QpData::activities(const double* x) const {
  std::vector<double> a(static_cast<size_t>(m), 0.0);
  for (int j = 0; j < n; ++j)
    for (int k = a_start[static_cast<size_t>(j)]; k < a_start[static_cast<size_t>(j) + 1]; ++k)
      a[static_cast<size_t>(a_index[static_cast<size_t>(k)])] += a_value[static_cast<size_t>(k)] * x[j];
  return a;
}

std::vector<double> QpData::gradient(const double* x) const {
  std::vector<double> g(c);
  for (int j = 0; j + 1 < static_cast<int>(h_start.size()); ++j)
    for (int k = h_start[static_cast<size_t>(j)]; k < h_start[static_cast<size_t>(j) + 1]; ++k) {
      const int i = h_index[static_cast<size_t>(k)];
      const double h = h_value[static_cast<size_t>(k)];
      g[static_cast<size_t>(i)] += h * x[j];
      if (i != j) g[static_cast<size_t>(j)] += h * x[i];
    }
  return g;
}

std::vector<double> QpData::reduced_gradient(const double* x, const double* y) const {
  std::vector<double> d = gradient(x);
  for (int j = 0; j < n; ++j)
    for (int k = a_start[static_cast<size_t>(j)]; k < a_start[static_cast<size_t>(j) + 1]; ++k)
      d[static_cast<size_t>(j)] -= a_value[static_cast<size_t>(k)] * y[a_index[static_cast<size_t>(k)]];
  return d;
}

double QpData::objective(const double* x) const {
  double v = 0;
  for (int j = 0; j < n; ++j) v += c[static_cast<size_t>(j)] * x[j];
  for (int j = 0; j + 1 < static_cast<int>(h_start.size()); ++j)
    for (int k = h_start[static_cast<size_t>(j)]; k < h_start[static_cast<size_t>(j) + 1]; ++k) {
      const int i = h_index[static_cast<size_t>(k)];
      v += (i == j ? 0.5 : 1.0) * h_value[static_cast<size_t>(k)] * x[i] * x[j];
    }
  return v;
}

bool qp_verified(const QpData& qp, const double* x, const double* y, double feas_tol, double gap_tol) {
  auto outside = [&](double v, double l, double u) {
    return (finite(l) && v < l - feas_tol * std::max(1.0, std::fabs(l))) ||
           (finite(u) && v > u + feas_tol * std::max(1.0, std::fabs(u)));
  };
  for (int j = 0; j < qp.n; ++j)
    if (!std::isfinite(x[j]) || outside(x[j], qp.col_lb[static_cast<size_t>(j)], qp.col_ub[static_cast<size_t>(j)]))
      return false;
  const std::vector<double> act = qp.activities(x);
  for (int i = 0; i < qp.m; ++i)
    if (!std::isfinite(y[i]) ||
        outside(act[static_cast<size_t>(i)], qp.row_lb[static_cast<size_t>(i)], qp.row_ub[static_cast<size_t>(i)]))
      return false;
  const double gscale = 1.0 + norm_inf(qp.gradient(x));
  const std::vector<double> d = qp.reduced_gradient(x, y);
  // Gap: sum of multiplier * (value - the bound it prices); a multiplier on
  // an infinite bound is dual infeasibility, tolerated only when tiny.
  const double dual_tol = 1e-6 * gscale;
  double gap = 0;
  auto priced = [&](double mult, double v, double l, double u) {
    if (mult == 0) return true;
    const double bound = mult > 0 ? l : u;
    if (!finite(bound)) return std::fabs(mult) <= dual_tol;
    gap += mult * (v - bound);
    return true;
  };
  for (int j = 0; j < qp.n; ++j)
    if (!priced(d[static_cast<size_t>(j)], x[j], qp.col_lb[static_cast<size_t>(j)], qp.col_ub[static_cast<size_t>(j)]))
      return false;
  for (int i = 0; i < qp.m; ++i)
    if (!priced(y[i], act[static_cast<size_t>(i)], qp.row_lb[static_cast<size_t>(i)],
                qp.row_ub[static_cast<size_t>(i)]))
      return false;
  return std::fabs(gap) <= gap_tol * std::max(1.0, std::fabs(qp.objective(x)));
}

bool qp_interior_applies(int columns, int rows) { return static_cast<long long>(columns) + rows <= kMaxInteriorSize; }

QpResult solve_qp_interior(const QpData& qp, RunControl& run) {
  QpResult out;
  if (!qp_interior_applies(qp.n, qp.m)) return out;
  std::vector<double> fixed_x;
  Reduced red;
  if (!reduce(qp, fixed_x, red)) {
    out.status = 1;
    return out;
  }
  const int N = red.N(), me = red.me;
  const size_t NN = static_cast<size_t>(N);
  std::vector<char> has_l(NN), has_u(NN);
  int nb = 0;
  for (size_t j = 0; j < NN; ++j) {
    has_l[j] = finite(red.lo[j]);
    has_u[j] = finite(red.hi[j]);
    nb += has_l[j] + has_u[j];
  }
  // Start: inside the bounds, multipliers 1.
  std::vector<double> v(NN), zl(NN, 0.0), zu(NN, 0.0), y(static_cast<size_t>(me), 0.0);
  for (size_t j = 0; j < NN; ++j) {
    const double l = red.lo[j], u = red.hi[j];
    if (has_l[j] && has_u[j])
      v[j] = 0.5 * (l + u);
    else if (has_l[j])
      v[j] = l + std::max(1.0, 0.1 * std::fabs(l));
    else if (has_u[j])
      v[j] = u - std::max(1.0, 0.1 * std::fabs(u));
    if (has_l[j]) zl[j] = 1.0;
    if (has_u[j]) zu[j] = 1.0;
  }
  const double qscale = 1.0 + norm_inf(red.q), rscale = 1.0 + norm_inf(red.r);
  double qmax = 0;
  for (int i = 0; i < N; ++i) qmax = std::max(qmax, std::fabs(red.Q.at(i, i)));
  const double reg = 1e-10 * std::max(1.0, qmax);

  std::vector<double> rd(NN), rp(static_cast<size_t>(me)), wl(NN), wu(NN), sigma(NN);
  std::vector<double> dv(NN), dy(static_cast<size_t>(me)), dzl(NN), dzu(NN), dva(NN), dzla(NN), dzua(NN);
  std::vector<double> rho(NN), tl(NN), tu(NN), e1(NN), cv, cy;
  std::vector<double> rhs(static_cast<size_t>(me)), e2(static_cast<size_t>(me));
  std::vector<double> W(static_cast<size_t>(me) * NN);  // M^-1 B', column e at W[e * N]

  auto step_to_boundary = [&](const std::vector<double>& dvv, const std::vector<double>& dl,
                              const std::vector<double>& du) {
    double a = 1.0;
    for (size_t j = 0; j < NN; ++j) {
      if (has_l[j]) {
        if (dvv[j] < 0) a = std::min(a, -wl[j] / dvv[j]);
        if (dl[j] < 0) a = std::min(a, -zl[j] / dl[j]);
      }
      if (has_u[j]) {
        if (dvv[j] > 0) a = std::min(a, wu[j] / dvv[j]);
        if (du[j] < 0) a = std::min(a, -zu[j] / du[j]);
      }
    }
    return a;
  };

  const int kMaxIterations = 200;
  for (int iter = 0; iter < kMaxIterations; ++iter) {
    if (run.should_stop()) return out;
    // Residuals.
    for (size_t j = 0; j < NN; ++j) {
      double s = red.q[j];
      for (int k = 0; k < N; ++k) s += red.Q.at(static_cast<int>(j), k) * v[static_cast<size_t>(k)];
      for (int e = 0; e < me; ++e) s -= red.b(e, static_cast<int>(j)) * y[static_cast<size_t>(e)];
      rd[j] = s - zl[j] + zu[j];
      wl[j] = has_l[j] ? v[j] - red.lo[j] : 1.0;
      wu[j] = has_u[j] ? red.hi[j] - v[j] : 1.0;
    }
    for (int e = 0; e < me; ++e) {
      double s = -red.r[static_cast<size_t>(e)];
      for (int j = 0; j < N; ++j) s += red.b(e, j) * v[static_cast<size_t>(j)];
      rp[static_cast<size_t>(e)] = s;
    }
    double comp = 0;
    for (size_t j = 0; j < NN; ++j) comp += (has_l[j] ? wl[j] * zl[j] : 0.0) + (has_u[j] ? wu[j] * zu[j] : 0.0);
    const double mu = nb > 0 ? comp / nb : 0.0;
    double pobj = 0;
    for (size_t j = 0; j < NN; ++j) {
      double s = 0;
      for (int k = 0; k < N; ++k) s += red.Q.at(static_cast<int>(j), k) * v[static_cast<size_t>(k)];
      pobj += v[j] * (red.q[j] + 0.5 * s);
    }
    // Converged: rows and stationarity to 1e-9 of the data's scale, complementarity to 1e-10 of the objective.
    if (norm_inf(rp) <= 1e-9 * rscale && norm_inf(rd) <= 1e-9 * qscale &&
        comp <= 1e-10 * std::max(1.0, std::fabs(pobj))) {
      out.status = 0;
      break;
    }
    if (norm_inf(v) > 1e14 || norm_inf(zl) > 1e14 || norm_inf(zu) > 1e14 || !std::isfinite(comp)) return out;

    // The Newton matrix M = Q + Sigma (+ regularisation) and the Schur
    // complement S = B M^-1 B'.
    Dense M(N);
    for (int i = 0; i < N; ++i)
      for (int k = 0; k < N; ++k) M.at(i, k) = red.Q.at(i, k);
    for (size_t j = 0; j < NN; ++j) {
      sigma[j] = (has_l[j] ? zl[j] / wl[j] : 0.0) + (has_u[j] ? zu[j] / wu[j] : 0.0);
      M.at(static_cast<int>(j), static_cast<int>(j)) += sigma[j] + reg;
    }
    M.factorize();
    for (int e = 0; e < me; ++e) {
      double* col = &W[static_cast<size_t>(e) * NN];
      for (int j = 0; j < N; ++j) col[j] = red.b(e, j);
      M.solve(col);
    }
    Dense S(me);
    for (int e = 0; e < me; ++e)
      for (int f = 0; f <= e; ++f) {
        double s = 0;
        const double* col = &W[static_cast<size_t>(f) * NN];
        for (int j = 0; j < N; ++j) s += red.b(e, j) * col[j];
        S.at(e, f) = S.at(f, e) = s;
      }
    for (int e = 0; e < me; ++e) S.at(e, e) += 1e-12 * (1.0 + std::fabs(S.at(e, e)));
    S.factorize();

    // Solves (Q + Sigma) a - B'b = r1, B a = r2 with the factors (whose
    // regularisation makes the answer slightly off).
    auto kkt_solve = [&](const std::vector<double>& r1, const std::vector<double>& r2, std::vector<double>& a,
                         std::vector<double>& b) {
      a = r1;
      M.solve(a.data());
      b.resize(static_cast<size_t>(me));
      for (int e = 0; e < me; ++e) {
        double s = r2[static_cast<size_t>(e)];
        for (int j = 0; j < N; ++j) s -= red.b(e, j) * a[static_cast<size_t>(j)];
        b[static_cast<size_t>(e)] = s;
      }
      if (me > 0) S.solve(b.data());
      for (size_t j = 0; j < NN; ++j)
        for (int e = 0; e < me; ++e) a[j] += W[static_cast<size_t>(e) * NN + j] * b[static_cast<size_t>(e)];
    };
    // One Newton direction for complementarity targets tl, tu, refined
    // against the exact system.
    auto direction = [&](std::vector<double>& ddv, std::vector<double>& ddl, std::vector<double>& ddu) {
      for (size_t j = 0; j < NN; ++j)
        rho[j] = -rd[j] + (has_l[j] ? tl[j] / wl[j] : 0.0) - (has_u[j] ? tu[j] / wu[j] : 0.0);
      for (int e = 0; e < me; ++e) rhs[static_cast<size_t>(e)] = -rp[static_cast<size_t>(e)];
      kkt_solve(rho, rhs, ddv, dy);
      for (int pass = 0; pass < 2; ++pass) {
        for (size_t j = 0; j < NN; ++j) {
          double s = rho[j] - sigma[j] * ddv[j];
          for (int k = 0; k < N; ++k) s -= red.Q.at(static_cast<int>(j), k) * ddv[static_cast<size_t>(k)];
          for (int e = 0; e < me; ++e) s += red.b(e, static_cast<int>(j)) * dy[static_cast<size_t>(e)];
          e1[j] = s;
        }
        for (int e = 0; e < me; ++e) {
          double s = -rp[static_cast<size_t>(e)];
          for (int j = 0; j < N; ++j) s -= red.b(e, j) * ddv[static_cast<size_t>(j)];
          e2[static_cast<size_t>(e)] = s;
        }
        kkt_solve(e1, e2, cv, cy);
        for (size_t j = 0; j < NN; ++j) ddv[j] += cv[j];
        for (int e = 0; e < me; ++e) dy[static_cast<size_t>(e)] += cy[static_cast<size_t>(e)];
      }
      for (size_t j = 0; j < NN; ++j) {
        ddl[j] = has_l[j] ? (tl[j] - zl[j] * ddv[j]) / wl[j] : 0.0;
        ddu[j] = has_u[j] ? (tu[j] + zu[j] * ddv[j]) / wu[j] : 0.0;
      }
    };

    // Predictor.
    for (size_t j = 0; j < NN; ++j) {
      tl[j] = has_l[j] ? -wl[j] * zl[j] : 0.0;
      tu[j] = has_u[j] ? -wu[j] * zu[j] : 0.0;
    }
    direction(dva, dzla, dzua);
    double sigma_c = 0.0;
    if (nb > 0) {
      const double a = step_to_boundary(dva, dzla, dzua);
      double comp_a = 0;
      for (size_t j = 0; j < NN; ++j) {
        if (has_l[j]) comp_a += (wl[j] + a * dva[j]) * (zl[j] + a * dzla[j]);
        if (has_u[j]) comp_a += (wu[j] - a * dva[j]) * (zu[j] + a * dzua[j]);
      }
      const double ratio = comp > 0 ? comp_a / comp : 0.0;
      sigma_c = std::min(1.0, ratio * ratio * ratio);
      // Corrector.
      for (size_t j = 0; j < NN; ++j) {
        tl[j] = has_l[j] ? sigma_c * mu - wl[j] * zl[j] - dva[j] * dzla[j] : 0.0;
        tu[j] = has_u[j] ? sigma_c * mu - wu[j] * zu[j] + dva[j] * dzua[j] : 0.0;
      }
      direction(dv, dzl, dzu);
    } else {
      dv = dva, dzl = dzla, dzu = dzua;
    }
    const double a = std::min(1.0, 0.995 * step_to_boundary(dv, dzl, dzu));
    const double a_full = nb > 0 ? a : 1.0;
    for (size_t j = 0; j < NN; ++j) {
      v[j] += a_full * dv[j];
      zl[j] += a_full * dzl[j];
      zu[j] += a_full * dzu[j];
    }
    for (int e = 0; e < me; ++e) y[static_cast<size_t>(e)] += a_full * dy[static_cast<size_t>(e)];
  }
  if (out.status != 0) return out;

  out.x = fixed_x;
  for (int t = 0; t < red.nx; ++t) {
    const int j = red.col_of[static_cast<size_t>(t)];
    // The last step may leave a column a rounding error outside a bound.
    double x = v[static_cast<size_t>(t)];
    x = std::min(std::max(x, qp.col_lb[static_cast<size_t>(j)]), qp.col_ub[static_cast<size_t>(j)]);
    out.x[static_cast<size_t>(j)] = x;
  }
  out.y.assign(static_cast<size_t>(qp.m), 0.0);
  for (int e = 0; e < me; ++e)
    out.y[static_cast<size_t>(red.row_of[static_cast<size_t>(e)])] = y[static_cast<size_t>(e)];
  return out;
}

}  // namespace velmor
