// Models found through the caller's module globals. Start-up names the class
// whose instances are models; the runtime knows nothing else of them.
#pragma once
#include <Python.h>

#include <utility>
#include <vector>

#include "runtime/ref.hpp"

namespace velmorpy {

// The model class and how to read a model's holder (held for the caller).
// Start-up calls it once the class is readied.
void register_model_class(PyTypeObject* type, Ref (*holder_of)(PyObject* model)) noexcept;

// (name, model) for every global of the calling Python code's module that is
// a Model, in the order of its namespace. Models held only in local variables
// or containers are not found. Throws.
std::vector<std::pair<Ref, Ref>> _models();
// The holders of the models _models() lists, in its order (a model bound to
// two names twice); a model made empty has an empty one. Throws.
std::vector<Ref> _model_holders();

}  // namespace velmorpy
