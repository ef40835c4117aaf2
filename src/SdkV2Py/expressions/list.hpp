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

#include <cstdint>
#include <utility>
#include <vector>

#include "module/ref.hpp"

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

// A TermList owned by a C++ scope: its share is released when the scope ends.
struct OwnedTerms {
  TermList t;
  OwnedTerms() = default;
  explicit OwnedTerms(TermList taken) noexcept : t(taken) {}
  OwnedTerms(const OwnedTerms&) = delete;
  OwnedTerms& operator=(const OwnedTerms&) = delete;
  ~OwnedTerms() { terms_release(t); }
};

// GC support for owners of TermLists.
inline int terms_traverse(const TermList& t, visitproc visit, void* arg) {
  Py_VISIT(reinterpret_cast<PyObject*>(t.buf));
  for (PyObject* item : t.inl) Py_VISIT(item);
  return 0;
}

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
