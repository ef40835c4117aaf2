// Model.addConstr, addLConstr, addRange and the row adders under them.
#include "model/model_constrs.hpp"

#include <velmor.h>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "algebra/kinds.hpp"
#include "algebra/object_arrays.hpp"
#include "attributes/constr.hpp"
#include "attributes/handle.hpp"
#include "attributes/psdconstr.hpp"
#include "attributes/var.hpp"
#include "expressions/linexpr.hpp"
#include "expressions/psdexpr.hpp"
#include "expressions/quadexpr.hpp"
#include "expressions/tempconstr.hpp"
#include "matrix/psd_rows.hpp"
#include "model/model.hpp"
#include "model/model_rows.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/holder.hpp"
#include "runtime/members.hpp"
#include "runtime/numbers.hpp"
#include "runtime/strings.hpp"
#include "runtime/text.hpp"

namespace velmorpy {

namespace {

const char kNameNone[] = "expected bytes, NoneType found";
const char kNamesSize[] = "names doesn't have enough elements";
const char kTooMany[] = "value too large to convert to int";
const char kRowListsOutOfStep[] = "velmorpy: the model's lists of linear and semidefinite rows differ in length";
const char kQuadratic[] = "quadratic constraint is not currently supported";
const char kIndicatorValue[] = "indicator value can be only one of [0, 1]";
const char kIndicatorTwoSided[] = "indicator value can only be one of [0, 1]";
const char kRangeKind[] = "expr should be one of [Var, LinExpr, PsdExpr] type";
const char kLConstrSides[] = "sense and rhs should be None if lhs is s TempConstr";
const char kLConstrExpr[] = "expression in TempConstr shoud be one of [constant, Var, LinExpr] type";
const char kLConstrLhs[] = "lhs shoud be one of [constant, Var, LinExpr, TempConstr] type";
const char kLConstrMissing[] = "sense and rhs can not be None if lhs is not a TempConstr";
const char kLConstrRhs[] = "rhs shoud be one of [constant, Var, LinExpr, TempConstr] type";

// The handles of n rows added by `call` (given the library model; it returns
// the library's code). They join constrs_ and psdconstrs_ before the call, so
// that nothing can fail after the library added the rows, and leave them
// again, without allocating, when it refuses.
struct NewRows {
  Ref constrs, psdconstrs;  // lists of the new Constr and PsdConstr handles
};

template <class Call>
NewRows add_rows(PyObject* model, const Ref& holder, Py_ssize_t n, Call&& call) {
  ModelObject* m = as_model(model);
  // Read after every conversion: the lists that go with the holder.
  const Ref constrs = Ref::borrow(m->constrs_), psdconstrs = Ref::borrow(m->psdconstrs_);
  if (!PyList_Check(constrs.get()) || !PyList_Check(psdconstrs.get())) throw VlmCodeError{VLM_ERROR_INVALID_ARGUMENT};
  live_model(holder);
  const int64_t first = PyList_GET_SIZE(constrs.get());
  if (PyList_GET_SIZE(psdconstrs.get()) != first) raise(PyExc_RuntimeError, kRowListsOutOfStep);
  if (first + n > INT32_MAX) raise(PyExc_OverflowError, kTooMany);
  NewRows out{take(PyList_New(n)), take(PyList_New(n))};
  for (Py_ssize_t i = 0; i < n; ++i) {
    const auto index = static_cast<int32_t>(first + i);
    PyList_SET_ITEM(out.constrs.get(), i, handle_new(&ConstrType, holder, index).release());
    PyList_SET_ITEM(out.psdconstrs.get(), i, handle_new(&PsdConstrType, holder, index).release());
  }
  VLMmodel* mdl = live_model(holder);
  check(PyList_SetSlice(constrs.get(), first, first, out.constrs.get()));
  if (PyList_SetSlice(psdconstrs.get(), first, first, out.psdconstrs.get()) < 0) {
    truncate_list(constrs.get(), first);
    throw_error_set();
  }
  const int rc = call(mdl);
  if (rc != 0) {
    truncate_list(constrs.get(), first);
    truncate_list(psdconstrs.get(), first);
    throw VlmCodeError{rc};
  }
  return out;
}

// The bounds of one row, a missing side infinite; TypeError (the float
// conversion's, of None) when both are missing.
std::pair<double, double> row_bounds(PyObject* lb, PyObject* ub, double constant) {
  std::optional<double> lo = model_dec_bound(lb, constant);
  std::optional<double> hi = model_dec_bound(ub, constant);
  if (!lo && !hi) as_double(Py_None);
  return {lo ? *lo : -VLM_INFINITY, hi ? *hi : VLM_INFINITY};
}

// The indicator pair (condition >> implied constraint): checked here, added
// by the model's addGenConstrIndicator with the constraint's name.
Ref add_indicator(PyObject* self, PyObject* constr, PyObject* name) {
  Ref parsed = tempconstr_parseIndicator(constr);  // (var, value, expr, lhs, rhs)
  PyObject* var = PyTuple_GET_ITEM(parsed.get(), 0);
  PyObject* value = PyTuple_GET_ITEM(parsed.get(), 1);
  PyObject* expr = PyTuple_GET_ITEM(parsed.get(), 2);
  PyObject* lhs = PyTuple_GET_ITEM(parsed.get(), 3);
  PyObject* rhs = PyTuple_GET_ITEM(parsed.get(), 4);
  const double v = as_double(value);
  if (v != 0.0 && v != 1.0) raise(PyExc_ValueError, kIndicatorValue);
  const char* sense = nullptr;
  PyObject* side = nullptr;
  if (lhs == Py_None) {
    sense = "<";
    side = rhs;
  } else if (rhs == Py_None) {
    sense = ">";
    side = lhs;
  } else {
    raise(PyExc_ValueError, kIndicatorTwoSided);
  }
  return take(PyObject_CallMethod(self, "addGenConstrIndicator", "OOOsOO", var, v == 1.0 ? Py_True : Py_False, expr,
                                  sense, side, name));
}

// --- methods -------------------------------------------------------------------

PyObject* model_addConstr_method(PyObject* self, const Args& a) {
  return model_addTempConstr(self, a[0], a[1]).release();
}

PyObject* model_addRange(PyObject* self, const Args& a) {
  PyObject *expr = a[0], *lower = a[1], *upper = a[2];
  PyObject* name = a[3] == Py_None ? VLM_STR("") : a[3];
  if (is_var(expr)) {
    Ref lin = linexpr_from(expr);
    return model_addConstr(self, lin.get(), lower, upper, name).release();
  }
  if (is_linexpr(expr)) return model_addConstr(self, expr, lower, upper, name).release();
  if (is_psdexpr(expr)) return model_addPsdConstr(self, expr, lower, upper, name).release();
  raise(PyExc_TypeError, kRangeKind);
}

// A number, a Var or a LinExpr.
bool is_linear_side(PyObject* o) { return is_var(o) || is_linexpr(o) || is_number(o); }

PyObject* model_addLConstr(PyObject* self, const Args& a) {
  PyObject *lhs = a[0], *sense = a[1], *rhs = a[2], *name = a[3];
  if (is_tempconstr(lhs)) {
    if (sense != Py_None || rhs != Py_None) raise(PyExc_ValueError, kLConstrSides);
    Ref expr = tempconstr_getExpr(lhs);
    if (!is_linear_side(expr.get())) raise(PyExc_TypeError, kLConstrExpr);
    return model_addTempConstr(self, lhs, name).release();
  }
  if (!is_linear_side(lhs)) raise(PyExc_TypeError, kLConstrLhs);
  if (sense == Py_None || rhs == Py_None) raise(PyExc_ValueError, kLConstrMissing);
  if (!is_linear_side(rhs)) raise(PyExc_TypeError, kLConstrRhs);
  Ref left = linexpr_from(lhs);
  Ref expr = take(PyNumber_Subtract(left.get(), rhs));
  Ref zero = take(PyLong_FromLong(0));
  Ref constr;
  check_object_nesting(sense);  // an array is compared cell by cell by NumPy
  if (check(PyObject_RichCompareBool(sense, VLM_STR(">"), Py_EQ))) {
    constr = tempconstr_new(expr.get(), zero.get(), Py_None);
  } else if (check(PyObject_RichCompareBool(sense, VLM_STR("="), Py_EQ))) {
    constr = tempconstr_equality(expr.get());
  } else if (check(PyObject_RichCompareBool(sense, VLM_STR("<"), Py_EQ))) {
    constr = tempconstr_new(expr.get(), Py_None, zero.get());
  } else {
    raise_invalid_sense(sense);
  }
  return model_addTempConstr(self, constr.get(), name).release();
}

// --- documentation -------------------------------------------------------------

const char addConstr_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            addConstr(constr, name='')\n"
    "\n"
    "        PURPOSE:\n"
    "            Add a constraint to the model and return it\n"
    "\n"
    "        ARGUMENTS:\n"
    "            constr: the constraint: a comparison of expressions (<=, >= or ==), a range\n"
    "                    (expr == [lb, ub]), or an indicator pair ((x == 1) >> (expr <= rhs))\n"
    "            name: the name of the constraint\n"
    "\n"
    "        EXAMPLE:\n"
    "            c = m.addConstr(x + 2 * y <= 4, 'c0')\n"
    "            r = m.addConstr(x - y == [0, 10])\n"
    "        ";

const char addLConstr_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            addLConstr(lhs, sense=None, rhs=None, name='')\n"
    "\n"
    "        PURPOSE:\n"
    "            Add a linear constraint to the model and return it\n"
    "\n"
    "        ARGUMENTS:\n"
    "            lhs: the left-hand side: a number, a Var or a LinExpr; or a whole linear\n"
    "                 constraint (then sense and rhs stay None)\n"
    "            sense: VLM.LESS_EQUAL ('<'), VLM.GREATER_EQUAL ('>') or VLM.EQUAL ('=')\n"
    "            rhs: the right-hand side: a number, a Var or a LinExpr\n"
    "            name: the name of the constraint\n"
    "\n"
    "        EXAMPLE:\n"
    "            c = m.addLConstr(x + y, VLM.LESS_EQUAL, 4, 'c0')\n"
    "            c = m.addLConstr(x + y <= 4, name='c1')\n"
    "        ";

const char addRange_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            addRange(expr, lower, upper, name='')\n"
    "\n"
    "        PURPOSE:\n"
    "            Add a range constraint lower <= expr <= upper to the model and return it\n"
    "\n"
    "        ARGUMENTS:\n"
    "            expr: the expression: a Var, a LinExpr or a PsdExpr\n"
    "            lower: the lower bound; None for none\n"
    "            upper: the upper bound; None for none\n"
    "            name: the name of the constraint\n"
    "\n"
    "        EXAMPLE:\n"
    "            r = m.addRange(x + y, 1, 5, 'r0')\n"
    "        ";

const FunctionDef model_constrs_members[] = {
    {"addConstr", "self, constr, name=''", model_addConstr_method, Kind::Method, addConstr_doc, __LINE__},
    {"addLConstr", "self, lhs, sense=None, rhs=None, name=''", model_addLConstr, Kind::Method, addLConstr_doc,
     __LINE__},
    {"addRange", "self, expr, lower, upper, name=''", model_addRange, Kind::Method, addRange_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

Ref model_addConstr(PyObject* model, PyObject* expr, PyObject* lb, PyObject* ub, PyObject* name) {
  if (name == Py_None) raise(PyExc_TypeError, kNameNone);
  CText cname(name);
  const Ref holder = holder_of(model);
  Ref one = take(PyTuple_Pack(1, expr));
  const CompressedRows rows = model_linExprs2array(holder, one.get(), /*with_starts=*/false);
  const auto [lo, hi] = row_bounds(lb, ub, rows.constants[0]);
  rows.mark.check();
  NewRows added = add_rows(model, holder, 1, [&](VLMmodel* mdl) {
    return VLMaddrangeconstr(mdl, rows.nnz(), rows.ind_data(), rows.val_data(), lo, hi, cname.get());
  });
  return Ref::borrow(PyList_GET_ITEM(added.constrs.get(), 0));
}

Ref model_addConstrs(PyObject* model, PyObject* exprs, PyObject* lb, PyObject* ub, PyObject* names) {
  std::vector<CText> texts;
  if (names) {
    Ref iter = take(PyObject_GetIter(names));
    while (PyObject* next = PyIter_Next(iter.get())) {
      Ref item = Ref::steal(next);
      texts.emplace_back(item.get());
    }
    if (PyErr_Occurred()) throw_error_set();
  }
  const Ref holder = holder_of(model);
  const CompressedRows rows = model_linExprs2array(holder, exprs, /*with_starts=*/true);
  const int n = rows.rows();
  if (names && static_cast<int64_t>(texts.size()) < n) raise(PyExc_ValueError, kNamesSize);
  std::vector<const char*> cnames;
  if (names) {
    cnames.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) cnames.push_back(texts[i].get());
  }
  return model_addRowBatch(model, holder, rows, model_batch_bounds(lb, rows.constants),
                           model_batch_bounds(ub, rows.constants), names ? cnames.data() : nullptr);
}

std::vector<double> model_batch_bounds(PyObject* bound, const std::vector<double>& constants) {
  std::vector<double> out;
  if (bound == Py_None) return out;
  out.reserve(constants.size());
  for (double c : constants) out.push_back(*model_dec_bound(bound, c));
  return out;
}

void raise_invalid_sense(PyObject* sense) {
  Ref text = take(PyObject_Format(sense, nullptr));
  Ref message = take(PyUnicode_FromFormat("Invalid sense `%U`", text.get()));
  raise_velmor_text(message);
}

Ref model_addRowBatch(PyObject* model, const Ref& holder, const RowsView& rows, const std::vector<double>& lbs,
                      const std::vector<double>& ubs, const char* const* names) {
  rows.mark.check();  // the bounds and names are converted by now
  const int n = rows.rows;
  if (n == 0) {
    live_model(holder);
    return take(PyList_New(0));
  }
  return add_rows(model, holder, n, [&](VLMmodel* mdl) {
    return VLMaddrangeconstrs(mdl, n, rows.nnz, rows.beg, rows.nnz ? rows.ind : nullptr, rows.nnz ? rows.val : nullptr,
                              lbs.empty() ? nullptr : lbs.data(), ubs.empty() ? nullptr : ubs.data(), names);
  }).constrs;
}

Ref model_addTempConstr(PyObject* model, PyObject* constr, PyObject* name) {
  check_arg_type(constr, &TempConstrType, "constr", /*allow_none=*/false);
  Ref lhs = tempconstr_getLhs(constr), rhs = tempconstr_getRhs(constr), expr = tempconstr_getExpr(constr);
  if (is_quadexpr(expr.get())) raise(PyExc_TypeError, kQuadratic);
  if (!is_linexpr(expr.get()) && !is_var(expr.get()) && !is_psdexpr(expr.get()) && expr.get() != Py_None) {
    OpKind kind = operand_kind(expr.get());
    if (kind == OpKind::MQuad) raise(PyExc_TypeError, kQuadratic);
    if (kind == OpKind::MVar) {
      Ref zero = take(PyLong_FromLong(0));
      expr = take(PyNumber_Add(expr.get(), zero.get()));
      kind = OpKind::MLin;
    }
    if (kind == OpKind::MLin) return model_addMatrixConstr(model, expr.get(), lhs.get(), rhs.get(), name);
  }
  if (is_psdexpr(expr.get())) return model_addPsdConstr(model, expr.get(), lhs.get(), rhs.get(), name);
  if (is_tempconstr(lhs.get()) || is_tempconstr(rhs.get())) return add_indicator(model, constr, name);
  Ref lin = linexpr_from(expr.get());
  return model_addConstr(model, lin.get(), lhs.get(), rhs.get(), name);
}

Ref model_addPsdConstr(PyObject* model, PyObject* expr, PyObject* lb, PyObject* ub, PyObject* name) {
  CText cname(name);
  const Ref holder = holder_of(model);
  PsdExprObject* e = psdexpr_checked(expr);
  Ref lin = Ref::borrow(e->lin_);
  Ref one = take(PyTuple_Pack(1, lin.get()));
  const CompressedRows linear = model_linExprs2array(holder, one.get(), /*with_starts=*/false);
  const PsdRowTerms psd = model_psdExpr2array(holder, expr);
  double constant = linear.constants[0];
  if (!Py_IS_TYPE(expr, &PsdExprType)) {
    Ref c = take(PyObject_CallMethodNoArgs(expr, VLM_STR("getConstant")));
    constant = as_double(c.get());
  }
  const auto [lo, hi] = row_bounds(lb, ub, constant);
  linear.mark.check();  // taken before the semidefinite terms were read too
  NewRows added = add_rows(model, holder, 1, [&](VLMmodel* mdl) {
    return VLMaddrangepsdconstr(mdl, linear.nnz(), psd.vars(), psd.nnz(), linear.ind_data(), linear.val_data(),
                                psd.var_data(), psd.beg_data(), psd.ind_data(), psd.val_data(), lo, hi, cname.get());
  });
  return Ref::borrow(PyList_GET_ITEM(added.psdconstrs.get(), 0));
}

const MemberTable model_constrs_table = {model_constrs_members, __FILE__};

}  // namespace velmorpy
