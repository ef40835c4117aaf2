// Filling class and module namespaces from function tables.
//
// Readied static types are immutable from Python, so the namespace phases of
// start-up write the class dictionary directly and then mark the type
// modified. This happens only during start-up, before any instance or
// subclass exists, and tp_dict is never written afterwards.
#pragma once
#include <Python.h>

#include <initializer_list>
#include <string>

#include "runtime/function.hpp"

namespace velmorpy {

// Stores one function object per row of `table` (ended by a row whose name is
// null) in the class's dictionary, under "<Class>.<name>" qualified names:
// methods as they are, static ones wrapped in staticmethod, constants as
// read-only properties. Throws PyErrAlreadySet.
void bind_members(PyTypeObject* type, const FunctionDef* table, const char* file);
// One table of a class's members and the source file it is in (for the code
// objects), for classes whose methods are spread over several files.
struct MemberTable {
  const FunctionDef* rows;
  const char* file;
};
// Binds the rows of all `tables` in the order the null-ended `order` names
// them; rows it does not name follow, in table order. Throws PyErrAlreadySet.
void bind_members_in_order(PyTypeObject* type, std::initializer_list<MemberTable> tables, const char* const* order);
// The namespace of a public class: its __getmetaclass__, then its table.
void bind_public_members(PyTypeObject* type, const FunctionDef* table, const char* file);
// Stores one module function per row in the module's namespace.
void bind_functions(const FunctionDef* table, const char* file);
// Makes the function of one row of a class's table without storing it.
Ref make_member(PyTypeObject* type, const FunctionDef& def, const char* file);
// Stores `value` under `name` in the class's dictionary and marks it modified.
void set_class_attr(PyTypeObject* type, const char* name, PyObject* value);
// The class's own dictionary entry `name` (borrowed), or nullptr.
PyObject* class_attr(PyTypeObject* type, const char* name);
// One docstring in the module's SIGNATURE / PURPOSE / ARGUMENTS / EXAMPLE /
// NOTE layout. `arguments` and `note` are whole indented lines ("            x: ...\n");
// `note` may be empty.
std::string method_doc(const std::string& signature, const std::string& purpose, const std::string& arguments,
                       const std::string& example, const std::string& note = std::string());
// method_doc's layout as one string literal, for the docstrings of tables made
// at compile time: METHOD_DOC("size()", "Return the number of terms.", "None",
// "n = e.size()"). Each part's first line is indented here; its further lines
// carry their own indentation ("...\n            and its second line").
#define METHOD_DOC(signature, purpose, arguments, example)                                  \
  "\n        SIGNATURE:\n            " signature "\n\n        PURPOSE:\n            " purpose \
  "\n\n        ARGUMENTS:\n            " arguments "\n\n        EXAMPLE:\n            " example "\n        "
// "Model" for velmorpy.Model.
const char* short_name(PyTypeObject* type);

}  // namespace velmorpy
