// Model.setObjective and Model.getObjective.
#include "model/model_objective.hpp"

#include "runtime/numpy.hpp"

#include <velmor.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "algebra/kinds.hpp"
#include "attributes/attr_access.hpp"
#include "attributes/handle.hpp"
#include "attributes/psdvar.hpp"
#include "expressions/linexpr.hpp"
#include "expressions/list.hpp"
#include "expressions/psdexpr.hpp"
#include "expressions/quadexpr.hpp"
#include "model/model.hpp"
#include "model/model_rows.hpp"
#include "runtime/args.hpp"
#include "runtime/constants.hpp"
#include "runtime/errors.hpp"
#include "runtime/holder.hpp"
#include "runtime/members.hpp"
#include "runtime/numbers.hpp"
#include "runtime/state.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

namespace {

const char kObjectiveKind[] = "expr should be one of [LinExpr, QuadExpr, PsdExpr] type";
const char kBothParts[] =
    "the objective has both quadratic and semidefinite terms, which no one expression can hold";
const char kListOutOfRange[] = "list index out of range";

// The library refuses a NaN or infinite coefficient or constant; checked
// before anything is written, with the code it would give.
double finite(double v) {
  if (!std::isfinite(v)) throw VlmCodeError{VLM_ERROR_INVALID_ARGUMENT};
  return v;
}

// A variable index that names an item of a list of n.
int in_range(int index, Py_ssize_t n) {
  if (index < 0 || index >= n) throw VlmCodeError{VLM_ERROR_MODEL_INVALID_COL_IDX};
  return index;
}

// A list of the model, held for the caller; None until __init__ ran.
Ref model_list(PyObject* list) {
  if (!PyList_Check(list)) throw VlmCodeError{VLM_ERROR_INVALID_ARGUMENT};
  return Ref::borrow(list);
}

// --- setObjective: everything read and checked before the first write -------------

struct QuadTerms {
  std::vector<int> row, col;
  std::vector<double> val;
  void add(int r, int c, double v) {
    row.push_back(r);
    col.push_back(c);
    val.push_back(finite(v));
  }
};

// The quadratic terms as the expression holds them: no merging, no
// reordering of the pair, zeros kept. An exact QuadExpr is read from its term
// buffers, a subclass through size, getVar1, getVar2 and getCoeff.
QuadTerms quadratic_terms(const Ref& holder, PyObject* expr, Py_ssize_t nvars) {
  QuadTerms out;
  if (Py_IS_TYPE(expr, &QuadExprType)) {
    QuadExprObject* q = quadexpr_checked(expr);
    if (!q->coeffs_.objects) {  // numbers: read in place (checking the variables runs no Python code)
      const Py_ssize_t n = quadexpr_size(q);
      const double* coeffs = nums_items(q->coeffs_.nums);
      PyObject* const* vars1 = terms_items(q->vars1_);
      PyObject* const* vars2 = terms_items(q->vars2_);
      out.row.reserve(static_cast<size_t>(n));
      out.col.reserve(static_cast<size_t>(n));
      out.val.reserve(static_cast<size_t>(n));
      for (Py_ssize_t i = 0; i < n; ++i)
        out.add(in_range(model_var_index(holder, vars1[i]), nvars), in_range(model_var_index(holder, vars2[i]), nvars),
                coeffs[i]);
      return out;
    }
    // Objects: converting one that is not an exact float runs Python code,
    // which may change the expression; the shares taken here keep what is read.
    OwnedTerms coeffs(terms_copy(q->coeffs_.objs)), vars1(terms_copy(q->vars1_)), vars2(terms_copy(q->vars2_));
    for (Py_ssize_t i = 0; i < terms_size(coeffs.t) && i < terms_size(vars1.t) && i < terms_size(vars2.t); ++i) {
      const int r = in_range(model_var_index(holder, terms_at(vars1.t, i)), nvars);
      const int c = in_range(model_var_index(holder, terms_at(vars2.t, i)), nvars);
      Ref coeff = Ref::borrow(terms_at(coeffs.t, i));  // its float conversion may run code
      out.add(r, c, number_value(coeff.get()));
    }
    return out;
  }
  Ref size = take(PyObject_CallMethodNoArgs(expr, VLM_STR("size")));
  const int64_t n = integer_only<int64_t>(size.get());
  for (int64_t i = 0; i < n; ++i) {
    Ref v1 = take(PyObject_CallMethod(expr, "getVar1", "L", static_cast<long long>(i)));
    Ref v2 = take(PyObject_CallMethod(expr, "getVar2", "L", static_cast<long long>(i)));
    Ref coeff = take(PyObject_CallMethod(expr, "getCoeff", "L", static_cast<long long>(i)));
    const double value = number_value(coeff.get());
    out.add(in_range(model_var_index(holder, v1.get()), nvars), in_range(model_var_index(holder, v2.get()), nvars),
            value);
  }
  return out;
}

// The PsdObj of every semidefinite variable of the model, in index order: the
// sum of the expression's coefficients of that variable, each read as the
// symmetric matrix it stands for, an empty Dim x Dim coo_matrix for the others.
// The terms are read by psdexpr_terms.
Ref psd_objective(const Ref& holder, PyObject* expr, const Ref& psdvars) {
  const Py_ssize_t npsd = PyList_GET_SIZE(psdvars.get());
  std::vector<Ref> sums(static_cast<size_t>(npsd));
  auto add = [&](PyObject* var, PyObject* coeff) {
    // Each coefficient as the symmetric matrix it stands for (the mirror rule
    // its value is computed with), then summed: the library reads the sum as
    // it stands.
    Ref sym = psdexpr_restore_symmat(coeff);
    Ref& sum = sums[static_cast<size_t>(in_range(model_psdvar_index(holder, var), npsd))];
    sum = sum ? take(PyNumber_Add(sum.get(), sym.get())) : std::move(sym);
  };
  if (expr)
    for (const PsdTermRef& t : psdexpr_terms(expr)) add(t.var.get(), t.coeff.get());
  Ref dims = _getAttr(holder, VLM_STR("Dim"), AttrKind::PsdVar, psdvars.get());
  Ref matrices = take(PyList_New(npsd));
  Ref sp = module_global("_sp");
  for (Py_ssize_t k = 0; k < npsd; ++k) {
    Ref matrix = std::move(sums[static_cast<size_t>(k)]);
    if (!matrix) {
      Ref dim = take(PySequence_GetItem(dims.get(), k));
      matrix = take(PyObject_CallMethod(sp.get(), "coo_matrix", "((OO))", dim.get(), dim.get()));
    }
    PyList_SET_ITEM(matrices.get(), k, matrix.release());
  }
  return matrices;
}

// A 0-d MLinExpr or MQuadExpr (what c @ x gives for 1-D c and x) stands for
// its one item; every other object is itself.
Ref single_item(PyObject* expr) {
  if (is_linexpr(expr) || is_quadexpr(expr) || is_psdexpr(expr) || expr == Py_None) return Ref::borrow(expr);
  const OpKind kind = operand_kind(expr);
  if (kind != OpKind::MLin && kind != OpKind::MQuad) return Ref::borrow(expr);
  Ref shape = take(PyObject_GetAttrString(expr, "shape"));
  if (!PyTuple_Check(shape.get()) || PyTuple_GET_SIZE(shape.get()) != 0) return Ref::borrow(expr);
  return take(PyObject_CallMethodNoArgs(expr, VLM_STR("item")));
}

// Writes the model sense now, and writes it back if a later step fails.
class SenseChange {
 public:
  SenseChange(const Ref& holder, int32_t sense) : holder_(holder) {
    if (sense == kMaxInt) return;
    old_ = _getAttrOne(holder_, VLM_STR("ModelSense"), AttrKind::Model, nullptr);
    Ref value = take(PyLong_FromLong(sense));
    _setAttr(holder_, VLM_STR("ModelSense"), AttrKind::Model, nullptr, value.get());
  }
  // Called on the failure path, with the failure's Python error (if any) kept.
  void undo() noexcept {
    if (!old_) return;
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    try {
      _setAttr(holder_, VLM_STR("ModelSense"), AttrKind::Model, nullptr, old_.get());
    } catch (...) {
      PyErr_Clear();
    }
    PyErr_Restore(type, value, tb);
  }

 private:
  const Ref& holder_;
  Ref old_;
};

PyObject* model_setObjective(PyObject* self, const Args& a) {
  const int32_t sense = integer_only(a[1]);
  Ref expr = single_item(a[0]);
  PyObject* e = expr.get();
  Ref lin;  // the linear part and the constant
  if (is_linexpr(e)) {
    lin = Ref::borrow(e);
  } else if (is_quadexpr(e)) {
    lin = Ref::borrow(quadexpr_checked(e)->lin_);
  } else if (is_psdexpr(e)) {
    lin = Ref::borrow(reinterpret_cast<PyObject*>(psdexpr_lin(psdexpr_checked(e))));
  } else {
    raise(PyExc_TypeError, kObjectiveKind);
  }
  const Ref holder = holder_of(self);
  ModelObject* m = as_model(self);

  // Every term is read, checked and converted before the first write.
  Ref one = take(PyTuple_Pack(1, lin.get()));
  CompressedRows linear = model_linExprs2array(holder, one.get(), /*with_starts=*/false);
  const double constant = finite(linear.constants[0]);
  QuadTerms quad;
  if (is_quadexpr(e)) quad = quadratic_terms(holder, e, PyList_GET_SIZE(model_list(m->vars_).get()));
  const Ref psdvars = model_list(m->psdvars_);
  Ref psd_matrices = PyList_GET_SIZE(psdvars.get()) > 0 ? psd_objective(holder, is_psdexpr(e) ? e : nullptr, psdvars)
                                                       : Ref();
  linear.mark.check();  // every term read and converted since the linear ones
  // Read after every conversion: the list that goes with the holder.
  const Ref vars = model_list(m->vars_);
  const Py_ssize_t nvars = PyList_GET_SIZE(vars.get());
  npy_intp dims[1] = {nvars};
  Ref obj = take(PyArray_ZEROS(1, dims, NPY_FLOAT64, 0));
  auto* obj_data = static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(obj.get())));
  for (int k = 0; k < linear.nnz(); ++k) obj_data[in_range(linear.ind[k], nvars)] = finite(linear.val[k]);
  linear = CompressedRows();  // not needed any more: freed before the writes, which allocate too
  for (int r : quad.row) in_range(r, nvars);
  for (int c : quad.col) in_range(c, nvars);

  // The writes the caller's values can make the library refuse come first:
  // the sense, then the semidefinite coefficients (all in one call); a refused
  // one leaves the objective as it was. The rest cannot be refused any more.
  SenseChange sense_change(holder, sense);
  try {
    if (psd_matrices) _setAttr(holder, VLM_STR("PsdObj"), AttrKind::PsdVar, psdvars.get(), psd_matrices.get());
  } catch (...) {
    sense_change.undo();
    throw;
  }
  check_rc(VLMdelq(live_model(holder)));
  if (nvars > 0) _setAttr(holder, VLM_STR("Obj"), AttrKind::Var, vars.get(), obj.get());
  Ref objcon = take(PyFloat_FromDouble(constant));
  _setAttr(holder, VLM_STR("ObjCon"), AttrKind::Model, nullptr, objcon.get());
  if (!quad.val.empty())
    check_rc(VLMaddqpterms(live_model(holder), static_cast<int>(quad.val.size()), quad.row.data(), quad.col.data(),
                           quad.val.data()));
  Py_RETURN_NONE;
}

// --- getObjective ----------------------------------------------------------------

// Whether a PsdObj value has a non-zero entry: a NumPy array or a SciPy sparse
// matrix; any other value has none.
bool has_nonzero(PyObject* matrix) {
  if (PyArray_Check(matrix)) {
    const npy_intp n = PyArray_CountNonzero(reinterpret_cast<PyArrayObject*>(matrix));
    if (n < 0) throw_error_set();
    return n > 0;
  }
  Ref sp = module_global("_sp");
  Ref spmatrix = take(PyObject_GetAttrString(sp.get(), "spmatrix"));
  if (check(PyObject_IsInstance(matrix, spmatrix.get())) == 0) return false;
  Ref n = take(PyObject_CallMethodNoArgs(matrix, VLM_STR("count_nonzero")));
  return integer_only<int64_t>(n.get()) > 0;
}

PyObject* model_getObjective(PyObject* self, const Args&) {
  const Ref holder = holder_of(self);
  ModelObject* m = as_model(self);
  const Ref vars = model_list(m->vars_), psdvars = model_list(m->psdvars_);
  const Py_ssize_t nvars = PyList_GET_SIZE(vars.get());

  Ref le = linexpr_new();
  LinExprObject* lin = as_linexpr(le.get());
  Ref objcon = _getAttrOne(holder, VLM_STR("ObjCon"), AttrKind::Model, nullptr);
  lin->constant_ += as_double(objcon.get());
  if (nvars > 0) {
    Ref values = _getAttr(holder, VLM_STR("Obj"), AttrKind::Var, vars.get());
    const auto* obj = static_cast<const double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(values.get())));
    for (Py_ssize_t k = 0; k < nvars; ++k)
      if (obj[k] != 0) linexpr_addterm(lin, obj[k], PyList_GET_ITEM(vars.get(), k));
  }

  Ref qe = quadexpr_new(Ref::borrow(le.get()));
  int numqnz = 0;
  check_rc(VLMgetq(live_model(holder), &numqnz, nullptr, nullptr, nullptr));
  if (numqnz > 0) {
    std::vector<int> row(static_cast<size_t>(numqnz)), col(static_cast<size_t>(numqnz));
    std::vector<double> val(static_cast<size_t>(numqnz));
    int filled = numqnz;
    check_rc(VLMgetq(live_model(holder), &filled, row.data(), col.data(), val.data()));
    if (filled < 0 || filled > numqnz) raise(PyExc_IndexError, kListOutOfRange);
    for (int i = 0; i < filled; ++i) {
      if (row[i] < 0 || row[i] >= nvars || col[i] < 0 || col[i] >= nvars) raise(PyExc_IndexError, kListOutOfRange);
      quadexpr_addterm(as_quadexpr(qe.get()), val[i], PyList_GET_ITEM(vars.get(), row[i]),
                       PyList_GET_ITEM(vars.get(), col[i]));
    }
  }

  Ref pe = psdexpr_new();
  Py_XSETREF(as_psdexpr(pe.get())->lin_, Py_NewRef(le.get()));
  if (PyList_GET_SIZE(psdvars.get()) > 0) {
    Ref matrices = _getAttr(holder, VLM_STR("PsdObj"), AttrKind::PsdVar, psdvars.get());
    for (Py_ssize_t k = 0; k < PyList_GET_SIZE(psdvars.get()); ++k) {
      Ref var = Ref::borrow(PyList_GET_ITEM(psdvars.get(), k));  // SciPy and attribute reads run code
      Ref matrix = take(PySequence_GetItem(matrices.get(), k));
      if (has_nonzero(matrix.get())) psdexpr_addterm(as_psdexpr(pe.get()), matrix.get(), var.get());
    }
  }
  const bool has_quad = quadexpr_size(as_quadexpr(qe.get())) > 0;
  if (terms_size(as_psdexpr(pe.get())->coeffs_) > 0) {
    if (has_quad) raise(PyExc_ValueError, kBothParts);
    return pe.release();
  }
  return has_quad ? qe.release() : le.release();
}

const char setObjective_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            setObjective(expr, sense=0)\n"
    "\n"
    "        PURPOSE:\n"
    "            Set the objective function\n"
    "\n"
    "        ARGUMENTS:\n"
    "            expr: The expression of the objective function.\n"
    "            sense: The optimization sense of the objective function, including:\n"
    "                * VLM.MINIMIZE(1) for minimization\n"
    "                * VLM.MAXIMIZE(-1) for maximization\n"
    "                Other value won't change the current optimization sense. The default optimization\n"
    "                sense is VLM_MINIMIZE.\n"
    "\n"
    "        EXAMPLE:\n"
    "            m.setObjective(x + 2 * y, VLM.MINIMIZE)\n"
    "        ";

const char getObjective_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getObjective()\n"
    "\n"
    "        PURPOSE:\n"
    "            Get the expression of the objective function.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None.\n"
    "\n"
    "        EXAMPLE:\n"
    "            expr = m.getObjective()\n"
    "        ";

const FunctionDef model_objective_members[] = {
    {"setObjective", "self, expr, sense=VLM.MAXINT", model_setObjective, Kind::Method, setObjective_doc, __LINE__},
    {"getObjective", "self", model_getObjective, Kind::Method, getObjective_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

const MemberTable model_objective_table = {model_objective_members, __FILE__};

}  // namespace velmorpy
