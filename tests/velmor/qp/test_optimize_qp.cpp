// Convex quadratic models solved through VLMoptimize, the run's log, and
// several solves at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "solve_test_util.hpp"

using namespace vlmtest;

namespace {

// min x1^2 + x2^2 + x1 x2 - x1 - 2 x2  s.t.  x1 + x2 >= 1.5: -0.8125 at (0.25, 1.25).
ModelPtr convex_qp(VLMenv* env, int sense) {
  ModelPtr m = make_model(env);
  add_var(m.get(), -kInf, kInf, -1.0 * sense);
  add_var(m.get(), -kInf, kInf, -2.0 * sense);
  add_quad(m.get(), {0, 1, 1}, {0, 1, 0}, {1.0 * sense, 1.0 * sense, 1.0 * sense});
  add_row(m.get(), {0, 1}, {1, 1}, 1.5, kInf);
  if (sense < 0) maximise(m.get());
  return m;
}

TEST(OptimizeQp, ConvexQpEveryMethod) {
  EnvPtr env = make_env();
  for (int sense : {1, -1}) {
    for (int method : {-1, 0, 1, 2}) {
      SCOPED_TRACE("sense " + std::to_string(sense) + " method " + std::to_string(method));
      ModelPtr m = convex_qp(env.get(), sense);
      set_int(m.get(), "Method", method);
      solve(m.get());
      ASSERT_EQ(int_attr(m.get(), "Status"), VLM_STATUS_OPTIMAL);
      EXPECT_NEAR(dbl_attr(m.get(), "ObjVal"), -0.8125 * sense, 1e-6);
      expect_near_all(dbl_list(m.get(), "X", 2), {0.25, 1.25}, 1e-5);
      // The row's price: the gradient 2 x1 + x2 - 1 = 0.75 at the optimum.
      expect_near_all(dbl_list(m.get(), "DualSoln", 1), {0.75 * sense}, 1e-5);
      EXPECT_NEAR(dbl_attr(m.get(), "DualObjVal"), -0.8125 * sense, 1e-5);
    }
  }
}

TEST(OptimizeQp, NonConvexObjectiveIsRefused) {
  EnvPtr env = make_env();
  // x1^2 - x2^2 is indefinite; x1^2 is convex, so maximising it is not.
  for (int variant : {0, 1, 2}) {
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    add_var(p, -1, 1, 0);
    add_var(p, -1, 1, 0);
    if (variant == 0) add_quad(p, {0, 1}, {0, 1}, {1, -1});
    if (variant == 1) {
      add_quad(p, {0}, {0}, {1});
      maximise(p);
    }
    // x1 x2 alone: eigenvalues +-1/2.
    if (variant == 2) add_quad(p, {0}, {1}, {1});
    solve(p, VLM_ERROR_ABORT_SOLVER_NOT_AVAILABLE);
    EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_UNKNOWN);
    EXPECT_EQ(int_attr(p, "HasSolution"), 0);
  }
  // Maximising a concave objective is fine: max -x1^2 + x1 has 0.25 at 0.5.
  ModelPtr m = make_model(env.get());
  add_var(m.get(), -1, 1, 1);
  add_quad(m.get(), {0}, {0}, {-1});
  maximise(m.get());
  solve(m.get());
  EXPECT_NEAR(dbl_attr(m.get(), "ObjVal"), 0.25, 1e-7);
}

// A positive semidefinite but singular Hessian ((x1 + x2)^2) is convex.
TEST(OptimizeQp, SingularConvexHessianIsAccepted) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  VLMmodel* p = m.get();
  add_var(p, 0, 10, -1);
  add_var(p, 0, 10, 0);
  add_quad(p, {0, 1, 0}, {0, 1, 1}, {1, 1, 2});
  solve(p);
  ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(p, "ObjVal"), -0.25, 1e-7);
}

// CLP's quadratic primal ends this QP unconfirmed (its multipliers do not
// prove its point optimal): Method 0 must not report that point, and every
// method ends at a point whose DualSoln and RC prove it optimal.
//   min 1/2 x'Px + c'x, P = [[1,0,1,2],[0,0,0,0],[1,0,1,2],[2,0,2,4]],
//   c = (-4,-2,5,8), -5x0 - x1 - 2x3 = -2, 2x0 - x2 - 3x3 = -1,
//   x1 <= 1, x2 <= 5, x3 <= 3, no lower bounds.
TEST(OptimizeQp, SimplexFailureIsSolvedAgainAndConfirmed) {
  const double P[4][4] = {{1, 0, 1, 2}, {0, 0, 0, 0}, {1, 0, 1, 2}, {2, 0, 2, 4}};
  const double c[4] = {-4, -2, 5, 8}, ub[4] = {kInf, 1, 5, 3};
  const double A[2][4] = {{-5, -1, 0, -2}, {2, 0, -1, -3}};
  EnvPtr env = make_env();
  for (int method : {-1, 0}) {
    SCOPED_TRACE("method " + std::to_string(method));
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    for (int j = 0; j < 4; ++j) add_var(p, -kInf, ub[j], c[j]);
    add_quad(p, {0, 0, 0, 2, 2, 3}, {0, 2, 3, 2, 3, 3}, {0.5, 1, 2, 0.5, 2, 2});
    add_row(p, {0, 1, 3}, {-5, -1, -2}, -2, -2);
    add_row(p, {0, 2, 3}, {2, -1, -3}, -1, -1);
    set_int(p, "Method", method);
    solve(p);
    ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
    const std::vector<double> x = dbl_list(p, "X", 4), y = dbl_list(p, "DualSoln", 2), rc = dbl_list(p, "RC", 4);
    for (int i = 0; i < 2; ++i) {
      double act = 0;
      for (int j = 0; j < 4; ++j) act += A[i][j] * x[static_cast<size_t>(j)];
      EXPECT_NEAR(act, i == 0 ? -2 : -1, 1e-7);
    }
    for (int j = 0; j < 4; ++j) {
      const size_t k = static_cast<size_t>(j);
      double g = c[j];
      for (int l = 0; l < 4; ++l) g += P[j][l] * x[static_cast<size_t>(l)];
      for (int i = 0; i < 2; ++i) g -= A[i][j] * y[static_cast<size_t>(i)];
      EXPECT_NEAR(rc[k], g, 1e-6) << "column " << j;
      // No lower bounds: a reduced cost may only be <= 0, and then only at the upper bound.
      EXPECT_LE(rc[k], 1e-6) << "column " << j;
      if (rc[k] < -1e-6) {
        EXPECT_NEAR(x[k], ub[j], 1e-6) << "column " << j;
      }
      EXPECT_LE(x[k], ub[j] + 1e-9);
    }
  }
}

// A run stopped short of the tolerances (here by IPM/MaxIterations) never
// reports a point that fails them: OPTIMAL only at the optimum (a run
// polished on its active set can reach it), else SUB_OPTIMAL with a point
// that keeps its row, or UNKNOWN.
TEST(OptimizeQp, StoppedRunIsNeverWronglyOptimal) {
  EnvPtr env = make_env();
  for (int iterations : {0, 1, 2, 3}) {
    ModelPtr m = convex_qp(env.get(), 1);
    set_int(m.get(), "IPM/MaxIterations", iterations);
    solve(m.get());
    const int status = int_attr(m.get(), "Status");
    if (status == VLM_STATUS_OPTIMAL) {
      EXPECT_NEAR(dbl_attr(m.get(), "ObjVal"), -0.8125, 1e-7);
      expect_near_all(dbl_list(m.get(), "X", 2), {0.25, 1.25}, 1e-6);
    } else if (status == VLM_STATUS_SUB_OPTIMAL) {
      const std::vector<double> x = dbl_list(m.get(), "X", 2);
      EXPECT_GE(x[0] + x[1], 1.5 - 1e-6);
    } else {
      EXPECT_EQ(status, VLM_STATUS_UNKNOWN);
    }
  }
}

// Infeasibility and unboundedness that only the interior point method's
// certificates show: rows that contradict each other in a combination, and
// a ray along two columns that the row and the Hessian see alike.
TEST(OptimizeQp, InfeasibleAndUnboundedByCertificate) {
  EnvPtr env = make_env();
  {
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    for (int j = 0; j < 3; ++j) add_var(p, -kInf, kInf, 1);
    add_quad(p, {0, 1, 2}, {0, 1, 2}, {1, 1, 1});
    // Pairwise sums of at least 2 need a total of at least 3.
    add_row(p, {0, 1}, {1, 1}, 2, kInf);
    add_row(p, {1, 2}, {1, 1}, 2, kInf);
    add_row(p, {0, 2}, {1, 1}, 2, kInf);
    add_row(p, {0, 1, 2}, {1, 1, 1}, -kInf, 2.9);
    solve(p);
    EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_INFEASIBLE);
    EXPECT_EQ(int_attr(p, "HasSolution"), 0);
  }
  {
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    add_var(p, -kInf, kInf, 1);  // x0 - x1 costs 1 - 2 per unit and changes nothing else
    add_var(p, -kInf, kInf, 2);
    add_var(p, 0, 4, -1);
    add_quad(p, {2}, {2}, {1});
    add_row(p, {0, 1, 2}, {1, 1, 1}, 1, 3);
    solve(p);
    EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_UNBOUNDED);
    EXPECT_EQ(int_attr(p, "HasPrimalRay"), 1);
  }
}

// Bounds that cross by less than the feasibility tolerance are no proof of
// infeasibility: no verdict then; crossing by more, infeasible.
TEST(OptimizeQp, BoundsCrossedByAHairAreNoInfeasibility) {
  EnvPtr env = make_env();
  for (double ub : {1 - 5e-9, 1 - 1e-3}) {
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    add_var(p, 1, ub, 0);
    add_quad(p, {0}, {0}, {1});
    solve(p);
    EXPECT_EQ(int_attr(p, "Status"), ub > 0.99999 ? VLM_STATUS_UNKNOWN : VLM_STATUS_INFEASIBLE) << ub;
  }
}

// Data rounded to a few digits can leave a semidefinite Hessian with a
// slightly negative eigenvalue: (x + y/3)^2 stored as 1, 0.333334, 0.111111
// (eigenvalue about -1.5e-7) is convex up to its rounding; 0.35 instead of
// 1/3 (eigenvalue about -0.01) is not.
TEST(OptimizeQp, RoundedSemidefiniteHessianIsAccepted) {
  EnvPtr env = make_env();
  for (double off : {0.333334, 0.35}) {
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    add_var(p, -1, 1, -1);
    add_var(p, -1, 1, 0);
    add_quad(p, {0, 0, 1}, {0, 1, 1}, {0.5, off, 0.5 * 0.111111});
    if (off > 0.34) {
      solve(p, VLM_ERROR_ABORT_SOLVER_NOT_AVAILABLE);
      continue;
    }
    solve(p);
    ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
    // 1/2 (x + y/3)^2 - x is least at x = 1, y = -1: 1/2 (2/3)^2 - 1.
    EXPECT_NEAR(dbl_attr(p, "ObjVal"), -7.0 / 9, 1e-5);
  }
}

// A Hessian whose graph is one component of 20,000 columns (a path: the
// second differences of x, semidefinite and singular) is tested by a sparse
// factorisation; a dense eigen-decomposition would need gigabytes. One
// negative diagonal entry makes it indefinite.
TEST(OptimizeQp, LargeSparseHessianIsTestedByFactorisation) {
  EnvPtr env = make_env();
  const int n = 20000;
  for (bool indefinite : {false, true}) {
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    std::vector<double> obj(static_cast<size_t>(n), 0.0), lb(static_cast<size_t>(n), -1.0),
        ub(static_cast<size_t>(n), 1.0);
    obj[0] = -1;
    ASSERT_EQ(VLMaddvars(p, n, 0, nullptr, nullptr, nullptr, obj.data(), lb.data(), ub.data(), nullptr, nullptr),
              VLM_OKAY);
    std::vector<int> r, c;
    std::vector<double> v;
    for (int j = 0; j < n; ++j) {
      r.push_back(j), c.push_back(j), v.push_back(j == 0 || j == n - 1 ? 0.5 : 1.0);
      if (j + 1 < n) r.push_back(j), c.push_back(j + 1), v.push_back(-1.0);
    }
    if (indefinite) v[2 * (n / 2)] = -0.5;
    ASSERT_EQ(VLMaddqpterms(p, static_cast<int>(v.size()), r.data(), c.data(), v.data()), VLM_OKAY);
    if (indefinite) {
      solve(p, VLM_ERROR_ABORT_SOLVER_NOT_AVAILABLE);
      continue;
    }
    solve(p);
    ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
    // 1/2 sum (x_{j+1} - x_j)^2 - x_0: every x at 1 costs nothing and gives -1.
    EXPECT_NEAR(dbl_attr(p, "ObjVal"), -1.0, 1e-6);
  }
}

// OPTIMAL means an objective within about 1e-7 of the optimum relative to
// max(1, |optimum|), and to its own size where the objective's terms are all
// small: measured against 1 + |objective| and 1 + the terms, the gap let
// both objectives below end OPTIMAL 6e-5 and 3e-5 (relative) away.
TEST(OptimizeQp, OptimaAreAccurateAtDefaultTolerances) {
  EnvPtr env = make_env();
  {
    // Schittkowski's problem 268: 14463 + x'Dx - 2b'x, five rows x'a >= s;
    // 0 at (1, 2, -1, 3, -4), where D x = b and the last row is just met.
    const double D[5][5] = {{10197, -12454, -1013, 1948, 329},
                            {-12454, 20909, -1733, -4914, -186},
                            {-1013, -1733, 1755, 1089, -174},
                            {1948, -4914, 1089, 1515, -22},
                            {329, -186, -174, -22, 27}};
    const double b[5] = {-9170, 17099, -2271, -4336, -43};
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    for (int j = 0; j < 5; ++j) add_var(p, -kInf, kInf, -2 * b[j]);
    for (int i = 0; i < 5; ++i)
      for (int j = i; j < 5; ++j) add_quad(p, {i}, {j}, {(i == j ? 1 : 2) * D[i][j]});
    ASSERT_EQ(VLMsetdblattr(p, "ObjCon", 14463), VLM_OKAY);
    add_row(p, {0, 1, 2, 3, 4}, {-1, -1, -1, -1, -1}, -5, kInf);
    add_row(p, {0, 1, 2, 3, 4}, {10, 10, -3, 5, 4}, 20, kInf);
    add_row(p, {0, 1, 2, 3, 4}, {-8, 1, -2, -5, 3}, -40, kInf);
    add_row(p, {0, 1, 2, 3, 4}, {8, -1, 2, 5, -3}, 11, kInf);
    add_row(p, {0, 1, 2, 3, 4}, {-4, -2, 3, -5, 1}, -30, kInf);
    solve(p);
    ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
    EXPECT_LE(std::fabs(dbl_attr(p, "ObjVal")), 1e-7);
  }
  {
    // 1e-4 |x - c|^2 over the simplex (x >= 0, sum 1): the projection of c,
    // x = max(c - theta, 0) with theta fixed by the sum, found by bisection.
    const int n = 20;
    std::vector<double> c(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) c[static_cast<size_t>(i)] = 0.3 * std::sin(1.0 + 3.7 * i) + 1.0 / n;
    auto excess = [&](double theta) {
      double sum = -1;
      for (double ci : c) sum += std::max(ci - theta, 0.0);
      return sum;
    };
    double lo = -2, hi = 2;
    for (int k = 0; k < 200; ++k) (excess(0.5 * (lo + hi)) > 0 ? lo : hi) = 0.5 * (lo + hi);
    double optimum = 0;
    for (double ci : c) optimum += 1e-4 * std::pow(std::max(ci - lo, 0.0) - ci, 2);
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    std::vector<int> all(static_cast<size_t>(n));
    std::vector<double> ones(static_cast<size_t>(n), 1.0);
    double constant = 0;
    for (int i = 0; i < n; ++i) {
      const double ci = c[static_cast<size_t>(i)];
      add_var(p, 0, kInf, -2e-4 * ci);
      add_quad(p, {i}, {i}, {1e-4});
      all[static_cast<size_t>(i)] = i;
      constant += 1e-4 * ci * ci;
    }
    ASSERT_EQ(VLMsetdblattr(p, "ObjCon", constant), VLM_OKAY);
    ASSERT_EQ(VLMaddrangeconstr(p, n, all.data(), ones.data(), 1, 1, nullptr), VLM_OKAY);
    solve(p);
    ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
    EXPECT_NEAR(dbl_attr(p, "ObjVal"), optimum, 1e-7 * optimum);
  }
}

// A network of 120 arcs over 60 nodes whose flows are of 1e5 (a unit leaves
// one node, a yield of 1, 505 or 1095.2 reaches another; a few arcs carry
// 7e4 at least, a quarter at most 1.13e5), with costs below 1, one arc in a
// hundred at 8.2e4 and a tenth of the arcs in quadratic pairs 10 (x_a -
// x_b)^2 + ...: objectives of 1e11 over values of 1e5. The seed drives a
// 64-bit linear congruential sequence. On these seeds the method's steps go
// astray where the values are left at their size in the scaled problem, or
// where the regularisation follows mu below what its factors can refine.
ModelPtr large_flow(VLMenv* env, std::uint64_t seed, std::vector<std::vector<std::pair<int, double>>>& rows,
                    std::vector<double>& rhs) {
  constexpr int n = 120, m = 60;
  std::uint64_t state = seed;
  auto uniform = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0;
  };
  auto pick = [&uniform](int count) { return std::min(static_cast<int>(uniform() * count), count - 1); };
  const double yields[4] = {1.0, 1.0, 505.0, 1095.2};
  ModelPtr model = make_model(env);
  rows.assign(m, {});
  std::vector<double> flow(n);
  for (int j = 0; j < n; ++j) {
    const int from = pick(m);
    int to = pick(m);
    if (to == from) to = (from + 1) % m;
    const double yield = yields[pick(4)];
    rows[static_cast<size_t>(from)].push_back({j, 1.0});
    rows[static_cast<size_t>(to)].push_back({j, -yield});
    const double lb = uniform() < 0.05 ? 7e4 : 0.0;
    const double x = std::max(uniform() * 1.1e5, lb + 1);
    const double ub = std::max(uniform() < 0.25 ? 1.13e5 : kInf, x + 1);
    const double cost = uniform() < 0.01 ? 8.2e4 : 0.2 + 0.6 * uniform();
    flow[static_cast<size_t>(j)] = x;
    add_var(model.get(), lb, ub, cost);
  }
  for (int t = 0; t < n / 10; ++t) {
    const int a = pick(n), b = pick(n);
    if (a != b) add_quad(model.get(), {a, b, a}, {a, b, b}, {10, 10, -10});
  }
  rhs.assign(m, 0.0);
  for (int i = 0; i < m; ++i) {
    std::vector<int> ind;
    std::vector<double> val;
    for (const auto& e : rows[static_cast<size_t>(i)]) {
      ind.push_back(e.first);
      val.push_back(e.second);
      rhs[static_cast<size_t>(i)] += e.second * flow[static_cast<size_t>(e.first)];
    }
    const double side = rhs[static_cast<size_t>(i)];
    EXPECT_EQ(VLMaddrangeconstr(model.get(), static_cast<int>(ind.size()), ind.data(), val.data(), side, side, nullptr),
              VLM_OKAY);
  }
  return model;
}

// Objectives of 1e11 over values of 1e5 end OPTIMAL: the point keeps its
// rows, and its multipliers bound the objective from below as closely as
// the tolerances allow.
TEST(OptimizeQp, LargeValuesUnderALargeObjectiveEndOptimal) {
  EnvPtr env = make_env();
  for (std::uint64_t seed : {97, 119, 138, 158, 180}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::vector<std::vector<std::pair<int, double>>> rows;
    std::vector<double> rhs;
    ModelPtr m = large_flow(env.get(), seed, rows, rhs);
    solve(m.get());
    ASSERT_EQ(int_attr(m.get(), "Status"), VLM_STATUS_OPTIMAL);
    const std::vector<double> x = dbl_list(m.get(), "X", int_attr(m.get(), "NumVars"));
    for (size_t i = 0; i < rows.size(); ++i) {
      double activity = 0, largest = std::max(1.0, std::fabs(rhs[i]));
      for (const auto& e : rows[i]) {
        activity += e.second * x[static_cast<size_t>(e.first)];
        largest = std::max(largest, std::fabs(e.second * x[static_cast<size_t>(e.first)]));
      }
      EXPECT_LE(std::fabs(activity - rhs[i]), 1e-8 * largest) << "row " << i;
    }
    const double objective = dbl_attr(m.get(), "ObjVal");
    EXPECT_LE(std::fabs(objective - dbl_attr(m.get(), "DualObjVal")), 1e-7 * std::fabs(objective));
  }
}

// ---- log and threads -------------------------------------------------------------------

TEST(OptimizeLog, EverythingPrintedGoesThroughTheLog) {
  const std::string path = temp_path("optimize.log");
  std::remove(path.c_str());
  VLMenv* raw = nullptr;
  ASSERT_EQ(VLMloadenv(&raw, path.c_str()), VLM_OKAY);
  EnvPtr env(raw);
  ModelPtr m = convex_qp(env.get(), 1);
  testing::internal::CaptureStdout();
  ASSERT_EQ(VLMoptimize(m.get()), VLM_OKAY);
  const std::string printed = testing::internal::GetCapturedStdout();
  const std::string logged = read_text(path);
  EXPECT_EQ(printed, logged);
  EXPECT_NE(logged.find("1 rows, 2 columns"), std::string::npos) << logged;
  EXPECT_NE(logged.find("Status: optimal, objective -0.8125"), std::string::npos) << logged;
}

void ignore_signal(int) {}

TEST(OptimizeLog, SignalHandlersAreLeftAlone) {
  auto previous = std::signal(SIGINT, ignore_signal);
  EnvPtr env = make_env();
  ModelPtr m = convex_qp(env.get(), 1);
  solve(m.get());
  EXPECT_EQ(std::signal(SIGINT, previous), ignore_signal);
}

TEST(OptimizeThreads, TwoModelsAtOnce) {
  EnvPtr env = make_env();
  std::vector<ModelPtr> models;
  for (int k = 0; k < 2; ++k) {
    ModelPtr m = make_model(env.get());
    // A larger LP so the two runs overlap: a transportation problem.
    const int s = 40;
    for (int i = 0; i < s * s; ++i) add_var(m.get(), 0, kInf, 1 + (i * 7 + k) % 13);
    std::vector<int> cols(static_cast<size_t>(s));
    std::vector<double> ones(static_cast<size_t>(s), 1.0);
    for (int i = 0; i < s; ++i) {
      for (int j = 0; j < s; ++j) cols[static_cast<size_t>(j)] = i * s + j;
      ASSERT_EQ(VLMaddrangeconstr(m.get(), s, cols.data(), ones.data(), -kInf, 10, nullptr), VLM_OKAY);
      for (int j = 0; j < s; ++j) cols[static_cast<size_t>(j)] = j * s + i;
      ASSERT_EQ(VLMaddrangeconstr(m.get(), s, cols.data(), ones.data(), 9, kInf, nullptr), VLM_OKAY);
    }
    models.push_back(std::move(m));
  }
  std::vector<double> alone;
  for (auto& m : models) {
    solve(m.get());
    alone.push_back(dbl_attr(m.get(), "ObjVal"));
  }
  std::vector<int> codes(2, -1);
  std::thread a([&] { codes[0] = VLMoptimize(models[0].get()); });
  std::thread b([&] { codes[1] = VLMoptimize(models[1].get()); });
  a.join();
  b.join();
  for (size_t k = 0; k < 2; ++k) {
    EXPECT_EQ(codes[k], VLM_OKAY);
    EXPECT_EQ(int_attr(models[k].get(), "Status"), VLM_STATUS_OPTIMAL);
    EXPECT_NEAR(dbl_attr(models[k].get(), "ObjVal"), alone[k], 1e-6);
  }
}

// A convex regression (x's second differences kept >= 0, x fitted to
// sin(2 pi t) with a ripple) on which the interior point method stalls, its
// optimal multipliers being huge against the data, and the Ipopt fallback
// solves it. Two columns in every row, with a range of 1e-9, make the KKT
// system Ipopt factorises one with dense columns, which MUMPS's automatic
// choice orders with Scotch's threads.
ModelPtr stalling_qp(VLMenv* env, int n) {
  const int fit = n + 2, cols = fit + 2;
  ModelPtr m = make_model(env);
  std::vector<double> obj(static_cast<size_t>(cols), 1.0), lb(static_cast<size_t>(cols), -kInf),
      ub(static_cast<size_t>(cols), kInf);
  std::vector<int> q(static_cast<size_t>(fit));
  std::vector<double> half(static_cast<size_t>(fit), 0.5);
  for (int i = 0; i < fit; ++i) {
    const double t = static_cast<double>(i) / (fit - 1);
    obj[static_cast<size_t>(i)] = -(std::sin(2 * M_PI * t) + 0.1 * std::sin(i + 1.0));
    q[static_cast<size_t>(i)] = i;
  }
  for (int j = fit; j < cols; ++j) lb[static_cast<size_t>(j)] = 0, ub[static_cast<size_t>(j)] = 1e-9;
  EXPECT_EQ(VLMaddvars(m.get(), cols, 0, nullptr, nullptr, nullptr, obj.data(), lb.data(), ub.data(), nullptr, nullptr),
            VLM_OKAY);
  EXPECT_EQ(VLMaddqpterms(m.get(), fit, q.data(), q.data(), half.data()), VLM_OKAY);
  for (int j = 0; j < n; ++j) add_row(m.get(), {j, j + 1, j + 2, fit, fit + 1}, {1, -2, 1, 1, 1}, 0, kInf);
  return m;
}

// Several such runs at once, each reaching the fallback: each ends with the
// same point. (Ordered by Scotch, whose threads order differently run by
// run, the runs ended at different points, and Scotch has corrupted the
// heap on larger such systems.)
TEST(OptimizeThreads, StalledQpsFallBackAlikeAtOnce) {
  const std::string path = temp_path("fallback.log");
  std::remove(path.c_str());
  VLMenv* raw = nullptr;
  ASSERT_EQ(VLMloadenv(&raw, path.c_str()), VLM_OKAY);
  EnvPtr env(raw);
  constexpr int kRuns = 4, kRows = 4000;
  std::vector<ModelPtr> models;
  for (int k = 0; k < kRuns; ++k) models.push_back(stalling_qp(env.get(), kRows));
  std::vector<int> codes(kRuns, -1);
  std::vector<std::thread> threads;
  for (int k = 0; k < kRuns; ++k) threads.emplace_back([&, k] { codes[k] = VLMoptimize(models[k].get()); });
  for (std::thread& t : threads) t.join();
  const std::string logged = read_text(path);
  int fallbacks = 0;
  for (size_t at = logged.find("solving by Ipopt"); at != std::string::npos; at = logged.find("solving by Ipopt", at + 1))
    ++fallbacks;
  EXPECT_EQ(fallbacks, kRuns) << logged;
  const int n = int_attr(models[0].get(), "NumVars");
  const std::vector<double> first = dbl_list(models[0].get(), "X", n);
  for (int k = 0; k < kRuns; ++k) {
    SCOPED_TRACE("run " + std::to_string(k));
    EXPECT_EQ(codes[k], VLM_OKAY);
    EXPECT_EQ(int_attr(models[k].get(), "Status"), VLM_STATUS_OPTIMAL);
    EXPECT_TRUE(dbl_list(models[k].get(), "X", n) == first);
  }
}

}  // namespace
