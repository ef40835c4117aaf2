// Operand: the base class of every object that takes part in arithmetic
// (Var, MVar, LinExpr, QuadExpr, MLinExpr, MQuadExpr).
//
// Its number-protocol entries decide which operand's rule runs: the left
// operand's when it counts as an Operand, else the right one's reflected
// rule, else NotImplemented. Each rule classifies its own operand's kind and
// hands both to that kind's dispatcher (algebra/kernels.hpp).
#pragma once
#include <Python.h>

#include "runtime/ref.hpp"

namespace velmorpy {

extern PyTypeObject OperandType;
void prepare_operand();
void bind_operand_namespace();
inline bool is_operand(PyObject* op) { return PyObject_TypeCheck(op, &OperandType); }

// Whether `x` takes the left part in one two-operand entry of the protocol
// that `base` defines (Operand's, PsdExpr's): when both operands have one type,
// when x's type uses this very entry (inherits it), or when x is an instance
// of `base`.
bool counts_as(PyObject* x, PyObject* other, binaryfunc PyNumberMethods::*slot, binaryfunc entry, PyTypeObject* base);

// The operator methods, in C (each throws): self + other, self - other,
// other - self, self * other, self @ other, other @ self, self / d,
// self ** 2, -self, and the comparisons <=, >=, ==.
Ref operand_add(PyObject* self, PyObject* other);
Ref operand_sub(PyObject* self, PyObject* other);
Ref operand_rsub(PyObject* self, PyObject* other);
Ref operand_mul(PyObject* self, PyObject* other);
Ref operand_matmul(PyObject* self, PyObject* other);
Ref operand_rmatmul(PyObject* self, PyObject* other);
Ref operand_truediv(PyObject* self, double d);
Ref operand_pow(PyObject* self, PyObject* exponent);
Ref operand_neg(PyObject* self);
Ref operand_le(PyObject* self, PyObject* other);
Ref operand_ge(PyObject* self, PyObject* other);
Ref operand_eq(PyObject* self, PyObject* other);

// The unary-minus slot (a type whose negation is this one negates as Operand does).
PyObject* operand_negative(PyObject* self) noexcept;

}  // namespace velmorpy
