// What the matrix-shaped classes (MVar, MConstr, MLinExpr, MQuadExpr) share.
//
// Each object holds one NumPy array by reference in its one field (vararr_,
// constrarr_, linexprarr_, quadexprarr_): the four records have one layout,
// MatrixObject, and a row of kMatrixClasses tells the classes apart. The
// array is never copied on the way in (`new` keeps an ndarray, so a view
// shares its cells with the array it came from) and is an ndarray for every
// object the module makes; calling a class directly gives an object whose
// field is None, which every method refuses with TypeError.
#pragma once
#include <Python.h>

#include <string>

#include "attributes/attr_access.hpp"
#include "runtime/function.hpp"
#include "runtime/ref.hpp"

namespace velmorpy {

// The layout of the four records: the object header and the array field.
struct MatrixObject {
  PyObject_HEAD
  PyObject* array;  // an ndarray, or None for an object made by calling the class
};

// What sets the four classes apart.
struct MatrixClass {
  PyTypeObject* type;
  const char* tag;         // "<MVar {}>": the head of the text form
  const char* item_error;  // item() of an object that does not hold exactly one cell
  // The handle class of the cells of MVar and MConstr and its attribute kind
  // (the array-wide getAttr and setAttr); nullptr for the expression classes.
  PyTypeObject* handle_type;
  AttrKind kind;
  // The expression classes (null for the handle classes): a new empty cell,
  // the dispatcher of `+` (also `+=`) and the kernels of `*=`.
  Ref (*new_cell)();
  Ref (*add_o)(PyObject*, PyObject*);
  Ref (*mul_n)(PyObject*, double);
  Ref (*mul_a)(PyObject*, PyObject*);
};

// The row of the class `op` is an instance of (subclasses included), or nullptr.
const MatrixClass* matrix_class_of(PyObject* op);

// X.new(arr) of the class `type` (one of the four): a new object holding
// `arr` itself when it is an ndarray, else numpy.array(arr). Throws.
Ref matrix_new(PyTypeObject* type, PyObject* arr);
// The object's array (borrowed); TypeError for an object without one. Throws.
PyObject* matrix_array(PyObject* self);
// The shared members: shape, item(), getAttr and setAttr of the handle
// classes, sum. Throw.
Ref matrix_shape(PyObject* self);
Ref matrix_item(PyObject* self);
Ref matrix_getAttr(PyObject* self, PyObject* attrname);
void matrix_setAttr(PyObject* self, PyObject* attrname, PyObject* values);
// `result`.new(array.sum(axis=axis)): NumPy adds the cells with their own `+`.
Ref matrix_sum(PyObject* self, PyObject* axis, PyTypeObject* result);
// The expression classes: X.zeros(shape), a new empty expression in every
// cell; getValue(), a float64 array of the cells' values. Throw.
Ref matrix_zeros(PyTypeObject* type, PyObject* shape);
Ref matrix_getValue(PyObject* self);

// The slots every class shares; prepare_matrix_class fills them in the type.
// MVar and MConstr (`number` null): attribute reads fall back to getAttr and
// every attribute assignment goes to setAttr. MLinExpr and MQuadExpr: item
// assignment, and the in-place operators in `number`, the class's own table
// (the other number slots are inherited from Operand).
void prepare_matrix_class(PyTypeObject* type, const char* name, PyTypeObject* base, PyNumberMethods* number);

// Bodies of the member rows the classes share (their FunctionDef rows name them).
PyObject* matrix_shape_method(PyObject* self, const Args&);
PyObject* matrix_ndim_method(PyObject* self, const Args&);
PyObject* matrix_size_method(PyObject* self, const Args&);
PyObject* matrix_item_method(PyObject* self, const Args&);
PyObject* matrix_tolist_method(PyObject* self, const Args&);
PyObject* matrix_copy_method(PyObject* self, const Args&);
PyObject* matrix_getAttr_method(PyObject* self, const Args& a);
PyObject* matrix_setAttr_method(PyObject* self, const Args& a);
PyObject* matrix_array_priority(PyObject* self, const Args&);

// The rows MVar and MConstr share, with docstrings naming the class and its
// items; each class's table puts them in its own order. The object keeps the
// texts for as long as the rows are used.
class MatrixHandleRows {
 public:
  // cls "MVar", noun "variable", plural "variables", example "x", attr "UB",
  // shape_doc: the words of the shape property's docstring.
  MatrixHandleRows(const char* cls, const char* noun, const char* plural, const char* example, const char* attr,
                   const char* shape_words);
  FunctionDef getAttr() const;
  FunctionDef setAttr() const;
  FunctionDef shape() const;
  FunctionDef ndim() const;
  FunctionDef size() const;
  FunctionDef tolist() const;
  FunctionDef item() const;

 private:
  std::string getAttr_, setAttr_, shape_, ndim_, size_, tolist_, item_;
};

// The namespace of MLinExpr or MQuadExpr: the members they share, with
// docstrings naming the class and its cells, around the class's own bodies.
struct MatrixExprBodies {
  const char* cell;         // "LinExpr"
  const char* new_params;   // "linexprarr"
  Impl new_;                // the static new
  Impl clear;
  const char* clear_purpose;
  Impl sum;
  Impl zeros;
  const char* size_words;   // the words of the size property's docstring
};
void bind_matrix_expr_namespace(PyTypeObject* type, const MatrixExprBodies& b);
PyObject* matrix_getValue_method(PyObject* self, const Args&);

// A one-line property docstring ("Shape of MVar") in its layout.
std::string matrix_property_doc(const std::string& words);

}  // namespace velmorpy
