// TempConstr: a constraint in the making, as comparisons and `>>` produce it
// and the model consumes it.
//
// Forms: range (lhs_ <= expr_ <= rhs_, both numbers), lower (expr_ >= 0:
// lhs_ the int 0, rhs_ None), upper (expr_ <= 0: lhs_ None, rhs_ the int 0),
// and the indicator pair (expr_ None, lhs_ the condition, rhs_ the implied
// constraint, both TempConstr).
#pragma once
#include <Python.h>

#include "runtime/ref.hpp"

namespace velmorpy {

struct TempConstrObject {
  PyObject_HEAD
  PyObject* lhs_;   // each field: any object, None when unset
  PyObject* rhs_;
  PyObject* expr_;
  // For `a == b` between two Vars: the two handles, so that the truth of the
  // constraint is a.sameAs(b) (null otherwise: a truth test raises).
  PyObject* eq_left_;
  PyObject* eq_right_;
};

extern PyTypeObject TempConstrType;
void prepare_tempconstr();
void bind_tempconstr_namespace();

inline bool is_tempconstr(PyObject* op) { return PyObject_TypeCheck(op, &TempConstrType); }
inline TempConstrObject* as_tempconstr(PyObject* op) { return reinterpret_cast<TempConstrObject*>(op); }

// --- internal operations ---------------------------------------------------------------

// TempConstr.new(expr, lhs, rhs): the indicator pair, the range, or the
// lower or upper form with expr - side made by the interpreter's
// subtraction. Throws.
Ref tempconstr_new(PyObject* expr, PyObject* lhs, PyObject* rhs);
// The range form `expr` with both sides the int 0 (an equality), remembering
// the two handles when it compares two Vars. Throws.
Ref tempconstr_equality(PyObject* expr, PyObject* eq_left = nullptr, PyObject* eq_right = nullptr);
// _getExpr, _getLhs, _getRhs: the fields (new references).
Ref tempconstr_getExpr(PyObject* tc);
Ref tempconstr_getLhs(PyObject* tc);
Ref tempconstr_getRhs(PyObject* tc);
// parseIndicator: (var, value, expr, lhs, rhs) of an indicator pair whose
// condition is one binary Var with coefficient 1 compared with 0 or 1, and
// whose implied constraint is linear. ValueError / TypeError otherwise. Throws.
Ref tempconstr_parseIndicator(PyObject* tc);

}  // namespace velmorpy
