// ParamClass: the parameters of one environment as attributes. A model's
// Params object reads and sets its environment's parameters by name:
// `p.MaxTime`, `p.MaxTime = 10`.
#pragma once
#include <Python.h>

#include "runtime/ref.hpp"

namespace velmorpy {

struct ParamClassObject {
  PyObject_HEAD
  // The Holder of the environment (an Env's, or a model's for its own
  // environment); strong, never null. ParamClass() made from Python holds a
  // holder that was never attached, so every parameter use raises VelmorError.
  PyObject* holder_;
};

extern PyTypeObject ParamClassType;
void prepare_paramclass();
void bind_paramclass_namespace();

inline bool is_paramclass(PyObject* op) { return PyObject_TypeCheck(op, &ParamClassType); }

// Internal operations, in table order. Each throws.
// ParamClass() bound to `holder` (a Holder); it keeps the holder alive, and
// raises VelmorError(INVALID_ARGUMENT) on use once the holder's owner disposed it.
Ref paramclass_new(const Ref& holder);
// The current value of the parameter `name` (a canonical name) as int, float or str.
Ref paramclass_getIntParam(PyObject* self, PyObject* name);
Ref paramclass_getDblParam(PyObject* self, PyObject* name);
Ref paramclass_getStrParam(PyObject* self, PyObject* name);

}  // namespace velmorpy
