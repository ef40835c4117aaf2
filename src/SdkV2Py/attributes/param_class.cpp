// ParamClass: its slots, the typed parameter getters and its type object.
#include "attributes/param_class.hpp"

#include <velmor.h>

#include "attributes/names.hpp"
#include "attributes/set_param.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/function.hpp"
#include "runtime/holder.hpp"
#include "runtime/members.hpp"
#include "runtime/text.hpp"

namespace velmorpy {

namespace {

ParamClassObject* as_paramclass(PyObject* op) { return reinterpret_cast<ParamClassObject*>(op); }

// The object's holder, held for the caller's use of it.
Ref holder_of(PyObject* self) { return Ref::borrow(as_paramclass(self)->holder_); }

PyObject* param_missing(PyObject* name) noexcept {
  PyErr_Format(PyExc_AttributeError, "Param `%U` does not exist", name);
  return nullptr;
}

// The value of the parameter `name` denotes (an exact name or a pattern
// matching one parameter). A name that denotes none is an expected miss
// (hasattr, getattr with a default): AttributeError "Param `<name>` does not
// exist" set and nullptr returned, without a throw. Other failures throw.
PyObject* param_value(PyObject* self, PyObject* name) {
  check_arg_type(name, &PyUnicode_Type, "name");
  Ref match = _matchParam(name);
  if (!match) return param_missing(name);
  PyObject* canonical = PyTuple_GET_ITEM(match.get(), 0);
  PyObject* type = PyTuple_GET_ITEM(match.get(), 1);
  if (type == reinterpret_cast<PyObject*>(&PyLong_Type)) return paramclass_getIntParam(self, canonical).release();
  if (type == reinterpret_cast<PyObject*>(&PyFloat_Type)) return paramclass_getDblParam(self, canonical).release();
  return paramclass_getStrParam(self, canonical).release();
}

// Arguments are ignored; the object is bound to a holder by paramclass_new.
PyObject* paramclass_tp_new(PyTypeObject* type, PyObject*, PyObject*) noexcept {
  return guarded([&] {
    Ref holder = make_dead_holder();
    Ref self = take(type->tp_alloc(type, 0));
    as_paramclass(self.get())->holder_ = holder.release();
    return self.release();
  });
}

void paramclass_dealloc(PyObject* op) noexcept {
  Py_CLEAR(as_paramclass(op)->holder_);
  Py_TYPE(op)->tp_free(op);
}

// The class's own members first, looked up without making an AttributeError
// for a miss; then the parameter of that name. No parameter name begins with
// "__" (NumPy and copy probe for several): such a name is answered at once.
PyObject* paramclass_getattro(PyObject* self, PyObject* name) noexcept {
  if (!PyUnicode_Check(name)) return PyObject_GenericGetAttr(self, name);
  PyObject* found = _PyObject_GenericGetAttrWithDict(self, name, nullptr, /*suppress=*/1);
  if (found || PyErr_Occurred()) return found;
  // A Python subclass gets the interpreter's hook, which calls this as
  // __getattribute__ and then __getattr__ itself: take the parameter path once.
  if (Py_TYPE(self)->tp_getattro != paramclass_getattro) return PyObject_GenericGetAttr(self, name);
  if (is_dunder(name)) return param_missing(name);
  return guarded([&] { return param_value(self, name); });
}

// Assignment sets a parameter (its result dropped: a name that is no parameter
// only prints); deletion is the generic one, refused without an instance dict.
int paramclass_setattro(PyObject* self, PyObject* name, PyObject* value) noexcept {
  if (!value) return PyObject_GenericSetAttr(self, name, nullptr);
  return guarded_int([&] {
    check_arg_type(name, &PyUnicode_Type, "name");
    _setParam(holder_of(self), name, value);
    return 0;
  });
}

PyObject* paramclass___getattr__(PyObject* self, const Args& a) { return param_value(self, a[0]); }

const FunctionDef paramclass_members[] = {
    {"__getattr__", "self, name: str", paramclass___getattr__, Kind::Method, nullptr, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

Ref paramclass_new(const Ref& holder) {
  Ref self = take(PyObject_CallNoArgs(reinterpret_cast<PyObject*>(&ParamClassType)));
  Py_SETREF(as_paramclass(self.get())->holder_, Py_NewRef(holder.get()));
  return self;
}

Ref paramclass_getIntParam(PyObject* self, PyObject* name) {
  CText param(name);
  int value = 0;
  check_rc(VLMgetintparam(live_env(holder_of(self)), param.get(), &value));
  return take(PyLong_FromLong(value));
}

Ref paramclass_getDblParam(PyObject* self, PyObject* name) {
  CText param(name);
  double value = 0.0;
  check_rc(VLMgetdblparam(live_env(holder_of(self)), param.get(), &value));
  return take(PyFloat_FromDouble(value));
}

Ref paramclass_getStrParam(PyObject* self, PyObject* name) {
  CText param(name);
  char value[VLM_MAX_STRLEN] = {};
  check_rc(VLMgetstrparam(live_env(holder_of(self)), param.get(), value));
  value[VLM_MAX_STRLEN - 1] = '\0';  // never read past the buffer, whatever the library wrote
  return chars2str(value);
}

PyTypeObject ParamClassType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_paramclass() {
  ParamClassType.tp_name = "velmorpy.ParamClass";
  ParamClassType.tp_basicsize = sizeof(ParamClassObject);
  ParamClassType.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE;
  ParamClassType.tp_new = slot(paramclass_tp_new);
  ParamClassType.tp_dealloc = slot(paramclass_dealloc);
  ParamClassType.tp_getattro = slot(paramclass_getattro);
  ParamClassType.tp_setattro = slot(paramclass_setattro);
}

void bind_paramclass_namespace() { bind_members(&ParamClassType, paramclass_members, __FILE__); }

}  // namespace velmorpy
