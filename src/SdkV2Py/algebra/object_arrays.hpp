// NumPy object arrays as the kernels and the matrix-shaped classes read and
// build them.
//
// A kernel that walks the cells of an operand's array reads a private
// C-contiguous copy of it: no other code holds that copy, so its cells stay
// put (and alive) whatever Python code runs meanwhile (an element's operator,
// a finaliser run by a collection), and the caller's array is never re-laid
// or changed. Results are new C-contiguous object arrays, written cell by
// cell.
#pragma once
#include <Python.h>

#include "runtime/ref.hpp"

namespace velmorpy {

// The cells of numpy.array(a, dtype=object, order='C', copy=True, subok=False). Throws.
struct ObjectCells {
  Ref array;
  PyObject** cells = nullptr;  // `size` cells in row-major order; a null cell reads as None
  Py_ssize_t size = 0;
  PyObject* operator[](Py_ssize_t k) const noexcept { return cells[k] ? cells[k] : Py_None; }
};
ObjectCells object_cells(PyObject* a);

// A new C-contiguous object array of `nd` dimensions whose cells are null
// (None to Python) until put_cell fills them. Throws.
Ref new_object_array(int nd, const Py_ssize_t* dims);
// Stores `item` (taken) in cell k of an array made by new_object_array.
void put_cell(const Ref& array, Py_ssize_t k, Ref item) noexcept;
// A new zero-dimensional object array holding `item`. Throws.
Ref zero_dim_array(PyObject* item);

// numpy.array(obj) (a new array; an ndarray is copied as NumPy copies it). Throws.
Ref numpy_array(PyObject* obj);

// What to hand to one of NumPy's operators (+, *, @, -x, a reduction) in
// place of the operand `o`. NumPy applies the operator to every cell of an
// array of objects, and to a cell that is itself such an array by running
// its own loop over that one's cells, with no limit: an array that holds
// itself (directly or through other arrays) recurses until the stack ends,
// and a deep enough nesting does the same. So the arrays inside `o` are
// walked first: RecursionError "the array-like operand contains itself", or
// "the array-like operand is nested too deeply" when the thread's stack has
// no room for NumPy's loops over the nesting. An ndarray of objects is
// returned as a copy of its own (NumPy's loops borrow its cells, which the
// cells' operators could otherwise replace and free), any other ndarray
// itself; a list, a tuple or another object NumPy would convert to an array
// (numpy.asarray) is converted here, and the array returned, so that the
// array walked is the one NumPy works on; anything else is returned
// unchanged. Throws.
Ref numpy_operand(PyObject* o);
// The walk alone, for an operand NumPy takes as it is (an operator of one
// operand, a comparison with a scalar): nothing unless `o` is an ndarray of
// objects. Throws.
void check_object_nesting(PyObject* o);
// -o, the interpreter's negation, after check_object_nesting(o). Throws.
Ref negative(PyObject* o);

// A shape argument as NumPy takes it (an integer, or a sequence of integers),
// checked before anything NumPy does with it: NumPy fills fixed buffers of
// its own from a shape (numpy.ndindex copies it into one of NPY_MAXDIMS
// entries before it counts them). Returns the shape as a new tuple of ints and
// the number of cells in `cells`. Errors, NumPy's own: the interpreter's
// TypeError for an extent that is no integer, ValueError for more than
// NPY_MAXDIMS dimensions ("maximum supported dimension for an ndarray is 32,
// found {}"), for a negative extent ("negative dimensions are not allowed"),
// an extent beyond 64 bits ("Maximum allowed dimension exceeded") and for
// more cells than an array of objects can hold ("array is too big; ..."),
// each counted in 64-bit arithmetic. Throws.
Ref checked_shape(PyObject* shape, int64_t* cells);

}  // namespace velmorpy
