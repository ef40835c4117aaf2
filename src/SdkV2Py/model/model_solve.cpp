// Model.optimize, terminate, reset, message, read and write.
#include "model/model_solve.hpp"

#include <velmor.h>

#include "model/callback_bridge.hpp"
#include "model/model.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/holder.hpp"
#include "runtime/members.hpp"
#include "runtime/text.hpp"
#include "runtime/unlocked.hpp"

namespace velmorpy {

namespace {

// The callback lock is held for the whole turn: a solve started from a turn
// would wait for it forever as soon as it gave a turn of its own.
const char kOptimizeInCallback[] = "optimize cannot be called from a callback function";

// While the library runs, the holder is claimed: other threads are refused the
// model (changes, reads, dispose, a second optimize) until it returns.
PyObject* model_optimize(PyObject* self, const Args& a) {
  run_with_callback(self, a[0], VLMoptimize, kOptimizeInCallback);
  Py_RETURN_NONE;
}

PyObject* model_terminate(PyObject* self, const Args&) {
  require_turn(self);
  as_model(self)->terminate_ = 1;  // the bridge answers the library with the abort code at the end of the turn
  Py_RETURN_NONE;
}

PyObject* model_reset(PyObject* self, const Args& a) {
  const int32_t clearall = truncating_int(a[0]);
  check_rc(VLMreset(live_model(holder_of(self)), clearall));
  Py_RETURN_NONE;
}

// The library's answer is not reported.
PyObject* model_message(PyObject* self, const Args& a) {
  CText text(a[0]);
  VLMmsg(model_get_env(self), text.get());
  Py_RETURN_NONE;
}

// The library reads or writes the file with the interpreter lock released.
template <int (*file_access)(VLMmodel*, const char*)>
PyObject* model_file(PyObject* self, const Args& a) {
  CText filename(a[0]);
  check_rc(call_unlocked(
      holder_of(self), [&](VLMmodel* mdl) { return file_access(mdl, filename.get()); }, WhileClaimed::OthersRefused));
  Py_RETURN_NONE;
}

const char optimize_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            optimize(callback=None)\n"
    "\n"
    "        PURPOSE:\n"
    "            Optimize the model\n"
    "\n"
    "        ARGUMENTS:\n"
    "            callback: a function of two arguments, the model and the where-code, that the\n"
    "                      solver calls at its callback points; None for no callback. Context\n"
    "                      is passed in attributes of the model whose names begin with '_',\n"
    "                      the only attributes user code can add to a model.\n"
    "\n"
    "        EXAMPLE:\n"
    "            m.optimize()\n"
    "            print(m.Status, m.ObjVal)\n"
    "\n"
    "        NOTE:\n"
    "            After terminate() in a callback, optimize raises VelmorError with the code\n"
    "            VLM.Error.ABORT_CTRL_C.\n"
    "        ";

const char terminate_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            terminate()\n"
    "\n"
    "        PURPOSE:\n"
    "            Ask the solver to stop the optimization at the end of the current callback\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            def cb(model, where):\n"
    "                if where == VLM.Callback.MIPSOL:\n"
    "                    model.terminate()\n"
    "\n"
    "        NOTE:\n"
    "            Only valid inside a callback function.\n"
    "        ";

const char reset_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            reset(clearall=0)\n"
    "\n"
    "        PURPOSE:\n"
    "            Reset the model to the unsolved state\n"
    "\n"
    "        ARGUMENTS:\n"
    "            clearall: 0 clears only the solution; 1 clears all data related to the solution\n"
    "\n"
    "        EXAMPLE:\n"
    "            m.reset()\n"
    "            m.reset(1)\n"
    "        ";

const char message_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            message(message)\n"
    "\n"
    "        PURPOSE:\n"
    "            Write a message into the log of the model's environment\n"
    "\n"
    "        ARGUMENTS:\n"
    "            message: the text of the message\n"
    "\n"
    "        EXAMPLE:\n"
    "            m.message('Model built')\n"
    "        ";

const char read_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            read(filename)\n"
    "\n"
    "        PURPOSE:\n"
    "            Read data into the model from a file\n"
    "\n"
    "        ARGUMENTS:\n"
    "            filename: the name of the file; its suffix selects what is read, for example\n"
    "                      '.prm' parameter settings and '.mst' MIP starts\n"
    "\n"
    "        EXAMPLE:\n"
    "            m.read('settings.prm')\n"
    "            m.read('start.mst')\n"
    "\n"
    "        NOTE:\n"
    "            A new model from a model file comes from the module function read().\n"
    "        ";

const char write_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            write(filename)\n"
    "\n"
    "        PURPOSE:\n"
    "            Write the model, or data about it, to a file\n"
    "\n"
    "        ARGUMENTS:\n"
    "            filename: the name of the file; its suffix selects what is written: '.lp',\n"
    "                      '.mps' and '.qps' the model itself, '.sol' the solution, '.bas' the\n"
    "                      basis, '.prm' the parameter settings, '.mst' the MIP starts; a\n"
    "                      further '.gz' or '.bz2' selects compression\n"
    "\n"
    "        EXAMPLE:\n"
    "            m.write('diet.lp')\n"
    "            m.write('diet.sol')\n"
    "        ";

const FunctionDef model_solve_members[] = {
    {"optimize", "self, callback=None", model_optimize, Kind::Method, optimize_doc, __LINE__},
    {"terminate", "self", model_terminate, Kind::Method, terminate_doc, __LINE__},
    {"reset", "self, clearall=0", model_reset, Kind::Method, reset_doc, __LINE__},
    {"message", "self, message: str", model_message, Kind::Method, message_doc, __LINE__},
    {"read", "self, filename: str", model_file<VLMread>, Kind::Method, read_doc, __LINE__},
    {"write", "self, filename: str", model_file<VLMwrite>, Kind::Method, write_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

const MemberTable model_solve_table = {model_solve_members, __FILE__};

}  // namespace velmorpy
