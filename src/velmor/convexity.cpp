// Convexity of a quadratic objective: the smallest eigenvalue of its Hessian,
// found component by component of the graph whose edges are the Hessian's
// off-diagonal entries, so a separable or block-structured objective never
// needs a dense matrix of the whole model.
#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "solve.hpp"

namespace velmor {

namespace {

int find_root(std::vector<int>& parent, int i) {
  while (parent[static_cast<size_t>(i)] != i) {
    parent[static_cast<size_t>(i)] = parent[static_cast<size_t>(parent[static_cast<size_t>(i)])];
    i = parent[static_cast<size_t>(i)];
  }
  return i;
}

// Above this order a component is tested by a pivoted LDL' factorisation,
// whose smallest diagonal has the sign of the smallest eigenvalue, instead
// of the (several times slower) eigenvalue solver.
constexpr int kEigenLimit = 2000;

}  // namespace

double smallest_hessian_eigenvalue(const SolverModel& sm) {
  if (!sm.has_quad()) return 0.0;
  const int n = static_cast<int>(sm.h_start.size()) - 1;
  std::vector<int> parent(static_cast<size_t>(n));
  std::iota(parent.begin(), parent.end(), 0);
  std::vector<char> touched(static_cast<size_t>(n), 0);
  for (int j = 0; j < n; ++j)
    for (int k = sm.h_start[static_cast<size_t>(j)]; k < sm.h_start[static_cast<size_t>(j) + 1]; ++k) {
      const int i = sm.h_index[static_cast<size_t>(k)];
      touched[static_cast<size_t>(i)] = touched[static_cast<size_t>(j)] = 1;
      const int a = find_root(parent, i), b = find_root(parent, j);
      if (a != b) parent[static_cast<size_t>(a)] = b;
    }
  // Members of each component, and each column's position in its component.
  std::vector<std::vector<int>> members(static_cast<size_t>(n));
  std::vector<int> position(static_cast<size_t>(n), -1);
  for (int j = 0; j < n; ++j) {
    if (!touched[static_cast<size_t>(j)]) continue;
    auto& list = members[static_cast<size_t>(find_root(parent, j))];
    position[static_cast<size_t>(j)] = static_cast<int>(list.size());
    list.push_back(j);
  }
  double smallest = 0.0;  // columns outside the Hessian contribute eigenvalue 0
  for (const auto& list : members) {
    if (list.empty()) continue;
    const int k = static_cast<int>(list.size());
    Eigen::MatrixXd a = Eigen::MatrixXd::Zero(k, k);
    for (int j : list)
      for (int e = sm.h_start[static_cast<size_t>(j)]; e < sm.h_start[static_cast<size_t>(j) + 1]; ++e) {
        const int i = sm.h_index[static_cast<size_t>(e)];
        const int r = position[static_cast<size_t>(i)], c = position[static_cast<size_t>(j)];
        a(r, c) = a(c, r) = sm.h_value[static_cast<size_t>(e)];
      }
    double low;
    if (k == 1) {
      low = a(0, 0);
    } else if (k <= kEigenLimit) {
      Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eig(a, Eigen::EigenvaluesOnly);
      low = eig.eigenvalues().minCoeff();
    } else {
      Eigen::LDLT<Eigen::MatrixXd> ldlt(a);
      low = ldlt.vectorD().minCoeff();
    }
    smallest = std::min(smallest, low);
  }
  return smallest;
}

}  // namespace velmor
