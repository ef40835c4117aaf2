// The module functions version and system, and the table that binds them all.
#include "module/module_functions.hpp"

#include <velmor.h>

#include "algebra/quicksum.hpp"
#include "attributes/default_env.hpp"
#include "attributes/param_functions.hpp"
#include "containers/multidict.hpp"
#include "module/model_functions.hpp"
#include "runtime/errors.hpp"
#include "runtime/function.hpp"
#include "runtime/members.hpp"
#include "runtime/state.hpp"

namespace velmorpy {

namespace {

PyObject* version(PyObject*, const Args&) {
  int major = 0, minor = 0, technical = 0;
  check_rc(VLMversion(&major, &minor, &technical));
  return Py_BuildValue("(iii)", major, minor, technical);
}

// Returns the command's exit status, as os.system does.
PyObject* system(PyObject*, const Args& a) {
  Ref os = module_global("os");
  Ref fn = take(PyObject_GetAttrString(os.get(), "system"));
  Ref kwargs = take(PyDict_Copy(a[1]));
  return PyObject_Call(fn.get(), a[0], kwargs.get());
}

const char version_doc[] =
    "\n"
    "    SIGNATURE:\n"
    "        version()\n"
    "\n"
    "    PURPOSE:\n"
    "        Retrieve version numbers of Velmor. Method returns a tuple with 3 numbers:\n"
    "          - major version number\n"
    "          - minor version number\n"
    "          - technical version number\n"
    "\n"
    "    ARGUMENTS:\n"
    "        None\n"
    "\n"
    "    EXAMPLE:\n"
    "        print(version())\n"
    "    ";

const char system_doc[] =
    "\n"
    "    SIGNATURE:\n"
    "        system(command)\n"
    "\n"
    "    PURPOSE:\n"
    "        Start a process in shell to execute commands or scripts\n"
    "\n"
    "    ARGUMENTS:\n"
    "        command: the command line to run in a shell\n"
    "\n"
    "    EXAMPLE:\n"
    "        system('ls -l')\n"
    "\n"
    "    NOTE:\n"
    "        Returns the exit status of the command, as os.system does.\n"
    "    ";

// Binding order is fixed: models, disposeDefaultEnv, multidict, paramHelp,
// quicksum, read, version, readParams, resetParams, setParam, system, writeParams.
const FunctionDef module_functions[] = {
    {"models", "", models, Kind::Function, models_doc, __LINE__},
    {"disposeDefaultEnv", "", disposeDefaultEnv, Kind::Function, disposeDefaultEnv_doc, __LINE__},
    {"multidict", "d: dict", multidict, Kind::Function, multidict_doc, __LINE__},
    {"paramHelp", "name=None", paramHelp, Kind::Function, paramHelp_doc, __LINE__},
    {"quicksum", "li", quicksum, Kind::Function, quicksum_doc, __LINE__},
    {"read", "filename, env=None", read, Kind::Function, read_doc, __LINE__},
    {"version", "", version, Kind::Function, version_doc, __LINE__},
    {"readParams", "filename", readParams, Kind::Function, readParams_doc, __LINE__},
    {"resetParams", "", resetParams, Kind::Function, resetParams_doc, __LINE__},
    {"setParam", "name, value", setParam, Kind::Function, setParam_doc, __LINE__},
    {"system", "*args, **kwargs", system, Kind::Function, system_doc, __LINE__},
    {"writeParams", "filename", writeParams, Kind::Function, writeParams_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

void bind_module_functions() { bind_functions(module_functions, __FILE__); }

}  // namespace velmorpy
