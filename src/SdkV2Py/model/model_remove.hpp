// Removal of model items: Model.remove, and its two internal operations,
// getids (the walk that sorts what to remove by kind) and _remove (the
// renumbering of one handle list after its items were deleted).
//
// The library numbers each kind of item densely from 0 and renumbers the
// survivors of a deletion in their order. The handles follow: a surviving
// handle's index drops by the number of removed items before it (in place, so
// every reference to it sees the new index), a removed handle's index becomes
// -1 minus its last position (the library refuses it from then on), and the
// model's list of that kind is replaced by a new list of the survivors.
// Linear and semidefinite rows share one numbering: removing a Constr also
// removes the PsdConstr handle at its position.
#pragma once
#include <Python.h>

#include <cstdint>
#include <vector>

#include "runtime/members.hpp"
#include "runtime/ref.hpp"

namespace velmorpy {

// What the walk found, by kind: the handles themselves (held), so that their
// indices are read only once the walk, which may run Python code, is over.
struct RemovalItems {
  std::vector<Ref> vars, constrs, soss, genconstrs;
};

// getids: walks `item` and collects its handles into `out`. In this order:
// a Var, Constr, SOS or GenConstr handle is taken (ValueError "Argument
// `items` holds an item of another model" for a handle of another model); a
// PsdVar or PsdConstr is refused with TypeError; an MVar or MConstr
// (remove_matrix_cells) and a NumPy array are walked cell by cell, whatever
// their shape; a dict (subclasses too) is walked by its values; anything
// NumPy does not call a scalar is iterated and each element walked; anything
// else raises TypeError "unsupported type: `{}`" (its type's name). A
// container that holds itself ends in RecursionError. Throws; on failure
// nothing has been deleted.
void model_getids(const Ref& holder, PyObject* item, RemovalItems& out);

// _remove, for one of the model's handle lists: the renumbering after the
// library deleted the items `ids` (ascending, distinct) of the list's kind.
// Made in two steps so that nothing can fail once the library deleted them:
// the constructor allocates the new list of survivors (throws; changes
// nothing), apply() then writes the indices: a handle whose index is in `ids`
// gets -1 minus it, every other one its position in the new list. Objects in
// the list that are not handles of the model behind `holder` (or hold a
// negative index) are left alone and not carried over.
class ListRenumbering {
 public:
  ListRenumbering(const Ref& handles, const std::vector<int32_t>& ids, const Ref& holder);
  // Whether `current` (the model's field now) is still the list it was made
  // for, of the same length: Python code run since (by another thread while
  // the model was claimed) may have replaced or grown it.
  bool unchanged(PyObject* current) const noexcept;
  // Writes the indices; returns the new list. Call once.
  Ref apply() noexcept;

 private:
  Ref handles_;
  Py_ssize_t size_ = 0;
  Ref survivors_;
  std::vector<PyObject*> removed_;  // held by handles_
};

// Where remove() meets the matrix-shaped classes MVar and MConstr: the NumPy
// object array of their cells, which the walk takes cell by cell whatever its
// shape (so a 0-d or 2-D one is removed whole), or an empty Ref for any other
// object (and for one made without an array, which the walk then iterates).
// Reads fields only.
Ref remove_matrix_cells(PyObject* item);

// Their rows, bound into Model's namespace with the other methods.
extern const MemberTable model_remove_table;

}  // namespace velmorpy
