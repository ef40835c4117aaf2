#include "matrix/model_matrix.hpp"

#include "matrix/mvar.hpp"
#include "model/model_vars.hpp"
#include "module/errors.hpp"
#include "module/function.hpp"
#include "module/state.hpp"
#include "module/strings.hpp"

namespace velmorpy {

namespace {

// One variable per cell of `shape`, added with one library call and named
// from the cells' index tuples (numpy.ndindex, row-major order).
PyObject* model_addMVar(PyObject* self, const Args& a) {
  PyObject* shape = a[0];
  Ref np = module_global("_np");
  Ref keys = take(PyObject_CallMethodOneArg(np.get(), VLM_STR("ndindex"), shape));
  Ref handles = model_addVars(self, shape, keys.get(), VarBatch{a[1], a[2], a[3], a[4], a[5]});
  return mvar_new(handles.get()).release();
}

const char addMVar_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            addMVar(shape, lb=0.0, ub=float('inf'), obj=0.0, vtype='C', name='')\n"
    "\n"
    "        PURPOSE:\n"
    "            Add an array of variables to the model and return it as an MVar.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            shape: the shape of the array: an integer for a vector, a tuple for a matrix\n"
    "                   or more dimensions\n"
    "            lb: the lower bounds: one value for all variables, or an array of one value\n"
    "                per variable (in row-major order)\n"
    "            ub: the upper bounds, likewise\n"
    "            obj: the objective coefficients, likewise\n"
    "            vtype: the variable types, likewise: VLM.CONTINUOUS, VLM.BINARY, VLM.INTEGER,\n"
    "                   VLM.SEMICONT or VLM.SEMIINT\n"
    "            name: the base name of the variables, each named with its index appended\n"
    "                  (x[0,1]); or an array of one name per variable; '' or None for no names\n"
    "\n"
    "        EXAMPLE:\n"
    "            x = m.addMVar(3, name='x')\n"
    "            X = m.addMVar((2, 3), lb=-1.0, vtype=VLM.INTEGER)\n"
    "        ";

const FunctionDef model_matrix_members[] = {
    {"addMVar", "self, shape, lb=0.0, ub=VLM.INFINITY, obj=0.0, vtype=VLM.CONTINUOUS, name=''", model_addMVar,
     Kind::Method, addMVar_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

const MemberTable model_matrix_table = {model_matrix_members, __FILE__};

}  // namespace velmorpy
