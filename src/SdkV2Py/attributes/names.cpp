// Name look-ups: the sorted key tables of attributes and parameters, and wildcard matching.
#include "attributes/names.hpp"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "attributes/attr_table.hpp"
#include "attributes/param_table.hpp"
#include "runtime/errors.hpp"
#include "runtime/print.hpp"
#include "runtime/state.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

namespace {

// The look-up keys of one table, sorted, each with its row's position in the
// table. Filled at start-up and only read afterwards.
class KeyIndex {
 public:
  void assign(std::vector<std::pair<std::string, int>> keys) {
    std::sort(keys.begin(), keys.end());
    // Two rows with one key would make a name reach only one of them, so the
    // tables are refused at start-up if that ever happens.
    for (size_t i = 1; i < keys.size(); ++i)
      if (keys[i].first == keys[i - 1].first) raise(PyExc_SystemError, "velmorpy: two table rows share a look-up key");
    keys_ = std::move(keys);
  }
  // The row of `key`, or -1.
  int find(std::string_view key) const {
    if (keys_.empty()) raise(PyExc_RuntimeError, "velmorpy: name tables used before start-up");
    auto it = std::lower_bound(keys_.begin(), keys_.end(), key,
                               [](const std::pair<std::string, int>& entry, std::string_view k) { return entry.first < k; });
    return it != keys_.end() && it->first == key ? it->second : -1;
  }

 private:
  std::vector<std::pair<std::string, int>> keys_;
};

KeyIndex attr_keys, param_keys;
// Per row, in table order: the canonical attribute name; the parameter row
// (canonical name, int or float) and its key. Strong references kept for the
// life of the process (raw pointers: no destructor may run after the
// interpreter has gone).
std::vector<PyObject*> attr_names, param_rows, param_key_strs;

void keep(std::vector<PyObject*>& field, std::vector<Ref> values) {
  std::vector<PyObject*> old = std::move(field);
  field.clear();
  for (Ref& v : values) field.push_back(v.release());
  for (PyObject* p : old) Py_DECREF(p);
}

// The table key of a name. Table keys are ASCII, so an exact str of ASCII
// characters is folded here, without calling into Python; any other name
// goes through its own str methods (table_key), whose result is kept.
class TableKey {
 public:
  explicit TableKey(PyObject* name) {
    if (PyUnicode_CheckExact(name) && PyUnicode_IS_ASCII(name)) {
      fold(reinterpret_cast<const char*>(PyUnicode_1BYTE_DATA(name)), PyUnicode_GET_LENGTH(name));
      return;
    }
    str_ = table_key(name);
    if (PyUnicode_CheckExact(str_.get()) && PyUnicode_IS_ASCII(str_.get()))
      text_.assign(reinterpret_cast<const char*>(PyUnicode_1BYTE_DATA(str_.get())), PyUnicode_GET_LENGTH(str_.get()));
    else
      ascii_ = false;
  }
  // False for a key that no table holds (not ASCII): only a pattern walk can use it.
  bool ascii() const { return ascii_; }
  std::string_view text() const { return text_; }
  // Whether fnmatch would see a pattern in it; without one it matches only itself.
  bool is_pattern() const { return !ascii_ || text_.find_first_of("*?[") != std::string::npos; }
  // The key as a str. Throws.
  Ref str() const {
    if (str_) return Ref::borrow(str_.get());
    return take(PyUnicode_FromStringAndSize(text_.data(), static_cast<Py_ssize_t>(text_.size())));
  }

 private:
  void fold(const char* s, Py_ssize_t n) {
    text_.assign(s, static_cast<size_t>(n));
    for (char& c : text_) {
      if (c == '/') c = '_';
      else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
  }
  std::string text_;
  Ref str_;  // set when the str methods made the key
  bool ascii_ = true;
};

std::string key_text(const char* canonical) {
  std::string key = canonical;
  for (char& c : key) {
    if (c == '/') c = '_';
    else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

int param_row_of(const TableKey& key) { return key.ascii() ? param_keys.find(key.text()) : -1; }

}  // namespace

// Keys are made by the look-ups' own rule, from the canonical names.
void index_attr_table() {
  std::vector<std::pair<std::string, int>> keys;
  std::vector<Ref> names;
  for (std::size_t i = 0; i < kNumAttrRows; ++i) {
    keys.emplace_back(key_text(kAttrRows[i].name), static_cast<int>(i));
    names.push_back(take(PyUnicode_FromString(kAttrRows[i].name)));
  }
  attr_keys.assign(std::move(keys));
  keep(attr_names, std::move(names));
}

void index_param_table() {
  std::vector<std::pair<std::string, int>> keys;
  std::vector<Ref> rows, key_strs;
  for (std::size_t i = 0; i < kNumParamRows; ++i) {
    const std::string key = key_text(kParamRows[i].name);
    keys.emplace_back(key, static_cast<int>(i));
    Ref name = take(PyUnicode_FromString(kParamRows[i].name));
    rows.push_back(take(PyTuple_Pack(2, name.get(), param_type_object(kParamRows[i].type))));
    key_strs.push_back(take(PyUnicode_FromString(key.c_str())));
  }
  param_keys.assign(std::move(keys));
  keep(param_rows, std::move(rows));
  keep(param_key_strs, std::move(key_strs));
}

Ref table_key(PyObject* name) {
  Ref replaced = take(PyObject_CallMethodObjArgs(name, VLM_STR("replace"), VLM_STR("/"), VLM_STR("_"), nullptr));
  return take(PyObject_CallMethodNoArgs(replaced.get(), VLM_STR("lower")));
}

int find_attr_row(PyObject* name) {
  const TableKey key(name);
  return key.ascii() ? attr_keys.find(key.text()) : -1;
}

Ref normAttrName(PyObject* name) {
  const int row = find_attr_row(name);
  return row < 0 ? Ref() : Ref::borrow(attr_names[static_cast<size_t>(row)]);
}

Ref normParamName(PyObject* name) {
  const int row = param_row_of(TableKey(name));
  return row < 0 ? Ref() : Ref::borrow(PyTuple_GET_ITEM(param_rows[static_cast<size_t>(row)], 0));
}

std::vector<Ref> params_matching(PyObject* key) {
  Ref fnmatch_module = module_global("fnmatch");
  Ref fnmatch = take(PyObject_GetAttrString(fnmatch_module.get(), "fnmatch"));
  std::vector<Ref> rows;
  // The rows and keys are private and never change after start-up, so walking
  // them while fnmatch runs Python code is safe.
  for (size_t i = 0; i < param_rows.size(); ++i) {
    Ref hit = take(PyObject_CallFunctionObjArgs(fnmatch.get(), param_key_strs[i], key, nullptr));
    if (check(PyObject_IsTrue(hit.get()))) rows.push_back(Ref::borrow(param_rows[i]));
  }
  return rows;
}

void print_matching_params(const std::vector<Ref>& rows) {
  Ref names = take(PyList_New(0));
  for (const Ref& row : rows) check(PyList_Append(names.get(), PyTuple_GET_ITEM(row.get(), 0)));
  Ref text = take(PyUnicode_FromFormat("Matching parameters: %S", names.get()));
  print_text(text.get());
}

// A key without pattern characters matches under fnmatch only the key equal
// to it, which the exact look-up already tried: the walk is skipped.
Ref _matchParam(PyObject* name) {
  const TableKey key(name);
  const int row = param_row_of(key);
  if (row >= 0) return Ref::borrow(param_rows[static_cast<size_t>(row)]);
  if (!key.is_pattern()) return Ref();
  Ref pattern = key.str();
  std::vector<Ref> rows = params_matching(pattern.get());
  if (rows.size() == 1) return std::move(rows.front());
  if (rows.size() > 1) print_matching_params(rows);
  return Ref();
}

}  // namespace velmorpy
