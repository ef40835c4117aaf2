// The text forms of expressions: terms, shortening and the frame around them.
#include "expressions/expr_text.hpp"

#include <cmath>

#include "expressions/terms.hpp"
#include "runtime/errors.hpp"
#include "runtime/numbers.hpp"

namespace velmorpy {

namespace {

bool present(PyObject* name) { return name && name != Py_None && PyUnicode_GET_LENGTH(name) > 0; }

void append_str(std::string& out, PyObject* s) {
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(s, &size);
  if (!utf8) throw_error_set();
  out.append(utf8, static_cast<size_t>(size));
}

void append_object_str(std::string& out, PyObject* o) {
  Ref s = take(PyObject_Str(o));
  append_str(out, s.get());
}

void append_names(std::string& out, bool one, PyObject* name1, PyObject* name2, bool same) {
  if (present(name1)) {
    if (!one) out += " * ";
    append_str(out, name1);
  }
  if (present(name2)) {
    if (same) {
      out += " ^ 2";
    } else {
      out += " * ";
      append_str(out, name2);
    }
  }
}

bool compare(PyObject* a, long b, int op) {
  Ref other = take(PyLong_FromLong(b));
  return check(PyObject_RichCompareBool(a, other.get(), op)) != 0;
}

}  // namespace

void append_term_text(std::string& out, PyObject* coeff, PyObject* name1, PyObject* name2, bool same) {
  if (name1) check_name(name1);
  if (name2) check_name(name2);
  if (PyFloat_CheckExact(coeff)) {
    const double v = PyFloat_AS_DOUBLE(coeff);
    if (!(v != 0)) return;
    const double a = std::fabs(v);
    out += v >= 0 ? " + " : " - ";
    const bool one = !(a != 1);
    if (!one || !present(name1)) {
      char* text = PyOS_double_to_string(a, 'r', 0, Py_DTSF_ADD_DOT_0, nullptr);
      if (!text) throw_error_set();
      out += text;
      PyMem_Free(text);
    }
    append_names(out, one, name1, name2, same);
    return;
  }
  if (is_number(coeff)) {
    if (!compare(coeff, 0, Py_NE)) return;
    Ref a = take(PyNumber_Absolute(coeff));
    out += compare(coeff, 0, Py_GE) ? " + " : " - ";
    const bool one = !compare(a.get(), 1, Py_NE);
    if (!one || !present(name1)) append_object_str(out, a.get());
    append_names(out, one, name1, name2, same);
    return;
  }
  // A matrix coefficient: its shape, not its values.
  Ref shape = take(PyObject_GetAttrString(coeff, "shape"));
  Ref rows = take(PySequence_GetItem(shape.get(), 0));
  Ref cols = take(PySequence_GetItem(shape.get(), 1));
  if (!name1 || !PyUnicode_Check(name1))
    raise_format(PyExc_TypeError, "can only concatenate str (not \"%.200s\") to str",
                 name1 ? Py_TYPE(name1)->tp_name : "NoneType");
  out += " + (";
  append_object_str(out, rows.get());
  out += ", ";
  append_object_str(out, cols.get());
  out += ") * ";
  append_str(out, name1);
}

Ref shorten(PyObject* s, Py_ssize_t n) {
  const Py_ssize_t len = PyUnicode_GET_LENGTH(s);
  if (len <= n) return Ref::borrow(s);
  const Py_ssize_t k = (n - 3) >> 1;
  Ref head = take(PyUnicode_Substring(s, 0, k));
  Ref tail = take(PyUnicode_Substring(s, len - k, len));
  return take(PyUnicode_FromFormat("%U ... %U", head.get(), tail.get()));
}

Ref expression_text(const char* tag, const std::string& body) {
  if (body.empty()) return take(PyUnicode_FromFormat("<%s: >", tag));
  const size_t skip = body.size() > 1 && body[1] == '+' ? 3 : 1;
  Ref inner = take(PyUnicode_FromStringAndSize(body.data() + skip, static_cast<Py_ssize_t>(body.size() - skip)));
  Ref cut = shorten(inner.get());
  return take(PyUnicode_FromFormat("<%s: %U>", tag, cut.get()));
}

void append_linear_part(std::string& body, PyObject* lin) {
  Ref s = take(PyObject_Str(lin));
  const Py_ssize_t len = PyUnicode_GET_LENGTH(s.get());
  if (len <= 11) return;
  Ref inner = take(PyUnicode_Substring(s.get(), 10, len - 1));
  std::string linear;
  append_str(linear, inner.get());
  if (!linear.empty()) body += " + " + linear;
}

}  // namespace velmorpy
