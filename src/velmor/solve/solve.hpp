// What the solvers share: the run's limits and clock (RunControl), the model
// in the form every solver takes (SolverModel), and what a run hands back
// (RunOutcome). VLMoptimize (optimize.cpp) builds the first two, calls one
// solver and moves the outcome into the model.
#pragma once
#include <atomic>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "model/model.hpp"
#include "core/params.hpp"
#include "solve/solve_log.hpp"

namespace velmor {

class CallbackSession;

// Limits and clock of one run, read from the model's parameters when the run
// starts. Solvers poll should_stop() from their iteration and node events.
class RunControl {
 public:
  using Clock = std::chrono::steady_clock;
  RunControl(const ParamValues& params, SolveLog& log);

  const ParamValues& params;
  SolveLog& log;

  double elapsed() const;
  // Seconds left before MaxTime (wall clock); +infinity without a limit.
  double remaining() const;
  bool time_up() const;

  // Records the first limit that ends the run (a VLM_ERROR_ABORT_* code)
  // and asks every solver loop to stop.
  void stop(int reason);
  // True once stop() was called or MaxTime has passed (which records
  // VLM_ERROR_ABORT_TIME_LIMIT).
  bool should_stop();
  // The limit that ended the run early, 0 when none did.
  int stopped_by() const { return stopped_by_.load(); }

 private:
  Clock::time_point start_;
  double max_time_;
  std::atomic<int> stopped_by_{0};
};

// An SOS over solver columns, members ordered by increasing weight.
struct SolverSos {
  int type;
  std::vector<int> members;
  std::vector<double> weights;
};

// The model as the solvers take it. The objective is always minimised:
// `obj` and the Hessian hold the user's objective times `sense`, without its
// constant. The first user_cols columns and user_rows rows are the model's
// own, in its numbering; columns and rows after them are added by the
// reformulation of indicators and semi-continuous variables and never leave
// the solver layer. Infinite bounds are +-COIN_DBL_MAX.
struct SolverModel {
  int sense = VLM_MINIMIZE;
  double obj_const = 0.0;  // the user's constant, in the user's sense
  int user_cols = 0, user_rows = 0;

  std::vector<double> col_lb, col_ub, obj;
  std::vector<char> is_int;
  std::vector<double> row_lb, row_ub;
  // Column-major constraint matrix: column j has the entries
  // [col_start[j], col_start[j+1]).
  std::vector<int> col_start, row_index;
  std::vector<double> value;
  std::vector<SolverSos> sos;
  // The quadratic part as 1/2 x'Hx, H given by its upper triangle (row <=
  // column), column-major like the matrix; empty for a linear objective.
  std::vector<int> h_start, h_index;
  std::vector<double> h_value;
  // (model column, its switch): the binary the reformulation adds for a
  // semi-continuous column whose range excludes 0; it is 1 exactly when the
  // column is not 0.
  std::vector<std::pair<int, int>> semi_switch;
  // What build_solver_model reformulated, for the log: a line each.
  std::vector<std::string> reformulated;

  int num_cols() const { return static_cast<int>(col_lb.size()); }
  int num_rows() const { return static_cast<int>(row_lb.size()); }
  bool has_quad() const { return !h_value.empty(); }
  bool has_discrete() const;
  // A column in no row and no quadratic term (SOS membership aside) whose
  // objective improves towards an infinite bound: the model is then
  // unbounded exactly when it is feasible.
  bool has_unbounded_column() const;
  // A side no point can meet: a lower bound at +infinity or an upper bound at
  // -infinity, of a column or a row. CLP asserts on such rows, so a model
  // with one never reaches a solver: it is infeasible as it stands.
  bool impossible_row_side(int i) const;
  bool impossible_col_side(int j) const;
  bool has_impossible_side() const;
  // A row without a nonzero coefficient whose sides exclude 0 (beyond 1e-6):
  // no point meets it. (CLP's barrier has ended the process in a failed
  // assertion on such a model.)
  bool has_empty_row_excluding_zero() const;
  // An integer column with an infinite bound.
  bool has_unbounded_integer() const;
  // A column with an infinite bound (else the relaxation lies in a box and
  // has no direction).
  bool has_infinite_bound() const;
  // A value CGL's probing may give a column lies beyond 2^53, where x + 1 ==
  // x: a finite column bound there, a row side over one of the row's
  // coefficients there, or a bound the rows imply there (a few passes of
  // bound propagation). Probing
  // takes continuous columns that nothing keeps fractional for integers too,
  // and stops the process with a failed assertion when it probes one at such
  // a value; CBC runs such models without probing.
  bool has_value_beyond_probing() const;
  // The same test against another limit: a finite bound, a side over a
  // coefficient or a bound the rows imply beyond `limit` in magnitude.
  bool has_value_beyond(double limit) const;
  long long num_nonzeros() const { return static_cast<long long>(value.size()); }
  // The minimised objective at x (all solver columns), without the constant.
  double min_objective(const double* x) const;
};

// Builds the solver form of `data`: binary bounds intersected with [0, 1],
// indicators and semi-continuous variables reformulated (indicators.cpp).
SolverModel build_solver_model(const ModelData& data, const ParamValues& params);

// 2^53: beyond it not every integer is a double (x + 1 == x).
constexpr double kExactIntegers = 9007199254740992.0;

// Reasoning on the model's own rows of integer columns before a search
// (integer_rows.cpp), exact at every integer point of the model: the sides
// of a row whose columns are integer (or fixed), with coefficients that are
// integers times a power of two, go in to the next activity an integer
// point gives it (noise aside: integer_rows.cpp), a multiple of the coefficients' greatest common divisor
// past the fixed columns' terms (2x + 4y >= 3 becomes 2x + 4y >= 4), and the
// search and the checks of its verdict take those sides; no relaxation sees
// them otherwise, and a search over free integer columns may branch for
// ever on a row its integers never meet. `proof`: rows that together leave
// no integer point, empty when none were found: one whose rounded sides
// cross (2x + 4y = 3; its sides stay as they were, `step` its lattice's),
// two with the same coefficients up to a factor whose rounded sides do not
// meet, or rows between which the continuous column `eliminated` was
// eliminated, leaving a row of integer columns without an integer point.
// `moved`: the sides changed.
struct IntegerRows {
  std::vector<int> proof;
  int eliminated = -1;
  double step = 0.0;
  int moved = 0;
};
IntegerRows round_integer_rows(SolverModel& sm);
// Logs the rows of `lattice.proof` (by name where `d` has one) and why they
// leave no integer point.
void log_rows_without_integer_point(const ModelData& d, const IntegerRows& lattice, SolveLog& log);

// Numbers the solvers cannot take (each stops the process with a failed
// assertion inside CLP or CGL), logged when found: a linear objective
// coefficient of magnitude 1e25 or more (CLP's LP presolve happens to scale
// such objectives, nothing else does), and a finite bound beyond 2^53 on an
// integer column (where doubles no longer hold every integer, CGL's probing
// cannot round). Every run refuses them the same way.
bool objective_beyond_solvers(const SolverModel& sm, SolveLog& log);
bool integer_bound_beyond_solvers(const SolverModel& sm, SolveLog& log);

// CBC's SOS sets are made for non-negative members: their check of a point
// has stopped the process (an assertion) on a member that may be negative
// and that the rows keep from 0. A model with such a member goes to
// miqp.cpp's search instead, which takes |x| for non-zero, whatever the
// objective. (Members that cannot be 0 reach CBC through copies that can:
// build_solver_model.)
bool has_sos_member_beyond_cbc(const SolverModel& sm);

// Reformulates the indicator constraints and semi-continuous variables of
// `data` into extra columns, rows and SOS1 sets appended to `sm`, whose own
// part must already be built from `data`; an SOS1 set of binaries becomes
// its row (the sum of its members at most 1) instead.
void reformulate_discrete(const ModelData& data, double big_m, SolverModel& sm);

// Writes sm.reformulated to the log.
void log_reformulation(const SolverModel& sm, SolveLog& log);

// Whether the minimised quadratic objective's Hessian H is positive
// semidefinite up to rounding (convexity.cpp): H + 1e-5 diag(r), r_i the sum
// of |H_ij| over row i, must factorise with positive pivots. A linear
// objective is convex. When not convex and H touches at most 500 columns,
// `smallest_eigenvalue` is set to H's smallest eigenvalue (else NaN).
// Stopped when the run must stop first; Unknown when the factorisation does
// not fit in memory.
enum class Convexity { Convex, NotConvex, Stopped, Unknown };
Convexity hessian_convexity(const SolverModel& sm, RunControl& run, double* smallest_eigenvalue);

// What a run produced, in the user's terms; moved into the model at the end.
struct RunOutcome {
  Solution solution;
  RunStats stats;
  int code = VLM_OKAY;  // what VLMoptimize returns
  // The engine's own account of its answer disagrees with its point (CBC:
  // the objective changed when the point was mapped back from the
  // preprocessed model). mip_verdicts.cpp does not take such an answer as it is.
  bool doubtful = false;
};

// Fills the primal part of `s` from solver values (user columns first): x,
// row activities of the model's rows and the objective in the user's sense
// with its constant.
void set_primal(const ModelData& data, const double* solver_x, Solution& s);
// The user's objective at x (model columns), constant included.
double user_objective(const ModelData& data, const double* x);

// The solvers. Each reads `sm` and the run's parameters and returns the
// outcome; none of them changes the model.
// LP. `start`, where given, is a starting basis of the model's columns and
// rows for the simplex methods (used when its sizes match `sm`'s).
RunOutcome solve_with_clp(const ModelData& data, const SolverModel& sm, RunControl& run,
                          const StartBasis* start = nullptr);
RunOutcome solve_qp(const ModelData& data, const SolverModel& sm, RunControl& run);  // qp_solver.cpp
RunOutcome solve_with_cbc(const ModelData& data, const SolverModel& sm, RunControl& run);
// A MIP run that gives the model's callback its turns (cbc_callback.cpp).
RunOutcome solve_cbc_with_callback(CallbackSession& session, const ModelData& data, const SolverModel& sm,
                                   RunControl& run);
// `session` null: no callback. `unbounded_node`, where given and the search
// ends unbounded: the model under the bounds of the node whose relaxation
// was unbounded with every SOS set settled by them.
RunOutcome solve_miqp(const ModelData& data, const SolverModel& sm, RunControl& run,
                      CallbackSession* session = nullptr, SolverModel* unbounded_node = nullptr);

}  // namespace velmor
