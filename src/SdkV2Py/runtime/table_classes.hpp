// The table classes of the constants object: AttrConstClass, ParamConstClass,
// ErrorConstClass, StatusConstClass and CallbackClass. They are plain Python
// classes made at start-up, not static types: each is filled from its table and
// has one instance, which the constants object hands out.
#pragma once
#include <Python.h>

#include <string>

#include "runtime/ref.hpp"

namespace velmorpy {

// Start-up: makes the five table classes, empty, and binds each in the module
// namespace under its name. Throws PyErrAlreadySet.
void make_table_classes();

// Sets on the class `cls` a read-only member `member`: a property whose getter
// is a function of (self, ctx=value) returning ctx, documented by `doc`. It has
// no setter and no deleter, so assigning through an instance is refused by the
// interpreter's property machinery. Throws PyErrAlreadySet.
void add_value_property(PyObject* cls, const char* member, PyObject* value, PyObject* doc);

// The member under which a table row appears: its name with every "/" as "_"
// ("SPX/NumIters" -> "SPX_NumIters").
std::string member_name(const char* row_name);

// Makes one instance of `cls` and binds it to the module global `global`.
void bind_table_instance(PyObject* cls, const char* global);

}  // namespace velmorpy
