// SparseLdl: symbolic analysis (order, elimination tree, supernodes), multifrontal LDL' factorisation, solves.
#include "linalg/sparse_ldl.hpp"

#include <Eigen/Dense>
#include <Eigen/OrderingMethods>
#include <Eigen/SparseCore>
#include <algorithm>
#include <climits>
#include <cmath>
#include <stdexcept>

#include "linalg/work_poll.hpp"

namespace velmor {

namespace {

using Index64 = std::int64_t;
using DenseMap = Eigen::Map<Eigen::MatrixXd, 0, Eigen::OuterStride<>>;
using ConstDenseMap = Eigen::Map<const Eigen::MatrixXd, 0, Eigen::OuterStride<>>;

// Fronts are factorised in panels of this many columns; the rest of the
// front is updated by one matrix product per panel, in blocks of
// kUpdateColumns columns where it is wider.
constexpr int kPanel = 64, kUpdateColumns = 512;
// The stop function is asked after about kPollWork units of work: an index
// or entry visited counts one, kFlopsPerUnit floating point operations of
// the dense kernels count one (about a millisecond of work between two
// looks at the clock).
constexpr std::int64_t kPollWork = std::int64_t(1) << 18;
constexpr double kFlopsPerUnit = 16;
// Patterns of more than kOrderGroup columns are ordered by groups of the
// connected components of their graph without its dense nodes, each group
// kOrderGroup nodes or more (the last may be smaller): the stop function is
// asked between groups. Components share no fill, so a group's order is as
// good for each of its components as one of the whole graph.
constexpr int kOrderGroup = 1 << 16;

std::int64_t flop_work(double flops) { return static_cast<std::int64_t>(flops / kFlopsPerUnit); }

// Elimination tree of a matrix given by the upper triangle of its columns.
std::vector<int> elimination_tree(int n, const std::vector<Index64>& start, const std::vector<int>& row,
                                  WorkPoll& poll) {
  std::vector<int> parent(static_cast<size_t>(n), -1), ancestor(static_cast<size_t>(n), -1);
  for (int k = 0; k < n; ++k) {
    Index64 steps = 1 + start[static_cast<size_t>(k) + 1] - start[static_cast<size_t>(k)];
    for (Index64 p = start[static_cast<size_t>(k)]; p < start[static_cast<size_t>(k) + 1]; ++p) {
      int i = row[static_cast<size_t>(p)];
      while (i != -1 && i < k) {
        const int next = ancestor[static_cast<size_t>(i)];
        ancestor[static_cast<size_t>(i)] = k;
        if (next == -1) parent[static_cast<size_t>(i)] = k;
        i = next;
        ++steps;
      }
    }
    poll.tick(steps);
  }
  return parent;
}

// The children of each node of a forest (parent -1 at the roots) as linked
// lists in increasing order: head[p] is p's first child, next[c] the child
// after c, -1 where there is none.
void child_lists(const std::vector<int>& parent, std::vector<int>& head, std::vector<int>& next) {
  const int n = static_cast<int>(parent.size());
  head.assign(static_cast<size_t>(n), -1);
  next.assign(static_cast<size_t>(n), -1);
  for (int j = n - 1; j >= 0; --j) {
    const int p = parent[static_cast<size_t>(j)];
    if (p == -1) continue;
    next[static_cast<size_t>(j)] = head[static_cast<size_t>(p)];
    head[static_cast<size_t>(p)] = j;
  }
}

// post[k]: the node at position k of a depth-first postorder of the forest.
std::vector<int> postorder(int n, const std::vector<int>& parent, WorkPoll& poll) {
  std::vector<int> head, next, post, stack;
  child_lists(parent, head, next);
  post.reserve(static_cast<size_t>(n));
  for (int root = 0; root < n; ++root) {
    if (parent[static_cast<size_t>(root)] != -1) continue;
    poll.tick(1);
    stack.push_back(root);
    while (!stack.empty()) {
      const int p = stack.back();
      const int child = head[static_cast<size_t>(p)];
      if (child == -1) {
        stack.pop_back();
        post.push_back(p);
        poll.tick(1);
      } else {
        head[static_cast<size_t>(p)] = next[static_cast<size_t>(child)];
        stack.push_back(child);
      }
    }
  }
  return post;
}

// The inverse of a permutation: inverse[perm[k]] = k.
std::vector<int> inverse(const std::vector<int>& perm) {
  std::vector<int> inv(perm.size());
  for (size_t k = 0; k < perm.size(); ++k) inv[static_cast<size_t>(perm[k])] = static_cast<int>(k);
  return inv;
}

// The permuted matrix P A P' (perm: new -> old) as an upper (or lower)
// triangle by columns, with the position of each input entry.
void permute(int n, const std::vector<Index64>& start, const std::vector<int>& row, const std::vector<int>& iperm,
             bool upper, std::vector<Index64>& out_start, std::vector<int>& out_row, std::vector<Index64>* pos,
             WorkPoll& poll) {
  out_start.assign(static_cast<size_t>(n) + 1, 0);
  auto target = [&](int r, int c, int& col, int& rw) {
    const int a = iperm[static_cast<size_t>(r)], b = iperm[static_cast<size_t>(c)];
    col = upper ? std::max(a, b) : std::min(a, b);
    rw = upper ? std::min(a, b) : std::max(a, b);
  };
  for (int c = 0; c < n; ++c) {
    for (Index64 p = start[static_cast<size_t>(c)]; p < start[static_cast<size_t>(c) + 1]; ++p) {
      int col, rw;
      target(row[static_cast<size_t>(p)], c, col, rw);
      ++out_start[static_cast<size_t>(col) + 1];
    }
    poll.tick(1 + start[static_cast<size_t>(c) + 1] - start[static_cast<size_t>(c)]);
  }
  for (int c = 0; c < n; ++c) out_start[static_cast<size_t>(c) + 1] += out_start[static_cast<size_t>(c)];
  std::vector<Index64> next(out_start.begin(), out_start.end() - 1);
  out_row.assign(static_cast<size_t>(out_start.back()), 0);
  if (pos) pos->assign(row.size(), 0);
  for (int c = 0; c < n; ++c) {
    for (Index64 p = start[static_cast<size_t>(c)]; p < start[static_cast<size_t>(c) + 1]; ++p) {
      int col, rw;
      target(row[static_cast<size_t>(p)], c, col, rw);
      const Index64 q = next[static_cast<size_t>(col)]++;
      out_row[static_cast<size_t>(q)] = rw;
      if (pos) (*pos)[static_cast<size_t>(p)] = q;
    }
    poll.tick(1 + start[static_cast<size_t>(c) + 1] - start[static_cast<size_t>(c)]);
  }
}

// Approximate minimum degree order (Eigen's) of the symmetric matrix whose
// full pattern, diagonal included, is c: new -> old, in c's numbering.
// Every index of the ordering's workspace (c's entries and a fifth more, and
// two per column) must fit in an int; false when they do not.
bool minimum_degree(Eigen::SparseMatrix<double, Eigen::ColMajor, int>& c, std::vector<int>& order) {
  const Index64 entries = c.nonZeros(), n = c.cols();
  if (entries + entries / 5 + 2 * n > INT_MAX) return false;
  Eigen::PermutationMatrix<Eigen::Dynamic, Eigen::Dynamic, int> amd;
  Eigen::internal::minimum_degree_ordering(c, amd);
  order.resize(static_cast<size_t>(n));
  for (Index64 k = 0; k < n; ++k) order[static_cast<size_t>(k)] = amd.indices()[k];
  return true;
}

// The graph of a symmetric pattern given by its upper triangle (entries
// repeated, the diagonal and both triangles' entries taken once): node j's
// neighbours are adj[start[j] .. start[j + 1]).
struct Graph {
  std::vector<Index64> start;
  std::vector<int> adj;
  Index64 degree(int j) const { return start[static_cast<size_t>(j) + 1] - start[static_cast<size_t>(j)]; }
};

Graph symmetric_graph(int n, const std::vector<Index64>& start, const std::vector<int>& row, WorkPoll& poll) {
  Graph g;
  g.start.assign(static_cast<size_t>(n) + 1, 0);
  for (int c = 0; c < n; ++c) {
    for (Index64 p = start[static_cast<size_t>(c)]; p < start[static_cast<size_t>(c) + 1]; ++p) {
      const int r = row[static_cast<size_t>(p)];
      if (r != c) ++g.start[static_cast<size_t>(c) + 1], ++g.start[static_cast<size_t>(r) + 1];
    }
    poll.tick(1 + start[static_cast<size_t>(c) + 1] - start[static_cast<size_t>(c)]);
  }
  for (int c = 0; c < n; ++c) g.start[static_cast<size_t>(c) + 1] += g.start[static_cast<size_t>(c)];
  std::vector<Index64> next(g.start.begin(), g.start.end() - 1);
  g.adj.resize(static_cast<size_t>(g.start.back()));
  for (int c = 0; c < n; ++c) {
    for (Index64 p = start[static_cast<size_t>(c)]; p < start[static_cast<size_t>(c) + 1]; ++p) {
      const int r = row[static_cast<size_t>(p)];
      if (r == c) continue;
      g.adj[static_cast<size_t>(next[static_cast<size_t>(c)]++)] = r;
      g.adj[static_cast<size_t>(next[static_cast<size_t>(r)]++)] = c;
    }
    poll.tick(1 + start[static_cast<size_t>(c) + 1] - start[static_cast<size_t>(c)]);
  }
  // Repeated entries out, in place.
  std::vector<int> mark(static_cast<size_t>(n), -1);
  Index64 kept = 0, from = 0;
  for (int j = 0; j < n; ++j) {
    const Index64 to = g.start[static_cast<size_t>(j) + 1];
    g.start[static_cast<size_t>(j)] = kept;
    for (Index64 p = from; p < to; ++p) {
      const int r = g.adj[static_cast<size_t>(p)];
      if (mark[static_cast<size_t>(r)] == j) continue;
      mark[static_cast<size_t>(r)] = j;
      g.adj[static_cast<size_t>(kept++)] = r;
    }
    poll.tick(1 + to - from);
    from = to;
  }
  g.start.back() = kept;
  g.adj.resize(static_cast<size_t>(kept));
  return g;
}

// Appends to `order` the minimum degree order of the nodes `group` (whole
// connected components of g without its dense nodes, in increasing order),
// in g's numbering; `local` (n entries) is scratch. The group's matrix
// keeps the order of g's numbering, in its columns and in each column's
// rows, so that one component without dense nodes is ordered as the whole
// pattern would be. False when the group is too large for the ordering's
// indices.
bool order_group(const Graph& g, const std::vector<char>& dense, const std::vector<int>& group,
                 std::vector<int>& local, std::vector<int>& order, WorkPoll& poll) {
  const int m = static_cast<int>(group.size());
  if (m <= 2) {  // nothing to choose
    order.insert(order.end(), group.begin(), group.end());
    return true;
  }
  for (int t = 0; t < m; ++t) local[static_cast<size_t>(group[static_cast<size_t>(t)])] = t;
  Index64 entries = m;
  for (int v : group)
    for (Index64 p = g.start[static_cast<size_t>(v)]; p < g.start[static_cast<size_t>(v) + 1]; ++p)
      entries += !dense[static_cast<size_t>(g.adj[static_cast<size_t>(p)])];
  if (entries > INT_MAX) return false;
  Eigen::SparseMatrix<double, Eigen::ColMajor, int> c(m, m);
  c.resizeNonZeros(static_cast<Eigen::Index>(entries));
  int* outer = c.outerIndexPtr();
  int* inner = c.innerIndexPtr();
  int at = 0;
  for (int t = 0; t < m; ++t) {
    const int v = group[static_cast<size_t>(t)];
    outer[t] = at;
    inner[at++] = t;
    for (Index64 p = g.start[static_cast<size_t>(v)]; p < g.start[static_cast<size_t>(v) + 1]; ++p) {
      const int r = g.adj[static_cast<size_t>(p)];
      if (!dense[static_cast<size_t>(r)]) inner[at++] = local[static_cast<size_t>(r)];
    }
    std::sort(inner + outer[t], inner + at);
    poll.tick(1 + at - outer[t]);
  }
  outer[m] = at;
  std::fill(c.valuePtr(), c.valuePtr() + at, 1.0);
  std::vector<int> within;
  if (!minimum_degree(c, within)) return false;
  for (int k : within) order.push_back(group[static_cast<size_t>(k)]);
  poll.check();
  return true;
}

// Fill-reducing order (new -> old) of the symmetric pattern given by its
// upper triangle; false when it is too large for the ordering's indices.
// A pattern holding half of the upper triangle or more keeps its own order:
// any order leaves its factor about dense, and the search would cost more
// than the analysis. Up to kOrderGroup columns the whole pattern is ordered
// by minimum degree at once. Beyond, its nodes of more than 10 sqrt(n)
// neighbours (the dense ones, which a minimum degree order puts last
// anyway) are set aside for the end, and the connected components of the
// rest, gathered into groups of consecutive components, are ordered a group
// at a time; the ordering is not polled within a group, so a component alone
// is ordered in one stretch.
bool fill_reducing_order(int n, const std::vector<Index64>& start, const std::vector<int>& row,
                         std::vector<int>& order, WorkPoll& poll) {
  const Index64 nnz = start.back();
  order.clear();
  if (2 * nnz >= static_cast<Index64>(n) * (n + 1) / 2) {
    order.resize(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) order[static_cast<size_t>(k)] = k;
    return true;
  }
  if (n <= kOrderGroup) {
    Eigen::SparseMatrix<double, Eigen::ColMajor, int> pattern(n, n);
    pattern.resizeNonZeros(static_cast<Eigen::Index>(nnz));
    for (int j = 0; j <= n; ++j) pattern.outerIndexPtr()[j] = static_cast<int>(start[static_cast<size_t>(j)]);
    for (Index64 p = 0; p < nnz; ++p) {
      pattern.innerIndexPtr()[p] = row[static_cast<size_t>(p)];
      pattern.valuePtr()[p] = 1.0;
    }
    Eigen::SparseMatrix<double, Eigen::ColMajor, int> full;
    Eigen::internal::ordering_helper_at_plus_a(pattern, full);
    return minimum_degree(full, order);
  }
  const Graph g = symmetric_graph(n, start, row, poll);
  const Index64 most = std::max<Index64>(16, static_cast<Index64>(10 * std::sqrt(static_cast<double>(n))));
  std::vector<char> dense(static_cast<size_t>(n));
  for (int j = 0; j < n; ++j) dense[static_cast<size_t>(j)] = g.degree(j) > most;
  // The group of each node: components breadth first from their smallest
  // node, a group closed once it holds kOrderGroup nodes; -1 for the dense.
  std::vector<int> group_of(static_cast<size_t>(n), -1), queue;
  std::vector<Index64> group_start(1, 0);
  Index64 in_group = 0;
  for (int root = 0; root < n; ++root) {
    if (dense[static_cast<size_t>(root)] || group_of[static_cast<size_t>(root)] >= 0) continue;
    const int id = static_cast<int>(group_start.size()) - 1;
    group_of[static_cast<size_t>(root)] = id;
    queue.assign(1, root);
    for (size_t q = 0; q < queue.size(); ++q) {
      const int v = queue[q];
      for (Index64 p = g.start[static_cast<size_t>(v)]; p < g.start[static_cast<size_t>(v) + 1]; ++p) {
        const int r = g.adj[static_cast<size_t>(p)];
        if (!dense[static_cast<size_t>(r)] && group_of[static_cast<size_t>(r)] < 0)
          group_of[static_cast<size_t>(r)] = id, queue.push_back(r);
      }
      poll.tick(1 + g.degree(v));
    }
    in_group += static_cast<Index64>(queue.size());
    if (in_group >= kOrderGroup) group_start.push_back(group_start.back() + in_group), in_group = 0;
  }
  if (in_group > 0) group_start.push_back(group_start.back() + in_group);
  // Each group's nodes in increasing order (a counting sort by group).
  std::vector<int> members(static_cast<size_t>(group_start.back()));
  {
    std::vector<Index64> next(group_start.begin(), group_start.end() - 1);
    for (int j = 0; j < n; ++j) {
      const int id = group_of[static_cast<size_t>(j)];
      if (id >= 0) members[static_cast<size_t>(next[static_cast<size_t>(id)]++)] = j;
    }
  }
  std::vector<int> group, local(static_cast<size_t>(n), -1);
  order.reserve(static_cast<size_t>(n));
  for (size_t k = 0; k + 1 < group_start.size(); ++k) {
    group.assign(members.begin() + group_start[k], members.begin() + group_start[k + 1]);
    if (!order_group(g, dense, group, local, order, poll)) return false;
  }
  for (int j = 0; j < n; ++j)
    if (dense[static_cast<size_t>(j)]) order.push_back(j);
  return true;
}

// Column counts of L (below the diagonal) from the row subtrees of the
// elimination tree, for the matrix given by the upper triangle of its columns.
std::vector<Index64> column_counts(int n, const std::vector<Index64>& start, const std::vector<int>& row,
                                   const std::vector<int>& parent, WorkPoll& poll) {
  std::vector<Index64> count(static_cast<size_t>(n), 0);
  std::vector<int> mark(static_cast<size_t>(n), -1);
  for (int k = 0; k < n; ++k) {
    mark[static_cast<size_t>(k)] = k;
    Index64 steps = 1;
    for (Index64 p = start[static_cast<size_t>(k)]; p < start[static_cast<size_t>(k) + 1]; ++p)
      for (int j = row[static_cast<size_t>(p)]; mark[static_cast<size_t>(j)] != k; j = parent[static_cast<size_t>(j)]) {
        mark[static_cast<size_t>(j)] = k;
        ++count[static_cast<size_t>(j)];
        ++steps;
      }
    poll.tick(steps + start[static_cast<size_t>(k) + 1] - start[static_cast<size_t>(k)]);
  }
  return count;
}

// Columns [start, end) of L under one dense block.
struct Super {
  int start, end;
  Index64 entries;  // entries of L's columns that the structure counts (diagonal included)
  Index64 stored;   // entries of the dense block once merged
};

// Fundamental supernodes: a column joins its only child's supernode when
// its structure is the child's less the child itself.
std::vector<Super> fundamental_supernodes(const std::vector<int>& parent, const std::vector<Index64>& count,
                                          WorkPoll& poll) {
  const int n = static_cast<int>(parent.size());
  std::vector<int> children(static_cast<size_t>(n), 0);
  for (int j = 0; j < n; ++j)
    if (parent[static_cast<size_t>(j)] >= 0) ++children[static_cast<size_t>(parent[static_cast<size_t>(j)])];
  std::vector<Super> sn;
  for (int j = 0; j < n; ++j) {
    const bool joins = j > 0 && parent[static_cast<size_t>(j) - 1] == j && children[static_cast<size_t>(j)] == 1 &&
                       count[static_cast<size_t>(j) - 1] == count[static_cast<size_t>(j)] + 1;
    if (joins) {
      sn.back().end = j + 1;
      sn.back().entries += count[static_cast<size_t>(j)] + 1;
    } else {
      sn.push_back({j, j + 1, count[static_cast<size_t>(j)] + 1, 0});
    }
    poll.tick(1);
  }
  return sn;
}

// Relaxed supernodes: a child that ends where its parent starts merges
// into it while the zeros the merge stores stay few (the thresholds
// follow common practice: always up to 4 columns, up to 80 % zeros up to
// 16 columns, 10 % up to 48, 5 % beyond). Returns the first column of each
// merged supernode, then n.
std::vector<int> relaxed_supernodes(std::vector<Super> sn, const std::vector<int>& parent,
                                    const std::vector<Index64>& count, WorkPoll& poll) {
  auto block_entries = [&](const Super& s) {
    const Index64 nc = s.end - s.start, below = count[static_cast<size_t>(s.end) - 1];
    return nc * (nc + 1) / 2 + nc * below;
  };
  for (Super& s : sn) s.stored = block_entries(s);
  std::vector<Super> merged;
  for (size_t s = 0; s < sn.size(); ++s) {
    Super cur = sn[s];
    while (!merged.empty()) {
      const Super& child = merged.back();
      const int up = parent[static_cast<size_t>(child.end) - 1];
      if (child.end != cur.start || up < cur.start || up >= cur.end) break;
      const Index64 nc = cur.end - child.start;
      Super joint{child.start, cur.end, child.entries + cur.entries, 0};
      joint.stored = block_entries(joint);
      const double zeros = static_cast<double>(joint.stored - joint.entries) / static_cast<double>(joint.stored);
      const bool merge = nc <= 4 || (nc <= 16 && zeros < 0.8) || (nc <= 48 && zeros < 0.1) || zeros < 0.05;
      if (!merge) break;
      cur = joint;
      merged.pop_back();
      poll.tick(1);
    }
    merged.push_back(cur);
    poll.tick(1);
  }
  std::vector<int> first(merged.size() + 1);
  for (size_t s = 0; s < merged.size(); ++s) first[s] = merged[s].start;
  first.back() = static_cast<int>(parent.size());
  return first;
}

// The supernodal elimination tree: the parent of each supernode (first
// columns sn_start) is the supernode holding its last column's parent.
std::vector<int> supernode_tree(const std::vector<int>& sn_start, const std::vector<int>& parent, WorkPoll& poll) {
  const int ns = static_cast<int>(sn_start.size()) - 1;
  std::vector<int> sn_of(parent.size());
  for (int s = 0; s < ns; ++s) {
    for (int j = sn_start[static_cast<size_t>(s)]; j < sn_start[static_cast<size_t>(s) + 1]; ++j)
      sn_of[static_cast<size_t>(j)] = s;
    poll.tick(1 + sn_start[static_cast<size_t>(s) + 1] - sn_start[static_cast<size_t>(s)]);
  }
  std::vector<int> sn_parent(static_cast<size_t>(ns), -1);
  for (int s = 0; s < ns; ++s) {
    const int up = parent[static_cast<size_t>(sn_start[static_cast<size_t>(s) + 1]) - 1];
    if (up >= 0) sn_parent[static_cast<size_t>(s)] = sn_of[static_cast<size_t>(up)];
  }
  return sn_parent;
}

// Adds the lower triangle of the m x m matrix u (leading dimension ldu) into
// f (leading dimension ldf) at the rows and columns local[0 .. m).
void scatter_add(const double* u, Index64 ldu, int m, const int* local, double* f, Index64 ldf) {
  for (int b = 0; b < m; ++b) {
    double* fc = f + static_cast<Index64>(local[b]) * ldf;
    const double* uc = u + static_cast<Index64>(b) * ldu;
    for (int a = b; a < m; ++a) fc[local[a]] += uc[a];
  }
}

// F's trailing block from row and column pe on (rest of them) less
// work * panel', by blocks of kUpdateColumns columns, ticking `poll` after
// each: the update of a wide front, which alone can take a second.
void update_by_blocks(DenseMap& F, const Eigen::MatrixXd& work, const Eigen::Block<DenseMap>& panel, int pe, int rest,
                      WorkPoll& poll) {
  for (int a = 0; a < rest; a += kUpdateColumns) {
    const int cols = std::min(kUpdateColumns, rest - a), below = rest - a - cols;
    F.block(pe + a, pe + a, cols, cols).triangularView<Eigen::Lower>() -=
        work.middleRows(a, cols) * panel.middleRows(a, cols).transpose();
    if (below > 0)
      F.block(pe + a + cols, pe + a, below, cols).noalias() -=
          work.bottomRows(below) * panel.middleRows(a, cols).transpose();
    poll.tick(flop_work(2.0 * (below + cols) * cols * static_cast<double>(work.cols())));
  }
}

// Factorises the first nc columns of the h x h front F (lower triangle,
// column-major, leading dimension h) as L D L', leaving L below the
// diagonal of those columns, D in d and the Schur complement in F's
// trailing block. Adds the pivots it replaced to `replaced`. A front of
// more than kUpdateColumns rows ticks `poll` after each panel and each
// block of its trailing update (the caller ticks once for a smaller one).
void factor_front(double* f, int h, int nc, double* d, const signed char* sign, double tiny, double replacement,
                  int& replaced, WorkPoll& poll) {
  DenseMap F(f, h, h, Eigen::OuterStride<>(h));
  Eigen::VectorXd w(kPanel);
  Eigen::MatrixXd work;
  for (int p0 = 0; p0 < nc; p0 += kPanel) {
    const int pe = std::min(nc, p0 + kPanel);
    for (int k = p0; k < pe; ++k) {
      const int below = h - k;
      if (k > p0) {
        for (int t = p0; t < k; ++t) w[t - p0] = d[t] * F(k, t);
        F.col(k).segment(k, below).noalias() -= F.block(k, p0, below, k - p0) * w.head(k - p0);
      }
      double pivot = F(k, k);
      if (!(sign[k] * pivot > tiny)) {
        pivot = sign[k] * replacement;
        ++replaced;
      }
      d[k] = pivot;
      F(k, k) = 1.0;
      if (below > 1) F.col(k).segment(k + 1, below - 1) /= pivot;
    }
    const int rest = h - pe, width = pe - p0;
    if (rest > 0) {
      auto panel = F.block(pe, p0, rest, width);
      work.resize(rest, width);
      for (int t = 0; t < width; ++t) work.col(t) = panel.col(t) * d[p0 + t];
      if (rest > kUpdateColumns)
        update_by_blocks(F, work, panel, pe, rest, poll);
      else
        F.block(pe, pe, rest, rest).triangularView<Eigen::Lower>() -= work * panel.transpose();
    }
    if (h > kUpdateColumns) poll.tick(flop_work(static_cast<double>(width) * (h - p0) * (rest + width)));
  }
}

}  // namespace

SparseLdl::Result SparseLdl::analyze(int n, const std::vector<Index64>& col_start, const std::vector<int>& row_index,
                                     const StopFn& stop) {
  WorkPoll poll(stop, kPollWork);
  try {
    return analyze_polled(n, col_start, row_index, poll);
  } catch (const WorkStopped&) {
    return Result::Stopped;
  }
}

SparseLdl::Result SparseLdl::analyze_polled(int n, const std::vector<Index64>& col_start,
                                            const std::vector<int>& row_index, WorkPoll& poll) {
  n_ = n;
  const Index64 nnz = col_start.back();
  if (nnz > INT_MAX / 2 || n < 0) return Result::TooLarge;
  std::vector<int> order;
  if (!fill_reducing_order(n, col_start, row_index, order, poll)) return Result::TooLarge;
  poll.check();
  set_permutation(order, col_start, row_index, poll);
  // The permuted matrix: its upper triangle gives the structure of L, its
  // lower triangle takes the values to factorise.
  std::vector<Index64> up_start;
  std::vector<int> up_row;
  permute(n, col_start, row_index, iperm_, true, up_start, up_row, nullptr, poll);
  permute(n, col_start, row_index, iperm_, false, lower_start_, lower_row_, &entry_pos_, poll);
  lower_value_.assign(lower_row_.size(), 0.0);
  const std::vector<int> parent = elimination_tree(n, up_start, up_row, poll);
  const std::vector<Index64> count = column_counts(n, up_start, up_row, parent, poll);
  up_start.clear(), up_row.clear();
  sn_start_ = relaxed_supernodes(fundamental_supernodes(parent, count, poll), parent, count, poll);
  sn_parent_ = supernode_tree(sn_start_, parent, poll);
  if (set_row_structure(poll) != Result::Ok) return Result::TooLarge;
  const Index64 max_held = plan_update_storage(poll);
  // Dense blocks, fronts and update matrices must fit in memory; beyond
  // about 2^31 doubles (16 GB) each the model is too large for this method.
  const Index64 kMaxDoubles = Index64(1) << 31;
  if (sn_l_start_.back() > kMaxDoubles || max_front_ > kMaxDoubles || max_held > kMaxDoubles)
    return Result::TooLarge;
  return Result::Ok;
}

void SparseLdl::set_permutation(const std::vector<int>& order, const std::vector<Index64>& col_start,
                                const std::vector<int>& row_index, WorkPoll& poll) {
  std::vector<Index64> up_start;
  std::vector<int> up_row;
  permute(n_, col_start, row_index, inverse(order), true, up_start, up_row, nullptr, poll);
  const std::vector<int> post = postorder(n_, elimination_tree(n_, up_start, up_row, poll), poll);
  perm_.resize(static_cast<size_t>(n_));
  for (int k = 0; k < n_; ++k) perm_[static_cast<size_t>(k)] = order[static_cast<size_t>(post[static_cast<size_t>(k)])];
  iperm_ = inverse(perm_);
}

SparseLdl::Supernode SparseLdl::supernode(int s) const {
  const int first = sn_start_[static_cast<size_t>(s)], row0 = sn_row_start_[static_cast<size_t>(s)];
  return {first, sn_start_[static_cast<size_t>(s) + 1] - first, row0, sn_row_start_[static_cast<size_t>(s) + 1] - row0};
}

SparseLdl::Result SparseLdl::set_row_structure(WorkPoll& poll) {
  const int n = n_, ns = static_cast<int>(sn_start_.size()) - 1;
  std::vector<int> child_head, child_next;
  child_lists(sn_parent_, child_head, child_next);
  sn_row_start_.assign(static_cast<size_t>(ns) + 1, 0);
  sn_rows_.clear();
  sn_l_start_.assign(static_cast<size_t>(ns) + 1, 0);
  std::vector<int> mark(static_cast<size_t>(n), -1);
  max_front_ = 0;
  flops_ = 0;
  factor_entries_ = 0;
  for (int s = 0; s < ns; ++s) {
    const int first = sn_start_[static_cast<size_t>(s)], last = sn_start_[static_cast<size_t>(s) + 1];
    const size_t base = sn_rows_.size();
    auto add_row = [&](int i) {
      if (mark[static_cast<size_t>(i)] == s) return;
      mark[static_cast<size_t>(i)] = s;
      sn_rows_.push_back(i);
    };
    for (int j = first; j < last; ++j) add_row(j);
    for (int j = first; j < last; ++j)
      for (Index64 p = lower_start_[static_cast<size_t>(j)]; p < lower_start_[static_cast<size_t>(j) + 1]; ++p)
        add_row(lower_row_[static_cast<size_t>(p)]);
    // The children's rows are read by index: adding rows moves sn_rows_.
    for (int c = child_head[static_cast<size_t>(s)]; c >= 0; c = child_next[static_cast<size_t>(c)]) {
      const Supernode child = supernode(c);
      for (int q = child.row0 + child.nc; q < child.row0 + child.h; ++q) add_row(sn_rows_[static_cast<size_t>(q)]);
    }
    std::sort(sn_rows_.begin() + static_cast<std::ptrdiff_t>(base) + (last - first), sn_rows_.end());
    if (sn_rows_.size() > static_cast<size_t>(INT_MAX)) return Result::TooLarge;
    poll.tick(static_cast<Index64>(sn_rows_.size() - base) * 4 + (lower_start_[static_cast<size_t>(last)] -
                                                                     lower_start_[static_cast<size_t>(first)]));
    sn_row_start_[static_cast<size_t>(s) + 1] = static_cast<int>(sn_rows_.size());
    const Index64 h = static_cast<Index64>(sn_rows_.size() - base), nc = last - first, below = h - nc;
    sn_l_start_[static_cast<size_t>(s) + 1] = sn_l_start_[static_cast<size_t>(s)] + h * nc;
    max_front_ = std::max(max_front_, h * h);
    factor_entries_ += nc * (nc + 1) / 2 + nc * below;
    for (Index64 t = 0; t < nc; ++t) {
      const double c = static_cast<double>(h - t - 1);
      flops_ += c * c + 2 * c;
    }
  }
  return Result::Ok;
}

std::int64_t SparseLdl::plan_update_storage(WorkPoll& poll) {
  const int ns = static_cast<int>(sn_start_.size()) - 1;
  // A supernode whose children hand it more update entries than its own
  // front holds (a dense row's supernode above thousands of columns) has them
  // added into an accumulator of its front's size as they are made: on the
  // stack they would all be held at once.
  auto front_rows = [&](int s) -> Index64 { return supernode(s).h; };
  auto update_rows = [&](int s) -> Index64 {
    const Supernode sn = supernode(s);
    return sn.h - sn.nc;
  };
  std::vector<Index64> handed(static_cast<size_t>(ns), 0);
  for (int s = 0; s < ns; ++s) {
    if (sn_parent_[static_cast<size_t>(s)] >= 0)
      handed[static_cast<size_t>(sn_parent_[static_cast<size_t>(s)])] += update_rows(s) * update_rows(s);
    poll.tick(1);
  }
  accumulate_.assign(static_cast<size_t>(ns), 0);
  for (int s = 0; s < ns; ++s) accumulate_[static_cast<size_t>(s)] = handed[static_cast<size_t>(s)] > front_rows(s) * front_rows(s);
  // Peak of the update matrices and accumulators held at once, simulated in
  // factorisation order.
  Index64 stack = 0, accumulators = 0, max_held = 0;
  max_stack_ = 0;
  std::vector<char> open(static_cast<size_t>(ns), 0);
  for (int s = 0; s < ns; ++s) {
    if (!accumulate_[static_cast<size_t>(s)]) {
      stack -= handed[static_cast<size_t>(s)];
    } else if (open[static_cast<size_t>(s)]) {
      accumulators -= front_rows(s) * front_rows(s);
    }
    const int p = sn_parent_[static_cast<size_t>(s)];
    const Index64 m = update_rows(s);
    if (m > 0 && p >= 0 && accumulate_[static_cast<size_t>(p)]) {
      if (!open[static_cast<size_t>(p)]) accumulators += front_rows(p) * front_rows(p);
      open[static_cast<size_t>(p)] = 1;
    } else {
      stack += m * m;
    }
    max_stack_ = std::max(max_stack_, stack);
    max_held = std::max(max_held, stack + accumulators);
    poll.tick(1);
  }
  return max_held;
}

SparseLdl::Result SparseLdl::factorize(const double* values, const signed char* sign, double tiny, double replacement,
                                       const StopFn& stop) {
  WorkPoll poll(stop, kPollWork);
  try {
    factorize_polled(values, sign, tiny, replacement, poll);
    return Result::Ok;
  } catch (const WorkStopped&) {
    return Result::Stopped;
  }
}

void SparseLdl::factorize_polled(const double* values, const signed char* sign, double tiny, double replacement,
                                 WorkPoll& poll) {
  const int n = n_, ns = static_cast<int>(sn_start_.size()) - 1;
  std::fill(lower_value_.begin(), lower_value_.end(), 0.0);
  constexpr size_t kBlock = 1 << 16;
  for (size_t p0 = 0; p0 < entry_pos_.size(); p0 += kBlock) {
    const size_t p1 = std::min(entry_pos_.size(), p0 + kBlock);
    for (size_t p = p0; p < p1; ++p) lower_value_[static_cast<size_t>(entry_pos_[p])] += values[p];
    poll.tick(static_cast<Index64>(p1 - p0));
  }
  poll.check();
  l_.assign(static_cast<size_t>(sn_l_start_.back()), 0.0);
  d_.assign(static_cast<size_t>(n), 0.0);
  std::vector<double> front(static_cast<size_t>(max_front_));
  std::vector<double> stack(static_cast<size_t>(max_stack_));
  std::vector<Index64> stack_at;  // where each update matrix on the stack starts
  std::vector<int> stack_owner;
  Index64 top = 0;
  std::vector<std::vector<double>> accumulator(static_cast<size_t>(ns));
  std::vector<int> pos(static_cast<size_t>(n), -1), local;
  std::vector<signed char> local_sign;
  replaced_ = 0;
  poll.check();
  for (int s = 0; s < ns; ++s) {
    const Supernode sn = supernode(s);
    const int first = sn.first, nc = sn.nc, h = sn.h;
    const int* rows = &sn_rows_[static_cast<size_t>(sn.row0)];
    for (int t = 0; t < h; ++t) pos[static_cast<size_t>(rows[t])] = t;
    double* f = front.data();
    std::fill(f, f + static_cast<Index64>(h) * h, 0.0);
    for (int j = first; j < first + nc; ++j) {
      const Index64 col = static_cast<Index64>(pos[static_cast<size_t>(j)]) * h;
      for (Index64 p = lower_start_[static_cast<size_t>(j)]; p < lower_start_[static_cast<size_t>(j) + 1]; ++p)
        f[col + pos[static_cast<size_t>(lower_row_[static_cast<size_t>(p)])]] += lower_value_[static_cast<size_t>(p)];
    }
    std::vector<double>& own = accumulator[static_cast<size_t>(s)];
    if (!own.empty()) {
      for (Index64 q = 0; q < static_cast<Index64>(h) * h; ++q) f[q] += own[static_cast<size_t>(q)];
      std::vector<double>().swap(own);
    }
    // Children's update matrices are the top of the stack (postorder).
    while (!stack_owner.empty() && sn_parent_[static_cast<size_t>(stack_owner.back())] == s) {
      const Supernode child = supernode(stack_owner.back());
      const int cb = child.row0 + child.nc, m = child.h - child.nc;
      local.resize(static_cast<size_t>(m));
      for (int a = 0; a < m; ++a) local[static_cast<size_t>(a)] = pos[static_cast<size_t>(sn_rows_[static_cast<size_t>(cb + a)])];
      scatter_add(&stack[static_cast<size_t>(stack_at.back())], m, m, local.data(), f, h);
      top = stack_at.back();
      stack_at.pop_back();
      stack_owner.pop_back();
    }
    local_sign.resize(static_cast<size_t>(nc));
    for (int t = 0; t < nc; ++t) local_sign[static_cast<size_t>(t)] = sign[perm_[static_cast<size_t>(first + t)]];
    factor_front(f, h, nc, &d_[static_cast<size_t>(first)], local_sign.data(), tiny, replacement, replaced_, poll);
    double* l = &l_[static_cast<size_t>(sn_l_start_[static_cast<size_t>(s)])];
    std::copy(f, f + static_cast<Index64>(h) * nc, l);
    const int m = h - nc;
    const int up = sn_parent_[static_cast<size_t>(s)];
    if (m > 0 && up >= 0 && accumulate_[static_cast<size_t>(up)]) {
      add_update(rows, f, h, nc, up, accumulator[static_cast<size_t>(up)], local);
    } else if (m > 0) {
      stack_at.push_back(top);
      stack_owner.push_back(s);
      double* u = &stack[static_cast<size_t>(top)];
      for (int b = 0; b < m; ++b) std::copy(f + static_cast<Index64>(nc + b) * h + nc, f + static_cast<Index64>(nc + b) * h + h, u + static_cast<Index64>(b) * m);
      top += static_cast<Index64>(m) * m;
    }
    // The assembly, the copies and (for a small front) its elimination.
    poll.tick(static_cast<Index64>(h) * h + static_cast<Index64>(h) * nc + 16 +
              (h > kUpdateColumns ? 0 : static_cast<Index64>(nc) * h * h / static_cast<Index64>(kFlopsPerUnit)));
  }
}

void SparseLdl::add_update(const int* rows, const double* f, int h, int nc, int up, std::vector<double>& into,
                           std::vector<int>& local) const {
  const Supernode parent = supernode(up);
  const int first = parent.first, end = parent.first + parent.nc, ph = parent.h;
  const int* prows = &sn_rows_[static_cast<size_t>(parent.row0)];
  if (into.empty()) into.assign(static_cast<size_t>(ph) * static_cast<size_t>(ph), 0.0);
  // The rows below this front's columns lie among the parent's, both in
  // increasing order after the parent's own columns: found by one merge.
  const int m = h - nc;
  local.resize(static_cast<size_t>(m));
  int q = end - first;
  for (int t = 0; t < m; ++t) {
    const int i = rows[nc + t];
    if (i < end) {
      local[static_cast<size_t>(t)] = i - first;
      continue;
    }
    while (q < ph && prows[q] != i) ++q;
    if (q == ph) throw std::logic_error("sparse LDL: an update row outside its parent's front");
    local[static_cast<size_t>(t)] = q;
  }
  scatter_add(f + static_cast<Index64>(nc) * h + nc, h, m, local.data(), into.data(), ph);
}

void SparseLdl::solve(double* b, WorkPoll* poll) const {
  const int n = n_, ns = static_cast<int>(sn_start_.size()) - 1;
  // Blocks of fewer entries than this are solved by plain loops; larger
  // ones by Eigen's dense kernels.
  constexpr Index64 kDenseBlock = 4096;
  // poll is ticked once per kSolveBatch supernodes, with their entries
  // (the supernodes of a banded matrix hold a few entries each).
  constexpr int kSolveBatch = 256;
  auto batch_done = [&](int s0, int s1) {  // supernodes [s0, s1)
    if (poll) poll->tick(sn_l_start_[static_cast<size_t>(s1)] - sn_l_start_[static_cast<size_t>(s0)] + (s1 - s0));
  };
  Eigen::VectorXd x(n), tmp;
  for (int k = 0; k < n; ++k) x[k] = b[perm_[static_cast<size_t>(k)]];
  for (int s0 = 0; s0 < ns; s0 += kSolveBatch) {
    const int s1 = std::min(ns, s0 + kSolveBatch);
    for (int s = s0; s < s1; ++s) {
      const Supernode sn = supernode(s);
      const int first = sn.first, nc = sn.nc, h = sn.h;
      const int* rows = &sn_rows_[static_cast<size_t>(sn.row0)];
      const double* l = &l_[static_cast<size_t>(sn_l_start_[static_cast<size_t>(s)])];
      if (static_cast<Index64>(h) * nc < kDenseBlock) {
        for (int k = 0; k < nc; ++k) {
          const double xk = x[first + k];
          if (xk == 0) continue;
          const double* col = l + static_cast<Index64>(k) * h;
          for (int i = k + 1; i < nc; ++i) x[first + i] -= col[i] * xk;
          for (int t = nc; t < h; ++t) x[rows[t]] -= col[t] * xk;
        }
        continue;
      }
      ConstDenseMap L(l, h, nc, Eigen::OuterStride<>(h));
      auto xs = x.segment(first, nc);
      L.topRows(nc).triangularView<Eigen::UnitLower>().solveInPlace(xs);
      if (h > nc) {
        tmp.noalias() = L.bottomRows(h - nc) * xs;
        for (int t = nc; t < h; ++t) x[rows[t]] -= tmp[t - nc];
      }
    }
    batch_done(s0, s1);
  }
  for (int k = 0; k < n; ++k) x[k] /= d_[static_cast<size_t>(k)];
  for (int s1 = ns; s1 > 0; s1 -= kSolveBatch) {
    const int s0 = std::max(0, s1 - kSolveBatch);
    for (int s = s1 - 1; s >= s0; --s) {
      const Supernode sn = supernode(s);
      const int first = sn.first, nc = sn.nc, h = sn.h;
      const int* rows = &sn_rows_[static_cast<size_t>(sn.row0)];
      const double* l = &l_[static_cast<size_t>(sn_l_start_[static_cast<size_t>(s)])];
      if (static_cast<Index64>(h) * nc < kDenseBlock) {
        for (int k = nc - 1; k >= 0; --k) {
          const double* col = l + static_cast<Index64>(k) * h;
          double sum = x[first + k];
          for (int i = k + 1; i < nc; ++i) sum -= col[i] * x[first + i];
          for (int t = nc; t < h; ++t) sum -= col[t] * x[rows[t]];
          x[first + k] = sum;
        }
        continue;
      }
      ConstDenseMap L(l, h, nc, Eigen::OuterStride<>(h));
      auto xs = x.segment(first, nc);
      if (h > nc) {
        tmp.resize(h - nc);
        for (int t = nc; t < h; ++t) tmp[t - nc] = x[rows[t]];
        xs.noalias() -= L.bottomRows(h - nc).transpose() * tmp;
      }
      L.topRows(nc).transpose().triangularView<Eigen::UnitUpper>().solveInPlace(xs);
    }
    batch_done(s0, s1);
  }
  for (int k = 0; k < n; ++k) b[perm_[static_cast<size_t>(k)]] = x[k];
}

}  // namespace velmor
