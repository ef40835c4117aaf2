#include "module/print.hpp"

#include "module/errors.hpp"
#include "module/state.hpp"

namespace velmorpy {

void print_text(PyObject* text) {
  Ref print = module_global("print");
  take(PyObject_CallOneArg(print.get(), text));
}

}  // namespace velmorpy
