// print_text.
#include "runtime/print.hpp"

#include "runtime/errors.hpp"
#include "runtime/state.hpp"

namespace velmorpy {

void print_text(PyObject* text) {
  Ref print = module_global("print");
  take(PyObject_CallOneArg(print.get(), text));
}

}  // namespace velmorpy
