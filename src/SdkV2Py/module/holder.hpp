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
  bool busy;        // a solve runs on the model with the interpreter lock released
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
// (or empty). live_env of a model holder is the model's own environment.
// They take the holder as an owning reference: a caller runs Python code
// between its library calls (conversions, printing), which may drop the last
// other reference to the holder, so it must hold one of its own for as long as
// it uses the handle.
VLMmodel* live_model(const Ref& holder);
VLMenv* live_env(const Ref& holder);
// Marks the holder dead, then frees its handle; a second call does nothing.
// Refuses (VelmorError INVALID_ARGUMENT) while a solve runs on the model.
void dispose_holder(PyObject* holder);
inline bool holder_alive(PyObject* holder) {
  return holder && reinterpret_cast<HolderObject*>(holder)->alive;
}

}  // namespace velmorpy
