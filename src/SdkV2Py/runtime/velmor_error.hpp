// VelmorError: the module's exception for every failure code of libvelmor.
// Its record and type object are in runtime/error_type.hpp; here are its
// constructor, members and readying.
#pragma once
#include <Python.h>

#include "runtime/error_type.hpp"

namespace velmorpy {

extern const char velmorerror_init_params[];
void prepare_velmorerror();
// Phase of start-up that fills the class's namespace.
void bind_velmorerror_namespace();

}  // namespace velmorpy
