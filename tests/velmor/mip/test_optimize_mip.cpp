// Models with a discrete part: CBC for linear objectives, our branch-and-
// bound for convex quadratic ones; SOS, indicators (both formulations),
// semi-continuous variables, limits and the solution pool.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "solve_test_util.hpp"

using namespace vlmtest;

namespace {

// max 8a + 11b + 6c + 4d  s.t.  5a + 7b + 4c + 3d <= 14, binary: 21 at (0, 1, 1, 1).
ModelPtr knapsack(VLMenv* env) {
  ModelPtr m = make_model(env);
  const double value[] = {8, 11, 6, 4};
  for (double v : value) add_var(m.get(), 0, 1, v, VLM_BINARY);
  add_row(m.get(), {0, 1, 2, 3}, {5, 7, 4, 3}, -kInf, 14);
  maximise(m.get());
  return m;
}

TEST(OptimizeMip, SmallKnapsack) {
  EnvPtr env = make_env();
  for (int presolve : {-1, 0}) {
    ModelPtr m = knapsack(env.get());
    VLMmodel* p = m.get();
    set_int(p, "Presolve", presolve);
    ASSERT_EQ(VLMsetdblattr(p, "ObjConst", -1), VLM_OKAY);
    solve(p);
    ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
    EXPECT_NEAR(dbl_attr(p, "ObjVal"), 20, 1e-9);
    expect_near_all(dbl_list(p, "X", 4), {0, 1, 1, 1});
    expect_near_all(dbl_list(p, "Activity", 1), {14});
    EXPECT_LE(dbl_attr(p, "MIP/GapAbs"), 1e-6);
    EXPECT_LE(dbl_attr(p, "MIP/GapRel"), 1e-4);
    EXPECT_GE(int_attr(p, "SolCount"), 1);
    // A MIP run has no duals and no basis.
    double v;
    const int i0 = 0;
    EXPECT_EQ(VLMgetdblattr(p, "DualObjVal", &v), VLM_ERROR_DATA_NOT_AVAILABLE);
    EXPECT_EQ(VLMgetdblattrlist(p, "DualSoln", 1, &i0, &v), VLM_ERROR_DATA_NOT_AVAILABLE);
  }
}

// The pool: best first, Xn 0 is X, objectives never improve along it.
TEST(OptimizeMip, SolutionPool) {
  EnvPtr env = make_env();
  ModelPtr m = knapsack(env.get());
  VLMmodel* p = m.get();
  set_int(p, "MIP/SolutionPoolSize", 5);
  solve(p);
  const int count = int_attr(p, "SolCount");
  ASSERT_GE(count, 1);
  ASSERT_LE(count, 5);
  const double value[] = {8, 11, 6, 4};
  double previous = 1e300;
  for (int k = 0; k < count; ++k) {
    set_int(p, "MIP/SolutionNumber", k);
    const std::vector<double> xn = dbl_list(p, "Xn", 4);
    double obj = 0, weight = 0;
    const double w[] = {5, 7, 4, 3};
    for (int j = 0; j < 4; ++j) obj += value[j] * xn[static_cast<size_t>(j)], weight += w[j] * xn[static_cast<size_t>(j)];
    EXPECT_LE(weight, 14 + 1e-6);
    EXPECT_LE(obj, previous + 1e-9);
    previous = obj;
    if (k == 0) {
      EXPECT_NEAR(obj, 21, 1e-9);
    }
  }
  set_int(p, "MIP/SolutionNumber", count);
  double v;
  const int i0 = 0;
  EXPECT_EQ(VLMgetdblattrlist(p, "Xn", 1, &i0, &v), VLM_ERROR_INVALID_SOL_IDX);
}

TEST(OptimizeMip, GeneralIntegersAndInfeasibility) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  VLMmodel* p = m.get();
  // min x + y  s.t.  2x + 2y = 5 has no integer solution; with = 6 it is 3.
  add_var(p, 0, 10, 1, VLM_INTEGER);
  add_var(p, 0, 10, 1, VLM_INTEGER);
  add_row(p, {0, 1}, {2, 2}, 5, 5);
  solve(p);
  EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_INFEASIBLE);
  EXPECT_EQ(int_attr(p, "HasSolution"), 0);
  const int r0 = 0;
  const double six = 6;
  ASSERT_EQ(VLMsetdblattrlist(p, "LHS", 1, &r0, &six), VLM_OKAY);
  ASSERT_EQ(VLMsetdblattrlist(p, "RHS", 1, &r0, &six), VLM_OKAY);
  solve(p);
  EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(p, "ObjVal"), 3, 1e-9);
}

TEST(OptimizeMip, UnboundedIntegerModel) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  add_var(m.get(), 0, kInf, -1, VLM_INTEGER);
  add_var(m.get(), 0, kInf, 0, VLM_INTEGER);
  add_row(m.get(), {0, 1}, {1, -1}, -kInf, 0.5);
  solve(m.get());
  const int status = int_attr(m.get(), "Status");
  EXPECT_TRUE(status == VLM_STATUS_UNBOUNDED || status == VLM_STATUS_INF_OR_UBD) << status;
  EXPECT_EQ(int_attr(m.get(), "HasSolution"), 0);
}

TEST(OptimizeMip, CutoffRemovingEverySolutionIsNotInfeasibility) {
  EnvPtr env = make_env();
  ModelPtr m = knapsack(env.get());
  set_dbl(m.get(), "MIP/Cutoff", 25);  // nothing reaches 25
  solve(m.get());
  EXPECT_EQ(int_attr(m.get(), "Status"), VLM_STATUS_UNKNOWN);
  set_dbl(m.get(), "MIP/Cutoff", 20);
  solve(m.get());
  EXPECT_EQ(int_attr(m.get(), "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(m.get(), "ObjVal"), 21, 1e-9);
}

// max x1 + 2 x2 + 3 x3 + x4, each in [0, 1], sum <= 2: SOS1 allows one
// non-zero (3), SOS2 two adjacent ones (x2, x3: 5). An SOS1 set of
// binaries reaches the solvers as its row (sum <= 1), unseen in the model.
TEST(OptimizeMip, SpecialOrderedSets) {
  EnvPtr env = make_env();
  for (int type : {1, 2}) {
    for (bool quadratic : {false, true}) {
      for (char kind : {VLM_CONTINUOUS, VLM_BINARY}) {
        SCOPED_TRACE("SOS" + std::to_string(type) + (quadratic ? " with a quadratic objective" : "") +
                     (kind == VLM_BINARY ? " of binaries" : ""));
        ModelPtr m = make_model(env.get());
        VLMmodel* p = m.get();
        const double value[] = {1, 2, 3, 1};
        for (double v : value) add_var(p, 0, 1, v, kind);
        add_row(p, {0, 1, 2, 3}, {1, 1, 1, 1}, -kInf, 2);
        // Weights out of order: the set is ordered by weight.
        add_sos(p, type, {3, 0, 2, 1}, {4, 1, 3, 2});
        // A tiny concave term keeps the maximum where it was and sends the
        // model to the quadratic branch-and-bound.
        if (quadratic) add_quad(p, {0, 1, 2, 3}, {0, 1, 2, 3}, {-1e-3, -1e-3, -1e-3, -1e-3});
        maximise(p);
        solve(p);
        ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
        const double shift = quadratic ? (type == 1 ? -1e-3 : -2e-3) : 0;
        EXPECT_NEAR(dbl_attr(p, "ObjVal"), (type == 1 ? 3 : 5) + shift, 1e-6);
        if (type == 1) expect_near_all(dbl_list(p, "X", 4), {0, 0, 1, 0});
        if (type == 2) expect_near_all(dbl_list(p, "X", 4), {0, 1, 1, 0});
        EXPECT_EQ(int_attr(p, "NumSOS"), 1);
        EXPECT_EQ(int_attr(p, "NumConstrs"), 1);
      }
    }
  }
}

// max x + 9b with x in [0, 10] and b = 1 -> x <= 2: 11 at x = 2, b = 1.
// Each variant must give the same answer whether the indicator becomes a
// big-M row or an SOS1 set, and leave no trace in the model.
TEST(OptimizeMip, IndicatorBothFormulations) {
  EnvPtr env = make_env();
  struct Variant {
    const char* name;
    double x_ub;      // column bound of x
    double big_m;     // MIP/LinearizationBigM
    int binval;       // the indicator fires at b == binval
    char sense;
  };
  const Variant variants[] = {
      {"big-M", 10, 1e6, 1, VLM_LESS_EQUAL},
      {"SOS1: infinite bound", kInf, 1e6, 1, VLM_LESS_EQUAL},
      {"SOS1: bound above the big-M limit", 10, 5, 1, VLM_LESS_EQUAL},
      {"big-M, complement", 10, 1e6, 0, VLM_LESS_EQUAL},
      {"SOS1, complement", kInf, 1e6, 0, VLM_LESS_EQUAL},
      {"big-M, equality", 10, 1e6, 1, VLM_EQUAL},
      {"SOS1, equality", kInf, 1e6, 1, VLM_EQUAL},
  };
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.name);
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    add_var(p, 0, v.x_ub, 1);
    // b's profit goes with the branch that fires the indicator.
    add_var(p, 0, 1, v.binval == 1 ? 9 : -9, VLM_BINARY);
    add_row(p, {0}, {1}, -kInf, 10);
    const int col = 0;
    const double one = 1;
    ASSERT_EQ(VLMaddgenconstrIndicator(p, "ind", 1, v.binval, 1, &col, &one, v.sense, 2), VLM_OKAY);
    set_dbl(p, "MIP/LinearizationBigM", v.big_m);
    maximise(p);
    solve(p);
    ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
    EXPECT_NEAR(dbl_attr(p, "ObjVal"), v.binval == 1 ? 11 : 2, 1e-6);
    expect_near_all(dbl_list(p, "X", 2), {2, v.binval == 1 ? 1.0 : 0.0});
    EXPECT_EQ(int_attr(p, "NumVars"), 2);
    EXPECT_EQ(int_attr(p, "NumConstrs"), 1);
    EXPECT_EQ(int_attr(p, "NumGenConstrs"), 1);
    EXPECT_EQ(int_attr(p, "NumSOS"), 0);
    EXPECT_EQ(dbl_list(p, "Activity", 1).size(), 1u);
  }
}

// ">=" indicators: min x - 5b with x >= 0 and b = 1 -> x >= 3: -2 at b = 1,
// by a big-M row (M = 3 needs x's lower bound only) and by an SOS1 set (M
// above MIP/LinearizationBigM).
TEST(OptimizeMip, GreaterEqualIndicatorBothFormulations) {
  EnvPtr env = make_env();
  for (const auto& [ub, big_m] : {std::pair{10.0, 1e6}, {kInf, 1e6}, {10.0, 1.0}}) {
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    add_var(p, 0, ub, 1);
    add_var(p, 0, 1, -5, VLM_BINARY);
    const int col = 0;
    const double one = 1;
    ASSERT_EQ(VLMaddgenconstrIndicator(p, nullptr, 1, 1, 1, &col, &one, VLM_GREATER_EQUAL, 3), VLM_OKAY);
    set_dbl(p, "MIP/LinearizationBigM", big_m);
    solve(p);
    ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
    EXPECT_NEAR(dbl_attr(p, "ObjVal"), -2, 1e-6);
    expect_near_all(dbl_list(p, "X", 2), {3, 1});
  }
}

// min x + 10y  s.t.  x + y >= 1, y <= 0.5, x = 0 or 2 <= x <= ub: 2 at x = 2
// (the continuous relaxation would take x = 1).
TEST(OptimizeMip, SemiContinuousVariables) {
  EnvPtr env = make_env();
  for (char type : {VLM_SEMICONT, VLM_SEMIINT}) {
    for (double ub : {10.0, kInf}) {
      ModelPtr m = make_model(env.get());
      VLMmodel* p = m.get();
      add_var(p, 2, ub, 1, type);
      add_var(p, 0, 0.5, 10);
      add_row(p, {0, 1}, {1, 1}, 1, kInf);
      solve(p);
      ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
      EXPECT_NEAR(dbl_attr(p, "ObjVal"), 2, 1e-6);
      expect_near_all(dbl_list(p, "X", 2), {2, 0});
      EXPECT_EQ(int_attr(p, "NumVars"), 2);
    }
  }
  // Zero stays allowed: max -x with x semi-continuous in [3, 5] is 0 at x = 0.
  ModelPtr m = make_model(env.get());
  add_var(m.get(), 3, 5, -1, VLM_SEMICONT);
  maximise(m.get());
  solve(m.get());
  EXPECT_NEAR(dbl_attr(m.get(), "ObjVal"), 0, 1e-9);
}

// Semidefinite models have no solver that takes integers.
TEST(OptimizeMip, SemidefiniteWithIntegersIsRefused) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  add_var(m.get(), 0, 3, 1, VLM_INTEGER);
  const int pos[] = {0, 3};
  const double val[] = {1, 1};
  ASSERT_EQ(VLMaddpsdvar(m.get(), 2, 2, pos, val, "P"), VLM_OKAY);
  solve(m.get(), VLM_ERROR_ABORT_SOLVER_NOT_AVAILABLE);
  EXPECT_EQ(int_attr(m.get(), "Status"), VLM_STATUS_UNKNOWN);
  EXPECT_EQ(int_attr(m.get(), "HasSolution"), 0);
}

// ---- MIQP ------------------------------------------------------------------------------

// min (x - 0.6)^2 + (y - 2.3)^2, x, y integer, x + y <= 2: 0.45 at (0, 2).
TEST(OptimizeMiqp, SmallModel) {
  EnvPtr env = make_env();
  for (int sense : {1, -1}) {
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    add_var(p, -5, 5, -1.2 * sense, VLM_INTEGER);
    add_var(p, -5, 5, -4.6 * sense, VLM_INTEGER);
    add_quad(p, {0, 1}, {0, 1}, {1.0 * sense, 1.0 * sense});
    ASSERT_EQ(VLMsetdblattr(p, "ObjConst", 5.65 * sense), VLM_OKAY);
    add_row(p, {0, 1}, {1, 1}, -kInf, 2);
    if (sense < 0) maximise(p);
    solve(p);
    ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
    EXPECT_NEAR(dbl_attr(p, "ObjVal"), 0.45 * sense, 1e-6);
    expect_near_all(dbl_list(p, "X", 2), {0, 2});
    EXPECT_LE(dbl_attr(p, "MIP/GapRel"), 1e-4);
    EXPECT_GE(int_attr(p, "SolCount"), 1);
  }
}

// The MIQP against enumeration: min sum (x_i - t_i)^2 + coupling, integers
// in [-2, 2], one knapsack row; every point is tried.
TEST(OptimizeMiqp, AgreesWithEnumeration) {
  EnvPtr env = make_env();
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-2, 2);
  for (int trial = 0; trial < 20; ++trial) {
    const int n = 4;
    std::vector<double> t(n), a(n);
    for (int i = 0; i < n; ++i) t[static_cast<size_t>(i)] = u(rng), a[static_cast<size_t>(i)] = u(rng);
    const double c = 0.3 * u(rng);  // coupling x0 x1, small enough to stay convex
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    double constant = 0;
    for (int i = 0; i < n; ++i) {
      add_var(p, -2, 2, -2 * t[static_cast<size_t>(i)], i < 3 ? VLM_INTEGER : VLM_CONTINUOUS);
      add_quad(p, {i}, {i}, {1});
      constant += t[static_cast<size_t>(i)] * t[static_cast<size_t>(i)];
    }
    add_quad(p, {0}, {1}, {c});
    ASSERT_EQ(VLMsetdblattr(p, "ObjConst", constant), VLM_OKAY);
    add_row(p, {0, 1, 2, 3}, {a[0], a[1], a[2], a[3]}, -kInf, 1);
    solve(p);
    // Enumerate the integers; the continuous x3 is optimal in closed form.
    double best = 1e300;
    for (int x0 = -2; x0 <= 2; ++x0)
      for (int x1 = -2; x1 <= 2; ++x1)
        for (int x2 = -2; x2 <= 2; ++x2) {
          const double rest = 1 - a[0] * x0 - a[1] * x1 - a[2] * x2;  // a3 x3 <= rest
          double lo = -2, hi = 2;
          if (a[3] > 0) hi = std::min(hi, rest / a[3]);
          if (a[3] < 0) lo = std::max(lo, rest / a[3]);
          if (a[3] == 0 && rest < 0) continue;
          if (lo > hi) continue;
          const double x3 = std::min(std::max(t[3], lo), hi);
          const double xs[] = {double(x0), double(x1), double(x2), x3};
          double v = c * x0 * x1;
          for (int i = 0; i < n; ++i) v += (xs[i] - t[static_cast<size_t>(i)]) * (xs[i] - t[static_cast<size_t>(i)]);
          best = std::min(best, v);
        }
    if (best > 1e299) {
      EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_INFEASIBLE) << "trial " << trial;
    } else {
      ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL) << "trial " << trial;
      EXPECT_NEAR(dbl_attr(p, "ObjVal"), best, 1e-5 * std::max(1.0, std::fabs(best))) << "trial " << trial;
    }
  }
}

TEST(OptimizeMiqp, IndicatorAndSemiContinuous) {
  EnvPtr env = make_env();
  // min (x - 1)^2 + (y - 3)^2 - 2b, b = 1 -> x + y <= 2, y semi-continuous
  // in [2.5, 4]: b = 1 forces y = 0 (y >= 2.5 breaks the row with x >= 0),
  // cost 0 + 9 - 2 = 7 at x = 1; b = 0 costs 0 at (1, 3).
  ModelPtr m = make_model(env.get());
  VLMmodel* p = m.get();
  add_var(p, 0, 5, -2);
  add_var(p, 2.5, 4, -6, VLM_SEMICONT);
  add_var(p, 0, 1, -2, VLM_BINARY);
  add_quad(p, {0, 1}, {0, 1}, {1, 1});
  ASSERT_EQ(VLMsetdblattr(p, "ObjConst", 10), VLM_OKAY);
  const int cols[] = {0, 1};
  const double vals[] = {1, 1};
  ASSERT_EQ(VLMaddgenconstrIndicator(p, nullptr, 2, 1, 2, cols, vals, VLM_LESS_EQUAL, 2), VLM_OKAY);
  solve(p);
  ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(p, "ObjVal"), 0, 1e-6);
  expect_near_all(dbl_list(p, "X", 3), {1, 3, 0}, 1e-5);
  // Rewarding b more makes it worth it: -12 gives 9 - 12 = -3 < 0.
  const int i2 = 2;
  const double obj = -12;
  ASSERT_EQ(VLMsetdblattrlist(p, "Obj", 1, &i2, &obj), VLM_OKAY);
  solve(p);
  EXPECT_NEAR(dbl_attr(p, "ObjVal"), -3, 1e-6);
  expect_near_all(dbl_list(p, "X", 3), {1, 0, 1}, 1e-5);
}

// ---- limits ------------------------------------------------------------------------------

// A multi-dimensional knapsack that takes CBC many nodes without cuts.
ModelPtr hard_knapsack(VLMenv* env, int n, int rows, unsigned seed) {
  ModelPtr m = random_knapsack(env, n, rows, seed);
  set_int(m.get(), "MIP/LevelCuts", 0);
  set_int(m.get(), "Presolve", 0);
  return m;
}

void expect_readable_incumbent(VLMmodel* p, int n) {
  ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_SUB_OPTIMAL);
  ASSERT_EQ(int_attr(p, "HasSolution"), 1);
  const std::vector<double> x = dbl_list(p, "X", n);
  for (double v : x) EXPECT_NEAR(v, std::round(v), 1e-6);
  EXPECT_GE(dbl_attr(p, "MIP/GapAbs"), 0);
  EXPECT_GE(int_attr(p, "SolCount"), 1);
}

TEST(OptimizeLimits, NodeLimitKeepsTheIncumbent) {
  EnvPtr env = make_env();
  ModelPtr m = hard_knapsack(env.get(), 60, 5, 3);
  set_int(m.get(), "MIP/MaxNodes", 20);
  solve(m.get());
  expect_readable_incumbent(m.get(), 60);
}

// Generalised assignment: each of `jobs` jobs to one of `agents` agents
// within their capacities (80 % of an even share of the sizes), at least
// cost. At 10 x 100 CBC finds a first assignment within a tenth of a second
// and does not close the gap in a minute.
ModelPtr assignment(VLMenv* env, int agents, int jobs, unsigned seed) {
  ModelPtr m = make_model(env);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> cost(10, 49), size(5, 24);
  std::vector<double> sizes;
  for (int i = 0; i < agents; ++i)
    for (int t = 0; t < jobs; ++t) {
      add_var(m.get(), 0, 1, cost(rng), VLM_BINARY);
      sizes.push_back(size(rng));
    }
  const std::vector<double> ones(static_cast<size_t>(agents), 1.0);
  for (int t = 0; t < jobs; ++t) {
    std::vector<int> cols;
    for (int i = 0; i < agents; ++i) cols.push_back(i * jobs + t);
    EXPECT_EQ(VLMaddrangeconstr(m.get(), agents, cols.data(), ones.data(), 1, 1, nullptr), VLM_OKAY);
  }
  for (int i = 0; i < agents; ++i) {
    std::vector<int> cols;
    std::vector<double> w;
    double sum = 0;
    for (int t = 0; t < jobs; ++t) {
      cols.push_back(i * jobs + t);
      w.push_back(sizes[static_cast<size_t>(i * jobs + t)]);
      sum += w.back();
    }
    EXPECT_EQ(VLMaddrangeconstr(m.get(), jobs, cols.data(), w.data(), -kInf, std::floor(sum * 0.8 / agents), nullptr),
              VLM_OKAY);
  }
  return m;
}

// Time limits that stop the run anywhere in its first 40 ms, in
// preprocessing and the root's cut generation among others, never make a
// feasible model infeasible (CBC's driver said so when its clock ran out
// while generating cuts): UNKNOWN without a solution, or SUB_OPTIMAL.
TEST(OptimizeLimits, EarlyTimeLimitsNeverClaimInfeasibility) {
  for (int k = 1; k <= 40; ++k) {
    const double limit = 0.001 * k;
    SCOPED_TRACE(limit);
    EnvPtr env = make_env();
    ModelPtr m = assignment(env.get(), 10, 100, 6);
    set_dbl(m.get(), "MaxTime", limit);
    testing::internal::CaptureStdout();
    solve(m.get());
    testing::internal::GetCapturedStdout();
    const int status = int_attr(m.get(), "Status");
    EXPECT_TRUE(status == VLM_STATUS_UNKNOWN || status == VLM_STATUS_SUB_OPTIMAL) << status;
    EXPECT_EQ(int_attr(m.get(), "HasSolution"), status == VLM_STATUS_SUB_OPTIMAL ? 1 : 0);
  }
}

// A time limit keeps the incumbent. The first one comes within a tenth of a
// second on an idle machine; a loaded one (a sanitizer build among parallel
// tests) may give the run a fraction of its wall-clock time, so the limit
// doubles until a run ends with one. Every run stopped by the limit, with an
// incumbent or without, ends soon after it.
TEST(OptimizeLimits, TimeLimitKeepsTheIncumbent) {
  bool kept = false;
  for (double limit = 0.5; limit <= 8.0 && !kept; limit *= 2) {
    SCOPED_TRACE(limit);
    EnvPtr env = make_env();
    ModelPtr m = assignment(env.get(), 10, 100, 6);
    set_dbl(m.get(), "MaxTime", limit);
    solve(m.get());
    EXPECT_LT(dbl_attr(m.get(), "SolutionTime"), limit + 4.0);
    if (int_attr(m.get(), "Status") == VLM_STATUS_UNKNOWN) {
      EXPECT_EQ(int_attr(m.get(), "HasSolution"), 0);
      continue;
    }
    expect_readable_incumbent(m.get(), 1000);
    kept = true;
  }
  EXPECT_TRUE(kept);
}

TEST(OptimizeLimits, SolutionLimit) {
  EnvPtr env = make_env();
  ModelPtr m = hard_knapsack(env.get(), 60, 5, 3);
  set_int(m.get(), "MIP/MaxSols", 1);
  set_int(m.get(), "MIP/LevelHeurs", 0);
  solve(m.get());
  expect_readable_incumbent(m.get(), 60);
}

// Without an incumbent a limit leaves the status unknown.
TEST(OptimizeLimits, LimitWithoutIncumbentIsUnknown) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  VLMmodel* p = m.get();
  // x, y integer, 2x + 2y = 2k + 1 for a large odd right-hand side: no
  // integer point, and no way to see it at the root without cuts.
  const int n = 30;
  for (int j = 0; j < n; ++j) add_var(p, 0, 100, 1, VLM_INTEGER);
  std::vector<int> cols(n);
  std::vector<double> twos(n, 2.0);
  for (int j = 0; j < n; ++j) cols[static_cast<size_t>(j)] = j;
  ASSERT_EQ(VLMaddrangeconstr(p, n, cols.data(), twos.data(), 1001, 1001, nullptr), VLM_OKAY);
  set_int(p, "MIP/LevelCuts", 0);
  set_int(p, "MIP/LevelProbing", 0);
  set_int(p, "Presolve", 0);
  set_int(p, "MIP/MaxNodes", 5);
  solve(p);
  const int status = int_attr(p, "Status");
  EXPECT_TRUE(status == VLM_STATUS_UNKNOWN || status == VLM_STATUS_INFEASIBLE) << status;
  EXPECT_EQ(int_attr(p, "HasSolution"), 0);
}

// The Start values reach CBC: with no node to search, no heuristic and no
// cut, a knapsack has a solution only through them. A start that breaks a
// row is refused, and a full start is kept (or bettered) as it stands.
TEST(OptimizeLimits, MipStartIsTheSolutionWhenNothingElseRuns) {
  EnvPtr env = make_env();
  const int n = 30, rows = 3;
  ModelPtr m = random_knapsack(env.get(), n, rows, 11);
  VLMmodel* p = m.get();
  set_int(p, "MIP/MaxNodes", 0);
  set_int(p, "MIP/LevelHeurs", 0);
  set_int(p, "MIP/LevelCuts", 0);
  solve(p);
  ASSERT_EQ(int_attr(p, "HasSolution"), 0);

  std::vector<int> cols(static_cast<size_t>(n));
  for (int j = 0; j < n; ++j) cols[static_cast<size_t>(j)] = j;
  const std::vector<double> all(static_cast<size_t>(n), 1.0);
  ASSERT_EQ(VLMsetdblattrlist(p, "Start", n, cols.data(), all.data()), VLM_OKAY);
  solve(p);
  EXPECT_EQ(int_attr(p, "HasSolution"), 0);

  // Every third item: a third of each row's weight in expectation, well
  // within its half (the run refuses a start that is not).
  std::vector<double> start(static_cast<size_t>(n), 0.0), obj = dbl_list(p, "Obj", n);
  double value = 0;
  for (int j = 0; j < n; j += 3) start[static_cast<size_t>(j)] = 1.0, value += obj[static_cast<size_t>(j)];
  ASSERT_EQ(VLMsetdblattrlist(p, "Start", n, cols.data(), start.data()), VLM_OKAY);
  solve(p);
  ASSERT_EQ(int_attr(p, "HasSolution"), 1);
  EXPECT_GE(dbl_attr(p, "ObjVal"), value - 1e-9);
  const std::vector<double> activity = dbl_list(p, "Activity", rows), rhs = dbl_list(p, "RHS", rows);
  for (int i = 0; i < rows; ++i) EXPECT_LE(activity[static_cast<size_t>(i)], rhs[static_cast<size_t>(i)] + 1e-9);
}

TEST(OptimizeLimits, MiqpNodeAndTimeLimits) {
  EnvPtr env = make_env();
  for (int limit : {0, 1}) {
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    // min sum x_i^2 - x_i over 25 integers with sum x_i = 12: every 0/1 point
    // is optimal (0) while the relaxation says -6.24, so the search goes on
    // long after the first incumbent.
    const int n = 25;
    std::vector<int> cols(n);
    std::vector<double> ones(n, 1.0);
    for (int j = 0; j < n; ++j) {
      add_var(p, 0, 3, -1, VLM_INTEGER);
      add_quad(p, {j}, {j}, {1});
      cols[static_cast<size_t>(j)] = j;
    }
    ASSERT_EQ(VLMaddrangeconstr(p, n, cols.data(), ones.data(), 12, 12, nullptr), VLM_OKAY);
    if (limit == 0) {
      set_int(p, "MIP/MaxNodes", 40);
    } else {
      set_dbl(p, "MaxTime", 0.0);
    }
    set_dbl(p, "MIP/GapRel", 0);
    set_dbl(p, "MIP/GapAbs", 0);
    solve(p);
    if (limit == 0) {
      expect_readable_incumbent(p, n);
    } else {
      EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_UNKNOWN);
    }
  }
}

TEST(OptimizeThreads, TwoMipsAtOnce) {
  EnvPtr env = make_env();
  ModelPtr a = hard_knapsack(env.get(), 30, 3, 11), b = hard_knapsack(env.get(), 30, 3, 12);
  solve(a.get());
  solve(b.get());
  const double va = dbl_attr(a.get(), "ObjVal"), vb = dbl_attr(b.get(), "ObjVal");
  int ra = -1, rb = -1;
  std::thread ta([&] { ra = VLMoptimize(a.get()); });
  std::thread tb([&] { rb = VLMoptimize(b.get()); });
  ta.join();
  tb.join();
  EXPECT_EQ(ra, VLM_OKAY);
  EXPECT_EQ(rb, VLM_OKAY);
  EXPECT_NEAR(dbl_attr(a.get(), "ObjVal"), va, 1e-6);
  EXPECT_NEAR(dbl_attr(b.get(), "ObjVal"), vb, 1e-6);
}

}  // namespace

namespace {

// CBC's search threads print through clones of the run's message handler;
// their lines must reach the log whole, and the answer must not depend on
// the number of threads.
TEST(OptimizeThreads, FourSearchThreadsOnOneLog) {
  const std::string path = temp_path("threads.log");
  std::remove(path.c_str());
  VLMenv* raw = nullptr;
  ASSERT_EQ(VLMloadenv(&raw, path.c_str()), VLM_OKAY);
  EnvPtr env(raw);
  double single = 0;
  {
    ModelPtr m = hard_knapsack(env.get(), 40, 4, 21);
    solve(m.get());
    single = dbl_attr(m.get(), "ObjVal");
  }
  for (int round = 0; round < 3; ++round) {
    ModelPtr m = hard_knapsack(env.get(), 40, 4, 21);
    set_int(m.get(), "NumThreads", 4);
    solve(m.get());
    ASSERT_EQ(int_attr(m.get(), "Status"), VLM_STATUS_OPTIMAL);
    EXPECT_NEAR(dbl_attr(m.get(), "ObjVal"), single, 1e-6);
  }
  const std::string text = read_text(path);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  std::istringstream lines(text);
  std::string line;
  int summaries = 0;
  while (std::getline(lines, line)) {
    EXPECT_EQ(line.find('\0'), std::string::npos);
    if (line.rfind("Status: optimal", 0) == 0) ++summaries;
    // A line holds one message: never the start of a second one.
    EXPECT_EQ(line.find("Status:", 1), std::string::npos) << line;
  }
  EXPECT_EQ(summaries, 4);
}

}  // namespace

namespace {

// An indicator in its exact form (a slack and an SOS1) whose binary is fixed
// by its bounds: CGL's preprocessing would abort the process on it.
TEST(OptimizeMip, FixedBinaryOfAnExactIndicator) {
  EnvPtr env = make_env();
  for (double b_lb : {1.0, 0.0}) {
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    add_var(p, b_lb, 1, 0, VLM_BINARY);  // b
    add_var(p, 0, kInf, 1);              // x: unbounded, so no big-M
    const int ind[] = {1};
    const double one[] = {1};
    ASSERT_EQ(VLMaddgenconstrIndicator(p, nullptr, 0, 1, 1, ind, one, '<', 2), VLM_OKAY);  // b = 1 -> x <= 2
    add_row(p, {1}, {1}, 5, kInf);                                                       // x >= 5
    solve(p);
    if (b_lb == 1) {
      EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_INFEASIBLE);
    } else {
      ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
      expect_near_all(dbl_list(p, "X", 2), {0, 5});
    }
  }
}

void add_indicator(VLMmodel* p, int binvar, int binval, std::initializer_list<int> cols,
                   std::initializer_list<double> vals, char sense, double rhs) {
  const std::vector<int> c(cols);
  const std::vector<double> v(vals);
  ASSERT_EQ(VLMaddgenconstrIndicator(p, nullptr, binvar, binval, static_cast<int>(c.size()), c.data(), v.data(),
                                     sense, rhs),
            VLM_OKAY);
}

// Free integers x, y, z, w with 4x + 6y - 2z >= 1, 4x + 6y + 2w <= 1 and
// |2z| + |2w| <= 1: on their lattice the sides are 2, 0 and 0, z = w = 0,
// and 4x + 6y cannot be both >= 2 and <= 0; the relaxation of the sides as
// given has points (z = w = 0, 4x + 6y = 1).
void rows_of_even_coefficients(VLMmodel* p) {
  for (int j = 0; j < 4; ++j) add_var(p, -kInf, kInf, 0, VLM_INTEGER);
  add_row(p, {0, 1, 2}, {4, 6, -2}, 1, kInf);
  add_row(p, {0, 1, 3}, {4, 6, 2}, -kInf, 1);
  add_row(p, {2, 3}, {2, 2}, -kInf, 1);
  add_row(p, {2, 3}, {2, -2}, -kInf, 1);
  add_row(p, {2, 3}, {-2, 2}, -kInf, 1);
  add_row(p, {2, 3}, {-2, -2}, -kInf, 1);
}

// Small models on which CBC gave a wrong verdict, a point that breaks the
// model, or ended the process, each in one of the ways the checks of a MIP
// verdict and the model CBC is handed must catch. The objective is the
// model's optimum (NAN: none).
TEST(OptimizeMip, VerdictsCbcGetsWrong) {
  struct Case {
    const char* what;
    int presolve, status;
    double objective;
    void (*build)(VLMmodel*);
  };
  const Case cases[] = {
      {"unbounded, called infeasible for a stored zero", -1, VLM_STATUS_UNBOUNDED, NAN,
       [](VLMmodel* p) {
         add_var(p, -1, 2, 2);
         add_var(p, -kInf, 1, 3);
         add_var(p, 0, 1, 5, VLM_INTEGER);
         add_var(p, -kInf, 5, -3);
         add_var(p, -3, 5, 5);
         add_row(p, {0, 1, 2, 4}, {-2, 0, 1, 1}, 8, kInf);
         add_row(p, {3}, {5}, 2, kInf);
       }},
      {"unbounded, an optimum at the preprocessing's own bound on a free column", -1, VLM_STATUS_UNBOUNDED, NAN,
       [](VLMmodel* p) {
         add_var(p, -kInf, kInf, 2, VLM_INTEGER);  // along (-2, 0, 0, 3) the objective falls
         add_var(p, -kInf, 1, -1, VLM_INTEGER);
         add_var(p, 0, 3, 3, VLM_INTEGER);
         add_var(p, -12, kInf, 1, VLM_INTEGER);
         add_row(p, {0, 1, 2, 3}, {2, -1, -5, 2}, -23, kInf);
         add_row(p, {0, 1, 2, 3}, {3, -5, -4, 5}, -38, kInf);
       }},
      {"an optimum cut off by the preprocessing, caught by its objective", -1, VLM_STATUS_OPTIMAL, -61.0 - 2.0 / 3,
       [](VLMmodel* p) {
         add_var(p, -1, kInf, -1, VLM_INTEGER);
         add_var(p, 0, 4, -3, VLM_INTEGER);
         add_var(p, -3, 2, 0, VLM_INTEGER);
         add_var(p, 0, 3, -5);
         add_var(p, -2, kInf, -2);
         add_var(p, 0, kInf, -2, VLM_INTEGER);
         add_row(p, {0, 1, 2, 3, 4, 5}, {2, -4, -3, 1, 3, 1}, -kInf, 10);
         add_row(p, {0, 2, 3, 5}, {-5, -3, -2, 5}, -kInf, 9);
       }},
      {"an optimum cut off by the preprocessing, caught by a second search", -1, VLM_STATUS_OPTIMAL, 23,
       [](VLMmodel* p) {
         add_var(p, -3, 7, -5, VLM_INTEGER);
         add_var(p, -6, 5, 6, VLM_INTEGER);
         add_var(p, -4, 3, 0, VLM_INTEGER);
         add_var(p, -kInf, 9, 1);
         add_row(p, {0, 2, 3}, {4, 3, -2}, -14, -11);
         add_row(p, {3}, {5}, 0, 0);
         add_row(p, {0, 1, 2, 3}, {-4, -5, 3, 2}, -kInf, -14);
         add_row(p, {1, 2, 3}, {-2, -4, 1}, 8, 9);
         maximise(p);
         ASSERT_EQ(VLMsetdblattr(p, "ObjConst", -1), VLM_OKAY);
       }},
      {"feasible, called infeasible by the cut generators", -1, VLM_STATUS_OPTIMAL, -75,
       [](VLMmodel* p) {
         add_var(p, -3, kInf, 3);
         add_var(p, -2, 5, -5);
         add_var(p, -kInf, 2, 3, VLM_INTEGER);
         add_var(p, -1, 2, -5);
         add_var(p, -kInf, kInf, 1, VLM_INTEGER);
         add_var(p, -3, 5, 3, VLM_INTEGER);
         add_row(p, {3, 4, 5}, {5, -3, -2}, -kInf, 11);
         add_row(p, {1, 2, 3, 5}, {-4, -4, -5, -2}, -kInf, 8);
         add_row(p, {0, 2, 3, 5}, {1, 1, -3, 4}, -kInf, -2);
       }},
      {"an indicator over bounded columns, called infeasible", -1, VLM_STATUS_OPTIMAL, -39.5,
       [](VLMmodel* p) {
         for (double c : {5.0, 5.0, -2.0, -6.0}) add_var(p, 0, 5, c);
         add_var(p, 0, 1, 0.5, VLM_BINARY);
         add_indicator(p, 4, 1, {0, 1, 2, 3}, {3, -2, -2, 1}, '<', 3);
         add_row(p, {4}, {1}, 1, kInf);
       }},
      {"free integers: an optimal point that breaks its row", -1, VLM_STATUS_OPTIMAL, 0,
       [](VLMmodel* p) {
         add_var(p, -kInf, kInf, 0, VLM_INTEGER);
         add_var(p, -kInf, kInf, 0, VLM_INTEGER);
         add_row(p, {0, 1}, {4, -5}, -kInf, -3);
       }},
      {"free integers without preprocessing: OsiClp's crunch asserted", 0, VLM_STATUS_OPTIMAL, -1,
       [](VLMmodel* p) {
         add_var(p, -kInf, kInf, 0, VLM_INTEGER);
         add_var(p, -kInf, kInf, 0, VLM_INTEGER);
         add_row(p, {0}, {4}, 14, kInf);
         add_row(p, {0, 1}, {1, -1}, -kInf, 4);
         maximise(p);
         ASSERT_EQ(VLMsetdblattr(p, "ObjConst", -1), VLM_OKAY);
       }},
      {"two rows over two bounded integers, no cuts: OsiClp's crunch asserted", -1, VLM_STATUS_OPTIMAL, 5,
       [](VLMmodel* p) {
         add_var(p, 0, 3, -1, VLM_INTEGER);
         add_var(p, 0, 2, 2, VLM_INTEGER);
         add_row(p, {0}, {5}, -kInf, 8);
         add_row(p, {0, 1}, {-2, 5}, 4, kInf);
         ASSERT_EQ(VLMsetdblattr(p, "ObjConst", 3), VLM_OKAY);
         set_int(p, "MIP/LevelCuts", 0);
       }},
      {"an SOS member that cannot be 0: CbcSOS asserted", 0, VLM_STATUS_OPTIMAL, 0,
       [](VLMmodel* p) {
         add_var(p, 1, 1, -3, VLM_INTEGER);
         add_var(p, 0, 4, 0);
         add_var(p, 0, 3, -6, VLM_INTEGER);
         add_row(p, {2}, {-4}, -kInf, 0);
         add_row(p, {0}, {1}, 0, kInf);
         add_row(p, {0}, {2}, 0, 9);
         add_row(p, {1}, {3}, -15, kInf);
         add_sos(p, 1, {0, 2}, {4, 5});
         add_sos(p, 2, {1, 0, 2}, {3, 4, 6});
         ASSERT_EQ(VLMsetdblattr(p, "ObjConst", 3), VLM_OKAY);
       }},
      {"an exact indicator '=' whose binary a row forces: CbcSOS asserted", -1, VLM_STATUS_INFEASIBLE, NAN,
       [](VLMmodel* p) {
         add_var(p, -5, 5, -2);
         add_var(p, 0, 4, 3, VLM_INTEGER);
         add_var(p, 0, 5, -5, VLM_INTEGER);
         add_var(p, 1, kInf, 0, VLM_INTEGER);
         add_var(p, -1, 4, -2, VLM_INTEGER);
         add_var(p, -2, -1, -3, VLM_INTEGER);
         add_var(p, 0, 1, 1, VLM_BINARY);
         add_row(p, {0, 1, 4}, {3, -2, -4}, -kInf, 0);
         add_row(p, {6}, {1}, 1, kInf);
         add_indicator(p, 6, 1, {3, 4}, {-3, -5}, '=', 0);
         add_indicator(p, 6, 1, {0}, {3}, '>', 4);
         maximise(p);
       }},
      {"a zero objective over integers and an indicator: CLP asserted in a node's resolve", 0,
       VLM_STATUS_INFEASIBLE, NAN,
       [](VLMmodel* p) {
         add_var(p, 0, 3, 0, VLM_INTEGER);
         add_var(p, -1, 1, 0, VLM_INTEGER);
         add_var(p, 0, 1, 0, VLM_BINARY);
         add_row(p, {0, 1, 2}, {3, 1, 2}, -kInf, 10);
         add_row(p, {0, 1, 2}, {2, 2, 2}, 0, kInf);
         add_row(p, {1, 2}, {-2, -1}, 0, 0);
         add_indicator(p, 2, 0, {0, 1, 2}, {-3, 2, -2}, '=', -2);
       }},
      {"semi-continuous columns: invalid cuts called a feasible model infeasible", 0, VLM_STATUS_OPTIMAL, -3,
       [](VLMmodel* p) {
         add_var(p, 3, kInf, 6, VLM_SEMICONT);
         add_var(p, -1, 5, -4, VLM_INTEGER);
         add_var(p, 3, 3, -3, VLM_SEMIINT);
         add_var(p, -kInf, 2, 4, VLM_INTEGER);
         add_var(p, -1, kInf, -2, VLM_INTEGER);
         add_row(p, {0, 2}, {-4, 3}, 0, 17.2);
         add_row(p, {2, 3}, {-3, 4}, -3, 1);
         add_row(p, {2}, {5}, 0, 14);
         add_row(p, {0, 1, 3, 4}, {3, 2, 5, 3}, -7, kInf);
         add_row(p, {0, 1, 2}, {3, -4, 5}, -2, kInf);
         add_row(p, {0, 1, 2, 3, 4}, {-2, 3, -4, 3, 2}, -kInf, 0);
         ASSERT_EQ(VLMsetdblattr(p, "ObjConst", -3), VLM_OKAY);
       }},
      {"a range row without heuristics: probing cut the optimum off", -1, VLM_STATUS_OPTIMAL, -6,
       [](VLMmodel* p) {
         add_var(p, 0, 1, -2, VLM_INTEGER);
         add_var(p, -1, 1, -5, VLM_INTEGER);
         add_var(p, 0, 1, -1, VLM_BINARY);
         add_var(p, 0, 1, 5, VLM_BINARY);
         add_row(p, {0, 3}, {5, -2}, -1, 3);
         set_int(p, "MIP/LevelHeurs", 0);
       }},
      {"a range row of mixed signs: both sides can bind, both stay", -1, VLM_STATUS_OPTIMAL, -4,
       [](VLMmodel* p) {
         add_var(p, 0, 2, 1, VLM_INTEGER);
         add_var(p, 0, 2, -3, VLM_INTEGER);
         add_row(p, {0, 1}, {2, -3}, -3, 1);
       }},
      {"a range row whose lower side the bounds imply", -1, VLM_STATUS_OPTIMAL, -1,
       [](VLMmodel* p) {
         add_var(p, 0, 1, -1, VLM_BINARY);
         add_var(p, 0, 1, -1, VLM_BINARY);
         add_row(p, {0, 1}, {1, 1}, 0, 1);
       }},
      {"SOS1 over columns unbounded above: the relaxation is unbounded, the model is not", -1,
       VLM_STATUS_OPTIMAL, -2,
       [](VLMmodel* p) {
         add_var(p, 0, kInf, -1);
         add_var(p, 0, kInf, 0.5);
         add_row(p, {0, 1}, {1, -1}, -kInf, 2);
         add_sos(p, 1, {0, 1}, {1, 2});
       }},
      {"SOS1 sets whose pieces are bounded but one: that piece decides", -1, VLM_STATUS_UNBOUNDED, NAN,
       [](VLMmodel* p) {
         add_var(p, 0, kInf, -1);
         add_var(p, 0, kInf, 1);
         add_var(p, 0, 4, 0);
         add_row(p, {0, 1, 2}, {1, 1, 1}, 1, kInf);
         add_row(p, {1, 2}, {1, -1}, -kInf, 1);
         add_sos(p, 1, {0, 1}, {1, 2});
         add_sos(p, 1, {0, 2}, {1, 2});
       }},
      {"no integer point: a search over free integers never ended", -1, VLM_STATUS_INFEASIBLE, NAN,
       [](VLMmodel* p) {
         add_var(p, -1, kInf, 0);
         add_var(p, -19, kInf, 0, VLM_INTEGER);
         add_var(p, -10, kInf, 0, VLM_INTEGER);
         add_var(p, -5, 14, 0, VLM_INTEGER);
         add_row(p, {0}, {-3}, -7, kInf);
         add_row(p, {1, 2, 3}, {6, -2, -4}, -7, -7);
       }},
      {"the same row twice, one-sided, a fractional side between: the search over free integers never closed", -1,
       VLM_STATUS_INFEASIBLE, NAN,
       [](VLMmodel* p) {
         for (int j = 0; j < 4; ++j) add_var(p, -kInf, kInf, j == 0 ? 1 : j == 1 ? -1 : 0, VLM_INTEGER);
         add_row(p, {0, 1, 2, 3}, {-6, -2, 4, -3}, -36.5, kInf);
         add_row(p, {0, 1, 2, 3}, {-6, -2, 4, -3}, -kInf, -36.5);
         add_row(p, {0, 1, 2, 3}, {1, 1, 1, 1}, -kInf, 10);
       }},
      {"a continuous column in two equalities over integers: none is left once it is eliminated", -1,
       VLM_STATUS_INFEASIBLE, NAN,
       [](VLMmodel* p) {
         add_var(p, -kInf, kInf, 0, VLM_INTEGER);  // x
         add_var(p, -kInf, kInf, 0, VLM_INTEGER);  // y
         add_var(p, -kInf, kInf, 0);               // z
         add_row(p, {2, 0}, {3, -1}, 0.5, kInf);   // 3z - x = 0.5, as two rows
         add_row(p, {2, 0}, {3, -1}, -kInf, 0.5);
         add_row(p, {2, 1}, {7, -1}, 0, 0);        // 7z - y = 0: 7x - 3y = -3.5
       }},
      {"rows of even coefficients, their sides rounded in: the relaxation with those sides is infeasible", -1,
       VLM_STATUS_INFEASIBLE, NAN,
       [](VLMmodel* p) { rows_of_even_coefficients(p); }},
      {"the same, with a quadratic objective", -1, VLM_STATUS_INFEASIBLE, NAN,
       [](VLMmodel* p) {
         rows_of_even_coefficients(p);
         add_quad(p, {0, 1}, {0, 1}, {1, 1});
       }},
      {"a side single precision left 4e-8 off the lattice is on it", -1, VLM_STATUS_OPTIMAL, -3,
       [](VLMmodel* p) {
         add_var(p, 0, 5, 1, VLM_INTEGER);
         add_var(p, 0, 5, -1, VLM_INTEGER);
         add_row(p, {0, 1}, {1, 1}, 3 + 0x1p-23, 3 + 0x1p-23);
       }},
      {"a large side off the lattice goes in one step, not out by its tolerance", -1, VLM_STATUS_OPTIMAL, 10000001,
       [](VLMmodel* p) {
         add_var(p, 0, 1e8, 1, VLM_INTEGER);
         add_var(p, 0, 1e8, 1, VLM_INTEGER);
         add_row(p, {0, 1}, {2, 2}, 2e7 + 1, kInf);
       }},
  };
  EnvPtr env = make_env();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    c.build(p);
    set_int(p, "Presolve", c.presolve);
    set_dbl(p, "MaxTime", 30);
    solve(p);
    ASSERT_EQ(int_attr(p, "Status"), c.status);
    if (c.status != VLM_STATUS_OPTIMAL) continue;
    EXPECT_NEAR(dbl_attr(p, "ObjVal"), c.objective, 1e-6);
    // The point meets every row: the rows' activities within their sides.
    const int rows = int_attr(p, "NumConstrs");
    const std::vector<double> act = dbl_list(p, "Activity", rows), lb = dbl_list(p, "LHS", rows),
                              ub = dbl_list(p, "RHS", rows);
    for (int i = 0; i < rows; ++i) {
      EXPECT_GE(act[static_cast<size_t>(i)], lb[static_cast<size_t>(i)] - 1e-6) << "row " << i;
      EXPECT_LE(act[static_cast<size_t>(i)], ub[static_cast<size_t>(i)] + 1e-6) << "row " << i;
    }
  }
}

}  // namespace

// The driver hears of a tolerance or of the objective increment only when
// its parameter differs from the default: at the defaults CBC's own values
// (1e-7, an increment derived from the objective) stay in force. The gaps
// (the documented stopping rule) and the pool size always reach it; the time
// mode only with a time limit. The log lists the options of the run.
TEST(Mip, DriverGetsTolerancesOnlyWhenSet) {
  const auto options = [](std::initializer_list<std::pair<const char*, double>> set) {
    EnvPtr env = make_env();
    for (const auto& p : set) EXPECT_EQ(VLMsetdblparam(env.get(), p.first, p.second), VLM_OKAY) << p.first;
    ModelPtr m = make_model(env.get());
    EXPECT_EQ(VLMaddvar(m.get(), 0, nullptr, nullptr, 1, 0, 3, 'I', "x"), VLM_OKAY);
    testing::internal::CaptureStdout();
    EXPECT_EQ(VLMoptimize(m.get()), VLM_OKAY);
    const std::string out = testing::internal::GetCapturedStdout();
    const size_t at = out.find("Solving MIP with CBC, options");
    EXPECT_NE(at, std::string::npos) << out;
    return at == std::string::npos ? std::string() : out.substr(at, out.find('\n', at) - at) + " ";
  };
  const std::string defaults = options({});
  for (const char* absent : {"-primalTolerance", "-dualTolerance", "-integerTolerance", "-increment", "-timeMode",
                             "-seconds", "-cutoff", "-threads"})
    EXPECT_EQ(defaults.find(absent), std::string::npos) << absent << " in " << defaults;
  for (const char* present : {" -allowableGap 1e-06 ", " -ratioGap 0.0001 ", " -maxSavedSolutions 10 "})
    EXPECT_NE(defaults.find(present), std::string::npos) << present << " not in " << defaults;

  const std::string set = options({{"SPX/PrimalTolerance", 1e-7}, {"SPX/DualTolerance", 1e-8},
                                   {"MIP/IntegerTolerance", 1e-5}, {"MIP/ObjectiveTolerance", 1e-3},
                                   {"MaxTime", 60}});
  for (const char* present : {" -primalTolerance 1e-07 ", " -dualTolerance 1e-08 ", " -integerTolerance 1e-05 ",
                              " -increment 0.001 ", " -timeMode elapsed ", " -seconds "})
    EXPECT_NE(set.find(present), std::string::npos) << present << " not in " << set;
}
