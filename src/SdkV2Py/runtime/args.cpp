// The argument parser (unpack) and the conversions of parsed values.
#include "runtime/args.hpp"

#include <limits>
#include <new>

#include "runtime/errors.hpp"

namespace velmorpy {

namespace {

int count_error(PyObject* fname, bool exact, bool at_least, Py_ssize_t n, Py_ssize_t given) {
  const char* kind = exact ? "exactly" : (at_least ? "at least" : "at most");
  PyErr_Format(PyExc_TypeError, "%.200U() takes %.8s %zd positional argument%.1s (%zd given)", fname,
               kind, n, n == 1 ? "" : "s", given);
  return -1;
}

// Index of `key` among the spec's names: identity first (the interned fast
// path), then string equality.
Py_ssize_t find_name(PyObject* names, PyObject* key) {
  const Py_ssize_t n = PyTuple_GET_SIZE(names);
  for (Py_ssize_t i = 0; i < n; ++i)
    if (PyTuple_GET_ITEM(names, i) == key) return i;
  for (Py_ssize_t i = 0; i < n; ++i) {
    int eq = PyUnicode_Compare(PyTuple_GET_ITEM(names, i), key);
    if (eq == 0) return i;
    if (eq == -1 && PyErr_Occurred()) PyErr_Clear();
  }
  return -1;
}

bool type_matches(PyObject* obj, PyTypeObject* type) {
  if (obj == Py_None) return true;
  if (type == &PyUnicode_Type || type == &PyDict_Type || type == &PyList_Type) return Py_IS_TYPE(obj, type);
  return PyObject_TypeCheck(obj, type);
}

int type_error(PyObject* obj, const char* expected, const char* argname) {
  PyErr_Format(PyExc_TypeError, "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)",
               argname, expected, Py_TYPE(obj)->tp_name);
  return -1;
}

}  // namespace

int unpack(const ArgSpec& spec, PyObject* fname, PyObject* defaults, PyObject* kwdefaults,
           PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, Args& out) noexcept {
  const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  if (spec.takes_nothing()) {
    if (nargs > 0) {
      PyErr_Format(PyExc_TypeError, "%.200U() takes no arguments (%zd given)", fname, nargs);
      return -1;
    }
    if (nkw > 0) {
      PyErr_Format(PyExc_TypeError, "%.200U() takes no keyword arguments", fname);
      return -1;
    }
    return 0;
  }
  const Py_ssize_t ndef = defaults ? PyTuple_GET_SIZE(defaults) : 0;
  const Py_ssize_t nrequired = spec.npos > ndef ? spec.npos - ndef : 0;
  const Py_ssize_t npos = spec.npos;
  const int named = spec.npos + spec.nkwonly;
  if (nargs > npos && !spec.varargs) return count_error(fname, nrequired == npos, false, npos, nargs);

  for (int i = 0; i < named; ++i) out.v_[i] = nullptr;
  const Py_ssize_t ncopy = nargs < npos ? nargs : npos;
  for (Py_ssize_t i = 0; i < ncopy; ++i) out.v_[i] = args[i];
  int slot = named;
  if (spec.varargs) {
    PyObject* rest = nargs > npos ? PyTuple_New(nargs - npos) : PyTuple_New(0);
    if (!rest) return -1;
    for (Py_ssize_t i = npos; i < nargs; ++i) PyTuple_SET_ITEM(rest, i - npos, Py_NewRef(args[i]));
    out.star_ = Ref::steal(rest);
    out.v_[slot++] = rest;
  }
  if (spec.varkw) {
    PyObject* d = PyDict_New();
    if (!d) return -1;
    out.starstar_ = Ref::steal(d);
    out.v_[slot++] = d;
  }

  for (Py_ssize_t j = 0; j < nkw; ++j) {
    PyObject* key = PyTuple_GET_ITEM(kwnames, j);
    PyObject* value = args[nargs + j];
    Py_ssize_t i = find_name(spec.names.get(), key);
    if (i < 0) {
      if (spec.varkw) {
        if (PyDict_SetItem(out.starstar_.get(), key, value) < 0) return -1;
        continue;
      }
      PyErr_Format(PyExc_TypeError, "%U() got an unexpected keyword argument '%U'", fname, key);
      return -1;
    }
    if (out.v_[i]) {
      PyErr_Format(PyExc_TypeError, "%U() got multiple values for keyword argument '%U'", fname, key);
      return -1;
    }
    out.v_[i] = value;
  }

  for (Py_ssize_t i = nargs; i < npos; ++i) {
    if (out.v_[i]) continue;
    if (i < nrequired) return count_error(fname, nrequired == npos && !spec.varargs, true, nrequired, nargs);
    if (!out.defaults_) out.defaults_ = Ref::borrow(defaults);
    out.v_[i] = PyTuple_GET_ITEM(defaults, i - (npos - ndef));
  }
  for (int i = spec.npos; i < named; ++i) {
    if (out.v_[i]) continue;
    PyObject* name = PyTuple_GET_ITEM(spec.names.get(), i);
    PyObject* d = kwdefaults ? PyDict_GetItemWithError(kwdefaults, name) : nullptr;
    if (!d) {
      if (!PyErr_Occurred())
        PyErr_Format(PyExc_TypeError, "%U() needs keyword-only argument %U", fname, name);
      return -1;
    }
    try {
      out.kwdefault_pins_.push_back(Ref::borrow(d));
    } catch (const std::bad_alloc&) {
      PyErr_NoMemory();
      return -1;
    }
    out.v_[i] = d;
  }
  for (int i = 0; i < named; ++i) {
    PyTypeObject* t = spec.types[i];
    if (t && !type_matches(out.v_[i], t)) {
      const char* argname = PyUnicode_AsUTF8(PyTuple_GET_ITEM(spec.names.get(), i));
      return argname ? type_error(out.v_[i], t->tp_name, argname) : -1;
    }
  }
  return 0;
}

namespace {

template <class T>
T in_range(PyObject* integer) {
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(integer, &overflow);
  if (overflow) raise(PyExc_OverflowError, "Python int too large to convert to C long");
  if (v == -1 && PyErr_Occurred()) throw_error_set();
  if constexpr (sizeof(T) < sizeof(long long)) {
    if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max())
      raise(PyExc_OverflowError, "value too large to convert to int");
  }
  return static_cast<T>(v);
}

}  // namespace

// __int__ first, so a float truncates toward zero, then __index__; unlike
// int(), no text is parsed and __trunc__ is not consulted.
template <class T>
T truncating_int(PyObject* obj) {
  if (PyLong_Check(obj)) return in_range<T>(obj);
  PyNumberMethods* nb = Py_TYPE(obj)->tp_as_number;
  Ref num;
  if (nb && nb->nb_int) {
    num = take(nb->nb_int(obj));
    if (!PyLong_Check(num.get()))
      raise_format(PyExc_TypeError, "__int__ returned non-int (type %.200s)", Py_TYPE(num.get())->tp_name);
  } else if (nb && nb->nb_index) {
    num = take(PyNumber_Index(obj));
  } else {
    raise(PyExc_TypeError, "an integer is required");
  }
  return in_range<T>(num.get());
}

// What the interpreter itself takes as an index; truncating a float would
// hand the library another value than the one given.
template <class T>
T integer_only(PyObject* obj) {
  if (PyLong_Check(obj)) return in_range<T>(obj);
  if (!PyIndex_Check(obj)) raise(PyExc_TypeError, "an integer is required");
  Ref num = take(PyNumber_Index(obj));
  return in_range<T>(num.get());
}

template int32_t truncating_int<int32_t>(PyObject*);
template int64_t truncating_int<int64_t>(PyObject*);
template int32_t integer_only<int32_t>(PyObject*);
template int64_t integer_only<int64_t>(PyObject*);

double as_double(PyObject* obj) {
  double v = PyFloat_AsDouble(obj);
  if (v == -1.0 && PyErr_Occurred()) throw_error_set();
  return v;
}

bool as_bool(PyObject* obj) { return check(PyObject_IsTrue(obj)) != 0; }

void check_arg_type(PyObject* obj, PyTypeObject* type, const char* argname, bool allow_none, const char* expected) {
  if (!type_matches(obj, type) || (!allow_none && obj == Py_None)) {
    type_error(obj, expected ? expected : type->tp_name, argname);
    throw PyErrAlreadySet{};
  }
}

void raise_cannot_convert(PyObject* obj, const char* target) {
  raise_format(PyExc_TypeError, "Cannot convert %.200s to %.200s", Py_TYPE(obj)->tp_name, target);
}

}  // namespace velmorpy
