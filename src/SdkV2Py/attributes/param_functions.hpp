// The module-level parameter functions (setParam, readParams, resetParams,
// writeParams) and paramHelp.
#pragma once
#include <Python.h>

#include <vector>

#include "module/args.hpp"
#include "module/ref.hpp"

namespace velmorpy {

// The Holders of the environments that setParam, readParams and resetParams
// act on, in order: the default environment's when one exists. Never creates
// an environment. Throws.
std::vector<Ref> param_targets();

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
