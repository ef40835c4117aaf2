// The number test of the expressions and the operator algebra.
#pragma once
#include <Python.h>

namespace velmorpy {

// Whether `o` is a number: an instance of numbers.Number (the module global
// `numbers`, read when the fast tests do not decide), where every NumPy scalar
// of a numeric or Boolean dtype counts as a number too. int, float and bool
// are answered without a look-up; so are str, list, tuple, dict, None and
// NumPy arrays (never numbers). Throws.
bool is_number(PyObject* o);

// The double value of a number: an exact float read directly, anything else
// through the interpreter's float conversion (its TypeError, OverflowError).
// Throws.
double number_value(PyObject* o);

}  // namespace velmorpy
