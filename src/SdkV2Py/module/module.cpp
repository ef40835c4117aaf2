// The module's entry and start-up sequence.
#include <Python.h>

#include <cstdio>
#include <cstring>

#include "algebra/operand.hpp"
#include "attributes/attr_table.hpp"
#include "attributes/param_table.hpp"
#include "expressions/list.hpp"
#include "model/callback_tables.hpp"
#include "module/classes.hpp"
#include "module/module_functions.hpp"
#include "module/result_codes.hpp"
#include "module/vlm_constants.hpp"
#include "runtime/errors.hpp"
#include "runtime/function.hpp"
#include "runtime/holder.hpp"
#include "runtime/members.hpp"
#include "runtime/numpy.hpp"
#include "runtime/state.hpp"
#include "runtime/table_classes.hpp"
#include "runtime/unlocked.hpp"
#include "runtime/velmor_error.hpp"
#include "serialisation/pickling.hpp"

namespace velmorpy {

namespace {

// --- create step -------------------------------------------------------------

PyObject* module_create(PyObject* spec, PyModuleDef*) noexcept {
  const int64_t current = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (current < 0) return nullptr;
  ModuleState& st = state();
  if (st.interpreter_id < 0) {
    st.interpreter_id = current;
  } else if (st.interpreter_id != current) {
    PyErr_SetString(PyExc_ImportError,
                    "Interpreter change detected - this module can only be loaded into one interpreter per process.");
    return nullptr;
  }
  if (st.module) return Py_NewRef(st.module);
  return guarded([&] {
    Ref name = take(PyObject_GetAttrString(spec, "name"));
    Ref module = take(PyModule_NewObject(name.get()));
    PyObject* dict = PyModule_GetDict(module.get());
    static const char* const copied[][2] = {
        {"loader", "__loader__"},
        {"origin", "__file__"},
        {"parent", "__package__"},
        {"submodule_search_locations", "__path__"},
    };
    for (const auto& row : copied) {
      PyObject* value = PyObject_GetAttrString(spec, row[0]);
      if (!value) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw_error_set();
        PyErr_Clear();
        continue;
      }
      Ref hold = Ref::steal(value);
      if (value == Py_None && std::strcmp(row[1], "__path__") == 0) continue;
      check(PyDict_SetItemString(dict, row[1], value));
    }
    return module.release();
  });
}

// --- exec step ---------------------------------------------------------------

// The interpreter's version as 0xMMmmTTss from its leading numeric fields.
unsigned long runtime_version() {
  const char* v = Py_GetVersion();
  unsigned long result = 0;
  int shift = 24;
  for (int field = 0; field < 4 && shift >= 0; ++field, shift -= 8) {
    if (*v < '0' || *v > '9') break;
    unsigned long n = 0;
    while (*v >= '0' && *v <= '9') n = n * 10 + static_cast<unsigned long>(*v++ - '0');
    result |= (n & 0xff) << shift;
    if (*v != '.') break;
    ++v;
  }
  return result;
}

void phase_record(PyObject* module) {
  ModuleState& st = state();
  Py_XSETREF(st.module, Py_NewRef(module));
  Py_XSETREF(st.dict, Py_NewRef(PyModule_GetDict(module)));
  PyObject* builtins = PyImport_AddModule("builtins");  // borrowed
  if (!builtins) throw_error_set();
  Py_XSETREF(st.builtins, Py_NewRef(builtins));
  check(PyDict_SetItemString(st.dict, "__builtins__", builtins));
}

void phase_version_check() {
  const unsigned long v = runtime_version();
  const int major = static_cast<int>(v >> 24), minor = static_cast<int>((v >> 16) & 0xff);
  if (major == PY_MAJOR_VERSION && minor == PY_MINOR_VERSION) return;
  char message[200];
  std::snprintf(message, sizeof message, "compile time Python version %d.%d of module '%.100s' %s runtime version %d.%d",
                PY_MAJOR_VERSION, PY_MINOR_VERSION, "velmorpy", "does not match", major, minor);
  check(PyErr_WarnEx(nullptr, message, 1));
}

void phase_function_type() {
  check(ready_function_type());
  check(ready_holder_type());
  check(ready_listbuffer_type());
}

// The module is found as "velmorpy" also when its init entry was loaded under
// another name; an entry of that name that exists stays as it is.
void phase_registration() {
  Ref name = take(PyUnicode_InternFromString("velmorpy"));
  Ref existing = Ref::steal(PyImport_GetModule(name.get()));
  if (existing) return;
  if (PyErr_Occurred()) throw_error_set();
  check(PyObject_SetItem(PyImport_GetModuleDict(), name.get(), state().module));
}

// A failed start-up takes back the registration, so that a later import of
// "velmorpy" runs the start-up again instead of finding the half-made module.
void unregister(PyObject* module) noexcept {
  PyObject* modules = PyImport_GetModuleDict();
  PyObject* exc_type, *exc_value, *exc_tb;
  PyErr_Fetch(&exc_type, &exc_value, &exc_tb);
  PyObject* entry = PyMapping_GetItemString(modules, "velmorpy");
  if (entry == module) PyMapping_DelItemString(modules, "velmorpy");
  Py_XDECREF(entry);
  PyErr_Restore(exc_type, exc_value, exc_tb);
}

void phase_slots() {
  ModuleState& st = state();
  Py_XSETREF(st.default_env, Py_NewRef(Py_None));
  Py_XSETREF(st.callback_lock, Py_NewRef(Py_None));
}

void phase_types() { ready_types(); }

void import_as(const char* name, const char* global) {
  Ref module = take(PyImport_ImportModule(name));
  check(PyDict_SetItemString(state().dict, global, module.get()));
}

void phase_imports() {
  import_as("os", "os");
  import_as("inspect", "inspect");
  import_as("itertools", "itertools");
  import_as("ctypes", "ctypes");
  import_as("fnmatch", "fnmatch");
  import_as("numpy", "_np");
  check(import_numpy());
  {
    Ref from = take(Py_BuildValue("[s]", "sparse"));
    Ref scipy = take(PyImport_ImportModuleLevel("scipy", state().dict, nullptr, from.get(), 0));
    PyObject* sparse = PyObject_GetAttrString(scipy.get(), "sparse");
    if (!sparse) {
      if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw_error_set();
      PyErr_Clear();
      Ref package = take(PyObject_GetAttrString(scipy.get(), "__name__"));
      Ref full = take(PyUnicode_FromFormat("%U.sparse", package.get()));
      sparse = PyImport_GetModule(full.get());
      if (!sparse) {
        if (!PyErr_Occurred()) PyErr_SetString(PyExc_ImportError, "cannot import name 'sparse'");
        throw_error_set();
      }
    }
    Ref hold = Ref::steal(sparse);
    check(PyDict_SetItemString(state().dict, "_sp", sparse));
  }
  import_as("time", "time");
  import_as("pydoc", "pydoc");
  import_as("threading", "threading");
  import_as("traceback", "traceback");
  import_as("numbers", "numbers");
}

const char* const kAll[] = {
    "VLM",        "models",     "disposeDefaultEnv", "multidict", "paramHelp", "quicksum",   "read",
    "readParams", "resetParams", "setParam",         "system",    "writeParams", "version",  "VelmorError",
    "tuplelist",  "tupledict",  "Var",               "MVar",      "Constr",     "SOS",       "GenConstr",
    "MConstr",    "PsdVar",     "PsdConstr",         "LinExpr",   "QuadExpr",   "MLinExpr",  "MQuadExpr",
    "PsdExpr",    "TempConstr", "Column",            "Env",       "Model",
};

void phase_all() {
  Ref all = take(PyList_New(0));
  for (const char* name : kAll) {
    Ref s = take(PyUnicode_InternFromString(name));
    check(PyList_Append(all.get(), s.get()));
  }
  check(PyDict_SetItemString(state().dict, "__all__", all.get()));
}

void phase_callback_lock() {
  ModuleState& st = state();
  Py_XSETREF(st.default_env, Py_NewRef(Py_None));
  Ref threading = module_global("threading");
  Ref lock = take(PyObject_CallMethod(threading.get(), "Lock", nullptr));
  Py_XSETREF(st.callback_lock, lock.release());
}

void phase_velmorerror_namespace() { bind_velmorerror_namespace(); }

void phase_module_functions() { bind_module_functions(); }

void phase_array_priority() {
  Ref priority = take(PyLong_FromLong(1000));
  set_class_attr(&OperandType, "__array_priority__", priority.get());
}

void phase_class_namespaces() { bind_class_namespaces(); }

// The reconstructors that stored pickles name, as module globals.
void phase_reconstructors() { bind_reconstructors(); }

void phase_end() {
  Ref test = take(PyDict_New());
  check(PyDict_SetItemString(state().dict, "__test__", test.get()));
}

struct Phase {
  void (*run)();
  int line;  // reported in the "init velmorpy" traceback entry
};

// Phases from the module record on, in start-up order.
const Phase kPhases[] = {
    {phase_version_check, __LINE__},
    {phase_function_type, __LINE__},
    {phase_registration, __LINE__},
    {phase_slots, __LINE__},
    {phase_types, __LINE__},
    {phase_imports, __LINE__},
    {phase_all, __LINE__},
    {phase_callback_lock, __LINE__},
    {register_exit_hook, __LINE__},
    {phase_velmorerror_namespace, __LINE__},
    {phase_module_functions, __LINE__},
    {phase_array_priority, __LINE__},
    // The constants stage: the table classes, filled from their tables, then VLM.
    {make_table_classes, __LINE__},
    {build_attr_table, __LINE__},
    {build_param_table, __LINE__},
    {build_callback_tables, __LINE__},
    {make_vlm_class, __LINE__},
    {install_error_codes, __LINE__},
    {install_status_codes, __LINE__},
    {bind_vlm_instance, __LINE__},
    {phase_class_namespaces, __LINE__},
    {phase_reconstructors, __LINE__},
    {phase_end, __LINE__},
};

int module_exec(PyObject* module) noexcept {
  ModuleState& st = state();
  if (st.module) {
    if (st.module == module) return 0;
    PyErr_SetString(PyExc_RuntimeError,
                    "Module 'velmorpy' has already been imported. Re-initialisation is not supported.");
    return -1;
  }
  int failed_line = 0;
  int rc = guarded_int([&] {
    failed_line = __LINE__;
    phase_record(module);
    for (const Phase& phase : kPhases) {
      failed_line = phase.line;
      phase.run();
    }
    return 0;
  });
  if (rc == 0) return 0;
  // A failed start-up releases the module object, so a later import runs the
  // whole sequence again; what earlier phases made stays.
  if (st.dict) _PyTraceback_Add("init velmorpy", __FILE__, failed_line);
  unregister(module);
  Py_CLEAR(st.module);
  return -1;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_create, reinterpret_cast<void*>(module_create)},
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "velmorpy",
    nullptr,  // no docstring
    0,        // no per-module state: the module serves one interpreter per process
    nullptr,  // module functions are function objects made at start-up
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

}  // namespace velmorpy

extern "C" {
__attribute__((visibility("default"))) PyObject* PyInit_velmorpy() {
  return PyModuleDef_Init(&velmorpy::module_def);
}
__attribute__((visibility("default"))) PyObject* PyInit___init__() {
  return PyModuleDef_Init(&velmorpy::module_def);
}
}
