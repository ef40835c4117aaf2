// The kernels whose left operand is matrix-shaped (MVar, MLinExpr,
// MQuadExpr), and those of a numeric matrix on the left of one. Each is one
// NumPy operation on the operands' arrays, whose element loop reaches the
// cells' own operators; the result is wrapped by MLinExpr.new or
// MQuadExpr.new. A number stands on the right of NumPy's operator, an
// array-like on the left; a Var or expression meets every cell through
// npadd / npmul, the cell on the left.
#include "algebra/kernels.hpp"

#include "algebra/object_arrays.hpp"
#include "algebra/operand.hpp"
#include "matrix/matrix_array.hpp"
#include "matrix/mlinexpr.hpp"
#include "matrix/mquadexpr.hpp"
#include "runtime/errors.hpp"
#include "runtime/numbers.hpp"

namespace velmorpy {

namespace {

// The operand's array, held while NumPy runs the cells' operators (Python
// code that could replace the operand's field).
Ref arr(PyObject* m) { return Ref::borrow(matrix_array(m)); }

// NumPy's operators, on operands whose nesting its element loops can carry
// (numpy_operand).
Ref add(PyObject* a, PyObject* b) {
  Ref x = numpy_operand(a), y = numpy_operand(b);
  return take(PyNumber_Add(x.get(), y.get()));
}

Ref mul(PyObject* a, PyObject* b) {
  Ref x = numpy_operand(a), y = numpy_operand(b);
  return take(PyNumber_Multiply(x.get(), y.get()));
}

// The array with a number on the right: the double as a new Python float.
Ref add_number(PyObject* m, double n) {
  Ref f = take(PyFloat_FromDouble(n));
  return add(arr(m).get(), f.get());
}

Ref mul_number(PyObject* m, double n) {
  Ref f = take(PyFloat_FromDouble(n));
  return mul(arr(m).get(), f.get());
}

}  // namespace

Ref wrap_mlinexpr(Ref arr) { return mlinexpr_new(arr.get()); }
Ref wrap_mquadexpr(Ref arr) { return mquadexpr_new(arr.get()); }

// --- dispatchers ---------------------------------------------------------------------

Ref mv_add_o(PyObject* mv, PyObject* o) {
  switch (operand_kind(o)) {
    case OpKind::Number: return mv_add_n(mv, number_value(o));
    case OpKind::Array: return mv_add_a(mv, o);
    case OpKind::Var: return mv_add_v(mv, o);
    case OpKind::Lin: return mv_add_l(mv, o);
    case OpKind::Quad: return mv_add_q(mv, o);
    case OpKind::MVar: return mv_add_mv(mv, o);
    case OpKind::MLin: return ml_add_mv(o, mv);
    case OpKind::MQuad: return mq_add_mv(o, mv);
    case OpKind::None: break;
  }
  raise_unsupported("+", mv, o);
}

Ref ml_add_o(PyObject* ml, PyObject* o) {
  switch (operand_kind(o)) {
    case OpKind::Number: return ml_add_n(ml, number_value(o));
    case OpKind::Array: return ml_add_a(ml, o);
    case OpKind::Var: return ml_add_v(ml, o);
    case OpKind::Lin: return ml_add_l(ml, o);
    case OpKind::Quad: return ml_add_q(ml, o);
    case OpKind::MVar: return ml_add_mv(ml, o);
    case OpKind::MLin: return ml_add_ml(ml, o);
    case OpKind::MQuad: return mq_add_ml(o, ml);
    case OpKind::None: break;
  }
  raise_unsupported("+", ml, o);
}

Ref mq_add_o(PyObject* mq, PyObject* o) {
  switch (operand_kind(o)) {
    case OpKind::Number: return mq_add_n(mq, number_value(o));
    case OpKind::Array: return mq_add_a(mq, o);
    case OpKind::Var: return mq_add_v(mq, o);
    case OpKind::Lin: return mq_add_l(mq, o);
    case OpKind::Quad: return mq_add_q(mq, o);
    case OpKind::MVar: return mq_add_mv(mq, o);
    case OpKind::MLin: return mq_add_ml(mq, o);
    case OpKind::MQuad: return mq_add_mq(mq, o);
    case OpKind::None: break;
  }
  raise_unsupported("+", mq, o);
}

Ref mv_mul_o(PyObject* mv, PyObject* o) {
  switch (operand_kind(o)) {
    case OpKind::Number: return mv_mul_n(mv, number_value(o));
    case OpKind::Array: return mv_mul_a(mv, o);
    case OpKind::Var: return mv_mul_v(mv, o);
    case OpKind::Lin: return mv_mul_l(mv, o);
    case OpKind::MVar: return mv_mul_mv(mv, o);
    case OpKind::MLin: return ml_mul_mv(o, mv);
    default: break;
  }
  raise_unsupported("*", mv, o);
}

Ref ml_mul_o(PyObject* ml, PyObject* o) {
  switch (operand_kind(o)) {
    case OpKind::Number: return ml_mul_n(ml, number_value(o));
    case OpKind::Array: return ml_mul_a(ml, o);
    case OpKind::Var: return ml_mul_v(ml, o);
    case OpKind::Lin: return ml_mul_l(ml, o);
    case OpKind::MVar: return ml_mul_mv(ml, o);
    case OpKind::MLin: return ml_mul_ml(ml, o);
    default: break;
  }
  raise_unsupported("*", ml, o);
}

Ref mq_mul_o(PyObject* mq, PyObject* o) {
  switch (operand_kind(o)) {
    case OpKind::Number: return mq_mul_n(mq, number_value(o));
    case OpKind::Array: return mq_mul_a(mq, o);
    default: break;
  }
  raise_unsupported("*", mq, o);
}

// The matrix products count a SciPy sparse matrix as array-like.
Ref mv_matmul_o(PyObject* mv, PyObject* o) {
  switch (operand_kind(o, true)) {
    case OpKind::Array: return mv_matmul_a(mv, o);
    case OpKind::MVar: return mv_matmul_mv(mv, o);
    case OpKind::MLin: return mv_matmul_ml(mv, o);
    default: break;
  }
  raise_unsupported("@", mv, o);
}

Ref ml_matmul_o(PyObject* ml, PyObject* o) {
  switch (operand_kind(o, true)) {
    case OpKind::Array: return ml_matmul_a(ml, o);
    case OpKind::MVar: return ml_matmul_mv(ml, o);
    case OpKind::MLin: return ml_matmul_ml(ml, o);
    default: break;
  }
  raise_unsupported("@", ml, o);
}

Ref mq_matmul_o(PyObject* mq, PyObject* o) {
  if (operand_kind(o, true) == OpKind::Array) return mq_matmul_a(mq, o);
  raise_unsupported("@", mq, o);
}

// --- sums ----------------------------------------------------------------------------

Ref mv_add_n(PyObject* mv, double n) { return wrap_mlinexpr(add_number(mv, n)); }
Ref mv_add_a(PyObject* mv, PyObject* a) { return wrap_mlinexpr(add(a, arr(mv).get())); }
Ref mv_add_v(PyObject* mv, PyObject* v) { return wrap_mlinexpr(npadd(arr(mv).get(), v)); }
Ref mv_add_l(PyObject* mv, PyObject* l) { return wrap_mlinexpr(npadd(arr(mv).get(), l)); }
Ref mv_add_q(PyObject* mv, PyObject* q) { return wrap_mquadexpr(npadd(arr(mv).get(), q)); }
Ref mv_add_mv(PyObject* a, PyObject* b) { return wrap_mlinexpr(add(arr(a).get(), arr(b).get())); }

Ref ml_add_n(PyObject* ml, double n) { return wrap_mlinexpr(add_number(ml, n)); }
Ref ml_add_a(PyObject* ml, PyObject* a) { return wrap_mlinexpr(add(a, arr(ml).get())); }
Ref ml_add_v(PyObject* ml, PyObject* v) { return wrap_mlinexpr(npadd(arr(ml).get(), v)); }
Ref ml_add_l(PyObject* ml, PyObject* l) { return wrap_mlinexpr(npadd(arr(ml).get(), l)); }
Ref ml_add_q(PyObject* ml, PyObject* q) { return wrap_mquadexpr(npadd(arr(ml).get(), q)); }
Ref ml_add_mv(PyObject* ml, PyObject* mv) { return wrap_mlinexpr(add(arr(ml).get(), arr(mv).get())); }
Ref ml_add_ml(PyObject* a, PyObject* b) { return wrap_mlinexpr(add(arr(a).get(), arr(b).get())); }

Ref mq_add_n(PyObject* mq, double n) { return wrap_mquadexpr(add_number(mq, n)); }
Ref mq_add_a(PyObject* mq, PyObject* a) { return wrap_mquadexpr(add(a, arr(mq).get())); }
Ref mq_add_v(PyObject* mq, PyObject* v) { return wrap_mquadexpr(npadd(arr(mq).get(), v)); }
Ref mq_add_l(PyObject* mq, PyObject* l) { return wrap_mquadexpr(npadd(arr(mq).get(), l)); }
Ref mq_add_q(PyObject* mq, PyObject* q) { return wrap_mquadexpr(npadd(arr(mq).get(), q)); }
Ref mq_add_mv(PyObject* mq, PyObject* mv) { return wrap_mquadexpr(add(arr(mq).get(), arr(mv).get())); }
Ref mq_add_ml(PyObject* mq, PyObject* ml) { return wrap_mquadexpr(add(arr(mq).get(), arr(ml).get())); }
Ref mq_add_mq(PyObject* a, PyObject* b) { return wrap_mquadexpr(add(arr(a).get(), arr(b).get())); }

// --- element-wise products -------------------------------------------------------------

Ref mv_mul_n(PyObject* mv, double n) { return wrap_mlinexpr(mul_number(mv, n)); }
Ref mv_mul_a(PyObject* mv, PyObject* a) { return wrap_mlinexpr(mul(a, arr(mv).get())); }
Ref mv_mul_v(PyObject* mv, PyObject* v) { return wrap_mquadexpr(npmul(arr(mv).get(), v)); }
Ref mv_mul_l(PyObject* mv, PyObject* l) { return wrap_mquadexpr(npmul(arr(mv).get(), l)); }
Ref mv_mul_mv(PyObject* a, PyObject* b) { return wrap_mquadexpr(mul(arr(a).get(), arr(b).get())); }

Ref ml_mul_n(PyObject* ml, double n) { return wrap_mlinexpr(mul_number(ml, n)); }
Ref ml_mul_a(PyObject* ml, PyObject* a) { return wrap_mlinexpr(mul(a, arr(ml).get())); }
Ref ml_mul_v(PyObject* ml, PyObject* v) { return wrap_mquadexpr(npmul(arr(ml).get(), v)); }
Ref ml_mul_l(PyObject* ml, PyObject* l) { return wrap_mquadexpr(npmul(arr(ml).get(), l)); }
Ref ml_mul_mv(PyObject* ml, PyObject* mv) { return wrap_mquadexpr(mul(arr(ml).get(), arr(mv).get())); }
Ref ml_mul_ml(PyObject* a, PyObject* b) { return wrap_mquadexpr(mul(arr(a).get(), arr(b).get())); }

Ref mq_mul_n(PyObject* mq, double n) { return wrap_mquadexpr(mul_number(mq, n)); }
Ref mq_mul_a(PyObject* mq, PyObject* a) { return wrap_mquadexpr(mul(a, arr(mq).get())); }

// --- matrix products -------------------------------------------------------------------

// A SciPy sparse matrix goes to the sparse product, anything else to the dense one.
Ref mv_matmul_a(PyObject* mv, PyObject* a) {
  if (is_sparse_matrix(a)) return wrap_mlinexpr(_smatmul(arr(mv).get(), a));
  return wrap_mlinexpr(_dmatmul(arr(mv).get(), a, OpKind::Var, OpKind::Number));
}

Ref mv_matmul_mv(PyObject* a, PyObject* b) {
  return wrap_mquadexpr(_dmatmul(arr(a).get(), arr(b).get(), OpKind::Var, OpKind::Var));
}

Ref mv_matmul_ml(PyObject* mv, PyObject* ml) {
  return wrap_mquadexpr(_dmatmul(arr(mv).get(), arr(ml).get(), OpKind::Var, OpKind::Lin));
}

Ref ml_matmul_a(PyObject* ml, PyObject* a) {
  if (is_sparse_matrix(a)) return wrap_mlinexpr(_smatmul(arr(ml).get(), a));
  return wrap_mlinexpr(_dmatmul(arr(ml).get(), a, OpKind::Lin, OpKind::Number));
}

Ref ml_matmul_mv(PyObject* ml, PyObject* mv) {
  return wrap_mquadexpr(_dmatmul(arr(ml).get(), arr(mv).get(), OpKind::Lin, OpKind::Var));
}

Ref ml_matmul_ml(PyObject* a, PyObject* b) {
  return wrap_mquadexpr(_dmatmul(arr(a).get(), arr(b).get(), OpKind::Lin, OpKind::Lin));
}

Ref mq_matmul_a(PyObject* mq, PyObject* a) {
  if (is_sparse_matrix(a)) return wrap_mquadexpr(_smatmul(arr(mq).get(), a));
  return wrap_mquadexpr(_dmatmul(arr(mq).get(), a, OpKind::Quad, OpKind::Number));
}

Ref a_matmul_mv(PyObject* a, PyObject* mv) {
  if (is_sparse_matrix(a)) return wrap_mlinexpr(_smatmul(a, arr(mv).get()));
  return wrap_mlinexpr(_dmatmul(a, arr(mv).get(), OpKind::Number, OpKind::Var));
}

Ref a_matmul_ml(PyObject* a, PyObject* ml) {
  if (is_sparse_matrix(a)) return wrap_mlinexpr(_smatmul(a, arr(ml).get()));
  return wrap_mlinexpr(_dmatmul(a, arr(ml).get(), OpKind::Number, OpKind::Lin));
}

Ref a_matmul_mq(PyObject* a, PyObject* mq) {
  if (is_sparse_matrix(a)) return wrap_mquadexpr(_smatmul(a, arr(mq).get()));
  return wrap_mquadexpr(_dmatmul(a, arr(mq).get(), OpKind::Number, OpKind::Quad));
}

// --- negation --------------------------------------------------------------------------

Ref matrix_neg(PyObject* m, OpKind kind) {
  Ref minus_one = take(PyLong_FromLong(-1));
  Ref product = mul(arr(m).get(), minus_one.get());
  return kind == OpKind::MQuad ? wrap_mquadexpr(std::move(product)) : wrap_mlinexpr(std::move(product));
}

}  // namespace velmorpy
