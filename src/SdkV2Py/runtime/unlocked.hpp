// Library calls made with the interpreter lock released.
//
// A library call that can take long (a file read or write, a solve) runs
// without the interpreter lock, so that the program's other threads go on
// meanwhile. Such a call touches no Python object: convert every argument to C
// first (CText, vectors), call, and make Python objects from the results after.
//
//   CText name(filename);                        // conversions: lock held
//   const int rc = call_unlocked(holder, [&](VLMmodel* model) {
//     return VLMwrite(model, name.get());        // no Python object in here
//   });
//   check_rc(rc);
//
// call_unlocked claims the holder for the calling thread (HolderClaim), takes
// the handle (live_model, or live_env for a callable taking a VLMenv*), releases
// the lock around `call` and retakes it before it returns or throws. While the
// call runs, the holder cannot be disposed, and other threads' library calls
// on the same handle wait for its end, or are refused with
// WhileClaimed::OthersRefused (a model's solve and file accesses: a program
// must not block for a whole solve on an attribute read it did not expect to
// wait for); the caller keeps the holder and every buffer it passes alive
// throughout (they are its locals).
#pragma once
#include <Python.h>

#include <type_traits>
#include <utility>

#include <velmor.h>

#include "runtime/errors.hpp"
#include "runtime/holder.hpp"
#include "runtime/ref.hpp"

namespace velmorpy {

// Exit of the interpreter. CPython ends a thread other than the exiting one
// as soon as it asks for the interpreter lock once finalisation has begun
// (pthread_exit: a forced unwinding, which the module's and the library's
// C++ frames, noexcept or catching everything, would turn into an abort of
// the process). So no thread may take the lock from inside such frames once
// the runtime finalises: a thread coming back from an unlocked call then
// waits forever instead of taking the lock (the process ends around it).
// Before that, at exit (an atexit hook made at start-up, which the
// interpreter's exit runs before finalisation), the module closes the
// interpreter to every other thread's turns: the callback bridge answers the
// library "stop" without running Python code, and log lines go to the file
// descriptor. The hook waits a little (kExitWaitMilliseconds) for the threads
// already inside the bridge to leave it, then lets the exit go on: a callback
// that does not return does not keep the process alive. A thread coming back
// from the library before finalisation takes the lock and goes on, as the
// interpreter's daemon threads do; one still in Python code when finalisation
// begins is ended by the interpreter when it next asks for the lock, and the
// frames that call into Python code from C++ catch that unwinding and park the
// thread instead (errors.hpp: on_forced_unwind, parking_call). The exit
// functions run by a program's own code (atexit._run_exitfuncs()) close
// nothing: the interpreter goes on.

// How long the exit hook waits for threads inside the callback bridge.
constexpr int kExitWaitMilliseconds = 2000;

// True when the calling thread must run no Python code in the bridge (nor
// take the lock there): the interpreter exits and this is not the thread that
// exits it.
bool interpreter_closed() noexcept;
// True once the exit hook ran (or the runtime finalises): on the exiting
// thread, a wait for something a thread that never returns may hold is
// bounded by kExitWaitMilliseconds too.
bool exit_has_begun() noexcept;

// A thread inside the callback bridge, for the lifetime of the object: the
// exit hook waits (for a while) until none is left. Made before the bridge
// takes the interpreter lock; closed() is then tested before taking it, and
// again once the turn may run Python code.
class BridgeEntry {
 public:
  BridgeEntry() noexcept;
  ~BridgeEntry();
  BridgeEntry(const BridgeEntry&) = delete;
  BridgeEntry& operator=(const BridgeEntry&) = delete;
  bool closed() const noexcept { return interpreter_closed(); }
};

// Registers the exit hook with atexit unless it is there: at start-up, and
// before every solve that may call back (exit functions run early by Python
// code, as test runners do, leave atexit's list empty). Throws.
void register_exit_hook();

// The interpreter lock released for the lifetime of the object. A thread
// that finds the runtime finalising when it comes back never returns from the
// destructor (the finalising thread itself kept the lock, see below), and
// one whose taking of the lock the finalisation ends is parked too.
// While the runtime finalises, the lock is kept: the thread that finalises
// may run the module's code (a sub-interpreter ended by the finalisation, its
// objects' finalisers), and taking the lock back would end it.
class ReleasedLock {
 public:
  ReleasedLock() noexcept : state_(_Py_IsFinalizing() ? nullptr : PyEval_SaveThread()) {}
  ~ReleasedLock() {
    if (!state_) return;
    if (_Py_IsFinalizing()) park_thread();
    parking_call([this] { PyEval_RestoreThread(state_); });
  }
  ReleasedLock(const ReleasedLock&) = delete;
  ReleasedLock& operator=(const ReleasedLock&) = delete;

 private:
  PyThreadState* state_;
};

// Runs call(handle) with the lock released and returns its library code. Throws
// VelmorError(INVALID_ARGUMENT) for a dead holder (or one another thread's
// claim refuses), before anything runs.
template <class F>
int call_unlocked(const Ref& holder, F&& call, WhileClaimed others = WhileClaimed::OthersWait) {
  HolderClaim claim(holder, others);
  if constexpr (std::is_invocable_v<F, VLMmodel*>) {
    VLMmodel* model = live_model(holder);
    ReleasedLock unlocked;
    return std::forward<F>(call)(model);
  } else {
    VLMenv* env = live_env(holder);
    ReleasedLock unlocked;
    return std::forward<F>(call)(env);
  }
}

}  // namespace velmorpy
