// Owning reference to a Python object.
#pragma once
#include <Python.h>

namespace velmorpy {

// Move-only owner of one strong reference; copies are forbidden so that every
// incref in the code base is visible.
class Ref {
 public:
  Ref() noexcept = default;
  static Ref steal(PyObject* p) noexcept { Ref r; r.p_ = p; return r; }   // p: a new reference
  static Ref borrow(PyObject* p) noexcept { Py_XINCREF(p); return steal(p); }
  Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  Ref& operator=(Ref&& o) noexcept {
    if (this != &o) { PyObject* old = p_; p_ = o.p_; o.p_ = nullptr; Py_XDECREF(old); }
    return *this;
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { Py_XDECREF(p_); }

  PyObject* get() const noexcept { return p_; }                 // borrowed view
  PyObject* release() noexcept { PyObject* t = p_; p_ = nullptr; return t; }
  void reset() noexcept { PyObject* t = p_; p_ = nullptr; Py_XDECREF(t); }
  explicit operator bool() const noexcept { return p_ != nullptr; }

 private:
  PyObject* p_ = nullptr;
};

}  // namespace velmorpy
