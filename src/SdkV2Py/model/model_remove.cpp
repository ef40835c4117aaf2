// Model.remove: the walk over what to remove, and the removal of each kind.
#include "model/model_remove.hpp"

#include "runtime/numpy.hpp"

#include <velmor.h>

#include <algorithm>
#include <climits>
#include <initializer_list>
#include <utility>

#include "attributes/handle.hpp"
#include "matrix/matrix_array.hpp"
#include "matrix/mconstr.hpp"
#include "matrix/mvar.hpp"
#include "model/model.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/holder.hpp"
#include "runtime/state.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

namespace {

const char kPsdVar[] = "remove psd variable temporary not support";
const char kPsdConstr[] = "remove psd constraint temporary not support";
const char kUnsupported[] = "unsupported type: `%s`";
const char kChanged[] = "velmorpy: the model's items changed while they were being removed";
const char kTooMany[] = "value too large to convert to int";

// numpy.isscalar(item), asking NumPy only for what the common types do not
// settle.
bool is_scalar(PyObject* item) {
  PyTypeObject* t = Py_TYPE(item);
  if (t == &PyLong_Type || t == &PyFloat_Type || t == &PyBool_Type || t == &PyComplex_Type || t == &PyUnicode_Type ||
      t == &PyBytes_Type)
    return true;
  if (item == Py_None || t == &PyList_Type || t == &PyTuple_Type || t == &PySet_Type || t == &PyFrozenSet_Type)
    return false;
  if (PyArray_IsAnyScalar(item)) return true;
  Ref np = module_global("_np");
  Ref answer = take(PyObject_CallMethod(np.get(), "isscalar", "O", item));
  return check(PyObject_IsTrue(answer.get())) != 0;
}

// Walks every element `iterable` yields; each is held while it is walked.
void walk_elements(const Ref& holder, PyObject* iterable, RemovalItems& out) {
  Ref iter = take(PyObject_GetIter(iterable));
  while (PyObject* next = PyIter_Next(iter.get())) {
    Ref element = Ref::steal(next);
    model_getids(holder, element.get(), out);
  }
  if (PyErr_Occurred()) throw_error_set();
}

// The distinct non-negative indices of `handles`, ascending: read now, after
// the walk, so that what Python code run by the walk changed is seen.
std::vector<int32_t> ids_of(const std::vector<Ref>& handles) {
  std::vector<int32_t> ids;
  ids.reserve(handles.size());
  for (const Ref& h : handles)
    if (as_handle(h.get())->index >= 0) ids.push_back(as_handle(h.get())->index);
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

// One kind of item: its library call and the model's lists that follow it.
struct RemovalStep {
  std::vector<Ref> RemovalItems::*found;
  int (*del)(VLMmodel*, int, const int*);
  std::initializer_list<PyObject* ModelObject::*> lists;
};

// Each kind's ids go to the library in one call, in this order; a refusal
// leaves that kind and the later ones as they were (the earlier ones stay
// removed). Every list is renumbered only once the library deleted the items.
PyObject* model_remove(PyObject* self, const Args& a) {
  const Ref holder = holder_of(self);
  RemovalItems items;
  model_getids(holder, a[0], items);
  ModelObject* m = as_model(self);
  const RemovalStep steps[] = {
      {&RemovalItems::vars, VLMdelvars, {&ModelObject::vars_}},
      {&RemovalItems::constrs, VLMdelconstrs, {&ModelObject::constrs_, &ModelObject::psdconstrs_}},
      {&RemovalItems::soss, VLMdelsos, {&ModelObject::soss_}},
      {&RemovalItems::genconstrs, VLMdelgenconstrs, {&ModelObject::genconstrs_}},
  };
  for (const RemovalStep& step : steps) {
    const std::vector<int32_t> ids = ids_of(items.*step.found);
    if (ids.empty()) continue;
    if (ids.size() > static_cast<size_t>(INT_MAX)) raise(PyExc_OverflowError, kTooMany);
    std::vector<ListRenumbering> lists;
    lists.reserve(step.lists.size());
    for (PyObject* ModelObject::*field : step.lists) lists.emplace_back(Ref::borrow(m->*field), ids, holder);
    VLMmodel* mdl = live_model(holder);  // may let other threads run while it waits
    size_t k = 0;
    for (PyObject* ModelObject::*field : step.lists)
      if (!lists[k++].unchanged(m->*field)) raise(PyExc_RuntimeError, kChanged);
    check_rc(step.del(mdl, static_cast<int>(ids.size()), ids.data()));
    note_renumbering(holder);
    k = 0;
    for (PyObject* ModelObject::*field : step.lists) {
      Ref renumbered = lists[k++].apply();
      Py_XSETREF(m->*field, renumbered.release());
    }
  }
  Py_RETURN_NONE;
}

// --- documentation -------------------------------------------------------------

const char remove_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            remove(items)\n"
    "\n"
    "        PURPOSE:\n"
    "            Remove variables, linear constraints, SOS constraints or general constraints from\n"
    "            the model. The items that stay are numbered afresh; a removed item's handle can\n"
    "            no longer be used.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            items: a Var, Constr, SOS, GenConstr, MVar or MConstr, or a list, tuple, dict\n"
    "                   (its values) or other container of them, nested to any depth\n"
    "\n"
    "        EXAMPLE:\n"
    "            m.remove(x)\n"
    "            m.remove([x, c0, s])\n"
    "            m.remove(m.getConstrs()[:3])\n"
    "        ";

const FunctionDef model_remove_members[] = {
    {"remove", "self, items", model_remove, Kind::Method, remove_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

void model_getids(const Ref& holder, PyObject* item, RemovalItems& out) {
  if (const HandleClass* cls = handle_class_of(item)) {
    if (cls->kind == AttrKind::PsdVar) raise(PyExc_TypeError, kPsdVar);
    if (cls->kind == AttrKind::PsdConstr) raise(PyExc_TypeError, kPsdConstr);
    if (as_handle(item)->holder_ != holder.get()) raise_holds_other_model("items");
    std::vector<Ref>& found = cls->kind == AttrKind::Var      ? out.vars
                              : cls->kind == AttrKind::Constr ? out.constrs
                              : cls->kind == AttrKind::SOS    ? out.soss
                                                              : out.genconstrs;
    found.push_back(Ref::borrow(item));
    return;
  }
  RecursionGuard level(" while walking the items to remove");  // a container that holds itself ends here
  PyTypeObject* t = Py_TYPE(item);
  if (t == &PyList_Type) {
    Ref copy = take(PyList_GetSlice(item, 0, PyList_GET_SIZE(item)));  // the walk may change the list
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(copy.get()); ++i) model_getids(holder, PyList_GET_ITEM(copy.get(), i), out);
    return;
  }
  if (t == &PyTuple_Type) {
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(item); ++i) model_getids(holder, PyTuple_GET_ITEM(item, i), out);
    return;
  }
  if (PyDict_Check(item)) {
    Ref values = take(PyDict_Values(item));
    model_getids(holder, values.get(), out);
    return;
  }
  Ref cells = PyArray_Check(item) ? Ref::borrow(item) : remove_matrix_cells(item);
  if (cells) {
    Ref flat = take(PyObject_GetAttr(cells.get(), VLM_STR("flat")));
    walk_elements(holder, flat.get(), out);
    return;
  }
  if (is_scalar(item)) raise_format(PyExc_TypeError, kUnsupported, _PyType_Name(t));
  // An expression array without cells yields nothing however many rows it
  // has: not one row object each (a shape of (2**31 - 1, 0) would take hours).
  if (matrix_class_of(item)) {
    PyObject* array = reinterpret_cast<MatrixObject*>(item)->array;
    if (PyArray_Check(array) && PyArray_SIZE(reinterpret_cast<PyArrayObject*>(array)) == 0) return;
  }
  walk_elements(holder, item, out);
}

ListRenumbering::ListRenumbering(const Ref& handles, const std::vector<int32_t>& ids, const Ref& holder)
    : handles_(Ref::borrow(handles.get())) {
  if (!PyList_Check(handles.get())) throw VlmCodeError{VLM_ERROR_INVALID_ARGUMENT};  // never initialised
  size_ = PyList_GET_SIZE(handles.get());
  // The removed positions as a bitmap over the list; an id beyond it names no
  // handle of the list.
  std::vector<bool> gone(static_cast<size_t>(size_), false);
  for (int32_t id : ids)
    if (id < size_) gone[static_cast<size_t>(id)] = true;
  std::vector<PyObject*> kept;
  kept.reserve(static_cast<size_t>(size_));
  for (Py_ssize_t i = 0; i < size_; ++i) {
    PyObject* h = PyList_GET_ITEM(handles.get(), i);
    if (!is_handle(h) || as_handle(h)->holder_ != holder.get() || as_handle(h)->index < 0) continue;
    const int32_t index = as_handle(h)->index;
    if (index < size_ && gone[static_cast<size_t>(index)]) {
      removed_.push_back(h);
    } else {
      kept.push_back(h);
    }
  }
  survivors_ = take(PyList_New(static_cast<Py_ssize_t>(kept.size())));
  for (size_t i = 0; i < kept.size(); ++i) PyList_SET_ITEM(survivors_.get(), static_cast<Py_ssize_t>(i), Py_NewRef(kept[i]));
}

bool ListRenumbering::unchanged(PyObject* current) const noexcept {
  return current == handles_.get() && PyList_GET_SIZE(current) == size_;
}

Ref ListRenumbering::apply() noexcept {
  for (PyObject* h : removed_) as_handle(h)->index = -1 - as_handle(h)->index;
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(survivors_.get()); ++i)
    as_handle(PyList_GET_ITEM(survivors_.get(), i))->index = static_cast<int32_t>(i);
  removed_.clear();
  return std::move(survivors_);
}

Ref remove_matrix_cells(PyObject* item) {
  PyObject* cells = is_mvar(item)      ? reinterpret_cast<MVarObject*>(item)->vararr_
                    : is_mconstr(item) ? reinterpret_cast<MConstrObject*>(item)->constrarr_
                                       : nullptr;
  return cells && PyArray_Check(cells) ? Ref::borrow(cells) : Ref();
}

const MemberTable model_remove_table = {model_remove_members, __FILE__};

}  // namespace velmorpy
