// VLMoptimize: runs the solver that fits the model. Semidefinite models go to
// DSDP; no other solver is part of the library yet.
#include "model.hpp"
#include "sdp_solver.hpp"

namespace {

// Holds the model's busy flag for one run; a second run, changes and freeing
// are refused meanwhile.
class BusyFlag {
 public:
  explicit BusyFlag(VLMmodel& model) : model_(model) {
    bool idle = false;
    if (!model_.busy.compare_exchange_strong(idle, true)) velmor::refuse(VLM_ERROR_INVALID_ARGUMENT);
  }
  ~BusyFlag() { model_.busy.store(false); }
  BusyFlag(const BusyFlag&) = delete;
  BusyFlag& operator=(const BusyFlag&) = delete;

 private:
  VLMmodel& model_;
};

}  // namespace

extern "C" int VLMoptimize(VLMmodel* model) {
  return velmor::with_model(model, [&](VLMmodel& m) {
    BusyFlag busy(m);
    if (!velmor::has_semidefinite_part(m.data)) return VLM_ERROR_ABORT_SOLVER_NOT_AVAILABLE;
    return velmor::solve_sdp(m);
  });
}
