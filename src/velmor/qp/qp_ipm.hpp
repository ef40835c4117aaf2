// The QP methods and their result: the interior point method (qp_ipm.cpp) and its fallback, Ipopt (qp_ipopt.cpp).
//
// The interior point method, a sparse primal-dual method for convex QPs; it
// solves every QP and every MIQP relaxation CLP's quadratic primal does not
// settle. The map of qp_ipm.cpp:
//  - Reduction: fixed columns are substituted, rows that no free column
//    enters are checked against their sides and dropped, rows without a
//    finite side dropped; rows with two sides apart or one get a slack
//    column. Crossed bounds or sides end the run (infeasible as it stands).
//  - Scaling: Ruiz equilibration of the KKT matrix [Q B'; B 0]; where a
//    bound or side stays beyond 1e4, a common factor on the columns (its
//    inverse on the rows) that brings the largest to 1e3; a factor on the
//    objective.
//  - Start: the least squares point of [Q + I, B'; B, 0], moved inside the
//    bounds by Mehrotra's shifts of the slacks and multipliers.
//  - Each iteration measures its point on the problem as given
//    (check_qp_point) and keeps the best point met (a nearly feasible one
//    before any other, then the one of lower merit). It ends at a point
//    that meets the tolerances; a point that meets them relative to 1 + ...
//    only is polished (below). From the second iteration on, the iterate
//    and the last step are tried as certificates of infeasibility (row
//    multipliers) or unboundedness (a column direction), raw and with their
//    noise dropped.
//  - The step: the KKT system is regularised into a quasi-definite one
//    (1e-12 times mu, within [1e-12, 1e-8], and no lower than a
//    regularisation whose factors' refinement gained nothing; an iteration
//    whose step is not finite is made again with the floor raised a
//    hundredfold) and
//    factorised by the supernodal LDL' of sparse_ldl.hpp. Each solve is
//    refined against the unregularised system by GMRES, preconditioned from
//    the right by the factors, for up to three restarted cycles while each
//    halves the residual (where the first does not, the other solves with
//    those factors skip the refinement). Mehrotra's predictor and corrector
//    give the direction; up to two of Gondzio's centrality correctors then
//    lengthen a step below 0.95, pulling the products w z into
//    [0.1, 10] sigma mu. The corrector is solved to 1e-11 (relative), the
//    predictor and the centrality correctors, which only shape the step,
//    to 1e-6. The step goes 0.995 of the way to the nearest bound of a
//    slack or multiplier.
//  - Polishing: the bounds the iterate treats as active are made
//    equalities and that problem is solved directly, the set corrected by
//    its multipliers' signs and its crossed bounds up to 8 times. Tried
//    when an iterate meets the tolerances relative to 1 + ..., again each
//    time the iterates come a hundred times nearer, and at the end on the
//    last iterate kept as the best point when the run failed or reached the
//    iteration limit.
//  - The run also ends at the iteration limit, on a stop, when a
//    factorisation fails, when the iterates diverge (beyond 1e30) and when
//    they stall: ten steps in a row below 1e-6, fifty iterations without
//    halving the best merit, or a primal or dual measure that, once the
//    point is nearly feasible, no longer falls with mu (not tenfold in ten
//    iterations while mu fell ten thousandfold). It hands back the best
//    point met.
//  - Stops: the long loops of every phase (the reduction, the scaling, the
//    KKT pattern, the analysis and factorisations, the solves and their
//    refinement, polishing) count their work in a WorkPoll that looks at
//    the run's clock about once a millisecond; a stop heard inside a phase
//    drops that phase's work (a step, a polished point not yet measured)
//    and the run ends kStopped with the best point met.
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
