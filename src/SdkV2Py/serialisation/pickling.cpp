// Pickling: the refusing classes, the reduce and setstate pair, the reconstructors.
#include "serialisation/pickling.hpp"

#include <array>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "attributes/constr.hpp"
#include "attributes/env.hpp"
#include "attributes/genconstr.hpp"
#include "attributes/param_class.hpp"
#include "attributes/psdconstr.hpp"
#include "attributes/psdvar.hpp"
#include "attributes/sos.hpp"
#include "attributes/var.hpp"
#include "containers/builtins.hpp"
#include "expressions/list.hpp"
#include "model/model.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/function.hpp"
#include "runtime/members.hpp"
#include "runtime/state.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

namespace {

// --- the refusing classes -------------------------------------------------------------

struct Refusal {
  PyTypeObject* type;
  const char* message;  // the fields that cannot be pickled
};

constexpr char kModelRefusal[] = "self.cbdata_,self.mdl_ cannot be converted to a Python object for pickling";
constexpr char kEnvRefusal[] = "self.env_ cannot be converted to a Python object for pickling";
constexpr char kHandleRefusal[] = "self.mdl_ cannot be converted to a Python object for pickling";
constexpr char kListRefusal[] = "self.list_ cannot be converted to a Python object for pickling";

const Refusal kRefusals[] = {
    {&VarType, kHandleRefusal},     {&PsdVarType, kHandleRefusal},    {&ConstrType, kHandleRefusal},
    {&SOSType, kHandleRefusal},     {&GenConstrType, kHandleRefusal}, {&PsdConstrType, kHandleRefusal},
    {&ListType, kListRefusal},      {&EnvType, kEnvRefusal},          {&ParamClassType, kEnvRefusal},
    {&ModelType, kModelRefusal},
};
constexpr size_t kNumRefusals = sizeof kRefusals / sizeof kRefusals[0];

template <size_t I>
PyObject* refuse(PyObject*, const Args&) {
  raise(PyExc_TypeError, kRefusals[I].message);
}

// --- rows ---------------------------------------------------------------------------------

// The value classes' methods are made per row (each function object knows its
// class's row without a look-up); rows beyond the table's length are unused.
constexpr size_t kMaxFieldStates = 16;

const FieldState& field_state(size_t i) {
  size_t n = 0;
  const FieldState* rows = field_states(&n);
  return rows[i];
}

const FieldState* field_state_of(PyTypeObject* type) {
  size_t n = 0;
  const FieldState* rows = field_states(&n);
  for (size_t i = 0; i < n; ++i)
    if (rows[i].type == type) return &rows[i];
  return nullptr;
}

std::string reconstructor_name(const FieldState& row) {
  return std::string("_unpickle_") + short_name(row.type);
}

// --- state ---------------------------------------------------------------------------------

// The instance dictionary (made now if the instance has a place for one but
// none yet), or null for an object without one. Runs no Python code.
Ref instance_dict(PyObject* self) {
  if (!_PyObject_GetDictPtr(self)) return Ref();
  return take(PyObject_GenericGetDict(self, nullptr));
}

// The set-state step: `state` is None or exactly a tuple. Every check comes
// before the first field is stored.
void set_state(const FieldState& row, PyObject* self, PyObject* state) {
  if (state == Py_None) {
    if (row.nfields == 0) raise(PyExc_TypeError, "object of type 'NoneType' has no len()");
    raise(PyExc_TypeError, "'NoneType' object is not subscriptable");
  }
  Ref pin = Ref::borrow(state);
  const Py_ssize_t n = PyTuple_GET_SIZE(state);
  if (n < row.nfields)
    raise_format(PyExc_TypeError, "Expected tuple of at least %zd items, got %zd", row.nfields, n);
  // The item after the fields updates the instance dictionary, if there is one.
  Ref extra;
  if (n > row.nfields && _PyObject_GetDictPtr(self)) {
    extra = Ref::borrow(PyTuple_GET_ITEM(state, row.nfields));
    if (!PyDict_Check(extra.get()))
      raise_format(PyExc_TypeError, "Expected %s, got %.200s", "dict", Py_TYPE(extra.get())->tp_name);
  }
  row.set(self, state);
  if (extra) {
    Ref dict = instance_dict(self);
    check(PyDict_Update(dict.get(), extra.get()));
  }
}

void check_state_kind(PyObject* state) {
  if (state != Py_None && !PyTuple_CheckExact(state))
    raise_format(PyExc_TypeError, "Expected %s, got %.200s", "tuple", Py_TYPE(state)->tp_name);
}

// The reconstructor named by a pickle: from the module's namespace, then the
// built-ins, looked up afresh on every reduction.
Ref find_reconstructor(const FieldState& row) {
  Ref name = take(PyUnicode_FromString(reconstructor_name(row).c_str()));
  for (PyObject* ns : {state().dict, PyModule_GetDict(state().builtins)}) {
    if (!ns) continue;
    PyObject* f = PyDict_GetItemWithError(ns, name.get());
    if (f) return Ref::borrow(f);
    if (PyErr_Occurred()) throw_error_set();
  }
  raise_format(PyExc_NameError, "name '%U' is not defined", name.get());
}

// The items a tuplelist or tupledict pickle carries: an iterator over the
// list's own items or the dict's own (key, value) pairs, past any override.
Ref items_iterator(const FieldState& row, PyObject* self) {
  if (row.items == PickleItems::ListItems) return take(PyList_Type.tp_iter(self));
  PyObject* args[] = {self};
  Ref view = call_base_method(&PyDict_Type, VLM_STR("items"), args, 1);
  return take(PyObject_GetIter(view.get()));
}

// (reconstructor, (class, checksum, state)) when the object has no instance
// dictionary and every object field is None; otherwise (reconstructor,
// (class, checksum, None), state). A container's items follow as the list
// or dict items of the reduce value.
PyObject* reduce(const FieldState& row, PyObject* self) {
  Ref fields = row.get(self);
  Ref dict = instance_dict(self);
  bool three_part = static_cast<bool>(dict);
  for (Py_ssize_t i = 0; i < row.nfields; ++i)
    if ((row.object_fields >> i) & 1u) three_part = three_part || PyTuple_GET_ITEM(fields.get(), i) != Py_None;
  Ref state = std::move(fields);
  if (dict) {
    Ref tail = take(PyTuple_Pack(1, dict.get()));
    state = take(PySequence_Concat(state.get(), tail.get()));
  }
  Ref reconstructor = find_reconstructor(row);
  Ref checksum = take(PyLong_FromLong(row.checksums[0]));
  PyObject* cls = reinterpret_cast<PyObject*>(Py_TYPE(self));
  Ref args = take(PyTuple_Pack(3, cls, checksum.get(), three_part ? Py_None : state.get()));
  PyObject* separate_state = three_part ? state.get() : Py_None;
  switch (row.items) {
    case PickleItems::None:
      if (!three_part) return PyTuple_Pack(2, reconstructor.get(), args.get());
      return PyTuple_Pack(3, reconstructor.get(), args.get(), separate_state);
    case PickleItems::ListItems: {
      Ref items = items_iterator(row, self);
      return PyTuple_Pack(4, reconstructor.get(), args.get(), separate_state, items.get());
    }
    case PickleItems::DictItems: {
      Ref items = items_iterator(row, self);
      return PyTuple_Pack(5, reconstructor.get(), args.get(), separate_state, Py_None, items.get());
    }
  }
  return nullptr;
}

// A checksum in the interpreter's %x wording: lower-case digits, a sign when negative.
Ref checksum_text(int32_t checksum) {
  const int64_t v = checksum;
  char text[24];
  std::snprintf(text, sizeof text, "%s%llx", v < 0 ? "-" : "", static_cast<unsigned long long>(v < 0 ? -v : v));
  return take(PyUnicode_FromString(text));
}

[[noreturn]] void raise_checksum_error(const FieldState& row, int32_t checksum) {
  Ref pickle = take(PyImport_ImportModule("pickle"));
  Ref error = take(PyObject_GetAttrString(pickle.get(), "PickleError"));
  Ref given = checksum_text(checksum);
  Ref message = take(PyUnicode_FromFormat("Incompatible checksums (0x%U vs (0x%07x, 0x%07x, 0x%07x) = (%s))",
                                          given.get(), row.checksums[0], row.checksums[1], row.checksums[2],
                                          row.fields));
  PyErr_SetObject(error.get(), message.get());
  throw PyErrAlreadySet{};
}

// _unpickle_<Class>(type, checksum, state): the checksum, the class (a
// subclass of the row's, tested before anything is made) and the state's
// kind are checked first; then the object is made by the row class's
// __new__, as Class.__new__(type) makes it, without __init__.
PyObject* reconstruct(PyObject* closure, const Args& a) {
  const FieldState& row = *field_state_of(reinterpret_cast<PyTypeObject*>(closure));
  const int32_t checksum = integer_only(a[1]);
  if (checksum != row.checksums[0] && checksum != row.checksums[1] && checksum != row.checksums[2])
    raise_checksum_error(row, checksum);
  Ref cls = Ref::borrow(a[0]);
  Ref state = Ref::borrow(a[2]);
  const char* name = short_name(row.type);
  if (!PyType_Check(cls.get()))
    raise_format(PyExc_TypeError, "%s.__new__(X): X is not a type object (%.200s)", name,
                 Py_TYPE(cls.get())->tp_name);
  PyTypeObject* type = reinterpret_cast<PyTypeObject*>(cls.get());
  if (!PyType_IsSubtype(type, row.type))
    raise_format(PyExc_TypeError, "%s.__new__(%.200s): %.200s is not a subtype of %s", name, type->tp_name,
                 type->tp_name, name);
  check_state_kind(state.get());
  // The interpreter's Class.__new__ also refuses a subclass whose own
  // allocation differs from the class's.
  Ref make = take(PyObject_GetAttrString(reinterpret_cast<PyObject*>(row.type), "__new__"));
  Ref obj = take(PyObject_CallOneArg(make.get(), cls.get()));
  if (!PyObject_TypeCheck(obj.get(), row.type))
    raise_format(PyExc_TypeError, "%s.__new__ returned %.200s", name, Py_TYPE(obj.get())->tp_name);
  if (state.get() != Py_None) set_state(row, obj.get(), state.get());
  return obj.release();
}

template <size_t I>
PyObject* reduce_at(PyObject* self, const Args&) {
  return reduce(field_state(I), self);
}

template <size_t I>
PyObject* setstate_at(PyObject* self, const Args& a) {
  Ref state = Ref::borrow(a[0]);
  check_state_kind(state.get());
  set_state(field_state(I), self, state.get());
  Py_RETURN_NONE;
}

// --- binding ------------------------------------------------------------------------------

struct Pair {
  Impl reduce;
  Impl setstate;
};

template <size_t... I>
constexpr std::array<Pair, sizeof...(I)> field_pairs(std::index_sequence<I...>) {
  return {{{reduce_at<I>, setstate_at<I>}...}};
}

template <size_t... I>
constexpr std::array<Impl, sizeof...(I)> refusals(std::index_sequence<I...>) {
  return {{refuse<I>...}};
}

const auto kFieldPairs = field_pairs(std::make_index_sequence<kMaxFieldStates>{});
const auto kRefusalImpls = refusals(std::make_index_sequence<kNumRefusals>{});

// The pair for `type`, or false when the class has no row.
bool pair_of(PyTypeObject* type, Pair* out) {
  size_t n = 0;
  const FieldState* rows = field_states(&n);
  if (n > kMaxFieldStates) raise(PyExc_SystemError, "velmorpy: too many pickled classes");
  for (size_t i = 0; i < n; ++i)
    if (rows[i].type == type) return *out = kFieldPairs[i], true;
  for (size_t i = 0; i < kNumRefusals; ++i)
    if (kRefusals[i].type == type) return *out = Pair{kRefusalImpls[i], kRefusalImpls[i]}, true;
  return false;
}

// The functions bound by install_pickling (they stay in their classes'
// dictionaries for the life of the process).
std::vector<PyObject*> bound_here;

bool bound_by_install(PyObject* f) {
  for (PyObject* b : bound_here)
    if (b == f) return true;
  return false;
}

void bind(PyTypeObject* type, const char* name, const char* params, Impl impl) {
  const FunctionDef def = {name, params, impl, Kind::Method, nullptr, __LINE__, true};
  Ref fn = make_member(type, def, __FILE__);
  check(PyDict_SetItemString(type->tp_dict, name, fn.get()));
  bound_here.push_back(fn.get());
}

void install_pair(PyTypeObject* type, const Pair& pair) {
  PyObject* base_getstate = _PyType_Lookup(&PyBaseObject_Type, VLM_STR("__getstate__"));
  PyObject* base_reduce_ex = _PyType_Lookup(&PyBaseObject_Type, VLM_STR("__reduce_ex__"));
  PyObject* base_reduce = _PyType_Lookup(&PyBaseObject_Type, VLM_STR("__reduce__"));
  if (!base_reduce_ex || !base_reduce) throw PyErrAlreadySet{};  // reported as "Unable to initialize pickling" 
  PyObject* getstate = _PyType_Lookup(type, VLM_STR("__getstate__"));
  if (getstate && getstate != base_getstate) return;
  if (_PyType_Lookup(type, VLM_STR("__reduce_ex__")) != base_reduce_ex) return;
  PyObject* reduce = _PyType_Lookup(type, VLM_STR("__reduce__"));
  if (reduce != base_reduce && !bound_by_install(reduce)) return;
  bind(type, "__reduce__", "self", pair.reduce);
  PyObject* setstate = _PyType_Lookup(type, VLM_STR("__setstate__"));
  if (!setstate || bound_by_install(setstate)) bind(type, "__setstate__", "self, state", pair.setstate);
  PyType_Modified(type);
}

}  // namespace

void install_pickling(PyTypeObject* type) {
  Pair pair;
  if (!pair_of(type, &pair)) return;
  try {
    install_pair(type, pair);
  } catch (const PyErrAlreadySet&) {
    if (!PyErr_Occurred())
      PyErr_Format(PyExc_RuntimeError, "Unable to initialize pickling for %.200s", short_name(type));
    throw;
  }
}

void bind_reconstructors() {
  size_t n = 0;
  const FieldState* rows = field_states(&n);
  for (size_t i = 0; i < n; ++i) {
    const std::string name = reconstructor_name(rows[i]);
    const FunctionDef def = {name.c_str(), "type, checksum, state", reconstruct, Kind::Function, nullptr, __LINE__};
    Ref fn = make_function(def, nullptr, nullptr, reinterpret_cast<PyObject*>(rows[i].type), __FILE__);
    check(PyDict_SetItemString(state().dict, name.c_str(), fn.get()));
  }
}

}  // namespace velmorpy
