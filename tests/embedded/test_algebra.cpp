// Kernels Python reaches only through the operators: the element-wise maps,
// the element functions of the dense matrix product, the array-left
// dispatchers, and the array-like test.
#include <gtest/gtest.h>

#include <string>

#include "algebra/kernels.hpp"
#include "algebra/kinds.hpp"
#include "embedded.hpp"

namespace velmorpy {
namespace {

using testing::python_namespace;
using testing::raised;
using testing::raised_message;
using testing::run_code;

class Algebra : public ::testing::Test {
 protected:
  void SetUp() override {
    globals_ = python_namespace();
    ASSERT_EQ(py("m = Model()\nx = m.addVar(name='x')\ny = m.addVar(name='y')\n"
                 "def lin(e):\n"
                 "    return [(e.getCoeff(i), e.getVar(i).VarName) for i in range(e.size())], e.getConstant()\n"),
              "");
  }
  std::string py(const char* code) { return run_code(globals_.get(), code); }
  PyObject* g(const char* name) { return PyDict_GetItemString(globals_.get(), name); }
  void set(const char* name, const Ref& value) { PyDict_SetItemString(globals_.get(), name, value.get()); }
  Ref globals_;
};

TEST_F(Algebra, ElementWiseMapsKeepTheShapeAndPutTheElementLeft) {
  ASSERT_EQ(py("a = [1, 2]\nz = np.zeros((2, 3))\nzero_d = np.array(5.0)\nempty = np.zeros((0, 2))\n"), "");
  set("added", npadd(g("a"), g("x")));
  set("scaled", npmul(g("z"), g("x")));
  set("scalar", npadd(g("zero_d"), g("x")));
  set("none", npmul(g("empty"), g("x")));
  EXPECT_EQ(py("assert added.shape == (2,) and added.dtype == object\n"
               "assert [lin(e) for e in added] == [([(1.0, 'x')], 1.0), ([(1.0, 'x')], 2.0)]\n"
               "assert scaled.shape == (2, 3) and all(lin(e) == ([], 0.0) for e in scaled.flat)\n"
               "assert scalar.shape == () and lin(scalar[()]) == ([(1.0, 'x')], 5.0)\n"
               "assert none.shape == (0, 2)\n"),
            "");
  ASSERT_EQ(py("f = lambda v: v * 2\n"), "");
  set("mapped", npmap(g("f"), g("a")));
  EXPECT_EQ(py("assert list(mapped) == [2, 4]\n"), "");
}

TEST_F(Algebra, InnerProductsOfTheDenseMatrixProduct) {
  ASSERT_EQ(py("A = np.array([[1.0, 0.0], [2.0, 3.0]])\nB = np.array([[x], [y]], dtype=object)\n"
               "F = np.asfortranarray(A)\nV = np.array([[x, y]], dtype=object)\nW = np.array([[y], [x]], dtype=object)\n"
               "I = np.array([[1, 2]], dtype=np.int32)\nBad = np.array([[x], ['s']], dtype=object)\n"),
            "");
  set("c00", n_inner_v(g("A"), g("B"), 0, 0));
  set("c10", n_inner_v(g("F"), g("B"), 1, 0));
  set("r00", v_inner_n(g("V"), g("A"), 0, 1));
  set("ints", n_inner_v(g("I"), g("B"), 0, 0));
  set("q00", v_inner_v(g("V"), g("W"), 0, 0));
  EXPECT_EQ(py("assert lin(c00) == ([(1.0, 'x'), (0.0, 'y')], 0.0)\n"         // zeros stay
               "assert lin(c10) == ([(2.0, 'x'), (3.0, 'y')], 0.0)\n"         // column-major reads the same
               "assert F.flags.f_contiguous and not F.flags.c_contiguous\n"   // and is left as it was
               "assert lin(r00) == ([(0.0, 'x'), (3.0, 'y')], 0.0)\n"
               "assert lin(ints) == ([(1.0, 'x'), (2.0, 'y')], 0.0)\n"
               "assert [(q00.getCoeff(i), q00.getVar1(i).VarName, q00.getVar2(i).VarName) for i in range(2)]"
               " == [(1, 'x', 'y'), (1, 'y', 'x')]\n"
               "assert type(q00.getCoeff(0)) is int\n"),
            "");
  EXPECT_EQ(raised([&] { n_inner_v(g("A"), g("Bad"), 1, 0); }), "TypeError");
  EXPECT_EQ(raised([&] { n_inner_v(g("A"), g("B"), 2, 0); }), "IndexError");
  EXPECT_EQ(raised([&] { v_inner_n(g("V"), g("V"), 0, 0); }), "TypeError");  // a Var where a number belongs
  EXPECT_EQ(raised([&] { v_inner_v(g("V"), g("V"), 0, 0); }), "ValueError");  // inner lengths 2 and 1
}

TEST_F(Algebra, ArrayLeftDispatchersAndTheArrayLikeTest) {
  ASSERT_EQ(py("A = np.eye(2)\nS = sp.csr_matrix(A)\nthree = 3\n"
               "class Prio:\n    __array_priority__ = 5\n"
               "prio = Prio()\nlst = [1, 2]\ns = 'ab'\n"),
            "");
  EXPECT_TRUE(is_arraylike(g("A")));
  EXPECT_TRUE(is_arraylike(g("lst")));
  EXPECT_TRUE(is_arraylike(g("prio")));
  EXPECT_FALSE(is_arraylike(g("S")));
  EXPECT_TRUE(is_arraylike(g("S"), true));
  EXPECT_FALSE(is_arraylike(g("x")));
  EXPECT_FALSE(is_arraylike(g("three")));
  EXPECT_FALSE(is_arraylike(g("s")));
  EXPECT_FALSE(is_arraylike(Py_None));
  EXPECT_EQ(operand_kind(g("S")), OpKind::None);
  EXPECT_EQ(operand_kind(g("S"), true), OpKind::Array);
  PyErr_Clear();
  EXPECT_EQ(raised_message([&] { a_add_o(g("A"), g("three")); }), "unsupported operand type(s) for +: `ndarray` and `int`");
  EXPECT_EQ(raised_message([&] { a_mul_o(g("A"), g("A")); }), "unsupported operand type(s) for *: `ndarray` and `ndarray`");
  EXPECT_EQ(raised_message([&] { a_matmul_o(g("A"), g("x")); }), "unsupported operand type(s) for @: `ndarray` and `Var`");
  set("sum", a_add_o(g("A"), g("x")));  // v_add_a(x, A): each element first
  EXPECT_EQ(py("assert type(sum) is MLinExpr and sum.shape == (2, 2)\n"
               "assert lin(sum[1, 0].item()) == ([(1.0, 'x')], 0.0) and lin(sum[1, 1].item()) == ([(1.0, 'x')], 1.0)\n"),
            "");
}

TEST_F(Algebra, TheSparseProductTakesOneArrayAndOneSparseMatrix) {
  ASSERT_EQ(py("A = np.eye(2)\nS = sp.csr_matrix(A)\nV = np.array([x, y], dtype=object)\nlst = [x, y]\n"), "");
  EXPECT_EQ(raised_message([&] { _smatmul(g("A"), g("A")); }), "matmul: `ndarray` @ `ndarray` operation not support");
  EXPECT_EQ(raised_message([&] { _smatmul(g("S"), g("S")); }), "matmul: `csr_matrix` @ `csr_matrix` operation not support");
  EXPECT_EQ(raised_message([&] { _smatmul(g("lst"), g("S")); }), "matmul: `list` @ `csr_matrix` operation not support");
  set("left", _smatmul(g("S"), g("V")));
  set("right", _smatmul(g("V"), g("S")));
  EXPECT_EQ(py("assert left.shape == (2,) and left.dtype == object and lin(left[1]) == ([(1.0, 'y')], 0.0)\n"
               "assert right.shape == (2,) and lin(right[0]) == ([(1.0, 'x')], 0.0)\n"),
            "");
  set("dense", _dmatmul(g("lst"), g("A"), OpKind::Var, OpKind::Number));  // a list is taken as an array
  EXPECT_EQ(py("assert dense.shape == (2,) and lin(dense[1]) == ([(0.0, 'x'), (1.0, 'y')], 0.0)\n"), "");
}

}  // namespace
}  // namespace velmorpy
