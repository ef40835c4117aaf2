// MConstr: its methods, type object and namespace.
#include "matrix/mconstr.hpp"

#include "algebra/object_arrays.hpp"
#include "matrix/matrix_array.hpp"
#include "runtime/errors.hpp"
#include "runtime/function.hpp"
#include "runtime/members.hpp"

namespace velmorpy {

namespace {

PyObject* mconstr_fromlist(PyObject*, const Args& a) {
  Ref array = numpy_array(a[0]);
  return mconstr_new(array.get()).release();
}

}  // namespace

Ref mconstr_new(PyObject* arr) { return matrix_new(&MConstrType, arr); }

PyTypeObject MConstrType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_mconstr() { prepare_matrix_class(&MConstrType, "velmorpy.MConstr", nullptr, nullptr); }

void bind_mconstr_namespace() {
  const MatrixHandleRows shared("MConstr", "constraint", "constraints", "c", "RHS", "Shape of the MConstr");
  const FunctionDef members[] = {
      shared.getAttr(),
      shared.setAttr(),
      shared.shape(),
      shared.ndim(),
      shared.size(),
      {"_fromlist", "li", mconstr_fromlist, Kind::Static, nullptr, __LINE__},
      shared.tolist(),
      shared.item(),
      {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
  };
  bind_public_members(&MConstrType, members, __FILE__);
}

}  // namespace velmorpy
