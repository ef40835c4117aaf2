#include "attributes/var.hpp"

namespace velmorpy {

PyTypeObject VarType = {PyVarObject_HEAD_INIT(nullptr, 0)};

}  // namespace velmorpy
