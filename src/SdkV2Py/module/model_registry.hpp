// Models found through the caller's module globals, and reading model files.
#pragma once
#include <Python.h>

#include <utility>
#include <vector>

#include "runtime/function.hpp"
#include "runtime/ref.hpp"

namespace velmorpy {

// (name, model) for every global of the calling Python code's module that is
// a Model, in the order of its namespace. Models held only in local variables
// or containers are not found. Throws.
std::vector<std::pair<Ref, Ref>> _models();
// The holders of the models _models() lists, in its order (a model bound to
// two names twice); a model made empty has an empty one. Throws.
std::vector<Ref> _model_holders();

PyObject* models(PyObject*, const Args&);
PyObject* read(PyObject*, const Args&);
extern const char models_doc[];
extern const char read_doc[];

}  // namespace velmorpy
