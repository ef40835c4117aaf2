#include "module/errors.hpp"

#include <cstdarg>

#include "module/velmor_error.hpp"

namespace velmorpy {

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
    PyErr_SetString(PyExc_SystemError, "unexpected C++ exception");
  }
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

}  // namespace velmorpy
