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

// One QP solve (solve_qp), in its steps: CLP's quadratic primal where a
// simplex method was asked for; the interior point method where that gives
// no answer; the verdict from its result, with Ipopt where it stalled; then
// the best point met, SUB_OPTIMAL, where it meets the rows and bounds.
class QpRun {
 public:
  QpRun(const ModelData& data, const SolverModel& sm, RunControl& run)
      : data_(data),
        sm_(sm),
        run_(run),
        p_(run.params),
        tol_{p_.get(kIpmPrimalTolerance), p_.get(kIpmDualTolerance), p_.get(kIpmGapTolerance),
             /*objective_scaled=*/true},
        loose_(std::max(kLooseFeasibility, tol_.primal)),
        qp_(QpData::from_model(sm)) {}

  RunOutcome solve() {
    out_.stats.available = true;
    t0_ = run_.elapsed();
    const int method = p_.get_int(kMethod);
    if ((method == 0 || method == 1) && by_simplex(method)) return std::move(out_);
    by_interior_point();
    feasible_point_ = !r_.x.empty() && r_.check.primal <= loose_;
    if (take_verdict()) return std::move(out_);
    if (feasible_point_) {
      s_.status = VLM_STATUS_SUB_OPTIMAL;
      take_point(data_, sm_, qp_, r_.x, r_.y, r_.check.dual <= kLooseFeasibility, s_);
    }
    return std::move(out_);
  }

 private:
  // CLP's quadratic primal (Method 0 and 1). True when its answer stands:
  // an optimum that passes the check, or an infeasibility.
  bool by_simplex(int method) {
    run_.log.line(method == 1
                      ? "Solving QP with CLP (primal simplex: the dual simplex does not take a quadratic objective)"
                      : "Solving QP with CLP (primal simplex)");
    std::vector<double> x, y;
    bool infeasible = false;
    if (clp_quadratic_primal(sm_, qp_, tol_, run_, out_.stats, x, y, infeasible)) {
      s_.status = VLM_STATUS_OPTIMAL;
      take_point(data_, sm_, qp_, x, y, true, s_);
      out_.stats.solver_time = run_.elapsed() - t0_;
      return true;
    }
    if (infeasible) {
      s_.status = VLM_STATUS_INFEASIBLE;
      out_.stats.solver_time = run_.elapsed() - t0_;
      return true;
    }
    if (!run_.stopped_by()) run_.log.line("CLP's answer is not confirmed: solving by the interior point method");
    return false;
  }

  // The interior point method, unless the run must stop.
  void by_interior_point() {
    if (!run_.stopped_by()) {
      run_.log.line(sm_.has_quad() ? "Solving QP by the interior point method"
                                   : "Solving LP by the interior point method");
      r_ = solve_qp_ipm(qp_, tol_, run_, p_.get_int(kIpmMaxIterations), true);
      out_.stats.ipm_iters = r_.iterations;
    } else {
      r_.status = QpResult::kStopped;
    }
    out_.stats.solver_time = run_.elapsed() - t0_;
  }

  // The answer from the interior point method's result. True when it is
  // final; false where the best point met is the answer.
  bool take_verdict() {
    switch (r_.status) {
      case QpResult::kOptimal:
        s_.status = VLM_STATUS_OPTIMAL;
        take_point(data_, sm_, qp_, r_.x, r_.y, true, s_);
        return true;
      case QpResult::kInfeasible:
        // Without multipliers the verdict is the reduction's (bounds or rows
        // that contradict each other by a hair): it stands when the rows and
        // bounds are found infeasible at the feasibility tolerance too.
        if (r_.ray.empty() && has_feasible_point(sm_, run_) != 0) {
          run_.log.line("The contradiction lies within the feasibility tolerance: no verdict");
          return true;
        }
        s_.status = VLM_STATUS_INFEASIBLE;
        s_.has_dual_ray = !r_.ray.empty();
        return true;
      case QpResult::kUnbounded: {
        const int feasible = feasible_point_ ? 1 : has_feasible_point(sm_, run_);
        if (feasible == 1) {
          s_.status = VLM_STATUS_UNBOUNDED;
          s_.has_primal_ray = true;
        } else {
          s_.status = feasible == 0 ? VLM_STATUS_INFEASIBLE : VLM_STATUS_INF_OR_UBD;
        }
        return true;
      }
      case QpResult::kTooLarge:
        out_.code = VLM_ERROR_NOMEMORY;
        return true;
      case QpResult::kStopped:
      case QpResult::kIterationLimit:
        if (!run_.stopped_by())
          run_.stop(r_.status == QpResult::kStopped ? VLM_ERROR_ABORT_TIME_LIMIT : VLM_ERROR_ABORT_ITERATION_LIMIT);
        return false;
      case QpResult::kFailed:
        return after_stall();
    }
    return false;
  }

  // The interior point method stalled. Within a hundred times the
  // tolerances the stall is in the last digits: the point is handed out as
  // it is rather than solved again from the start; otherwise Ipopt solves
  // the model, and the better of the two points is kept. True when the
  // answer is final.
  bool after_stall() {
    if (feasible_point_ && tol_.merit(r_.check) <= kNearOptimal) {
      run_.log.linef("The interior point method stalled near the optimum (primal %.2g, dual %.2g, gap %.2g)",
                     r_.check.primal, tol_.dual_of(r_.check), tol_.gap_of(r_.check));
      return false;
    }
    run_.log.linef("The interior point method stalled (best point: primal %.2g, dual %.2g, gap %.2g): "
                   "solving by Ipopt",
                   r_.check.primal, tol_.dual_of(r_.check), tol_.gap_of(r_.check));
    QpResult fallback = solve_qp_ipopt(qp_, tol_, run_);
    out_.stats.ipm_iters += fallback.iterations;
    out_.stats.solver_time = run_.elapsed() - t0_;
    if (fallback.status == QpResult::kOptimal) {
      s_.status = VLM_STATUS_OPTIMAL;
      take_point(data_, sm_, qp_, fallback.x, fallback.y, true, s_);
      return true;
    }
    if (!fallback.x.empty())
      run_.log.linef("Ipopt ends unconfirmed (primal %.2g, dual %.2g, gap %.2g)", fallback.check.primal,
                     tol_.dual_of(fallback.check), tol_.gap_of(fallback.check));
    if (!fallback.x.empty() && fallback.check.primal <= loose_ &&
        (!feasible_point_ || tol_.merit(fallback.check) < tol_.merit(r_.check)))
      r_ = std::move(fallback);
    feasible_point_ = !r_.x.empty() && r_.check.primal <= loose_;
    if (fallback.status == QpResult::kStopped && !run_.stopped_by()) run_.stop(VLM_ERROR_ABORT_TIME_LIMIT);
    if (feasible_point_ || run_.stopped_by()) return false;
    if (has_feasible_point(sm_, run_) == 0) {
      s_.status = VLM_STATUS_INFEASIBLE;
      return true;
    }
    return false;
  }

  const ModelData& data_;
  const SolverModel& sm_;
  RunControl& run_;
  const ParamValues& p_;
  const QpTolerances tol_;
  const double loose_;
  const QpData qp_;
  RunOutcome out_;
  Solution& s_ = out_.solution;
  double t0_ = 0;
  QpResult r_;
  bool feasible_point_ = false;
};

}  // namespace

RunOutcome solve_qp(const ModelData& data, const SolverModel& sm, RunControl& run) {
  return QpRun(data, sm, run).solve();
}

}  // namespace velmor
