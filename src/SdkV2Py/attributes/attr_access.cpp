// The attribute layer: requests, typed getters and setters, and the conversion of values.
#include "attributes/attr_access.hpp"

#include "runtime/numpy.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <utility>
#include <vector>

#include "algebra/kinds.hpp"
#include "attributes/attr_table.hpp"
#include "attributes/handle.hpp"
#include "attributes/names.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/holder.hpp"
#include "runtime/state.hpp"
#include "runtime/strings.hpp"
#include "runtime/text.hpp"

namespace velmorpy {

namespace {

// Fixed texts of the layer.
const char kNotExist[] = "Attribute `%S` does not exist";
const char kCountMismatch[] = "the number of values (%zd) differs from the number of objects (%zd)";
const char kNotOneChar[] = "Expect a single character, got %R";
const char kNotMatrix[] = "Expect a numpy 2d-array or scipy sparse matrix";
const char kMatrixEntry[] = "matrix entry (%lld, %lld) outside its %lld x %lld matrix";
const char kLibraryAnswer[] = "velmorpy: the library answered out of range for attribute `%s`";

// A size as the library's 32-bit count; OverflowError beyond that.
int as_count(int64_t n) {
  if (n < 0 || n > INT32_MAX) raise(PyExc_OverflowError, "value too large to convert to int");
  return static_cast<int>(n);
}

[[noreturn]] void library_fault(const char* cname) { raise_format(PyExc_RuntimeError, kLibraryAnswer, cname); }

// --- request set-up ------------------------------------------------------------

struct Resolved {
  const char* cname;  // the canonical name, as the library is given it (the table's text)
  AttrType type;
};

// Name, then the library's type and kind, then the kind check. A name that
// is no attribute is refused even on a disposed model, so that probes such as
// hasattr(x, "__array__") keep answering False there.
Resolved resolve_row(const Ref& holder, int row, PyObject* attrname, AttrKind kind) {
  const char* cname = kAttrRows[row].name;
  const AttrInfo info = _getAttrInfo(live_model(holder), cname);
  if (info.kind != kind) raise_attr_not_exist(attrname);
  return Resolved{cname, info.type};
}

Resolved resolve(const Ref& holder, PyObject* attrname, AttrKind kind) {
  const int row = find_attr_row(attrname);
  if (row < 0) raise_attr_not_exist(attrname);
  return resolve_row(holder, row, attrname, kind);
}

// The index of `item`, which must be a handle of the class of `kind` made from
// the model behind `holder`. Reads the field, so no Python code runs.
int item_index(const Ref& holder, AttrKind kind, PyObject* item) {
  const HandleClass* cls = handle_class(kind);
  if (!cls) raise_cannot_convert(item, "a handle");
  if (!PyObject_TypeCheck(item, cls->type)) raise_cannot_convert(item, cls->type->tp_name);
  if (as_handle(item)->holder_ != holder.get()) raise_holds_other_model("objs");
  return as_handle(item)->index;
}

// The indices of the handles that `objs` yields, in order.
std::vector<int> gather(const Ref& holder, AttrKind kind, PyObject* objs) {
  Ref seq = PyList_CheckExact(objs) || PyTuple_CheckExact(objs) ? Ref::borrow(objs) : take(PySequence_List(objs));
  const Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.get());
  as_count(n);
  std::vector<int> ind(static_cast<size_t>(n));
  // item_index runs no Python code, so the borrowed items stay valid.
  PyObject** items = PySequence_Fast_ITEMS(seq.get());
  for (Py_ssize_t i = 0; i < n; ++i) ind[i] = item_index(holder, kind, items[i]);
  return ind;
}

// --- typed getters: `ind` null is the model level -------------------------------

void _getIntAttr(const Ref& holder, const char* cname, int* val, const std::vector<int>* ind) {
  VLMmodel* model = live_model(holder);
  check_rc(ind ? VLMgetintattrlist(model, cname, static_cast<int>(ind->size()), ind->data(), val)
               : VLMgetintattr(model, cname, val));
}

void _getDblAttr(const Ref& holder, const char* cname, double* val, const std::vector<int>* ind) {
  VLMmodel* model = live_model(holder);
  check_rc(ind ? VLMgetdblattrlist(model, cname, static_cast<int>(ind->size()), ind->data(), val)
               : VLMgetdblattr(model, cname, val));
}

// Char attributes exist only for items.
void _getCharAttr(const Ref& holder, const char* cname, char* val, const std::vector<int>& ind) {
  check_rc(VLMgetcharattrlist(live_model(holder), cname, static_cast<int>(ind.size()), ind.data(), val));
}

// The library's texts stay valid only until its next call on the model, so
// each is copied into a str at once.
std::vector<Ref> _getStrAttr(const Ref& holder, const char* cname, const std::vector<int>* ind) {
  std::vector<Ref> out;
  if (!ind) {
    char* text = nullptr;
    check_rc(VLMgetstrattr(live_model(holder), cname, &text));
    out.push_back(chars2str(text));
    return out;
  }
  std::vector<char*> texts(ind->size(), nullptr);
  check_rc(VLMgetstrattrlist(live_model(holder), cname, static_cast<int>(ind->size()), ind->data(), texts.data()));
  out.reserve(texts.size());
  for (const char* t : texts) out.push_back(chars2str(t));
  return out;
}

// One matrix read back: dense float64 when at least half its elements are
// stored, else a coo_matrix of the stored entries (repeats kept side by side).
Ref matrix_from_entries(int64_t rows, int64_t cols, const int* pos, const double* val, int64_t count) {
  const int64_t cells = rows * cols;
  if (cells <= 2 * count) {
    npy_intp dims[2] = {static_cast<npy_intp>(rows), static_cast<npy_intp>(cols)};
    Ref dense = take(PyArray_ZEROS(2, dims, NPY_FLOAT64, 0));
    auto* data = static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(dense.get())));
    for (int64_t j = 0; j < count; ++j) data[pos[j]] = val[j];  // a later entry overwrites an earlier one
    return dense;
  }
  npy_intp n = static_cast<npy_intp>(count);
  Ref data = take(PyArray_SimpleNew(1, &n, NPY_FLOAT64));
  Ref r = take(PyArray_SimpleNew(1, &n, NPY_INT32));
  Ref c = take(PyArray_SimpleNew(1, &n, NPY_INT32));
  auto* pd = static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(data.get())));
  auto* pr = static_cast<int*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(r.get())));
  auto* pc = static_cast<int*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(c.get())));
  for (int64_t j = 0; j < count; ++j) {  // cols > 0 here: cells > 2 * count >= 0
    pd[j] = val[j];
    pr[j] = static_cast<int>(pos[j] / cols);
    pc[j] = static_cast<int>(pos[j] % cols);
  }
  Ref sp = module_global("_sp");
  Ref coo_matrix = take(PyObject_GetAttrString(sp.get(), "coo_matrix"));
  Ref index = take(PyTuple_Pack(2, r.get(), c.get()));
  Ref arg = take(PyTuple_Pack(2, data.get(), index.get()));
  Ref args = take(PyTuple_Pack(1, arg.get()));
  Ref kwargs = take(Py_BuildValue("{s:(LL)}", "shape", static_cast<long long>(rows), static_cast<long long>(cols)));
  return take(PyObject_Call(coo_matrix.get(), args.get(), kwargs.get()));
}

// Matrix attributes exist only for items. Two calls: the entry total, then
// the entries; every start, count and position the library gives back is
// checked before it is used.
std::vector<Ref> _getMatAttr(const Ref& holder, const char* cname, const std::vector<int>& ind) {
  const int n = static_cast<int>(ind.size());
  int total = 0;
  check_rc(VLMgetmatattrlist(live_model(holder), cname, n, ind.data(), &total, nullptr, nullptr, nullptr, nullptr,
                             nullptr));
  if (total < 0) library_fault(cname);
  std::vector<int> beg(ind.size()), nrows(ind.size()), ncols(ind.size()), pos(static_cast<size_t>(total));
  std::vector<double> val(static_cast<size_t>(total));
  int filled = total;
  check_rc(VLMgetmatattrlist(live_model(holder), cname, n, ind.data(), &filled, beg.data(), nrows.data(), ncols.data(),
                             pos.data(), val.data()));
  if (filled < 0 || filled > total) library_fault(cname);
  std::vector<Ref> out;
  out.reserve(ind.size());
  for (int i = 0; i < n; ++i) {
    const int64_t s = beg[i], e = i + 1 < n ? beg[i + 1] : filled;
    const int64_t rows = nrows[i], cols = ncols[i];
    if (s < 0 || s > e || e > filled || rows < 0 || cols < 0) library_fault(cname);
    for (int64_t j = s; j < e; ++j)
      if (pos[j] < 0 || pos[j] >= rows * cols) library_fault(cname);
    out.push_back(matrix_from_entries(rows, cols, pos.data() + s, val.data() + s, e - s));
  }
  return out;
}

// --- results -------------------------------------------------------------------

Ref int32_scalar(int v) {
  PyObject* s = PyArrayScalar_New(Int);  // numpy.int32 is the C int
  if (!s) throw_error_set();
  PyArrayScalar_ASSIGN(s, Int, v);
  return Ref::steal(s);
}

Ref float64_scalar(double v) {
  PyObject* s = PyArrayScalar_New(Double);
  if (!s) throw_error_set();
  PyArrayScalar_ASSIGN(s, Double, v);
  return Ref::steal(s);
}

// A char value as a one-character bytes object; NUL reads as b"".
Ref char_bytes(char c) { return take(PyBytes_FromStringAndSize(&c, c ? 1 : 0)); }

Ref new_array(npy_intp n, int typenum) { return take(PyArray_SimpleNew(1, &n, typenum)); }

template <class T>
T* array_data(const Ref& arr) {
  return static_cast<T*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(arr.get())));
}

// A one-dimensional object array holding the values, each whole (a matrix
// stays one element). Nothing can fail once the array exists.
Ref object_array(std::vector<Ref>& values) {
  Ref arr = new_array(static_cast<npy_intp>(values.size()), NPY_OBJECT);
  PyObject** cells = array_data<PyObject*>(arr);
  for (size_t i = 0; i < values.size(); ++i) {
    PyObject* old = cells[i];
    cells[i] = values[i].release();
    Py_XDECREF(old);
  }
  return arr;
}

// --- value conversion for writes ------------------------------------------------

// The leaves of `list` in row-major order: the list itself when no element is a
// list, a tuple or an array, else the cells of numpy.array(list, dtype=object).
// `list` is private to the layer, so no Python code can change it meanwhile.
struct Leaves {
  Ref owner;
  PyObject** items = nullptr;
  Py_ssize_t size = 0;
};

Leaves leaves_of(PyObject* list) {
  const Py_ssize_t n = PyList_GET_SIZE(list);
  bool nested = false;
  for (Py_ssize_t i = 0; i < n && !nested; ++i) {
    PyObject* v = PyList_GET_ITEM(list, i);
    nested = PyList_Check(v) || PyTuple_Check(v) || PyArray_Check(v);
  }
  Leaves out;
  if (!nested) {
    out.owner = Ref::borrow(list);
    out.items = PySequence_Fast_ITEMS(list);
    out.size = n;
    return out;
  }
  out.owner = take(PyArray_FROMANY(list, NPY_OBJECT, 0, 0, NPY_ARRAY_DEFAULT));
  out.items = array_data<PyObject*>(out.owner);
  out.size = PyArray_SIZE(reinterpret_cast<PyArrayObject*>(out.owner.get()));
  return out;
}

// numpy.array(list, dtype=<typenum>): NumPy's conversion of every value (so a
// numeric text is read as its number), row-major for nested lists; the number
// of values must be `expected`.
Ref numeric_values(PyObject* list, int typenum, Py_ssize_t expected) {
  Ref arr = take(PyArray_FROMANY(list, typenum, 0, 0, NPY_ARRAY_CARRAY | NPY_ARRAY_FORCECAST));
  const Py_ssize_t n = PyArray_SIZE(reinterpret_cast<PyArrayObject*>(arr.get()));
  if (n != expected) raise_format(PyExc_ValueError, kCountMismatch, n, expected);
  return arr;
}

// Every value a Python int (or, with `floats`, a Python float): the usual
// case, which is read directly (NumPy reads these the same way) without
// running Python code.
bool plain_numbers(PyObject* list, bool floats) {
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i) {
    PyObject* v = PyList_GET_ITEM(list, i);
    if (!PyLong_CheckExact(v) && !(floats && PyFloat_CheckExact(v))) return false;
  }
  return true;
}

std::vector<double> double_values(PyObject* list, Py_ssize_t expected) {
  const size_t n = static_cast<size_t>(expected);
  if (plain_numbers(list, /*floats=*/true)) {
    if (PyList_GET_SIZE(list) != expected)
      raise_format(PyExc_ValueError, kCountMismatch, PyList_GET_SIZE(list), expected);
    std::vector<double> val(n);
    for (size_t i = 0; i < n; ++i) val[i] = as_double(PyList_GET_ITEM(list, i));
    return val;
  }
  Ref arr = numeric_values(list, NPY_FLOAT64, expected);
  const double* p = array_data<double>(arr);
  return std::vector<double>(p, p + n);
}

// Through int64, so that a value beyond 32 bits is refused instead of wrapped.
std::vector<int> int_values(PyObject* list, Py_ssize_t expected) {
  const size_t n = static_cast<size_t>(expected);
  std::vector<int> val(n);
  if (plain_numbers(list, /*floats=*/false)) {  // a float is truncated by NumPy's cast below
    if (PyList_GET_SIZE(list) != expected)
      raise_format(PyExc_ValueError, kCountMismatch, PyList_GET_SIZE(list), expected);
    for (size_t i = 0; i < n; ++i) val[i] = truncating_int(PyList_GET_ITEM(list, i));
    return val;
  }
  Ref arr = numeric_values(list, NPY_INT64, expected);
  const int64_t* p = array_data<int64_t>(arr);
  for (size_t i = 0; i < n; ++i) {
    if (p[i] < INT32_MIN || p[i] > INT32_MAX) raise(PyExc_OverflowError, "value too large to convert to int");
    val[i] = static_cast<int>(p[i]);
  }
  return val;
}

// Exactly one character: a str of one ASCII character or a bytes of one byte.
char one_char(PyObject* v) {
  if (PyUnicode_Check(v) && PyUnicode_GET_LENGTH(v) == 1) {
    const Py_UCS4 c = PyUnicode_READ_CHAR(v, 0);
    if (c < 128) return static_cast<char>(c);
  } else if (PyBytes_Check(v) && PyBytes_GET_SIZE(v) == 1) {
    return PyBytes_AS_STRING(v)[0];
  }
  raise_format(PyExc_ValueError, kNotOneChar, v);
}

// --- typed setters: `ind` null is the model level --------------------------------

void _setIntAttr(const Ref& holder, const char* cname, const std::vector<int>& val, const std::vector<int>* ind) {
  VLMmodel* model = live_model(holder);
  check_rc(ind ? VLMsetintattrlist(model, cname, static_cast<int>(ind->size()), ind->data(), val.data())
               : VLMsetintattr(model, cname, val[0]));
}

void _setDblAttr(const Ref& holder, const char* cname, const std::vector<double>& val, const std::vector<int>* ind) {
  VLMmodel* model = live_model(holder);
  check_rc(ind ? VLMsetdblattrlist(model, cname, static_cast<int>(ind->size()), ind->data(), val.data())
               : VLMsetdblattr(model, cname, val[0]));
}

void _setCharAttr(const Ref& holder, const char* cname, const std::vector<char>& val, const std::vector<int>& ind) {
  check_rc(VLMsetcharattrlist(live_model(holder), cname, static_cast<int>(ind.size()), ind.data(), val.data()));
}

void _setStrAttr(const Ref& holder, const char* cname, const std::vector<const char*>& val,
                 const std::vector<int>* ind) {
  VLMmodel* model = live_model(holder);
  check_rc(ind ? VLMsetstrattrlist(model, cname, static_cast<int>(ind->size()), ind->data(), val.data())
               : VLMsetstrattr(model, cname, val[0]));
}

int64_t shape_dim(PyObject* shape, Py_ssize_t i) {
  Ref d = take(PySequence_GetItem(shape, i));
  const int64_t v = integer_only<int64_t>(d.get());
  if (v < 0) raise(PyExc_ValueError, kNotMatrix);
  return v;
}

// Appends one matrix to the hand-off arrays: every element of a dense one,
// zeros included, in row-major order; the stored entries of a sparse one in
// the order of its tocoo() form.
void add_matrix(PyObject* m, PyObject* spmatrix, std::vector<int>& nrows, std::vector<int>& ncols,
                std::vector<int>& pos, std::vector<double>& val) {
  Ref shape = take(PyObject_GetAttrString(m, "shape"));
  const int64_t rows = as_count(shape_dim(shape.get(), 0)), cols = as_count(shape_dim(shape.get(), 1));
  const int64_t cells = rows * cols;
  as_count(cells);  // flat positions are 32-bit
  if (check(PyObject_IsInstance(m, spmatrix))) {
    check_sparse_structure(m, "setAttr");  // tocoo trusts the index arrays
    Ref coo = take(PyObject_CallMethod(m, "tocoo", nullptr));
    Ref r_obj = take(PyObject_GetAttrString(coo.get(), "row"));
    Ref c_obj = take(PyObject_GetAttrString(coo.get(), "col"));
    Ref d_obj = take(PyObject_GetAttrString(coo.get(), "data"));
    Ref r = take(PyArray_FROMANY(r_obj.get(), NPY_INT64, 1, 1, NPY_ARRAY_CARRAY_RO | NPY_ARRAY_FORCECAST));
    Ref c = take(PyArray_FROMANY(c_obj.get(), NPY_INT64, 1, 1, NPY_ARRAY_CARRAY_RO | NPY_ARRAY_FORCECAST));
    Ref d = take(PyArray_FROMANY(d_obj.get(), NPY_FLOAT64, 1, 1, NPY_ARRAY_CARRAY_RO | NPY_ARRAY_FORCECAST));
    const npy_intp n = PyArray_SIZE(reinterpret_cast<PyArrayObject*>(d.get()));
    if (PyArray_SIZE(reinterpret_cast<PyArrayObject*>(r.get())) != n ||
        PyArray_SIZE(reinterpret_cast<PyArrayObject*>(c.get())) != n)
      raise(PyExc_ValueError, kNotMatrix);
    const int64_t* pr = array_data<int64_t>(r);
    const int64_t* pc = array_data<int64_t>(c);
    const double* pd = array_data<double>(d);
    for (npy_intp j = 0; j < n; ++j) {
      if (pr[j] < 0 || pr[j] >= rows || pc[j] < 0 || pc[j] >= cols)
        raise_format(PyExc_ValueError, kMatrixEntry, static_cast<long long>(pr[j]), static_cast<long long>(pc[j]),
                     static_cast<long long>(rows), static_cast<long long>(cols));
      pos.push_back(static_cast<int>(pr[j] * cols + pc[j]));
      val.push_back(pd[j]);
    }
  } else {
    Ref arr = take(PyArray_FromAny(m, nullptr, 0, 0, 0, nullptr));
    if (PyArray_NDIM(reinterpret_cast<PyArrayObject*>(arr.get())) != 2) raise(PyExc_ValueError, kNotMatrix);
    // Read through a C-contiguous float64 view or copy; the caller's array is never changed.
    Ref dense = take(PyArray_FROMANY(arr.get(), NPY_FLOAT64, 2, 2, NPY_ARRAY_CARRAY_RO | NPY_ARRAY_FORCECAST));
    auto* a = reinterpret_cast<PyArrayObject*>(dense.get());
    if (PyArray_DIM(a, 0) != rows || PyArray_DIM(a, 1) != cols) raise(PyExc_ValueError, kNotMatrix);
    const double* pd = array_data<double>(dense);
    for (int64_t j = 0; j < cells; ++j) {
      pos.push_back(static_cast<int>(j));
      val.push_back(pd[j]);
    }
  }
  as_count(static_cast<int64_t>(val.size()));  // the entry total is 32-bit too
  nrows.push_back(static_cast<int>(rows));
  ncols.push_back(static_cast<int>(cols));
}

// `matrices` holds one matrix per index of `ind`.
void _setMatAttr(const Ref& holder, const char* cname, const std::vector<int>& ind, PyObject* matrices,
                 const IndexMark& mark) {
  Ref sp = module_global("_sp");
  Ref spmatrix = take(PyObject_GetAttrString(sp.get(), "spmatrix"));
  std::vector<int> beg, nrows, ncols, pos;
  std::vector<double> val;
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(matrices); ++i) {
    beg.push_back(static_cast<int>(val.size()));
    Ref m = Ref::borrow(PyList_GET_ITEM(matrices, i));
    add_matrix(m.get(), spmatrix.get(), nrows, ncols, pos, val);
  }
  mark.check();
  check_rc(VLMsetmatattrlist(live_model(holder), cname, static_cast<int>(ind.size()), ind.data(),
                             static_cast<int>(val.size()), beg.data(), nrows.data(), ncols.data(), pos.data(),
                             val.data()));
}

// Writes the values of `list` (a private list: one value per item, or the one
// model-level value) after converting every one of them; `mark` (taken before
// the items' indices were read) is checked after the conversions.
void write(const Ref& holder, const Resolved& r, const std::vector<int>* ind, PyObject* list,
           const IndexMark& mark = IndexMark()) {
  const Py_ssize_t expected = ind ? static_cast<Py_ssize_t>(ind->size()) : 1;
  const char* cname = r.cname;
  if (r.type == AttrType::Matrix) {
    if (PyList_GET_SIZE(list) != expected)
      raise_format(PyExc_ValueError, kCountMismatch, PyList_GET_SIZE(list), expected);
    _setMatAttr(holder, cname, *ind, list, mark);
    return;
  }
  const size_t n = static_cast<size_t>(expected);
  if (r.type == AttrType::Int) {
    std::vector<int> val = int_values(list, expected);
    mark.check();
    return _setIntAttr(holder, cname, val, ind);
  }
  if (r.type == AttrType::Double) {
    std::vector<double> val = double_values(list, expected);
    mark.check();
    return _setDblAttr(holder, cname, val, ind);
  }
  Leaves leaves = leaves_of(list);
  if (leaves.size != expected) raise_format(PyExc_ValueError, kCountMismatch, leaves.size, expected);
  switch (r.type) {
    case AttrType::Char: {
      std::vector<char> val(n);
      for (size_t i = 0; i < n; ++i) val[i] = one_char(leaves.items[i]);
      mark.check();
      _setCharAttr(holder, cname, val, *ind);
      return;
    }
    default: {  // String
      std::vector<CText> texts;
      texts.reserve(n);
      std::vector<const char*> val(n);
      for (size_t i = 0; i < n; ++i) {
        texts.emplace_back(leaves.items[i]);
        val[i] = texts.back().get();
      }
      mark.check();
      _setStrAttr(holder, cname, val, ind);
      return;
    }
  }
}

// values.tolist() for a NumPy array, values.toarray().tolist() for a SciPy
// sparse matrix, else values itself.
Ref plain_values(PyObject* values) {
  if (PyArray_Check(values)) return take(PyObject_CallMethod(values, "tolist", nullptr));
  Ref sp = module_global("_sp");
  Ref spmatrix = take(PyObject_GetAttrString(sp.get(), "spmatrix"));
  if (check(PyObject_IsInstance(values, spmatrix.get()))) {
    Ref dense = take(PyObject_CallMethod(values, "toarray", nullptr));
    return take(PyObject_CallMethod(dense.get(), "tolist", nullptr));
  }
  return Ref::borrow(values);
}

// A NumPy array (not a subclass: a masked array's values are not its data) of
// float64 with at least one dimension. Its values are read as they lie, in
// row-major order like the leaves of a nested list, without Python floats.
bool is_float64_array(PyObject* v) {
  return PyArray_CheckExact(v) && PyArray_NDIM(reinterpret_cast<PyArrayObject*>(v)) >= 1 &&
         PyArray_TYPE(reinterpret_cast<PyArrayObject*>(v)) == NPY_DOUBLE;
}

void write_float64_array(const Ref& holder, const char* cname, const std::vector<int>& ind, PyObject* values) {
  // C-contiguous, aligned, native byte order: a view when it already is one.
  Ref flat = take(PyArray_FROMANY(values, NPY_FLOAT64, 0, 0, NPY_ARRAY_CARRAY_RO));
  const Py_ssize_t n = PyArray_SIZE(reinterpret_cast<PyArrayObject*>(flat.get()));
  const Py_ssize_t expected = static_cast<Py_ssize_t>(ind.size());
  if (n != expected) raise_format(PyExc_ValueError, kCountMismatch, n, expected);
  check_rc(VLMsetdblattrlist(live_model(holder), cname, static_cast<int>(ind.size()), ind.data(),
                             array_data<double>(flat)));
}

bool is_scalar(PyObject* v) {
  if (PyList_Check(v) || PyTuple_Check(v)) return false;
  Ref np = module_global("_np");
  Ref answer = take(PyObject_CallMethod(np.get(), "isscalar", "O", v));
  return check(PyObject_IsTrue(answer.get())) != 0;
}

Ref list_of_one(PyObject* v) {
  Ref list = take(PyList_New(1));
  PyList_SET_ITEM(list.get(), 0, Py_NewRef(v));
  return list;
}

}  // namespace

PyObject* set_attr_not_exist(PyObject* attrname) noexcept {
  PyErr_Format(PyExc_AttributeError, kNotExist, attrname);
  return nullptr;
}

void raise_attr_not_exist(PyObject* attrname) {
  set_attr_not_exist(attrname);
  throw PyErrAlreadySet{};
}

AttrInfo _getAttrInfo(VLMmodel* model, const char* cname) {
  int type = -1, kind = -1, flag = 0;  // the flag (writable) is not used
  check_rc(VLMgetattrinfo(model, cname, &type, &kind, &flag));
  if (type < 0 || type > static_cast<int>(AttrType::Matrix) || kind < 0 || kind > static_cast<int>(AttrKind::PsdConstr))
    library_fault(cname);
  return AttrInfo{static_cast<AttrType>(type), static_cast<AttrKind>(kind)};
}

Ref _getAttr(const Ref& holder, PyObject* attrname, AttrKind kind, PyObject* objs) {
  Resolved r = resolve(holder, attrname, kind);
  if (!objs && (r.type == AttrType::Char || r.type == AttrType::Matrix)) raise_attr_not_exist(attrname);
  std::vector<int> ind;
  if (objs) ind = gather(holder, kind, objs);
  const std::vector<int>* pind = objs ? &ind : nullptr;
  const npy_intp n = objs ? static_cast<npy_intp>(ind.size()) : 1;
  const char* cname = r.cname;
  switch (r.type) {
    case AttrType::Int: {
      Ref arr = new_array(n, NPY_INT32);
      if (n) _getIntAttr(holder, cname, array_data<int>(arr), pind);
      return arr;
    }
    case AttrType::Double: {
      Ref arr = new_array(n, NPY_FLOAT64);
      if (n) _getDblAttr(holder, cname, array_data<double>(arr), pind);
      return arr;
    }
    case AttrType::Char: {
      std::vector<char> buf(ind.size());
      if (n) _getCharAttr(holder, cname, buf.data(), ind);
      std::vector<Ref> values;
      values.reserve(buf.size());
      for (char c : buf) values.push_back(char_bytes(c));
      return object_array(values);
    }
    case AttrType::String: {
      std::vector<Ref> values;
      if (n) values = _getStrAttr(holder, cname, pind);
      return object_array(values);
    }
    default: {  // Matrix
      std::vector<Ref> values;
      if (n) values = _getMatAttr(holder, cname, ind);
      return object_array(values);
    }
  }
}

namespace {

// _getAttrOne for a resolved request.
Ref get_one(const Ref& holder, const Resolved& r, PyObject* attrname, AttrKind kind, PyObject* item) {
  if (!item && (r.type == AttrType::Char || r.type == AttrType::Matrix)) raise_attr_not_exist(attrname);
  std::vector<int> ind;
  if (item) ind.push_back(item_index(holder, kind, item));
  const std::vector<int>* pind = item ? &ind : nullptr;
  const char* cname = r.cname;
  switch (r.type) {
    case AttrType::Int: {
      int v = 0;
      _getIntAttr(holder, cname, &v, pind);
      return int32_scalar(v);
    }
    case AttrType::Double: {
      double v = 0.0;
      _getDblAttr(holder, cname, &v, pind);
      return float64_scalar(v);
    }
    case AttrType::Char: {
      char c = 0;
      _getCharAttr(holder, cname, &c, ind);
      return char_bytes(c);
    }
    case AttrType::String:
      return std::move(_getStrAttr(holder, cname, pind).front());
    default:
      return std::move(_getMatAttr(holder, cname, ind).front());
  }
}

}  // namespace

Ref _getAttrOne(const Ref& holder, PyObject* attrname, AttrKind kind, PyObject* item) {
  return get_one(holder, resolve(holder, attrname, kind), attrname, kind, item);
}

PyObject* _getAttrOrMiss(const Ref& holder, PyObject* attrname, AttrKind kind, PyObject* item) {
  const int row = find_attr_row(attrname);
  if (row < 0) return set_attr_not_exist(attrname);
  return get_one(holder, resolve_row(holder, row, attrname, kind), attrname, kind, item).release();
}

void _setAttr(const Ref& holder, PyObject* attrname, AttrKind kind, PyObject* objs, PyObject* values) {
  Resolved r = resolve(holder, attrname, kind);
  if (!objs) {
    if (r.type == AttrType::Char || r.type == AttrType::Matrix) raise_attr_not_exist(attrname);
    Ref plain = plain_values(values);
    Ref list = list_of_one(plain.get());
    write(holder, r, nullptr, list.get());
    return;
  }
  const IndexMark mark(holder);
  const std::vector<int> ind = gather(holder, kind, objs);
  if (ind.empty()) return;
  if (r.type == AttrType::Double && is_float64_array(values)) {
    write_float64_array(holder, r.cname, ind, values);
    return;
  }
  Ref plain = plain_values(values);
  Ref list;
  if (plain.get() == values && is_scalar(values)) {  // one value for every item
    list = take(PyList_New(static_cast<Py_ssize_t>(ind.size())));
    for (size_t i = 0; i < ind.size(); ++i) PyList_SET_ITEM(list.get(), i, Py_NewRef(values));
  } else {
    list = take(PySequence_List(plain.get()));
  }
  write(holder, r, &ind, list.get(), mark);
}

void _setAttrOne(const Ref& holder, PyObject* attrname, AttrKind kind, PyObject* item, PyObject* value) {
  Resolved r = resolve(holder, attrname, kind);
  const IndexMark mark(holder);
  const std::vector<int> ind{item_index(holder, kind, item)};
  Ref list = list_of_one(value);
  write(holder, r, &ind, list.get(), mark);
}

}  // namespace velmorpy
