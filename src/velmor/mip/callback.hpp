// The callback engine's solver-independent part: one CallbackSession per run
// of a model with a registered callback. A solver (cbc_callback.cpp,
// miqp.cpp) fills a TurnData at each where-point and calls turn(); the
// VLMcb* entry points read and submit through the TurnData handed to the
// callback as its `cbdata`. After a turn the solver collects what the
// callback submitted: new cuts (cuts()), checked solutions
// (take_solutions()) and a branching request (take_branch()).
//
// Columns: the "presolved" model of the what-codes 200-212 is the model's own
// columns and rows in the form the solver gets them (bounds of binaries
// within [0, 1], semi-continuous ranges widened to include 0, objective in
// the model's sense); the columns and rows the reformulation of indicators
// and semi-continuous variables adds stay hidden. So presolved indices are
// the model's, and every ...p entry point equals its plain twin.
//
// Objectives reported to the callback are in the model's sense with its
// constant; inside the solvers everything is minimised (SolverModel).
#pragma once
#include <vector>

#include "solve/solve.hpp"

namespace velmor {

class CallbackSession;

// A cut added by the callback: lb <= row . x <= ub over the model's columns
// (one side may be infinite, +-COIN_DBL_MAX). Valid for the whole search.
struct StoredCut {
  SparseVector row;
  double lb, ub;
};

// A solution the callback proposed that passed every check: all solver
// columns, and its objective in the minimised sense without the constant.
struct CheckedSolution {
  std::vector<double> x;
  double min_value;
};

// "Branch on column `col` next, exploring the up branch first when way > 0,
// the down branch when way < 0, the solver's choice when 0".
struct BranchRequest {
  int col = -1;
  int way = 0;
};

// What one turn offers and accepts; the callback's `cbdata` points here.
// Solver arrays are over all solver columns and stay valid for the turn.
struct TurnData {
  CallbackSession* session = nullptr;
  int where = 0;

  // The search, minimised sense without the constant.
  double incumbent_min = 1e300;  // >= 1e299: no incumbent yet
  const double* incumbent = nullptr;
  // At MIPSOL: `incumbent` is a candidate the solver has not taken yet (the
  // turn decides: a cut that it violates refuses it), and `accepted` is the
  // incumbent before it (null: none). Cuts may not cut off `accepted`.
  bool candidate = false;
  const double* accepted = nullptr;
  double bound_min = -1e300;  // a valid global bound; <= -1e299: none known
  int nodes = 0, solutions = 0, cuts_applied = 0, open_nodes = 0, node_id = 0, depth = 0;

  // The relaxation just solved (MIPSTART, MIPNODE).
  bool has_relaxation = false;
  double relaxation_min = 0.0;
  const double* x = nullptr;
  const double* reduced_cost = nullptr;  // minimised sense
  const double* col_lb = nullptr;        // the node's bounds
  const double* col_ub = nullptr;
  // The search's stand-in for an infinite bound (0: none): a node's bound
  // there, on a side the model leaves infinite, is infinite.
  double stand_in = 0;

  // Arrays handed out by VLMcbget, made on first request (index: what-code).
  std::vector<std::vector<double>> doubles;
  // Set by VLMcbbranch, taken by the solver after the turn.
  BranchRequest branch;
};

class CallbackSession {
 public:
  CallbackSession(VLMmodel& model, const ModelData& data, const SolverModel& sm, RunControl& run);

  const SolverModel& solver_model() const { return sm_; }
  RunControl& run() { return run_; }

  // Calls the callback for `t` (where and data filled in by the solver).
  // Returns false once the run must end: the callback answered non-zero now
  // or in an earlier turn (then it is not called again). Turns at MIPSOL
  // are deduplicated by the solver (new_incumbent()).
  bool turn(TurnData& t);
  bool stopped() const { return answer_ != 0; }
  // The callback's non-zero answer that ended the run, 0 when none did.
  int answer() const { return answer_; }
  // Whether MIPSTART was given (it is given once, before any other turn).
  bool started() const { return started_; }

  // True when x (solver columns, objective min_value) is better than the
  // last incumbent reported at MIPSOL (solvers report one incumbent more
  // than once, CBC also after re-solving its continuous part); records it.
  bool new_incumbent(const double* x, double min_value);

  // MIPSOL is given for a candidate incumbent before the solver takes it, so
  // that the callback's cuts (lazy constraints) can refuse it. A solver
  // fills `t` with its search data and calls candidate_turn; the candidate
  // x (solver columns, objective min_value) may be taken only when this
  // returns true (it satisfies every cut, those of its turn included). A
  // turn is given once per candidate that satisfies the cuts given so far
  // and is better than the last incumbent reported (none when the run is
  // stopped). `accepted` is the incumbent before it, or null. `run` is how
  // the solver runs a turn (it may pause its own locks around turn()). Once
  // the solver took a solution it calls new_incumbent() as ever; that is
  // true for a solution whose candidate turn was given, which then needs no
  // other (turned_as_candidate).
  template <class RunTurn>
  bool candidate_turn(TurnData& t, const double* x, double min_value, const double* accepted, RunTurn&& run) {
    if (!satisfies_cuts(x)) return false;  // refused by cuts the callback gave before: no turn
    if (!stopped() && wants_candidate(x, min_value)) {
      t.where = VLM_CB_MIPSOL;
      t.candidate = true;
      t.incumbent = x;
      t.incumbent_min = min_value;
      t.accepted = accepted;
      ++t.solutions;  // counting the new one
      last_candidate_.assign(x, x + sm_.user_cols);
      run(t);
    }
    return satisfies_cuts(x);
  }
  // Whether x is the last candidate given a turn.
  bool turned_as_candidate(const double* x) const;

  // Cuts the callback added, in order of addition.
  const std::vector<StoredCut>& cuts() const { return cuts_; }
  // How far x (solver columns) violates `cut`, relative to its scale; 0 when
  // it holds.
  static double violation(const StoredCut& cut, const double* x);
  // Whether x satisfies every stored cut.
  bool satisfies_cuts(const double* x) const;

  // Solutions accepted since the last call, oldest first.
  std::vector<CheckedSolution> take_solutions();
  // Queues a solution known to pass every check (an earlier incumbent).
  void offer(CheckedSolution s) { solutions_.push_back(std::move(s)); }
  // Queues the candidate x (solver columns) with its integer columns kept
  // and the rest solved again over the model and the cuts, where that meets
  // them all and is better than `incumbent_min`: CBC rounds the integer
  // columns of an integral relaxation before it checks it, which moves its
  // point off a row or a cut the relaxation met (a cut that copies a model
  // row, by 4e-6), and gives the node that refuses it a child with the
  // same relaxation, for ever. Once per candidate.
  void offer_repaired(const double* x, double incumbent_min);
  bool has_solutions() const { return !solutions_.empty(); }

  // The VLMcb* entry points, after their argument checks.
  int get(TurnData& t, int what, void* result, int* length);
  int add_cut(TurnData& t, int nnz, const int* ind, const double* val, char sense, double rhs);
  int add_branch(TurnData& t, int index, double value, int way);
  int add_solution(TurnData& t, const double* values, double* objval);

 private:
  double user_value(double min_value) const { return sm_.sense * min_value + sm_.obj_const; }
  const std::vector<double>& doubles(TurnData& t, int what);
  // Completes and checks a proposed solution; false when it is refused.
  bool complete(const double* values, std::vector<double>& x);

  VLMmodel& model_;
  VLMcallback fn_;
  void* usrdata_;
  const ModelData& data_;
  const SolverModel& sm_;
  RunControl& run_;
  int answer_ = 0;
  bool started_ = false;
  std::vector<StoredCut> cuts_;
  std::vector<CheckedSolution> solutions_;
  bool wants_candidate(const double* x, double min_value) const;

  std::vector<double> last_incumbent_;
  double last_incumbent_min_ = 0.0;
  bool reported_incumbent_ = false;
  std::vector<double> last_candidate_;  // the last candidate given a turn
  std::vector<double> last_repaired_;   // the last candidate offer_repaired took

  // The presolved model (see the file comment), made once per run.
  int pre_nnz_ = 0;
  std::vector<double> pre_lb_, pre_ub_, pre_lhs_, pre_rhs_, pre_obj_, pre_elements_;
  std::vector<int> pre_isint_, pre_indices_, pre_starts_;
};

// Tolerances of the engine's checks: a stored cut or row may be violated by
// kCheckTolerance times its scale.
constexpr double kCheckTolerance = 1e-6;
// A cut's coefficients and side stay below this magnitude (as the
// objective's, objective_beyond_solvers).
constexpr double kCutValueLimit = 1e25;

}  // namespace velmor
