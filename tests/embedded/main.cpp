// Starts an interpreter with velmorpy as a built-in module, imports it, then
// runs the tests.
#include <Python.h>
#include <gtest/gtest.h>

extern "C" PyObject* PyInit_velmorpy();

// The interpreter is never finalised, so what it holds at exit is not a leak;
// under AddressSanitizer the leak report is turned off for this program.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (PyImport_AppendInittab("velmorpy", PyInit_velmorpy) < 0) return 2;
  Py_Initialize();
  PyObject* module = PyImport_ImportModule("velmorpy");
  if (!module) {
    PyErr_Print();
    return 2;
  }
  const int rc = RUN_ALL_TESTS();
  Py_DECREF(module);
  return rc;
}
