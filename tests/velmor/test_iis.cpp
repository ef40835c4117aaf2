// VLMcomputeIIS: irreducible sets of bound and row sides for linear and
// discrete models, its codes, and the callback during its MIP solves.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "solve_test_util.hpp"

using namespace vlmtest;

namespace {

constexpr int kLower = 1, kUpper = 2;  // IISVar / IISConstr: which sides belong

std::vector<int> iis_vars(VLMmodel* m) { return int_list(m, "IISVar", int_attr(m, "NumVars")); }
std::vector<int> iis_rows(VLMmodel* m) { return int_list(m, "IISConstr", int_attr(m, "NumConstrs")); }

TEST(Iis, TwoConflictingRowSidesAndNothingElse) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  VLMmodel* p = m.get();
  add_var(p, 0, kInf, 1);                // x
  add_var(p, 0, 10, 1);                  // y
  add_row(p, {0}, {1}, 2, kInf);         // x >= 2
  add_row(p, {0}, {1}, -kInf, 1);        // x <= 1
  add_row(p, {1, 0}, {1, 1}, -kInf, 50); // unrelated
  ASSERT_EQ(VLMcomputeIIS(p), VLM_OKAY);
  EXPECT_EQ(iis_rows(p), (std::vector<int>{kLower, kUpper, 0}));
  EXPECT_EQ(iis_vars(p), (std::vector<int>{0, 0}));
  // The aliases answer the same.
  EXPECT_EQ(int_list(p, "IISRow", 3), iis_rows(p));
  EXPECT_EQ(int_list(p, "IISCol", 2), iis_vars(p));
}

TEST(Iis, BoundSideAndRowSide) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  VLMmodel* p = m.get();
  add_var(p, -kInf, 3, 0);             // x <= 3
  add_var(p, 2, 4, 0);                 // unrelated bounds
  add_row(p, {0}, {1}, 5, 5);          // x = 5: its lower side conflicts
  add_row(p, {1}, {1}, -kInf, 3);
  ASSERT_EQ(VLMcomputeIIS(p), VLM_OKAY);
  EXPECT_EQ(iis_vars(p), (std::vector<int>{kUpper, 0}));
  EXPECT_EQ(iis_rows(p), (std::vector<int>{kLower, 0}));
}

TEST(Iis, TwoIndependentConflictsGiveOneIrreducibleSet) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  VLMmodel* p = m.get();
  add_var(p, 0, kInf, 0);
  add_var(p, 0, kInf, 0);
  add_row(p, {0}, {1}, 2, kInf);   // x >= 2
  add_row(p, {0}, {1}, -kInf, 1);  // x <= 1
  add_row(p, {1}, {1}, 5, kInf);   // y >= 5
  add_row(p, {1}, {1}, -kInf, 3);  // y <= 3
  ASSERT_EQ(VLMcomputeIIS(p), VLM_OKAY);
  const std::vector<int> rows = iis_rows(p);
  const bool first = rows == std::vector<int>{kLower, kUpper, 0, 0};
  const bool second = rows == std::vector<int>{0, 0, kLower, kUpper};
  EXPECT_TRUE(first || second) << rows[0] << rows[1] << rows[2] << rows[3];
  EXPECT_EQ(iis_vars(p), (std::vector<int>{0, 0}));
}

TEST(Iis, LargerLinearConflictThroughSeveralRows) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  VLMmodel* p = m.get();
  // x + y >= 10 with x <= 3, y <= 4 (bounds), plus rows that do not matter.
  add_var(p, 0, 3, 1);
  add_var(p, 0, 4, 1);
  add_var(p, 0, 8, 1);
  add_row(p, {0, 1}, {1, 1}, 10, kInf);
  add_row(p, {0, 2}, {1, 1}, -kInf, 20);
  add_row(p, {2}, {1}, 1, kInf);
  ASSERT_EQ(VLMcomputeIIS(p), VLM_OKAY);
  EXPECT_EQ(iis_rows(p), (std::vector<int>{kLower, 0, 0}));
  EXPECT_EQ(iis_vars(p), (std::vector<int>{kUpper, kUpper, 0}));
}

TEST(Iis, RowWithoutVariables) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  VLMmodel* p = m.get();
  ASSERT_EQ(VLMaddrangeconstr(p, 0, nullptr, nullptr, 1, 2, nullptr), VLM_OKAY);  // 0 in [1, 2]
  ASSERT_EQ(VLMaddrangeconstr(p, 0, nullptr, nullptr, -1, 2, nullptr), VLM_OKAY);
  ASSERT_EQ(VLMcomputeIIS(p), VLM_OKAY);
  EXPECT_EQ(iis_rows(p), (std::vector<int>{kLower, 0}));
}

TEST(Iis, FeasibleModelHasNone) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  VLMmodel* p = m.get();
  add_var(p, 0, 5, 1);
  add_row(p, {0}, {1}, 1, 2);
  EXPECT_EQ(VLMcomputeIIS(p), VLM_ERROR_IIS_FEASIBLE);
  int v = -1;
  const int i0 = 0;
  EXPECT_EQ(VLMgetintattrlist(p, "IISVar", 1, &i0, &v), VLM_ERROR_IIS_NO_SOLN);
  // A feasible MIP too.
  add_var(p, 0, 3, 1, VLM_INTEGER);
  EXPECT_EQ(VLMcomputeIIS(p), VLM_ERROR_IIS_FEASIBLE);
}

TEST(Iis, InfeasibleMipWithFeasibleRelaxation) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  VLMmodel* p = m.get();
  add_var(p, 0, 1, 3, VLM_BINARY);
  add_var(p, 0, 4, 1);
  add_row(p, {0}, {1}, 0.3, kInf);     // 0.3 <= x
  add_row(p, {0}, {1}, -kInf, 0.7);    //        x <= 0.7: no integer between
  add_row(p, {1, 0}, {1, 1}, 1, 30);   // unrelated
  ASSERT_EQ(VLMcomputeIIS(p), VLM_OKAY);
  EXPECT_EQ(iis_rows(p), (std::vector<int>{kLower, kUpper, 0}));
  EXPECT_EQ(iis_vars(p), (std::vector<int>{0, 0}));
}

// Solves the model restricted to the sides an IIS marked: it must be
// infeasible.
void expect_marked_sides_infeasible(VLMenv* env, VLMmodel* p) {
  const std::vector<int> vars = iis_vars(p), rows = iis_rows(p);
  ModelPtr sub = make_model(env);
  const int n = static_cast<int>(vars.size());
  for (int j = 0; j < n; ++j) {
    const double lb = dbl_item(p, "LB", j), ub = dbl_item(p, "UB", j);
    add_var(sub.get(), vars[static_cast<size_t>(j)] & kLower ? lb : -kInf,
            vars[static_cast<size_t>(j)] & kUpper ? ub : kInf, 0, char_item(p, "VType", j));
  }
  const Csr all = lines(p, true, 0, static_cast<int>(rows.size()));
  for (size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i]) continue;
    const int b = all.beg[i], e = all.beg[i + 1];
    ASSERT_EQ(VLMaddrangeconstr(sub.get(), e - b, all.ind.data() + b, all.val.data() + b,
                                rows[i] & kLower ? dbl_item(p, "LHS", static_cast<int>(i)) : -kInf,
                                rows[i] & kUpper ? dbl_item(p, "RHS", static_cast<int>(i)) : kInf, nullptr),
              VLM_OKAY);
  }
  set_dbl(sub.get(), "MaxTime", 5);
  solve(sub.get());
  EXPECT_EQ(int_attr(sub.get(), "Status"), VLM_STATUS_INFEASIBLE);
}

TEST(Iis, ParityConflictOverUnboundedIntegersStaysDecidable) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  VLMmodel* p = m.get();
  add_var(p, 0, 10, 1, VLM_INTEGER);
  add_var(p, 0, 10, 1, VLM_INTEGER);
  add_var(p, 0, 10, 1);
  add_row(p, {0, 1}, {2, 2}, 5, 5);   // no integer point: 2x + 2y is even
  add_row(p, {2, 0}, {1, 1}, 1, 30);  // unrelated
  ASSERT_EQ(VLMcomputeIIS(p), VLM_OKAY);
  // Either side of the row alone has integer points; with both, the row
  // proves infeasibility by itself, without the bounds (whose removal leaves
  // free integers no search decides) or the unrelated row and column.
  EXPECT_EQ(iis_rows(p), (std::vector<int>{kLower | kUpper, 0}));
  EXPECT_EQ(iis_vars(p), (std::vector<int>{0, 0, 0}));
  expect_marked_sides_infeasible(env.get(), p);
}

// The same row twice, one-sided, a fractional side between: each MIP
// question over the free integers is answered on the lattice of the rows'
// activities, without a search (which never ended: no IIS within MaxTime).
TEST(Iis, ParallelRowsWithoutAnIntegerPointBetweenThem) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  VLMmodel* p = m.get();
  for (int j = 0; j < 3; ++j) add_var(p, -kInf, kInf, 0, VLM_INTEGER);
  add_row(p, {0, 1, 2}, {3, 5, -7}, 2.5, kInf);
  add_row(p, {0, 1, 2}, {3, 5, -7}, -kInf, 2.5);
  add_row(p, {0, 1}, {1, 1}, -kInf, 10);  // unrelated
  set_dbl(p, "MaxTime", 10);
  ASSERT_EQ(VLMcomputeIIS(p), VLM_OKAY);
  EXPECT_EQ(iis_rows(p), (std::vector<int>{kLower, kUpper, 0}));
  EXPECT_EQ(iis_vars(p), (std::vector<int>{0, 0, 0}));
}

// Rounds of the elastic filter whose enforced sides are infeasible: the
// dual simplex says so, and the primal that confirms it, warm from the
// dual's last basis, stopped on errors (IIS_NUMERIC) on both models.
TEST(Iis, ConfirmedInfeasibilityOfAnElasticRound) {
  EnvPtr env = make_env();
  {
    // An LP where -2 x4 == -3 puts x4 at 1.5, above its upper bound -2.
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    add_var(p, -kInf, 5, 0);
    add_var(p, 3, kInf, 0);
    add_var(p, -kInf, kInf, 0);
    add_var(p, 3, 8, 0);
    add_var(p, -3, -2, 0);
    add_row(p, {1}, {3}, -kInf, 18);
    add_row(p, {3, 4, 1, 0}, {1, 1, 1, 1}, -5, -5);
    add_row(p, {0}, {3}, -kInf, 14);
    add_row(p, {1, 3, 0, 2}, {-5, -5, -1, 3}, -26, kInf);
    add_row(p, {4, 2, 3, 0}, {1, 1, 4, -2}, -16, 28);
    add_row(p, {0}, {-6}, -kInf, 12);
    add_row(p, {3, 1, 0, 2}, {1, 2, 1, 4}, -14, kInf);
    add_row(p, {0}, {-3}, 7, kInf);
    add_row(p, {4}, {-2}, -3, -3);
    ASSERT_EQ(VLMcomputeIIS(p), VLM_OKAY);
    EXPECT_EQ(iis_vars(p), (std::vector<int>{0, 0, 0, 0, kUpper}));
    EXPECT_EQ(iis_rows(p), (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 0, kUpper}));
  }
  {
    // A binary b and y in [-2, 1]; b <= -1 alone contradicts b >= 0.
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    add_var(p, 0, 1, 0, VLM_BINARY);
    add_var(p, -2, 1, 0);
    add_row(p, {1, 0}, {2, 1}, 2, kInf);
    add_row(p, {0, 1}, {-1, 2}, -2, kInf);
    add_row(p, {0}, {1}, -kInf, -1);
    add_row(p, {0}, {-3}, 1, kInf);
    add_row(p, {1, 0}, {-2, 1}, 3, 3);
    add_row(p, {1, 0}, {-5, 3}, -kInf, -1);
    add_row(p, {1, 0}, {-2, 1}, -kInf, -3);
    add_row(p, {0, 1}, {-2, -3}, -kInf, 3);
    add_row(p, {0}, {-1}, -kInf, 1);
    add_row(p, {1}, {1}, -kInf, 1);
    ASSERT_EQ(VLMcomputeIIS(p), VLM_OKAY);
    expect_marked_sides_infeasible(env.get(), p);
  }
}

TEST(Iis, InfeasibleRelaxationOfAMipIsReducedWithMipSolves) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  VLMmodel* p = m.get();
  // x + y >= 3.5 with integers x, y <= 1.5: the relaxation is infeasible
  // already (3 < 3.5), and each of the three sides is needed for the MIP too.
  add_var(p, 0, 1.5, 0, VLM_INTEGER);
  add_var(p, 0, 1.5, 0, VLM_INTEGER);
  add_row(p, {0, 1}, {1, 1}, 3.5, kInf);
  ASSERT_EQ(VLMcomputeIIS(p), VLM_OKAY);
  const std::vector<int> rows = iis_rows(p), vars = iis_vars(p);
  EXPECT_EQ(rows, (std::vector<int>{kLower}));
  EXPECT_EQ(vars, (std::vector<int>{kUpper, kUpper}));
}

// Indicator constraints stay in force and are never members; the bound that
// switches one on is.
TEST(Iis, IndicatorStaysInForce) {
  EnvPtr env = make_env();
  for (double x_ub : {10.0, kInf}) {  // big-M row, or the exact form
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    add_var(p, 1, 1, 0, VLM_BINARY);  // b = 1
    add_var(p, 0, x_ub, 0);           // x
    const int ind[] = {1};
    const double one[] = {1};
    ASSERT_EQ(VLMaddgenconstrIndicator(p, nullptr, 0, 1, 1, ind, one, '<', 2), VLM_OKAY);  // b = 1 -> x <= 2
    add_row(p, {1}, {1}, 5, kInf);                                                       // x >= 5
    ASSERT_EQ(VLMcomputeIIS(p), VLM_OKAY);
    EXPECT_EQ(iis_rows(p), (std::vector<int>{kLower}));
    EXPECT_EQ(iis_vars(p), (std::vector<int>{kLower, 0}));
  }
}

TEST(Iis, ResultGoesWithAChangeOfTheModel) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  VLMmodel* p = m.get();
  add_var(p, 0, 1, 0);
  add_row(p, {0}, {1}, 2, kInf);
  ASSERT_EQ(VLMcomputeIIS(p), VLM_OKAY);
  EXPECT_EQ(iis_vars(p), (std::vector<int>{kUpper}));
  const int j = 0;
  const double ub = 5;
  ASSERT_EQ(VLMsetdblattrlist(p, "UB", 1, &j, &ub), VLM_OKAY);
  int v = -1;
  EXPECT_EQ(VLMgetintattrlist(p, "IISVar", 1, &j, &v), VLM_ERROR_IIS_NO_SOLN);
  EXPECT_EQ(VLMcomputeIIS(p), VLM_ERROR_IIS_FEASIBLE);
}

TEST(Iis, TimeLimitGivesNoSolution) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  VLMmodel* p = m.get();
  add_var(p, 0, 1, 0);
  add_row(p, {0}, {1}, 2, kInf);
  set_dbl(p, "MaxTime", 0);
  EXPECT_EQ(VLMcomputeIIS(p), VLM_ERROR_IIS_NO_SOLN);
  EXPECT_EQ(VLMcomputeIIS(nullptr), VLM_ERROR_INVALID_ARGUMENT);
}

struct Turns {
  std::vector<int> wheres;
  int answer = 0;
};

int count_turn(VLMmodel* model, void*, int where, void* usrdata) {
  auto* t = static_cast<Turns*>(usrdata);
  t->wheres.push_back(where);
  // The model under computation refuses a second one meanwhile.
  EXPECT_EQ(VLMcomputeIIS(model), VLM_ERROR_INVALID_ARGUMENT);
  return t->answer;
}

ModelPtr parity_model(VLMenv* env) {
  ModelPtr m = make_model(env);
  add_var(m.get(), 0, 10, 1, VLM_INTEGER);
  add_var(m.get(), 0, 10, 1, VLM_INTEGER);
  add_row(m.get(), {0, 1}, {2, 2}, 5, 5);
  return m;
}

TEST(Iis, CallbackTakesTurnsInTheMipSolvesAndMayStopThem) {
  EnvPtr env = make_env();
  {
    ModelPtr m = parity_model(env.get());
    Turns turns;
    ASSERT_EQ(VLMsetcallbackfunc(m.get(), count_turn, &turns), VLM_OKAY);
    ASSERT_EQ(VLMcomputeIIS(m.get()), VLM_OKAY);
    EXPECT_GE(std::count(turns.wheres.begin(), turns.wheres.end(), VLM_CB_MIPSTART), 1);
    EXPECT_EQ(iis_rows(m.get()), (std::vector<int>{kLower | kUpper}));
  }
  {
    ModelPtr m = parity_model(env.get());
    Turns turns;
    turns.answer = VLM_ERROR_ABORT_CTRL_C;
    ASSERT_EQ(VLMsetcallbackfunc(m.get(), count_turn, &turns), VLM_OKAY);
    EXPECT_EQ(VLMcomputeIIS(m.get()), VLM_ERROR_ABORT_CTRL_C);
    EXPECT_EQ(turns.wheres.size(), 1u);
    int v = -1;
    const int i0 = 0;
    EXPECT_EQ(VLMgetintattrlist(m.get(), "IISConstr", 1, &i0, &v), VLM_ERROR_IIS_NO_SOLN);
  }
}

}  // namespace
