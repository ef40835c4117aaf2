#include "algebra/operand.hpp"

#include "attributes/handle.hpp"
#include "attributes/var.hpp"
#include "module/errors.hpp"

namespace velmorpy {

namespace {

// A Var hashes by its index, so two handles of one variable meet in one
// dictionary entry; expressions are not hashable.
Py_hash_t operand_hash(PyObject* self) noexcept {
  if (is_var(self)) {
    const Py_hash_t h = as_handle(self)->index;
    return h == -1 ? -2 : h;
  }
  PyErr_Format(PyExc_TypeError, "unsupported operand type(s) for hash(): `%s`", _PyType_Name(Py_TYPE(self)));
  return -1;
}

}  // namespace

PyTypeObject OperandType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_operand() {
  OperandType.tp_name = "velmorpy.Operand";
  OperandType.tp_basicsize = sizeof(PyObject);
  OperandType.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE;
  OperandType.tp_new = PyType_GenericNew;
  OperandType.tp_hash = slot(operand_hash);
}

}  // namespace velmorpy
