// The text forms of expressions: one term at a time, then the whole text cut
// to its head and tail when long. Shared by LinExpr, QuadExpr and PsdExpr.
#pragma once
#include <Python.h>

#include <string>

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

// The inner text of a LinExpr's text form (between "<LinExpr: " and ">"),
// taken from str(expr), which may be a subclass's. Throws.
std::string linear_part_text(PyObject* expr);

}  // namespace velmorpy
