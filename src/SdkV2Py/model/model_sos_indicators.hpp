// Special ordered sets and indicator constraints: Model.addSOS, getSOS,
// getSOSs, addGenConstrIndicator, getGenConstrIndicator and getGenConstrs.
// Each new item's handle joins the model's soss_ or genconstrs_ list, whose
// positions follow the library's numbering of the items.
#pragma once
#include <Python.h>

#include "runtime/members.hpp"

namespace velmorpy {

// Their rows, bound into Model's namespace with the other methods.
extern const MemberTable model_sos_indicators_table;

}  // namespace velmorpy
