// QuadExpr: a sum of coefficient-times-product-of-two-variables terms plus a
// linear part (a LinExpr) that also holds the constant.
//
// Quadratic term i is coeffs_[i] * vars1_[i] * vars2_[i]; the three term
// lists always have the same length. Terms are never merged. Terms added one
// by one carry the variable with the smaller index first.
//
// The coefficients are kept as numbers (a float object is made when one is
// read as an object: getCoeff, the state, the text form) until one is given
// as an object that is not an exact float (the list form of addTerms keeps
// its coefficients as given, as does a state; an in-place product by such a
// number; the product of two variable arrays, whose coefficients are the
// int 1): from then on they are kept as objects, exactly as given.
#pragma once
#include <Python.h>

#include <vector>

#include "expressions/linexpr.hpp"
#include "expressions/list.hpp"
#include "runtime/ref.hpp"

namespace velmorpy {

// The coefficients of the quadratic terms, copy-on-write as the term lists.
struct QuadCoeffs {
  NumList nums;          // the coefficients while !objects
  TermList objs;         // the coefficients once objects
  bool objects = false;
};

inline Py_ssize_t qcoeffs_size(const QuadCoeffs& c) noexcept {
  return c.objects ? terms_size(c.objs) : nums_size(c.nums);
}
void qcoeffs_release(QuadCoeffs& c) noexcept;
// A sharing copy of the first n coefficients (all when n is negative).
QuadCoeffs qcoeffs_copy(const QuadCoeffs& c, Py_ssize_t n = -1) noexcept;
using OwnedCoeffs = OwnedView<QuadCoeffs, qcoeffs_release>;
// Coefficient i (i < qcoeffs_size(c)) as an object: the one kept, or a new
// float (coefficient()). Throws.
Ref qcoeffs_object(const QuadCoeffs& c, Py_ssize_t i);

// The coefficients as one of the parallel term lists (terms.hpp). Cleared
// coefficients are numbers again until an object is given.
inline Py_ssize_t termlist_size(const QuadCoeffs& c) noexcept { return qcoeffs_size(c); }
inline QuadCoeffs termlist_copy(const QuadCoeffs& c, Py_ssize_t n = -1) noexcept {
  return qcoeffs_copy(c, n);
}
inline void termlist_release(QuadCoeffs& c) noexcept { qcoeffs_release(c); }
inline void termlist_clear(QuadCoeffs& c) noexcept { qcoeffs_release(c); }
inline bool termlist_same(const QuadCoeffs& a, const QuadCoeffs& b) noexcept {
  return a.objects == b.objects && (a.objects ? termlist_same(a.objs, b.objs) : termlist_same(a.nums, b.nums));
}
inline void termlist_remove(QuadCoeffs& c, const std::vector<Py_ssize_t>& positions) {
  if (c.objects) terms_remove(c.objs, positions);
  else nums_remove(c.nums, positions);
}
inline int termlist_traverse(const QuadCoeffs& c, visitproc visit, void* arg) {
  return terms_traverse(c.objs, visit, arg);
}

struct QuadExprObject {
  PyObject_HEAD
  QuadCoeffs coeffs_;
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
// Appends the first n terms of (c, v1, v2) (clipped to what they show) to
// (coeffs, vars1, vars2): all three lists or none. The coefficients stay
// numbers when both sides are numbers; else both become objects (an empty
// destination takes the kind of `c`). Throws.
void quad_terms_extend(QuadCoeffs& coeffs, TermList& vars1, TermList& vars2, const QuadCoeffs& c, const TermList& v1,
                       const TermList& v2, Py_ssize_t n);
// Every coefficient times m: numbers as the float product m * x, objects as
// terms_imul scales them. Throws.
void qcoeffs_imul(QuadCoeffs& c, double m);
// _addexpr: adds mult times `expr`, quadratic terms and linear part; nothing
// when mult is 0.0. Throws.
void quadexpr_addexpr(QuadExprObject* self, QuadExprObject* expr, double mult);
// The value in the current solution, over the first `count` quadratic terms
// (all of them when `count` is negative; IndexError "list index out of range"
// when it is more than there are). Throws.
double quadexpr_value(QuadExprObject* self, Py_ssize_t count = -1);
// The number of quadratic terms.
inline Py_ssize_t quadexpr_size(const QuadExprObject* q) noexcept {
  const Py_ssize_t c = qcoeffs_size(q->coeffs_), v1 = terms_size(q->vars1_), v2 = terms_size(q->vars2_);
  return c < v1 ? (c < v2 ? c : v2) : (v1 < v2 ? v1 : v2);
}

}  // namespace velmorpy
