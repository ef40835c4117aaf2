// Operand kinds: the classification of operands and the checks of a user's sparse matrix.
#include "algebra/kinds.hpp"

#include "runtime/numpy.hpp"

#include "algebra/operand.hpp"
#include "attributes/var.hpp"
#include "expressions/linexpr.hpp"
#include "expressions/quadexpr.hpp"
#include "matrix/mlinexpr.hpp"
#include "matrix/mquadexpr.hpp"
#include "matrix/mvar.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/numbers.hpp"
#include "runtime/state.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

namespace {

// The object has the attribute (looked up as getattr does). Only an
// AttributeError counts as absent; other errors propagate.
bool has_attr(PyObject* o, PyObject* name) {
  PyObject* value = nullptr;
  const int found = _PyObject_LookupAttr(o, name, &value);
  Py_XDECREF(value);
  return check(found) == 1;
}

}  // namespace

bool numpy_isscalar(PyObject* o) {
  if (PyArray_IsScalar(o, Generic)) return true;
  if (PyLong_CheckExact(o) || PyFloat_CheckExact(o) || PyComplex_CheckExact(o) || PyBool_Check(o) ||
      PyBytes_CheckExact(o) || PyUnicode_CheckExact(o) || PyMemoryView_Check(o))
    return true;
  return is_number(o);
}

bool is_sparse_matrix(PyObject* o) {
  if (PyArray_Check(o) || is_operand(o)) return false;
  Ref sp = module_global("_sp");
  Ref spmatrix = take(PyObject_GetAttr(sp.get(), VLM_STR("spmatrix")));
  return check(PyObject_IsInstance(o, spmatrix.get())) == 1;
}

namespace {

// One index array of a sparse matrix: as it is when it holds 32- or 64-bit
// integers, else converted to int64.
Ref index_array(PyObject* m, const char* name) {
  Ref a = take(PyObject_GetAttrString(m, name));
  if (PyArray_Check(a.get())) {
    auto* given = reinterpret_cast<PyArrayObject*>(a.get());
    const int type = PyArray_TYPE(given);
    if ((type == NPY_INT32 || type == NPY_INT64) && PyArray_ISNOTSWAPPED(given))
      return take(PyArray_FROMANY(a.get(), type, 1, 1, NPY_ARRAY_CARRAY_RO));
  }
  return take(PyArray_FROMANY(a.get(), NPY_INT64, 1, 1, NPY_ARRAY_CARRAY_RO | NPY_ARRAY_FORCECAST));
}

npy_intp length(const Ref& a) { return PyArray_DIM(reinterpret_cast<PyArrayObject*>(a.get()), 0); }

// Entry p of an index array made by index_array.
int64_t entry(const Ref& a, npy_intp p) {
  auto* arr = reinterpret_cast<PyArrayObject*>(a.get());
  if (PyArray_TYPE(arr) == NPY_INT32) return static_cast<const int32_t*>(PyArray_DATA(arr))[p];
  return static_cast<const int64_t*>(PyArray_DATA(arr))[p];
}

template <class T>
void check_range(const T* k, npy_intp n, int64_t extent, const char* where) {
  for (npy_intp p = 0; p < n; ++p)
    if (k[p] < 0 || k[p] >= extent)
      raise_format(PyExc_ValueError, "%s: index %lld of the sparse matrix is out of range", where,
                   static_cast<long long>(k[p]));
}

// Every one of the first n entries of a lies in [0, extent).
void check_indices(const Ref& a, npy_intp n, int64_t extent, const char* where) {
  auto* arr = reinterpret_cast<PyArrayObject*>(a.get());
  if (PyArray_TYPE(arr) == NPY_INT32) return check_range(static_cast<const int32_t*>(PyArray_DATA(arr)), n, extent, where);
  check_range(static_cast<const int64_t*>(PyArray_DATA(arr)), n, extent, where);
}

}  // namespace

void check_sparse_structure(PyObject* m, const char* where) {
  Ref format = take(PyObject_GetAttrString(m, "format"));
  const auto is = [&](const char* f) { return PyUnicode_Check(format.get()) && PyUnicode_CompareWithASCIIString(format.get(), f) == 0; };
  const bool csr = is("csr"), csc = is("csc"), bsr = is("bsr"), coo = is("coo");
  if (!csr && !csc && !bsr && !coo) return;
  Ref shape = take(PyObject_GetAttrString(m, "shape"));
  if (!PyTuple_Check(shape.get()) || PyTuple_GET_SIZE(shape.get()) != 2)
    raise_format(PyExc_ValueError, "%s: the sparse matrix is not two-dimensional", where);
  const int64_t rows = integer_only<int64_t>(PyTuple_GET_ITEM(shape.get(), 0));
  const int64_t cols = integer_only<int64_t>(PyTuple_GET_ITEM(shape.get(), 1));
  Ref data = take(PyObject_GetAttrString(m, "data"));
  const Py_ssize_t stored = PyObject_Length(data.get());
  if (stored < 0) throw_error_set();
  if (coo) {
    Ref r = index_array(m, "row"), c = index_array(m, "col");
    if (length(r) < stored || length(c) < stored)
      raise_format(PyExc_ValueError, "%s: the index pointers of the sparse matrix are out of range", where);
    check_indices(r, stored, rows, where);
    check_indices(c, stored, cols, where);
    return;
  }
  int64_t block_rows = 1, block_cols = 1;
  if (bsr) {
    Ref blocks = take(PyObject_GetAttrString(m, "blocksize"));
    if (!PyTuple_Check(blocks.get()) || PyTuple_GET_SIZE(blocks.get()) != 2)
      raise_format(PyExc_ValueError, "%s: the index pointers of the sparse matrix are out of range", where);
    block_rows = integer_only<int64_t>(PyTuple_GET_ITEM(blocks.get(), 0));
    block_cols = integer_only<int64_t>(PyTuple_GET_ITEM(blocks.get(), 1));
    if (block_rows <= 0 || block_cols <= 0)
      raise_format(PyExc_ValueError, "%s: the index pointers of the sparse matrix are out of range", where);
  }
  const int64_t outer = csc ? cols : rows / block_rows, inner = csc ? rows : cols / block_cols;
  Ref indptr = index_array(m, "indptr"), indices = index_array(m, "indices");
  bool ok = outer >= 0 && inner >= 0 && length(indptr) == outer + 1 && entry(indptr, 0) >= 0;
  for (int64_t o = 0; ok && o < outer; ++o) ok = entry(indptr, o) <= entry(indptr, o + 1);
  const int64_t end = ok ? entry(indptr, outer) : 0;
  if (!ok || end > length(indices) || end > stored)
    raise_format(PyExc_ValueError, "%s: the index pointers of the sparse matrix are out of range", where);
  check_indices(indices, static_cast<npy_intp>(end), inner, where);
}

bool is_arraylike(PyObject* o, bool sparse) {
  if (is_operand(o) || PyArray_IsScalar(o, Generic)) return false;
  if (PyArray_Check(o) || PyList_Check(o) || PyTuple_Check(o)) return true;
  // A dict subclass may be a sparse matrix (dok_matrix): only an exact dict is answered here.
  if (o == Py_None || PyUnicode_Check(o) || PyBytes_Check(o) || PyDict_CheckExact(o) || PyFloat_Check(o) ||
      PyLong_Check(o))
    return false;
  if (is_sparse_matrix(o)) return sparse;
  if (has_attr(o, VLM_STR("__array_priority__")) || has_attr(o, VLM_STR("__array__"))) return true;
  return PySequence_Check(o) && !numpy_isscalar(o);
}

OpKind operand_kind(PyObject* o, bool sparse) {
  PyTypeObject* t = Py_TYPE(o);
  if (t == &VarType) return OpKind::Var;
  if (t == &LinExprType) return OpKind::Lin;
  if (t == &QuadExprType) return OpKind::Quad;
  if (t == &MVarType) return OpKind::MVar;
  if (t == &MLinExprType) return OpKind::MLin;
  if (t == &MQuadExprType) return OpKind::MQuad;
  if (t == &PyFloat_Type || t == &PyLong_Type) return OpKind::Number;
  if (is_number(o)) return OpKind::Number;
  if (is_arraylike(o, sparse)) return OpKind::Array;
  if (is_var(o)) return OpKind::Var;
  if (is_linexpr(o)) return OpKind::Lin;
  if (is_quadexpr(o)) return OpKind::Quad;
  if (is_mvar(o)) return OpKind::MVar;
  if (is_mlinexpr(o)) return OpKind::MLin;
  if (is_mquadexpr(o)) return OpKind::MQuad;
  return OpKind::None;
}

const char* kind_letter(OpKind k) {
  switch (k) {
    case OpKind::Number: return "n";
    case OpKind::Array: return "a";
    case OpKind::Var: return "v";
    case OpKind::Lin: return "l";
    case OpKind::Quad: return "q";
    case OpKind::MVar: return "mv";
    case OpKind::MLin: return "ml";
    case OpKind::MQuad: return "mq";
    case OpKind::None: break;
  }
  return "o";
}

}  // namespace velmorpy
