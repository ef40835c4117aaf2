// The module functions of velmorpy, bound at start-up in table order.
#pragma once
#include <Python.h>

namespace velmorpy {

// Binds the module functions. Throws.
void bind_module_functions();

}  // namespace velmorpy
