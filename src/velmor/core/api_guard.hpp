// Every extern "C" entry point runs its body through api_call(), so no C++
// exception leaves the library: a refusal becomes its own code, allocation
// failures VLM_ERROR_NOMEMORY, anything else VLM_ERROR_ERROR.
#pragma once
#include <new>

#include "velmor.h"

namespace velmor {

// Thrown by validation code anywhere below an entry point to refuse the call
// with `code`. Entry points validate before they change anything, so a refusal
// never leaves a half-made change behind.
struct Refusal {
  int code;
};

[[noreturn]] inline void refuse(int code) { throw Refusal{code}; }

template <class F>
int api_call(F&& body) noexcept {
  try {
    return body();
  } catch (const Refusal& r) {
    return r.code;
  } catch (const std::bad_alloc&) {
    return VLM_ERROR_NOMEMORY;
  } catch (...) {
    return VLM_ERROR_ERROR;
  }
}

}  // namespace velmor
