// The table classes of the constants object: made empty, with their value properties.
#include "runtime/table_classes.hpp"

#include <string>

#include "runtime/errors.hpp"
#include "runtime/function.hpp"
#include "runtime/state.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

namespace {

// Made in this order; the later steps of the constants stage fill them.
const char* const kTableClasses[] = {
    "AttrConstClass", "ParamConstClass", "ErrorConstClass", "StatusConstClass", "CallbackClass",
};

// The getter of every table member: ctx is bound, as its default, to the value
// the member stands for.
PyObject* value_getter(PyObject*, const Args& a) { return Py_NewRef(a[1]); }
const int kValueGetterLine = __LINE__ - 1;

}  // namespace

void make_table_classes() {
  for (const char* name : kTableClasses) {
    // type(name, (), ns): the fixed metaclass, no bases besides object, no docstring.
    Ref ns = take(Py_BuildValue("{s:s,s:s}", "__module__", "velmorpy", "__qualname__", name));
    Ref cls = take(PyObject_CallFunction(reinterpret_cast<PyObject*>(&PyType_Type), "s()O", name, ns.get()));
    check(PyDict_SetItemString(state().dict, name, cls.get()));
  }
}

void add_value_property(PyObject* cls, const char* member, PyObject* value, PyObject* doc) {
  const FunctionDef def = {member, "self, ctx=None", value_getter, Kind::Function, nullptr, kValueGetterLine};
  Ref qualname = take(PyUnicode_FromFormat("%s.%s", reinterpret_cast<PyTypeObject*>(cls)->tp_name, member));
  Ref getter = make_function(def, qualname.get(), nullptr, nullptr, __FILE__);
  Ref defaults = take(PyTuple_Pack(1, value));
  check(PyObject_SetAttr(getter.get(), VLM_STR("__defaults__"), defaults.get()));
  Ref prop = take(PyObject_CallFunctionObjArgs(reinterpret_cast<PyObject*>(&PyProperty_Type), getter.get(), Py_None,
                                               Py_None, doc, nullptr));
  Ref name = take(PyUnicode_InternFromString(member));
  check(PyObject_SetAttr(cls, name.get(), prop.get()));
}

std::string member_name(const char* row_name) {
  std::string member = row_name;
  for (char& c : member)
    if (c == '/') c = '_';
  return member;
}

void bind_table_instance(PyObject* cls, const char* global) {
  Ref instance = take(PyObject_CallNoArgs(cls));
  check(PyDict_SetItemString(state().dict, global, instance.get()));
}

}  // namespace velmorpy
