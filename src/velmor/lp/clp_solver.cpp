// Linear models without integers, solved by CLP. (Quadratic objectives go
// to qp_solver.cpp.)
//
// Method: -1 lets the library choose (dual simplex), 0 primal simplex, 1
// dual simplex, 2 barrier (with crossover to a basic solution unless
// SolutionTarget is 1). A model with a row or a column of more than
// kLongLine entries goes to the interior point method of qp_ipm.hpp
// instead for Method -1 and 2, and is solved without CLP's presolve by the
// simplex methods. A starting basis of the model (read from a .bas file)
// that fits it starts the first run of a simplex method, without CLP's
// presolve, which would not keep it; the barrier does without it.
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

// One LP solve by CLP (solve_with_clp), in its steps: the first run; a run
// again by the dual simplex when the first diverged or failed; the check of
// its optimum, with a run by the other simplex method when it fails; the
// proof of an infeasibility; the check of an optimum found again, with the
// cleanup; then the answer, from the checked verdict or the best point met.
class LpRun {
 public:
  LpRun(const ModelData& data, const SolverModel& sm, RunControl& run, bool long_lines, const StartBasis* start)
      : data_(data),
        sm_(sm),
        start_(start),
        run_(run),
        p_(run.params),
        long_lines_(long_lines),
        algorithm_(choose_algorithm(p_)),
        ran_(algorithm_),
        state_{&run, p_.get_int(kIpmMaxIterations)},
        messages_(run.log, &state_, divergence_limit(sm)),
        handler_(&state_) {}

  RunOutcome solve() {
    run_.log.linef("Solving LP with CLP (%s)", algorithm_name(algorithm_));
    if (long_lines_ && p_.get_int(kPresolve) != 0)
      run_.log.linef("Rows or columns of more than %lld entries: without CLP's presolve",
                     static_cast<long long>(kLongLine));
    load();
    const double t0 = run_.elapsed();
    first_run();
    if (simplex_.status() == 0) check_first_optimum();
    settle_infeasibility();
    if (simplex_.status() == 0 && !checked_) check_again();
    take_statistics(t0, run_.elapsed());
    // An optimum that fails its check after the cleanup, or a cleanup that
    // ends otherwise than optimal or unbounded, gives no verdict: the best
    // point met that meets the rows and bounds is handed out as SUB_OPTIMAL,
    // with its multipliers when they fit it.
    if (unconfirmed_ && !checked_ && simplex_.status() != 2)
      take_unconfirmed();
    else
      take_verdict();
    return std::move(out_);
  }

 private:
  // The model as the checks read it, made when the first check needs it.
  const QpData& qp() {
    if (!qp_data_) qp_data_ = QpData::from_model(sm_);
    return *qp_data_;
  }

  // The model, the parameters and the handlers in CLP.
  void load() {
    simplex_.passInMessageHandler(&messages_);
    load_clp(sm_, simplex_);
    apply_simplex_params(p_, simplex_);
    if (is_barrier(algorithm_)) {
      // CLP hands the model's tolerances to its barrier; the crossover that
      // follows works to the same ones.
      simplex_.setPrimalTolerance(p_.get(kIpmPrimalTolerance));
      simplex_.setDualTolerance(p_.get(kIpmDualTolerance));
    }
    if (run_.remaining() < COIN_DBL_MAX) simplex_.setMaximumWallSeconds(run_.remaining());
    simplex_.passInEventHandler(&handler_);
    take_start_basis();
  }

  // The model's starting basis, where it fits the model and a simplex
  // method runs.
  void take_start_basis() {
    if (!start_ || start_->empty()) return;
    if (start_->cols.size() != static_cast<size_t>(sm_.num_cols()) ||
        start_->rows.size() != static_cast<size_t>(sm_.num_rows())) {
      run_.log.line("The starting basis does not fit the model's columns and rows: not used");
    } else if (is_barrier(algorithm_)) {
      run_.log.line("The barrier takes no starting basis: not used");
    } else {
      set_start_basis(sm_, *start_, simplex_);
      from_basis_ = true;
    }
  }

  // The run by the method asked for, and a run by the dual simplex when the
  // barrier's objective ran off or the method failed.
  void first_run() {
    if (from_basis_) {
      // From the starting basis, without CLP's presolve, which would not keep it.
      run_.log.linef("Starting the %s from the model's starting basis", algorithm_name(algorithm_));
      if (algorithm_ == Algorithm::Primal)
        simplex_.primal(0);
      else
        simplex_.dual(0);
    } else {
      ClpSolve options = solve_options(sm_, algorithm_, p_, long_lines_);
      initial_solve(simplex_, options);
    }
    if (state_.diverged && !run_.stopped_by()) {
      solve_again(Algorithm::Dual, "The barrier's objective runs off without bound");
    } else if (algorithm_ != Algorithm::Dual && failed(simplex_) && !run_.stopped_by()) {
      solve_again(Algorithm::Dual, is_barrier(algorithm_) ? "The barrier failed" : "The primal simplex failed");
    }
  }

  void solve_again(Algorithm again, const std::string& why) {
    run_.log.linef("%s: solving again by %s", why.c_str(), algorithm_name(again));
    state_.diverged = false;
    checked_ = false;
    load_clp(sm_, simplex_);
    apply_simplex_params(p_, simplex_);
    if (run_.remaining() < COIN_DBL_MAX) simplex_.setMaximumWallSeconds(run_.remaining());
    ClpSolve o = solve_options(sm_, again, p_, long_lines_);
    if (again == Algorithm::Primal) o.setPresolveType(ClpSolve::presolveOff);
    initial_solve(simplex_, o);
    ran_ = again;
  }

  // CLP's optimum measured on the model as given; one that fails is solved
  // again by the other simplex method.
  void check_first_optimum() {
    const OptimumMeasure first = optimum_measure(sm_, qp(), simplex_, ran_ == Algorithm::BarrierNoCrossover);
    checked_ = first.holds();
    if (!checked_)
      solve_again(ran_ == Algorithm::Dual ? Algorithm::Primal : Algorithm::Dual,
                  "CLP's optimum fails the check on the model as given (" + failed_measures(first) + ")");
  }

  // CLP's dual simplex may call a feasible but unbounded model infeasible
  // (with infinite bounds it has been seen to stop at once so): an
  // infeasibility stands when CLP's ray is a Farkas certificate on the model
  // as given, or else when has_feasible_point proves it; a point found
  // instead has the model solved again by primal simplex.
  void settle_infeasibility() {
    if (simplex_.status() == 1) {
      if (ray_proves_infeasibility(qp(), simplex_)) {
        feasible_ = 0;
      } else {
        run_.log.line("CLP's infeasibility ray is no certificate: deciding feasibility on the elastic problem");
        feasible_ = has_feasible_point(sm_, run_);
      }
      if (feasible_ == 1) solve_again(Algorithm::Primal, "The model is feasible after all");
    } else if (failed(simplex_) && !run_.stopped_by()) {
      // Both simplex methods may give up on an infeasible model.
      feasible_ = has_feasible_point(sm_, run_);
    }
  }

  // An optimum found again after a check failed must pass the check too.
  // One that fails again is cleaned up (clean_up); the best point that
  // failed is kept for an answer short of optimal.
  void check_again() {
    const bool interior = ran_ == Algorithm::BarrierNoCrossover;
    OptimumMeasure again = optimum_measure(sm_, qp(), simplex_, interior);
    checked_ = again.holds();
    if (checked_) return;
    keep_better(unconfirmed_, sm_, simplex_, again);
    run_.log.linef("CLP's optimum fails the check on the model as given again (%s): cleaning it up from its basis",
                   failed_measures(again).c_str());
    solved_iterations_ = simplex_.numberIterations();
    clean_up(simplex_, again, p_, run_);
    if (simplex_.status() != 0) return;
    const OptimumMeasure cleaned = optimum_measure(sm_, qp(), simplex_, false);
    checked_ = cleaned.holds();
    if (!checked_) {
      keep_better(unconfirmed_, sm_, simplex_, cleaned);
      run_.log.linef("The cleaned-up optimum fails the check too (%s)", failed_measures(cleaned).c_str());
    }
  }

  void take_statistics(double t0, double t1) {
    RunStats& stats = out_.stats;
    stats.available = true;
    stats.ipm_iters = state_.ipm_iters;
    // CLP counts a barrier's iterations with its crossover's; a run solved
    // again counts the last run's alone, with its cleanup's.
    stats.spx_iters = ran_ == Algorithm::BarrierNoCrossover ? 0
                      : ran_ == Algorithm::Barrier ? std::max(0, simplex_.numberIterations() - state_.ipm_iters)
                                                   : simplex_.numberIterations() + std::max(0, solved_iterations_);
    stats.presolve_time = state_.presolve_end >= 0 ? state_.presolve_end - state_.presolve_start : 0.0;
    stats.solver_time = std::max(0.0, t1 - t0 - stats.presolve_time);
  }

  // The multipliers of CLP's point, in the model's sense.
  void take_duals() {
    const int n = sm_.num_cols(), m = sm_.num_rows();
    const double sense = sm_.sense;
    const double* x = simplex_.primalColumnSolution();
    const double* y = simplex_.dualRowSolution();
    const double* d = simplex_.dualColumnSolution();
    Solution& s = out_.solution;
    s.row_dual.resize(static_cast<size_t>(m));
    s.reduced_cost.resize(static_cast<size_t>(n));
    for (int i = 0; i < m; ++i) s.row_dual[static_cast<size_t>(i)] = sense * y[i];
    for (int j = 0; j < n; ++j) s.reduced_cost[static_cast<size_t>(j)] = sense * d[j];
    s.dual_obj = sense * min_dual_objective(sm_, x, y, d) + sm_.obj_const;
    s.has_dual = true;
  }

  void take_basis() {
    const int n = sm_.num_cols(), m = sm_.num_rows();
    Solution& s = out_.solution;
    s.col_basis.resize(static_cast<size_t>(n));
    s.row_basis.resize(static_cast<size_t>(m));
    for (int j = 0; j < n; ++j) s.col_basis[static_cast<size_t>(j)] = basis_code(simplex_.getColumnStatus(j));
    for (int i = 0; i < m; ++i) s.row_basis[static_cast<size_t>(i)] = basis_code(simplex_.getRowStatus(i));
    s.has_basis = true;
  }

  // The best point met that failed its check: SUB_OPTIMAL when it meets the
  // rows and bounds, with its multipliers when they fit it.
  void take_unconfirmed() {
    const int after = simplex_.status();
    const UnconfirmedPoint& u = *unconfirmed_;
    if ((after == 3 || after == 5) && !run_.stopped_by())
      run_.stop(run_.time_up() ? VLM_ERROR_ABORT_TIME_LIMIT : VLM_ERROR_ABORT_ITERATION_LIMIT);
    if (u.c.primal > kOptimumCheck) {
      run_.log.line("No point that meets the model as given: no verdict");
      return;
    }
    run_.log.line("The point meets the rows and bounds but its optimality is not confirmed: sub-optimal");
    const int n = sm_.num_cols(), m = sm_.num_rows();
    const double sense = sm_.sense;
    Solution& s = out_.solution;
    s.status = VLM_STATUS_SUB_OPTIMAL;
    s.sol_count = 1;
    set_primal(data_, u.x.data(), s);
    if (u.c.dual <= kOptimumCheck) {
      const std::vector<double> d = qp().reduced_gradient(u.x.data(), u.y.data());
      s.row_dual.resize(static_cast<size_t>(m));
      s.reduced_cost.resize(static_cast<size_t>(n));
      for (int i = 0; i < m; ++i) s.row_dual[static_cast<size_t>(i)] = sense * u.y[static_cast<size_t>(i)];
      for (int j = 0; j < n; ++j) s.reduced_cost[static_cast<size_t>(j)] = sense * d[static_cast<size_t>(j)];
      s.dual_obj = sense * min_dual_objective(sm_, u.x.data(), u.y.data(), d.data()) + sm_.obj_const;
      s.has_dual = true;
    }
  }

  // The answer from CLP's last status and the checks made on it.
  void take_verdict() {
    const double* x = simplex_.primalColumnSolution();
    Solution& s = out_.solution;
    switch (simplex_.status()) {
      case 0:
        s.status = VLM_STATUS_OPTIMAL;
        s.sol_count = 1;
        set_primal(data_, x, s);
        take_duals();
        if (ran_ != Algorithm::BarrierNoCrossover) take_basis();
        break;
      case 1: {
        if (feasible_ == 1) {  // the primal simplex contradicts the feasibility run
          out_.code = VLM_ERROR_SIMPLEX_NUMERIC;
          break;
        }
        if (feasible_ == -1) {  // stopped before it could tell
          if (!run_.stopped_by()) s.status = VLM_STATUS_INF_OR_UBD;
          break;
        }
        s.status = VLM_STATUS_INFEASIBLE;
        s.has_dual_ray = true;
        break;
      }
      case 2: take_unboundedness(); break;
      case 3:
      case 5: {
        if (!run_.stopped_by())
          run_.stop(run_.time_up() ? VLM_ERROR_ABORT_TIME_LIMIT : VLM_ERROR_ABORT_ITERATION_LIMIT);
        if (is_feasible(sm_, x, 1e-6, false, 0)) {
          s.status = VLM_STATUS_SUB_OPTIMAL;
          s.sol_count = 1;
          set_primal(data_, x, s);
        }
        break;
      }
      default:
        if (feasible_ == 0) {
          run_.log.line("CLP gave up, yet the model is proved infeasible");
          s.status = VLM_STATUS_INFEASIBLE;
          s.has_dual_ray = true;
          break;
        }
        out_.code = is_barrier(ran_) ? VLM_ERROR_INTERIOR_NUMERIC : VLM_ERROR_SIMPLEX_NUMERIC;
        break;
    }
  }

  // Unbounded once a point meets the model as given (CLP's own count of
  // infeasibilities has been seen to be zero on an infeasible model) and a
  // direction of the recession cone along which the objective falls is
  // found and checked (CLP's status is no proof, nor its ray: on a simple
  // model it was (5e10, 1)).
  void take_unboundedness() {
    Solution& s = out_.solution;
    const int feasible =
        is_feasible(sm_, simplex_.primalColumnSolution(), 1e-6, false, 0) ? 1 : has_feasible_point(sm_, run_);
    const int direction = feasible == 1 ? improving_direction(sm_, run_) : -1;
    if (feasible == 1 && direction != 1) {
      run_.log.line(direction == 0 ? "CLP called an LP with an optimum unbounded: no verdict"
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
  }

  const ModelData& data_;
  const SolverModel& sm_;
  const StartBasis* start_;  // null or the model's starting basis
  bool from_basis_ = false;  // the first run starts from it
  RunControl& run_;
  const ParamValues& p_;
  const bool long_lines_;
  const Algorithm algorithm_;  // the method asked for
  Algorithm ran_;              // the method of the last run
  ClpRunState state_;
  LpMessageHandler messages_;
  std::optional<QpData> qp_data_;
  ClpSimplex simplex_;
  ClpRunHandler handler_;
  bool checked_ = false;  // CLP's optimum holds on the model as given
  int feasible_ = -2;     // -2 not asked, 0 proved infeasible, else has_feasible_point's answer
  std::optional<UnconfirmedPoint> unconfirmed_;
  int solved_iterations_ = -1;  // the iterations of the run cleaned up, -1 without a cleanup
  RunOutcome out_;
};

}  // namespace

RunOutcome solve_with_clp(const ModelData& data, const SolverModel& sm, RunControl& run, const StartBasis* start) {
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
  return LpRun(data, sm, run, long_lines, start).solve();
}

}  // namespace velmor
