// SumBuilder: the one engine of sums. quicksum and every addition kernel
// write the terms of their summands straight into the term lists of the
// result, in summand order, without merging and without intermediate
// expressions; the first summand with terms is taken as a sharing copy
// (copy-on-write), so `e + x` costs O(1) however long `e` is.
#pragma once
#include <Python.h>

#include "expressions/linexpr.hpp"
#include "expressions/list.hpp"
#include "expressions/quadexpr.hpp"
#include "expressions/terms.hpp"
#include "runtime/ref.hpp"

namespace velmorpy {

class SumBuilder {
 public:
  // The constant as quicksum keeps it: float(constant + value).
  void add_number(double value) { constant_ += value; }
  // The term (mult, var), whatever mult is. Throws.
  void add_var(PyObject* var, double mult = 1.0);
  // The first n terms of `l` (clipped to what it shows) times mult. Throws.
  void add_lin_terms(LinExprObject* l, Py_ssize_t n, double mult = 1.0);
  // The first n quadratic terms of `q` times mult. Throws.
  void add_quad_terms(QuadExprObject* q, Py_ssize_t n, double mult = 1.0);
  // Every term and the constant, times mult. Throw.
  void add_lin(LinExprObject* l, double mult = 1.0);
  void add_quad(QuadExprObject* q, double mult = 1.0);

  bool has_quadratic_terms() const { return qcoeffs_size(qcoeffs_.t) > 0; }
  // The result; the builder is empty afterwards. Throw.
  Ref linexpr();   // the linear terms and the constant
  Ref quadexpr();  // everything, as a QuadExpr
  Ref result();    // quadexpr() when a quadratic term was added, else linexpr()

 private:
  OwnedCoeffs qcoeffs_;
  OwnedTerms qvars1_, qvars2_;
  OwnedNums lcoeffs_;
  OwnedTerms lvars_;
  double constant_ = 0.0;
};

// Adds one summand as quicksum does: a QuadExpr, a LinExpr, a Var or a
// number, tested in that order; TypeError "bad type for quicksum: {}" (the
// type's name) for anything else. The size() and getConstant() of a subclass
// of LinExpr or QuadExpr are called by name. Throws.
void add_to_sum(SumBuilder& sum, PyObject* item);


}  // namespace velmorpy
