// Model.addSOS, getSOS, getSOSs and the indicator constraints' adder and readers.
#include "model/model_sos_indicators.hpp"

#include "runtime/numpy.hpp"

#include <velmor.h>

#include <cstdint>
#include <vector>

#include "attributes/genconstr.hpp"
#include "attributes/handle.hpp"
#include "attributes/sos.hpp"
#include "attributes/var.hpp"
#include "expressions/linexpr.hpp"
#include "expressions/tempconstr.hpp"
#include "model/model.hpp"
#include "model/model_items.hpp"
#include "model/model_rows.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/holder.hpp"
#include "runtime/numbers.hpp"
#include "runtime/text.hpp"

namespace velmorpy {

namespace {

const char kTooMany[] = "value too large to convert to int";
const char kWtsSize[] = "wts doesn't have enough elements";
const char kBinval[] = "binval should be a boolean value";
const char kRhsNumber[] = "rhs should be a numeric value";
const char kTempConstrSides[] = "both 'sense' and 'rhs' should be None if lhs is TempConstr";
const char kNotLinear[] = "indicator constraints can only be in linear form";
const char kRange[] = "indicator constraints cannot be ranges";

// Adds one item through `call` (given the library model; it returns the
// library's code) and appends its new handle of `type` to the model's list
// `field`. The handle joins the list before the call, so that nothing can
// fail after the library added the item, and leaves it again, without
// allocating, when the library refuses. Returns the handle.
template <class Call>
Ref add_item(PyObject* model, PyObject* ModelObject::*field, PyTypeObject* type, const Ref& holder, Call&& call) {
  // Read after every conversion: the list that goes with the holder.
  const Ref list = Ref::borrow(as_model(model)->*field);
  if (!PyList_Check(list.get())) throw VlmCodeError{VLM_ERROR_INVALID_ARGUMENT};
  const Py_ssize_t n = PyList_GET_SIZE(list.get());
  if (n >= INT32_MAX) raise(PyExc_OverflowError, kTooMany);
  Ref handle = handle_new(type, holder, static_cast<int32_t>(n));
  VLMmodel* mdl = live_model(holder);
  check(PyList_Append(list.get(), handle.get()));
  const int rc = call(mdl);
  if (rc != 0) {
    truncate_list(list.get(), n);
    throw VlmCodeError{rc};
  }
  return handle;
}

// --- special ordered sets -------------------------------------------------------

// The members' indices are read in order (a handle from its field, any other
// object through its `index`), then the weights are converted; both may run
// Python code, so the handles' indices are read once more right before the
// library call.
PyObject* model_addSOS(PyObject* self, const Args& a) {
  const int32_t type = truncating_int(a[0]);
  PyObject *vars = a[1], *wts = a[2];
  if (vars == Py_None) raise(PyExc_TypeError, "'NoneType' object is not iterable");
  const Ref holder = holder_of(self);
  const Ref members = take(PyList_GetSlice(vars, 0, PyList_GET_SIZE(vars)));  // held while code runs
  const Py_ssize_t n = PyList_GET_SIZE(members.get());
  if (n > INT32_MAX) raise(PyExc_OverflowError, kTooMany);
  std::vector<int> ind;
  ind.reserve(static_cast<size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject* item = PyList_GET_ITEM(members.get(), i);
    if (is_handle(item) && as_handle(item)->holder_ != holder.get()) raise_holds_other_model("vars");
    ind.push_back(model_item_index(holder, item, "vars"));
  }
  std::vector<double> weights;
  if (wts == Py_None) {
    for (Py_ssize_t i = 0; i < n; ++i) weights.push_back(static_cast<double>(i + 1));
  } else {
    Ref arr = take(PyArray_FROM_OTF(wts, NPY_DOUBLE, NPY_ARRAY_IN_ARRAY | NPY_ARRAY_FORCECAST));
    auto* array = reinterpret_cast<PyArrayObject*>(arr.get());
    if (PyArray_SIZE(array) != n) raise(PyExc_ValueError, kWtsSize);
    const auto* data = static_cast<const double*>(PyArray_DATA(array));
    weights.assign(data, data + n);
  }
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject* item = PyList_GET_ITEM(members.get(), i);
    if (is_handle(item)) ind[static_cast<size_t>(i)] = as_handle(item)->index;
  }
  const int start = 0;
  Ref sos = add_item(self, &ModelObject::soss_, &SOSType, holder, [&](VLMmodel* mdl) {
    return VLMaddsos(mdl, 1, static_cast<int>(n), &type, &start, n ? ind.data() : nullptr,
                     n ? weights.data() : nullptr);
  });
  return sos.release();
}

PyObject* model_getSOS(PyObject* self, const Args& a) {
  const Ref holder = holder_of(self);
  const int32_t index = model_item_index(holder, a[0], "sos");
  int type = 0, start = 0;
  const SparseLine line = read_sparse_line(holder, [&](VLMmodel* mdl, int* nnz, int* ind, double* val) {
    return VLMgetsos(mdl, nnz, &type, &start, ind, val, index, 1);
  });
  Ref members = model_handles_at(Ref::borrow(as_model(self)->vars_), line, VLM_ERROR_MODEL_INVALID_COL_IDX);
  Ref weights = float_list(line);
  return Py_BuildValue("(iNN)", type, members.release(), weights.release());
}

PyObject* model_getSOSs(PyObject* self, const Args&) {
  return model_list_copy(Ref::borrow(as_model(self)->soss_)).release();
}

// --- indicator constraints ------------------------------------------------------

// What addGenConstrIndicator hands over besides the row: the sense, given by
// the caller (`sense_obj`) or taken from a TempConstr (`sense_char`), and,
// for a TempConstr, the side the expression's constant is moved to.
struct IndicatorSides {
  PyObject* sense_obj = nullptr;
  char sense_char = 0;
  double side = 0.0;
};

// A TempConstr `lhs` (no sense, no rhs of the caller's): its expression, and
// the sense and side by which of its sides are set. Two different sides make
// a range, which an indicator cannot imply.
Ref tempconstr_indicator(PyObject* lhs, PyObject* sense, PyObject* rhs, IndicatorSides& out) {
  if (sense != Py_None || rhs != Py_None) raise(PyExc_ValueError, kTempConstrSides);
  Ref expr = tempconstr_getExpr(lhs);
  if (!is_linexpr(expr.get())) raise(PyExc_TypeError, kNotLinear);
  Ref lo = tempconstr_getLhs(lhs), hi = tempconstr_getRhs(lhs);
  if (lo.get() == Py_None) {
    out.sense_char = '<';
    out.side = as_double(hi.get());
  } else if (hi.get() == Py_None) {
    out.sense_char = '>';
    out.side = as_double(lo.get());
  } else {
    const double low = as_double(lo.get()), high = as_double(hi.get());
    if (low != high) raise(PyExc_ValueError, kRange);
    out.sense_char = '=';
    out.side = high;
  }
  return expr;
}

// Every check and conversion runs before the library call; the flattened row
// frees itself on every exit.
PyObject* model_addGenConstrIndicator(PyObject* self, const Args& a) {
  PyObject *binvar = a[0], *binval = a[1], *lhs = a[2], *sense = a[3], *rhs = a[4], *name = a[5];
  if (!PyBool_Check(binval)) raise(PyExc_TypeError, kBinval);
  if (rhs != Py_None && !is_number(rhs)) raise(PyExc_TypeError, kRhsNumber);
  const Ref holder = holder_of(self);
  IndicatorSides sides;
  Ref expr = Ref::borrow(Py_None);  // anything else is refused by the flattening
  if (is_number(lhs) || is_var(lhs) || is_linexpr(lhs)) {
    expr = linexpr_from(lhs);  // a new expression: the caller's is not changed
    expr = take(PyNumber_InPlaceSubtract(expr.get(), rhs));
    sides.sense_obj = sense;
  } else if (is_tempconstr(lhs)) {
    expr = tempconstr_indicator(lhs, sense, rhs, sides);
  }
  Ref one = take(PyTuple_Pack(1, expr.get()));
  const CompressedRows row = model_linExprs2array(holder, one.get(), /*with_starts=*/false);
  CText cname(name);
  const int32_t bin = model_item_index(holder, binvar, "binvar");
  const int bv = binval == Py_True ? 1 : 0;
  const char sense_char = sides.sense_obj ? model_sense_byte(sides.sense_obj) : sides.sense_char;
  // With the caller's sense the right-hand side was moved into the
  // expression: it is minus its constant.
  const double rhs_value = (sides.sense_obj ? 0.0 : sides.side) - row.constants[0];
  row.mark.check();  // the indicator variable's index too
  Ref genconstr = add_item(self, &ModelObject::genconstrs_, &GenConstrType, holder, [&](VLMmodel* mdl) {
    return VLMaddgenconstrIndicator(mdl, cname.get(), bin, bv, row.nnz(), row.ind_data(), row.val_data(), sense_char,
                                    rhs_value);
  });
  return genconstr.release();
}

PyObject* model_getGenConstrIndicator(PyObject* self, const Args& a) {
  const Ref holder = holder_of(self);
  const int32_t index = model_item_index(holder, a[0], "genconstr");
  int binvar = 0, binval = 0;
  char sense = 0;
  double rhs = 0.0;
  const SparseLine line = read_sparse_line(holder, [&](VLMmodel* mdl, int* nnz, int* ind, double* val) {
    return VLMgetgenconstrIndicator(mdl, index, &binvar, &binval, nnz, ind, val, &sense, &rhs);
  });
  const Ref vars = Ref::borrow(as_model(self)->vars_);
  Ref var = model_handle_at(vars, binvar, VLM_ERROR_MODEL_INVALID_COL_IDX);
  Ref expr = model_linexpr_of(vars, line);
  const char text[2] = {sense, '\0'};
  Ref sense_text = take(PyUnicode_DecodeLatin1(text, 1, nullptr));
  return Py_BuildValue("(OOONd)", var.get(), binval ? Py_True : Py_False, expr.get(), sense_text.release(), rhs);
}

PyObject* model_getGenConstrs(PyObject* self, const Args&) {
  return model_list_copy(Ref::borrow(as_model(self)->genconstrs_)).release();
}

// --- documentation -------------------------------------------------------------

const char addSOS_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            addSOS(type, vars, wts=None)\n"
    "\n"
    "        PURPOSE:\n"
    "            Add a special ordered set (SOS) constraint to the model and return it\n"
    "\n"
    "        ARGUMENTS:\n"
    "            type: the type of the set: VLM.SOS_TYPE1 (at most one member non-zero) or\n"
    "                  VLM.SOS_TYPE2 (at most two members non-zero, and next to each other)\n"
    "            vars: the list of the member variables\n"
    "            wts: the list of the members' weights, which order them; None for 1, 2, 3, ...\n"
    "\n"
    "        EXAMPLE:\n"
    "            s = m.addSOS(VLM.SOS_TYPE1, [x, y, z], [1, 2, 3])\n"
    "        ";

const char addGenConstrIndicator_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            addGenConstrIndicator(binvar, binval, lhs, sense=None, rhs=None, name='')\n"
    "\n"
    "        PURPOSE:\n"
    "            Add an indicator constraint to the model and return it: when the binary\n"
    "            variable takes the given value, the linear constraint must hold\n"
    "\n"
    "        ARGUMENTS:\n"
    "            binvar: the binary variable\n"
    "            binval: the value (True or False) at which the constraint must hold\n"
    "            lhs: the left-hand side: a number, a Var or a LinExpr; or a whole linear\n"
    "                 constraint (then sense and rhs stay None)\n"
    "            sense: VLM.LESS_EQUAL ('<'), VLM.GREATER_EQUAL ('>') or VLM.EQUAL ('=')\n"
    "            rhs: the right-hand side, a number\n"
    "            name: the name of the indicator constraint\n"
    "\n"
    "        EXAMPLE:\n"
    "            g = m.addGenConstrIndicator(b, True, x + y, VLM.LESS_EQUAL, 4)\n"
    "            g = m.addGenConstrIndicator(b, False, x + y >= 1, name='g1')\n"
    "        ";

const char getGenConstrs_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getGenConstrs()\n"
    "\n"
    "        PURPOSE:\n"
    "            Return a new list of all general constraints of the model, in index order.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            genconstrs = m.getGenConstrs()\n"
    "        ";

const char getSOSs_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getSOSs()\n"
    "\n"
    "        PURPOSE:\n"
    "            Return a new list of all SOS constraints of the model, in index order.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            soss = m.getSOSs()\n"
    "        ";

const char getSOS_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getSOS(sos)\n"
    "\n"
    "        PURPOSE:\n"
    "            Return the type, the member variables and the weights of an SOS constraint, as\n"
    "            a tuple (type, vars, wts)\n"
    "\n"
    "        ARGUMENTS:\n"
    "            sos: the SOS constraint\n"
    "\n"
    "        EXAMPLE:\n"
    "            type, vars, wts = m.getSOS(s)\n"
    "        ";

const char getGenConstrIndicator_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getGenConstrIndicator(genconstr)\n"
    "\n"
    "        PURPOSE:\n"
    "            Return the parts of an indicator constraint, as a tuple (binvar, binval, expr,\n"
    "            sense, rhs): when binvar takes the value binval, expr sense rhs must hold\n"
    "\n"
    "        ARGUMENTS:\n"
    "            genconstr: the indicator constraint\n"
    "\n"
    "        EXAMPLE:\n"
    "            binvar, binval, expr, sense, rhs = m.getGenConstrIndicator(g)\n"
    "        ";

const FunctionDef model_sos_indicators_members[] = {
    {"addSOS", "self, type, vars: list, wts: list = None", model_addSOS, Kind::Method, addSOS_doc, __LINE__},
    {"addGenConstrIndicator", "self, binvar: Var, binval, lhs, sense=None, rhs=None, name: str = ''",
     model_addGenConstrIndicator, Kind::Method, addGenConstrIndicator_doc, __LINE__},
    {"getGenConstrs", "self", model_getGenConstrs, Kind::Method, getGenConstrs_doc, __LINE__},
    {"getSOSs", "self", model_getSOSs, Kind::Method, getSOSs_doc, __LINE__},
    {"getSOS", "self, sos: SOS", model_getSOS, Kind::Method, getSOS_doc, __LINE__},
    {"getGenConstrIndicator", "self, genconstr: GenConstr", model_getGenConstrIndicator, Kind::Method,
     getGenConstrIndicator_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

const MemberTable model_sos_indicators_table = {model_sos_indicators_members, __FILE__};

}  // namespace velmorpy
