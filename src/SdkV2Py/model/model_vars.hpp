// Batches of variables: Model.addVars, and _addVars, the internal operation
// that adds any number of variables with one library call (addVars and the
// matrix-shaped variables use it).
#pragma once
#include <Python.h>

#include "runtime/members.hpp"

#include "runtime/ref.hpp"

namespace velmorpy {

// The per-variable data of a batch, as given (borrowed): each a scalar for all
// variables, a sequence or NumPy array of one item per variable (read in
// row-major order), or None for the library's default. A scalar equal to the
// default (lb 0, ub >= VLM.INFINITY, obj 0, vtype "C" or "c", name "") is
// handed over as the default too.
struct VarBatch {
  PyObject* lb;
  PyObject* ub;
  PyObject* obj;
  PyObject* vtype;
  PyObject* name;

  // The defaults of every batch: lb 0.0, ub VLM.INFINITY, obj 0.0, vtype
  // VLM.CONTINUOUS, name '' (objects made once, kept for the process). Throws.
  static VarBatch defaults();
};

// _addVars: adds numpy.empty(shape).size variables (shape as checked_shape gives it) to `model` with one library
// call and returns their new handles as a NumPy object array of that shape,
// filled in row-major order; the handles are appended to the model's list in
// the same order. `keys` (any iterable) gives one key per variable and is read
// only for a non-empty scalar name, which each variable gets followed by its
// key as a list without blanks (x[0,1]). Every argument is checked before the
// library call; a failure adds nothing. Throws.
Ref model_addVars(PyObject* model, PyObject* shape, PyObject* keys, const VarBatch& data);

// Their rows, bound into Model's namespace with the other methods.
extern const MemberTable model_vars_table;

}  // namespace velmorpy
