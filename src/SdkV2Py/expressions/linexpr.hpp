// LinExpr: a constant plus a sum of coefficient-times-variable terms.
//
// Term i is (coeffs_[i], vars_[i]): a coefficient and a Var. Terms keep the
// order in which they were added and are never merged, sorted or cancelled.
// The coefficients are kept as numbers (a float object is made when one is
// read as an object: getCoeff, the state, the text form); both term lists
// are copy-on-write (expressions/list.hpp), so copies of an expression share
// storage until one side changes.
#pragma once
#include <Python.h>

#include "expressions/list.hpp"
#include "runtime/ref.hpp"

namespace velmorpy {

struct LinExprObject {
  PyObject_HEAD
  NumList coeffs_;    // the coefficients
  TermList vars_;     // Var handles; always as long as coeffs_
  double constant_;
  // False until the constructor (or a C++ maker below) ran: the term lists
  // are then absent (None to Python) and every method refuses with TypeError.
  bool ready_;
};

extern PyTypeObject LinExprType;
extern const char linexpr_init_doc[];
void prepare_linexpr();
void bind_linexpr_namespace();

inline bool is_linexpr(PyObject* op) { return PyObject_TypeCheck(op, &LinExprType); }
inline LinExprObject* as_linexpr(PyObject* op) { return reinterpret_cast<LinExprObject*>(op); }

// --- internal operations (no Python-level calls) -------------------------------------

// A new empty LinExpr (no terms, constant 0.0) of the class itself,
// untracked (see linexpr_retrack). Throws.
Ref linexpr_new();
// The expression's record when it was constructed; TypeError otherwise. Throws.
LinExprObject* linexpr_checked(PyObject* expr);
// The linear part `lin` of a QuadExpr or PsdExpr: a constructed LinExpr;
// TypeError otherwise ("Cannot convert NoneType to velmorpy.LinExpr" for None). Throws.
LinExprObject* linear_part(PyObject* lin);
// The linear part `lin` of a QuadExpr or PsdExpr times `other` (the
// interpreter's in-place product), made on a copy: `lin` itself is left as it
// is. `unchanged` tells whether `lin` still holds what was copied once the
// product is made (the product may run code that changes it). Throws.
Ref linear_part_product(PyObject* lin, PyObject* other, bool& unchanged);
// LinExpr(arg): a sharing copy of a LinExpr of the class itself, the
// constructor for anything else. Throws.
Ref linexpr_from(PyObject* arg);
// _addterm: appends (coeff, var) unless coeff is 0.0 (also -0.0). Throws.
void linexpr_addterm(LinExprObject* self, double coeff, PyObject* var);
// Room for n more terms: the appends that follow cannot fail. Throws.
void linexpr_reserve(LinExprObject* self, Py_ssize_t n);
// Appends the term (coeff, var), zero or not, both lists or neither. Throws.
void linexpr_append(LinExprObject* self, double coeff, PyObject* var);
// linexpr_append after linexpr_reserve made room for it: cannot fail.
inline void linexpr_append_reserved(LinExprObject* self, double coeff, PyObject* var) noexcept {
  nums_append_reserved(self->coeffs_, coeff);
  terms_append_reserved(self->vars_, var);
}
// Appends the first n terms of (coeffs, vars), both lists or neither (an
// expression without terms shares them). Throws.
void linexpr_extend(LinExprObject* self, const NumList& coeffs, const TermList& vars, Py_ssize_t n);
// Collection tracking. An exact LinExpr whose variables sit inline (no
// buffer) and are all of kinds the collector does not track cannot be part of
// a cycle, so linexpr_new makes an expression untracked: millions of small
// ones (c * x, x + y, copies of them) then cost collections nothing. Every
// change that may add another kind of item or a buffer calls
// linexpr_retrack, which tracks the expression from then on (the operations
// below do; code that fills the term lists itself calls it at the end).
void linexpr_retrack(LinExprObject* e) noexcept;
// The number of terms.
inline Py_ssize_t linexpr_size(const LinExprObject* e) noexcept {
  const Py_ssize_t c = nums_size(e->coeffs_), v = terms_size(e->vars_);
  return c < v ? c : v;
}
// _addexpr: adds mult times `expr` (terms and constant); nothing when mult is
// 0.0. Shares expr's term storage when self has no terms and mult is 1.0.
// Throws.
void linexpr_addexpr(LinExprObject* self, LinExprObject* expr, double mult);
// addTerms(coeffs, vars) of `owner` (a LinExpr, or the expression whose
// linear part takes the terms): term by term, each read whole (the length,
// the items, the comparison with zero and the conversion run Python code
// that may change the owner) before it is appended to part(owner), looked up
// again for every term; a failure leaves the terms before it in place.
// addConstant on the expression `lin`, held while the addition runs the
// number's own code. clear, remove. Throw.
using LinearPart = LinExprObject* (*)(PyObject* owner);
void linexpr_add_terms(PyObject* owner, LinearPart part, PyObject* coeffs, PyObject* vars);
void linexpr_add_constant(const Ref& lin, PyObject* c);
void linexpr_clear_terms(LinExprObject* self);
void linexpr_remove_item(LinExprObject* self, PyObject* item);
// LinExpr(self) for an expression of the class itself: shares the terms. Throws.
Ref linexpr_copy(LinExprObject* self);
// The value of the expression in the current solution: the constant plus
// each coefficient times its variable's X. Throws.
double linexpr_value(LinExprObject* self);

}  // namespace velmorpy
