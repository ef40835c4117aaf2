// The Model methods of a callback turn: reading, heuristic solutions, cuts and branching.
#include "model/model_callback.hpp"

#include "runtime/numpy.hpp"

#include <cstdint>
#include <vector>

#include <velmor.h>

#include "attributes/var.hpp"
#include "expressions/linexpr.hpp"
#include "model/callback_bridge.hpp"
#include "model/callback_tables.hpp"
#include "model/model.hpp"
#include "model/model_rows.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/members.hpp"
#include "runtime/numbers.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

namespace {

const char kVarsOtherModel[] = "Argument `vars` holds an item of another model";
const char kVarOtherModel[] = "Argument `var` holds an item of another model";
const char kOutOfBounds[] = "index %lld is out of bounds for axis 0 with size %lld";
const char kSenseChar[] = "value too large to convert to char";
const char kCutSizes[] = "`coeffs` and `indices` must have the same number of elements";
const char kIndexRange[] = "value too large to convert to int";
const char kLhsType[] = "`lhs` shoud be one of [number, Var, LinExpr] type";
const char kRhsType[] = "`rhs` shoud be one of [number, Var, LinExpr] type";

// The answer of cbUseSolution when nothing was submitted.
constexpr int kNothingSubmitted = 1000;

// The what-row of `what` looked up as a dict keyed by the codes would (so
// 316.0 finds row 316 and an unhashable key raises TypeError); nullptr when
// there is none. The dict maps a code to its row's position and lives as long
// as the process.
const CbWhatRow* what_row(PyObject* what) {
  static PyObject* positions = [] {
    Ref dict = take(PyDict_New());
    for (size_t i = 0; i < kNumCbWhatRows; ++i) {
      Ref code = take(PyLong_FromLong(kCbWhatRows[i].code));
      Ref pos = take(PyLong_FromSize_t(i));
      check(PyDict_SetItem(dict.get(), code.get(), pos.get()));
    }
    return dict.release();
  }();
  PyObject* pos = PyDict_GetItemWithError(positions, what);
  if (!pos) {
    if (PyErr_Occurred()) throw_error_set();
    return nullptr;
  }
  return &kCbWhatRows[PyLong_AsSize_t(pos)];
}

[[noreturn]] void raise_invalid_what() { throw VlmCodeError{VLM_ERROR_CB_INVALID_WHAT}; }

// A single index of cbGet: an int or a NumPy integer (anything with __index__
// but an array, which is a sequence of indices). A float is none.
bool is_integer(PyObject* obj) { return PyLong_Check(obj) || (PyIndex_Check(obj) && !PyArray_Check(obj)); }

// The row sense character (model_sense_byte), which must be ASCII here.
char sense_byte(PyObject* sense) {
  const char c = model_sense_byte(sense);
  if (static_cast<unsigned char>(c) > 127) raise(PyExc_OverflowError, kSenseChar);
  return c;
}

// Negative library codes raise; the others are the submission's answer.
PyObject* submission_answer(int rc) {
  if (rc < 0) throw VlmCodeError{rc};
  return PyLong_FromLong(rc);
}

// ---- reading -----------------------------------------------------------------------

PyObject* model_cbGet(PyObject* self, const Args& a) {
  require_turn(self);
  const CbWhatRow* row = what_row(a[0]);
  if (!row) raise_invalid_what();
  PyObject* index = a[1];
  if (index == Py_None) {
    if (row->shape[0] != 'm') raise_invalid_what();
    return cb_value(self, *row).release();
  }
  if (is_integer(index)) return cb_element(self, *row, index).release();
  // Any other iterable of integers gives the list of their elements; anything
  // that cannot be iterated is no index.
  const bool zero_dim = PyArray_Check(index) && PyArray_NDIM(reinterpret_cast<PyArrayObject*>(index)) == 0;
  if (zero_dim || (!Py_TYPE(index)->tp_iter && !PySequence_Check(index))) raise_invalid_what();
  // Elements before a refused one have been read; the list goes with the error.
  Ref iter = take(PyObject_GetIter(index));
  Ref values = take(PyList_New(0));
  while (Ref item = Ref::steal(PyIter_Next(iter.get()))) {
    if (!is_integer(item.get())) raise_invalid_what();
    Ref value = cb_element(self, *row, item.get());
    check(PyList_Append(values.get(), value.get()));
  }
  if (PyErr_Occurred()) throw_error_set();
  return values.release();
}

// cbGetSolution and cbGetNodeRel through cbGet (looked up on the model):
// variables by handle with `var_code`, presolved columns by int with
// `pre_code`; the first element decides for a sequence.
PyObject* solution_values(PyObject* self, PyObject* vars, int var_code, int pre_code) {
  const Ref holder = holder_of(self);
  Ref keys;
  int code;
  bool single = ndim_of(vars) == 0;
  if (single) {
    keys = take(PyList_New(1));
    if (is_var(vars)) {
      PyList_SET_ITEM(keys.get(), 0, check(PyLong_FromLong(model_var_index(holder, vars, kVarsOtherModel))));
      code = var_code;
    } else {
      PyList_SET_ITEM(keys.get(), 0, Py_NewRef(vars));
      code = pre_code;
    }
  } else {
    const Py_ssize_t n = PyObject_Length(vars);
    if (n < 0) throw_error_set();
    if (n == 0) return PyList_New(0);
    Ref first = take(PySequence_GetItem(vars, 0));
    keys = take(PySequence_List(vars));
    if (is_var(first.get())) {
      code = var_code;
      for (Py_ssize_t i = 0; i < PyList_GET_SIZE(keys.get()); ++i) {
        Ref index = take(PyLong_FromLong(model_var_index(holder, PyList_GET_ITEM(keys.get(), i), kVarsOtherModel)));
        check(PyList_SetItem(keys.get(), i, index.release()));
      }
    } else {
      code = pre_code;
    }
  }
  Ref what = take(PyLong_FromLong(code));
  Ref values = take(PyObject_CallMethodObjArgs(self, VLM_STR("cbGet"), what.get(), keys.get(), nullptr));
  if (!single) return values.release();
  return PySequence_GetItem(values.get(), 0);
}

PyObject* model_cbGetSolution(PyObject* self, const Args& a) {
  return solution_values(self, a[0], VLM_CB_MIP_SOL, VLM_CB_MIP_SOLPRE);
}

PyObject* model_cbGetNodeRel(PyObject* self, const Args& a) {
  return solution_values(self, a[0], VLM_CB_MIP_REL, VLM_CB_MIP_RELPRE);
}

// ---- heuristic solutions -------------------------------------------------------------

// Records `value` for `key` in the turn's vector: an int is a presolved
// column (mode bit 2), a Var a variable of the model (bit 1). The bit is set
// before the store, so it stays when the store fails; negative positions
// (removed handles among them) are refused like those past the end.
void record_value(PyObject* self, const Ref& holder, PyObject* key, PyObject* value) {
  ModelObject* m = as_model(self);
  int64_t pos;
  if (PyLong_Check(key)) {
    m->cbSolutionMode |= 2;
    pos = integer_only<int64_t>(key);
  } else {
    m->cbSolutionMode |= 1;
    pos = model_var_index(holder, key, kVarsOtherModel);
  }
  const double v = as_double(value);
  Ref vector = Ref::borrow(m->cbSolution);  // read after the conversions, which may run code
  if (!PyArray_Check(vector.get())) raise(PyExc_RuntimeError, kNotInCallback);
  auto* array = reinterpret_cast<PyArrayObject*>(vector.get());
  const int64_t size = PyArray_SIZE(array);
  if (pos < 0 || pos >= size)
    raise_format(PyExc_IndexError, kOutOfBounds, static_cast<long long>(pos), static_cast<long long>(size));
  static_cast<double*>(PyArray_DATA(array))[pos] = v;
}

PyObject* model_cbSetSolution(PyObject* self, const Args& a) {
  require_turn(self);
  const Ref holder = holder_of(self);
  PyObject *vars = a[0], *sol = a[1];
  if (ndim_of(vars) == 0) {
    record_value(self, holder, vars, sol);
    Py_RETURN_NONE;
  }
  const Py_ssize_t n = PyObject_Length(vars);
  if (n < 0) throw_error_set();
  for (Py_ssize_t i = 0; i < n; ++i) {
    Ref key = take(PySequence_GetItem(vars, i));
    Ref position = take(PyLong_FromSsize_t(i));
    Ref value = take(PyObject_GetItem(sol, position.get()));
    record_value(self, holder, key.get(), value.get());
  }
  Py_RETURN_NONE;
}

PyObject* model_cbUseSolution(PyObject* self, const Args&) {
  require_turn(self);
  ModelObject* m = as_model(self);
  int (*submit)(void*, const double*, double*) = nullptr;
  if (m->cbSolutionMode == 1) submit = VLMcbsolution;
  if (m->cbSolutionMode == 2) submit = VLMcbsolutionp;
  if (!submit) {  // nothing recorded, or both kinds of key
    m->cbSolutionMode = 0;
    return Py_BuildValue("(iO)", kNothingSubmitted, Py_None);
  }
  const Ref vector = Ref::borrow(m->cbSolution);
  if (!PyArray_Check(vector.get())) raise(PyExc_RuntimeError, kNotInCallback);
  // The vector is the turn's own, C-ordered, and as long as the library's
  // column count (the bridge sized it from PRE_NUMVARS).
  const auto* values = static_cast<const double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(vector.get())));
  double objective = 0.0;
  const int rc = submit(m->cbdata_, values, &objective);
  m->cbSolutionMode = 0;
  if (rc < 0) throw VlmCodeError{rc};
  return Py_BuildValue("(id)", rc, objective);
}

// ---- cuts and branching --------------------------------------------------------------

// A C-ordered array of `obj` in `type`, cast as numpy.array(obj, type) casts.
Ref cast_array(PyObject* obj, int type) {
  return take(PyArray_FROM_OTF(obj, type, NPY_ARRAY_IN_ARRAY | NPY_ARRAY_FORCECAST));
}

PyObject* cut_arrays(PyObject* self, PyObject* coeffs, PyObject* indices, PyObject* sense, PyObject* rhs) {
  require_turn(self);
  // Read as 64-bit first: the cast to 32 bits would wrap silently.
  Ref wide = cast_array(indices, NPY_INT64);
  Ref values = cast_array(coeffs, NPY_DOUBLE);
  const int64_t count = PyArray_SIZE(reinterpret_cast<PyArrayObject*>(wide.get()));
  if (count != PyArray_SIZE(reinterpret_cast<PyArrayObject*>(values.get()))) raise(PyExc_ValueError, kCutSizes);
  if (count > INT32_MAX) raise(PyExc_OverflowError, kIndexRange);
  const auto* wide_data = static_cast<const int64_t*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(wide.get())));
  std::vector<int> ind(static_cast<size_t>(count));
  for (int64_t k = 0; k < count; ++k) {
    if (wide_data[k] < INT32_MIN || wide_data[k] > INT32_MAX) raise(PyExc_OverflowError, kIndexRange);
    ind[static_cast<size_t>(k)] = static_cast<int>(wide_data[k]);
  }
  const double right = rhs == Py_None ? 0.0 : as_double(rhs);
  const char s = sense_byte(sense);
  require_turn(self);  // again after the conversions, which may run code (and let the turn end)
  const auto* val = static_cast<const double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(values.get())));
  return submission_answer(
      VLMcbcutp(as_model(self)->cbdata_, static_cast<int>(count), ind.data(), val, s, right));
}

PyObject* model__cbCutP(PyObject* self, const Args& a) { return cut_arrays(self, a[0], a[1], a[2], a[3]); }

// A side of a cut: a number, a Var or a LinExpr.
bool cut_side(PyObject* side) { return is_number(side) || is_var(side) || is_linexpr(side); }

// The cut lhs - rhs compared with 0, its constant moved to the right-hand side.
PyObject* model_cbCut(PyObject* self, const Args& a) {
  require_turn(self);
  PyObject *lhs = a[0], *sense = a[1], *rhs = a[2];
  if (ndim_of(lhs) != 0 && ndim_of(sense) != 0 && PyUnicode_Check(rhs)) return cut_arrays(self, lhs, sense, rhs, a[3]);
  if (!cut_side(lhs)) raise(PyExc_TypeError, kLhsType);
  if (!cut_side(rhs)) raise(PyExc_TypeError, kRhsType);
  Ref expr = linexpr_new();
  expr = take(PyNumber_InPlaceAdd(expr.get(), lhs));
  expr = take(PyNumber_InPlaceSubtract(expr.get(), rhs));
  Ref one = take(PyTuple_Pack(1, expr.get()));
  const CompressedRows row = model_linExprs2array(holder_of(self), one.get(), false);
  const char s = sense_byte(sense);
  const double right = -row.constants[0];
  require_turn(self);  // again after the conversions, which may run code (and let the turn end)
  return submission_answer(VLMcbcut(as_model(self)->cbdata_, row.nnz(), row.ind_data(), row.val_data(), s, right));
}

PyObject* model_cbBranch(PyObject* self, const Args& a) {
  const double value = as_double(a[1]);
  const int32_t way = truncating_int(a[2]);
  require_turn(self);
  PyObject* var = a[0];
  if (PyLong_Check(var)) {
    const int32_t column = integer_only(var);
    return submission_answer(VLMcbbranchp(as_model(self)->cbdata_, column, value, way));
  }
  const int32_t index = model_var_index(holder_of(self), var, kVarOtherModel);
  return submission_answer(VLMcbbranch(as_model(self)->cbdata_, index, value, way));
}

// ---- documentation -------------------------------------------------------------------

const char cbGet_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            cbGet(what)\n"
    "\n"
    "        PURPOSE:\n"
    "            Retrieve additional data about the optimization progress.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            what: the code of the data, a member of VLM.Callback such as\n"
    "                  VLM.Callback.MIP_NODCNT; for data given per variable, a second\n"
    "                  argument names one index or a list of indices\n"
    "\n"
    "        NOTE:\n"
    "            Method can only be called within callback function.\n"
    "        ";

// The end of the two value queries' help texts.
#define VALUES_TAIL                                                                         \
  "\n"                                                                                      \
  "        ARGUMENTS:\n"                                                                    \
  "            vars: a Var or a list of Vars; or a column index of the presolved model or a\n" \
  "                  list of them\n"                                                        \
  "\n"                                                                                      \
  "        NOTE:\n"                                                                         \
  "            Method can only be called within callback function.\n"                       \
  "        "

const char cbGetNodeRel_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            cbGetNodeRel(vars)\n"
    "\n"
    "        PURPOSE:\n"
    "            Retrieve solution values of the current relaxed problem.\n" VALUES_TAIL;

const char cbGetSolution_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            cbGetSolution(vars)\n"
    "\n"
    "        PURPOSE:\n"
    "            Retrieve values of the best solution so far.\n" VALUES_TAIL;

#undef VALUES_TAIL

const char cbSetSolution_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            cbSetSolution(vars, sol)\n"
    "\n"
    "        PURPOSE:\n"
    "            Provide a new feasible solution for a MIP model. Values not given are left to\n"
    "            the solver; the solution is submitted by cbUseSolution(), or when the\n"
    "            callback function returns.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            vars: a Var or a list of Vars; or a column index of the presolved model or a\n"
    "                  list of them\n"
    "            sol: the value, or a list of values, one per element of vars\n"
    "\n"
    "        NOTE:\n"
    "            Method can only be called within callback function.\n"
    "        ";

const char cbUseSolution_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            cbUseSolution()\n"
    "\n"
    "        PURPOSE:\n"
    "            Submit the solution given by cbSetSolution() at once.\n"
    "            Method returns a tuple of 2 elements: status and objective value.\n"
    "            Status 0: Successful submission; 1: Submission is valid but incorrect\n"
    "            (infeasible, etc); 2: Submission is correct but not being accepted;\n"
    "            1000: nothing was submitted.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        NOTE:\n"
    "            Method can only be called within callback function.\n"
    "        ";

const char cbCut_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            cbCut(lhs, sense, rhs)\n"
    "\n"
    "        PURPOSE:\n"
    "            Add a new cutting plane to the MIP model.\n"
    "            Method returns the status: 0: Successful submission; 1: Submission is valid\n"
    "            but incorrect (infeasible, etc); 2: Submission is correct but not being\n"
    "            accepted.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            lhs: the left-hand side: a number, a Var or a LinExpr\n"
    "            sense: the sense of the cut: VLM.LESS_EQUAL, VLM.GREATER_EQUAL or VLM.EQUAL\n"
    "            rhs: the right-hand side: a number, a Var or a LinExpr\n"
    "\n"
    "        NOTE:\n"
    "            Method can only be called within callback function.\n"
    "        ";

const char cbBranch_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            cbBranch(var, value, way)\n"
    "\n"
    "        PURPOSE:\n"
    "            Indicate a new branching by a variable and a split point between its\n"
    "            bounds.\n"
    "            Method returns the status: 0: Successful submission; 1: Submission is valid\n"
    "            but incorrect (infeasible, etc); 2: Submission is correct but not being\n"
    "            accepted.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            var: the Var to branch on, or a column index of the presolved model\n"
    "            value: the split point between the variable's bounds\n"
    "            way: the branch explored first: negative the down branch, positive the up\n"
    "                 branch\n"
    "\n"
    "        NOTE:\n"
    "            Method can only be called within callback function.\n"
    "        ";

const FunctionDef model_callback_members[] = {
    {"_cbCutP", "self, coeffs, indices, sense, rhs", model__cbCutP, Kind::Method, nullptr, __LINE__},
    {"cbCut", "self, lhs, sense, rhs, obj=None", model_cbCut, Kind::Method, cbCut_doc, __LINE__},
    {"cbBranch", "self, var, value, way", model_cbBranch, Kind::Method, cbBranch_doc, __LINE__},
    {"cbGet", "self, what, index=None", model_cbGet, Kind::Method, cbGet_doc, __LINE__},
    {"cbGetNodeRel", "self, vars", model_cbGetNodeRel, Kind::Method, cbGetNodeRel_doc, __LINE__},
    {"cbGetSolution", "self, vars", model_cbGetSolution, Kind::Method, cbGetSolution_doc, __LINE__},
    {"cbSetSolution", "self, vars, sol", model_cbSetSolution, Kind::Method, cbSetSolution_doc, __LINE__},
    {"cbUseSolution", "self", model_cbUseSolution, Kind::Method, cbUseSolution_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

const MemberTable model_callback_table = {model_callback_members, __FILE__};

}  // namespace velmorpy
