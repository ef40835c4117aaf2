// CLP's side of the solvers: loading a model, its parameters and run limits, the feasibility
// and direction LPs, and the tests of a point on the solver form.
#include "lp/clp_model.hpp"

#include <algorithm>
#include <cmath>
#include <memory>

#include <ClpDualRowDantzig.hpp>
#include <ClpDualRowSteepest.hpp>
#include <ClpLinearObjective.hpp>
#include <ClpPrimalColumnDantzig.hpp>
#include <ClpPrimalColumnSteepest.hpp>
#include <ClpSolve.hpp>
#include <CoinFinite.hpp>

#include "solve/point_check.hpp"

namespace velmor {

void drop_quadratic_objective(ClpSimplex& simplex) {
  ClpLinearObjective linear(simplex.objective(), simplex.numberColumns());
  simplex.setObjective(&linear);
}

void load_clp(const SolverModel& sm, ClpSimplex& simplex, bool with_objective) {
  const int n = sm.num_cols(), m = sm.num_rows();
  // CLP reads a null objective as zero.
  simplex.loadProblem(n, m, sm.col_start.data(), sm.row_index.data(), sm.value.data(), sm.col_lb.data(),
                      sm.col_ub.data(), with_objective ? sm.obj.data() : nullptr, sm.row_lb.data(),
                      sm.row_ub.data());
  if (with_objective && sm.has_quad())
    simplex.loadQuadraticObjective(n, sm.h_start.data(), sm.h_index.data(), sm.h_value.data());
  simplex.setOptimizationDirection(1.0);
}

void apply_simplex_params(const ParamValues& params, ClpSimplex& simplex) {
  simplex.setPrimalTolerance(params.get(kSpxPrimalTolerance));
  simplex.setDualTolerance(params.get(kSpxDualTolerance));
  simplex.setMaximumIterations(params.get_int(kSpxMaxIterations));
  // -1 leaves CLP's choice; 0 Dantzig, 1 partial, 2 devex, 3 steepest edge.
  switch (params.get_int(kSpxPrimalPricing)) {
    case 0: {
      ClpPrimalColumnDantzig p;
      simplex.setPrimalColumnPivotAlgorithm(p);
      break;
    }
    case 1: {
      ClpPrimalColumnSteepest p(4);
      simplex.setPrimalColumnPivotAlgorithm(p);
      break;
    }
    case 2: {
      ClpPrimalColumnSteepest p(0);
      simplex.setPrimalColumnPivotAlgorithm(p);
      break;
    }
    case 3: {
      ClpPrimalColumnSteepest p(1);
      simplex.setPrimalColumnPivotAlgorithm(p);
      break;
    }
    default: break;
  }
  switch (params.get_int(kSpxDualPricing)) {
    case 0: {
      ClpDualRowDantzig p;
      simplex.setDualRowPivotAlgorithm(p);
      break;
    }
    case 1: {
      ClpDualRowSteepest p(2);
      simplex.setDualRowPivotAlgorithm(p);
      break;
    }
    case 2: {
      ClpDualRowSteepest p(0);
      simplex.setDualRowPivotAlgorithm(p);
      break;
    }
    case 3: {
      ClpDualRowSteepest p(1);
      simplex.setDualRowPivotAlgorithm(p);
      break;
    }
    default: break;
  }
}

int ClpRunHandler::event(Event which) {
  RunControl& run = *state_->run;
  switch (which) {
    case presolveStart:
      state_->presolve_start = run.elapsed();
      return -1;
    case presolveBeforeSolve:
      if (state_->presolve_start >= 0) state_->presolve_end = run.elapsed();
      return -1;
    case endOfIteration:
      if (!model_) {  // the barrier's copy of the handler
        if (++state_->ipm_iters >= state_->ipm_limit) {
          run.stop(VLM_ERROR_ABORT_ITERATION_LIMIT);
          return 0;
        }
      }
      return run.should_stop() || state_->diverged ? 0 : -1;
    default:
      return -1;
  }
}

double GuardedQuadraticObjective::reducedGradient(ClpSimplex* model, double* region, bool use_feasible_costs) {
  QuadraticGuard& g = *guard_;
  if (model->numberIterations() != g.last_iterations) {
    g.last_iterations = model->numberIterations();
    g.idle_calls = 0;
  }
  ++g.idle_calls;
  // A stop takes effect only once the run has called here a few times
  // without an iteration: CLP's start-up calls here too and asserts that
  // nothing changed its status (the event handler stops iterating runs).
  if (g.idle_calls > QuadraticGuard::kStartupCalls && g.run && g.run->should_stop()) {
    model->setProblemStatus(5);
  } else if (g.idle_calls > QuadraticGuard::kIdleCalls) {
    g.tripped = true;
    model->setProblemStatus(3);
  }
  return ClpQuadraticObjective::reducedGradient(model, region, use_feasible_costs);
}

ClpObjective* GuardedQuadraticObjective::subsetClone(int number_columns, const int* which_columns) const {
  std::unique_ptr<ClpObjective> plain(ClpQuadraticObjective::subsetClone(number_columns, which_columns));
  return new GuardedQuadraticObjective(static_cast<const ClpQuadraticObjective&>(*plain), guard_);
}

void guard_quadratic_objective(ClpSimplex& simplex, QuadraticGuard* guard) {
  auto* quadratic = dynamic_cast<ClpQuadraticObjective*>(simplex.objectiveAsObject());
  if (!quadratic) return;
  GuardedQuadraticObjective guarded(*quadratic, guard);
  simplex.setObjective(&guarded);
}

namespace {

// A pair of finite bounds, or of row sides, with the lower one above the
// upper beyond the tolerance is a contradiction of its own.
bool crossed(double lb, double ub, double tol) {
  return lb > -COIN_DBL_MAX && ub < COIN_DBL_MAX && lb - ub > tol * std::max({1.0, std::fabs(lb), std::fabs(ub)});
}

}  // namespace

bool has_long_line(const SolverModel& sm) {
  const std::int64_t n = sm.num_cols(), m = sm.num_rows();
  std::vector<std::int64_t> row_length(static_cast<size_t>(m), 0);
  for (std::int64_t j = 0; j < n; ++j) {
    const std::int64_t begin = sm.col_start[static_cast<size_t>(j)], end = sm.col_start[static_cast<size_t>(j) + 1];
    if (end - begin > kLongLine) return true;
    for (std::int64_t k = begin; k < end; ++k)
      if (++row_length[static_cast<size_t>(sm.row_index[static_cast<size_t>(k)])] > kLongLine) return true;
  }
  return false;
}

int has_feasible_point(const SolverModel& sm, RunControl& run) {
  constexpr double kTolerance = 1e-6;
  const int n = sm.num_cols(), m = sm.num_rows();
  for (int j = 0; j < n; ++j)
    if (crossed(sm.col_lb[static_cast<size_t>(j)], sm.col_ub[static_cast<size_t>(j)], kTolerance)) return 0;
  for (int i = 0; i < m; ++i)
    if (crossed(sm.row_lb[static_cast<size_t>(i)], sm.row_ub[static_cast<size_t>(i)], kTolerance)) return 0;
  ClpSimplex simplex;
  simplex.setLogLevel(0);
  load_clp(sm, simplex, false);
  // The elastic columns: +1 in a row with a lower side, -1 with an upper side.
  std::vector<CoinBigIndex> start(1, 0);
  std::vector<int> index;
  std::vector<double> value;
  auto add = [&](int row, double a) {
    index.push_back(row);
    value.push_back(a);
    start.push_back(static_cast<CoinBigIndex>(index.size()));
  };
  for (int i = 0; i < m; ++i) {
    if (sm.row_lb[static_cast<size_t>(i)] > -COIN_DBL_MAX) add(i, 1.0);
    if (sm.row_ub[static_cast<size_t>(i)] < COIN_DBL_MAX) add(i, -1.0);
  }
  const int elastic = static_cast<int>(index.size());
  const std::vector<double> lower(index.size(), 0.0), upper(index.size(), COIN_DBL_MAX), cost(index.size(), 1.0);
  simplex.addColumns(elastic, lower.data(), upper.data(), cost.data(), start.data(), index.data(), value.data());
  if (run.remaining() < COIN_DBL_MAX) simplex.setMaximumWallSeconds(run.remaining());
  ClpRunState state{&run};
  ClpRunHandler handler(&state);
  simplex.passInEventHandler(&handler);
  ClpSolve options;
  options.setSpecialOption(2, 1);  // no SIGINT handler
  options.setSolveType(ClpSolve::usePrimal);
  options.setPresolveType(has_long_line(sm) ? ClpSolve::presolveOff : ClpSolve::presolveOn);
  simplex.initialSolve(options);
  // Whatever CLP's status, only the evidence counts.
  if (is_feasible(sm, simplex.primalColumnSolution(), kTolerance, false, 0)) return 1;
  const double* y = simplex.dualRowSolution();
  if (is_infeasibility_certificate(QpData::from_model(sm), std::vector<double>(y, y + m))) return 0;
  return -1;
}

int improving_direction(const SolverModel& sm, RunControl& run) {
  ModelData dir;
  const int n = sm.num_cols(), m = sm.num_rows();
  const auto infinite = [](double v) { return std::fabs(v) >= COIN_DBL_MAX; };
  for (int j = 0; j < n; ++j) {
    const size_t k = static_cast<size_t>(j);
    dir.cols.lb.push_back(infinite(sm.col_lb[k]) ? -1.0 : 0.0);
    dir.cols.ub.push_back(infinite(sm.col_ub[k]) ? 1.0 : 0.0);
    dir.cols.obj.push_back(sm.obj[k]);
    dir.cols.type.push_back(VLM_CONTINUOUS);
  }
  dir.rows.lin.resize(static_cast<size_t>(m));
  for (int j = 0; j < n; ++j)
    for (int e = sm.col_start[static_cast<size_t>(j)]; e < sm.col_start[static_cast<size_t>(j) + 1]; ++e)
      dir.rows.lin[static_cast<size_t>(sm.row_index[static_cast<size_t>(e)])].push_back({j, sm.value[static_cast<size_t>(e)]});
  for (int i = 0; i < m; ++i) {
    const size_t k = static_cast<size_t>(i);
    dir.rows.lb.push_back(infinite(sm.row_lb[k]) ? -VLM_INFINITY : 0.0);
    dir.rows.ub.push_back(infinite(sm.row_ub[k]) ? VLM_INFINITY : 0.0);
    dir.rows.psd.emplace_back();
    dir.rows.is_psd.push_back(0);
  }
  const SolverModel dsm = build_solver_model(dir, run.params);
  const RunOutcome lp = solve_with_clp(dir, dsm, run);
  if (lp.code != VLM_OKAY || lp.solution.status != VLM_STATUS_OPTIMAL) return -1;
  const std::vector<double>& d = lp.solution.x;
  SolverModel linear = sm;
  linear.h_start.clear();
  linear.h_index.clear();
  linear.h_value.clear();
  if (is_unbounded_direction(QpData::from_model(linear), d)) return 1;
  return lp.solution.primal_obj > -1e-9 ? 0 : -1;
}

int basis_code(ClpSimplex::Status status) {
  switch (status) {
    case ClpSimplex::basic: return VLM_BASIS_BASIC;
    case ClpSimplex::atLowerBound: return VLM_BASIS_LOWER;
    case ClpSimplex::atUpperBound: return VLM_BASIS_UPPER;
    case ClpSimplex::isFixed: return VLM_BASIS_FIXED;
    default: return VLM_BASIS_SUPERBASIC;  // free or superbasic
  }
}

namespace {

// The CLP status of a basis code for a column or row within [lb, ub]: a
// nonbasic one at its upper bound when the code says so and that bound is
// finite, else at its lower bound when that one is, else free.
ClpSimplex::Status clp_status(int code, double lb, double ub) {
  const bool lower = lb > -COIN_DBL_MAX, upper = ub < COIN_DBL_MAX;
  if (code == VLM_BASIS_BASIC) return ClpSimplex::basic;
  if (upper && (code == VLM_BASIS_UPPER || !lower)) return ClpSimplex::atUpperBound;
  return lower ? ClpSimplex::atLowerBound : ClpSimplex::isFree;
}

}  // namespace

void set_start_basis(const SolverModel& sm, const StartBasis& basis, ClpSimplex& simplex) {
  simplex.createStatus();
  for (int j = 0; j < sm.num_cols(); ++j) {
    const size_t k = static_cast<size_t>(j);
    simplex.setColumnStatus(j, clp_status(basis.cols[k], sm.col_lb[k], sm.col_ub[k]));
  }
  for (int i = 0; i < sm.num_rows(); ++i) {
    const size_t k = static_cast<size_t>(i);
    simplex.setRowStatus(i, clp_status(basis.rows[k], sm.row_lb[k], sm.row_ub[k]));
  }
}

namespace {

bool within(double v, double lb, double ub, double tol) {
  if (lb > -COIN_DBL_MAX && v < lb - tol * std::max(1.0, std::fabs(lb))) return false;
  if (ub < COIN_DBL_MAX && v > ub + tol * std::max(1.0, std::fabs(ub))) return false;
  return true;
}

std::vector<double> activities(const SolverModel& sm, const double* x) {
  std::vector<double> a(static_cast<size_t>(sm.num_rows()), 0.0);
  for (int j = 0; j < sm.num_cols(); ++j) {
    if (x[j] == 0) continue;
    for (int k = sm.col_start[static_cast<size_t>(j)]; k < sm.col_start[static_cast<size_t>(j) + 1]; ++k)
      a[static_cast<size_t>(sm.row_index[static_cast<size_t>(k)])] += sm.value[static_cast<size_t>(k)] * x[j];
  }
  return a;
}

}  // namespace

bool is_feasible(const SolverModel& sm, const double* x, double tol, bool integral, double int_tol) {
  for (int j = 0; j < sm.num_cols(); ++j) {
    const size_t k = static_cast<size_t>(j);
    if (!std::isfinite(x[j]) || !within(x[j], sm.col_lb[k], sm.col_ub[k], tol)) return false;
    if (integral && sm.is_int[k] && std::fabs(x[j] - std::round(x[j])) > int_tol) return false;
  }
  const std::vector<double> a = activities(sm, x);
  for (int i = 0; i < sm.num_rows(); ++i) {
    const size_t k = static_cast<size_t>(i);
    if (!within(a[k], sm.row_lb[k], sm.row_ub[k], tol)) return false;
  }
  if (integral) {
    for (const SolverSos& s : sm.sos) {
      int first = -1, last = -1;
      for (size_t k = 0; k < s.members.size(); ++k)
        if (std::fabs(x[s.members[k]]) > int_tol) {
          if (first < 0) first = static_cast<int>(k);
          last = static_cast<int>(k);
        }
      if (first >= 0 && last - first + 1 > s.type) return false;
    }
  }
  return true;
}

double min_dual_objective(const SolverModel& sm, const double* x, const double* y, const double* d) {
  auto infinite = [](double bound) { return !(std::fabs(bound) < COIN_DBL_MAX); };
  // The activities only where a row multiplier prices an infinite side (the
  // rows of a large model are otherwise not multiplied out again).
  bool at_infinity = false;
  for (int i = 0; i < sm.num_rows() && !at_infinity; ++i) {
    const size_t k = static_cast<size_t>(i);
    at_infinity = (y[i] > 0 && infinite(sm.row_lb[k])) || (y[i] < 0 && infinite(sm.row_ub[k]));
  }
  const std::vector<double> a = at_infinity ? activities(sm, x) : std::vector<double>();
  double v = 0;
  auto priced = [&](double mult, double lb, double ub, double at) {
    const double bound = mult > 0 ? lb : ub;
    return mult * (infinite(bound) ? at : bound);
  };
  for (int i = 0; i < sm.num_rows(); ++i) {
    const size_t k = static_cast<size_t>(i);
    if (y[i] != 0) v += priced(y[i], sm.row_lb[k], sm.row_ub[k], at_infinity ? a[k] : 0.0);
  }
  for (int j = 0; j < sm.num_cols(); ++j) {
    const size_t k = static_cast<size_t>(j);
    if (d[j] != 0) v += priced(d[j], sm.col_lb[k], sm.col_ub[k], x[j]);
  }
  for (int j = 0; j + 1 < static_cast<int>(sm.h_start.size()); ++j)
    for (int k = sm.h_start[static_cast<size_t>(j)]; k < sm.h_start[static_cast<size_t>(j) + 1]; ++k) {
      const int i = sm.h_index[static_cast<size_t>(k)];
      const double h = sm.h_value[static_cast<size_t>(k)];
      v -= (i == j ? 0.5 : 1.0) * h * x[i] * x[j];
    }
  return v;
}

}  // namespace velmor
