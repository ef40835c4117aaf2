#include "attributes/constr.hpp"

namespace velmorpy {

PyTypeObject ConstrType = {PyVarObject_HEAD_INIT(nullptr, 0)};

}  // namespace velmorpy
