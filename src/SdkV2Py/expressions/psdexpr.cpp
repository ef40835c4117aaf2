// PsdExpr: its slots, operators, methods, type object and the mirror rule of its matrices.
#include "expressions/psdexpr.hpp"

#include "algebra/object_arrays.hpp"
#include "runtime/numpy.hpp"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "algebra/kinds.hpp"
#include "algebra/operand.hpp"
#include "attributes/handle.hpp"
#include "attributes/psdvar.hpp"
#include "attributes/var.hpp"
#include "expressions/expr_docs.hpp"
#include "expressions/expr_text.hpp"
#include "expressions/tempconstr.hpp"
#include "expressions/terms.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/function.hpp"
#include "runtime/members.hpp"
#include "runtime/numbers.hpp"
#include "runtime/state.hpp"
#include "runtime/strings.hpp"
#include "runtime/types.hpp"

namespace velmorpy {

const char kPsdDimMismatch[] = "coefficient has different dim from psd variable";

namespace {

PyObject* obj(PsdExprObject* e) { return reinterpret_cast<PyObject*>(e); }
bool exact(PyObject* self) { return Py_IS_TYPE(self, &PsdExprType); }
PyArrayObject* arr(const Ref& a) { return reinterpret_cast<PyArrayObject*>(a.get()); }

// The two term lists of `e` as one request: they change together or not at all.
struct PsdTerms : TermsCopy<TermList, TermList> {
  explicit PsdTerms(const PsdExprObject* e) noexcept : TermsCopy(e->coeffs_, e->vars_) {}
  TermList& coeffs() noexcept { return get<0>(); }
  const TermList& coeffs() const noexcept { return get<0>(); }
  const TermList& vars() const noexcept { return get<1>(); }
};

int64_t shape_entry(PyObject* shape, Py_ssize_t i) {
  Ref d = take(PySequence_GetItem(shape, i));
  return integer_only<int64_t>(d.get());
}

void add_terms(PyObject* self, PsdExprObject* e, PyObject* coeffs, PyObject* vars) {
  if (is_listlike(vars) || is_list(vars)) {
    const Py_ssize_t n = PyObject_Length(coeffs);
    if (n < 0) throw_error_set();
    for (Py_ssize_t i = 0; i < n; ++i) {
      Ref v = take(PySequence_GetItem(vars, i));
      Ref c = take(PySequence_GetItem(coeffs, i));
      if (is_var(v.get())) {
        if (!is_number(c.get())) raise_velmor_text("Expect a list of float value as coefficients");
        Ref f = take(PyNumber_Float(c.get()));
        linexpr_addterm(psdexpr_lin(psdexpr_checked(self)), PyFloat_AS_DOUBLE(f.get()), v.get());
      } else if (is_handle(v.get()) && handle_class_of(v.get())->type == &PsdVarType) {
        if (!PyArray_Check(c.get()) && !is_sparse_matrix(c.get()))
          raise_velmor_text("Expect a list of numpy ndarray or scipy sparse matrix");
        psdexpr_addterm(psdexpr_checked(self), c.get(), v.get());
      } else {
        raise_velmor_text("Invalid arguments");
      }
    }
    return;
  }
  if (is_var(vars)) {
    if (equals_zero(coeffs)) return;
    const double c = as_double(coeffs);  // a text is refused, as any other non-number
    return linexpr_addterm(psdexpr_lin(e), c, vars);
  }
  if (is_handle(vars) && handle_class_of(vars)->type == &PsdVarType) return psdexpr_addterm(e, coeffs, vars);
  raise_velmor_text("Expect a var");
}

// addTerms in C, for the class itself (call_add_terms calls a subclass's by name).
void add_terms_of_self(PyObject* self, PyObject* coeffs, PyObject* vars) {
  add_terms(self, psdexpr_checked(self), coeffs, vars);
}

// An item of the constructor's list of pairs: a tuple, list or array of two
// items or more (an error of its length counts as a refusal).
bool is_pair(PyObject* item) {
  const bool pair = is_listlike(item) && PyObject_Length(item) >= 2;
  if (!pair) PyErr_Clear();
  return pair;
}

void init_psdexpr(PyObject* self, PyObject* arg1, PyObject* arg2) {
  PsdExprObject* e = as_psdexpr(self);
  {
    // The fresh start whole (no terms, a new linear part) before the old state goes.
    OwnedTerms coeffs, vars;
    std::swap(e->coeffs_, coeffs.t);
    std::swap(e->vars_, vars.t);
    Ref lin = linexpr_new();
    lin = Ref::steal(std::exchange(e->lin_, lin.release()));
  }
  if (arg2 != Py_None) return call_add_terms(self, &PsdExprType, add_terms_of_self, arg1, arg2);
  if (is_var(arg1)) {
    Ref one = take(PyLong_FromLong(1));
    return call_add_terms(self, &PsdExprType, add_terms_of_self, one.get(), arg1);
  }
  if (is_psdexpr(arg1)) {
    Ref other_part = Ref::borrow(psdexpr_checked(arg1)->lin_);
    Ref other_lin = linexpr_from(other_part.get());  // a subclass's constructor may change arg1
    PsdExprObject* other = psdexpr_checked(arg1);
    terms_assign_copy(e->coeffs_, other->coeffs_);
    terms_assign_copy(e->vars_, other->vars_);
    Py_XSETREF(e->lin_, other_lin.release());
    return;
  }
  if (is_linexpr(arg1)) {
    Ref part = linexpr_from(arg1);
    Py_XSETREF(e->lin_, part.release());
    return;
  }
  if (is_listlike(arg1)) return add_term_pairs(self, &PsdExprType, add_terms_of_self, arg1, is_pair);
  Ref f = take(PyNumber_Float(arg1));
  psdexpr_lin(e);
  linexpr_add_constant(Ref::borrow(e->lin_), f.get());
}

// A new PsdExpr(e) for the two-operand operators: the terms shared, the
// linear part copied.
Ref copy_of(PyObject* e) {
  Ref r = psdexpr_new();
  init_psdexpr(r.get(), e, Py_None);
  return r;
}

// --- slots ---------------------------------------------------------------------

PyObject* psdexpr_new_slot(PyTypeObject* type, PyObject*, PyObject*) noexcept {
  PyObject* self = type->tp_alloc(type, 0);
  if (!self) return nullptr;
  PsdExprObject* e = as_psdexpr(self);
  e->coeffs_ = TermList{};
  e->vars_ = TermList{};
  e->lin_ = Py_NewRef(Py_None);
  return self;
}


int psdexpr_init(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
  return guarded_int([&] {
    Args a;
    if (unpack_init(&PsdExprType, args, kwargs, a) < 0) throw_error_set();
    Ref arg1 = Ref::borrow(a[0]), arg2 = Ref::borrow(a[1]);
    init_psdexpr(self, arg1.get(), arg2.get());
    return 0;
  });
}

int psdexpr_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
  PsdExprObject* e = as_psdexpr(self);
  if (int r = traverse_terms(visit, arg, e->coeffs_, e->vars_)) return r;
  Py_VISIT(e->lin_);
  return 0;
}

int psdexpr_clear(PyObject* self) noexcept {
  PsdExprObject* e = as_psdexpr(self);
  release_terms(e->coeffs_, e->vars_);
  Py_CLEAR(e->lin_);
  return 0;
}

void psdexpr_dealloc(PyObject* self) noexcept {
  PyObject_GC_UnTrack(self);
  (void)psdexpr_clear(self);
  Py_TYPE(self)->tp_free(self);
}

PyObject* psdexpr_str(PyObject* self) noexcept {
  return expression_str(self, "PsdExpr", [&](std::string& body) {
    const Py_ssize_t count = terms_to_visit(self, &PsdExprType);
    PsdExprObject* e = psdexpr_checked(self);
    PsdTerms terms(e);
    Ref lin = Ref::borrow(e->lin_);
    if (count > terms.size()) raise(PyExc_IndexError, "list index out of range");
    const OwnedTerms vars(terms_copy(terms.vars(), count));  // only the names of the terms shown are read
    std::vector<Ref> names = handle_attr_objects(vars.t, "PsdVarName", AttrKind::PsdVar);
    const Py_ssize_t n = static_cast<Py_ssize_t>(names.size());
    for (Py_ssize_t i = 0; i < n; ++i) append_term_text(body, terms_at(terms.coeffs(), i), names[i].get());
    append_linear_part(body, lin.get());
  });
}

PyObject* psdexpr_repr(PyObject* self) noexcept { return repr_through_str(self, &PsdExprType, psdexpr_str); }

void iadd(PyObject* self, PyObject* o) {
  PsdExprObject* e = psdexpr_checked(self);
  Ref pin = Ref::borrow(o);
  if (is_number(o)) {
    psdexpr_lin(e)->constant_ += number_value(o);
  } else if (is_var(o)) {
    linexpr_addterm(psdexpr_lin(e), 1.0, o);
  } else if (is_linexpr(o)) {
    linexpr_addexpr(psdexpr_lin(e), linexpr_checked(o), 1.0);
  } else if (is_psdexpr(o)) {
    psdexpr_addexpr(e, 1.0, psdexpr_checked(o));
  } else {
    raise_inplace_unsupported("+=", self, o);
  }
}

// e *= o, whole or not at all: the products of the matrices (NumPy's, which
// may run the cells' code) and of the linear part are made first, then put in
// place; when that code changed e's terms meanwhile, its change stands.
void imul(PyObject* self, PyObject* o) {
  PsdExprObject* e = psdexpr_checked(self);
  if (!is_number(o)) raise_inplace_unsupported("*=", self, o);
  Ref pin = Ref::borrow(o);
  const double m = number_value(o);
  PsdTerms read(e);
  OwnedTerms products(terms_copy(read.coeffs()));
  terms_imul(products.t, m);
  if (!read.still_shown_by(e->coeffs_, e->vars_)) return;  // before the linear part changes
  Ref lin = Ref::borrow(e->lin_);
  bool lin_unchanged = false;
  Ref product = linear_part_product(lin.get(), o, lin_unchanged);
  if (!is_linexpr(product.get())) raise_cannot_convert(product.get(), "velmorpy.LinExpr");
  if (!lin_unchanged || e->lin_ != lin.get() || !read.still_shown_by(e->coeffs_, e->vars_)) return;
  std::swap(e->coeffs_, products.t);
  Py_XSETREF(e->lin_, product.release());
}

PyObject* psdexpr_iadd(PyObject* self, PyObject* o) noexcept {
  return changed_in_place(self, [&] { iadd(self, o); });
}

// e -= o: the interpreter's negation of o, then e.__iadd__ (looked up).
PyObject* psdexpr_isub(PyObject* self, PyObject* o) noexcept {
  return subtract_by_adding_negated(self, o, &PsdExprType, iadd);
}

PyObject* psdexpr_imul(PyObject* self, PyObject* o) noexcept {
  return changed_in_place(self, [&] { imul(self, o); });
}

// The two-operand entries are shared by both positions: the forward method
// of a left PsdExpr, else the reflected one of a right PsdExpr.
bool counts(PyObject* x, PyObject* other, binaryfunc PyNumberMethods::*slot, binaryfunc entry) {
  return counts_as(x, other, slot, entry, &PsdExprType);
}

Ref forward_add(PyObject* e, PyObject* o) {
  psdexpr_checked(e);
  Ref r = copy_of(e);
  return take(PyNumber_InPlaceAdd(r.get(), o));
}

Ref forward_sub(PyObject* e, PyObject* o) {
  psdexpr_checked(e);
  Ref r = copy_of(e);
  return take(PyNumber_InPlaceSubtract(r.get(), o));
}

Ref forward_mul(PyObject* e, PyObject* o) {
  psdexpr_checked(e);
  Ref r = copy_of(e);
  return take(PyNumber_InPlaceMultiply(r.get(), o));
}

// o - e: e * -1 + o, both by the interpreter's operators.
Ref reflected_sub(PyObject* e, PyObject* o) {
  Ref minus_one = take(PyLong_FromLong(-1));
  Ref negated = take(PyNumber_Multiply(e, minus_one.get()));
  return take(PyNumber_Add(negated.get(), o));
}

PyObject* psdexpr_nb_add(PyObject* a, PyObject* b) noexcept;
PyObject* psdexpr_nb_multiply(PyObject* a, PyObject* b) noexcept;

PyObject* psdexpr_nb_add(PyObject* a, PyObject* b) noexcept {
  return guarded_holding(a, b, [&] {
    if (counts(a, b, &PyNumberMethods::nb_add, psdexpr_nb_add)) return forward_add(a, b).release();
    if (counts(b, a, &PyNumberMethods::nb_add, psdexpr_nb_add))
      return PyObject_CallMethodOneArg(b, VLM_STR("__add__"), a);
    return Py_NewRef(Py_NotImplemented);
  });
}

PyObject* psdexpr_nb_subtract(PyObject* a, PyObject* b) noexcept {
  return guarded_holding(a, b, [&] {
    if (counts(a, b, &PyNumberMethods::nb_subtract, psdexpr_nb_subtract)) return forward_sub(a, b).release();
    if (counts(b, a, &PyNumberMethods::nb_subtract, psdexpr_nb_subtract)) return reflected_sub(b, a).release();
    return Py_NewRef(Py_NotImplemented);
  });
}

PyObject* psdexpr_nb_multiply(PyObject* a, PyObject* b) noexcept {
  return guarded_holding(a, b, [&] {
    if (counts(a, b, &PyNumberMethods::nb_multiply, psdexpr_nb_multiply)) return forward_mul(a, b).release();
    if (counts(b, a, &PyNumberMethods::nb_multiply, psdexpr_nb_multiply))
      return PyObject_CallMethodOneArg(b, VLM_STR("__mul__"), a);
    return Py_NewRef(Py_NotImplemented);
  });
}

PyObject* psdexpr_negative(PyObject* self) noexcept {
  return guarded_holding(self, nullptr, [&] {
    psdexpr_checked(self);
    Ref r = copy_of(self);
    PsdExprObject* e = as_psdexpr(r.get());
    terms_map(e->coeffs_, [](PyObject* c) { return negative(c); });
    Ref lin = Ref::borrow(e->lin_);
    Ref negated = take(PyNumber_Negative(lin.get()));
    if (!is_linexpr(negated.get())) raise_cannot_convert(negated.get(), "velmorpy.LinExpr");
    Py_XSETREF(e->lin_, negated.release());
    return r.release();
  });
}

// e == scalar is the equality e - o == 0; e == [lb, ub] the range.
Ref equality(PyObject* e, PyObject* o) {
  if (numpy_isscalar(o)) {
    Ref diff = take(PyNumber_Subtract(e, o));
    Ref zero = take(PyLong_FromLong(0));
    return tempconstr_new(diff.get(), zero.get(), zero.get());
  }
  const Py_ssize_t n = PyObject_Length(o);
  if (n < 0) throw_error_set();
  if (n != 2) raise(PyExc_ValueError, "`=` expect an array with 2 elements: [ LHS, RHS ]");
  Ref lb = take(PySequence_GetItem(o, 0)), ub = take(PySequence_GetItem(o, 1));
  return tempconstr_new(e, lb.get(), ub.get());
}

PyObject* psdexpr_richcompare(PyObject* self, PyObject* o, int op) noexcept {
  switch (op) {
    case Py_EQ: return guarded_holding(self, o, [&] { return equality(self, o).release(); });
    case Py_GE: return guarded_holding(self, o, [&] { return tempconstr_new(self, o, Py_None).release(); });
    case Py_LE: return guarded_holding(self, o, [&] { return tempconstr_new(self, Py_None, o).release(); });
    case Py_NE:
      return guarded_holding(self, o, [&] {
        Ref eq = equality(self, o);
        return Py_NewRef(check(PyObject_IsTrue(eq.get())) ? Py_False : Py_True);
      });
    default: Py_RETURN_NOTIMPLEMENTED;
  }
}

// The reflected methods, also callable by name.
PyObject* psdexpr_radd(PyObject* self, PyObject* o) noexcept {
  return guarded([&] { return PyObject_CallMethodOneArg(self, VLM_STR("__add__"), o); });
}

PyObject* psdexpr_rsub(PyObject* self, PyObject* o) noexcept {
  return guarded([&] { return reflected_sub(self, o).release(); });
}

PyObject* psdexpr_rmul(PyObject* self, PyObject* o) noexcept {
  return guarded([&] { return PyObject_CallMethodOneArg(self, VLM_STR("__mul__"), o); });
}

PyMethodDef psdexpr_methods[] = {
    {"__radd__", slot(psdexpr_radd), METH_O | METH_COEXIST, nullptr},
    {"__rsub__", slot(psdexpr_rsub), METH_O | METH_COEXIST, nullptr},
    {"__rmul__", slot(psdexpr_rmul), METH_O | METH_COEXIST, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

// --- methods -------------------------------------------------------------------

PyObject* psdexpr_addTerms(PyObject* self, const Args& a) {
  add_terms(self, psdexpr_checked(self), a[0], a[1]);
  Py_RETURN_NONE;
}

PyObject* psdexpr_add(PyObject* self, const Args& a) {
  PsdExprObject* e = psdexpr_checked(self);
  check_arg_type(a[0], &PsdExprType, "expr", /*allow_none=*/false);
  Ref expr = Ref::borrow(a[0]);
  const double mult = as_double(a[1]);
  psdexpr_addexpr(e, mult, psdexpr_checked(expr.get()));
  Py_RETURN_NONE;
}

PyObject* psdexpr_getCoeff(PyObject* self, const Args& a) {
  Ref pin = Ref::borrow(self);
  return term_item(psdexpr_checked(self)->coeffs_, a[0]);
}

PyObject* psdexpr_getVar(PyObject* self, const Args& a) {
  Ref pin = Ref::borrow(self);
  return term_item(psdexpr_checked(self)->vars_, a[0]);
}

PyObject* psdexpr_getLinExpr(PyObject* self, const Args&) { return Py_NewRef(psdexpr_checked(self)->lin_); }

PyObject* psdexpr_getValue(PyObject* self, const Args&) {
  Ref pin = Ref::borrow(self);
  const Py_ssize_t n = terms_to_visit(self, &PsdExprType);
  return PyFloat_FromDouble(psdexpr_value(psdexpr_checked(self), n));
}

PyObject* psdexpr_addConstant(PyObject* self, const Args& a) {
  psdexpr_checked(self);
  linexpr_add_constant(Ref::borrow(as_psdexpr(self)->lin_), a[0]);
  Py_RETURN_NONE;
}

PyObject* psdexpr_getConstant(PyObject* self, const Args&) {
  return PyFloat_FromDouble(psdexpr_lin(psdexpr_checked(self))->constant_);
}

PyObject* psdexpr_size(PyObject* self, const Args&) {
  return PyLong_FromSsize_t(terms_size(psdexpr_checked(self)->coeffs_));
}

PyObject* psdexpr_clear_method(PyObject* self, const Args&) {
  Ref pin = Ref::borrow(self);
  PsdExprObject* e = psdexpr_checked(self);
  Ref lin = Ref::borrow(e->lin_);
  LinExprObject* l = psdexpr_lin(e);
  // The items go only when every list reads as empty: their finalisers see e cleared.
  TermsCopy released_last(l->coeffs_, l->vars_);
  linexpr_clear_terms(l);
  clear_terms(e->coeffs_, e->vars_);
  Py_RETURN_NONE;
}

PyObject* psdexpr_remove(PyObject* self, const Args& a) {
  Ref pin = Ref::borrow(self);
  PsdExprObject* e = psdexpr_checked(self);
  PyObject* item = a[0];
  std::vector<Py_ssize_t> positions;
  if (PyLong_Check(item)) {
    positions = position_if_valid(item, terms_size(e->coeffs_));
  } else if (is_psdvar(item)) {
    positions = positions_of(e->vars_, item);
  } else if (is_var(item)) {
    linexpr_remove_item(psdexpr_lin(e), item);
    Py_RETURN_NONE;
  } else {
    raise(PyExc_TypeError, "Argument `item` should be an integer or Var");
  }
  if (!positions.empty()) remove_terms(positions, e->coeffs_, e->vars_);
  Py_RETURN_NONE;
}

// --- tables --------------------------------------------------------------------

const char addTerms_doc[] = METHOD_DOC("addTerms(coeffs, vars)",
                                       "Add semidefinite terms (a matrix with a PsdVar) or linear terms (a number\n"
                                       "            with a Var) to the expression.",
                                       "coeffs: a coefficient, or a list of coefficients (numpy arrays or scipy\n"
                                       "                    sparse matrices for PsdVar, numbers for Var)\n"
                                       "            vars: a Var or PsdVar, or a list of them parallel to coeffs",
                                       "e.addTerms(numpy.eye(2), X)\n"
                                       "            e.addTerms([numpy.eye(2), 2.0], [X, x])");

const char add_doc[] = ADD_EXPR_DOC("Add a semidefinite expression, multiplied by a number, to the expression.",
                                    "a PsdExpr", "e.add(X * C, 2.0)");

const char getCoeff_doc[] =
    TERM_PART_DOC("getCoeff", "Return the coefficient matrix of a semidefinite term.", "C = e.getCoeff(0)");

const char getVar_doc[] = TERM_PART_DOC("getVar", "Return the PsdVar of a semidefinite term.", "X = e.getVar(0)");

const char size_doc[] = SIZE_DOC("Return the number of semidefinite terms of the expression.", "e");

const char remove_doc[] = REMOVE_TERMS_DOC("Remove the semidefinite term at a position, every term of a PsdVar, or\n"
                                           "            the linear terms of a Var.",
                                           "the position of a semidefinite term, a PsdVar or a Var", "e", "X");

const FunctionDef psdexpr_members[] = {
    {"addTerms", "self, coeffs, vars", psdexpr_addTerms, Kind::Method, addTerms_doc, __LINE__},
    {"add", "self, expr, mult=1.0", psdexpr_add, Kind::Method, add_doc, __LINE__},
    {"getCoeff", "self, index", psdexpr_getCoeff, Kind::Method, getCoeff_doc, __LINE__},
    {"getVar", "self, index", psdexpr_getVar, Kind::Method, getVar_doc, __LINE__},
    {"getLinExpr", "self", psdexpr_getLinExpr, Kind::Method, expr_getLinExpr_doc, __LINE__},
    {"getValue", "self", psdexpr_getValue, Kind::Method, expr_getValue_doc, __LINE__},
    {"addConstant", "self, c", psdexpr_addConstant, Kind::Method, expr_addConstant_doc, __LINE__},
    {"getConstant", "self", psdexpr_getConstant, Kind::Method, expr_getConstant_doc, __LINE__},
    {"size", "self", psdexpr_size, Kind::Method, size_doc, __LINE__},
    {"clear", "self", psdexpr_clear_method, Kind::Method, expr_clear_doc, __LINE__},
    {"remove", "self, item", psdexpr_remove, Kind::Method, remove_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

PyNumberMethods psdexpr_as_number = {};

// --- PsdVar times a matrix ------------------------------------------------------------

Ref psdvar_mul(PyObject* self, PyObject* other) {
  PyObject* var = is_psdvar(self) ? self : other;
  PyObject* coeff = var == self ? other : self;
  Ref matrix;
  if (PyList_Check(coeff)) {
    Ref np = module_global("_np");
    matrix = take(PyObject_CallMethodOneArg(np.get(), VLM_STR("array"), coeff));
  } else if (PyArray_Check(coeff) || is_sparse_matrix(coeff)) {
    matrix = Ref::borrow(coeff);
  } else {
    raise_format(PyExc_TypeError, "unsupported operand type(s) for *: `%s` and `%s`", _PyType_Name(Py_TYPE(self)),
                 _PyType_Name(Py_TYPE(other)));
  }
  Ref e = psdexpr_new();
  init_psdexpr(e.get(), matrix.get(), var);
  return e;
}

}  // namespace

PyObject* psdvar_multiply(PyObject* left, PyObject* right) noexcept {
  return guarded_holding(left, right, [&] {
    PyNumberMethods* nb = Py_TYPE(left)->tp_as_number;
    const bool left_var = Py_TYPE(left) == Py_TYPE(right) || (nb && nb->nb_multiply == psdvar_multiply) ||
                          PyObject_TypeCheck(left, &PsdVarType);
    if (left_var) return psdvar_mul(left, right).release();
    if (PyObject_TypeCheck(right, &PsdVarType)) return psdvar_mul(right, left).release();
    return Py_NewRef(Py_NotImplemented);
  });
}

const char psdexpr_init_doc[] =
    METHOD_DOC("__init__(arg1=0, arg2=None)",
               "Construct a semidefinite expression: a constant, one term, a copy of\n"
               "            another expression, or terms from a list of (coefficient, variable) pairs.",
               "arg1: a number, a Var, a LinExpr, a PsdExpr, a list of pairs, or (with\n"
               "                  arg2) a coefficient matrix or a list of coefficients\n"
               "            arg2: a PsdVar or Var, or a list of them parallel to arg1",
               "e = PsdExpr(numpy.eye(2), X)\n"
               "            e = PsdExpr([(numpy.eye(2), X), (2.0, x)])");

// --- internal operations -----------------------------------------------------------

Ref psdexpr_new() {
  Ref lin = linexpr_new();
  PsdExprObject* e = PyObject_GC_New(PsdExprObject, &PsdExprType);
  if (!e) throw_error_set();
  e->coeffs_ = TermList{};
  e->vars_ = TermList{};
  e->lin_ = lin.release();
  PyObject_GC_Track(obj(e));
  return Ref::steal(obj(e));
}

LinExprObject* psdexpr_lin(PsdExprObject* e) { return linear_part(e->lin_); }

PsdExprObject* psdexpr_checked(PyObject* expr) {
  PsdExprObject* e = as_psdexpr(expr);
  psdexpr_lin(e);
  return e;
}

std::vector<PsdTermRef> psdexpr_terms(PyObject* expr) {
  std::vector<PsdTermRef> out;
  if (exact(expr)) {
    PsdTerms terms(psdexpr_checked(expr));
    for (Py_ssize_t i = 0; i < terms.size(); ++i)
      out.push_back(PsdTermRef{Ref::borrow(terms_at(terms.coeffs(), i)), Ref::borrow(terms_at(terms.vars(), i))});
    return out;
  }
  Ref size = take(PyObject_CallMethodNoArgs(expr, VLM_STR("size")));
  const int64_t n = integer_only<int64_t>(size.get());
  if (n > kMaxListItems) raise(PyExc_OverflowError, "value too large to convert to int");
  for (int64_t i = 0; i < n; ++i) {
    Ref coeff = take(PyObject_CallMethod(expr, "getCoeff", "L", static_cast<long long>(i)));
    Ref var = take(PyObject_CallMethod(expr, "getVar", "L", static_cast<long long>(i)));
    // Refused as it is read (the text every reader of the terms gives): a
    // size() that overstates the terms fails at the first wrong one.
    if (!is_psdvar(var.get())) raise_cannot_convert(var.get(), "velmorpy.PsdVar");
    out.push_back(PsdTermRef{std::move(coeff), std::move(var)});
  }
  return out;
}

void psdexpr_addterm(PsdExprObject* self, PyObject* coeff, PyObject* var) {
  Ref pins[] = {Ref::borrow(coeff), Ref::borrow(var)};
  Ref shape = take(PyObject_GetAttrString(coeff, "shape"));
  if (shape_entry(shape.get(), 0) != shape_entry(shape.get(), 1)) raise(PyExc_ValueError, "expect a square matrix");
  Ref dim = take(PyObject_GetAttrString(var, "dim"));
  if (shape_entry(shape.get(), 0) != integer_only<int64_t>(dim.get()))
    raise(PyExc_ValueError, kPsdDimMismatch);
  append_parallel({{&self->coeffs_, coeff}, {&self->vars_, var}});
}

void psdexpr_addexpr(PsdExprObject* self, double mult, PsdExprObject* expr) {
  PsdTerms terms(expr);
  const Py_ssize_t n = terms.size();
  Ref lin = linexpr_copy(psdexpr_lin(expr));
  if (mult != 1.0) {
    terms_imul(terms.coeffs(), mult);
    Ref m = take(PyFloat_FromDouble(mult));
    Ref scaled = take(PyNumber_InPlaceMultiply(lin.get(), m.get()));
    if (!is_linexpr(scaled.get())) raise_cannot_convert(scaled.get(), "velmorpy.LinExpr");
    lin = std::move(scaled);
  }
  extend_parallel({{&self->coeffs_, &terms.coeffs()}, {&self->vars_, &terms.vars()}}, n);
  linexpr_addexpr(psdexpr_lin(self), linexpr_checked(lin.get()), 1.0);
}

namespace {

const char kSquare[] = "expect a square matrix";

// A float64 view or copy of a 1-D index or value array of a coo_matrix.
Ref coo_field(PyObject* coo, const char* field, int type) {
  Ref a = take(PyObject_GetAttrString(coo, field));
  return take(PyArray_FROMANY(a.get(), type, 1, 1, NPY_ARRAY_CARRAY_RO | NPY_ARRAY_FORCECAST));
}

// An object array as float64, each cell that compares unequal to 0 through
// float() (its TypeError for None, which NumPy's cast would make NaN), the
// others 0.0. The cells are read from a private copy: the conversions may
// run code. Throws.
Ref float_cells(PyObject* mat) {
  const ObjectCells in = object_cells(mat);
  PyArrayObject* shaped = arr(in.array);
  Ref out = take(PyArray_SimpleNew(PyArray_NDIM(shaped), PyArray_DIMS(shaped), NPY_FLOAT64));
  double* d = static_cast<double*>(PyArray_DATA(arr(out)));
  for (Py_ssize_t k = 0; k < in.size; ++k) {
    Ref cell = Ref::borrow(in[k]);
    if (equals_zero(cell.get())) {
      d[k] = 0.0;
      continue;
    }
    Ref value = take(PyNumber_Float(cell.get()));
    d[k] = PyFloat_AS_DOUBLE(value.get());
  }
  return out;
}

// The entries of `mat` as given, zeros left out: a NumPy array's non-zero
// cells row by row (read as float64, an object array's cells by float(); the
// caller's array is never changed);
// the stored entries of anything else through scipy.sparse.coo_matrix, in its
// coordinate order. Entries stored twice at one position stand for their sum
// (SciPy's meaning): they are summed, on the entries read here, in the
// row-major order of the canonical form.
std::vector<SymEntry> given_entries(PyObject* mat, int64_t* rows, int64_t* cols) {
  std::vector<SymEntry> out;
  if (PyArray_Check(mat)) {
    Ref dense = PyArray_TYPE(reinterpret_cast<PyArrayObject*>(mat)) == NPY_OBJECT
                    ? float_cells(mat)
                    : take(PyArray_FROMANY(mat, NPY_FLOAT64, 0, 0, NPY_ARRAY_CARRAY_RO | NPY_ARRAY_FORCECAST));
    if (PyArray_NDIM(arr(dense)) != 2) raise(PyExc_ValueError, kSquare);
    *rows = PyArray_DIM(arr(dense), 0);
    *cols = PyArray_DIM(arr(dense), 1);
    const double* d = static_cast<const double*>(PyArray_DATA(arr(dense)));
    for (int64_t r = 0; r < *rows; ++r)
      for (int64_t c = 0; c < *cols; ++c)
        if (const double v = d[r * *cols + c]; v != 0.0) out.push_back(SymEntry{r, c, v});
    return out;
  }
  Ref sp = module_global("_sp");
  if (is_sparse_matrix(mat)) check_sparse_structure(mat, "PsdExpr");  // SciPy's conversion trusts them
  Ref coo = take(PyObject_CallMethodOneArg(sp.get(), VLM_STR("coo_matrix"), mat));
  Ref shape = take(PyObject_GetAttrString(coo.get(), "shape"));
  *rows = shape_entry(shape.get(), 0);
  *cols = shape_entry(shape.get(), 1);
  if (*rows > INT32_MAX || *cols > INT32_MAX) raise(PyExc_OverflowError, "value too large to convert to int");
  Ref r = coo_field(coo.get(), "row", NPY_INT64), c = coo_field(coo.get(), "col", NPY_INT64);
  Ref d = coo_field(coo.get(), "data", NPY_FLOAT64);
  const npy_intp n = PyArray_SIZE(arr(d));
  if (PyArray_SIZE(arr(r)) != n || PyArray_SIZE(arr(c)) != n) raise(PyExc_ValueError, kSquare);
  const int64_t* pr = static_cast<const int64_t*>(PyArray_DATA(arr(r)));
  const int64_t* pc = static_cast<const int64_t*>(PyArray_DATA(arr(c)));
  const double* pd = static_cast<const double*>(PyArray_DATA(arr(d)));
  std::unordered_map<uint64_t, size_t> where;  // position -> index in out
  bool repeated = false;
  out.reserve(static_cast<size_t>(n));
  for (npy_intp k = 0; k < n; ++k) {
    if (pr[k] < 0 || pc[k] < 0 || pr[k] >= *rows || pc[k] >= *cols) raise(PyExc_ValueError, kSquare);
    const uint64_t key = (static_cast<uint64_t>(pr[k]) << 32) | static_cast<uint64_t>(pc[k]);
    const auto [it, fresh] = where.emplace(key, out.size());
    if (fresh) {
      out.push_back(SymEntry{pr[k], pc[k], pd[k]});
    } else {
      out[it->second].value += pd[k];
      repeated = true;
    }
  }
  if (repeated)
    std::sort(out.begin(), out.end(),
              [](const SymEntry& a, const SymEntry& b) { return a.row != b.row ? a.row < b.row : a.col < b.col; });
  out.erase(std::remove_if(out.begin(), out.end(), [](const SymEntry& e) { return e.value == 0.0; }), out.end());
  return out;
}

}  // namespace

std::vector<SymEntry> psd_symmetric_entries(PyObject* mat, int64_t* rows, int64_t* cols) {
  const std::vector<SymEntry> given = given_entries(mat, rows, cols);
  std::vector<SymEntry> out;
  out.reserve(2 * given.size());
  std::unordered_map<uint64_t, size_t> where;  // position -> index in out
  auto set = [&](int64_t row, int64_t col, double v) {
    const uint64_t key = (static_cast<uint64_t>(row) << 32) | static_cast<uint64_t>(col);
    const auto [it, fresh] = where.emplace(key, out.size());
    if (fresh) {
      out.push_back(SymEntry{row, col, v});
    } else {
      out[it->second].value = v;
    }
  };
  for (const SymEntry& e : given) {
    if (e.row >= *cols || e.col >= *rows) raise(PyExc_ValueError, kSquare);  // no mirrored position
    set(e.row, e.col, e.value);
    set(e.col, e.row, e.value);
  }
  return out;
}

Ref psdexpr_restore_symmat(PyObject* mat) {
  int64_t rows = 0, cols = 0;
  std::vector<SymEntry> entries = psd_symmetric_entries(mat, &rows, &cols);
  npy_intp n = static_cast<npy_intp>(entries.size());
  Ref r = take(PyArray_SimpleNew(1, &n, NPY_INT64));
  Ref c = take(PyArray_SimpleNew(1, &n, NPY_INT64));
  Ref d = take(PyArray_SimpleNew(1, &n, NPY_FLOAT64));
  for (npy_intp k = 0; k < n; ++k) {
    static_cast<int64_t*>(PyArray_DATA(arr(r)))[k] = entries[k].row;
    static_cast<int64_t*>(PyArray_DATA(arr(c)))[k] = entries[k].col;
    static_cast<double*>(PyArray_DATA(arr(d)))[k] = entries[k].value;
  }
  Ref sp = module_global("_sp");
  Ref coo_matrix = take(PyObject_GetAttr(sp.get(), VLM_STR("coo_matrix")));
  Ref index = take(PyTuple_Pack(2, r.get(), c.get()));
  Ref arg = take(PyTuple_Pack(2, d.get(), index.get()));
  Ref args = take(PyTuple_Pack(1, arg.get()));
  Ref kwargs = take(Py_BuildValue("{s:(LL)}", "shape", static_cast<long long>(rows), static_cast<long long>(cols)));
  return take(PyObject_Call(coo_matrix.get(), args.get(), kwargs.get()));
}

double psdexpr_value(PsdExprObject* self, Py_ssize_t count) {
  Ref lin = Ref::borrow(self->lin_);
  PsdTerms terms(self);
  double value = linexpr_value(psdexpr_lin(self));
  if (count > terms.size()) raise(PyExc_IndexError, "list index out of range");
  const Py_ssize_t n = count < 0 ? terms.size() : count;
  for (Py_ssize_t i = 0; i < n; ++i) {
    Ref coeff = Ref::borrow(terms_at(terms.coeffs(), i));
    Ref var = Ref::borrow(terms_at(terms.vars(), i));
    int64_t rows = 0, cols = 0;
    std::vector<SymEntry> entries = psd_symmetric_entries(coeff.get(), &rows, &cols);
    Ref x = take(PyObject_GetAttrString(var.get(), "PsdX"));
    if (is_sparse_matrix(x.get())) x = take(PyObject_CallMethod(x.get(), "toarray", nullptr));
    Ref dense = take(PyArray_FROMANY(x.get(), NPY_FLOAT64, 2, 2, NPY_ARRAY_CARRAY_RO | NPY_ARRAY_FORCECAST));
    if (PyArray_DIM(arr(dense), 0) != rows || PyArray_DIM(arr(dense), 1) != cols)
      raise(PyExc_ValueError, kPsdDimMismatch);
    for (const SymEntry& s : entries) value += s.value * *static_cast<const double*>(PyArray_GETPTR2(arr(dense), s.row, s.col));
  }
  return value;
}

PyTypeObject PsdExprType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_psdexpr() {
  psdexpr_as_number.nb_add = slot(psdexpr_nb_add);
  psdexpr_as_number.nb_subtract = slot(psdexpr_nb_subtract);
  psdexpr_as_number.nb_multiply = slot(psdexpr_nb_multiply);
  psdexpr_as_number.nb_negative = slot(psdexpr_negative);
  psdexpr_as_number.nb_inplace_add = slot(psdexpr_iadd);
  psdexpr_as_number.nb_inplace_subtract = slot(psdexpr_isub);
  psdexpr_as_number.nb_inplace_multiply = slot(psdexpr_imul);

  PsdExprType.tp_name = "velmorpy.PsdExpr";
  PsdExprType.tp_basicsize = sizeof(PsdExprObject);
  PsdExprType.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC;
  PsdExprType.tp_new = slot(psdexpr_new_slot);
  PsdExprType.tp_init = slot(psdexpr_init);
  PsdExprType.tp_dealloc = slot(psdexpr_dealloc);
  PsdExprType.tp_traverse = slot(psdexpr_traverse);
  PsdExprType.tp_clear = slot(psdexpr_clear);
  PsdExprType.tp_str = slot(psdexpr_str);
  PsdExprType.tp_repr = slot(psdexpr_repr);
  PsdExprType.tp_richcompare = slot(psdexpr_richcompare);
  PsdExprType.tp_hash = PyObject_HashNotImplemented;
  PsdExprType.tp_as_number = &psdexpr_as_number;
  PsdExprType.tp_methods = psdexpr_methods;
}

void bind_psdexpr_namespace() {
  Ref priority = take(PyLong_FromLong(1000));
  set_class_attr(&PsdExprType, "__array_priority__", priority.get());
  bind_public_members(&PsdExprType, psdexpr_members, __FILE__);
}

}  // namespace velmorpy
