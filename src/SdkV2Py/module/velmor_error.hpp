// VelmorError: the module's exception for every failure code of libvelmor.
#pragma once
#include <Python.h>

namespace velmorpy {

struct VelmorErrorObject {
  PyBaseExceptionObject base;
  int errno_;          // the library's code; -1 when built from a text; 0 before __init__
  PyObject* message_;  // str; None before __init__
};

extern PyTypeObject VelmorErrorType;
extern const char velmorerror_init_params[];
void prepare_velmorerror();
// Phase of start-up that fills the class's namespace.
void bind_velmorerror_namespace();

}  // namespace velmorpy
