// tuplelist: a list of records (all scalars, or all tuples/lists of one length)
// answering wildcard queries from a lazily built inverted index.
#pragma once
#include <Python.h>

#include <cstdint>

#include "runtime/ref.hpp"

namespace velmorpy {

// The index a query builds (tuplelist.cpp): per field position, the field
// values numbered in a dict and the item positions grouped by value, in
// 32-bit integers. It stands for tuple_index_ until Python reads that field,
// which is then made from it.
struct CompactIndex;

struct TupleListObject {
  PyListObject list;
  // None while no index exists as Python objects; otherwise a list with one
  // dict per field position j, mapping a field value to the ascending list of
  // the positions of the items holding it there. Every change of the items
  // sets it back to None.
  PyObject* tuple_index_;
  // The index a query built, while tuple_index_ is None; null otherwise.
  CompactIndex* compact_;
  PyObject* wildcard_;  // str or None: the query value that matches anything
  // Bumped whenever the index is dropped or replaced. An index build that runs
  // user code (hash, ==, len) installs its result only if this did not move.
  uint64_t changes_;
};

extern PyTypeObject TupleListType;
extern const char tuplelist_init_doc[];
extern const char tuplelist_init_params[];
void prepare_tuplelist();
void bind_tuplelist_namespace();

inline bool is_tuplelist(PyObject* op) { return PyObject_TypeCheck(op, &TupleListType); }
inline TupleListObject* as_tuplelist(PyObject* op) { return reinterpret_cast<TupleListObject*>(op); }

// A new tuplelist(li): li's items, checked, wildcard "*", no index. li may be
// None or null for an empty one. Throws.
Ref make_tuplelist(PyObject* li);

// Forgets the index (the next query builds one).
void tuplelist_drop_index(TupleListObject* self) noexcept;

// Internal operations, in table order. Each throws PyErrAlreadySet.
// ValueError unless e fits the list (measured against self[0], or `first` when empty).
void tuplelist_check(TupleListObject* self, PyObject* e, PyObject* first);
// The body of __init__(li, wildcard).
void tuplelist_constructor(TupleListObject* self, PyObject* li, PyObject* wildcard);
// Checked append and insert; both drop the index.
void tuplelist_append(TupleListObject* self, PyObject* e);
void tuplelist_insert(TupleListObject* self, int32_t index, PyObject* e);
// Checked extension in place (every item checked before any is added); drops the index.
void tuplelist_extend(TupleListObject* self, PyObject* li);
// A new tuplelist: a copy of self followed by the items of `other`, each checked.
Ref tuplelist_add(TupleListObject* self, PyObject* other);
// Enters item i under each of its field values in the dicts of `index` (a list
// of dicts, one per field position, not yet reachable from Python: the build
// under way owns it), all sharing one position object.
void tuplelist_build(TupleListObject* self, PyObject* index, Py_ssize_t i);
// Whether item i matches the non-empty query tuple.
bool tuplelist_match(TupleListObject* self, Py_ssize_t i, PyObject* query);
// Intersection and union of two ascending lists of positions, as new lists.
Ref tuplelist_disjoint(PyObject* a, PyObject* b);
Ref tuplelist_union(PyObject* a, PyObject* b);
// None (no position constrained), an empty list (nothing can match), or one
// inverted list per constrained position in query order. Builds the index if needed.
Ref tuplelist_inv_lists(TupleListObject* self, PyObject* query);
// A new tuplelist of the items matching `query` (a tuple, or None), ascending.
Ref tuplelist_select(TupleListObject* self, PyObject* query);

}  // namespace velmorpy
