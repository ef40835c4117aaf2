// TempConstr: its slots, methods, type object and internal makers.
#include "expressions/tempconstr.hpp"

#include "algebra/object_arrays.hpp"
#include "attributes/handle.hpp"
#include "expressions/linexpr.hpp"
#include "expressions/terms.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/function.hpp"
#include "runtime/members.hpp"
#include "runtime/numbers.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

namespace {

const char kNotIndicator[] =
    "indicator constraints can only be triggered by a single binary variable at a given binary value";
const char kNotLinear[] = "indicator constraints can only be in linear form";
const char kNoTruth[] = "Constraint has no truth value (for a range use addRange or expr == [lb, ub])";

PyObject* obj(TempConstrObject* t) { return reinterpret_cast<PyObject*>(t); }

Ref alloc_tempconstr() {
  TempConstrObject* t = PyObject_GC_New(TempConstrObject, &TempConstrType);
  if (!t) throw_error_set();
  t->lhs_ = Py_NewRef(Py_None);
  t->rhs_ = Py_NewRef(Py_None);
  t->expr_ = Py_NewRef(Py_None);
  t->eq_left_ = nullptr;
  t->eq_right_ = nullptr;
  PyObject_GC_Track(obj(t));
  return Ref::steal(obj(t));
}

// Sets the three fields; the TempConstr is new, so nothing else sees them yet.
Ref filled(PyObject* expr, PyObject* lhs, PyObject* rhs) {
  Ref t = alloc_tempconstr();
  TempConstrObject* tc = as_tempconstr(t.get());
  Py_SETREF(tc->expr_, Py_NewRef(expr));
  Py_SETREF(tc->lhs_, Py_NewRef(lhs));
  Py_SETREF(tc->rhs_, Py_NewRef(rhs));
  return t;
}

Ref int_zero() { return take(PyLong_FromLong(0)); }

bool equals_int(PyObject* x, long v) {
  check_object_nesting(x);  // an array is compared cell by cell by NumPy
  Ref other = take(PyLong_FromLong(v));
  return check(PyObject_RichCompareBool(x, other.get(), Py_EQ)) != 0;
}

// The text of an object as str.format fills "{}".
Ref formatted(PyObject* o) { return take(PyObject_Format(o, nullptr)); }

// The text of `o` (its __str__ called by name) with every line indented by two blanks.
Ref indented(PyObject* o) {
  Ref s = take(PyObject_CallMethodNoArgs(o, VLM_STR("__str__")));
  Ref sep = take(PyUnicode_FromString("\n"));
  Ref lines = take(PyUnicode_Split(s.get(), sep.get(), -1));
  Ref prefixed = take(PyList_New(0));
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(lines.get()); ++i) {
    Ref line = take(PyUnicode_FromFormat("  %U", PyList_GET_ITEM(lines.get(), i)));
    check(PyList_Append(prefixed.get(), line.get()));
  }
  return take(PyUnicode_Join(sep.get(), prefixed.get()));
}

// --- slots ---------------------------------------------------------------------

// No constructor arguments of its own, as object() has none: arguments are
// refused unless a subclass's __init__ takes them.
PyObject* tempconstr_new_slot(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  const bool given = (args && PyTuple_GET_SIZE(args) > 0) || (kwargs && PyDict_GET_SIZE(kwargs) > 0);
  if (given && type->tp_init == PyBaseObject_Type.tp_init) {
    Ref name = Ref::steal(PyType_GetName(type));
    if (name) PyErr_Format(PyExc_TypeError, "%U() takes no arguments", name.get());
    return nullptr;
  }
  PyObject* self = type->tp_alloc(type, 0);
  if (!self) return nullptr;
  TempConstrObject* t = as_tempconstr(self);
  t->lhs_ = Py_NewRef(Py_None);
  t->rhs_ = Py_NewRef(Py_None);
  t->expr_ = Py_NewRef(Py_None);
  t->eq_left_ = nullptr;
  t->eq_right_ = nullptr;
  return self;
}

int tempconstr_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
  TempConstrObject* t = as_tempconstr(self);
  Py_VISIT(t->lhs_);
  Py_VISIT(t->rhs_);
  Py_VISIT(t->expr_);
  Py_VISIT(t->eq_left_);
  Py_VISIT(t->eq_right_);
  return 0;
}

int tempconstr_clear(PyObject* self) noexcept {
  TempConstrObject* t = as_tempconstr(self);
  Py_CLEAR(t->lhs_);
  Py_CLEAR(t->rhs_);
  Py_CLEAR(t->expr_);
  Py_CLEAR(t->eq_left_);
  Py_CLEAR(t->eq_right_);
  return 0;
}

void tempconstr_dealloc(PyObject* self) noexcept {
  PyObject_GC_UnTrack(self);
  (void)tempconstr_clear(self);
  Py_TYPE(self)->tp_free(self);
}

PyObject* field(PyObject* f) { return Py_NewRef(f ? f : Py_None); }

PyObject* tempconstr_str(PyObject* self) noexcept {
  return guarded([&] {
    Ref pin = Ref::borrow(self);
    TempConstrObject* t = as_tempconstr(self);
    Ref lhs = Ref::steal(field(t->lhs_)), rhs = Ref::steal(field(t->rhs_)), expr = Ref::steal(field(t->expr_));
    if (expr.get() != Py_None) {
      Ref l = formatted(lhs.get()), e = formatted(expr.get()), r = formatted(rhs.get());
      return PyUnicode_FromFormat("TempConstr:\nlhs:\n----\n%U\nexpr:\n-----\n%U\nrhs:\n----\n%U", l.get(), e.get(),
                                  r.get());
    }
    Ref l = indented(lhs.get()), r = indented(rhs.get());
    return PyUnicode_FromFormat("(\n%U\n) >> (\n%U\n)", l.get(), r.get());
  });
}

PyObject* tempconstr_repr(PyObject* self) noexcept { return repr_through_str(self, &TempConstrType, tempconstr_str); }

// a >> r: the indicator pair with `a` as condition and `r` as implied constraint.
PyObject* tempconstr_rshift(PyObject* a, PyObject* r) noexcept {
  if (!is_tempconstr(a)) Py_RETURN_NOTIMPLEMENTED;
  return guarded_holding(a, r, [&] {
    check_arg_type(r, &TempConstrType, "r");
    return tempconstr_new(Py_None, a, r).release();
  });
}

// Only an equality between two Vars has a truth value: whether they are the
// same variable. Any other constraint refuses, so that a chained comparison
// such as 1 <= x + y <= 2 fails instead of dropping a side.
int tempconstr_bool(PyObject* self) noexcept {
  TempConstrObject* t = as_tempconstr(self);
  if (t->eq_left_ && t->eq_right_) return same_item(t->eq_left_, t->eq_right_) ? 1 : 0;
  PyErr_SetString(PyExc_TypeError, kNoTruth);
  return -1;
}

// --- methods -------------------------------------------------------------------

PyObject* tempconstr_new_method(PyObject*, const Args& a) { return tempconstr_new(a[0], a[1], a[2]).release(); }

const FunctionDef tempconstr_members[] = {
    {"new", "expr, lhs, rhs", tempconstr_new_method, Kind::Static, nullptr, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

PyNumberMethods tempconstr_as_number = {};

}  // namespace

// --- internal operations -----------------------------------------------------------

Ref tempconstr_new(PyObject* expr, PyObject* lhs, PyObject* rhs) {
  if (expr == Py_None && is_tempconstr(lhs) && is_tempconstr(rhs)) return filled(Py_None, lhs, rhs);
  if (lhs != Py_None && rhs != Py_None) {
    if (!is_number(lhs) || !is_number(rhs)) raise(PyExc_TypeError, "range constraint requires numeric values");
    return filled(expr, lhs, rhs);
  }
  Ref zero = int_zero();
  if (lhs != Py_None) {
    Ref diff = take(PyNumber_Subtract(expr, lhs));
    return filled(diff.get(), zero.get(), Py_None);
  }
  Ref diff = take(PyNumber_Subtract(expr, rhs));
  return filled(diff.get(), Py_None, zero.get());
}

Ref tempconstr_equality(PyObject* expr, PyObject* eq_left, PyObject* eq_right) {
  Ref zero = int_zero();
  Ref t = filled(expr, zero.get(), zero.get());
  if (eq_left && eq_right) {
    as_tempconstr(t.get())->eq_left_ = Py_NewRef(eq_left);
    as_tempconstr(t.get())->eq_right_ = Py_NewRef(eq_right);
  }
  return t;
}

Ref tempconstr_getExpr(PyObject* tc) { return Ref::steal(field(as_tempconstr(tc)->expr_)); }
Ref tempconstr_getLhs(PyObject* tc) { return Ref::steal(field(as_tempconstr(tc)->lhs_)); }
Ref tempconstr_getRhs(PyObject* tc) { return Ref::steal(field(as_tempconstr(tc)->rhs_)); }

Ref tempconstr_parseIndicator(PyObject* tc) {
  Ref cond = tempconstr_getLhs(tc), body = tempconstr_getRhs(tc);
  if (!is_tempconstr(cond.get())) raise(PyExc_ValueError, kNotIndicator);
  Ref clhs = tempconstr_getLhs(cond.get()), crhs = tempconstr_getRhs(cond.get());
  Ref cexpr = tempconstr_getExpr(cond.get());
  if (!equals_int(clhs.get(), 0) || !equals_int(crhs.get(), 0) || !is_linexpr(cexpr.get()))
    raise(PyExc_ValueError, kNotIndicator);
  LinExprObject* e = linexpr_checked(cexpr.get());
  const double constant = e->constant_;
  if (!(constant == 0.0 || constant == -1.0) || nums_size(e->coeffs_) != 1 || terms_size(e->vars_) != 1)
    raise(PyExc_ValueError, kNotIndicator);
  const double coeff = nums_at(e->coeffs_, 0);
  Ref var = Ref::borrow(terms_at(e->vars_, 0));
  if (coeff != 1.0) raise(PyExc_ValueError, kNotIndicator);
  Ref vtype = take(PyObject_GetAttrString(var.get(), "vtype"));
  const bool binary = (PyBytes_Check(vtype.get()) && PyBytes_GET_SIZE(vtype.get()) == 1 &&
                       PyBytes_AS_STRING(vtype.get())[0] == 'B') ||
                      (PyUnicode_Check(vtype.get()) && PyUnicode_CompareWithASCIIString(vtype.get(), "B") == 0);
  if (!binary) raise(PyExc_ValueError, kNotIndicator);
  Ref bexpr = is_tempconstr(body.get()) ? tempconstr_getExpr(body.get()) : Ref::borrow(Py_None);
  if (!is_linexpr(bexpr.get())) raise(PyExc_TypeError, kNotLinear);
  Ref value = take(PyFloat_FromDouble(-linexpr_checked(cexpr.get())->constant_));
  Ref blhs = tempconstr_getLhs(body.get()), brhs = tempconstr_getRhs(body.get());
  return take(PyTuple_Pack(5, var.get(), value.get(), bexpr.get(), blhs.get(), brhs.get()));
}

PyTypeObject TempConstrType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_tempconstr() {
  tempconstr_as_number.nb_rshift = slot(tempconstr_rshift);
  tempconstr_as_number.nb_bool = slot(tempconstr_bool);

  TempConstrType.tp_name = "velmorpy.TempConstr";
  TempConstrType.tp_basicsize = sizeof(TempConstrObject);
  TempConstrType.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC;
  TempConstrType.tp_new = slot(tempconstr_new_slot);
  TempConstrType.tp_dealloc = slot(tempconstr_dealloc);
  TempConstrType.tp_traverse = slot(tempconstr_traverse);
  TempConstrType.tp_clear = slot(tempconstr_clear);
  TempConstrType.tp_str = slot(tempconstr_str);
  TempConstrType.tp_repr = slot(tempconstr_repr);
  TempConstrType.tp_as_number = &tempconstr_as_number;
}

void bind_tempconstr_namespace() { bind_public_members(&TempConstrType, tempconstr_members, __FILE__); }

}  // namespace velmorpy
