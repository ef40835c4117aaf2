// The flattening of linear expressions into compressed sparse rows and the
// bound rule, as the row adders, indicator constraints and cuts call them from
// C++.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "embedded.hpp"
#include "model/model.hpp"
#include "model/model_rows.hpp"

namespace velmorpy {
namespace {

using testing::pending_error;
using testing::run_code;

class Rows : public ::testing::Test {
 protected:
  void SetUp() override {
    globals_ = testing::python_namespace();
    ASSERT_EQ(run("m = Model('m')\nx, y, z = (m.addVar(name=n) for n in 'xyz')\n"
                  "other = Model('other')\nw = other.addVar()\n"
                  "class Sub(LinExpr):\n"
                  "    pass\n"),
              "");
    holder_ = holder_of(PyDict_GetItemString(globals_.get(), "m"));
  }
  void TearDown() override {
    run("m.dispose()\nother.dispose()\n");
    globals_.reset();
  }

  std::string run(const char* code) { return run_code(globals_.get(), code); }

  // The rows of the Python expression `exprs`, or the error as "Type: text".
  std::string flatten(const char* exprs, CompressedRows& out, bool with_starts = true) {
    Ref seq = Ref::steal(PyRun_String(exprs, Py_eval_input, globals_.get(), globals_.get()));
    if (!seq) return pending_error();
    try {
      out = model_linExprs2array(holder_, seq.get(), with_starts);
      return "";
    } catch (const PyErrAlreadySet&) {
      return pending_error();
    }
  }

  // _dec_bound of the Python number `bound` (None allowed), or nullopt with
  // the error in `error`.
  std::optional<double> dec_bound(const char* bound, double constant, std::string* error = nullptr) {
    Ref b = Ref::steal(PyRun_String(bound, Py_eval_input, globals_.get(), globals_.get()));
    try {
      return model_dec_bound(b.get(), constant);
    } catch (const PyErrAlreadySet&) {
      std::string e = pending_error();
      if (error) *error = e;
      return std::nullopt;
    }
  }

  Ref globals_;
  Ref holder_;
};

TEST_F(Rows, TermsOfOneVariableAreMergedWithinTheirRowOnly) {
  CompressedRows r;
  ASSERT_EQ(flatten("[x + 2 * y, y + y]", r), "");
  EXPECT_EQ(r.beg, (std::vector<int>{0, 2}));
  EXPECT_EQ(r.ind, (std::vector<int>{0, 1, 1}));
  EXPECT_EQ(r.val, (std::vector<double>{1, 2, 2}));

  // Out of order, cancelling to zero (kept), constants aside.
  ASSERT_EQ(flatten("[3 * y + x - 3 * y + 7, 2 * z + x + 0.5 * z - 1, LinExpr()]", r), "");
  EXPECT_EQ(r.beg, (std::vector<int>{0, 2, 4}));
  EXPECT_EQ(r.ind, (std::vector<int>{0, 1, 0, 2}));
  EXPECT_EQ(r.val, (std::vector<double>{1, 0, 1, 2.5}));
  EXPECT_EQ(r.constants, (std::vector<double>{7, -1, 0}));
  EXPECT_EQ(r.rows(), 3);

  // A row that ends with the variable the next one begins with.
  ASSERT_EQ(flatten("(e for e in [x + z, z + y])", r), "");
  EXPECT_EQ(r.ind, (std::vector<int>{0, 2, 1, 2}));
  EXPECT_EQ(r.beg, (std::vector<int>{0, 2}));

  ASSERT_EQ(flatten("np.array([LinExpr([1.5, 2], [z, x])], dtype=object)", r, /*with_starts=*/false), "");
  EXPECT_TRUE(r.beg.empty());
  EXPECT_EQ(r.ind, (std::vector<int>{0, 2}));
  EXPECT_EQ(r.val, (std::vector<double>{2, 1.5}));

  // Rows that ascend are written as they are read, the others sorted; a
  // coefficient that is no float is converted on the way.
  ASSERT_EQ(flatten("[LinExpr([1, True], [x, z]), 2 * z + x, LinExpr([0.5], [y])]", r), "");
  EXPECT_EQ(r.beg, (std::vector<int>{0, 2, 4}));
  EXPECT_EQ(r.ind, (std::vector<int>{0, 2, 0, 2, 1}));
  EXPECT_EQ(r.val, (std::vector<double>{1, 1, 1, 2, 0.5}));

  ASSERT_EQ(flatten("[]", r), "");
  EXPECT_EQ(r.rows(), 0);
  EXPECT_EQ(r.nnz(), 0);
  EXPECT_EQ(r.ind_data(), nullptr);
}

TEST_F(Rows, ASubclassIsReadThroughItsMethods) {
  ASSERT_EQ(run("class Doubled(LinExpr):\n"
                "    def getCoeff(self, i):\n"
                "        return 2 * LinExpr.getCoeff(self, i)\n"
                "    def getConstant(self):\n"
                "        return 10.0\n"
                "d = Doubled([1, 3, 1], [y, x, y])\n"),
            "");
  CompressedRows r;
  ASSERT_EQ(flatten("[d, Sub(x)]", r), "");
  EXPECT_EQ(r.ind, (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(r.val, (std::vector<double>{6, 4, 1}));
  EXPECT_EQ(r.constants, (std::vector<double>{10, 0}));

  ASSERT_EQ(run("class Broken(LinExpr):\n"
                "    def getVar(self, i):\n"
                "        raise KeyError('no var')\n"),
            "");
  EXPECT_EQ(flatten("[x + y, Broken(x)]", r), "KeyError: 'no var'");
}

TEST_F(Rows, RefusalsNameTheFault) {
  CompressedRows r;
  for (const char* bad : {"[x + y, x * x]", "[x]", "[x + y, 3.0]", "[None]"})
    EXPECT_EQ(flatten(bad, r), "TypeError: Expect a LinExpr") << bad;
  EXPECT_EQ(flatten("[x + w]", r), std::string("ValueError: ") + kVarOfOtherModel);
  EXPECT_EQ(flatten("[x + Var()]", r), std::string("ValueError: ") + kVarOfOtherModel);
  EXPECT_EQ(flatten("5", r), "TypeError: 'int' object is not iterable");
}

TEST_F(Rows, BoundsTakeTheConstantUnlessInfinite) {
  EXPECT_EQ(dec_bound("None", 5), std::nullopt);
  EXPECT_EQ(dec_bound("1e20", 5), 1e20);
  EXPECT_EQ(dec_bound("-float('inf')", 5), -1e20);
  EXPECT_EQ(dec_bound("-1e20", 5), -1e20);
  EXPECT_EQ(dec_bound("10**400", 5), 1e20);
  EXPECT_EQ(dec_bound("-10**400", 5), -1e20);
  EXPECT_EQ(dec_bound("4", 5), -1);
  EXPECT_EQ(dec_bound("4", 1.5), 2.5);
  EXPECT_EQ(dec_bound("True", 0.5), 0.5);
  EXPECT_EQ(dec_bound("np.float32(-3e25)", 1), -1e20);
  EXPECT_EQ(dec_bound("__import__('fractions').Fraction(1, 4)", 0.5), -0.25);
  std::string error;
  EXPECT_EQ(dec_bound("'3'", 0, &error), std::nullopt);
  EXPECT_EQ(error, "TypeError: bad operand type for abs(): 'str'");
}

}  // namespace
}  // namespace velmorpy
