// Operand: the base class of every object that takes part in arithmetic
// (Var, MVar, LinExpr, QuadExpr, MLinExpr, MQuadExpr).
#pragma once
#include <Python.h>

namespace velmorpy {

extern PyTypeObject OperandType;
void prepare_operand();
inline bool is_operand(PyObject* op) { return PyObject_TypeCheck(op, &OperandType); }

}  // namespace velmorpy
