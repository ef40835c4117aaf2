// The sparse primal-dual interior point method for convex QPs (class Ipm) and its entry point solve_qp_ipm.
#include "qp/qp_ipm.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include <CoinFinite.hpp>

#include "solve/solve.hpp"
#include "linalg/sparse_ldl.hpp"

namespace velmor {

namespace {

// Above any measure the method takes: the start of a minimum, and the
// "previous" value before there is one.
constexpr double kNone = 1e300;
// The floor of a divisor or a norm that may be 0.
constexpr double kTiny = 1e-300;

// The run's clock is read after about this much work of a phase (an entry
// or an index visited counts one; WorkPoll): about a millisecond, so that a
// stop is heard within milliseconds in every phase, not only between
// iterations.
constexpr std::int64_t kPollWork = std::int64_t(1) << 18;

// A point whose primal measure is within this is nearly feasible: the best
// point met is one, when there is one (a SUB_OPTIMAL answer needs it).
constexpr double kNearlyFeasible = 1e-6;

// The reduction: bounds or sides that cross by more than kCrossing, or the
// fixed columns' activity outside the sides of a row without free columns
// by more, make the problem infeasible as it stands; bounds or sides within
// kFixedWidth of each other are one value (a fixed column, an equality row
// without slack). Both relative to max(1, the size of the bounds or sides).
constexpr double kCrossing = 1e-9, kFixedWidth = 1e-13;

// Ruiz equilibration: at most kRuizPasses passes, until every column's and
// row's largest entry is within kRuizTolerance of 1. A norm below
// kNegligibleNorm (an empty column) is left alone, the others count within
// [kLeastNorm, kMostNorm], so that no pass scales by more than 100 and a
// few huge or tiny entries cannot swamp the rest; the objective's factor
// takes the same bounds.
constexpr int kRuizPasses = 25;
constexpr double kRuizTolerance = 0.1, kNegligibleNorm = 1e-12, kLeastNorm = 1e-4, kMostNorm = 1e4;
// A bound or side beyond kScaledAbove after equilibration brings all of
// them down by a common factor, the largest to kMostSize (equilibrate()).
constexpr double kMostSize = 1e3, kScaledAbove = 1e4;

// The regularisation of the KKT matrix: kRegularisation while mu is large,
// then kLeastRegularisation times mu, down to kLeastRegularisation. A step
// that comes out not finite is made again with kRegularisationRaise times
// the regularisation, up to kRegularisation.
constexpr double kRegularisation = 1e-8, kLeastRegularisation = 1e-12, kRegularisationRaise = 100;

// The factorisation's pivots: one of the wrong sign or within kTinyPivot of
// 0 (a dependent row, a column without curvature on an active set) is
// replaced by kReplacedPivot of the expected sign; the refinement removes
// the difference.
constexpr double kTinyPivot = 1e-13, kReplacedPivot = 2e-7;

// The relative accuracy of the KKT solves: the step's and the polished
// point's; the predictor's and the centrality correctors' (they only shape
// the step).
constexpr double kAccuracy = 1e-11, kRoughAccuracy = 1e-6;

// The refinement of a KKT solve: GMRES restarted every kKrylov iterations,
// at most kRefinementCycles cycles, each of which must shrink the residual
// by kCycleGain (a factor 2) or the refinement ends. A refined solution
// beyond kMostGrowth times the regularised one is the growth of a singular
// matrix, not a solution.
constexpr int kKrylov = 10, kRefinementCycles = 3;
constexpr double kCycleGain = 0.5, kMostGrowth = 1e4;

// The start: the least squares point of [Q + kStartDiagonal I, B'; B, 0];
// slacks and multipliers are shifted kStartShift times past the most
// negative of their kind, then by kStartCentring times the complementarity
// over the other kind's sum (Mehrotra's shifts), and start at kLeastStart
// at least, so that the first steps are not cut short at once.
constexpr double kStartDiagonal = 1.0, kStartShift = 1.5, kStartCentring = 0.5, kLeastStart = 1e-2;

// A step goes this fraction of the way to the nearest bound of a slack or a
// multiplier: the iterates stay interior.
constexpr double kStepToBoundary = 0.995;

// Gondzio's centrality correctors: at most kCorrectors, while the step is
// below kCorrectWhenBelow. Each aims at the longer step kTrialStretch times
// the step plus kTrialIncrement, pulls the products that step would leave
// into [kLowProduct, kHighProduct] times the target sigma mu (none down by
// more than kHighProduct times it), and is kept when the step grows by the
// factor kCorrectorGain at least.
constexpr int kCorrectors = 2;
constexpr double kCorrectWhenBelow = 0.95, kTrialStretch = 1.5, kTrialIncrement = 0.1;
constexpr double kLowProduct = 0.1, kHighProduct = 10, kCorrectorGain = 1.01;

// The run ends after kSmallSteps steps in a row below kSmallStep, after
// kWithoutProgress iterations in which no kept point cut the best merit by
// kProgress (halved it), and on an iterate beyond kDivergence (the scaled
// problem holds nothing that large: the iterates diverge).
constexpr int kSmallSteps = 10, kWithoutProgress = 50;
constexpr double kSmallStep = 1e-6, kProgress = 0.5, kDivergence = 1e30;

// The stall of a measure (Progress): above its tolerance, it has not fallen
// by kStallFall (tenfold) in kStallIterations iterations or more while mu
// fell by kStallMuFall (ten thousandfold).
constexpr int kStallIterations = 10;
constexpr double kStallFall = 0.1, kStallMuFall = 1e-4;

// The certificates are tried on the raw vectors, then with the components
// below kRayNoise of the largest dropped (a direction dominated by a ray
// carries the rest as noise).
constexpr double kRayNoise = 1e-6;

// Solution polishing: tried when an iterate meets the plain measures and
// its merit is below kPolishAgain times the merit when it was last tried;
// the first active set holds the bounds whose multiplier exceeds
// kActiveRatio times their distance from the iterate. At most kPolishPasses
// active sets are tried, and a held bound's multiplier (or a free column's
// excess over its bound), in the scaled problem, counts as wrong beyond
// kSignTolerance.
constexpr double kPolishAgain = 0.01, kActiveRatio = 1.0;
constexpr int kPolishPasses = 8;
constexpr double kSignTolerance = 1e-7;

bool all_finite(const std::vector<double>& v) {
  double sum = 0;  // a NaN or an infinity stays in the sum; norm_inf passes over a NaN
  for (double x : v) sum += x * 0.0;
  return sum == 0.0;
}

double norm2(const std::vector<double>& v) {
  double s = 0;
  for (double e : v) s += e * e;
  return std::sqrt(s);
}

// ---- the reduced problem ----------------------------------------------------------------------

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

// Where reduce() puts the model's columns and rows, learnt on its way.
struct ReduceMaps {
  std::vector<int> v_of;                  // model column -> v index, or -1 (fixed)
  std::vector<double> fixed_act;          // a row's activity of the fixed columns
  std::vector<char> has_free;             // a row has an entry of a free column
  std::vector<int> row_at, slack_at;      // model row -> row, its slack's v index; or -1
};

// The columns: fixed ones (bounds within kFixedWidth) at their midpoint, the
// others numbered in v; false on crossed bounds.
bool reduce_columns(const QpData& qp, Reduced& red, ReduceMaps& maps, WorkPoll& poll) {
  const int n = qp.n;
  red.fixed_x.assign(static_cast<size_t>(n), 0.0);
  red.fixed.assign(static_cast<size_t>(n), 0);
  maps.v_of.assign(static_cast<size_t>(n), -1);
  for (int j = 0; j < n; ++j) {
    const size_t k = static_cast<size_t>(j);
    const double l = qp.col_lb[k], u = qp.col_ub[k];
    poll.tick(1);
    if (finite_bound(l) && finite_bound(u) && l > u + kCrossing * std::max(1.0, std::fabs(l))) return false;
    if (finite_bound(l) && finite_bound(u) && u - l <= kFixedWidth * std::max(1.0, std::fabs(l))) {
      red.fixed[k] = 1;
      red.fixed_x[k] = 0.5 * (l + u);
      continue;
    }
    maps.v_of[k] = red.nx++;
    red.col_of.push_back(j);
  }
  return true;
}

// Each row's activity of the fixed columns, and whether a free column enters it.
void fixed_activity(const QpData& qp, const Reduced& red, ReduceMaps& maps, WorkPoll& poll) {
  maps.fixed_act.assign(static_cast<size_t>(qp.m), 0.0);
  maps.has_free.assign(static_cast<size_t>(qp.m), 0);
  for (int j = 0; j < qp.n; ++j) {
    for (int k = qp.a_start[static_cast<size_t>(j)]; k < qp.a_start[static_cast<size_t>(j) + 1]; ++k) {
      const size_t i = static_cast<size_t>(qp.a_index[static_cast<size_t>(k)]);
      const double a = qp.a_value[static_cast<size_t>(k)];
      if (a == 0) continue;
      if (red.fixed[static_cast<size_t>(j)])
        maps.fixed_act[i] += a * red.fixed_x[static_cast<size_t>(j)];
      else
        maps.has_free[i] = 1;
    }
    poll.tick(1 + qp.a_start[static_cast<size_t>(j) + 1] - qp.a_start[static_cast<size_t>(j)]);
  }
}

// The rows: kept where a free column enters and a side is finite, with a
// slack unless the sides are one value; false where sides cross or the
// fixed columns break a row without free ones.
bool reduce_rows(const QpData& qp, Reduced& red, ReduceMaps& maps, WorkPoll& poll) {
  const int m = qp.m;
  maps.row_at.assign(static_cast<size_t>(m), -1);
  maps.slack_at.assign(static_cast<size_t>(m), -1);
  for (int i = 0; i < m; ++i) {
    const size_t k = static_cast<size_t>(i);
    poll.tick(1);
    const double l = qp.row_lb[k], u = qp.row_ub[k], a = maps.fixed_act[k];
    const double scale = std::max({1.0, finite_bound(l) ? std::fabs(l) : 0.0, finite_bound(u) ? std::fabs(u) : 0.0});
    if (finite_bound(l) && finite_bound(u) && l > u + kCrossing * scale) return false;
    if (!maps.has_free[k]) {
      if ((finite_bound(l) && a < l - kCrossing * scale) || (finite_bound(u) && a > u + kCrossing * scale)) return false;
      continue;
    }
    if (!finite_bound(l) && !finite_bound(u)) continue;
    maps.row_at[k] = red.me++;
    red.row_of.push_back(i);
    if (!(finite_bound(l) && finite_bound(u) && u - l <= kFixedWidth * scale)) maps.slack_at[k] = red.nx + red.ns++;
  }
  return true;
}

// The bounds of v (a slack's are its row's sides less the fixed activity),
// q, and the right-hand sides of the rows without slack.
void reduce_bounds(const QpData& qp, const ReduceMaps& maps, Reduced& red, WorkPoll& poll) {
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
    poll.tick(1);
  }
  for (int i = 0; i < qp.m; ++i) {
    const size_t k = static_cast<size_t>(i);
    poll.tick(1);
    if (maps.row_at[k] < 0) continue;
    const int s = maps.slack_at[k];
    if (s < 0) {
      red.r[static_cast<size_t>(maps.row_at[k])] = 0.5 * (qp.row_lb[k] + qp.row_ub[k]) - maps.fixed_act[k];
    } else {
      if (finite_bound(qp.row_lb[k])) red.lo[static_cast<size_t>(s)] = qp.row_lb[k] - maps.fixed_act[k];
      if (finite_bound(qp.row_ub[k])) red.hi[static_cast<size_t>(s)] = qp.row_ub[k] - maps.fixed_act[k];
    }
  }
}

// B by columns: the free columns' entries in kept rows, then -1 per slack.
void reduce_b(const QpData& qp, const ReduceMaps& maps, Reduced& red, WorkPoll& poll) {
  red.b_start.assign(1, 0);
  for (int t = 0; t < red.nx; ++t) {
    const size_t j = static_cast<size_t>(red.col_of[static_cast<size_t>(t)]);
    poll.tick(1 + qp.a_start[j + 1] - qp.a_start[j]);
    for (int k = qp.a_start[j]; k < qp.a_start[j + 1]; ++k) {
      const int e = maps.row_at[static_cast<size_t>(qp.a_index[static_cast<size_t>(k)])];
      if (e < 0 || qp.a_value[static_cast<size_t>(k)] == 0) continue;
      red.b_index.push_back(e);
      red.b_value.push_back(qp.a_value[static_cast<size_t>(k)]);
    }
    red.b_start.push_back(static_cast<int>(red.b_index.size()));
  }
  for (int i = 0; i < qp.m; ++i) {
    poll.tick(1);
    if (maps.slack_at[static_cast<size_t>(i)] < 0) continue;
    red.b_index.push_back(maps.row_at[static_cast<size_t>(i)]);
    red.b_value.push_back(-1.0);
    red.b_start.push_back(static_cast<int>(red.b_index.size()));
  }
}

// Q: free-free entries; free-fixed ones move into q.
void reduce_q(const QpData& qp, const ReduceMaps& maps, Reduced& red, WorkPoll& poll) {
  const size_t N = static_cast<size_t>(red.N());
  std::vector<std::vector<std::pair<int, double>>> qcols(N);
  for (int j = 0; j + 1 < static_cast<int>(qp.h_start.size()); ++j) {
    poll.tick(1 + qp.h_start[static_cast<size_t>(j) + 1] - qp.h_start[static_cast<size_t>(j)]);
    for (int k = qp.h_start[static_cast<size_t>(j)]; k < qp.h_start[static_cast<size_t>(j) + 1]; ++k) {
      const int i = qp.h_index[static_cast<size_t>(k)];
      const double h = qp.h_value[static_cast<size_t>(k)];
      if (h == 0) continue;
      const int ti = maps.v_of[static_cast<size_t>(i)], tj = maps.v_of[static_cast<size_t>(j)];
      if (ti >= 0 && tj >= 0)
        qcols[static_cast<size_t>(std::max(ti, tj))].push_back({std::min(ti, tj), h});
      else if (ti >= 0)
        red.q[static_cast<size_t>(ti)] += h * red.fixed_x[static_cast<size_t>(j)];
      else if (tj >= 0)
        red.q[static_cast<size_t>(tj)] += h * red.fixed_x[static_cast<size_t>(i)];
    }
  }
  red.q_start.assign(1, 0);
  for (size_t j = 0; j < N; ++j) {
    for (const auto& e : qcols[j]) {
      red.q_index.push_back(e.first);
      red.q_value.push_back(e.second);
    }
    red.q_start.push_back(static_cast<int>(red.q_index.size()));
    poll.tick(1 + static_cast<std::int64_t>(qcols[j].size()));
  }
}

// Builds the reduced problem: fixed columns substituted, rows without a
// free column checked and dropped, rows without a finite side dropped, a
// slack per row with two sides apart or one; false when fixed columns
// already break a row or a bound pair is crossed (the problem is
// infeasible as it stands).
bool reduce(const QpData& qp, Reduced& red, WorkPoll& poll) {
  ReduceMaps maps;
  if (!reduce_columns(qp, red, maps, poll)) return false;
  fixed_activity(qp, red, maps, poll);
  if (!reduce_rows(qp, red, maps, poll)) return false;
  reduce_bounds(qp, maps, red, poll);
  reduce_b(qp, maps, red, poll);
  reduce_q(qp, maps, red, poll);
  return true;
}

// Raises col[j] and row[i] to |M_ij| for every entry of M (by columns, as
// many as start has entries less one): the largest entry of each column and
// row. A symmetric triangle passes the same vector twice.
void raise_to_entries(const std::vector<int>& start, const std::vector<int>& index, const std::vector<double>& value,
                      std::vector<double>& col, std::vector<double>& row, WorkPoll& poll) {
  for (size_t j = 0; j + 1 < start.size(); ++j) {
    for (int k = start[j]; k < start[j + 1]; ++k) {
      const size_t i = static_cast<size_t>(index[static_cast<size_t>(k)]);
      const double v = std::fabs(value[static_cast<size_t>(k)]);
      col[j] = std::max(col[j], v);
      row[i] = std::max(row[i], v);
    }
    poll.tick(1 + start[j + 1] - start[j]);
  }
}

// Ruiz equilibration of [Q B'; B 0] and a factor on the objective; scales
// the reduced problem in place.
void equilibrate(Reduced& red, WorkPoll& poll) {
  const size_t N = static_cast<size_t>(red.N()), me = static_cast<size_t>(red.me);
  std::vector<double>& D = red.col_scale;
  std::vector<double>& E = red.row_scale;
  D.assign(N, 1.0);
  E.assign(me, 1.0);
  std::vector<double> cn(N), rn(me);
  auto clamp = [](double norm) {
    return norm < kNegligibleNorm ? 1.0 : std::min(std::max(norm, kLeastNorm), kMostNorm);
  };
  for (int pass = 0; pass < kRuizPasses; ++pass) {
    std::fill(cn.begin(), cn.end(), 0.0);
    std::fill(rn.begin(), rn.end(), 0.0);
    raise_to_entries(red.q_start, red.q_index, red.q_value, cn, cn, poll);
    raise_to_entries(red.b_start, red.b_index, red.b_value, cn, rn, poll);
    double worst = 0;
    for (double v : cn)
      if (v > 0) worst = std::max(worst, std::fabs(1 - v));
    for (double v : rn)
      if (v > 0) worst = std::max(worst, std::fabs(1 - v));
    if (worst < kRuizTolerance) break;
    for (size_t j = 0; j < N; ++j) cn[j] = 1.0 / std::sqrt(clamp(cn[j]));
    for (size_t i = 0; i < me; ++i) rn[i] = 1.0 / std::sqrt(clamp(rn[i]));
    for (size_t j = 0; j < N; ++j) {
      D[j] *= cn[j];
      for (int k = red.q_start[j]; k < red.q_start[j + 1]; ++k)
        red.q_value[static_cast<size_t>(k)] *= cn[j] * cn[static_cast<size_t>(red.q_index[static_cast<size_t>(k)])];
      for (int k = red.b_start[j]; k < red.b_start[j + 1]; ++k)
        red.b_value[static_cast<size_t>(k)] *= cn[j] * rn[static_cast<size_t>(red.b_index[static_cast<size_t>(k)])];
      poll.tick(1 + red.q_start[j + 1] - red.q_start[j] + red.b_start[j + 1] - red.b_start[j]);
    }
    for (size_t i = 0; i < me; ++i) E[i] *= rn[i];
  }
  for (size_t j = 0; j < N; ++j) {
    red.q[j] *= D[j];
    if (finite_bound(red.lo[j])) red.lo[j] /= D[j];
    if (finite_bound(red.hi[j])) red.hi[j] /= D[j];
  }
  for (size_t i = 0; i < me; ++i) red.r[i] *= E[i];
  // The size of the values: bounds and sides, and with them the columns'
  // values, far beyond 1 after equilibration (columns of 1e5 under an
  // objective of 1e11, sides of 2e7 over columns without curvature) leave
  // the barrier's diagonal far below the rows' entries and the
  // regularisation: the steps go astray, or the multipliers of columns
  // scaled down stay off by 1e-7 while mu falls to 1e-18. Beyond
  // kScaledAbove the columns are scaled by a common factor that brings the
  // largest to kMostSize, the rows by its inverse (B is unchanged), the
  // objective's linear terms by it and its quadratic ones by its square.
  double largest = 0;
  for (size_t j = 0; j < N; ++j) {
    if (finite_bound(red.lo[j])) largest = std::max(largest, std::fabs(red.lo[j]));
    if (finite_bound(red.hi[j])) largest = std::max(largest, std::fabs(red.hi[j]));
  }
  for (size_t i = 0; i < me; ++i) largest = std::max(largest, std::fabs(red.r[i]));
  const double values = largest > kScaledAbove ? largest / kMostSize : 1.0;
  if (values > 1.0) {
    for (size_t j = 0; j < N; ++j) {
      D[j] *= values;
      red.q[j] *= values;
      if (finite_bound(red.lo[j])) red.lo[j] /= values;
      if (finite_bound(red.hi[j])) red.hi[j] /= values;
    }
    for (size_t i = 0; i < me; ++i) E[i] /= values, red.r[i] /= values;
    for (double& v : red.q_value) v *= values * values;
  }
  // The objective: its linear part and Q's columns to about 1.
  std::vector<double> qn(N, 0.0);
  raise_to_entries(red.q_start, red.q_index, red.q_value, qn, qn, poll);
  double mean = 0;
  for (double v : qn) mean += v;
  mean = N > 0 ? mean / static_cast<double>(N) : 0.0;
  const double size = std::max(mean, norm_inf(red.q));
  // (The objective's factor may take out what the common factor put in.)
  red.cost = size < kNegligibleNorm ? 1.0 : 1.0 / std::min(std::max(size, kLeastNorm), kMostNorm * values * values);
  for (double& v : red.q_value) v *= red.cost;
  for (double& v : red.q) v *= red.cost;
}

// ---- the interior point method ----------------------------------------------------------------

// A point of the iterations, or a step from one: v (N), the row multipliers
// y (me), and per bound the slack w = v - lo or hi - v and its multiplier z
// (N each, 0 where the bound is infinite; empty when no bound is finite).
struct Iterate {
  std::vector<double> v, y, wl, wu, zl, zu;
};

// The Newton system's right-hand side at the iterate: the residuals of its
// dual rows Qv + q - B'y - zl + zu (dual), of its rows Bv - r (primal) and
// of its bounds' slacks (lower: v - lo - wl, upper: hi - v - wu); the
// complementarity w'z and its mean mu; and the products w z that a
// direction aims at (target_l, target_u: the predictor's, the corrector's,
// a centrality corrector's).
struct Residuals {
  std::vector<double> dual, primal, lower, upper;
  double comp = 0, mu = 0;
  std::vector<double> target_l, target_u;
};

// A residual measure of the point (primal or dual) against the iterations'
// own complementarity, once the point is nearly feasible (before,
// infeasibilities often wait for mu): a measure above its tolerance that
// has not fallen tenfold in ten iterations or more while mu fell ten
// thousandfold no longer follows the iterations (the accuracy of the steps
// or the scaling holds it up): they stall.
struct Progress {
  double reference = kNone, mu_then = 0;
  int since = 0;
  bool stalled(double value, double tolerance, double mu, bool nearly_feasible) {
    if (!nearly_feasible || value <= tolerance || value <= kStallFall * reference) {
      reference = value;
      mu_then = mu;
      since = 0;
      return false;
    }
    return ++since >= kStallIterations && mu < kStallMuFall * mu_then;
  }
};

QpTolerances plain_measures(const QpTolerances& tol) {
  QpTolerances plain = tol;
  plain.objective_scaled = false;
  return plain;
}

class Ipm {
 public:
  Ipm(const QpData& qp, const QpTolerances& tol, RunControl& run, int max_iterations, bool verbose)
      : qp_(qp), tol_(tol), plain_(plain_measures(tol)), run_(run), max_iterations_(max_iterations),
        verbose_(verbose), poll_(stop_fn(), kPollWork) {}

  QpResult solve();

 private:
  // ---- the phases of solve()
  // The reduced, scaled problem, the KKT pattern and its analysis, the
  // bounds and the vectors of the iterations; false (with `failure`) when
  // the problem is infeasible as it stands, too large, or stopped.
  bool set_up(QpResult::Status& failure);
  // The finite bounds counted, the vectors of the iterations at their sizes.
  void allocate();
  // The starting point; false (with `failure`) when its factorisation
  // fails or is stopped.
  bool start(QpResult::Status& failure);
  // The start's slacks (v's distances to its bounds) and multipliers (the
  // reduced gradient, split between a column's bounds), and the smallest of
  // each kind.
  void start_slacks(double& wmin, double& zmin);
  // Mehrotra's shifts: every slack and multiplier moved inside.
  void shift_start(double wmin, double zmin);
  // res_ at the iterate.
  void residuals();
  // The iterate measured on the problem as given, offered as the best point,
  // and logged.
  QpCheck measure(int iter);
  // True when the run ends at this iterate; out.status (and out.ray) say
  // why, kFailed left for a stall or a diverging run.
  bool ends(const QpCheck& check, int iter, QpResult& out);
  // Polishing the iterate, when it meets the plain measures nearer than the
  // last try; true when the polished point meets the tolerances.
  bool polish_converged(const QpCheck& check);
  // A certificate of infeasibility or unboundedness in the iterate or the
  // last step: out.ray and out.status.
  bool find_certificate(const QpCheck& check, QpResult& out);
  // The iteration's KKT matrix (the bounds' barrier, the regularisation for
  // mu) factorised; false when that fails or is stopped.
  bool factorize_iteration();
  // The status after a failed factorisation: kStopped when it was stopped.
  QpResult::Status factorization_failure() const {
    return run_.stopped_by() ? QpResult::kStopped : QpResult::kFailed;
  }
  // The step (step_) and its length: Mehrotra's predictor and corrector,
  // then Gondzio's correctors.
  double step_and_length();
  // Mehrotra's centring parameter sigma: (the complementarity after the
  // predictor's longest step, against the present one) cubed, at most 1.
  double centring() const;
  // Gondzio's correctors on step_, from its length alpha: the length after.
  double correct_centrality(double alpha, double target_mu);
  // The step and its length are finite.
  bool finite_step(double alpha) const;
  // The least regularisation raised for the iteration made again; false
  // when it is at kRegularisation already (the run ends).
  bool raise_regularisation();
  // The iterate moved by alpha times step_.
  void advance(double alpha);
  // The best point met into `out` (polished first when the run failed).
  void finish(int iter, QpResult& out);

  // ---- steps and their parts
  // The bounds' barrier on the diagonal: zl/wl + zu/wu.
  void barrier_diagonal();
  // The targets of the products w z: f(w, z, dw, dz) of every finite bound,
  // with the iterate's slack and multiplier and those of the step d.
  template <class Target>
  void set_targets(const Iterate& d, Target f);
  // The direction d for the targets of res_ (w z + ...), its linear system
  // solved to `accuracy` (relative). With `residuals` false, the direction
  // that changes the complementarity products only (a centrality
  // corrector).
  void direction(Iterate& d, bool residuals, double accuracy);
  // The longest step along d that keeps every slack and multiplier at 0 or
  // above (1 at most), and the step the iterations take: kStepToBoundary of
  // it.
  double longest_step(const Iterate& d) const;
  double step_length(const Iterate& d) const;
  // to += alpha d (the slacks and multipliers of the finite bounds).
  void add_step(Iterate& to, const Iterate& d, double alpha) const;

  // ---- the scaled problem's products and the KKT system
  // (Each ticks poll_ after its pass.)
  void q_times(const std::vector<double>& x, std::vector<double>& out);   // out = Q x
  void b_times(const std::vector<double>& x, std::vector<double>& out);   // out = B x
  void bt_times(const std::vector<double>& y, std::vector<double>& out);  // out = B'y
  // g = Qv + q - B'y.
  void reduced_gradient(const std::vector<double>& v, const std::vector<double>& y, std::vector<double>& g);
  void build_kkt_pattern();
  // What the analysis and the factorisations poll.
  SparseLdl::StopFn stop_fn() { return [this] { return run_.should_stop(); }; }
  // Factorises [Q + sigma + reg_primal_, B'; B, dual_diagonal]; with fixed_
  // set, the rows and columns of the fixed v are those of the identity.
  // False when the factorisation fails or is stopped.
  bool factorize(const std::vector<double>& sigma, double dual_diagonal);
  // out = [Q + sigma, B'; B, 0] in; with fixed_ set, the rows and columns
  // of the fixed v are those of the identity.
  void kkt_apply(const std::vector<double>& sigma, const double* in, double* out);
  // kkt_apply's work, in the units of poll_.
  std::int64_t apply_work() const { return static_cast<std::int64_t>(k_index_.size() + k_start_.size()); }
  // Solves [Q + sigma, B'; B, 0] (dv, -dy) = rhs with the factors of the
  // regularised matrix, refined against the unregularised one to the
  // relative `accuracy`.
  void kkt_solve(const std::vector<double>& sigma, const std::vector<double>& rhs, std::vector<double>& dv,
                 std::vector<double>& dy, double accuracy = kAccuracy);
  // The refinement of x, the regularised solution of K x = b.
  void refine(const std::vector<double>& sigma, const std::vector<double>& b, double accuracy, std::vector<double>& x);
  // One GMRES cycle from the residual beta krylov_.basis[0]: x corrected;
  // false when the refinement is done (the target met, or no gain).
  bool gmres_cycle(const std::vector<double>& sigma, double beta, double target, std::vector<double>& x);

  // ---- results
  // The model's x (all columns) and y of the scaled v, y: a point (fixed
  // columns at their value, x within its bounds) or a direction.
  void unscale(const std::vector<double>& v, const std::vector<double>& y, std::vector<double>& x,
               std::vector<double>& yo, bool point = true) const;
  // Keeps x, y as the best point when it is: nearly feasible (primal within
  // kNearlyFeasible) where the best is not, else of lower merit. True when
  // kept.
  bool offer(const std::vector<double>& x, const std::vector<double>& y, const QpCheck& c);
  // Solution polishing: the bounds the iterate `at` treats as active are
  // made equalities and the equality-constrained problem is solved
  // directly, the set corrected by its multipliers' signs and its crossed
  // bounds a few times; true when a point meets the tolerances.
  bool polish(const Iterate& at);
  // The equality-constrained problem with the v of side -1 (+1) at their
  // lower (upper) bound: its v and row multipliers y; false when the
  // factorisation fails or is stopped.
  bool solve_on_active_set(const std::vector<signed char>& side, std::vector<double>& v, std::vector<double>& y);

  const QpData& qp_;
  QpTolerances tol_;
  QpTolerances plain_;  // the measures relative to 1 + ...
  RunControl& run_;
  int max_iterations_;
  bool verbose_;  // a log line per iteration
  // The run's clock in the phases' loops; its ticks throw WorkStopped, which
  // solve() catches: the phase's work is dropped, the best point met stands.
  WorkPoll poll_;
  Reduced red_;
  std::vector<char> has_l_, has_u_;  // v has a finite lower, upper bound
  int nb_ = 0;                        // the finite bounds
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

  Iterate it_;                // the iterate
  Residuals res_;             // at it_
  std::vector<double> sigma_;  // the barrier's diagonal
  // The step (from the corrector, or a centrality corrector's sum), the
  // predictor's, a centrality corrector and the trial sum of the last two.
  Iterate step_, affine_, corrector_, trial_;
  std::vector<double> rhs_;  // a KKT system's right-hand side (N + me)
  std::vector<double> x_, yo_;  // the iterate unscaled

  // The best point and the stall rules.
  QpResult best_;
  double best_merit_ = kNone;
  bool best_feasible_ = false;
  Iterate best_iterate_;  // the last iterate kept as best_ (a polished point kept later leaves it)
  int small_steps_ = 0, since_best_ = 0;
  double last_step_ = 0, polished_merit_ = kNone;
  Progress primal_progress_, dual_progress_;

  // Work vectors of the products: Q v, B v, B'y (of the iterate, or of what
  // kkt_apply multiplies: its v and u parts, tmp_v_ and tmp_u_).
  std::vector<double> qv_, bv_, bty_, tmp_v_, tmp_u_;
  // kkt_solve's GMRES: its basis and work vectors, kept between calls.
  struct Krylov {
    std::vector<std::vector<double>> basis;
    std::vector<double> r, w;
  } krylov_;
  std::vector<char> fixed_;  // polishing: v held at a bound
};

// ---- the method's outline and its phases ------------------------------------------------------

QpResult Ipm::solve() {
  QpResult out;
  int iter = 0;
  try {
    if (!set_up(out.status) || !start(out.status)) return out;
    for (;; ++iter) {
      residuals();
      // (A stop heard here drops the iterate unmeasured: the measure and
      // the tests of ends() run unpolled, and cost about as much again.)
      poll_.tick(2 * apply_work());
      const QpCheck check = measure(iter);
      if (ends(check, iter, out)) break;
      if (!factorize_iteration()) {
        out.status = factorization_failure();
        break;
      }
      const double alpha = step_and_length();
      if (!finite_step(alpha)) {
        if (!raise_regularisation()) break;
        continue;
      }
      advance(alpha);
    }
  } catch (const WorkStopped&) {
    // Heard inside a phase (the set-up, a factorisation, a solve): the
    // step it worked on is dropped.
    out.status = QpResult::kStopped;
  }
  finish(iter, out);
  return out;
}

bool Ipm::set_up(QpResult::Status& failure) {
  if (!reduce(qp_, red_, poll_)) {
    failure = QpResult::kInfeasible;
    if (verbose_) run_.log.line("Bounds or rows contradict each other");
    return false;
  }
  equilibrate(red_, poll_);
  const int N = red_.N(), me = red_.me;
  build_kkt_pattern();
  poll_.check();
  const SparseLdl::Result analysed =
      static_cast<std::int64_t>(k_index_.size()) > INT32_MAX / 2
          ? SparseLdl::Result::TooLarge
          : ldl_.analyze(N + me, k_start_, k_index_, stop_fn());
  if (analysed == SparseLdl::Result::Stopped) {
    failure = QpResult::kStopped;
    return false;
  }
  if (analysed != SparseLdl::Result::Ok) {
    run_.log.line("The interior point method's factorisation is too large");
    failure = QpResult::kTooLarge;
    return false;
  }
  if (verbose_)
    run_.log.linef("Interior point method: %d columns, %d rows (after reduction), %lld entries in the factor", N, me,
                   static_cast<long long>(ldl_.factor_entries()));
  allocate();
  return true;
}

void Ipm::allocate() {
  const size_t N = static_cast<size_t>(red_.N()), M = static_cast<size_t>(red_.me);
  has_l_.resize(N);
  has_u_.resize(N);
  for (size_t j = 0; j < N; ++j) {
    has_l_[j] = finite_bound(red_.lo[j]);
    has_u_[j] = finite_bound(red_.hi[j]);
    nb_ += has_l_[j] + has_u_[j];
  }
  it_.v.assign(N, 0.0);
  it_.y.assign(M, 0.0);
  // The steps' v and y come from the solves: step_'s stay empty until the
  // first. Without a finite bound (an LP of free columns) the bounds'
  // vectors stay empty.
  const size_t NB = nb_ > 0 ? N : 0;
  for (Iterate* p : {&it_, &step_, &affine_, &corrector_, &trial_})
    for (std::vector<double>* w : {&p->wl, &p->wu, &p->zl, &p->zu}) {
      w->assign(NB, 0.0);
      poll_.tick(static_cast<std::int64_t>(NB));
    }
  res_.dual.assign(N, 0.0);
  res_.primal.assign(M, 0.0);
  for (std::vector<double>* r : {&res_.lower, &res_.upper, &res_.target_l, &res_.target_u}) {
    r->assign(NB, 0.0);
    poll_.tick(static_cast<std::int64_t>(NB));
  }
  sigma_.assign(N, 0.0);
  rhs_.assign(N + M, 0.0);
}

// Start: the least squares point of [Q + I, B'; B, 0], moved inside the
// bounds' slacks and multipliers by Mehrotra's shifts.
bool Ipm::start(QpResult::Status& failure) {
  const size_t N = static_cast<size_t>(red_.N());
  std::fill(sigma_.begin(), sigma_.end(), kStartDiagonal);
  if (!factorize(sigma_, -reg_dual_)) {
    failure = factorization_failure();
    return false;
  }
  for (size_t j = 0; j < N; ++j) rhs_[j] = -red_.q[j];
  std::copy(red_.r.begin(), red_.r.end(), rhs_.begin() + static_cast<std::ptrdiff_t>(N));
  kkt_solve(sigma_, rhs_, it_.v, it_.y);
  double wmin = kNone, zmin = kNone;
  start_slacks(wmin, zmin);
  if (nb_ > 0) shift_start(wmin, zmin);
  return true;
}

void Ipm::start_slacks(double& wmin, double& zmin) {
  reduced_gradient(it_.v, it_.y, res_.dual);  // the first residuals() makes it the dual residual
  for (size_t j = 0; j < static_cast<size_t>(red_.N()); ++j) {
    const double g = res_.dual[j];
    if (has_l_[j]) it_.wl[j] = it_.v[j] - red_.lo[j], wmin = std::min(wmin, it_.wl[j]);
    if (has_u_[j]) it_.wu[j] = red_.hi[j] - it_.v[j], wmin = std::min(wmin, it_.wu[j]);
    if (has_l_[j] && has_u_[j]) {
      it_.zl[j] = std::max(g, 0.0), it_.zu[j] = std::max(-g, 0.0);
    } else if (has_l_[j]) {
      it_.zl[j] = g;
    } else if (has_u_[j]) {
      it_.zu[j] = -g;
    }
    if (has_l_[j]) zmin = std::min(zmin, it_.zl[j]);
    if (has_u_[j]) zmin = std::min(zmin, it_.zu[j]);
  }
}

void Ipm::shift_start(double wmin, double zmin) {
  const size_t N = static_cast<size_t>(red_.N());
  Iterate& p = it_;
  const double sw = std::max(-kStartShift * wmin, 0.0), sz = std::max(-kStartShift * zmin, 0.0);
  double wz = 0, sum_w = 0, sum_z = 0;
  for (size_t j = 0; j < N; ++j) {
    if (has_l_[j]) p.wl[j] += sw, p.zl[j] += sz, wz += p.wl[j] * p.zl[j], sum_w += p.wl[j], sum_z += p.zl[j];
    if (has_u_[j]) p.wu[j] += sw, p.zu[j] += sz, wz += p.wu[j] * p.zu[j], sum_w += p.wu[j], sum_z += p.zu[j];
  }
  const double dw = sum_z > 0 ? kStartCentring * wz / sum_z : 0.0;
  const double dz = sum_w > 0 ? kStartCentring * wz / sum_w : 0.0;
  for (size_t j = 0; j < N; ++j) {
    if (has_l_[j]) p.wl[j] = std::max(p.wl[j] + dw, kLeastStart), p.zl[j] = std::max(p.zl[j] + dz, kLeastStart);
    if (has_u_[j]) p.wu[j] = std::max(p.wu[j] + dw, kLeastStart), p.zu[j] = std::max(p.zu[j] + dz, kLeastStart);
  }
}

void Ipm::residuals() {
  const size_t N = static_cast<size_t>(red_.N()), M = static_cast<size_t>(red_.me);
  reduced_gradient(it_.v, it_.y, res_.dual);
  b_times(it_.v, bv_);
  double comp = 0;
  for (size_t j = 0; j < N && nb_ > 0; ++j) {
    res_.dual[j] = res_.dual[j] - it_.zl[j] + it_.zu[j];
    if (has_l_[j]) res_.lower[j] = it_.v[j] - red_.lo[j] - it_.wl[j], comp += it_.wl[j] * it_.zl[j];
    if (has_u_[j]) res_.upper[j] = red_.hi[j] - it_.v[j] - it_.wu[j], comp += it_.wu[j] * it_.zu[j];
  }
  for (size_t i = 0; i < M; ++i) res_.primal[i] = bv_[i] - red_.r[i];
  res_.comp = comp;
  res_.mu = nb_ > 0 ? comp / nb_ : 0.0;
}

QpCheck Ipm::measure(int iter) {
  unscale(it_.v, it_.y, x_, yo_);
  const QpCheck check = check_qp_point(qp_, x_.data(), yo_.data());
  const double before = best_merit_;
  const bool kept = offer(x_, yo_, check);
  if (kept) best_iterate_ = it_;
  if (verbose_)
    run_.log.linef("%4d  %16.9e  primal %8.2e  dual %8.2e  gap %8.2e  mu %8.2e  step %.3f", iter, check.objective,
                   check.primal, tol_.dual_of(check), tol_.gap_of(check), res_.mu, last_step_);
  since_best_ = kept && best_merit_ < kProgress * before ? 0 : since_best_ + 1;
  return check;
}

bool Ipm::ends(const QpCheck& check, int iter, QpResult& out) {
  if (tol_.met(check) || polish_converged(check)) {
    out.status = QpResult::kOptimal;
    return true;
  }
  const bool late = check.primal <= kNearlyFeasible;
  const bool stalled = primal_progress_.stalled(check.primal, tol_.primal, res_.mu, late) |
                       dual_progress_.stalled(tol_.dual_of(check), tol_.dual, res_.mu, late);
  // (Once a stop is heard, in polishing, the run ends without looking for one.)
  if (iter >= 1 && !run_.stopped_by() && find_certificate(check, out)) return true;
  if (iter >= max_iterations_) {
    out.status = QpResult::kIterationLimit;
    return true;
  }
  if (run_.should_stop()) {
    out.status = QpResult::kStopped;
    return true;
  }
  if (!std::isfinite(res_.comp) || norm_inf(it_.v) > kDivergence || norm_inf(it_.y) > kDivergence) return true;
  return small_steps_ >= kSmallSteps || since_best_ >= kWithoutProgress || stalled;
}

// Converged in the plain measures: the active-set point may meet the
// objective-scaled ones long before the iterates do. Tried again once the
// iterates are a hundred times nearer.
bool Ipm::polish_converged(const QpCheck& check) {
  if (!(plain_.met(check) && tol_.merit(check) < kPolishAgain * polished_merit_)) return false;
  polished_merit_ = tol_.merit(check);
  return polish(it_);
}

// Certificates: an infeasible problem drives the row multipliers, an
// unbounded one the columns, along the certificate; the iterate and the
// last step are tried, each raw and without its noise.
bool Ipm::find_certificate(const QpCheck& check, QpResult& out) {
  for (const Iterate* from : {&it_, &step_}) {
    if (from->v.size() != static_cast<size_t>(red_.N()) || from->y.size() != static_cast<size_t>(red_.me)) continue;
    std::vector<double> rx, ry;
    unscale(from->v, from->y, rx, ry, false);
    for (int clean = 0; clean < 2; ++clean) {
      poll_.tick(2 * apply_work());
      if (clean == 1) {
        for (std::vector<double>* w : {&rx, &ry}) {
          const double big = norm_inf(*w);
          for (double& e : *w)
            if (std::fabs(e) < kRayNoise * big) e = 0.0;
        }
      }
      if (check.primal > tol_.primal && is_infeasibility_certificate(qp_, ry)) {
        out.ray = ry;
        out.status = QpResult::kInfeasible;
        return true;
      }
      if (tol_.dual_of(check) > tol_.dual && is_unbounded_direction(qp_, rx)) {
        out.ray = rx;
        out.status = QpResult::kUnbounded;
        return true;
      }
    }
  }
  return false;
}

bool Ipm::factorize_iteration() {
  barrier_diagonal();
  // The regularisation shrinks with mu, as in proximal interior point
  // methods: where columns without curvature stay far from their bounds
  // (BOYD2's), 1e-8 is no small change of the matrix and the refined
  // steps stop short of the optimum. Once a refinement gains nothing, the
  // steps are those of the regularised system, and the factors of a
  // smaller regularisation are too inaccurate for them (an objective of
  // 1e11 over columns of 1e5: the barrier's diagonal lies far below the
  // rows' entries, and the steps go astray): the regularisation shrinks
  // no further.
  if (!refinement_useful_) least_regularisation_ = std::max(least_regularisation_, reg_primal_);
  reg_primal_ = reg_dual_ = std::min(kRegularisation, std::max(least_regularisation_, kLeastRegularisation * res_.mu));
  return factorize(sigma_, -reg_dual_);
}

double Ipm::step_and_length() {
  // Predictor: the products w z to 0.
  set_targets(affine_, [](double w, double z, double, double) { return -w * z; });
  direction(affine_, true, kRoughAccuracy);
  if (nb_ == 0) {
    step_ = affine_;
    return 1.0;
  }
  // Corrector: to sigma mu, with the predictor's second-order term.
  const double target_mu = centring() * res_.mu;
  set_targets(affine_, [target_mu](double w, double z, double dw, double dz) { return target_mu - w * z - dw * dz; });
  direction(step_, true, kAccuracy);
  return correct_centrality(step_length(step_), target_mu);
}

double Ipm::centring() const {
  const double a = longest_step(affine_);
  double comp_a = 0;
  for (size_t j = 0; j < static_cast<size_t>(red_.N()); ++j) {
    if (has_l_[j]) comp_a += (it_.wl[j] + a * affine_.wl[j]) * (it_.zl[j] + a * affine_.zl[j]);
    if (has_u_[j]) comp_a += (it_.wu[j] + a * affine_.wu[j]) * (it_.zu[j] + a * affine_.zu[j]);
  }
  const double ratio = res_.comp > 0 ? std::max(0.0, comp_a / res_.comp) : 0.0;
  return std::min(1.0, ratio * ratio * ratio);
}

// Gondzio's centrality correctors: products that a longer step would take
// far from the target sigma mu are pulled back into [0.1, 10] sigma mu,
// while that lengthens the step.
double Ipm::correct_centrality(double alpha, double target_mu) {
  for (int k = 0; k < kCorrectors && alpha < kCorrectWhenBelow; ++k) {
    const double trial = std::min(1.0, kTrialStretch * alpha + kTrialIncrement);
    set_targets(step_, [&](double w, double z, double dw, double dz) {
      const double p = (w + trial * dw) * (z + trial * dz);
      if (p < kLowProduct * target_mu) return kLowProduct * target_mu - p;
      if (p > kHighProduct * target_mu) return std::max(kHighProduct * target_mu - p, -kHighProduct * target_mu);
      return 0.0;
    });
    direction(corrector_, false, kRoughAccuracy);
    trial_ = step_;
    add_step(trial_, corrector_, 1.0);
    const double longer = step_length(trial_);
    if (!(longer >= kCorrectorGain * alpha)) break;
    std::swap(step_, trial_);
    alpha = longer;
  }
  return alpha;
}

// Factors too weakly regularised for their matrix give no finite step: the
// iteration is made again with a hundred times the regularisation.
bool Ipm::finite_step(double alpha) const {
  return std::isfinite(alpha) && all_finite(step_.v) && all_finite(step_.y) && all_finite(step_.zl) &&
         all_finite(step_.zu);
}

bool Ipm::raise_regularisation() {
  if (!(least_regularisation_ < kRegularisation)) return false;
  least_regularisation_ = std::min(kRegularisation, kRegularisationRaise * std::max(least_regularisation_, reg_primal_));
  return true;
}

void Ipm::advance(double alpha) {
  small_steps_ = alpha < kSmallStep ? small_steps_ + 1 : 0;
  last_step_ = alpha;
  add_step(it_, step_, alpha);
}

void Ipm::finish(int iter, QpResult& out) {
  if ((out.status == QpResult::kFailed || out.status == QpResult::kIterationLimit) && !best_iterate_.v.empty()) {
    try {
      if (polish(best_iterate_)) out.status = QpResult::kOptimal;
    } catch (const WorkStopped&) {
      out.status = QpResult::kStopped;
    }
  }
  out.iterations = iter;
  out.x = std::move(best_.x);
  out.y = std::move(best_.y);
  out.check = best_.check;
}

// ---- steps and their parts --------------------------------------------------------------------

void Ipm::barrier_diagonal() {
  for (size_t j = 0; j < static_cast<size_t>(red_.N()); ++j)
    sigma_[j] = (has_l_[j] ? it_.zl[j] / it_.wl[j] : 0.0) + (has_u_[j] ? it_.zu[j] / it_.wu[j] : 0.0);
}

template <class Target>
void Ipm::set_targets(const Iterate& d, Target f) {
  if (nb_ == 0) return;  // (no products, and no vectors for them)
  for (size_t j = 0; j < static_cast<size_t>(red_.N()); ++j) {
    res_.target_l[j] = has_l_[j] ? f(it_.wl[j], it_.zl[j], d.wl[j], d.zl[j]) : 0.0;
    res_.target_u[j] = has_u_[j] ? f(it_.wu[j], it_.zu[j], d.wu[j], d.zu[j]) : 0.0;
  }
}

void Ipm::direction(Iterate& d, bool residuals, double accuracy) {
  const size_t N = static_cast<size_t>(red_.N()), M = static_cast<size_t>(red_.me);
  const Iterate& p = it_;
  const Residuals& r = res_;
  const double keep = residuals ? 1.0 : 0.0;
  for (size_t j = 0; j < N; ++j) {
    double s = -keep * r.dual[j];
    if (has_l_[j]) s += (r.target_l[j] - keep * p.zl[j] * r.lower[j]) / p.wl[j];
    if (has_u_[j]) s -= (r.target_u[j] - keep * p.zu[j] * r.upper[j]) / p.wu[j];
    rhs_[j] = s;
  }
  for (size_t i = 0; i < M; ++i) rhs_[N + i] = -keep * r.primal[i];
  kkt_solve(sigma_, rhs_, d.v, d.y, accuracy);
  for (size_t j = 0; j < N; ++j) {
    if (has_l_[j]) {
      d.wl[j] = d.v[j] + keep * r.lower[j];
      d.zl[j] = (r.target_l[j] - p.zl[j] * d.wl[j]) / p.wl[j];
    }
    if (has_u_[j]) {
      d.wu[j] = -d.v[j] + keep * r.upper[j];
      d.zu[j] = (r.target_u[j] - p.zu[j] * d.wu[j]) / p.wu[j];
    }
  }
}

double Ipm::longest_step(const Iterate& d) const {
  auto to_boundary = [&](const std::vector<double>& a, const std::vector<double>& da, const std::vector<char>& has) {
    double s = 1.0;
    for (size_t j = 0; j < a.size(); ++j)
      if (has[j] && da[j] < 0) s = std::min(s, -a[j] / da[j]);
    return s;
  };
  const double primal = std::min(to_boundary(it_.wl, d.wl, has_l_), to_boundary(it_.wu, d.wu, has_u_));
  const double dual = std::min(to_boundary(it_.zl, d.zl, has_l_), to_boundary(it_.zu, d.zu, has_u_));
  return std::min(primal, dual);
}

double Ipm::step_length(const Iterate& d) const { return std::min(1.0, kStepToBoundary * longest_step(d)); }

void Ipm::add_step(Iterate& to, const Iterate& d, double alpha) const {
  for (size_t j = 0; j < static_cast<size_t>(red_.N()); ++j) {
    to.v[j] += alpha * d.v[j];
    if (has_l_[j]) to.wl[j] += alpha * d.wl[j], to.zl[j] += alpha * d.zl[j];
    if (has_u_[j]) to.wu[j] += alpha * d.wu[j], to.zu[j] += alpha * d.zu[j];
  }
  for (size_t i = 0; i < static_cast<size_t>(red_.me); ++i) to.y[i] += alpha * d.y[i];
}

// ---- the scaled problem's products and the KKT system -----------------------------------------

void Ipm::q_times(const std::vector<double>& x, std::vector<double>& out) {
  out.assign(static_cast<size_t>(red_.N()), 0.0);
  add_symmetric_times(red_.q_start, red_.q_index, red_.q_value, x.data(), out.data());
  poll_.tick(static_cast<std::int64_t>(out.size() + red_.q_index.size()));
}

void Ipm::b_times(const std::vector<double>& x, std::vector<double>& out) {
  out.assign(static_cast<size_t>(red_.me), 0.0);
  for (size_t j = 0; j < static_cast<size_t>(red_.N()); ++j)
    for (int k = red_.b_start[j]; k < red_.b_start[j + 1]; ++k)
      out[static_cast<size_t>(red_.b_index[static_cast<size_t>(k)])] += red_.b_value[static_cast<size_t>(k)] * x[j];
  poll_.tick(static_cast<std::int64_t>(x.size() + red_.b_index.size()));
}

void Ipm::bt_times(const std::vector<double>& y, std::vector<double>& out) {
  const size_t N = static_cast<size_t>(red_.N());
  out.assign(N, 0.0);
  for (size_t j = 0; j < N; ++j) {
    double s = 0;
    for (int k = red_.b_start[j]; k < red_.b_start[j + 1]; ++k)
      s += red_.b_value[static_cast<size_t>(k)] * y[static_cast<size_t>(red_.b_index[static_cast<size_t>(k)])];
    out[j] = s;
  }
  poll_.tick(static_cast<std::int64_t>(N + red_.b_index.size()));
}

void Ipm::reduced_gradient(const std::vector<double>& v, const std::vector<double>& y, std::vector<double>& g) {
  q_times(v, qv_);
  bt_times(y, bty_);
  g.resize(qv_.size());
  for (size_t j = 0; j < g.size(); ++j) g[j] = qv_[j] + red_.q[j] - bty_[j];
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
    for (int j = 0; j < N; ++j) {
      for (int k = red_.b_start[static_cast<size_t>(j)]; k < red_.b_start[static_cast<size_t>(j) + 1]; ++k) {
        const int p = next[static_cast<size_t>(red_.b_index[static_cast<size_t>(k)])]++;
        row_col[static_cast<size_t>(p)] = j;
        row_val[static_cast<size_t>(p)] = red_.b_value[static_cast<size_t>(k)];
      }
      poll_.tick(1 + red_.b_start[static_cast<size_t>(j) + 1] - red_.b_start[static_cast<size_t>(j)]);
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
    poll_.tick(k_start_.back() - k_start_[k_start_.size() - 2]);
  }
  for (int i = 0; i < me; ++i) {
    for (int p = row_start[static_cast<size_t>(i)]; p < row_start[static_cast<size_t>(i) + 1]; ++p)
      add(row_col[static_cast<size_t>(p)], row_val[static_cast<size_t>(p)]);
    add(N + i, 0.0);
    k_diag_[static_cast<size_t>(N + i)] = slot[static_cast<size_t>(N + i)];
    k_sign_[static_cast<size_t>(N + i)] = -1;
    k_start_.push_back(static_cast<std::int64_t>(k_index_.size()));
    poll_.tick(k_start_.back() - k_start_[k_start_.size() - 2]);
  }
  k_value_.resize(k_base_.size());
}

bool Ipm::factorize(const std::vector<double>& sigma, double dual_diagonal) {
  const size_t N = static_cast<size_t>(red_.N()), me = static_cast<size_t>(red_.me), dim = N + me;
  k_value_ = k_base_;
  if (!fixed_.empty())
    for (size_t c = 0; c < dim; ++c)
      for (std::int64_t p = k_start_[c]; p < k_start_[c + 1]; ++p) {
        const size_t r = static_cast<size_t>(k_index_[static_cast<size_t>(p)]);
        if ((c < N && fixed_[c]) || (r < N && fixed_[r])) k_value_[static_cast<size_t>(p)] = 0.0;
      }
  for (size_t j = 0; j < N; ++j) {
    double& d = k_value_[static_cast<size_t>(k_diag_[j])];
    d = !fixed_.empty() && fixed_[j] ? 1.0 : d + (sigma[j] + reg_primal_);
  }
  for (size_t i = 0; i < me; ++i) k_value_[static_cast<size_t>(k_diag_[N + i])] = dual_diagonal;
  const auto result = ldl_.factorize(k_value_.data(), k_sign_.data(), kTinyPivot, kReplacedPivot, stop_fn());
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
  q_times(tmp_v_, qv_);
  bt_times(tmp_u_, bty_);
  b_times(tmp_v_, bv_);
  for (size_t j = 0; j < N; ++j) out[j] = qv_[j] + sigma[j] * tmp_v_[j] + bty_[j];
  for (size_t i = 0; i < me; ++i) out[N + i] = bv_[i];
  if (!fixed_.empty())
    for (size_t j = 0; j < N; ++j)
      if (fixed_[j]) out[j] = in[j];
}

void Ipm::kkt_solve(const std::vector<double>& sigma, const std::vector<double>& rhs, std::vector<double>& dv,
                    std::vector<double>& dy, double accuracy) {
  const size_t N = static_cast<size_t>(red_.N()), me = static_cast<size_t>(red_.me);
  std::vector<double> x = rhs;
  ldl_.solve(x.data(), &poll_);
  const std::vector<double> regularised = x;
  refine(sigma, rhs, accuracy, x);
  // On a singular matrix (a ray, dependent rows) the iterations can grow
  // the solution without bound while they shrink the residual: the
  // regularised solution is kept then.
  if (!(norm_inf(x) <= kMostGrowth * std::max(norm_inf(regularised), kTiny))) x = regularised;
  dv.assign(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(N));
  dy.resize(me);
  for (size_t i = 0; i < me; ++i) dy[i] = -x[N + i];
}

void Ipm::refine(const std::vector<double>& sigma, const std::vector<double>& b, double accuracy,
                 std::vector<double>& x) {
  // GMRES on the unregularised matrix, preconditioned (from the right) by
  // the factors of the regularised one: their difference, the
  // regularisation and any replaced pivot, is what the iterations remove.
  const size_t dim = b.size();
  std::vector<double>& r = krylov_.r;
  std::vector<double>& w = krylov_.w;
  r.resize(dim);
  w.resize(dim);
  // The basis grows as the cycles use it (most solves use a few vectors).
  krylov_.basis.resize(kKrylov + 1);
  krylov_.basis[0].resize(dim);
  const double target = accuracy * norm2(b);
  double previous = kNone;
  // Where a first cycle gains less than a factor 2, the regularisation is
  // not a small change of the matrix (columns without curvature and far
  // from their bounds): the other solves with these factors skip the
  // iterations, the IPM's steps being those of the regularised
  // (proximal) system. Polishing always iterates.
  const int cycles = refinement_useful_ || !fixed_.empty() ? kRefinementCycles : 0;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    poll_.tick(apply_work());
    kkt_apply(sigma, x.data(), w.data());
    for (size_t k = 0; k < dim; ++k) r[k] = b[k] - w[k];
    const double beta = norm2(r);
    if (cycle == 1 && !(beta < kCycleGain * previous) && fixed_.empty()) refinement_useful_ = false;
    // Done, or a whole cycle gained less than a factor 2.
    if (!(beta > target) || !std::isfinite(beta) || !(beta < kCycleGain * previous)) break;
    previous = beta;
    for (size_t k = 0; k < dim; ++k) krylov_.basis[0][k] = r[k] / beta;
    if (!gmres_cycle(sigma, beta, target, x)) break;
  }
}

bool Ipm::gmres_cycle(const std::vector<double>& sigma, double beta, double target, std::vector<double>& x) {
  std::vector<std::vector<double>>& V = krylov_.basis;
  std::vector<double>& r = krylov_.r;
  std::vector<double>& w = krylov_.w;
  const size_t dim = x.size();
  std::vector<double> H(static_cast<size_t>((kKrylov + 1) * kKrylov)), cs(kKrylov), sn(kKrylov), g(kKrylov + 1, 0.0);
  auto h = [&](int i, int k) -> double& { return H[static_cast<size_t>(k * (kKrylov + 1) + i)]; };
  g[0] = beta;
  int used = 0;
  // Arnoldi on K M^-1 (M the factors), its Hessenberg matrix reduced by
  // Givens rotations as it grows.
  for (int k = 0; k < kKrylov; ++k) {
    w = V[static_cast<size_t>(k)];
    ldl_.solve(w.data(), &poll_);
    poll_.tick(apply_work() + static_cast<std::int64_t>(k + 2) * static_cast<std::int64_t>(dim));
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
    V[static_cast<size_t>(k) + 1].resize(dim);
    for (size_t t = 0; t < dim; ++t) V[static_cast<size_t>(k) + 1][t] = r[t] / hn;
  }
  if (used == 0) return false;
  // The least squares solution in the basis, and x corrected by M^-1 of it.
  std::vector<double> yk(static_cast<size_t>(used), 0.0);
  for (int i = used - 1; i >= 0; --i) {
    double s = g[static_cast<size_t>(i)];
    for (int j = i + 1; j < used; ++j) s -= h(i, j) * yk[static_cast<size_t>(j)];
    yk[static_cast<size_t>(i)] = s / h(i, i);
  }
  std::fill(w.begin(), w.end(), 0.0);
  for (int i = 0; i < used; ++i)
    for (size_t t = 0; t < dim; ++t) w[t] += yk[static_cast<size_t>(i)] * V[static_cast<size_t>(i)][t];
  ldl_.solve(w.data(), &poll_);
  for (size_t t = 0; t < dim; ++t) x[t] += w[t];
  return !(std::fabs(g[static_cast<size_t>(used)]) <= target);
}

// ---- results: the best point and polishing ---------------------------------------------------

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
  // fixed_ holds for this solve only, however it ends (a stop throws).
  struct Release {
    std::vector<char>& fixed;
    ~Release() { fixed.clear(); }
  } release{fixed_};
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
  const std::vector<double> sigma(N, 0.0);
  if (!factorize(sigma, 0.0)) return false;
  // Right-hand side: the fixed values' contribution moves over.
  std::vector<double> qv, bv;
  q_times(value, qv);
  b_times(value, bv);
  for (size_t j = 0; j < N; ++j) rhs_[j] = fixed_[j] ? value[j] : -red_.q[j] - qv[j];
  for (size_t i = 0; i < me; ++i) rhs_[N + i] = red_.r[i] - bv[i];
  kkt_solve(sigma, rhs_, v, y);
  return true;
}

bool Ipm::polish(const Iterate& at) {
  const size_t N = static_cast<size_t>(red_.N());
  // The first active set: the bounds whose multiplier exceeds their
  // distance from the iterate (its slack variables can differ from that
  // distance by the primal residual, which the iterations may not remove).
  std::vector<signed char> side(N, 0);  // -1 lower, +1 upper
  for (size_t j = 0; j < N; ++j) {
    const double lower = finite_bound(red_.lo[j]) ? at.zl[j] / std::max(at.v[j] - red_.lo[j], kTiny) : 0.0;
    const double upper = finite_bound(red_.hi[j]) ? at.zu[j] / std::max(red_.hi[j] - at.v[j], kTiny) : 0.0;
    if (std::max(lower, upper) > kActiveRatio) side[j] = lower >= upper ? -1 : 1;
  }
  // Primal-dual active set passes: a bound whose multiplier comes out of
  // the wrong sign is released, a bound the point crosses is held, until
  // the set settles (the active-set point) or the passes run out.
  std::vector<double> v, y, qv, bty, x, yo;
  double previous = kNone;
  for (int pass = 0; pass < kPolishPasses && !run_.should_stop(); ++pass) {
    if (!solve_on_active_set(side, v, y)) return false;
    poll_.tick(2 * apply_work());  // (before the measure, unpolled)
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

}  // namespace

QpResult solve_qp_ipm(const QpData& qp, const QpTolerances& tol, RunControl& run, int max_iterations, bool verbose) {
  Ipm ipm(qp, tol, run, max_iterations, verbose);
  return ipm.solve();
}

}  // namespace velmor
