// QuadExpr: a sum of coefficient-times-product-of-two-variables terms plus a
// linear part (a LinExpr) that also holds the constant.
//
// Quadratic term i is coeffs_[i] * vars1_[i] * vars2_[i]; the three term
// lists always have the same length. Terms are never merged. Terms added one
// by one carry the variable with the smaller index first.
#pragma once
#include <Python.h>

#include "expressions/linexpr.hpp"
#include "expressions/list.hpp"
#include "module/ref.hpp"

namespace velmorpy {

struct QuadExprObject {
  PyObject_HEAD
  TermList coeffs_;
  TermList vars1_;
  TermList vars2_;
  // The linear part: a LinExpr, or None until the constructor ran (every
  // method then refuses with TypeError). Handed out as it is by getLinExpr.
  PyObject* lin_;
};

extern PyTypeObject QuadExprType;
extern const char quadexpr_init_doc[];
void prepare_quadexpr();
void bind_quadexpr_namespace();

inline bool is_quadexpr(PyObject* op) { return PyObject_TypeCheck(op, &QuadExprType); }
inline QuadExprObject* as_quadexpr(PyObject* op) { return reinterpret_cast<QuadExprObject*>(op); }

// --- internal operations (no Python-level calls) -------------------------------------

// A new QuadExpr without quadratic terms whose linear part is `lin` (a
// LinExpr), or a new empty LinExpr when `lin` is empty. Throws.
Ref quadexpr_new(Ref lin = Ref());
// The expression's record when its linear part is a constructed LinExpr;
// TypeError otherwise. Throws.
QuadExprObject* quadexpr_checked(PyObject* expr);
// Its linear part (checked as quadexpr_checked does). Throws.
LinExprObject* quadexpr_lin(QuadExprObject* q);
// _addterm: appends (coeff, var1, var2) unless coeff is 0.0, the variable
// with the smaller index first. Throws.
void quadexpr_addterm(QuadExprObject* self, double coeff, PyObject* var1, PyObject* var2);
// _addexpr: adds mult times `expr`, quadratic terms and linear part; nothing
// when mult is 0.0. Throws.
void quadexpr_addexpr(QuadExprObject* self, QuadExprObject* expr, double mult);
// The value in the current solution, over the first `count` quadratic terms
// (all of them when `count` is negative; IndexError "list index out of range"
// when it is more than there are). Throws.
double quadexpr_value(QuadExprObject* self, Py_ssize_t count = -1);

}  // namespace velmorpy
