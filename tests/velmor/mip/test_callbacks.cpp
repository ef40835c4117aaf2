// The callback engine: where-points and their data, cuts as lazy
// constraints, proposed solutions, branching requests, stopping, and the
// MIQP branch-and-bound's turns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "solve_test_util.hpp"

using namespace vlmtest;

namespace {

// One turn as a test sees it.
struct Turn {
  int where;
  VLMmodel* model;
  void* cbdata;
};

// The user data of the tests' callback: every turn is recorded, then handed
// to `on_turn`, whose answer goes back to the library.
struct Recorder {
  std::vector<int> wheres;
  std::function<int(const Turn&)> on_turn;
};

int record_turn(VLMmodel* model, void* cbdata, int where, void* usrdata) {
  auto* r = static_cast<Recorder*>(usrdata);
  r->wheres.push_back(where);
  return r->on_turn ? r->on_turn(Turn{where, model, cbdata}) : 0;
}

void install(VLMmodel* m, Recorder& r) { ASSERT_EQ(VLMsetcallbackfunc(m, record_turn, &r), VLM_OKAY); }

int cb_int(const Turn& t, int what) {
  int v = -12345;
  EXPECT_EQ(VLMcbget(t.cbdata, t.where, what, &v), VLM_OKAY) << what;
  return v;
}

double cb_dbl(const Turn& t, int what) {
  double v = -12345;
  EXPECT_EQ(VLMcbget(t.cbdata, t.where, what, &v), VLM_OKAY) << what;
  return v;
}

std::vector<double> cb_doubles(const Turn& t, int what) {
  int n = -1;
  EXPECT_EQ(VLMcbgetlength(t.cbdata, t.where, what, &n), VLM_OKAY) << what;
  const double* p = nullptr;
  EXPECT_EQ(VLMcbget(t.cbdata, t.where, what, &p), VLM_OKAY) << what;
  if (!p || n < 0) return {};
  return std::vector<double>(p, p + n);
}

std::vector<int> cb_ints(const Turn& t, int what) {
  int n = -1;
  EXPECT_EQ(VLMcbgetlength(t.cbdata, t.where, what, &n), VLM_OKAY) << what;
  const int* p = nullptr;
  EXPECT_EQ(VLMcbget(t.cbdata, t.where, what, &p), VLM_OKAY) << what;
  if (!p || n < 0) return {};
  return std::vector<int>(p, p + n);
}

// max 8a + 11b + 6c + 4d  s.t.  5a + 7b + 4c + 3d <= 14, binary: 21 at (0, 1, 1, 1).
ModelPtr small_knapsack(VLMenv* env) {
  ModelPtr m = make_model(env);
  const double value[] = {8, 11, 6, 4};
  for (double v : value) add_var(m.get(), 0, 1, v, VLM_BINARY);
  add_row(m.get(), {0, 1, 2, 3}, {5, 7, 4, 3}, -kInf, 14);
  maximise(m.get());
  return m;
}

// A knapsack with several rows that CBC does not close at the root when its
// cuts and heuristics are off.
ModelPtr branching_knapsack(VLMenv* env, int n, int rows, unsigned seed) {
  ModelPtr m = random_knapsack(env, n, rows, seed);
  set_int(m.get(), "MIP/LevelCuts", 0);
  set_int(m.get(), "MIP/LevelHeurs", 0);
  return m;
}

double dot(const std::vector<double>& a, const std::vector<double>& b) {
  double s = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) s += a[i] * b[i];
  return s;
}

TEST(Callbacks, KnapsackTurnsAndTheirData) {
  EnvPtr env = make_env();
  ModelPtr m = branching_knapsack(env.get(), 30, 3, 7);
  VLMmodel* p = m.get();
  ASSERT_EQ(VLMsetdblattr(p, "ObjConst", 5), VLM_OKAY);
  Recorder r;
  std::vector<double> best_seen, bounds_seen;
  std::vector<std::vector<double>> incumbents;
  int bad = 0;
  r.on_turn = [&](const Turn& t) {
    // The presolved model is the model as given, in its own sense.
    if (cb_int(t, VLM_CB_PRE_NUMVARS) != 30 || cb_int(t, VLM_CB_PRE_NUMCONSTRS) != 3) ++bad;
    const std::vector<int> starts = cb_ints(t, VLM_CB_PRE_STARTS);
    const std::vector<int> rows = cb_ints(t, VLM_CB_PRE_INDICES);
    const std::vector<double> elements = cb_doubles(t, VLM_CB_PRE_ELEMENTS);
    if (starts.size() != 31 || starts.front() != 0 || starts.back() != cb_int(t, VLM_CB_PRE_NUMNZS) ||
        rows.size() != 90 || elements.size() != 90)
      ++bad;
    for (double c : cb_doubles(t, VLM_CB_PRE_OBJ))
      if (c < 10) ++bad;  // maximised values stay positive
    if (cb_dbl(t, VLM_CB_PRE_OBJCONST) != 5) ++bad;
    const double best = cb_dbl(t, VLM_CB_MIP_OBJBST), bound = cb_dbl(t, VLM_CB_MIP_OBJBND);
    best_seen.push_back(best);
    bounds_seen.push_back(bound);
    if (best > bound + 1e-6) ++bad;
    // What a where-point lacks is refused, never made up.
    double v;
    const double* a;
    if (t.where == VLM_CB_MIPSOL) {
      if (VLMcbget(t.cbdata, t.where, VLM_CB_MIP_RELVAL, &v) != VLM_ERROR_DATA_NOT_AVAILABLE) ++bad;
      if (VLMcbget(t.cbdata, t.where, VLM_CB_MIP_REL, &a) != VLM_ERROR_DATA_NOT_AVAILABLE) ++bad;
      const std::vector<double> x = cb_doubles(t, VLM_CB_MIP_SOL);
      incumbents.push_back(x);
      // The incumbent's objective, in the model's sense with its constant.
      if (std::fabs(dot(x, cb_doubles(t, VLM_CB_PRE_OBJ)) + 5 - best) > 1e-6) ++bad;
      // Cuts are taken at MIPSOL too (this one has nothing to add).
      if (VLMcbcut(t.cbdata, 0, nullptr, nullptr, '<', 1) != VLM_CB_SUBMIT_REFUSED) ++bad;
    } else {
      const double relval = cb_dbl(t, VLM_CB_MIP_RELVAL);
      if (relval > bound + 1e-6) ++bad;
      const std::vector<double> rel = cb_doubles(t, VLM_CB_MIP_REL), lb = cb_doubles(t, VLM_CB_MIP_LB),
                                ub = cb_doubles(t, VLM_CB_MIP_UB);
      if (rel.size() != 30 || std::fabs(dot(rel, cb_doubles(t, VLM_CB_PRE_OBJ)) + 5 - relval) > 1e-5) ++bad;
      for (size_t j = 0; j < rel.size(); ++j)
        if (rel[j] < lb[j] - 1e-7 || rel[j] > ub[j] + 1e-7) ++bad;
    }
    if (VLMcbget(t.cbdata, t.where, 315, &v) != VLM_ERROR_CB_INVALID_WHAT) ++bad;
    if (VLMcbget(t.cbdata, t.where, VLM_CB_MIP_NODCNT, nullptr) != VLM_ERROR_INVALID_ARGUMENT) ++bad;
    if (VLMcbgetlength(t.cbdata, t.where, VLM_CB_MIP_NODCNT, nullptr) != VLM_ERROR_INVALID_ARGUMENT) ++bad;
    int len = -1;
    if (VLMcbgetlength(t.cbdata, t.where, 315, &len) != VLM_ERROR_CB_INVALID_WHAT || len != -1) ++bad;
    if (VLMcbgetlength(t.cbdata, t.where, VLM_CB_MIP_OBJBST, &len) != VLM_OKAY || len != 1) ++bad;
    if (VLMcbget(t.cbdata, t.where == VLM_CB_MIPSOL ? VLM_CB_MIPNODE : VLM_CB_MIPSOL, VLM_CB_MIP_NODCNT, &v) !=
        VLM_ERROR_CB_INVALID_WHERE)
      ++bad;
    return 0;
  };
  install(p, r);
  solve(p);
  ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_EQ(bad, 0);
  ASSERT_FALSE(r.wheres.empty());
  EXPECT_EQ(r.wheres.front(), VLM_CB_MIPSTART);
  EXPECT_EQ(std::count(r.wheres.begin(), r.wheres.end(), VLM_CB_MIPSTART), 1);
  EXPECT_GT(std::count(r.wheres.begin(), r.wheres.end(), VLM_CB_MIPNODE), 1);
  ASSERT_GE(std::count(r.wheres.begin(), r.wheres.end(), VLM_CB_MIPSOL), 1);
  // One MIPSOL per incumbent, each better than the last.
  for (size_t k = 1; k < incumbents.size(); ++k) EXPECT_NE(incumbents[k], incumbents[k - 1]);
  const double final_value = dbl_attr(p, "ObjVal");
  for (size_t k = 0; k < best_seen.size(); ++k) {
    EXPECT_LE(best_seen[k], final_value + 1e-6) << k;   // primal bound of a maximisation
    EXPECT_GE(bounds_seen[k], final_value - 1e-6) << k;  // dual bound
    if (k > 0) {
      EXPECT_GE(best_seen[k], best_seen[k - 1] - 1e-9);
    }
  }
  EXPECT_NEAR(best_seen.back(), final_value, 1e-6);
  // The callback data is gone after the run.
  double v;
  EXPECT_EQ(VLMcbget(nullptr, VLM_CB_MIPNODE, VLM_CB_MIP_NODCNT, &v), VLM_ERROR_INVALID_ARGUMENT);
}

TEST(Callbacks, CutChangesTheResultAndBindsEveryLaterIncumbent) {
  EnvPtr env = make_env();
  ModelPtr m = small_knapsack(env.get());
  VLMmodel* p = m.get();
  set_int(p, "MIP/LevelHeurs", 0);
  Recorder r;
  int cut_answer = -100, injected = -100, violations = 0, cut_turns = 0;
  double injected_obj = 0;
  bool cut_added = false;
  r.on_turn = [&](const Turn& t) {
    if (t.where == VLM_CB_MIPNODE && !cut_added) {
      // b + c + d <= 2 removes the unconstrained optimum (0, 1, 1, 1).
      const int ind[] = {1, 2, 3};
      const double val[] = {1, 1, 1};
      cut_answer = VLMcbcut(t.cbdata, 3, ind, val, '<', 2);
      cut_added = true;
      cut_turns = 1;
      // The same cut again adds nothing.
      EXPECT_EQ(VLMcbcutp(t.cbdata, 3, ind, val, '<', 2), VLM_CB_SUBMIT_REFUSED);
      return 0;
    }
    if (!cut_added) return 0;
    ++cut_turns;
    if (t.where == VLM_CB_MIPSOL) {
      const std::vector<double> x = cb_doubles(t, VLM_CB_MIP_SOL);
      if (x[1] + x[2] + x[3] > 2 + 1e-6) ++violations;
      if (injected == -100) {
        const double old[] = {0, 1, 1, 1};
        injected = VLMcbsolution(t.cbdata, old, &injected_obj);
      }
    }
    return 0;
  };
  install(p, r);
  solve(p);
  EXPECT_EQ(cut_answer, VLM_CB_SUBMIT_OK);
  EXPECT_EQ(violations, 0);
  ASSERT_GT(cut_turns, 1);
  EXPECT_EQ(injected, VLM_CB_SUBMIT_INVALID);  // violates the cut
  EXPECT_EQ(injected_obj, -VLM_INFINITY);      // refused: minus infinity for a maximisation
  ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(p, "ObjVal"), 19, 1e-9);
  expect_near_all(dbl_list(p, "X", 4), {1, 1, 0, 0});
  // Without the callback the old optimum comes back: the cut is no model data.
  ASSERT_EQ(VLMsetcallbackfunc(p, nullptr, nullptr), VLM_OKAY);
  solve(p);
  EXPECT_NEAR(dbl_attr(p, "ObjVal"), 21, 1e-9);
}

// Cuts added during the search give the optimum of the model that has them
// as rows from the start, whatever the search looked like when they came.
TEST(Callbacks, LazyCutsGiveTheOptimumOfTheModelWithThemAsRows) {
  EnvPtr env = make_env();
  size_t tree_cuts = 0;
  for (unsigned seed = 1; seed <= 10; ++seed) {
    SCOPED_TRACE(seed);
    ModelPtr m = branching_knapsack(env.get(), 20, 2, seed);
    VLMmodel* p = m.get();
    if (seed % 2 == 0) set_int(p, "MIP/LevelHeurs", -1);
    if (seed % 3 == 0) set_int(p, "MIP/LevelCuts", -1);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> col(0, 19);
    struct Pair {
      int a, b;
    };
    std::vector<Pair> kept;
    int violations = 0;
    Recorder r;
    r.on_turn = [&](const Turn& t) {
      if (t.where == VLM_CB_MIPSOL) {
        const std::vector<double> x = cb_doubles(t, VLM_CB_MIP_SOL);
        for (const Pair& q : kept)
          if (x[static_cast<size_t>(q.a)] + x[static_cast<size_t>(q.b)] > 1 + 1e-6) ++violations;
        return 0;
      }
      if (t.where != VLM_CB_MIPNODE || kept.size() >= 12) return 0;
      if (seed % 2 == 1 && cb_int(t, VLM_CB_MIP_NODEID) == 0) return 0;  // cuts in the tree only
      // x_a + x_b <= 1 for a pair the relaxation puts above 1, when there is one.
      const std::vector<double> x = cb_doubles(t, VLM_CB_MIP_REL);
      for (int tries = 0; tries < 20; ++tries) {
        const int a = col(rng), b = col(rng);
        if (a == b || x[static_cast<size_t>(a)] + x[static_cast<size_t>(b)] <= 1.01) continue;
        const int ind[] = {a, b};
        const double val[] = {1, 1};
        if (VLMcbcut(t.cbdata, 2, ind, val, '<', 1) == VLM_CB_SUBMIT_OK) {
          kept.push_back({a, b});
          if (cb_int(t, VLM_CB_MIP_NODEID) > 0) ++tree_cuts;
        }
        break;
      }
      return 0;
    };
    install(p, r);
    solve(p);
    ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
    EXPECT_EQ(violations, 0);
    const std::vector<double> x = dbl_list(p, "X", 20);
    for (const Pair& q : kept) EXPECT_LE(x[static_cast<size_t>(q.a)] + x[static_cast<size_t>(q.b)], 1 + 1e-6);
    const double with_callback = dbl_attr(p, "ObjVal");
    ASSERT_EQ(VLMsetcallbackfunc(p, nullptr, nullptr), VLM_OKAY);
    for (const Pair& q : kept) add_row(p, {q.a, q.b}, {1, 1}, -kInf, 1);
    solve(p);
    EXPECT_NEAR(dbl_attr(p, "ObjVal"), with_callback, 1e-6) << kept.size() << " cuts";
  }
  EXPECT_GT(tree_cuts, 10u);  // the searches did meet cuts below the root
}

// Pairs (a, b) standing for the rows x_a + x_b <= 1 that a callback keeps to
// itself and adds, as lazy constraints, only when a new incumbent violates
// one: at MIPSOL, where the incumbent is still a candidate.
struct HiddenPairs {
  std::vector<std::pair<int, int>> pairs;
  int added = 0, odd_answers = 0;

  HiddenPairs(int n, int count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> col(0, n - 1);
    while (static_cast<int>(pairs.size()) < count) {
      const std::pair<int, int> p(col(rng), col(rng));
      if (p.first < p.second && std::find(pairs.begin(), pairs.end(), p) == pairs.end()) pairs.push_back(p);
    }
  }

  // At MIPSOL: the rows the candidate violates, as cuts.
  int on_turn(const Turn& t) {
    if (t.where != VLM_CB_MIPSOL) return 0;
    const std::vector<double> x = cb_doubles(t, VLM_CB_MIP_SOL);
    for (const auto& [a, b] : pairs) {
      if (x[static_cast<size_t>(a)] + x[static_cast<size_t>(b)] <= 1 + 1e-6) continue;
      const int ind[] = {a, b};
      const double val[] = {1, 1};
      const int answer = VLMcbcut(t.cbdata, 2, ind, val, '<', 1);
      if (answer == VLM_CB_SUBMIT_OK)
        ++added;
      else
        ++odd_answers;
    }
    return 0;
  }

  // The run's result satisfies every row and is the optimum of the model
  // that has them all from the start.
  void expect_optimum_with_rows(VLMmodel* p, int n) {
    ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
    const std::vector<double> x = dbl_list(p, "X", n);
    for (const auto& [a, b] : pairs) EXPECT_LE(x[static_cast<size_t>(a)] + x[static_cast<size_t>(b)], 1 + 1e-6);
    const double with_callback = dbl_attr(p, "ObjVal");
    ASSERT_EQ(VLMsetcallbackfunc(p, nullptr, nullptr), VLM_OKAY);
    for (const auto& [a, b] : pairs) add_row(p, {a, b}, {1, 1}, -kInf, 1);
    solve(p);
    EXPECT_NEAR(dbl_attr(p, "ObjVal"), with_callback, 1e-6);
    EXPECT_EQ(odd_answers, 0);
  }
};

TEST(Callbacks, LazyRowsAddedAtMipsolRefuseTheCandidate) {
  EnvPtr env = make_env();
  int added = 0;
  for (unsigned seed = 1; seed <= 8; ++seed) {
    SCOPED_TRACE(seed);
    // Half the runs with CBC's own cuts and heuristics (whose solutions
    // reach MIPSOL too), half without.
    ModelPtr m = seed % 2 ? random_knapsack(env.get(), 24, 2, seed) : branching_knapsack(env.get(), 24, 2, seed);
    VLMmodel* p = m.get();
    HiddenPairs hidden(24, 30, seed);
    Recorder r;
    r.on_turn = [&](const Turn& t) { return hidden.on_turn(t); };
    install(p, r);
    solve(p);
    hidden.expect_optimum_with_rows(p, 24);
    added += hidden.added;
  }
  EXPECT_GT(added, 8);  // the candidates did violate rows
}

TEST(Callbacks, CutsAreCheckedAndMayNotCutOffTheIncumbent) {
  EnvPtr env = make_env();
  ModelPtr m = branching_knapsack(env.get(), 30, 3, 7);
  Recorder r;
  std::vector<int> answers;
  bool done = false;
  r.on_turn = [&](const Turn& t) {
    if (t.where != VLM_CB_MIPNODE || done) return 0;
    int have = cb_int(t, VLM_CB_MIP_SOLCNT);
    if (have == 0) return 0;
    done = true;
    const std::vector<double> x = cb_doubles(t, VLM_CB_MIP_SOL);
    const int all[] = {0, 1, 2, 3};
    const double ones[] = {1, 1, 1, 1};
    const double activity = x[0] + x[1] + x[2] + x[3];
    if (activity < 1) {
      done = false;  // a cut below it would be infeasible, not only cut the incumbent off
      return 0;
    }
    answers.push_back(VLMcbcut(t.cbdata, 4, all, ones, '<', activity - 1));  // cuts the incumbent off
    const int bad_col[] = {30};
    answers.push_back(VLMcbcut(t.cbdata, 1, bad_col, ones, '<', 1));
    answers.push_back(VLMcbcut(t.cbdata, 4, all, ones, '!', 1));
    answers.push_back(VLMcbcut(t.cbdata, 4, all, ones, '<', std::nan("")));
    answers.push_back(VLMcbcut(t.cbdata, -1, all, ones, '<', 1));
    const double zeros[] = {0, 0, 0, 0};
    answers.push_back(VLMcbcut(t.cbdata, 4, all, zeros, '<', 1));   // 0 <= 1: nothing to add
    answers.push_back(VLMcbcut(t.cbdata, 4, all, zeros, '>', 1));   // 0 >= 1: never holds
    return 0;
  };
  install(m.get(), r);
  solve(m.get());
  ASSERT_TRUE(done);
  const std::vector<int> want = {VLM_CB_SUBMIT_INVALID,       VLM_ERROR_MODEL_INVALID_COL_IDX,
                                 VLM_ERROR_MODEL_INPUT_ERROR, VLM_ERROR_INVALID_ARGUMENT,
                                 VLM_ERROR_INVALID_ARGUMENT,  VLM_CB_SUBMIT_REFUSED,
                                 VLM_CB_SUBMIT_INVALID};
  EXPECT_EQ(answers, want);
  EXPECT_EQ(int_attr(m.get(), "Status"), VLM_STATUS_OPTIMAL);
}

// max 5x + 4y + 3z + s  s.t.  2x + 3y + z + s <= 5, x, y, z binary, 0 <= s <= 10:
// 10 at x = z = 1, s = 2.
ModelPtr mixed_model(VLMenv* env) {
  ModelPtr m = make_model(env);
  add_var(m.get(), 0, 1, 5, VLM_BINARY);
  add_var(m.get(), 0, 1, 4, VLM_BINARY);
  add_var(m.get(), 0, 1, 3, VLM_BINARY);
  add_var(m.get(), 0, 10, 1);
  add_row(m.get(), {0, 1, 2, 3}, {2, 3, 1, 1}, -kInf, 5);
  maximise(m.get());
  return m;
}

TEST(Callbacks, ProposedSolutionIsCompletedCheckedAndTaken) {
  EnvPtr env = make_env();
  ModelPtr m = mixed_model(env.get());
  VLMmodel* p = m.get();
  Recorder r;
  std::vector<int> answers;
  std::vector<double> objectives;
  std::vector<std::vector<double>> incumbents;
  r.on_turn = [&](const Turn& t) {
    if (t.where == VLM_CB_MIPSTART) {
      double obj = 0;
      const double half[] = {0.5, VLM_UNDEFINED, VLM_UNDEFINED, VLM_UNDEFINED};  // not integral
      answers.push_back(VLMcbsolution(t.cbdata, half, &obj));
      const double heavy[] = {1, 1, 1, VLM_UNDEFINED};  // no s completes it
      answers.push_back(VLMcbsolution(t.cbdata, heavy, &obj));
      const double beyond[] = {VLM_UNDEFINED, VLM_UNDEFINED, VLM_UNDEFINED, 11};  // above s's bound
      answers.push_back(VLMcbsolution(t.cbdata, beyond, &obj));
      const double nan[] = {std::nan(""), 0, 0, 0};
      answers.push_back(VLMcbsolution(t.cbdata, nan, &obj));
      // Only the integers: s is completed by an LP.
      const double integers[] = {1, 0, 1, VLM_UNDEFINED};
      answers.push_back(VLMcbsolutionp(t.cbdata, integers, &obj));
      objectives.push_back(obj);
    }
    if (t.where == VLM_CB_MIPSOL) incumbents.push_back(cb_doubles(t, VLM_CB_MIP_SOL));
    return 0;
  };
  install(p, r);
  solve(p);
  const std::vector<int> want = {VLM_CB_SUBMIT_INVALID, VLM_CB_SUBMIT_INVALID, VLM_CB_SUBMIT_INVALID,
                                 VLM_ERROR_INVALID_ARGUMENT, VLM_CB_SUBMIT_OK};
  EXPECT_EQ(answers, want);
  ASSERT_EQ(objectives.size(), 1u);
  EXPECT_NEAR(objectives[0], 10, 1e-9);
  ASSERT_FALSE(incumbents.empty());
  expect_near_all(incumbents.front(), {1, 0, 1, 2});
  ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(p, "ObjVal"), 10, 1e-9);
}

// Proposals are checked against what the model states beyond its rows:
// indicators (both formulations), SOS and semi-continuity.
TEST(Callbacks, ProposalsMeetIndicatorsSosAndSemiContinuity) {
  EnvPtr env = make_env();
  for (double x_ub : {10.0, kInf}) {  // big-M, or the exact form with a hidden slack and SOS1
    ModelPtr m = make_model(env.get());
    VLMmodel* p = m.get();
    add_var(p, 0, 1, 1, VLM_BINARY);   // b
    add_var(p, 0, x_ub, 1);            // x
    add_var(p, 0, 4, 1);               // y
    add_var(p, 0, 5, 1, VLM_SEMICONT); // s: 0 or in [2, 5]
    const int ind[] = {1};
    const double one[] = {1};
    ASSERT_EQ(VLMaddgenconstrIndicator(p, nullptr, 0, 1, 1, ind, one, '<', 2), VLM_OKAY);  // b = 1 -> x <= 2
    add_sos(p, VLM_SOS_TYPE1, {1, 2}, {1, 2});                                          // x or y
    add_row(p, {1, 2, 3}, {1, 1, 1}, -kInf, 20);
    maximise(p);
    Recorder r;
    std::vector<int> answers;
    std::vector<double> objectives;
    r.on_turn = [&](const Turn& t) {
      // The columns and rows standing in for the indicator and s stay hidden.
      EXPECT_EQ(cb_int(t, VLM_CB_PRE_NUMVARS), 4);
      EXPECT_EQ(cb_int(t, VLM_CB_PRE_NUMCONSTRS), 1);
      EXPECT_EQ(cb_doubles(t, VLM_CB_PRE_LB)[3], 0.0);  // s's range widened to include 0
      if (t.where == VLM_CB_MIPSOL) {
        EXPECT_EQ(cb_doubles(t, VLM_CB_MIP_SOL).size(), 4u);
      }
      if (t.where != VLM_CB_MIPSTART) return 0;
      double obj = 0;
      const double U = VLM_UNDEFINED;
      const std::vector<std::vector<double>> proposals = {
          {1, 5, 0, 0},  // indicator violated
          {1, U, 0, 0},  // x completed at 2
          {0, 3, 1, 0},  // SOS1 violated
          {0, U, U, 1},  // s = 1 is neither 0 nor in [2, 5]
          {0, U, 0, U},  // x and s completed at their best
      };
      for (const std::vector<double>& x : proposals) {
        answers.push_back(VLMcbsolution(t.cbdata, x.data(), &obj));
        objectives.push_back(obj);
      }
      return 0;
    };
    install(p, r);
    const int code = VLMoptimize(p);
    ASSERT_EQ(answers.size(), 5u);
    EXPECT_EQ(answers[0], VLM_CB_SUBMIT_INVALID);
    EXPECT_EQ(answers[1], VLM_CB_SUBMIT_OK);
    EXPECT_NEAR(objectives[1], 1 + 2, 1e-9);
    EXPECT_EQ(answers[2], VLM_CB_SUBMIT_INVALID);
    EXPECT_EQ(answers[3], VLM_CB_SUBMIT_INVALID);
    EXPECT_EQ(answers[4], VLM_CB_SUBMIT_OK);
    EXPECT_NEAR(objectives[4], x_ub < kInf ? 10 + 5 : 20, 1e-9);  // x + s <= 20
    EXPECT_EQ(code, VLM_OKAY);
    EXPECT_NEAR(dbl_attr(p, "ObjVal"), x_ub < kInf ? 15 : 20, 1e-9);
  }
}

TEST(Callbacks, SolutionNoBetterThanTheIncumbentIsRefused) {
  EnvPtr env = make_env();
  ModelPtr m = mixed_model(env.get());
  Recorder r;
  int answer = -100;
  double obj = 0;
  r.on_turn = [&](const Turn& t) {
    if (t.where == VLM_CB_MIPSOL && answer == -100) {
      const double poor[] = {0, 0, 0, 0};  // feasible, objective 0
      answer = VLMcbsolution(t.cbdata, poor, &obj);
    }
    return 0;
  };
  install(m.get(), r);
  solve(m.get());
  EXPECT_EQ(answer, VLM_CB_SUBMIT_REFUSED);
  EXPECT_NEAR(obj, 0, 1e-12);  // correct, so its objective is given
}

TEST(Callbacks, BranchingRequestIsHonoured) {
  EnvPtr env = make_env();
  ModelPtr m = branching_knapsack(env.get(), 25, 2, 3);
  VLMmodel* p = m.get();
  set_int(p, "MIP/LevelStrong", 0);
  Recorder r;
  int requested = -1, answer = -100;
  double at = 0;
  std::vector<int> refusals;
  bool checked = false, honoured = false;
  r.on_turn = [&](const Turn& t) {
    if (t.where != VLM_CB_MIPNODE) return 0;
    const std::vector<double> x = cb_doubles(t, VLM_CB_MIP_REL);
    if (requested < 0) {
      for (size_t j = 0; j < x.size(); ++j)
        if (std::fabs(x[j] - std::round(x[j])) > 1e-3) {
          requested = static_cast<int>(j);
          at = x[j];
          break;
        }
      if (requested < 0) return 0;
      refusals.push_back(VLMcbbranch(t.cbdata, requested, 1.5, 1));  // outside [0, 1]
      for (size_t j = 0; j < x.size(); ++j)
        if (std::fabs(x[j] - std::round(x[j])) < 1e-9) {
          refusals.push_back(VLMcbbranch(t.cbdata, static_cast<int>(j), 0.5, 1));  // integral here
          break;
        }
      refusals.push_back(VLMcbbranch(t.cbdata, 25, 0.5, 1));
      answer = VLMcbbranchp(t.cbdata, requested, at, 1);
      return 0;
    }
    if (!checked && cb_int(t, VLM_CB_MIP_NODEID) > 0) {
      checked = true;
      // The first node after the request: the up branch of that column.
      honoured = cb_doubles(t, VLM_CB_MIP_LB)[static_cast<size_t>(requested)] == 1.0 &&
                 cb_int(t, VLM_CB_MIP_DEPTH) == 1;
    }
    return 0;
  };
  install(p, r);
  solve(p);
  ASSERT_GE(requested, 0);
  EXPECT_EQ(answer, VLM_CB_SUBMIT_OK);
  const std::vector<int> want = {VLM_CB_SUBMIT_INVALID, VLM_CB_SUBMIT_REFUSED, VLM_ERROR_MODEL_INVALID_COL_IDX};
  EXPECT_EQ(refusals, want);
  ASSERT_TRUE(checked);
  EXPECT_TRUE(honoured);
  EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
}

TEST(Callbacks, BranchingOnAContinuousColumnIsRefused) {
  EnvPtr env = make_env();
  ModelPtr m = mixed_model(env.get());
  set_int(m.get(), "MIP/LevelHeurs", 0);
  Recorder r;
  int answer = -100;
  r.on_turn = [&](const Turn& t) {
    if (t.where == VLM_CB_MIPNODE && answer == -100) answer = VLMcbbranch(t.cbdata, 3, 1.0, 1);
    if (t.where == VLM_CB_MIPSTART) {
      EXPECT_EQ(VLMcbbranch(t.cbdata, 0, 0.5, 1), VLM_ERROR_CB_INVALID_WHERE);
    }
    return 0;
  };
  install(m.get(), r);
  solve(m.get());
  EXPECT_EQ(answer, VLM_CB_SUBMIT_INVALID);
}

TEST(Callbacks, TerminateAtTheFirstIncumbent) {
  EnvPtr env = make_env();
  ModelPtr m = branching_knapsack(env.get(), 40, 4, 11);
  VLMmodel* p = m.get();
  Recorder r;
  std::vector<double> first;
  double first_value = 0;
  size_t turns_at_stop = 0;
  r.on_turn = [&](const Turn& t) {
    if (t.where != VLM_CB_MIPSOL) return 0;
    first = cb_doubles(t, VLM_CB_MIP_SOL);
    first_value = cb_dbl(t, VLM_CB_MIP_OBJBST);
    turns_at_stop = r.wheres.size();
    return VLM_ERROR_ABORT_CTRL_C;
  };
  install(p, r);
  solve(p, VLM_ERROR_ABORT_CTRL_C);
  EXPECT_EQ(r.wheres.size(), turns_at_stop);  // never called again
  ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_SUB_OPTIMAL);
  EXPECT_NEAR(dbl_attr(p, "ObjVal"), first_value, 1e-9);
  const std::vector<double> x = dbl_list(p, "X", 40);
  ASSERT_EQ(first.size(), x.size());
  for (size_t j = 0; j < x.size(); ++j) EXPECT_NEAR(x[j], first[j], 1e-9) << j;
}

TEST(Callbacks, AnyNonZeroAnswerStopsTheRun) {
  EnvPtr env = make_env();
  for (int answer : {-1, 7}) {
    ModelPtr m = branching_knapsack(env.get(), 40, 4, 11);
    Recorder r;
    r.on_turn = [&](const Turn& t) { return t.where == VLM_CB_MIPNODE ? answer : 0; };
    install(m.get(), r);
    solve(m.get(), answer);
    EXPECT_EQ(r.wheres.back(), VLM_CB_MIPNODE);
    EXPECT_EQ(std::count(r.wheres.begin(), r.wheres.end(), VLM_CB_MIPNODE), 1);
    const int status = int_attr(m.get(), "Status");
    EXPECT_TRUE(status == VLM_STATUS_SUB_OPTIMAL || status == VLM_STATUS_UNKNOWN) << status;
  }
}

TEST(Callbacks, ModelUnderSolveRefusesChangesButAnswersReads) {
  EnvPtr env = make_env();
  ModelPtr m = small_knapsack(env.get());
  ModelPtr other = small_knapsack(env.get());
  VLMmodel* p = m.get();
  Recorder r;
  std::vector<int> codes;
  double other_value = 0;
  r.on_turn = [&](const Turn& t) {
    if (!codes.empty()) return 0;
    codes.push_back(VLMoptimize(t.model));
    codes.push_back(VLMsetdblattr(t.model, "ObjConst", 1));
    codes.push_back(VLMsetcallbackfunc(t.model, nullptr, nullptr));
    codes.push_back(VLMsetintparam(VLMgetenv(t.model), "MIP/MaxNodes", 5));
    int n = 0;
    codes.push_back(VLMgetintattr(t.model, "NumVars", &n));
    EXPECT_EQ(n, 4);
    // Another MIP from inside the callback: the library holds no lock now.
    codes.push_back(VLMoptimize(other.get()));
    VLMgetdblattr(other.get(), "ObjVal", &other_value);
    return 0;
  };
  install(p, r);
  solve(p);
  const std::vector<int> want = {VLM_ERROR_INVALID_ARGUMENT, VLM_ERROR_INVALID_ARGUMENT, VLM_ERROR_INVALID_ARGUMENT,
                                 VLM_ERROR_INVALID_ARGUMENT, VLM_OKAY, VLM_OKAY};
  EXPECT_EQ(codes, want);
  EXPECT_NEAR(other_value, 21, 1e-9);
  EXPECT_NEAR(dbl_attr(p, "ObjVal"), 21, 1e-9);
}

// Two runs with callbacks on two threads: each gives up the library's CBC
// lock while its callback runs, so they interleave; each must find what it
// finds alone.
TEST(Callbacks, TwoRunsWithCallbacksOnTwoThreads) {
  EnvPtr env = make_env();
  ModelPtr a = branching_knapsack(env.get(), 30, 3, 5), b = branching_knapsack(env.get(), 30, 3, 6);
  solve(a.get());
  solve(b.get());
  const double va = dbl_attr(a.get(), "ObjVal"), vb = dbl_attr(b.get(), "ObjVal");
  Recorder ra, rb;
  ra.on_turn = rb.on_turn = [](const Turn& t) {
    std::this_thread::yield();  // give the other run a chance to take the lock
    return cb_int(t, VLM_CB_PRE_NUMVARS) == 30 ? 0 : -1;
  };
  install(a.get(), ra);
  install(b.get(), rb);
  int ca = -100, cb = -100;
  std::thread ta([&] { ca = VLMoptimize(a.get()); });
  std::thread tb([&] { cb = VLMoptimize(b.get()); });
  ta.join();
  tb.join();
  EXPECT_EQ(ca, VLM_OKAY);
  EXPECT_EQ(cb, VLM_OKAY);
  EXPECT_NEAR(dbl_attr(a.get(), "ObjVal"), va, 1e-6);
  EXPECT_NEAR(dbl_attr(b.get(), "ObjVal"), vb, 1e-6);
  EXPECT_GT(ra.wheres.size(), 2u);
  EXPECT_GT(rb.wheres.size(), 2u);
}

TEST(Callbacks, LinearProgramsHaveNoWherePoints) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  add_var(m.get(), 0, 4, -1);
  Recorder r;
  install(m.get(), r);
  solve(m.get());
  EXPECT_TRUE(r.wheres.empty());
  EXPECT_NEAR(dbl_attr(m.get(), "ObjVal"), -4, 1e-9);
}

// min sum (x_j - 0.4)^2 over integers with sum x_j >= 2: every point with two
// ones is optimal (1.04 + ...).
ModelPtr small_miqp(VLMenv* env, int n) {
  ModelPtr m = make_model(env);
  std::vector<int> cols;
  std::vector<double> ones;
  for (int j = 0; j < n; ++j) {
    add_var(m.get(), 0, 3, -0.8, VLM_INTEGER);
    add_quad(m.get(), {j}, {j}, {1});
    cols.push_back(j);
    ones.push_back(1);
  }
  EXPECT_EQ(VLMaddrangeconstr(m.get(), n, cols.data(), ones.data(), 2.5, kInf, nullptr), VLM_OKAY);
  return m;
}

TEST(CallbacksMiqp, SameTurnsAndCutsAsAMip) {
  EnvPtr env = make_env();
  ModelPtr m = small_miqp(env.get(), 4);
  VLMmodel* p = m.get();
  Recorder r;
  int cut = -100, violations = 0;
  double bound_gap = 0;
  r.on_turn = [&](const Turn& t) {
    const double best = cb_dbl(t, VLM_CB_MIP_OBJBST), bound = cb_dbl(t, VLM_CB_MIP_OBJBND);
    bound_gap = std::min(bound_gap, best - bound);  // minimisation: bound <= best
    if (t.where == VLM_CB_MIPNODE && cut == -100) {
      // x0 = 0: forbids half of the optima.
      const int ind[] = {0};
      const double val[] = {1};
      cut = VLMcbcut(t.cbdata, 1, ind, val, '<', 0);
    }
    if (t.where == VLM_CB_MIPSOL && cut == VLM_CB_SUBMIT_OK && cb_doubles(t, VLM_CB_MIP_SOL)[0] > 1e-9) ++violations;
    return 0;
  };
  install(p, r);
  solve(p);
  ASSERT_FALSE(r.wheres.empty());
  EXPECT_EQ(r.wheres.front(), VLM_CB_MIPSTART);
  EXPECT_EQ(std::count(r.wheres.begin(), r.wheres.end(), VLM_CB_MIPSTART), 1);
  EXPECT_GE(std::count(r.wheres.begin(), r.wheres.end(), VLM_CB_MIPSOL), 1);
  EXPECT_EQ(cut, VLM_CB_SUBMIT_OK);
  EXPECT_EQ(violations, 0);
  EXPECT_GE(bound_gap, -1e-6);
  ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
  EXPECT_NEAR(dbl_list(p, "X", 4)[0], 0, 1e-9);
  // (x - 0.4)^2 summed: three ones and a zero minus the constant 0.64.
  EXPECT_NEAR(dbl_attr(p, "ObjVal"), 3 * (1 - 0.8), 1e-6);
}

TEST(CallbacksMiqp, LazyRowsAddedAtMipsolRefuseTheCandidate) {
  EnvPtr env = make_env();
  int added = 0;
  for (unsigned seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    ModelPtr m = small_miqp(env.get(), 6);
    VLMmodel* p = m.get();
    HiddenPairs hidden(6, 4, seed);
    Recorder r;
    r.on_turn = [&](const Turn& t) { return hidden.on_turn(t); };
    install(p, r);
    solve(p);
    hidden.expect_optimum_with_rows(p, 6);
    added += hidden.added;
  }
  EXPECT_GT(added, 0);
}

TEST(CallbacksMiqp, BranchingRequestIsHonoured) {
  EnvPtr env = make_env();
  for (int way : {1, -1}) {
    ModelPtr m = small_miqp(env.get(), 4);
    Recorder r;
    int answer = -100, root = -1;
    double lb = -1, ub = -1;
    r.on_turn = [&](const Turn& t) {
      if (t.where != VLM_CB_MIPNODE) return 0;
      if (answer == -100) {
        root = cb_int(t, VLM_CB_MIP_NODEID);
        answer = VLMcbbranch(t.cbdata, 2, 0.625, way);  // the relaxation holds every x at 0.625
      } else if (lb < 0 && cb_int(t, VLM_CB_MIP_NODEID) != root) {
        lb = cb_doubles(t, VLM_CB_MIP_LB)[2];
        ub = cb_doubles(t, VLM_CB_MIP_UB)[2];
        EXPECT_EQ(cb_int(t, VLM_CB_MIP_DEPTH), 1);
      }
      return 0;
    };
    install(m.get(), r);
    solve(m.get());
    EXPECT_EQ(answer, VLM_CB_SUBMIT_OK);
    if (way > 0) {
      EXPECT_EQ(lb, 1);
    } else {
      EXPECT_EQ(ub, 0);
    }
    EXPECT_EQ(int_attr(m.get(), "Status"), VLM_STATUS_OPTIMAL);
  }
}

TEST(CallbacksMiqp, StopAndProposedSolutions) {
  EnvPtr env = make_env();
  ModelPtr m = small_miqp(env.get(), 6);
  VLMmodel* p = m.get();
  Recorder r;
  int answer = -100;
  r.on_turn = [&](const Turn& t) {
    if (t.where == VLM_CB_MIPSTART) {
      double obj = 0;
      const double x[] = {1, 1, 1, 0, 0, 0};
      answer = VLMcbsolution(t.cbdata, x, &obj);
      EXPECT_NEAR(obj, 3 * (1 - 0.8), 1e-9);
      return 0;
    }
    return t.where == VLM_CB_MIPSOL ? VLM_ERROR_ABORT_CTRL_C : 0;
  };
  install(p, r);
  solve(p, VLM_ERROR_ABORT_CTRL_C);
  EXPECT_EQ(answer, VLM_CB_SUBMIT_OK);
  EXPECT_EQ(r.wheres.back(), VLM_CB_MIPSOL);
  ASSERT_EQ(int_attr(p, "Status"), VLM_STATUS_SUB_OPTIMAL);
  expect_near_all(dbl_list(p, "X", 6), {1, 1, 1, 0, 0, 0});
}

}  // namespace
