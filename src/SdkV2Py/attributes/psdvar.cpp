// PsdVar: its type object and what it adds to the handle family (__array_priority__, __rmul__).
#include "attributes/psdvar.hpp"

#include "expressions/psdexpr.hpp"
#include "runtime/errors.hpp"

namespace velmorpy {

namespace {

// Makes NumPy leave an operation with a PsdVar operand to the PsdVar.
PyObject* psdvar_array_priority(PyObject*, const Args&) { return PyFloat_FromDouble(1000.0); }

// other * self: the same product as self * other.
PyObject* psdvar_rmul_method(PyObject* self, const Args& a) {
  PyObject* product = psdvar_multiply(self, a[0]);
  if (!product) throw_error_set();
  return product;
}

}  // namespace

PyTypeObject PsdVarType = {PyVarObject_HEAD_INIT(nullptr, 0)};

// A PsdVar times a matrix, on either side, is a PsdExpr.
PyNumberMethods psdvar_as_number = [] {
  PyNumberMethods nb = {};
  nb.nb_multiply = slot(psdvar_multiply);
  return nb;
}();

const FunctionDef psdvar_members[] = {
    {"__rmul__", "self, other", psdvar_rmul_method, Kind::Method, nullptr, __LINE__},
    {"__array_priority__", "self", psdvar_array_priority, Kind::Constant, nullptr, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace velmorpy
