// The branch-and-cut run on CBC, with the slots through which a callback
// engine joins it.
#pragma once
#include <memory>

#include <CoinFinite.hpp>

#include "solve/solve.hpp"

class CbcModel;
class CoinWarmStart;

namespace velmor {

// What an engine adds to a CBC run. The run calls these on its own thread,
// while it holds CBC's entry lock.
class CbcHooks {
 public:
  virtual ~CbcHooks() = default;
  // True when the search must run on one thread and on the model as given
  // (no preprocessing, no restarts on a reduced model, no search inside CLP),
  // so that column numbers stay the model's own and every node passes
  // through the cut generators.
  virtual bool needs_plain_search() const { return false; }
  // Called on the branch-and-cut model just before the search starts: the
  // place to add cut generators, heuristics or a feasibility checker. CBC
  // copies what is added.
  virtual void before_search(CbcModel& model) = 0;
  // Every event of the run's event handler (a CbcEventHandler::CbcEvent) on
  // `model`: the search's own model or the sub-search of a heuristic. The
  // answer is a CbcEventHandler::CbcAction (-1: no action); a stop of the
  // run's limits takes precedence.
  virtual int on_event(CbcModel& model, int event) = 0;
  // Called with the outcome once the run is over.
  virtual void after_search(RunOutcome& out) = 0;
};

// While it exists, the running CBC gives up its entry lock, so that the
// thread may run other models (a callback's own solves among them); the
// driver's state is put back when the lock is taken again. Only for the
// thread of a run with hooks, during the search.
class CbcEntryPause {
 public:
  CbcEntryPause();
  ~CbcEntryPause();
  CbcEntryPause(const CbcEntryPause&) = delete;
  CbcEntryPause& operator=(const CbcEntryPause&) = delete;

 private:
  struct Saved;
  Saved* saved_;
};

// The basis of the root relaxation of a first search, from which a second
// search of the same model starts (on models whose relaxation takes long,
// solving it again cost the second search most of its time).
struct CbcRootBasis {
  std::shared_ptr<CoinWarmStart> basis;
};

// How a run searches. The first search is CBC's own (preprocessing, probing
// and the other cut generators, as the parameters say). A second search,
// which checks the first one's verdict (mip_verdicts.hpp), goes another way
// so that the two do not share a fault: without preprocessing, and without
// cut generators too where the first search had no preprocessing or where
// it looks for a solution better than a cutoff. Such a confirming search
// has a budget in work, and CBC's cut passes at the root do work it cannot
// stop (on p0201 of MIPLIB 4,270 simplex iterations, 0.8 s, before the
// first node); without them its nodes are cheap and each one counts. A
// search with a budget also keeps every node in CBC's own loop (none in
// CLP's branch-and-bound, which gives no events).
struct CbcSearch {
  bool second = false;
  // Only solutions better than this count (minimised sense, without the
  // objective's constant); a complete search without one then ends
  // INFEASIBLE.
  double cutoff = COIN_DBL_MAX;
  // A budget of the search's own in work (RunStats::work), counted the same
  // on any machine, loaded or not, under the sanitizer or not; MaxTime still
  // bounds it. Spending it is no limit of the run (the status is then
  // UNKNOWN, or SUB_OPTIMAL with a point).
  double work = COIN_DBL_MAX;
  // A first search keeps its root basis here; a second one starts from it.
  CbcRootBasis* root = nullptr;
};

// The most a first search without CGL's preprocessing gives an integer
// column as a bound on a side where it has none (cbc_solver.cpp,
// stand_in_bound).
constexpr double kIntegerStandIn = 1e10;

// Runs CBC on `sm`; `hooks` may be null.
RunOutcome run_cbc(const ModelData& data, const SolverModel& sm, RunControl& run, CbcHooks* hooks,
                   const CbcSearch& search = CbcSearch());

}  // namespace velmor
