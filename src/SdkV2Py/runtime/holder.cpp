// Holder: its type, the claims of unlocked calls, and live_model, live_env, dispose_holder.
#include "runtime/holder.hpp"

#include <condition_variable>
#include <mutex>

#include "runtime/errors.hpp"
#include "runtime/unlocked.hpp"

namespace velmorpy {

namespace {

// Guards the claim fields of every holder for the threads that wait with the
// interpreter lock released; claims_ended wakes them.
std::mutex claims_mutex;
std::condition_variable claims_ended;

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
  if (!h) {
    if (model) VLMfreemodel(model);
    if (env) VLMfreeenv(env);
    throw_error_set();
  }
  h->model = model;
  h->env = env;
  h->alive = alive;
  h->claim_thread = 0;
  h->claims = 0;
  h->refuse_others = false;
  h->renumberings = 0;
  return Ref::steal(reinterpret_cast<PyObject*>(h));
}

[[noreturn]] void raise_disposed() { throw VlmCodeError{VLM_ERROR_INVALID_ARGUMENT}; }

const char kModelInUse[] = "The model is in use by a solve or a file access running on it";
const char kEnvInUse[] = "The environment is in use by a file access running on it";

[[noreturn]] void raise_in_use(const HolderObject* h) {
  raise_velmor(VLM_ERROR_INVALID_ARGUMENT, h->model ? kModelInUse : kEnvInUse);
}

// How many claims the current thread holds.
thread_local int claims_here = 0;

bool claimed_elsewhere(const HolderObject* h) {
  return h->claims > 0 && h->claim_thread != PyThread_get_thread_ident();
}

// Returns once no other thread holds a claim on `h` (which the caller keeps
// alive), with the interpreter lock held; throws when such a claim refuses
// other threads. A claim can be taken between the
// wake-up and retaking the lock, hence the loop.
void wait_unclaimed(HolderObject* h) {
  while (claimed_elsewhere(h)) {
    if (h->refuse_others) raise_in_use(h);
    ReleasedLock unlocked;
    std::unique_lock<std::mutex> lock(claims_mutex);
    claims_ended.wait(lock, [h] { return h->claims == 0; });
  }
}

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
  if (holder) wait_unclaimed(as_holder(holder.get()));
  if (!holder_alive(holder.get()) || !as_holder(holder.get())->model) raise_disposed();
  return as_holder(holder.get())->model;
}

VLMenv* live_env(const Ref& holder) {
  if (holder) wait_unclaimed(as_holder(holder.get()));
  if (!holder_alive(holder.get())) raise_disposed();
  HolderObject* h = as_holder(holder.get());
  VLMenv* env = h->env ? h->env : VLMgetenv(h->model);
  if (!env) raise_disposed();
  return env;
}

void dispose_holder(PyObject* holder) {
  if (!holder_alive(holder)) return;
  HolderObject* h = as_holder(holder);
  if (h->claims > 0) raise_in_use(h);
  release(h);
}

HolderClaim::HolderClaim(const Ref& holder, WhileClaimed others) : holder_(Ref::borrow(holder.get())) {
  if (!holder_) raise_disposed();
  HolderObject* h = as_holder(holder_.get());
  wait_unclaimed(h);
  if (!h->alive) raise_disposed();
  std::lock_guard<std::mutex> lock(claims_mutex);
  h->claim_thread = PyThread_get_thread_ident();
  ++h->claims;
  outer_refuse_ = h->refuse_others;
  h->refuse_others = outer_refuse_ || others == WhileClaimed::OthersRefused;
  ++claims_here;
}

HolderClaim::~HolderClaim() {
  HolderObject* h = as_holder(holder_.get());
  --claims_here;
  {
    std::lock_guard<std::mutex> lock(claims_mutex);
    h->refuse_others = outer_refuse_;
    if (--h->claims == 0) h->claim_thread = 0;
  }
  claims_ended.notify_all();
}

bool in_unlocked_call() noexcept { return claims_here > 0; }

const char kItemsRenumbered[] = "items of the model were removed while the call read its arguments";

IndexMark::IndexMark(const Ref& holder) noexcept
    : holder_(holder ? as_holder(holder.get()) : nullptr), renumberings_(holder_ ? holder_->renumberings : 0) {}

void IndexMark::check() const {
  if (holder_ && holder_->renumberings != renumberings_) raise(PyExc_ValueError, kItemsRenumbered);
}

void note_renumbering(const Ref& holder) noexcept {
  if (holder) ++as_holder(holder.get())->renumberings;
}

}  // namespace velmorpy
