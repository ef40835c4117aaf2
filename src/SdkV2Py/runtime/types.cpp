// The constructor parsers of the module's classes, by class.
#include "runtime/types.hpp"

#include <utility>
#include <vector>

#include "runtime/errors.hpp"
#include "runtime/ref.hpp"

namespace velmorpy {

namespace {

// (class, parser), in the order the classes were bound; strong references,
// kept for the life of the process.
std::vector<std::pair<PyTypeObject*, PyObject*>>& init_parsers() {
  static std::vector<std::pair<PyTypeObject*, PyObject*>> parsers;
  return parsers;
}

PyObject* init_parser_body(PyObject*, const Args&) { Py_RETURN_NONE; }

}  // namespace

void make_init_parser(PyTypeObject* type, const char* params) {
  const FunctionDef def = {"__init__", params, init_parser_body, Kind::Function, nullptr, 0};
  Ref parser = make_function(def, nullptr, nullptr, nullptr, __FILE__);
  for (auto& [cls, held] : init_parsers()) {
    if (cls != type) continue;
    Py_XSETREF(held, parser.release());
    return;
  }
  init_parsers().emplace_back(type, parser.get());
  parser.release();
}

// __init__ of a static type is a wrapper around the tp_init slot whose text
// comes from a slot description shared by every type; give the class a copy of
// its own carrying the constructor docstring.
void document_init(PyTypeObject* type, const char* doc) {
  PyObject* init = PyDict_GetItemString(type->tp_dict, "__init__");
  if (!init || !PyObject_TypeCheck(init, &PyWrapperDescr_Type)) return;
  auto* wrapper = reinterpret_cast<PyWrapperDescrObject*>(init);
  auto* copy = new wrapperbase(*wrapper->d_base);  // owned by the class for the life of the process
  copy->doc = doc;
  wrapper->d_base = copy;
}

int unpack_init(PyTypeObject* type, PyObject* args, PyObject* kwargs, Args& out) noexcept {
  for (const auto& [cls, parser] : init_parsers())
    if (cls == type) return unpack_call(parser, args, kwargs, out);
  PyErr_Format(PyExc_SystemError, "velmorpy: no constructor parser for %s", type->tp_name);
  return -1;
}

}  // namespace velmorpy
