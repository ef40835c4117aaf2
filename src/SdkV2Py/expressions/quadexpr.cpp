// QuadExpr: its slots, methods, type object and internal operations.
#include "expressions/quadexpr.hpp"

#include <algorithm>
#include <utility>

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

PyObject* obj(QuadExprObject* q) { return reinterpret_cast<PyObject*>(q); }
bool exact(PyObject* self) { return Py_IS_TYPE(self, &QuadExprType); }

// The three lists of `q` as one request: they change together or not at all.
struct QuadTerms : TermsCopy<QuadCoeffs, TermList, TermList> {
  explicit QuadTerms(const QuadExprObject* q) noexcept : TermsCopy(q->coeffs_, q->vars1_, q->vars2_) {}
  QuadCoeffs& coeffs() noexcept { return get<0>(); }
  const TermList& vars1() const noexcept { return get<1>(); }
  const TermList& vars2() const noexcept { return get<2>(); }
};

// The term lists take appends side by side into room made beforehand: a
// buffer that two of them show (a crafted state can give one) is first
// copied for one of them, so that each append lands in its own list.
void separate_term_buffers(QuadExprObject* q) {
  const ListBufferObject* objs = q->coeffs_.objects ? q->coeffs_.objs.buf : nullptr;
  if (q->vars2_.buf && (q->vars2_.buf == q->vars1_.buf || q->vars2_.buf == objs)) terms_detach(q->vars2_);
  if (q->vars1_.buf && q->vars1_.buf == objs) terms_detach(q->vars1_);
}

// The coefficients as objects from now on: a float object for each number.
void qcoeffs_to_objects(QuadCoeffs& c) {
  if (c.objects) return;
  OwnedTerms objs;
  const Py_ssize_t n = nums_size(c.nums);
  terms_reserve(objs.t, n);
  for (Py_ssize_t i = 0; i < n; ++i) terms_append_steal(objs.t, coefficient(nums_at(c.nums, i)).release());
  std::swap(c.objs, objs.t);  // the old (empty) object list goes with `objs`
  nums_release(c.nums);
  c.objects = true;
}

// Everything the new state needs is read first (making the linear part of
// another kind runs its constructor, Python code that may change `expr`);
// then the fields are replaced together and the old state released.
void init_quadexpr(PyObject* self, PyObject* expr) {
  QuadExprObject* q = as_quadexpr(self);
  Ref lin;
  OwnedCoeffs coeffs;
  OwnedTerms vars1, vars2;
  if (is_quadexpr(expr)) {
    QuadExprObject* other = quadexpr_checked(expr);
    Ref other_lin = Ref::borrow(other->lin_);
    lin = linexpr_from(other_lin.get());
    other = quadexpr_checked(expr);
    QuadTerms terms(other);
    coeffs.t = qcoeffs_copy(terms.coeffs());
    vars1.t = terms_copy(terms.vars1());
    vars2.t = terms_copy(terms.vars2());
  } else if (expr != Py_None) {
    lin = linexpr_from(expr);
  } else {
    lin = linexpr_new();
  }
  std::swap(q->coeffs_, coeffs.t);
  std::swap(q->vars1_, vars1.t);
  std::swap(q->vars2_, vars2.t);
  lin = Ref::steal(std::exchange(q->lin_, lin.release()));  // the old state goes with the locals
}

// The linear part of a QuadExpr as it is when a term is written to it.
LinExprObject* linear_part_of(PyObject* q) { return quadexpr_lin(quadexpr_checked(q)); }

// The items of a sequence argument of the list form of addTerms: a list or a
// List, as the term lists' += takes them (a tuple or an array is refused).
Ref sequence_items(PyObject* seq) {
  if (!(PyList_Check(seq) || is_list(seq)))
    raise_format(PyExc_TypeError, "unsupport operation +=: `List` and `%s`", _PyType_Name(Py_TYPE(seq)));
  return take(PySequence_List(seq));
}

// The list form: every term exactly as given (no conversion, zeros kept, the
// variables in their order), after checking the lengths and the variables.
void add_listed_terms(QuadExprObject* q, PyObject* coeffs, PyObject* vars, PyObject* vars2) {
  Ref c = sequence_items(coeffs), v1 = sequence_items(vars), v2 = sequence_items(vars2);
  const Py_ssize_t n = PyList_GET_SIZE(c.get());
  if (PyList_GET_SIZE(v1.get()) != n || PyList_GET_SIZE(v2.get()) != n)
    raise(PyExc_ValueError, "Arguments `coeffs`, `vars` and `vars2` must have the same length");
  for (Py_ssize_t i = 0; i < n; ++i)
    if (!is_var(PyList_GET_ITEM(v1.get(), i)) || !is_var(PyList_GET_ITEM(v2.get(), i)))
      raise_velmor_text("Expect a var");
  bool floats = !q->coeffs_.objects;
  for (Py_ssize_t i = 0; floats && i < n; ++i) floats = PyFloat_CheckExact(PyList_GET_ITEM(c.get(), i));
  if (!floats) qcoeffs_to_objects(q->coeffs_);
  separate_term_buffers(q);
  if (floats) nums_reserve(q->coeffs_.nums, n);
  else terms_reserve(q->coeffs_.objs, n);
  terms_reserve(q->vars1_, n);
  terms_reserve(q->vars2_, n);
  for (Py_ssize_t i = 0; i < n; ++i) {  // cannot fail: room is made
    PyObject* coeff = PyList_GET_ITEM(c.get(), i);
    if (floats) nums_append_reserved(q->coeffs_.nums, PyFloat_AS_DOUBLE(coeff));
    else terms_append_reserved(q->coeffs_.objs, coeff);
    terms_append_reserved(q->vars1_, PyList_GET_ITEM(v1.get(), i));
    terms_append_reserved(q->vars2_, PyList_GET_ITEM(v2.get(), i));
  }
}

void add_terms(QuadExprObject* q, PyObject* coeffs, PyObject* vars, PyObject* vars2) {
  if (vars2 == Py_None) return linexpr_add_terms(obj(q), linear_part_of, coeffs, vars);
  if (is_listlike(coeffs) || is_list(coeffs)) return add_listed_terms(q, coeffs, vars, vars2);
  if (!is_var(vars)) raise_velmor_text("Expect a var");
  if (equals_zero(coeffs)) return;
  if (!is_var(vars2)) raise_velmor_text("Expect a var");
  Ref f = take(PyNumber_Float(coeffs));
  quadexpr_addterm(q, PyFloat_AS_DOUBLE(f.get()), vars, vars2);
}

void add_expr(QuadExprObject* q, PyObject* expr, PyObject* mult) {
  if (is_linexpr(expr)) {
    const double m = as_double(mult);
    return linexpr_addexpr(quadexpr_lin(q), linexpr_checked(expr), m);
  }
  if (is_quadexpr(expr)) {
    const double m = as_double(mult);
    return quadexpr_addexpr(q, quadexpr_checked(expr), m);
  }
  Ref type_text = take(PyObject_Str(reinterpret_cast<PyObject*>(Py_TYPE(expr))));
  raise_format(PyExc_TypeError, "Argument `expr` cannot be %U type", type_text.get());
}

// --- slots ---------------------------------------------------------------------

PyObject* quadexpr_new_slot(PyTypeObject* type, PyObject*, PyObject*) noexcept {
  PyObject* self = type->tp_alloc(type, 0);
  if (!self) return nullptr;
  QuadExprObject* q = as_quadexpr(self);
  q->coeffs_ = QuadCoeffs{};
  q->vars1_ = TermList{};
  q->vars2_ = TermList{};
  q->lin_ = Py_NewRef(Py_None);
  return self;
}


int quadexpr_init(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
  return guarded_int([&] {
    Args a;
    if (unpack_init(&QuadExprType, args, kwargs, a) < 0) throw_error_set();
    Ref expr = Ref::borrow(a[0]);
    init_quadexpr(self, expr.get());
    return 0;
  });
}

int quadexpr_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
  QuadExprObject* q = as_quadexpr(self);
  if (int r = traverse_terms(visit, arg, q->coeffs_, q->vars1_, q->vars2_)) return r;
  Py_VISIT(q->lin_);
  return 0;
}

int quadexpr_clear(PyObject* self) noexcept {
  QuadExprObject* q = as_quadexpr(self);
  release_terms(q->coeffs_, q->vars1_, q->vars2_);
  Py_CLEAR(q->lin_);
  return 0;
}

void quadexpr_dealloc(PyObject* self) noexcept {
  PyObject_GC_UnTrack(self);
  (void)quadexpr_clear(self);
  Py_TYPE(self)->tp_free(self);
}

PyObject* quadexpr_str(PyObject* self) noexcept {
  return expression_str(self, "QuadExpr", [&](std::string& body) {
    QuadExprObject* q = quadexpr_checked(self);
    QuadTerms terms(q);
    Ref lin = Ref::borrow(q->lin_);
    std::vector<Ref> names1 = handle_attr_objects(terms.vars1(), "VarName", AttrKind::Var);
    std::vector<Ref> names2 = handle_attr_objects(terms.vars2(), "VarName", AttrKind::Var);
    const Py_ssize_t n = std::min({terms.size(), static_cast<Py_ssize_t>(names1.size()),
                                   static_cast<Py_ssize_t>(names2.size())});
    for (Py_ssize_t i = 0; i < n; ++i) {
      PyObject* v1 = terms_at(terms.vars1(), i);
      PyObject* v2 = terms_at(terms.vars2(), i);
      const bool same = same_item(v1, v2);
      Ref coeff = qcoeffs_object(terms.coeffs(), i);
      append_term_text(body, coeff.get(), names1[i].get(), names2[i].get(), same);
    }
    append_linear_part(body, lin.get());
  });
}

PyObject* quadexpr_repr(PyObject* self) noexcept { return repr_through_str(self, &QuadExprType, quadexpr_str); }

void iadd(PyObject* self, PyObject* other) {
  QuadExprObject* q = quadexpr_checked(self);
  Ref pin = Ref::borrow(other);
  if (Py_IS_TYPE(other, &VarType)) return linexpr_addterm(quadexpr_lin(q), 1.0, other);
  if (is_number(other)) {
    quadexpr_lin(q);
    return linexpr_add_constant(Ref::borrow(q->lin_), other);
  }
  if (is_var(other)) return linexpr_addterm(quadexpr_lin(q), 1.0, other);
  if (is_linexpr(other)) return linexpr_addexpr(quadexpr_lin(q), linexpr_checked(other), 1.0);
  if (is_quadexpr(other)) {
    if (exact(self)) return quadexpr_addexpr(q, quadexpr_checked(other), 1.0);
    take(PyObject_CallMethodOneArg(self, VLM_STR("add"), other));
    return;
  }
  raise_inplace_unsupported("+=", self, other);
}

PyObject* quadexpr_iadd(PyObject* self, PyObject* other) noexcept {
  return changed_in_place(self, [&] { iadd(self, other); });
}

// q -= other: the interpreter's negation of other, then q.__iadd__.
PyObject* quadexpr_isub(PyObject* self, PyObject* other) noexcept {
  return subtract_by_adding_negated(self, other, &QuadExprType, iadd);
}

// q *= other, whole or not at all: the products of the coefficients and of
// the linear part are made first (numbers' own code, which may raise or
// change q), then put in place. When that code changed q's terms meanwhile,
// its change stands and the products are dropped.
PyObject* quadexpr_imul(PyObject* self, PyObject* other) noexcept {
  return changed_in_place(self, [&] {
    QuadExprObject* q = quadexpr_checked(self);
    if (!is_number(other)) raise_inplace_unsupported("*=", self, other);
    Ref pin = Ref::borrow(other);
    const bool plain = PyFloat_CheckExact(other) || PyLong_CheckExact(other);
    const double m = plain ? number_value(other) : 0.0;
    if (plain && !q->coeffs_.objects && Py_IS_TYPE(q->lin_, &LinExprType)) {
      // No Python code runs on this road: the products are made in place.
      nums_imul(q->coeffs_.nums, m);  // m * c is c * m
      Ref lin = Ref::borrow(q->lin_);
      Ref product = take(PyNumber_InPlaceMultiply(lin.get(), other));
      return;
    }
    QuadTerms read(q);
    OwnedCoeffs products(qcoeffs_copy(read.coeffs()));
    if (plain && !products.t.objects) {
      nums_imul(products.t.nums, m);  // m * c is c * m
    } else {
      qcoeffs_to_objects(products.t);  // the products of other numbers are what their types make
      terms_map(products.t.objs, [&](PyObject* c) -> Ref {
        if (plain && PyFloat_CheckExact(c)) return take(PyFloat_FromDouble(PyFloat_AS_DOUBLE(c) * m));
        check_object_nesting(c);
        return take(PyNumber_Multiply(c, other));
      });
    }
    if (!read.still_shown_by(q->coeffs_, q->vars1_, q->vars2_)) return;  // before the linear part changes
    Ref lin = Ref::borrow(q->lin_);
    bool lin_unchanged = false;
    Ref product = linear_part_product(lin.get(), other, lin_unchanged);
    if (!lin_unchanged || q->lin_ != lin.get() || !read.still_shown_by(q->coeffs_, q->vars1_, q->vars2_)) return;
    std::swap(q->coeffs_, products.t);
    Py_XSETREF(q->lin_, product.release());
  });
}

// --- methods -------------------------------------------------------------------

PyObject* quadexpr_add(PyObject* self, const Args& a) {
  Ref expr = Ref::borrow(a[0]);
  add_expr(quadexpr_checked(self), expr.get(), a[1]);
  Py_RETURN_NONE;
}

PyObject* quadexpr_addConstant(PyObject* self, const Args& a) {
  quadexpr_checked(self);
  Ref c = take(PyNumber_Float(a[0]));
  QuadExprObject* q = quadexpr_checked(self);
  linexpr_add_constant(Ref::borrow(q->lin_), c.get());
  Py_RETURN_NONE;
}

PyObject* quadexpr_getConstant(PyObject* self, const Args&) {
  return PyFloat_FromDouble(quadexpr_lin(quadexpr_checked(self))->constant_);
}

PyObject* quadexpr_addTerms(PyObject* self, const Args& a) {
  add_terms(quadexpr_checked(self), a[0], a[1], a[2]);
  Py_RETURN_NONE;
}

PyObject* quadexpr_clear_method(PyObject* self, const Args&) {
  Ref pin = Ref::borrow(self);
  QuadExprObject* q = quadexpr_checked(self);
  Ref lin = Ref::borrow(q->lin_);
  LinExprObject* l = quadexpr_lin(q);
  // The items go only when every list reads as empty: their finalisers see q cleared.
  TermsCopy released_last(l->coeffs_, l->vars_);
  linexpr_clear_terms(l);
  clear_terms(q->coeffs_, q->vars1_, q->vars2_);  // the coefficients back to numbers
  Py_RETURN_NONE;
}

PyObject* quadexpr_copy(PyObject* self, const Args&) {
  quadexpr_checked(self);
  return PyObject_CallOneArg(reinterpret_cast<PyObject*>(&QuadExprType), self);
}

PyObject* quadexpr_getCoeff(PyObject* self, const Args& a) {
  Ref pin = Ref::borrow(self);
  const QuadCoeffs& coeffs = quadexpr_checked(self)->coeffs_;
  const int32_t i = integer_only(a[0]);  // the conversion may run code: the kind and size are read after it
  if (i < 0 || i >= qcoeffs_size(coeffs)) raise(PyExc_IndexError, "list index out of range");
  return qcoeffs_object(coeffs, i).release();
}

PyObject* quadexpr_getVar1(PyObject* self, const Args& a) {
  Ref pin = Ref::borrow(self);
  return term_item(quadexpr_checked(self)->vars1_, a[0]);
}

PyObject* quadexpr_getVar2(PyObject* self, const Args& a) {
  Ref pin = Ref::borrow(self);
  return term_item(quadexpr_checked(self)->vars2_, a[0]);
}

PyObject* quadexpr_getLinExpr(PyObject* self, const Args&) { return Py_NewRef(quadexpr_checked(self)->lin_); }

PyObject* quadexpr_getValue(PyObject* self, const Args&) {
  Ref pin = Ref::borrow(self);
  const Py_ssize_t n = terms_to_visit(self, &QuadExprType);
  return PyFloat_FromDouble(quadexpr_value(quadexpr_checked(self), n));
}

PyObject* quadexpr_remove(PyObject* self, const Args& a) {
  Ref pin = Ref::borrow(self);
  QuadExprObject* q = quadexpr_checked(self);
  PyObject* item = a[0];
  std::vector<Py_ssize_t> positions;
  if (PyLong_Check(item)) {
    positions = position_if_valid(item, qcoeffs_size(q->coeffs_));
  } else if (is_var(item)) {
    std::vector<Py_ssize_t> first = positions_of(q->vars1_, item), second = positions_of(q->vars2_, item);
    std::merge(first.begin(), first.end(), second.begin(), second.end(), std::back_inserter(positions));
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  } else {
    raise(PyExc_TypeError, "Argument `item` should be an integer or Var");
  }
  if (!positions.empty()) remove_terms(positions, q->coeffs_, q->vars1_, q->vars2_);
  if (is_var(item)) linexpr_remove_item(quadexpr_lin(q), item);
  Py_RETURN_NONE;
}

PyObject* quadexpr_size(PyObject* self, const Args&) {
  return PyLong_FromSsize_t(qcoeffs_size(quadexpr_checked(self)->coeffs_));
}

// --- tables --------------------------------------------------------------------

const char add_doc[] = ADD_EXPR_DOC("Add a linear or quadratic expression, multiplied by a number, to the\n"
                                    "            expression.",
                                    "a LinExpr or a QuadExpr", "q.add(x * y, 2.0)");

const char addTerms_doc[] = METHOD_DOC("addTerms(coeffs, vars, vars2=None)",
                                       "Add linear terms (without vars2) or quadratic terms (with vars2) to the\n"
                                       "            expression.",
                                       "coeffs: a coefficient, or a list of coefficients\n"
                                       "            vars: a Var, or a list of Var: the first variable of each term\n"
                                       "            vars2: a Var, or a list of Var: the second variable of each term",
                                       "q.addTerms(2.0, x, y)\n"
                                       "            q.addTerms([1.0, 2.0], [x, y], [x, z])");

const char copy_doc[] = METHOD_DOC("copy()", "Return a copy of the expression.", "None", "q2 = q.copy()");

const char getCoeff_doc[] =
    TERM_PART_DOC("getCoeff", "Return the coefficient of a quadratic term.", "c = q.getCoeff(0)");

const char getVar1_doc[] =
    TERM_PART_DOC("getVar1", "Return the first variable of a quadratic term.", "v = q.getVar1(0)");

const char getVar2_doc[] =
    TERM_PART_DOC("getVar2", "Return the second variable of a quadratic term.", "v = q.getVar2(0)");

const char remove_doc[] = REMOVE_TERMS_DOC("Remove the quadratic term at a position, or every term (quadratic and\n"
                                           "            linear) of a variable.",
                                           "the position of a quadratic term, or a Var", "q", "x");

const char size_doc[] = SIZE_DOC("Return the number of quadratic terms of the expression.", "q");

const FunctionDef quadexpr_members[] = {
    {"add", "self, expr, mult=1.0", quadexpr_add, Kind::Method, add_doc, __LINE__},
    {"addConstant", "self, c", quadexpr_addConstant, Kind::Method, expr_addConstant_doc, __LINE__},
    {"getConstant", "self", quadexpr_getConstant, Kind::Method, expr_getConstant_doc, __LINE__},
    {"addTerms", "self, coeffs, vars, vars2=None", quadexpr_addTerms, Kind::Method, addTerms_doc, __LINE__},
    {"clear", "self", quadexpr_clear_method, Kind::Method, expr_clear_doc, __LINE__},
    {"copy", "self", quadexpr_copy, Kind::Method, copy_doc, __LINE__},
    {"getCoeff", "self, i", quadexpr_getCoeff, Kind::Method, getCoeff_doc, __LINE__},
    {"getVar1", "self, i", quadexpr_getVar1, Kind::Method, getVar1_doc, __LINE__},
    {"getVar2", "self, i", quadexpr_getVar2, Kind::Method, getVar2_doc, __LINE__},
    {"getLinExpr", "self", quadexpr_getLinExpr, Kind::Method, expr_getLinExpr_doc, __LINE__},
    {"getValue", "self", quadexpr_getValue, Kind::Method, expr_getValue_doc, __LINE__},
    {"remove", "self, item", quadexpr_remove, Kind::Method, remove_doc, __LINE__},
    {"size", "self", quadexpr_size, Kind::Method, size_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

PyNumberMethods quadexpr_as_number = {};

}  // namespace

const char quadexpr_init_doc[] = METHOD_DOC("__init__(expr=None)",
                                            "Construct a quadratic expression: empty, a copy of another QuadExpr, or\n"
                                            "            with the linear part that LinExpr(expr) makes.",
                                            "expr: None, a QuadExpr, or what LinExpr accepts (a number, a Var, a\n"
                                            "                  LinExpr, a list of (coefficient, Var) pairs)",
                                            "q = QuadExpr(x * x + 2 * y)\n"
                                            "            q = QuadExpr(LinExpr(x))");

// --- internal operations -----------------------------------------------------------

Ref quadexpr_new(Ref lin) {
  if (!lin) lin = linexpr_new();
  QuadExprObject* q = PyObject_GC_New(QuadExprObject, &QuadExprType);
  if (!q) throw_error_set();
  q->coeffs_ = QuadCoeffs{};
  q->vars1_ = TermList{};
  q->vars2_ = TermList{};
  q->lin_ = lin.release();
  PyObject_GC_Track(obj(q));
  return Ref::steal(obj(q));
}

QuadExprObject* quadexpr_checked(PyObject* expr) {
  QuadExprObject* q = as_quadexpr(expr);
  quadexpr_lin(q);
  return q;
}

LinExprObject* quadexpr_lin(QuadExprObject* q) { return linear_part(q->lin_); }

void quadexpr_addterm(QuadExprObject* self, double coeff, PyObject* var1, PyObject* var2) {
  if (coeff == 0.0) return;
  if (!(as_handle(var1)->index < as_handle(var2)->index)) std::swap(var1, var2);  // equal indices too
  QuadCoeffs& c = self->coeffs_;
  if (c.objects) {
    Ref made = coefficient(coeff);
    return append_parallel({{&c.objs, made.get()}, {&self->vars1_, var1}, {&self->vars2_, var2}});
  }
  separate_term_buffers(self);
  if (!nums_has_room(c.nums, 1)) nums_reserve(c.nums, 1);
  if (!terms_has_room(self->vars1_, 1)) terms_reserve(self->vars1_, 1);
  if (!terms_has_room(self->vars2_, 1)) terms_reserve(self->vars2_, 1);
  nums_append_reserved(c.nums, coeff);  // none of them can fail: room is made
  terms_append_reserved(self->vars1_, var1);
  terms_append_reserved(self->vars2_, var2);
}

void qcoeffs_release(QuadCoeffs& c) noexcept {
  nums_release(c.nums);
  terms_release(c.objs);
  c.objects = false;
}

QuadCoeffs qcoeffs_copy(const QuadCoeffs& c, Py_ssize_t n) noexcept {
  QuadCoeffs copy;
  copy.objects = c.objects;
  if (c.objects) copy.objs = terms_copy(c.objs, n);
  else copy.nums = nums_copy(c.nums, n);
  return copy;
}

Ref qcoeffs_object(const QuadCoeffs& c, Py_ssize_t i) {
  return c.objects ? Ref::borrow(terms_at(c.objs, i)) : coefficient(nums_at(c.nums, i));
}

void qcoeffs_imul(QuadCoeffs& c, double m) {
  if (c.objects) terms_imul(c.objs, m);
  else nums_imul(c.nums, m);
}

void quad_terms_extend(QuadCoeffs& coeffs, TermList& vars1, TermList& vars2, const QuadCoeffs& c, const TermList& v1,
                       const TermList& v2, Py_ssize_t n) {
  n = std::min({n, qcoeffs_size(c), terms_size(v1), terms_size(v2)});
  if (n <= 0) return;
  OwnedCoeffs from(qcoeffs_copy(c, n));
  if (qcoeffs_size(coeffs) == 0) {
    qcoeffs_release(coeffs);
    coeffs.objects = from.t.objects;
  } else if (coeffs.objects || from.t.objects) {
    qcoeffs_to_objects(coeffs);
    qcoeffs_to_objects(from.t);
  }
  // As extend_parallel: sharing copies for empty lists, room in the others first.
  if (qcoeffs_size(coeffs) > 0) {
    if (coeffs.objects) terms_reserve(coeffs.objs, n);
    else nums_reserve(coeffs.nums, n);
  }
  extend_parallel({{&vars1, &v1}, {&vars2, &v2}}, n);
  if (coeffs.objects) terms_extend(coeffs.objs, from.t.objs, n);  // cannot fail: room is made
  else nums_extend(coeffs.nums, from.t.nums, n);
}

void quadexpr_addexpr(QuadExprObject* self, QuadExprObject* expr, double mult) {
  if (mult == 0.0) return;
  LinExprObject* lin = quadexpr_lin(self);
  LinExprObject* other_lin = quadexpr_lin(expr);
  Ref pins[] = {Ref::borrow(self->lin_), Ref::borrow(expr->lin_)};
  QuadTerms terms(expr);
  const Py_ssize_t n = terms.size();
  if (mult != 1.0) qcoeffs_imul(terms.coeffs(), mult);
  quad_terms_extend(self->coeffs_, self->vars1_, self->vars2_, terms.coeffs(), terms.vars1(), terms.vars2(), n);
  linexpr_addexpr(lin, other_lin, mult);
}

double quadexpr_value(QuadExprObject* self, Py_ssize_t count) {
  Ref lin = Ref::borrow(self->lin_);
  QuadTerms terms(self);
  double value = linexpr_value(quadexpr_lin(self));
  if (count > terms.size()) raise(PyExc_IndexError, "list index out of range");
  // Only the variables of the terms visited are read.
  const OwnedTerms vars1(terms_copy(terms.vars1(), count)), vars2(terms_copy(terms.vars2(), count));
  std::vector<double> x1 = handle_attr_doubles(vars1.t, "X", AttrKind::Var);
  std::vector<double> x2 = handle_attr_doubles(vars2.t, "X", AttrKind::Var);
  const Py_ssize_t n = std::min(static_cast<Py_ssize_t>(x1.size()), static_cast<Py_ssize_t>(x2.size()));
  const QuadCoeffs& c = terms.coeffs();
  for (Py_ssize_t i = 0; i < n; ++i)
    value += (c.objects ? as_double(terms_at(c.objs, i)) : nums_at(c.nums, i)) * x1[i] * x2[i];
  return value;
}

PyTypeObject QuadExprType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_quadexpr() {
  quadexpr_as_number.nb_inplace_add = slot(quadexpr_iadd);
  quadexpr_as_number.nb_inplace_subtract = slot(quadexpr_isub);
  quadexpr_as_number.nb_inplace_multiply = slot(quadexpr_imul);

  QuadExprType.tp_name = "velmorpy.QuadExpr";
  QuadExprType.tp_basicsize = sizeof(QuadExprObject);
  QuadExprType.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC;
  QuadExprType.tp_base = &OperandType;
  QuadExprType.tp_new = slot(quadexpr_new_slot);
  QuadExprType.tp_init = slot(quadexpr_init);
  QuadExprType.tp_dealloc = slot(quadexpr_dealloc);
  QuadExprType.tp_traverse = slot(quadexpr_traverse);
  QuadExprType.tp_clear = slot(quadexpr_clear);
  QuadExprType.tp_str = slot(quadexpr_str);
  QuadExprType.tp_repr = slot(quadexpr_repr);
  QuadExprType.tp_as_number = &quadexpr_as_number;
}

void bind_quadexpr_namespace() { bind_public_members(&QuadExprType, quadexpr_members, __FILE__); }

}  // namespace velmorpy
