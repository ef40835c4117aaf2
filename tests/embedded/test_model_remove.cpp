// The removal's internal operations: the walk (getids) and the renumbering of
// one handle list (_remove), and the semidefinite-row handles, which follow
// the linear rows' numbering and are not visible from Python yet.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "attributes/handle.hpp"
#include "embedded.hpp"
#include "model/model.hpp"
#include "model/model_remove.hpp"

namespace velmorpy {
namespace {

using testing::run_code;

class Removal : public ::testing::Test {
 protected:
  void SetUp() override {
    globals_ = testing::python_namespace();
    ASSERT_EQ(run("m = Model('m')\nv = [m.addVar(name=f'v{i}') for i in range(5)]\n"
                  "c = [m.addConstr(v[i] <= i, f'c{i}') for i in range(4)]\n"
                  "other = Model('other')\nw = other.addVar()\n"),
              "");
    model_ = Ref::borrow(PyDict_GetItemString(globals_.get(), "m"));
    holder_ = holder_of(model_.get());
  }
  void TearDown() override {
    run("m.dispose()\nother.dispose()\n");
    globals_.reset();
  }

  std::string run(const char* code) { return run_code(globals_.get(), code); }
  Ref eval(const char* expr) { return Ref::steal(PyRun_String(expr, Py_eval_input, globals_.get(), globals_.get())); }

  // The indices of the handles a list holds.
  std::vector<int> indices(PyObject* list) {
    std::vector<int> out;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i) out.push_back(as_handle(PyList_GET_ITEM(list, i))->index);
    return out;
  }
  std::vector<int> indices(const char* expr) {
    Ref list = eval(expr);
    return list ? indices(list.get()) : std::vector<int>{-99};
  }

  Ref globals_, model_, holder_;
};

TEST_F(Removal, TheWalkSortsHandlesByKindAndRefusesBeforeAnything) {
  RemovalItems found;
  Ref items = eval("[c[1], {'a': v[3], 'b': (v[0],)}, (x for x in [v[3], c[0]])]");
  ASSERT_TRUE(items);
  model_getids(holder_, items.get(), found);
  ASSERT_EQ(found.vars.size(), 3u);
  ASSERT_EQ(found.constrs.size(), 2u);
  EXPECT_TRUE(found.soss.empty() && found.genconstrs.empty());
  EXPECT_EQ(as_handle(found.vars[0].get())->index, 3);
  EXPECT_EQ(as_handle(found.constrs[1].get())->index, 0);

  RemovalItems refused;
  Ref bad = eval("[v[0], w]");
  EXPECT_EQ(testing::raised_message([&] { model_getids(holder_, bad.get(), refused); }),
            "Argument `items` holds an item of another model");
  Ref scalar = eval("[v[0], 2.5]");
  EXPECT_EQ(testing::raised_message([&] { model_getids(holder_, scalar.get(), refused); }),
            "unsupported type: `float`");
}

TEST_F(Removal, ARenumberingAllocatesFirstAndLeavesForeignObjectsAlone) {
  // A list as the model's would be, with a foreign object, a handle of another
  // model and an unbound handle mixed in; an id beyond the list names nothing.
  ASSERT_EQ(run("h = m.getVars()\nlst = [h[0], 'junk', h[1], w, h[2], Var(), h[3], h[4]]\n"), "");
  Ref list = eval("lst");
  ListRenumbering renumbering(list, {1, 3, 7}, holder_);
  EXPECT_EQ(indices("h"), (std::vector<int>{0, 1, 2, 3, 4}));  // nothing written yet
  Ref fresh = renumbering.apply();
  EXPECT_EQ(indices("h"), (std::vector<int>{0, -2, 1, -4, 2}));
  EXPECT_EQ(indices(fresh.get()), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(PyList_GET_ITEM(fresh.get(), 2), PyList_GET_ITEM(list.get(), 7));
  EXPECT_EQ(run("assert w.index == 0 and lst[1] == 'junk'\n"), "");
  EXPECT_TRUE(renumbering.unchanged(list.get()));
  EXPECT_EQ(run("lst.append(1)\n"), "");
  EXPECT_FALSE(renumbering.unchanged(list.get()));
}

TEST_F(Removal, SemidefiniteRowHandlesFollowTheLinearRows) {
  ModelObject* m = as_model(model_.get());
  ASSERT_EQ(indices(m->psdconstrs_), (std::vector<int>{0, 1, 2, 3}));
  Ref kept = Ref::borrow(PyList_GET_ITEM(m->psdconstrs_, 3));
  Ref gone = Ref::borrow(PyList_GET_ITEM(m->psdconstrs_, 1));
  ASSERT_EQ(run("m.remove([c[1], c[0], v[2]])\n"), "");
  EXPECT_EQ(indices(m->psdconstrs_), (std::vector<int>{0, 1}));
  EXPECT_EQ(indices(m->constrs_), (std::vector<int>{0, 1}));
  EXPECT_EQ(as_handle(kept.get())->index, 1);
  EXPECT_EQ(as_handle(gone.get())->index, -2);
  EXPECT_EQ(run("assert [x.ConstrName for x in m.getConstrs()] == ['c2', 'c3'] and c[3].index == 1\n"), "");
}

}  // namespace
}  // namespace velmorpy
