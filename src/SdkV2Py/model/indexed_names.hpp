// Indexed names: a base name followed by an item's key written as a list
// literal without blanks (x[0,1], c[1,'a']), as the batches of variables and
// the constraints from generators name their items.
#pragma once
#include <Python.h>

#include <string>
#include <vector>

namespace velmorpy {

// Appends the UTF-8 text of a str; `drop_blanks` leaves out every ' '.
// ValueError "embedded null character" for a NUL, which the library would
// cut the name at. Throws.
void append_text(std::string& out, PyObject* s, bool drop_blanks);

// str(list(key)).replace(' ', ''): the items of `key` (a tuple, a list or any
// iterable) as a list literal without blanks. Integers and plain strings are
// written here; other items by their repr. Throws.
void append_key_text(std::string& out, PyObject* key);

// base[i,j,...] for every cell of an array of `nd` dimensions `dims`, in
// row-major order: `base` (a str, kept as written) followed by the cell's
// index tuple, the key numpy.ndindex gives it, as append_key_text writes it.
// One name, base[], for a zero-dimensional array. Throws.
std::vector<std::string> cell_names(PyObject* base, int nd, const Py_ssize_t* dims);

}  // namespace velmorpy
