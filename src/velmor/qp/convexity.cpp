// Convexity of a quadratic objective: its Hessian H must be positive
// semidefinite up to the rounding its stored entries carry. H plus a
// diagonal of kRelativeShift times each row's absolute sum is factorised by
// the sparse LDL' of sparse_ldl.hpp; all pivots positive means convex. The
// shift is what a relative change of kRelativeShift in every entry can take
// from x'Hx, so a matrix that is semidefinite once its entries are rounded
// differently passes, while a negative eigenvalue that is large against
// its rows' entries does not. The cost is that of a sparse factorisation,
// never a dense eigen-decomposition of a large matrix.
#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "solve/solve.hpp"
#include "linalg/sparse_ldl.hpp"

namespace velmor {

namespace {

constexpr double kRelativeShift = 1e-5;
// Up to this many columns in the Hessian, a refusal names the smallest
// eigenvalue (a dense eigen-decomposition).
constexpr int kEigenvalueLimit = 500;

}  // namespace

Convexity hessian_convexity(const SolverModel& sm, RunControl& run, double* smallest_eigenvalue) {
  *smallest_eigenvalue = std::numeric_limits<double>::quiet_NaN();
  if (!sm.has_quad()) return Convexity::Convex;
  if (run.should_stop()) return Convexity::Stopped;  // copying a large Hessian takes a while
  const int n = static_cast<int>(sm.h_start.size()) - 1;
  // The columns the Hessian touches, numbered from 0.
  std::vector<int> at(static_cast<size_t>(n), -1), cols;
  std::vector<double> row_sum(static_cast<size_t>(n), 0.0);
  for (int j = 0; j < n; ++j)
    for (int k = sm.h_start[static_cast<size_t>(j)]; k < sm.h_start[static_cast<size_t>(j) + 1]; ++k) {
      const int i = sm.h_index[static_cast<size_t>(k)];
      const double h = std::fabs(sm.h_value[static_cast<size_t>(k)]);
      if (h == 0) continue;
      row_sum[static_cast<size_t>(i)] += h;
      if (i != j) row_sum[static_cast<size_t>(j)] += h;
    }
  for (int j = 0; j < n; ++j)
    if (row_sum[static_cast<size_t>(j)] > 0) {
      at[static_cast<size_t>(j)] = static_cast<int>(cols.size());
      cols.push_back(j);
    }
  const int k = static_cast<int>(cols.size());
  if (k == 0) return Convexity::Convex;
  // The shifted matrix's upper triangle by columns, in the touched numbering.
  std::vector<std::vector<std::pair<int, double>>> entries(static_cast<size_t>(k));
  for (int j = 0; j < n; ++j)
    for (int e = sm.h_start[static_cast<size_t>(j)]; e < sm.h_start[static_cast<size_t>(j) + 1]; ++e) {
      const int i = sm.h_index[static_cast<size_t>(e)];
      const double h = sm.h_value[static_cast<size_t>(e)];
      if (h == 0) continue;
      const int a = at[static_cast<size_t>(i)], b = at[static_cast<size_t>(j)];
      entries[static_cast<size_t>(std::max(a, b))].push_back({std::min(a, b), h});
    }
  std::vector<std::int64_t> start(1, 0);
  std::vector<int> index;
  std::vector<double> value;
  for (int c = 0; c < k; ++c) {
    for (const auto& e : entries[static_cast<size_t>(c)]) {
      index.push_back(e.first);
      value.push_back(e.second);
    }
    index.push_back(c);
    value.push_back(kRelativeShift * row_sum[static_cast<size_t>(cols[static_cast<size_t>(c)])]);
    start.push_back(static_cast<std::int64_t>(index.size()));
  }
  entries.clear();
  SparseLdl ldl;
  const auto stop = [&run] { return run.should_stop(); };
  SparseLdl::Result result = ldl.analyze(k, start, index, stop);
  if (result == SparseLdl::Result::Ok) {
    const std::vector<signed char> positive(static_cast<size_t>(k), 1);
    result = ldl.factorize(value.data(), positive.data(), 0.0, 1.0, stop);
  }
  if (result == SparseLdl::Result::Stopped) return Convexity::Stopped;
  if (result != SparseLdl::Result::Ok) return Convexity::Unknown;
  if (ldl.replaced_pivots() == 0) return Convexity::Convex;
  if (k <= kEigenvalueLimit) {
    Eigen::MatrixXd a = Eigen::MatrixXd::Zero(k, k);
    for (int j = 0; j < n; ++j)
      for (int e = sm.h_start[static_cast<size_t>(j)]; e < sm.h_start[static_cast<size_t>(j) + 1]; ++e) {
        const int r = at[static_cast<size_t>(sm.h_index[static_cast<size_t>(e)])], c = at[static_cast<size_t>(j)];
        if (r < 0 || c < 0) continue;
        a(r, c) += sm.h_value[static_cast<size_t>(e)];
        if (r != c) a(c, r) += sm.h_value[static_cast<size_t>(e)];
      }
    Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eig(a, Eigen::EigenvaluesOnly);
    *smallest_eigenvalue = eig.eigenvalues().minCoeff();
  }
  return Convexity::NotConvex;
}

}  // namespace velmor
