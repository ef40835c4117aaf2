// Numbers and shapes of models that CLP, CBC and CGL cannot take (each of
// them stops the process with a failed assertion or a crash there): every run
// ends with a status or a code instead, and the model stays usable.
#include <gtest/gtest.h>

#include <chrono>
#include <utility>
#include <vector>

#include "solve_test_util.hpp"

using namespace vlmtest;

namespace {

constexpr int kLower = 1, kUpper = 2;  // IISVar / IISConstr sides

TEST(SolverLimits, HugeObjectiveCoefficientIsRefusedByEveryRun) {
  EnvPtr env = make_env();
  for (int kind : {0, 1, 2, 3}) {  // LP without presolve, QP, MIP, MIQP
    for (double c : {1e25, -1e30, 1e300}) {
      ModelPtr m = make_model(env.get());
      VLMmodel* p = m.get();
      add_var(p, 0, 5, c);
      add_var(p, 0, 1, 1, kind >= 2 ? VLM_BINARY : VLM_CONTINUOUS);
      add_row(p, {0, 1}, {1, 1}, -kInf, 3);
      if (kind == 0) set_int(p, "Presolve", 0);
      if (kind == 1 || kind == 3) add_quad(p, {0}, {0}, {1});
      solve(p, VLM_ERROR_SIMPLEX_NUMERIC);
      EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_UNKNOWN);
      const int j = 0;
      double below = 1e24;
      ASSERT_EQ(VLMsetdblattrlist(p, "Obj", 1, &j, &below), VLM_OKAY);
      solve(p);
      EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
    }
  }
}

// x >= +inf, x <= -inf, lb = +inf, ub = -inf: infeasible as they stand, and
// each side alone is the IIS; with a discrete part too.
TEST(SolverLimits, SideAtInfinityOnItsWrongSide) {
  EnvPtr env = make_env();
  for (bool discrete : {false, true}) {
    for (int which = 0; which < 4; ++which) {
      ModelPtr m = make_model(env.get());
      VLMmodel* p = m.get();
      add_var(p, -5, 5, 1);
      add_var(p, 0, kInf, 0, discrete ? VLM_BINARY : VLM_CONTINUOUS);
      add_row(p, {0, 1}, {1, 1}, -kInf, 3);
      if (which == 0) add_row(p, {0}, {1}, 1e30, kInf);
      if (which == 1) add_row(p, {0}, {1}, -kInf, -1e30);
      const int j = 0;
      double v = which == 2 ? 1e30 : -1e30;
      if (which >= 2) {
        ASSERT_EQ(VLMsetdblattrlist(p, which == 2 ? "LB" : "UB", 1, &j, &v), VLM_OKAY);
      }
      solve(p);
      EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_INFEASIBLE);
      ASSERT_EQ(VLMcomputeIIS(p), VLM_OKAY);
      const int rows = int_attr(p, "NumConstrs");
      const std::vector<int> vars = int_list(p, "IISVar", 2), cons = int_list(p, "IISConstr", rows);
      if (which < 2) {
        EXPECT_EQ(vars, (std::vector<int>{0, 0}));
        EXPECT_EQ(cons, (std::vector<int>{0, which == 0 ? kLower : kUpper}));
      } else {
        EXPECT_EQ(vars, (std::vector<int>{which == 2 ? kLower : kUpper, 0}));
        EXPECT_EQ(cons, (std::vector<int>{0}));
      }
    }
  }
}

// A semi-continuous variable whose range lies at infinity, or is empty, can
// only be 0 (with an SOS in the model, CGL's probing asserted on the huge
// right-hand side an empty range's side had).
TEST(SolverLimits, SemiContinuousRangeAtInfinityOrEmpty) {
  EnvPtr env = make_env();
  for (char type : {VLM_SEMICONT, VLM_SEMIINT}) {
    for (std::pair<double, double> range : {std::pair{1e30, 1e30}, {-1e30, -1e30}, {0.0, -9.2e18}, {3.0, 2.0}}) {
      ModelPtr m = make_model(env.get());
      VLMmodel* p = m.get();
      add_var(p, range.first, range.second, -1, type);
      add_var(p, 0, 2, -1);
      add_var(p, 0, 2, 0);
      add_sos(p, 1, {1, 2}, {1, 2});
      solve(p);
      ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
      expect_near_all(dbl_list(p, "X", 2), {0, 2});
      EXPECT_EQ(VLMcomputeIIS(p), VLM_ERROR_IIS_FEASIBLE);
      add_row(p, {0}, {1}, 1, kInf);  // and now it must be at least 1
      solve(p);
      EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_INFEASIBLE);
    }
  }
}

// Integer columns with finite bounds beyond 2^53 (where not every integer
// is a double) are refused by runs and IIS computations alike.
TEST(SolverLimits, IntegerBoundBeyondExactDoubles) {
  EnvPtr env = make_env();
  for (double lb : {1e16, -1e19}) {
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    add_var(p, -5, 5, 1);
    add_var(p, 0, 5, 2);
    add_var(p, lb, lb < 0 ? -1e18 : 1e19, 0, VLM_INTEGER);
    add_sos(p, 1, {0, 1}, {1, 2});
    solve(p, VLM_ERROR_SIMPLEX_NUMERIC);
    EXPECT_EQ(VLMcomputeIIS(p), VLM_ERROR_IIS_NUMERIC);
    const int j = 2;
    double zero = 0, inf = kInf;
    ASSERT_EQ(VLMsetdblattrlist(p, "LB", 1, &j, &zero), VLM_OKAY);
    ASSERT_EQ(VLMsetdblattrlist(p, "UB", 1, &j, &inf), VLM_OKAY);
    solve(p);
    EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
  }
}

// A continuous column that CGL's probing takes for an integer one (it is in
// no row, or only in rows that leave it integral) and whose value is a bound
// beyond 2^53, where x + 1 == x: probing asserted on it. The bound may be
// the column's own, a row's side or implied by rows; such models are solved,
// without probing.
int no_callback_work(VLMmodel*, void*, int, void*) { return 0; }

TEST(SolverLimits, ContinuousValueBeyondExactDoubles) {
  EnvPtr env = make_env();
  for (double bound : {-1e16, -9.2233720368547758e18}) {
    // SOS1 {x, y} over ranges below 0 and a free-standing column at `bound`,
    // as the IIS's MIP solves hand it to CBC: feasible, at the bound.
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    add_var(p, -1, 5, 0);
    add_var(p, -5, 5, 0);
    add_var(p, bound, kInf, 1);
    add_row(p, {}, {}, -kInf, 10);
    add_sos(p, 1, {0, 1}, {1, 2});
    solve(p);
    ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
    EXPECT_EQ(dbl_list(p, "X", 3)[2], bound);
    EXPECT_EQ(VLMcomputeIIS(p), VLM_ERROR_IIS_FEASIBLE);
  }
  for (char type : {VLM_CONTINUOUS, VLM_INTEGER}) {
    // The value comes from small numbers: x >= 1e10 and y >= 1e7 x.
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    add_var(p, -1, 5, 0);
    add_var(p, -5, 5, 0);
    add_var(p, 1e10, type == VLM_INTEGER ? 2e10 : 1e10, 1, type);
    add_var(p, -kInf, kInf, 1);
    add_row(p, {}, {}, -kInf, 10);
    add_row(p, {3, 2}, {1, -1e7}, 0, kInf);
    add_sos(p, 1, {0, 1}, {1, 2});
    solve(p);
    ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
    EXPECT_EQ(dbl_list(p, "X", 4)[3], 1e17);
    EXPECT_EQ(VLMcomputeIIS(p), VLM_ERROR_IIS_FEASIBLE);
  }
  for (bool callback : {false, true}) {
    // x >= 2^64 on a free x in an SOS1 set; with a callback registered, CBC
    // probes x at its row's side.
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    add_var(p, -kInf, kInf, 0);
    add_row(p, {0}, {1}, 18446744073709551616.0, kInf);
    add_sos(p, 1, {0}, {1});
    if (callback) {
      ASSERT_EQ(VLMsetcallbackfunc(p, no_callback_work, nullptr), VLM_OKAY);
    }
    solve(p);
    ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
    EXPECT_GE(dbl_list(p, "X", 1)[0], 18446744073709551616.0 * (1 - 1e-9));
    EXPECT_EQ(VLMcomputeIIS(p), VLM_ERROR_IIS_FEASIBLE);
  }
}

// A time limit that expires at once ends every kind of run normally, with
// no solution: no solver's own assertion may end the process (CLP's primal
// has asserted on a limit met in its first phase).
TEST(SolverLimits, TimeLimitThatExpiresAtOnce) {
  EnvPtr env = make_env();
  for (const char* kind : {"lp", "qp", "qp-simplex", "miqp"}) {
    SCOPED_TRACE(kind);
    const std::string k = kind;
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    for (int j = 0; j < 3; ++j) add_var(p, -10, 10, j == 2 ? -1 : 1, k == "miqp" && j == 0 ? VLM_INTEGER : VLM_CONTINUOUS);
    add_row(p, {0, 1, 2}, {1, 1, 1}, 1, kInf);
    add_row(p, {0, 1}, {1, -1}, -kInf, 2);
    if (k != "lp") add_quad(p, {0, 0, 1, 2}, {0, 1, 1, 2}, {1, 1, 1, 1});
    if (k == "qp-simplex") set_int(p, "Method", 0);
    for (double limit : {0.0, 1e-9}) {
      set_dbl(p, "MaxTime", limit);
      solve(p);
      EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_UNKNOWN);
      EXPECT_EQ(int_attr(p, "HasSolution"), 0);
    }
  }
}

// An arithmetic mean as an LP (sum(E) = 0, Mean + E[z] = z, all free): one
// row and one column hold n - 1 entries, on which CLP's presolve (and its
// barrier's normal equations) take time that grows with n^2 without
// polling the limit (at n = 2^16 CLP's presolve alone took 22 s). A small
// MaxTime is held, and a point reported has Mean = n / 2. The interior
// point method (Method -1) is also stopped by shorter limits, which land in
// its reduction, ordering, factorisations, solves and iterations: wherever
// the stop is heard, the run ends with a point that holds, or none.
TEST(SolverLimits, TimeLimitHeldOnLongRowsAndColumns) {
  constexpr int n = 1 << 16;
  constexpr double kLimit = 1;
  EnvPtr env = make_env();
  for (auto [method, limit] : {std::pair{-1, kLimit}, std::pair{0, kLimit}, std::pair{1, kLimit}, std::pair{-1, 0.005},
                               std::pair{-1, 0.01}, std::pair{-1, 0.02}, std::pair{-1, 0.04}, std::pair{-1, 0.08},
                               std::pair{-1, 0.16}}) {
    SCOPED_TRACE("Method " + std::to_string(method) + ", MaxTime " + std::to_string(limit));
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    std::vector<double> free_lb(n, -kInf), free_ub(n, kInf);
    ASSERT_EQ(VLMaddvars(p, n, 0, nullptr, nullptr, nullptr, nullptr, free_lb.data(), free_ub.data(), nullptr, nullptr),
              VLM_OKAY);
    std::vector<int> beg, ind;
    std::vector<double> val, side;
    beg.push_back(0);
    for (int z = 1; z < n; ++z) ind.push_back(z), val.push_back(1);
    side.push_back(0);
    for (int z = 1; z < n; ++z) {
      beg.push_back(static_cast<int>(ind.size()));
      ind.insert(ind.end(), {0, z});
      val.insert(val.end(), {1, 1});
      side.push_back(z);
    }
    ASSERT_EQ(VLMaddrangeconstrs(p, n, static_cast<int>(ind.size()), beg.data(), ind.data(), val.data(), side.data(),
                                 side.data(), nullptr),
              VLM_OKAY);
    set_int(p, "Method", method);
    set_dbl(p, "MaxTime", limit);
    const auto start = std::chrono::steady_clock::now();
    solve(p);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (limit == kLimit) {
      EXPECT_LT(seconds, kLimit + 2);
    }
    const int status = int_attr(p, "Status");
    if (status == VLM_STATUS_OPTIMAL || status == VLM_STATUS_SUB_OPTIMAL) {
      EXPECT_NEAR(dbl_list(p, "X", 1)[0], n / 2.0, 1e-6 * n);
    } else {
      EXPECT_EQ(status, VLM_STATUS_UNKNOWN);
      EXPECT_EQ(int_attr(p, "SolCount"), 0);
    }
  }
}

// min x + x^2 with y = 1, SOS1 {x, y} and an indicator: CLP's quadratic
// primal gives up on a node's relaxation, and the linear fallback must not
// keep an empty quadratic objective (CLP crashes on one).
TEST(SolverLimits, MiqpRelaxationFallbackIsLinear) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  VLMmodel* p = m.get();
  add_var(p, -5, 5, 1);          // x
  add_var(p, -5, 5, 0);          // y
  add_var(p, 0, 1, 0, VLM_BINARY);
  add_quad(p, {0}, {0}, {1});
  add_row(p, {1}, {1}, 1, 1);
  const int ind[] = {0, 1};
  const double val[] = {1, 1};
  ASSERT_EQ(VLMaddgenconstrIndicator(p, nullptr, 2, 1, 2, ind, val, VLM_LESS_EQUAL, 3), VLM_OKAY);
  add_sos(p, 1, {0, 1}, {1, 2});
  solve(p);
  ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
  expect_near_all(dbl_list(p, "X", 2), {0, 1});
  EXPECT_NEAR(dbl_attr(p, "ObjVal"), 0, 1e-9);
}

}  // namespace
