// The module's function type: every module function and every method that the
// namespace phases put into a class is one of these.
#pragma once
#include <Python.h>

#include "runtime/args.hpp"
#include "runtime/ref.hpp"

namespace velmorpy {

// A body receives `bound` and the parsed arguments. `bound` is the instance for
// a method, the function's closure object for a function made with one, and
// nullptr otherwise.
using Impl = PyObject* (*)(PyObject* bound, const Args& args);

enum class Kind : unsigned char {
  Function,  // every parameter, also a leading self, is an ordinary argument
  Method,    // first parameter is self: required, type-checked, not counted in messages
  Static,    // stored in the class wrapped in staticmethod
  Constant,  // a method of self alone, stored in the class as a read-only property
};

struct FunctionObject {
  PyObject_HEAD
  vectorcallfunc vectorcall;
  Impl impl;
  ArgSpec* spec;         // owned; never null after construction
  Kind kind;
  PyTypeObject* owner;   // a method's class (borrowed: static types live forever)
  PyObject* closure;     // handed to impl as `bound`, or null
  PyObject* name;        // str, never null
  PyObject* qualname;    // str, never null
  PyObject* module;
  PyObject* doc;
  PyObject* defaults;    // tuple or null (None to Python)
  PyObject* kwdefaults;  // dict or null
  PyObject* annotations; // dict or null
  PyObject* code;
  PyObject* globals;
  PyObject* dict;
  PyObject* weakreflist;
};

extern PyTypeObject FunctionType;
int ready_function_type() noexcept;

// One row of a member or function table.
struct FunctionDef {
  const char* name;
  // The Python parameter list, e.g. "self, lb=0.0, name: str = ''". Defaults are
  // evaluated once, in the module's namespace, when the function is made; an
  // annotation declares the argument's type (checked by the parser, exactly for
  // str, dict and list) and does not show in __annotations__.
  const char* params;
  Impl impl;
  Kind kind;
  const char* doc;  // nullptr: no docstring
  int line;         // first source line of the definition, for its code object
  // For a callable without parameters: an extra argument is reported in the
  // counting wording ("takes exactly 0 positional arguments (1 given)", "got
  // an unexpected keyword argument") instead of "takes no arguments".
  bool counts_zero = false;
};

// Makes a function object from a row. `qualname` defaults to the name; `owner`
// is the class of a method; `file` names the source in the code object.
// Throws PyErrAlreadySet.
Ref make_function(const FunctionDef& def, PyObject* qualname, PyTypeObject* owner, PyObject* closure,
                  const char* file);

// Parses a tp_init/tp_new style call (args tuple, kwargs dict or null) with the
// signature of the function object `fn`. Returns 0, or -1 with TypeError set.
int unpack_call(PyObject* fn, PyObject* args, PyObject* kwargs, Args& out) noexcept;

}  // namespace velmorpy
