// The solver form of a model (SolverModel), the run clock, and the results
// every solver derives from its column values.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include <CoinFinite.hpp>

#include "solve/qp_data.hpp"
#include "solve/solve.hpp"

namespace velmor {

// ---- RunControl ----------------------------------------------------------------

RunControl::RunControl(const ParamValues& p, SolveLog& l)
    : params(p), log(l), start_(Clock::now()), max_time_(p.get(kMaxTime)) {}

double RunControl::elapsed() const {
  return std::chrono::duration<double>(Clock::now() - start_).count();
}

double RunControl::remaining() const {
  if (max_time_ >= VLM_INFINITY) return std::numeric_limits<double>::infinity();
  return std::max(0.0, max_time_ - elapsed());
}

bool RunControl::time_up() const { return max_time_ < VLM_INFINITY && elapsed() >= max_time_; }

void RunControl::stop(int reason) {
  int none = 0;
  stopped_by_.compare_exchange_strong(none, reason);
}

bool RunControl::should_stop() {
  if (stopped_by_.load() != 0) return true;
  if (time_up()) {
    stop(VLM_ERROR_ABORT_TIME_LIMIT);
    return true;
  }
  return false;
}

// ---- SolverModel -----------------------------------------------------------------

bool SolverModel::has_discrete() const {
  return !sos.empty() || std::any_of(is_int.begin(), is_int.end(), [](char c) { return c != 0; });
}

bool SolverModel::has_unbounded_column() const {
  std::vector<char> in_hessian(static_cast<size_t>(num_cols()), 0);
  for (int j = 0; j + 1 < static_cast<int>(h_start.size()); ++j)
    for (int k = h_start[static_cast<size_t>(j)]; k < h_start[static_cast<size_t>(j) + 1]; ++k)
      in_hessian[static_cast<size_t>(j)] = in_hessian[static_cast<size_t>(h_index[static_cast<size_t>(k)])] = 1;
  for (int j = 0; j < num_cols(); ++j) {
    const size_t k = static_cast<size_t>(j);
    if (col_start[k] != col_start[k + 1] || in_hessian[k]) continue;
    if ((obj[k] < 0 && col_ub[k] >= COIN_DBL_MAX) || (obj[k] > 0 && col_lb[k] <= -COIN_DBL_MAX)) return true;
  }
  return false;
}

bool SolverModel::impossible_row_side(int i) const {
  return row_lb[static_cast<size_t>(i)] >= COIN_DBL_MAX || row_ub[static_cast<size_t>(i)] <= -COIN_DBL_MAX;
}

bool SolverModel::impossible_col_side(int j) const {
  return col_lb[static_cast<size_t>(j)] >= COIN_DBL_MAX || col_ub[static_cast<size_t>(j)] <= -COIN_DBL_MAX;
}

bool SolverModel::has_impossible_side() const {
  for (int i = 0; i < num_rows(); ++i)
    if (impossible_row_side(i)) return true;
  for (int j = 0; j < num_cols(); ++j)
    if (impossible_col_side(j)) return true;
  return false;
}

bool SolverModel::has_empty_row_excluding_zero() const {
  constexpr double kTolerance = 1e-6;
  std::vector<char> touched(static_cast<size_t>(num_rows()), 0);
  for (size_t k = 0; k < value.size(); ++k)
    if (value[k] != 0.0) touched[static_cast<size_t>(row_index[k])] = 1;
  for (size_t i = 0; i < touched.size(); ++i)
    if (!touched[i] && (row_lb[i] > kTolerance || row_ub[i] < -kTolerance)) return true;
  return false;
}

bool objective_beyond_solvers(const SolverModel& sm, SolveLog& log) {
  constexpr double kLimit = 1e25;
  for (double c : sm.obj)
    if (std::fabs(c) >= kLimit) {
      log.linef("An objective coefficient of %.6g is beyond the solvers' range (below %g)", c, kLimit);
      return true;
    }
  return false;
}

namespace {

bool beyond_exact_integers(double v) { return std::fabs(v) > kExactIntegers && std::fabs(v) < COIN_DBL_MAX; }

}  // namespace

bool SolverModel::has_value_beyond(double limit) const {
  const auto beyond = [limit](double v) { return std::fabs(v) > limit && std::fabs(v) < COIN_DBL_MAX; };
  const int n = num_cols(), m = num_rows();
  for (int j = 0; j < n; ++j)
    if (beyond(col_lb[static_cast<size_t>(j)]) || beyond(col_ub[static_cast<size_t>(j)]))
      return true;
  // The rows, row by row; a side over a coefficient beyond the limit is a
  // value of that column when the row's other columns are 0.
  std::vector<std::vector<Entry>> rows(static_cast<size_t>(m));
  for (int j = 0; j < n; ++j)
    for (int e = col_start[static_cast<size_t>(j)]; e < col_start[static_cast<size_t>(j) + 1]; ++e) {
      const double a = value[static_cast<size_t>(e)];
      const size_t i = static_cast<size_t>(row_index[static_cast<size_t>(e)]);
      if (a == 0.0) continue;
      for (double side : {row_lb[i], row_ub[i]})
        if (std::fabs(side) < COIN_DBL_MAX && std::fabs(side) > limit * std::fabs(a)) return true;
      rows[i].push_back({j, a});
    }
  // The bounds the rows imply, a few passes over them (each pass gives valid
  // bounds, so stopping early only misses values): x >= 1e10 and y >= 1e7 x
  // put y at 1e17, though every number of the model is small.
  constexpr int kPasses = 20;
  std::vector<double> lo(col_lb), hi(col_ub);
  const auto infinite = [](double b) { return std::fabs(b) >= COIN_DBL_MAX; };
  for (int pass = 0; pass < kPasses; ++pass) {
    bool changed = false;
    for (int i = 0; i < m; ++i) {
      const double rlb = row_lb[static_cast<size_t>(i)], rub = row_ub[static_cast<size_t>(i)];
      if (infinite(rlb) && infinite(rub)) continue;
      const std::vector<Entry>& row = rows[static_cast<size_t>(i)];
      // Each column's least and greatest term; infinite terms are counted.
      const auto least = [&](const Entry& t) {
        const double b = t.value > 0 ? lo[static_cast<size_t>(t.index)] : hi[static_cast<size_t>(t.index)];
        return infinite(b) ? -HUGE_VAL : t.value * b;
      };
      const auto greatest = [&](const Entry& t) {
        const double b = t.value > 0 ? hi[static_cast<size_t>(t.index)] : lo[static_cast<size_t>(t.index)];
        return infinite(b) ? HUGE_VAL : t.value * b;
      };
      double min_sum = 0, max_sum = 0;
      int min_inf = 0, max_inf = 0;
      for (const Entry& t : row) {
        const double l = least(t), g = greatest(t);
        if (std::isfinite(l)) min_sum += l; else ++min_inf;
        if (std::isfinite(g)) max_sum += g; else ++max_inf;
      }
      for (const Entry& t : row) {
        const double l = least(t), g = greatest(t);
        const size_t j = static_cast<size_t>(t.index);
        // a x <= rub - (least of the others), a x >= rlb - (greatest of the others)
        double implied[2] = {NAN, NAN};  // from rub, from rlb
        if (!infinite(rub) && min_inf == (std::isfinite(l) ? 0 : 1))
          implied[0] = (rub - (min_sum - (std::isfinite(l) ? l : 0.0))) / t.value;
        if (!infinite(rlb) && max_inf == (std::isfinite(g) ? 0 : 1))
          implied[1] = (rlb - (max_sum - (std::isfinite(g) ? g : 0.0))) / t.value;
        for (int k = 0; k < 2; ++k) {
          const double b = implied[k];
          if (std::isnan(b)) continue;
          const bool upper = (k == 0) == (t.value > 0);
          const bool tighter = upper ? b < hi[j] : b > lo[j];
          if (std::fabs(b) > limit) {
            if (tighter) return true;  // (an overflow to infinity too)
            continue;
          }
          const double slack = 1e-9 * std::max(1.0, std::fabs(b));
          if (!tighter || std::fabs(b - (upper ? hi[j] : lo[j])) <= slack) continue;
          (upper ? hi[j] : lo[j]) = b;
          changed = true;
        }
      }
    }
    if (!changed) break;
  }
  return false;
}

bool SolverModel::has_value_beyond_probing() const { return has_value_beyond(kExactIntegers); }

bool SolverModel::has_unbounded_integer() const {
  for (int j = 0; j < num_cols(); ++j)
    if (is_int[static_cast<size_t>(j)] &&
        (col_lb[static_cast<size_t>(j)] <= -COIN_DBL_MAX || col_ub[static_cast<size_t>(j)] >= COIN_DBL_MAX))
      return true;
  return false;
}

bool SolverModel::has_infinite_bound() const {
  for (size_t j = 0; j < col_lb.size(); ++j)
    if (col_lb[j] <= -COIN_DBL_MAX || col_ub[j] >= COIN_DBL_MAX) return true;
  return false;
}

bool integer_bound_beyond_solvers(const SolverModel& sm, SolveLog& log) {
  for (int j = 0; j < sm.num_cols(); ++j) {
    const size_t k = static_cast<size_t>(j);
    if (!sm.is_int[k]) continue;
    for (double b : {sm.col_lb[k], sm.col_ub[k]})
      if (beyond_exact_integers(b)) {
        log.linef("An integer variable's bound of %.6g lies beyond 2^53, where not every integer is a double", b);
        return true;
      }
  }
  return false;
}

double SolverModel::min_objective(const double* x) const {
  return quadratic_objective(obj, h_start, h_index, h_value, x);
}

namespace {

// CBC checks a candidate solution by fixing each integer column at its
// value, then each SOS set's members: those in the set's window at their
// values (raising their lower bounds), the others at 0. It stops the process
// (an assertion) when a member it fixes at 0 has a lower bound above 0: a
// column that cannot be 0, an integer column fixed at 1, or a column another
// set fixed before (the literal both sides of an exact indicator "=" share).
// So such a member is in the set through a continuous copy of its own: a
// column in [0, infinity) (free for a member that may be negative) with the
// row copy - column = 0 (the row carries the column's bounds, so a change of
// them reaches the copy too).
void separate_sos_members(SolverModel& sm) {
  std::vector<char> taken(static_cast<size_t>(sm.num_cols()), 0);
  std::vector<std::pair<int, int>> copies;  // (column, its copy)
  for (SolverSos& s : sm.sos)
    for (int& c : s.members) {
      const size_t k = static_cast<size_t>(c);
      if (!sm.is_int[k] && !taken[k] && sm.col_lb[k] <= 0) {
        taken[k] = 1;
        continue;
      }
      const int copy = sm.num_cols();
      sm.col_lb.push_back(sm.col_lb[k] < 0 ? -COIN_DBL_MAX : 0.0);  // (a member that may be negative stays one)
      sm.col_ub.push_back(COIN_DBL_MAX);
      sm.obj.push_back(0.0);
      sm.is_int.push_back(0);
      copies.emplace_back(c, copy);
      c = copy;
    }
  if (copies.empty()) return;
  // The rows come last, so every column's entries stay sorted by row; the
  // copies are new columns at the end.
  const size_t ncols = static_cast<size_t>(sm.num_cols());
  std::vector<std::vector<Entry>> added(ncols);
  for (const auto& [column, copy] : copies) {
    const int row = sm.num_rows();
    sm.row_lb.push_back(0.0);
    sm.row_ub.push_back(0.0);
    added[static_cast<size_t>(column)].push_back({row, -1.0});
    added[static_cast<size_t>(copy)].push_back({row, 1.0});
  }
  std::vector<int> start(ncols + 1, 0), index;
  std::vector<double> value;
  index.reserve(sm.row_index.size() + 2 * copies.size());
  value.reserve(index.capacity());
  for (size_t j = 0; j < ncols; ++j) {
    if (j + 1 < sm.col_start.size())
      for (int e = sm.col_start[j]; e < sm.col_start[j + 1]; ++e) {
        index.push_back(sm.row_index[static_cast<size_t>(e)]);
        value.push_back(sm.value[static_cast<size_t>(e)]);
      }
    for (const Entry& e : added[j]) index.push_back(e.index), value.push_back(e.value);
    start[j + 1] = static_cast<int>(index.size());
  }
  sm.col_start.swap(start);
  sm.row_index.swap(index);
  sm.value.swap(value);
  if (!sm.h_start.empty()) sm.h_start.resize(ncols + 1, sm.h_start.back());
  sm.reformulated.push_back(std::to_string(copies.size()) + " columns and " + std::to_string(copies.size()) +
                            " rows added: continuous copies of SOS members that are integer or cannot be 0");
}

}  // namespace

namespace {

double solver_bound(double v) {
  if (v >= VLM_INFINITY) return COIN_DBL_MAX;
  if (v <= -VLM_INFINITY) return -COIN_DBL_MAX;
  return v;
}

}  // namespace

SolverModel build_solver_model(const ModelData& d, const ParamValues& params) {
  SolverModel sm;
  sm.sense = d.sense;
  sm.obj_const = d.obj_const;
  const int n = d.cols.size(), m = d.rows.size();
  sm.user_cols = n;
  sm.user_rows = m;
  const double sense = d.sense;

  sm.col_lb.resize(static_cast<size_t>(n));
  sm.col_ub.resize(static_cast<size_t>(n));
  sm.obj.resize(static_cast<size_t>(n));
  sm.is_int.assign(static_cast<size_t>(n), 0);
  for (int j = 0; j < n; ++j) {
    const size_t k = static_cast<size_t>(j);
    double lb = d.cols.lb[k], ub = d.cols.ub[k];
    const char t = d.cols.type[k];
    if (t == VLM_BINARY) {
      lb = std::max(lb, 0.0);
      ub = std::min(ub, 1.0);
    }
    sm.col_lb[k] = solver_bound(lb);
    sm.col_ub[k] = solver_bound(ub);
    sm.obj[k] = sense * d.cols.obj[k];
    sm.is_int[k] = t == VLM_BINARY || t == VLM_INTEGER ? 1 : 0;
  }

  sm.row_lb.resize(static_cast<size_t>(m));
  sm.row_ub.resize(static_cast<size_t>(m));
  for (int i = 0; i < m; ++i) {
    sm.row_lb[static_cast<size_t>(i)] = solver_bound(d.rows.lb[static_cast<size_t>(i)]);
    sm.row_ub[static_cast<size_t>(i)] = solver_bound(d.rows.ub[static_cast<size_t>(i)]);
  }

  // Rows to columns: a counting pass, then each row's entries in row order,
  // so every column lists its rows in increasing order. Zero coefficients
  // the model stores (a dense matrix's zeros, x - x) stay out: CBC's
  // preprocessing has called feasible models with them infeasible, and
  // CLP's primal simplex unbounded ones infeasible.
  sm.col_start.assign(static_cast<size_t>(n) + 1, 0);
  for (const SparseVector& row : d.rows.lin)
    for (const Entry& e : row)
      if (e.value != 0.0) ++sm.col_start[static_cast<size_t>(e.index) + 1];
  std::partial_sum(sm.col_start.begin(), sm.col_start.end(), sm.col_start.begin());
  const size_t nnz = static_cast<size_t>(sm.col_start.back());
  sm.row_index.resize(nnz);
  sm.value.resize(nnz);
  {
    std::vector<int> next(sm.col_start.begin(), sm.col_start.end() - 1);
    for (int i = 0; i < m; ++i)
      for (const Entry& e : d.rows.lin[static_cast<size_t>(i)]) {
        if (e.value == 0.0) continue;
        const size_t at = static_cast<size_t>(next[static_cast<size_t>(e.index)]++);
        sm.row_index[at] = i;
        sm.value[at] = e.value;
      }
  }

  // value * x_i * x_j (i <= j) is 1/2 x'Hx with H_ii = 2 value, H_ij = H_ji = value.
  if (!d.quad.empty()) {  // (the model keeps no zero quadratic term)
    sm.h_start.assign(static_cast<size_t>(n) + 1, 0);
    for (const auto& q : d.quad) ++sm.h_start[static_cast<size_t>(q.first.second) + 1];
    std::partial_sum(sm.h_start.begin(), sm.h_start.end(), sm.h_start.begin());
    sm.h_index.resize(d.quad.size());
    sm.h_value.resize(d.quad.size());
    std::vector<int> next(sm.h_start.begin(), sm.h_start.end() - 1);
    for (const auto& q : d.quad) {  // sorted by (i, j): rows increase within each column
      const int i = q.first.first, j = q.first.second;
      const size_t at = static_cast<size_t>(next[static_cast<size_t>(j)]++);
      sm.h_index[at] = i;
      sm.h_value[at] = sense * (i == j ? 2.0 * q.second : q.second);
    }
  }

  for (const Sos& s : d.sos) {
    if (s.members.empty()) continue;
    std::vector<size_t> order(s.members.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return s.weights[a] < s.weights[b]; });
    SolverSos out{s.type, {}, {}};
    for (size_t k : order) {
      out.members.push_back(s.members[k]);
      out.weights.push_back(s.weights[k]);
    }
    sm.sos.push_back(std::move(out));
  }

  reformulate_discrete(d, params.get(kMipLinearizationBigM), sm);
  separate_sos_members(sm);
  return sm;
}

void log_reformulation(const SolverModel& sm, SolveLog& log) {
  for (const std::string& line : sm.reformulated) log.line("Reformulated: " + line);
}

bool has_sos_member_beyond_cbc(const SolverModel& sm) {
  for (const SolverSos& s : sm.sos)
    for (int c : s.members)
      if (sm.col_lb[static_cast<size_t>(c)] < 0) return true;
  return false;
}


// ---- results ---------------------------------------------------------------------

double user_objective(const ModelData& d, const double* x) {
  double v = d.obj_const;
  const int n = d.cols.size();
  for (int j = 0; j < n; ++j) v += d.cols.obj[static_cast<size_t>(j)] * x[j];
  for (const auto& q : d.quad) v += q.second * x[q.first.first] * x[q.first.second];
  return v;
}

void set_primal(const ModelData& d, const double* solver_x, Solution& s) {
  const int n = d.cols.size(), m = d.rows.size();
  s.x.assign(solver_x, solver_x + n);
  s.row_activity.assign(static_cast<size_t>(m), 0.0);
  for (int i = 0; i < m; ++i) {
    double a = 0;
    for (const Entry& e : d.rows.lin[static_cast<size_t>(i)]) a += e.value * solver_x[e.index];
    s.row_activity[static_cast<size_t>(i)] = a;
  }
  s.primal_obj = user_objective(d, solver_x);
  s.has_primal = true;
}

}  // namespace velmor
