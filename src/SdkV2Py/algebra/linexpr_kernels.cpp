// The kernels whose left operand is a LinExpr.
#include "algebra/kernels.hpp"

#include <algorithm>

#include "expressions/linexpr.hpp"
#include "expressions/quadexpr.hpp"
#include "expressions/terms.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/numbers.hpp"

namespace velmorpy {

Ref l_add_o(const Summand& l, const Summand& o) {
  switch (o.kind) {
    case OpKind::Number: return l_add_n(l, o);
    case OpKind::Array: return l_add_a(materialise(l).get(), materialise(o).get());
    case OpKind::Var: return l_add_v(l, o);
    case OpKind::Lin: return l_add_l(l, o);
    case OpKind::Quad: return q_add_l(o, l);
    case OpKind::MVar: return mv_add_l(materialise(o).get(), materialise(l).get());
    case OpKind::MLin: return ml_add_l(materialise(o).get(), materialise(l).get());
    case OpKind::MQuad: return mq_add_l(materialise(o).get(), materialise(l).get());
    case OpKind::None: break;
  }
  raise_unsupported("+", summand_type_name(l), summand_type_name(o));
}

Ref l_mul_o(PyObject* l, PyObject* o) {
  switch (operand_kind(o)) {
    case OpKind::Number: return l_mul_n(l, number_value(o));
    case OpKind::Array: return l_mul_a(l, o);
    case OpKind::Var: return l_mul_v(l, o);
    case OpKind::Lin: return l_mul_l(l, o);
    case OpKind::MVar: return mv_mul_l(o, l);
    case OpKind::MLin: return ml_mul_l(o, l);
    default: break;
  }
  raise_unsupported("*", l, o);
}

Ref l_mul_n(PyObject* l, double n) {
  Ref e = linexpr_new();
  linexpr_addexpr(as_linexpr(e.get()), linexpr_checked(l), n);
  return e;
}

// One quadratic term per term of l (zero coefficients dropped, the variable
// with the smaller index first), and the linear term (constant, v).
Ref l_mul_v(PyObject* l, PyObject* v) {
  LinExprObject* a = linexpr_checked(l);
  OwnedNums coeffs(nums_copy(a->coeffs_));
  OwnedTerms vars(terms_copy(a->vars_));
  const double constant = a->constant_;
  const Py_ssize_t n = std::min(nums_size(coeffs.t), terms_size(vars.t));
  Ref q = quadexpr_new();
  QuadExprObject* r = as_quadexpr(q.get());
  for (Py_ssize_t i = 0; i < n; ++i) quadexpr_addterm(r, nums_at(coeffs.t, i), terms_at(vars.t, i), v);
  linexpr_addterm(quadexpr_lin(r), constant, v);
  return q;
}

// The product of two linear expressions: the product of the constants; the
// terms of b scaled by a's constant, then the terms of a scaled by b's; then
// one quadratic term per pair (term of a, term of b) in row-major order.
Ref l_mul_l(PyObject* left, PyObject* right) {
  LinExprObject* a = linexpr_checked(left);
  LinExprObject* b = linexpr_checked(right);
  OwnedNums ac(nums_copy(a->coeffs_)), bc(nums_copy(b->coeffs_));
  OwnedTerms av(terms_copy(a->vars_)), bv(terms_copy(b->vars_));
  const double ka = a->constant_, kb = b->constant_;
  const Py_ssize_t na = std::min(nums_size(ac.t), terms_size(av.t));
  const Py_ssize_t nb = std::min(nums_size(bc.t), terms_size(bv.t));
  // Copied: the comparisons of the handles' indices may run code that grows
  // a shared buffer (which moves its numbers).
  const std::vector<double> ca(nums_items(ac.t), nums_items(ac.t) + na), cb(nums_items(bc.t), nums_items(bc.t) + nb);

  Ref q = quadexpr_new();
  QuadExprObject* r = as_quadexpr(q.get());
  LinExprObject* lin = quadexpr_lin(r);
  lin->constant_ += ka * kb;
  if (ka != 0.0)
    for (Py_ssize_t j = 0; j < nb; ++j) linexpr_addterm(lin, ka * cb[j], terms_at(bv.t, j));
  if (kb != 0.0)
    for (Py_ssize_t i = 0; i < na; ++i) linexpr_addterm(lin, kb * ca[i], terms_at(av.t, i));
  if (na > 0 && nb > 0 && na > (kMaxListItems / nb))
    raise(PyExc_OverflowError, "List cannot hold more than 2147483647 items");
  nums_reserve(r->coeffs_.nums, na * nb);
  terms_reserve(r->vars1_, na * nb);
  terms_reserve(r->vars2_, na * nb);
  for (Py_ssize_t i = 0; i < na; ++i)
    for (Py_ssize_t j = 0; j < nb; ++j) quadexpr_addterm(r, ca[i] * cb[j], terms_at(av.t, i), terms_at(bv.t, j));
  return q;
}

}  // namespace velmorpy
