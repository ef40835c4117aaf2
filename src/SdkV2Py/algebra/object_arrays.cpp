#include "algebra/object_arrays.hpp"

#include "module/numpy.hpp"

#include "module/errors.hpp"

namespace velmorpy {

namespace {

PyArrayObject* arr(const Ref& a) { return reinterpret_cast<PyArrayObject*>(a.get()); }

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
