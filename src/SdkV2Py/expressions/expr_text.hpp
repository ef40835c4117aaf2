// The text forms of expressions: one term at a time, then the whole text cut
// to its head and tail when long. Shared by LinExpr, QuadExpr and PsdExpr.
#pragma once
#include <Python.h>

#include <string>

#include "runtime/errors.hpp"
#include "runtime/ref.hpp"

namespace velmorpy {

// Appends the text of one term to `out` (UTF-8): its sign (" + " / " - "),
// its coefficient (left out when it is plus or minus one before a name) and
// its names (" * " between them, " ^ 2" for a square). A zero coefficient
// adds nothing. A coefficient that is not a number is a matrix: " + (r, c) *
// name1". Names are str or None; "" and None count as absent. Throws.
void append_term_text(std::string& out, PyObject* coeff, PyObject* name1, PyObject* name2 = nullptr,
                      bool same = false);

// `s` itself when it has at most n characters; else its first and last
// (n - 3) >> 1 characters joined by " ... ". Throws.
Ref shorten(PyObject* s, Py_ssize_t n = 250);

// "<{tag}: {}>" filled from the terms' text `body`: without its leading " + "
// (or only its leading blank for " - "), shortened; "<{tag}: >" when empty.
// Throws.
Ref expression_text(const char* tag, const std::string& body);

// The text form (tp_str) of an expression class, whose own walk
// `append_terms(body)` appends the text of its terms to `body` (reading the
// names runs Python code: the expression is held meanwhile): "<{tag}: ...>".
template <class F>
PyObject* expression_str(PyObject* self, const char* tag, F&& append_terms) noexcept {
  return guarded([&] {
    Ref pin = Ref::borrow(self);
    std::string body;
    append_terms(body);
    return expression_text(tag, body).release();
  });
}

// Appends " + " and the inner text of a linear part's text form (between
// "<LinExpr: " and ">", from str(lin), which may be a subclass's), unless
// that is empty: the tail of a QuadExpr's or PsdExpr's text. Throws.
void append_linear_part(std::string& body, PyObject* lin);

}  // namespace velmorpy
