// multidict: splits a dict of data into a tuplelist of its keys and one
// tupledict per value position.
#pragma once
#include <Python.h>

#include "runtime/args.hpp"

namespace velmorpy {

// The module function multidict(d). Throws.
PyObject* multidict(PyObject*, const Args& a);
extern const char multidict_doc[];

}  // namespace velmorpy
