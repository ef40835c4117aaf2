// GenConstr: its type object; the handle family (handle.cpp) fills it.
#include "attributes/genconstr.hpp"

namespace velmorpy {

PyTypeObject GenConstrType = {PyVarObject_HEAD_INIT(nullptr, 0)};

}  // namespace velmorpy
