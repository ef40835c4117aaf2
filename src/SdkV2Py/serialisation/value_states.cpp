// The field states of the value classes: what each one's pickle holds, and
// the checks a state passes before its fields are stored.
//
// Expressions keep their terms in term lists of their own; their states show
// each list as a List object sharing the terms (pickling that List refuses,
// so an expression with term lists pickles only through its reconstructor
// and __setstate__ directly, as copy.copy does). A state's term lists are
// checked whole (kinds of the fields, equal lengths, a LinExpr's coefficients
// floats, handles of the right class) before anything is stored, so an
// expression restored from any state keeps the invariants every operation
// relies on. A QuadExpr's coefficients are taken as they are, as the list form
// of its addTerms takes them.
#include <utility>

#include "algebra/operand.hpp"
#include "attributes/psdvar.hpp"
#include "attributes/var.hpp"
#include "containers/tupledict.hpp"
#include "containers/tuplelist.hpp"
#include "expressions/column.hpp"
#include "expressions/linexpr.hpp"
#include "expressions/list.hpp"
#include "expressions/psdexpr.hpp"
#include "expressions/quadexpr.hpp"
#include "expressions/tempconstr.hpp"
#include "matrix/matrix_array.hpp"
#include "matrix/mconstr.hpp"
#include "matrix/mlinexpr.hpp"
#include "matrix/mquadexpr.hpp"
#include "matrix/mvar.hpp"
#include "runtime/args.hpp"
#include "runtime/error_type.hpp"
#include "runtime/errors.hpp"
#include "serialisation/pickling.hpp"

namespace velmorpy {

namespace {

PyObject* item(PyObject* state, Py_ssize_t i) { return PyTuple_GET_ITEM(state, i); }

PyObject* none_if_null(PyObject* p) { return p ? p : Py_None; }

// A tuple of the given values (new references taken).
template <class... T>
Ref tuple_of(T... values) {
  return take(PyTuple_Pack(sizeof...(T), static_cast<PyObject*>(values)...));
}

[[noreturn]] void raise_expected(const char* expected, PyObject* given) {
  raise_format(PyExc_TypeError, "Expected %s, got %.200s", expected, Py_TYPE(given)->tp_name);
}

// A field that takes exactly the built-in list, or None.
void check_list_or_none(PyObject* value) {
  if (value != Py_None && !PyList_CheckExact(value)) raise_expected("list", value);
}

// A field that takes exactly the built-in str, or None.
void check_str_or_none(PyObject* value) {
  if (value != Py_None && !PyUnicode_CheckExact(value)) raise_expected("unicode", value);
}

// A field that takes an instance of `type` (subclasses too), or None.
void check_instance_or_none(PyObject* value, PyTypeObject* type) {
  if (value != Py_None && !PyObject_TypeCheck(value, type)) raise_cannot_convert(value, type->tp_name);
}

// --- term lists -------------------------------------------------------------------------

enum class TermKind { Coefficient, Var, PsdVar, Any };

// The terms of a List field, or null for None. TypeError for anything else.
const TermList* list_terms(PyObject* value) {
  if (value == Py_None) return nullptr;
  if (!is_list(value)) raise_cannot_convert(value, ListType.tp_name);
  return &as_list(value)->t;
}

void check_terms(const TermList& t, TermKind kind) {
  for (Py_ssize_t i = 0; i < terms_size(t); ++i) {
    PyObject* x = terms_at(t, i);
    switch (kind) {
      case TermKind::Coefficient:
        if (!PyFloat_Check(x)) raise_cannot_convert(x, PyFloat_Type.tp_name);
        break;
      case TermKind::Var:
        if (!is_var(x)) raise_cannot_convert(x, VarType.tp_name);
        break;
      case TermKind::PsdVar:
        if (!is_psdvar(x)) raise_cannot_convert(x, PsdVarType.tp_name);
        break;
      case TermKind::Any:
        break;
    }
  }
}

// The parallel term lists of an expression's state: all None (no terms) or
// all Lists of one length whose items are of their kinds. Fills `out` with
// the lists (null for None); nothing is stored and no Python code runs.
template <size_t N>
void check_parallel(PyObject* const (&values)[N], const TermKind (&kinds)[N], const TermList* (&out)[N]) {
  for (size_t k = 0; k < N; ++k) out[k] = list_terms(values[k]);
  for (size_t k = 0; k < N; ++k) {
    if (!out[k] == !out[0]) continue;
    raise_cannot_convert(out[k] ? values[0] : values[k], ListType.tp_name);  // a None among Lists
  }
  if (!out[0]) return;
  for (size_t k = 1; k < N; ++k)
    if (terms_size(*out[k]) != terms_size(*out[0]))
      raise_format(PyExc_TypeError, "Expected term lists of equal length, got %zd and %zd", terms_size(*out[0]),
                   terms_size(*out[k]));
  for (size_t k = 0; k < N; ++k) check_terms(*out[k], kinds[k]);
}

// Replaces the object's term lists by sharing copies of `src` (empty for
// null) all at once; the old terms are released afterwards, when the object
// is whole again (releasing them can run Python code that reads it).
template <size_t N>
void store_parallel(TermList* (&dst)[N], const TermList* (&src)[N], OwnedTerms (&old)[N]) {
  for (size_t k = 0; k < N; ++k) old[k].t = src[k] ? terms_copy(*src[k]) : TermList{};
  for (size_t k = 0; k < N; ++k) std::swap(*dst[k], old[k].t);
}

// A List field of a state: the terms as a new List, or None when the
// expression has no term lists.
Ref list_or_none(const TermList& t, bool present) {
  return present ? list_from_terms(t) : Ref::borrow(Py_None);
}

// float(value): a float as it is, anything else through the interpreter's conversion.
double float_of(PyObject* value) {
  const double v = PyFloat_AsDouble(value);
  if (v == -1.0 && PyErr_Occurred()) throw_error_set();
  return v;
}

// --- Operand ------------------------------------------------------------------------------

Ref operand_get(PyObject*) { return take(PyTuple_New(0)); }
void operand_set(PyObject*, PyObject*) {}

// --- VelmorError ----------------------------------------------------------------------------

VelmorErrorObject* as_error(PyObject* op) { return reinterpret_cast<VelmorErrorObject*>(op); }

Ref velmorerror_get(PyObject* self) {
  Ref code = take(PyLong_FromLong(as_error(self)->errno_));
  return tuple_of(code.get(), none_if_null(as_error(self)->message_));
}

void velmorerror_set(PyObject* self, PyObject* state) {
  const int32_t code = truncating_int(item(state, 0));  // may run __int__: before anything is read further
  PyObject* message = item(state, 1);
  check_str_or_none(message);
  as_error(self)->errno_ = code;
  Py_XSETREF(as_error(self)->message_, Py_NewRef(message));
}

// --- tuplelist and tupledict --------------------------------------------------------------
//
// Their pickles carry the items apart from the state (as list or dict items).
// An index in a state would describe the items of the pickled object, which
// may arrive before or after the state, or not at all (pickles written
// without them), so a loaded object never takes one: the state is checked
// for its kind and the index dropped, and the next query builds one for the
// items the object holds. A state written here therefore holds None for the
// index (and the key list) instead of a copy that would only be discarded.

Ref tuplelist_get(PyObject* self) { return tuple_of(Py_None, none_if_null(as_tuplelist(self)->wildcard_)); }

void tuplelist_set(PyObject* self, PyObject* state) {
  check_list_or_none(item(state, 0));
  PyObject* wildcard = item(state, 1);
  check_str_or_none(wildcard);
  Py_XSETREF(as_tuplelist(self)->wildcard_, Py_NewRef(wildcard));
  tuplelist_drop_index(as_tuplelist(self));
}

Ref tupledict_get(PyObject*) { return tuple_of(Py_None); }

void tupledict_set(PyObject* self, PyObject* state) {
  check_instance_or_none(item(state, 0), &TupleListType);
  tupledict_drop_keys(as_tupledict(self));
}

// --- MVar, MConstr, MLinExpr, MQuadExpr: the one array field ------------------------------
//
// Any object is taken: every method of these classes tests that its field
// holds an ndarray (an object made by calling the class holds None).

MatrixObject* as_matrix(PyObject* op) { return reinterpret_cast<MatrixObject*>(op); }

Ref matrix_get(PyObject* self) { return tuple_of(none_if_null(as_matrix(self)->array)); }

void matrix_set(PyObject* self, PyObject* state) {
  Ref old = Ref::steal(as_matrix(self)->array);
  as_matrix(self)->array = Py_NewRef(item(state, 0));
}

// --- LinExpr ------------------------------------------------------------------------------

// The coefficients show as a List of floats made from the numbers.
Ref linexpr_get(PyObject* self) {
  LinExprObject* e = as_linexpr(self);
  Ref coeffs = e->ready_ ? list_from_numbers(e->coeffs_) : Ref::borrow(Py_None);
  Ref vars = list_or_none(e->vars_, e->ready_);
  Ref constant = take(PyFloat_FromDouble(e->constant_));
  return tuple_of(coeffs.get(), constant.get(), vars.get());
}

// The coefficients are kept as the floats' values.
void linexpr_set(PyObject* self, PyObject* state) {
  const double constant = float_of(item(state, 1));  // may run Python code: before the lists are read
  PyObject* const values[] = {item(state, 0), item(state, 2)};
  const TermList* lists[2];
  check_parallel(values, {TermKind::Coefficient, TermKind::Var}, lists);
  OwnedNums coeffs;
  OwnedTerms vars;
  if (lists[0]) {
    const Py_ssize_t n = terms_size(*lists[0]);
    nums_reserve(coeffs.t, n);
    for (Py_ssize_t i = 0; i < n; ++i) nums_append(coeffs.t, PyFloat_AS_DOUBLE(terms_at(*lists[0], i)));
    vars.t = terms_copy(*lists[1]);
  }
  LinExprObject* e = as_linexpr(self);
  std::swap(e->coeffs_, coeffs.t);  // the old terms go when this scope ends
  std::swap(e->vars_, vars.t);
  e->constant_ = constant;
  e->ready_ = lists[0] != nullptr;
  linexpr_retrack(e);
}

// --- QuadExpr and PsdExpr: term lists and a linear part -------------------------------------
//
// Their term lists show as None only while the expression was never
// constructed (no linear part) and holds no terms.

bool terms_absent(PyObject* lin, std::initializer_list<const TermList*> lists) {
  if (lin != Py_None) return false;
  for (const TermList* t : lists)
    if (terms_size(*t) != 0) return false;
  return true;
}

// Item 1 of the state goes to the linear part `lin_field` (a LinExpr or
// None), the items at `positions` to the parallel term lists `fields`.
template <size_t N>
void set_with_linear_part(PyObject* state, PyObject*& lin_field, const Py_ssize_t (&positions)[N],
                          const TermKind (&kinds)[N], TermList* (&fields)[N]) {
  PyObject* lin = item(state, 1);
  check_instance_or_none(lin, &LinExprType);
  PyObject* values[N];
  for (size_t k = 0; k < N; ++k) values[k] = item(state, positions[k]);
  const TermList* lists[N];
  check_parallel(values, kinds, lists);
  OwnedTerms old[N];
  store_parallel(fields, lists, old);
  Ref old_lin = Ref::steal(lin_field);
  lin_field = Py_NewRef(lin);
}

// Coefficients kept as numbers show as a List of floats made from them.
Ref quadexpr_get(PyObject* self) {
  QuadExprObject* q = as_quadexpr(self);
  const QuadCoeffs& c = q->coeffs_;
  const bool present = !(terms_absent(q->lin_, {&q->vars1_, &q->vars2_}) && qcoeffs_size(c) == 0);
  Ref coeffs = !present ? Ref::borrow(Py_None) : c.objects ? list_from_terms(c.objs) : list_from_numbers(c.nums);
  Ref vars1 = list_or_none(q->vars1_, present);
  Ref vars2 = list_or_none(q->vars2_, present);
  return tuple_of(coeffs.get(), q->lin_, vars1.get(), vars2.get());
}

// The coefficients are kept as the floats' values when every one is an exact
// float, else as the objects given (an int listed to addTerms, the int 1 of a
// product of two variable arrays).
void quadexpr_set(PyObject* self, PyObject* state) {
  QuadExprObject* q = as_quadexpr(self);
  PyObject* lin = item(state, 1);
  check_instance_or_none(lin, &LinExprType);
  PyObject* const values[] = {item(state, 0), item(state, 2), item(state, 3)};
  const TermList* lists[3];
  check_parallel(values, {TermKind::Any, TermKind::Var, TermKind::Var}, lists);
  OwnedCoeffs coeffs;
  if (lists[0]) {
    const TermList& given = *lists[0];
    const Py_ssize_t n = terms_size(given);
    bool floats = true;
    for (Py_ssize_t i = 0; floats && i < n; ++i) floats = PyFloat_CheckExact(terms_at(given, i));
    if (floats) {
      nums_reserve(coeffs.t.nums, n);
      for (Py_ssize_t i = 0; i < n; ++i) nums_append_reserved(coeffs.t.nums, PyFloat_AS_DOUBLE(terms_at(given, i)));
    } else {
      coeffs.t.objects = true;
      coeffs.t.objs = terms_copy(given);
    }
  }
  TermList* fields[] = {&q->vars1_, &q->vars2_};
  const TermList* vars[] = {lists[1], lists[2]};
  OwnedTerms old[2];
  store_parallel(fields, vars, old);
  std::swap(q->coeffs_, coeffs.t);  // the old terms go when this scope ends
  Ref old_lin = Ref::steal(q->lin_);
  q->lin_ = Py_NewRef(lin);
}

Ref psdexpr_get(PyObject* self) {
  PsdExprObject* e = as_psdexpr(self);
  const bool present = !terms_absent(e->lin_, {&e->coeffs_, &e->vars_});
  Ref coeffs = list_or_none(e->coeffs_, present);
  Ref vars = list_or_none(e->vars_, present);
  return tuple_of(coeffs.get(), e->lin_, vars.get());
}

void psdexpr_set(PyObject* self, PyObject* state) {
  PsdExprObject* e = as_psdexpr(self);
  TermList* fields[] = {&e->coeffs_, &e->vars_};
  set_with_linear_part(state, e->lin_, {0, 2}, {TermKind::Any, TermKind::PsdVar}, fields);
}

// --- TempConstr ----------------------------------------------------------------------------

Ref tempconstr_get(PyObject* self) {
  TempConstrObject* t = as_tempconstr(self);
  return tuple_of(t->expr_, t->lhs_, t->rhs_);
}

// Any objects are taken. The remembered pair of an `x == y` no longer
// describes the new fields and is forgotten.
void tempconstr_set(PyObject* self, PyObject* state) {
  TempConstrObject* t = as_tempconstr(self);
  Ref old[] = {Ref::steal(t->expr_), Ref::steal(t->lhs_), Ref::steal(t->rhs_), Ref::steal(t->eq_left_),
               Ref::steal(t->eq_right_)};
  t->expr_ = Py_NewRef(item(state, 0));
  t->lhs_ = Py_NewRef(item(state, 1));
  t->rhs_ = Py_NewRef(item(state, 2));
  t->eq_left_ = nullptr;
  t->eq_right_ = nullptr;
}

// --- Column --------------------------------------------------------------------------------

Ref column_get(PyObject* self) {
  ColumnObject* c = as_column(self);
  return tuple_of(none_if_null(c->coeffs_), none_if_null(c->constrs_));
}

void column_set(PyObject* self, PyObject* state) {
  PyObject* coeffs = item(state, 0);
  PyObject* constrs = item(state, 1);
  check_list_or_none(coeffs);
  check_list_or_none(constrs);
  if (coeffs != Py_None && constrs != Py_None && PyList_GET_SIZE(coeffs) != PyList_GET_SIZE(constrs))
    raise_format(PyExc_TypeError, "Expected term lists of equal length, got %zd and %zd", PyList_GET_SIZE(coeffs),
                 PyList_GET_SIZE(constrs));
  ColumnObject* c = as_column(self);
  Ref old[] = {Ref::steal(c->coeffs_), Ref::steal(c->constrs_)};
  c->coeffs_ = Py_NewRef(coeffs);
  c->constrs_ = Py_NewRef(constrs);
}

// --- the table ---------------------------------------------------------------------------------
//
// Checksums: the first 28 bits of the SHA-256, SHA-1 and MD5 digests of the
// field names in state order joined by single blanks.
const FieldState kFieldStates[] = {
    {&VelmorErrorType, "errno_, message_", 2, 0b10, {0xd41db47, 0x8b85e0d, 0xfaf70de}, velmorerror_get,
     velmorerror_set, PickleItems::None},
    {&OperandType, "", 0, 0, {0xe3b0c44, 0xda39a3e, 0xd41d8cd}, operand_get, operand_set, PickleItems::None},
    {&TupleListType, "tuple_index_, wildcard_", 2, 0b11, {0x7a47fbf, 0x7237cf7, 0xf6bc9d3}, tuplelist_get,
     tuplelist_set, PickleItems::ListItems},
    {&TupleDictType, "keys_", 1, 0b1, {0x834c73b, 0x54744be, 0x5f2a4ad}, tupledict_get, tupledict_set,
     PickleItems::DictItems},
    {&MVarType, "vararr_", 1, 0b1, {0x68af3d6, 0xc8693f5, 0xb948fef}, matrix_get, matrix_set, PickleItems::None},
    {&MConstrType, "constrarr_", 1, 0b1, {0x170288c, 0xba0fd60, 0x73171cd}, matrix_get, matrix_set,
     PickleItems::None},
    {&LinExprType, "coeffs_, constant_, vars_", 3, 0b101, {0x82fd631, 0x44eafa2, 0x0317f5f}, linexpr_get,
     linexpr_set, PickleItems::None},
    {&QuadExprType, "coeffs_, lin_, vars1_, vars2_", 4, 0b1111, {0x273855f, 0x08e3da0, 0x8d22c2f}, quadexpr_get,
     quadexpr_set, PickleItems::None},
    {&MLinExprType, "linexprarr_", 1, 0b1, {0x03d4a69, 0xeffeb6f, 0x5519b9f}, matrix_get, matrix_set,
     PickleItems::None},
    {&MQuadExprType, "quadexprarr_", 1, 0b1, {0x6b892d3, 0x0ae4823, 0xbabc00b}, matrix_get, matrix_set,
     PickleItems::None},
    {&PsdExprType, "coeffs_, lin_, vars_", 3, 0b111, {0x9e58bed, 0xce4d3f0, 0xd0de8d5}, psdexpr_get, psdexpr_set,
     PickleItems::None},
    {&TempConstrType, "expr_, lhs_, rhs_", 3, 0b111, {0x4b64fd6, 0xe99d4a0, 0x057b779}, tempconstr_get,
     tempconstr_set, PickleItems::None},
    {&ColumnType, "coeffs_, constrs_", 2, 0b11, {0x2a3a231, 0xc703916, 0xf98b386}, column_get, column_set,
     PickleItems::None},
};

}  // namespace

const FieldState* field_states(size_t* count) {
  *count = sizeof kFieldStates / sizeof kFieldStates[0];
  return kFieldStates;
}

}  // namespace velmorpy
