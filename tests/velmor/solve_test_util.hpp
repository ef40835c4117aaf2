// Small builders for the solver tests: columns, rows, parameters and the
// results of a run, each checked as it goes.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "velmor.h"
#include "vlm_test_util.hpp"

namespace vlmtest {

constexpr double kInf = 1e20;

inline int add_var(VLMmodel* m, double lb, double ub, double obj, char type = VLM_CONTINUOUS) {
  EXPECT_EQ(VLMaddvar(m, 0, nullptr, nullptr, obj, lb, ub, type, nullptr), VLM_OKAY);
  return int_attr(m, "NumVars") - 1;
}

inline int add_row(VLMmodel* m, std::initializer_list<int> cols, std::initializer_list<double> vals, double lb,
                   double ub) {
  const std::vector<int> c(cols);
  const std::vector<double> v(vals);
  EXPECT_EQ(VLMaddrangeconstr(m, static_cast<int>(c.size()), c.data(), v.data(), lb, ub, nullptr), VLM_OKAY);
  return int_attr(m, "NumConstrs") - 1;
}

inline void add_quad(VLMmodel* m, std::initializer_list<int> rows, std::initializer_list<int> cols,
                     std::initializer_list<double> vals) {
  const std::vector<int> r(rows), c(cols);
  const std::vector<double> v(vals);
  ASSERT_EQ(VLMaddqpterms(m, static_cast<int>(v.size()), r.data(), c.data(), v.data()), VLM_OKAY);
}

inline void add_sos(VLMmodel* m, int type, std::initializer_list<int> members, std::initializer_list<double> weights) {
  const std::vector<int> ind(members);
  const std::vector<double> w(weights);
  const int beg = 0;
  ASSERT_EQ(VLMaddsos(m, 1, static_cast<int>(ind.size()), &type, &beg, ind.data(), w.data()), VLM_OKAY);
}

inline void set_int(VLMmodel* m, const char* name, int value) {
  ASSERT_EQ(VLMsetintparam(VLMgetenv(m), name, value), VLM_OKAY) << name;
}

inline void set_dbl(VLMmodel* m, const char* name, double value) {
  ASSERT_EQ(VLMsetdblparam(VLMgetenv(m), name, value), VLM_OKAY) << name;
}

inline void maximise(VLMmodel* m) { ASSERT_EQ(VLMsetintattr(m, "ModelSense", VLM_MAXIMIZE), VLM_OKAY); }

inline std::vector<double> dbl_list(VLMmodel* m, const char* name, int n) {
  std::vector<int> ind(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) ind[static_cast<size_t>(i)] = i;
  std::vector<double> v(static_cast<size_t>(n), -12345);
  EXPECT_EQ(VLMgetdblattrlist(m, name, n, ind.data(), v.data()), VLM_OKAY) << name;
  return v;
}

inline std::vector<int> int_list(VLMmodel* m, const char* name, int n) {
  std::vector<int> ind(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) ind[static_cast<size_t>(i)] = i;
  std::vector<int> v(static_cast<size_t>(n), -12345);
  EXPECT_EQ(VLMgetintattrlist(m, name, n, ind.data(), v.data()), VLM_OKAY) << name;
  return v;
}

// Runs the model, expecting VLMoptimize to return `code`.
// A seeded multi-row 0/1 knapsack, maximised: `n` binaries with weights in
// [10, 100], `rows` capacity rows each at half the row's total weight.
inline ModelPtr random_knapsack(VLMenv* env, int n, int rows, unsigned seed) {
  ModelPtr m = make_model(env);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> w(10, 100);
  for (int j = 0; j < n; ++j) add_var(m.get(), 0, 1, w(rng), VLM_BINARY);
  std::vector<int> cols(static_cast<size_t>(n));
  std::vector<double> vals(static_cast<size_t>(n));
  for (int i = 0; i < rows; ++i) {
    double sum = 0;
    for (int j = 0; j < n; ++j) {
      cols[static_cast<size_t>(j)] = j;
      vals[static_cast<size_t>(j)] = w(rng);
      sum += vals[static_cast<size_t>(j)];
    }
    EXPECT_EQ(VLMaddrangeconstr(m.get(), n, cols.data(), vals.data(), -kInf, sum / 2, nullptr), VLM_OKAY);
  }
  maximise(m.get());
  return m;
}

inline void solve(VLMmodel* m, int code = VLM_OKAY) { ASSERT_EQ(VLMoptimize(m), code); }

inline void expect_near_all(const std::vector<double>& got, std::initializer_list<double> want, double tol = 1e-6) {
  ASSERT_EQ(got.size(), want.size());
  size_t i = 0;
  for (double w : want) {
    EXPECT_NEAR(got[i], w, tol) << "element " << i;
    ++i;
  }
}

}  // namespace vlmtest
