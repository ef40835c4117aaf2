#include "module/holder.hpp"

#include "module/errors.hpp"

namespace velmorpy {

namespace {

HolderObject* as_holder(PyObject* op) { return reinterpret_cast<HolderObject*>(op); }

void release(HolderObject* h) {
  VLMmodel* model = h->model;
  VLMenv* env = h->env;
  h->alive = false;  // dead before the free: nothing can use the handle during it
  h->model = nullptr;
  h->env = nullptr;
  if (model) VLMfreemodel(model);
  if (env) VLMfreeenv(env);
}

void holder_dealloc(PyObject* op) noexcept {
  HolderObject* h = as_holder(op);
  if (h->alive) release(h);
  Py_TYPE(op)->tp_free(op);
}

Ref make_holder(VLMmodel* model, VLMenv* env, bool alive) {
  HolderObject* h = PyObject_New(HolderObject, &HolderType);
  if (!h) throw_error_set();
  h->model = model;
  h->env = env;
  h->alive = alive;
  h->busy = false;
  return Ref::steal(reinterpret_cast<PyObject*>(h));
}

[[noreturn]] void raise_disposed() { throw VlmCodeError{VLM_ERROR_INVALID_ARGUMENT}; }

}  // namespace

PyTypeObject HolderType = {PyVarObject_HEAD_INIT(nullptr, 0)};

int ready_holder_type() noexcept {
  HolderType.tp_name = "velmorpy._Holder";
  HolderType.tp_basicsize = sizeof(HolderObject);
  HolderType.tp_flags = Py_TPFLAGS_DEFAULT;
  HolderType.tp_dealloc = slot(holder_dealloc);
  return PyType_Ready(&HolderType);
}

Ref make_model_holder(VLMmodel* model) { return make_holder(model, nullptr, model != nullptr); }
Ref make_env_holder(VLMenv* env) { return make_holder(nullptr, env, env != nullptr); }
Ref make_dead_holder() { return make_holder(nullptr, nullptr, false); }

VLMmodel* live_model(const Ref& holder) {
  if (!holder_alive(holder.get()) || !as_holder(holder.get())->model) raise_disposed();
  return as_holder(holder.get())->model;
}

VLMenv* live_env(const Ref& holder) {
  if (!holder_alive(holder.get())) raise_disposed();
  HolderObject* h = as_holder(holder.get());
  VLMenv* env = h->env ? h->env : VLMgetenv(h->model);
  if (!env) raise_disposed();
  return env;
}

void dispose_holder(PyObject* holder) {
  if (!holder_alive(holder)) return;
  HolderObject* h = as_holder(holder);
  if (h->busy) raise_disposed();
  release(h);
}

}  // namespace velmorpy
