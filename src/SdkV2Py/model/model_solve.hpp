// The Model methods that hand the whole model to the library: optimize,
// terminate, reset, message, read and write.
#pragma once
#include <Python.h>

#include "runtime/members.hpp"


namespace velmorpy {

// Their rows, bound into Model's namespace with the other methods.
extern const MemberTable model_solve_table;

}  // namespace velmorpy
