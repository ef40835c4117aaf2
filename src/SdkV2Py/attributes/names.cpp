#include "attributes/names.hpp"

#include "module/attr_table.hpp"
#include "module/errors.hpp"
#include "module/param_table.hpp"
#include "module/print.hpp"
#include "module/state.hpp"
#include "module/strings.hpp"

namespace velmorpy {

namespace {

// Filled at start-up and only read afterwards (strong references).
// key -> canonical name (str)
PyObject* attr_index = nullptr;
// key -> (canonical name, int or float), in table order
PyObject* param_index = nullptr;

// Stores a finished index. Two rows with one key would make a name reach only
// one of them, so the tables are refused at start-up if that ever happens.
void set_index(PyObject*& index, Ref dict, std::size_t rows) {
  if (static_cast<std::size_t>(PyDict_GET_SIZE(dict.get())) != rows)
    raise(PyExc_SystemError, "velmorpy: two table rows share a look-up key");
  Py_XSETREF(index, dict.release());
}

// Borrowed; an index missing means a look-up ran before start-up built it.
PyObject* index_or_raise(PyObject* index) {
  if (!index) raise(PyExc_RuntimeError, "velmorpy: name tables used before start-up");
  return index;
}

// Borrowed value of `key`, or nullptr.
PyObject* lookup(PyObject* index, PyObject* key) {
  PyObject* v = PyDict_GetItemWithError(index_or_raise(index), key);
  if (!v && PyErr_Occurred()) throw_error_set();
  return v;
}

}  // namespace

// Keys are made by the look-ups' own rule, from the canonical names.
void index_attr_table() {
  Ref dict = take(PyDict_New());
  for (std::size_t i = 0; i < kNumAttrRows; ++i) {
    Ref name = take(PyUnicode_FromString(kAttrRows[i].name));
    Ref key = table_key(name.get());
    check(PyDict_SetItem(dict.get(), key.get(), name.get()));
  }
  set_index(attr_index, std::move(dict), kNumAttrRows);
}

void index_param_table() {
  Ref dict = take(PyDict_New());
  for (std::size_t i = 0; i < kNumParamRows; ++i) {
    Ref name = take(PyUnicode_FromString(kParamRows[i].name));
    Ref key = table_key(name.get());
    Ref row = take(PyTuple_Pack(2, name.get(), param_type_object(kParamRows[i].type)));
    check(PyDict_SetItem(dict.get(), key.get(), row.get()));
  }
  set_index(param_index, std::move(dict), kNumParamRows);
}

Ref table_key(PyObject* name) {
  Ref replaced = take(PyObject_CallMethodObjArgs(name, VLM_STR("replace"), VLM_STR("/"), VLM_STR("_"), nullptr));
  return take(PyObject_CallMethodNoArgs(replaced.get(), VLM_STR("lower")));
}

Ref normAttrName(PyObject* name) {
  Ref key = table_key(name);
  return Ref::borrow(lookup(attr_index, key.get()));
}

Ref normParamName(PyObject* name) {
  Ref key = table_key(name);
  PyObject* row = lookup(param_index, key.get());
  return row ? Ref::borrow(PyTuple_GET_ITEM(row, 0)) : Ref();
}

std::vector<Ref> params_matching(PyObject* key) {
  Ref fnmatch_module = module_global("fnmatch");
  Ref fnmatch = take(PyObject_GetAttrString(fnmatch_module.get(), "fnmatch"));
  std::vector<Ref> rows;
  Py_ssize_t pos = 0;
  PyObject *row_key, *row;
  // The index is private and never changes after start-up, so walking it while
  // fnmatch runs Python code is safe; each kept row is a strong reference.
  while (PyDict_Next(index_or_raise(param_index), &pos, &row_key, &row)) {
    Ref k = Ref::borrow(row_key);
    Ref r = Ref::borrow(row);
    Ref hit = take(PyObject_CallFunctionObjArgs(fnmatch.get(), k.get(), key, nullptr));
    if (check(PyObject_IsTrue(hit.get()))) rows.push_back(std::move(r));
  }
  return rows;
}

void print_matching_params(const std::vector<Ref>& rows) {
  Ref names = take(PyList_New(0));
  for (const Ref& row : rows) check(PyList_Append(names.get(), PyTuple_GET_ITEM(row.get(), 0)));
  Ref text = take(PyUnicode_FromFormat("Matching parameters: %S", names.get()));
  print_text(text.get());
}

Ref _matchParam(PyObject* name) {
  Ref key = table_key(name);
  if (PyObject* row = lookup(param_index, key.get())) return Ref::borrow(row);
  std::vector<Ref> rows = params_matching(key.get());
  if (rows.size() == 1) return std::move(rows.front());
  if (rows.size() > 1) print_matching_params(rows);
  return Ref();
}

}  // namespace velmorpy
