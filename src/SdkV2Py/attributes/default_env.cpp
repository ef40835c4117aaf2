// The default environment: made when first used, and disposeDefaultEnv.
#include "attributes/default_env.hpp"

#include "attributes/env.hpp"
#include "runtime/errors.hpp"
#include "runtime/state.hpp"
#include "runtime/strings.hpp"

namespace velmorpy {

Ref default_env(bool create) {
  ModuleState& st = state();
  if (st.default_env && st.default_env != Py_None) return Ref::borrow(st.default_env);
  if (!create) return Ref::borrow(Py_None);
  Ref env = take(PyObject_CallNoArgs(reinterpret_cast<PyObject*>(&EnvType)));
  Py_XSETREF(st.default_env, Py_NewRef(env.get()));
  return env;
}

PyObject* disposeDefaultEnv(PyObject*, const Args&) {
  Ref env = default_env(false);
  if (env.get() != Py_None) take(PyObject_CallMethodNoArgs(env.get(), VLM_STR("dispose")));
  Py_XSETREF(state().default_env, Py_NewRef(Py_None));
  Py_RETURN_NONE;
}

const char disposeDefaultEnv_doc[] =
    "\n"
    "    SIGNATURE:\n"
    "        disposeDefaultEnv()\n"
    "\n"
    "    PURPOSE:\n"
    "        Releases the resources associated with the default Environment.\n"
    "\n"
    "    ARGUMENTS:\n"
    "        None\n"
    "\n"
    "    EXAMPLE:\n"
    "        disposeDefaultEnv()\n"
    "\n"
    "    NOTE:\n"
    "        The default Environment is created again automatically when it is needed after disposal.\n"
    "    ";

}  // namespace velmorpy
