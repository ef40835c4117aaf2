// Constr: its type object; the handle family (handle.cpp) fills it.
#include "attributes/constr.hpp"

namespace velmorpy {

PyTypeObject ConstrType = {PyVarObject_HEAD_INIT(nullptr, 0)};

}  // namespace velmorpy
