// SumBuilder: the summands' terms written into the result's term lists, and add_to_sum.
#include "algebra/sum_builder.hpp"

#include <algorithm>
#include <utility>

#include "attributes/var.hpp"
#include "expressions/terms.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/numbers.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

void SumBuilder::add_var(PyObject* var, double mult) {
  if (!nums_has_room(lcoeffs_.t, 1)) nums_reserve(lcoeffs_.t, 1);
  if (!terms_has_room(lvars_.t, 1)) terms_reserve(lvars_.t, 1);
  nums_append_reserved(lcoeffs_.t, mult);
  terms_append_reserved(lvars_.t, var);
}

void SumBuilder::add_lin_terms(LinExprObject* l, Py_ssize_t n, double mult) {
  n = std::min({n, nums_size(l->coeffs_), terms_size(l->vars_)});
  if (n <= 0) return;
  if (n == 1) {  // a summand such as c * x, the common case of quicksum
    const double c = nums_at(l->coeffs_, 0);
    return add_var(terms_at(l->vars_, 0), mult == 1.0 ? c : mult * c);
  }
  OwnedNums coeffs(nums_copy(l->coeffs_, n));
  if (mult != 1.0) nums_imul(coeffs.t, mult);
  // As linexpr_extend: sharing copies for empty lists, room in the others first.
  if (nums_size(lcoeffs_.t) > 0) nums_reserve(lcoeffs_.t, n);
  if (terms_size(lvars_.t) > 0) terms_reserve(lvars_.t, n);
  nums_extend(lcoeffs_.t, coeffs.t, n);
  terms_extend(lvars_.t, l->vars_, n);
}

void SumBuilder::add_quad_terms(QuadExprObject* q, Py_ssize_t n, double mult) {
  n = std::min(n, quadexpr_size(q));
  if (n <= 0) return;
  // Scaling objects runs Python code: the lists read are this scope's shares.
  OwnedTerms vars1(terms_copy(q->vars1_)), vars2(terms_copy(q->vars2_));
  OwnedCoeffs coeffs(qcoeffs_copy(q->coeffs_, n));
  if (mult != 1.0) qcoeffs_imul(coeffs.t, mult);
  quad_terms_extend(qcoeffs_.t, qvars1_.t, qvars2_.t, coeffs.t, vars1.t, vars2.t, n);
}

void SumBuilder::add_lin(LinExprObject* l, double mult) {
  add_lin_terms(l, nums_size(l->coeffs_), mult);
  constant_ += mult == 1.0 ? l->constant_ : mult * l->constant_;
}

void SumBuilder::add_quad(QuadExprObject* q, double mult) {
  LinExprObject* lin = quadexpr_lin(q);
  Ref pin = Ref::borrow(q->lin_);
  add_quad_terms(q, qcoeffs_size(q->coeffs_), mult);
  add_lin(lin, mult);
}

namespace {

// item.size() called by name, as a 32-bit count.
Py_ssize_t size_by_name(PyObject* item) {
  Ref n = take(PyObject_CallMethodNoArgs(item, VLM_STR("size")));
  return integer_only(n.get());
}

double constant_by_name(PyObject* item) {
  Ref c = take(PyObject_CallMethodNoArgs(item, VLM_STR("getConstant")));
  return as_double(c.get());
}

}  // namespace

void add_to_sum(SumBuilder& sum, PyObject* item) {
  PyTypeObject* t = Py_TYPE(item);
  if (t == &LinExprType) return sum.add_lin(linexpr_checked(item));
  if (t == &VarType) return sum.add_var(item);
  if (t == &PyFloat_Type) return sum.add_number(PyFloat_AS_DOUBLE(item));
  if (t == &QuadExprType) return sum.add_quad(quadexpr_checked(item));
  if (is_quadexpr(item)) {
    Ref pin = Ref::borrow(item);
    Ref lin = Ref::borrow(quadexpr_checked(item)->lin_);  // checked: a constructed LinExpr
    const Py_ssize_t n = size_by_name(item);
    const Py_ssize_t m = size_by_name(lin.get());
    const double c = constant_by_name(lin.get());
    sum.add_quad_terms(quadexpr_checked(item), n);
    sum.add_lin_terms(linexpr_checked(lin.get()), m);
    sum.add_number(c);
    return;
  }
  if (is_linexpr(item)) {
    Ref pin = Ref::borrow(item);
    linexpr_checked(item);
    const Py_ssize_t m = size_by_name(item);
    sum.add_lin_terms(linexpr_checked(item), m);
    sum.add_number(constant_by_name(item));
    return;
  }
  if (is_var(item)) return sum.add_var(item);
  if (is_number(item)) return sum.add_number(number_value(item));
  raise_format(PyExc_TypeError, "bad type for quicksum: %s", _PyType_Name(t));
}

Ref SumBuilder::linexpr() {
  Ref e = linexpr_new();
  LinExprObject* l = as_linexpr(e.get());
  std::swap(l->coeffs_, lcoeffs_.t);
  std::swap(l->vars_, lvars_.t);
  l->constant_ = constant_;
  constant_ = 0.0;
  linexpr_retrack(l);
  return e;
}

Ref SumBuilder::quadexpr() {
  Ref e = quadexpr_new(linexpr());
  QuadExprObject* q = as_quadexpr(e.get());
  std::swap(q->coeffs_, qcoeffs_.t);
  std::swap(q->vars1_, qvars1_.t);
  std::swap(q->vars2_, qvars2_.t);
  return e;
}

Ref SumBuilder::result() { return has_quadratic_terms() ? quadexpr() : linexpr(); }

}  // namespace velmorpy
