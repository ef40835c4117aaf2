// The error boundary: translation of C++ exceptions, raising, and the stack guard.
#include "runtime/errors.hpp"

#include <cxxabi.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>

#include "runtime/error_type.hpp"

namespace velmorpy {

PyTypeObject VelmorErrorType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void translate_current_exception() noexcept {
  try {
    throw;
  } catch (const PyErrAlreadySet&) {
    assert(PyErr_Occurred());
  } catch (const VlmCodeError& e) {
    set_velmor_error(e.code);
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_RuntimeError, e.what());
  } catch (...) {
    // A foreign exception has no C++ type: the forced unwinding of a thread
    // the interpreter ends. Park the thread here.
    if (!abi::__cxa_current_exception_type()) on_forced_unwind();
    PyErr_SetString(PyExc_SystemError, "unexpected C++ exception");
  }
}

void park_thread() noexcept {
  for (;;) pause();
}

void on_forced_unwind() noexcept {
  if (getpid() != static_cast<pid_t>(syscall(SYS_gettid))) park_thread();
  std::terminate();  // the main thread: see errors.hpp
}

namespace {

// What the deepest level of a recursion may still need below the point where
// the guard looks: one level through NumPy's element loops (about 10 KB), the
// interpreter's error handling, and a wide margin.
constexpr uintptr_t kStackHeadroom = 256 * 1024;

// The lowest address of this thread's stack (stacks grow down), 0 when the
// thread library cannot tell; found once per thread.
uintptr_t stack_low_end() noexcept {
  thread_local uintptr_t low = 1;
  if (low == 1) {
    low = 0;
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
      void* addr = nullptr;
      size_t size = 0;
      if (pthread_attr_getstack(&attr, &addr, &size) == 0) low = reinterpret_cast<uintptr_t>(addr);
      pthread_attr_destroy(&attr);
    }
  }
  return low;
}

}  // namespace

bool stack_nearly_exhausted() noexcept { return !stack_has_room(0); }

bool stack_has_room(size_t bytes) noexcept {
  const uintptr_t low = stack_low_end();
  const auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  return low == 0 || (here >= low + kStackHeadroom && here - low - kStackHeadroom >= bytes);
}

namespace {
// Raises VelmorError(arg); consumes the reference to arg.
PyObject* set_velmor_error_from(PyObject* arg) noexcept {
  if (!arg) return nullptr;
  PyObject* err = PyObject_CallOneArg(reinterpret_cast<PyObject*>(&VelmorErrorType), arg);
  Py_DECREF(arg);
  if (err) {
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(err)), err);
    Py_DECREF(err);
  }
  return nullptr;
}
}  // namespace

PyObject* set_velmor_error(int code) noexcept { return set_velmor_error_from(PyLong_FromLong(code)); }

PyObject* set_velmor_error_text(const char* text) noexcept {
  return set_velmor_error_from(PyUnicode_FromString(text));
}

void raise(PyObject* type, const char* text) {
  PyErr_SetString(type, text);
  throw PyErrAlreadySet{};
}

void raise_format(PyObject* type, const char* format, ...) {
  va_list va;
  va_start(va, format);
  PyErr_FormatV(type, format, va);
  va_end(va);
  throw PyErrAlreadySet{};
}

void raise_velmor(int code, const char* text) {
  Ref args = take(Py_BuildValue("(is)", code, text));
  Ref err = take(PyObject_Call(reinterpret_cast<PyObject*>(&VelmorErrorType), args.get(), nullptr));
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(err.get())), err.get());
  throw PyErrAlreadySet{};
}

void raise_velmor_text(const char* text) {
  set_velmor_error_text(text);
  throw PyErrAlreadySet{};
}

void raise_velmor_text(const Ref& message) {
  set_velmor_error_from(Py_NewRef(message.get()));
  throw PyErrAlreadySet{};
}

}  // namespace velmorpy
