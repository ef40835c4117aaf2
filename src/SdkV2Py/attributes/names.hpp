// Name look-ups of the attribute and parameter tables.
//
// A name given by a program is reduced to its table key by replacing every "/"
// with "_" and lower-casing the result: look-ups ignore letter case and take
// "/" and "_" as the same character, and fold nothing else. An exact str of
// ASCII characters is folded in C++ and looked up in a sorted table, without
// calling into Python; any other name is folded by its own str methods
// (table_key), as a program would see them.
#pragma once
#include <Python.h>

#include <vector>

#include "runtime/ref.hpp"

namespace velmorpy {

// Start-up: builds the key index of each table. Throws PyErrAlreadySet.
void index_attr_table();
void index_param_table();

// name.replace("/", "_").lower(). A name that is not a str fails with the
// exception its own methods raise (TypeError for bytes, AttributeError for an
// object without them). Throws PyErrAlreadySet.
Ref table_key(PyObject* name);

// Whether `name` is a str beginning with "__". Its key begins with "__" too,
// which no table key does: such a name is never an attribute or a parameter.
inline bool is_dunder(PyObject* name) {
  return PyUnicode_Check(name) && PyUnicode_GET_LENGTH(name) >= 2 && PyUnicode_READ_CHAR(name, 0) == '_' &&
         PyUnicode_READ_CHAR(name, 1) == '_';
}

// The canonical attribute name ("SPX/NumIters") that `name` denotes, or an
// empty Ref when no row's key matches. An alias is its own row: "numconstrs"
// gives "NumConstrs". Throws PyErrAlreadySet.
Ref normAttrName(PyObject* name);
// The same look-up as the position of the row in kAttrRows, or -1.
int find_attr_row(PyObject* name);

// The canonical parameter name that `name` denotes exactly, or an empty Ref.
Ref normParamName(PyObject* name);

// The (canonical name, type) rows, type being int or float, whose keys match
// the pattern `key` (already a table key) under fnmatch.fnmatch, in table order.
std::vector<Ref> params_matching(PyObject* key);

// Prints "Matching parameters: " followed by the list of the rows' names, with
// the built-in print.
void print_matching_params(const std::vector<Ref>& rows);

// Resolves a name or shell-style pattern to one parameter: the row
// (canonical name, int or float) as a tuple, or an empty Ref when no parameter
// or several are meant. An exact name never goes through the pattern walk, nor
// does a name without "*", "?" or "[" (it can match only itself); several
// matches are printed with print_matching_params. Throws PyErrAlreadySet.
Ref _matchParam(PyObject* name);

}  // namespace velmorpy
