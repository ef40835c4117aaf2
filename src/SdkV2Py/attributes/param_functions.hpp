// The module-level parameter functions (setParam, readParams, resetParams,
// writeParams) and paramHelp.
#pragma once
#include <Python.h>

#include <vector>

#include "runtime/args.hpp"
#include "runtime/ref.hpp"

namespace velmorpy {

// One environment that setParam, readParams and resetParams act on.
struct ParamTarget {
  Ref holder;     // the default environment's Holder, or a model's
  bool is_model;
  // A model disposed by now (before the call, or by code an earlier target
  // ran) has no parameters any more and is passed over; a default environment
  // disposed behind the module's back is not, and raises when used.
  bool skipped() const;
};

// The targets in order: the default environment (made first when `create`
// and none exists yet), then every model bound to a global name of the
// calling code. Throws.
std::vector<ParamTarget> param_targets(bool create);

// The module functions. Each throws.
PyObject* paramHelp(PyObject*, const Args& a);
PyObject* readParams(PyObject*, const Args& a);
PyObject* resetParams(PyObject*, const Args& a);
PyObject* setParam(PyObject*, const Args& a);
PyObject* writeParams(PyObject*, const Args& a);
extern const char paramHelp_doc[];
extern const char readParams_doc[];
extern const char resetParams_doc[];
extern const char setParam_doc[];
extern const char writeParams_doc[];

}  // namespace velmorpy
