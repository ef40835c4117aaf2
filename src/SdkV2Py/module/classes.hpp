// The classes of the module, readied at start-up in one fixed order.
#pragma once
#include <Python.h>

namespace velmorpy {

struct ClassSpec {
  PyTypeObject* type;
  void (*prepare)();          // fills the type's slots (and base) before readying
  const char* init_doc;       // constructor docstring given to __init__, or nullptr
  // The constructor's parameter list ("name: str = '', env: Env = None"), from
  // which the class's constructor parser is made once, when the class is bound;
  // nullptr for a class whose tp_init parses nothing itself.
  const char* init_params;
  void (*bind_namespace)();   // the start-up phase that fills the class's namespace, or nullptr
};

// Readies every class in table order, binds it in the module, gives it its
// pickling methods (unless it has its own) and makes its constructor parser;
// then names Model to the model registry. Throws.
void ready_types();

// Runs the namespace phase of every class in table order. Throws.
void bind_class_namespaces();

}  // namespace velmorpy
