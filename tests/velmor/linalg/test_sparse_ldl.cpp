// The sparse LDL' factorisation on quasi-definite matrices [D A'; A -E]
// (the interior point method's systems), checked by the residual of a solve.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "linalg/sparse_ldl.hpp"

namespace {

using velmor::SparseLdl;

struct Symmetric {
  int n = 0;
  std::map<std::pair<int, int>, double> upper;  // (row, col) with row <= col

  void add(int r, int c, double v) { upper[{std::min(r, c), std::max(r, c)}] += v; }

  std::vector<double> times(const std::vector<double>& x) const {
    std::vector<double> y(static_cast<size_t>(n), 0.0);
    for (const auto& [rc, v] : upper) {
      y[static_cast<size_t>(rc.first)] += v * x[static_cast<size_t>(rc.second)];
      if (rc.first != rc.second) y[static_cast<size_t>(rc.second)] += v * x[static_cast<size_t>(rc.first)];
    }
    return y;
  }
};

// Factorises m, solves m x = b for a random b and returns the largest
// residual relative to b's size.
double solve_residual(const Symmetric& m, int positive) {
  std::vector<std::int64_t> start(static_cast<size_t>(m.n) + 1, 0);
  std::vector<int> row;
  std::vector<double> value;
  for (const auto& [rc, v] : m.upper) ++start[static_cast<size_t>(rc.second) + 1];
  for (int j = 0; j < m.n; ++j) start[static_cast<size_t>(j) + 1] += start[static_cast<size_t>(j)];
  std::vector<std::int64_t> next(start.begin(), start.end() - 1);
  row.resize(m.upper.size());
  value.resize(m.upper.size());
  for (const auto& [rc, v] : m.upper) {
    const std::int64_t q = next[static_cast<size_t>(rc.second)]++;
    row[static_cast<size_t>(q)] = rc.first, value[static_cast<size_t>(q)] = v;
  }
  std::vector<signed char> sign(static_cast<size_t>(m.n));
  for (int i = 0; i < m.n; ++i) sign[static_cast<size_t>(i)] = i < positive ? 1 : -1;
  SparseLdl ldl;
  EXPECT_EQ(ldl.analyze(m.n, start, row, nullptr), SparseLdl::Result::Ok);
  EXPECT_EQ(ldl.factorize(value.data(), sign.data(), 1e-300, 1e-8, nullptr), SparseLdl::Result::Ok);
  EXPECT_EQ(ldl.replaced_pivots(), 0);
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::vector<double> b(static_cast<size_t>(m.n)), x;
  for (double& v : b) v = unit(rng);
  x = b;
  ldl.solve(x.data());
  const std::vector<double> mx = m.times(x);
  double worst = 0;
  for (int i = 0; i < m.n; ++i) worst = std::max(worst, std::fabs(mx[static_cast<size_t>(i)] - b[static_cast<size_t>(i)]));
  return worst;
}

// Diagonal D over n columns under k dense rows: every column's front hands
// an update to the dense rows' front; a few columns coupled in a chain and
// some sparse rows give fronts of other shapes beside it.
TEST(SparseLdl, ManyColumnsUnderDenseRows) {
  for (auto [n, k] : {std::pair{300, 1}, std::pair{500, 12}, std::pair{200, 60}}) {
    SCOPED_TRACE(std::to_string(n) + " columns, " + std::to_string(k) + " dense rows");
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const int sparse_rows = 20;
    Symmetric m;
    m.n = n + k + sparse_rows;
    for (int j = 0; j < n; ++j) m.add(j, j, 1.5 + unit(rng));
    for (int j = 0; j + 1 < 40; ++j) m.add(j, j + 1, 0.3);
    for (int i = 0; i < k; ++i) {
      for (int j = 0; j < n; ++j) m.add(n + i, j, unit(rng));
      m.add(n + i, n + i, -1e-6);
    }
    for (int i = 0; i < sparse_rows; ++i) {
      const int r = n + k + i;
      for (int t = 0; t < 3; ++t) m.add(r, (i * 37 + t * 101) % n, unit(rng));
      m.add(r, r, -1e-6);
    }
    EXPECT_LT(solve_residual(m, n), 1e-9);
  }
}

}  // namespace
