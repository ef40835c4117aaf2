// Parameters of a live environment: ParamClass bound to an Env's or a model's
// holder, _setParam and _getDefault, and the module-level parameter functions
// acting on the default environment.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "attributes/default_env.hpp"
#include "attributes/env.hpp"
#include "attributes/param_class.hpp"
#include "attributes/param_functions.hpp"
#include "attributes/set_param.hpp"
#include "embedded.hpp"
#include "runtime/error_type.hpp"
#include "runtime/holder.hpp"
#include "runtime/state.hpp"

namespace velmorpy {
namespace {

using testing::captured_stdout;
using testing::str;
using testing::text;

PyObject* type_object(PyTypeObject* t) { return reinterpret_cast<PyObject*>(t); }
PyObject* int_type() { return type_object(&PyLong_Type); }
PyObject* float_type() { return type_object(&PyFloat_Type); }
Ref num(double v) { return Ref::steal(PyFloat_FromDouble(v)); }
Ref integer(long v) { return Ref::steal(PyLong_FromLong(v)); }

// repr() of a result, or "<ExceptionClass>" ("<VelmorError code>") for the
// pending error, which is cleared.
std::string outcome(PyObject* result) {
  if (result) {
    Ref hold = Ref::steal(result);
    return text(Ref::steal(PyObject_Repr(result)).get());
  }
  PyObject *type, *exc, *tb;
  PyErr_Fetch(&type, &exc, &tb);
  if (!type) return "<no error set>";
  PyErr_NormalizeException(&type, &exc, &tb);
  std::string out = std::string("<") + reinterpret_cast<PyTypeObject*>(type)->tp_name;
  if (exc && PyObject_TypeCheck(exc, &VelmorErrorType))
    out += " " + std::to_string(reinterpret_cast<VelmorErrorObject*>(exc)->errno_);
  Py_XDECREF(type);
  Py_XDECREF(exc);
  Py_XDECREF(tb);
  return out + ">";
}

std::string get(PyObject* p, const char* name) { return outcome(PyObject_GetAttrString(p, name)); }

std::string set(PyObject* p, const char* name, PyObject* value) {
  return PyObject_SetAttrString(p, name, value) == 0 ? "ok" : outcome(nullptr);
}

template <class... A>
std::string call(const char* name, A... args) {
  Ref fn = module_global(name);
  return outcome(PyObject_CallFunctionObjArgs(fn.get(), args..., nullptr));
}

std::string call_method(PyObject* obj, const char* name) { return outcome(PyObject_CallMethod(obj, name, nullptr)); }

// The library code a C++ call throws, 0 when it returns; Python errors are "-1000000".
template <class F>
int code_of(F&& body) {
  try {
    body();
  } catch (const VlmCodeError& e) {
    return e.code;
  } catch (const PyErrAlreadySet&) {
    PyErr_Clear();
    return -1000000;
  }
  return 0;
}

Ref new_env() { return Ref::steal(PyObject_CallNoArgs(type_object(&EnvType))); }

std::string file_text(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// --- ParamClass on an Env ------------------------------------------------------

TEST(ParamClassOnEnv, ReadsCurrentValuesByTheParameterType) {
  Ref env = new_env();
  ASSERT_TRUE(env);
  Ref p = paramclass_new(env_holder(env.get()));
  EXPECT_EQ(Py_TYPE(p.get()), &ParamClassType);
  EXPECT_EQ(get(p.get(), "MaxTime"), "1e+20");
  EXPECT_EQ(get(p.get(), "Method"), "-1");
  std::string out = captured_stdout([&] {
    EXPECT_TRUE(_setParam(env_holder(env.get()), str("maxtime").get(), integer(10).get()));
    EXPECT_TRUE(_setParam(env_holder(env.get()), str("method").get(), num(2.9).get()));
  });
  EXPECT_EQ(out, "Set parameter MaxTime to value 10\nSet parameter Method to value 2.9\n");
  EXPECT_EQ(get(p.get(), "MaxTime"), "10.0");
  EXPECT_EQ(get(p.get(), "maxtime"), "10.0");
  EXPECT_EQ(get(p.get(), "Method"), "2");                // truncated toward zero
  EXPECT_EQ(get(p.get(), "MaxTi*"), "10.0");             // a pattern meaning one parameter
  out = captured_stdout([&] {
    EXPECT_EQ(get(p.get(), "NoSuch"), "<AttributeError>");
    EXPECT_EQ(get(p.get(), "MIP/Gap*"), "<AttributeError>");
  });
  EXPECT_EQ(out, "Matching parameters: ['MIP/GapAbs', 'MIP/GapRel']\n");
}

TEST(ParamClassOnEnv, AssignmentSetsAndPrints) {
  Ref env = new_env();
  Ref p = paramclass_new(env_holder(env.get()));
  std::string out = captured_stdout([&] {
    EXPECT_EQ(set(p.get(), "MaxTime", integer(3).get()), "ok");
    EXPECT_EQ(set(p.get(), "NoSuch", integer(3).get()), "ok");     // only printed
    EXPECT_EQ(set(p.get(), "Method", str("DEFAULT").get()), "ok");
    EXPECT_EQ(set(p.get(), "Method", integer(9).get()), "<velmorpy.VelmorError -4000>");
    EXPECT_EQ(set(p.get(), "Method", str("x").get()), "<ValueError>");
  });
  EXPECT_EQ(out,
            "Set parameter MaxTime to value 3\n"
            "No parameters matching 'NoSuch' found\n"
            "Set parameter Method to value -1\n"
            "Set parameter Method to value 9\n"
            "Set parameter Method to value x\n");
  EXPECT_EQ(get(p.get(), "MaxTime"), "3.0");
  EXPECT_EQ(get(p.get(), "Method"), "-1");
}

TEST(ParamClassOnEnv, OutlivingItsEnvironmentRaises) {
  Ref env = new_env();
  Ref p = paramclass_new(env_holder(env.get()));
  EXPECT_EQ(call_method(env.get(), "dispose"), "None");
  std::string out = captured_stdout([&] {
    EXPECT_EQ(get(p.get(), "MaxTime"), "<velmorpy.VelmorError -3>");
    EXPECT_EQ(set(p.get(), "MaxTime", integer(1).get()), "<velmorpy.VelmorError -3>");
    EXPECT_EQ(set(p.get(), "NoSuch", integer(1).get()), "<velmorpy.VelmorError -3>");
  });
  EXPECT_EQ(out, "");
  // Dropping the Env itself: the holder it leaves behind stays dead.
  Ref env2 = new_env();
  Ref p2 = paramclass_new(env_holder(env2.get()));
  env2.reset();
  EXPECT_EQ(get(p2.get(), "Method"), "<velmorpy.VelmorError -3>");
}

TEST(ParamClassOnEnv, InternalGetters) {
  Ref env = new_env();
  Ref p = paramclass_new(env_holder(env.get()));
  EXPECT_EQ(outcome(paramclass_getIntParam(p.get(), str("Method").get()).release()), "-1");
  EXPECT_EQ(outcome(paramclass_getDblParam(p.get(), str("MIP/GapAbs").get()).release()),
            get(p.get(), "mip_gapabs"));
  // The library has no text parameters, and refuses a call of the wrong type.
  EXPECT_EQ(code_of([&] { paramclass_getStrParam(p.get(), str("MaxTime").get()); }), -4001);
  EXPECT_EQ(code_of([&] { paramclass_getIntParam(p.get(), str("MaxTime").get()); }), -4001);
  Ref with_nul = Ref::steal(PyUnicode_FromStringAndSize("a\0b", 3));
  EXPECT_EQ(code_of([&] { paramclass_getDblParam(p.get(), with_nul.get()); }), -1000000);
}

// --- a model's own environment ------------------------------------------------

TEST(ParamClassOnModel, ReachesTheModelsEnvironment) {
  VLMenv* env = nullptr;
  ASSERT_EQ(VLMemptyenv(&env), 0);
  VLMmodel* model = nullptr;
  ASSERT_EQ(VLMnewmodel(env, &model, "m", 0, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  VLMfreeenv(env);  // the model keeps its own copy of the parameters
  Ref holder = make_model_holder(model);
  Ref p = paramclass_new(holder);
  std::string out = captured_stdout([&] { EXPECT_EQ(set(p.get(), "MaxTime", integer(7).get()), "ok"); });
  EXPECT_EQ(out, "Set parameter MaxTime to value 7\n");
  double value = 0;
  ASSERT_EQ(VLMgetdblparam(VLMgetenv(model), "MaxTime", &value), 0);
  EXPECT_EQ(value, 7.0);
  EXPECT_EQ(get(p.get(), "MaxTime"), "7.0");
  dispose_holder(holder.get());
  EXPECT_EQ(get(p.get(), "MaxTime"), "<velmorpy.VelmorError -3>");
  EXPECT_EQ(code_of([&] { _setParam(holder, str("MaxTime").get(), integer(1).get()); }), -3);
}

// --- _getDefault and _setParam -------------------------------------------------

TEST(SetParam, DefaultsByType) {
  Ref env = new_env();
  Ref holder = env_holder(env.get());
  EXPECT_EQ(outcome(_getDefault(holder, str("Method").get(), int_type()).release()), "-1");
  EXPECT_EQ(outcome(_getDefault(holder, str("MaxTime").get(), float_type()).release()), "1e+20");
  // Any other type asks for a text default, which this library has for no parameter.
  EXPECT_EQ(code_of([&] { _getDefault(holder, str("MaxTime").get(), type_object(&PyUnicode_Type)); }), -4001);
  EXPECT_EQ(code_of([&] { _getDefault(holder, str("NoSuch").get(), int_type()); }), -4001);
  EXPECT_EQ(code_of([&] { _getDefault(Ref(), str("Method").get(), int_type()); }), -3);
}

TEST(SetParam, DeadOrMissingHolderRefusesBeforePrinting) {
  Ref dead = make_dead_holder();
  std::string out = captured_stdout([&] {
    EXPECT_EQ(code_of([&] { _setParam(dead, str("MaxTime").get(), integer(1).get()); }), -3);
    EXPECT_EQ(code_of([&] { _setParam(Ref(), str("NoSuch").get(), integer(1).get()); }), -3);
  });
  EXPECT_EQ(out, "");
}

// --- module functions on the default environment ------------------------------

class DefaultEnv : public ::testing::Test {
 protected:
  void SetUp() override {
    // ctest runs the tests of this program side by side: one file per test.
    file_ = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".prm";
    env_ = default_env(true);
    ASSERT_TRUE(env_);
    p_ = paramclass_new(env_holder(env_.get()));
  }
  void TearDown() override {
    EXPECT_EQ(call("disposeDefaultEnv"), "None");
    std::remove(file_.c_str());
  }
  Ref env_, p_;
  std::string file_;
};

TEST_F(DefaultEnv, SetParamPrintsOncePerTarget) {
  ASSERT_EQ(param_targets(false).size(), 1u);
  std::string out = captured_stdout([&] {
    EXPECT_EQ(call("setParam", str("MaxTime").get(), integer(6).get()), "None");
    EXPECT_EQ(call("setParam", str("NoSuch").get(), integer(6).get()), "None");
    EXPECT_EQ(call("setParam", str("mip/gap*").get(), integer(6).get()), "None");
  });
  EXPECT_EQ(out,
            "Set parameter MaxTime to value 6\n"
            "No parameters matching 'NoSuch' found\n"
            "Matching parameters: ['MIP/GapAbs', 'MIP/GapRel']\n"
            "No parameters matching 'mip/gap*' found\n");
  EXPECT_EQ(get(p_.get(), "MaxTime"), "6.0");
  out = captured_stdout(
      [&] { EXPECT_EQ(call("setParam", str("Method").get(), integer(8).get()), "<velmorpy.VelmorError -4000>"); });
  EXPECT_EQ(out, "Set parameter Method to value 8\n");
}

TEST_F(DefaultEnv, ParameterFileRoundTrip) {
  captured_stdout([&] {
    EXPECT_EQ(call("setParam", str("MaxTime").get(), integer(6).get()), "None");
    EXPECT_EQ(call("setParam", str("Method").get(), num(1.7).get()), "None");
  });
  EXPECT_EQ(call("writeParams", str(file_.c_str()).get()), "None");
  EXPECT_EQ(file_text(file_), "# Velmor parameter file\nMethod 1\nMaxTime 6\n");
  EXPECT_EQ(call("resetParams"), "None");
  EXPECT_EQ(get(p_.get(), "MaxTime"), "1e+20");
  EXPECT_EQ(get(p_.get(), "Method"), "-1");
  EXPECT_EQ(call("readParams", str(file_.c_str()).get()), "None");
  EXPECT_EQ(get(p_.get(), "MaxTime"), "6.0");
  EXPECT_EQ(get(p_.get(), "Method"), "1");
  // The environment's own writer gives the same file.
  std::remove(file_.c_str());
  EXPECT_EQ(outcome(PyObject_CallMethod(env_.get(), "writeParams", "s", file_.c_str())), "None");
  EXPECT_EQ(file_text(file_), "# Velmor parameter file\nMethod 1\nMaxTime 6\n");
}

TEST_F(DefaultEnv, FileFailures) {
  EXPECT_EQ(call("readParams", str("no_such_dir/none.prm").get()), "<velmorpy.VelmorError -1001>");
  EXPECT_EQ(call("writeParams", str("no_such_dir/out.prm").get()), "<velmorpy.VelmorError -1002>");
  EXPECT_EQ(call("readParams", integer(5).get()), "<TypeError>");
  EXPECT_EQ(call("writeParams", integer(5).get()), "<TypeError>");
  {
    std::ofstream bad(file_);
    bad << "MaxTime soon\n";
  }
  captured_stdout([&] { call("setParam", str("MaxTime").get(), integer(2).get()); });
  EXPECT_EQ(call("readParams", str(file_.c_str()).get()), "<velmorpy.VelmorError -1100>");
  EXPECT_EQ(get(p_.get(), "MaxTime"), "2.0");  // a malformed file changes nothing
}

// A default environment disposed behind the slot's back is refused, never used.
TEST_F(DefaultEnv, DisposedDefaultEnvironmentRaises) {
  EXPECT_EQ(call_method(env_.get(), "dispose"), "None");
  std::string out = captured_stdout([&] {
    EXPECT_EQ(call("setParam", str("MaxTime").get(), integer(1).get()), "<velmorpy.VelmorError -3>");
    EXPECT_EQ(call("resetParams"), "<velmorpy.VelmorError -3>");
    EXPECT_EQ(call("readParams", str(file_.c_str()).get()), "<velmorpy.VelmorError -3>");
    EXPECT_EQ(call("writeParams", str(file_.c_str()).get()), "<velmorpy.VelmorError -3>");
  });
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace velmorpy
