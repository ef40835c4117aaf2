// Summands, the addition dispatchers and the kernels whose left operand is a
// number, a Var or a QuadExpr.
#include "algebra/kernels.hpp"

#include "algebra/object_arrays.hpp"
#include "algebra/operand.hpp"
#include "algebra/sum_builder.hpp"
#include "attributes/var.hpp"
#include "expressions/linexpr.hpp"
#include "expressions/quadexpr.hpp"
#include "expressions/terms.hpp"
#include "runtime/errors.hpp"
#include "runtime/numbers.hpp"

namespace velmorpy {

Summand summand_of(PyObject* o, double mult) {
  Summand s{o, operand_kind(o), mult, 0.0};
  if (s.kind == OpKind::Number) s.value = mult * number_value(o);
  if (mult != 1.0 && s.kind == OpKind::Var) s.kind = OpKind::Lin;
  return s;
}

Ref materialise(const Summand& s) {
  if (s.mult == 1.0) return Ref::borrow(s.obj);
  if (s.kind == OpKind::Number) return take(PyFloat_FromDouble(s.value));
  if (is_var(s.obj)) return v_mul_n(s.obj, s.mult);
  if (is_linexpr(s.obj)) return l_mul_n(s.obj, s.mult);
  if (is_quadexpr(s.obj)) return q_mul_n(s.obj, s.mult);
  return negative(s.obj);
}

void raise_unsupported(const char* op, const char* left, const char* right) {
  raise_format(PyExc_TypeError, "unsupported operand type(s) for %s: `%s` and `%s`", op, left, right);
}

void raise_unsupported(const char* op, PyObject* left, PyObject* right) {
  raise_unsupported(op, _PyType_Name(Py_TYPE(left)), _PyType_Name(Py_TYPE(right)));
}

const char* summand_type_name(const Summand& s) {
  if (s.mult != 1.0) {
    if (is_var(s.obj) || is_linexpr(s.obj)) return "LinExpr";
    if (is_quadexpr(s.obj)) return "QuadExpr";
  }
  return _PyType_Name(Py_TYPE(s.obj));
}

namespace {

[[noreturn]] void refuse_add(const Summand& l, const Summand& r) {
  raise_unsupported("+", summand_type_name(l), summand_type_name(r));
}

void add_summand(SumBuilder& sum, const Summand& s) {
  if (s.kind == OpKind::Number) return sum.add_number(s.value);
  if (s.mult == 1.0) return add_to_sum(sum, s.obj);
  PyTypeObject* t = Py_TYPE(s.obj);
  if (is_var(s.obj)) return sum.add_var(s.obj, s.mult);
  if (t == &LinExprType) return sum.add_lin(linexpr_checked(s.obj), s.mult);
  if (t == &QuadExprType) return sum.add_quad(quadexpr_checked(s.obj), s.mult);
  Ref made = materialise(s);
  add_to_sum(sum, made.get());
}

}  // namespace

Ref sum_of(const Summand& first, const Summand& second, bool quadratic) {
  SumBuilder sum;
  add_summand(sum, first);
  add_summand(sum, second);
  return quadratic ? sum.quadexpr() : sum.linexpr();
}

// --- addition dispatchers ------------------------------------------------------------

Ref add_summands(const Summand& left, const Summand& right) {
  switch (left.kind) {
    case OpKind::Number: return n_add_o(left, right);
    case OpKind::Var: return v_add_o(left, right);
    case OpKind::Lin: return l_add_o(left, right);
    case OpKind::Quad: return q_add_o(left, right);
    case OpKind::Array: return a_add_o(materialise(left).get(), materialise(right).get());
    case OpKind::MVar: return mv_add_o(materialise(left).get(), materialise(right).get());
    case OpKind::MLin: return ml_add_o(materialise(left).get(), materialise(right).get());
    case OpKind::MQuad: return mq_add_o(materialise(left).get(), materialise(right).get());
    case OpKind::None: break;
  }
  refuse_add(left, right);
}

Ref n_add_o(const Summand& n, const Summand& o) {
  switch (o.kind) {
    case OpKind::Var: return v_add_n(o, n);
    case OpKind::Lin: return l_add_n(o, n);
    case OpKind::Quad: return q_add_n(o, n);
    case OpKind::MVar: return mv_add_n(materialise(o).get(), n.value);
    case OpKind::MLin: return ml_add_n(materialise(o).get(), n.value);
    case OpKind::MQuad: return mq_add_n(materialise(o).get(), n.value);
    default: break;
  }
  raise_unsupported("+", "float", summand_type_name(o));
}

Ref v_add_o(const Summand& v, const Summand& o) {
  switch (o.kind) {
    case OpKind::Number: return v_add_n(v, o);
    case OpKind::Array: return v_add_a(v.obj, materialise(o).get());
    case OpKind::Var: return v_add_v(v, o);
    case OpKind::Lin: return l_add_v(o, v);
    case OpKind::Quad: return q_add_v(o, v);
    case OpKind::MVar: return mv_add_v(materialise(o).get(), v.obj);
    case OpKind::MLin: return ml_add_v(materialise(o).get(), v.obj);
    case OpKind::MQuad: return mq_add_v(materialise(o).get(), v.obj);
    case OpKind::None: break;
  }
  refuse_add(v, o);
}

Ref q_add_o(const Summand& q, const Summand& o) {
  switch (o.kind) {
    case OpKind::Number: return q_add_n(q, o);
    case OpKind::Array: return q_add_a(materialise(q).get(), materialise(o).get());
    case OpKind::Var: return q_add_v(q, o);
    case OpKind::Lin: return q_add_l(q, o);
    case OpKind::Quad: return q_add_q(q, o);
    case OpKind::MVar: return mv_add_q(materialise(o).get(), materialise(q).get());
    case OpKind::MLin: return ml_add_q(materialise(o).get(), materialise(q).get());
    case OpKind::MQuad: return mq_add_q(materialise(o).get(), materialise(q).get());
    case OpKind::None: break;
  }
  refuse_add(q, o);
}

// --- multiplication dispatchers ------------------------------------------------------

Ref n_mul_o(double n, PyObject* o) {
  switch (operand_kind(o)) {
    case OpKind::Var: return v_mul_n(o, n);
    case OpKind::Lin: return l_mul_n(o, n);
    case OpKind::Quad: return q_mul_n(o, n);
    case OpKind::MVar: return mv_mul_n(o, n);
    case OpKind::MLin: return ml_mul_n(o, n);
    case OpKind::MQuad: return mq_mul_n(o, n);
    default: break;
  }
  raise_unsupported("*", "float", _PyType_Name(Py_TYPE(o)));
}

Ref v_mul_o(PyObject* v, PyObject* o) {
  switch (operand_kind(o)) {
    case OpKind::Number: return v_mul_n(v, number_value(o));
    case OpKind::Array: return v_mul_a(v, o);
    case OpKind::Var: return v_mul_v(v, o);
    case OpKind::Lin: return l_mul_v(o, v);
    case OpKind::MVar: return mv_mul_v(o, v);
    case OpKind::MLin: return ml_mul_v(o, v);
    default: break;
  }
  raise_unsupported("*", v, o);
}

Ref q_mul_o(PyObject* q, PyObject* o) {
  switch (operand_kind(o)) {
    case OpKind::Number: return q_mul_n(q, number_value(o));
    case OpKind::Array: return q_mul_a(q, o);
    default: break;
  }
  raise_unsupported("*", q, o);
}

// --- products ------------------------------------------------------------------------

Ref v_mul_n(PyObject* v, double n) {
  Ref e = linexpr_new();
  linexpr_addterm(as_linexpr(e.get()), n, v);
  return e;
}

Ref v_mul_v(PyObject* x, PyObject* y) {
  Ref q = quadexpr_new();
  quadexpr_addterm(as_quadexpr(q.get()), 1.0, x, y);
  return q;
}

Ref q_mul_n(PyObject* q, double n) {
  Ref r = quadexpr_new();
  quadexpr_addexpr(as_quadexpr(r.get()), quadexpr_checked(q), n);
  return r;
}

}  // namespace velmorpy
