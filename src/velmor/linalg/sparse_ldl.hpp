// Sparse LDL' factorisation without pivoting, for symmetric matrices whose
// pivots have a sign known in advance: positive definite matrices (the
// convexity test) and the quasi-definite KKT matrices of the interior point
// method (qp_ipm.cpp), which factorise stably in any symmetric order.
//
// Method: an approximate minimum degree order (Eigen's AMD; a large
// pattern's dense nodes last, the connected components of the rest ordered
// a group at a time), the elimination tree and its postorder, column counts, supernodes (fundamental
// ones merged into their parent while the merge adds few zeros) and a
// multifrontal numeric factorisation whose dense fronts are factorised in
// panels with Eigen's matrix products. A pivot whose sign is not the expected
// one, or whose magnitude is below a threshold, is replaced by a fixed value
// of the expected sign and counted (dynamic regularisation); the caller
// decides what a replaced pivot means.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "linalg/work_poll.hpp"

namespace velmor {

class SparseLdl {
 public:
  // Asked during analyses and factorisations after every few milliseconds
  // of work (WorkPoll); true stops them. The ordering asks it between
  // groups of connected components, not within one.
  using StopFn = WorkPoll::StopFn;
  enum class Result { Ok, Stopped, TooLarge };

  // The pattern: the upper triangle (row <= column) of an n x n symmetric
  // matrix in compressed columns, every diagonal entry present; repeated
  // entries are summed. Factor entries are counted in 64 bits; a pattern or
  // factor beyond what 32-bit indices or memory allow is TooLarge.
  Result analyze(int n, const std::vector<std::int64_t>& col_start, const std::vector<int>& row_index,
                 const StopFn& stop);

  // Factorises the matrix with the analysed pattern and `values` (parallel
  // to row_index). sign[i] (+1 or -1) is the expected sign of pivot i in
  // the original numbering; a pivot p with sign[i] * p <= tiny becomes
  // sign[i] * replacement.
  Result factorize(const double* values, const signed char* sign, double tiny, double replacement,
                   const StopFn& stop);

  // Solves L D L' x = b in place (original numbering) with the last factors.
  // With a poll, its ticks may throw WorkStopped (b is then left half
  // solved).
  void solve(double* b, WorkPoll* poll = nullptr) const;

  int size() const { return n_; }
  int replaced_pivots() const { return replaced_; }
  std::int64_t factor_entries() const { return factor_entries_; }
  double factor_flops() const { return flops_; }

 private:
  // Supernode s: columns [first, first + nc), and h rows (its own columns
  // first) at sn_rows_[row0 ...].
  struct Supernode {
    int first, nc, row0, h;
  };
  Supernode supernode(int s) const;

  // analyze() and factorize() under `poll`, whose ticks throw WorkStopped.
  Result analyze_polled(int n, const std::vector<std::int64_t>& col_start, const std::vector<int>& row_index,
                        WorkPoll& poll);
  void factorize_polled(const double* values, const signed char* sign, double tiny, double replacement,
                        WorkPoll& poll);
  // The phases of analyze() after the fill-reducing order, in order.
  // perm_ and iperm_: `order` composed with the postorder of the elimination
  // tree, so that every subtree's columns are contiguous.
  void set_permutation(const std::vector<int>& order, const std::vector<std::int64_t>& col_start,
                       const std::vector<int>& row_index, WorkPoll& poll);
  // sn_rows_, sn_row_start_, sn_l_start_, max_front_, factor_entries_ and
  // flops_ from the lower triangle and the supernodes; TooLarge when the
  // rows outgrow 32-bit indices.
  Result set_row_structure(WorkPoll& poll);
  // accumulate_ and max_stack_; returns the peak of the update matrices and
  // accumulators held at once during the factorisation.
  std::int64_t plan_update_storage(WorkPoll& poll);

  // Adds the update matrix of the front f (h rows, nc columns eliminated,
  // rows `rows`) into the accumulator of its parent supernode `up`.
  void add_update(const int* rows, const double* f, int h, int nc, int up, std::vector<double>& into,
                  std::vector<int>& local) const;

  int n_ = 0;
  std::vector<int> perm_, iperm_;  // new -> old, old -> new
  // The permuted matrix's lower triangle by columns, and where each input
  // entry lands in it.
  std::vector<std::int64_t> lower_start_;
  std::vector<int> lower_row_;
  std::vector<std::int64_t> entry_pos_;
  std::vector<double> lower_value_;
  // Supernodes: columns [sn_start_[s], sn_start_[s+1]), their rows (the
  // supernode's own columns first, then the rows below, increasing) at
  // sn_rows_[sn_row_start_[s] ...], their dense block of L (rows x columns,
  // column-major) at l_[sn_l_start_[s] ...].
  std::vector<int> sn_start_, sn_parent_, sn_row_start_, sn_rows_;
  std::vector<std::int64_t> sn_l_start_;
  // Per supernode: 1 when its children's update matrices are added into an
  // accumulator of its front as they are made, rather than stacked.
  std::vector<char> accumulate_;
  std::int64_t max_front_ = 0, max_stack_ = 0;
  std::vector<double> l_, d_;
  int replaced_ = 0;
  std::int64_t factor_entries_ = 0;
  double flops_ = 0;
};

}  // namespace velmor
