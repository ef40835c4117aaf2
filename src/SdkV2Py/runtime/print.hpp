// Informational output of the module.
#pragma once
#include <Python.h>

namespace velmorpy {

// print(text) through the built-in print (looked up as a module global), so a
// program that redirects sys.stdout or shadows print sees every message.
// Throws PyErrAlreadySet.
void print_text(PyObject* text);

}  // namespace velmorpy
