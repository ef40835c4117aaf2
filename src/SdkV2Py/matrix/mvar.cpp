// MVar: its methods, documentation and type object.
#include "matrix/mvar.hpp"

#include "runtime/numpy.hpp"

#include <string>

#include "algebra/object_arrays.hpp"
#include "algebra/operand.hpp"
#include "attributes/var.hpp"
#include "matrix/matrix_array.hpp"
#include "matrix/mlinexpr.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/function.hpp"
#include "runtime/members.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

namespace {

PyArrayObject* array_of(PyObject* self) { return reinterpret_cast<PyArrayObject*>(matrix_array(self)); }

// --- methods -----------------------------------------------------------------------

PyObject* mvar_T(PyObject* self, const Args&) {
  Ref t = take(PyArray_Transpose(array_of(self), nullptr));
  return mvar_new(t.get()).release();
}

PyObject* mvar_transpose(PyObject* self, const Args& a) { return mvar_T(self, a); }

PyObject* mvar_diagonal(PyObject* self, const Args&) {
  Ref d = take(PyArray_Diagonal(array_of(self), 0, 0, 1));
  return mvar_new(d.get()).release();
}

// Slots: the keyword-only order, then the tuple of the positional arguments.
PyObject* mvar_reshape(PyObject* self, const Args& a) {
  Ref array = Ref::borrow(matrix_array(self));
  Ref reshape = take(PyObject_GetAttr(array.get(), VLM_STR("reshape")));
  Ref kwargs = take(Py_BuildValue("{sO}", "order", a[0]));
  Ref shaped = take(PyObject_Call(reshape.get(), a[1], kwargs.get()));
  return mvar_new(shaped.get()).release();
}

PyObject* mvar_fromlist(PyObject*, const Args& a) {
  Ref array = numpy_array(a[0]);
  return mvar_new(array.get()).release();
}

PyObject* mvar_fromvar(PyObject*, const Args& a) {
  check_arg_type(a[0], &VarType, "var", false);
  const Py_ssize_t one = 1;
  Ref array = new_object_array(1, &one);
  put_cell(array, 0, Ref::borrow(a[0]));
  return mvar_new(array.get()).release();
}

PyObject* mvar_sum(PyObject* self, const Args& a) { return matrix_sum(self, a[0], &MLinExprType).release(); }

// --- documentation -------------------------------------------------------------------

const char copy_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            copy()\n"
    "\n"
    "        PURPOSE:\n"
    "            Return a new MVar over a copy of the array, holding the same variables.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            y = x.copy()\n"
    "        ";

const char diagonal_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            diagonal()\n"
    "\n"
    "        PURPOSE:\n"
    "            Return the main diagonal of a two-dimensional MVar as an MVar.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            d = x.diagonal()\n"
    "        ";

const char transpose_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            transpose()\n"
    "\n"
    "        PURPOSE:\n"
    "            Return the MVar with its axes reversed.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            xt = x.transpose()\n"
    "        ";

const char reshape_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            reshape(*shape)\n"
    "\n"
    "        PURPOSE:\n"
    "            Return the variables of the MVar in a new shape.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            shape: the new shape, as integers or as one tuple\n"
    "            order: 'C' to read and place the cells in row-major order, 'F' in column-major\n"
    "                   order\n"
    "\n"
    "        EXAMPLE:\n"
    "            y = x.reshape(2, 3)\n"
    "            y = x.reshape((6,), order='F')\n"
    "        ";

const char fromlist_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            fromlist(li)\n"
    "\n"
    "        PURPOSE:\n"
    "            Make an MVar from a (nested) list of variables.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            li: a list of Var, or a list of such lists\n"
    "\n"
    "        EXAMPLE:\n"
    "            x = MVar.fromlist([x0, x1, x2])\n"
    "        ";

const char fromvar_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            fromvar(var)\n"
    "\n"
    "        PURPOSE:\n"
    "            Make an MVar of shape (1,) from one variable.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            var: a Var\n"
    "\n"
    "        EXAMPLE:\n"
    "            x = MVar.fromvar(m.addVar())\n"
    "        ";

const char sum_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            sum(axis=None)\n"
    "\n"
    "        PURPOSE:\n"
    "            Return the sum of the variables of the MVar as an MLinExpr: over all of them,\n"
    "            or along an axis.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            axis: None for the sum of all variables, or the axis (or tuple of axes) to sum\n"
    "                  over\n"
    "\n"
    "        EXAMPLE:\n"
    "            total = x.sum()\n"
    "            rows = x.sum(axis=1)\n"
    "        ";

}  // namespace

Ref mvar_new(PyObject* arr) { return matrix_new(&MVarType, arr); }

PyTypeObject MVarType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_mvar() { prepare_matrix_class(&MVarType, "velmorpy.MVar", &OperandType, nullptr); }

void bind_mvar_namespace() {
  const MatrixHandleRows shared("MVar", "variable", "variables", "x", "UB", "Shape of MVar");
  const std::string t_doc = matrix_property_doc("Transpose of the MVar");
  const FunctionDef members[] = {
      shared.getAttr(),
      shared.setAttr(),
      shared.shape(),
      shared.ndim(),
      shared.size(),
      {"T", "self", mvar_T, Kind::Constant, t_doc.c_str(), __LINE__},
      {"copy", "self", matrix_copy_method, Kind::Method, copy_doc, __LINE__},
      {"diagonal", "self", mvar_diagonal, Kind::Method, diagonal_doc, __LINE__},
      {"transpose", "self", mvar_transpose, Kind::Method, transpose_doc, __LINE__},
      {"reshape", "self, *shape, order='C'", mvar_reshape, Kind::Method, reshape_doc, __LINE__},
      {"fromlist", "li", mvar_fromlist, Kind::Static, fromlist_doc, __LINE__},
      {"fromvar", "var: Var", mvar_fromvar, Kind::Static, fromvar_doc, __LINE__},
      shared.tolist(),
      {"sum", "self, axis=None", mvar_sum, Kind::Method, sum_doc, __LINE__},
      shared.item(),
      {"__array_priority__", "self", matrix_array_priority, Kind::Constant, nullptr, __LINE__},
      {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
  };
  bind_public_members(&MVarType, members, __FILE__);
}

}  // namespace velmorpy
