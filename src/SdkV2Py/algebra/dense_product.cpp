// The dense matrix product _dmatmul and the element functions of its own
// pairings: numbers with variables (n_inner_v), variables with numbers
// (v_inner_n) and variables with variables (v_inner_v). Each operand is
// prepared once (the numeric one as a C-contiguous float64 array, an array
// of variables as a private C-contiguous copy whose every cell is checked to
// be a Var); then every result cell is one new expression built straight
// into its term lists, one term per inner index.
#include "algebra/kernels.hpp"

#include "runtime/numpy.hpp"

#include <utility>
#include <vector>

#include "algebra/object_arrays.hpp"
#include "attributes/var.hpp"
#include "expressions/linexpr.hpp"
#include "expressions/quadexpr.hpp"
#include "expressions/terms.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"

namespace velmorpy {

namespace {

PyArrayObject* nd(const Ref& a) { return reinterpret_cast<PyArrayObject*>(a.get()); }

// NumPy's own product, on operands whose nesting its loops can carry.
Ref numpy_matmul(PyObject* a, PyObject* b) {
  Ref x = numpy_operand(a), y = numpy_operand(b);
  return take(PyNumber_MatrixMultiply(x.get(), y.get()));
}

// A two-dimensional numeric operand, read as float64 in row-major order.
struct Numbers {
  Ref array;  // `a` itself when it is such an array already, else a copy: never changed
  const double* data;
  npy_intp rows, cols;
  double at(npy_intp r, npy_intp c) const { return data[r * cols + c]; }
};

void reused(Numbers&, npy_intp) {}

Numbers numbers(PyObject* a) {
  Numbers n;
  n.array = take(PyArray_FROMANY(a, NPY_FLOAT64, 2, 2, NPY_ARRAY_CARRAY_RO | NPY_ARRAY_FORCECAST));
  n.data = static_cast<const double*>(PyArray_DATA(nd(n.array)));
  n.rows = PyArray_DIM(nd(n.array), 0);
  n.cols = PyArray_DIM(nd(n.array), 1);
  return n;
}

// A two-dimensional operand of variables: every cell is a Var (TypeError
// "Cannot convert {} to velmorpy.Var" for the first that is not).
struct Vars {
  ObjectCells cells;
  npy_intp rows, cols;
  PyObject* at(npy_intp r, npy_intp c) const { return cells.cells[r * cols + c]; }
};

Vars vars(PyObject* a) {
  Vars v;
  v.cells = object_cells(a);
  PyArrayObject* arr = nd(v.cells.array);
  if (PyArray_NDIM(arr) != 2) raise(PyExc_ValueError, "matmul: an operand is not two-dimensional");
  v.rows = PyArray_DIM(arr, 0);
  v.cols = PyArray_DIM(arr, 1);
  for (Py_ssize_t k = 0; k < v.cells.size; ++k)
    if (!is_var(v.cells[k])) raise_cannot_convert(v.cells[k], "velmorpy.Var");
  return v;
}

void reused(Vars&, npy_intp) {}

// A new LinExpr of n terms: term k is (coeff(k), var(k)).
template <class CoeffAt, class VarAt>
Ref linear_cell(npy_intp n, CoeffAt&& coeff, VarAt&& var) {
  Ref made = linexpr_new();
  LinExprObject* e = as_linexpr(made.get());
  linexpr_reserve(e, n);
  for (npy_intp k = 0; k < n; ++k) linexpr_append_reserved(e, coeff(k), var(k));
  linexpr_retrack(e);
  return made;
}

// Cell (i, j) of A @ B; the inner length is A's column count.
Ref cell_nv(const Numbers& A, const Vars& B, npy_intp i, npy_intp j) {
  return linear_cell(A.cols, [&](npy_intp k) { return A.at(i, k); }, [&](npy_intp k) { return B.at(k, j); });
}

Ref cell_vn(const Vars& A, const Numbers& B, npy_intp i, npy_intp j) {
  return linear_cell(A.cols, [&](npy_intp k) { return B.at(k, j); }, [&](npy_intp k) { return A.at(i, k); });
}

// Coefficient the int 1; term k holds A[i, k] first and B[k, j] second.
Ref cell_vv(const Vars& A, const Vars& B, npy_intp i, npy_intp j) {
  Ref one = take(PyLong_FromLong(1));
  Ref made = quadexpr_new();
  QuadExprObject* q = as_quadexpr(made.get());
  q->coeffs_.objects = true;  // the int 1 is kept as it is
  terms_reserve(q->coeffs_.objs, A.cols);
  terms_reserve(q->vars1_, A.cols);
  terms_reserve(q->vars2_, A.cols);
  for (npy_intp k = 0; k < A.cols; ++k) {
    terms_append(q->coeffs_.objs, one.get());
    terms_append(q->vars1_, A.at(i, k));
    terms_append(q->vars2_, B.at(k, j));
  }
  return made;
}

// The element functions reach only cells of A's row i and B's column j
// along A's columns.
template <class L, class R>
void check_cell(const L& A, const R& B, Py_ssize_t i, Py_ssize_t j) {
  if (i < 0 || i >= A.rows || j < 0 || j >= B.cols) raise(PyExc_IndexError, "matmul: cell index out of range");
  if (B.rows < A.cols)
    raise_format(PyExc_ValueError, "matmul: inner dimensions %zd and %zd differ", static_cast<Py_ssize_t>(A.cols),
                 static_cast<Py_ssize_t>(B.rows));
}

// Every cell of A @ B, row by row, into a new object array of `nd` dims
// (the result's own: rows of A by columns of B, or one of the two).
template <class L, class R, class F>
Ref dense_loop(const L& A, const R& B, F&& cell, int ndims, const npy_intp* dims) {
  Ref result = new_object_array(ndims, dims);
  for (npy_intp i = 0; i < A.rows; ++i)
    for (npy_intp j = 0; j < B.cols; ++j) put_cell(result, i * B.cols + j, cell(A, B, i, j));
  return result;
}

// `a` seen as two-dimensional: a row (1, n) or a column (n, 1) for one dimension.
Ref as_matrix(const Ref& a, bool row) {
  if (PyArray_NDIM(nd(a)) == 2) return Ref::borrow(a.get());
  npy_intp dims[2] = {1, PyArray_DIM(nd(a), 0)};
  if (!row) std::swap(dims[0], dims[1]);
  PyArray_Dims shape = {dims, 2};
  return take(PyArray_Newshape(nd(a), &shape, NPY_CORDER));
}

[[noreturn]] void raise_inner_mismatch(const Ref& a, const Ref& b) {
  raise_matmul_shapes(shape_of(a.get()).get(), shape_of(b.get()).get());
}

template <class L, class R, class F>
Ref product(const Ref& a, const Ref& b, L (*prepare_left)(PyObject*), R (*prepare_right)(PyObject*), F&& cell) {
  const int na = PyArray_NDIM(nd(a)), nb = PyArray_NDIM(nd(b));
  if (na < 1 || na > 2 || nb < 1 || nb > 2) return numpy_matmul(a.get(), b.get());
  const npy_intp inner_a = PyArray_DIM(nd(a), na - 1), inner_b = PyArray_DIM(nd(b), 0);
  if (inner_a != inner_b) raise_inner_mismatch(a, b);
  Ref a2 = as_matrix(a, true), b2 = as_matrix(b, false);
  L A = prepare_left(a2.get());
  R B = prepare_right(b2.get());
  reused(A, B.cols);
  reused(B, A.rows);
  if (na == 1 && nb == 1) return cell(A, B, 0, 0);
  npy_intp dims[2] = {A.rows, B.cols};
  if (na == 1) return dense_loop(A, B, cell, 1, &dims[1]);
  if (nb == 1) return dense_loop(A, B, cell, 1, &dims[0]);
  return dense_loop(A, B, cell, 2, dims);
}

Ref as_array(PyObject* x) { return PyArray_Check(x) ? Ref::borrow(x) : take(PyArray_FROM_O(x)); }

Ref as_float64(const Ref& a) { return take(PyArray_FROMANY(a.get(), NPY_FLOAT64, 0, 0, NPY_ARRAY_FORCECAST)); }

}  // namespace

Ref shape_of(PyObject* a) { return take(PyObject_GetAttrString(a, "shape")); }

void raise_matmul_shapes(PyObject* left_shape, PyObject* right_shape) {
  raise_format(PyExc_ValueError, "matmul: %S @ %S operation not support", left_shape, right_shape);
}

Ref _dmatmul(PyObject* A, PyObject* B, OpKind ka, OpKind kb) {
  const bool nv = ka == OpKind::Number && kb == OpKind::Var;
  const bool vn = ka == OpKind::Var && kb == OpKind::Number;
  const bool vv = ka == OpKind::Var && kb == OpKind::Var;
  if (!nv && !vn && !vv) return numpy_matmul(A, B);
  Ref a = as_array(A), b = as_array(B);
  if (PyArray_SIZE(nd(a)) == 0 || PyArray_SIZE(nd(b)) == 0) raise(PyExc_ValueError, "matmul operand is empty");
  if (nv) return product(as_float64(a), b, numbers, vars, cell_nv);
  if (vn) return product(a, as_float64(b), vars, numbers, cell_vn);
  return product(a, b, vars, vars, cell_vv);
}

Ref n_inner_v(PyObject* A_in, PyObject* B_in, Py_ssize_t i, Py_ssize_t j) {
  const Numbers A = numbers(A_in);
  const Vars B = vars(B_in);
  check_cell(A, B, i, j);
  return cell_nv(A, B, i, j);
}

Ref v_inner_n(PyObject* A_in, PyObject* B_in, Py_ssize_t i, Py_ssize_t j) {
  const Vars A = vars(A_in);
  const Numbers B = numbers(B_in);
  check_cell(A, B, i, j);
  return cell_vn(A, B, i, j);
}

Ref v_inner_v(PyObject* A_in, PyObject* B_in, Py_ssize_t i, Py_ssize_t j) {
  const Vars A = vars(A_in);
  const Vars B = vars(B_in);
  check_cell(A, B, i, j);
  return cell_vv(A, B, i, j);
}

}  // namespace velmorpy
