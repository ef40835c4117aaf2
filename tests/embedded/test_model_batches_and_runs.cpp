// What Python cannot reach yet: _addVars called from C++ with a shape and an
// iterator of keys, and the busy state of a model during an unlocked library
// call as a callback turn sees it (the turn runs on the thread that made the
// call, while the holder is claimed).
#include <gtest/gtest.h>

#include <string>

#include "embedded.hpp"
#include "model/model.hpp"
#include "model/model_vars.hpp"
#include "runtime/holder.hpp"

namespace velmorpy {
namespace {

using testing::run_code;

class ModelCode : public ::testing::Test {
 protected:
  void SetUp() override {
    globals_ = Ref::steal(PyDict_New());
    PyDict_SetItemString(globals_.get(), "__builtins__", PyEval_GetBuiltins());
    ASSERT_EQ(run("import numpy as np\nimport threading\nimport velmorpy\nm = velmorpy.Model('m')\n"), "");
    model_ = Ref::borrow(PyDict_GetItemString(globals_.get(), "m"));
  }
  void TearDown() override {
    run("m.dispose()\n");
    globals_.reset();
  }

  std::string run(const char* code) { return run_code(globals_.get(), code); }
  Ref eval(const char* expr) {
    return Ref::steal(PyRun_String(expr, Py_eval_input, globals_.get(), globals_.get()));
  }
  PyObject* holder() { return as_model(model_.get())->holder_; }

  // _addVars(shape, keys, ...) with the data given as Python expressions; the
  // result (or the error text) is bound to `out`.
  std::string add_vars(const char* shape, const char* keys, const char* lb, const char* name) {
    Ref s = eval(shape), k = eval(keys), l = eval(lb), n = eval(name);
    if (!s || !k || !l || !n) return "bad test input";
    VarBatch data = VarBatch::defaults();
    data.lb = l.get();
    data.name = n.get();
    try {
      Ref out = model_addVars(model_.get(), s.get(), k.get(), data);
      PyDict_SetItemString(globals_.get(), "out", out.get());
      return "";
    } catch (const PyErrAlreadySet&) {
      return testing::pending_error();
    }
  }

  Ref globals_;
  Ref model_;
};

TEST_F(ModelCode, AddVarsFillsAnArrayOfTheShapeInRowMajorOrder) {
  ASSERT_EQ(run("m.addVar()\n"), "");
  ASSERT_EQ(add_vars("(2, 3)", "np.ndindex((2, 3))", "np.asfortranarray(np.arange(6.0).reshape(2, 3))", "'x'"), "");
  EXPECT_EQ(run("assert isinstance(out, np.ndarray) and out.shape == (2, 3) and out.dtype == object\n"
                "assert [v.index for v in out.flat] == [1, 2, 3, 4, 5, 6]\n"
                "assert m.getVars()[1:] == list(out.flat)\n"
                "assert [v.VarName for v in out.flat] == ['x[0,0]', 'x[0,1]', 'x[0,2]', 'x[1,0]', 'x[1,1]', 'x[1,2]']\n"
                "assert [v.LB for v in out.flat] == [0.0, 1.0, 2.0, 3.0, 4.0, 5.0]\n"
                "assert {(v.UB, v.Obj, v.VType) for v in out.flat} == {(1e20, 0.0, b'C')}\n"),
            "");
  ASSERT_EQ(add_vars("4", "iter([])", "None", "''"), "");  // keys are not read without a name
  EXPECT_EQ(run("assert out.shape == (4,) and m.NumVars == 11\n"), "");
}

TEST_F(ModelCode, AddVarsRefusalsAddNothing) {
  EXPECT_EQ(add_vars("()", "iter([])", "None", "''"), "ValueError: empty shape");
  // A key iterator that runs out before the last variable.
  EXPECT_EQ(add_vars("3", "iter([(0,), (1,)])", "None", "'x'"), "StopIteration: ");
  EXPECT_EQ(add_vars("(2, 2)", "np.ndindex((2, 2))", "[1.0, 2.0, 3.0]", "None"),
            "ValueError: lb doesn't have enough elements");
  EXPECT_EQ(run("assert m.NumVars == 0 and m.getVars() == []\n"), "");
}

// A callback turn runs on the thread inside the unlocked call: it may read
// the model (and write its file), while a solve of any model and disposal are
// refused; other threads are refused everything.
TEST_F(ModelCode, ABusyModelAsACallbackTurnSeesIt) {
  ASSERT_EQ(run("x = m.addVars(2, name='x')[0]\nother = velmorpy.Model()\n"), "");
  {
    HolderClaim claim(Ref::borrow(holder()), WhileClaimed::OthersRefused);
    EXPECT_TRUE(in_unlocked_call());
    EXPECT_EQ(run("m.optimize()"), "RuntimeError: optimize cannot be called from a callback function");
    EXPECT_EQ(run("other.optimize()"), "RuntimeError: optimize cannot be called from a callback function");
    EXPECT_EQ(run("assert m.NumVars == 2 and x.VarName == 'x[0]' and m.getAttr('LB', [x]) == [0.0]\n"), "");
    const std::string busy_text =
        "velmorpy.VelmorError: The model is in use by a solve or a file access running on it";
    EXPECT_EQ(run("m.dispose()"), busy_text);
    EXPECT_EQ(run("m.__init__()"), busy_text);  // a new model would dispose of this one
    EXPECT_EQ(run("seen = []\n"
                  "def probe():\n"
                  "    for f in (lambda: m.NumVars, lambda: x.LB, m.optimize, lambda: m.addVars(1), m.reset,\n"
                  "              lambda: m.setParam('MaxTime', 1), lambda: m.Params.MaxTime, m.copy):\n"
                  "        try:\n"
                  "            f()\n"
                  "        except velmorpy.VelmorError as e:\n"
                  "            seen.append(e.errno)\n"
                  "t = threading.Thread(target=probe)\n"
                  "t.start()\n"
                  "t.join()\n"
                  "assert seen == [-3] * 8, seen\n"),
              "");
    EXPECT_EQ(run("other.addVars(1)\nother.dispose()\n"), "");  // other models are not touched
  }
  EXPECT_FALSE(in_unlocked_call());
  EXPECT_EQ(run("assert m.NumVars == 2\nm.reset()\n"), "");
}

}  // namespace
}  // namespace velmorpy
