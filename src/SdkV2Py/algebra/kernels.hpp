// The arithmetic kernels, one per unordered pair of kinds, named
// <left>_<op>_<right> over the kind letters n (number, given as a double),
// a (array-like), v (Var), l (LinExpr), q (QuadExpr), mv, ml, mq
// (matrix-shaped) and o (any: a dispatcher that classifies its right operand
// and calls the kernel of the pair, often with the operands swapped).
//
// Every kernel returns a new object and leaves its operands unchanged; sums
// and products append terms in operand order and never merge like terms.
// Each throws (a refused pair: TypeError "unsupported operand type(s) for
// <op>: `<left>` and `<right>`"). Python cannot call them.
#pragma once
#include <Python.h>

#include <cstdint>

#include "algebra/kinds.hpp"
#include "runtime/ref.hpp"

namespace velmorpy {

// An operand of an addition. Subtraction adds the negated right operand, and
// the reflected subtraction the negated left one: a negation of a number, a
// Var, a LinExpr or a QuadExpr is not made as an object but carried as
// `mult` -1 into the sum. `kind` is the kind of obj * mult (a negated Var is
// a LinExpr).
struct Summand {
  PyObject* obj;
  OpKind kind;
  double mult = 1.0;   // 1.0 or -1.0
  double value = 0.0;  // a number's value, mult applied
};

// The summand of `o` (classified; a number converted to a double) times
// mult. A mult of -1 is for numbers and for a Var, LinExpr or QuadExpr whose
// negation is Operand's own; other operands are negated as objects. Throws.
Summand summand_of(PyObject* o, double mult = 1.0);
// The summand's own object: obj, or its negation made now. Throws.
Ref materialise(const Summand& s);

// TypeError "unsupported operand type(s) for <op>: `<left>` and `<right>`"
// with the two type names. Throws.
[[noreturn]] void raise_unsupported(const char* op, const char* left, const char* right);
[[noreturn]] void raise_unsupported(const char* op, PyObject* left, PyObject* right);
// The type name a summand shows in messages ("LinExpr" for a negated Var).
const char* summand_type_name(const Summand& s);

// --- dispatchers: left kind fixed, right operand of any kind ----------------------------

Ref add_summands(const Summand& left, const Summand& right);  // chooses the left kind's dispatcher
Ref n_add_o(const Summand& n, const Summand& o);
Ref v_add_o(const Summand& v, const Summand& o);
Ref l_add_o(const Summand& l, const Summand& o);
Ref q_add_o(const Summand& q, const Summand& o);
Ref a_add_o(PyObject* a, PyObject* o);

Ref n_mul_o(double n, PyObject* o);
Ref v_mul_o(PyObject* v, PyObject* o);
Ref l_mul_o(PyObject* l, PyObject* o);
Ref q_mul_o(PyObject* q, PyObject* o);
Ref a_mul_o(PyObject* a, PyObject* o);
Ref a_matmul_o(PyObject* a, PyObject* o);

// --- sums (the first summand's terms first) ---------------------------------------------

// The sum of two summands of the kinds number, Var, LinExpr, QuadExpr as a
// LinExpr, or a QuadExpr when `quadratic` (the q_add_* kernels always give one).
Ref sum_of(const Summand& first, const Summand& second, bool quadratic);
inline Ref v_add_n(const Summand& v, const Summand& n) { return sum_of(v, n, false); }
inline Ref v_add_v(const Summand& x, const Summand& y) { return sum_of(x, y, false); }
inline Ref l_add_n(const Summand& l, const Summand& n) { return sum_of(l, n, false); }
inline Ref l_add_v(const Summand& l, const Summand& v) { return sum_of(l, v, false); }
inline Ref l_add_l(const Summand& l, const Summand& m) { return sum_of(l, m, false); }
inline Ref q_add_n(const Summand& q, const Summand& n) { return sum_of(q, n, true); }
inline Ref q_add_v(const Summand& q, const Summand& v) { return sum_of(q, v, true); }
inline Ref q_add_l(const Summand& q, const Summand& l) { return sum_of(q, l, true); }
inline Ref q_add_q(const Summand& q, const Summand& r) { return sum_of(q, r, true); }

// --- products ---------------------------------------------------------------------------

Ref v_mul_n(PyObject* v, double n);
Ref v_mul_v(PyObject* x, PyObject* y);
Ref l_mul_n(PyObject* l, double n);
Ref l_mul_v(PyObject* l, PyObject* v);
Ref l_mul_l(PyObject* a, PyObject* b);
Ref q_mul_n(PyObject* q, double n);

// --- array-like operands (element-wise through the elements' own operators) ------------

Ref v_add_a(PyObject* v, PyObject* a);
Ref v_mul_a(PyObject* v, PyObject* a);
Ref l_add_a(PyObject* l, PyObject* a);
Ref l_mul_a(PyObject* l, PyObject* a);
Ref q_add_a(PyObject* q, PyObject* a);
Ref q_mul_a(PyObject* q, PyObject* a);
Ref mv_add_a(PyObject* mv, PyObject* a);
Ref ml_add_a(PyObject* ml, PyObject* a);
Ref mq_add_a(PyObject* mq, PyObject* a);
Ref mv_mul_a(PyObject* mv, PyObject* a);
Ref ml_mul_a(PyObject* ml, PyObject* a);
Ref mq_mul_a(PyObject* mq, PyObject* a);
Ref a_matmul_mv(PyObject* a, PyObject* mv);
Ref a_matmul_ml(PyObject* a, PyObject* ml);
Ref a_matmul_mq(PyObject* a, PyObject* mq);

// An object array of a's shape holding f(x) for every element x of
// numpy.asarray(a): npmap calls the Python callable f; npadd makes x + y and
// npmul x * y through the interpreter's operators, the element on the left.
// A zero-dimensional a gives a zero-dimensional result, an empty one an
// empty result.
Ref npmap(PyObject* f, PyObject* a);
Ref npadd(PyObject* a, PyObject* y);
Ref npmul(PyObject* a, PyObject* y);

// Element functions of the dense matrix product: cell (i, j) of A @ B, the
// inner product of row i of A with column j of B, built straight into the
// term lists of a new expression. A and B are two-dimensional; the numeric
// one is read as float64 from a C-contiguous copy when it is not one already
// (the caller's array is never changed). n_inner_v: A numeric, B of Var;
// v_inner_n: A of Var, B numeric; v_inner_v: both of Var (a QuadExpr with
// the integer 1 as every coefficient). Zero coefficients stay; a cell that
// is not a Var raises "Cannot convert {} to {}". Throw.
Ref n_inner_v(PyObject* A, PyObject* B, Py_ssize_t i, Py_ssize_t j);
Ref v_inner_n(PyObject* A, PyObject* B, Py_ssize_t i, Py_ssize_t j);
Ref v_inner_v(PyObject* A, PyObject* B, Py_ssize_t i, Py_ssize_t j);

// --- matrix products --------------------------------------------------------------------

// _dmatmul(A, B, ka, kb): the dense matrix product of two arrays (or
// objects numpy.asarray takes) whose elements are of the kinds ka and kb
// (Number, Var, Lin, Quad). Numbers with variables, variables with numbers
// and variables with variables get a product of their own that builds every
// cell straight into a new expression (ValueError "matmul operand is empty"
// for an operand without elements, "matmul: {} @ {} operation not support"
// with the two shapes for inner extents that differ); one-dimensional
// operands follow NumPy's rules (two of them give one expression). Every
// other pairing, and operands of other dimensions, is NumPy's matrix product.
// Throws.
Ref _dmatmul(PyObject* A, PyObject* B, OpKind ka, OpKind kb);
// _smatmul(left, right): the product of an ndarray of Var, LinExpr or
// QuadExpr (the first cell decides) and a SciPy sparse matrix, in either
// order; one pass over the stored entries, one new expression per cell (a
// LinExpr, or a QuadExpr for QuadExpr cells). A one-dimensional dense
// operand is a row on the left and a column on the right, and gives a
// one-dimensional result. Throws.
Ref _smatmul(PyObject* left, PyObject* right);
// A SciPy sparse matrix as the sparse products read it: in compressed rows
// (CSR, `rows`) or columns (CSC), converted by SciPy when it is in another
// format and to float64 values when they are of another type, its structure
// checked first (the "matmul" texts). `outer` counts rows of a CSR matrix,
// columns of a CSC one; index arrays of 32 or 64 bits are read as they are.
struct CompressedMatrix {
  Ref matrix;
  Ref shape;                  // the matrix's shape, read once
  Ref indptr, indices, data;  // C-contiguous arrays: the matrix's own, or copies
  int64_t outer = 0;          // rows of a CSR matrix, columns of a CSC one
  int64_t inner = 0;          // the other extent
  int64_t nnz = 0;            // entries readable in both indices and data
  const int64_t* ptr = nullptr;
  const void* idx = nullptr;
  bool wide = false;          // indices of 64 bits
  const double* val = nullptr;

  // The stored entries of outer position o: [begin, end), checked
  // (ValueError for index pointers out of range). Throws.
  void range(int64_t o, int64_t& begin, int64_t& end) const {
    begin = ptr[o];
    end = ptr[o + 1];
    if (begin < 0 || begin > end || end > nnz) raise_pointers();
  }
  // The inner index of entry p, checked against the inner extent
  // (ValueError "matmul: index {} of the sparse matrix is out of range"). Throws.
  int64_t index(int64_t p) const {
    const int64_t k = wide ? static_cast<const int64_t*>(idx)[p] : static_cast<const int32_t*>(idx)[p];
    if (k < 0 || k >= inner) raise_index(k);
    return k;
  }

 private:
  [[noreturn]] static void raise_pointers();
  [[noreturn]] static void raise_index(int64_t k);
};
CompressedMatrix compressed_matrix(PyObject* m, bool rows);
// The attribute `shape` of `a`. Throws.
Ref shape_of(PyObject* a);
// ValueError "matmul: {} @ {} operation not support" with the two shapes
// (the products' text for inner extents that differ). Throws.
[[noreturn]] void raise_matmul_shapes(PyObject* left_shape, PyObject* right_shape);

// --- matrix-shaped operands (algebra/matrix_kernels.cpp) -------------------------------
//
// Each kernel is one NumPy operation on the operands' arrays (element-wise
// operations reach the cells' own operators), its result wrapped by
// MLinExpr.new or MQuadExpr.new.

Ref wrap_mlinexpr(Ref arr);
Ref wrap_mquadexpr(Ref arr);

Ref mv_add_o(PyObject* mv, PyObject* o);
Ref ml_add_o(PyObject* ml, PyObject* o);
Ref mq_add_o(PyObject* mq, PyObject* o);
Ref mv_mul_o(PyObject* mv, PyObject* o);
Ref ml_mul_o(PyObject* ml, PyObject* o);
Ref mq_mul_o(PyObject* mq, PyObject* o);
Ref mv_matmul_o(PyObject* mv, PyObject* o);
Ref ml_matmul_o(PyObject* ml, PyObject* o);
Ref mq_matmul_o(PyObject* mq, PyObject* o);

Ref mv_add_n(PyObject* mv, double n);
Ref mv_add_v(PyObject* mv, PyObject* v);
Ref mv_add_l(PyObject* mv, PyObject* l);
Ref mv_add_q(PyObject* mv, PyObject* q);
Ref mv_add_mv(PyObject* a, PyObject* b);
Ref ml_add_n(PyObject* ml, double n);
Ref ml_add_v(PyObject* ml, PyObject* v);
Ref ml_add_l(PyObject* ml, PyObject* l);
Ref ml_add_q(PyObject* ml, PyObject* q);
Ref ml_add_mv(PyObject* ml, PyObject* mv);
Ref ml_add_ml(PyObject* a, PyObject* b);
Ref mq_add_n(PyObject* mq, double n);
Ref mq_add_v(PyObject* mq, PyObject* v);
Ref mq_add_l(PyObject* mq, PyObject* l);
Ref mq_add_q(PyObject* mq, PyObject* q);
Ref mq_add_mv(PyObject* mq, PyObject* mv);
Ref mq_add_ml(PyObject* mq, PyObject* ml);
Ref mq_add_mq(PyObject* a, PyObject* b);
Ref mv_mul_n(PyObject* mv, double n);
Ref mv_mul_v(PyObject* mv, PyObject* v);
Ref mv_mul_l(PyObject* mv, PyObject* l);
Ref mv_mul_mv(PyObject* a, PyObject* b);
Ref ml_mul_n(PyObject* ml, double n);
Ref ml_mul_v(PyObject* ml, PyObject* v);
Ref ml_mul_l(PyObject* ml, PyObject* l);
Ref ml_mul_mv(PyObject* ml, PyObject* mv);
Ref ml_mul_ml(PyObject* a, PyObject* b);
Ref mq_mul_n(PyObject* mq, double n);
Ref mv_matmul_a(PyObject* mv, PyObject* a);
Ref mv_matmul_mv(PyObject* a, PyObject* b);
Ref mv_matmul_ml(PyObject* mv, PyObject* ml);
Ref ml_matmul_a(PyObject* ml, PyObject* a);
Ref ml_matmul_mv(PyObject* ml, PyObject* mv);
Ref ml_matmul_ml(PyObject* a, PyObject* b);
Ref mq_matmul_a(PyObject* mq, PyObject* a);
// Unary minus of a matrix-shaped operand: its array times the int -1, wrapped
// (an MVar gives an MLinExpr).
Ref matrix_neg(PyObject* m, OpKind kind);

}  // namespace velmorpy
