// List: the copy-on-write reference list in which expressions keep their terms.
//
// A list of terms is a view of the first `length` references of a shared
// buffer. The buffer is a small GC-tracked object whose reference count is its
// share count: every list that shows it holds one reference, and visits it
// once when the collector asks. Copying a list is one incref. An append that
// lands at the end of the buffer (buffer count == length) copies nothing, even
// when the buffer is shared: the other sharers keep their shorter length and
// never see the new item. Any other change first gives the list a private
// copy of its own items.
//
// TermList is that view as a plain struct: the Python class `List` holds one,
// and LinExpr, QuadExpr and PsdExpr embed theirs directly, so C++ code reads
// and builds terms without any Python-level call. See docs/internals.md.
#pragma once
#include <Python.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "runtime/ref.hpp"

namespace velmorpy {

// Counts and capacities are 64-bit; a list holds at most kMaxListItems items
// (OverflowError beyond, MemoryError when the allocation fails).
constexpr Py_ssize_t kMaxListItems = INT32_MAX;
constexpr Py_ssize_t kListInline = 8;  // the first allocation: slots kept inside the buffer object
constexpr Py_ssize_t kTermInline = 2;  // items a TermList keeps without a buffer

struct ListBufferObject {
  PyObject_HEAD
  PyObject** items;    // null while capacity is 0; inline_ up to kListInline slots, then the heap
  Py_ssize_t count;    // slots filled, from 0; each holds one strong reference
  Py_ssize_t capacity; // 0, 8, 16, 32, ...
  PyObject* inline_[kListInline];
};

extern PyTypeObject ListBufferType;
int ready_listbuffer_type() noexcept;

// Buffers are tracked by the collector from the first item that it tracks
// kinds of; one that holds only such items as Vars and floats cannot be part
// of a cycle and is left alone by collections.
inline void listbuffer_track(ListBufferObject* b) noexcept {
  if (!PyObject_GC_IsTracked(reinterpret_cast<PyObject*>(b))) PyObject_GC_Track(b);
}
// Whether the collector tracks objects like `item` (so that it may be part of a cycle).
inline bool collector_kind(PyObject* item) noexcept {
  PyTypeObject* type = Py_TYPE(item);
  return PyType_IS_GC(type) && (!type->tp_is_gc || type->tp_is_gc(item));
}
inline void listbuffer_hold(ListBufferObject* b, PyObject* item) noexcept {
  if (collector_kind(item)) listbuffer_track(b);
}

// The capacity after growing from `capacity` so that `needed` slots fit:
// 8 first, then doubling; kMaxListItems at most. OverflowError when `needed`
// is beyond kMaxListItems. Throws.
Py_ssize_t grown_capacity(Py_ssize_t capacity, Py_ssize_t needed);

// A view of a buffer: its items [0, length). A list of at most kTermInline
// items needs no buffer: with `buf` null its items sit in `inl` (copying so
// few is as cheap as sharing them), and the first append beyond them moves
// them into a buffer. Most expressions an operator makes (2 * x, x + y) have
// one or two terms.
struct TermList {
  ListBufferObject* buf = nullptr;  // strong, or null
  Py_ssize_t length = 0;
  PyObject* inl[kTermInline] = {};  // without a buffer: items [0, length), strong; the rest null
};

// --- reading (no Python code runs) ------------------------------------------------

// The number of items the list shows. Never beyond the buffer's count, so a
// buffer emptied by the collector reads as empty.
inline Py_ssize_t terms_size(const TermList& t) noexcept {
  if (!t.buf) return t.length;
  return t.length < t.buf->count ? t.length : t.buf->count;
}
// The items, borrowed: valid until Python code or a change of the list runs.
inline PyObject* const* terms_items(const TermList& t) noexcept { return t.buf ? t.buf->items : t.inl; }
inline PyObject* terms_at(const TermList& t, Py_ssize_t i) noexcept { return terms_items(t)[i]; }

// --- building and changing (each throws) -------------------------------------------

// Empties `t`, releasing what it held.
void terms_reset(TermList& t);
// Releases what `t` holds (its share of the buffer, or its inline item).
void terms_release(TermList& t) noexcept;
// A sharing copy of the first n items (all when n is negative): one more
// share of the buffer, or new references to inline items.
TermList terms_copy(const TermList& t, Py_ssize_t n = -1) noexcept;
// Replaces `dst` by a sharing copy of `src` (releasing what dst held).
void terms_assign_copy(TermList& dst, const TermList& src) noexcept;
// A private buffer holding the list's own items.
void terms_detach(TermList& t);
// Private copy when items beyond `length` exist (an append needs count == length).
void terms_make_append_safe(TermList& t);
// Private copy when the buffer is shared.
void terms_make_update_safe(TermList& t);
// Room for `extra` more appends without a reallocation (the list must be append-safe).
void terms_reserve(TermList& t, Py_ssize_t extra);
// Appends one item (a new reference is taken). Amortised O(1); copies only
// when the list is not append-safe.
void terms_append(TermList& t, PyObject* item);
// Whether `extra` more items can be appended without an allocation.
inline bool terms_has_room(const TermList& t, Py_ssize_t extra) noexcept {
  if (!t.buf) return extra <= kTermInline - t.length;
  return t.buf->count == t.length && extra <= t.buf->capacity - t.buf->count;
}
// terms_append after terms_reserve made room for it: cannot fail.
inline void terms_append_reserved(TermList& t, PyObject* item) noexcept {
  if (!t.buf) {
    t.inl[t.length++] = Py_NewRef(item);
    return;
  }
  listbuffer_hold(t.buf, item);
  t.buf->items[t.buf->count++] = Py_NewRef(item);
  t.length = t.buf->count;
}
// Appends a reference the caller gives up (also on failure).
void terms_append_steal(TermList& t, PyObject* item);
// Appends the first n items of `src` (clipped to what it shows). An empty
// `dst` becomes a sharing copy instead. `src` may be `dst` itself.
void terms_extend(TermList& dst, const TermList& src, Py_ssize_t n);
// Replaces every item x by f(x) (f returns a new reference or throws), after
// making the list private. Items replaced before a failure keep their new values.
template <class F>
void terms_map(TermList& t, F&& f);
// Replaces every item x by the Python product m * x (a float times the item:
// exact floats are multiplied in C).
void terms_imul(TermList& t, double m);
// Replaces item i (i < terms_size(t)) by `item`, after making the list private.
void terms_set(TermList& t, Py_ssize_t i, Ref item);
// Drops the items at the ascending positions `positions`; a position that is
// not the next one in turn stops the removal there (later ones are not used).
void terms_remove(TermList& t, const std::vector<Py_ssize_t>& positions);
// Empties the list: a shared buffer is left to its other sharers, a private
// one is emptied in place (its references released in slot order, after the
// list already reads as empty).
void terms_clear(TermList& t);

// A TermList (or NumList) owned by a C++ scope: its share is released when
// the scope ends.
template <class View, void (*Release)(View&) noexcept>
struct OwnedView {
  View t;
  OwnedView() = default;
  explicit OwnedView(View taken) noexcept : t(taken) {}
  OwnedView(const OwnedView&) = delete;
  OwnedView& operator=(const OwnedView&) = delete;
  ~OwnedView() { Release(t); }
};
using OwnedTerms = OwnedView<TermList, terms_release>;

// GC support for owners of TermLists.
inline int terms_traverse(const TermList& t, visitproc visit, void* arg) {
  Py_VISIT(reinterpret_cast<PyObject*>(t.buf));
  for (PyObject* item : t.inl) Py_VISIT(item);
  return 0;
}

// --- NumList: coefficients kept as numbers ----------------------------------------------
//
// A copy-on-write list of doubles with the sharing rules of TermList: a copy
// shares the buffer (one more share), an append where the buffer's count
// equals the list's length writes at its end even when it is shared (the
// other sharers keep their shorter length), every other change first gives
// the list a private copy. Up to kTermInline numbers need no buffer. A buffer
// holds no Python object: a LinExpr's coefficients live here and become
// float objects only when they are read as objects.
struct NumBuffer {
  Py_ssize_t shares;    // the lists that show it
  Py_ssize_t count;     // slots filled
  Py_ssize_t capacity;  // 8, 16, 32, ... (grown_capacity)
  double* items;        // PyMem, `capacity` slots
};

struct NumList {
  NumBuffer* buf = nullptr;  // shared, or null
  Py_ssize_t length = 0;
  double inl[kTermInline] = {};  // without a buffer: items [0, length)
};

inline Py_ssize_t nums_size(const NumList& t) noexcept {
  if (!t.buf) return t.length;
  return t.length < t.buf->count ? t.length : t.buf->count;
}
inline const double* nums_items(const NumList& t) noexcept { return t.buf ? t.buf->items : t.inl; }
inline double nums_at(const NumList& t, Py_ssize_t i) noexcept { return nums_items(t)[i]; }

// The operations of TermList, for numbers; those that allocate throw
// (MemoryError, OverflowError beyond kMaxListItems).
void nums_release(NumList& t) noexcept;
NumList nums_copy(const NumList& t, Py_ssize_t n = -1) noexcept;
void nums_assign_copy(NumList& dst, const NumList& src) noexcept;
void nums_reserve(NumList& t, Py_ssize_t extra);
void nums_append(NumList& t, double value);
inline bool nums_has_room(const NumList& t, Py_ssize_t extra) noexcept {
  if (!t.buf) return extra <= kTermInline - t.length;
  return t.buf->count == t.length && extra <= t.buf->capacity - t.buf->count;
}
// nums_append after nums_reserve made room for it: cannot fail.
inline void nums_append_reserved(NumList& t, double value) noexcept {
  if (!t.buf) {
    t.inl[t.length++] = value;
    return;
  }
  t.buf->items[t.buf->count++] = value;
  t.length = t.buf->count;
}
// Appends the first n numbers of `src` (which may be `dst`); an empty `dst`
// becomes a sharing copy.
void nums_extend(NumList& dst, const NumList& src, Py_ssize_t n);
// Every number times m (m on the left, as the float product m * x).
void nums_imul(NumList& t, double m);
void nums_remove(NumList& t, const std::vector<Py_ssize_t>& positions);
void nums_clear(NumList& t);

using OwnedNums = OwnedView<NumList, nums_release>;

// --- either kind: the names the parallel term lists (terms.hpp) use ---------------------
//
// An expression keeps its terms in parallel lists of both kinds; the
// operations on all of them at once are written once, over these overloads
// (QuadExpr adds its coefficients' own, quadexpr.hpp).
inline Py_ssize_t termlist_size(const TermList& t) noexcept { return terms_size(t); }
inline Py_ssize_t termlist_size(const NumList& t) noexcept { return nums_size(t); }
inline TermList termlist_copy(const TermList& t, Py_ssize_t n = -1) noexcept { return terms_copy(t, n); }
inline NumList termlist_copy(const NumList& t, Py_ssize_t n = -1) noexcept { return nums_copy(t, n); }
inline void termlist_release(TermList& t) noexcept { terms_release(t); }
inline void termlist_release(NumList& t) noexcept { nums_release(t); }
inline void termlist_remove(TermList& t, const std::vector<Py_ssize_t>& p) { terms_remove(t, p); }
inline void termlist_remove(NumList& t, const std::vector<Py_ssize_t>& p) { nums_remove(t, p); }
inline void termlist_clear(TermList& t) { terms_clear(t); }
inline void termlist_clear(NumList& t) { nums_clear(t); }
// Whether two views show the same storage: one buffer and one length, or the same inline items.
inline bool termlist_same(const TermList& a, const TermList& b) noexcept {
  return a.buf == b.buf && terms_size(a) == terms_size(b) && (a.buf || std::equal(a.inl, a.inl + kTermInline, b.inl));
}
inline bool termlist_same(const NumList& a, const NumList& b) noexcept {
  return a.buf == b.buf && nums_size(a) == nums_size(b) &&
         (a.buf || std::memcmp(a.inl, b.inl, sizeof a.inl) == 0);
}
inline int termlist_traverse(const TermList& t, visitproc visit, void* a) { return terms_traverse(t, visit, a); }
inline int termlist_traverse(const NumList&, visitproc, void*) noexcept { return 0; }  // numbers only

// --- the Python class List ----------------------------------------------------------

struct ListObject {
  PyObject_HEAD
  TermList t;  // buffer null until the constructor runs
};

extern PyTypeObject ListType;
void prepare_list();
void bind_list_namespace();

inline bool is_list(PyObject* op) { return PyObject_TypeCheck(op, &ListType); }
inline ListObject* as_list(PyObject* op) { return reinterpret_cast<ListObject*>(op); }

// A new List showing the same items as `t` (a sharing copy). Throws.
Ref list_from_terms(const TermList& t);
// A new List of the numbers of `t` as float objects (coefficient()). Throws.
Ref list_from_numbers(const NumList& t);

template <class F>
void terms_map(TermList& t, F&& f) {
  terms_make_update_safe(t);
  for (Py_ssize_t i = 0; i < terms_size(t); ++i) {
    Ref item = Ref::borrow(terms_at(t, i));
    Ref next = f(item.get());  // may run Python code that changes the list
    if (i >= terms_size(t)) return;
    terms_set(t, i, std::move(next));
  }
}

}  // namespace velmorpy
