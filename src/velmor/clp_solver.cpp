// Linear models without integers, solved by CLP. (Quadratic objectives go
// to qp_solver.cpp.)
//
// Method: -1 lets the library choose (dual simplex), 0 primal simplex, 1
// dual simplex, 2 barrier (with crossover to a basic solution unless
// SolutionTarget is 1). CLP's barrier bounds infinite columns by large
// finite ones and then reports an unbounded LP as optimal at values near
// those bounds; such a result is checked by the dual simplex.
#include <algorithm>
#include <memory>

#include <ClpSimplex.hpp>
#include <ClpSolve.hpp>
#include <CoinFinite.hpp>

#include "clp_model.hpp"

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

ClpSolve solve_options(const SolverModel& sm, Algorithm algorithm, const ParamValues& p) {
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
  options.setPresolveType(p.get_int(kPresolve) == 0 ? ClpSolve::presolveOff : ClpSolve::presolveOn);
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

// Whether a barrier result puts a column with an infinite bound far out on
// that side, where CLP's stand-in bounds lie.
bool beyond_stand_in_bounds(const SolverModel& sm, const double* x) {
  for (int j = 0; j < sm.num_cols(); ++j) {
    const size_t k = static_cast<size_t>(j);
    if ((sm.col_ub[k] >= COIN_DBL_MAX && x[j] > 1e10) || (sm.col_lb[k] <= -COIN_DBL_MAX && x[j] < -1e10)) return true;
  }
  return false;
}

}  // namespace

RunOutcome solve_with_clp(const ModelData& data, const SolverModel& sm, RunControl& run) {
  RunOutcome out;
  const ParamValues& p = run.params;
  const Algorithm algorithm = choose_algorithm(p);
  run.log.linef("Solving LP with CLP (%s)", algorithm_name(algorithm));

  ClpRunState state{&run, p.get_int(kIpmMaxIterations)};
  LogMessageHandler messages(run.log, 1);
  ClpSimplex simplex;
  simplex.passInMessageHandler(&messages);
  load_clp(sm, simplex);
  apply_simplex_params(p, simplex);
  if (algorithm == Algorithm::Barrier || algorithm == Algorithm::BarrierNoCrossover) {
    // CLP hands the model's tolerances to its barrier; the crossover that
    // follows works to the same ones.
    simplex.setPrimalTolerance(p.get(kIpmPrimalTolerance));
    simplex.setDualTolerance(p.get(kIpmDualTolerance));
  }
  if (run.remaining() < COIN_DBL_MAX) simplex.setMaximumWallSeconds(run.remaining());
  ClpRunHandler handler(&state);
  simplex.passInEventHandler(&handler);

  const double t0 = run.elapsed();
  ClpSolve options = solve_options(sm, algorithm, p);
  initial_solve(simplex, options);
  Algorithm ran = algorithm;
  if ((algorithm == Algorithm::Barrier || algorithm == Algorithm::BarrierNoCrossover) && simplex.status() == 0 &&
      beyond_stand_in_bounds(sm, simplex.primalColumnSolution())) {
    run.log.line("The barrier's solution lies at its stand-in bounds: solving again by dual simplex");
    load_clp(sm, simplex);
    apply_simplex_params(p, simplex);
    ClpSolve dual = solve_options(sm, Algorithm::Dual, p);
    initial_solve(simplex, dual);
    ran = Algorithm::Dual;
  }
  // CLP's dual simplex may call a feasible but unbounded model infeasible
  // (with infinite bounds it has been seen to stop at once so): every
  // infeasibility is confirmed by a feasibility run, and a contradicted one
  // is solved again by primal simplex.
  int feasible = -2;  // -2 not asked, else has_feasible_point's answer
  if (simplex.status() == 1) {
    feasible = has_feasible_point(sm, run, state);
    if (feasible == 1) {
      run.log.line("The model is feasible after all: solving again by primal simplex");
      load_clp(sm, simplex);
      apply_simplex_params(p, simplex);
      ClpSolve primal = solve_options(sm, Algorithm::Primal, p);
      primal.setPresolveType(ClpSolve::presolveOff);
      initial_solve(simplex, primal);
      ran = Algorithm::Primal;
    }
  }
  const double t1 = run.elapsed();

  const int n = sm.num_cols(), m = sm.num_rows();
  const double sense = sm.sense;
  const double* x = simplex.primalColumnSolution();
  Solution& s = out.solution;
  out.stats.available = true;
  out.stats.ipm_iters = state.ipm_iters;
  out.stats.spx_iters =
      ran == Algorithm::BarrierNoCrossover ? 0 : std::max(0, simplex.numberIterations() - state.ipm_iters);
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
      RaySink ray{simplex.infeasibilityRay()};
      s.has_dual_ray = ray.p != nullptr;
      break;
    }
    case 2: {
      RaySink ray{simplex.unboundedRay()};
      const int feasible = simplex.numberPrimalInfeasibilities() == 0 ? 1 : has_feasible_point(sm, run, state);
      if (feasible == 1) {
        s.status = VLM_STATUS_UNBOUNDED;
        s.has_primal_ray = ray.p != nullptr;
      } else {
        s.status = feasible == 0 ? VLM_STATUS_INFEASIBLE : VLM_STATUS_INF_OR_UBD;
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
      out.code = ran == Algorithm::Barrier || ran == Algorithm::BarrierNoCrossover
                     ? VLM_ERROR_INTERIOR_NUMERIC
                     : VLM_ERROR_SIMPLEX_NUMERIC;
      break;
  }
  return out;
}

}  // namespace velmor
