// Env: its slots, methods and type object.
#include "attributes/env.hpp"

#include "attributes/set_param.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/finalize.hpp"
#include "runtime/function.hpp"
#include "runtime/holder.hpp"
#include "runtime/log_lines.hpp"
#include "runtime/members.hpp"
#include "runtime/strings.hpp"
#include "runtime/text.hpp"
#include "runtime/types.hpp"

namespace velmorpy {

namespace {

EnvObject* as_env(PyObject* op) { return reinterpret_cast<EnvObject*>(op); }

PyObject* env_new(PyTypeObject* type, PyObject*, PyObject*) noexcept {
  PyObject* self = type->tp_alloc(type, 0);
  if (!self) return nullptr;
  as_env(self)->holder_ = nullptr;
  as_env(self)->empty_ = 0;
  return self;
}


// Applies `params` in dict order through this environment's setParam, so each
// entry is matched, reported and checked as a direct call would be.
void apply_params(PyObject* self, PyObject* params) {
  Ref set_param = take(PyObject_GetAttr(self, VLM_STR("setParam")));
  const Py_ssize_t size = PyDict_GET_SIZE(params);
  Py_ssize_t pos = 0;
  PyObject *key, *value;
  while (PyDict_Next(params, &pos, &key, &value)) {
    Ref k = Ref::borrow(key), v = Ref::borrow(value);  // the call may change the dict
    take(PyObject_CallFunctionObjArgs(set_param.get(), k.get(), v.get(), nullptr));
    if (PyDict_GET_SIZE(params) != size) raise(PyExc_RuntimeError, "dictionary changed size during iteration");
  }
}

int env_init(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
  return guarded_int([&] {
    Args a;
    if (unpack_init(&EnvType, args, kwargs, a) < 0) throw_error_set();
    EnvObject* env = as_env(self);
    env->empty_ = truncating_int(a[1]);
    // A second __init__ on a live environment frees the old one first.
    if (env->holder_) {
      dispose_holder(env->holder_);
      Py_CLEAR(env->holder_);
    }
    VLMenv* handle = nullptr;
    int rc;
    if (as_bool(a[1])) {
      rc = VLMemptyenv(&handle);
    } else {
      CText logfile(a[0]);
      rc = VLMloadenv(&handle, logfile.get());
    }
    check_rc(rc);
    show_log_in_stdout(handle);
    env->holder_ = make_env_holder(handle).release();
    if (a[2] != Py_None) apply_params(self, a[2]);
    return 0;
  });
}

// Frees the environment at the latest here, also when a subclass's dispose did not.
void env_dealloc(PyObject* op) noexcept {
  if (PyObject_CallFinalizerFromDealloc(op) < 0) return;  // resurrected by __del__
  EnvObject* env = as_env(op);
  dispose_holder_unraisable(env->holder_, "velmorpy.Env.__dealloc__");
  Py_CLEAR(env->holder_);
  Py_TYPE(op)->tp_free(op);
}

void env_finalize(PyObject* self) noexcept { call_dispose_unraisable(self, "velmorpy.Env.__del__"); }

// --- methods ---------------------------------------------------------------

PyObject* env_start(PyObject* self, const Args&) {
  check_rc(VLMstartenv(env_handle(self)));
  Py_RETURN_NONE;
}

PyObject* env_resetParam(PyObject* self, const Args&) {
  check_rc(VLMresetparams(env_handle(self)));
  Py_RETURN_NONE;
}

PyObject* env_setParam(PyObject* self, const Args& a) {
  // Held: printing runs Python code, which may re-initialise this Env.
  return Py_NewRef(_setParam(env_holder(self), a[0], a[1]) ? Py_True : Py_False);
}

PyObject* env_writeParams(PyObject* self, const Args& a) {
  CText filename(a[0]);
  check_rc(VLMwriteparams(env_handle(self), filename.get()));
  Py_RETURN_NONE;
}

PyObject* env_dispose(PyObject* self, const Args&) {
  if (as_env(self)->holder_) dispose_holder(as_env(self)->holder_);
  Py_RETURN_NONE;
}

const char start_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            start()\n"
    "\n"
    "        PURPOSE:\n"
    "            Start an Environment. An Environment created empty must be started before it can be used.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            env = Env(empty=True)\n"
    "            env.start()\n"
    "        ";

const char resetParam_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            resetParam()\n"
    "\n"
    "        PURPOSE:\n"
    "            Reset all parameter to default values\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            env.resetParam()\n"
    "        ";

const char setParam_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            setParam(paramname, paramvalue)\n"
    "\n"
    "        PURPOSE:\n"
    "            Set the value of a parameter\n"
    "\n"
    "        ARGUMENTS:\n"
    "            paramname: the name of the parameter, in any case; the wildcards '*' and '?'\n"
    "                       select the one parameter they match\n"
    "            paramvalue: the new value; 'default' (in any case) restores the default value\n"
    "\n"
    "        EXAMPLE:\n"
    "            env.setParam(\"MaxTime\", 10)\n"
    "            env.setParam(\"MaxTi*\", 10)\n"
    "            env.setParam(\"MaxTime\", \"default\")\n"
    "\n"
    "        NOTE:\n"
    "            Returns True when a parameter was set, False when the name matches no\n"
    "            parameter or several.\n"
    "        ";

const char writeParams_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            writeParams(filename)\n"
    "\n"
    "        PURPOSE:\n"
    "            Write parameter settings to a file\n"
    "\n"
    "        ARGUMENTS:\n"
    "            filename: the name of the parameter file\n"
    "\n"
    "        EXAMPLE:\n"
    "            env.writeParams('params.prm')\n"
    "        ";

const char dispose_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            dispose()\n"
    "\n"
    "        PURPOSE:\n"
    "            Release the resources associated with the Environment.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            env.dispose()\n"
    "        ";

const FunctionDef env_members[] = {
    {"start", "self", env_start, Kind::Method, start_doc, __LINE__},
    {"resetParam", "self", env_resetParam, Kind::Method, resetParam_doc, __LINE__},
    {"setParam", "self, paramname, newvalue", env_setParam, Kind::Method, setParam_doc, __LINE__},
    {"writeParams", "self, filename", env_writeParams, Kind::Method, writeParams_doc, __LINE__},
    {"dispose", "self", env_dispose, Kind::Method, dispose_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

const char env_init_params[] = "logfilename: str = '', empty=False, params: dict = None";

const char env_init_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            __init__(logfilename='', empty=False)\n"
    "\n"
    "        PURPOSE:\n"
    "            Construct an Environment\n"
    "\n"
    "        ARGUMENTS:\n"
    "            logfilename: the name of the log file; '' for no log file\n"
    "            empty: True makes an empty Environment, which start() starts\n"
    "            params: a dict of parameter names and values to set\n"
    "\n"
    "        EXAMPLE:\n"
    "            env = Env('solve.log')\n"
    "        ";

VLMenv* env_handle(PyObject* env) { return live_env(env_holder(env)); }

Ref env_holder(PyObject* env) { return Ref::borrow(as_env(env)->holder_); }

PyTypeObject EnvType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_env() {
  EnvType.tp_name = "velmorpy.Env";
  EnvType.tp_basicsize = sizeof(EnvObject);
  EnvType.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE;
  EnvType.tp_new = slot(env_new);
  EnvType.tp_init = slot(env_init);
  EnvType.tp_dealloc = slot(env_dealloc);
  EnvType.tp_finalize = slot(env_finalize);
}

void bind_env_namespace() {
  bind_public_members(&EnvType, env_members, __FILE__);
}

}  // namespace velmorpy
