// The interpreter's exit as the module's threads see it: the exit hook, BridgeEntry, interpreter_closed.
#include "runtime/unlocked.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/function.hpp"
#include "runtime/state.hpp"

namespace velmorpy {

namespace {

std::atomic<bool> exiting{false};
// The thread that runs the exit hook, and so the finalisation after it.
std::atomic<unsigned long> exiting_thread{0};

// Whether the exit hook is in atexit's list. CPython empties the list once
// the exit functions ran, also when Python code runs them early.
bool hook_registered = false;

// Threads inside the callback bridge; the hook waits for bridge_left.
std::mutex bridge_mutex;
std::condition_variable bridge_left;
int bridge_threads = 0;

// atexit hook: closes the interpreter to other threads, then waits (lock
// released) for those inside the bridge: a turn running Python code ends,
// one waiting for a lock sees the interpreter closed and leaves. The wait is
// bounded: a callback that never returns must not keep the process alive.
// Run by the runtime's own finalisation (a sub-interpreter that imported the
// module, ended with it), it waits for nothing: no other thread runs Python
// code any more, and this one must keep the lock.
// The interpreter's exit calls the hook with no Python frame left on its
// thread. Called from Python code (atexit._run_exitfuncs(), as test runners
// and embedding programs do), the hook is not the exit: the program goes on,
// and its threads must go on solving, so nothing is closed; the list the hook
// was in is emptied after the run, so the next solve registers it again.
PyObject* close_interpreter(PyObject*, const Args&) {
  if (!_Py_IsFinalizing() && PyEval_GetFrame()) {
    hook_registered = false;
    Py_RETURN_NONE;
  }
  exiting_thread = PyThread_get_thread_ident();
  exiting = true;
  if (_Py_IsFinalizing()) Py_RETURN_NONE;
  {
    std::lock_guard<std::mutex> lock(bridge_mutex);
    if (bridge_threads == 0) Py_RETURN_NONE;
  }
  ReleasedLock unlocked;
  std::unique_lock<std::mutex> lock(bridge_mutex);
  bridge_left.wait_for(lock, std::chrono::milliseconds(kExitWaitMilliseconds), [] { return bridge_threads == 0; });
  Py_RETURN_NONE;
}

const FunctionDef kExitHook = {"_close_interpreter", "", close_interpreter, Kind::Function, nullptr, __LINE__};

}  // namespace

bool exit_has_begun() noexcept { return exiting.load() || _Py_IsFinalizing(); }

bool interpreter_closed() noexcept {
  if (!exiting.load() && !_Py_IsFinalizing()) return false;
  return PyThread_get_thread_ident() != exiting_thread.load();
}

BridgeEntry::BridgeEntry() noexcept {
  std::lock_guard<std::mutex> lock(bridge_mutex);
  ++bridge_threads;
}

BridgeEntry::~BridgeEntry() {
  {
    std::lock_guard<std::mutex> lock(bridge_mutex);
    --bridge_threads;
  }
  bridge_left.notify_all();
}

void register_exit_hook() {
  if (hook_registered || _Py_IsFinalizing()) return;  // a failed start-up runs its phases again
  Ref hook = make_function(kExitHook, nullptr, nullptr, nullptr, __FILE__);
  Ref atexit = take(PyImport_ImportModule("atexit"));
  take(PyObject_CallMethod(atexit.get(), "register", "O", hook.get()));
  hook_registered = true;
}

}  // namespace velmorpy
