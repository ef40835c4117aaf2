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

// m's upper triangle in compressed columns, as analyze() takes it, and the
// expected signs: + for the first `positive` pivots, - for the others.
struct Pattern {
  std::vector<std::int64_t> start;
  std::vector<int> row;
  std::vector<double> value;
  std::vector<signed char> sign;
};

Pattern pattern_of(const Symmetric& m, int positive) {
  Pattern p;
  p.start.assign(static_cast<size_t>(m.n) + 1, 0);
  for (const auto& [rc, v] : m.upper) ++p.start[static_cast<size_t>(rc.second) + 1];
  for (int j = 0; j < m.n; ++j) p.start[static_cast<size_t>(j) + 1] += p.start[static_cast<size_t>(j)];
  std::vector<std::int64_t> next(p.start.begin(), p.start.end() - 1);
  p.row.resize(m.upper.size());
  p.value.resize(m.upper.size());
  for (const auto& [rc, v] : m.upper) {
    const std::int64_t q = next[static_cast<size_t>(rc.second)]++;
    p.row[static_cast<size_t>(q)] = rc.first, p.value[static_cast<size_t>(q)] = v;
  }
  p.sign.resize(static_cast<size_t>(m.n));
  for (int i = 0; i < m.n; ++i) p.sign[static_cast<size_t>(i)] = i < positive ? 1 : -1;
  return p;
}

// Solves m x = b for a random b with the factors of m in `ldl` and returns
// the largest residual relative to b's size.
double residual(const SparseLdl& ldl, const Symmetric& m) {
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

// Factorises m and returns residual() of its factors.
double solve_residual(const Symmetric& m, int positive) {
  const Pattern p = pattern_of(m, positive);
  SparseLdl ldl;
  EXPECT_EQ(ldl.analyze(m.n, p.start, p.row, nullptr), SparseLdl::Result::Ok);
  EXPECT_EQ(ldl.factorize(p.value.data(), p.sign.data(), 1e-300, 1e-8, nullptr), SparseLdl::Result::Ok);
  EXPECT_EQ(ldl.replaced_pivots(), 0);
  return residual(ldl, m);
}

// The KKT matrix [D B'; B -E] of the mean of 1 .. n as an LP: columns Mean
// and E[1 .. n], a row over every E and the rows Mean + E[z]. One row and
// one column hold n entries (dense nodes of the KKT graph); without them
// the graph falls apart into n pairs.
Symmetric mean_kkt(int n) {
  Symmetric m;
  const int cols = n + 1;
  m.n = 2 * cols;
  for (int j = 0; j < cols; ++j) m.add(j, j, 1.0 + 0.5 * (j % 3));
  for (int i = 0; i < cols; ++i) m.add(cols + i, cols + i, -1e-6);
  for (int z = 1; z <= n; ++z) {
    m.add(cols, z, 1.0);
    m.add(cols + z, 0, 1.0);
    m.add(cols + z, z, 1.0);
  }
  return m;
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

// Beyond 2^16 columns the pattern is ordered by its connected components
// without the dense nodes, a group at a time, the dense nodes last: the
// factor of the mean's KKT matrix keeps a few entries per column, and
// solves.
TEST(SparseLdl, LongLinesOrderedByComponents) {
  const Symmetric m = mean_kkt(1 << 16);
  const Pattern p = pattern_of(m, (1 << 16) + 1);
  SparseLdl ldl;
  ASSERT_EQ(ldl.analyze(m.n, p.start, p.row, nullptr), SparseLdl::Result::Ok);
  EXPECT_LT(ldl.factor_entries(), 4LL * m.n);
  ASSERT_EQ(ldl.factorize(p.value.data(), p.sign.data(), 1e-300, 1e-8, nullptr), SparseLdl::Result::Ok);
  EXPECT_EQ(ldl.replaced_pivots(), 0);
  EXPECT_LT(residual(ldl, m), 1e-9);
}

// The stop function is asked all through the analysis and the
// factorisation (not only between their phases: the ordering and the
// numeric work of a large pattern took seconds between two questions), a
// true answer at any question ends them with Stopped, and the same object
// analyses and factorises again afterwards.
TEST(SparseLdl, StopIsHeardAllThroughAndLeavesItReusable) {
  const Symmetric m = mean_kkt(1 << 16);
  const Pattern p = pattern_of(m, (1 << 16) + 1);
  SparseLdl ldl;
  int asked = 0;
  const SparseLdl::StopFn count = [&asked] { return ++asked, false; };
  ASSERT_EQ(ldl.analyze(m.n, p.start, p.row, count), SparseLdl::Result::Ok);
  const int analysis = asked;
  asked = 0;
  ASSERT_EQ(ldl.factorize(p.value.data(), p.sign.data(), 1e-300, 1e-8, count), SparseLdl::Result::Ok);
  const int factorisation = asked;
  EXPECT_GE(analysis, 8);
  EXPECT_GE(factorisation, 8);
  for (int at : {1, analysis / 2, analysis}) {
    SCOPED_TRACE("analysis stopped at question " + std::to_string(at));
    int left = at;
    EXPECT_EQ(ldl.analyze(m.n, p.start, p.row, [&left] { return --left == 0; }), SparseLdl::Result::Stopped);
    ASSERT_EQ(ldl.analyze(m.n, p.start, p.row, nullptr), SparseLdl::Result::Ok);
    ASSERT_EQ(ldl.factorize(p.value.data(), p.sign.data(), 1e-300, 1e-8, nullptr), SparseLdl::Result::Ok);
    EXPECT_LT(residual(ldl, m), 1e-9);
  }
  for (int at : {1, factorisation / 2, factorisation}) {
    SCOPED_TRACE("factorisation stopped at question " + std::to_string(at));
    int left = at;
    EXPECT_EQ(ldl.factorize(p.value.data(), p.sign.data(), 1e-300, 1e-8, [&left] { return --left == 0; }),
              SparseLdl::Result::Stopped);
    ASSERT_EQ(ldl.factorize(p.value.data(), p.sign.data(), 1e-300, 1e-8, nullptr), SparseLdl::Result::Ok);
    EXPECT_LT(residual(ldl, m), 1e-9);
  }
}

}  // namespace
