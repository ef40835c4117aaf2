// The expression classes from C++: the shared term buffers of List, the
// fields of TempConstr and parseIndicator, the semidefinite expression on
// real PsdVars, and the values of every expression class in solved models.
#include <gtest/gtest.h>

#include <string>

#include <velmor.h>

#include "embedded.hpp"
#include "expressions/linexpr.hpp"
#include "expressions/list.hpp"
#include "expressions/psdexpr.hpp"
#include "expressions/tempconstr.hpp"
#include "model/model.hpp"

namespace velmorpy {
namespace {

using testing::python_namespace;
using testing::raised;
using testing::run_code;

PyObject* global(const Ref& globals, const char* name) { return PyDict_GetItemString(globals.get(), name); }

TEST(ListBuffer, AppendsAtTheEndOfASharedBufferCopyNothing) {
  Ref globals = python_namespace();
  ASSERT_EQ(run_code(globals.get(), "a = velmorpy.List(['x', 'y', 'v'])\nb = a + ['z']\n"), "");
  TermList& a = as_list(global(globals, "a"))->t;
  TermList& b = as_list(global(globals, "b"))->t;
  ASSERT_NE(a.buf, nullptr);
  EXPECT_EQ(a.buf, b.buf);                     // one buffer, holding four items
  EXPECT_EQ(a.buf->count, 4);
  EXPECT_EQ(Py_REFCNT(reinterpret_cast<PyObject*>(a.buf)), 2);
  EXPECT_EQ(terms_size(a), 3);
  EXPECT_EQ(terms_size(b), 4);
  ASSERT_EQ(run_code(globals.get(), "a += ['w']\n"), "");
  EXPECT_NE(a.buf, b.buf);                     // a took a private copy first
  EXPECT_EQ(Py_REFCNT(reinterpret_cast<PyObject*>(b.buf)), 1);
  EXPECT_EQ(run_code(globals.get(), "assert list(a) == ['x', 'y', 'v', 'w'] and list(b) == ['x', 'y', 'v', 'z']\n"), "");
}

TEST(ListBuffer, FewItemsInlineThenEightSlotsThenDoubling) {
  TermList t;
  Ref item = Ref::steal(PyLong_FromLong(7));
  for (Py_ssize_t i = 0; i < kTermInline; ++i) terms_append(t, item.get());
  EXPECT_EQ(t.buf, nullptr);                   // a few items need no buffer
  EXPECT_EQ(terms_at(t, kTermInline - 1), item.get());
  TermList shared = terms_copy(t);
  terms_append(t, item.get());                 // the next moves them into 8 slots
  ASSERT_NE(t.buf, nullptr);
  EXPECT_EQ(t.buf->capacity, 8);
  EXPECT_EQ(terms_size(shared), kTermInline);
  terms_release(shared);
  for (Py_ssize_t i = kTermInline + 1; i < 8; ++i) terms_append(t, item.get());
  EXPECT_EQ(t.buf->capacity, 8);
  terms_append(t, item.get());                 // the ninth
  EXPECT_EQ(t.buf->capacity, 16);
  EXPECT_EQ(Py_REFCNT(item.get()) >= 10, true);
  terms_release(t);
  EXPECT_EQ(grown_capacity(1 << 30, (1 << 30) + 1), kMaxListItems);  // doubling stops at the limit
  EXPECT_EQ(raised([] { grown_capacity(8, kMaxListItems + 1); }), "OverflowError");
  TermList u;
  for (int i = 0; i < 3; ++i) terms_append(u, item.get());
  u.buf->count = kMaxListItems;                // pretend: no item fits any more
  u.length = kMaxListItems;
  EXPECT_EQ(raised([&] { terms_reserve(u, 1); }), "OverflowError");
  u.buf->count = 3;
  u.length = 3;
  terms_release(u);
}

TEST(ListBuffer, ExtendFromItselfAndUpdatesOfSharedBuffers) {
  TermList a;
  Ref one = Ref::steal(PyFloat_FromDouble(1.0));
  for (int i = 0; i < 5; ++i) terms_append(a, one.get());
  terms_extend(a, a, terms_size(a));           // the source is the destination
  EXPECT_EQ(terms_size(a), 10);
  TermList b = terms_copy(a);
  terms_imul(b, 3.0);                          // b is made private before it changes
  EXPECT_NE(a.buf, b.buf);
  EXPECT_EQ(PyFloat_AS_DOUBLE(terms_at(a, 0)), 1.0);
  EXPECT_EQ(PyFloat_AS_DOUBLE(terms_at(b, 9)), 3.0);
  terms_remove(b, {1, 3, 2});                  // stops at the entry out of order
  EXPECT_EQ(terms_size(b), 8);
  TermList c = terms_copy(a);
  terms_clear(c);                              // shared: a keeps its items
  EXPECT_EQ(terms_size(a), 10);
  EXPECT_EQ(terms_size(c), 0);
  terms_release(a);
  terms_release(b);
  terms_release(c);
}

// A model through the library's C interface: x in [0, 2], y in [0, 3] and a
// binary b, maximising x + y, solved.
class SolvedLinear : public ::testing::Test {
 protected:
  void SetUp() override {
    VLMenv* env = nullptr;
    ASSERT_EQ(VLMemptyenv(&env), 0);
    VLMmodel* mdl = nullptr;
    ASSERT_EQ(VLMnewmodel(env, &mdl, "lin", 0, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    VLMfreeenv(env);
    ASSERT_EQ(VLMaddvar(mdl, 0, nullptr, nullptr, 1.0, 0.0, 2.0, 'C', "x"), 0);
    ASSERT_EQ(VLMaddvar(mdl, 0, nullptr, nullptr, 1.0, 0.0, 3.0, 'C', "y"), 0);
    ASSERT_EQ(VLMaddvar(mdl, 0, nullptr, nullptr, 0.0, 0.0, 1.0, 'B', "b"), 0);
    ASSERT_EQ(VLMsetintattr(mdl, "ModelSense", VLM_MAXIMIZE), 0);
    ASSERT_EQ(VLMoptimize(mdl), 0);
    model_ = model_new(mdl);
    ASSERT_TRUE(model_);
    globals_ = python_namespace();
    PyDict_SetItemString(globals_.get(), "m", model_.get());
    ASSERT_EQ(run_code(globals_.get(), "x, y, b = m.getVars()\n"), "");
  }
  std::string py(const char* code) { return run_code(globals_.get(), code); }
  Ref model_, globals_;
};

TEST_F(SolvedLinear, ValuesEqualTheArithmeticOfX) {
  EXPECT_EQ(py("X = {v.VarName: float(v.X) for v in (x, y, b)}\n"
               "assert (X['x'], X['y']) == (2.0, 3.0)\n"
               "e = LinExpr([1.5, -2.0, 4.0], [x, y, x])\n"
               "e.addConstant(0.25)\n"
               "assert e.getValue() == 0.25 + 1.5 * 2.0 - 2.0 * 3.0 + 4.0 * 2.0\n"
               "assert type(e.getValue()) is float and LinExpr(7).getValue() == 7.0\n"
               "q = 2 * x * y + x * x - 3 * y + 1\n"
               "assert q.getValue() == 2 * 2.0 * 3.0 + 2.0 * 2.0 - 3 * 3.0 + 1\n"
               "assert quicksum([q, e]).getValue() == q.getValue() + e.getValue()\n"
               "p = PsdExpr(2.0 * x + 1)\n"
               "assert p.getValue() == 5.0\n"),
            "");
  // A Var of another model in the same expression: read one by one.
  EXPECT_EQ(py("m2 = Model()\nz = m2.addVar()\nmixed = x + z\nmixed.getValue()\n").rfind("velmorpy.VelmorError", 0),
            0u);
}

TEST_F(SolvedLinear, TempConstrFieldsAndIndicators) {
  ASSERT_EQ(py("e = 2 * x\nr = TempConstr.new(e, 1, 2)\nlo = TempConstr.new(e, 3, None)\n"
               "ind = (b == 1) >> (y + x <= 3)\nind0 = (b == 0) >> (x >= 1)\n"),
            "");
  PyObject* r = PyDict_GetItemString(globals_.get(), "r");
  EXPECT_EQ(tempconstr_getExpr(r).get(), PyDict_GetItemString(globals_.get(), "e"));  // the expression itself
  EXPECT_TRUE(PyLong_CheckExact(tempconstr_getLhs(r).get()));
  Ref lo_lhs = tempconstr_getLhs(PyDict_GetItemString(globals_.get(), "lo"));
  EXPECT_TRUE(PyLong_CheckExact(lo_lhs.get()) && PyLong_AsLong(lo_lhs.get()) == 0);  // the int 0
  Ref parsed = tempconstr_parseIndicator(PyDict_GetItemString(globals_.get(), "ind"));
  PyDict_SetItemString(globals_.get(), "parsed", parsed.get());
  Ref parsed0 = tempconstr_parseIndicator(PyDict_GetItemString(globals_.get(), "ind0"));
  PyDict_SetItemString(globals_.get(), "parsed0", parsed0.get());
  EXPECT_EQ(py("var, value, expr, lhs, rhs = parsed\n"
               "assert var is b and value == 1.0 and type(value) is float and lhs is None and rhs == 0\n"
               "assert str(expr) == '<LinExpr: y + x - 3.0>'\n"
               "assert parsed0[0] is b and parsed0[1] == 0.0 and parsed0[3] == 0 and parsed0[4] is None\n"),
            "");
  const char* refused[] = {"(b >= 1) >> (x <= 1)", "(2 * b == 2) >> (x <= 1)", "(b + y == 1) >> (x <= 1)",
                           "(x == 1) >> (y <= 1)", "(b == 2) >> (y <= 1)"};
  for (const char* code : refused) {
    std::string line = std::string("t = ") + code + "\n";
    ASSERT_EQ(py(line.c_str()), "");
    EXPECT_EQ(raised([&] { tempconstr_parseIndicator(PyDict_GetItemString(globals_.get(), "t")); }), "ValueError")
        << code;
  }
  ASSERT_EQ(py("t = TempConstr.new(None, b == 1, TempConstr.new(x * y, None, 0))\n"), "");
  EXPECT_EQ(raised([&] { tempconstr_parseIndicator(PyDict_GetItemString(globals_.get(), "t")); }), "TypeError");
}

// A semidefinite program: min <C, X> s.t. trace X = 1, X a 2 x 2 PsdVar, with
// C listed to the library as the entries (0, 1) = 5 and then (1, 0) = 0, in
// that order. The library ignores the zero, so C is [[0, 5], [5, 0]] and the
// optimum is -5 (X = [[.5, -.5], [-.5, .5]]); the value of the PsdExpr of the
// same matrix is the objective value the solver reports.
class SolvedSdp : public ::testing::Test {
 protected:
  void SetUp() override {
    VLMenv* env = nullptr;
    ASSERT_EQ(VLMemptyenv(&env), 0);
    VLMmodel* mdl = nullptr;
    ASSERT_EQ(VLMnewmodel(env, &mdl, "sdp", 0, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    VLMfreeenv(env);
    const int objind[] = {1, 2};
    const double objval[] = {5.0, 0.0};
    ASSERT_EQ(VLMaddpsdvar(mdl, 2, 2, objind, objval, "X"), 0);
    ASSERT_EQ(VLMaddpsdvar(mdl, 3, 0, nullptr, nullptr, "Y"), 0);
    const int var = 0, beg = 0, pos[] = {0, 3};
    const double val[] = {1.0, 1.0};
    ASSERT_EQ(VLMaddrangepsdconstr(mdl, 0, 1, 2, nullptr, nullptr, &var, &beg, pos, val, 1.0, 1.0, "trace"), 0);
    ASSERT_EQ(VLMaddvar(mdl, 0, nullptr, nullptr, 0.0, 0.0, 1.0, 'C', "x"), 0);
    ASSERT_EQ(VLMoptimize(mdl), 0);
    model_ = model_new(mdl);
    ASSERT_TRUE(model_);
    globals_ = python_namespace();
    PyDict_SetItemString(globals_.get(), "m", model_.get());
    ModelObject* m = as_model(model_.get());
    PyDict_SetItemString(globals_.get(), "X", PyList_GET_ITEM(m->psdvars_, 0));
    PyDict_SetItemString(globals_.get(), "Y", PyList_GET_ITEM(m->psdvars_, 1));
    PyDict_SetItemString(globals_.get(), "x", PyList_GET_ITEM(m->vars_, 0));
  }
  std::string py(const char* code) { return run_code(globals_.get(), code); }
  Ref model_, globals_;
};

TEST_F(SolvedSdp, ValueFollowsTheMirrorRuleOfTheLibrary) {
  EXPECT_EQ(py("C = sp.coo_matrix((np.array([5.0, 0.0]), (np.array([0, 1]), np.array([1, 0]))), shape=(2, 2))\n"
               "e = PsdExpr(C, X)\n"
               "assert abs(e.getValue() - float(m.ObjVal)) < 1e-12 and abs(e.getValue() + 5.0) < 1e-4\n"
               "V = X.PsdX\n"
               "V = V.toarray() if sp.issparse(V) else V\n"
               "D = np.array([[1.0, 2.0], [4.0, 3.0]])\n"  // the later (1, 0) gives both off-diagonal cells
               "want = D[0, 0] * V[0, 0] + 4.0 * (V[0, 1] + V[1, 0]) + D[1, 1] * V[1, 1]\n"
               "assert abs(PsdExpr(D, X).getValue() - want) < 1e-12\n"
               "U = np.array([[1.0, 2.0], [0.0, 3.0]])\n"  // an upper triangle stands for the whole
               "want = V[0, 0] + 2.0 * (V[0, 1] + V[1, 0]) + 3.0 * V[1, 1]\n"
               "f = X * U + 2 * x + 1\n"
               "assert abs(f.getValue() - (want + 2 * float(x.X) + 1)) < 1e-12\n"
               "assert PsdExpr(3).getValue() == 3.0\n"),
            "");
}

TEST_F(SolvedSdp, RestoringTheSymmetricMatrix) {
  ASSERT_EQ(py("a = np.array([[1.0, 2.0], [3.0, 4.0]])\nz = np.array([[5.0, 0.0], [0.0, 0.0]])\n"
               "u = np.array([[1.0, 2.0], [0.0, 3.0]])\n"),
            "");
  const char* names[] = {"a", "z", "u"};
  for (const char* name : names) {
    Ref restored = psdexpr_restore_symmat(PyDict_GetItemString(globals_.get(), name));
    std::string key = std::string("r_") + name;
    PyDict_SetItemString(globals_.get(), key.c_str(), restored.get());
  }
  EXPECT_EQ(py("assert (r_a.toarray() == [[1, 3], [3, 4]]).all() and r_a.shape == (2, 2)\n"
               "assert r_z.nnz == 1 and (r_z.toarray() == z).all()\n"
               "assert (r_u.toarray() == [[1, 2], [2, 3]]).all()\n"),
            "");
}

TEST_F(SolvedSdp, TermsOnSemidefiniteVariables) {
  EXPECT_EQ(py("I = np.eye(2)\n"
               "e = PsdExpr(I, X)\n"
               "assert e.size() == 1 and e.getVar(0) is X and e.getCoeff(0) is I\n"
               "assert str(e) == '<PsdExpr: (2, 2) * X>'\n"
               "e.addTerms(2.0, x)\n"
               "assert str(e) == '<PsdExpr: (2, 2) * X + 2.0 * x>'\n"
               "assert str(X * I - 2 * x) == '<PsdExpr: (2, 2) * X + - 2.0 * x>'\n"
               "assert str(PsdExpr(-2.0 * x)) == '<PsdExpr: - 2.0 * x>'\n"
               "f = PsdExpr([(I, X), (2.0, x, 'third')])\n"
               "assert f.size() == 1 and f.getLinExpr().size() == 1\n"
               "g = PsdExpr()\n"
               "g.add(f)\n"
               "assert g.getCoeff(0) is f.getCoeff(0)\n"  // coefficients are shared, never changed
               "g.add(f, 0.0)\n"
               "assert g.size() == 2 and (g.getCoeff(1) == 0).all()\n"
               "h = -g\n"
               "assert (h.getCoeff(0) == -I).all() and (g.getCoeff(0) == I).all()\n"
               "g.addTerms([I, 2.0], [Y if False else X, x])\n"
               "assert g.size() == 3\n"
               "g.remove(5)\n"
               "g.remove(0)\n"
               "assert g.size() == 2\n"
               "g.remove(X)\n"
               "assert g.size() == 0 and g.getLinExpr().size() == 3\n"
               "g.remove(x)\n"
               "assert g.getLinExpr().size() == 0\n"
               "for left in (X * [[1, 0], [0, 1]], I * X, X * sp.csr_matrix(I), PsdExpr(I, X) * 2):\n"
               "    assert type(left) is PsdExpr and left.size() == 1\n"
               "r = e == [1, 2]\n"
               "assert 'lhs:\\n----\\n1\\n' in str(r)\n"),
            "");
  EXPECT_EQ(py("PsdExpr(np.ones((2, 3)), X)"), "ValueError: expect a square matrix");
  EXPECT_EQ(py("PsdExpr(np.eye(3), X)"), "ValueError: coefficient has different dim from psd variable");
  EXPECT_EQ(py("PsdExpr().addTerms([2.0], [X])"),
            "velmorpy.VelmorError: Expect a list of numpy ndarray or scipy sparse matrix");
  EXPECT_EQ(py("PsdExpr().addTerms([np.eye(2)], [x])"),
            "velmorpy.VelmorError: Expect a list of float value as coefficients");
  EXPECT_EQ(py("PsdExpr().addTerms([1], ['a'])"), "velmorpy.VelmorError: Invalid arguments");
  EXPECT_EQ(py("PsdExpr().addTerms(np.eye(2), 5)"), "velmorpy.VelmorError: Expect a var");
  EXPECT_EQ(py("PsdExpr().addTerms(2.0, X)"), "AttributeError: 'float' object has no attribute 'shape'");
  EXPECT_EQ(py("X * 2.0"), "TypeError: unsupported operand type(s) for *: `PsdVar` and `float`");
  EXPECT_EQ(py("2 * X"), "TypeError: unsupported operand type(s) for *: `PsdVar` and `int`");
  EXPECT_EQ(py("PsdExpr().add(None)"),
            "TypeError: Argument 'expr' has incorrect type (expected velmorpy.PsdExpr, got NoneType)");
  EXPECT_EQ(py("PsdExpr().remove('a')"), "TypeError: Argument `item` should be an integer or Var");
}

}  // namespace
}  // namespace velmorpy
