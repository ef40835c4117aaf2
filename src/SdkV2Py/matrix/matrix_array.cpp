// The matrix-shaped classes' shared record: its slots, member bodies and documentation.
#include "matrix/matrix_array.hpp"

#include "runtime/numpy.hpp"

#include <string>
#include <vector>

#include "algebra/kernels.hpp"
#include "algebra/kinds.hpp"
#include "algebra/object_arrays.hpp"
#include "algebra/operand.hpp"
#include "attributes/constr.hpp"
#include "attributes/handle.hpp"
#include "attributes/names.hpp"
#include "attributes/var.hpp"
#include "expressions/linexpr.hpp"
#include "expressions/quadexpr.hpp"
#include "expressions/terms.hpp"
#include "matrix/mconstr.hpp"
#include "matrix/mlinexpr.hpp"
#include "matrix/mquadexpr.hpp"
#include "matrix/mvar.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/members.hpp"
#include "runtime/numbers.hpp"
#include "runtime/state.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

namespace {

static_assert(offsetof(MVarObject, vararr_) == offsetof(MatrixObject, array), "one layout");
static_assert(offsetof(MConstrObject, constrarr_) == offsetof(MatrixObject, array), "one layout");
static_assert(offsetof(MLinExprObject, linexprarr_) == offsetof(MatrixObject, array), "one layout");
static_assert(offsetof(MQuadExprObject, quadexprarr_) == offsetof(MatrixObject, array), "one layout");

Ref new_quadexpr() { return quadexpr_new(); }

// In the order of the operand kinds.
const MatrixClass kMatrixClasses[] = {
    {&MVarType, "MVar", "MVar contains more than 1 variable", &VarType, AttrKind::Var, nullptr, nullptr, nullptr,
     nullptr},
    {&MLinExprType, "MLinExpr", "MLinExpr contains more than 1 LinExpr", nullptr, AttrKind::Model, linexpr_new,
     ml_add_o, ml_mul_n, ml_mul_a},
    {&MQuadExprType, "MQuadExpr", "MQuadExpr contains more than 1 QuadExpr", nullptr, AttrKind::Model,
     new_quadexpr, mq_add_o, mq_mul_n, mq_mul_a},
    {&MConstrType, "MConstr", "MConstr contains more than 1 constraint", &ConstrType, AttrKind::Constr, nullptr,
     nullptr, nullptr, nullptr},
};

MatrixObject* record(PyObject* self) { return reinterpret_cast<MatrixObject*>(self); }
PyArrayObject* nd(PyObject* a) { return reinterpret_cast<PyArrayObject*>(a); }

// Every member is bound to one of the four classes, so the row exists.
const MatrixClass& row_of(PyObject* self) {
  const MatrixClass* row = matrix_class_of(self);
  if (!row) raise(PyExc_SystemError, "velmorpy: matrix method on a foreign object");
  return *row;
}

// A cell that numpy.array(x) turns into a zero-dimensional object array
// holding x itself: one of the module's own handles and expressions.
bool plain_cell(PyObject* x) {
  PyTypeObject* t = Py_TYPE(x);
  return t == &VarType || t == &ConstrType || t == &LinExprType || t == &QuadExprType;
}

// The holder of the model of the first cell in row-major order (NumPy's
// flat[0], also for an array that does not hold objects), which must be a
// handle of the class's kind; the attribute layer checks every other cell
// against it.
Ref first_cell_holder(const MatrixClass& row, PyObject* array) {
  PyArrayObject* a = nd(array);
  Ref first = take(PyArray_Scalar(PyArray_DATA(a), PyArray_DESCR(a), array));  // the cell at index (0, ..., 0)
  if (!PyObject_TypeCheck(first.get(), row.handle_type)) raise_cannot_convert(first.get(), row.handle_type->tp_name);
  return handle_holder(first.get());
}

Ref cell_list(const ObjectCells& cells) {
  Ref list = take(PyList_New(cells.size));
  for (Py_ssize_t k = 0; k < cells.size; ++k) PyList_SET_ITEM(list.get(), k, Py_NewRef(cells[k]));
  return list;
}

// --- slots -------------------------------------------------------------------------

// Calling a class directly ignores its arguments and gives an object without an array.
PyObject* matrix_new_slot(PyTypeObject* type, PyObject*, PyObject*) noexcept {
  PyObject* self = type->tp_alloc(type, 0);
  if (self) record(self)->array = Py_NewRef(Py_None);
  return self;
}

int matrix_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
  Py_VISIT(record(self)->array);
  return 0;
}

int matrix_clear(PyObject* self) noexcept {
  Py_CLEAR(record(self)->array);
  return 0;
}

void matrix_dealloc(PyObject* self) noexcept {
  PyObject_GC_UnTrack(self);
  (void)matrix_clear(self);
  Py_TYPE(self)->tp_free(self);
}

// "<MVar {}>".format(self.shape) + "\n" + str(array)
PyObject* matrix_str(PyObject* self) noexcept {
  return guarded([&] {
    const MatrixClass& row = row_of(self);
    Ref shape = Py_IS_TYPE(self, row.type) ? matrix_shape(self) : take(PyObject_GetAttrString(self, "shape"));
    Ref array = Ref::borrow(matrix_array(self));
    Ref text = take(PyObject_Str(array.get()));
    return PyUnicode_FromFormat("<%s %S>\n%U", row.tag, shape.get(), text.get());
  });
}

PyObject* matrix_repr(PyObject* self) noexcept {
  const MatrixClass* row = matrix_class_of(self);
  return repr_through_str(self, row ? row->type : Py_TYPE(self), matrix_str);
}

// X.new(array[key]): always an object of the class, zero-dimensional for one cell.
PyObject* matrix_subscript(PyObject* self, PyObject* key) noexcept {
  return guarded([&] {
    const MatrixClass& row = row_of(self);
    Ref array = Ref::borrow(matrix_array(self));
    PyObject* got = PyObject_GetItem(array.get(), key);
    if (!got) return got;  // IndexError ends an iteration: an expected miss, no throw
    Ref part = Ref::steal(got);
    if (!PyArray_Check(part.get()) && plain_cell(part.get())) part = zero_dim_array(part.get());
    return matrix_new(row.type, part.get()).release();
  });
}

// Iteration goes through item i of the sequence protocol: self[i], until
// NumPy's indexing raises IndexError. The classes have no length.
PyObject* matrix_sq_item(PyObject* self, Py_ssize_t i) noexcept {
  PyObject* key = PyLong_FromSsize_t(i);
  if (!key) return nullptr;
  PyObject* r = matrix_subscript(self, key);
  Py_DECREF(key);
  return r;
}

// MVar and MConstr: an attribute the ordinary look-up does not find is the
// solver attribute of that name for every cell. Names beginning with "__"
// are answered at once (NumPy and copy probe them), also for an empty object.
PyObject* matrix_getattro(PyObject* self, PyObject* name) noexcept {
  if (!PyUnicode_Check(name)) return PyObject_GenericGetAttr(self, name);
  PyObject* found = _PyObject_GenericGetAttrWithDict(self, name, nullptr, /*suppress=*/1);
  if (found || PyErr_Occurred()) return found;
  if (is_dunder(name)) return set_attr_not_exist(name);
  return guarded([&]() -> PyObject* {
    const MatrixClass& row = row_of(self);
    if (!Py_IS_TYPE(self, row.type)) return PyObject_CallMethodOneArg(self, VLM_STR("getAttr"), name);
    PyObject* array = matrix_array(self);
    // A name that is no attribute is an expected miss (hasattr): no throw.
    if (PyArray_SIZE(nd(array)) != 0 && find_attr_row(name) < 0) return set_attr_not_exist(name);
    return matrix_getAttr(self, name).release();
  });
}

// MVar and MConstr: every assignment writes the solver attribute of that
// name for every cell; deletion is the interpreter's.
int matrix_setattro(PyObject* self, PyObject* name, PyObject* value) noexcept {
  if (!value) return PyObject_GenericSetAttr(self, name, value);
  return guarded_int([&] {
    const MatrixClass& row = row_of(self);
    if (Py_IS_TYPE(self, row.type)) {
      matrix_setAttr(self, name, value);
    } else {
      Ref r = take(PyObject_CallMethodObjArgs(self, VLM_STR("setAttr"), name, value, nullptr));
    }
    return 0;
  });
}

// MLinExpr and MQuadExpr: array[key] = value, unchecked; no deletion.
int matrix_ass_subscript(PyObject* self, PyObject* key, PyObject* value) noexcept {
  if (!value) {
    PyErr_Format(PyExc_NotImplementedError, "Subscript deletion not supported by %.200s", Py_TYPE(self)->tp_name);
    return -1;
  }
  return guarded_int([&] {
    Ref array = Ref::borrow(matrix_array(self));
    return check(PyObject_SetItem(array.get(), key, value));
  });
}

// The in-place operators of MLinExpr and MQuadExpr return new objects: `+=`
// is `+`; `-=` is self.__iadd__(-other); `*=` takes a number or an array-like.
PyObject* matrix_iadd(PyObject* self, PyObject* other) noexcept {
  return guarded_holding(self, other, [&] { return row_of(self).add_o(self, other).release(); });
}

PyObject* matrix_isub(PyObject* self, PyObject* other) noexcept {
  return guarded_holding(self, other, [&] {
    const MatrixClass& row = row_of(self);
    Ref negated = negative(other);
    if (Py_IS_TYPE(self, row.type)) return row.add_o(self, negated.get()).release();
    return PyObject_CallMethodOneArg(self, VLM_STR("__iadd__"), negated.get());
  });
}

PyObject* matrix_imul(PyObject* self, PyObject* other) noexcept {
  return guarded_holding(self, other, [&] {
    const MatrixClass& row = row_of(self);
    if (is_number(other)) return row.mul_n(self, number_value(other)).release();
    if (is_arraylike(other)) return row.mul_a(self, other).release();
    raise_inplace_unsupported("*=", self, other);
  });
}

PyMappingMethods handle_matrix_as_mapping = {};
PyMappingMethods expr_matrix_as_mapping = {};
PySequenceMethods matrix_as_sequence = {};

}  // namespace

const MatrixClass* matrix_class_of(PyObject* op) {
  for (const MatrixClass& row : kMatrixClasses)
    if (PyObject_TypeCheck(op, row.type)) return &row;
  return nullptr;
}

Ref matrix_new(PyTypeObject* type, PyObject* arr) {
  Ref array = PyArray_Check(arr) ? Ref::borrow(arr) : numpy_array(arr);
  MatrixObject* self = PyObject_GC_New(MatrixObject, type);
  if (!self) throw_error_set();
  self->array = array.release();
  PyObject_GC_Track(reinterpret_cast<PyObject*>(self));
  return Ref::steal(reinterpret_cast<PyObject*>(self));
}

PyObject* matrix_array(PyObject* self) {
  PyObject* array = record(self)->array;
  if (!array || array == Py_None) raise_unset_field("numpy.ndarray");
  if (!PyArray_Check(array)) raise_cannot_convert(array, "numpy.ndarray");  // a state may put anything here
  return array;
}

Ref matrix_shape(PyObject* self) {
  PyArrayObject* a = nd(matrix_array(self));
  const int n = PyArray_NDIM(a);
  Ref shape = take(PyTuple_New(n));
  for (int i = 0; i < n; ++i) PyTuple_SET_ITEM(shape.get(), i, check(PyLong_FromSsize_t(PyArray_DIM(a, i))));
  return shape;
}

Ref matrix_item(PyObject* self) {
  const MatrixClass& row = row_of(self);
  PyArrayObject* a = nd(matrix_array(self));
  if (PyArray_SIZE(a) != 1) raise(PyExc_ValueError, row.item_error);
  // The one cell is at the start of the data, whatever the strides.
  return take(PyArray_Scalar(PyArray_DATA(a), PyArray_DESCR(a), reinterpret_cast<PyObject*>(a)));
}

Ref matrix_getAttr(PyObject* self, PyObject* attrname) {
  const MatrixClass& row = row_of(self);
  check_arg_type(attrname, &PyUnicode_Type, "attrname", false);
  Ref array = Ref::borrow(matrix_array(self));
  PyArrayObject* a = nd(array.get());
  if (PyArray_SIZE(a) == 0) {
    const Py_ssize_t none = 0;
    return new_object_array(1, &none);
  }
  std::vector<npy_intp> dims(PyArray_DIMS(a), PyArray_DIMS(a) + PyArray_NDIM(a));
  Ref holder = first_cell_holder(row, array.get());
  Ref items = cell_list(object_cells(array.get()));
  Ref values = _getAttr(holder, attrname, row.kind, items.get());
  PyArray_Dims shape = {dims.data(), static_cast<int>(dims.size())};
  return take(PyArray_Newshape(nd(values.get()), &shape, NPY_CORDER));
}

void matrix_setAttr(PyObject* self, PyObject* attrname, PyObject* values) {
  const MatrixClass& row = row_of(self);
  check_arg_type(attrname, &PyUnicode_Type, "attrname", false);
  Ref array = Ref::borrow(matrix_array(self));
  if (PyArray_SIZE(nd(array.get())) == 0) return;
  Ref holder = first_cell_holder(row, array.get());
  Ref items = cell_list(object_cells(array.get()));
  _setAttr(holder, attrname, row.kind, items.get(), values);
}

// The sum of one line of variables: the LinExpr that NumPy's fold
// ((x0 + x1) + x2) + ... gives, every coefficient 1.0, built at once.
Ref line_sum(PyObject* const* cells, npy_intp count, npy_intp step) {
  Ref made = linexpr_new();
  LinExprObject* e = as_linexpr(made.get());
  linexpr_reserve(e, count);
  for (npy_intp k = 0; k < count; ++k) linexpr_append_reserved(e, 1.0, cells[k * step]);
  linexpr_retrack(e);
  return made;
}

// MVar.sum(axis) without NumPy's object fold, where its result is known: the
// array is an exact C-contiguous one whose every cell is an exact Var (the
// fold then adds Vars and LinExprs with the module's own `+`), the axis is
// None or one int, and each sum has at least two terms (NumPy keeps a lone
// cell as it is and gives 0 for none). NumPy folds along the axis in index
// order, and over the whole of such an array in row-major order. Returns
// the result's array, or nothing where NumPy's sum is to be used. Throws.
Ref mvar_sum_of_vars(PyObject* array, PyObject* axis) {
  if (!PyArray_CheckExact(array) || !PyArray_IS_C_CONTIGUOUS(nd(array)) || PyArray_TYPE(nd(array)) != NPY_OBJECT)
    return Ref();
  if (axis != Py_None && !PyLong_CheckExact(axis)) return Ref();
  const int ndim = PyArray_NDIM(nd(array));
  const npy_intp size = PyArray_SIZE(nd(array));
  auto** cells = static_cast<PyObject**>(PyArray_DATA(nd(array)));
  for (npy_intp k = 0; k < size; ++k)
    if (!cells[k] || !Py_IS_TYPE(cells[k], &VarType)) return Ref();
  if (axis == Py_None) return size >= 2 ? line_sum(cells, size, 1) : Ref();
  int overflow = 0;
  long a = PyLong_AsLongAndOverflow(axis, &overflow);
  if (overflow || a < -ndim || a >= ndim) return Ref();  // NumPy's own error
  if (a < 0) a += ndim;
  const npy_intp* dims = PyArray_DIMS(nd(array));
  const npy_intp count = dims[a];
  if (count < 2 || size == 0) return Ref();
  // Cell (outer, inner) of the result sums the cells outer * count * inner
  // + k * inner + inner_index, k = 0 .. count - 1.
  npy_intp outer = 1, inner = 1;
  std::vector<npy_intp> out_dims;
  for (int d = 0; d < ndim; ++d) {
    if (d == a) continue;
    out_dims.push_back(dims[d]);
    (d < a ? outer : inner) *= dims[d];
  }
  Ref result = new_object_array(static_cast<int>(out_dims.size()), out_dims.data());
  for (npy_intp o = 0; o < outer; ++o)
    for (npy_intp i = 0; i < inner; ++i)
      put_cell(result, o * inner + i, line_sum(cells + o * count * inner + i, count, inner));
  return result;
}

Ref matrix_sum(PyObject* self, PyObject* axis, PyTypeObject* result) {
  Ref array = Ref::borrow(matrix_array(self));
  if (PyObject_TypeCheck(self, &MVarType)) {
    if (Ref total = mvar_sum_of_vars(array.get(), axis)) return matrix_new(result, total.get());
  }
  Ref cells = numpy_operand(array.get());  // the sum is NumPy's + over the cells, of a copy
  Ref sum = take(PyObject_GetAttr(cells.get(), VLM_STR("sum")));
  Ref args = take(PyTuple_New(0));
  Ref kwargs = take(Py_BuildValue("{sO}", "axis", axis));
  Ref total = take(PyObject_Call(sum.get(), args.get(), kwargs.get()));
  return matrix_new(result, total.get());
}

Ref matrix_zeros(PyTypeObject* type, PyObject* shape) {
  const MatrixClass* row = nullptr;
  for (const MatrixClass& r : kMatrixClasses)
    if (r.type == type) row = &r;
  if (!row || !row->new_cell) raise(PyExc_SystemError, "velmorpy: zeros of a class without expressions");
  int64_t cells = 0;
  Ref dims = checked_shape(shape, &cells);
  Ref np = module_global("_np");
  Ref array = take(PyObject_CallMethod(np.get(), "empty", "OO", dims.get(), reinterpret_cast<PyObject*>(&PyBaseObject_Type)));
  // A new array of ours, C-contiguous: its cells are written in place.
  const Py_ssize_t n = PyArray_SIZE(nd(array.get()));
  for (Py_ssize_t k = 0; k < n; ++k) put_cell(array, k, row->new_cell());
  return matrix_new(type, array.get());
}

Ref matrix_getValue(PyObject* self) {
  Ref array = Ref::borrow(matrix_array(self));
  PyArrayObject* a = nd(array.get());
  Ref values = take(PyArray_SimpleNew(PyArray_NDIM(a), PyArray_DIMS(a), NPY_FLOAT64));
  ObjectCells cells = object_cells(array.get());
  double* out = static_cast<double*>(PyArray_DATA(nd(values.get())));
  for (Py_ssize_t k = 0; k < cells.size; ++k) {
    PyObject* cell = cells[k];
    if (Py_IS_TYPE(cell, &LinExprType)) {
      out[k] = linexpr_value(linexpr_checked(cell));
    } else if (Py_IS_TYPE(cell, &QuadExprType)) {
      out[k] = quadexpr_value(quadexpr_checked(cell));
    } else {
      RecursionGuard level(" while reading the values of a matrix expression");  // a cell may lead back here
      Ref value = take(PyObject_CallMethodNoArgs(cell, VLM_STR("getValue")));
      out[k] = number_value(value.get());
    }
  }
  return values;
}

void prepare_matrix_class(PyTypeObject* type, const char* name, PyTypeObject* base, PyNumberMethods* number) {
  handle_matrix_as_mapping.mp_subscript = slot(matrix_subscript);
  expr_matrix_as_mapping.mp_subscript = slot(matrix_subscript);
  expr_matrix_as_mapping.mp_ass_subscript = slot(matrix_ass_subscript);
  matrix_as_sequence.sq_item = slot(matrix_sq_item);
  type->tp_name = name;
  type->tp_basicsize = sizeof(MatrixObject);
  type->tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC;
  type->tp_base = base;
  type->tp_new = slot(matrix_new_slot);
  type->tp_dealloc = slot(matrix_dealloc);
  type->tp_traverse = slot(matrix_traverse);
  type->tp_clear = slot(matrix_clear);
  type->tp_str = slot(matrix_str);
  type->tp_repr = slot(matrix_repr);
  type->tp_as_sequence = &matrix_as_sequence;
  if (number) {
    number->nb_inplace_add = slot(matrix_iadd);
    number->nb_inplace_subtract = slot(matrix_isub);
    number->nb_inplace_multiply = slot(matrix_imul);
    type->tp_as_number = number;
    type->tp_as_mapping = &expr_matrix_as_mapping;
  } else {
    type->tp_as_mapping = &handle_matrix_as_mapping;
    type->tp_getattro = slot(matrix_getattro);
    type->tp_setattro = slot(matrix_setattro);
  }
}

// --- member bodies ---------------------------------------------------------------------

PyObject* matrix_shape_method(PyObject* self, const Args&) { return matrix_shape(self).release(); }

PyObject* matrix_ndim_method(PyObject* self, const Args&) {
  return PyLong_FromLong(PyArray_NDIM(nd(matrix_array(self))));
}

PyObject* matrix_size_method(PyObject* self, const Args&) {
  return PyLong_FromSsize_t(PyArray_SIZE(nd(matrix_array(self))));
}

PyObject* matrix_item_method(PyObject* self, const Args&) { return matrix_item(self).release(); }

PyObject* matrix_tolist_method(PyObject* self, const Args&) {
  Ref array = Ref::borrow(matrix_array(self));
  return PyArray_ToList(nd(array.get()));
}

PyObject* matrix_copy_method(PyObject* self, const Args&) {
  const MatrixClass& row = row_of(self);
  Ref array = Ref::borrow(matrix_array(self));
  Ref copy = take(PyArray_NewCopy(nd(array.get()), NPY_CORDER));
  return matrix_new(row.type, copy.get()).release();
}

PyObject* matrix_getAttr_method(PyObject* self, const Args& a) { return matrix_getAttr(self, a[0]).release(); }

PyObject* matrix_setAttr_method(PyObject* self, const Args& a) {
  matrix_setAttr(self, a[0], a[1]);
  Py_RETURN_NONE;
}

PyObject* matrix_array_priority(PyObject*, const Args&) { return PyFloat_FromDouble(1000.0); }

PyObject* matrix_getValue_method(PyObject* self, const Args&) { return matrix_getValue(self).release(); }

std::string matrix_property_doc(const std::string& words) { return "\n        " + words + "\n        \n\n        "; }

MatrixHandleRows::MatrixHandleRows(const char* cls, const char* noun, const char* plural, const char* example,
                                   const char* attr, const char* shape_words) {
  const std::string c = cls, n = noun, p = plural, x = example, a = attr, none = "            None\n";
  const std::string handle = c.substr(1);  // "Var" of "MVar"
  getAttr_ = method_doc("getAttr(attrname)",
                        "Return the values of an attribute of every " + n + " of the " + c + ", as an\n"
                        "            array of its shape.",
                        "            attrname: the name of the attribute\n",
                        "values = " + x + ".getAttr('" + a + "')\n            values = " + x + "." + a);
  setAttr_ = method_doc("setAttr(attrname, attrvalues)", "Set the values of an attribute of every " + n + " of the " + c + ".",
                        "            attrname: the name of the attribute\n"
                        "            attrvalues: one value for all " + p + ", or an array of one value per\n"
                        "                        " + n + " (in row-major order)\n",
                        x + ".setAttr('" + a + "', 10.0)\n            " + x + "." + a + " = 10.0");
  tolist_ = method_doc("tolist()", "Return the " + p + " of the " + c + " as nested lists, one level per dimension.",
                       none, "li = " + x + ".tolist()");
  item_ = method_doc("item()", "Return the one " + handle + " of an " + c + " that holds exactly one " + n + ".", none,
                     "one = " + x + "[0].item()");
  shape_ = matrix_property_doc(shape_words);
  ndim_ = matrix_property_doc("Number of " + c + " dimensions");
  size_ = matrix_property_doc("Number of " + p + " contained in the " + c);
}

FunctionDef MatrixHandleRows::getAttr() const {
  return {"getAttr", "self, attrname: str", matrix_getAttr_method, Kind::Method, getAttr_.c_str(), __LINE__};
}
FunctionDef MatrixHandleRows::setAttr() const {
  return {"setAttr", "self, attrname: str, newvalues", matrix_setAttr_method, Kind::Method, setAttr_.c_str(), __LINE__};
}
FunctionDef MatrixHandleRows::shape() const {
  return {"shape", "self", matrix_shape_method, Kind::Constant, shape_.c_str(), __LINE__};
}
FunctionDef MatrixHandleRows::ndim() const {
  return {"ndim", "self", matrix_ndim_method, Kind::Constant, ndim_.c_str(), __LINE__};
}
FunctionDef MatrixHandleRows::size() const {
  return {"size", "self", matrix_size_method, Kind::Constant, size_.c_str(), __LINE__};
}
FunctionDef MatrixHandleRows::tolist() const {
  return {"tolist", "self", matrix_tolist_method, Kind::Method, tolist_.c_str(), __LINE__};
}
FunctionDef MatrixHandleRows::item() const {
  return {"item", "self", matrix_item_method, Kind::Method, item_.c_str(), __LINE__};
}

void bind_matrix_expr_namespace(PyTypeObject* type, const MatrixExprBodies& b) {
  const std::string cls = short_name(type), cell = b.cell, none = "            None\n";
  const std::string copy_doc = method_doc("copy()", "Return a new " + cls + " over a copy of the array, holding the same " +
                                                        cell + " objects.",
                                          none, "e2 = e.copy()");
  const std::string clear_doc = method_doc("clear()", b.clear_purpose, none, "e.clear()");
  const std::string value_doc = method_doc("getValue()",
                                           "Return the values of the expressions in the current solution, as a float\n"
                                           "            array of the " + cls + "'s shape.",
                                           none, "m.optimize()\n            print(e.getValue())");
  const std::string item_doc =
      method_doc("item()", "Return the one " + cell + " of an " + cls + " that holds exactly one expression.", none,
                 "expr = e[0, 1].item()",
                 "            The expression itself is returned, not a copy: changing it changes the " + cls + ".\n");
  const std::string sum_doc = method_doc("sum(axis=None)",
                                         "Return the sum of the expressions as an " + cls +
                                             ": over all of them, or along an\n            axis.",
                                         "            axis: None for the sum of all expressions, or the axis (or tuple "
                                         "of axes) to\n                  sum over\n",
                                         "total = e.sum()\n            rows = e.sum(axis=1)");
  const std::string zeros_doc = method_doc("zeros(shape)",
                                           "Make an " + cls + " of the given shape whose every cell holds a new empty " +
                                               cell + ".",
                                           "            shape: an integer, or a tuple of integers\n",
                                           "e = " + cls + ".zeros((2, 3))");
  const std::string ndim_doc = matrix_property_doc("Number of " + cls + " dimensions");
  const std::string shape_doc = matrix_property_doc("Shape of the " + cls);
  const std::string size_doc = matrix_property_doc(b.size_words);
  const FunctionDef members[] = {
      {"new", b.new_params, b.new_, Kind::Static, nullptr, __LINE__},
      {"copy", "self", matrix_copy_method, Kind::Method, copy_doc.c_str(), __LINE__},
      {"clear", "self", b.clear, Kind::Method, clear_doc.c_str(), __LINE__},
      {"getValue", "self", matrix_getValue_method, Kind::Method, value_doc.c_str(), __LINE__},
      {"item", "self", matrix_item_method, Kind::Method, item_doc.c_str(), __LINE__},
      {"ndim", "self", matrix_ndim_method, Kind::Constant, ndim_doc.c_str(), __LINE__},
      {"shape", "self", matrix_shape_method, Kind::Constant, shape_doc.c_str(), __LINE__},
      {"size", "self", matrix_size_method, Kind::Constant, size_doc.c_str(), __LINE__},
      {"sum", "self, axis=None", b.sum, Kind::Method, sum_doc.c_str(), __LINE__},
      {"zeros", "shape", b.zeros, Kind::Static, zeros_doc.c_str(), __LINE__},
      {"__array_priority__", "self", matrix_array_priority, Kind::Constant, nullptr, __LINE__},
      {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
  };
  bind_public_members(type, members, __FILE__);
}

}  // namespace velmorpy
