// Var: its type object; the handle family (handle.cpp) fills it.
#include "attributes/var.hpp"

namespace velmorpy {

PyTypeObject VarType = {PyVarObject_HEAD_INIT(nullptr, 0)};

}  // namespace velmorpy
