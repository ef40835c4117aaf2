// The classes of the module, readied at start-up in one fixed order.
#pragma once
#include <Python.h>

#include "module/function.hpp"

namespace velmorpy {

struct ClassSpec {
  PyTypeObject* type;
  void (*prepare)();          // fills the type's slots (and base) before readying
  const char* init_doc;       // constructor docstring given to __init__, or nullptr
  void (*bind_namespace)();   // the start-up phase that fills the class's namespace, or nullptr
};

// Readies every class in table order and binds it in the module. Throws.
void ready_types();
// Runs the namespace phase of every class in table order. Throws.
void bind_class_namespaces();

// Attribute look-up for instances without a dictionary: the class's MRO only,
// with the message "'%.200s' object has no attribute '%U'".
PyObject* module_getattro(PyObject* self, PyObject* name) noexcept;

}  // namespace velmorpy
