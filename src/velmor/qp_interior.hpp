// Convex quadratic programs checked and, where CLP's quadratic primal fails,
// solved by a primal-dual interior point method of our own.
//
// CLP's quadratic primal is fast and warm-starts, but has been seen to stop
// at points that are not optimal while reporting them optimal, to give up
// (status 10) on feasible relaxations, and to loop for ever. Its answers are
// therefore checked (qp_verified: primal feasibility and a duality gap from
// its multipliers), and a relaxation it fails on is solved by
// solve_qp_interior: Mehrotra's predictor-corrector on dense matrices, for
// the small and medium models the MIQP search meets.
#pragma once
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

  // The relaxation held by `lp` (its bounds, rows and linear objective, cut
  // rows included) with the Hessian triangle given.
  static QpData from_clp(const ClpSimplex& lp, const std::vector<int>& h_start, const std::vector<int>& h_index,
                         const std::vector<double>& h_value);
  // The model as the solver takes it (minimised sense).
  static QpData from_model(const SolverModel& sm);
  double objective(const double* x) const;  // 1/2 x'Hx + c'x
  std::vector<double> activities(const double* x) const;
  std::vector<double> gradient(const double* x) const;  // Hx + c
  std::vector<double> reduced_gradient(const double* x, const double* y) const;  // Hx + c - A'y
};

struct QpResult {
  // 0 optimal; 1 infeasible bounds or rows found while reducing the problem;
  // 3 not solved (iteration limit, divergence: unbounded or numerically
  // hopeless, or the run was stopped).
  int status = 3;
  std::vector<double> x;  // columns
  std::vector<double> y;  // row multipliers: Hx + c - A'y is the reduced gradient
};

// Whether the problem is small enough for the dense matrices of
// solve_qp_interior (columns and rows at most kMaxInteriorSize); a larger
// one is left to CLP's answer.
constexpr int kMaxInteriorSize = 1500;
bool qp_interior_applies(int columns, int rows);

// Status 3 at once when the problem is beyond qp_interior_applies.
QpResult solve_qp_interior(const QpData& qp, RunControl& run);

// Whether x is feasible (bounds and rows within `feas_tol`, scaled by the
// bound) and optimal: with the row multipliers y, the reduced gradient
// d = Hx + c - A'y and y give a duality gap of at most `gap_tol` times
// max(1, |objective|), and no multiplier prices an infinite bound.
bool qp_verified(const QpData& qp, const double* x, const double* y, double feas_tol = 1e-6, double gap_tol = 1e-6);

}  // namespace velmor
