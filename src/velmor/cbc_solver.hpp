// The branch-and-cut run on CBC, with the slots through which a callback
// engine joins it.
#pragma once
#include "solve.hpp"

class CbcModel;

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

// Runs CBC on `sm`; `hooks` may be null.
RunOutcome run_cbc(const ModelData& data, const SolverModel& sm, RunControl& run, CbcHooks* hooks);

}  // namespace velmor
