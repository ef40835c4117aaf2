// Indexed names: the text of a key and the names of a batch's items.
#include "model/indexed_names.hpp"

#include <cstring>
#include <vector>

#include "runtime/errors.hpp"
#include "runtime/ref.hpp"

namespace velmorpy {

namespace {

// A str whose repr is its text in single quotes: printable ASCII without
// quotes or backslashes.
bool plain_ascii(PyObject* s) {
  if (!PyUnicode_IS_ASCII(s)) return false;
  const auto* c = static_cast<const unsigned char*>(PyUnicode_DATA(s));
  for (Py_ssize_t i = 0, n = PyUnicode_GET_LENGTH(s); i < n; ++i)
    if (c[i] < 0x20 || c[i] > 0x7e || c[i] == '\'' || c[i] == '\\') return false;
  return true;
}

}  // namespace

// Appends the UTF-8 text of a str, refusing the NUL the library would cut at.
void append_text(std::string& out, PyObject* s, bool drop_blanks) {
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(s, &size);
  if (!text) throw_error_set();
  if (std::memchr(text, '\0', static_cast<size_t>(size))) raise(PyExc_ValueError, "embedded null character");
  if (!drop_blanks) {
    out.append(text, static_cast<size_t>(size));
    return;
  }
  for (Py_ssize_t i = 0; i < size; ++i)
    if (text[i] != ' ') out.push_back(text[i]);
}

// str(list(key)).replace(' ', ''): the key's items as a list literal without
// blanks. Integers and plain strings are written here; other items by repr.
void append_key_text(std::string& out, PyObject* key) {
  Ref items = (PyTuple_Check(key) || PyList_Check(key)) ? Ref::borrow(key) : take(PySequence_List(key));
  out.push_back('[');
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(items.get()); ++i) {
    if (i > 0) out.push_back(',');
    Ref item = Ref::borrow(PySequence_Fast_GET_ITEM(items.get(), i));  // repr may run code that changes a list
    if (PyLong_CheckExact(item.get())) {
      int overflow = 0;
      const long long v = PyLong_AsLongLongAndOverflow(item.get(), &overflow);
      if (!overflow) {
        out += std::to_string(v);
        continue;
      }
    } else if (PyUnicode_CheckExact(item.get()) && plain_ascii(item.get())) {
      out.push_back('\'');
      append_text(out, item.get(), /*drop_blanks=*/true);
      out.push_back('\'');
      continue;
    }
    Ref text = take(PyObject_Repr(item.get()));
    append_text(out, text.get(), /*drop_blanks=*/true);
  }
  out.push_back(']');
}

std::vector<std::string> cell_names(PyObject* base, int nd, const Py_ssize_t* dims) {
  std::string head;
  append_text(head, base, /*drop_blanks=*/false);
  Py_ssize_t count = 1;
  for (int d = 0; d < nd; ++d) count *= dims[d];
  std::vector<std::string> names;
  names.reserve(static_cast<size_t>(count));
  std::vector<Py_ssize_t> index(static_cast<size_t>(nd), 0);
  for (Py_ssize_t k = 0; k < count; ++k) {
    std::string name = head;
    name.push_back('[');
    for (int d = 0; d < nd; ++d) {
      if (d > 0) name.push_back(',');
      name += std::to_string(index[static_cast<size_t>(d)]);
    }
    name.push_back(']');
    names.push_back(std::move(name));
    for (int d = nd - 1; d >= 0; --d) {  // the next index in row-major order
      if (++index[static_cast<size_t>(d)] < dims[d]) break;
      index[static_cast<size_t>(d)] = 0;
    }
  }
  return names;
}

}  // namespace velmorpy
