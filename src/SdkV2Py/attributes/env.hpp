// Env: the owner of one libvelmor environment.
#pragma once
#include <Python.h>

#include <velmor.h>

#include "runtime/ref.hpp"

namespace velmorpy {

struct EnvObject {
  PyObject_HEAD
  PyObject* holder_;  // Holder owning the environment; null until a creating call succeeded
  int empty_;         // the constructor's `empty` as an int
};

extern PyTypeObject EnvType;
extern const char env_init_doc[];
extern const char env_init_params[];
void prepare_env();
void bind_env_namespace();

inline bool is_env(PyObject* op) { return PyObject_TypeCheck(op, &EnvType); }
// The live environment handle of an Env; VelmorError(INVALID_ARGUMENT) once it
// is disposed or when it was never created. Throws.
VLMenv* env_handle(PyObject* env);
// The Env's Holder, held for the caller; empty when it was never created.
Ref env_holder(PyObject* env);

}  // namespace velmorpy
