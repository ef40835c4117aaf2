// QpData: a quadratic program as the checks and the QP methods read it, and
// the products and measures they take of a point.
#pragma once
#include <algorithm>
#include <cmath>
#include <vector>

class ClpSimplex;

namespace velmor {

struct SolverModel;

// Magnitudes from this on are infinite bounds and sides.
constexpr double kInfiniteBound = 1e20;
inline bool finite_bound(double v) { return std::fabs(v) < kInfiniteBound; }

inline double norm_inf(const std::vector<double>& v) {
  double r = 0;
  for (double x : v) r = std::max(r, std::fabs(x));
  return r;
}

// A symmetric matrix held by its upper triangle (row <= column), by columns
// (start has a column's count + 1 entries, or none for an empty matrix):
// out += Hx, out of as many entries as H has columns.
void add_symmetric_times(const std::vector<int>& start, const std::vector<int>& index, const std::vector<double>& value,
                         const double* x, double* out);
// c'x + 1/2 x'Hx, H held as above.
double quadratic_objective(const std::vector<double>& c, const std::vector<int>& h_start,
                           const std::vector<int>& h_index, const std::vector<double>& h_value, const double* x);

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

}  // namespace velmor
