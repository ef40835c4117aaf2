// str2chars and chars2str: text to and from the library.
#include "runtime/text.hpp"

#include <cstring>

#include "runtime/errors.hpp"

namespace velmorpy {

Ref str2chars(PyObject* s) {
  if (!PyUnicode_Check(s)) raise(PyExc_TypeError, "encoding without a string argument");
  return take(PyUnicode_AsUTF8String(s));
}

Ref chars2str(PyObject* b) { return take(PyUnicode_FromEncodedObject(b, "UTF-8", "strict")); }

Ref chars2str(const char* text, const char* errors) {
  if (!text) text = "";
  return take(PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(std::strlen(text)), errors));
}

CText::CText(PyObject* s) : bytes_(str2chars(s)) {
  data_ = PyBytes_AS_STRING(bytes_.get());
  if (std::strlen(data_) != static_cast<size_t>(PyBytes_GET_SIZE(bytes_.get())))
    raise(PyExc_ValueError, "embedded null character");
}

CText CText::or_null(PyObject* s) {
  if (s == Py_None) return CText();
  return CText(s);
}

}  // namespace velmorpy
