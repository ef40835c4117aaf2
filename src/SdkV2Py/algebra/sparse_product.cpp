// The sparse matrix product _smatmul: an array of Var, LinExpr or QuadExpr
// times a SciPy sparse matrix, in either order.
//
// The sparse side is brought once into the compressed orientation in which
// the stored entries of one result cell lie together (rows for a sparse left
// operand, columns for a sparse right one) with float64 values; its three
// arrays are read through their buffers. Index arrays of 32 or 64 bits are
// read as they are; every index pointer and every index is checked against
// the extents before it is used, so a malformed matrix never makes the loop
// read outside the dense operand's cells. Offsets are 64-bit.
#include "algebra/kernels.hpp"

#include "runtime/numpy.hpp"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "algebra/kinds.hpp"
#include "algebra/object_arrays.hpp"
#include "attributes/var.hpp"
#include "expressions/linexpr.hpp"
#include "expressions/quadexpr.hpp"
#include "expressions/terms.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/state.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

namespace {

const char kEmpty[] = "ndarray is empty";
const char kBadPointers[] = "matmul: the index pointers of the sparse matrix are out of range";

PyArrayObject* nd(const Ref& a) { return reinterpret_cast<PyArrayObject*>(a.get()); }

// The product's view of its sparse operand.
using Compressed = CompressedMatrix;

// _sp.<format>(m) unless m is one already, then astype(float64) unless its
// dtype is float64: the matrix as the product reads it.
Ref converted(PyObject* m, const char* format) {
  Ref sp = module_global("_sp");
  Ref cls = take(PyObject_GetAttrString(sp.get(), format));
  // SciPy's conversions, and astype (which sums duplicates first), trust
  // the index arrays.
  check_sparse_structure(m, "matmul");
  Ref out = check(PyObject_IsInstance(m, cls.get())) ? Ref::borrow(m) : take(PyObject_CallOneArg(cls.get(), m));
  Ref dtype = take(PyObject_GetAttrString(out.get(), "dtype"));
  Ref float64 = take(reinterpret_cast<PyObject*>(PyArray_DescrFromType(NPY_FLOAT64)));
  if (!check(PyObject_RichCompareBool(dtype.get(), float64.get(), Py_EQ)))
    out = take(PyObject_CallMethod(out.get(), "astype", "O", float64.get()));
  return out;
}

CompressedMatrix compressed(Ref matrix, bool rows) {
  CompressedMatrix c;
  c.matrix = std::move(matrix);
  c.shape = shape_of(c.matrix.get());
  if (!PyTuple_Check(c.shape.get()) || PyTuple_GET_SIZE(c.shape.get()) != 2)
    raise(PyExc_ValueError, "matmul: the sparse matrix is not two-dimensional");
  const npy_intp r = integer_only<int64_t>(PyTuple_GET_ITEM(c.shape.get(), 0));
  const npy_intp k = integer_only<int64_t>(PyTuple_GET_ITEM(c.shape.get(), 1));
  if (r < 0 || k < 0) raise(PyExc_ValueError, "matmul: the sparse matrix has a negative extent");
  c.outer = rows ? r : k;
  c.inner = rows ? k : r;
  Ref indptr = take(PyObject_GetAttrString(c.matrix.get(), "indptr"));
  Ref indices = take(PyObject_GetAttrString(c.matrix.get(), "indices"));
  Ref data = take(PyObject_GetAttrString(c.matrix.get(), "data"));
  c.indptr = take(PyArray_FROMANY(indptr.get(), NPY_INT64, 1, 1, NPY_ARRAY_CARRAY_RO));
  PyArrayObject* given = PyArray_Check(indices.get()) ? reinterpret_cast<PyArrayObject*>(indices.get()) : nullptr;
  c.wide = !(given && PyArray_TYPE(given) == NPY_INT32);
  c.indices = take(PyArray_FROMANY(indices.get(), c.wide ? NPY_INT64 : NPY_INT32, 1, 1, NPY_ARRAY_CARRAY_RO));
  c.data = take(PyArray_FROMANY(data.get(), NPY_FLOAT64, 1, 1, NPY_ARRAY_CARRAY_RO));
  if (PyArray_DIM(nd(c.indptr), 0) != c.outer + 1) raise(PyExc_ValueError, kBadPointers);
  c.nnz = std::min(PyArray_DIM(nd(c.indices), 0), PyArray_DIM(nd(c.data), 0));
  c.ptr = static_cast<const int64_t*>(PyArray_DATA(nd(c.indptr)));
  c.idx = PyArray_DATA(nd(c.indices));
  c.val = static_cast<const double*>(PyArray_DATA(nd(c.data)));
  return c;
}

// What one stored entry adds to its cell, by the kind of the dense items.
enum class Items { Vars, Lins, Quads };

Items items_of(PyObject* first) {
  if (is_var(first)) return Items::Vars;
  if (is_linexpr(first)) return Items::Lins;
  if (is_quadexpr(first)) return Items::Quads;
  raise_cannot_convert(first, "velmorpy.Var");
}

// A new expression for one cell, with room for `entries` terms of variables.
Ref new_cell(Items kind, npy_intp entries) {
  if (kind == Items::Quads) return quadexpr_new();
  Ref e = linexpr_new();
  if (kind == Items::Vars) linexpr_reserve(as_linexpr(e.get()), entries);
  return e;
}

// Entry p times `item` into the cell; a zero value adds nothing.
void add_entry(Items kind, PyObject* cell, const Compressed& s, npy_intp p, PyObject* item) {
  const double value = s.val[p];
  switch (kind) {
    case Items::Vars: {
      if (!is_var(item)) raise_cannot_convert(item, "velmorpy.Var");
      if (value == 0.0) return;
      return linexpr_append_reserved(as_linexpr(cell), value, item);  // room was made
    }
    case Items::Lins:
      if (!is_linexpr(item)) raise_cannot_convert(item, "velmorpy.LinExpr");
      return linexpr_addexpr(as_linexpr(cell), linexpr_checked(item), value);
    case Items::Quads:
      if (!is_quadexpr(item)) raise_cannot_convert(item, "velmorpy.QuadExpr");
      return quadexpr_addexpr(as_quadexpr(cell), quadexpr_checked(item), value);
  }
}

// Cell (o, j) of the result sums, over the stored entries of outer position
// o, the entry's value times the dense item at `base + index * step`.
// Sparse left (CSR, dense B of K rows and `cols` columns): cell (i, j) reads
// B[index, j], base j, step cols. Sparse right (CSC, dense A of r rows and K
// columns): cell (i, j) with o = j reads A[i, index], base i * K, step 1.
Ref fill_cell(const Compressed& s, const ObjectCells& dense, Items kind, npy_intp o, npy_intp base, npy_intp step) {
  int64_t begin, end;
  s.range(o, begin, end);
  Ref cell = new_cell(kind, end - begin);
  for (npy_intp p = begin; p < end; ++p) add_entry(kind, cell.get(), s, p, dense[base + s.index(p) * step]);
  if (kind == Items::Vars) linexpr_retrack(as_linexpr(cell.get()));
  return cell;
}

// A one-dimensional result, when the dense operand was one-dimensional: the
// true extent, also when it is 0.
Ref result_array(bool one_dim, npy_intp rows, npy_intp cols) {
  npy_intp dims[2] = {rows, cols};
  if (!one_dim) return new_object_array(2, dims);
  npy_intp n = rows * cols;
  return new_object_array(1, &n);
}

// ndarray @ sparse.
Ref sparse_right(PyObject* left, PyObject* right) {
  Ref a = Ref::borrow(left);
  const bool one_dim = PyArray_NDIM(nd(a)) == 1;
  if (one_dim) {
    npy_intp dims[2] = {1, PyArray_SIZE(nd(a))};
    PyArray_Dims shape = {dims, 2};
    a = take(PyArray_Newshape(nd(a), &shape, NPY_CORDER));
  }
  const Compressed s = compressed(converted(right, "csc_matrix"), /*rows=*/false);
  if (PyArray_NDIM(nd(a)) != 2 || PyArray_DIM(nd(a), 1) != s.inner) raise_matmul_shapes(shape_of(a.get()).get(), s.shape.get());
  if (PyArray_SIZE(nd(a)) == 0) raise(PyExc_ValueError, kEmpty);
  const ObjectCells dense = object_cells(a.get());
  const Items kind = items_of(dense[0]);
  const npy_intp r = PyArray_DIM(nd(a), 0), K = s.inner, n = s.outer;
  Ref result = result_array(one_dim, r, n);
  for (npy_intp i = 0; i < r; ++i)
    for (npy_intp j = 0; j < n; ++j) put_cell(result, i * n + j, fill_cell(s, dense, kind, j, i * K, 1));
  return result;
}

// sparse @ ndarray.
Ref sparse_left(PyObject* left, PyObject* right) {
  Ref b = Ref::borrow(right);
  const bool one_dim = PyArray_NDIM(nd(b)) == 1;
  Ref csr = converted(left, "csr_matrix");
  if (one_dim) {
    npy_intp dims[2] = {PyArray_SIZE(nd(b)), 1};
    PyArray_Dims shape = {dims, 2};
    b = take(PyArray_Newshape(nd(b), &shape, NPY_CORDER));
  }
  const Compressed s = compressed(std::move(csr), /*rows=*/true);
  if (PyArray_NDIM(nd(b)) != 2 || PyArray_DIM(nd(b), 0) != s.inner) raise_matmul_shapes(s.shape.get(), shape_of(b.get()).get());
  if (PyArray_SIZE(nd(b)) == 0) raise(PyExc_ValueError, kEmpty);
  const ObjectCells dense = object_cells(b.get());
  const Items kind = items_of(dense[0]);
  const npy_intp m = s.outer, cols = PyArray_DIM(nd(b), 1);
  Ref result = result_array(one_dim, m, cols);
  for (npy_intp i = 0; i < m; ++i)
    for (npy_intp j = 0; j < cols; ++j) put_cell(result, i * cols + j, fill_cell(s, dense, kind, i, j, cols));
  return result;
}

}  // namespace

void CompressedMatrix::raise_pointers() { raise(PyExc_ValueError, kBadPointers); }

void CompressedMatrix::raise_index(int64_t k) {
  raise_format(PyExc_ValueError, "matmul: index %lld of the sparse matrix is out of range", static_cast<long long>(k));
}

CompressedMatrix compressed_matrix(PyObject* m, bool rows) {
  return compressed(converted(m, rows ? "csr_matrix" : "csc_matrix"), rows);
}

Ref _smatmul(PyObject* left, PyObject* right) {
  if (PyArray_Check(left) && is_sparse_matrix(right)) return sparse_right(left, right);
  if (is_sparse_matrix(left) && PyArray_Check(right)) return sparse_left(left, right);
  raise_format(PyExc_TypeError, "matmul: `%s` @ `%s` operation not support", _PyType_Name(Py_TYPE(left)),
               _PyType_Name(Py_TYPE(right)));
}

}  // namespace velmorpy
