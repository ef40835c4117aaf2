// Model: the owner of one library model and of the Python-side lists of its
// items' handles.
#pragma once
#include <Python.h>

#include <velmor.h>

#include <cstdint>

#include "runtime/ref.hpp"

namespace velmorpy {

struct ModelObject {
  PyObject_HEAD
  // The Holder of the library model (strong), shared with every handle made
  // from it; null while the model has none (made with `empty`, or not yet
  // initialised). The holder frees the library model once: on dispose(), or
  // when the model is finalised.
  PyObject* holder_;
  // The model's parameter object, or None. Two fields: the property setters
  // change one at a time.
  PyObject* Params;
  PyObject* params;
  // dict of the attributes whose names begin with "_"; None until __init__.
  PyObject* private_attrs_;
  // Callback state. callback_: what the last optimize() was given (None
  // before). cbdata_ is non-null only inside a callback turn on this model;
  // terminate() and the cb* methods test it. where_: the turn's where-code.
  // terminate_: 1 once terminate() was called in the turn. cbSolutionMode:
  // kinds of keys given to cbSetSolution since the last submission (1 Var,
  // 2 presolved column index). cbSolution: a float64 array of the values
  // recorded in the turn, or None. The bridge clears terminate_ and
  // cbSolutionMode together at the start of each turn. cb_error_: the
  // exception (with its traceback) that ended a turn and so stopped the run,
  // kept here until optimize() or computeIIS() raises it once the library
  // has returned; null otherwise.
  PyObject* callback_;
  void* cbdata_;
  int32_t where_;
  uint8_t terminate_;
  uint8_t cbSolutionMode;
  PyObject* cbSolution;
  PyObject* cb_error_;
  // Lists of handles; element i has index i. None until __init__. Linear and
  // semidefinite constraints share one numbering, so constrs_ and psdconstrs_
  // always have the same length.
  PyObject* vars_;
  PyObject* constrs_;
  PyObject* soss_;
  PyObject* genconstrs_;
  PyObject* psdvars_;
  PyObject* psdconstrs_;
};

extern PyTypeObject ModelType;
extern const char model_init_doc[];
extern const char model_init_params[];
void prepare_model();
void bind_model_namespace();

inline bool is_model(PyObject* op) { return PyObject_TypeCheck(op, &ModelType); }
inline ModelObject* as_model(PyObject* op) { return reinterpret_cast<ModelObject*>(op); }

// The model's holder (possibly empty), held by the caller for as long as it
// uses it: Python code run meanwhile may re-initialise the model, which drops
// the model's own reference.
Ref holder_of(PyObject* model);

// A count of the model read through the attribute layer (NumConstrs,
// NumVars, ...): a non-negative 32-bit value. Throws.
int32_t model_count(const Ref& holder, PyObject* attrname);

// numpy.ndim(v), without NumPy for the common cases (numbers, str, bytes,
// handles and None are 0; a list or tuple counts as 1, as only 0 matters).
// Throws.
int ndim_of(PyObject* v);

// Internal operations. Each throws.
// A new Model that owns `handle` (freed once, also when this call fails) with
// its handle lists built from it.
Ref model_new(VLMmodel* handle);
// The environment of the model's library model; VelmorError(INVALID_ARGUMENT)
// for a model without one or disposed.
VLMenv* model_get_env(PyObject* model);
// `v` itself when numpy.ndim(v) is 0, else numpy.take(v, i).
Ref model_get_element(PyObject* v, Py_ssize_t i);
// Drops the items of `list` (a list) from `size` on without allocating: how a
// batch of handles leaves the model's list again when the library refused
// their items. The items must be held elsewhere too, so that no deallocation
// runs code here.
void truncate_list(PyObject* list, Py_ssize_t size);
// Rebuilds the six handle lists from the library model's counts. Each list is
// replaced once it is complete; handles held elsewhere keep their index.
void model_populate(ModelObject* self);

}  // namespace velmorpy
