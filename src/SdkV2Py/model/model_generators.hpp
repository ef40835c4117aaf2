// Constraints from generators: Model.addConstrs, which adds one constraint per
// TempConstr a generator yields and keys them by the generator's own loop
// variables.
#pragma once
#include <Python.h>

#include "runtime/members.hpp"

namespace velmorpy {

// Its row, bound into Model's namespace with the other methods.
extern const MemberTable model_generators_table;

}  // namespace velmorpy
