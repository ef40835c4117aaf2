// The module's process-wide state. The module is loaded once per process, so
// its shared objects live here rather than in per-module state.
#pragma once
#include <Python.h>

#include <cstdint>

#include "runtime/ref.hpp"

namespace velmorpy {

struct ModuleState {
  PyObject* module = nullptr;    // strong; set by a successful start-up, for the rest of the process
  PyObject* dict = nullptr;      // strong; the module's namespace
  PyObject* builtins = nullptr;  // strong
  // The one interpreter the module serves, by its id (-1 before the first
  // import): ids are never reused, while the address of a destroyed
  // interpreter's state may be given to the next one made.
  int64_t interpreter_id = -1;
  // Process-wide slots, None after start-up (strong references).
  PyObject* default_env = nullptr;     // None or the default Env
  PyObject* callback_lock = nullptr;   // threading.Lock taken around every user callback
};

ModuleState& state() noexcept;

// The module global `name` (module dict first, then builtins); NameError
// "name '%U' is not defined" when absent. Throws PyErrAlreadySet.
Ref module_global(const char* name);

}  // namespace velmorpy
