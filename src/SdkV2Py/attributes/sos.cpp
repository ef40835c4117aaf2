// SOS: its type object; the handle family (handle.cpp) fills it.
#include "attributes/sos.hpp"

namespace velmorpy {

PyTypeObject SOSType = {PyVarObject_HEAD_INIT(nullptr, 0)};

}  // namespace velmorpy
