// Model: its slots, methods, documentation and type object.
#include "model/model.hpp"

#include "runtime/numpy.hpp"

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

#include "attributes/attr_access.hpp"
#include "attributes/constr.hpp"
#include "attributes/default_env.hpp"
#include "attributes/env.hpp"
#include "attributes/genconstr.hpp"
#include "attributes/handle.hpp"
#include "attributes/names.hpp"
#include "attributes/param_class.hpp"
#include "attributes/psdconstr.hpp"
#include "attributes/psdvar.hpp"
#include "attributes/set_param.hpp"
#include "attributes/sos.hpp"
#include "attributes/var.hpp"
#include "expressions/column.hpp"
#include "matrix/model_matrix.hpp"
#include "model/model_callback.hpp"
#include "model/model_coeffs.hpp"
#include "model/model_constrs.hpp"
#include "model/model_generators.hpp"
#include "model/model_iis.hpp"
#include "model/model_items.hpp"
#include "model/model_objective.hpp"
#include "model/model_remove.hpp"
#include "model/model_solve.hpp"
#include "model/model_sos_indicators.hpp"
#include "model/model_vars.hpp"
#include "runtime/args.hpp"
#include "runtime/decorators.hpp"
#include "runtime/errors.hpp"
#include "runtime/finalize.hpp"
#include "runtime/function.hpp"
#include "runtime/holder.hpp"
#include "runtime/members.hpp"
#include "runtime/state.hpp"
#include "runtime/strings.hpp"
#include "runtime/text.hpp"
#include "runtime/types.hpp"

namespace velmorpy {

namespace {

// Raised for a "_" attribute that was never set: an AttributeError, so that
// hasattr() and getattr() with a default work, and a KeyError for code that
// catches the dict's error. Made at start-up.
PyObject* private_attr_error = nullptr;

// How many of the first two characters of `name` are "_" in a row.
int leading_underscores(PyObject* name) {
  const Py_ssize_t n = PyUnicode_GET_LENGTH(name);
  int k = 0;
  while (k < 2 && k < n && PyUnicode_READ_CHAR(name, k) == '_') ++k;
  return k;
}

// The model takes ownership of `mdl`: it is freed once through the holder,
// also when the holder cannot be made.
void attach(ModelObject* self, VLMmodel* mdl) {
  Ref holder = make_model_holder(mdl);
  Py_XSETREF(self->holder_, holder.release());
}

// Params and params: one parameter object of the model's own environment.
void bind_params(ModelObject* self) {
  Ref params = paramclass_new(holder_of(reinterpret_cast<PyObject*>(self)));
  Py_XSETREF(self->Params, Py_NewRef(params.get()));
  Py_XSETREF(self->params, params.release());
}

// Model(empty=True): lists and dictionary, no library model.
Ref make_empty_model() {
  Ref args = take(PyTuple_New(0));
  Ref kwargs = take(Py_BuildValue("{s:O}", "empty", Py_True));
  return take(PyObject_Call(reinterpret_cast<PyObject*>(&ModelType), args.get(), kwargs.get()));
}

void replace_list(PyObject*& field, PyTypeObject* type, const Ref& holder, int32_t count) {
  Ref list = take(PyList_New(count));
  for (int32_t i = 0; i < count; ++i) PyList_SET_ITEM(list.get(), i, handle_new(type, holder, i).release());
  Py_XSETREF(field, list.release());
}

// The column's terms as the library takes them: one per distinct row, rows
// ascending, coefficients of a repeated row summed (zeros kept).
struct ColumnTerms {
  std::vector<int> ind;
  std::vector<double> val;
};

ColumnTerms column_terms(const Ref& holder, PyObject* column) {
  // Snapshots: converting a coefficient may run code, which must not change
  // what is being read.
  Ref constrs = take(PySequence_List(as_column(column)->constrs_));
  Ref coeffs = take(PySequence_List(as_column(column)->coeffs_));
  const Py_ssize_t n = PyList_GET_SIZE(constrs.get());
  std::vector<std::pair<int, double>> terms;
  terms.reserve(static_cast<size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject* constr = PyList_GET_ITEM(constrs.get(), i);
    if (!is_constr(constr)) raise_cannot_convert(constr, ConstrType.tp_name);
    if (as_handle(constr)->holder_ != holder.get()) raise_holds_other_model("column");
    if (i >= PyList_GET_SIZE(coeffs.get())) raise(PyExc_IndexError, "list index out of range");
    terms.emplace_back(as_handle(constr)->index, as_double(PyList_GET_ITEM(coeffs.get(), i)));
  }
  std::stable_sort(terms.begin(), terms.end(),
                   [](const std::pair<int, double>& a, const std::pair<int, double>& b) { return a.first < b.first; });
  ColumnTerms out;
  for (const auto& [row, coeff] : terms) {
    if (!out.ind.empty() && out.ind.back() == row) {
      out.val.back() += coeff;
    } else {
      out.ind.push_back(row);
      out.val.push_back(coeff);
    }
  }
  return out;
}

// --- slots ---------------------------------------------------------------------

PyObject* model_new_slot(PyTypeObject* type, PyObject*, PyObject*) noexcept {
  PyObject* self = type->tp_alloc(type, 0);  // zero-filled, so traversal sees no field yet
  if (!self) return nullptr;
  ModelObject* m = as_model(self);
  for (PyObject** field : {&m->Params, &m->params, &m->private_attrs_, &m->callback_, &m->cbSolution, &m->vars_,
                           &m->constrs_, &m->soss_, &m->genconstrs_, &m->psdvars_, &m->psdconstrs_})
    *field = Py_NewRef(Py_None);
  return self;
}

int model_init(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
  return guarded_int([&] {
    Args a;
    if (unpack_init(&ModelType, args, kwargs, a) < 0) throw_error_set();
    check_arg_type(a[0], &PyUnicode_Type, "name", /*allow_none=*/false);
    ModelObject* m = as_model(self);
    // A second __init__ frees the library model the first one made.
    if (m->holder_) {
      dispose_holder(m->holder_);
      Py_CLEAR(m->holder_);
    }
    Ref attrs = take(PyDict_New());
    Py_XSETREF(m->private_attrs_, attrs.release());
    for (PyObject** list : {&m->vars_, &m->constrs_, &m->soss_, &m->genconstrs_, &m->psdvars_, &m->psdconstrs_}) {
      Ref fresh = take(PyList_New(0));
      Py_XSETREF(*list, fresh.release());
    }
    Py_XSETREF(m->Params, Py_NewRef(Py_None));
    Py_XSETREF(m->params, Py_NewRef(Py_None));
    if (as_bool(a[2])) return 0;
    CText name(a[0]);
    Ref env = a[1] == Py_None ? default_env(true) : Ref::borrow(a[1]);
    VLMmodel* mdl = nullptr;
    check_rc(VLMnewmodel(env_handle(env.get()), &mdl, name.get(), 0, nullptr, nullptr, nullptr, nullptr, nullptr));
    attach(m, mdl);
    bind_params(m);
    return 0;
  });
}

int model_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
  ModelObject* m = as_model(self);
  Py_VISIT(m->Params);
  Py_VISIT(m->params);
  Py_VISIT(m->private_attrs_);
  Py_VISIT(m->callback_);
  Py_VISIT(m->cbSolution);
  Py_VISIT(m->cb_error_);
  Py_VISIT(m->vars_);
  Py_VISIT(m->constrs_);
  Py_VISIT(m->soss_);
  Py_VISIT(m->genconstrs_);
  Py_VISIT(m->psdvars_);
  Py_VISIT(m->psdconstrs_);
  return 0;
}

int model_clear(PyObject* self) noexcept {
  ModelObject* m = as_model(self);
  for (PyObject** field : {&m->Params, &m->params, &m->private_attrs_, &m->callback_, &m->cbSolution, &m->vars_,
                           &m->constrs_, &m->soss_, &m->genconstrs_, &m->psdvars_, &m->psdconstrs_})
    Py_XSETREF(*field, Py_NewRef(Py_None));
  Py_CLEAR(m->cb_error_);
  return 0;
}

void model_finalize(PyObject* self) noexcept { call_dispose_unraisable(self, "velmorpy.Model.__del__"); }

// Frees the library model at the latest here, also when an overriding
// dispose() did not.
void model_dealloc(PyObject* op) noexcept {
  if (PyObject_CallFinalizerFromDealloc(op) < 0) return;  // resurrected by __del__
  PyObject_GC_UnTrack(op);
  ModelObject* m = as_model(op);
  dispose_holder_unraisable(m->holder_, "velmorpy.Model.__dealloc__");
  Py_CLEAR(m->holder_);
  Py_CLEAR(m->Params);
  Py_CLEAR(m->params);
  Py_CLEAR(m->private_attrs_);
  Py_CLEAR(m->callback_);
  Py_CLEAR(m->cbSolution);
  Py_CLEAR(m->cb_error_);
  Py_CLEAR(m->vars_);
  Py_CLEAR(m->constrs_);
  Py_CLEAR(m->soss_);
  Py_CLEAR(m->genconstrs_);
  Py_CLEAR(m->psdvars_);
  Py_CLEAR(m->psdconstrs_);
  Py_TYPE(op)->tp_free(op);
}

// Methods and properties first, looked up without making an AttributeError for
// a miss; then "__" names fail as usual, "_" names are the program's own
// attributes, and every other name is a model attribute.
PyObject* model_getattro(PyObject* self, PyObject* name) noexcept {
  if (!PyUnicode_Check(name)) return PyObject_GenericGetAttr(self, name);
  PyObject* found = _PyObject_GenericGetAttrWithDict(self, name, nullptr, /*suppress=*/1);
  if (found || PyErr_Occurred()) return found;
  const int underscores = leading_underscores(name);
  if (underscores == 2) return PyObject_GenericGetAttr(self, name);  // the interpreter's own AttributeError
  return guarded([&]() -> PyObject* {
    ModelObject* m = as_model(self);
    if (underscores == 1) {
      PyObject* v = PyDict_Check(m->private_attrs_) ? PyDict_GetItemWithError(m->private_attrs_, name) : nullptr;
      if (v) return Py_NewRef(v);
      if (PyErr_Occurred()) throw_error_set();
      PyErr_SetObject(private_attr_error, name);
      throw_error_set();
    }
    return _getAttrOrMiss(holder_of(self), name, AttrKind::Model, nullptr);
  });
}

// Every assignment is routed: "__" names as for any object, "_" names into the
// program's own attributes, every other name (Params included) to the model
// attribute of that name. Deletion is the interpreter's.
int model_setattro(PyObject* self, PyObject* name, PyObject* value) noexcept {
  if (!value || !PyUnicode_Check(name) || leading_underscores(name) == 2)
    return PyObject_GenericSetAttr(self, name, value);
  return guarded_int([&] {
    ModelObject* m = as_model(self);
    if (leading_underscores(name) == 1) {
      if (!PyDict_Check(m->private_attrs_)) {
        Ref attrs = take(PyDict_New());
        Py_XSETREF(m->private_attrs_, attrs.release());
      }
      check(PyDict_SetItem(m->private_attrs_, name, value));
      return 0;
    }
    _setAttr(holder_of(self), name, AttrKind::Model, nullptr, value);
    return 0;
  });
}

// Params and params: read-write properties reached by reading and by
// deleting (which stores None); ordinary assignment is routed to the model
// attribute of that name. The property setter takes a parameter object or None.
PyObject* get_param_field(PyObject* field) { return Py_NewRef(field ? field : Py_None); }

int set_param_field(PyObject*& field, PyObject* value) {
  return guarded_int([&] {
    if (!value) value = Py_None;
    if (value != Py_None && !is_paramclass(value)) raise_cannot_convert(value, ParamClassType.tp_name);
    Py_XSETREF(field, Py_NewRef(value));
    return 0;
  });
}

PyObject* get_Params(PyObject* self, void*) noexcept { return get_param_field(as_model(self)->Params); }
PyObject* get_params(PyObject* self, void*) noexcept { return get_param_field(as_model(self)->params); }
int set_Params(PyObject* self, PyObject* value, void*) noexcept {
  return set_param_field(as_model(self)->Params, value);
}
int set_params(PyObject* self, PyObject* value, void*) noexcept {
  return set_param_field(as_model(self)->params, value);
}

PyGetSetDef model_getset[] = {
    {"Params", slot(get_Params), slot(set_Params), nullptr, nullptr},
    {"params", slot(get_params), slot(set_params), nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// --- methods -------------------------------------------------------------------

PyObject* model_copy(PyObject* self, const Args&) {
  Ref copy = make_empty_model();
  VLMmodel* dup = VLMcopymodel(live_model(holder_of(self)));
  if (!dup) throw VlmCodeError{VLM_ERROR_NOMEMORY};
  attach(as_model(copy.get()), dup);
  model_populate(as_model(copy.get()));
  return copy.release();
}

PyObject* model_dispose(PyObject* self, const Args&) {
  if (as_model(self)->holder_) dispose_holder(as_model(self)->holder_);
  Py_RETURN_NONE;
}

// One library call; the handle is made before it, so that after the library
// added the column nothing but the append to vars_ remains.
PyObject* model_addVar(PyObject* self, const Args& a) {
  const double lb = as_double(a[0]), ub = as_double(a[1]), obj = as_double(a[2]);
  check_arg_type(a[3], &PyUnicode_Type, "vtype", /*allow_none=*/false);
  check_arg_type(a[4], &PyUnicode_Type, "name");
  check_arg_type(a[5], &ColumnType, "column", /*allow_none=*/true, "Column");
  const Ref holder = holder_of(self);
  live_model(holder);
  CText name = CText::or_null(a[4]);
  CText vtype(a[3]);
  ColumnTerms terms;
  const IndexMark mark(holder);
  if (a[5] != Py_None) terms = column_terms(holder, a[5]);
  mark.check();  // the constraints' indices, read before their coefficients were converted
  // Read after the conversions: the list that goes with the holder.
  const Ref vars = Ref::borrow(as_model(self)->vars_);
  if (!PyList_Check(vars.get())) throw VlmCodeError{VLM_ERROR_INVALID_ARGUMENT};
  if (PyList_GET_SIZE(vars.get()) >= INT32_MAX) raise(PyExc_OverflowError, "value too large to convert to int");
  Ref var = handle_new(&VarType, holder, static_cast<int32_t>(PyList_GET_SIZE(vars.get())));
  const bool has_terms = !terms.ind.empty();
  check_rc(VLMaddvar(live_model(holder), static_cast<int>(terms.ind.size()), has_terms ? terms.ind.data() : nullptr,
                     has_terms ? terms.val.data() : nullptr, obj, lb, ub, vtype.get()[0], name.get()));
  check(PyList_Append(vars.get(), var.get()));
  return var.release();
}

PyObject* model_getVars(PyObject* self, const Args&) {
  return model_list_copy(Ref::borrow(as_model(self)->vars_)).release();
}
PyObject* model_getConstrs(PyObject* self, const Args&) {
  return model_list_copy(Ref::borrow(as_model(self)->constrs_)).release();
}

// The stored handle of the first item of that name, or None. `field` is the
// model's list of the items' kind.
PyObject* get_by_name(PyObject* self, PyObject* name, int (*lookup)(VLMmodel*, const char*, int*),
                      PyObject* ModelObject::*field) {
  check_arg_type(name, &PyUnicode_Type, "name", /*allow_none=*/false);
  CText cname(name);
  const Ref holder = holder_of(self);
  const Ref list = Ref::borrow(as_model(self)->*field);
  int index = -1;
  check_rc(lookup(live_model(holder), cname.get(), &index));
  if (index == -1) Py_RETURN_NONE;
  if (!PyList_Check(list.get()) || index < 0 || index >= PyList_GET_SIZE(list.get()))
    raise(PyExc_IndexError, "list index out of range");  // the list and the library model went out of step
  return Py_NewRef(PyList_GET_ITEM(list.get(), index));
}

PyObject* model_getConstrByName(PyObject* self, const Args& a) {
  return get_by_name(self, a[0], VLMgetconstrbyname, &ModelObject::constrs_);
}

PyObject* model_getVarByName(PyObject* self, const Args& a) {
  return get_by_name(self, a[0], VLMgetvarbyname, &ModelObject::vars_);
}

PyObject* model_setParam(PyObject* self, const Args& a) {
  _setParam(holder_of(self), a[0], a[1]);
  Py_RETURN_NONE;
}

PyObject* model_resetParams(PyObject* self, const Args&) {
  check_rc(VLMresetparams(model_get_env(self)));
  Py_RETURN_NONE;
}

// (name, type, current, minimum, maximum, default), or None when `name` denotes
// no single parameter.
PyObject* model_getParamInfo(PyObject* self, const Args& a) {
  Ref match = _matchParam(a[0]);
  if (!match) Py_RETURN_NONE;
  PyObject* pname = PyTuple_GET_ITEM(match.get(), 0);
  PyObject* ptype = PyTuple_GET_ITEM(match.get(), 1);
  CText cname(pname);
  VLMenv* env = model_get_env(self);
  if (ptype == reinterpret_cast<PyObject*>(&PyLong_Type)) {
    int cur = 0, lo = 0, hi = 0, def = 0;
    check_rc(VLMgetintparaminfo(env, cname.get(), &cur, &lo, &hi, &def));
    return Py_BuildValue("(OOiiii)", pname, ptype, cur, lo, hi, def);
  }
  if (ptype == reinterpret_cast<PyObject*>(&PyFloat_Type)) {
    double cur = 0, lo = 0, hi = 0, def = 0;
    check_rc(VLMgetdblparaminfo(env, cname.get(), &cur, &lo, &hi, &def));
    return Py_BuildValue("(OOdddd)", pname, ptype, cur, lo, hi, def);
  }
  char cur[VLM_MAX_STRLEN] = {0}, def[VLM_MAX_STRLEN] = {0};
  check_rc(VLMgetstrparaminfo(env, cname.get(), cur, def));
  cur[VLM_MAX_STRLEN - 1] = def[VLM_MAX_STRLEN - 1] = '\0';
  Ref current = chars2str(cur), defval = chars2str(def);
  return Py_BuildValue("(OOOssO)", pname, ptype, current.get(), "", "", defval.get());
}

PyObject* model_setAttr(PyObject* self, const Args& a) {
  check_arg_type(a[0], &PyUnicode_Type, "attrname", /*allow_none=*/false);
  const Ref holder = holder_of(self);
  PyObject *objs = a[1], *newvalues = a[2];
  if (newvalues == Py_None) {
    _setAttr(holder, a[0], AttrKind::Model, nullptr, objs);
    Py_RETURN_NONE;
  }
  if (objs == Py_None) raise(PyExc_ValueError, "objs is None");
  if (ndim_of(objs) == 0) {
    if (ndim_of(newvalues) != 0) raise(PyExc_ValueError, "invalid newvalues");
    _setAttrOne(holder, a[0], _getAttrType(objs), objs, newvalues);
    Py_RETURN_NONE;
  }
  if (ndim_of(newvalues) == 0) raise(PyExc_ValueError, "invalid newvalues");
  const Py_ssize_t n = PyObject_Length(objs);
  if (n < 0) throw_error_set();
  if (n == 0) Py_RETURN_NONE;  // no items: nothing to write, no kind to take
  Ref first = take(PySequence_GetItem(objs, 0));
  _setAttr(holder, a[0], _getAttrType(first.get()), objs, newvalues);
  Py_RETURN_NONE;
}

PyObject* model_getAttr(PyObject* self, const Args& a) {
  check_arg_type(a[0], &PyUnicode_Type, "attrname", /*allow_none=*/false);
  const Ref holder = holder_of(self);
  PyObject* objs = a[1];
  if (objs == Py_None) return _getAttrOne(holder, a[0], AttrKind::Model, nullptr).release();
  if (ndim_of(objs) == 0) return _getAttrOne(holder, a[0], _getAttrType(objs), objs).release();
  const Py_ssize_t n = PyObject_Length(objs);
  if (n < 0) throw_error_set();
  if (n == 0) return PyList_New(0);
  Ref first = take(PySequence_GetItem(objs, 0));  // its kind is the kind of all
  Ref values = _getAttr(holder, a[0], _getAttrType(first.get()), objs);
  return PyObject_CallMethod(values.get(), "tolist", nullptr);
}

// --- documentation -------------------------------------------------------------

const char copy_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            copy()\n"
    "\n"
    "        PURPOSE:\n"
    "            Return a copy of the model. The copy is independent of the model: changing one\n"
    "            leaves the other as it is.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            m2 = m.copy()\n"
    "        ";

const char dispose_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            dispose()\n"
    "\n"
    "        PURPOSE:\n"
    "            Release the resources associated with the model. The model and the objects made\n"
    "            from it can no longer be used afterwards.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            m.dispose()\n"
    "        ";

const char addVar_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            addVar(lb=0, ub=float('inf'), obj=0, vtype='C', name='', column=None)\n"
    "\n"
    "        PURPOSE:\n"
    "            Add a variable to the model and return its Var.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            lb: the lower bound\n"
    "            ub: the upper bound\n"
    "            obj: the objective coefficient\n"
    "            vtype: the variable type: VLM.CONTINUOUS, VLM.BINARY, VLM.INTEGER, VLM.SEMICONT\n"
    "                   or VLM.SEMIINT\n"
    "            name: the name of the variable; None for no name\n"
    "            column: a Column giving the coefficients of the variable in existing constraints\n"
    "\n"
    "        EXAMPLE:\n"
    "            x = m.addVar(lb=0, ub=10, vtype=VLM.INTEGER, name='x')\n"
    "            y = m.addVar(obj=1.0, column=Column([1.0, 2.0], [c0, c1]))\n"
    "        ";

const char getVars_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getVars()\n"
    "\n"
    "        PURPOSE:\n"
    "            Return a new list of all variables of the model, in index order.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            vars = m.getVars()\n"
    "        ";

const char getConstrs_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getConstrs()\n"
    "\n"
    "        PURPOSE:\n"
    "            Return a new list of all linear constraints of the model, in index order.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            constrs = m.getConstrs()\n"
    "        ";

const char getConstrByName_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getConstrByName(name)\n"
    "\n"
    "        PURPOSE:\n"
    "            Return the constraint of the given name, or None when there is none.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            name: the name of the constraint\n"
    "\n"
    "        EXAMPLE:\n"
    "            c = m.getConstrByName('c0')\n"
    "        ";

const char getVarByName_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getVarByName(name)\n"
    "\n"
    "        PURPOSE:\n"
    "            Return the variable of the given name, or None when there is none.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            name: the name of the variable\n"
    "\n"
    "        EXAMPLE:\n"
    "            x = m.getVarByName('x')\n"
    "        ";

const char setAttr_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            setAttr(attrname, objs, newvalues=None)\n"
    "\n"
    "        PURPOSE:\n"
    "            Set the value of a model attribute, or of an attribute of one or more items.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            attrname: the name of the attribute\n"
    "            objs: the new value of a model attribute; or an item (Var, Constr, ...) or a list\n"
    "                  of items of one kind\n"
    "            newvalues: for items, the new value of the one item, or a list of values, one\n"
    "                       per item\n"
    "\n"
    "        EXAMPLE:\n"
    "            m.setAttr('ModelName', 'diet')\n"
    "            m.setAttr('UB', x, 5.0)\n"
    "            m.setAttr('LB', [x, y], [0.0, 1.0])\n"
    "\n"
    "        NOTE:\n"
    "            Model attributes can also be written directly as object attributes\n"
    "            (m.ModelName = 'diet'); the attribute name is case-insensitive.\n"
    "        ";

const char getAttr_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getAttr(attrname, objs=None)\n"
    "\n"
    "        PURPOSE:\n"
    "            Get the value of a model attribute, or of an attribute of one or more items.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            attrname: the name of the attribute\n"
    "            objs: None for a model attribute; an item (Var, Constr, ...); or a list of items\n"
    "                  of one kind, whose values come back as a list\n"
    "\n"
    "        EXAMPLE:\n"
    "            n = m.getAttr('NumVars')\n"
    "            ub = m.getAttr('UB', x)\n"
    "            lbs = m.getAttr('LB', [x, y])\n"
    "\n"
    "        NOTE:\n"
    "            Model attributes can also be read directly as object attributes (m.NumVars,\n"
    "            m.numvars); the attribute name is case-insensitive.\n"
    "        ";

const char setParam_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            setParam(paramname, paramvalue)\n"
    "\n"
    "        PURPOSE:\n"
    "            Set the value of a parameter of the model\n"
    "\n"
    "        ARGUMENTS:\n"
    "            paramname: the name of the parameter, in any case; '*' and '?' match several\n"
    "            paramvalue: the new value, or 'default' for the default value\n"
    "\n"
    "        EXAMPLE:\n"
    "            m.setParam('MaxTime', 10)\n"
    "            m.setParam('MaxTi*', 10)\n"
    "            m.setParam('MaxTime', 'default')\n"
    "        ";

const char resetParams_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            resetParams()\n"
    "\n"
    "        PURPOSE:\n"
    "            Reset all parameters of the model to their default values\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            m.resetParams()\n"
    "        ";

const char getParamInfo_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getParamInfo(paramname)\n"
    "\n"
    "        PURPOSE:\n"
    "            Retrieve information about a parameter: a tuple of its name, type, current value,\n"
    "            minimum, maximum and default value\n"
    "\n"
    "        ARGUMENTS:\n"
    "            paramname: the name of the parameter, in any case; '*' and '?' match several\n"
    "\n"
    "        EXAMPLE:\n"
    "            print(m.getParamInfo('MaxTime'))\n"
    "        ";

const FunctionDef model_members[] = {
    {"copy", "self", model_copy, Kind::Method, copy_doc, __LINE__},
    {"dispose", "self", model_dispose, Kind::Method, dispose_doc, __LINE__},
    {"addVar", "self, lb=0.0, ub=VLM.INFINITY, obj=0.0, vtype=VLM.CONTINUOUS, name='', column=None", model_addVar,
     Kind::Method, addVar_doc, __LINE__},
    {"getVars", "self", model_getVars, Kind::Method, getVars_doc, __LINE__},
    {"getConstrs", "self", model_getConstrs, Kind::Method, getConstrs_doc, __LINE__},
    {"getConstrByName", "self, name", model_getConstrByName, Kind::Method, getConstrByName_doc, __LINE__},
    {"getVarByName", "self, name", model_getVarByName, Kind::Method, getVarByName_doc, __LINE__},
    {"setAttr", "self, attrname, objs, newvalues=None", model_setAttr, Kind::Method, setAttr_doc, __LINE__},
    {"getAttr", "self, attrname, objs=None", model_getAttr, Kind::Method, getAttr_doc, __LINE__},
    {"setParam", "self, name, value", model_setParam, Kind::Method, setParam_doc, __LINE__},
    {"resetParams", "self", model_resetParams, Kind::Method, resetParams_doc, __LINE__},
    {"getParamInfo", "self, name", model_getParamInfo, Kind::Method, getParamInfo_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

// Model's methods in binding order, which the documented-field listing keeps;
// the tables of the files that define them supply the rows.
const char* const kMethodOrder[] = {
    "copy", "dispose", "addVar", "addMVar", "addVars", "addPsdVar", "addConstr", "addConstrs", "addLConstr",
    "addMConstr", "addSOS", "addGenConstrIndicator", "addRange", "getVars", "getConstrs", "getGenConstrs",
    "getSOSs", "getPsdVars", "getPsdConstrs", "getCol", "getRow", "getSOS", "getGenConstrIndicator", "getA",
    "getConstrByName", "getVarByName", "chgCoeff", "getCoeff", "remove", "setObjective", "getObjective", "setAttr",
    "getAttr", "setParam", "resetParams", "getParamInfo", "optimize", "computeIIS", "cleanupMilp", "_cbCutP",
    "cbCut", "cbBranch", "cbGet", "cbGetNodeRel", "cbGetSolution", "cbSetSolution", "cbUseSolution", "terminate",
    "reset", "message", "read", "write", nullptr,
};

}  // namespace

Ref holder_of(PyObject* model) { return Ref::borrow(as_model(model)->holder_); }

int32_t model_count(const Ref& holder, PyObject* attrname) {
  Ref v = _getAttrOne(holder, attrname, AttrKind::Model, nullptr);
  const int32_t n = integer_only(v.get());
  if (n < 0) raise_format(PyExc_RuntimeError, "velmorpy: the library reported %d for %U", n, attrname);
  return n;
}

int ndim_of(PyObject* v) {
  if (v == Py_None || PyFloat_Check(v) || PyLong_Check(v) || PyUnicode_Check(v) || PyBytes_Check(v) || is_handle(v))
    return 0;
  if (PyList_Check(v) || PyTuple_Check(v)) return 1;  // at least one dimension; only 0 matters
  if (PyArray_Check(v)) return PyArray_NDIM(reinterpret_cast<PyArrayObject*>(v));
  Ref np = module_global("_np");
  Ref n = take(PyObject_CallMethod(np.get(), "ndim", "O", v));
  return integer_only(n.get());
}

const char model_init_params[] = "name: str = '', env: Env = None, empty=False";

const char model_init_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            __init__(name='', env=None)\n"
    "\n"
    "        PURPOSE:\n"
    "            Construct a Model\n"
    "\n"
    "        ARGUMENTS:\n"
    "            name: the name of the model\n"
    "            env: the Environment of the model; None for the default Environment\n"
    "\n"
    "        EXAMPLE:\n"
    "            m = Model('diet')\n"
    "        ";

Ref model_new(VLMmodel* handle) {
  Ref model;
  try {
    model = make_empty_model();
  } catch (...) {
    VLMfreemodel(handle);
    throw;
  }
  attach(as_model(model.get()), handle);
  model_populate(as_model(model.get()));  // on failure the model goes, and its holder frees the handle
  bind_params(as_model(model.get()));
  return model;
}

VLMenv* model_get_env(PyObject* model) { return live_env(holder_of(model)); }

Ref model_get_element(PyObject* v, Py_ssize_t i) {
  if (ndim_of(v) == 0) return Ref::borrow(v);
  Ref np = module_global("_np");
  return take(PyObject_CallMethod(np.get(), "take", "On", v, i));
}

void truncate_list(PyObject* list, Py_ssize_t size) {
  auto* l = reinterpret_cast<PyListObject*>(list);
  const Py_ssize_t old = Py_SIZE(l);
  Py_SET_SIZE(l, size);
  for (Py_ssize_t i = size; i < old; ++i) Py_DECREF(l->ob_item[i]);
}

void model_populate(ModelObject* self) {
  const Ref holder = holder_of(reinterpret_cast<PyObject*>(self));
  const int32_t num_constrs = model_count(holder, VLM_STR("NumConstrs"));
  const int32_t num_vars = model_count(holder, VLM_STR("NumVars"));
  const int32_t num_psdvars = model_count(holder, VLM_STR("NumPsdVars"));
  const int32_t num_sos = model_count(holder, VLM_STR("NumSOS"));
  const int32_t num_genconstrs = model_count(holder, VLM_STR("NumGenConstrs"));
  replace_list(self->constrs_, &ConstrType, holder, num_constrs);
  replace_list(self->psdconstrs_, &PsdConstrType, holder, num_constrs);  // one numbering for both kinds of rows
  replace_list(self->soss_, &SOSType, holder, num_sos);
  replace_list(self->genconstrs_, &GenConstrType, holder, num_genconstrs);
  replace_list(self->vars_, &VarType, holder, num_vars);
  replace_list(self->psdvars_, &PsdVarType, holder, num_psdvars);
}

PyTypeObject ModelType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_model() {
  ModelType.tp_name = "velmorpy.Model";
  ModelType.tp_basicsize = sizeof(ModelObject);
  ModelType.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC;
  ModelType.tp_new = slot(model_new_slot);
  ModelType.tp_init = slot(model_init);
  ModelType.tp_dealloc = slot(model_dealloc);
  ModelType.tp_finalize = slot(model_finalize);
  ModelType.tp_traverse = slot(model_traverse);
  ModelType.tp_clear = slot(model_clear);
  ModelType.tp_getattro = slot(model_getattro);
  ModelType.tp_setattro = slot(model_setattro);
  ModelType.tp_getset = model_getset;
}

void bind_model_namespace() {
  if (!private_attr_error) {
    Ref bases = take(PyTuple_Pack(2, PyExc_AttributeError, PyExc_KeyError));
    private_attr_error = check(PyErr_NewException("velmorpy.PrivateAttributeError", bases.get(), nullptr));
  }
  bind_getmetaclass(&ModelType, __FILE__);
  bind_members_in_order(&ModelType,
                        {{model_members, __FILE__}, model_vars_table, model_constrs_table, model_generators_table,
                         model_objective_table, model_sos_indicators_table, model_coeffs_table, model_remove_table,
                         model_solve_table, model_matrix_table, model_iis_table, model_callback_table},
                        kMethodOrder);
  internal(class_attr(&ModelType, "cleanupMilp"));  // callable, but left out of the documented members
  // The text signatures show the usual forms; the optional arguments stay accepted.
  signature(class_attr(&ModelType, "cbCut"), "self, lhs, sense, rhs");
  signature(class_attr(&ModelType, "cbGet"), "self, what");
}

}  // namespace velmorpy
