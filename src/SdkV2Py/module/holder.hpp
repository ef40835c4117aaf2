// The liveness owner of one library handle.
//
// A Model, an Env, and every object made from them (handles, matrix objects,
// Params) share one Holder. The owner frees the handle once, through
// dispose_holder(); from then on every user of the holder gets
// VelmorError(INVALID_ARGUMENT) from live_model()/live_env() before any library
// call, so nothing ever reaches freed memory.
#pragma once
#include <Python.h>

#include <velmor.h>

#include "module/ref.hpp"

namespace velmorpy {

struct HolderObject {
  PyObject_HEAD
  VLMmodel* model;  // the model handle, or null for an environment holder
  VLMenv* env;      // the environment handle of an environment holder, else null
  bool alive;       // false once disposed (or never attached)
  // True while a library call made through call_unlocked runs on the handle
  // with the interpreter lock released; busy_thread is the thread making it.
  bool busy;
  unsigned long busy_thread;
};

extern PyTypeObject HolderType;
int ready_holder_type() noexcept;

// A live holder owning `model` (freed once, by dispose_holder or at the latest
// when the holder itself goes away). Throws.
Ref make_model_holder(VLMmodel* model);
// A live holder owning `env`. Throws.
Ref make_env_holder(VLMenv* env);
// A holder that was never attached: every use raises.
Ref make_dead_holder();

// The handle, or VelmorError(INVALID_ARGUMENT) thrown when the holder is dead
// (or empty), or busy on another thread than the one making the unlocked call
// (that thread runs Python code only in a callback turn of the call, which may
// read). live_env of a model holder is the model's own environment.
// They take the holder as an owning reference: a caller runs Python code
// between its library calls (conversions, printing), which may drop the last
// other reference to the holder, so it must hold one of its own for as long as
// it uses the handle.
VLMmodel* live_model(const Ref& holder);
VLMenv* live_env(const Ref& holder);
// Marks the holder dead, then frees its handle; a second call does nothing.
// Refuses (VelmorError INVALID_ARGUMENT) while the holder is busy.
void dispose_holder(PyObject* holder);
inline bool holder_alive(PyObject* holder) {
  return holder && reinterpret_cast<HolderObject*>(holder)->alive;
}

// Marks a live holder busy for its lifetime (module/unlocked.hpp makes the
// library calls that need it); refuses (VelmorError INVALID_ARGUMENT) a dead or
// already busy one. The caller owns a reference to the holder for at least as
// long.
class BusyHolder {
 public:
  explicit BusyHolder(PyObject* holder);
  ~BusyHolder();
  BusyHolder(const BusyHolder&) = delete;
  BusyHolder& operator=(const BusyHolder&) = delete;

 private:
  HolderObject* holder_;
};

// True while the current thread is inside an unlocked call: Python code it
// runs then runs in a callback turn of that call.
bool in_unlocked_call() noexcept;

}  // namespace velmorpy
