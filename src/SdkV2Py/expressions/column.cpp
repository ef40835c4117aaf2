// Column: its slots, methods and type object.
#include "expressions/column.hpp"

#include <algorithm>
#include <utility>

#include "attributes/constr.hpp"
#include "attributes/handle.hpp"
#include "expressions/terms.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/function.hpp"
#include "runtime/members.hpp"
#include "runtime/strings.hpp"
#include "runtime/types.hpp"

namespace velmorpy {

namespace {

Ref new_list() { return take(PyList_New(0)); }

// list.append(item); a field that is not a list (None before the constructor
// ran) fails as the interpreter's attribute look-up does.
void append(PyObject* list, PyObject* item) {
  if (PyList_Check(list)) {
    check(PyList_Append(list, item));
    return;
  }
  take(PyObject_CallMethodOneArg(list, VLM_STR("append"), item));
}

// Appends one pair to both lists, so they never differ in length: when the
// second append fails the first is taken back. Runs no Python code between
// the two, so the lists are the column's current ones.
void append_pair(ColumnObject* self, PyObject* coeff, PyObject* constr) {
  append(self->coeffs_, coeff);
  try {
    append(self->constrs_, constr);
  } catch (...) {
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    const Py_ssize_t n = PyObject_Length(self->coeffs_);
    if (n > 0) PySequence_DelItem(self->coeffs_, n - 1);
    PyErr_Clear();
    PyErr_Restore(type, value, tb);
    throw;
  }
}

// Puts both lists in place before the old ones go: a finaliser their items
// run sees the new pairs whole, and what it adds stays.
void replace_lists(ColumnObject* col, Ref coeffs, Ref constrs) noexcept {
  const Ref old[] = {Ref::steal(std::exchange(col->coeffs_, coeffs.release())),
                     Ref::steal(std::exchange(col->constrs_, constrs.release()))};
}

// Each pair is checked whole before it is added: its coefficient converted by
// float(), its constraint tested. A refused pair leaves the pairs before it.
void add_terms(ColumnObject* self, PyObject* coeffs, PyObject* constrs) {
  if (is_listlike(coeffs)) {
    const Py_ssize_t n = PyObject_Length(coeffs);
    if (n < 0) throw_error_set();
    for (Py_ssize_t i = 0; i < n; ++i) {
      Ref c = take(PySequence_GetItem(coeffs, i));
      Ref coeff = take(PyNumber_Float(c.get()));
      Ref constr = take(PySequence_GetItem(constrs, i));
      if (!is_constr(constr.get())) raise_velmor_text("Expect a list of constr");
      append_pair(self, coeff.get(), constr.get());
    }
    return;
  }
  if (!is_constr(constrs)) raise_velmor_text("Expect a constr");
  Ref coeff = take(PyNumber_Float(coeffs));
  append_pair(self, coeff.get(), constrs);
}

// Position `i` of a pair, counted from the end when negative; IndexError
// outside [-size, size).
Py_ssize_t pair_position(ColumnObject* self, PyObject* i) {
  int64_t k = integer_only(i);
  const Py_ssize_t n = PyObject_Length(self->coeffs_);
  if (n < 0) throw_error_set();
  if (k < 0) k += n;
  if (k < 0 || k >= n) raise(PyExc_IndexError, "Column index out of range");
  return static_cast<Py_ssize_t>(k);
}

// size(), called by name unless self is exactly a Column, as a loop bound:
// an integer, none when negative. Throws.
int64_t pairs_to_visit(PyObject* self) {
  if (Py_IS_TYPE(self, &ColumnType)) {
    const Py_ssize_t n = PyObject_Length(as_column(self)->constrs_);
    if (n < 0) throw_error_set();
    return n;
  }
  Ref size = take(PyObject_CallMethodNoArgs(self, VLM_STR("size")));
  return std::max<int64_t>(integer_only<int64_t>(size.get()), 0);
}

// --- slots ---------------------------------------------------------------------

PyObject* column_new(PyTypeObject* type, PyObject*, PyObject*) noexcept {
  PyObject* self = type->tp_alloc(type, 0);
  if (!self) return nullptr;
  as_column(self)->coeffs_ = Py_NewRef(Py_None);
  as_column(self)->constrs_ = Py_NewRef(Py_None);
  return self;
}

int column_init(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
  return guarded_int([&] {
    Args a;
    if (unpack_init(&ColumnType, args, kwargs, a) < 0) throw_error_set();
    ColumnObject* col = as_column(self);
    replace_lists(col, new_list(), new_list());
    if (a[0] == Py_None && a[1] == Py_None) return 0;
    if (a[0] == Py_None) raise_velmor_text("Argument `coeffs` cannot be None");
    if (a[1] == Py_None) raise_velmor_text("Argument `constrs` cannot be None");
    take(PyObject_CallMethodObjArgs(self, VLM_STR("addTerms"), a[0], a[1], nullptr));
    return 0;
  });
}

int column_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
  Py_VISIT(as_column(self)->coeffs_);
  Py_VISIT(as_column(self)->constrs_);
  return 0;
}

int column_clear(PyObject* self) noexcept {
  replace_lists(as_column(self), Ref::borrow(Py_None), Ref::borrow(Py_None));
  return 0;
}

void column_dealloc(PyObject* self) noexcept {
  PyObject_GC_UnTrack(self);
  Py_CLEAR(as_column(self)->coeffs_);
  Py_CLEAR(as_column(self)->constrs_);
  Py_TYPE(self)->tp_free(self);
}

// --- methods -------------------------------------------------------------------

PyObject* column_addTerms(PyObject* self, const Args& a) {
  add_terms(as_column(self), a[0], a[1]);
  Py_RETURN_NONE;
}

// The lists are held while the constructor's addTerms runs the coefficients' code.
PyObject* column_copy(PyObject* self, const Args&) {
  const Ref coeffs = Ref::borrow(as_column(self)->coeffs_), constrs = Ref::borrow(as_column(self)->constrs_);
  return PyObject_CallFunctionObjArgs(reinterpret_cast<PyObject*>(&ColumnType), coeffs.get(), constrs.get(), nullptr);
}

// The position is converted (which may run code) before the list is read.
PyObject* column_getCoeff(PyObject* self, const Args& a) {
  ColumnObject* col = as_column(self);
  const Py_ssize_t i = pair_position(col, a[0]);
  return PySequence_GetItem(col->coeffs_, i);
}

PyObject* column_getConstr(PyObject* self, const Args& a) {
  ColumnObject* col = as_column(self);
  const Py_ssize_t i = pair_position(col, a[0]);
  return PySequence_GetItem(col->constrs_, i);
}

PyObject* column_size(PyObject* self, const Args&) {
  const Py_ssize_t n = PyObject_Length(as_column(self)->coeffs_);
  return n < 0 ? nullptr : PyLong_FromSsize_t(n);
}

PyObject* column_clear_method(PyObject* self, const Args&) {
  replace_lists(as_column(self), new_list(), new_list());
  Py_RETURN_NONE;
}

PyObject* column_remove(PyObject* self, const Args& a) {
  ColumnObject* col = as_column(self);
  PyObject* item = a[0];
  if (PyLong_Check(item)) {
    const Py_ssize_t i = PyNumber_AsSsize_t(item, PyExc_IndexError);
    if (i == -1 && PyErr_Occurred()) throw_error_set();
    const Py_ssize_t n = PyObject_Length(col->coeffs_);
    if (n < 0) throw_error_set();
    const Py_ssize_t k = i < 0 ? i + n : i;
    if (k < 0 || k >= n) raise(PyExc_IndexError, "list assignment index out of range");
    // Both items are held until both are out: no finaliser runs in between.
    const Ref lists[] = {Ref::borrow(col->coeffs_), Ref::borrow(col->constrs_)};
    const Ref items[] = {take(PySequence_GetItem(lists[0].get(), k)), take(PySequence_GetItem(lists[1].get(), k))};
    check(PySequence_DelItem(lists[0].get(), k));
    check(PySequence_DelItem(lists[1].get(), k));
    Py_RETURN_NONE;
  }
  if (!is_constr(item)) raise(PyExc_TypeError, "Argument `item` should be an integer or constr");
  Ref pin = Ref::borrow(self);
  // The pairs visited are those below size(), called by name: a subclass's
  // answer decides (the pairs beyond it are dropped, a count beyond the
  // lists ends in the list's IndexError).
  const int64_t n = pairs_to_visit(self);
  Ref coeffs = new_list(), constrs = new_list();
  for (int64_t i = 0; i < n; ++i) {
    Ref constr = take(PySequence_GetItem(col->constrs_, i));
    if (is_constr(constr.get()) && same_item(constr.get(), item)) continue;
    Ref coeff = take(PySequence_GetItem(col->coeffs_, i));
    check(PyList_Append(coeffs.get(), coeff.get()));
    check(PyList_Append(constrs.get(), constr.get()));
  }
  replace_lists(col, std::move(coeffs), std::move(constrs));
  Py_RETURN_NONE;
}

const char addTerms_doc[] = METHOD_DOC("addTerms(coeffs, constrs)",
                                       "Add one or more pairs of coefficient and constraint to the column.",
                                       "coeffs: a coefficient, or a list, tuple or numpy array of coefficients\n"
                                       "            constrs: a Constr, or a list of Constr parallel to coeffs",
                                       "col.addTerms(1.0, c0)\n"
                                       "            col.addTerms([1.0, 2.0], [c0, c1])");

const char copy_doc[] = METHOD_DOC("copy()", "Return a copy of the column.", "None", "col2 = col.copy()");

const char getCoeff_doc[] = METHOD_DOC("getCoeff(index)", "Return the coefficient of a pair of the column.",
                                       "index: the position of the pair; negative positions count from the end",
                                       "coeff = col.getCoeff(0)");

const char getConstr_doc[] = METHOD_DOC("getConstr(index)", "Return the constraint of a pair of the column.",
                                        "index: the position of the pair; negative positions count from the end",
                                        "constr = col.getConstr(0)");

const char size_doc[] = METHOD_DOC("size()", "Return the number of pairs of the column.", "None", "n = col.size()");

const char clear_doc[] = METHOD_DOC("clear()", "Remove every pair from the column.", "None", "col.clear()");

const char remove_doc[] = METHOD_DOC("remove(item)", "Remove the pair at a position, or every pair of a constraint.",
                                     "item: the position of a pair, or a Constr",
                                     "col.remove(0)\n"
                                     "            col.remove(c1)");

const FunctionDef column_members[] = {
    {"addTerms", "self, coeffs, constrs", column_addTerms, Kind::Method, addTerms_doc, __LINE__},
    {"copy", "self", column_copy, Kind::Method, copy_doc, __LINE__},
    {"getCoeff", "self, i", column_getCoeff, Kind::Method, getCoeff_doc, __LINE__},
    {"getConstr", "self, i", column_getConstr, Kind::Method, getConstr_doc, __LINE__},
    {"size", "self", column_size, Kind::Method, size_doc, __LINE__},
    {"clear", "self", column_clear_method, Kind::Method, clear_doc, __LINE__},
    {"remove", "self, item", column_remove, Kind::Method, remove_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

const char column_init_params[] = "coeffs=None, constrs=None";

const char column_init_doc[] =
    METHOD_DOC("__init__(coeffs=None, constrs=None)",
               "Construct a Column: the coefficients of one variable in existing constraints.",
               "coeffs: a coefficient, or a list of coefficients\n"
               "            constrs: a Constr, or a list of Constr parallel to coeffs",
               "col = Column([1.0, 2.0], [c0, c1])\n"
               "            x = m.addVar(column=col)");

Ref column_of_lists(Ref coeffs, Ref constrs) {
  Ref column = take(column_new(&ColumnType, nullptr, nullptr));
  Py_SETREF(as_column(column.get())->coeffs_, coeffs.release());
  Py_SETREF(as_column(column.get())->constrs_, constrs.release());
  return column;
}

PyTypeObject ColumnType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_column() {
  ColumnType.tp_name = "velmorpy.Column";
  ColumnType.tp_basicsize = sizeof(ColumnObject);
  ColumnType.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC;
  ColumnType.tp_new = slot(column_new);
  ColumnType.tp_init = slot(column_init);
  ColumnType.tp_dealloc = slot(column_dealloc);
  ColumnType.tp_traverse = slot(column_traverse);
  ColumnType.tp_clear = slot(column_clear);
}

void bind_column_namespace() {
  bind_public_members(&ColumnType, column_members, __FILE__);
}

}  // namespace velmorpy
