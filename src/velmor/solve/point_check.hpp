// The checks of a point on a quadratic program as given (QpCheck,
// check_qp_point, QpTolerances) and the certificates of infeasibility and
// unboundedness.
#pragma once
#include <algorithm>
#include <vector>

#include "solve/qp_data.hpp"

namespace velmor {

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

}  // namespace velmor
