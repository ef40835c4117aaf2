// Every extern "C" entry point runs its body through api_call(), so no C++
// exception leaves the library: allocation failures become
// VLM_ERROR_NOMEMORY, anything else VLM_ERROR_ERROR.
#pragma once
#include <new>

#include "velmor.h"

namespace velmor {

template <class F>
int api_call(F&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return VLM_ERROR_NOMEMORY;
  } catch (...) {
    return VLM_ERROR_ERROR;
  }
}

}  // namespace velmor
