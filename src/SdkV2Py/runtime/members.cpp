// Binding member and function tables into namespaces, and method_doc.
#include "runtime/members.hpp"

#include <cstring>

#include "runtime/decorators.hpp"
#include "runtime/errors.hpp"
#include "runtime/state.hpp"

namespace velmorpy {

const char* short_name(PyTypeObject* type) {
  const char* dot = std::strrchr(type->tp_name, '.');
  return dot ? dot + 1 : type->tp_name;
}

std::string method_doc(const std::string& signature, const std::string& purpose, const std::string& arguments,
                       const std::string& example, const std::string& note) {
  const std::string indent = "            ";
  std::string doc = "\n        SIGNATURE:\n" + indent + signature + "\n\n        PURPOSE:\n" + indent + purpose +
                    "\n\n        ARGUMENTS:\n" + arguments + "\n        EXAMPLE:\n" + indent + example + "\n";
  if (!note.empty()) doc += "\n        NOTE:\n" + note;
  return doc + "        ";
}

void set_class_attr(PyTypeObject* type, const char* name, PyObject* value) {
  check(PyDict_SetItemString(type->tp_dict, name, value));
  PyType_Modified(type);
}

PyObject* class_attr(PyTypeObject* type, const char* name) { return PyDict_GetItemString(type->tp_dict, name); }

Ref make_member(PyTypeObject* type, const FunctionDef& def, const char* file) {
  Ref qualname = take(PyUnicode_FromFormat("%s.%s", short_name(type), def.name));
  FunctionDef row = def;
  if (row.kind == Kind::Constant) row.kind = Kind::Method;
  Ref fn = make_function(row, qualname.get(), row.kind == Kind::Method ? type : nullptr, nullptr, file);
  switch (def.kind) {
    case Kind::Static:
      return take(PyStaticMethod_New(fn.get()));
    case Kind::Constant:
      return constant(fn.get());
    default:
      return fn;
  }
}

void bind_members(PyTypeObject* type, const FunctionDef* table, const char* file) {
  for (const FunctionDef* row = table; row->name; ++row) {
    Ref member = make_member(type, *row, file);
    set_class_attr(type, row->name, member.get());
  }
}

void bind_members_in_order(PyTypeObject* type, std::initializer_list<MemberTable> tables, const char* const* order) {
  auto bind = [&](const FunctionDef& row, const char* file) {
    Ref member = make_member(type, row, file);
    set_class_attr(type, row.name, member.get());
  };
  auto named = [&](const char* name) {
    for (const char* const* o = order; *o; ++o)
      if (std::strcmp(*o, name) == 0) return true;
    return false;
  };
  for (const char* const* o = order; *o; ++o)
    for (const MemberTable& t : tables)
      for (const FunctionDef* row = t.rows; row->name; ++row)
        if (std::strcmp(row->name, *o) == 0) bind(*row, t.file);
  for (const MemberTable& t : tables)
    for (const FunctionDef* row = t.rows; row->name; ++row)
      if (!named(row->name)) bind(*row, t.file);
}

void bind_public_members(PyTypeObject* type, const FunctionDef* table, const char* file) {
  bind_getmetaclass(type, file);
  bind_members(type, table, file);
}

void bind_functions(const FunctionDef* table, const char* file) {
  for (const FunctionDef* row = table; row->name; ++row) {
    Ref fn = make_function(*row, nullptr, nullptr, nullptr, file);
    check(PyDict_SetItemString(state().dict, row->name, fn.get()));
  }
}

}  // namespace velmorpy
