// The module's internal decorators and its documented-member listing.
#pragma once
#include <Python.h>

#include "runtime/ref.hpp"

namespace velmorpy {

// property(fget, fset) over f: fget(self) returns f(self); fset raises TypeError
// "Value is readonly"; no deleter; the docstring is f.__doc__.
Ref constant(PyObject* f);
// As constant(f), with `doc` as the docstring.
Ref documented_constant(PyObject* doc, PyObject* f);
// f.__text_signature__ = "<f.__name__>(<args>)".
void signature(PyObject* f, const char* args);
// Hides f from the documented-member listing: __text_signature__ "__internal__", __doc__ "".
void internal(PyObject* f);
// The names that `cls` itself defines which are properties or callables with a
// non-empty docstring, in the order of its dictionary, internal ones left out.
Ref get_documented_fields(PyObject* cls);
// Stores `__getmetaclass__` in the class: each call makes a new class
// "MetaClass" (a type subclass) whose __dir__ lists the class's documented members.
void bind_getmetaclass(PyTypeObject* owner, const char* file);

}  // namespace velmorpy
