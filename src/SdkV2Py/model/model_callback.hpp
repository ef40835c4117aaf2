// The Model methods a callback calls during its turn: cbGet, cbGetNodeRel,
// cbGetSolution, cbSetSolution, cbUseSolution, cbCut, _cbCutP and cbBranch.
#pragma once
#include <Python.h>

#include "runtime/members.hpp"

namespace velmorpy {

// Their rows, bound into Model's namespace with the other methods.
extern const MemberTable model_callback_table;

}  // namespace velmorpy
