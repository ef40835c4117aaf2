// What the term-keeping classes share: argument tests, parallel lists, attribute reads.
#include "expressions/terms.hpp"

#include <algorithm>
#include <cstdint>

#include "algebra/object_arrays.hpp"
#include "runtime/numpy.hpp"

#include "attributes/handle.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

namespace {

PyObject* forever_float(double v) {
  PyObject* f = PyFloat_FromDouble(v);
  if (!f) throw_error_set();  // a throwing static initialiser is retried on the next use
  return f;
}

}  // namespace

Ref coefficient(double value) {
  if (value == 1.0) {
    static PyObject* one = forever_float(1.0);
    return Ref::borrow(one);
  }
  if (value == -1.0) {
    static PyObject* minus_one = forever_float(-1.0);
    return Ref::borrow(minus_one);
  }
  return take(PyFloat_FromDouble(value));
}

bool is_listlike(PyObject* o) { return PyTuple_Check(o) || PyList_Check(o) || PyArray_Check(o); }

void append_parallel(std::initializer_list<std::pair<TermList*, PyObject*>> rows) {
  for (const auto& row : rows) terms_reserve(*row.first, 1);
  for (const auto& row : rows) terms_append(*row.first, row.second);  // cannot fail: room is made
}

void extend_parallel(std::initializer_list<std::pair<TermList*, const TermList*>> rows, Py_ssize_t n) {
  // Sharing copies are made for empty destinations; the others get room first.
  for (const auto& row : rows) {
    const Py_ssize_t k = std::min(n, terms_size(*row.second));
    if (k > 0 && terms_size(*row.first) > 0) terms_reserve(*row.first, k);
  }
  for (const auto& row : rows) terms_extend(*row.first, *row.second, n);
}

std::vector<Py_ssize_t> positions_of(const TermList& t, PyObject* handle) {
  std::vector<Py_ssize_t> out;
  const Py_ssize_t n = terms_size(t);
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject* item = terms_at(t, i);
    if (handle_class_of(item) && same_item(item, handle)) out.push_back(i);
  }
  return out;
}

std::vector<Py_ssize_t> position_if_valid(PyObject* index, Py_ssize_t n) {
  int overflow = 0;
  const long long i = PyLong_AsLongLongAndOverflow(index, &overflow);
  if (i == -1 && PyErr_Occurred()) throw_error_set();
  if (overflow || i < 0 || i >= n) return {};
  return {static_cast<Py_ssize_t>(i)};
}

namespace {

// The items of `t` in a new list, which holds them while Python code runs.
Ref pinned_items(const TermList& t) {
  const Py_ssize_t n = terms_size(t);
  Ref out = take(PyList_New(n));
  for (Py_ssize_t i = 0; i < n; ++i) PyList_SET_ITEM(out.get(), i, Py_NewRef(terms_at(t, i)));
  return out;
}

// The attribute of every item in one read, or null when the items are not
// all handles of exactly the class of `kind` of one model.
Ref batched_read(PyObject* items, const char* attr, AttrKind kind) {
  const Py_ssize_t n = PyList_GET_SIZE(items);
  const HandleClass* cls = handle_class(kind);
  if (n == 0 || !cls) return Ref();
  PyObject* holder = nullptr;
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject* item = PyList_GET_ITEM(items, i);
    if (!Py_IS_TYPE(item, cls->type)) return Ref();
    if (i == 0) holder = as_handle(item)->holder_;
    else if (as_handle(item)->holder_ != holder) return Ref();
  }
  if (!holder) return Ref();
  Ref pinned = Ref::borrow(holder);
  Ref name = take(PyUnicode_FromString(attr));
  return _getAttr(pinned, name.get(), kind, items);
}

}  // namespace

std::vector<Ref> handle_attr_objects(const TermList& t, const char* attr, AttrKind kind) {
  Ref items = pinned_items(t);
  const Py_ssize_t n = PyList_GET_SIZE(items.get());
  std::vector<Ref> out;
  out.reserve(static_cast<size_t>(n));
  Ref batch = batched_read(items.get(), attr, kind);
  for (Py_ssize_t i = 0; i < n; ++i) {
    if (batch) out.push_back(take(PySequence_GetItem(batch.get(), i)));
    else out.push_back(take(PyObject_GetAttrString(PyList_GET_ITEM(items.get(), i), attr)));
  }
  return out;
}

std::vector<double> handle_attr_doubles(const TermList& t, const char* attr, AttrKind kind) {
  Ref items = pinned_items(t);
  const Py_ssize_t n = PyList_GET_SIZE(items.get());
  std::vector<double> out(static_cast<size_t>(n));
  Ref batch = batched_read(items.get(), attr, kind);
  if (batch) {
    Ref values = take(PyArray_FROMANY(batch.get(), NPY_FLOAT64, 1, 1, NPY_ARRAY_CARRAY_RO | NPY_ARRAY_FORCECAST));
    const double* data = static_cast<const double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(values.get())));
    for (Py_ssize_t i = 0; i < n; ++i) out[i] = data[i];
    return out;
  }
  for (Py_ssize_t i = 0; i < n; ++i) {
    Ref v = take(PyObject_GetAttrString(PyList_GET_ITEM(items.get(), i), attr));
    out[i] = as_double(v.get());
  }
  return out;
}

void call_add_terms(PyObject* self, PyTypeObject* type, AddTerms add_terms, PyObject* coeffs, PyObject* vars) {
  if (Py_IS_TYPE(self, type)) return add_terms(self, coeffs, vars);
  take(PyObject_CallMethodObjArgs(self, VLM_STR("addTerms"), coeffs, vars, nullptr));
}

void add_term_pairs(PyObject* self, PyTypeObject* type, AddTerms add_terms, PyObject* pairs,
                    bool (*is_pair)(PyObject* item)) {
  Ref it = take(PyObject_GetIter(pairs));
  while (PyObject* next = PyIter_Next(it.get())) {
    Ref item = Ref::steal(next);
    if (!is_pair(next)) raise_velmor_text("Each element should be a tuple or list with length 2");
    Ref c = take(PySequence_GetItem(next, 0));
    Ref v = take(PySequence_GetItem(next, 1));
    call_add_terms(self, type, add_terms, c.get(), v.get());
  }
  if (PyErr_Occurred()) throw_error_set();
}

PyObject* subtract_by_adding_negated(PyObject* self, PyObject* other, PyTypeObject* type,
                                     void (*add)(PyObject* self, PyObject* other)) noexcept {
  return guarded([&] {
    Ref negated = negative(other);
    if (Py_IS_TYPE(self, type)) {
      add(self, negated.get());
      return Py_NewRef(self);
    }
    return PyObject_CallMethodOneArg(self, VLM_STR("__iadd__"), negated.get());
  });
}

bool equals_zero(PyObject* x) {
  if (PyFloat_CheckExact(x)) return PyFloat_AS_DOUBLE(x) == 0.0;
  if (PyLong_CheckExact(x)) return _PyLong_Sign(x) == 0;
  check_object_nesting(x);  // an array is compared cell by cell by NumPy
  Ref zero = take(PyLong_FromLong(0));
  return check(PyObject_RichCompareBool(x, zero.get(), Py_EQ)) != 0;
}

Py_ssize_t terms_to_visit(PyObject* self, PyTypeObject* type) {
  if (Py_IS_TYPE(self, type)) return -1;
  Ref size = take(PyObject_CallMethodNoArgs(self, VLM_STR("size")));
  const int64_t n = integer_only<int64_t>(size.get());  // a count of terms, as range() takes one
  return static_cast<Py_ssize_t>(std::max<int64_t>(n, 0));
}

PyObject* term_item(const TermList& t, PyObject* index) {
  const int32_t i = integer_only(index);
  if (i < 0 || i >= terms_size(t)) raise(PyExc_IndexError, "list index out of range");
  return Py_NewRef(terms_at(t, i));
}

void raise_inplace_unsupported(const char* op, PyObject* self, PyObject* other) {
  raise_format(PyExc_TypeError, "unsupport operation %s: `%s` and `%s`", op, _PyType_Name(Py_TYPE(self)),
               _PyType_Name(Py_TYPE(other)));
}

PyObject* repr_through_str(PyObject* self, PyTypeObject* type, reprfunc str) noexcept {
  if (Py_IS_TYPE(self, type)) return str(self);
  return guarded([&] { return PyObject_CallMethodNoArgs(self, VLM_STR("__str__")); });
}

void check_name(PyObject* name) {
  if (name != Py_None && !PyUnicode_Check(name))
    raise_format(PyExc_TypeError, "Expected %s, got %.200s", "unicode", Py_TYPE(name)->tp_name);
}

void raise_unset_field(const char* field_type) {
  raise_format(PyExc_TypeError, "Cannot convert NoneType to %.200s", field_type);
}

}  // namespace velmorpy
