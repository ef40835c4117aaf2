// PsdConstr: its type object; the handle family (handle.cpp) fills it.
#include "attributes/psdconstr.hpp"

namespace velmorpy {

PyTypeObject PsdConstrType = {PyVarObject_HEAD_INIT(nullptr, 0)};

}  // namespace velmorpy
