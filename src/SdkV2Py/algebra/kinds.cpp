#include "algebra/kinds.hpp"

#include "module/numpy.hpp"

#include "algebra/operand.hpp"
#include "attributes/var.hpp"
#include "expressions/linexpr.hpp"
#include "expressions/quadexpr.hpp"
#include "matrix/mlinexpr.hpp"
#include "matrix/mquadexpr.hpp"
#include "matrix/mvar.hpp"
#include "module/errors.hpp"
#include "module/numbers.hpp"
#include "module/state.hpp"
#include "module/strings.hpp"

namespace velmorpy {

namespace {

// The object has the attribute (looked up as getattr does). Only an
// AttributeError counts as absent; other errors propagate.
bool has_attr(PyObject* o, PyObject* name) {
  PyObject* value = nullptr;
  const int found = _PyObject_LookupAttr(o, name, &value);
  Py_XDECREF(value);
  return check(found) == 1;
}

}  // namespace

bool numpy_isscalar(PyObject* o) {
  if (PyArray_IsScalar(o, Generic)) return true;
  if (PyLong_CheckExact(o) || PyFloat_CheckExact(o) || PyComplex_CheckExact(o) || PyBool_Check(o) ||
      PyBytes_CheckExact(o) || PyUnicode_CheckExact(o) || PyMemoryView_Check(o))
    return true;
  return is_number(o);
}

bool is_sparse_matrix(PyObject* o) {
  if (PyArray_Check(o) || is_operand(o)) return false;
  Ref sp = module_global("_sp");
  Ref spmatrix = take(PyObject_GetAttr(sp.get(), VLM_STR("spmatrix")));
  return check(PyObject_IsInstance(o, spmatrix.get())) == 1;
}

bool is_arraylike(PyObject* o, bool sparse) {
  if (is_operand(o) || PyArray_IsScalar(o, Generic)) return false;
  if (PyArray_Check(o) || PyList_Check(o) || PyTuple_Check(o)) return true;
  // A dict subclass may be a sparse matrix (dok_matrix): only an exact dict is answered here.
  if (o == Py_None || PyUnicode_Check(o) || PyBytes_Check(o) || PyDict_CheckExact(o) || PyFloat_Check(o) ||
      PyLong_Check(o))
    return false;
  if (is_sparse_matrix(o)) return sparse;
  if (has_attr(o, VLM_STR("__array_priority__")) || has_attr(o, VLM_STR("__array__"))) return true;
  return PySequence_Check(o) && !numpy_isscalar(o);
}

OpKind operand_kind(PyObject* o, bool sparse) {
  PyTypeObject* t = Py_TYPE(o);
  if (t == &VarType) return OpKind::Var;
  if (t == &LinExprType) return OpKind::Lin;
  if (t == &QuadExprType) return OpKind::Quad;
  if (t == &MVarType) return OpKind::MVar;
  if (t == &MLinExprType) return OpKind::MLin;
  if (t == &MQuadExprType) return OpKind::MQuad;
  if (t == &PyFloat_Type || t == &PyLong_Type) return OpKind::Number;
  if (is_number(o)) return OpKind::Number;
  if (is_arraylike(o, sparse)) return OpKind::Array;
  if (is_var(o)) return OpKind::Var;
  if (is_linexpr(o)) return OpKind::Lin;
  if (is_quadexpr(o)) return OpKind::Quad;
  if (is_mvar(o)) return OpKind::MVar;
  if (is_mlinexpr(o)) return OpKind::MLin;
  if (is_mquadexpr(o)) return OpKind::MQuad;
  return OpKind::None;
}

const char* kind_letter(OpKind k) {
  switch (k) {
    case OpKind::Number: return "n";
    case OpKind::Array: return "a";
    case OpKind::Var: return "v";
    case OpKind::Lin: return "l";
    case OpKind::Quad: return "q";
    case OpKind::MVar: return "mv";
    case OpKind::MLin: return "ml";
    case OpKind::MQuad: return "mq";
    case OpKind::None: break;
  }
  return "o";
}

}  // namespace velmorpy
