// Convex quadratic programs without a discrete part.
//
// Method -1 (automatic) and 2: the sparse interior point method of
// qp_ipm.hpp. Method 0 and 1 (the simplex methods; CLP's dual simplex does
// not take a quadratic objective): CLP's quadratic primal, whose optimum
// stands only when check_qp_point confirms it; any other outcome is solved
// again by the interior point method. Where that stalls, Ipopt
// (qp_ipopt.cpp) solves the model again.
//
// Status: OPTIMAL when the point and its multipliers meet IPM/PrimalTolerance,
// IPM/DualTolerance and IPM/GapTolerance on the model as given; INFEASIBLE
// and UNBOUNDED when certified (a Farkas multiplier vector, or a direction
// with a feasible point, the feasibility decided by CLP's simplex on the
// rows when the interior point method has none); otherwise SUB_OPTIMAL with
// the best point met when it is feasible within kLooseFeasibility, else
// UNKNOWN.
#include <algorithm>
#include <cmath>

#include <ClpSimplex.hpp>
#include <CoinFinite.hpp>

#include "lp/clp_model.hpp"
#include "qp/qp_ipm.hpp"

namespace velmor {

namespace {

// A point that does not meet the tolerances is still handed out (status
// SUB_OPTIMAL) when its bounds and rows hold to this (or to the primal
// tolerance, when looser), in the measure of check_qp_point; its
// multipliers too when they hold to it.
constexpr double kLooseFeasibility = 1e-6;

// A stalled run whose best point is within this many times the tolerances
// (QpTolerances::merit) ends SUB_OPTIMAL without the fallback.
constexpr double kNearOptimal = 100;

// Fills the solution from x and y (solver columns and rows).
void take_point(const ModelData& data, const SolverModel& sm, const QpData& qp, const std::vector<double>& x,
                const std::vector<double>& y, bool with_duals, Solution& s) {
  s.sol_count = 1;
  set_primal(data, x.data(), s);
  if (!with_duals) return;
  const std::vector<double> d = qp.reduced_gradient(x.data(), y.data());
  const double sense = sm.sense;
  s.row_dual.resize(y.size());
  s.reduced_cost.resize(d.size());
  for (size_t i = 0; i < y.size(); ++i) s.row_dual[i] = sense * y[i];
  for (size_t j = 0; j < d.size(); ++j) s.reduced_cost[j] = sense * d[j];
  s.dual_obj = sense * min_dual_objective(sm, x.data(), y.data(), d.data()) + sm.obj_const;
  s.has_dual = true;
}

// CLP's quadratic primal from a slack basis. True with x and y when it ends
// optimal and its answer passes the check; `infeasible` when it and a
// feasibility run on the rows both find no point.
bool clp_quadratic_primal(const SolverModel& sm, const QpData& qp, const QpTolerances& tol, RunControl& run,
                          RunStats& stats, std::vector<double>& x, std::vector<double>& y, bool& infeasible) {
  infeasible = false;
  ClpRunState state{&run, run.params.get_int(kIpmMaxIterations)};
  LogMessageHandler messages(run.log, 1);
  ClpSimplex simplex;
  simplex.passInMessageHandler(&messages);
  load_clp(sm, simplex);
  QuadraticGuard guard;
  guard.run = &run;
  guard_quadratic_objective(simplex, &guard);
  apply_simplex_params(run.params, simplex);
  ClpRunHandler handler(&state);
  simplex.passInEventHandler(&handler);
  // Stopped through the handler and the guard only: CLP's own time limit,
  // met in its first phase, ends the process in an assertion.
  simplex.primal();
  stats.spx_iters += simplex.numberIterations();
  if (run.stopped_by()) return false;
  if (simplex.status() == 1 && !guard.tripped) {
    infeasible = has_feasible_point(sm, run) == 0;
    return false;
  }
  if (simplex.status() != 0 || guard.tripped) return false;
  x.assign(simplex.primalColumnSolution(), simplex.primalColumnSolution() + sm.num_cols());
  y.assign(simplex.dualRowSolution(), simplex.dualRowSolution() + sm.num_rows());
  const QpCheck check = check_qp_point(qp, x.data(), y.data());
  if (tol.met(check)) return true;
  run.log.linef("CLP's quadratic primal ends at a point that fails the check (primal %.2g, dual %.2g, gap %.2g)",
                check.primal, tol.dual_of(check), tol.gap_of(check));
  return false;
}

}  // namespace

RunOutcome solve_qp(const ModelData& data, const SolverModel& sm, RunControl& run) {
  RunOutcome out;
  Solution& s = out.solution;
  const ParamValues& p = run.params;
  const QpTolerances tol{p.get(kIpmPrimalTolerance), p.get(kIpmDualTolerance), p.get(kIpmGapTolerance),
                         /*objective_scaled=*/true};
  const double loose = std::max(kLooseFeasibility, tol.primal);
  const QpData qp = QpData::from_model(sm);
  out.stats.available = true;
  const double t0 = run.elapsed();

  const int method = p.get_int(kMethod);
  if (method == 0 || method == 1) {
    run.log.line(method == 1 ? "Solving QP with CLP (primal simplex: the dual simplex does not take a quadratic objective)"
                             : "Solving QP with CLP (primal simplex)");
    std::vector<double> x, y;
    bool infeasible = false;
    if (clp_quadratic_primal(sm, qp, tol, run, out.stats, x, y, infeasible)) {
      s.status = VLM_STATUS_OPTIMAL;
      take_point(data, sm, qp, x, y, true, s);
      out.stats.solver_time = run.elapsed() - t0;
      return out;
    }
    if (infeasible) {
      s.status = VLM_STATUS_INFEASIBLE;
      out.stats.solver_time = run.elapsed() - t0;
      return out;
    }
    if (!run.stopped_by()) run.log.line("CLP's answer is not confirmed: solving by the interior point method");
  }

  QpResult r;
  if (!run.stopped_by()) {
    run.log.line(sm.has_quad() ? "Solving QP by the interior point method" : "Solving LP by the interior point method");
    r = solve_qp_ipm(qp, tol, run, p.get_int(kIpmMaxIterations), true);
    out.stats.ipm_iters = r.iterations;
  } else {
    r.status = QpResult::kStopped;
  }
  out.stats.solver_time = run.elapsed() - t0;
  bool feasible_point = !r.x.empty() && r.check.primal <= loose;
  switch (r.status) {
    case QpResult::kOptimal:
      s.status = VLM_STATUS_OPTIMAL;
      take_point(data, sm, qp, r.x, r.y, true, s);
      return out;
    case QpResult::kInfeasible:
      // Without multipliers the verdict is the reduction's (bounds or rows
      // that contradict each other by a hair): it stands when the rows and
      // bounds are found infeasible at the feasibility tolerance too.
      if (r.ray.empty() && has_feasible_point(sm, run) != 0) {
        run.log.line("The contradiction lies within the feasibility tolerance: no verdict");
        return out;
      }
      s.status = VLM_STATUS_INFEASIBLE;
      s.has_dual_ray = !r.ray.empty();
      return out;
    case QpResult::kUnbounded: {
      const int feasible = feasible_point ? 1 : has_feasible_point(sm, run);
      if (feasible == 1) {
        s.status = VLM_STATUS_UNBOUNDED;
        s.has_primal_ray = true;
      } else {
        s.status = feasible == 0 ? VLM_STATUS_INFEASIBLE : VLM_STATUS_INF_OR_UBD;
      }
      return out;
    }
    case QpResult::kTooLarge:
      out.code = VLM_ERROR_NOMEMORY;
      return out;
    case QpResult::kStopped:
    case QpResult::kIterationLimit:
      if (!run.stopped_by())
        run.stop(r.status == QpResult::kStopped ? VLM_ERROR_ABORT_TIME_LIMIT : VLM_ERROR_ABORT_ITERATION_LIMIT);
      break;
    case QpResult::kFailed: {
      // Within a hundred times the tolerances the stall is in the last
      // digits: the point is handed out as it is rather than solved again
      // from the start.
      if (feasible_point && tol.merit(r.check) <= kNearOptimal) {
        run.log.linef("The interior point method stalled near the optimum (primal %.2g, dual %.2g, gap %.2g)",
                      r.check.primal, tol.dual_of(r.check), tol.gap_of(r.check));
        break;
      }
      run.log.linef("The interior point method stalled (best point: primal %.2g, dual %.2g, gap %.2g): "
                    "solving by Ipopt",
                    r.check.primal, tol.dual_of(r.check), tol.gap_of(r.check));
      QpResult fallback = solve_qp_ipopt(qp, tol, run);
      out.stats.ipm_iters += fallback.iterations;
      out.stats.solver_time = run.elapsed() - t0;
      if (fallback.status == QpResult::kOptimal) {
        s.status = VLM_STATUS_OPTIMAL;
        take_point(data, sm, qp, fallback.x, fallback.y, true, s);
        return out;
      }
      if (!fallback.x.empty())
        run.log.linef("Ipopt ends unconfirmed (primal %.2g, dual %.2g, gap %.2g)", fallback.check.primal,
                      tol.dual_of(fallback.check), tol.gap_of(fallback.check));
      if (!fallback.x.empty() && fallback.check.primal <= loose &&
          (!feasible_point || tol.merit(fallback.check) < tol.merit(r.check)))
        r = std::move(fallback);
      feasible_point = !r.x.empty() && r.check.primal <= loose;
      if (fallback.status == QpResult::kStopped && !run.stopped_by()) run.stop(VLM_ERROR_ABORT_TIME_LIMIT);
      if (feasible_point || run.stopped_by()) break;
      if (has_feasible_point(sm, run) == 0) {
        s.status = VLM_STATUS_INFEASIBLE;
        return out;
      }
      break;
    }
  }
  if (feasible_point) {
    s.status = VLM_STATUS_SUB_OPTIMAL;
    take_point(data, sm, qp, r.x, r.y, r.check.dual <= kLooseFeasibility, s);
  }
  return out;
}

}  // namespace velmor
