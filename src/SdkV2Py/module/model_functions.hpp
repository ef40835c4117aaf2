// The module functions models and read.
#pragma once
#include <Python.h>

#include "runtime/function.hpp"

namespace velmorpy {

PyObject* models(PyObject*, const Args&);
PyObject* read(PyObject*, const Args&);
extern const char models_doc[];
extern const char read_doc[];

}  // namespace velmorpy
