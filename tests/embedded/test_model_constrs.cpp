// The row adders as the matrix-shaped constraints will call them: a batch of
// rows with one library call (_addConstrs), and one row (_addConstr), read
// back through the library.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <velmor.h>

#include "embedded.hpp"
#include "model/model.hpp"
#include "model/model_constrs.hpp"
#include "runtime/holder.hpp"

namespace velmorpy {
namespace {

using testing::pending_error;
using testing::run_code;

class RowAdders : public ::testing::Test {
 protected:
  void SetUp() override {
    globals_ = testing::python_namespace();
    ASSERT_EQ(run("m = Model('m')\nx, y, z = (m.addVar(name=n) for n in 'xyz')\n"), "");
    model_ = Ref::borrow(PyDict_GetItemString(globals_.get(), "m"));
  }
  void TearDown() override {
    run("m.dispose()\n");
    globals_.reset();
  }

  std::string run(const char* code) { return run_code(globals_.get(), code); }
  Ref eval(const char* expr) { return Ref::steal(PyRun_String(expr, Py_eval_input, globals_.get(), globals_.get())); }

  // _addConstrs with its arguments as Python expressions ("" for no names);
  // the handles are bound to `out`.
  std::string add_rows(const char* exprs, const char* lb, const char* ub, const char* names) {
    Ref e = eval(exprs), l = eval(lb), u = eval(ub);
    Ref n = *names ? eval(names) : Ref();
    if (!e || !l || !u || (*names && !n)) return "bad test input";
    try {
      Ref out = model_addConstrs(model_.get(), e.get(), l.get(), u.get(), n.get());
      PyDict_SetItemString(globals_.get(), "out", out.get());
      return "";
    } catch (...) {
      translate_current_exception();  // a library code becomes its VelmorError
      return pending_error();
    }
  }

  // Row `row` as the library holds it: "column:value" terms.
  std::string row_terms(int row) {
    VLMmodel* mdl = live_model(holder_of(model_.get()));
    int nnz = 0;
    if (VLMgetconstrs(mdl, &nnz, nullptr, nullptr, nullptr, row, 1) != 0) return "error";
    std::vector<int> beg(1), ind(static_cast<size_t>(nnz) + 1);
    std::vector<double> val(static_cast<size_t>(nnz) + 1);
    if (VLMgetconstrs(mdl, &nnz, beg.data(), ind.data(), val.data(), row, 1) != 0) return "error";
    std::string out;
    for (int k = 0; k < nnz; ++k) out += std::to_string(ind[k]) + ":" + std::to_string(val[k]).substr(0, 4) + " ";
    return out;
  }

  Py_ssize_t psd_rows() { return PyList_GET_SIZE(as_model(model_.get())->psdconstrs_); }

  Ref globals_;
  Ref model_;
};

TEST_F(RowAdders, ABatchIsOneCallWithEachRowShiftedByItsConstant) {
  ASSERT_EQ(run("m.addConstr(x <= 1)\n"), "");
  ASSERT_EQ(add_rows("np.array([x + 2 * y + 1, z + x - 2, LinExpr(3.0)], dtype=object)", "0", "10",
                     "['a', 'b', 'c']"),
            "");
  EXPECT_EQ(run("assert [c.index for c in out] == [1, 2, 3] and m.getConstrs()[1:] == out\n"
                "assert [c.ConstrName for c in out] == ['a', 'b', 'c']\n"
                "assert m.getAttr('LHS', out) == [-1, 2, -3] and m.getAttr('RHS', out) == [9, 12, 7]\n"),
            "");
  EXPECT_EQ(row_terms(1), "0:1.00 1:2.00 ");
  EXPECT_EQ(row_terms(2), "0:1.00 2:1.00 ");
  EXPECT_EQ(row_terms(3), "");
  EXPECT_EQ(psd_rows(), 4);

  // A side given as None is infinite for every row; no names.
  ASSERT_EQ(add_rows("[x - 1, 1 * y]", "None", "5", ""), "");
  EXPECT_EQ(run("assert m.getAttr('LHS', out) == [-1e20, -1e20] and m.getAttr('RHS', out) == [6, 5]\n"
                "assert [c.ConstrName for c in out] == ['', '']\n"),
            "");
  ASSERT_EQ(add_rows("[]", "0", "None", "[]"), "");
  EXPECT_EQ(run("assert out == [] and m.NumConstrs == 6\n"), "");
  EXPECT_EQ(psd_rows(), 6);
}

TEST_F(RowAdders, RefusedBatchesAddNothing) {
  EXPECT_EQ(add_rows("[x + 0, 1 * y]", "0", "1", "['a']"), "ValueError: names doesn't have enough elements");
  EXPECT_EQ(add_rows("[x + 0, 1 * y]", "0", "1", "None"), "TypeError: 'NoneType' object is not iterable");
  EXPECT_EQ(add_rows("[x + y, x * y]", "0", "1", "['a', 'b']"), "TypeError: Expect a LinExpr");
  EXPECT_EQ(add_rows("[x + 0, 1 * y]", "'0'", "1", ""), "TypeError: bad operand type for abs(): 'str'");
  EXPECT_EQ(add_rows("[x + 0, 1 * y]", "0", "1", "['a', 'b\\0']"), "ValueError: embedded null character");
  // The library refuses a NaN coefficient: the handles leave the lists again.
  EXPECT_EQ(add_rows("[x + 0, float('nan') * y]", "0", "1", ""), "velmorpy.VelmorError: Invalid argument");
  EXPECT_EQ(run("assert m.NumConstrs == 0 and m.getConstrs() == []\n"), "");
  EXPECT_EQ(psd_rows(), 0);
}

TEST_F(RowAdders, OneRowMovesItsConstantIntoTheBounds) {
  Ref expr = eval("x + 2 * y + 2");
  Ref lb = eval("5"), ub = eval("None"), name = eval("'r'");
  Ref row = model_addConstr(model_.get(), expr.get(), lb.get(), ub.get(), name.get());
  PyDict_SetItemString(globals_.get(), "row", row.get());
  EXPECT_EQ(run("assert (row.index, row.ConstrName, row.LHS, row.RHS) == (0, 'r', 3, 1e20)\n"), "");
  EXPECT_EQ(row_terms(0), "0:1.00 1:2.00 ");
  EXPECT_EQ(psd_rows(), 1);
}

}  // namespace
}  // namespace velmorpy
