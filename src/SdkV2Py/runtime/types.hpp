// The constructor parsers of the module's classes, made when start-up binds
// each class (module/classes.cpp), and what readying does to a class's __init__.
#pragma once
#include <Python.h>

#include "runtime/function.hpp"

namespace velmorpy {

// Makes the constructor parser of `type` from its parameter list ("name: str =
// '', env: Env = None"), replacing one an earlier start-up made: a function
// object that is only ever parsed against, never called. Throws.
void make_init_parser(PyTypeObject* type, const char* params);

// Gives a readied class a copy of its __init__ wrapper carrying `doc`.
void document_init(PyTypeObject* type, const char* doc);

// Parses a constructor call of `type` (tp_init's args tuple and kwargs dict or
// null) with the parser made for the class, messages naming "__init__".
// Returns 0, or -1 with TypeError set.
int unpack_init(PyTypeObject* type, PyObject* args, PyObject* kwargs, Args& out) noexcept;

}  // namespace velmorpy
