// The module functions models and read.
#include "module/model_functions.hpp"

#include <velmor.h>

#include "attributes/default_env.hpp"
#include "attributes/env.hpp"
#include "model/model.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/model_registry.hpp"
#include "runtime/print.hpp"
#include "runtime/text.hpp"
#include "runtime/unlocked.hpp"

namespace velmorpy {

PyObject* models(PyObject*, const Args&) {
  std::vector<std::pair<Ref, Ref>> found = _models();
  if (found.empty()) {
    Ref text = take(PyUnicode_FromString("No models currently loaded"));
    print_text(text.get());
    Py_RETURN_NONE;
  }
  Ref header = take(PyUnicode_FromString("Currently loaded models:"));
  print_text(header.get());
  for (const auto& [name, model] : found) {
    Ref text = take(PyUnicode_FromFormat("%S : %S", name.get(), model.get()));
    print_text(text.get());
  }
  Py_RETURN_NONE;
}

PyObject* read(PyObject*, const Args& a) {
  PyObject* env = a[1];
  if (env != Py_None && !is_env(env)) raise_cannot_convert(env, EnvType.tp_name);
  Ref chosen = env == Py_None ? default_env(true) : Ref::borrow(env);
  CText filename(a[0]);
  // The file is read with the interpreter lock released, on a private copy of
  // the environment's parameters (the environment of an empty model made on
  // it): other threads may use the environment meanwhile, and reads from one
  // environment run side by side.
  VLMmodel* scratch = nullptr;
  check_rc(VLMnewmodel(env_handle(chosen.get()), &scratch, "", 0, nullptr, nullptr, nullptr, nullptr, nullptr));
  const Ref copy = make_model_holder(scratch);
  VLMmodel* handle = nullptr;
  check_rc(call_unlocked(copy, [&](VLMmodel* model) {
    return VLMreadmodel(VLMgetenv(model), filename.get(), &handle);
  }));
  return model_new(handle).release();
}

const char models_doc[] =
    "\n"
    "    SIGNATURE:\n"
    "        models()\n"
    "\n"
    "    PURPOSE:\n"
    "        Return all current instantiated models except those in the user's data structure\n"
    "\n"
    "    ARGUMENTS:\n"
    "        None\n"
    "\n"
    "    EXAMPLE:\n"
    "        models()\n"
    "\n"
    "    NOTE:\n"
    "        Prints each model bound to a global name of the calling module.\n"
    "    ";

const char read_doc[] =
    "\n"
    "    SIGNATURE:\n"
    "        read(filename, env=None)\n"
    "\n"
    "    PURPOSE:\n"
    "        Read a model from a file\n"
    "\n"
    "    ARGUMENTS:\n"
    "        filename: the name of the file. Its suffix tells the format: '.mps', '.lp',\n"
    "                  '.qps', '.cbf' or '.dat-s'; a compressed file carries a further\n"
    "                  suffix ('.gz', '.bz2')\n"
    "        env: the Environment of the new model; None for the default Environment\n"
    "\n"
    "    EXAMPLE:\n"
    "        m = read('afiro.mps')\n"
    "    ";

}  // namespace velmorpy
