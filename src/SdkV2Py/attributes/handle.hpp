// The family of item handles: Var, Constr, SOS, GenConstr, PsdVar, PsdConstr.
//
// A handle is a small fixed record: the liveness holder of the model its item
// belongs to and the item's index. Reading an attribute the class does not
// have asks the library for the solver attribute of that name, and every
// assignment writes one; both go through the attribute layer.
#pragma once
#include <Python.h>

#include <cstdint>

#include "attributes/attr_access.hpp"
#include "module/args.hpp"
#include "module/ref.hpp"

namespace velmorpy {

struct HandleObject {
  PyObject_HEAD
  // The model's Holder (strong), shared with the Model and its other handles;
  // null for a handle made by calling the class directly. Every library call
  // through the handle checks it is alive first.
  PyObject* holder_;
  // The item's position among its kind's items in the model. The model
  // rewrites it in place when items before it are removed.
  int32_t index;
};

inline HandleObject* as_handle(PyObject* op) { return reinterpret_cast<HandleObject*>(op); }

// What sets the six classes apart.
struct HandleClass {
  PyTypeObject* type;
  AttrKind kind;
  const char* same_arg;   // the name of sameAs's argument
  const char* tag;        // the class name in the text form: "<Var {}>"
  const char* text_attr;  // the attribute shown in the text form; nullptr: the index
};

// The row of `kind`, or nullptr for a kind without a handle class ("qc").
const HandleClass* handle_class(AttrKind kind);
// The row of the handle class `op` is an instance of (subclasses included),
// tested in the order Var, Constr, PsdVar, PsdConstr, GenConstr, SOS; nullptr
// for anything else.
const HandleClass* handle_class_of(PyObject* op);
inline bool is_handle(PyObject* op) { return handle_class_of(op) != nullptr; }

// The attribute kind of a handle; TypeError "type {} temporary not support"
// for anything else. Throws.
AttrKind _getAttrType(PyObject* obj);

// A new bound handle of `type` (one of the six classes) for item `index` of
// the model behind `holder`. One small allocation, no library call. Throws.
Ref handle_new(PyTypeObject* type, const Ref& holder, int32_t index);
// The handle's holder (possibly empty), held for the caller's use of it.
inline Ref handle_holder(PyObject* self) { return Ref::borrow(as_handle(self)->holder_); }

// Slots and members shared by the six classes.
void prepare_handle_type(PyTypeObject* type, const char* name, PyTypeObject* base);
PyObject* handle_sameAs(PyObject* self, const Args& a);
PyObject* handle_getAttr(PyObject* self, const Args& a);
PyObject* handle_setAttr(PyObject* self, const Args& a);
PyObject* handle_index(PyObject* self, const Args& a);

}  // namespace velmorpy
