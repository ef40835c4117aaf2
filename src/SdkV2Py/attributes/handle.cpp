// The handle family: the shared slots, members, documentation and each class's row.
#include "attributes/handle.hpp"

#include <cctype>
#include <string>

#include "algebra/operand.hpp"
#include "attributes/constr.hpp"
#include "attributes/genconstr.hpp"
#include "attributes/names.hpp"
#include "attributes/psdconstr.hpp"
#include "attributes/psdvar.hpp"
#include "attributes/sos.hpp"
#include "attributes/var.hpp"
#include "runtime/errors.hpp"
#include "runtime/holder.hpp"
#include "runtime/members.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

namespace {

// In the order _getAttrType tests the classes.
const HandleClass kHandleClasses[] = {
    {&VarType, AttrKind::Var, "var", "Var", "VarName", "velmorpy.Var", &OperandType, nullptr,
     {"variable", "x", "getVars", "UB", "UB", "5.0", "The index position of the variable."}},
    {&ConstrType, AttrKind::Constr, "constr", "Constr", "ConstrName", "velmorpy.Constr", nullptr, nullptr,
     {"linear constraint", "c", "getConstrs", "RHS", "RHS", "1.0", "The index of the constraint."}},
    {&PsdVarType, AttrKind::PsdVar, "var", "PsdVar", "PsdVarName", "velmorpy.PsdVar", nullptr, psdvar_members,
     {"psd variable", "X", "getPsdVars", "Dim", "PsdObj", "numpy.eye(3)", "The index position of the psd variable."},
     &psdvar_as_number},
    {&PsdConstrType, AttrKind::PsdConstr, "constr", "PsdConstr", "PsdCName", "velmorpy.PsdConstr", nullptr, nullptr,
     {"psd constraint", "pc", "getPsdConstrs", "PsdCRHS", "PsdCRHS", "1.0", "Index position of PsdConstr"}},
    {&GenConstrType, AttrKind::GenConstr, "genconstr", "GenConstr", "GenConstrName", "velmorpy.GenConstr", nullptr,
     nullptr,
     {"general constraint", "g", "getGenConstrs", "GenConstrName", "GenConstrName", "'g0'",
      "The index position of the general constraint."}},
    {&SOSType, AttrKind::SOS, "sos", "SOS", nullptr, "velmorpy.SOS", nullptr, nullptr,
     {"SOS constraint", "s", "getSOSs", nullptr, nullptr, nullptr, "The index position of the SOS constraint."}},
};

const HandleClass& row_of_kind(AttrKind kind) {
  const HandleClass* row = handle_class(kind);
  if (!row) raise(PyExc_SystemError, "velmorpy: no handle class of that kind");
  return *row;
}

// Every handle method is bound to one of the six classes, so the row exists.
const HandleClass& row_of(PyObject* self) {
  const HandleClass* row = handle_class_of(self);
  if (!row) raise(PyExc_SystemError, "velmorpy: handle method on a foreign object");
  return *row;
}

// --- slots ---------------------------------------------------------------------

// Calling a handle class directly ignores its arguments and gives an unbound
// handle (no model, index 0), whose every attribute access is refused.
PyObject* handle_new_slot(PyTypeObject* type, PyObject*, PyObject*) noexcept {
  PyObject* self = type->tp_alloc(type, 0);  // zero-filled: holder_ null, index 0
  return self;
}

void handle_dealloc(PyObject* op) noexcept {
  Py_CLEAR(as_handle(op)->holder_);
  Py_TYPE(op)->tp_free(op);
}

// A name the class does not have is a solver attribute. A name beginning with
// "__" never is (NumPy probes a handle for several): it is answered at once.
PyObject* get_solver_attr(PyObject* self, PyObject* name) noexcept {
  if (is_dunder(name)) return set_attr_not_exist(name);
  return guarded([&] { return _getAttrOrMiss(handle_holder(self), name, row_of(self).kind, self); });
}

// The class's own members first, looked up without making an AttributeError
// for a miss; then the solver attribute of that name.
PyObject* handle_getattro(PyObject* self, PyObject* name) noexcept {
  if (!PyUnicode_Check(name)) return PyObject_GenericGetAttr(self, name);
  PyObject* found = _PyObject_GenericGetAttrWithDict(self, name, nullptr, /*suppress=*/1);
  if (found || PyErr_Occurred()) return found;
  return get_solver_attr(self, name);
}

// Every assignment writes the solver attribute of that name; deletion is the
// interpreter's, which refuses for every name.
int handle_setattro(PyObject* self, PyObject* name, PyObject* value) noexcept {
  if (!value || !PyUnicode_Check(name)) return PyObject_GenericSetAttr(self, name, value);
  return guarded_int([&] {
    _setAttrOne(handle_holder(self), name, row_of(self).kind, self, value);
    return 0;
  });
}

// "<Var {}>" filled with the variable's name, read as an ordinary attribute;
// "<SOS {}>" with the index.
PyObject* handle_str(PyObject* self) noexcept {
  return guarded([&] {
    const HandleClass& row = row_of(self);
    Ref value = row.text_attr ? take(PyObject_GetAttrString(self, row.text_attr))
                              : take(PyLong_FromLong(as_handle(self)->index));
    Ref text = take(PyObject_Format(value.get(), nullptr));
    return PyUnicode_FromFormat("<%s %U>", row.tag, text.get());
  });
}

Py_hash_t handle_hash(PyObject* self) noexcept {
  const Py_hash_t h = as_handle(self)->index;
  return h == -1 ? -2 : h;
}

}  // namespace

const HandleClass* handle_class(AttrKind kind) {
  for (const HandleClass& row : kHandleClasses)
    if (row.kind == kind) return &row;
  return nullptr;
}

const HandleClass* handle_class_of(PyObject* op) {
  for (const HandleClass& row : kHandleClasses)
    if (Py_IS_TYPE(op, row.type)) return &row;
  for (const HandleClass& row : kHandleClasses)
    if (PyObject_TypeCheck(op, row.type)) return &row;
  return nullptr;
}

AttrKind _getAttrType(PyObject* obj) {
  const HandleClass* row = handle_class_of(obj);
  if (!row) raise_format(PyExc_TypeError, "type %s temporary not support", _PyType_Name(Py_TYPE(obj)));
  return row->kind;
}

void raise_holds_other_model(const char* argname) {
  raise_format(PyExc_ValueError, "Argument `%s` holds an item of another model", argname);
}

Ref handle_new(PyTypeObject* type, const Ref& holder, int32_t index) {
  HandleObject* h = PyObject_New(HandleObject, type);
  if (!h) throw_error_set();
  h->holder_ = Py_XNewRef(holder.get());
  h->index = index;
  return Ref::steal(reinterpret_cast<PyObject*>(h));
}

void prepare_handle_class(AttrKind kind) {
  const HandleClass& row = row_of_kind(kind);
  PyTypeObject* type = row.type;
  type->tp_name = row.name;
  type->tp_basicsize = sizeof(HandleObject);
  type->tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE;
  type->tp_base = row.base;
  type->tp_new = slot(handle_new_slot);
  type->tp_dealloc = slot(handle_dealloc);
  type->tp_getattro = slot(handle_getattro);
  type->tp_setattro = slot(handle_setattro);
  type->tp_str = slot(handle_str);
  type->tp_repr = slot(handle_str);
  // Var hashes through Operand, which hashes a Var by its index; a slot of its
  // own would also stop Var from inheriting Operand's comparisons.
  if (!row.base) type->tp_hash = slot(handle_hash);
  if (row.number) type->tp_as_number = row.number;
}

// --- members shared by the six classes -------------------------------------------

namespace {

PyObject* handle_sameAs(PyObject* self, const Args& a) {
  const HandleClass& row = row_of(self);
  PyObject* other = a[0];
  check_arg_type(other, row.type, row.same_arg, /*allow_none=*/false);
  return Py_NewRef(same_item(self, other) ? Py_True : Py_False);
}

PyObject* handle_getAttr(PyObject* self, const Args& a) {
  check_arg_type(a[0], &PyUnicode_Type, "attrname", /*allow_none=*/false);
  return _getAttrOne(handle_holder(self), a[0], row_of(self).kind, self).release();
}

PyObject* handle_setAttr(PyObject* self, const Args& a) {
  check_arg_type(a[0], &PyUnicode_Type, "attrname", /*allow_none=*/false);
  _setAttrOne(handle_holder(self), a[0], row_of(self).kind, self, a[1]);
  Py_RETURN_NONE;
}

PyObject* handle_index(PyObject* self, const Args&) { return PyLong_FromLong(as_handle(self)->index); }

// Called as a method: the handle's getAttr, found on the object.
PyObject* handle___getattr__(PyObject* self, const Args& a) {
  return PyObject_CallMethodOneArg(self, VLM_STR("getAttr"), a[0]);
}

// --- documentation ----------------------------------------------------------------

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string quoted(const char* attr) { return attr ? std::string("'") + attr + "'" : std::string("attrname"); }

const char kCaseNote[] = "; the\n            attribute name is case-insensitive.\n";

std::string sameAs_doc(const HandleClass& row, const HandleDocs& d) {
  const std::string arg = row.same_arg, tag = row.tag;
  return method_doc("sameAs(" + arg + ")",
                    "Test whether two " + tag + " objects refer to the same " + d.noun + ".",
                    "            " + arg + ": the other " + tag + " object\n",
                    std::string(d.example) + ".sameAs(m." + d.getter + "()[0])", "");
}

std::string getAttr_doc(const HandleDocs& d) {
  const std::string x = d.example;
  const std::string direct = d.get_attr ? x + "." + d.get_attr + ", " + x + "." + lower(d.get_attr) : x + ".attrname";
  return method_doc("getAttr(attrname)", std::string("Get the value of an attribute of the ") + d.noun + ".",
                    "            attrname: the name of the attribute\n",
                    "value = " + x + ".getAttr(" + quoted(d.get_attr) + ")",
                    "            Attributes can also be read directly as object attributes (" + direct + ")" +
                        kCaseNote);
}

std::string setAttr_doc(const HandleDocs& d) {
  const std::string x = d.example, value = d.set_attr ? d.set_value : "value";
  const std::string direct = x + "." + (d.set_attr ? lower(d.set_attr) : std::string("attrname")) + " = " + value;
  return method_doc("setAttr(attrname, attrvalue)", std::string("Set the value of an attribute of the ") + d.noun + ".",
                    "            attrname: the name of the attribute\n            attrvalue: the new value\n",
                    x + ".setAttr(" + quoted(d.set_attr) + ", " + value + ")",
                    "            Attributes can also be written directly as object attributes (" + direct + ")" +
                        kCaseNote);
}

}  // namespace

void bind_handle_namespace(AttrKind kind) {
  const HandleClass& row = row_of_kind(kind);
  const HandleDocs& docs = row.docs;
  const std::string same_params = std::string("self, ") + row.same_arg;
  const std::string same_doc = sameAs_doc(row, docs), get_doc = getAttr_doc(docs), set_doc = setAttr_doc(docs);
  const FunctionDef members[] = {
      {"sameAs", same_params.c_str(), handle_sameAs, Kind::Method, same_doc.c_str(), __LINE__},
      {"getAttr", "self, attrname", handle_getAttr, Kind::Method, get_doc.c_str(), __LINE__},
      {"setAttr", "self, attrname, attrvalue", handle_setAttr, Kind::Method, set_doc.c_str(), __LINE__},
      {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
  };
  const FunctionDef index[] = {
      {"index", "self", handle_index, Kind::Constant, docs.index_doc, __LINE__},
      {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
  };
  static const FunctionDef getattr_method[] = {
      {"__getattr__", "self, attr", handle___getattr__, Kind::Method, nullptr, __LINE__},
      {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
  };
  bind_members(row.type, getattr_method, __FILE__);
  bind_public_members(row.type, members, __FILE__);
  if (row.extra) bind_members(row.type, row.extra, __FILE__);
  bind_members(row.type, index, __FILE__);
}

}  // namespace velmorpy
