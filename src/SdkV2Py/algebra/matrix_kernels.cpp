// The places of the matrix-shaped operands (MVar, MLinExpr, MQuadExpr) in the
// operator algebra. Their classes do not exist yet: operand_kind never
// answers their kinds, so the dispatchers never reach these kernels, and
// each refuses its pair with the unsupported-operand text. The matrix classes
// replace these bodies and make matrix_classes_exist() true.
#include "algebra/kernels.hpp"

#include "module/errors.hpp"

namespace velmorpy {

namespace {

[[noreturn]] void refuse(const char* op, PyObject* left, PyObject* right) { raise_unsupported(op, left, right); }
[[noreturn]] void refuse_number(const char* op, PyObject* left) {
  raise_unsupported(op, _PyType_Name(Py_TYPE(left)), "float");
}

}  // namespace

bool matrix_classes_exist() { return false; }
Ref wrap_mlinexpr(Ref) { return Ref(); }
Ref wrap_mquadexpr(Ref) { return Ref(); }

Ref mv_add_o(PyObject* mv, PyObject* o) { refuse("+", mv, o); }
Ref ml_add_o(PyObject* ml, PyObject* o) { refuse("+", ml, o); }
Ref mq_add_o(PyObject* mq, PyObject* o) { refuse("+", mq, o); }
Ref mv_mul_o(PyObject* mv, PyObject* o) { refuse("*", mv, o); }
Ref ml_mul_o(PyObject* ml, PyObject* o) { refuse("*", ml, o); }
Ref mq_mul_o(PyObject* mq, PyObject* o) { refuse("*", mq, o); }
Ref mv_matmul_o(PyObject* mv, PyObject* o) { refuse("@", mv, o); }
Ref ml_matmul_o(PyObject* ml, PyObject* o) { refuse("@", ml, o); }
Ref mq_matmul_o(PyObject* mq, PyObject* o) { refuse("@", mq, o); }

Ref mv_add_n(PyObject* mv, double) { refuse_number("+", mv); }
Ref mv_add_v(PyObject* mv, PyObject* v) { refuse("+", mv, v); }
Ref mv_add_l(PyObject* mv, PyObject* l) { refuse("+", mv, l); }
Ref mv_add_q(PyObject* mv, PyObject* q) { refuse("+", mv, q); }
Ref mv_add_a(PyObject* mv, PyObject* a) { refuse("+", mv, a); }
Ref ml_add_n(PyObject* ml, double) { refuse_number("+", ml); }
Ref ml_add_v(PyObject* ml, PyObject* v) { refuse("+", ml, v); }
Ref ml_add_l(PyObject* ml, PyObject* l) { refuse("+", ml, l); }
Ref ml_add_q(PyObject* ml, PyObject* q) { refuse("+", ml, q); }
Ref ml_add_a(PyObject* ml, PyObject* a) { refuse("+", ml, a); }
Ref mq_add_n(PyObject* mq, double) { refuse_number("+", mq); }
Ref mq_add_v(PyObject* mq, PyObject* v) { refuse("+", mq, v); }
Ref mq_add_l(PyObject* mq, PyObject* l) { refuse("+", mq, l); }
Ref mq_add_q(PyObject* mq, PyObject* q) { refuse("+", mq, q); }
Ref mq_add_a(PyObject* mq, PyObject* a) { refuse("+", mq, a); }
Ref mv_mul_n(PyObject* mv, double) { refuse_number("*", mv); }
Ref mv_mul_v(PyObject* mv, PyObject* v) { refuse("*", mv, v); }
Ref mv_mul_l(PyObject* mv, PyObject* l) { refuse("*", mv, l); }
Ref mv_mul_a(PyObject* mv, PyObject* a) { refuse("*", mv, a); }
Ref mv_mul_mv(PyObject* a, PyObject* b) { refuse("*", a, b); }
Ref ml_mul_n(PyObject* ml, double) { refuse_number("*", ml); }
Ref ml_mul_v(PyObject* ml, PyObject* v) { refuse("*", ml, v); }
Ref ml_mul_l(PyObject* ml, PyObject* l) { refuse("*", ml, l); }
Ref ml_mul_a(PyObject* ml, PyObject* a) { refuse("*", ml, a); }
Ref ml_mul_ml(PyObject* a, PyObject* b) { refuse("*", a, b); }
Ref mq_mul_n(PyObject* mq, double) { refuse_number("*", mq); }
Ref mq_mul_a(PyObject* mq, PyObject* a) { refuse("*", mq, a); }

Ref a_matmul_mv(PyObject* a, PyObject* mv) { refuse("@", a, mv); }
Ref a_matmul_ml(PyObject* a, PyObject* ml) { refuse("@", a, ml); }
Ref a_matmul_mq(PyObject* a, PyObject* mq) { refuse("@", a, mq); }

Ref matrix_neg(PyObject* m, OpKind) {
  raise_format(PyExc_TypeError, "bad operand type for unary -: `%s`", _PyType_Name(Py_TYPE(m)));
}

}  // namespace velmorpy
