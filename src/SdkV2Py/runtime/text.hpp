// Text to and from libvelmor: NUL-terminated UTF-8.
#pragma once
#include <Python.h>

#include "runtime/ref.hpp"

namespace velmorpy {

// bytes(s, "UTF-8"): TypeError for anything but a str, UnicodeEncodeError for
// lone surrogates. Throws PyErrAlreadySet.
Ref str2chars(PyObject* s);
// str(b, "UTF-8") of a bytes-like object. Throws PyErrAlreadySet.
Ref chars2str(PyObject* b);
// The library's NUL-terminated text, copied and decoded at once; `errors` as
// for bytes.decode ("backslashreplace" for text that must not fail, a log line).
Ref chars2str(const char* text, const char* errors = "strict");

// A str converted for one library call. Keeps the UTF-8 bytes alive for as long
// as the object lives; refuses an embedded NUL, which the library would cut at.
class CText {
 public:
  explicit CText(PyObject* s);
  // None passes as a null pointer; anything else as CText(s).
  static CText or_null(PyObject* s);
  const char* get() const noexcept { return data_; }

 private:
  CText() = default;
  Ref bytes_;
  const char* data_ = nullptr;
};

}  // namespace velmorpy
