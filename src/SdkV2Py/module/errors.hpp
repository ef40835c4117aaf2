// The C++/Python error boundary.
//
// Inside a body run by guarded(), failures are C++ exceptions: PyErrAlreadySet
// after a failing C-API call (the Python error is set), VlmCodeError for a
// non-zero libvelmor result. guarded() turns them back into "exception set +
// NULL/-1", so no C++ exception ever crosses into the interpreter.
#pragma once
#include <Python.h>

#include <cassert>
#include <exception>
#include <new>

#include "module/ref.hpp"

namespace velmorpy {

struct PyErrAlreadySet {};
struct VlmCodeError { int code; };

// Sets VelmorError(code) as the current exception. Always returns nullptr.
PyObject* set_velmor_error(int code) noexcept;
// Sets VelmorError(text) (errno -1) as the current exception. Always returns nullptr.
PyObject* set_velmor_error_text(const char* text) noexcept;

void translate_current_exception() noexcept;

template <class F>
PyObject* guarded(F&& body) noexcept {
  try {
    PyObject* r = body();
    assert(r != nullptr || PyErr_Occurred());
    return r;
  } catch (...) {
    translate_current_exception();
  }
  return nullptr;
}

// Twin for int-returning slots (tp_init, setters, sq_contains ...): -1 on failure.
template <class F>
int guarded_int(F&& body) noexcept {
  try {
    return body();
  } catch (...) {
    translate_current_exception();
  }
  return -1;
}

// Every function whose address CPython holds (a type slot, a getset or method
// table entry) goes through slot(): only a noexcept function converts, so a C++
// exception that slips past guarded() stops at std::terminate instead of
// unwinding through the interpreter's frames.
template <class R, class... A>
constexpr auto slot(R (*f)(A...) noexcept) noexcept {
  return f;
}

// Throwing helpers for bodies run under guarded().
[[noreturn]] inline void throw_error_set() { assert(PyErr_Occurred()); throw PyErrAlreadySet{}; }
inline Ref take(PyObject* p) { if (!p) throw_error_set(); return Ref::steal(p); }
inline PyObject* check(PyObject* p) { if (!p) throw_error_set(); return p; }
inline int check(int r) { if (r < 0) throw_error_set(); return r; }
inline void check_rc(int rc) { if (rc != 0) throw VlmCodeError{rc}; }
[[noreturn]] void raise(PyObject* type, const char* text);
[[noreturn]] void raise_format(PyObject* type, const char* format, ...);
[[noreturn]] void raise_velmor_text(const char* text);
// VelmorError(message) for a text built as a str object: any str, even one no
// UTF-8 encoding can carry (a lone surrogate from the caller's argument).
[[noreturn]] void raise_velmor_text(const Ref& message);
// VelmorError(code, text): the library's code with a text of the module's own.
[[noreturn]] void raise_velmor(int code, const char* text);

// True when the current thread has less than a safe margin of stack left. The
// interpreter's recursion counter assumes small levels; a level that runs
// through NumPy's element loops (an operator applied to every cell of an array
// whose cells lead back to it) takes kilobytes, so the stack can end long
// before the counter does.
bool stack_nearly_exhausted() noexcept;
// True when the current thread has `bytes` of stack left beyond that margin.
bool stack_has_room(size_t bytes) noexcept;

// One level of a recursion that Python data drives (operators applied again to
// elements, walks into nested containers): beyond the interpreter's recursion
// limit, or near the end of the thread's stack, it throws RecursionError,
// "maximum recursion depth exceeded" followed by `where`, instead of
// exhausting the stack.
class RecursionGuard {
 public:
  explicit RecursionGuard(const char* where) {
    if (Py_EnterRecursiveCall(where)) throw_error_set();
    if (stack_nearly_exhausted()) {
      Py_LeaveRecursiveCall();
      PyErr_Format(PyExc_RecursionError, "maximum recursion depth exceeded%s", where);
      throw_error_set();
    }
  }
  ~RecursionGuard() { Py_LeaveRecursiveCall(); }
  RecursionGuard(const RecursionGuard&) = delete;
  RecursionGuard& operator=(const RecursionGuard&) = delete;
};

}  // namespace velmorpy
