// The MIQP search (miqp.cpp) on models that once broke it: relaxations CLP's
// quadratic primal cannot finish, SOS branches, and the models of the
// random sweep that went wrong, each checked against its optimum found by
// hand or by enumeration.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "solve_test_util.hpp"

using namespace vlmtest;

namespace {

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
  solve(m.get());
  ASSERT_EQ(int_attr(m.get(), "Status"), VLM_STATUS_OPTIMAL);
  // x2, x5 solve x2 - x5/4 = 4, 2 x5 - x2/4 = 3.
  const double x5 = 4 / 1.9375, x2 = 4 + x5 / 4;
  const double want = -2 - 2.25 + 0.5 + 0.5 * (-4 * x2 - 3 * x5);
  EXPECT_NEAR(dbl_attr(m.get(), "ObjVal"), want, 1e-6);
  expect_near_all(dbl_list(m.get(), "X", 8), {2, x2, 0, x5, 1, 1.5, 0, 0}, 1e-5);
}

}  // namespace
