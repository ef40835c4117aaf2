// Quadratic and SOS models that once crashed or hung the solver: relaxations
// CLP's quadratic primal cannot finish or gets wrong, and SOS sets with
// members whose bounds exclude 0; each optimum is worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "solve_test_util.hpp"

using namespace vlmtest;

namespace {

int set_bound(VLMmodel* m, const char* name, int col, double value) {
  return VLMsetdblattrlist(m, name, 1, &col, &value);
}

// Solves m, expecting an optimum of value `obj` at `x` (the first columns).
void expect_optimum(VLMmodel* m, double obj, std::initializer_list<double> x) {
  solve(m);
  ASSERT_EQ(int_attr(m, "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(m, "ObjVal"), obj, 1e-6);
  expect_near_all(dbl_list(m, "X", static_cast<int>(x.size())), x, 1e-5);
}

ModelPtr model_from_lp(VLMenv* env, const std::string& name, const std::string& text) {
  const std::string path = temp_path(name + ".lp");
  write_text(path, text);
  ModelPtr m = read_model(env, path);
  std::remove(path.c_str());
  return m;
}

// Branching on x6 = 0.5 gives a child (x6 <= 0) that row r5 makes
// infeasible; its relaxation starts from the parent's point. The quadratic
// primal gave up on it, and the linear check that followed crashed in CLP.
// Optimum: b0 = 0, x6 = 1, the rest unconstrained: -15.87903226.
TEST(OptimizeMiqp, InfeasibleChildOfAnIndicatorModel) {
  EnvPtr env = make_env();
  ModelPtr m = model_from_lp(env.get(), "miqp_infeasible_child",
                             "Minimize\n"
                             " obj: - 2 x0 - 4 x2 + 1 x3 - 3 x5 + 0 x6 - 3 x7 + 2 b0 + 2 b1 + [ + 1 x0 ^ 2 + 1 x2 ^ 2"
                             " - 0.5 x2 * x5 + 2 x3 ^ 2 + 2 x5 ^ 2 + 1 x6 ^ 2 + 2 x7 ^ 2 ] / 2\n"
                             "Subject To\n"
                             " r5: + 2 x6 >= 1\n"
                             " g2: b0 = 1 -> + 3 x5 + 3 x6 <= 3\n"
                             "Bounds\n"
                             "Generals\n"
                             " x6\n"
                             "Binaries\n"
                             " b0\n"
                             "End\n");
  ASSERT_NE(m, nullptr);
  // x2, x5 solve x2 - x5/4 = 4, 2 x5 - x2/4 = 3.
  const double x5 = 4 / 1.9375, x2 = 4 + x5 / 4;
  expect_optimum(m.get(), -2 - 2.25 + 0.5 + 0.5 * (-4 * x2 - 3 * x5), {2, x2, 0, x5, 1, 1.5, 0, 0});
}

// Each S1 set holds x1, whose bounds exclude 0, so x4 (and x2, x3) are 0;
// x0 = 0 would need x4 >= 1: x0 = 1 and x1 = -2 (the bound nearest the
// unconstrained minimiser 2/3). The search crashed, or ran for ever, here.
// Optimum 4 + 1/2 + 2 + 3/4 * 4 + 1 = 10.5.
TEST(OptimizeMiqp, SosSetsAndIndicators) {
  EnvPtr env = make_env();
  ModelPtr m = model_from_lp(env.get(), "miqp_sos_indicators",
                             "Minimize\n"
                             " obj: + 4 x0 - 1 x1 - 3 x2 + 0 x3 - 4 x4 + [ + 1 x0 ^ 2 + 1.5 x1 ^ 2 + 0.5 x2 ^ 2"
                             " + 1.5 x3 ^ 2 + 0.5 x4 ^ 2 ] / 2 + 1\n"
                             "Subject To\n"
                             " R0: - 1 x1 <= 4\n"
                             " G0: x0 = 1 -> + 1 x4 >= 0\n"
                             " G1: x0 = 0 -> - 2 x4 <= -2\n"
                             "Bounds\n"
                             " -inf <= x1 <= -2\n"
                             " -3 <= x2 <= +inf\n"
                             " -2 <= x4 <= 2\n"
                             "Binaries\n"
                             " x0\n"
                             "SOS\n"
                             " s0: S1:: x1:3 x4:8\n"
                             " s1: S1:: x1:5 x4:6 x3:7 x2:9\n"
                             "End\n");
  ASSERT_NE(m, nullptr);
  expect_optimum(m.get(), 10.5, {1, -2, 0, 0, 0});
}

// SOS sets whose members' bounds decide them; CBC stopped the process on
// them. In weight order the S2 set reads x1, x3, x0, x2 with x1, x0, x2
// fixed away from 0: no two neighbours hold them, infeasible. With x2 free
// to be 0 instead, x1 and x0 must be neighbours, which they are not either;
// with x0 free too, x1 leaves x3 as the one other member that may be
// non-zero. Each on positive members (linear: CBC) and on their mirror
// image (our own search), with a linear and a quadratic objective.
TEST(OptimizeMiqp, SosMembersBoundedAwayFromZero) {
  for (const double sign : {1.0, -1.0})
    for (const bool quadratic : {false, true}) {
      SCOPED_TRACE(std::string(sign > 0 ? "positive" : "negative") + (quadratic ? ", quadratic" : ", linear"));
      EnvPtr env = make_env();
      ModelPtr m = make_model(env.get());
      auto var = [&](double lo, double hi, double obj, char type) {
        return sign > 0 ? add_var(m.get(), lo, hi, obj, type) : add_var(m.get(), -hi, -lo, -obj, type);
      };
      auto bounds = [&](int col, double lo, double hi) {
        ASSERT_EQ(set_bound(m.get(), "LB", col, sign > 0 ? lo : -hi), VLM_OKAY);
        ASSERT_EQ(set_bound(m.get(), "UB", col, sign > 0 ? hi : -lo), VLM_OKAY);
      };
      const int x0 = var(2, 2, 4, VLM_INTEGER);
      const int x1 = var(2, 2, -4, VLM_CONTINUOUS);
      const int x2 = var(3, 3, -4, VLM_INTEGER);
      const int x3 = var(0, 4, -1, VLM_CONTINUOUS);
      if (quadratic) add_quad(m.get(), {x3}, {x3}, {1.0});
      add_sos(m.get(), 2, {x1, x3, x0, x2}, {3, 4, 6, 8});
      solve(m.get());
      EXPECT_EQ(int_attr(m.get(), "Status"), VLM_STATUS_INFEASIBLE);

      bounds(x2, 0, 3);
      solve(m.get());
      EXPECT_EQ(int_attr(m.get(), "Status"), VLM_STATUS_INFEASIBLE);

      bounds(x0, 0, 3);
      // x1 = 2 (cost -8); x3 in [0, 4] minimises -x3 (+ x3^2 when quadratic).
      const double best = quadratic ? 0.5 : 4.0;
      expect_optimum(m.get(), -8 - best + (quadratic ? best * best : 0.0), {0, sign * 2, 0, sign * best});
    }
}

// A member the rows keep away from 0: x1 = -2/3 leaves x0 = 0 in both S1
// sets, which the second row (x0 >= 1.5) refuses; CBC's search raised x0's
// lower bound and stopped the process there. Without that row the
// optimum is x0 = 0, x1 = -2/3.
TEST(OptimizeMiqp, SosMemberKeptFromZeroByTheRows) {
  for (const bool quadratic : {false, true}) {
    SCOPED_TRACE(quadratic ? "quadratic" : "linear");
    EnvPtr env = make_env();
    ModelPtr m = make_model(env.get());
    const int x0 = add_var(m.get(), -2, 2, -2, VLM_INTEGER);
    const int x1 = add_var(m.get(), -1, 0, -2);
    if (quadratic) add_quad(m.get(), {x1}, {x1}, {1.0});
    add_row(m.get(), {x1}, {3}, -2, -2);
    const int cut = add_row(m.get(), {x0, x1}, {-2, -3}, -kInf, -1);
    add_sos(m.get(), 1, {x0, x1}, {1, 5});
    add_sos(m.get(), 1, {x1, x0}, {2, 5});
    solve(m.get());
    EXPECT_EQ(int_attr(m.get(), "Status"), VLM_STATUS_INFEASIBLE);

    const double three = 3;
    ASSERT_EQ(VLMsetdblattrlist(m.get(), "RHS", 1, &cut, &three), VLM_OKAY);
    expect_optimum(m.get(), 4.0 / 3 + (quadratic ? 4.0 / 9 : 0.0), {0, -2.0 / 3});
  }
}

// CLP's quadratic primal stops on this QP at 17.3125 and calls it optimal;
// its multipliers do not confirm it, and the interior point method finds
// the optimum. With x0 = -2, x2 = 4 + x1 - 2 x3 from R0, and the gradient
// of the rest zero: 4 - 1.5 x1 + x3 = 0, x1 - 2.5 x3 = 2, so x3 = 4/11,
// x1 = 32/11, x2 = 68/11, objective 115/11.
TEST(OptimizeMiqp, QpOptimumCheckedByItsMultipliers) {
  EnvPtr env = make_env();
  ModelPtr m = model_from_lp(env.get(), "qp_checked",
                             "Maximize\n"
                             " obj: - 3 x0 + 5 x1 + 1 x2 - 4 x3 + [ - 0.5 x0 ^ 2 - 1 x1 ^ 2 - 0.5 x2 ^ 2 - 0.5 x3 ^ 2 ] / 2\n"
                             "Subject To\n"
                             " R0: - 2 x0 - 1 x1 + 1 x2 + 2 x3 = 8\n"
                             " R1: + 3 x0 + 2 x1 >= -6\n"
                             "Bounds\n"
                             " x0 = -2\n"
                             " 0 <= x1 <= 5\n"
                             " -3 <= x2 <= +inf\n"
                             " x3 free\n"
                             "End\n");
  ASSERT_NE(m, nullptr);
  expect_optimum(m.get(), 115.0 / 11, {-2, 32.0 / 11, 68.0 / 11, 4.0 / 11});
  // The duals the interior point method reports: R0's multiplier prices x2.
  const std::vector<double> pi = dbl_list(m.get(), "DualSoln", 2);
  EXPECT_NEAR(pi[0], 1 - 0.5 * 68.0 / 11, 1e-5);
  EXPECT_NEAR(pi[1], 0.0, 1e-6);
}

// The search takes x3 off (its switch within the integrality tolerance of
// 0) at 1.2e-6, where 3 x0 + 2 x3 = 12 misses by 2.4e-6: the point is
// settled at x3 = 0 (nearer 0 than its range [3, 4]) and solved again, and
// being as good as the search's, stays optimal (it was UNKNOWN, no point).
// Optimum: x0 = 4, x1 = 10/3, x2 = -1, x3 = 0, objective 71/6.
TEST(OptimizeMiqp, SemicontinuousOffWithinItsSwitchTolerance) {
  EnvPtr env = make_env();
  ModelPtr m = model_from_lp(env.get(), "miqp_semicont_off",
                             "Maximize\n"
                             " obj: + 2 x0 + 5 x1 - 1 x2 + 2 x3 + 3 ObjConst + [ - 1 x0 ^ 2 - 2 x0 * x3 - 1.5 x1 ^ 2"
                             " - 1 x2 ^ 2 - 2.5 x3 ^ 2 ] / 2\n"
                             "Subject To\n"
                             " R0: + 3 x0 + 2 x3 = 12\n"
                             " R1: + 2 x0 + 2 x1 >= 8\n"
                             "Bounds\n"
                             " 2 <= x0 <= 4\n"
                             " -3 <= x2 <= 0\n"
                             " 3 <= x3 <= 4\n"
                             " ObjConst = 1\n"
                             "Generals\n"
                             " x0\n"
                             " x2\n"
                             "Semi-continuous\n"
                             " x0\n"
                             " x3\n"
                             "End\n");
  ASSERT_NE(m, nullptr);
  expect_optimum(m.get(), 71.0 / 6, {4, 10.0 / 3, -1, 0});
}

}  // namespace
