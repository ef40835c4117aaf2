// What the CLP-based solvers (clp_solver.cpp, miqp.cpp) share: loading a
// SolverModel into a ClpSimplex, the simplex parameters, the event handler
// that enforces the run's limits, and reading results back.
#pragma once
#include <cstdint>
#include <vector>

#include <ClpEventHandler.hpp>
#include <ClpQuadraticObjective.hpp>
#include <ClpSimplex.hpp>

#include "solve/solve.hpp"

namespace velmor {

// Loads columns, rows, matrix, objective and the Hessian's upper triangle
// (without `with_objective`, a zero objective instead). CLP reads a triangle
// as the symmetric matrix it stands for; a full symmetric matrix would have
// its off-diagonal entries counted twice.
void load_clp(const SolverModel& sm, ClpSimplex& simplex, bool with_objective = true);

// Replaces a quadratic objective by its linear part. (CLP's own
// deleteQuadraticObjective keeps a quadratic objective object without its
// matrix, on which the primal simplex has been seen to crash.)
void drop_quadratic_objective(ClpSimplex& simplex);

// Tolerances, pricing and the simplex iteration limit.
void apply_simplex_params(const ParamValues& params, ClpSimplex& simplex);

// Shared by an event handler and the copies CLP makes of it (presolved
// models, the barrier): one run's counters and its stop request.
struct ClpRunState {
  RunControl* run;
  int ipm_limit = 0;         // IPM/MaxIterations
  int ipm_iters = 0;         // barrier iterations seen
  double presolve_start = -1, presolve_end = -1;  // run clock, -1 when not seen
  bool diverged = false;     // the barrier's objective ran off (clp_solver.cpp): stop
};

// Stops CLP when the run must stop (MaxTime, a stop request) or the barrier
// diverged, and counts barrier iterations, which are the iteration events of
// a handler copy that has no simplex model.
class ClpRunHandler : public ClpEventHandler {
 public:
  explicit ClpRunHandler(ClpRunState* state) : state_(state) {}
  int event(Event which) override;
  ClpEventHandler* clone() const override { return new ClpRunHandler(*this); }

 private:
  ClpRunState* state_;
};

// CLP's quadratic primal can loop for ever on moves inside the feasible
// region that count no iteration and poll no event handler; the objective's
// reduced gradient is the one thing every such move asks for. A guarded
// objective counts those calls: after kIdleCalls of them without a simplex
// iteration it stops the run with status 3 and sets `tripped`, and when the
// run must stop (MaxTime, a stop request) with status 5 once kStartupCalls
// have passed (CLP's start-up asks for the gradient too and ends the
// process in an assertion when its status changed meanwhile).
struct QuadraticGuard {
  static constexpr long long kIdleCalls = 20000;
  static constexpr long long kStartupCalls = 50;
  RunControl* run = nullptr;
  int last_iterations = -1;
  long long idle_calls = 0;
  bool tripped = false;
  void reset() { last_iterations = -1, idle_calls = 0, tripped = false; }
};

class GuardedQuadraticObjective : public ClpQuadraticObjective {
 public:
  GuardedQuadraticObjective(const ClpQuadraticObjective& base, QuadraticGuard* guard)
      : ClpQuadraticObjective(base), guard_(guard) {}
  double reducedGradient(ClpSimplex* model, double* region, bool use_feasible_costs) override;
  ClpObjective* clone() const override { return new GuardedQuadraticObjective(*this); }
  ClpObjective* subsetClone(int number_columns, const int* which_columns) const override;

 private:
  QuadraticGuard* guard_;
};

// Replaces the quadratic objective of `simplex` (loaded by load_clp) by a
// guarded copy; `guard` must outlive the simplex and its copies.
void guard_quadratic_objective(ClpSimplex& simplex, QuadraticGuard* guard);

// Rows or columns longer than this many entries: CLP's presolve steps
// (doubletons, tripletons, GUB rows, duplicate columns) and its LU
// factorisation then take time that grows with the square of such a
// line's length, without polling the run's limits. On a million-row LP
// whose one row holds a million entries (an arithmetic mean: sum(E) = 0,
// Mean + E[z] = z) presolve alone would take hours; at this length such
// structures cost CLP's presolve about 2 s.
constexpr std::int64_t kLongLine = 20000;

// Whether a row or a column of `sm` holds more than kLongLine entries;
// CLP's presolve is then left out of every run.
bool has_long_line(const SolverModel& sm);

// Whether the rows and bounds of `sm` admit a point, decided on evidence
// checked on the model as given: 1 when a point meets them (is_feasible to
// 1e-6), 0 when a bound pair or a row's sides cross or a Farkas certificate
// (is_infeasibility_certificate) proves that none does, -1 when neither is
// found (the run must stop, or CLP gave up). The evidence comes from CLP's
// primal simplex, presolve on, on the elastic problem: every row side may be
// violated at unit cost per unit (presolve off on models with long lines,
// has_long_line). That problem always has an optimum; at it the violations
// vanish, or the row duals are the certificate. (On a 300
// product, 24 period production plan short of capacity it took 17 s where
// the dual simplex on a zero objective took 25 s and the primal without
// presolve about a minute; CLP's dual on the model itself takes 5 s.)
int has_feasible_point(const SolverModel& sm, RunControl& run);

// Whether the linear relaxation of `sm` (integrality, SOS sets and a
// quadratic part aside) has a direction along which the objective falls and
// no row side or bound is ever reached: 1 when the direction LP (the
// relaxation's recession cone within the box [-1, 1], objective c'd) finds
// one that is_unbounded_direction confirms, 0 when that LP's checked
// optimum is 0 (no such direction: where the relaxation is feasible it has
// an optimum), -1 when it gives no answer. With a point of the model, a 1
// proves an LP unbounded; CLP's own verdict is only a status.
int improving_direction(const SolverModel& sm, RunControl& run);

// ColBasis/RowBasis code of a CLP status.
int basis_code(ClpSimplex::Status status);

// Sets the statuses of `simplex` (loaded by load_clp from `sm`) from a
// starting basis of VLM_BASIS_* codes, one per column and row of `sm`: a
// nonbasic code at an infinite bound stands for the other bound, or for a
// free nonbasic when both are infinite.
void set_start_basis(const SolverModel& sm, const StartBasis& basis, ClpSimplex& simplex);

// Whether x (all solver columns) lies within the bounds and rows of `sm`,
// and, when `integral`, takes integer values on integer columns, each within
// `tol` (scaled by the magnitude of the bound).
bool is_feasible(const SolverModel& sm, const double* x, double tol, bool integral, double int_tol);

// The dual objective, in the minimised sense without the constant, of the
// multipliers y (rows) and d (columns) at x: the bounds each multiplier
// prices, less 1/2 x'Hx. A multiplier on an infinite bound prices the
// activity instead.
double min_dual_objective(const SolverModel& sm, const double* x, const double* y, const double* d);

}  // namespace velmor
