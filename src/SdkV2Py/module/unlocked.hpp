// Library calls made with the interpreter lock released.
//
// A library call that can take long (a solve, a file read or write) runs
// without the interpreter lock, so that the program's other threads go on
// meanwhile. Such a call touches no Python object: convert every argument to C
// first (CText, vectors), call, and make Python objects from the results after.
//
//   CText name(filename);                        // conversions: lock held
//   check_rc(call_unlocked(holder, [&](VLMmodel* model) {
//     return VLMwrite(model, name.get());        // no Python object in here
//   }));
//
// call_unlocked marks the holder busy (BusyHolder) for the calling thread,
// takes the handle (live_model, or live_env for a callable taking a VLMenv*),
// releases the lock around `call` and retakes it before it returns or throws.
// While the call runs, other threads are refused the holder's handle and
// nobody may dispose it or make a second unlocked call on it; the caller keeps
// the holder and every buffer it passes alive throughout (they are its locals).
#pragma once
#include <Python.h>

#include <type_traits>
#include <utility>

#include <velmor.h>

#include "module/holder.hpp"
#include "module/ref.hpp"

namespace velmorpy {

// The interpreter lock released for the lifetime of the object.
class ReleasedLock {
 public:
  ReleasedLock() noexcept : state_(PyEval_SaveThread()) {}
  ~ReleasedLock() { PyEval_RestoreThread(state_); }
  ReleasedLock(const ReleasedLock&) = delete;
  ReleasedLock& operator=(const ReleasedLock&) = delete;

 private:
  PyThreadState* state_;
};

// Runs call(handle) with the lock released and returns its library code.
// Throws VelmorError(INVALID_ARGUMENT) for a dead or busy holder, before
// anything runs.
template <class F>
int call_unlocked(const Ref& holder, F&& call) {
  if constexpr (std::is_invocable_v<F, VLMmodel*>) {
    VLMmodel* model = live_model(holder);
    BusyHolder busy(holder.get());
    ReleasedLock unlocked;
    return std::forward<F>(call)(model);
  } else {
    VLMenv* env = live_env(holder);
    BusyHolder busy(holder.get());
    ReleasedLock unlocked;
    return std::forward<F>(call)(env);
  }
}

}  // namespace velmorpy
