// tupledict: its slots, methods, internal makers and type object.
#include "containers/tupledict.hpp"

#include <utility>
#include <vector>

#include "algebra/object_arrays.hpp"
#include "algebra/quicksum.hpp"
#include "algebra/sum_builder.hpp"
#include "attributes/var.hpp"
#include "containers/builtins.hpp"
#include "containers/tuplelist.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/function.hpp"
#include "runtime/members.hpp"
#include "runtime/state.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

namespace {

PyObject* obj(TupleDictObject* self) { return reinterpret_cast<PyObject*>(self); }

void drop_keys(TupleDictObject* self) {
  Py_CLEAR(self->keys_);
  ++self->changes_;
}

// mapping.get(key), None when absent. An exact dict or tupledict is read from
// its storage; a subclass's own get() is honoured.
Ref mapping_get(PyObject* mapping, PyObject* key) {
  if (PyDict_CheckExact(mapping) || Py_IS_TYPE(mapping, &TupleDictType)) {
    PyObject* v = PyDict_GetItemWithError(mapping, key);
    if (!v) {
      if (PyErr_Occurred()) throw_error_set();
      return Ref::borrow(Py_None);
    }
    return Ref::borrow(v);
  }
  return take(PyObject_CallMethodOneArg(mapping, VLM_STR("get"), key));
}

// (key, coefficient) from one item of coeffs.items().
std::pair<Ref, Ref> unpack_pair(PyObject* item) {
  Ref first, second, extra;
  Py_ssize_t got = 0;
  if (PyTuple_CheckExact(item)) {
    got = PyTuple_GET_SIZE(item);
    if (got == 2) return {Ref::borrow(PyTuple_GET_ITEM(item, 0)), Ref::borrow(PyTuple_GET_ITEM(item, 1))};
  } else {
    Ref it = take(PyObject_GetIter(item));
    Ref* slots[] = {&first, &second, &extra};
    for (Ref* slot : slots) {
      PyObject* next = PyIter_Next(it.get());
      if (!next) {
        if (PyErr_Occurred()) throw_error_set();
        break;
      }
      *slot = Ref::steal(next);
      ++got;
    }
    if (got == 2) return {std::move(first), std::move(second)};
  }
  if (got > 2) raise_format(PyExc_ValueError, "too many values to unpack (expected %zd)", Py_ssize_t{2});
  raise_format(PyExc_ValueError, "need more than %zd value%.1s to unpack", got, got == 1 ? "" : "s");
}

// The sum quicksum([coeff * value, ...]) over the pairs given to add(), the
// coefficient the left operand; a value None adds nothing when `skip_none`. While
// `quicksum` is the module's own, the terms go straight into one SumBuilder,
// and an exact Var times an int or a float goes in as the one term that the
// product would hold (none for a zero coefficient) without making the
// product. A replaced quicksum is called with the list of the products.
class ProductSum {
 public:
  ProductSum() : quicksum_(module_global("quicksum")) {
    own_ = Py_IS_TYPE(quicksum_.get(), &FunctionType) &&
           reinterpret_cast<FunctionObject*>(quicksum_.get())->impl == &quicksum;
    if (!own_) terms_ = take(PyList_New(0));
  }

  void add(PyObject* coeff, PyObject* value, bool skip_none = true) {
    if (skip_none && value == Py_None) return;
    if (own_ && Py_IS_TYPE(value, &VarType) && PyFloat_CheckExact(coeff)) {
      if (PyFloat_AS_DOUBLE(coeff) != 0.0) sum_.add_var(value, PyFloat_AS_DOUBLE(coeff));
      return;
    }
    if (own_ && Py_IS_TYPE(value, &VarType) && PyLong_CheckExact(coeff)) {
      const double c = PyLong_AsDouble(coeff);
      if (c == -1.0 && PyErr_Occurred()) throw_error_set();
      if (c != 0.0) sum_.add_var(value, c);
      return;
    }
    check_object_nesting(coeff);  // arrays are multiplied by NumPy's loops
    check_object_nesting(value);
    Ref term = take(PyNumber_Multiply(coeff, value));
    if (own_) {
      add_to_sum(sum_, term.get());
    } else {
      check(PyList_Append(terms_.get(), term.get()));
    }
  }

  PyObject* result() {
    if (own_) return sum_.result().release();
    return PyObject_CallOneArg(quicksum_.get(), terms_.get());
  }

 private:
  Ref quicksum_;
  bool own_ = false;
  SumBuilder sum_;
  Ref terms_;
};

// --- slots -----------------------------------------------------------------------

PyObject* tupledict_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  PyObject* op = PyDict_Type.tp_new(type, args, kwargs);  // an empty dict; keys_ zero-filled
  if (op) as_tupledict(op)->changes_ = 0;
  return op;
}

int tupledict_init(PyObject* op, PyObject* args, PyObject* kwargs) noexcept {
  const int rc = PyDict_Type.tp_init(op, args, kwargs);
  drop_keys(as_tupledict(op));
  return rc;
}

int tupledict_traverse(PyObject* op, visitproc visit, void* arg) noexcept {
  Py_VISIT(as_tupledict(op)->keys_);
  return PyDict_Type.tp_traverse(op, visit, arg);
}

int tupledict_clear(PyObject* op) noexcept {
  drop_keys(as_tupledict(op));
  return PyDict_Type.tp_clear(op);
}

void tupledict_dealloc(PyObject* op) noexcept {
  PyObject_GC_UnTrack(op);
  Py_TRASHCAN_BEGIN(op, tupledict_dealloc)
  Py_CLEAR(as_tupledict(op)->keys_);
  PyDict_Type.tp_dealloc(op);  // frees the entries, then the object through tp_free
  Py_TRASHCAN_END
}

// Every change drops the key list before the dict's own operation and again
// after it: hashing and comparing keys runs user code that may query the dict.
int tupledict_ass_subscript(PyObject* op, PyObject* key, PyObject* value) noexcept {
  drop_keys(as_tupledict(op));
  const int rc = PyDict_Type.tp_as_mapping->mp_ass_subscript(op, key, value);
  drop_keys(as_tupledict(op));
  return rc;
}

// td |= other: the dict's own in-place union.
PyObject* tupledict_inplace_or(PyObject* op, PyObject* other) noexcept {
  drop_keys(as_tupledict(op));
  PyObject* r = PyDict_Type.tp_as_number->nb_inplace_or(op, other);
  drop_keys(as_tupledict(op));
  return r;
}

// --- methods -------------------------------------------------------------------------

PyObject* tupledict_select_method(PyObject* self, const Args& a) {
  Ref keys = tupledict_select(as_tupledict(self), a[0]);  // a new list nothing else reaches
  const Py_ssize_t n = PyList_GET_SIZE(keys.get());
  Ref values = take(PyList_New(n));
  for (Py_ssize_t k = 0; k < n; ++k) {
    // self[key] through the subscript, so a subclass's __getitem__ or __missing__ takes part.
    PyObject* value = check(PyObject_GetItem(self, PyList_GET_ITEM(keys.get(), k)));
    PyList_SET_ITEM(values.get(), k, value);
  }
  return values.release();
}

PyObject* tupledict_sum(PyObject* self, const Args& a) {
  Ref quicksum = module_global("quicksum");
  Ref select = take(PyObject_GetAttr(self, VLM_STR("select")));  // a subclass's select is used
  Ref values = take(PyObject_Call(select.get(), a[0], nullptr));
  return PyObject_CallOneArg(quicksum.get(), values.get());
}

PyObject* tupledict_prod(PyObject* self, const Args& a) {
  PyObject* coeffs = a[0];
  PyObject* query = a[1];
  if (!PyDict_Check(coeffs)) raise(PyExc_TypeError, "expect a dict for argument `coeffs`");
  ProductSum terms;
  if (PyTuple_GET_SIZE(query) == 0) {
    // Every coefficient, in the coefficients' order; keys the tupledict lacks are skipped.
    if (PyDict_CheckExact(coeffs)) {
      for_each_dict_item(coeffs, [&](PyObject* key, PyObject* coeff) {
        Ref value = mapping_get(self, key);
        terms.add(coeff, value.get());
      });
    } else {
      Ref items = take(PyObject_CallMethodNoArgs(coeffs, VLM_STR("items")));
      Ref it = take(PyObject_GetIter(items.get()));
      while (PyObject* next = PyIter_Next(it.get())) {
        Ref item = Ref::steal(next);
        auto [key, coeff] = unpack_pair(item.get());
        Ref value = mapping_get(self, key.get());
        terms.add(coeff.get(), value.get());
      }
      if (PyErr_Occurred()) throw_error_set();
    }
  } else {
    // The matching keys, in key order; keys without a coefficient are skipped.
    Ref keys = tupledict_select(as_tupledict(self), query);
    for (Py_ssize_t k = 0; k < PyList_GET_SIZE(keys.get()); ++k) {
      PyObject* key = PyList_GET_ITEM(keys.get(), k);
      Ref coeff = mapping_get(coeffs, key);
      if (coeff.get() == Py_None) continue;
      Ref value = take(PyObject_GetItem(self, key));
      terms.add(coeff.get(), value.get(), /*skip_none=*/false);
    }
  }
  return terms.result();
}

PyObject* tupledict_clean(PyObject* self, const Args&) {
  drop_keys(as_tupledict(self));
  Py_RETURN_NONE;
}

// The mutators below hand their arguments unchanged to the dict's own method.
PyObject* base_mutator(PyObject* self, PyObject* name, PyObject* const* args, size_t nargs) {
  drop_keys(as_tupledict(self));
  Ref r = call_base_method(&PyDict_Type, name, args, nargs);
  drop_keys(as_tupledict(self));
  return r.release();
}

PyObject* tupledict_clear_method(PyObject* self, const Args&) {
  PyObject* args[] = {self};
  return base_mutator(self, VLM_STR("clear"), args, 1);
}

PyObject* tupledict_pop(PyObject* self, const Args& a) {
  PyObject* args[] = {self, a[0]};
  return base_mutator(self, VLM_STR("pop"), args, 2);
}

PyObject* tupledict_popitem(PyObject* self, const Args&) {
  PyObject* args[] = {self};
  return base_mutator(self, VLM_STR("popitem"), args, 1);
}

PyObject* tupledict_setdefault(PyObject* self, const Args& a) {
  PyObject* args[] = {self, a[0], a[1]};
  return base_mutator(self, VLM_STR("setdefault"), args, 3);
}

PyObject* tupledict_update(PyObject* self, const Args& a) {
  PyObject* positional = a[0];  // the *args tuple
  const Py_ssize_t n = PyTuple_GET_SIZE(positional);
  std::vector<PyObject*> args(static_cast<size_t>(1 + n));
  args[0] = self;
  for (Py_ssize_t k = 0; k < n; ++k) args[k + 1] = PyTuple_GET_ITEM(positional, k);
  drop_keys(as_tupledict(self));
  Ref r = call_base_method_dict(&PyDict_Type, VLM_STR("update"), args.data(), args.size(),
                                PyDict_GET_SIZE(a[1]) ? a[1] : nullptr);
  drop_keys(as_tupledict(self));
  return r.release();
}

// --- tables ----------------------------------------------------------------------------

const char tupledict_select_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            select(*query)\n"
    "\n"
    "        PURPOSE:\n"
    "            Return a list of the values whose keys match the query, in the\n"
    "            order of the keys.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            query: one value per key field, from the first field on. A value\n"
    "                   matches the fields equal to it, '*' matches anything and\n"
    "                   a list or tuple matches any of its values. Fields beyond\n"
    "                   the end of the query are free; no query selects every value.\n"
    "\n"
    "        EXAMPLE:\n"
    "            x = m.addVars(3, 4)\n"
    "            x.select(1, '*')\n"
    "        ";

const char tupledict_sum_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            sum(*query=[])\n"
    "\n"
    "        PURPOSE:\n"
    "            Return the sum of the values whose keys match the query, as an\n"
    "            expression built by quicksum.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            query: as for select(); no query sums every value\n"
    "\n"
    "        EXAMPLE:\n"
    "            x = m.addVars(3, 4)\n"
    "            m.addConstr(x.sum(1, '*') <= 1)\n"
    "        ";

const char tupledict_prod_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            prod(coeffs, *query=[])\n"
    "\n"
    "        PURPOSE:\n"
    "            Return the sum of coeffs[k] * self[k] over the keys k that match\n"
    "            the query and have a coefficient, as an expression built by\n"
    "            quicksum.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            coeffs: a dict of coefficients keyed like the tupledict\n"
    "            query: as for select(); with no query every key of coeffs that\n"
    "                   the tupledict holds is used, in the order of coeffs\n"
    "\n"
    "        EXAMPLE:\n"
    "            x = m.addVars([(1, 1), (1, 2)])\n"
    "            m.setObjective(x.prod({(1, 1): 2.0, (1, 2): 3.0}))\n"
    "        ";

const char tupledict_clean_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            clean()\n"
    "\n"
    "        PURPOSE:\n"
    "            Drop the list and index of the keys that queries use, to free\n"
    "            their memory. The next query makes them again.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            x.clean()\n"
    "        ";

const FunctionDef tupledict_members[] = {
    {"select", "self, *query", tupledict_select_method, Kind::Method, tupledict_select_doc, __LINE__},
    {"sum", "self, *query", tupledict_sum, Kind::Method, tupledict_sum_doc, __LINE__},
    {"prod", "self, coeffs, *query", tupledict_prod, Kind::Method, tupledict_prod_doc, __LINE__},
    {"clean", "self", tupledict_clean, Kind::Method, tupledict_clean_doc, __LINE__},
    {"clear", "self", tupledict_clear_method, Kind::Method, nullptr, __LINE__},
    {"pop", "self, key", tupledict_pop, Kind::Method, nullptr, __LINE__},
    {"popitem", "self", tupledict_popitem, Kind::Method, nullptr, __LINE__},
    {"update", "self, *args, **kwargs", tupledict_update, Kind::Method, nullptr, __LINE__},
    {"setdefault", "self, key, default=None", tupledict_setdefault, Kind::Method, nullptr, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

PyNumberMethods tupledict_as_number = {};
PyMappingMethods tupledict_as_mapping = {};

}  // namespace

const char tupledict_init_doc[] =
    "\n"
    "    SIGNATURE:\n"
    "        __init__(*args, **kwargs)\n"
    "\n"
    "    PURPOSE:\n"
    "        Create a tupledict: a dict whose keys are scalars or tuples of one\n"
    "        length, which selects values by wildcard key queries (select) and\n"
    "        sums them (sum, prod).\n"
    "\n"
    "    ARGUMENTS:\n"
    "        As for dict().\n"
    "\n"
    "    EXAMPLE:\n"
    "        td = tupledict([((1, 2), 3), ((2, 2), 4)])\n"
    "        print(td.select('*', 2))\n"
    "    ";

// --- internal operations ---------------------------------------------------------------

void tupledict_drop_keys(TupleDictObject* self) noexcept { drop_keys(self); }

Ref make_tupledict() {
  Ref no_args = take(PyTuple_New(0));
  return take(tupledict_new(&TupleDictType, no_args.get(), nullptr));
}

Ref make_tupledict(Py_ssize_t expected) {
  Ref made = make_tupledict();
  if (expected <= 8) return made;
  // The interpreter sizes a plain dict for `expected` items in advance, but
  // not a subclass: the empty tables of a new dict of that size and of the
  // new tupledict trade places (both dicts are empty, each table keeps its
  // one owner), so that filling it makes no intermediate tables.
  Ref sized = take(_PyDict_NewPresized(expected));
  auto* a = reinterpret_cast<PyDictObject*>(made.get());
  auto* b = reinterpret_cast<PyDictObject*>(sized.get());
  if (a->ma_used != 0 || b->ma_used != 0 || a->ma_values || b->ma_values) return made;
  std::swap(a->ma_keys, b->ma_keys);
  return made;
}

Ref tupledict_select(TupleDictObject* self, PyObject* query) {
  Ref keys = Ref::borrow(self->keys_);
  if (!keys) {
    const uint64_t before = self->changes_;
    // The keys as the dict stores them (not a subclass's keys()): the key list
    // must describe what the dict holds.
    Ref stored = take(PyDict_Keys(obj(self)));
    keys = make_tuplelist(stored.get());
    if (self->changes_ == before) Py_XSETREF(self->keys_, Py_NewRef(keys.get()));
  }
  return tuplelist_select(as_tuplelist(keys.get()), query);
}

// --- type ------------------------------------------------------------------------------

PyTypeObject TupleDictType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_tupledict() {
  tupledict_as_number.nb_inplace_or = slot(tupledict_inplace_or);
  tupledict_as_mapping.mp_ass_subscript = slot(tupledict_ass_subscript);

  TupleDictType.tp_name = "velmorpy.tupledict";
  TupleDictType.tp_basicsize = sizeof(TupleDictObject);
  TupleDictType.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC;
  TupleDictType.tp_doc = tupledict_init_doc;
  TupleDictType.tp_base = &PyDict_Type;
  TupleDictType.tp_new = slot(tupledict_new);
  TupleDictType.tp_init = slot(tupledict_init);
  TupleDictType.tp_dealloc = slot(tupledict_dealloc);
  TupleDictType.tp_traverse = slot(tupledict_traverse);
  TupleDictType.tp_clear = slot(tupledict_clear);
  TupleDictType.tp_as_number = &tupledict_as_number;
  TupleDictType.tp_as_mapping = &tupledict_as_mapping;
}

void bind_tupledict_namespace() {
  bind_public_members(&TupleDictType, tupledict_members, __FILE__);
}

}  // namespace velmorpy
