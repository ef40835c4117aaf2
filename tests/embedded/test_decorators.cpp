// The documented-member listing of a class.
#include <gtest/gtest.h>

#include <string>

#include "embedded.hpp"
#include "runtime/decorators.hpp"

namespace velmorpy {
namespace {

using testing::text;

// Defines the classes of `source` in a fresh namespace and returns class `name`.
Ref class_from(const char* source, const char* name) {
  Ref globals = Ref::steal(PyDict_New());
  PyDict_SetItemString(globals.get(), "__builtins__", PyEval_GetBuiltins());
  Ref done = Ref::steal(PyRun_String(source, Py_file_input, globals.get(), globals.get()));
  EXPECT_TRUE(done) << (PyErr_Print(), "");
  return Ref::borrow(PyDict_GetItemString(globals.get(), name));
}

const char kProbes[] =
    "class Raising:\n"
    "    def __init__(self, error):\n"
    "        self.error = error\n"
    "    def __getattr__(self, name):\n"
    "        raise self.error\n"
    "class Quiet:\n"
    "    def method(self):\n"
    "        'documented'\n"
    "    missing = Raising(AttributeError)\n"
    "class Loud(Quiet):\n"
    "    interrupted = Raising(KeyboardInterrupt)\n";

TEST(DocumentedFields, AMissingAttributeMeansUndocumented) {
  Ref cls = class_from(kProbes, "Quiet");
  Ref names = get_documented_fields(cls.get());
  ASSERT_TRUE(PyList_Check(names.get()));
  ASSERT_EQ(PyList_GET_SIZE(names.get()), 1);
  EXPECT_EQ(text(PyList_GET_ITEM(names.get(), 0)), "method");
}

TEST(DocumentedFields, OtherFailuresOfTheProbesPropagate) {
  Ref cls = class_from(kProbes, "Loud");
  EXPECT_THROW(get_documented_fields(cls.get()), PyErrAlreadySet);
  EXPECT_TRUE(PyErr_ExceptionMatches(PyExc_KeyboardInterrupt));
  PyErr_Clear();
}

}  // namespace
}  // namespace velmorpy
