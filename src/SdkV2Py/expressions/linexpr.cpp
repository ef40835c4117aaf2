// LinExpr: its slots, methods, type object and internal operations.
#include "expressions/linexpr.hpp"

#include <algorithm>
#include <cmath>

#include "algebra/object_arrays.hpp"
#include "algebra/operand.hpp"
#include "attributes/handle.hpp"
#include "attributes/var.hpp"
#include "expressions/expr_docs.hpp"
#include "expressions/expr_text.hpp"
#include "expressions/terms.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/function.hpp"
#include "runtime/members.hpp"
#include "runtime/numbers.hpp"
#include "runtime/strings.hpp"
#include "runtime/types.hpp"

namespace velmorpy {

namespace {

PyObject* obj(LinExprObject* e) { return reinterpret_cast<PyObject*>(e); }

// Methods a subclass may override are called by name; the class itself is
// served in C.
bool exact(PyObject* self) { return Py_IS_TYPE(self, &LinExprType); }

// The two lists of `e` as one request: they change together or not at all.
struct LinTerms : TermsCopy<NumList, TermList> {
  explicit LinTerms(const LinExprObject* e) noexcept : TermsCopy(e->coeffs_, e->vars_) {}
  NumList& coeffs() noexcept { return get<0>(); }
  const NumList& coeffs() const noexcept { return get<0>(); }
  const TermList& vars() const noexcept { return get<1>(); }
};

// float(x), the interpreter's conversion (numeric strings included).
double as_float(PyObject* x) {
  if (PyFloat_CheckExact(x)) return PyFloat_AS_DOUBLE(x);
  Ref f = take(PyNumber_Float(x));
  return PyFloat_AS_DOUBLE(f.get());
}

}  // namespace

void linexpr_add_terms(PyObject* owner, LinearPart part, PyObject* coeffs, PyObject* vars) {
  if (is_listlike(coeffs) || is_list(coeffs)) {
    Ref pins[] = {Ref::borrow(coeffs), Ref::borrow(vars)};
    const Py_ssize_t n = PyObject_Length(coeffs);
    if (n < 0) throw_error_set();
    for (Py_ssize_t i = 0; i < n; ++i) {
      Ref c = take(PySequence_GetItem(coeffs, i));
      if (equals_zero(c.get())) continue;
      Ref v = take(PySequence_GetItem(vars, i));
      if (!is_var(v.get())) raise_velmor_text("Expect a list of var");
      const double value = as_float(c.get());
      linexpr_addterm(part(owner), value, v.get());
    }
    return;
  }
  if (!is_var(vars)) raise_velmor_text("Expect a var");
  if (equals_zero(coeffs)) return;
  const double value = as_float(coeffs);
  linexpr_addterm(part(owner), value, vars);
}

void linexpr_add_constant(const Ref& lin, PyObject* c) {
  LinExprObject* self = linear_part(lin.get());
  if (PyFloat_CheckExact(c) || PyLong_CheckExact(c)) {
    self->constant_ += number_value(c);
    return;
  }
  check_object_nesting(c);  // an array is added cell by cell by NumPy
  Ref base = take(PyFloat_FromDouble(self->constant_));
  Ref sum = take(PyNumber_Add(base.get(), c));
  self->constant_ = as_double(sum.get());
}

void linexpr_clear_terms(LinExprObject* self) {
  self->constant_ = 0.0;
  clear_terms(self->coeffs_, self->vars_);
}

void linexpr_remove_item(LinExprObject* self, PyObject* item) {
  std::vector<Py_ssize_t> positions;
  if (PyLong_Check(item)) {
    positions = position_if_valid(item, nums_size(self->coeffs_));
  } else if (is_var(item)) {
    positions = positions_of(self->vars_, item);
  } else {
    raise(PyExc_TypeError, "Argument `item` should be an integer or Var");
  }
  if (positions.empty()) return;
  remove_terms(positions, self->coeffs_, self->vars_);
  linexpr_retrack(self);
}

Ref linexpr_copy(LinExprObject* self) {
  Ref copy = linexpr_new();
  LinExprObject* c = as_linexpr(copy.get());
  c->coeffs_ = nums_copy(self->coeffs_);
  c->vars_ = terms_copy(self->vars_);
  c->constant_ = self->constant_;
  linexpr_retrack(c);
  return copy;
}

Ref linear_part_product(PyObject* lin, PyObject* other, bool& unchanged) {
  Ref pin = Ref::borrow(lin);
  LinExprObject* l = linear_part(lin);
  TermsCopy read(l->coeffs_, l->vars_);
  const double constant = l->constant_;
  Ref copy = linexpr_copy(l);
  Ref product = take(PyNumber_InPlaceMultiply(copy.get(), other));
  unchanged = read.still_shown_by(l->coeffs_, l->vars_) &&
              (l->constant_ == constant || (std::isnan(constant) && std::isnan(l->constant_)));
  return product;
}

namespace {

// addTerms in C, for the class itself (call_add_terms calls a subclass's by name).
void add_terms(PyObject* self, PyObject* coeffs, PyObject* vars) {
  linexpr_add_terms(self, linexpr_checked, coeffs, vars);
}

// An item of the constructor's list of pairs: a tuple or list of two items or
// more (a subclass's __len__ may raise: that error stands).
bool is_pair(PyObject* item) {
  if (!(PyTuple_Check(item) || PyList_Check(item))) return false;
  const Py_ssize_t size = PySequence_Size(item);
  if (size < 0) throw_error_set();
  return size >= 2;
}

void init_linexpr(PyObject* self, PyObject* arg1, PyObject* arg2) {
  LinExprObject* e = as_linexpr(self);
  e->constant_ = 0.0;  // before the release: a finaliser it runs sees the fresh start whole
  e->ready_ = true;
  release_terms(e->coeffs_, e->vars_);
  if (arg2 != Py_None) return call_add_terms(self, &LinExprType, add_terms, arg1, arg2);
  if (is_var(arg1)) {
    Ref one = take(PyLong_FromLong(1));
    return call_add_terms(self, &LinExprType, add_terms, one.get(), arg1);
  }
  if (is_linexpr(arg1)) {
    LinExprObject* other = linexpr_checked(arg1);
    nums_assign_copy(e->coeffs_, other->coeffs_);
    terms_assign_copy(e->vars_, other->vars_);
    linexpr_retrack(e);
    if (exact(self) && Py_IS_TYPE(arg1, &LinExprType)) {
      e->constant_ += other->constant_;
      return;
    }
    Ref c = take(PyObject_CallMethodNoArgs(arg1, VLM_STR("getConstant")));
    take(PyObject_CallMethodOneArg(self, VLM_STR("addConstant"), c.get()));
    return;
  }
  if (is_listlike(arg1)) return add_term_pairs(self, &LinExprType, add_terms, arg1, is_pair);
  e->constant_ = number_value(arg1);
}

// --- slots ---------------------------------------------------------------------

PyObject* linexpr_new_slot(PyTypeObject* type, PyObject*, PyObject*) noexcept {
  PyObject* self = type->tp_alloc(type, 0);
  if (!self) return nullptr;
  LinExprObject* e = as_linexpr(self);
  e->coeffs_ = NumList{};
  e->vars_ = TermList{};
  e->constant_ = 0.0;
  e->ready_ = false;
  return self;
}


int linexpr_init(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
  return guarded_int([&] {
    Args a;
    if (unpack_init(&LinExprType, args, kwargs, a) < 0) throw_error_set();
    Ref arg1 = Ref::borrow(a[0]), arg2 = Ref::borrow(a[1]);
    init_linexpr(self, arg1.get(), arg2.get());
    return 0;
  });
}

int linexpr_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
  LinExprObject* e = as_linexpr(self);
  return traverse_terms(visit, arg, e->coeffs_, e->vars_);
}

int linexpr_clear(PyObject* self) noexcept {
  LinExprObject* e = as_linexpr(self);
  release_terms(e->coeffs_, e->vars_);
  return 0;
}

void linexpr_dealloc(PyObject* self) noexcept {
  PyObject_GC_UnTrack(self);
  (void)linexpr_clear(self);
  Py_TYPE(self)->tp_free(self);
}

// The text form: each term with its variable's name, then the constant.
PyObject* linexpr_str(PyObject* self) noexcept {
  return expression_str(self, "LinExpr", [&](std::string& body) {
    LinExprObject* e = linexpr_checked(self);
    const LinTerms terms(e);
    std::vector<Ref> names = handle_attr_objects(terms.vars(), "VarName", AttrKind::Var);
    const Py_ssize_t n = std::min(terms.size(), static_cast<Py_ssize_t>(names.size()));
    for (Py_ssize_t i = 0; i < n; ++i) {
      Ref c = coefficient(nums_at(terms.coeffs(), i));
      append_term_text(body, c.get(), names[i].get());
    }
    Ref constant = take(PyFloat_FromDouble(e->constant_));
    append_term_text(body, constant.get(), nullptr);
  });
}

PyObject* linexpr_repr(PyObject* self) noexcept { return repr_through_str(self, &LinExprType, linexpr_str); }

PyObject* linexpr_iadd(PyObject* self, PyObject* other) noexcept;
PyObject* linexpr_isub(PyObject* self, PyObject* other) noexcept;
PyObject* linexpr_imul(PyObject* self, PyObject* other) noexcept;

// e += other: a number, a Var or a LinExpr.
void iadd(PyObject* self, PyObject* other, double sign) {
  LinExprObject* e = linexpr_checked(self);
  Ref pin = Ref::borrow(other);
  if (Py_IS_TYPE(other, &VarType)) return linexpr_addterm(e, sign, other);
  if (Py_IS_TYPE(other, &LinExprType)) return linexpr_addexpr(e, linexpr_checked(other), sign);
  if (is_number(other)) {
    e->constant_ += sign * number_value(other);
    return;
  }
  if (is_var(other)) return linexpr_addterm(e, sign, other);
  if (is_linexpr(other)) return linexpr_addexpr(e, linexpr_checked(other), sign);
  raise_inplace_unsupported("+=", self, other);
}

PyObject* linexpr_iadd(PyObject* self, PyObject* other) noexcept {
  return changed_in_place(self, [&] { iadd(self, other, 1.0); });
}

// e -= other is e += -other: a Var, a LinExpr or a number is subtracted in
// place; anything else is negated by the interpreter first.
PyObject* linexpr_isub(PyObject* self, PyObject* other) noexcept {
  return guarded_holding(self, other, [&] {
    if (Py_IS_TYPE(other, &VarType) || Py_IS_TYPE(other, &LinExprType) || PyFloat_CheckExact(other) ||
        PyLong_CheckExact(other)) {
      iadd(self, other, -1.0);
      return Py_NewRef(self);
    }
    Ref negated = negative(other);
    return PyNumber_InPlaceAdd(self, negated.get());
  });
}

PyObject* linexpr_imul(PyObject* self, PyObject* other) noexcept {
  return changed_in_place(self, [&] {
    LinExprObject* e = linexpr_checked(self);
    if (!is_number(other)) raise_inplace_unsupported("*=", self, other);
    const double m = number_value(other);
    // The constant's product (the number's own code, which may raise) first,
    // then the coefficients, which cannot fail but for memory.
    double constant = e->constant_ * m;
    if (!PyFloat_CheckExact(other) && !PyLong_CheckExact(other)) {
      Ref base = take(PyFloat_FromDouble(e->constant_));
      Ref product = take(PyNumber_Multiply(base.get(), other));
      constant = as_double(product.get());
    }
    nums_imul(e->coeffs_, m);
    e->constant_ = constant;
  });
}

// --- methods -------------------------------------------------------------------

PyObject* linexpr_addTerms(PyObject* self, const Args& a) {
  linexpr_checked(self);
  linexpr_add_terms(self, linexpr_checked, a[0], a[1]);
  Py_RETURN_NONE;
}

PyObject* linexpr_add(PyObject* self, const Args& a) {
  LinExprObject* e = linexpr_checked(self);
  check_arg_type(a[0], &LinExprType, "expr", /*allow_none=*/false);
  Ref expr = Ref::borrow(a[0]);
  const double mult = number_value(a[1]);
  linexpr_addexpr(e, linexpr_checked(expr.get()), mult);
  Py_RETURN_NONE;
}

// The index is converted before the list is read: the conversion may run code.
PyObject* linexpr_getCoeff(PyObject* self, const Args& a) {
  Ref pin = Ref::borrow(self);
  const int32_t i = integer_only(a[0]);
  const NumList& coeffs = linexpr_checked(self)->coeffs_;
  if (i < 0 || i >= nums_size(coeffs)) raise(PyExc_IndexError, "list index out of range");
  return coefficient(nums_at(coeffs, i)).release();
}

PyObject* linexpr_getVar(PyObject* self, const Args& a) {
  Ref pin = Ref::borrow(self);
  return term_item(linexpr_checked(self)->vars_, a[0]);
}

PyObject* linexpr_getValue(PyObject* self, const Args&) {
  return PyFloat_FromDouble(linexpr_value(linexpr_checked(self)));
}

PyObject* linexpr_addConstant(PyObject* self, const Args& a) {
  Ref pin = Ref::borrow(self);
  linexpr_checked(self);
  linexpr_add_constant(pin, a[0]);
  Py_RETURN_NONE;
}

PyObject* linexpr_getConstant(PyObject* self, const Args&) {
  return PyFloat_FromDouble(linexpr_checked(self)->constant_);
}

PyObject* linexpr_size(PyObject* self, const Args&) {
  return PyLong_FromSsize_t(nums_size(linexpr_checked(self)->coeffs_));
}

PyObject* linexpr_clear_method(PyObject* self, const Args&) {
  Ref pin = Ref::borrow(self);
  linexpr_clear_terms(linexpr_checked(self));
  Py_RETURN_NONE;
}

PyObject* linexpr_remove(PyObject* self, const Args& a) {
  linexpr_remove_item(linexpr_checked(self), a[0]);
  Py_RETURN_NONE;
}

// --- tables --------------------------------------------------------------------

const char addTerms_doc[] = METHOD_DOC("addTerms(coeffs, vars)",
                                       "Add one term, or a list of terms, to the expression. Terms with a zero\n"
                                       "            coefficient are not added.",
                                       "coeffs: a coefficient, or a list, tuple or numpy array of coefficients\n"
                                       "            vars: a Var, or a list of Var parallel to coeffs",
                                       "e.addTerms(2.0, x)\n"
                                       "            e.addTerms([1.0, 2.0], [x, y])");

const char add_doc[] = ADD_EXPR_DOC("Add a linear expression, multiplied by a number, to the expression.", "a LinExpr",
                                    "e.add(x + 2 * y, -1.0)");

const char getCoeff_doc[] =
    TERM_PART_DOC("getCoeff", "Return the coefficient of a term of the expression.", "c = e.getCoeff(0)");

const char getVar_doc[] =
    TERM_PART_DOC("getVar", "Return the variable of a term of the expression.", "v = e.getVar(0)");

const char size_doc[] = SIZE_DOC("Return the number of terms of the expression.", "e");

const char remove_doc[] = REMOVE_TERMS_DOC("Remove the term at a position, or every term of a variable.",
                                           "the position of a term, or a Var", "e", "x");

const FunctionDef linexpr_members[] = {
    {"addTerms", "self, coeffs, vars", linexpr_addTerms, Kind::Method, addTerms_doc, __LINE__},
    {"add", "self, expr, mult=1.0", linexpr_add, Kind::Method, add_doc, __LINE__},
    {"getCoeff", "self, index", linexpr_getCoeff, Kind::Method, getCoeff_doc, __LINE__},
    {"getVar", "self, index", linexpr_getVar, Kind::Method, getVar_doc, __LINE__},
    {"getValue", "self", linexpr_getValue, Kind::Method, expr_getValue_doc, __LINE__},
    {"addConstant", "self, c", linexpr_addConstant, Kind::Method, expr_addConstant_doc, __LINE__},
    {"getConstant", "self", linexpr_getConstant, Kind::Method, expr_getConstant_doc, __LINE__},
    {"size", "self", linexpr_size, Kind::Method, size_doc, __LINE__},
    {"clear", "self", linexpr_clear_method, Kind::Method, expr_clear_doc, __LINE__},
    {"remove", "self, item", linexpr_remove, Kind::Method, remove_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

PyNumberMethods linexpr_as_number = {};

}  // namespace

const char linexpr_init_doc[] =
    METHOD_DOC("__init__(arg1=0, arg2=None)",
               "Construct a linear expression: a constant, one term, a copy of another\n"
               "            expression, or terms from a list of (coefficient, variable) pairs.",
               "arg1: a number, a Var, a LinExpr, a list of (coefficient, Var) pairs, or\n"
               "                  (with arg2) a coefficient or a list of coefficients\n"
               "            arg2: a Var, or a list of Var parallel to arg1",
               "e = LinExpr([1, 2], [x, y])\n"
               "            e = LinExpr([(1.0, x), (2.0, y)])\n"
               "            e = LinExpr(x)");

// --- internal operations -----------------------------------------------------------

Ref linexpr_new() {
  LinExprObject* e = PyObject_GC_New(LinExprObject, &LinExprType);
  if (!e) throw_error_set();
  e->coeffs_ = NumList{};
  e->vars_ = TermList{};
  e->constant_ = 0.0;
  e->ready_ = true;
  return Ref::steal(obj(e));  // untracked while it cannot be part of a cycle
}

LinExprObject* linear_part(PyObject* lin) {
  if (!lin || !is_linexpr(lin)) {
    if (!lin || lin == Py_None) raise_unset_field("velmorpy.LinExpr");
    raise_cannot_convert(lin, "velmorpy.LinExpr");
  }
  return linexpr_checked(lin);
}

Ref linexpr_from(PyObject* arg) {
  if (Py_IS_TYPE(arg, &LinExprType)) return linexpr_copy(linexpr_checked(arg));
  return take(PyObject_CallOneArg(reinterpret_cast<PyObject*>(&LinExprType), arg));
}

LinExprObject* linexpr_checked(PyObject* expr) {
  LinExprObject* e = as_linexpr(expr);
  if (!e->ready_) raise_unset_field("velmorpy.List");
  return e;
}

namespace {

bool cycle_free(const LinExprObject* e) noexcept {
  if (!Py_IS_TYPE(obj(const_cast<LinExprObject*>(e)), &LinExprType) || e->vars_.buf) return false;
  for (Py_ssize_t i = 0; i < e->vars_.length; ++i)
    if (collector_kind(e->vars_.inl[i])) return false;
  return true;
}

}  // namespace

void linexpr_retrack(LinExprObject* e) noexcept {
  if (!PyObject_GC_IsTracked(obj(e)) && !cycle_free(e)) PyObject_GC_Track(obj(e));
}

void linexpr_addterm(LinExprObject* self, double coeff, PyObject* var) {
  if (coeff == 0.0) return;
  linexpr_append(self, coeff, var);
}

void linexpr_reserve(LinExprObject* self, Py_ssize_t n) {
  if (!nums_has_room(self->coeffs_, n)) nums_reserve(self->coeffs_, n);
  if (!terms_has_room(self->vars_, n)) terms_reserve(self->vars_, n);
}

void linexpr_append(LinExprObject* self, double coeff, PyObject* var) {
  linexpr_reserve(self, 1);
  linexpr_append_reserved(self, coeff, var);
  linexpr_retrack(self);
}

void linexpr_extend(LinExprObject* self, const NumList& coeffs, const TermList& vars, Py_ssize_t n) {
  n = std::min({n, nums_size(coeffs), terms_size(vars)});
  if (n <= 0) return;
  // Sharing copies for empty lists, room in the others first: then nothing fails.
  if (nums_size(self->coeffs_) > 0) nums_reserve(self->coeffs_, n);
  if (terms_size(self->vars_) > 0) terms_reserve(self->vars_, n);
  nums_extend(self->coeffs_, coeffs, n);
  terms_extend(self->vars_, vars, n);
  linexpr_retrack(self);
}

void linexpr_addexpr(LinExprObject* self, LinExprObject* expr, double mult) {
  if (mult == 0.0) return;
  LinTerms terms(expr);
  double k = expr->constant_;
  const Py_ssize_t n = terms.size();
  if (mult != 1.0) {
    nums_imul(terms.coeffs(), mult);
    k *= mult;
  }
  linexpr_extend(self, terms.coeffs(), terms.vars(), n);
  self->constant_ = k + self->constant_;
}

double linexpr_value(LinExprObject* self) {
  const LinTerms terms(self);
  const double constant = self->constant_;
  std::vector<double> x = handle_attr_doubles(terms.vars(), "X", AttrKind::Var);
  double value = constant;
  const Py_ssize_t n = std::min(terms.size(), static_cast<Py_ssize_t>(x.size()));
  for (Py_ssize_t i = 0; i < n; ++i) value += nums_at(terms.coeffs(), i) * x[i];
  return value;
}

PyTypeObject LinExprType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_linexpr() {
  linexpr_as_number.nb_inplace_add = slot(linexpr_iadd);
  linexpr_as_number.nb_inplace_subtract = slot(linexpr_isub);
  linexpr_as_number.nb_inplace_multiply = slot(linexpr_imul);

  LinExprType.tp_name = "velmorpy.LinExpr";
  LinExprType.tp_basicsize = sizeof(LinExprObject);
  LinExprType.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC;
  LinExprType.tp_base = &OperandType;
  LinExprType.tp_new = slot(linexpr_new_slot);
  LinExprType.tp_init = slot(linexpr_init);
  LinExprType.tp_dealloc = slot(linexpr_dealloc);
  LinExprType.tp_traverse = slot(linexpr_traverse);
  LinExprType.tp_clear = slot(linexpr_clear);
  LinExprType.tp_str = slot(linexpr_str);
  LinExprType.tp_repr = slot(linexpr_repr);
  LinExprType.tp_as_number = &linexpr_as_number;
}

void bind_linexpr_namespace() { bind_public_members(&LinExprType, linexpr_members, __FILE__); }

}  // namespace velmorpy
