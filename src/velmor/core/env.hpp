// The environment record behind VLMenv.
#pragma once
#include <memory>

#include "core/log.hpp"
#include "core/params.hpp"
#include "velmor.h"

struct VLMenv {
  std::shared_ptr<velmor::LogSink> log;  // never null
  velmor::ParamValues params;
  bool started = false;
  // Set for the private environment of a model: VLMfreeenv refuses it, and
  // parameter changes are refused while that model is being optimised.
  VLMmodel* owner = nullptr;
};

namespace velmor {

// Refuses with VLM_ERROR_INVALID_ARGUMENT while the model owning `env` is
// being optimised (parameters are read by the running solver).
void check_env_writable(const VLMenv& env);

}  // namespace velmor
