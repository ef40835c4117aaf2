// The process-wide default environment.
#pragma once
#include <Python.h>

#include "runtime/function.hpp"
#include "runtime/ref.hpp"

namespace velmorpy {

// The Env in the default slot. When the slot is empty: a new Env() stored
// there when `create` is true, else None. Throws.
Ref default_env(bool create);

// disposeDefaultEnv(): disposes the default environment, if any, and empties
// the slot (a failing dispose leaves it in place).
PyObject* disposeDefaultEnv(PyObject*, const Args&);
extern const char disposeDefaultEnv_doc[];

}  // namespace velmorpy
