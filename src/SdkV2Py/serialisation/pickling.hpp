// Pickling of the module's classes.
//
// The value classes pickle their own fields: __reduce__ gives the class's
// module-level reconstructor `_unpickle_<Class>`, the object's class, a
// checksum of the field names and the state (the field values in the
// alphabetical order of the field names, then the instance dictionary of a
// Python subclass's instance). The reconstructor accepts the checksum made
// with SHA-256, SHA-1 or MD5 (the first 28 bits of the digest of the names
// joined by blanks), makes the object without its constructor and restores
// the fields; __setstate__ restores them on an existing object. Every field
// of a state is checked before any is stored, so a refused state leaves the
// object as it was.
//
// The classes holding library handles or shared term buffers refuse: their
// __reduce__ and __setstate__ raise TypeError naming those fields.
#pragma once
#include <Python.h>

#include <cstdint>

#include "runtime/ref.hpp"

namespace velmorpy {

// What a pickle carries besides the state.
enum class PickleItems : unsigned char { None, ListItems, DictItems };

// One class pickled by its fields.
struct FieldState {
  PyTypeObject* type;
  const char* fields;         // the field names in state order, joined by ", " (the checksum message shows them)
  Py_ssize_t nfields;
  uint32_t object_fields;     // bit i: field i holds an object (when not None it selects the three-part form)
  int32_t checksums[3];       // SHA-256, SHA-1, MD5 values; __reduce__ writes the first
  // The field values in state order: a new tuple of nfields items. Throws.
  Ref (*get)(PyObject* self);
  // Checks items [0, nfields) of `state` (a tuple holding at least that many)
  // and only then stores them. Throws.
  void (*set)(PyObject* self, PyObject* state);
  PickleItems items;
};

// The rows of the value classes, in the order their reconstructors are bound.
const FieldState* field_states(size_t* count);

// Binds the pickling pair of `type` (state-saving or refusing) when the class
// has none of its own: called right after the class is readied and bound in
// the module. A class without a row is left alone. Throws.
void install_pickling(PyTypeObject* type);

// Binds the reconstructors `_unpickle_<Class>` in the module. Throws.
void bind_reconstructors();

}  // namespace velmorpy
