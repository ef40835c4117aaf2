// Array-like operands: the dispatchers with an array-like on the left, the
// kernels combining one Var or expression with every element of an array,
// and the element-wise maps.
#include "algebra/kernels.hpp"

#include "runtime/numpy.hpp"

#include <algorithm>
#include <vector>

#include "algebra/object_arrays.hpp"
#include "runtime/errors.hpp"

namespace velmorpy {

namespace {

// The array-likes whose elements this thread is mapping, outermost first. An
// element that is one of them is a container holding itself: mapping it again
// could only recurse to the recursion limit, running its elements' code at
// every level, so it is refused at once. Each scope holds its array-like, so
// no other object can take its address while it is listed.
thread_local std::vector<PyObject*> being_mapped;

class MappingScope {
 public:
  explicit MappingScope(PyObject* a) : pin_(Ref::borrow(a)) {
    if (std::find(being_mapped.begin(), being_mapped.end(), a) != being_mapped.end())
      raise(PyExc_RecursionError, "the array-like operand contains itself");
    being_mapped.push_back(a);
  }
  ~MappingScope() { being_mapped.pop_back(); }
  MappingScope(const MappingScope&) = delete;
  MappingScope& operator=(const MappingScope&) = delete;

 private:
  Ref pin_;
};

// numpy.vectorize converts its operand with numpy.asarray before it maps:
// an array-like whose nested sequences differ in length (which the object
// conversion below keeps as cells holding sequences) is refused there with
// NumPy's ValueError. Only an operand that left such a cell is converted
// again, so the common operands pay nothing. Throws.
void refuse_ragged(PyObject* a, const ObjectCells& cells) {
  if (PyArray_Check(a)) return;  // asarray leaves an array as it is
  bool nested = false;
  for (Py_ssize_t k = 0; k < cells.size; ++k) {
    PyObject* cell = cells[k];
    if (!PyList_Check(cell) && !PyTuple_Check(cell) && !PyArray_Check(cell)) continue;
    // Before NumPy's own text for a list that holds itself (too many dimensions).
    if (std::find(being_mapped.begin(), being_mapped.end(), cell) != being_mapped.end())
      raise(PyExc_RecursionError, "the array-like operand contains itself");
    nested = true;
  }
  if (nested) take(PyArray_FromAny(a, nullptr, 0, 0, 0, nullptr));
}

// An object array of a's shape holding op(x) for each element x, in C order.
// The elements are read from a private copy, so op may run any Python code.
template <class F>
Ref map_elements(PyObject* a, F&& op) {
  const MappingScope scope(a);
  const ObjectCells in = object_cells(a);
  refuse_ragged(a, in);
  PyArrayObject* shaped = reinterpret_cast<PyArrayObject*>(in.array.get());
  static_assert(sizeof(npy_intp) == sizeof(Py_ssize_t), "NumPy's extents are Py_ssize_t");
  Ref out = new_object_array(PyArray_NDIM(shaped), reinterpret_cast<const Py_ssize_t*>(PyArray_DIMS(shaped)));
  for (Py_ssize_t k = 0; k < in.size; ++k) put_cell(out, k, op(in[k]));
  return out;
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

Ref v_add_a(PyObject* v, PyObject* a) { return wrap_mlinexpr(npadd(a, v)); }
Ref v_mul_a(PyObject* v, PyObject* a) { return wrap_mlinexpr(npmul(a, v)); }
Ref l_add_a(PyObject* l, PyObject* a) { return wrap_mlinexpr(npadd(a, l)); }
Ref l_mul_a(PyObject* l, PyObject* a) { return wrap_mlinexpr(npmul(a, l)); }
Ref q_add_a(PyObject* q, PyObject* a) { return wrap_mquadexpr(npadd(a, q)); }
Ref q_mul_a(PyObject* q, PyObject* a) { return wrap_mquadexpr(npmul(a, q)); }

// --- element-wise maps -----------------------------------------------------------------

Ref npmap(PyObject* f, PyObject* a) { return map_elements(a, [&](PyObject* x) { return take(PyObject_CallOneArg(f, x)); }); }
Ref npadd(PyObject* a, PyObject* y) {
  Ref pin = Ref::borrow(y);
  return map_elements(a, [&](PyObject* x) { return take(PyNumber_Add(x, y)); });
}

Ref npmul(PyObject* a, PyObject* y) {
  Ref pin = Ref::borrow(y);
  return map_elements(a, [&](PyObject* x) { return take(PyNumber_Multiply(x, y)); });
}

}  // namespace velmorpy
