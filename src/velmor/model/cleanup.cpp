// VLMcleanupmilp: tidies the integrality data of a model without renumbering
// anything, so every index a caller holds stays valid.
#include <cmath>

#include "model/model.hpp"
#include "core/params.hpp"

namespace {

bool integral_type(char type) { return type == VLM_INTEGER || type == VLM_BINARY || type == VLM_SEMIINT; }

}  // namespace

extern "C" int VLMcleanupmilp(VLMmodel* model, int* result) {
  if (!result) return VLM_ERROR_INVALID_ARGUMENT;
  return velmor::with_model(model, [&](VLMmodel& m) {
    velmor::check_writable(m);
    const double tol = m.env->params.get(velmor::kMipIntegerTolerance);
    velmor::Columns& c = m.data.cols;
    int changed = 0;
    // Bounds of integral variables rounded inward (a bound within the
    // integrality tolerance of an integer becomes that integer); binaries
    // kept within [0, 1]. Infinite bounds stay infinite.
    for (int j = 0; j < c.size(); ++j) {
      const size_t k = static_cast<size_t>(j);
      if (!integral_type(c.type[k])) continue;
      double lb = c.lb[k], ub = c.ub[k];
      if (lb > -VLM_INFINITY) lb = std::ceil(lb - tol);
      if (ub < VLM_INFINITY) ub = std::floor(ub + tol);
      if (c.type[k] == VLM_BINARY) {
        lb = std::max(lb, 0.0);
        ub = std::min(ub, 1.0);
      }
      if (lb != c.lb[k]) ++changed;
      if (ub != c.ub[k]) ++changed;
      c.lb[k] = lb;
      c.ub[k] = ub;
    }
    if (changed) m.data_changed();
    *result = changed;
    return VLM_OKAY;
  });
}
