// tupledict: a dict keyed by scalars or equal-length tuples, answering wildcard
// key queries through a tuplelist of its keys made on the first query.
#pragma once
#include <Python.h>

#include <cstdint>

#include "runtime/ref.hpp"

namespace velmorpy {

struct TupleDictObject {
  PyDictObject dict;
  // Null until a query needs it; then a tuplelist of the keys in the dict's
  // order at that time, with its own index. Every change of the dict drops it.
  // Code that stores into the dict at C level (PyDict_SetItem) must drop it too.
  PyObject* keys_;
  // Bumped whenever keys_ is dropped. A key list made while it moved (making
  // it runs user code) is used for that query only, not kept.
  uint64_t changes_;
};

extern PyTypeObject TupleDictType;
extern const char tupledict_init_doc[];
void prepare_tupledict();
void bind_tupledict_namespace();

inline bool is_tupledict(PyObject* op) { return PyObject_TypeCheck(op, &TupleDictType); }
inline TupleDictObject* as_tupledict(PyObject* op) { return reinterpret_cast<TupleDictObject*>(op); }

// A new empty tupledict; with room for `expected` items made in advance. Throws.
Ref make_tupledict();
Ref make_tupledict(Py_ssize_t expected);

// Forgets the key list (the next query makes one).
void tupledict_drop_keys(TupleDictObject* self) noexcept;

// Internal operations, in table order. Each throws PyErrAlreadySet.
// A new tuplelist of the keys matching `query` (a tuple), in key-list order.
Ref tupledict_select(TupleDictObject* self, PyObject* query);

}  // namespace velmorpy
