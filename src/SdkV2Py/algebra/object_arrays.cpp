// NumPy object arrays: private cell copies, new arrays, and the nesting checks before NumPy.
#include "algebra/object_arrays.hpp"

#include "runtime/numpy.hpp"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "runtime/errors.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

namespace {

PyArrayObject* arr(const Ref& a) { return reinterpret_cast<PyArrayObject*>(a.get()); }

// What one level of NumPy's loops over nested arrays of objects may take of
// the stack (about 8 KB measured for +), with a margin.
constexpr size_t kNumpyLevelBytes = 16 * 1024;

bool is_object_array(PyObject* o) {
  return PyArray_Check(o) && PyArray_TYPE(reinterpret_cast<PyArrayObject*>(o)) == NPY_OBJECT;
}

// Calls f(cell) for every non-null cell of an object array, whatever its
// strides. Runs no Python code.
template <class F>
void for_each_cell(PyArrayObject* a, F&& f) {
  const npy_intp size = PyArray_SIZE(a);
  if (size == 0) return;
  const int nd = PyArray_NDIM(a);
  const npy_intp* dims = PyArray_DIMS(a);
  const npy_intp* strides = PyArray_STRIDES(a);
  char* data = PyArray_BYTES(a);
  npy_intp index[NPY_MAXDIMS] = {};
  npy_intp offset = 0;
  for (npy_intp k = 0; k < size; ++k) {
    PyObject* cell;
    std::memcpy(&cell, data + offset, sizeof cell);  // cells need not be aligned
    if (cell) f(cell);
    for (int d = nd - 1; d >= 0; --d) {  // the next index in row-major order
      offset += strides[d];
      if (++index[d] < dims[d]) break;
      offset -= strides[d] * dims[d];
      index[d] = 0;
    }
  }
}

// The walk of numpy_operand: how many levels of arrays of objects lie below
// `a` (0 when no cell is one). `path` holds the arrays being walked, outermost
// first; `heights` the arrays walked already (an array met again through
// another cell is not walked again). The walk runs no Python code, so the
// arrays stay as they are.
class NestingWalk {
 public:
  int height(PyObject* a) {
    if (std::find(path_.begin(), path_.end(), a) != path_.end())
      raise(PyExc_RecursionError, "the array-like operand contains itself");
    if (const auto known = heights_.find(a); known != heights_.end()) return known->second;
    if (!path_.empty() && !stack_has_room(path_.size() * kNumpyLevelBytes)) raise_too_deep();  // a nested level
    path_.push_back(a);
    int h = 0;
    for_each_cell(reinterpret_cast<PyArrayObject*>(a), [&](PyObject* cell) {
      if (is_object_array(cell)) h = std::max(h, 1 + height(cell));
    });
    path_.pop_back();
    heights_.emplace(a, h);
    return h;
  }

  [[noreturn]] static void raise_too_deep() {
    raise(PyExc_RecursionError, "the array-like operand is nested too deeply");
  }

 private:
  std::vector<PyObject*> path_;
  std::unordered_map<PyObject*, int> heights_;
};

// An object other than an ndarray that NumPy's operators convert with
// numpy.asarray: a list or a tuple, or an object offering the array
// interface, unless its type takes part in the operators itself (operator
// slots of its own, __array_ufunc__ or __array_priority__): then its own
// operator, or NumPy's deferral to it, decides as before.
bool converted_by_numpy(PyObject* o) {
  if (PyList_Check(o) || PyTuple_Check(o)) return true;
  if (PyArray_IsScalar(o, Generic) || PyLong_Check(o) || PyFloat_Check(o) || PyUnicode_Check(o) || PyBytes_Check(o) ||
      o == Py_None)
    return false;
  // Looked up on the type, as NumPy does: no Python code runs.
  PyTypeObject* t = Py_TYPE(o);
  if (_PyType_Lookup(t, VLM_STR("__array_ufunc__")) || _PyType_Lookup(t, VLM_STR("__array_priority__"))) return false;
  const PyNumberMethods* nb = t->tp_as_number;
  if (nb && (nb->nb_add || nb->nb_subtract || nb->nb_multiply || nb->nb_matrix_multiply)) return false;
  const auto has = [&](PyObject* name) { return _PyType_Lookup(t, name) != nullptr; };
  return has(VLM_STR("__array__")) || has(VLM_STR("__array_interface__")) || has(VLM_STR("__array_struct__"));
}

}  // namespace

ObjectCells object_cells(PyObject* a) {
  ObjectCells c;
  // A base-class ndarray: a subclass's copy would run its __array_finalize__,
  // which could keep the copy and change its cells while a kernel reads them.
  c.array = take(PyArray_FROMANY(a, NPY_OBJECT, 0, 0, NPY_ARRAY_CARRAY | NPY_ARRAY_ENSURECOPY | NPY_ARRAY_ENSUREARRAY));
  c.cells = static_cast<PyObject**>(PyArray_DATA(arr(c.array)));
  c.size = PyArray_SIZE(arr(c.array));
  return c;
}

Ref new_object_array(int nd, const Py_ssize_t* dims) {
  static_assert(sizeof(Py_ssize_t) == sizeof(npy_intp), "NumPy's extents are Py_ssize_t");
  // NumPy allocates object arrays zero-filled: every cell is null until it is put.
  return take(PyArray_SimpleNew(nd, const_cast<npy_intp*>(reinterpret_cast<const npy_intp*>(dims)), NPY_OBJECT));
}

void put_cell(const Ref& array, Py_ssize_t k, Ref item) noexcept {
  PyObject** cells = static_cast<PyObject**>(PyArray_DATA(arr(array)));
  PyObject* old = cells[k];
  cells[k] = item.release();
  Py_XDECREF(old);
}

Ref zero_dim_array(PyObject* item) {
  Ref a = new_object_array(0, nullptr);
  put_cell(a, 0, Ref::borrow(item));
  return a;
}

void check_object_nesting(PyObject* o) {
  if (!is_object_array(o)) return;
  NestingWalk walk;
  const int levels = walk.height(o);
  if (levels > 0 && !stack_has_room(static_cast<size_t>(levels + 1) * kNumpyLevelBytes)) NestingWalk::raise_too_deep();
}

Ref negative(PyObject* o) {
  check_object_nesting(o);
  return take(PyNumber_Negative(o));
}

Ref numpy_operand(PyObject* o) {
  Ref operand = Ref::borrow(o);
  if (is_object_array(o)) {
    // NumPy's loops borrow the cells: from a copy no other code holds, so
    // that the cells' code cannot replace (and free) one while it is in use.
    operand = take(PyArray_NewCopy(reinterpret_cast<PyArrayObject*>(o), NPY_KEEPORDER));
  } else if (!PyArray_Check(o)) {
    if (!converted_by_numpy(o)) return operand;
    operand = take(PyArray_FromAny(o, nullptr, 0, 0, 0, nullptr));
  }
  check_object_nesting(operand.get());
  return operand;
}

Ref checked_shape(PyObject* shape, int64_t* cells) {
  // As NumPy reads a shape: a sequence of extents when it has a length, else
  // one extent (an int, a NumPy integer, a zero-dimensional array).
  Py_ssize_t n = -1;
  if (!PyLong_CheckExact(shape) && PySequence_Check(shape)) {
    n = PySequence_Size(shape);
    if (n < 0) {
      if (!PyErr_ExceptionMatches(PyExc_TypeError)) throw_error_set();
      PyErr_Clear();
    }
  }
  if (n > NPY_MAXDIMS)
    raise_format(PyExc_ValueError, "maximum supported dimension for an ndarray is %d, found %zd", NPY_MAXDIMS, n);
  // The extents, read once: an extent's __index__ may change the sequence.
  Ref items = n < 0 ? take(PyTuple_Pack(1, shape)) : take(PySequence_Tuple(shape));
  if (PyTuple_GET_SIZE(items.get()) > NPY_MAXDIMS)
    raise_format(PyExc_ValueError, "maximum supported dimension for an ndarray is %d, found %zd", NPY_MAXDIMS,
                 PyTuple_GET_SIZE(items.get()));
  const Py_ssize_t nd = PyTuple_GET_SIZE(items.get());
  Ref out = take(PyTuple_New(nd));
  // As NumPy counts: the bytes of an array of objects, a zero extent left out
  // of the product (it makes the array empty, whatever the others are).
  int64_t bytes = sizeof(PyObject*);
  bool empty = false;
  for (Py_ssize_t i = 0; i < nd; ++i) {
    PyObject* item = PyTuple_GET_ITEM(items.get(), i);
    if (PyBool_Check(item))
      raise_format(PyExc_TypeError, "expected a sequence of integers or a single integer, got '%R'", item);
    Ref extent = take(PyNumber_Index(item));
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(extent.get(), &overflow);
    if (v == -1 && PyErr_Occurred()) throw_error_set();
    if (overflow > 0) raise(PyExc_ValueError, "Maximum allowed dimension exceeded");
    if (overflow < 0 || v < 0) raise(PyExc_ValueError, "negative dimensions are not allowed");
    if (v == 0) {
      empty = true;
    } else if (bytes > NPY_MAX_INTP / v) {
      raise(PyExc_ValueError,
            "array is too big; `arr.size * arr.dtype.itemsize` is larger than the maximum possible size.");
    } else {
      bytes *= v;
    }
    PyTuple_SET_ITEM(out.get(), i, extent.release());
  }
  const int64_t count = empty ? 0 : bytes / static_cast<int64_t>(sizeof(PyObject*));
  *cells = count;
  return out;
}

Ref numpy_array(PyObject* obj) {
  return take(PyArray_FromAny(obj, nullptr, 0, 0, NPY_ARRAY_ENSURECOPY | NPY_ARRAY_ENSUREARRAY, nullptr));
}

}  // namespace velmorpy
