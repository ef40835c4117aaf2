// Every extern "C" entry point runs its body through api_call(), so no C++
// exception leaves the library: a refusal becomes its own code, allocation
// failures VLM_ERROR_NOMEMORY, anything else VLM_ERROR_ERROR. A refusal may
// carry a text of its own, the reason, which VLMexplainerror gives for that
// code until the thread's next entry point call.
#pragma once
#include <new>

#include "velmor.h"

namespace velmor {

// Thrown by validation code anywhere below an entry point to refuse the call
// with `code`. Entry points validate before they change anything, so a refusal
// never leaves a half-made change behind.
struct Refusal {
  int code;
  const char* text = nullptr;  // the whole explanation, in static storage; null: the code's own
};

[[noreturn]] inline void refuse(int code) { throw Refusal{code}; }
// Refuses with `code` and `text` (a string literal: VLMexplainerror hands it
// out as text of static storage), which says why.
[[noreturn]] inline void refuse(int code, const char* text) { throw Refusal{code, text}; }

// The refusal that ended the calling thread's last entry point call, when it
// carried a text; cleared as every entry point call starts.
struct RefusalText {
  int code = VLM_OKAY;
  const char* text = nullptr;
};
inline thread_local RefusalText last_refusal;

template <class F>
int api_call(F&& body) noexcept {
  last_refusal = RefusalText();
  try {
    return body();
  } catch (const Refusal& r) {
    if (r.text) last_refusal = {r.code, r.text};
    return r.code;
  } catch (const std::bad_alloc&) {
    return VLM_ERROR_NOMEMORY;
  } catch (...) {
    return VLM_ERROR_ERROR;
  }
}

}  // namespace velmor
