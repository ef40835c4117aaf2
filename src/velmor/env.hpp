// The environment record behind VLMenv.
#pragma once
#include <memory>

#include "log.hpp"
#include "velmor.h"

struct VLMenv {
  std::shared_ptr<velmor::LogSink> log;  // never null
  bool started = false;
};
