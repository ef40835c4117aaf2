// VelmorError: its constructor, members and readying.
#include "runtime/velmor_error.hpp"

#include <velmor.h>

#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/function.hpp"
#include "runtime/members.hpp"
#include "runtime/text.hpp"
#include "runtime/types.hpp"

namespace velmorpy {

namespace {

VelmorErrorObject* as_error(PyObject* op) { return reinterpret_cast<VelmorErrorObject*>(op); }

PyObject* velmorerror_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  PyObject* self = reinterpret_cast<PyTypeObject*>(PyExc_Exception)->tp_new(type, args, kwargs);
  if (!self) return nullptr;
  as_error(self)->errno_ = 0;
  as_error(self)->message_ = Py_NewRef(Py_None);
  return self;
}

void velmorerror_dealloc(PyObject* op) noexcept {
  // message_ holds a str (or None): dropping it first cannot run code that sees
  // a half-dead exception; the base deallocation untracks and frees.
  Py_CLEAR(as_error(op)->message_);
  reinterpret_cast<PyTypeObject*>(PyExc_Exception)->tp_dealloc(op);
}

int velmorerror_init(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
  return guarded_int([&] {
    Args a;
    if (unpack_init(&VelmorErrorType, args, kwargs, a) < 0) throw_error_set();
    PyObject* arg1 = a[0];
    PyObject* arg2 = a[1];
    int64_t code = -1;
    Ref message;
    if (PyUnicode_Check(arg1) || PyBytes_Check(arg1)) {
      message = Ref::borrow(arg1);
    } else {
      code = truncating_int<int64_t>(arg1);
      if (arg2 == Py_None) {
        if (code < INT32_MIN || code > INT32_MAX) raise(PyExc_OverflowError, "value too large to convert to int");
        const char* text = VLMexplainerror(static_cast<int>(code));
        message = take(PyBytes_FromString(text ? text : ""));
      } else {
        message = Ref::borrow(arg2);
      }
    }
    Ref text;
    if (PyUnicode_CheckExact(message.get())) {
      text = std::move(message);
    } else if (PyUnicode_Check(message.get())) {
      raise_format(PyExc_TypeError, "Expected %s, got %.200s", "unicode", Py_TYPE(message.get())->tp_name);
    } else {
      text = chars2str(message.get());
    }
    if (code < INT32_MIN || code > INT32_MAX) raise(PyExc_OverflowError, "value too large to convert to int");
    Py_XSETREF(as_error(self)->message_, Py_NewRef(text.get()));
    as_error(self)->errno_ = static_cast<int>(code);
    Ref base_args = take(PyTuple_Pack(1, text.get()));
    return reinterpret_cast<PyTypeObject*>(PyExc_Exception)->tp_init(self, base_args.get(), nullptr);
  });
}

// --- members ---------------------------------------------------------------

PyObject* velmorerror_errno(PyObject* self, const Args&) { return PyLong_FromLong(as_error(self)->errno_); }

PyObject* velmorerror_message(PyObject* self, const Args&) { return Py_NewRef(as_error(self)->message_); }

// A pickle keeps the code and the text, so the unpickled error equals the original.
PyObject* velmorerror_reduce(PyObject* self, const Args&) {
  Ref dict = take(PyObject_GenericGetDict(self, nullptr));
  PyObject* state = PyDict_GET_SIZE(dict.get()) ? dict.get() : Py_None;
  return Py_BuildValue("O(iO)O", reinterpret_cast<PyObject*>(Py_TYPE(self)), as_error(self)->errno_,
                       as_error(self)->message_, state);
}

const FunctionDef velmorerror_members[] = {
    {"errno", "self", velmorerror_errno, Kind::Constant,
     "\n        The error code corresponding to the current exception.\n        ", __LINE__},
    {"message", "self", velmorerror_message, Kind::Constant,
     "\n        Text description corresponding to the current exception\n        ", __LINE__},
    {"__reduce__", "self", velmorerror_reduce, Kind::Method, nullptr, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

const char velmorerror_init_params[] = "arg1, arg2: str = None";

void prepare_velmorerror() {
  VelmorErrorType.tp_name = "velmorpy.VelmorError";
  VelmorErrorType.tp_basicsize = sizeof(VelmorErrorObject);
  VelmorErrorType.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC;
  VelmorErrorType.tp_base = reinterpret_cast<PyTypeObject*>(PyExc_Exception);
  VelmorErrorType.tp_new = slot(velmorerror_new);
  VelmorErrorType.tp_init = slot(velmorerror_init);
  VelmorErrorType.tp_dealloc = slot(velmorerror_dealloc);
  VelmorErrorType.tp_traverse = reinterpret_cast<PyTypeObject*>(PyExc_Exception)->tp_traverse;
  VelmorErrorType.tp_clear = reinterpret_cast<PyTypeObject*>(PyExc_Exception)->tp_clear;
  VelmorErrorType.tp_dictoffset = offsetof(PyBaseExceptionObject, dict);
}

void bind_velmorerror_namespace() {
  bind_public_members(&VelmorErrorType, velmorerror_members, __FILE__);
}

}  // namespace velmorpy
