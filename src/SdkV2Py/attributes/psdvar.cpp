#include "attributes/psdvar.hpp"

namespace velmorpy {

namespace {

// Makes NumPy leave an operation with a PsdVar operand to the PsdVar.
PyObject* psdvar_array_priority(PyObject*, const Args&) { return PyFloat_FromDouble(1000.0); }

}  // namespace

PyTypeObject PsdVarType = {PyVarObject_HEAD_INIT(nullptr, 0)};

const FunctionDef psdvar_members[] = {
    {"__array_priority__", "self", psdvar_array_priority, Kind::Constant, nullptr, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace velmorpy
