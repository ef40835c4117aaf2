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
#include <utility>

#include "runtime/ref.hpp"

namespace velmorpy {

struct PyErrAlreadySet {};
struct VlmCodeError { int code; };

// Sets VelmorError(code) as the current exception. Always returns nullptr.
PyObject* set_velmor_error(int code) noexcept;
// Sets VelmorError(text) (errno -1) as the current exception. Always returns nullptr.
PyObject* set_velmor_error_text(const char* text) noexcept;

// The current exception (called in a catch block) as the pending Python
// error; a forced unwind (below) parks the thread instead.
void translate_current_exception() noexcept;

// A thread that asks for the interpreter lock once the interpreter finalises
// is ended by the interpreter (pthread_exit): an unwinding of its stack that
// must not cross a frame that is noexcept or catches everything, or the whole
// process aborts. Such frames catch the unwind first and call this: it parks
// the thread for good (the process ends around it), so its stack is never
// unwound further. Only the main thread, whose end would end the process
// (and which must not wait for ever), lets the unwind go on. Python code a
// parked thread was running (a callback still running at exit, after the exit
// hook stopped waiting for it) never resumes.
[[noreturn]] void on_forced_unwind() noexcept;
// Never returns; for a thread that must not take the interpreter lock again.
[[noreturn]] void park_thread() noexcept;

// call() (one call of the C API that may take the interpreter lock: running
// Python code, PyGILState_Ensure, PyEval_RestoreThread) with a forced unwind
// of the thread stopped right there (on_forced_unwind), before it unwinds
// any frame of the caller: for code with objects of its own to release,
// which a thread without the lock must not touch.
// (The C API throws nothing else. The unwinding is caught by `...`: it is
// no C++ object, and binding a reference to it binds one to null.)
template <class F>
auto parking_call(F&& call) noexcept -> decltype(call()) {
  try {
    return call();
  } catch (...) {
    on_forced_unwind();
  }
}

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

// guarded() for a slot of two operands, both held until the body ends: a slot
// may be reached with borrowed operands (NumPy's object loops pass an array's
// cells), and Python code the body runs (a conversion, an operator of the
// other operand) may replace those cells and free them.
template <class F>
PyObject* guarded_holding(PyObject* a, PyObject* b, F&& body) noexcept {
  const Ref held[] = {Ref::borrow(a), Ref::borrow(b)};
  return guarded(std::forward<F>(body));
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
