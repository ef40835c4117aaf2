// The model's matrix interface: the Model methods that work with whole arrays
// of model items (addMVar).
#pragma once
#include <Python.h>

#include "runtime/members.hpp"

namespace velmorpy {

// Their rows, bound into Model's namespace with the other methods.
extern const MemberTable model_matrix_table;

}  // namespace velmorpy
