// quicksum: the sum of many numbers, variables and expressions in one pass.
#pragma once
#include <Python.h>

#include "runtime/args.hpp"
#include "runtime/ref.hpp"

namespace velmorpy {

// The sum of the items of the iterable `li` (a list or tuple is read by
// index, anything else through its iterator): a QuadExpr when a quadratic
// term was gathered, else a LinExpr. Terms come in item order, never merged;
// zero coefficients stay. Throws.
Ref _quicksum(PyObject* li);

// The module function quicksum(li).
PyObject* quicksum(PyObject*, const Args& a);
extern const char quicksum_doc[];

}  // namespace velmorpy
