// Coefficient access: Model.getCol, getRow, getCoeff, chgCoeff, and
// cleanupMilp (the library's tidying of integrality data; hidden from the
// documented-member listing). The matrix lives in the library; nothing is
// cached here, every call asks with the handles' current indices.
#pragma once
#include <Python.h>

#include "runtime/members.hpp"

namespace velmorpy {

// Their rows, bound into Model's namespace with the other methods.
extern const MemberTable model_coeffs_table;

}  // namespace velmorpy
