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
#include "runtime/args.hpp"
#include "runtime/function.hpp"
#include "runtime/ref.hpp"

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

// The words a handle class's documentation is made from.
struct HandleDocs {
  const char* noun;       // what one handle stands for: "variable"
  const char* example;    // the handle's name in the examples: "x"
  const char* getter;     // the Model method that lists the items: "getVars"
  const char* get_attr;   // the attribute the reading examples use, or nullptr for a generic one
  const char* set_attr;   // the attribute the writing examples use, or nullptr for a generic one
  const char* set_value;  // the value they write: "5.0"
  const char* index_doc;  // the documentation of the `index` property
};

// What sets the six classes apart. Their slots, members and documentation
// are the family's, made from these rows (handle.cpp); a class's own file
// holds its type object and what it adds.
struct HandleClass {
  PyTypeObject* type;
  AttrKind kind;
  const char* same_arg;   // the name of sameAs's argument
  const char* tag;        // the class name in the text form: "<Var {}>"
  const char* text_attr;  // the attribute shown in the text form; nullptr: the index
  const char* name;       // the type's full name
  PyTypeObject* base;     // nullptr: object
  const FunctionDef* extra;  // further members (ended by a null name), bound before `index`, or nullptr
  HandleDocs docs;
  PyNumberMethods* number = nullptr;  // the class's number slots, or nullptr (Var's are Operand's)
};

// The row of `kind`, or nullptr for a kind without a handle class ("qc").
const HandleClass* handle_class(AttrKind kind);
// The row of the handle class `op` is an instance of (subclasses included),
// tested in the order Var, Constr, PsdVar, PsdConstr, GenConstr, SOS; nullptr
// for anything else.
const HandleClass* handle_class_of(PyObject* op);
inline bool is_handle(PyObject* op) { return handle_class_of(op) != nullptr; }

// Whether two handles name the same item of the same model (sameAs without
// the argument check). No Python code runs.
inline bool same_item(PyObject* a, PyObject* b) {
  return as_handle(a)->holder_ == as_handle(b)->holder_ && as_handle(a)->index == as_handle(b)->index;
}

// The attribute kind of a handle; TypeError "type {} temporary not support"
// for anything else. Throws.
AttrKind _getAttrType(PyObject* obj);

// The refusal of a handle of another model inside a container argument
// (`objs`, `column`, `vars`, `items`): ValueError "Argument `{argname}` holds
// an item of another model".
[[noreturn]] void raise_holds_other_model(const char* argname);

// A new bound handle of `type` (one of the six classes) for item `index` of
// the model behind `holder`. One small allocation, no library call. Throws.
Ref handle_new(PyTypeObject* type, const Ref& holder, int32_t index);
// The handle's holder (possibly empty), held for the caller's use of it.
inline Ref handle_holder(PyObject* self) { return Ref::borrow(as_handle(self)->holder_); }

// The start-up hooks of one class (its kClasses row): the slots, then the
// namespace (__getmetaclass__, sameAs, getAttr, setAttr, the extra members,
// index). Throw.
void prepare_handle_class(AttrKind kind);
void bind_handle_namespace(AttrKind kind);
template <AttrKind K>
void prepare_handle() {
  prepare_handle_class(K);
}
template <AttrKind K>
void bind_handle() {
  bind_handle_namespace(K);
}

}  // namespace velmorpy
