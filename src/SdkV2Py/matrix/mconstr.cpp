#include "matrix/mconstr.hpp"

#include "algebra/object_arrays.hpp"
#include "matrix/matrix_array.hpp"
#include "module/errors.hpp"
#include "module/function.hpp"
#include "module/members.hpp"

namespace velmorpy {

namespace {

PyObject* mconstr_fromlist(PyObject*, const Args& a) {
  Ref array = numpy_array(a[0]);
  return mconstr_new(array.get()).release();
}

const char getAttr_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getAttr(attrname)\n"
    "\n"
    "        PURPOSE:\n"
    "            Return the values of an attribute of every constraint of the MConstr, as an\n"
    "            array of its shape.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            attrname: the name of the attribute\n"
    "\n"
    "        EXAMPLE:\n"
    "            rhs = c.getAttr('RHS')\n"
    "            duals = c.Pi\n"
    "        ";

const char setAttr_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            setAttr(attrname, attrvalues)\n"
    "\n"
    "        PURPOSE:\n"
    "            Set the values of an attribute of every constraint of the MConstr.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            attrname: the name of the attribute\n"
    "            attrvalues: one value for all constraints, or an array of one value per\n"
    "                        constraint (in row-major order)\n"
    "\n"
    "        EXAMPLE:\n"
    "            c.setAttr('RHS', [1.0, 2.0])\n"
    "            c.rhs = 0.0\n"
    "        ";

const char tolist_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            tolist()\n"
    "\n"
    "        PURPOSE:\n"
    "            Return the constraints of the MConstr as nested lists, one level per dimension.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            li = c.tolist()\n"
    "        ";

const char item_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            item()\n"
    "\n"
    "        PURPOSE:\n"
    "            Return the one Constr of an MConstr that holds exactly one constraint.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            r = c[0].item()\n"
    "        ";

const FunctionDef mconstr_members[] = {
    {"getAttr", "self, attrname: str", matrix_getAttr_method, Kind::Method, getAttr_doc, __LINE__},
    {"setAttr", "self, attrname: str, newvalues", matrix_setAttr_method, Kind::Method, setAttr_doc, __LINE__},
    {"shape", "self", matrix_shape_method, Kind::Constant, VLM_PROPERTY_DOC("Shape of the MConstr"), __LINE__},
    {"ndim", "self", matrix_ndim_method, Kind::Constant, VLM_PROPERTY_DOC("Number of MConstr dimensions"),
     __LINE__},
    {"size", "self", matrix_size_method, Kind::Constant,
     VLM_PROPERTY_DOC("Number of constraints contained in the MConstr"), __LINE__},
    {"_fromlist", "li", mconstr_fromlist, Kind::Static, nullptr, __LINE__},
    {"tolist", "self", matrix_tolist_method, Kind::Method, tolist_doc, __LINE__},
    {"item", "self", matrix_item_method, Kind::Method, item_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

Ref mconstr_new(PyObject* arr) { return matrix_new(&MConstrType, arr); }

PyTypeObject MConstrType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_mconstr() { prepare_matrix_class(&MConstrType, "velmorpy.MConstr", nullptr, nullptr); }

void bind_mconstr_namespace() { bind_public_members(&MConstrType, mconstr_members, __FILE__); }

}  // namespace velmorpy
