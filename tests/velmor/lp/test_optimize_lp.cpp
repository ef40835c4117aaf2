// Linear models solved through VLMoptimize: values, duals, reduced costs,
// bases, statuses, rays and statistics.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
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
  testing::internal::CaptureStdout();
  solve(p);
  const std::string log = testing::internal::GetCapturedStdout();
  // CLP's own lines show the objective it minimises, the negated one: the
  // log says so once, before them.
  const size_t note = log.find("the engines minimise the negated objective");
  EXPECT_LT(note, log.find("Solving LP with CLP")) << log;
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

}  // namespace
