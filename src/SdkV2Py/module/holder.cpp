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
  h->busy_thread = 0;
  return Ref::steal(reinterpret_cast<PyObject*>(h));
}

[[noreturn]] void raise_disposed() { throw VlmCodeError{VLM_ERROR_INVALID_ARGUMENT}; }

const char kModelBusy[] = "The model is in use by a solve or a file access running on it";
const char kEnvBusy[] = "The environment is in use by a file access running on it";

[[noreturn]] void raise_busy(HolderObject* h) {
  raise_velmor(VLM_ERROR_INVALID_ARGUMENT, h->model ? kModelBusy : kEnvBusy);
}

// Busy holders refuse every thread but the one in the unlocked call.
void check_not_busy_elsewhere(HolderObject* h) {
  if (h->busy && h->busy_thread != PyThread_get_thread_ident()) raise_busy(h);
}

// How many unlocked calls the current thread is inside (nested ones run from
// callback turns).
thread_local int unlocked_depth = 0;

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
  check_not_busy_elsewhere(as_holder(holder.get()));
  return as_holder(holder.get())->model;
}

VLMenv* live_env(const Ref& holder) {
  if (!holder_alive(holder.get())) raise_disposed();
  HolderObject* h = as_holder(holder.get());
  check_not_busy_elsewhere(h);
  VLMenv* env = h->env ? h->env : VLMgetenv(h->model);
  if (!env) raise_disposed();
  return env;
}

void dispose_holder(PyObject* holder) {
  if (!holder_alive(holder)) return;
  HolderObject* h = as_holder(holder);
  if (h->busy) raise_busy(h);
  release(h);
}

BusyHolder::BusyHolder(PyObject* holder) : holder_(as_holder(holder)) {
  if (!holder_alive(holder)) raise_disposed();
  if (holder_->busy) raise_busy(holder_);
  holder_->busy = true;
  holder_->busy_thread = PyThread_get_thread_ident();
  ++unlocked_depth;
}

BusyHolder::~BusyHolder() {
  --unlocked_depth;
  holder_->busy = false;
  holder_->busy_thread = 0;
}

bool in_unlocked_call() noexcept { return unlocked_depth > 0; }

}  // namespace velmorpy
