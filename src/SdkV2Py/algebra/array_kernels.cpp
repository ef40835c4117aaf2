// Array-like operands: the dispatchers with an array-like on the left, the
// kernels combining one Var or expression with every element of an array,
// the element-wise maps, and the element functions of the dense matrix
// product.
#include "algebra/kernels.hpp"

#include "module/numpy.hpp"

#include "attributes/var.hpp"
#include "expressions/linexpr.hpp"
#include "expressions/quadexpr.hpp"
#include "expressions/terms.hpp"
#include "module/args.hpp"
#include "module/errors.hpp"

namespace velmorpy {

namespace {

PyArrayObject* arr(const Ref& a) { return reinterpret_cast<PyArrayObject*>(a.get()); }

// An object array of a's shape holding op(x) for each element x, in C order.
template <class F>
Ref map_elements(PyObject* a, F&& op) {
  Ref in = take(PyArray_FROMANY(a, NPY_OBJECT, 0, 0, NPY_ARRAY_C_CONTIGUOUS | NPY_ARRAY_ALIGNED));
  const int nd = PyArray_NDIM(arr(in));
  Ref out = take(PyArray_SimpleNew(nd, PyArray_DIMS(arr(in)), NPY_OBJECT));
  const npy_intp n = PyArray_SIZE(arr(in));
  for (npy_intp k = 0; k < n; ++k) {
    // The input may be the caller's own array: hold the element while op runs.
    Ref x = Ref::borrow(static_cast<PyObject**>(PyArray_DATA(arr(in)))[k]);
    if (!x) x = Ref::borrow(Py_None);
    Ref y = op(x.get());
    PyObject** cells = static_cast<PyObject**>(PyArray_DATA(arr(out)));
    PyObject* old = cells[k];
    cells[k] = y.release();
    Py_XDECREF(old);
  }
  return out;
}

// The kernels that wrap an element-wise result in a matrix-shaped class
// refuse, with their pair's text, until that class exists.
void require_matrix_classes(const char* op, PyObject* left, PyObject* right) {
  if (!matrix_classes_exist()) raise_unsupported(op, left, right);
}

// A two-dimensional float64 array to read: `a` itself when it is one in C
// order, else a C-contiguous copy (the caller's array is never changed).
Ref numeric_matrix(PyObject* a) {
  return take(PyArray_FROMANY(a, NPY_FLOAT64, 2, 2, NPY_ARRAY_CARRAY_RO | NPY_ARRAY_FORCECAST));
}

Ref object_matrix(PyObject* a) { return take(PyArray_FROMANY(a, NPY_OBJECT, 2, 2, NPY_ARRAY_ALIGNED)); }

// The Var in cell (r, c) of a two-dimensional object array, read through its strides.
PyObject* var_cell(const Ref& a, npy_intp r, npy_intp c) {
  PyObject* cell = *static_cast<PyObject**>(PyArray_GETPTR2(arr(a), r, c));
  if (!cell) cell = Py_None;
  if (!is_var(cell)) raise_cannot_convert(cell, "velmorpy.Var");
  return cell;
}

void check_cell(const Ref& A, const Ref& B, npy_intp i, npy_intp j) {
  if (i < 0 || i >= PyArray_DIM(arr(A), 0) || j < 0 || j >= PyArray_DIM(arr(B), 1))
    raise(PyExc_IndexError, "matmul: cell index out of range");
  if (PyArray_DIM(arr(B), 0) < PyArray_DIM(arr(A), 1))
    raise_format(PyExc_ValueError, "matmul: inner dimensions %zd and %zd differ",
                 static_cast<Py_ssize_t>(PyArray_DIM(arr(A), 1)), static_cast<Py_ssize_t>(PyArray_DIM(arr(B), 0)));
}

}  // namespace

// --- dispatchers with an array-like on the left ---------------------------------------

Ref a_add_o(PyObject* a, PyObject* o) {
  switch (operand_kind(o)) {
    case OpKind::Var: return v_add_a(o, a);
    case OpKind::Lin: return l_add_a(o, a);
    case OpKind::Quad: return q_add_a(o, a);
    case OpKind::MVar: return mv_add_a(o, a);
    case OpKind::MLin: return ml_add_a(o, a);
    case OpKind::MQuad: return mq_add_a(o, a);
    default: break;
  }
  raise_unsupported("+", a, o);
}

Ref a_mul_o(PyObject* a, PyObject* o) {
  switch (operand_kind(o)) {
    case OpKind::Var: return v_mul_a(o, a);
    case OpKind::Lin: return l_mul_a(o, a);
    case OpKind::Quad: return q_mul_a(o, a);
    case OpKind::MVar: return mv_mul_a(o, a);
    case OpKind::MLin: return ml_mul_a(o, a);
    case OpKind::MQuad: return mq_mul_a(o, a);
    default: break;
  }
  raise_unsupported("*", a, o);
}

Ref a_matmul_o(PyObject* a, PyObject* o) {
  switch (operand_kind(o, true)) {
    case OpKind::MVar: return a_matmul_mv(a, o);
    case OpKind::MLin: return a_matmul_ml(a, o);
    case OpKind::MQuad: return a_matmul_mq(a, o);
    default: break;
  }
  raise_unsupported("@", a, o);
}

// --- one operand with every element of an array -----------------------------------------

Ref v_add_a(PyObject* v, PyObject* a) {
  require_matrix_classes("+", v, a);
  return wrap_mlinexpr(npadd(a, v));
}

Ref v_mul_a(PyObject* v, PyObject* a) {
  require_matrix_classes("*", v, a);
  return wrap_mlinexpr(npmul(a, v));
}

Ref l_add_a(PyObject* l, PyObject* a) {
  require_matrix_classes("+", l, a);
  return wrap_mlinexpr(npadd(a, l));
}

Ref l_mul_a(PyObject* l, PyObject* a) {
  require_matrix_classes("*", l, a);
  return wrap_mlinexpr(npmul(a, l));
}

Ref q_add_a(PyObject* q, PyObject* a) {
  require_matrix_classes("+", q, a);
  return wrap_mquadexpr(npadd(a, q));
}

Ref q_mul_a(PyObject* q, PyObject* a) {
  require_matrix_classes("*", q, a);
  return wrap_mquadexpr(npmul(a, q));
}

// --- element-wise maps -----------------------------------------------------------------

Ref npmap(PyObject* f, PyObject* a) {
  return map_elements(a, [&](PyObject* x) { return take(PyObject_CallOneArg(f, x)); });
}

Ref npadd(PyObject* a, PyObject* y) {
  Ref pin = Ref::borrow(y);
  return map_elements(a, [&](PyObject* x) { return take(PyNumber_Add(x, y)); });
}

Ref npmul(PyObject* a, PyObject* y) {
  Ref pin = Ref::borrow(y);
  return map_elements(a, [&](PyObject* x) { return take(PyNumber_Multiply(x, y)); });
}

// --- element functions of the dense matrix product -------------------------------------

Ref n_inner_v(PyObject* A_in, PyObject* B_in, Py_ssize_t i, Py_ssize_t j) {
  Ref A = numeric_matrix(A_in), B = object_matrix(B_in);
  check_cell(A, B, i, j);
  const npy_intp n = PyArray_DIM(arr(A), 1);
  const double* row = static_cast<const double*>(PyArray_GETPTR2(arr(A), i, 0));
  Ref e = linexpr_new();
  LinExprObject* l = as_linexpr(e.get());
  terms_reserve(l->coeffs_, n);
  terms_reserve(l->vars_, n);
  for (npy_intp k = 0; k < n; ++k) {
    PyObject* v = var_cell(B, k, j);
    Ref c = take(PyFloat_FromDouble(row[k]));
    append_parallel({{&l->coeffs_, c.get()}, {&l->vars_, v}});
  }
  return e;
}

Ref v_inner_n(PyObject* A_in, PyObject* B_in, Py_ssize_t i, Py_ssize_t j) {
  Ref A = object_matrix(A_in), B = numeric_matrix(B_in);
  check_cell(A, B, i, j);
  const npy_intp n = PyArray_DIM(arr(A), 1);
  Ref e = linexpr_new();
  LinExprObject* l = as_linexpr(e.get());
  terms_reserve(l->coeffs_, n);
  terms_reserve(l->vars_, n);
  for (npy_intp k = 0; k < n; ++k) {
    PyObject* v = var_cell(A, i, k);
    Ref c = take(PyFloat_FromDouble(*static_cast<const double*>(PyArray_GETPTR2(arr(B), k, j))));
    append_parallel({{&l->coeffs_, c.get()}, {&l->vars_, v}});
  }
  return e;
}

Ref v_inner_v(PyObject* A_in, PyObject* B_in, Py_ssize_t i, Py_ssize_t j) {
  Ref A = object_matrix(A_in), B = object_matrix(B_in);
  check_cell(A, B, i, j);
  const npy_intp n = PyArray_DIM(arr(A), 1);
  Ref one = take(PyLong_FromLong(1));
  Ref q = quadexpr_new();
  QuadExprObject* r = as_quadexpr(q.get());
  for (npy_intp k = 0; k < n; ++k)
    append_parallel({{&r->coeffs_, one.get()}, {&r->vars1_, var_cell(A, i, k)}, {&r->vars2_, var_cell(B, k, j)}});
  return q;
}

}  // namespace velmorpy
