// The model's matrix interface: addMVar, addPsdVar, addMConstr, getA and the matrix rows.
#include "matrix/model_matrix.hpp"

#include "runtime/numpy.hpp"

#include <velmor.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "algebra/kernels.hpp"
#include "algebra/kinds.hpp"
#include "algebra/object_arrays.hpp"
#include "attributes/handle.hpp"
#include "attributes/psdvar.hpp"
#include "attributes/var.hpp"
#include "expressions/linexpr.hpp"
#include "expressions/psdexpr.hpp"
#include "matrix/matrix_array.hpp"
#include "matrix/mconstr.hpp"
#include "matrix/mvar.hpp"
#include "model/indexed_names.hpp"
#include "model/model.hpp"
#include "model/model_constrs.hpp"
#include "model/model_items.hpp"
#include "model/model_rows.hpp"
#include "model/model_vars.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/function.hpp"
#include "runtime/holder.hpp"
#include "runtime/state.hpp"
#include "runtime/strings.hpp"
#include "runtime/text.hpp"

namespace velmorpy {

namespace {

const char kDimOrObj[] = "one of arguments {`dim`, `obj`} should be provided";
const char kObjKind[] = "obj should be a numpy 2d-array or scipy sparse matrix";
const char kObjSquare[] = "obj should be a square matrix";
const char kObjDim[] = "dimension of obj should be equal to dim";
const char kDimTooLarge[] = "dim * dim is beyond the 32-bit range";
const char kMatrixA[] = "argument A shoud be a matrix";
const char kVectorX[] = "argument x shoud be a 1-D array or a matrix";
const char kLengthX[] = "first dimension of x should be equal to second dimension of A";
const char kSenseDims[] = "sense should be a scalar or 1-D array";
const char kSenseLength[] = "length of sense should be equal to first dimension of A";
const char kVectorB[] = "argument b shoud be a 1-D array";
const char kLengthB[] = "length of b should be equal to first dimension of A";

PyArrayObject* arr(const Ref& a) { return reinterpret_cast<PyArrayObject*>(a.get()); }

// The extent `i` of `obj.shape`, 64-bit. Throws.
int64_t extent(PyObject* obj, Py_ssize_t i) {
  if (PyArray_Check(obj)) return PyArray_DIM(reinterpret_cast<PyArrayObject*>(obj), static_cast<int>(i));
  Ref shape = take(PyObject_GetAttrString(obj, "shape"));
  Ref d = take(PySequence_GetItem(shape.get(), i));
  return integer_only<int64_t>(d.get());
}

int ndim(PyObject* obj) {
  if (PyArray_Check(obj)) return PyArray_NDIM(reinterpret_cast<PyArrayObject*>(obj));
  Ref n = take(PyObject_GetAttrString(obj, "ndim"));
  return integer_only(n.get());
}

// The cells of a matrix-shaped expression's array as a list of LinExpr in
// row-major order: a Var cell becomes its one-term LinExpr; anything else is
// left for the flattening to refuse. Throws.
Ref linexpr_cells(PyObject* array) {
  ObjectCells cells = object_cells(array);
  Ref list = take(PyList_New(cells.size));
  for (Py_ssize_t k = 0; k < cells.size; ++k) {
    PyObject* cell = cells[k];
    PyList_SET_ITEM(list.get(), k, is_var(cell) ? linexpr_from(cell).release() : Py_NewRef(cell));
  }
  return list;
}

// The handles of `list` as an object array of `nd` dimensions `dims`
// (row-major), wrapped by MConstr.new. Throws.
Ref mconstr_of(const Ref& list, int nd, const Py_ssize_t* dims) {
  Ref array = new_object_array(nd, dims);
  for (Py_ssize_t k = 0; k < PyList_GET_SIZE(list.get()); ++k)
    put_cell(array, k, Ref::borrow(PyList_GET_ITEM(list.get(), k)));
  return mconstr_new(array.get());
}

// --- addMVar ----------------------------------------------------------------------

// One variable per cell of `shape`, added with one library call and named
// from the cells' index tuples (numpy.ndindex, row-major order). The shape is
// checked before NumPy sees it, and no more variables than a model can hold
// are asked for.
PyObject* model_addMVar(PyObject* self, const Args& a) {
  int64_t cells = 0;
  Ref shape = checked_shape(a[0], &cells);
  if (cells > INT32_MAX) raise(PyExc_OverflowError, "value too large to convert to int");
  Ref np = module_global("_np");
  Ref keys = take(PyObject_CallMethodOneArg(np.get(), VLM_STR("ndindex"), shape.get()));
  Ref handles = model_addVars(self, shape.get(), keys.get(), VarBatch{a[1], a[2], a[3], a[4], a[5]});
  return mvar_new(handles.get()).release();
}

// --- addPsdVar --------------------------------------------------------------------

// The objective entries of a new semidefinite variable of order `dim`: the
// coefficient read as the symmetric matrix it stands for (the mirror rule),
// both triangles, row-major.
void psd_objective_entries(PyObject* obj, int64_t dim, std::vector<int>& ind, std::vector<double>& val) {
  int64_t rows = 0, cols = 0;
  std::vector<SymEntry> entries = psd_symmetric_entries(obj, &rows, &cols);
  std::sort(entries.begin(), entries.end(),
            [](const SymEntry& x, const SymEntry& y) { return x.row != y.row ? x.row < y.row : x.col < y.col; });
  ind.reserve(entries.size());
  val.reserve(entries.size());
  for (const SymEntry& e : entries) {
    ind.push_back(static_cast<int>(e.row * dim + e.col));
    val.push_back(e.value);
  }
}

PyObject* model_addPsdVar(PyObject* self, const Args& a) {
  int64_t dim = integer_only(a[0]);
  PyObject* obj = a[1];
  CText name(a[2]);
  if (obj == Py_None && dim < 1) raise(PyExc_ValueError, kDimOrObj);
  std::vector<int> ind;
  std::vector<double> val;
  if (obj != Py_None) {
    if (!(PyArray_Check(obj) && PyArray_NDIM(reinterpret_cast<PyArrayObject*>(obj)) == 2) && !is_sparse_matrix(obj))
      raise(PyExc_TypeError, kObjKind);
    const int64_t order = extent(obj, 0);
    if (order != extent(obj, 1)) raise(PyExc_ValueError, kObjSquare);
    if (dim >= 1 && dim != order) raise(PyExc_ValueError, kObjDim);
    dim = order;
  }
  if (dim > INT32_MAX / std::max<int64_t>(dim, 1)) raise(PyExc_ValueError, kDimTooLarge);  // dim * dim, without overflow
  if (obj != Py_None) psd_objective_entries(obj, dim, ind, val);
  // The handle joins the list before the library call and leaves it again
  // when the library refuses, as rows do.
  const Ref holder = holder_of(self);
  const Ref psdvars = Ref::borrow(as_model(self)->psdvars_);
  if (!PyList_Check(psdvars.get())) throw VlmCodeError{VLM_ERROR_INVALID_ARGUMENT};
  live_model(holder);
  const Py_ssize_t index = PyList_GET_SIZE(psdvars.get());
  if (index >= INT32_MAX) raise(PyExc_OverflowError, "value too large to convert to int");
  Ref var = handle_new(&PsdVarType, holder, static_cast<int32_t>(index));
  VLMmodel* mdl = live_model(holder);
  check(PyList_Append(psdvars.get(), var.get()));
  const int rc = VLMaddpsdvar(mdl, static_cast<int>(dim), static_cast<int>(ind.size()),
                              ind.empty() ? nullptr : ind.data(), val.empty() ? nullptr : val.data(), name.get());
  if (rc != 0) {
    truncate_list(psdvars.get(), index);
    throw VlmCodeError{rc};
  }
  return var.release();
}

// --- addMConstr -------------------------------------------------------------------

// The sense of every one of m rows: '<', '>' or '='. Throws.
std::vector<char> row_senses(PyObject* sense, int64_t m) {
  Ref senses = numpy_array(sense);
  check_object_nesting(senses.get());  // each item is compared by its own ==
  const int nd = PyArray_NDIM(arr(senses));
  if (nd > 1) raise(PyExc_ValueError, kSenseDims);
  if (nd == 1 && PyArray_DIM(arr(senses), 0) != m) raise(PyExc_ValueError, kSenseLength);
  // A scalar serves every row.
  const int64_t given = nd == 1 ? m : std::min<int64_t>(m, 1);
  std::vector<char> out;
  out.reserve(static_cast<size_t>(m));
  for (int64_t i = 0; i < given; ++i) {
    Ref item = take(nd == 0 ? PyArray_GETITEM(arr(senses), static_cast<const char*>(PyArray_DATA(arr(senses))))
                            : PySequence_GetItem(senses.get(), static_cast<Py_ssize_t>(i)));
    auto is = [&](PyObject* text) { return check(PyObject_RichCompareBool(item.get(), text, Py_EQ)) == 1; };
    const char c = is(VLM_STR("<")) ? '<' : is(VLM_STR(">")) ? '>' : is(VLM_STR("=")) ? '=' : 0;
    if (!c) raise_invalid_sense(item.get());  // the element, as NumPy holds it
    out.push_back(c);
  }
  if (nd == 0 && m > 0) out.assign(static_cast<size_t>(m), out[0]);
  return out;
}

// Whether `A @ x` with an MVar x is the module's own product over A's
// numbers, so that its rows can be read from A's arrays instead: an exact
// NumPy array of booleans, integers or reals (complex and object arrays,
// and subclasses, keep the product road), or a matrix of one of SciPy's own
// sparse classes (their `@` hands an MVar to its reflected product).
enum class MatrixRoad { Product, Dense, Sparse };

MatrixRoad matrix_road(PyObject* A) {
  if (PyArray_CheckExact(A)) {
    auto* a = reinterpret_cast<PyArrayObject*>(A);
    return PyArray_ISBOOL(a) || PyArray_ISINTEGER(a) || PyArray_ISFLOAT(a) ? MatrixRoad::Dense : MatrixRoad::Product;
  }
  if (!is_sparse_matrix(A)) return MatrixRoad::Product;
  Ref module = take(PyObject_GetAttr(reinterpret_cast<PyObject*>(Py_TYPE(A)), VLM_STR("__module__")));
  if (!PyUnicode_Check(module.get())) return MatrixRoad::Product;
  Ref prefix = take(PyUnicode_FromString("scipy.sparse."));
  const Py_ssize_t found = PyUnicode_Tailmatch(module.get(), prefix.get(), 0, PY_SSIZE_T_MAX, -1);
  if (found < 0) throw_error_set();
  return found ? MatrixRoad::Sparse : MatrixRoad::Product;
}

// The variable indices of x's cells, for the rows read from A's arrays: read
// after A's conversion (which runs SciPy's code), each checked as the
// flattening of the product's rows checks it, when a row first uses it.
class ColumnMap {
 public:
  ColumnMap(const Ref& holder, const Ref& xarr) : holder_(holder), cells_(object_cells(xarr.get())) {
    columns_.reserve(static_cast<size_t>(cells_.size));
    for (Py_ssize_t j = 0; j < cells_.size; ++j) {
      PyObject* cell = cells_[j];
      const bool ours = is_var(cell) && holder && as_handle(cell)->holder_ == holder.get();
      columns_.push_back(ours ? as_handle(cell)->index : kUnchecked);
    }
  }
  int operator[](int64_t j) const {
    const int column = columns_[static_cast<size_t>(j)];
    return column != kUnchecked ? column : model_var_index(holder_, cells_[j]);  // raises
  }
  // The index, or kUnchecked (below every index) for a cell to be checked when used.
  int unchecked(int64_t j) const noexcept { return columns_[static_cast<size_t>(j)]; }

 private:
  static constexpr int kUnchecked = INT32_MIN;  // no handle index is this low
  const Ref& holder_;
  ObjectCells cells_;
  std::vector<int> columns_;
};

// The rows of A @ x read from A's arrays, as the flattening of the
// product's row expressions would give them: a dense A gives every entry of
// a row, zeros included, in column order; a sparse one its stored entries
// but zeros, in stored order (read through CSR as the sparse product reads
// them, with its checks and texts). Every row's constant is 0.
struct MatrixRows {
  CompressedRows copied;  // the rows, unless they are A's own arrays
  CompressedMatrix matrix;  // holds A's arrays while `view` shows them
  RowsView view;
};

// Whether the stored entries of the rows of `s` can go to the library as
// they are: x holds variables 0 to n - 1 in order, and no entry is zero.
// The ranges and indices are checked as the copying loop checks them.
bool entries_as_stored(const CompressedMatrix& s, const ColumnMap& column, int64_t m, int64_t n) {
  for (int64_t k = 0; k < n; ++k)
    if (column.unchecked(k) != k) return false;
  for (int64_t i = 0; i < m; ++i) {
    int64_t begin, end;
    s.range(i, begin, end);
    for (int64_t p = begin; p < end; ++p) {
      s.index(p);
      if (s.val[p] == 0.0) return false;
    }
  }
  return !s.wide && s.ptr[m] - s.ptr[0] <= INT32_MAX;
}

void matrix_rows(MatrixRows& out, MatrixRoad road, PyObject* A, const Ref& xarr, const Ref& holder, int64_t m,
                 int64_t n) {
  CompressedRows& rows_out = out.copied;
  rows_out.beg.reserve(static_cast<size_t>(m));
  rows_out.constants.reserve(static_cast<size_t>(m));
  if (road == MatrixRoad::Dense) {
    Ref numbers = take(PyArray_FROMANY(A, NPY_FLOAT64, 2, 2, NPY_ARRAY_CARRAY_RO | NPY_ARRAY_FORCECAST));
    const double* value = static_cast<const double*>(PyArray_DATA(arr(numbers)));
    if (m * n > INT32_MAX) raise(PyExc_OverflowError, "value too large to convert to int");
    rows_out.ind.reserve(static_cast<size_t>(m * n));
    rows_out.val.reserve(static_cast<size_t>(m * n));
    const ColumnMap column(holder, xarr);
    RowCollector rows(rows_out, /*with_starts=*/true);
    for (int64_t i = 0; i < m; ++i) {
      for (int64_t k = 0; k < n; ++k) rows.add(column[k], value[i * n + k]);
      rows.close(0.0);
    }
    out.view = RowsView(rows_out);
    return;
  }
  out.matrix = compressed_matrix(A, /*rows=*/true);
  const CompressedMatrix& s = out.matrix;
  const ColumnMap column(holder, xarr);
  if (entries_as_stored(s, column, m, n)) {
    // The library sorts and merges a row whose columns do not ascend as the
    // flattening would.
    for (int64_t i = 0; i < m; ++i) rows_out.beg.push_back(static_cast<int>(s.ptr[i] - s.ptr[0]));
    rows_out.constants.assign(static_cast<size_t>(m), 0.0);
    out.view = RowsView(static_cast<int>(m), static_cast<int>(s.ptr[m] - s.ptr[0]), rows_out.beg.data(),
                        static_cast<const int32_t*>(s.idx) + s.ptr[0], s.val + s.ptr[0]);
    return;
  }
  const size_t entries = static_cast<size_t>(std::min<int64_t>(s.nnz, INT32_MAX));
  rows_out.ind.reserve(entries);
  rows_out.val.reserve(entries);
  RowCollector rows(rows_out, /*with_starts=*/true);
  for (int64_t i = 0; i < m; ++i) {
    int64_t begin, end;
    s.range(i, begin, end);
    for (int64_t p = begin; p < end; ++p) {
      const int64_t k = s.index(p);
      if (s.val[p] != 0.0) rows.add(column[k], s.val[p]);
    }
    rows.close(0.0);
  }
  out.view = RowsView(rows_out);
}

PyObject* model_addMConstr(PyObject* self, const Args& a) {
  PyObject* name = a[4];
  Ref A = (PyArray_Check(a[0]) || is_sparse_matrix(a[0])) ? Ref::borrow(a[0]) : numpy_array(a[0]);
  if (ndim(A.get()) != 2) raise(PyExc_TypeError, kMatrixA);
  const int64_t m = extent(A.get(), 0), n = extent(A.get(), 1);

  Ref x;
  if (a[1] == Py_None) {
    Ref vars = take(PyObject_CallMethodNoArgs(self, VLM_STR("getVars")));
    x = mvar_new(numpy_array(vars.get()).get());
  } else {
    x = is_mvar(a[1]) ? Ref::borrow(a[1]) : mvar_new(numpy_array(a[1]).get());
  }
  const Ref xarr = Ref::borrow(matrix_array(x.get()));  // held: the checks below run Python code
  if (PyArray_NDIM(arr(xarr)) != 1) raise(PyExc_TypeError, kVectorX);
  if (PyArray_DIM(arr(xarr), 0) != n) raise(PyExc_ValueError, kLengthX);

  const std::vector<char> senses = row_senses(a[2], m);
  Ref b = PyArray_Check(a[3]) ? Ref::borrow(a[3]) : numpy_array(a[3]);
  if (PyArray_NDIM(arr(b)) != 1) raise(PyExc_TypeError, kVectorB);
  if (PyArray_DIM(arr(b), 0) != m) raise(PyExc_ValueError, kLengthB);
  Ref rhs = take(PyArray_FROMANY(b.get(), NPY_FLOAT64, 1, 1, NPY_ARRAY_CARRAY_RO | NPY_ARRAY_FORCECAST));

  // Every cell of x a Var of this model, before the product reads them.
  const Ref holder = holder_of(self);
  {
    ObjectCells cells = object_cells(xarr.get());
    for (Py_ssize_t k = 0; k < cells.size; ++k) {
      PyObject* cell = cells[k];
      if (!is_var(cell)) raise_cannot_convert(cell, "velmorpy.Var");
      if (!holder || as_handle(cell)->holder_ != holder.get()) raise_holds_other_model("x");
    }
  }

  // The rows: A @ x, one row per row of A (rows without terms when x is
  // empty), read from A's arrays when its product is the module's own over
  // its numbers, else flattened from the product's row expressions.
  const MatrixRoad road = n == 0 || m == 0 ? MatrixRoad::Product : matrix_road(A.get());
  MatrixRows read;
  CompressedRows& rows = read.copied;
  if (road != MatrixRoad::Product) {
    const IndexMark mark(holder);  // the names below may run code that removes variables
    matrix_rows(read, road, A.get(), xarr, holder, m, n);
    read.view.mark = mark;
  } else {
    Ref exprs;
    if (n == 0 || m == 0) {
      exprs = take(PyList_New(static_cast<Py_ssize_t>(m)));
      for (int64_t i = 0; i < m; ++i) PyList_SET_ITEM(exprs.get(), i, linexpr_new().release());
    } else {
      Ref checked = mvar_new(xarr.get());  // the cells checked above, whatever x holds by now
      Ref product = take(PyNumber_MatrixMultiply(A.get(), checked.get()));
      // A's own `@` may answer anything: only a matrix-shaped object has an array field.
      if (!matrix_class_of(product.get())) raise_cannot_convert(product.get(), "velmorpy.MLinExpr");
      exprs = linexpr_cells(matrix_array(product.get()));
      if (PyList_GET_SIZE(exprs.get()) != m) raise_cannot_convert(product.get(), "velmorpy.MLinExpr");
    }
    rows = model_linExprs2array(holder, exprs.get(), /*with_starts=*/true);
    read.view = RowsView(rows);
  }

  // Bounds from each row's sense and b[i] less the row's constant.
  const double* bv = static_cast<const double*>(PyArray_DATA(arr(rhs)));
  std::vector<double> lbs(static_cast<size_t>(m)), ubs(static_cast<size_t>(m));
  for (size_t i = 0; i < static_cast<size_t>(m); ++i) {
    const double bound = model_dec_bound(bv[i], rows.constants[i]);
    lbs[i] = senses[i] == '<' ? -VLM_INFINITY : bound;
    ubs[i] = senses[i] == '>' ? VLM_INFINITY : bound;
  }
  std::vector<std::string> names;
  std::vector<const char*> cnames;
  if (name != Py_None) {
    const auto count = static_cast<Py_ssize_t>(m);
    names = cell_names(name, 1, &count);
    for (const std::string& s : names) cnames.push_back(s.c_str());
  }
  Ref handles = model_addRowBatch(self, holder, read.view, lbs, ubs, name != Py_None ? cnames.data() : nullptr);
  const auto count = static_cast<Py_ssize_t>(m);
  return mconstr_of(handles, 1, &count).release();
}

// --- getA -------------------------------------------------------------------------

PyObject* model_getA(PyObject* self, const Args&) {
  const Ref holder = holder_of(self);
  const int32_t m = model_count(holder, VLM_STR("NumConstrs"));
  const int32_t n = model_count(holder, VLM_STR("NumVars"));
  int nnz = 0;
  check_rc(VLMgetconstrs(live_model(holder), &nnz, nullptr, nullptr, nullptr, 0, m));
  if (nnz < 0) raise_library_count(nnz);
  npy_intp starts_len = static_cast<npy_intp>(m) + 1, entries = nnz;
  Ref starts = take(PyArray_SimpleNew(1, &starts_len, NPY_INT32));
  Ref indices = take(PyArray_SimpleNew(1, &entries, NPY_INT32));
  Ref values = take(PyArray_SimpleNew(1, &entries, NPY_FLOAT64));
  auto* beg = static_cast<int*>(PyArray_DATA(arr(starts)));
  auto* ind = static_cast<int*>(PyArray_DATA(arr(indices)));
  auto* val = static_cast<double*>(PyArray_DATA(arr(values)));
  int filled = nnz;
  if (m > 0) check_rc(VLMgetconstrs(live_model(holder), &filled, beg, nnz ? ind : nullptr, nnz ? val : nullptr, 0, m));
  // The closing start, and a check of what the library wrote.
  if (filled < 0 || filled > nnz) raise_library_count(filled);
  beg[m] = filled;
  for (int32_t i = 0; i < m; ++i)
    if (beg[i] < 0 || beg[i] > beg[i + 1]) raise_library_count(beg[i]);
  for (int k = 0; k < filled; ++k)
    if (ind[k] < 0 || ind[k] >= n) raise_library_count(ind[k]);
  if (filled < nnz) {
    indices = take(PySequence_GetSlice(indices.get(), 0, filled));
    values = take(PySequence_GetSlice(values.get(), 0, filled));
  }
  Ref sp = module_global("_sp");
  return PyObject_CallMethod(sp.get(), "csr_matrix", "((OOO)(ii))", values.get(), indices.get(), starts.get(),
                             static_cast<int>(m), static_cast<int>(n));
}

// --- the lists --------------------------------------------------------------------

PyObject* model_getPsdVars(PyObject* self, const Args&) {
  return model_list_copy(Ref::borrow(as_model(self)->psdvars_)).release();
}

PyObject* model_getPsdConstrs(PyObject* self, const Args&) {
  return model_list_copy(Ref::borrow(as_model(self)->psdconstrs_)).release();
}

// --- documentation ----------------------------------------------------------------

const char addMVar_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            addMVar(shape, lb=0.0, ub=float('inf'), obj=0.0, vtype='C', name='')\n"
    "\n"
    "        PURPOSE:\n"
    "            Add an array of variables to the model and return it as an MVar.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            shape: the shape of the array: an integer for a vector, a tuple for a matrix\n"
    "                   or more dimensions\n"
    "            lb: the lower bounds: one value for all variables, or an array of one value\n"
    "                per variable (in row-major order)\n"
    "            ub: the upper bounds, likewise\n"
    "            obj: the objective coefficients, likewise\n"
    "            vtype: the variable types, likewise: VLM.CONTINUOUS, VLM.BINARY, VLM.INTEGER,\n"
    "                   VLM.SEMICONT or VLM.SEMIINT\n"
    "            name: the base name of the variables, each named with its index appended\n"
    "                  (x[0,1]); or an array of one name per variable; '' or None for no names\n"
    "\n"
    "        EXAMPLE:\n"
    "            x = m.addMVar(3, name='x')\n"
    "            X = m.addMVar((2, 3), lb=-1.0, vtype=VLM.INTEGER)\n"
    "        ";

const char addPsdVar_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            addPsdVar(dim=0, obj=None, name='')\n"
    "\n"
    "        PURPOSE:\n"
    "            Add a positive semidefinite matrix variable to the model and return it.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            dim: the order of the matrix (dim x dim); may be left out when obj is given\n"
    "            obj: the objective coefficient matrix: a square NumPy array or SciPy sparse\n"
    "                 matrix, read as the symmetric matrix it stands for (an entry also sets\n"
    "                 its mirrored position, a later one overriding an earlier one)\n"
    "            name: the name of the variable\n"
    "\n"
    "        EXAMPLE:\n"
    "            X = m.addPsdVar(dim=3, name='X')\n"
    "            Y = m.addPsdVar(obj=numpy.eye(2))\n"
    "        ";

const char addMConstr_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            addMConstr(A, x, sense, b, name='')\n"
    "\n"
    "        PURPOSE:\n"
    "            Add the rows A @ x (sense) b to the model, all in one step, and return them\n"
    "            as an MConstr.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            A: the coefficient matrix: a 2-D NumPy array or a SciPy sparse matrix (m x n)\n"
    "            x: the variables: an MVar or a list of n variables; None for all variables of\n"
    "               the model\n"
    "            sense: one sense for every row, or one per row: VLM.LESS_EQUAL ('<'),\n"
    "                   VLM.GREATER_EQUAL ('>') or VLM.EQUAL ('=')\n"
    "            b: the right-hand sides, m numbers\n"
    "            name: the base name of the rows, row i named name[i]; None for no names\n"
    "\n"
    "        EXAMPLE:\n"
    "            x = m.addMVar(3)\n"
    "            c = m.addMConstr(numpy.eye(3), x, '<', [1, 2, 3], name='cap')\n"
    "        ";

const char getA_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getA()\n"
    "\n"
    "        PURPOSE:\n"
    "            Return the linear coefficients of the model's constraints as a SciPy\n"
    "            csr_matrix: one row per constraint, one column per variable.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            A = m.getA()\n"
    "            print(A.toarray())\n"
    "        ";

const char getPsdVars_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getPsdVars()\n"
    "\n"
    "        PURPOSE:\n"
    "            Return a list of all positive semidefinite variables of the model.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            X = m.getPsdVars()\n"
    "        ";

const char getPsdConstrs_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getPsdConstrs()\n"
    "\n"
    "        PURPOSE:\n"
    "            Return a list of all constraints of the model as PsdConstr items (linear\n"
    "            and semidefinite constraints share one numbering).\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            c = m.getPsdConstrs()\n"
    "        ";

const FunctionDef model_matrix_members[] = {
    {"addMVar", "self, shape, lb=0.0, ub=VLM.INFINITY, obj=0.0, vtype=VLM.CONTINUOUS, name=''", model_addMVar,
     Kind::Method, addMVar_doc, __LINE__},
    {"addPsdVar", "self, dim=0, obj=None, name=''", model_addPsdVar, Kind::Method, addPsdVar_doc, __LINE__},
    {"addMConstr", "self, A, x, sense, b, name=''", model_addMConstr, Kind::Method, addMConstr_doc, __LINE__},
    {"getPsdVars", "self", model_getPsdVars, Kind::Method, getPsdVars_doc, __LINE__, true},
    {"getPsdConstrs", "self", model_getPsdConstrs, Kind::Method, getPsdConstrs_doc, __LINE__, true},
    {"getA", "self", model_getA, Kind::Method, getA_doc, __LINE__, true},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

// --- the matrix-shaped branch of addConstr --------------------------------------------

Ref model_addMatrixConstr(PyObject* model, PyObject* expr, PyObject* lb, PyObject* ub, PyObject* name) {
  // The caller's conversion (MVar + 0) may answer anything through a subclass's `+`.
  if (!matrix_class_of(expr)) raise_cannot_convert(expr, "velmorpy.MLinExpr");
  const Ref array = Ref::borrow(matrix_array(expr));
  auto* a = reinterpret_cast<PyArrayObject*>(array.get());
  const int nd = PyArray_NDIM(a);
  const std::vector<Py_ssize_t> dims(PyArray_DIMS(a), PyArray_DIMS(a) + nd);
  Ref exprs = linexpr_cells(array.get());
  const Ref holder = holder_of(model);
  const CompressedRows rows = model_linExprs2array(holder, exprs.get(), /*with_starts=*/true);
  std::vector<std::string> names;
  std::vector<const char*> cnames;
  const bool named = name != Py_None && !(PyUnicode_Check(name) && PyUnicode_GET_LENGTH(name) == 0);
  if (named) {
    names = cell_names(name, nd, dims.data());
    for (const std::string& s : names) cnames.push_back(s.c_str());
  }
  Ref handles = model_addRowBatch(model, holder, rows, model_batch_bounds(lb, rows.constants),
                                  model_batch_bounds(ub, rows.constants), named ? cnames.data() : nullptr);
  return mconstr_of(handles, nd, dims.data());
}

const MemberTable model_matrix_table = {model_matrix_members, __FILE__};

}  // namespace velmorpy
