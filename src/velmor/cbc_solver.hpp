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
  // (no preprocessing), so that column numbers stay the model's own.
  virtual bool needs_plain_search() const { return false; }
  // Called on the branch-and-cut model just before the search starts: the
  // place to add cut generators, heuristics or an event handler. CBC copies
  // what is added.
  virtual void before_search(CbcModel& model) = 0;
};

// Runs CBC on `sm`; `hooks` may be null.
RunOutcome run_cbc(const ModelData& data, const SolverModel& sm, RunControl& run, CbcHooks* hooks);

}  // namespace velmor
