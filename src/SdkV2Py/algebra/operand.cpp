#include "algebra/operand.hpp"

namespace velmorpy {

PyTypeObject OperandType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_operand() {
  OperandType.tp_name = "velmorpy.Operand";
  OperandType.tp_basicsize = sizeof(PyObject);
  OperandType.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE;
  OperandType.tp_new = PyType_GenericNew;
}

}  // namespace velmorpy
