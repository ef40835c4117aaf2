// Linear models without integers, solved by CLP. (Quadratic objectives go
// to qp_solver.cpp.)
//
// Method: -1 lets the library choose (dual simplex), 0 primal simplex, 1
// dual simplex, 2 barrier (with crossover to a basic solution unless
// SolutionTarget is 1). A model with a row or a column of more than
// kLongLine entries goes to the interior point method of qp_ipm.hpp
// instead for Method -1 and 2, and is solved without CLP's presolve by the
// simplex methods.
//
// CLP's verdicts are checked on the model as given. An optimum must keep
// clear of the stand-in bounds CLP puts on infinite ones, meet the rows and
// bounds and, unless it is a barrier point without crossover, have
// multipliers that fit it (optimum_measure); one that fails is solved again
// by the other simplex method, and when the new optimum fails too, cleaned
// up from its basis without scaling (clean_up); one that fails even then
// is SUB_OPTIMAL with the best point met that meets the rows and bounds, or
// gives no verdict (UNKNOWN) without one. A primal simplex or barrier that
// fails, or a barrier whose objective runs off, is solved again by dual
// simplex. Unboundedness stands once a point meets the model as given.
// Infeasibility stands on a Farkas certificate: CLP's ray, or else the
// elastic problem of has_feasible_point, which may find a point instead
// (the model is then solved again by primal simplex).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <ClpSimplex.hpp>
#include <ClpSolve.hpp>
#include <CoinFinite.hpp>

#include "lp/clp_model.hpp"
#include "solve/point_check.hpp"

namespace velmor {

namespace {

struct RaySink {
  double* p;
  ~RaySink() { delete[] p; }
};

// Method as run, for the log and the statistics.
enum class Algorithm { Primal, Dual, Barrier, BarrierNoCrossover };

const char* algorithm_name(Algorithm a) {
  switch (a) {
    case Algorithm::Primal: return "primal simplex";
    case Algorithm::Dual: return "dual simplex";
    case Algorithm::Barrier: return "barrier with crossover";
    default: return "barrier";
  }
}

Algorithm choose_algorithm(const ParamValues& p) {
  switch (p.get_int(kMethod)) {
    case 0: return Algorithm::Primal;
    case 2: return p.get_int(kSolutionTarget) == 1 ? Algorithm::BarrierNoCrossover : Algorithm::Barrier;
    default: return Algorithm::Dual;
  }
}

ClpSolve solve_options(const SolverModel& sm, Algorithm algorithm, const ParamValues& p, bool long_lines) {
  ClpSolve options;
  options.setSpecialOption(2, 1);  // no SIGINT handler: Ctrl-C belongs to the host program
  const bool crash = p.get_int(kSpxCrashStart) == 1;
  switch (algorithm) {
    case Algorithm::Dual:
      options.setSolveType(ClpSolve::useDual);
      if (crash) options.setSpecialOption(0, 1);
      break;
    case Algorithm::Primal:
      if (p.get_int(kSpxColumnGeneration) == 1 && !sm.has_quad()) {
        options.setSolveType(ClpSolve::usePrimalorSprint);
        options.setSpecialOption(1, 3);  // sprint: solve on growing column subsets
      } else {
        options.setSolveType(ClpSolve::usePrimal);
        if (crash) options.setSpecialOption(1, 1);
      }
      break;
    case Algorithm::Barrier: options.setSolveType(ClpSolve::useBarrier); break;
    case Algorithm::BarrierNoCrossover: options.setSolveType(ClpSolve::useBarrierNoCross); break;
  }
  options.setPresolveType(p.get_int(kPresolve) == 0 || long_lines ? ClpSolve::presolveOff : ClpSolve::presolveOn);
  if (p.get_int(kMipAllowDualPresolve) == 0) options.setDoDual(false);
  return options;
}

// Runs initialSolve, keeping a dual simplex run to the dual. Unless told that
// the dual was asked for (more special option 8192), CLP's dual simplex
// started by initialSolve may hand the model over to its primal simplex when
// it judges the primal better suited. CLP's own automatic choice of the dual
// sets the option, and so does a run here that asked for the dual: on larger
// LPs the hand-over took 1.3 to 1.9 times the iterations (greenbea, 80bau3b,
// d2q06c of the netlib set).
void initial_solve(ClpSimplex& simplex, ClpSolve& options) {
  constexpr int kDualOnly = 8192;
  const int more = simplex.moreSpecialOptions() & ~kDualOnly;
  simplex.setMoreSpecialOptions(options.getSolveType() == ClpSolve::useDual ? more | kDualOnly : more);
  simplex.initialSolve(options);
}

// Whether x puts a column with an infinite bound far out on that side.
bool beyond_stand_in_bounds(const SolverModel& sm, const double* x) {
  for (int j = 0; j < sm.num_cols(); ++j) {
    const size_t k = static_cast<size_t>(j);
    if ((sm.col_ub[k] >= COIN_DBL_MAX && x[j] > 1e10) || (sm.col_lb[k] <= -COIN_DBL_MAX && x[j] < -1e10)) return true;
  }
  return false;
}

bool is_barrier(Algorithm a) { return a == Algorithm::Barrier || a == Algorithm::BarrierNoCrossover; }

// CLP stopped on errors (not on a limit, the run's stop or a verdict).
bool failed(const ClpSimplex& simplex) {
  const int status = simplex.status();
  return status != 0 && status != 1 && status != 2 && status != 3 && status != 5;
}

constexpr double kOptimumCheck = 1e-6;

// CLP's optimum measured on the model as given (optimum_measure).
struct OptimumMeasure {
  bool stand_in = false;  // a column with an infinite bound lies beyond 1e10 on that side
  bool interior = false;  // a barrier point without crossover: rows and bounds alone count
  bool feasible = false;  // meets the rows and bounds (is_feasible, for an interior point)
  QpCheck c;              // check_qp_point of the point and CLP's row multipliers
  bool holds() const {
    if (stand_in) return false;
    if (interior) return feasible;
    return c.primal <= kOptimumCheck && c.dual <= kOptimumCheck && c.gap <= kOptimumCheck;
  }
};

// Whether CLP's optimum holds on the model as given: no column with an
// infinite bound lies far out on that side, where the stand-in bounds of
// CLP's barrier and dual simplex lie (both have called unbounded models
// optimal there), and, unless `interior` (a barrier point without
// crossover), the point meets the rows and bounds and the multipliers price
// only finite sides and only sides the point meets, each to kOptimumCheck in
// the measures of check_qp_point (CLP's primal simplex has called an
// unbounded model optimal at a point where a column with an infinite bound
// had a reduced cost of the wrong sign).
OptimumMeasure optimum_measure(const SolverModel& sm, const QpData& qp, const ClpSimplex& simplex, bool interior) {
  OptimumMeasure m;
  const double* x = simplex.primalColumnSolution();
  m.stand_in = beyond_stand_in_bounds(sm, x);
  m.interior = interior;
  m.c = check_qp_point(qp, x, simplex.dualRowSolution());
  m.feasible = interior ? is_feasible(sm, x, kOptimumCheck, false, 0) : m.c.primal <= kOptimumCheck;
  return m;
}

// What failed, for the log.
std::string failed_measures(const OptimumMeasure& m) {
  char text[160];
  if (m.stand_in) return "a column with an infinite bound lies at CLP's stand-in bound";
  if (m.interior) return "the point breaks a row or a bound";
  std::snprintf(text, sizeof text, "primal %.2g, dual %.2g, gap %.2g", m.c.primal, m.c.dual, m.c.gap);
  return text;
}

// The size of objective the barrier's iterates may reach on this model
// before the run counts as diverged: far beyond any objective a point of
// the model's scale gives, and never beyond 1e15 (CLP's barrier has ended
// the process in a failed assertion on a two-column unbounded model whose
// objective had reached 1.3e14).
double divergence_limit(const SolverModel& sm) {
  double c = 0, b = 1;
  for (double v : sm.obj) c = std::max(c, std::fabs(v));
  for (const auto* side : {&sm.col_lb, &sm.col_ub, &sm.row_lb, &sm.row_ub})
    for (double v : *side)
      if (std::fabs(v) < COIN_DBL_MAX) b = std::max(b, std::fabs(v));
  const double size = static_cast<double>(sm.num_cols()) + static_cast<double>(sm.num_rows());
  return std::min(1e15, 1e6 * size * (1 + c * b));
}

// The run's log, which also watches the barrier's iterations: on a model
// without optimum CLP's barrier lets its objectives run off, and has been
// seen to end the process in a failed assertion once they did. A primal or
// dual objective beyond `limit` (divergence_limit) marks the run diverged,
// which the event handler stops.
class LpMessageHandler : public LogMessageHandler {
 public:
  LpMessageHandler(SolveLog& log, ClpRunState* state, double limit)
      : LogMessageHandler(log, 1), state_(state), limit_(limit) {}
  int print() override {
    constexpr int kBarrierIteration = 35;  // CLP_BARRIER_ITERATION: iteration, primal, dual, ...
    if (currentMessage().externalNumber() == kBarrierIteration && currentSource() == "Clp" &&
        numberDoubleFields() >= 2 && (std::fabs(doubleValue(0)) > limit_ || std::fabs(doubleValue(1)) > limit_))
      state_->diverged = true;
    return LogMessageHandler::print();
  }
  CoinMessageHandler* clone() const override { return new LpMessageHandler(*this); }

 private:
  ClpRunState* state_;
  double limit_;
};

// Whether CLP's infeasibility ray proves the model infeasible. The ray
// holds row multipliers of the opposite sign to the certificate's (whose
// positive entries price lower sides).
bool ray_proves_infeasibility(const QpData& qp, const ClpSimplex& simplex) {
  RaySink ray{simplex.infeasibilityRay()};
  if (!ray.p) return false;
  std::vector<double> y(static_cast<size_t>(qp.m));
  for (size_t i = 0; i < y.size(); ++i) y[i] = -ray.p[i];
  return is_infeasibility_certificate(qp, y);
}

// An optimum that failed its check: its point, multipliers and measures.
struct UnconfirmedPoint {
  std::vector<double> x, y;
  QpCheck c;
};

// Keeps the point of `simplex` when it meets the rows and bounds better
// than the one kept (a point at CLP's stand-in bounds is never kept).
void keep_better(std::optional<UnconfirmedPoint>& kept, const SolverModel& sm, const ClpSimplex& simplex,
                 const OptimumMeasure& m) {
  if (m.stand_in || (kept && kept->c.primal <= m.c.primal)) return;
  const double* x = simplex.primalColumnSolution();
  const double* y = simplex.dualRowSolution();
  kept = UnconfirmedPoint{std::vector<double>(x, x + sm.num_cols()), std::vector<double>(y, y + sm.num_rows()), m.c};
}

// Cleans up an optimum that failed its check twice: from CLP's basis, without
// presolve and without scaling, at a tenth of the check's tolerance. CLP
// applies its tolerances to the scaled model, so that a column scaled by s
// may break its bound by s times the primal tolerance on the model as
// given (perold of the netlib set: 1.5e-5 at SPX/PrimalTolerance 1e-6, in
// both simplex methods). The dual simplex takes a point that breaks only
// rows or bounds, the primal simplex any other.
void clean_up(ClpSimplex& simplex, const OptimumMeasure& m, const ParamValues& p, RunControl& run) {
  constexpr double kCleanTolerance = kOptimumCheck / 10;
  const bool dual = !m.stand_in && (m.interior || (m.c.primal > kOptimumCheck && m.c.dual <= kOptimumCheck &&
                                                   m.c.gap <= kOptimumCheck));
  simplex.scaling(0);
  simplex.setPrimalTolerance(std::min(p.get(kSpxPrimalTolerance), kCleanTolerance));
  simplex.setDualTolerance(std::min(p.get(kSpxDualTolerance), kCleanTolerance));
  if (run.remaining() < COIN_DBL_MAX) simplex.setMaximumWallSeconds(run.remaining());
  if (dual)
    simplex.dual();
  else
    simplex.primal();
  // Each CLP run counts its own iterations.
  run.log.linef("Cleanup by %s simplex: %d iterations", dual ? "dual" : "primal", simplex.numberIterations());
}

}  // namespace

RunOutcome solve_with_clp(const ModelData& data, const SolverModel& sm, RunControl& run) {
  const ParamValues& p = run.params;
  // On rows or columns of more than kLongLine entries, CLP's presolve and
  // factorisation take time that grows with the square of their length
  // between two polls of the run's limits, and its barrier's normal
  // equations hold a dense block for each long column: the library's own
  // interior point method (its augmented system keeps such lines last in
  // the order) solves the model unless a simplex method was asked for,
  // which then runs without CLP's presolve.
  const bool long_lines = has_long_line(sm);
  if (long_lines && p.get_int(kMethod) != 0 && p.get_int(kMethod) != 1) {
    run.log.linef("Rows or columns of more than %lld entries: solving by the interior point method",
                  static_cast<long long>(kLongLine));
    return solve_qp(data, sm, run);
  }
  RunOutcome out;
  const Algorithm algorithm = choose_algorithm(p);
  run.log.linef("Solving LP with CLP (%s)", algorithm_name(algorithm));
  if (long_lines && p.get_int(kPresolve) != 0)
    run.log.linef("Rows or columns of more than %lld entries: without CLP's presolve",
                  static_cast<long long>(kLongLine));

  ClpRunState state{&run, p.get_int(kIpmMaxIterations)};
  LpMessageHandler messages(run.log, &state, divergence_limit(sm));
  // The model as the checks read it, made when the first check needs it.
  std::optional<QpData> qp_data;
  auto qp = [&]() -> const QpData& {
    if (!qp_data) qp_data = QpData::from_model(sm);
    return *qp_data;
  };
  ClpSimplex simplex;
  simplex.passInMessageHandler(&messages);
  load_clp(sm, simplex);
  apply_simplex_params(p, simplex);
  if (is_barrier(algorithm)) {
    // CLP hands the model's tolerances to its barrier; the crossover that
    // follows works to the same ones.
    simplex.setPrimalTolerance(p.get(kIpmPrimalTolerance));
    simplex.setDualTolerance(p.get(kIpmDualTolerance));
  }
  if (run.remaining() < COIN_DBL_MAX) simplex.setMaximumWallSeconds(run.remaining());
  ClpRunHandler handler(&state);
  simplex.passInEventHandler(&handler);

  const double t0 = run.elapsed();
  ClpSolve options = solve_options(sm, algorithm, p, long_lines);
  initial_solve(simplex, options);
  Algorithm ran = algorithm;
  bool checked = false;  // CLP's optimum holds on the model as given
  auto solve_again = [&](Algorithm again, const std::string& why) {
    run.log.linef("%s: solving again by %s", why.c_str(), algorithm_name(again));
    state.diverged = false;
    checked = false;
    load_clp(sm, simplex);
    apply_simplex_params(p, simplex);
    if (run.remaining() < COIN_DBL_MAX) simplex.setMaximumWallSeconds(run.remaining());
    ClpSolve o = solve_options(sm, again, p, long_lines);
    if (again == Algorithm::Primal) o.setPresolveType(ClpSolve::presolveOff);
    initial_solve(simplex, o);
    ran = again;
  };
  if (state.diverged && !run.stopped_by()) {
    solve_again(Algorithm::Dual, "The barrier's objective runs off without bound");
  } else if (algorithm != Algorithm::Dual && failed(simplex) && !run.stopped_by()) {
    solve_again(Algorithm::Dual, is_barrier(algorithm) ? "The barrier failed" : "The primal simplex failed");
  }
  if (simplex.status() == 0) {
    const OptimumMeasure first = optimum_measure(sm, qp(), simplex, ran == Algorithm::BarrierNoCrossover);
    checked = first.holds();
    if (!checked)
      solve_again(ran == Algorithm::Dual ? Algorithm::Primal : Algorithm::Dual,
                  "CLP's optimum fails the check on the model as given (" + failed_measures(first) + ")");
  }
  // CLP's dual simplex may call a feasible but unbounded model infeasible
  // (with infinite bounds it has been seen to stop at once so): an
  // infeasibility stands when CLP's ray is a Farkas certificate on the model
  // as given, or else when has_feasible_point proves it; a point found
  // instead has the model solved again by primal simplex.
  int feasible = -2;  // -2 not asked, 0 proved infeasible, else has_feasible_point's answer
  if (simplex.status() == 1) {
    if (ray_proves_infeasibility(qp(), simplex)) {
      feasible = 0;
    } else {
      run.log.line("CLP's infeasibility ray is no certificate: deciding feasibility on the elastic problem");
      feasible = has_feasible_point(sm, run);
    }
    if (feasible == 1) solve_again(Algorithm::Primal, "The model is feasible after all");
  } else if (failed(simplex) && !run.stopped_by()) {
    // Both simplex methods may give up on an infeasible model.
    feasible = has_feasible_point(sm, run);
  }
  // An optimum found again after a check failed must pass the check too.
  // One that fails again is cleaned up (clean_up); the best point that
  // failed is kept for an answer short of optimal.
  std::optional<UnconfirmedPoint> unconfirmed;
  int solved_iterations = -1;  // the iterations of the run cleaned up, -1 without a cleanup
  if (simplex.status() == 0 && !checked) {
    const bool interior = ran == Algorithm::BarrierNoCrossover;
    OptimumMeasure again = optimum_measure(sm, qp(), simplex, interior);
    checked = again.holds();
    if (!checked) {
      keep_better(unconfirmed, sm, simplex, again);
      run.log.linef("CLP's optimum fails the check on the model as given again (%s): cleaning it up from its basis",
                    failed_measures(again).c_str());
      solved_iterations = simplex.numberIterations();
      clean_up(simplex, again, p, run);
      if (simplex.status() == 0) {
        const OptimumMeasure cleaned = optimum_measure(sm, qp(), simplex, false);
        checked = cleaned.holds();
        if (!checked) {
          keep_better(unconfirmed, sm, simplex, cleaned);
          run.log.linef("The cleaned-up optimum fails the check too (%s)", failed_measures(cleaned).c_str());
        }
      }
    }
  }
  const double t1 = run.elapsed();

  const int n = sm.num_cols(), m = sm.num_rows();
  const double sense = sm.sense;
  const double* x = simplex.primalColumnSolution();
  Solution& s = out.solution;
  out.stats.available = true;
  out.stats.ipm_iters = state.ipm_iters;
  // CLP counts a barrier's iterations with its crossover's; a run solved
  // again counts the last run's alone, with its cleanup's.
  out.stats.spx_iters = ran == Algorithm::BarrierNoCrossover ? 0
                        : ran == Algorithm::Barrier      ? std::max(0, simplex.numberIterations() - state.ipm_iters)
                                                         : simplex.numberIterations() + std::max(0, solved_iterations);
  out.stats.presolve_time =
      state.presolve_end >= 0 ? state.presolve_end - state.presolve_start : 0.0;
  out.stats.solver_time = std::max(0.0, t1 - t0 - out.stats.presolve_time);

  auto take_duals = [&] {
    const double* y = simplex.dualRowSolution();
    const double* d = simplex.dualColumnSolution();
    s.row_dual.resize(static_cast<size_t>(m));
    s.reduced_cost.resize(static_cast<size_t>(n));
    for (int i = 0; i < m; ++i) s.row_dual[static_cast<size_t>(i)] = sense * y[i];
    for (int j = 0; j < n; ++j) s.reduced_cost[static_cast<size_t>(j)] = sense * d[j];
    s.dual_obj = sense * min_dual_objective(sm, x, y, d) + sm.obj_const;
    s.has_dual = true;
  };
  auto take_basis = [&] {
    s.col_basis.resize(static_cast<size_t>(n));
    s.row_basis.resize(static_cast<size_t>(m));
    for (int j = 0; j < n; ++j) s.col_basis[static_cast<size_t>(j)] = basis_code(simplex.getColumnStatus(j));
    for (int i = 0; i < m; ++i) s.row_basis[static_cast<size_t>(i)] = basis_code(simplex.getRowStatus(i));
    s.has_basis = true;
  };

  // An optimum that fails its check after the cleanup, or a cleanup that
  // ends otherwise than optimal or unbounded, gives no verdict: the best
  // point met that meets the rows and bounds is handed out as SUB_OPTIMAL,
  // with its multipliers when they fit it.
  const int after = simplex.status();
  if (unconfirmed && !checked && after != 2) {
    const UnconfirmedPoint& u = *unconfirmed;
    if ((after == 3 || after == 5) && !run.stopped_by())
      run.stop(run.time_up() ? VLM_ERROR_ABORT_TIME_LIMIT : VLM_ERROR_ABORT_ITERATION_LIMIT);
    if (u.c.primal > kOptimumCheck) {
      run.log.line("No point that meets the model as given: no verdict");
      return out;
    }
    run.log.line("The point meets the rows and bounds but its optimality is not confirmed: sub-optimal");
    s.status = VLM_STATUS_SUB_OPTIMAL;
    s.sol_count = 1;
    set_primal(data, u.x.data(), s);
    if (u.c.dual <= kOptimumCheck) {
      const std::vector<double> d = qp().reduced_gradient(u.x.data(), u.y.data());
      s.row_dual.resize(static_cast<size_t>(m));
      s.reduced_cost.resize(static_cast<size_t>(n));
      for (int i = 0; i < m; ++i) s.row_dual[static_cast<size_t>(i)] = sense * u.y[static_cast<size_t>(i)];
      for (int j = 0; j < n; ++j) s.reduced_cost[static_cast<size_t>(j)] = sense * d[static_cast<size_t>(j)];
      s.dual_obj = sense * min_dual_objective(sm, u.x.data(), u.y.data(), d.data()) + sm.obj_const;
      s.has_dual = true;
    }
    return out;
  }
  switch (simplex.status()) {
    case 0:
      s.status = VLM_STATUS_OPTIMAL;
      s.sol_count = 1;
      set_primal(data, x, s);
      take_duals();
      if (ran != Algorithm::BarrierNoCrossover) take_basis();
      break;
    case 1: {
      if (feasible == 1) {  // the primal simplex contradicts the feasibility run
        out.code = VLM_ERROR_SIMPLEX_NUMERIC;
        break;
      }
      if (feasible == -1) {  // stopped before it could tell
        if (!run.stopped_by()) s.status = VLM_STATUS_INF_OR_UBD;
        break;
      }
      s.status = VLM_STATUS_INFEASIBLE;
      s.has_dual_ray = true;
      break;
    }
    case 2: {
      // Unbounded once a point meets the model as given (CLP's own count of
      // infeasibilities has been seen to be zero on an infeasible model) and
      // a direction of the recession cone along which the objective falls
      // is found and checked (CLP's status is no proof, nor its ray: on a
      // simple model it was (5e10, 1)).
      const int feasible = is_feasible(sm, x, 1e-6, false, 0) ? 1 : has_feasible_point(sm, run);
      const int direction = feasible == 1 ? improving_direction(sm, run) : -1;
      if (feasible == 1 && direction != 1) {
        run.log.line(direction == 0 ? "CLP called an LP with an optimum unbounded: no verdict"
                                    : "No direction of the LP's unboundedness was found: no verdict");
      } else if (feasible == 1) {
        s.status = VLM_STATUS_UNBOUNDED;
        s.has_primal_ray = true;  // the checked direction
      } else if (feasible == 0) {
        s.status = VLM_STATUS_INFEASIBLE;
        s.has_dual_ray = true;
      } else {
        s.status = VLM_STATUS_INF_OR_UBD;
      }
      break;
    }
    case 3:
    case 5: {
      if (!run.stopped_by())
        run.stop(run.time_up() ? VLM_ERROR_ABORT_TIME_LIMIT : VLM_ERROR_ABORT_ITERATION_LIMIT);
      if (is_feasible(sm, x, 1e-6, false, 0)) {
        s.status = VLM_STATUS_SUB_OPTIMAL;
        s.sol_count = 1;
        set_primal(data, x, s);
      }
      break;
    }
    default:
      if (feasible == 0) {
        run.log.line("CLP gave up, yet the model is proved infeasible");
        s.status = VLM_STATUS_INFEASIBLE;
        s.has_dual_ray = true;
        break;
      }
      out.code = is_barrier(ran) ? VLM_ERROR_INTERIOR_NUMERIC : VLM_ERROR_SIMPLEX_NUMERIC;
      break;
  }
  return out;
}

}  // namespace velmor
