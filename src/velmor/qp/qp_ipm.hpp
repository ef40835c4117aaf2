// Convex quadratic programs: the data as the QP solvers take it, the check
// that decides whether a point is optimal, the certificates of
// infeasibility and unboundedness, and the sparse primal-dual interior point
// method that solves every QP and every MIQP relaxation CLP's quadratic
// primal does not settle.
//
// The method: the problem is reduced (fixed columns substituted, rows
// without sides dropped), rows with two sides or one get a slack column,
// and the whole is scaled by Ruiz equilibration of its KKT matrix and a
// factor on the objective. Mehrotra's predictor-corrector then iterates on
// the regularised quasi-definite KKT system (the regularisation shrinking
// with mu), factorised each iteration by the supernodal LDL' of
// sparse_ldl.hpp, with iterative refinement against the unregularised
// system. Every iterate is measured on the problem as given
// (check_qp_point); iterates near the optimum are polished on the active
// set they show. The run ends when a point meets the tolerances, when an
// iterate's multipliers or columns form a certificate of infeasibility or
// unboundedness, or when it stalls or is stopped, and then hands back the
// best point it met.
#pragma once
#include <vector>

#include "solve/point_check.hpp"

namespace velmor {

class RunControl;

struct QpResult {
  enum Status {
    kOptimal,     // x, y meet the tolerances
    kInfeasible,  // certificate (row multipliers) in `ray`
    kUnbounded,   // a certified direction in `ray`; feasibility not decided
    kStopped,     // the run must stop (MaxTime, a stop request)
    kIterationLimit,
    kTooLarge,    // the factorisation does not fit the limits of its indices
    kFailed       // stalled, or numerically hopeless
  };
  Status status = kFailed;
  std::vector<double> x, y;  // the best point met (empty when none), all columns and rows
  QpCheck check;             // of x, y
  std::vector<double> ray;
  int iterations = 0;
};

// max_iterations: at most this many iterations (IPM/MaxIterations);
// verbose: a log line per iteration.
QpResult solve_qp_ipm(const QpData& qp, const QpTolerances& tol, RunControl& run, int max_iterations,
                      bool verbose);

// The fallback where solve_qp_ipm stalls (qp_ipopt.cpp): Ipopt with its
// MUMPS, one run at a time in the process, stopped through its iteration
// callback. kOptimal when its point passes check_qp_point, kStopped when the
// run must stop, else (Ipopt failed, or made no progress for 150
// iterations) kFailed; x and y are its last point when it has one.
QpResult solve_qp_ipopt(const QpData& qp, const QpTolerances& tol, RunControl& run);

}  // namespace velmor
