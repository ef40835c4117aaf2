// The sparse primal-dual interior point method for convex QPs (Ipm) and its
// entry point solve_qp_ipm.
#include "qp/qp_ipm.hpp"

#include <algorithm>
#include <cmath>

#include <ClpSimplex.hpp>
#include <CoinFinite.hpp>
#include <CoinPackedMatrix.hpp>

#include "solve/solve.hpp"
#include "linalg/sparse_ldl.hpp"

namespace velmor {

namespace {

// A point whose primal measure is within this is nearly feasible: the best
// point met is one, when there is one (a SUB_OPTIMAL answer needs it).
constexpr double kNearlyFeasible = 1e-6;

// The regularisation of the KKT matrix: kRegularisation while mu is large,
// then kLeastRegularisation times mu, down to kLeastRegularisation.
constexpr double kRegularisation = 1e-8, kLeastRegularisation = 1e-12;

// The relative accuracy of the KKT solves: the step's and the polished
// point's; the predictor's and the centrality correctors' (they only shape
// the step).
constexpr double kAccuracy = 1e-11, kRoughAccuracy = 1e-6;

// Solution polishing: at most this many active sets are tried, and a held
// bound's multiplier (or a free column's excess over its bound), in the
// scaled problem, counts as wrong beyond this.
constexpr int kPolishPasses = 8;
constexpr double kSignTolerance = 1e-7;

bool all_finite(const std::vector<double>& v) {
  double sum = 0;  // a NaN or an infinity stays in the sum; norm_inf passes over a NaN
  for (double x : v) sum += x * 0.0;
  return sum == 0.0;
}

// ---- the interior point method ----------------------------------------------------------------

// The problem the iterations work on: v = (free columns, row slacks) with
// bounds lo <= v <= hi, rows B v = r, objective 1/2 v'Qv + q'v; all of it
// scaled: v = D v_scaled, rows multiplied by E, the objective by `cost`.
struct Reduced {
  int nx = 0, ns = 0, me = 0;
  std::vector<int> col_of;  // v index (< nx) -> model column
  std::vector<int> row_of;  // row -> model row
  std::vector<double> fixed_x;
  std::vector<char> fixed;
  std::vector<int> b_start, b_index;  // B by columns (N of them)
  std::vector<double> b_value;
  std::vector<int> q_start, q_index;  // Q's upper triangle by columns
  std::vector<double> q_value;
  std::vector<double> q, lo, hi, r;
  std::vector<double> col_scale, row_scale;  // D and E
  double cost = 1.0;
  int N() const { return nx + ns; }
};

// Builds the reduced problem; false when fixed columns already break a row
// or a bound pair is crossed (the problem is infeasible as it stands).
bool reduce(const QpData& qp, Reduced& red) {
  const int n = qp.n, m = qp.m;
  red.fixed_x.assign(static_cast<size_t>(n), 0.0);
  red.fixed.assign(static_cast<size_t>(n), 0);
  std::vector<int> v_of(static_cast<size_t>(n), -1);
  for (int j = 0; j < n; ++j) {
    const size_t k = static_cast<size_t>(j);
    const double l = qp.col_lb[k], u = qp.col_ub[k];
    if (finite_bound(l) && finite_bound(u) && l > u + 1e-9 * std::max(1.0, std::fabs(l))) return false;
    if (finite_bound(l) && finite_bound(u) && u - l <= 1e-13 * std::max(1.0, std::fabs(l))) {
      red.fixed[k] = 1;
      red.fixed_x[k] = 0.5 * (l + u);
      continue;
    }
    v_of[k] = red.nx++;
    red.col_of.push_back(j);
  }
  std::vector<double> fixed_act(static_cast<size_t>(m), 0.0);
  std::vector<char> has_free(static_cast<size_t>(m), 0);
  for (int j = 0; j < n; ++j)
    for (int k = qp.a_start[static_cast<size_t>(j)]; k < qp.a_start[static_cast<size_t>(j) + 1]; ++k) {
      const size_t i = static_cast<size_t>(qp.a_index[static_cast<size_t>(k)]);
      const double a = qp.a_value[static_cast<size_t>(k)];
      if (a == 0) continue;
      if (red.fixed[static_cast<size_t>(j)])
        fixed_act[i] += a * red.fixed_x[static_cast<size_t>(j)];
      else
        has_free[i] = 1;
    }
  std::vector<int> row_at(static_cast<size_t>(m), -1), slack_at(static_cast<size_t>(m), -1);
  for (int i = 0; i < m; ++i) {
    const size_t k = static_cast<size_t>(i);
    const double l = qp.row_lb[k], u = qp.row_ub[k], a = fixed_act[k];
    const double scale = std::max({1.0, finite_bound(l) ? std::fabs(l) : 0.0, finite_bound(u) ? std::fabs(u) : 0.0});
    if (finite_bound(l) && finite_bound(u) && l > u + 1e-9 * scale) return false;
    if (!has_free[k]) {
      if ((finite_bound(l) && a < l - 1e-9 * scale) || (finite_bound(u) && a > u + 1e-9 * scale)) return false;
      continue;
    }
    if (!finite_bound(l) && !finite_bound(u)) continue;
    row_at[k] = red.me++;
    red.row_of.push_back(i);
    if (!(finite_bound(l) && finite_bound(u) && u - l <= 1e-13 * scale)) slack_at[k] = red.nx + red.ns++;
  }
  const size_t N = static_cast<size_t>(red.N());
  red.lo.assign(N, -COIN_DBL_MAX);
  red.hi.assign(N, COIN_DBL_MAX);
  red.q.assign(N, 0.0);
  red.r.assign(static_cast<size_t>(red.me), 0.0);
  for (int t = 0; t < red.nx; ++t) {
    const size_t j = static_cast<size_t>(red.col_of[static_cast<size_t>(t)]);
    red.lo[static_cast<size_t>(t)] = qp.col_lb[j];
    red.hi[static_cast<size_t>(t)] = qp.col_ub[j];
    red.q[static_cast<size_t>(t)] = qp.c[j];
  }
  for (int i = 0; i < m; ++i) {
    const size_t k = static_cast<size_t>(i);
    if (row_at[k] < 0) continue;
    const int s = slack_at[k];
    if (s < 0) {
      red.r[static_cast<size_t>(row_at[k])] = 0.5 * (qp.row_lb[k] + qp.row_ub[k]) - fixed_act[k];
    } else {
      if (finite_bound(qp.row_lb[k])) red.lo[static_cast<size_t>(s)] = qp.row_lb[k] - fixed_act[k];
      if (finite_bound(qp.row_ub[k])) red.hi[static_cast<size_t>(s)] = qp.row_ub[k] - fixed_act[k];
    }
  }
  // B by columns: the free columns' entries in kept rows, then -1 per slack.
  red.b_start.assign(1, 0);
  for (int t = 0; t < red.nx; ++t) {
    const size_t j = static_cast<size_t>(red.col_of[static_cast<size_t>(t)]);
    for (int k = qp.a_start[j]; k < qp.a_start[j + 1]; ++k) {
      const int e = row_at[static_cast<size_t>(qp.a_index[static_cast<size_t>(k)])];
      if (e < 0 || qp.a_value[static_cast<size_t>(k)] == 0) continue;
      red.b_index.push_back(e);
      red.b_value.push_back(qp.a_value[static_cast<size_t>(k)]);
    }
    red.b_start.push_back(static_cast<int>(red.b_index.size()));
  }
  for (int i = 0; i < m; ++i) {
    if (slack_at[static_cast<size_t>(i)] < 0) continue;
    red.b_index.push_back(row_at[static_cast<size_t>(i)]);
    red.b_value.push_back(-1.0);
    red.b_start.push_back(static_cast<int>(red.b_index.size()));
  }
  // Q: free-free entries; free-fixed ones move into q.
  std::vector<std::vector<std::pair<int, double>>> qcols(N);
  for (int j = 0; j + 1 < static_cast<int>(qp.h_start.size()); ++j)
    for (int k = qp.h_start[static_cast<size_t>(j)]; k < qp.h_start[static_cast<size_t>(j) + 1]; ++k) {
      const int i = qp.h_index[static_cast<size_t>(k)];
      const double h = qp.h_value[static_cast<size_t>(k)];
      if (h == 0) continue;
      const int ti = v_of[static_cast<size_t>(i)], tj = v_of[static_cast<size_t>(j)];
      if (ti >= 0 && tj >= 0)
        qcols[static_cast<size_t>(std::max(ti, tj))].push_back({std::min(ti, tj), h});
      else if (ti >= 0)
        red.q[static_cast<size_t>(ti)] += h * red.fixed_x[static_cast<size_t>(j)];
      else if (tj >= 0)
        red.q[static_cast<size_t>(tj)] += h * red.fixed_x[static_cast<size_t>(i)];
    }
  red.q_start.assign(1, 0);
  for (size_t j = 0; j < N; ++j) {
    for (const auto& e : qcols[j]) {
      red.q_index.push_back(e.first);
      red.q_value.push_back(e.second);
    }
    red.q_start.push_back(static_cast<int>(red.q_index.size()));
  }
  return true;
}

// Ruiz equilibration of [Q B'; B 0] and a factor on the objective; scales
// the reduced problem in place.
void equilibrate(Reduced& red) {
  const size_t N = static_cast<size_t>(red.N()), me = static_cast<size_t>(red.me);
  std::vector<double>& D = red.col_scale;
  std::vector<double>& E = red.row_scale;
  D.assign(N, 1.0);
  E.assign(me, 1.0);
  std::vector<double> cn(N), rn(me);
  auto clamp = [](double norm) { return norm < 1e-12 ? 1.0 : std::min(std::max(norm, 1e-4), 1e4); };
  for (int pass = 0; pass < 25; ++pass) {
    std::fill(cn.begin(), cn.end(), 0.0);
    std::fill(rn.begin(), rn.end(), 0.0);
    for (size_t j = 0; j < N; ++j) {
      for (int k = red.q_start[j]; k < red.q_start[j + 1]; ++k) {
        const size_t i = static_cast<size_t>(red.q_index[static_cast<size_t>(k)]);
        const double v = std::fabs(red.q_value[static_cast<size_t>(k)]);
        cn[j] = std::max(cn[j], v);
        cn[i] = std::max(cn[i], v);
      }
      for (int k = red.b_start[j]; k < red.b_start[j + 1]; ++k) {
        const size_t i = static_cast<size_t>(red.b_index[static_cast<size_t>(k)]);
        const double v = std::fabs(red.b_value[static_cast<size_t>(k)]);
        cn[j] = std::max(cn[j], v);
        rn[i] = std::max(rn[i], v);
      }
    }
    double worst = 0;
    for (double v : cn)
      if (v > 0) worst = std::max(worst, std::fabs(1 - v));
    for (double v : rn)
      if (v > 0) worst = std::max(worst, std::fabs(1 - v));
    if (worst < 0.1) break;
    for (size_t j = 0; j < N; ++j) cn[j] = 1.0 / std::sqrt(clamp(cn[j]));
    for (size_t i = 0; i < me; ++i) rn[i] = 1.0 / std::sqrt(clamp(rn[i]));
    for (size_t j = 0; j < N; ++j) {
      D[j] *= cn[j];
      for (int k = red.q_start[j]; k < red.q_start[j + 1]; ++k)
        red.q_value[static_cast<size_t>(k)] *= cn[j] * cn[static_cast<size_t>(red.q_index[static_cast<size_t>(k)])];
      for (int k = red.b_start[j]; k < red.b_start[j + 1]; ++k)
        red.b_value[static_cast<size_t>(k)] *= cn[j] * rn[static_cast<size_t>(red.b_index[static_cast<size_t>(k)])];
    }
    for (size_t i = 0; i < me; ++i) E[i] *= rn[i];
  }
  for (size_t j = 0; j < N; ++j) {
    red.q[j] *= D[j];
    if (finite_bound(red.lo[j])) red.lo[j] /= D[j];
    if (finite_bound(red.hi[j])) red.hi[j] /= D[j];
  }
  for (size_t i = 0; i < me; ++i) red.r[i] *= E[i];
  // The objective: its linear part and Q's columns to about 1.
  std::vector<double> qn(N, 0.0);
  for (size_t j = 0; j < N; ++j)
    for (int k = red.q_start[j]; k < red.q_start[j + 1]; ++k) {
      const double v = std::fabs(red.q_value[static_cast<size_t>(k)]);
      qn[j] = std::max(qn[j], v);
      qn[static_cast<size_t>(red.q_index[static_cast<size_t>(k)])] =
          std::max(qn[static_cast<size_t>(red.q_index[static_cast<size_t>(k)])], v);
    }
  double mean = 0;
  for (double v : qn) mean += v;
  mean = N > 0 ? mean / static_cast<double>(N) : 0.0;
  const double size = std::max(mean, norm_inf(red.q));
  red.cost = size < 1e-12 ? 1.0 : 1.0 / std::min(std::max(size, 1e-4), 1e4);
  for (double& v : red.q_value) v *= red.cost;
  for (double& v : red.q) v *= red.cost;
}

struct Iterate {
  std::vector<double> v, y, wl, wu, zl, zu;
};

// A residual measure of the point (primal or dual) against the iterations'
// own complementarity, once the point is nearly feasible (before,
// infeasibilities often wait for mu): a measure above its tolerance that
// has not fallen tenfold in ten iterations or more while mu fell ten
// thousandfold no longer follows the iterations (the accuracy of the steps
// or the scaling holds it up): they stall.
struct Progress {
  double reference = 1e300, mu_then = 0;
  int since = 0;
  bool stalled(double value, double tolerance, double mu, bool nearly_feasible) {
    if (!nearly_feasible || value <= tolerance || value <= 0.1 * reference) {
      reference = value;
      mu_then = mu;
      since = 0;
      return false;
    }
    return ++since >= 10 && mu < 1e-4 * mu_then;
  }
};

class Ipm {
 public:
  Ipm(const QpData& qp, const QpTolerances& tol, RunControl& run, int max_iterations, bool verbose)
      : qp_(qp), tol_(tol), run_(run), max_iterations_(max_iterations), verbose_(verbose) {}

  QpResult solve();

 private:
  // Sparse products with the scaled problem.
  void q_times(const std::vector<double>& x, std::vector<double>& out) const;  // out = Q x
  void b_times(const std::vector<double>& x, std::vector<double>& out) const;  // out = B x
  void bt_times(const std::vector<double>& y, std::vector<double>& out) const;  // out = B'y
  void build_kkt_pattern();
  // out = [Q + sigma, B'; B, 0] in; with fixed_ set, the rows and columns
  // of the fixed v are those of the identity.
  void kkt_apply(const std::vector<double>& sigma, const double* in, double* out);
  // Solution polishing: the bounds the iterate `at` treats as active are
  // made equalities and the equality-constrained problem is solved
  // directly, the set corrected by its multipliers' signs and its crossed
  // bounds a few times; true when a point meets the tolerances.
  bool polish(const struct Iterate& at);
  // The equality-constrained problem with the v of side -1 (+1) at their
  // lower (upper) bound: its v and row multipliers y; false when the
  // factorisation fails or is stopped.
  bool solve_on_active_set(const std::vector<signed char>& side, std::vector<double>& v, std::vector<double>& y);
  bool factorize(const std::vector<double>& sigma);
  // Solves [Q + sigma, B'; B, 0] (dv, du) = (r1, r2) with the factors of
  // the regularised matrix, refined against the unregularised one to the
  // relative `accuracy`.
  void kkt_solve(const std::vector<double>& sigma, const std::vector<double>& r1, const std::vector<double>& r2,
                 std::vector<double>& dv, std::vector<double>& du, double accuracy = kAccuracy);
  // The model's x (all columns) and y of the scaled v, y: a point (fixed
  // columns at their value, x within its bounds) or a direction.
  void unscale(const std::vector<double>& v, const std::vector<double>& y, std::vector<double>& x,
               std::vector<double>& yo, bool point = true) const;
  // Keeps x, y as the best point when it is: nearly feasible (primal within
  // kNearlyFeasible) where the best is not, else of lower merit. True when
  // kept.
  bool offer(const std::vector<double>& x, const std::vector<double>& y, const QpCheck& c);

  const QpData& qp_;
  QpTolerances tol_;
  RunControl& run_;
  int max_iterations_;
  bool verbose_;  // a log line per iteration
  Reduced red_;
  SparseLdl ldl_;
  // The KKT matrix's upper triangle (N + me columns) and where Q, B and the
  // diagonal live in it.
  std::vector<std::int64_t> k_start_;
  std::vector<int> k_index_;
  std::vector<double> k_base_, k_value_;
  std::vector<std::int64_t> k_diag_;
  std::vector<signed char> k_sign_;
  double reg_primal_ = kRegularisation, reg_dual_ = kRegularisation;
  bool refinement_useful_ = true;  // kkt_solve's iterations help with the present factors
  double least_regularisation_ = kLeastRegularisation;  // raised where smaller gave no finite step
  QpResult best_;
  double best_merit_ = 1e300;
  bool best_feasible_ = false;
  std::vector<double> tmp_v_, tmp_u_, tmp_qv_, tmp_btu_, tmp_bv_;
  std::vector<std::vector<double>> krylov_;  // kkt_solve's basis, kept between calls
  std::vector<char> fixed_;  // polishing: v held at a bound
};

void Ipm::q_times(const std::vector<double>& x, std::vector<double>& out) const {
  out.assign(static_cast<size_t>(red_.N()), 0.0);
  add_symmetric_times(red_.q_start, red_.q_index, red_.q_value, x.data(), out.data());
}

void Ipm::b_times(const std::vector<double>& x, std::vector<double>& out) const {
  out.assign(static_cast<size_t>(red_.me), 0.0);
  for (size_t j = 0; j < static_cast<size_t>(red_.N()); ++j)
    for (int k = red_.b_start[j]; k < red_.b_start[j + 1]; ++k)
      out[static_cast<size_t>(red_.b_index[static_cast<size_t>(k)])] += red_.b_value[static_cast<size_t>(k)] * x[j];
}

void Ipm::bt_times(const std::vector<double>& y, std::vector<double>& out) const {
  const size_t N = static_cast<size_t>(red_.N());
  out.assign(N, 0.0);
  for (size_t j = 0; j < N; ++j) {
    double s = 0;
    for (int k = red_.b_start[j]; k < red_.b_start[j + 1]; ++k)
      s += red_.b_value[static_cast<size_t>(k)] * y[static_cast<size_t>(red_.b_index[static_cast<size_t>(k)])];
    out[j] = s;
  }
}

void Ipm::build_kkt_pattern() {
  const int N = red_.N(), me = red_.me, dim = N + me;
  // B by rows: the entries of column N + i of the KKT matrix.
  std::vector<int> row_start(static_cast<size_t>(me) + 1, 0);
  for (int i : red_.b_index) ++row_start[static_cast<size_t>(i) + 1];
  for (int i = 0; i < me; ++i) row_start[static_cast<size_t>(i) + 1] += row_start[static_cast<size_t>(i)];
  std::vector<int> row_col(red_.b_index.size());
  std::vector<double> row_val(red_.b_index.size());
  {
    std::vector<int> next(row_start.begin(), row_start.end() - 1);
    for (int j = 0; j < N; ++j)
      for (int k = red_.b_start[static_cast<size_t>(j)]; k < red_.b_start[static_cast<size_t>(j) + 1]; ++k) {
        const int p = next[static_cast<size_t>(red_.b_index[static_cast<size_t>(k)])]++;
        row_col[static_cast<size_t>(p)] = j;
        row_val[static_cast<size_t>(p)] = red_.b_value[static_cast<size_t>(k)];
      }
  }
  k_start_.assign(1, 0);
  k_index_.clear();
  k_base_.clear();
  k_diag_.assign(static_cast<size_t>(dim), 0);
  k_sign_.assign(static_cast<size_t>(dim), 1);
  std::vector<std::int64_t> slot(static_cast<size_t>(dim), -1);  // row -> entry in the current column
  auto add = [&](int row, double value) {
    std::int64_t& s = slot[static_cast<size_t>(row)];
    if (s < k_start_.back()) {
      s = static_cast<std::int64_t>(k_index_.size());
      k_index_.push_back(row);
      k_base_.push_back(value);
    } else {
      k_base_[static_cast<size_t>(s)] += value;
    }
  };
  for (int j = 0; j < N; ++j) {
    for (int k = red_.q_start[static_cast<size_t>(j)]; k < red_.q_start[static_cast<size_t>(j) + 1]; ++k)
      add(red_.q_index[static_cast<size_t>(k)], red_.q_value[static_cast<size_t>(k)]);
    add(j, 0.0);
    k_diag_[static_cast<size_t>(j)] = slot[static_cast<size_t>(j)];
    k_start_.push_back(static_cast<std::int64_t>(k_index_.size()));
  }
  for (int i = 0; i < me; ++i) {
    for (int p = row_start[static_cast<size_t>(i)]; p < row_start[static_cast<size_t>(i) + 1]; ++p)
      add(row_col[static_cast<size_t>(p)], row_val[static_cast<size_t>(p)]);
    add(N + i, 0.0);
    k_diag_[static_cast<size_t>(N + i)] = slot[static_cast<size_t>(N + i)];
    k_sign_[static_cast<size_t>(N + i)] = -1;
    k_start_.push_back(static_cast<std::int64_t>(k_index_.size()));
  }
  k_value_.resize(k_base_.size());
}

bool Ipm::factorize(const std::vector<double>& sigma) {
  const int N = red_.N(), me = red_.me;
  k_value_ = k_base_;
  for (int j = 0; j < N; ++j)
    k_value_[static_cast<size_t>(k_diag_[static_cast<size_t>(j)])] += sigma[static_cast<size_t>(j)] + reg_primal_;
  for (int i = 0; i < me; ++i) k_value_[static_cast<size_t>(k_diag_[static_cast<size_t>(N + i)])] = -reg_dual_;
  const auto result = ldl_.factorize(k_value_.data(), k_sign_.data(), 1e-13, 2e-7, [this] { return run_.should_stop(); });
  refinement_useful_ = true;
  return result == SparseLdl::Result::Ok;
}

void Ipm::kkt_apply(const std::vector<double>& sigma, const double* in, double* out) {
  const size_t N = static_cast<size_t>(red_.N()), me = static_cast<size_t>(red_.me);
  tmp_v_.assign(in, in + N);
  tmp_u_.assign(in + N, in + N + me);
  if (!fixed_.empty())
    for (size_t j = 0; j < N; ++j)
      if (fixed_[j]) tmp_v_[j] = 0;
  q_times(tmp_v_, tmp_qv_);
  bt_times(tmp_u_, tmp_btu_);
  b_times(tmp_v_, tmp_bv_);
  for (size_t j = 0; j < N; ++j) out[j] = tmp_qv_[j] + sigma[j] * tmp_v_[j] + tmp_btu_[j];
  for (size_t i = 0; i < me; ++i) out[N + i] = tmp_bv_[i];
  if (!fixed_.empty())
    for (size_t j = 0; j < N; ++j)
      if (fixed_[j]) out[j] = in[j];
}

void Ipm::kkt_solve(const std::vector<double>& sigma, const std::vector<double>& r1, const std::vector<double>& r2,
                    std::vector<double>& dv, std::vector<double>& du, double accuracy) {
  // GMRES on the unregularised matrix, preconditioned (from the right) by
  // the factors of the regularised one: their difference, the
  // regularisation and any replaced pivot, is what the iterations remove.
  const size_t N = static_cast<size_t>(red_.N()), me = static_cast<size_t>(red_.me), dim = N + me;
  constexpr int kKrylov = 10, kCycles = 3;
  std::vector<double> b(dim), x(dim), r(dim), w(dim);
  std::copy(r1.begin(), r1.end(), b.begin());
  std::copy(r2.begin(), r2.end(), b.begin() + static_cast<std::ptrdiff_t>(N));
  x = b;
  ldl_.solve(x.data());
  const std::vector<double> regularised = x;
  auto norm2 = [](const std::vector<double>& v) {
    double s = 0;
    for (double e : v) s += e * e;
    return std::sqrt(s);
  };
  const double target = accuracy * norm2(b);
  double previous = 1e300;
  std::vector<std::vector<double>>& V = krylov_;
  V.resize(kKrylov + 1);
  for (std::vector<double>& column : V) column.resize(dim);
  std::vector<double> H(static_cast<size_t>((kKrylov + 1) * kKrylov)), cs(kKrylov), sn(kKrylov), g(kKrylov + 1), yk;
  auto h = [&](int i, int k) -> double& { return H[static_cast<size_t>(k * (kKrylov + 1) + i)]; };
  // Where a first cycle gains less than a factor 2, the regularisation is
  // not a small change of the matrix (columns without curvature and far
  // from their bounds): the other solves with these factors skip the
  // iterations, the IPM's steps being those of the regularised
  // (proximal) system. Polishing always iterates.
  const int cycles = refinement_useful_ || !fixed_.empty() ? kCycles : 0;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    kkt_apply(sigma, x.data(), w.data());
    for (size_t k = 0; k < dim; ++k) r[k] = b[k] - w[k];
    const double beta = norm2(r);
    if (cycle == 1 && !(beta < 0.5 * previous) && fixed_.empty()) refinement_useful_ = false;
    // Done, or a whole cycle gained less than a factor 2.
    if (!(beta > target) || !std::isfinite(beta) || !(beta < 0.5 * previous)) break;
    previous = beta;
    for (size_t k = 0; k < dim; ++k) V[0][k] = r[k] / beta;
    std::fill(g.begin(), g.end(), 0.0);
    g[0] = beta;
    int used = 0;
    for (int k = 0; k < kKrylov; ++k) {
      w = V[static_cast<size_t>(k)];
      ldl_.solve(w.data());
      kkt_apply(sigma, w.data(), r.data());
      for (int i = 0; i <= k; ++i) {
        double dot = 0;
        const std::vector<double>& vi = V[static_cast<size_t>(i)];
        for (size_t t = 0; t < dim; ++t) dot += r[t] * vi[t];
        h(i, k) = dot;
        for (size_t t = 0; t < dim; ++t) r[t] -= dot * vi[t];
      }
      const double hn = norm2(r);
      h(k + 1, k) = hn;
      for (int i = 0; i < k; ++i) {
        const double a = h(i, k), c = h(i + 1, k);
        h(i, k) = cs[static_cast<size_t>(i)] * a + sn[static_cast<size_t>(i)] * c;
        h(i + 1, k) = -sn[static_cast<size_t>(i)] * a + cs[static_cast<size_t>(i)] * c;
      }
      const double d = std::hypot(h(k, k), h(k + 1, k));
      if (!(d > 0)) break;
      cs[static_cast<size_t>(k)] = h(k, k) / d;
      sn[static_cast<size_t>(k)] = h(k + 1, k) / d;
      h(k, k) = d;
      h(k + 1, k) = 0;
      g[static_cast<size_t>(k) + 1] = -sn[static_cast<size_t>(k)] * g[static_cast<size_t>(k)];
      g[static_cast<size_t>(k)] *= cs[static_cast<size_t>(k)];
      used = k + 1;
      if (std::fabs(g[static_cast<size_t>(k) + 1]) <= target || !(hn > 0)) break;
      for (size_t t = 0; t < dim; ++t) V[static_cast<size_t>(k) + 1][t] = r[t] / hn;
    }
    if (used == 0) break;
    yk.assign(static_cast<size_t>(used), 0.0);
    for (int i = used - 1; i >= 0; --i) {
      double s = g[static_cast<size_t>(i)];
      for (int j = i + 1; j < used; ++j) s -= h(i, j) * yk[static_cast<size_t>(j)];
      yk[static_cast<size_t>(i)] = s / h(i, i);
    }
    std::fill(w.begin(), w.end(), 0.0);
    for (int i = 0; i < used; ++i)
      for (size_t t = 0; t < dim; ++t) w[t] += yk[static_cast<size_t>(i)] * V[static_cast<size_t>(i)][t];
    ldl_.solve(w.data());
    for (size_t t = 0; t < dim; ++t) x[t] += w[t];
    if (std::fabs(g[static_cast<size_t>(used)]) <= target) break;
  }
  // On a singular matrix (a ray, dependent rows) the iterations can grow
  // the solution without bound while they shrink the residual: the
  // regularised solution is kept then.
  if (!(norm_inf(x) <= 1e4 * std::max(norm_inf(regularised), 1e-300))) x = regularised;
  dv.assign(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(N));
  du.assign(x.begin() + static_cast<std::ptrdiff_t>(N), x.end());
}

void Ipm::unscale(const std::vector<double>& v, const std::vector<double>& y, std::vector<double>& x,
                  std::vector<double>& yo, bool point) const {
  if (point)
    x = red_.fixed_x;
  else
    x.assign(static_cast<size_t>(qp_.n), 0.0);
  for (int t = 0; t < red_.nx; ++t) {
    const size_t j = static_cast<size_t>(red_.col_of[static_cast<size_t>(t)]);
    double value = red_.col_scale[static_cast<size_t>(t)] * v[static_cast<size_t>(t)];
    if (point && finite_bound(qp_.col_lb[j])) value = std::max(value, qp_.col_lb[j]);
    if (point && finite_bound(qp_.col_ub[j])) value = std::min(value, qp_.col_ub[j]);
    x[j] = value;
  }
  yo.assign(static_cast<size_t>(qp_.m), 0.0);
  for (int e = 0; e < red_.me; ++e)
    yo[static_cast<size_t>(red_.row_of[static_cast<size_t>(e)])] =
        red_.row_scale[static_cast<size_t>(e)] * y[static_cast<size_t>(e)] / red_.cost;
}

bool Ipm::offer(const std::vector<double>& x, const std::vector<double>& y, const QpCheck& c) {
  const double value = tol_.merit(c);
  const bool feasible = c.primal <= kNearlyFeasible;
  if (feasible != best_feasible_ ? !feasible : !(value < best_merit_)) return false;
  best_merit_ = value;
  best_feasible_ = feasible;
  best_.x = x;
  best_.y = y;
  best_.check = c;
  return true;
}

bool Ipm::solve_on_active_set(const std::vector<signed char>& side, std::vector<double>& v, std::vector<double>& y) {
  const size_t N = static_cast<size_t>(red_.N()), me = static_cast<size_t>(red_.me);
  fixed_.assign(N, 0);
  std::vector<double> value(N, 0.0);
  for (size_t j = 0; j < N; ++j) {
    if (side[j] == 0) continue;
    fixed_[j] = 1;
    value[j] = side[j] < 0 ? red_.lo[j] : red_.hi[j];
  }
  // The masked matrix: entries that touch a fixed v are dropped, its
  // diagonal is 1. The rows get no regularisation: the multipliers of a
  // nearly dependent active set can be huge against the data (1e7 on
  // LISWET2's 9998 second differences), and 1e-8 times them moves the
  // point off its rows; a zero pivot is replaced by the factorisation.
  k_value_ = k_base_;
  const size_t dim = N + me;
  for (size_t c = 0; c < dim; ++c)
    for (std::int64_t p = k_start_[c]; p < k_start_[c + 1]; ++p) {
      const size_t r = static_cast<size_t>(k_index_[static_cast<size_t>(p)]);
      if ((c < N && fixed_[c]) || (r < N && fixed_[r])) k_value_[static_cast<size_t>(p)] = 0.0;
    }
  for (size_t j = 0; j < N; ++j)
    k_value_[static_cast<size_t>(k_diag_[j])] = fixed_[j] ? 1.0 : k_value_[static_cast<size_t>(k_diag_[j])] + reg_primal_;
  for (size_t i = 0; i < me; ++i) k_value_[static_cast<size_t>(k_diag_[N + i])] = 0.0;
  if (ldl_.factorize(k_value_.data(), k_sign_.data(), 1e-13, 2e-7, [this] { return run_.should_stop(); }) !=
      SparseLdl::Result::Ok) {
    fixed_.clear();
    return false;
  }
  // Right-hand side: the fixed values' contribution moves over.
  std::vector<double> qv, bv, r1(N), r2(me), sigma(N, 0.0), du;
  q_times(value, qv);
  b_times(value, bv);
  for (size_t j = 0; j < N; ++j) r1[j] = fixed_[j] ? value[j] : -red_.q[j] - qv[j];
  for (size_t i = 0; i < me; ++i) r2[i] = red_.r[i] - bv[i];
  kkt_solve(sigma, r1, r2, v, du);
  fixed_.clear();
  y.resize(me);
  for (size_t i = 0; i < me; ++i) y[i] = -du[i];
  return true;
}

bool Ipm::polish(const Iterate& at) {
  const size_t N = static_cast<size_t>(red_.N());
  // The first active set: the bounds whose multiplier exceeds their
  // distance from the iterate (its slack variables can differ from that
  // distance by the primal residual, which the iterations may not remove).
  std::vector<signed char> side(N, 0);  // -1 lower, +1 upper
  for (size_t j = 0; j < N; ++j) {
    const double lower = finite_bound(red_.lo[j]) ? at.zl[j] / std::max(at.v[j] - red_.lo[j], 1e-300) : 0.0;
    const double upper = finite_bound(red_.hi[j]) ? at.zu[j] / std::max(red_.hi[j] - at.v[j], 1e-300) : 0.0;
    if (std::max(lower, upper) > 1.0) side[j] = lower >= upper ? -1 : 1;
  }
  // Primal-dual active set passes: a bound whose multiplier comes out of
  // the wrong sign is released, a bound the point crosses is held, until
  // the set settles (the active-set point) or the passes run out.
  std::vector<double> v, y, qv, bty, x, yo;
  double previous = 1e300;
  for (int pass = 0; pass < kPolishPasses && !run_.should_stop(); ++pass) {
    if (!solve_on_active_set(side, v, y)) return false;
    unscale(v, y, x, yo);
    const QpCheck check = check_qp_point(qp_, x.data(), yo.data());
    if (verbose_)
      run_.log.linef("Polished with %zu bounds active: primal %.2e, dual %.2e, gap %.2e",
                     N - static_cast<size_t>(std::count(side.begin(), side.end(), 0)), check.primal,
                     tol_.dual_of(check), tol_.gap_of(check));
    offer(x, yo, check);
    if (tol_.met(check)) return true;
    // A pass that ends farther than the one before leads nowhere.
    if (!(tol_.merit(check) < previous)) break;
    previous = tol_.merit(check);
    q_times(v, qv);
    bt_times(y, bty);
    // A held bound's multiplier; one of the wrong sign beyond the rounding
    // of the largest is released.
    double largest = 0;
    for (size_t j = 0; j < N; ++j) {
      qv[j] += red_.q[j] - bty[j];
      if (side[j] != 0) largest = std::max(largest, std::fabs(qv[j]));
    }
    const double wrong = kSignTolerance * std::max(1.0, largest);
    auto beyond = [](double bound) { return kSignTolerance * std::max(1.0, std::fabs(bound)); };
    bool changed = false;
    for (size_t j = 0; j < N; ++j) {
      const double z = qv[j];
      signed char next = side[j];
      if ((side[j] < 0 && z < -wrong) || (side[j] > 0 && z > wrong)) next = 0;
      if (side[j] == 0 && finite_bound(red_.lo[j]) && v[j] < red_.lo[j] - beyond(red_.lo[j])) next = -1;
      if (side[j] == 0 && finite_bound(red_.hi[j]) && v[j] > red_.hi[j] + beyond(red_.hi[j])) next = 1;
      changed = changed || next != side[j];
      side[j] = next;
    }
    if (!changed) break;
  }
  return false;
}

QpResult Ipm::solve() {
  QpResult out;
  if (!reduce(qp_, red_)) {
    out.status = QpResult::kInfeasible;
    if (verbose_) run_.log.line("Bounds or rows contradict each other");
    return out;
  }
  equilibrate(red_);
  const int N = red_.N(), me = red_.me;
  const size_t NN = static_cast<size_t>(N), M = static_cast<size_t>(me);
  build_kkt_pattern();
  if (run_.should_stop()) {
    out.status = QpResult::kStopped;
    return out;
  }
  const SparseLdl::Result analysed =
      static_cast<std::int64_t>(k_index_.size()) > INT32_MAX / 2
          ? SparseLdl::Result::TooLarge
          : ldl_.analyze(N + me, k_start_, k_index_, [this] { return run_.should_stop(); });
  if (analysed == SparseLdl::Result::Stopped) {
    out.status = QpResult::kStopped;
    return out;
  }
  if (analysed != SparseLdl::Result::Ok) {
    run_.log.line("The interior point method's factorisation is too large");
    out.status = QpResult::kTooLarge;
    return out;
  }
  if (verbose_)
    run_.log.linef("Interior point method: %d columns, %d rows (after reduction), %lld entries in the factor", N, me,
                   static_cast<long long>(ldl_.factor_entries()));

  std::vector<char> has_l(NN), has_u(NN);
  int nb = 0;
  for (size_t j = 0; j < NN; ++j) {
    has_l[j] = finite_bound(red_.lo[j]);
    has_u[j] = finite_bound(red_.hi[j]);
    nb += has_l[j] + has_u[j];
  }
  std::vector<double> v(NN), y(M), wl(NN, 0.0), wu(NN, 0.0), zl(NN, 0.0), zu(NN, 0.0), sigma(NN, 0.0);
  std::vector<double> rd(NN), rp(M), rl(NN, 0.0), ru(NN, 0.0), qv, bv, bty, r1(NN), r2(M);
  std::vector<double> dv, du, dwl(NN), dwu(NN), dzl(NN), dzu(NN);
  std::vector<double> av, awl(NN), awu(NN), azl(NN), azu(NN), kl(NN), ku(NN);
  std::vector<double> x, yo;

  // Start: the least squares point of [Q + I, B'; B, 0], moved inside the
  // bounds' slacks and multipliers by Mehrotra's shifts.
  {
    std::fill(sigma.begin(), sigma.end(), 1.0);
    if (!factorize(sigma)) {
      out.status = run_.stopped_by() ? QpResult::kStopped : QpResult::kFailed;
      return out;
    }
    for (size_t j = 0; j < NN; ++j) r1[j] = -red_.q[j];
    r2 = red_.r;
    kkt_solve(sigma, r1, r2, v, du);
    for (size_t i = 0; i < M; ++i) y[i] = -du[i];
    q_times(v, qv);
    bt_times(y, bty);
    double wmin = 1e300, zmin = 1e300;
    for (size_t j = 0; j < NN; ++j) {
      const double g = qv[j] + red_.q[j] - bty[j];
      if (has_l[j]) wl[j] = v[j] - red_.lo[j], wmin = std::min(wmin, wl[j]);
      if (has_u[j]) wu[j] = red_.hi[j] - v[j], wmin = std::min(wmin, wu[j]);
      if (has_l[j] && has_u[j]) {
        zl[j] = std::max(g, 0.0), zu[j] = std::max(-g, 0.0);
      } else if (has_l[j]) {
        zl[j] = g;
      } else if (has_u[j]) {
        zu[j] = -g;
      }
      if (has_l[j]) zmin = std::min(zmin, zl[j]);
      if (has_u[j]) zmin = std::min(zmin, zu[j]);
    }
    if (nb > 0) {
      const double sw = std::max(-1.5 * wmin, 0.0), sz = std::max(-1.5 * zmin, 0.0);
      double wz = 0, sum_w = 0, sum_z = 0;
      for (size_t j = 0; j < NN; ++j) {
        if (has_l[j]) wl[j] += sw, zl[j] += sz, wz += wl[j] * zl[j], sum_w += wl[j], sum_z += zl[j];
        if (has_u[j]) wu[j] += sw, zu[j] += sz, wz += wu[j] * zu[j], sum_w += wu[j], sum_z += zu[j];
      }
      const double dw = sum_z > 0 ? 0.5 * wz / sum_z : 0.0, dz = sum_w > 0 ? 0.5 * wz / sum_w : 0.0;
      for (size_t j = 0; j < NN; ++j) {
        if (has_l[j]) wl[j] = std::max(wl[j] + dw, 1e-2), zl[j] = std::max(zl[j] + dz, 1e-2);
        if (has_u[j]) wu[j] = std::max(wu[j] + dw, 1e-2), zu[j] = std::max(zu[j] + dz, 1e-2);
      }
    }
  }

  auto step_to_boundary = [&](const std::vector<double>& a, const std::vector<double>& da,
                              const std::vector<char>& has) {
    double s = 1.0;
    for (size_t j = 0; j < NN; ++j)
      if (has[j] && da[j] < 0) s = std::min(s, -a[j] / da[j]);
    return s;
  };
  // The direction for complementarity targets kl, ku (w z + ...), its
  // linear system solved to `accuracy` (relative). With `residuals` false,
  // the direction that changes the complementarity products only (a
  // centrality corrector).
  auto direction = [&](std::vector<double>& ddv, std::vector<double>& ddu, std::vector<double>& ddwl,
                       std::vector<double>& ddwu, std::vector<double>& ddzl, std::vector<double>& ddzu,
                       bool residuals, double accuracy) {
    const double keep = residuals ? 1.0 : 0.0;
    for (size_t j = 0; j < NN; ++j) {
      double s = -keep * rd[j];
      if (has_l[j]) s += (kl[j] - keep * zl[j] * rl[j]) / wl[j];
      if (has_u[j]) s -= (ku[j] - keep * zu[j] * ru[j]) / wu[j];
      r1[j] = s;
    }
    for (size_t i = 0; i < M; ++i) r2[i] = -keep * rp[i];
    kkt_solve(sigma, r1, r2, ddv, ddu, accuracy);
    for (size_t j = 0; j < NN; ++j) {
      if (has_l[j]) {
        ddwl[j] = ddv[j] + keep * rl[j];
        ddzl[j] = (kl[j] - zl[j] * ddwl[j]) / wl[j];
      }
      if (has_u[j]) {
        ddwu[j] = -ddv[j] + keep * ru[j];
        ddzu[j] = (ku[j] - zu[j] * ddwu[j]) / wu[j];
      }
    }
  };
  auto longest_step = [&](const std::vector<double>& ddwl, const std::vector<double>& ddwu,
                          const std::vector<double>& ddzl, const std::vector<double>& ddzu) {
    const double bp = std::min(step_to_boundary(wl, ddwl, has_l), step_to_boundary(wu, ddwu, has_u));
    const double bd = std::min(step_to_boundary(zl, ddzl, has_l), step_to_boundary(zu, ddzu, has_u));
    return std::min(bp, bd);
  };
  std::vector<double> cv, cu, cwl(NN), cwu(NN), czl(NN), czu(NN), tv, tu, twl(NN), twu(NN), tzl(NN), tzu(NN);

  Iterate best_iterate;
  int iter = 0, small_steps = 0, since_best = 0;
  double last_step = 0, polished_merit = 1e300;
  QpTolerances plain = tol_;  // the measures relative to 1 + ...
  plain.objective_scaled = false;
  Progress primal_progress, dual_progress;
  QpResult::Status status = QpResult::kFailed;
  for (;; ++iter) {
    // Residuals of the scaled problem.
    q_times(v, qv);
    bt_times(y, bty);
    b_times(v, bv);
    double comp = 0;
    for (size_t j = 0; j < NN; ++j) {
      rd[j] = qv[j] + red_.q[j] - bty[j] - zl[j] + zu[j];
      if (has_l[j]) rl[j] = v[j] - red_.lo[j] - wl[j], comp += wl[j] * zl[j];
      if (has_u[j]) ru[j] = red_.hi[j] - v[j] - wu[j], comp += wu[j] * zu[j];
    }
    for (size_t i = 0; i < M; ++i) rp[i] = bv[i] - red_.r[i];
    const double mu = nb > 0 ? comp / nb : 0.0;

    // The measure that counts: the point on the problem as given.
    unscale(v, y, x, yo);
    const QpCheck check = check_qp_point(qp_, x.data(), yo.data());
    const double before = best_merit_;
    const bool kept = offer(x, yo, check);
    if (kept) best_iterate = Iterate{v, y, wl, wu, zl, zu};
    if (verbose_)
      run_.log.linef("%4d  %16.9e  primal %8.2e  dual %8.2e  gap %8.2e  mu %8.2e  step %.3f", iter, check.objective,
                     check.primal, tol_.dual_of(check), tol_.gap_of(check), mu, last_step);
    since_best = kept && best_merit_ < 0.5 * before ? 0 : since_best + 1;
    if (tol_.met(check)) {
      status = QpResult::kOptimal;
      break;
    }
    // Converged in the plain measures: the active-set point may meet the
    // objective-scaled ones long before the iterates do. Tried again once
    // the iterates are a hundred times nearer.
    if (plain.met(check) && tol_.merit(check) < 0.01 * polished_merit) {
      polished_merit = tol_.merit(check);
      if (polish(Iterate{v, y, wl, wu, zl, zu})) {
        status = QpResult::kOptimal;
        break;
      }
    }
    const bool late = check.primal <= kNearlyFeasible;
    const bool stalled = primal_progress.stalled(check.primal, tol_.primal, mu, late) |
                         dual_progress.stalled(tol_.dual_of(check), tol_.dual, mu, late);
    // Certificates: an infeasible problem drives the row multipliers, an
    // unbounded one the columns, along the certificate; the iterate and the
    // last direction are tried.
    if (iter >= 1) {
      bool found = false;
      for (int pass = 0; pass < 2 && !found; ++pass) {
        const std::vector<double>& cv = pass == 0 ? v : dv;
        std::vector<double> cy(M);
        for (size_t i = 0; i < M; ++i) cy[i] = pass == 0 ? y[i] : -du[i];
        if (cv.size() != NN || cy.size() != M) continue;
        std::vector<double> rx, ry;
        unscale(cv, cy, rx, ry, false);
        // Raw, then with the components below 1e-6 of the largest dropped:
        // a direction dominated by a ray carries the rest as noise.
        for (int clean = 0; clean < 2 && !found; ++clean) {
          if (clean == 1) {
            for (std::vector<double>* w : {&rx, &ry}) {
              const double big = norm_inf(*w);
              for (double& e : *w)
                if (std::fabs(e) < 1e-6 * big) e = 0.0;
            }
          }
          if (check.primal > tol_.primal && is_infeasibility_certificate(qp_, ry)) {
            out.ray = ry;
            status = QpResult::kInfeasible;
            found = true;
          } else if (tol_.dual_of(check) > tol_.dual && is_unbounded_direction(qp_, rx)) {
            out.ray = rx;
            status = QpResult::kUnbounded;
            found = true;
          }
        }
      }
      if (found) break;
    }
    if (iter >= max_iterations_) {
      status = QpResult::kIterationLimit;
      break;
    }
    if (run_.should_stop()) {
      status = QpResult::kStopped;
      break;
    }
    if (!std::isfinite(comp) || norm_inf(v) > 1e30 || norm_inf(y) > 1e30) break;
    if (small_steps >= 10 || since_best >= 50 || stalled) break;

    for (size_t j = 0; j < NN; ++j)
      sigma[j] = (has_l[j] ? zl[j] / wl[j] : 0.0) + (has_u[j] ? zu[j] / wu[j] : 0.0);
    // The regularisation shrinks with mu, as in proximal interior point
    // methods: where columns without curvature stay far from their bounds
    // (BOYD2's), 1e-8 is no small change of the matrix and the refined
    // steps stop short of the optimum.
    reg_primal_ = reg_dual_ = std::min(kRegularisation, std::max(least_regularisation_, kLeastRegularisation * mu));
    if (!factorize(sigma)) {
      status = run_.stopped_by() ? QpResult::kStopped : QpResult::kFailed;
      break;
    }
    // Predictor.
    for (size_t j = 0; j < NN; ++j) {
      kl[j] = has_l[j] ? -wl[j] * zl[j] : 0.0;
      ku[j] = has_u[j] ? -wu[j] * zu[j] : 0.0;
    }
    direction(av, du, awl, awu, azl, azu, true, kRoughAccuracy);
    double alpha = 1.0;
    if (nb > 0) {
      const double ap = std::min(step_to_boundary(wl, awl, has_l), step_to_boundary(wu, awu, has_u));
      const double ad = std::min(step_to_boundary(zl, azl, has_l), step_to_boundary(zu, azu, has_u));
      const double a = std::min(ap, ad);
      double comp_a = 0;
      for (size_t j = 0; j < NN; ++j) {
        if (has_l[j]) comp_a += (wl[j] + a * awl[j]) * (zl[j] + a * azl[j]);
        if (has_u[j]) comp_a += (wu[j] + a * awu[j]) * (zu[j] + a * azu[j]);
      }
      const double ratio = comp > 0 ? std::max(0.0, comp_a / comp) : 0.0;
      const double sigma_c = std::min(1.0, ratio * ratio * ratio);
      // Corrector.
      for (size_t j = 0; j < NN; ++j) {
        kl[j] = has_l[j] ? sigma_c * mu - wl[j] * zl[j] - awl[j] * azl[j] : 0.0;
        ku[j] = has_u[j] ? sigma_c * mu - wu[j] * zu[j] - awu[j] * azu[j] : 0.0;
      }
      direction(dv, du, dwl, dwu, dzl, dzu, true, kAccuracy);
      alpha = std::min(1.0, 0.995 * longest_step(dwl, dwu, dzl, dzu));
      // Gondzio's centrality correctors: products that a longer step would
      // take far from the target sigma mu are pulled back into
      // [0.1, 10] sigma mu, while that lengthens the step.
      const double target_mu = sigma_c * mu;
      for (int k = 0; k < 2 && alpha < 0.95; ++k) {
        const double trial = std::min(1.0, 1.5 * alpha + 0.1);
        auto pull = [&](double w, double dw, double z, double dz) {
          const double p = (w + trial * dw) * (z + trial * dz);
          if (p < 0.1 * target_mu) return 0.1 * target_mu - p;
          if (p > 10 * target_mu) return std::max(10 * target_mu - p, -10 * target_mu);
          return 0.0;
        };
        for (size_t j = 0; j < NN; ++j) {
          kl[j] = has_l[j] ? pull(wl[j], dwl[j], zl[j], dzl[j]) : 0.0;
          ku[j] = has_u[j] ? pull(wu[j], dwu[j], zu[j], dzu[j]) : 0.0;
        }
        direction(cv, cu, cwl, cwu, czl, czu, false, kRoughAccuracy);
        tv = dv, tu = du, twl = dwl, twu = dwu, tzl = dzl, tzu = dzu;
        for (size_t j = 0; j < NN; ++j) {
          tv[j] += cv[j];
          twl[j] += cwl[j], twu[j] += cwu[j], tzl[j] += czl[j], tzu[j] += czu[j];
        }
        for (size_t i = 0; i < M; ++i) tu[i] += cu[i];
        const double longer = std::min(1.0, 0.995 * longest_step(twl, twu, tzl, tzu));
        if (!(longer >= 1.01 * alpha)) break;
        dv.swap(tv), du.swap(tu), dwl.swap(twl), dwu.swap(twu), dzl.swap(tzl), dzu.swap(tzu);
        alpha = longer;
      }
    } else {
      dv = av;
    }
    // Factors too weakly regularised for their matrix give no finite step:
    // the iteration is made again with a hundred times the regularisation.
    if (!(std::isfinite(alpha) && all_finite(dv) && all_finite(du) && all_finite(dzl) && all_finite(dzu))) {
      if (!(least_regularisation_ < kRegularisation)) break;
      least_regularisation_ = std::min(kRegularisation, 100 * std::max(least_regularisation_, reg_primal_));
      continue;
    }
    small_steps = alpha < 1e-6 ? small_steps + 1 : 0;
    last_step = alpha;
    for (size_t j = 0; j < NN; ++j) {
      v[j] += alpha * dv[j];
      if (has_l[j]) wl[j] += alpha * dwl[j], zl[j] += alpha * dzl[j];
      if (has_u[j]) wu[j] += alpha * dwu[j], zu[j] += alpha * dzu[j];
    }
    for (size_t i = 0; i < M; ++i) y[i] -= alpha * du[i];
  }
  if ((status == QpResult::kFailed || status == QpResult::kIterationLimit) && !best_iterate.v.empty() &&
      polish(best_iterate))
    status = QpResult::kOptimal;
  out.status = status;
  out.iterations = iter;
  out.x = std::move(best_.x);
  out.y = std::move(best_.y);
  out.check = best_.check;
  return out;
}

}  // namespace

QpResult solve_qp_ipm(const QpData& qp, const QpTolerances& tol, RunControl& run, int max_iterations, bool verbose) {
  Ipm ipm(qp, tol, run, max_iterations, verbose);
  return ipm.solve();
}

}  // namespace velmor
