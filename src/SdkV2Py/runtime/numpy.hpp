// The one way to include the NumPy C API: exactly one file (runtime/numpy.cpp)
// defines VELMORPY_NUMPY_IMPORT and holds the API table, which start-up fills
// through import_numpy().
#pragma once
#include <Python.h>

#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#define PY_ARRAY_UNIQUE_SYMBOL velmorpy_ARRAY_API
#ifndef VELMORPY_NUMPY_IMPORT
#define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>
#include <numpy/arrayscalars.h>

namespace velmorpy {

// Fills the API table from the imported numpy; 0, or -1 with the import's own
// error set (the import_array macros would replace it with a generic one).
int import_numpy() noexcept;

}  // namespace velmorpy
