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
#include <algorithm>
#include <vector>

class ClpSimplex;

namespace velmor {

class RunControl;
struct SolverModel;

// min 1/2 x'Hx + c'x  s.t.  row_lb <= Ax <= row_ub, col_lb <= x <= col_ub.
// Infinite bounds are +-COIN_DBL_MAX (anything of magnitude >= 1e20 counts
// as infinite). A is column-major; H is given by its upper triangle
// (row <= column), column-major, and stands for the symmetric matrix.
struct QpData {
  int n = 0, m = 0;
  std::vector<int> a_start, a_index;  // a_start has n + 1 entries
  std::vector<double> a_value;
  std::vector<int> h_start, h_index;  // empty: no quadratic part
  std::vector<double> h_value;
  std::vector<double> c, col_lb, col_ub, row_lb, row_ub;
  // The objective's constant (minimised sense): it takes no part in the
  // solve, only in how near the optimum an objective must be (QpCheck).
  double constant = 0;

  // The relaxation held by `lp` (its bounds, rows and linear objective, cut
  // rows included) with the Hessian triangle given.
  static QpData from_clp(const ClpSimplex& lp, const std::vector<int>& h_start, const std::vector<int>& h_index,
                         const std::vector<double>& h_value);
  // The model as the solver takes it (minimised sense).
  static QpData from_model(const SolverModel& sm);
  double objective(const double* x) const;  // 1/2 x'Hx + c'x
  std::vector<double> activities(const double* x) const;
  std::vector<double> hessian_times(const double* x) const;  // Hx
  std::vector<double> gradient(const double* x) const;       // Hx + c
  std::vector<double> reduced_gradient(const double* x, const double* y) const;  // Hx + c - A'y
};

// How far a point x with row multipliers y is from optimal, measured on the
// problem as given; the reduced costs are d = Hx + c - A'y, so
// stationarity holds by construction.
//  primal: the largest violation of a bound or row side, each relative to
//    max(1, |side|, the largest |a_ij x_j| of the row);
//  dual: the largest multiplier of the wrong sign (a d_j > 0 on a column
//    without lower bound, d_j < 0 without upper bound, y_i > 0 on a row
//    without lower side, y_i < 0 without upper side; a row's counted times
//    its largest |a_ij|), relative to 1 + the largest |c_j|, |(Hx)_j|,
//    |(A'y)_j|;
//  gap: the complementarity sum, |multiplier| times the distance to the
//    side it prices, over all bounds and rows, relative to 1 + the largest
//    of |objective|, |c'x| and x'Hx/2.
// QP verdicts take the last two against the objective's own size, so that
// an objective far below 1 (a variance) or far below its terms (a sum of
// squares that cancels to 0) is as accurate as any other:
//  objective_dual: the dual measure relative to the smaller of 1 + G and
//    max(G, 1e-6), G the largest |c_j|, |(Hx)_j|, |(A'y)_j|;
//  objective_gap: the complementarity sum relative to the smaller of
//    max(1, |objective + constant|) and max(1e-6, |objective|, |c'x|,
//    x'Hx/2). Within 1e-8 it bounds the objective's distance from the
//    optimum by about 1e-8 max(1, |optimum|) (and by 1e-8 of the terms),
//    primal and dual infeasibility aside.
struct QpCheck {
  double primal = 1e300, dual = 1e300, gap = 1e300;
  double objective_dual = 1e300, objective_gap = 1e300;
  double objective = 0;  // 1/2 x'Hx + c'x
};
QpCheck check_qp_point(const QpData& qp, const double* x, const double* y);

struct QpTolerances {
  double primal = 1e-8, dual = 1e-8, gap = 1e-8;
  // Set for QP verdicts: the dual and gap measures against the objective's
  // own size (objective_dual, objective_gap).
  bool objective_scaled = false;
  double dual_of(const QpCheck& c) const { return objective_scaled ? c.objective_dual : c.dual; }
  double gap_of(const QpCheck& c) const { return objective_scaled ? c.objective_gap : c.gap; }
  bool met(const QpCheck& c) const { return c.primal <= primal && dual_of(c) <= dual && gap_of(c) <= gap; }
  // How far c is from the tolerances: the worst of its three ratios.
  double merit(const QpCheck& c) const {
    return std::max({c.primal / primal, dual_of(c) / dual, gap_of(c) / gap});
  }
};

// Primal infeasibility: row multipliers y for which the column multipliers
// -A'y price only finite bounds (up to columns beyond 1e8 times the
// problem's largest finite bound or side), and the rows and bounds they
// price add up to a positive value: no point satisfies every side.
bool is_infeasibility_certificate(const QpData& qp, const std::vector<double>& y);
// Unboundedness of a feasible problem: a direction d with Hd = 0 and
// c'd < 0 along which no bound and no row side is ever reached, each within
// 1e-7 of |d| (and c'd below -1e-6 max(1, |c|)).
bool is_unbounded_direction(const QpData& qp, const std::vector<double>& d);

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
