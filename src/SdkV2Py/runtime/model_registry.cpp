// The models bound to the caller's globals (_models, _model_holders).
#include "runtime/model_registry.hpp"

#include "runtime/errors.hpp"

namespace velmorpy {

namespace {

PyTypeObject* model_class = nullptr;
Ref (*model_holder)(PyObject*) = nullptr;

}  // namespace

void register_model_class(PyTypeObject* type, Ref (*holder_of)(PyObject* model)) noexcept {
  model_class = type;
  model_holder = holder_of;
}

std::vector<std::pair<Ref, Ref>> _models() {
  std::vector<std::pair<Ref, Ref>> found;
  if (!model_class) return found;
  // The module's functions run no Python frame of their own: these are the
  // globals of the code that called into the module.
  PyObject* globals = PyEval_GetGlobals();
  if (!globals) return found;
  Ref items = take(PyDict_Items(globals));  // a snapshot: the isinstance tests may run code
  const Py_ssize_t n = PyList_GET_SIZE(items.get());
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject* pair = PyList_GET_ITEM(items.get(), i);
    PyObject* value = PyTuple_GET_ITEM(pair, 1);
    if (PyObject_TypeCheck(value, model_class))
      found.emplace_back(Ref::borrow(PyTuple_GET_ITEM(pair, 0)), Ref::borrow(value));
  }
  return found;
}

std::vector<Ref> _model_holders() {
  std::vector<Ref> holders;
  for (const auto& found : _models()) holders.push_back(model_holder(found.second.get()));
  return holders;
}

}  // namespace velmorpy
