// Linear and convex quadratic models solved through VLMoptimize: values,
// duals, reduced costs, bases, statuses, rays, statistics and the log.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "solve_test_util.hpp"

using namespace vlmtest;

namespace {

// min x + 2y  s.t.  r0: x + y >= 3,  0 <= x <= 2,  y >= 0
// optimum x = 2, y = 1, objective 4; the row prices at 2, x's bound at -1.
ModelPtr priced_lp(VLMenv* env) {
  ModelPtr m = make_model(env);
  add_var(m.get(), 0, 2, 1);
  add_var(m.get(), 0, kInf, 2);
  add_row(m.get(), {0, 1}, {1, 1}, 3, kInf);
  return m;
}

TEST(OptimizeLp, ValuesDualsReducedCostsAndBasis) {
  EnvPtr env = make_env();
  ModelPtr m = priced_lp(env.get());
  VLMmodel* p = m.get();
  solve(p);
  EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_EQ(int_attr(p, "HasSolution"), 1);
  EXPECT_EQ(int_attr(p, "SolCount"), 1);
  EXPECT_NEAR(dbl_attr(p, "ObjVal"), 4, 1e-9);
  EXPECT_NEAR(dbl_attr(p, "PrimalObjVal"), 4, 1e-9);
  EXPECT_NEAR(dbl_attr(p, "DualObjVal"), 4, 1e-9);
  expect_near_all(dbl_list(p, "X", 2), {2, 1});
  expect_near_all(dbl_list(p, "PrimalSoln", 2), {2, 1});
  expect_near_all(dbl_list(p, "Activity", 1), {3});
  expect_near_all(dbl_list(p, "DualSoln", 1), {2});
  expect_near_all(dbl_list(p, "RC", 2), {-1, 0});
  expect_near_all(dbl_list(p, "ReducedCost", 2), {-1, 0});
  EXPECT_EQ(int_list(p, "ColBasis", 2), (std::vector<int>{VLM_BASIS_UPPER, VLM_BASIS_BASIC}));
  EXPECT_EQ(int_list(p, "RowBasis", 1), (std::vector<int>{VLM_BASIS_LOWER}));
  EXPECT_EQ(int_attr(p, "HasPrimalRay"), 0);
  EXPECT_EQ(int_attr(p, "HasDualRay"), 0);
  EXPECT_GE(int_attr(p, "SPX/NumIters"), 0);
  EXPECT_EQ(int_attr(p, "IPM/NumIters"), 0);
  EXPECT_GE(dbl_attr(p, "SolutionTime"), dbl_attr(p, "SolverTime"));
  EXPECT_GE(dbl_attr(p, "SolverTime"), 0);
  EXPECT_GE(dbl_attr(p, "PresolverTime"), 0);
  // An LP has no MIP gap; Xn 0 is X.
  double gap;
  EXPECT_EQ(VLMgetdblattr(p, "MIP/GapRel", &gap), VLM_ERROR_DATA_NOT_AVAILABLE);
  expect_near_all(dbl_list(p, "Xn", 2), {2, 1});
}

TEST(OptimizeLp, EveryMethodAgrees) {
  EnvPtr env = make_env();
  for (int method : {-1, 0, 1, 2}) {
    for (int presolve : {-1, 0}) {
      SCOPED_TRACE("Method " + std::to_string(method) + " Presolve " + std::to_string(presolve));
      ModelPtr m = priced_lp(env.get());
      set_int(m.get(), "Method", method);
      set_int(m.get(), "Presolve", presolve);
      solve(m.get());
      EXPECT_EQ(int_attr(m.get(), "Status"), VLM_STATUS_OPTIMAL);
      EXPECT_NEAR(dbl_attr(m.get(), "ObjVal"), 4, 1e-6);
      expect_near_all(dbl_list(m.get(), "DualSoln", 1), {2}, 1e-6);
      if (method == 2) {
        EXPECT_GT(int_attr(m.get(), "IPM/NumIters"), 0);
      }
    }
  }
}

TEST(OptimizeLp, BarrierWithoutCrossoverHasNoBasis) {
  EnvPtr env = make_env();
  ModelPtr m = priced_lp(env.get());
  set_int(m.get(), "Method", 2);
  set_int(m.get(), "SolutionTarget", 1);
  solve(m.get());
  EXPECT_NEAR(dbl_attr(m.get(), "ObjVal"), 4, 1e-6);
  EXPECT_EQ(int_attr(m.get(), "SPX/NumIters"), 0);
  int basis;
  const int i0 = 0;
  EXPECT_EQ(VLMgetintattrlist(m.get(), "ColBasis", 1, &i0, &basis), VLM_ERROR_DATA_NOT_AVAILABLE);
}

// 1 <= x + 2y <= 4, x <= 2: both sides of the range bind in turn.
TEST(OptimizeLp, RangedRowBindsAtEitherSide) {
  EnvPtr env = make_env();
  for (int side : {+1, -1}) {
    ModelPtr m = make_model(env.get());
    add_var(m.get(), 0, 2, -side);
    add_var(m.get(), 0, kInf, -side);
    add_row(m.get(), {0, 1}, {1, 2}, 1, 4);
    solve(m.get());
    ASSERT_EQ(int_attr(m.get(), "Status"), VLM_STATUS_OPTIMAL);
    if (side > 0) {  // min -x - y: x = 2, y = 1 at the upper side
      EXPECT_NEAR(dbl_attr(m.get(), "ObjVal"), -3, 1e-9);
      expect_near_all(dbl_list(m.get(), "X", 2), {2, 1});
      expect_near_all(dbl_list(m.get(), "DualSoln", 1), {-0.5});
      EXPECT_EQ(int_list(m.get(), "RowBasis", 1), (std::vector<int>{VLM_BASIS_UPPER}));
    } else {  // min x + y: y = 0.5 at the lower side
      EXPECT_NEAR(dbl_attr(m.get(), "ObjVal"), 0.5, 1e-9);
      expect_near_all(dbl_list(m.get(), "X", 2), {0, 0.5});
      expect_near_all(dbl_list(m.get(), "DualSoln", 1), {0.5});
      EXPECT_EQ(int_list(m.get(), "RowBasis", 1), (std::vector<int>{VLM_BASIS_LOWER}));
    }
  }
}

// max 3x + 2y + 5  s.t.  x + y <= 4,  x + 3y <= 7,  0 <= x <= 3,  y >= 0
TEST(OptimizeLp, MaximisationWithConstant) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  VLMmodel* p = m.get();
  add_var(p, 0, 3, 3);
  add_var(p, 0, kInf, 2);
  add_row(p, {0, 1}, {1, 1}, -kInf, 4);
  add_row(p, {0, 1}, {1, 3}, -kInf, 7);
  maximise(p);
  ASSERT_EQ(VLMsetdblattr(p, "ObjConst", 5), VLM_OKAY);
  solve(p);
  ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(p, "ObjVal"), 16, 1e-9);
  EXPECT_NEAR(dbl_attr(p, "DualObjVal"), 16, 1e-9);
  expect_near_all(dbl_list(p, "X", 2), {3, 1});
  // Duals price the objective as stated: c = A'y + rc.
  expect_near_all(dbl_list(p, "DualSoln", 2), {2, 0});
  expect_near_all(dbl_list(p, "RC", 2), {1, 0});
  EXPECT_EQ(int_list(p, "RowBasis", 2), (std::vector<int>{VLM_BASIS_UPPER, VLM_BASIS_BASIC}));
}

TEST(OptimizeLp, InfeasibleWithAndWithoutPresolve) {
  EnvPtr env = make_env();
  for (int presolve : {-1, 0}) {
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    add_var(p, 0, kInf, 1);
    add_var(p, 0, kInf, 1);
    add_row(p, {0, 1}, {1, 1}, 5, kInf);
    add_row(p, {0, 1}, {1, 1}, -kInf, 3);
    set_int(p, "Presolve", presolve);
    solve(p);
    EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_INFEASIBLE);
    EXPECT_EQ(int_attr(p, "HasSolution"), 0);
    EXPECT_EQ(int_attr(p, "SolCount"), 0);
    EXPECT_EQ(int_attr(p, "HasPrimalRay"), 0);
    if (presolve == 0) {
      EXPECT_EQ(int_attr(p, "HasDualRay"), 1);
    }
    double v;
    EXPECT_EQ(VLMgetdblattr(p, "ObjVal", &v), VLM_ERROR_NO_SOLN);
  }
}

TEST(OptimizeLp, UnboundedWithRay) {
  EnvPtr env = make_env();
  for (int presolve : {-1, 0}) {
   for (int method : {-1, 0, 2}) {
    SCOPED_TRACE("method " + std::to_string(method));
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    add_var(p, 0, kInf, -1);
    add_var(p, 0, kInf, 0);
    add_row(p, {0, 1}, {1, -1}, -kInf, 1);
    set_int(p, "Presolve", presolve);
    set_int(p, "Method", method);
    solve(p);
    EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_UNBOUNDED);
    EXPECT_EQ(int_attr(p, "HasSolution"), 0);
    if (presolve == 0 && method != 2) {
      EXPECT_EQ(int_attr(p, "HasPrimalRay"), 1);
    }
    EXPECT_EQ(int_attr(p, "HasDualRay"), 0);
   }
  }
}

// An unbounded direction in an infeasible model: the model is infeasible,
// whichever the simplex noticed first.
TEST(OptimizeLp, InfeasibleModelWithUnboundedDirection) {
  EnvPtr env = make_env();
  for (int method : {0, 1}) {
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    add_var(p, -kInf, kInf, -1);
    add_var(p, 0, kInf, 0);
    add_row(p, {1}, {1}, 1, kInf);
    add_row(p, {1}, {1}, -kInf, 0);
    set_int(p, "Method", method);
    set_int(p, "Presolve", 0);
    solve(p);
    EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_INFEASIBLE) << "method " << method;
  }
}

// Two sources (supply 3 and 4) and three sinks (demand 3, 3 and 2): more
// demand than supply. `form` writes the demand rows as >= rows (0), as
// ranged rows (1) or negated as <= rows (2).
ModelPtr short_transportation(VLMenv* env, int form) {
  ModelPtr m = make_model(env);
  VLMmodel* p = m.get();
  for (int k = 0; k < 6; ++k) add_var(p, 0, kInf, 1 + k % 4);
  add_row(p, {0, 1, 2}, {1, 1, 1}, -kInf, 3);
  add_row(p, {3, 4, 5}, {1, 1, 1}, -kInf, 4);
  const double demand[] = {3, 3, 2};
  for (int j = 0; j < 3; ++j) {
    const double d = demand[j];
    if (form == 2)
      add_row(p, {j, 3 + j}, {-1, -1}, -kInf, -d);
    else
      add_row(p, {j, 3 + j}, {1, 1}, d, form == 1 ? d + 5 : kInf);
  }
  return m;
}

// The log of one VLMoptimize.
std::string solve_logged(VLMmodel* p) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(VLMoptimize(p), VLM_OKAY);
  return testing::internal::GetCapturedStdout();
}

// CLP's dual simplex hands back a ray that proves the infeasibility as it
// stands (whatever the row forms and the sense): no feasibility run is
// needed. Without a ray (the primal simplex) the elastic problem decides.
TEST(OptimizeLp, InfeasibilityProvedByRayOrElasticProblem) {
  EnvPtr env = make_env();
  for (int form : {0, 1, 2}) {
    for (int method : {1, 0}) {
      for (int presolve : {-1, 0}) {
        for (bool max : {false, true}) {
          SCOPED_TRACE("form " + std::to_string(form) + " method " + std::to_string(method) + " presolve " +
                       std::to_string(presolve) + (max ? " max" : " min"));
          ModelPtr m = short_transportation(env.get(), form);
          set_int(m.get(), "Method", method);
          set_int(m.get(), "Presolve", presolve);
          if (max) maximise(m.get());
          const std::string log = solve_logged(m.get());
          EXPECT_EQ(int_attr(m.get(), "Status"), VLM_STATUS_INFEASIBLE);
          EXPECT_EQ(int_attr(m.get(), "HasDualRay"), 1);
          const bool elastic = log.find("is no certificate") != std::string::npos;
          if (method == 1 && presolve == 0) {
            EXPECT_FALSE(elastic) << log;
          }
        }
      }
    }
  }
}

// Bounds or row sides that cross are infeasible on their own; no multiplier
// of the rows proves it.
TEST(OptimizeLp, CrossedBoundsOrSidesAreInfeasible) {
  EnvPtr env = make_env();
  for (int method : {0, 1, 2}) {
    for (bool row : {false, true}) {
      ModelPtr m = make_model(env.get());
      VLMmodel* p = m.get();
      add_var(p, row ? 0 : 3, row ? 5 : 1, 1);
      add_var(p, -kInf, kInf, 1);
      add_row(p, {0, 1}, {1, 1}, row ? 4 : 0, row ? 2 : kInf);
      add_row(p, {1}, {1}, -2, 2);
      set_int(p, "Method", method);
      solve(p);
      EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_INFEASIBLE) << "method " << method << " row " << row;
    }
  }
}

// Models CLP answers wrongly or not at all, each decided right: an
// unbounded model the dual simplex calls infeasible at once; an unbounded model the primal simplex
// calls optimal at a reduced cost of the wrong sign; one the dual simplex
// calls optimal at its stand-in bounds; an infeasible model the primal
// simplex gives up on; an unbounded and an infeasible model on which CLP's
// barrier let its objective run off and then ended the process in a failed
// assertion; an unbounded model whose optimum fails its check with either
// simplex (no verdict rather than a wrong one); an infeasible model the dual
// simplex called unbounded; three more on which the barrier ended the
// process.
TEST(OptimizeLp, StatusesClpGetsWrong) {
  struct Case {
    const char* what;
    int method, presolve, status;
    void (*build)(VLMmodel*);
  };
  const Case cases[] = {
      {"unbounded, called infeasible", 1, 0, VLM_STATUS_UNBOUNDED,
       [](VLMmodel* p) {
         add_var(p, -kInf, 0.1, -20);
         add_var(p, -kInf, kInf, 9);
         add_var(p, 200, kInf, -0.08);
         add_row(p, {2}, {-0.01}, -kInf, -1.5);
         add_row(p, {1}, {1}, -0.7, 1.3);
         add_row(p, {0, 2}, {40, 0.03}, 15.7, kInf);
       }},
      {"unbounded, called optimal by the primal", 0, -1, VLM_STATUS_UNBOUNDED,
       [](VLMmodel* p) {
         add_var(p, -kInf, 4, -5);
         add_var(p, -1, 1, 2);
         add_var(p, -5, kInf, -9);
         add_row(p, {0, 2}, {4, 2}, -9.8, -9.8);
       }},
      {"unbounded, called optimal by the dual", 1, -1, VLM_STATUS_UNBOUNDED,
       [](VLMmodel* p) {
         add_var(p, -kInf, kInf, -0.07);
         add_var(p, -kInf, kInf, 9);
         add_row(p, {0}, {-0.01}, -kInf, 2.3);
         add_row(p, {0, 1}, {-0.02, 2}, -kInf, 0.4);
         add_row(p, {0, 1}, {-0.01, 1}, -kInf, 1.7);
         add_row(p, {0, 1}, {0.03, -1}, 0.7, kInf);
       }},
      {"infeasible, the primal gives up", 0, 0, VLM_STATUS_INFEASIBLE,
       [](VLMmodel* p) {
         add_var(p, -kInf, kInf, 5);
         add_var(p, -200, kInf, -0.09);
         add_row(p, {0}, {-6}, 39, kInf);
         add_row(p, {}, {}, -6000, -2000);
         add_row(p, {0, 1}, {3, -0.04}, -7, kInf);
         add_row(p, {0, 1}, {-3, -0.01}, -8, -3);
       }},
      {"unbounded, the barrier runs off", 2, 0, VLM_STATUS_UNBOUNDED,
       [](VLMmodel* p) {
         add_var(p, -3, kInf, -2);
         add_var(p, -5, kInf, 0);
         add_row(p, {0}, {1}, 0.5, kInf);
       }},
      {"infeasible, the barrier runs off", 2, 0, VLM_STATUS_INFEASIBLE,
       [](VLMmodel* p) {
         add_var(p, -kInf, kInf, -6);
         add_var(p, -kInf, 1, -7);
         add_var(p, 0, kInf, -2);
         add_row(p, {0}, {-1}, 7, 9);
         add_row(p, {0, 1}, {-1, -3}, -kInf, 1);
         add_row(p, {1, 2}, {-1, 1}, 2, kInf);
       }},
      {"unbounded, an optimum that fails its check twice, cleaned up", 0, -1, VLM_STATUS_UNBOUNDED,
       [](VLMmodel* p) {
         add_var(p, -5.0, kInf, 5.0);
         add_var(p, -3.0, kInf, -13.0);
         add_row(p, {0}, {1.0}, -5.9, kInf);
         add_row(p, {0}, {-1.0}, -kInf, 6.9);
         add_row(p, {0}, {1.0}, -6.9, kInf);
         add_row(p, {1}, {-3.0}, -kInf, 5.1);
         add_row(p, {0, 1}, {-3.0, 1.0}, -kInf, 12.0);
         add_row(p, {0, 1}, {-2.0, 2.0}, -kInf, 7.4);
         add_row(p, {1}, {-1.0}, -kInf, 0.7);
         add_row(p, {0, 1}, {-4.0, 2.0}, -kInf, 15.2);
       }},
      {"infeasible, called unbounded by the dual", 1, -1, VLM_STATUS_INFEASIBLE,
       [](VLMmodel* p) {
         add_var(p, -kInf, kInf, -5.0);
         add_var(p, 0.0, 2.0, 2.0);
         add_var(p, -3.0, -3.0, -8.0);
         add_var(p, -kInf, kInf, -700.0);
         add_var(p, 1.0, kInf, 8.0);
         add_var(p, -kInf, kInf, 3.0);
         add_var(p, -20.0, kInf, -0.2);
         add_var(p, -kInf, kInf, -1.0);
         add_var(p, 3.0, 3.0, -2.0);
         add_var(p, -kInf, kInf, -600.0);
         add_var(p, -kInf, kInf, -5.0);
         add_row(p, {0, 1, 2, 3, 4, 5, 7, 8, 9}, {2.0, -2.0, 2.0, 300.0, 4.0, -1.0, -4.0, -1.0, -400.0}, -kInf, -16.0);
         add_row(p, {0, 2, 3, 5, 6, 7, 9}, {-0.2, 0.1, -30.000000000000004, 0.1, 0.04000000000000001, 0.4, 40.0}, -0.6000000000000001, -0.6000000000000001);
         add_row(p, {8, 10}, {1.0, 1.0}, 1.0, kInf);
       }},
      {"unbounded, the barrier's assertion at an objective of 1.3e14", 2, 0, VLM_STATUS_UNBOUNDED,
       [](VLMmodel* p) {
         add_var(p, -kInf, kInf, -8.0);
         add_var(p, -0.01, kInf, -100.0);
         add_row(p, {0}, {4.0}, 9.2, 11.2);
         add_row(p, {0, 1}, {2.0, -400.0}, -kInf, 8.6);
         add_row(p, {1}, {30000.0}, -450.0, kInf);
         add_row(p, {0}, {-2.0}, -6.6, -5.6);
         add_row(p, {1}, {-300.0}, -kInf, 4.5);
         add_row(p, {0}, {-1.0}, -2.8, -2.8);
         add_row(p, {1}, {-40.0}, -kInf, 0.4);
         add_row(p, {1}, {-100.0}, -kInf, 2.5);
       }},
      {"infeasible with a free column in no row, the barrier's assertion", 2, 0, VLM_STATUS_INFEASIBLE,
       [](VLMmodel* p) {
         add_var(p, -kInf, -1.0, 1.0);
         add_var(p, 2.0, 2.0, -5.0);
         add_var(p, -kInf, kInf, 0.4);
         add_var(p, -kInf, kInf, 4.0);
         add_var(p, -kInf, kInf, 0.04);
         add_var(p, -kInf, kInf, -2.0);
         add_var(p, -kInf, kInf, -5.0);
         add_var(p, 0.0, kInf, -5.0);
         add_var(p, 0.0, kInf, -2.0);
         add_row(p, {0, 1}, {30.0, -10.0}, 60.0, kInf);
         add_row(p, {}, {}, -28.0, kInf);
         add_row(p, {7, 8}, {0.01, 0.01}, 0.03, kInf);
       }},
      {"infeasible by an empty row, the barrier's assertion", 2, 0, VLM_STATUS_INFEASIBLE,
       [](VLMmodel* p) {
         add_var(p, -kInf, kInf, 5.0);
         add_var(p, -kInf, 1.0, -9.0);
         add_row(p, {0}, {2.0}, -kInf, 0.0);
         add_row(p, {}, {}, 4.0, kInf);
         add_row(p, {0, 1}, {2000.0, -1000.0}, -kInf, 8000.0);
         add_row(p, {0}, {-2.0}, -kInf, -4.0);
       }},
  };
  EnvPtr env = make_env();
  for (const Case& c : cases) {
    ModelPtr m = make_model(env.get());
    c.build(m.get());
    set_int(m.get(), "Method", c.method);
    set_int(m.get(), "Presolve", c.presolve);
    solve(m.get());
    EXPECT_EQ(int_attr(m.get(), "Status"), c.status) << c.what;
  }
}

// CLP measures its tolerances on the scaled model: on badly scaled models
// both simplex methods may end on an optimum that fails the check on the
// model as given. It is cleaned up from its basis without scaling; one that
// fails even then is SUB_OPTIMAL with its point, which meets the rows.
TEST(OptimizeLp, OptimumFailingItsCheckTwice) {
  EnvPtr env = make_env();
  // x0 = 0 (row 0), x1 <= 2e-4 (rows 2 and 3): the optimum is -3e-4 * 2e-4.
  for (int method : {-1, 0, 1, 2}) {
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    add_var(p, -2.0000000000000003e5, 2.0000000000000003e5, 5.0000000000000006e5);
    add_var(p, -kInf, kInf, -3.0000000000000003e-4);
    add_row(p, {0}, {-5e-8}, 0, 0);
    add_row(p, {}, {}, 0, kInf);
    add_row(p, {0, 1}, {2e-7, -300}, -0.06, kInf);
    add_row(p, {1}, {7.999999999999999e3}, -kInf, 1.5999999999999999);
    set_int(p, "Method", method);
    set_int(p, "Presolve", 0);
    solve(p);
    EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL) << method;
    EXPECT_NEAR(dbl_attr(p, "ObjVal"), -6e-8, 1e-12) << method;
  }
  // With presolve, both simplex methods leave a column 0.022 (relative)
  // beyond its bound, as on perold of the netlib set: the dual simplex
  // cleans it up.
  for (int method : {0, 1}) {
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    add_var(p, 1, 1, -7);
    add_var(p, 1e4, 4e4, 0);
    add_var(p, -2e-5, kInf, 1);
    add_var(p, -0.1, -0.1, -6);
    add_var(p, -kInf, 0.005, -8);
    add_var(p, -kInf, kInf, -9);
    add_row(p, {1, 2, 3, 4}, {2e-7, -400, -0.01, 3}, 0.022000000000000002, kInf);
    add_row(p, {0, 2, 4, 5}, {6000, -9e8, 2e6, 3e5}, 39000, kInf);
    add_row(p, {0, 2, 3, 4, 5}, {-900, -9e7, 3000, 3e5, 2e4}, -kInf, 2100);
    add_row(p, {1, 2, 4, 5}, {-0.07999999999999999, 2e7, -3e5, -6e4}, -4700, -4700);
    add_row(p, {2, 4, 5}, {6e9, 3e7, -8e6}, -270000, kInf);
    set_int(p, "Method", method);
    solve(p);
    EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL) << method;
  }
  // The cleaned-up optimum's complementarity stays 1.7e-6 off.
  ModelPtr m = make_model(env.get());
  VLMmodel* p = m.get();
  add_var(p, 1, 2, 6);
  add_var(p, -1, kInf, -7);
  add_var(p, 0, 2.0000000000000003e5, -6.000000000000001e5);
  const struct {
    std::vector<int> cols;
    std::vector<double> vals;
    double lb, ub;
  } rows[] = {{{0, 1, 2}, {-400, 400, -4.0000000000000001e-3}, -400, -400},
              {{0, 2}, {-5.9999999999999995e-4, 2.9999999999999996e-9}, -kInf, -1.2e-3},
              {{}, {}, -kInf, 0},
              {{0, 1, 2}, {-6, -5, 1.9999999999999998e-5}, -17, kInf},
              {{1, 2}, {6, -2.9999999999999997e-5}, 6, kInf}};
  for (const auto& r : rows)
    ASSERT_EQ(VLMaddrangeconstr(p, static_cast<int>(r.cols.size()), r.cols.data(), r.vals.data(), r.lb, r.ub, nullptr),
              VLM_OKAY);
  set_int(p, "Presolve", 0);
  solve(p);
  ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_SUB_OPTIMAL);
  const std::vector<double> x = dbl_list(p, "X", 3);
  for (const auto& r : rows) {
    double a = 0, term = 1;
    for (size_t k = 0; k < r.cols.size(); ++k) {
      a += r.vals[k] * x[static_cast<size_t>(r.cols[k])];
      term = std::max(term, std::fabs(r.vals[k] * x[static_cast<size_t>(r.cols[k])]));
    }
    EXPECT_GE(a, r.lb - 1e-6 * term);
    EXPECT_LE(a, r.ub + 1e-6 * term);
  }
}

// A column in no row that improves the objective without bound: unbounded
// when the rest is feasible, infeasible otherwise, for LP and MIP alike.
TEST(OptimizeLp, ColumnOutsideEveryRowImprovingWithoutBound) {
  EnvPtr env = make_env();
  for (char type : {VLM_CONTINUOUS, VLM_INTEGER}) {
    for (bool feasible : {true, false}) {
      ModelPtr m = make_model(env.get());
      VLMmodel* p = m.get();
      add_var(p, -3, kInf, -5, type);
      add_var(p, -2, -1, 9);
      add_var(p, -1, kInf, -7);
      add_row(p, {2}, {1}, 2.5, 2.5);
      add_row(p, {1, 2}, {2, -5}, feasible ? -16 : -1, feasible ? -16 : -1);
      solve(p);
      EXPECT_EQ(int_attr(p, "Status"), feasible ? VLM_STATUS_UNBOUNDED : VLM_STATUS_INFEASIBLE);
      EXPECT_EQ(int_attr(p, "HasSolution"), 0);
      EXPECT_EQ(int_attr(p, "HasPrimalRay"), feasible ? 1 : 0);
    }
  }
}

TEST(OptimizeLp, ModelWithoutVariables) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  ASSERT_EQ(VLMsetdblattr(m.get(), "ObjConst", 2.5), VLM_OKAY);
  solve(m.get());
  EXPECT_EQ(int_attr(m.get(), "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_EQ(dbl_attr(m.get(), "ObjVal"), 2.5);
  // An empty row that excludes 0 cannot hold.
  ASSERT_EQ(VLMaddrangeconstr(m.get(), 0, nullptr, nullptr, 1, 2, nullptr), VLM_OKAY);
  solve(m.get());
  EXPECT_EQ(int_attr(m.get(), "Status"), VLM_STATUS_INFEASIBLE);
}

TEST(OptimizeLp, ResetAndChangesDiscardTheRun) {
  EnvPtr env = make_env();
  ModelPtr m = priced_lp(env.get());
  VLMmodel* p = m.get();
  solve(p);
  ASSERT_EQ(int_attr(p, "HasSolution"), 1);
  ASSERT_EQ(VLMreset(p, 0), VLM_OKAY);
  double v;
  int iv;
  EXPECT_EQ(VLMgetdblattr(p, "ObjVal", &v), VLM_ERROR_NO_SOLN);
  EXPECT_EQ(VLMgetintattr(p, "SPX/NumIters", &iv), VLM_ERROR_NO_STATISTICS);
  EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_UNKNOWN);
  solve(p);
  const int i1 = 1;
  const double obj = 0.5;  // y now cheaper than x: x = 0, y = 3
  ASSERT_EQ(VLMsetdblattrlist(p, "Obj", 1, &i1, &obj), VLM_OKAY);
  EXPECT_EQ(int_attr(p, "HasSolution"), 0);
  solve(p);
  EXPECT_NEAR(dbl_attr(p, "ObjVal"), 1.5, 1e-9);
}

TEST(OptimizeLp, IterationLimitWithoutFeasiblePointIsUnknown) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  VLMmodel* p = m.get();
  // Needs several dual simplex iterations; none is allowed.
  for (int j = 0; j < 6; ++j) add_var(p, 0, kInf, 1 + j);
  for (int i = 0; i < 6; ++i) add_row(p, {i, (i + 1) % 6}, {1, 2}, 1 + i, kInf);
  set_int(p, "SPX/MaxIterations", 0);
  set_int(p, "Presolve", 0);
  solve(p);
  EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_UNKNOWN);
  EXPECT_EQ(int_attr(p, "HasSolution"), 0);
  EXPECT_GE(dbl_attr(p, "SolutionTime"), 0);  // statistics of a stopped run exist
}

// ---- quadratic objectives ------------------------------------------------------------

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
  ModelPtr m = priced_lp(env.get());
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
