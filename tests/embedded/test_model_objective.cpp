// The semidefinite part of the objective: setObjective and getObjective on a
// model with semidefinite variables (read from a file: Python has no other way
// to make them yet, and reaches their handles only through the model record).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "embedded.hpp"
#include "model/model.hpp"

namespace velmorpy {
namespace {

using testing::run_code;

class PsdObjective : public ::testing::Test {
 protected:
  void SetUp() override {
    globals_ = testing::python_namespace();
    path_ = ::testing::TempDir() + "psd_objective.cbf";
    std::FILE* f = std::fopen(path_.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("VER\n3\nPSDVAR\n2\n2\n3\nVAR\n2 1\nF 2\n", f);  // two semidefinite variables, two free ones
    std::fclose(f);
    const std::string code = "m = read('" + path_ + "')\nx, y = m.getVars()\n";
    ASSERT_EQ(run(code.c_str()), "");
    PyObject* psdvars = as_model(PyDict_GetItemString(globals_.get(), "m"))->psdvars_;
    PyDict_SetItemString(globals_.get(), "p", PyList_GET_ITEM(psdvars, 0));
    PyDict_SetItemString(globals_.get(), "q", PyList_GET_ITEM(psdvars, 1));
  }
  void TearDown() override {
    run("m.dispose()\n");
    std::remove(path_.c_str());
    globals_.reset();
  }

  std::string run(const char* code) { return run_code(globals_.get(), code); }

  Ref globals_;
  std::string path_;
};

TEST_F(PsdObjective, CoefficientsOfOneVariableAreSummedAndTheOthersEmptied) {
  ASSERT_EQ(run("q.psdobj = np.eye(3)\n"
                "a = np.array([[1.0, 2.0], [2.0, 0.0]])\n"
                "e = PsdExpr(a, p) + PsdExpr(sp.coo_matrix(np.eye(2)), p)\n"
                "e.getLinExpr().addTerms(3.0, x)\n"
                "e.getLinExpr().addConstant(4.0)\n"
                "m.setObjective(e, VLM.MAXIMIZE)\n"),
            "");
  EXPECT_EQ(run("assert m.ModelSense == -1 and m.ObjCon == 4.0 and x.Obj == 3.0 and y.Obj == 0.0\n"
                "po = p.psdobj\n"
                "po = po.toarray() if hasattr(po, 'toarray') else po\n"
                "assert (po == [[2.0, 2.0], [2.0, 1.0]]).all()\n"
                "qo = q.psdobj\n"
                "assert not (qo.toarray() if hasattr(qo, 'toarray') else qo).any()\n"
                "back = m.getObjective()\n"
                "assert type(back) is PsdExpr and back.size() == 1 and back.getVar(0).sameAs(p)\n"
                "assert back.getLinExpr().getConstant() == 4.0 and back.getLinExpr().size() == 1\n"),
            "");
}

TEST_F(PsdObjective, ARefusedMatrixLeavesTheObjectiveAsItWas) {
  ASSERT_EQ(run("m.setObjective(PsdExpr(np.eye(2), p) + x, VLM.MAXIMIZE)\n"
                "e = PsdExpr(np.eye(2), p)\n"
                "e.addTerms(np.eye(3), q)\n"
                "e += y\n"),
            "");
  // A NaN entry is the library's refusal, after the sense was written.
  EXPECT_EQ(run("try:\n"
                "    bad = PsdExpr(np.array([[np.nan, 0], [0, 1.0]]), p) + y\n"
                "    m.setObjective(bad, VLM.MINIMIZE)\n"
                "except VelmorError:\n"
                "    pass\n"
                "else:\n"
                "    raise AssertionError('accepted')\n"
                "assert m.ModelSense == -1 and x.Obj == 1.0 and y.Obj == 0.0\n"
                "assert type(m.getObjective()) is PsdExpr\n"),
            "");
  // Quadratic and semidefinite terms together cannot come back as one expression.
  EXPECT_EQ(run("m.setObjective(PsdExpr(np.eye(2), p) + x)\n"
                "m.setObjective(x * x)\n"
                "assert type(m.getObjective()) is QuadExpr\n"
                "p.psdobj = np.eye(2)\n"
                "try:\n"
                "    m.getObjective()\n"
                "except ValueError as err:\n"
                "    assert 'quadratic and semidefinite' in str(err)\n"
                "else:\n"
                "    raise AssertionError('dropped')\n"),
            "");
}

}  // namespace
}  // namespace velmorpy
