// Finalisers never raise.
#pragma once
#include <Python.h>

namespace velmorpy {

// Calls self.dispose() (looked up on the object, so overrides run) with the
// pending exception saved and restored; an exception it raises is printed
// through the unraisable-exception hook under `where`, e.g. "velmorpy.Env.__del__".
void call_dispose_unraisable(PyObject* self, const char* where) noexcept;

}  // namespace velmorpy
