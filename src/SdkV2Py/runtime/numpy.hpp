// The one way to include the NumPy C API: exactly one file (the module entry)
// defines VELMORPY_NUMPY_IMPORT and imports the API at start-up.
#pragma once
#include <Python.h>

#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#define PY_ARRAY_UNIQUE_SYMBOL velmorpy_ARRAY_API
#ifndef VELMORPY_NUMPY_IMPORT
#define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>
#include <numpy/arrayscalars.h>
