// Model.computeIIS.
#include "model/model_iis.hpp"

#include <velmor.h>

#include "model/callback_bridge.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"

namespace velmorpy {

namespace {

// As for optimize: the turn's callback lock would never be free for the
// computation's own turns.
const char kIISInCallback[] = "computeIIS cannot be called from a callback function";

// The library computes with the interpreter lock released and the model
// claimed, like a solve; a callback takes turns in its MIP solves.
PyObject* model_computeIIS(PyObject* self, const Args& a) {
  run_with_callback(self, a[0], VLMcomputeIIS, kIISInCallback);
  Py_RETURN_NONE;
}

const char computeIIS_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            computeIIS(callback=None)\n"
    "\n"
    "        PURPOSE:\n"
    "            Compute an IIS(Irreducible Inconsistent Subsystem). IIS is a subset of variable\n"
    "            bounds and constraint bounds that is infeasible, and becomes feasible once any\n"
    "            one of its members is removed. See the IIS attributes (IISVar, IISConstr) for\n"
    "            details.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            callback: Set up a user defined callback function.\n"
    "\n"
    "        NOTE:\n"
    "            The cardinality of the subsystem is supposed to be small. The problem is\n"
    "            supposed to be infeasible.\n"
    "        ";

const FunctionDef model_iis_members[] = {
    {"computeIIS", "self, callback=None", model_computeIIS, Kind::Method, computeIIS_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

const MemberTable model_iis_table = {model_iis_members, __FILE__};

}  // namespace velmorpy
