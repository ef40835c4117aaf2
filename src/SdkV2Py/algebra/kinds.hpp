// Operand kinds: how every operator and dispatcher classifies an operand.
//
// The order of the tests is fixed: number, array-like, Var, LinExpr,
// QuadExpr, MVar, MLinExpr, MQuadExpr; the first match decides and a
// subclass takes its base's kind. Exact Var, LinExpr and QuadExpr objects are
// recognised before the number test (they are never numbers), so the hot path
// makes no numbers.Number look-up.
#pragma once
#include <Python.h>

namespace velmorpy {

enum class OpKind : unsigned char {
  None,    // no kind: refused by every dispatcher
  Number,  // numbers.Number, every NumPy scalar of a numeric or Boolean dtype included
  Array,   // array-like (is_arraylike)
  Var,
  Lin,     // LinExpr
  Quad,    // QuadExpr
  MVar,    // the matrix-shaped kinds
  MLin,
  MQuad,
};

// The kind of `o`. `sparse` makes a SciPy sparse matrix array-like (the
// matrix products); elsewhere it has no kind. Throws.
OpKind operand_kind(PyObject* o, bool sparse = false);

// Whether `o` is array-like: never an Operand or a NumPy scalar; a SciPy
// sparse matrix when `sparse`; an object with __array_priority__ or
// __array__; otherwise a sequence that NumPy does not call a scalar (lists,
// tuples, NumPy arrays). None, str, dict and other objects are not. Throws
// only for errors other than AttributeError during the probes.
bool is_arraylike(PyObject* o, bool sparse = false);

// Whether `o` is an instance of scipy.sparse.spmatrix. Throws.
bool is_sparse_matrix(PyObject* o);

// SciPy's format conversions (tocoo, tocsr, the matrix constructors) trust
// the index arrays of the matrix they read: indices or pointers out of range
// make them write outside their own arrays. A user's sparse matrix is checked
// with this before any of them reads it: the index pointers and indices of a
// CSR, CSC or BSR matrix, the coordinates of a COO one, against its shape
// (other formats keep no such arrays). ValueError "<where>: the index
// pointers of the sparse matrix are out of range" or "<where>: index <k> of
// the sparse matrix is out of range". Throws.
void check_sparse_structure(PyObject* m, const char* where);

// numpy.isscalar(o): NumPy scalars, the built-in scalar types (int, float,
// complex, bool, bytes, str, memoryview) and numbers.Number. Throws.
bool numpy_isscalar(PyObject* o);

// The letter of a kind in kernel names ("n", "a", "v", "l", "q", "mv", ...).
const char* kind_letter(OpKind k);

}  // namespace velmorpy
