// The finalisers' last calls (dispose, the holder's disposal), which never raise.
#pragma once
#include <Python.h>

namespace velmorpy {

// Calls self.dispose() (looked up on the object, so overrides run) with the
// pending exception saved and restored; an exception it raises is printed
// through the unraisable-exception hook under `where`, e.g. "velmorpy.Env.__del__".
void call_dispose_unraisable(PyObject* self, const char* where) noexcept;

// The last chance to free a holder's handle, from a deallocator: when an
// overriding dispose() did not free it, the holder is disposed here; a failure
// is reported as unraisable under `where` (e.g. "velmorpy.Model.__dealloc__")
// and the pending exception is kept.
void dispose_holder_unraisable(PyObject* holder, const char* where) noexcept;

}  // namespace velmorpy
