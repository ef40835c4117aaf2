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

Ref numpy_array(PyObject* obj) {
  return take(PyArray_FromAny(obj, nullptr, 0, 0, NPY_ARRAY_ENSURECOPY | NPY_ARRAY_ENSUREARRAY, nullptr));
}

}  // namespace velmorpy
