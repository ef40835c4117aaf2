// Semidefinite programs solved through VLMoptimize: statuses, primal and dual
// values against analytic optima, bounds and ranges of every kind, limits,
// the log, and the models the semidefinite solver refuses.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "velmor.h"
#include "vlm_test_util.hpp"

using namespace vlmtest;

namespace {

const double kInf = VLM_INFINITY;
// (5 - sqrt 5) / 2, the smaller eigenvalue of [[3, 1], [1, 2]].
const double kLambda = (5.0 - std::sqrt(5.0)) / 2.0;

// A coefficient matrix as (flat position, value) pairs, row * dim + col.
using Coefs = std::vector<std::pair<int, double>>;

// [[2, 1], [1, 2]]: eigenvalue 1 on (1, -1) / sqrt 2, 3 on (1, 1) / sqrt 2.
const Coefs kC = {{0, 2}, {1, 1}, {2, 1}, {3, 2}};
const Coefs kIdentity = {{0, 1}, {3, 1}};

struct PsdPart {
  int var;
  Coefs coefs;
};

// A model under construction through the C interface.
class Sdp {
 public:
  explicit Sdp(VLMenv* env = nullptr)
      : own_env_(env ? nullptr : make_env()), model_(make_model(env ? env : own_env_.get())) {}

  VLMmodel* m() const { return model_.get(); }

  int column(double obj, double lb, double ub, char type = 'C') {
    EXPECT_EQ(VLMaddvar(m(), 0, nullptr, nullptr, obj, lb, ub, type, nullptr), VLM_OKAY);
    return int_attr(m(), "NumVars") - 1;
  }

  int psd_var(int dim, const Coefs& obj) {
    std::vector<int> pos;
    std::vector<double> val;
    for (const auto& e : obj) pos.push_back(e.first), val.push_back(e.second);
    EXPECT_EQ(VLMaddpsdvar(m(), dim, static_cast<int>(pos.size()), pos.data(), val.data(), nullptr), VLM_OKAY);
    return int_attr(m(), "NumPsdVars") - 1;
  }

  int psd_row(const Coefs& lin, const std::vector<PsdPart>& psd, double lb, double ub) {
    std::vector<int> lind, pvar, pbeg, pos;
    std::vector<double> lval, val;
    for (const auto& e : lin) lind.push_back(e.first), lval.push_back(e.second);
    for (const PsdPart& p : psd) {
      pvar.push_back(p.var);
      pbeg.push_back(static_cast<int>(pos.size()));
      for (const auto& e : p.coefs) pos.push_back(e.first), val.push_back(e.second);
    }
    EXPECT_EQ(VLMaddrangepsdconstr(m(), static_cast<int>(lind.size()), static_cast<int>(pvar.size()),
                                   static_cast<int>(pos.size()), lind.data(), lval.data(), pvar.data(), pbeg.data(),
                                   pos.data(), val.data(), lb, ub, nullptr),
              VLM_OKAY);
    return int_attr(m(), "NumConstrs") - 1;
  }

  int lin_row(const Coefs& lin, double lb, double ub) {
    std::vector<int> ind;
    std::vector<double> val;
    for (const auto& e : lin) ind.push_back(e.first), val.push_back(e.second);
    EXPECT_EQ(VLMaddrangeconstr(m(), static_cast<int>(ind.size()), ind.data(), val.data(), lb, ub, nullptr),
              VLM_OKAY);
    return int_attr(m(), "NumConstrs") - 1;
  }

  void maximize() { EXPECT_EQ(VLMsetintattr(m(), "ModelSense", VLM_MAXIMIZE), VLM_OKAY); }

  int optimize() { return VLMoptimize(m()); }

  // X of semidefinite variable j as a full row-major matrix.
  std::vector<double> psd_x(int j) const {
    const Matrix x = mat_item(m(), "PsdX", j);
    EXPECT_EQ(x.rows, x.cols);
    EXPECT_EQ(x.pos.size(), static_cast<size_t>(x.rows) * x.cols) << "PsdX lists every position";
    for (size_t k = 0; k < x.pos.size(); ++k) EXPECT_EQ(x.pos[k], static_cast<int>(k));
    return x.val;
  }

 private:
  EnvPtr own_env_;
  ModelPtr model_;
};

void expect_matrix_near(const std::vector<double>& got, const std::vector<double>& want, double tol) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t k = 0; k < got.size(); ++k) EXPECT_NEAR(got[k], want[k], tol) << "entry " << k;
}

// t * v v^T for v = (1, -1) / sqrt 2: the minimiser direction of kC.
std::vector<double> low_direction(double t) { return {t / 2, -t / 2, -t / 2, t / 2}; }
// t * u u^T for u = (1, 1) / sqrt 2: the maximiser direction of kC.
std::vector<double> high_direction(double t) { return {t / 2, t / 2, t / 2, t / 2}; }

}  // namespace

// min <C, X> s.t. trace X = 1: the smallest eigenvalue of C, on its
// eigenvector; the row's dual is that eigenvalue too.
TEST(Sdp, TinyProgramMatchesEigenvalues) {
  Sdp s;
  const int X = s.psd_var(2, kC);
  const int r = s.psd_row({}, {{X, kIdentity}}, 1, 1);
  ASSERT_EQ(s.optimize(), VLM_OKAY);
  EXPECT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_EQ(int_attr(s.m(), "HasSolution"), 1);
  EXPECT_EQ(int_attr(s.m(), "SolCount"), 1);
  EXPECT_NEAR(dbl_attr(s.m(), "ObjVal"), 1.0, 1e-7);
  EXPECT_NEAR(dbl_attr(s.m(), "PrimalObjVal"), 1.0, 1e-7);
  EXPECT_NEAR(dbl_attr(s.m(), "DualObjVal"), 1.0, 1e-7);
  expect_matrix_near(s.psd_x(X), low_direction(1.0), 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "DualSoln", r), 1.0, 1e-7);
  EXPECT_NEAR(dbl_item(s.m(), "Activity", r), 1.0, 1e-7);
  EXPECT_GT(int_attr(s.m(), "IPM/NumIters"), 0);
  EXPECT_EQ(int_attr(s.m(), "SPX/NumIters"), 0);
  EXPECT_GE(dbl_attr(s.m(), "SolutionTime"), dbl_attr(s.m(), "SolverTime"));
  EXPECT_EQ(dbl_attr(s.m(), "PresolverTime"), 0.0);
  // A semidefinite run has no basis and no gaps.
  int basis = 0;
  EXPECT_EQ(VLMgetintattrlist(s.m(), "RowBasis", 1, &r, &basis), VLM_ERROR_DATA_NOT_AVAILABLE);
  double gap = 0;
  EXPECT_EQ(VLMgetdblattr(s.m(), "MIP/GapRel", &gap), VLM_ERROR_DATA_NOT_AVAILABLE);
}

// min 0.5 x + w - u + <C, X>
//   r0: trace X + x = 2          x in [0, 1.5]   (boxed)
//   r1: w - X[0][0] = 0          w free
//   r2: u - x <= 0.5             u <= 2.5        (upper bound only)
// A unit of r0 costs kLambda = lambda_min(C + E00) in X (w prices X[0][0])
// and 0.5 - 1 in x (each unit of x lets u rise by one), so x takes all it
// can: x = 1.5, trace X = 0.5, u = 2, w = X[0][0].
TEST(Sdp, MixedLinearColumnsAndPsdVariable) {
  Sdp s;
  const int x = s.column(0.5, 0, 1.5);
  const int w = s.column(1.0, -kInf, kInf);
  const int u = s.column(-1.0, -kInf, 2.5);
  const int X = s.psd_var(2, kC);
  const int r0 = s.psd_row({{x, 1}}, {{X, kIdentity}}, 2, 2);
  const int r1 = s.psd_row({{w, 1}}, {{X, {{0, -1}}}}, 0, 0);
  const int r2 = s.lin_row({{u, 1}, {x, -1}}, -kInf, 0.5);
  ASSERT_EQ(s.optimize(), VLM_OKAY);
  ASSERT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_OPTIMAL);

  // The eigenvector of [[3, 1], [1, 2]] for kLambda is v ~ (1, -(3 - kLambda)).
  const double g = 3 - kLambda, v0 = 1 / (1 + g * g), t = 0.5;
  const std::vector<double> want_x = {t * v0, -t * g * v0, -t * g * v0, t * g * g * v0};
  expect_matrix_near(s.psd_x(X), want_x, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "X", x), 1.5, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "X", w), t * v0, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "X", u), 2.0, 1e-6);
  const double obj = 0.5 * 1.5 + kLambda * t - 2.0;
  EXPECT_NEAR(dbl_attr(s.m(), "ObjVal"), obj, 1e-7);
  EXPECT_NEAR(dbl_attr(s.m(), "DualObjVal"), obj, 1e-7);

  // Duals: d(objective) / d(bound) of each row.
  EXPECT_NEAR(dbl_item(s.m(), "DualSoln", r0), kLambda, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "DualSoln", r1), 1.0, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "DualSoln", r2), -1.0, 1e-6);
  // Reduced costs c - sum dual * a: x sits at its upper bound, w and u are
  // not at a bound.
  EXPECT_NEAR(dbl_item(s.m(), "RC", x), 0.5 - kLambda - 1.0, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "ReducedCost", w), 0.0, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "RC", u), 0.0, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "Activity", r0), 2.0, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "Activity", r1), 0.0, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "Activity", r2), 0.5, 1e-6);
}

// Shifted bounds and ranged linear rows next to a semidefinite block:
// min 3 v - y + <C, X>, trace X = 1, 2 <= v + y <= 5, -10 <= y - v <= 10,
// v >= 1, y <= 4.5. v stays at 1 and y rises to the range's top: y = 4.
TEST(Sdp, ShiftedColumnsAndRangedLinearRows) {
  Sdp s;
  const int v = s.column(3, 1, kInf);
  const int y = s.column(-1, -kInf, 4.5);
  const int X = s.psd_var(2, kC);
  const int r0 = s.psd_row({}, {{X, kIdentity}}, 1, 1);
  const int r1 = s.lin_row({{v, 1}, {y, 1}}, 2, 5);
  const int r2 = s.lin_row({{y, 1}, {v, -1}}, -10, 10);
  ASSERT_EQ(s.optimize(), VLM_OKAY);
  ASSERT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(s.m(), "ObjVal"), 3 - 4 + 1, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "X", v), 1.0, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "X", y), 4.0, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "DualSoln", r0), 1.0, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "DualSoln", r1), -1.0, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "DualSoln", r2), 0.0, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "RC", v), 4.0, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "RC", y), 0.0, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "Activity", r1), 5.0, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "Activity", r2), 3.0, 1e-6);
}

// max 10 - <C, X> s.t. trace X = 1: 10 - lambda_min(C) = 9. A larger trace
// lowers the maximum, so the dual is -1.
TEST(Sdp, MaximisationWithObjectiveConstant) {
  Sdp s;
  const int X = s.psd_var(2, {{0, -2}, {1, -1}, {3, -2}});
  const int r = s.psd_row({}, {{X, kIdentity}}, 1, 1);
  s.maximize();
  ASSERT_EQ(VLMsetdblattr(s.m(), "ObjConst", 10), VLM_OKAY);
  ASSERT_EQ(s.optimize(), VLM_OKAY);
  ASSERT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(s.m(), "ObjVal"), 9.0, 1e-7);
  EXPECT_NEAR(dbl_attr(s.m(), "DualObjVal"), 9.0, 1e-7);
  EXPECT_NEAR(dbl_item(s.m(), "DualSoln", r), -1.0, 1e-7);
  expect_matrix_near(s.psd_x(X), low_direction(1.0), 1e-6);
}

// A linear column in a maximisation: max x + <C, X> s.t. x + trace X <= 4,
// 0 <= x <= 1. A unit of the row is worth lambda_max(C) = 3 in X and 1 in x,
// so x = 0 and trace X = 4.
TEST(Sdp, MaximisationWithLinearColumn) {
  Sdp s;
  const int x = s.column(1.0, 0, 1);
  const int X = s.psd_var(2, kC);
  const int r = s.psd_row({{x, 1}}, {{X, kIdentity}}, -kInf, 4);
  s.maximize();
  ASSERT_EQ(s.optimize(), VLM_OKAY);
  ASSERT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(s.m(), "ObjVal"), 12.0, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "X", x), 0.0, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "DualSoln", r), 3.0, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "RC", x), 1.0 - 3.0, 1e-6);
  expect_matrix_near(s.psd_x(X), high_direction(4.0), 1e-5);
}

// One-sided and ranged semidefinite rows: whichever side binds carries the
// dual, with the sign of the objective's change.
TEST(Sdp, InequalityAndRangedRows) {
  struct Case {
    const char* what;
    int sense;
    double lb, ub;
    double obj, dual, activity;
    std::vector<double> x;
  };
  const std::vector<Case> cases = {
      {"min, trace >= 1", VLM_MINIMIZE, 1, kInf, 1, 1, 1, low_direction(1)},
      {"max, trace <= 1", VLM_MAXIMIZE, -kInf, 1, 3, 3, 1, high_direction(1)},
      {"min, 1 <= trace <= 2", VLM_MINIMIZE, 1, 2, 1, 1, 1, low_direction(1)},
      {"max, 1 <= trace <= 2", VLM_MAXIMIZE, 1, 2, 6, 3, 2, high_direction(2)},
      {"max, -3 <= -trace <= -1", VLM_MAXIMIZE, -3, -1, 9, -3, -3, high_direction(3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Sdp s;
    const int X = s.psd_var(2, kC);
    const double sign = c.lb == -3 ? -1 : 1;
    const int r = s.psd_row({}, {{X, {{0, sign}, {3, sign}}}}, c.lb, c.ub);
    if (c.sense == VLM_MAXIMIZE) s.maximize();
    ASSERT_EQ(s.optimize(), VLM_OKAY);
    ASSERT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_OPTIMAL);
    EXPECT_NEAR(dbl_attr(s.m(), "ObjVal"), c.obj, 1e-6);
    EXPECT_NEAR(dbl_attr(s.m(), "DualObjVal"), c.obj, 1e-6);
    EXPECT_NEAR(dbl_item(s.m(), "DualSoln", r), c.dual, 1e-6);
    EXPECT_NEAR(dbl_item(s.m(), "Activity", r), c.activity, 1e-6);
    expect_matrix_near(s.psd_x(X), c.x, 1e-5);
  }
}

// The scale of the data does not change the answer: min f <C, X> s.t.
// e trace X = e has the optimum f and the dual f / e, also when the dual is
// far beyond 1e7.
TEST(Sdp, ScaleOfTheData) {
  const std::vector<std::pair<double, double>> scales = {{1e9, 1}, {1e-9, 1}, {1, 1e-9}, {1e6, 1e-4}, {1e-3, 1e5}};
  for (const auto& fe : scales) {
    const double f = fe.first, e = fe.second;
    SCOPED_TRACE(testing::Message() << "f " << f << ", e " << e);
    Sdp s;
    const int X = s.psd_var(2, {{0, 2 * f}, {1, f}, {3, 2 * f}});
    const int r = s.psd_row({}, {{X, {{0, e}, {3, e}}}}, e, e);
    ASSERT_EQ(s.optimize(), VLM_OKAY);
    ASSERT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_OPTIMAL);
    EXPECT_NEAR(dbl_attr(s.m(), "ObjVal") / f, 1.0, 1e-7);
    EXPECT_NEAR(dbl_attr(s.m(), "DualObjVal") / f, 1.0, 1e-7);
    EXPECT_NEAR(dbl_item(s.m(), "DualSoln", r) / (f / e), 1.0, 1e-7);
    expect_matrix_near(s.psd_x(X), low_direction(1.0), 1e-6);
  }
}

// A coefficient whose square overflows: the attempts on scaled data end,
// and the one on the data as given (whose first step DSDP would search for
// ever) is not made.
TEST(Sdp, CoefficientBeyondSquaringEndsTheRun) {
  Sdp s;
  const int w = s.column(0.0, -1.0, 1.0);
  s.column(1e200, 0.0, kInf);
  const int X = s.psd_var(2, kIdentity);
  s.psd_row({{w, 1.0}}, {{X, kC}}, 1.0, kInf);
  ASSERT_EQ(s.optimize(), VLM_OKAY);
  const int status = int_attr(s.m(), "Status");
  EXPECT_TRUE(status == VLM_STATUS_OPTIMAL || status == VLM_STATUS_SUB_OPTIMAL) << status;
}

// A row with two infinite sides constrains nothing: dual 0, activity still
// reported.
TEST(Sdp, FreeRowHasZeroDual) {
  Sdp s;
  const int X = s.psd_var(2, kC);
  s.psd_row({}, {{X, kIdentity}}, 1, 1);
  const int free_row = s.psd_row({}, {{X, {{1, 1}}}}, -kInf, kInf);
  ASSERT_EQ(s.optimize(), VLM_OKAY);
  ASSERT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_EQ(dbl_item(s.m(), "DualSoln", free_row), 0.0);
  // X[0][1] + X[1][0] of the optimum.
  EXPECT_NEAR(dbl_item(s.m(), "Activity", free_row), -1.0, 1e-6);
}

// Semidefinite rows without semidefinite terms make a linear program that
// DSDP solves too: min x + 2 y s.t. x + y >= 1.
TEST(Sdp, SemidefiniteRowsWithLinearTermsOnly) {
  Sdp s;
  const int x = s.column(1, 0, kInf);
  const int y = s.column(2, 0, kInf);
  const int r = s.psd_row({{x, 1}, {y, 1}}, {}, 1, kInf);
  ASSERT_EQ(s.optimize(), VLM_OKAY);
  ASSERT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(s.m(), "ObjVal"), 1.0, 1e-7);
  EXPECT_NEAR(dbl_item(s.m(), "X", x), 1.0, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "X", y), 0.0, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "DualSoln", r), 1.0, 1e-6);
  EXPECT_NEAR(dbl_item(s.m(), "RC", y), 1.0, 1e-6);
}

// trace X = -1 has no PSD solution.
TEST(Sdp, InfeasibleProgram) {
  Sdp s;
  const int X = s.psd_var(2, kC);
  s.psd_row({}, {{X, kIdentity}}, -1, -1);
  ASSERT_EQ(s.optimize(), VLM_OKAY);
  EXPECT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_INFEASIBLE);
  EXPECT_EQ(int_attr(s.m(), "HasSolution"), 0);
  EXPECT_EQ(int_attr(s.m(), "SolCount"), 0);
  double v = 0;
  EXPECT_EQ(VLMgetdblattr(s.m(), "ObjVal", &v), VLM_ERROR_NO_SOLN);
  int nnz = 0;
  const int zero = 0;
  EXPECT_EQ(VLMgetmatattrlist(s.m(), "PsdX", 1, &zero, &nnz, nullptr, nullptr, nullptr, nullptr, nullptr),
            VLM_ERROR_NO_SOLN);
  EXPECT_EQ(VLMgetdblattrlist(s.m(), "DualSoln", 1, &zero, &v), VLM_ERROR_NO_SOLN);
  EXPECT_GT(int_attr(s.m(), "IPM/NumIters"), 0);
}

// Contradictions the bounds show without solving: crossing bounds, and a row
// whose columns are all fixed at values that violate it.
TEST(Sdp, InfeasibleOnItsFace) {
  {
    Sdp s;
    const int X = s.psd_var(2, kC);
    s.psd_row({}, {{X, kIdentity}}, 2, 1);
    ASSERT_EQ(s.optimize(), VLM_OKAY);
    EXPECT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_INFEASIBLE);
    EXPECT_EQ(int_attr(s.m(), "IPM/NumIters"), 0);
  }
  {
    Sdp s;
    const int x = s.column(1, 1, 1);
    const int X = s.psd_var(2, kC);
    s.psd_row({}, {{X, kIdentity}}, 1, 1);
    s.psd_row({{x, 1}}, {}, 2, kInf);
    ASSERT_EQ(s.optimize(), VLM_OKAY);
    EXPECT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_INFEASIBLE);
    EXPECT_EQ(int_attr(s.m(), "HasSolution"), 0);
  }
  {
    Sdp s;
    s.column(0, 2, 1);
    s.psd_var(1, {{0, 1}});
    ASSERT_EQ(s.optimize(), VLM_OKAY);
    EXPECT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_INFEASIBLE);
  }
}

// min -X[0][0] s.t. X[1][1] = 1: X[0][0] grows without bound.
TEST(Sdp, UnboundedProgram) {
  Sdp s;
  const int X = s.psd_var(2, {{0, -1}});
  s.psd_row({}, {{X, {{3, 1}}}}, 1, 1);
  ASSERT_EQ(s.optimize(), VLM_OKAY);
  EXPECT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_UNBOUNDED);
  EXPECT_EQ(int_attr(s.m(), "HasSolution"), 0);
}

// The fixed column keeps its value; a row of fixed columns that holds is no
// constraint; a semidefinite variable in no row and not in the objective is 0.
TEST(Sdp, FixedColumnsAndUnusedVariables) {
  Sdp s;
  const int fixed = s.column(2.0, 1.5, 1.5);
  const int X = s.psd_var(2, kC);
  const int unused = s.psd_var(3, {});
  const int r0 = s.psd_row({{fixed, 1}}, {{X, kIdentity}}, 2.5, 2.5);
  const int r1 = s.lin_row({{fixed, 2}}, -kInf, 4);
  ASSERT_EQ(s.optimize(), VLM_OKAY);
  ASSERT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_EQ(dbl_item(s.m(), "X", fixed), 1.5);
  EXPECT_NEAR(dbl_attr(s.m(), "ObjVal"), 3.0 + 1.0, 1e-7);
  expect_matrix_near(s.psd_x(X), low_direction(1.0), 1e-6);
  expect_matrix_near(s.psd_x(unused), std::vector<double>(9, 0.0), 0.0);
  EXPECT_NEAR(dbl_item(s.m(), "DualSoln", r0), 1.0, 1e-6);
  EXPECT_EQ(dbl_item(s.m(), "DualSoln", r1), 0.0);
  EXPECT_NEAR(dbl_item(s.m(), "Activity", r1), 3.0, 1e-12);
  // The fixed column's reduced cost is its whole price in the binding row.
  EXPECT_NEAR(dbl_item(s.m(), "RC", fixed), 2.0 - 1.0, 1e-6);
}

// Without rows the objective alone decides: a PSD objective matrix has its
// minimum 0 at X = 0.
TEST(Sdp, NoRows) {
  Sdp s;
  const int X = s.psd_var(2, kC);
  ASSERT_EQ(s.optimize(), VLM_OKAY);
  ASSERT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(s.m(), "ObjVal"), 0.0, 1e-6);
  expect_matrix_near(s.psd_x(X), std::vector<double>(4, 0.0), 1e-6);
}

// A coefficient matrix given by its upper triangle is mirrored: the same
// program as the full symmetric matrix, here A = [[1, -0.5], [-0.5, 1]].
// min <C, X> s.t. <A, X> = 1: C and A share eigenvectors; the ratio of their
// eigenvalues is 3 / 0.5 on (1, 1) and 1 / 1.5 on (1, -1), so the optimum is
// 2/3 at X = (2/3) v v^T, v = (1, -1) / sqrt 2.
TEST(Sdp, UpperTriangleCoefficientMirrored) {
  const std::vector<std::pair<const char*, Coefs>> forms = {
      {"full", {{0, 1}, {1, -0.5}, {2, -0.5}, {3, 1}}},
      {"upper", {{0, 1}, {1, -0.5}, {3, 1}}},
      {"lower", {{0, 1}, {2, -0.5}, {3, 1}}},
  };
  for (const auto& form : forms) {
    SCOPED_TRACE(form.first);
    Sdp s;
    const int X = s.psd_var(2, {{0, 2}, {1, 1}, {3, 2}});  // kC by its upper triangle
    const int r = s.psd_row({}, {{X, form.second}}, 1, 1);
    ASSERT_EQ(s.optimize(), VLM_OKAY);
    ASSERT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_OPTIMAL);
    EXPECT_NEAR(dbl_attr(s.m(), "ObjVal"), 2.0 / 3.0, 1e-7);
    EXPECT_NEAR(dbl_item(s.m(), "DualSoln", r), 2.0 / 3.0, 1e-7);
    expect_matrix_near(s.psd_x(X), low_direction(2.0 / 3.0), 1e-6);
  }
}

// Two semidefinite variables in one row: min <C, X> + <2 I, Y> s.t.
// trace X + trace Y = 1 puts everything into X (1 < 2).
TEST(Sdp, TwoBlocksShareARow) {
  Sdp s;
  const int X = s.psd_var(2, kC);
  const int Y = s.psd_var(3, {{0, 2}, {4, 2}, {8, 2}});
  s.psd_row({}, {{X, kIdentity}, {Y, {{0, 1}, {4, 1}, {8, 1}}}}, 1, 1);
  ASSERT_EQ(s.optimize(), VLM_OKAY);
  ASSERT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(s.m(), "ObjVal"), 1.0, 1e-7);
  expect_matrix_near(s.psd_x(X), low_direction(1.0), 1e-6);
  expect_matrix_near(s.psd_x(Y), std::vector<double>(9, 0.0), 1e-6);
}

// A larger block: C tridiagonal with 2 on the diagonal and -1 beside it has
// the smallest eigenvalue 2 - 2 cos(pi / (n + 1)) on v_j = sin(j pi / (n + 1)).
TEST(Sdp, LargerBlockMatchesKnownSpectrum) {
  const int n = 40;
  const double pi = std::acos(-1.0);
  Coefs c, identity;
  for (int i = 0; i < n; ++i) {
    c.push_back({i * n + i, 2.0});
    if (i + 1 < n) c.push_back({(i + 1) * n + i, -1.0});
    identity.push_back({i * n + i, 1.0});
  }
  Sdp s;
  const int X = s.psd_var(n, c);
  const int r = s.psd_row({}, {{X, identity}}, 1, 1);
  ASSERT_EQ(s.optimize(), VLM_OKAY);
  ASSERT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_OPTIMAL);
  const double lambda = 2 - 2 * std::cos(pi / (n + 1));
  EXPECT_NEAR(dbl_attr(s.m(), "ObjVal"), lambda, 1e-7);
  EXPECT_NEAR(dbl_item(s.m(), "DualSoln", r), lambda, 1e-7);
  std::vector<double> want(static_cast<size_t>(n) * n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      want[static_cast<size_t>(i) * n + j] =
          std::sin((i + 1) * pi / (n + 1)) * std::sin((j + 1) * pi / (n + 1)) * 2 / (n + 1);
  expect_matrix_near(s.psd_x(X), want, 1e-4);
}

// Many rows: max <L, X> s.t. X_ii = 1 for the Laplacian L of a path. Each
// edge adds X_ii + X_jj - 2 X_ij <= 4, reached by X = z z^T with z
// alternating in sign: the optimum is 4 (n - 1).
TEST(Sdp, UnitDiagonalRowsOnAPath) {
  const int n = 30;
  Coefs laplacian;
  for (int i = 0; i < n; ++i) {
    laplacian.push_back({i * n + i, i == 0 || i == n - 1 ? 1.0 : 2.0});
    if (i + 1 < n) laplacian.push_back({(i + 1) * n + i, -1.0});
  }
  Sdp s;
  const int X = s.psd_var(n, laplacian);
  for (int i = 0; i < n; ++i) s.psd_row({}, {{X, {{i * n + i, 1.0}}}}, 1, 1);
  s.maximize();
  ASSERT_EQ(s.optimize(), VLM_OKAY);
  ASSERT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(s.m(), "ObjVal"), 4.0 * (n - 1), 1e-6);
  EXPECT_NEAR(dbl_attr(s.m(), "DualObjVal"), 4.0 * (n - 1), 1e-6);
  const std::vector<double> x = s.psd_x(X);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      EXPECT_NEAR(x[static_cast<size_t>(i) * n + j], (i + j) % 2 == 0 ? 1.0 : -1.0, 1e-5) << i << "," << j;
  // The duals price the rows: their sum is the optimum.
  double sum = 0;
  for (int i = 0; i < n; ++i) sum += dbl_item(s.m(), "DualSoln", i);
  EXPECT_NEAR(sum, 4.0 * (n - 1), 1e-6);
}

// Integer variables (or SOS, or a quadratic objective) next to semidefinite
// parts are refused, and the model keeps what it had.
TEST(Sdp, RefusesIntegersAndQuadraticTerms) {
  {
    Sdp s;
    const int X = s.psd_var(2, kC);
    s.psd_row({}, {{X, kIdentity}}, 1, 1);
    s.column(1, 0, 5, 'I');
    EXPECT_EQ(s.optimize(), VLM_ERROR_ABORT_SOLVER_NOT_AVAILABLE);
    EXPECT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_UNKNOWN);
    EXPECT_EQ(int_attr(s.m(), "HasSolution"), 0);
    int iters = 0;
    EXPECT_EQ(VLMgetintattr(s.m(), "IPM/NumIters", &iters), VLM_ERROR_NO_STATISTICS);
  }
  {
    Sdp s;
    s.psd_var(2, kC);
    s.column(1, 0, 1, 'B');
    EXPECT_EQ(s.optimize(), VLM_ERROR_ABORT_SOLVER_NOT_AVAILABLE);
  }
  {
    Sdp s;
    const int x = s.column(1, 0, 1);
    const int X = s.psd_var(2, kC);
    s.psd_row({{x, 1}}, {{X, kIdentity}}, 1, 1);
    const double q = 1;
    ASSERT_EQ(VLMaddqpterms(s.m(), 1, &x, &x, &q), VLM_OKAY);
    EXPECT_EQ(s.optimize(), VLM_ERROR_ABORT_SOLVER_NOT_AVAILABLE);
  }
  {
    // A semidefinite row without semidefinite terms still makes the model
    // semidefinite.
    Sdp s;
    const int x = s.column(1, 0, 5, 'I');
    s.psd_row({{x, 1}}, {}, 1, kInf);
    EXPECT_EQ(s.optimize(), VLM_ERROR_ABORT_SOLVER_NOT_AVAILABLE);
  }
}

// A solved model answers a second run and is writable afterwards.
TEST(Sdp, RunAgainAfterChange) {
  Sdp s;
  const int X = s.psd_var(2, kC);
  const int r = s.psd_row({}, {{X, kIdentity}}, 1, 1);
  ASSERT_EQ(s.optimize(), VLM_OKAY);
  EXPECT_NEAR(dbl_attr(s.m(), "ObjVal"), 1.0, 1e-7);
  const double two = 2;
  ASSERT_EQ(VLMsetdblattrlist(s.m(), "PsdCLHS", 1, &r, &two), VLM_OKAY);
  ASSERT_EQ(VLMsetdblattrlist(s.m(), "PsdCRHS", 1, &r, &two), VLM_OKAY);
  EXPECT_EQ(int_attr(s.m(), "HasSolution"), 0);
  ASSERT_EQ(s.optimize(), VLM_OKAY);
  EXPECT_NEAR(dbl_attr(s.m(), "ObjVal"), 2.0, 1e-7);
  expect_matrix_near(s.psd_x(X), low_direction(2.0), 1e-6);
}

// IPM/MaxIterations stops DSDP early. Its first iterates do not yet satisfy
// the row: no solution, UNKNOWN. Later ones do: SUB_OPTIMAL, and the point is
// readable, feasible and not better than the optimum 1.
TEST(Sdp, IterationLimitKeepsOnlyFeasiblePoints) {
  int unknown = 0, sub_optimal = 0;
  for (int limit = 1; limit <= 6; ++limit) {
    SCOPED_TRACE(limit);
    Sdp s;
    const int X = s.psd_var(2, kC);
    s.psd_row({}, {{X, kIdentity}}, 1, 1);
    ASSERT_EQ(VLMsetintparam(VLMgetenv(s.m()), "IPM/MaxIterations", limit), VLM_OKAY);
    ASSERT_EQ(s.optimize(), VLM_OKAY);
    EXPECT_EQ(int_attr(s.m(), "IPM/NumIters"), limit);
    const int status = int_attr(s.m(), "Status");
    if (status == VLM_STATUS_UNKNOWN) {
      ++unknown;
      EXPECT_EQ(int_attr(s.m(), "HasSolution"), 0);
      continue;
    }
    ASSERT_EQ(status, VLM_STATUS_SUB_OPTIMAL);
    ++sub_optimal;
    ASSERT_EQ(int_attr(s.m(), "HasSolution"), 1);
    const std::vector<double> x = s.psd_x(X);
    EXPECT_NEAR(x[0] + x[3], 1.0, 1e-6);
    EXPECT_GE(x[0], 0.0);
    EXPECT_GE(x[0] * x[3] - x[1] * x[2], -1e-9) << "a 2x2 PSD matrix has a non-negative determinant";
    EXPECT_GE(dbl_attr(s.m(), "ObjVal"), 1.0 - 1e-9);
  }
  EXPECT_GT(unknown, 0);
  EXPECT_GT(sub_optimal, 0);
}

// MaxTime 0 stops at the first check, before DSDP has a feasible point.
TEST(Sdp, TimeLimitStopsTheRun) {
  Sdp s;
  const int X = s.psd_var(2, kC);
  s.psd_row({}, {{X, kIdentity}}, 1, 1);
  ASSERT_EQ(VLMsetdblparam(VLMgetenv(s.m()), "MaxTime", 0.0), VLM_OKAY);
  testing::internal::CaptureStdout();
  const int rc = s.optimize();
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(rc, VLM_OKAY);
  EXPECT_EQ(int_attr(s.m(), "Status"), VLM_STATUS_UNKNOWN);
  EXPECT_EQ(int_attr(s.m(), "HasSolution"), 0);
  EXPECT_EQ(int_attr(s.m(), "IPM/NumIters"), 0);
  EXPECT_NE(out.find("(time limit"), std::string::npos) << out;
}

// Everything the solve prints comes through the environment's log: standard
// output receives exactly what the log file receives.
TEST(Sdp, OutputGoesThroughTheLog) {
  const std::string path = temp_path("sdp_log.txt");
  std::remove(path.c_str());
  VLMenv* raw_env = nullptr;
  ASSERT_EQ(VLMloadenv(&raw_env, path.c_str()), VLM_OKAY);
  EnvPtr env(raw_env);
  Sdp s(env.get());
  const int X = s.psd_var(2, kC);
  s.psd_row({}, {{X, kIdentity}}, 1, 1);
  testing::internal::CaptureStdout();
  const int rc = s.optimize();
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(rc, VLM_OKAY);
  const std::string logged = read_text(path);
  EXPECT_EQ(out, logged);
  EXPECT_NE(logged.find("Status OPTIMAL"), std::string::npos) << logged;
  std::remove(path.c_str());
}

// Runs on distinct models may overlap in time; each gets its own answer.
TEST(Sdp, ConcurrentModelsOnThreads) {
  constexpr int kThreads = 4;
  std::vector<double> objective(kThreads, -1.0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t, &objective] {
      Sdp s;
      const int X = s.psd_var(2, kC);
      s.psd_row({}, {{X, kIdentity}}, t + 1.0, t + 1.0);
      for (int round = 0; round < 5; ++round) {
        if (s.optimize() != VLM_OKAY) return;
      }
      objective[static_cast<size_t>(t)] = dbl_attr(s.m(), "ObjVal");
    });
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_NEAR(objective[static_cast<size_t>(t)], t + 1.0, 1e-6) << t;
}

// The library's dynamic symbols, as nm lists them with `options`.
std::string dynamic_symbols(const char* options) {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&VLMoptimize), &info) == 0 || !info.dli_fname) return "";
  const std::string command = std::string("nm -D ") + options + " '" + info.dli_fname + "'";
  std::string out;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    pclose(pipe);
  }
  return out;
}

// DSDP prints with printf, puts and putchar. The library carries its own
// copy of DSDP with those calls routed to the log: it takes DSDP from no
// shared library, imports none of those functions, and exports no DSDP
// symbol, so another DSDP in the process cannot be confused with it.
TEST(Sdp, DsdpLinkedPrivatelyWithoutConsoleOutput) {
  const std::string undefined = dynamic_symbols("--undefined-only");
  ASSERT_NE(undefined.find(" U "), std::string::npos) << "nm lists the library's imports";
  EXPECT_EQ(undefined.find("DSDP"), std::string::npos);
  for (const char* name : {" printf@", " puts@", " putchar@", " vprintf@"})
    EXPECT_EQ(undefined.find(name), std::string::npos) << name;
  const std::string defined = dynamic_symbols("--defined-only");
  ASSERT_NE(defined.find("VLMoptimize"), std::string::npos);
  EXPECT_EQ(defined.find("DSDP"), std::string::npos);
  EXPECT_EQ(defined.find("velmor_dsdp_"), std::string::npos);
}

namespace {

// Whether the symmetric order-n matrix `a` (row-major) plus shift * I has a
// Cholesky factor, i.e. its eigenvalues exceed -shift.
bool psd_after_shift(std::vector<double> a, int n, double shift) {
  for (int i = 0; i < n; ++i) a[static_cast<size_t>(i) * n + i] += shift;
  for (int j = 0; j < n; ++j) {
    double d = a[static_cast<size_t>(j) * n + j];
    for (int k = 0; k < j; ++k) d -= a[static_cast<size_t>(j) * n + k] * a[static_cast<size_t>(j) * n + k];
    if (!(d > 0)) return false;
    d = std::sqrt(d);
    a[static_cast<size_t>(j) * n + j] = d;
    for (int i = j + 1; i < n; ++i) {
      double v = a[static_cast<size_t>(i) * n + j];
      for (int k = 0; k < j; ++k) v -= a[static_cast<size_t>(i) * n + k] * a[static_cast<size_t>(j) * n + k];
      a[static_cast<size_t>(i) * n + j] = v / d;
    }
  }
  return true;
}

// The lifted relaxation of a quadratic assignment problem of order 5 with
// random symmetric flows F and distances D: Y = [1 x'; x xx'] of order 26
// for the permutation matrix x, min <D (x) F, xx'> over Y PSD with Y00 = 1,
// diag = first row (x binary), row and column sums of x equal to 1, and the
// products of two entries sharing a row or a column of x at 0. Its 136
// equations are degenerate: DSDP stalls near the optimum of such problems.
struct AssignmentRelaxation {
  static constexpr int kN = 5, kDim = kN * kN + 1;
  Coefs objective;
  std::vector<std::pair<Coefs, double>> rows;  // (<A_i, Y>, b_i)

  explicit AssignmentRelaxation(unsigned seed) {
    std::mt19937 rng(seed);
    int f[kN][kN] = {}, d[kN][kN] = {};
    for (int i = 0; i < kN; ++i)
      for (int j = i + 1; j < kN; ++j) {
        f[i][j] = f[j][i] = static_cast<int>(rng() % 10);
        d[i][j] = d[j][i] = static_cast<int>(rng() % 10);
      }
    const auto at = [](int i, int j) { return 1 + i * kN + j; };
    const auto pos = [](int r, int c) { return r * kDim + c; };
    for (int i = 0; i < kN; ++i)
      for (int j = 0; j < kN; ++j)
        for (int k = 0; k < kN; ++k)
          for (int l = 0; l < kN; ++l)
            if (d[i][k] * f[j][l] != 0) objective.push_back({pos(at(i, j), at(k, l)), double(d[i][k] * f[j][l])});
    rows.push_back({{{pos(0, 0), 1.0}}, 1.0});
    for (int p = 1; p < kDim; ++p) rows.push_back({{{pos(p, p), 1.0}, {pos(0, p), -0.5}, {pos(p, 0), -0.5}}, 0.0});
    for (int line = 0; line < 2 * kN; ++line) {  // rows of x, then its columns
      Coefs sum;
      for (int k = 0; k < kN; ++k) {
        const int p = line < kN ? at(line, k) : at(k, line - kN);
        sum.push_back({pos(0, p), 0.5});
        sum.push_back({pos(p, 0), 0.5});
      }
      rows.push_back({sum, 1.0});
    }
    for (int i = 0; i < kN; ++i)
      for (int j = 0; j < kN; ++j)
        for (int k = j + 1; k < kN; ++k) {
          rows.push_back({{{pos(at(i, j), at(i, k)), 0.5}, {pos(at(i, k), at(i, j)), 0.5}}, 0.0});
          rows.push_back({{{pos(at(j, i), at(k, i)), 0.5}, {pos(at(k, i), at(j, i)), 0.5}}, 0.0});
        }
  }

  static double inner(const Coefs& a, const std::vector<double>& y) {
    double sum = 0.0;
    for (const auto& e : a) sum += e.second * y[static_cast<size_t>(e.first)];
    return sum;
  }
};

}  // namespace

// Ill-conditioned programs end with a point that is certified within the
// tolerances the status promises, never with UNKNOWN and no solution:
// OPTIMAL, or SUB_OPTIMAL, both with primal and dual values. The certificate
// is computed here from the data: rows and Y >= 0 (primal), C - sum y_i A_i
// >= 0 (dual), and the gap between <C, Y> and b.y.
TEST(Sdp, IllConditionedAssignmentRelaxationsEndCertified) {
  using R = AssignmentRelaxation;
  for (unsigned seed : {2u, 3u, 5u, 11u}) {
    SCOPED_TRACE(seed);
    const R q(seed);
    Sdp s;
    const int Y = s.psd_var(R::kDim, q.objective);
    for (const auto& row : q.rows) s.psd_row({}, {{Y, row.first}}, row.second, row.second);
    ASSERT_EQ(s.optimize(), VLM_OKAY);
    const int status = int_attr(s.m(), "Status");
    ASSERT_TRUE(status == VLM_STATUS_OPTIMAL || status == VLM_STATUS_SUB_OPTIMAL) << status;
    const double tol = status == VLM_STATUS_OPTIMAL ? 1e-6 : 1e-5;
    const std::vector<double> y = s.psd_x(Y);
    double largest = 0.0;
    for (double v : y) largest = std::max(largest, std::fabs(v));
    EXPECT_TRUE(psd_after_shift(y, R::kDim, tol * (1.0 + largest)));
    std::vector<double> slack(static_cast<size_t>(R::kDim) * R::kDim, 0.0);
    for (const auto& e : q.objective) slack[static_cast<size_t>(e.first)] += e.second;
    double dual_objective = 0.0, c_largest = 0.0;
    for (double v : slack) c_largest = std::max(c_largest, std::fabs(v));
    for (size_t i = 0; i < q.rows.size(); ++i) {
      const double b = q.rows[i].second;
      EXPECT_NEAR(R::inner(q.rows[i].first, y), b, tol * (1.0 + std::fabs(b))) << "row " << i;
      const double dual = dbl_item(s.m(), "DualSoln", static_cast<int>(i));
      dual_objective += dual * b;
      for (const auto& e : q.rows[i].first) slack[static_cast<size_t>(e.first)] -= dual * e.second;
    }
    EXPECT_TRUE(psd_after_shift(slack, R::kDim, tol * (1.0 + c_largest))) << "the dual values are feasible";
    const double primal_objective = R::inner(q.objective, y);
    EXPECT_NEAR(dbl_attr(s.m(), "ObjVal"), primal_objective, 1e-9 * (1.0 + std::fabs(primal_objective)));
    EXPECT_NEAR(dbl_attr(s.m(), "DualObjVal"), dual_objective, 1e-6 * (1.0 + std::fabs(dual_objective)));
    const double gap = std::fabs(primal_objective - dual_objective) /
                       (1.0 + std::fabs(primal_objective) + std::fabs(dual_objective));
    EXPECT_LE(gap, status == VLM_STATUS_OPTIMAL ? 1e-6 : 1e-4);
  }
}
