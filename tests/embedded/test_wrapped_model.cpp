// Models built through the library's C interface and wrapped with model_new,
// for what Python cannot make yet (constraints, semidefinite variables): the
// handle lists, matrix attributes, Column pairs of distinct constraints and
// addVar's column; also the layer's broadcasting form of _setAttr, and
// _get_element.
#include <gtest/gtest.h>

#include <string>

#include <velmor.h>

#include "attributes/attr_access.hpp"
#include "attributes/handle.hpp"
#include "attributes/var.hpp"
#include "embedded.hpp"
#include "model/model.hpp"
#include "runtime/holder.hpp"

namespace velmorpy {
namespace {

using testing::raised;
using testing::str;
using testing::text;

// One linear variable, three linear rows, and two semidefinite variables:
// X (3 x 3, objective with one diagonal entry) and Y (2 x 2, no objective).
VLMmodel* build_psd_model() {
  VLMenv* env = nullptr;
  EXPECT_EQ(VLMemptyenv(&env), 0);
  VLMmodel* mdl = nullptr;
  EXPECT_EQ(VLMnewmodel(env, &mdl, "psd", 0, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(VLMaddvar(mdl, 0, nullptr, nullptr, 0.0, 0.0, 10.0, 'C', "x"), 0);
  const int col = 0;
  const double one = 1.0;
  for (const char* name : {"c0", "c1", "c2"}) EXPECT_EQ(VLMaddrangeconstr(mdl, 1, &col, &one, 0.0, 1.0, name), 0);
  const int pos = 4;  // (1, 1)
  const double val = 2.0;
  EXPECT_EQ(VLMaddpsdvar(mdl, 3, 1, &pos, &val, "X"), 0);
  EXPECT_EQ(VLMaddpsdvar(mdl, 2, 0, nullptr, nullptr, "Y"), 0);
  VLMfreeenv(env);  // the model keeps its own copy of the environment
  return mdl;
}

// Python code run against one wrapped model, with the names m, X, Y, x, c
// (its handles), np, sp and velmorpy bound.
class PsdModel : public ::testing::Test {
 protected:
  void SetUp() override {
    model_ = model_new(build_psd_model());
    ASSERT_TRUE(model_);
    globals_ = Ref::steal(PyDict_New());
    PyDict_SetItemString(globals_.get(), "__builtins__", PyEval_GetBuiltins());
    PyDict_SetItemString(globals_.get(), "m", model_.get());
    ModelObject* m = as_model(model_.get());
    PyDict_SetItemString(globals_.get(), "X", PyList_GET_ITEM(m->psdvars_, 0));
    PyDict_SetItemString(globals_.get(), "Y", PyList_GET_ITEM(m->psdvars_, 1));
    PyDict_SetItemString(globals_.get(), "x", PyList_GET_ITEM(m->vars_, 0));
    PyDict_SetItemString(globals_.get(), "c", PyList_GET_ITEM(m->constrs_, 0));
    ASSERT_EQ(run("import numpy as np\nimport scipy.sparse as sp\nimport velmorpy\n"), "");
  }
  void TearDown() override {
    globals_.reset();
    model_.reset();
  }

  std::string run(const char* code) { return testing::run_code(globals_.get(), code); }

  Ref holder() { return Ref::borrow(as_model(model_.get())->holder_); }

  Ref model_;
  Ref globals_;
};

TEST_F(PsdModel, PopulateBuildsEveryListFromTheCounts) {
  ModelObject* m = as_model(model_.get());
  EXPECT_EQ(PyList_GET_SIZE(m->vars_), 1);
  EXPECT_EQ(PyList_GET_SIZE(m->constrs_), 3);
  EXPECT_EQ(PyList_GET_SIZE(m->psdconstrs_), 3);  // one numbering for both kinds of rows
  EXPECT_EQ(PyList_GET_SIZE(m->psdvars_), 2);
  EXPECT_EQ(PyList_GET_SIZE(m->soss_), 0);
  EXPECT_EQ(PyList_GET_SIZE(m->genconstrs_), 0);
  for (Py_ssize_t i = 0; i < 3; ++i) {
    EXPECT_EQ(as_handle(PyList_GET_ITEM(m->constrs_, i))->index, i);
    EXPECT_EQ(as_handle(PyList_GET_ITEM(m->psdconstrs_, i))->index, i);
  }
  EXPECT_EQ(run("assert m.getVarByName('x') is x and m.getConstrByName('c2').index == 2\n"
                "assert m.getConstrs()[1].ConstrName == 'c1' and m.Params is m.params\n"
                "assert str(X) == '<PsdVar X>' and X.dim == 3 and Y.Dim == 2 and X.index == 0 and Y.index == 1\n"
                "assert [str(p) for p in [m.getConstrs()[0]]] == ['<Constr c0>']\n"),
            "");
}

TEST_F(PsdModel, ConstraintHandlesAndMixedKinds) {
  EXPECT_EQ(run("c0, c1, c2 = m.getConstrs()\n"
                "assert [hash(k) for k in (c0, c1, c2)] == [0, 1, 2] and c1.sameAs(c1) and not c1.sameAs(c2)\n"
                "assert m.getAttr('RHS', [c2, c0]) == [1.0, 1.0] and c1.constrname == 'c1'\n"
                "c1.RHS = 4\n"
                "m.setAttr('LHS', [c0, c1], [-1, -2])\n"
                "assert m.getAttr('lhs', [c0, c1, c2]) == [-1.0, -2.0, 0.0] and c1.rhs == 4.0\n"
                "assert str(m.getConstrs()[1]) == '<Constr c1>'\n"),
            "");
  EXPECT_EQ(run("m.getAttr('RHS', [c, x])"), "TypeError: Cannot convert velmorpy.Var to velmorpy.Constr");
  EXPECT_EQ(run("m.getAttr('UB', [x, c])"), "TypeError: Cannot convert velmorpy.Constr to velmorpy.Var");
  EXPECT_EQ(run("m.getAttr('Dim', [X, c])"), "TypeError: Cannot convert velmorpy.Constr to velmorpy.PsdVar");
  EXPECT_EQ(run("c.UB"), "AttributeError: Attribute `UB` does not exist");
  EXPECT_EQ(run("m.getAttr('PsdCRHS', [c])"), "AttributeError: Attribute `PsdCRHS` does not exist");
}

TEST_F(PsdModel, MatrixReadsDenseWhenHalfFullElseCoordinateForm) {
  EXPECT_EQ(run("full = np.array([[1.0, 2.0, 0.0], [2.0, 3.0, 4.0], [0.0, 4.0, 5.0]])\n"
                "X.PsdObj = full\n"  // 7 stored entries of 9: dense
                "got = X.psdobj\n"
                "assert type(got) is np.ndarray and got.dtype == np.float64\n"
                "assert (got == full).all()\n"
                "X.psdobj = np.eye(3)\n"  // 3 of 9: coordinate form
                "got = X.getAttr('PsdObj')\n"
                "assert isinstance(got, sp.coo_matrix) and got.shape == (3, 3) and got.nnz == 3\n"
                "assert (got.toarray() == np.eye(3)).all()\n"
                "assert isinstance(Y.PsdObj, sp.coo_matrix) and Y.PsdObj.shape == (2, 2) and Y.PsdObj.nnz == 0\n"),
            "");
}

TEST_F(PsdModel, MatrixBatchThroughTheModelDenseAndSparse) {
  EXPECT_EQ(run("A = np.array([[1.0, 1.0, 0.0], [1.0, 1.0, 0.0], [0.0, 0.0, 1.0]])\n"
                "B = sp.csr_matrix(np.array([[0.0, 3.0], [3.0, 0.0]]))\n"
                "m.setAttr('psdobj', [X, Y], [A, B])\n"
                "a, b = m.getAttr('PSDOBJ', [X, Y])\n"
                "assert (a == A).all()\n"  // 5 of 9 stored
                "assert (b == B.toarray()).all()\n"  // 2 of 4 stored: dense
                "one = m.getAttr('PsdObj', Y)\n"
                "assert (one == B.toarray()).all()\n"
                "assert m.getAttr('PsdObj', []) == []\n"),
            "");
}

TEST_F(PsdModel, CallersArraysAreNeitherRelaidNorChanged) {
  EXPECT_EQ(run("a = np.asfortranarray(np.array([[1.0, 2.0, 3.0], [2.0, 4.0, 5.0], [3.0, 5.0, 6.0]]))\n"
                "before = a.copy(order='K')\n"
                "X.PsdObj = a\n"
                "assert a.flags.f_contiguous and not a.flags.c_contiguous\n"
                "assert (a == before).all()\n"
                "assert (X.PsdObj == before).all()\n"
                "ints = np.array([[2, 0, 0], [0, 2, 0], [0, 0, 2]], dtype=np.int32)\n"
                "X.PsdObj = ints\n"
                "assert ints.dtype == np.int32 and (X.PsdObj.toarray() == 2 * np.eye(3)).all()\n"),
            "");
}

TEST_F(PsdModel, MatrixRefusals) {
  EXPECT_EQ(run("X.PsdObj = np.ones(3)"), "IndexError: tuple index out of range");  // shape read first
  EXPECT_EQ(run("X.PsdObj = np.ones((2, 2, 2))"), "ValueError: Expect a numpy 2d-array or scipy sparse matrix");
  EXPECT_EQ(run("X.PsdObj = [[1.0]]"), "AttributeError: 'list' object has no attribute 'shape'");
  // A matrix of another size than the variable's is the library's to refuse.
  EXPECT_EQ(run("X.PsdObj = np.eye(2)").rfind("velmorpy.VelmorError", 0), 0u);
  EXPECT_EQ(run("m.setAttr('PsdObj', [X, Y], [np.eye(3)])"),
            "ValueError: the number of values (1) differs from the number of objects (2)");
  EXPECT_EQ(run("m.getAttr('PsdObj')"), "AttributeError: Attribute `PsdObj` does not exist");
  EXPECT_EQ(run("m.PsdObj = np.eye(3)"), "AttributeError: Attribute `PsdObj` does not exist");
  EXPECT_EQ(run("x.PsdObj"), "AttributeError: Attribute `PsdObj` does not exist");
  // No solution yet.
  EXPECT_EQ(run("X.PsdX").rfind("velmorpy.VelmorError", 0), 0u);
  // Nothing was written by the refused requests.
  EXPECT_EQ(run("got = X.PsdObj\nassert got.nnz == 1 and got.toarray()[1, 1] == 2.0\n"), "");
}

TEST_F(PsdModel, HandlesOfTheWrappedModelDieWithIt) {
  EXPECT_EQ(run("m2 = m.copy()\nm.dispose()\nm.dispose()\n"), "");
  EXPECT_EQ(run("X.dim").rfind("velmorpy.VelmorError: ", 0), 0u);
  EXPECT_EQ(run("import velmorpy\ntry:\n    X.PsdObj\nexcept velmorpy.VelmorError as e:\n    assert e.errno == -3\n"), "");
  EXPECT_EQ(run("assert m2.NumPsdVars == 2 and m2.NumConstrs == 3\n"), "");
}

TEST_F(PsdModel, SetAttrBroadcastsAScalarToEveryItem) {
  Ref x2 = Ref::steal(PyObject_CallMethod(model_.get(), "addVar", nullptr));
  ASSERT_TRUE(x2);
  Ref x = Ref::borrow(PyList_GET_ITEM(as_model(model_.get())->vars_, 0));
  Ref objs = Ref::steal(PyList_New(2));
  PyList_SET_ITEM(objs.get(), 0, Py_NewRef(x.get()));
  PyList_SET_ITEM(objs.get(), 1, Py_NewRef(x2.get()));
  Ref lower = Ref::steal(PyFloat_FromDouble(-1.5));
  _setAttr(holder(), str("LB").get(), AttrKind::Var, objs.get(), lower.get());
  _setAttr(holder(), str("varname").get(), AttrKind::Var, objs.get(), str("same").get());
  Ref lb = _getAttr(holder(), str("LB").get(), AttrKind::Var, objs.get());
  Ref names = _getAttr(holder(), str("VarName").get(), AttrKind::Var, objs.get());
  PyDict_SetItemString(globals_.get(), "lb", lb.get());
  PyDict_SetItemString(globals_.get(), "names", names.get());
  EXPECT_EQ(run("assert lb.dtype == np.float64 and lb.tolist() == [-1.5, -1.5]\n"
                "assert names.dtype == object and names.tolist() == ['same', 'same']\n"),
            "");
  // None is not a scalar: it is iterated, and fails as the interpreter says.
  EXPECT_EQ(raised([&] { _setAttr(holder(), str("LB").get(), AttrKind::Var, objs.get(), Py_None); }), "TypeError");
  // A NumPy array and a sparse matrix give their values, zeros included.
  EXPECT_EQ(run("m.setAttr('UB', m.getVars(), np.array([4.0, 5.0]))\n"
                "assert m.getAttr('UB', m.getVars()) == [4.0, 5.0]\n"
                "m.setAttr('UB', m.getVars(), sp.csr_matrix(np.array([[0.0, 7.0]])))\n"
                "assert m.getAttr('UB', m.getVars()) == [0.0, 7.0]\n"),
            "");
}

TEST_F(PsdModel, ReadsReturnArraysOfTheAttributesType) {
  Ref objs = Ref::steal(PyList_New(1));
  PyList_SET_ITEM(objs.get(), 0, Py_NewRef(PyList_GET_ITEM(as_model(model_.get())->psdvars_, 0)));
  Ref dims = _getAttr(holder(), str("dim").get(), AttrKind::PsdVar, objs.get());
  Ref name = _getAttr(holder(), str("ModelName").get(), AttrKind::Model, nullptr);
  Ref empty = Ref::steal(PyList_New(0));
  Ref none = _getAttr(holder(), str("UB").get(), AttrKind::Var, empty.get());
  PyDict_SetItemString(globals_.get(), "dims", dims.get());
  PyDict_SetItemString(globals_.get(), "name", name.get());
  PyDict_SetItemString(globals_.get(), "none", none.get());
  EXPECT_EQ(run("assert dims.dtype == np.int32 and dims.tolist() == [3]\n"
                "assert name.shape == (1,) and name[0] == 'psd'\n"
                "assert none.shape == (0,) and none.dtype == np.float64\n"),
            "");
}

TEST_F(PsdModel, ColumnPairsOfDistinctConstraints) {
  EXPECT_EQ(run("c0, c1, c2 = m.getConstrs()\n"
                "col = velmorpy.Column([1, 2, 3, 4], [c0, c1, c0, c2])\n"
                "dup = col.copy()\n"
                "col.remove(c0)\n"
                "assert col.size() == 2 and [col.getConstr(i) for i in range(2)] == [c1, c2]\n"
                "assert [col.getCoeff(i) for i in range(2)] == [2.0, 4.0]\n"
                "assert dup.size() == 4 and dup.getConstr(2) is c0\n"
                "dup.remove(c2)\n"
                "dup.remove(velmorpy.Constr())\n"  // index 0 of no model: not c0
                "assert dup.size() == 3\n"),
            "");
}

TEST_F(PsdModel, AddVarMergesItsColumnByRow) {
  ASSERT_EQ(run("c0, c1, c2 = m.getConstrs()\n"
                "y = m.addVar(obj=1.0, name='y', column=velmorpy.Column([1.0, 2.0, 5.0, -0.5], [c2, c0, c0, c1]))\n"
                "assert y.index == 1 and m.getVars()[1] is y and y.Obj == 1.0\n"),
            "");
  VLMmodel* mdl = live_model(holder());
  double v0 = 0, v1 = 0, v2 = 0;
  ASSERT_EQ(VLMgetcoeff(mdl, 0, 1, &v0), 0);
  ASSERT_EQ(VLMgetcoeff(mdl, 1, 1, &v1), 0);
  ASSERT_EQ(VLMgetcoeff(mdl, 2, 1, &v2), 0);
  EXPECT_EQ(v0, 7.0);  // the two terms of row 0 summed
  EXPECT_EQ(v1, -0.5);
  EXPECT_EQ(v2, 1.0);
  // A constraint of another model is refused before anything changes.
  EXPECT_EQ(run("other = m.copy()\n"
                "m.addVar(column=velmorpy.Column(1.0, other.getConstrs()[0]))\n"),
            "ValueError: Argument `column` holds an item of another model");
  EXPECT_EQ(run("assert m.NumVars == 2 and len(m.getVars()) == 2\n"), "");
}

TEST(AttrInfo, TypeAndKindAsTheLibraryReportsThem) {
  VLMmodel* mdl = build_psd_model();
  AttrInfo vtype = _getAttrInfo(mdl, "VType");
  EXPECT_EQ(vtype.type, AttrType::Char);
  EXPECT_EQ(vtype.kind, AttrKind::Var);
  AttrInfo psdx = _getAttrInfo(mdl, "PsdX");
  EXPECT_EQ(psdx.type, AttrType::Matrix);
  EXPECT_EQ(psdx.kind, AttrKind::PsdVar);
  AttrInfo objval = _getAttrInfo(mdl, "ObjVal");
  EXPECT_EQ(objval.type, AttrType::Double);
  EXPECT_EQ(objval.kind, AttrKind::Model);
  EXPECT_THROW(_getAttrInfo(mdl, "NoSuchAttribute"), VlmCodeError);
  VLMfreemodel(mdl);
}

TEST(GetElement, ScalarForAllOrElementOfASequence) {
  Ref five = Ref::steal(PyFloat_FromDouble(5.0));
  EXPECT_EQ(model_get_element(five.get(), 3).get(), five.get());
  Ref list = Ref::steal(Py_BuildValue("[iii]", 1, 2, 3));
  Ref second = model_get_element(list.get(), 1);
  EXPECT_EQ(PyLong_AsLong(second.get()), 2);
  Ref name = str("abc");
  EXPECT_EQ(model_get_element(name.get(), 2).get(), name.get());
}

TEST(ModelNew, OwnsTheHandleAndFreesItOnce) {
  Ref model = model_new(build_psd_model());
  PyObject* holder = as_model(model.get())->holder_;
  Ref keep = Ref::borrow(holder);
  EXPECT_TRUE(holder_alive(holder));
  model.reset();  // finalised: the library model is freed, the holder marked dead
  EXPECT_FALSE(holder_alive(keep.get()));
  EXPECT_THROW(live_model(keep), VlmCodeError);
}

}  // namespace
}  // namespace velmorpy
