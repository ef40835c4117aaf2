// The objective: Model.setObjective and Model.getObjective. The library model
// is the only store of the objective (ModelSense, ObjCon, each variable's Obj,
// the quadratic terms, each semidefinite variable's PsdObj).
#pragma once
#include <Python.h>

#include "runtime/members.hpp"

namespace velmorpy {

// Their rows, bound into Model's namespace with the other methods.
extern const MemberTable model_objective_table;

}  // namespace velmorpy
