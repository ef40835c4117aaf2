// TermList, NumList and the Python class List: the copy-on-write lists of terms.
#include "expressions/list.hpp"

#include <cstring>
#include <utility>

#include "algebra/object_arrays.hpp"
#include "expressions/terms.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/function.hpp"
#include "runtime/members.hpp"
#include "runtime/strings.hpp"
#include "runtime/types.hpp"

namespace velmorpy {

namespace {

const char kTooMany[] = "List cannot hold more than 2147483647 items";

// A sharing copy of the first n of the `shown` items of a TermList or NumList
// (all when n is negative): one more share of its buffer, or copies of its
// inline items.
template <class View, class Share, class CopyItem>
View view_copy(const View& t, Py_ssize_t shown, Py_ssize_t n, Share share, CopyItem copy_item) noexcept {
  View c;
  c.length = n < 0 || n > shown ? shown : n;
  if (t.buf) {
    c.buf = t.buf;
    share(t.buf);
  } else {
    for (Py_ssize_t i = 0; i < c.length; ++i) c.inl[i] = copy_item(t.inl[i]);
  }
  return c;
}

PyObject* obj(ListBufferObject* b) { return reinterpret_cast<PyObject*>(b); }
ListBufferObject* as_buffer(PyObject* op) { return reinterpret_cast<ListBufferObject*>(op); }

// A buffer is tracked by the collector only once it holds an object that
// the collector tracks kinds of (listbuffer_hold): one of items such as Vars
// and floats cannot be part of a cycle, and walking its items at every
// collection would cost more than building it.
ListBufferObject* buffer_new() {
  ListBufferObject* b = PyObject_GC_New(ListBufferObject, &ListBufferType);
  if (!b) throw_error_set();
  b->items = nullptr;
  b->count = 0;
  b->capacity = 0;
  return b;
}

// Makes room for `needed` slots. The items keep their places; only the array
// may move, so callers re-read `items` afterwards.
void buffer_grow(ListBufferObject* b, Py_ssize_t needed) {
  if (needed <= b->capacity) return;
  const Py_ssize_t cap = grown_capacity(b->capacity, needed);
  if (cap <= kListInline) {
    b->items = b->inline_;
  } else if (b->items == b->inline_ || !b->items) {
    auto* heap = static_cast<PyObject**>(PyMem_Malloc(static_cast<size_t>(cap) * sizeof(PyObject*)));
    if (!heap) {
      PyErr_NoMemory();
      throw_error_set();
    }
    if (b->count) std::memcpy(heap, b->items, static_cast<size_t>(b->count) * sizeof(PyObject*));
    b->items = heap;
  } else {
    auto* heap = static_cast<PyObject**>(PyMem_Realloc(b->items, static_cast<size_t>(cap) * sizeof(PyObject*)));
    if (!heap) {
      PyErr_NoMemory();
      throw_error_set();
    }
    b->items = heap;
  }
  b->capacity = cap;
}

void buffer_append(ListBufferObject* b, PyObject* item) {
  if (b->count == b->capacity) buffer_grow(b, b->count + 1);
  listbuffer_hold(b, item);
  b->items[b->count++] = Py_NewRef(item);
}

// Appends items [start, end) of `src` (which may be `b` itself).
void buffer_extend(ListBufferObject* b, ListBufferObject* src, Py_ssize_t start, Py_ssize_t end) {
  if (start >= end) return;
  buffer_grow(b, b->count + (end - start));
  if (PyObject_GC_IsTracked(obj(src))) listbuffer_track(b);
  for (Py_ssize_t i = start; i < end; ++i) b->items[b->count++] = Py_NewRef(src->items[i]);
}

// Takes the items out of the buffer (it reads as empty at once), then
// releases them in slot order: a release that runs code sees an empty buffer.
void buffer_empty(ListBufferObject* b) {
  const Py_ssize_t n = b->count;
  if (n == 0) return;
  std::vector<PyObject*> taken(b->items, b->items + n);
  b->count = 0;
  for (PyObject* item : taken) Py_DECREF(item);
}

int listbuffer_traverse(PyObject* op, visitproc visit, void* arg) noexcept {
  ListBufferObject* b = as_buffer(op);
  for (Py_ssize_t i = 0; i < b->count; ++i) Py_VISIT(b->items[i]);
  return 0;
}

int listbuffer_clear(PyObject* op) noexcept {
  ListBufferObject* b = as_buffer(op);
  const Py_ssize_t n = b->count;
  if (n == 0) return 0;
  std::vector<PyObject*> taken;
  try {
    taken.assign(b->items, b->items + n);
  } catch (...) {
    return 0;  // nothing released; the collector tries another object of the cycle
  }
  b->count = 0;
  for (PyObject* item : taken) Py_DECREF(item);
  return 0;
}

void listbuffer_dealloc(PyObject* op) noexcept {
  ListBufferObject* b = as_buffer(op);
  PyObject_GC_UnTrack(op);
  Py_TRASHCAN_BEGIN(op, listbuffer_dealloc)
  PyObject** items = b->items;
  Py_ssize_t n = b->count;
  b->count = 0;
  for (Py_ssize_t i = 0; i < n; ++i) Py_DECREF(items[i]);
  if (items && items != b->inline_) PyMem_Free(items);
  PyObject_GC_Del(op);
  Py_TRASHCAN_END
}

}  // namespace

PyTypeObject ListBufferType = {PyVarObject_HEAD_INIT(nullptr, 0)};

int ready_listbuffer_type() noexcept {
  ListBufferType.tp_name = "velmorpy._ListBuffer";
  ListBufferType.tp_basicsize = sizeof(ListBufferObject);
  ListBufferType.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC;
  ListBufferType.tp_dealloc = slot(listbuffer_dealloc);
  ListBufferType.tp_traverse = slot(listbuffer_traverse);
  ListBufferType.tp_clear = slot(listbuffer_clear);
  return PyType_Ready(&ListBufferType);
}

Py_ssize_t grown_capacity(Py_ssize_t capacity, Py_ssize_t needed) {
  if (needed > kMaxListItems) raise(PyExc_OverflowError, kTooMany);
  int64_t cap = capacity < kListInline ? kListInline : capacity;
  while (cap < needed) cap *= 2;
  return cap > kMaxListItems ? kMaxListItems : static_cast<Py_ssize_t>(cap);
}

// --- TermList --------------------------------------------------------------------------

namespace {

// Moves the inline items into a new buffer with room for `extra` more.
void to_buffer(TermList& t, Py_ssize_t extra) {
  ListBufferObject* b = buffer_new();
  try {
    if (extra > kMaxListItems - t.length) raise(PyExc_OverflowError, kTooMany);
    buffer_grow(b, t.length + extra);
  } catch (...) {
    Py_DECREF(obj(b));
    throw;
  }
  for (Py_ssize_t i = 0; i < t.length; ++i) {
    listbuffer_hold(b, t.inl[i]);
    b->items[b->count++] = t.inl[i];  // the reference moves
    t.inl[i] = nullptr;
  }
  t.buf = b;
}

// Replaces the list's storage by `fresh` (its items and length), releasing
// the old storage only afterwards.
void replace(TermList& t, TermList fresh) noexcept {
  TermList old = t;
  t = fresh;
  Py_XDECREF(obj(old.buf));
  for (PyObject* item : old.inl) Py_XDECREF(item);
}

}  // namespace

void terms_release(TermList& t) noexcept { replace(t, TermList{}); }

void terms_reset(TermList& t) { terms_release(t); }

TermList terms_copy(const TermList& t, Py_ssize_t n) noexcept {
  return view_copy(t, terms_size(t), n, [](ListBufferObject* b) { Py_INCREF(obj(b)); },
                   [](PyObject* item) { return Py_NewRef(item); });
}

void terms_assign_copy(TermList& dst, const TermList& src) noexcept {
  if (&dst == &src) return;
  replace(dst, terms_copy(src));
}

void terms_detach(TermList& t) {
  if (!t.buf) return;  // an inline item is the list's own
  ListBufferObject* fresh = buffer_new();
  const Py_ssize_t n = terms_size(t);
  try {
    if (n) buffer_extend(fresh, t.buf, 0, n);
  } catch (...) {
    Py_DECREF(obj(fresh));
    throw;
  }
  replace(t, TermList{fresh, n, nullptr});
}

void terms_make_append_safe(TermList& t) {
  if (t.buf && t.buf->count != t.length) terms_detach(t);
}

void terms_make_update_safe(TermList& t) {
  if (t.buf && Py_REFCNT(obj(t.buf)) != 1) terms_detach(t);
}

void terms_reserve(TermList& t, Py_ssize_t extra) {
  if (!t.buf) {
    if (extra <= kTermInline - t.length) return;  // fits inline
    return to_buffer(t, extra);
  }
  terms_make_append_safe(t);
  if (extra > kMaxListItems - t.buf->count) raise(PyExc_OverflowError, kTooMany);
  buffer_grow(t.buf, t.buf->count + extra);
}

void terms_append(TermList& t, PyObject* item) {
  if (!t.buf) {
    if (t.length < kTermInline) {
      t.inl[t.length++] = Py_NewRef(item);
      return;
    }
    to_buffer(t, 1);
  } else if (t.buf->count != t.length) {
    terms_detach(t);
  }
  buffer_append(t.buf, item);
  t.length = t.buf->count;
}

void terms_append_steal(TermList& t, PyObject* item) {
  Ref hold = Ref::steal(item);
  terms_append(t, item);
}

void terms_extend(TermList& dst, const TermList& src, Py_ssize_t n) {
  const Py_ssize_t shown = terms_size(src);
  if (n > shown) n = shown;
  if (n <= 0) return;
  if (terms_size(dst) == 0) return replace(dst, terms_copy(src, n));
  // Hold the source: making room in dst may release the share through which
  // `src` (possibly dst itself) reaches its items.
  OwnedTerms pin(terms_copy(src, n));
  terms_reserve(dst, n);
  PyObject* const* from = terms_items(pin.t);
  for (Py_ssize_t i = 0; i < n; ++i) terms_append(dst, from[i]);  // cannot fail: room is made
}

void terms_imul(TermList& t, double m) {
  Ref mult;
  terms_map(t, [&](PyObject* item) -> Ref {
    if (PyFloat_CheckExact(item)) return take(PyFloat_FromDouble(m * PyFloat_AS_DOUBLE(item)));
    if (!mult) mult = take(PyFloat_FromDouble(m));
    check_object_nesting(item);  // a coefficient matrix is multiplied by NumPy
    return take(PyNumber_Multiply(mult.get(), item));
  });
}

void terms_remove(TermList& t, const std::vector<Py_ssize_t>& positions) {
  OwnedTerms kept;
  const Py_ssize_t n = terms_size(t);
  size_t j = 0;
  for (Py_ssize_t i = 0; i < n; ++i) {
    if (j < positions.size() && positions[j] == i) {
      ++j;
      continue;
    }
    terms_append(kept.t, terms_at(t, i));  // no Python code runs: the items stay
  }
  replace(t, kept.t);
  kept.t = TermList{};
}

void terms_clear(TermList& t) {
  if (!t.buf || Py_REFCNT(obj(t.buf)) != 1) return terms_release(t);
  t.length = 0;
  Ref pin = Ref::borrow(obj(t.buf));
  buffer_empty(t.buf);
}

void terms_set(TermList& t, Py_ssize_t i, Ref item) {
  terms_make_update_safe(t);
  if (t.buf) listbuffer_hold(t.buf, item.get());
  PyObject** slot_ptr = t.buf ? &t.buf->items[i] : &t.inl[i];
  PyObject* old = *slot_ptr;
  *slot_ptr = item.release();
  Py_DECREF(old);
}

// --- NumList ----------------------------------------------------------------------------

namespace {

[[noreturn]] void raise_no_memory() {
  PyErr_NoMemory();
  throw_error_set();
}

NumBuffer* numbuffer_new(Py_ssize_t capacity) {
  auto* b = static_cast<NumBuffer*>(PyMem_Malloc(sizeof(NumBuffer)));
  if (!b) raise_no_memory();
  b->items = static_cast<double*>(PyMem_Malloc(static_cast<size_t>(capacity) * sizeof(double)));
  if (!b->items) {
    PyMem_Free(b);
    raise_no_memory();
  }
  b->shares = 1;
  b->count = 0;
  b->capacity = capacity;
  return b;
}

void numbuffer_release(NumBuffer* b) noexcept {
  if (!b || --b->shares > 0) return;
  PyMem_Free(b->items);
  PyMem_Free(b);
}

void numbuffer_grow(NumBuffer* b, Py_ssize_t needed) {
  if (needed <= b->capacity) return;
  const Py_ssize_t cap = grown_capacity(b->capacity, needed);
  auto* items = static_cast<double*>(PyMem_Realloc(b->items, static_cast<size_t>(cap) * sizeof(double)));
  if (!items) raise_no_memory();
  b->items = items;
  b->capacity = cap;
}

// A private buffer holding the first n numbers of `t`, with room for `extra` more.
NumBuffer* private_copy(const NumList& t, Py_ssize_t n, Py_ssize_t extra) {
  if (extra > kMaxListItems - n) raise(PyExc_OverflowError, kTooMany);
  NumBuffer* b = numbuffer_new(grown_capacity(0, n + extra));
  if (n) std::memcpy(b->items, nums_items(t), static_cast<size_t>(n) * sizeof(double));
  b->count = n;
  return b;
}

void replace(NumList& t, NumList fresh) noexcept {
  NumBuffer* old = t.buf;
  t = fresh;
  numbuffer_release(old);
}

// A private buffer for the list when another list shares its buffer.
void make_private(NumList& t) {
  if (!t.buf || t.buf->shares == 1) return;
  const Py_ssize_t n = nums_size(t);
  NumList fresh;
  fresh.buf = private_copy(t, n, 0);
  fresh.length = n;
  replace(t, fresh);
}

}  // namespace

void nums_release(NumList& t) noexcept { replace(t, NumList{}); }

NumList nums_copy(const NumList& t, Py_ssize_t n) noexcept {
  return view_copy(t, nums_size(t), n, [](NumBuffer* b) { ++b->shares; }, [](double v) { return v; });
}

void nums_assign_copy(NumList& dst, const NumList& src) noexcept {
  if (&dst == &src) return;
  replace(dst, nums_copy(src));
}

void nums_reserve(NumList& t, Py_ssize_t extra) {
  const Py_ssize_t n = nums_size(t);
  if (!t.buf) {
    if (extra <= kTermInline - n) return;  // fits inline
  } else if (t.buf->count == t.length) {
    if (extra > kMaxListItems - t.buf->count) raise(PyExc_OverflowError, kTooMany);
    return numbuffer_grow(t.buf, t.buf->count + extra);
  }
  NumList fresh;
  fresh.buf = private_copy(t, n, extra);
  fresh.length = n;
  replace(t, fresh);
}

void nums_append(NumList& t, double value) {
  nums_reserve(t, 1);
  if (!t.buf) {
    t.inl[t.length++] = value;
    return;
  }
  t.buf->items[t.buf->count++] = value;
  t.length = t.buf->count;
}

void nums_extend(NumList& dst, const NumList& src, Py_ssize_t n) {
  const Py_ssize_t shown = nums_size(src);
  if (n > shown) n = shown;
  if (n <= 0) return;
  if (nums_size(dst) == 0) return replace(dst, nums_copy(src, n));
  OwnedNums pin(nums_copy(src, n));  // src may be dst: its numbers stay while dst grows
  nums_reserve(dst, n);
  const double* from = nums_items(pin.t);
  if (!dst.buf) {
    for (Py_ssize_t i = 0; i < n; ++i) dst.inl[dst.length++] = from[i];
    return;
  }
  std::memcpy(dst.buf->items + dst.buf->count, from, static_cast<size_t>(n) * sizeof(double));
  dst.buf->count += n;
  dst.length = dst.buf->count;
}

void nums_imul(NumList& t, double m) {
  make_private(t);
  const Py_ssize_t n = nums_size(t);
  double* items = t.buf ? t.buf->items : t.inl;
  for (Py_ssize_t i = 0; i < n; ++i) items[i] = m * items[i];
}

void nums_remove(NumList& t, const std::vector<Py_ssize_t>& positions) {
  OwnedNums kept;
  const Py_ssize_t n = nums_size(t);
  nums_reserve(kept.t, n);
  size_t j = 0;
  for (Py_ssize_t i = 0; i < n; ++i) {
    if (j < positions.size() && positions[j] == i) {
      ++j;
      continue;
    }
    nums_append(kept.t, nums_at(t, i));  // cannot fail: room is made
  }
  replace(t, kept.t);
  kept.t = NumList{};
}

void nums_clear(NumList& t) {
  if (!t.buf || t.buf->shares != 1) return nums_release(t);
  t.length = 0;
  t.buf->count = 0;
}

// --- the Python class List -------------------------------------------------------------

namespace {

ListObject* self_list(PyObject* op) { return as_list(op); }

// lst.add(item): an exact List appends in C; a subclass first runs its own
// _make_append_safe(), which it may have overridden.
void list_add(PyObject* self, PyObject* item) {
  if (!Py_IS_TYPE(self, &ListType)) {
    Ref pin = Ref::borrow(item);
    take(PyObject_CallMethodNoArgs(self, VLM_STR("_make_append_safe")));
  }
  terms_append(self_list(self)->t, item);
}

// The items of a list (or subclass) appended in iteration order; an error of
// the iteration leaves the items added before it.
void add_from_list(PyObject* self, PyObject* li) {
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(li); ++i) {
    Ref item = Ref::borrow(PyList_GET_ITEM(li, i));
    list_add(self, item.get());
  }
}

Ref new_list_object() {
  ListObject* l = PyObject_GC_New(ListObject, &ListType);
  if (!l) throw_error_set();
  l->t = TermList{};
  PyObject_GC_Track(reinterpret_cast<PyObject*>(l));
  return Ref::steal(reinterpret_cast<PyObject*>(l));
}

// lst += other, as the in-place operator and as the second step of lst + other.
PyObject* list_iadd_impl(PyObject* self, PyObject* other) {
  if (PyList_Check(other)) {
    if (terms_size(self_list(self)->t) == 0) {
      Ref fresh = new_list_object();
      terms_reset(as_list(fresh.get())->t);
      add_from_list(fresh.get(), other);
      return fresh.release();
    }
    add_from_list(self, other);
    return Py_NewRef(self);
  }
  if (is_list(other)) {
    Ref pin = Ref::borrow(other);
    if (terms_size(self_list(self)->t) == 0) return list_from_terms(as_list(other)->t).release();
    if (Py_IS_TYPE(self, &ListType)) {
      terms_extend(self_list(self)->t, as_list(other)->t, terms_size(as_list(other)->t));
    } else {
      const Py_ssize_t n = terms_size(as_list(other)->t);
      for (Py_ssize_t i = 0; i < n && i < terms_size(as_list(other)->t); ++i) {
        Ref item = Ref::borrow(terms_at(as_list(other)->t, i));
        list_add(self, item.get());
      }
    }
    return Py_NewRef(self);
  }
  raise_format(PyExc_TypeError, "unsupport operation +=: `%s` and `%s`", _PyType_Name(Py_TYPE(self)),
               _PyType_Name(Py_TYPE(other)));
}

// --- slots -------------------------------------------------------------------------------

PyObject* list_new(PyTypeObject* type, PyObject*, PyObject*) noexcept {
  PyObject* self = type->tp_alloc(type, 0);
  if (self) as_list(self)->t = TermList{};
  return self;
}


int list_init(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
  return guarded_int([&] {
    Args a;
    if (unpack_init(&ListType, args, kwargs, a) < 0) throw_error_set();
    Ref data = Ref::borrow(a[0]);
    terms_reset(self_list(self)->t);
    if (!PyList_Check(data.get())) raise(PyExc_TypeError, "Expect a list");
    add_from_list(self, data.get());
    return 0;
  });
}

int list_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
  return terms_traverse(self_list(self)->t, visit, arg);
}

int list_clear_slot(PyObject* self) noexcept {
  terms_release(self_list(self)->t);
  return 0;
}

void list_dealloc(PyObject* self) noexcept {
  PyObject_GC_UnTrack(self);
  terms_release(self_list(self)->t);
  Py_TYPE(self)->tp_free(self);
}

Py_ssize_t list_length(PyObject* self) noexcept { return terms_size(self_list(self)->t); }

PyObject* item_at(PyObject* self, int64_t i) {
  const TermList& t = self_list(self)->t;
  if (i < 0 || i >= terms_size(t)) raise(PyExc_IndexError, "list index out of range");
  return Py_NewRef(terms_at(t, static_cast<Py_ssize_t>(i)));
}

PyObject* list_item(PyObject* self, Py_ssize_t i) noexcept {
  return guarded([&] { return item_at(self, i); });
}

PyObject* list_subscript(PyObject* self, PyObject* key) noexcept {
  return guarded([&] { return item_at(self, integer_only(key)); });
}

PyObject* list_add_slot(PyObject* left, PyObject* right) noexcept {
  if (!is_list(left)) Py_RETURN_NOTIMPLEMENTED;
  return guarded_holding(left, right, [&] {
    Ref copy = list_from_terms(self_list(left)->t);
    return list_iadd_impl(copy.get(), right);
  });
}

PyObject* list_iadd_slot(PyObject* self, PyObject* other) noexcept {
  return guarded_holding(self, other, [&] { return list_iadd_impl(self, other); });
}

// str() / repr() of a Python list of the items.
Ref as_python_list(PyObject* self) {
  const TermList& t = self_list(self)->t;
  const Py_ssize_t n = terms_size(t);
  Ref out = take(PyList_New(n));
  for (Py_ssize_t i = 0; i < n; ++i) PyList_SET_ITEM(out.get(), i, Py_NewRef(terms_at(t, i)));
  return out;
}

PyObject* list_str(PyObject* self) noexcept {
  return guarded([&] { return PyObject_Str(as_python_list(self).get()); });
}

PyObject* list_repr(PyObject* self) noexcept {
  return guarded([&] { return PyObject_Repr(as_python_list(self).get()); });
}

// --- methods -----------------------------------------------------------------------------

PyObject* list_make_append_safe(PyObject* self, const Args&) {
  terms_make_append_safe(self_list(self)->t);
  Py_RETURN_NONE;
}

PyObject* list_make_update_safe(PyObject* self, const Args&) {
  terms_make_update_safe(self_list(self)->t);
  Py_RETURN_NONE;
}

const FunctionDef list_members[] = {
    {"_make_append_safe", "self", list_make_append_safe, Kind::Method, nullptr, __LINE__},
    {"_make_update_safe", "self", list_make_update_safe, Kind::Method, nullptr, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

PySequenceMethods list_as_sequence = {};
PyMappingMethods list_as_mapping = {};
PyNumberMethods list_as_number = {};

}  // namespace

Ref list_from_terms(const TermList& t) {
  Ref l = new_list_object();
  as_list(l.get())->t = terms_copy(t);
  return l;
}

Ref list_from_numbers(const NumList& t) {
  Ref l = new_list_object();
  TermList& items = as_list(l.get())->t;
  const Py_ssize_t n = nums_size(t);
  terms_reserve(items, n);
  for (Py_ssize_t i = 0; i < n; ++i) terms_append_steal(items, coefficient(nums_at(t, i)).release());
  return l;
}

PyTypeObject ListType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_list() {
  list_as_sequence.sq_length = slot(list_length);
  list_as_sequence.sq_item = slot(list_item);
  list_as_mapping.mp_length = slot(list_length);
  list_as_mapping.mp_subscript = slot(list_subscript);
  list_as_number.nb_add = slot(list_add_slot);
  list_as_number.nb_inplace_add = slot(list_iadd_slot);

  ListType.tp_name = "velmorpy.List";
  ListType.tp_basicsize = sizeof(ListObject);
  ListType.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC;
  ListType.tp_new = slot(list_new);
  ListType.tp_init = slot(list_init);
  ListType.tp_dealloc = slot(list_dealloc);
  ListType.tp_traverse = slot(list_traverse);
  ListType.tp_clear = slot(list_clear_slot);
  ListType.tp_str = slot(list_str);
  ListType.tp_repr = slot(list_repr);
  ListType.tp_as_sequence = &list_as_sequence;
  ListType.tp_as_mapping = &list_as_mapping;
  ListType.tp_as_number = &list_as_number;
}

void bind_list_namespace() { bind_members(&ListType, list_members, __FILE__); }

}  // namespace velmorpy
