// Model.computeIIS: the irreducible infeasible subsystem of an infeasible
// model, read back through IISVar and IISConstr.
#pragma once
#include <Python.h>

#include "runtime/members.hpp"

namespace velmorpy {

// Its row, bound into Model's namespace with the other methods.
extern const MemberTable model_iis_table;

}  // namespace velmorpy
