// Convex quadratic objectives with a discrete part: branch-and-bound over
// CLP's quadratic simplex, since neither CBC nor CLP searches such models.
//
// Nodes are taken best bound first; until the first incumbent is found the
// deepest node goes first instead, so that a solution turns up early. Each
// node stores only its bound changes from the root and shares its parent's
// final basis and point, from which its own relaxation starts. Branching:
// the most fractional integer column (down: x <= floor, up: x >= ceil),
// else the first violated SOS, split at the weighted mean position of its
// non-zero members. A node whose relaxation is unbounded branches on an SOS
// set its bounds do not yet settle; with every set settled, the search
// ends unbounded.
//
// Limits: MaxTime, MIP/MaxNodes, MIP/MaxSols, MIP/MaxStallingNodes; the
// search ends when the gap falls within MIP/GapAbs or MIP/GapRel; MIP/Cutoff
// prunes nodes worse than it; MIP/IntegerTolerance judges integrality;
// MIP/ObjectiveTolerance is the least improvement a new incumbent must make;
// MIP/SolutionPoolSize solutions are kept.
//
// A registered callback gets the same turns as on CBC (callback.hpp):
// MIPSTART once after the root relaxation; MIPNODE at every node whose
// relaxation is solved, repeated while the callback adds cuts that the
// relaxation violates (at most kCutPasses times a node); MIPSOL for every new
// incumbent, before it is taken. Its cuts become rows of the relaxation for
// the rest of the search, so every later relaxation, and so every incumbent,
// satisfies them; a candidate that violates a cut of its MIPSOL turn is
// refused (a node's is solved again, under the new rows). Its solutions,
// completed and checked by the session, are offered like ours; a branching
// request picks the column and the child explored first.
#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <queue>
#include <vector>

#include <CoinFinite.hpp>

#include "mip/callback.hpp"
#include "lp/clp_model.hpp"
#include "qp/qp_ipm.hpp"

namespace velmor {

namespace {

struct BoundChange {
  int col;
  double lb, ub;
};

struct WarmStart {
  std::vector<unsigned char> status;  // columns then rows
  std::vector<double> x;
};

struct Node {
  double bound;  // the parent's relaxation value, minimised sense
  int depth;
  std::vector<BoundChange> changes;
  std::shared_ptr<const WarmStart> warm;
  long long seq = 0;  // order of creation: among equals, the earlier first
};

constexpr int kCutPasses = 20;

class Search {
 public:
  Search(const ModelData& data, const SolverModel& sm, RunControl& run, CallbackSession* session,
         SolverModel* unbounded_node)
      : data_(data), sm_(sm), run_(run), p_(run.params), messages_(run.log, 0), session_(session),
        unbounded_node_(unbounded_node) {
    lp_.passInMessageHandler(&messages_);
    load_clp(sm, lp_);
    guard_.run = &run;
    guard_quadratic_objective(lp_, &guard_);
    apply_simplex_params(p_, lp_);
    state_.run = &run;
    state_.ipm_limit = INT_MAX;
    handler_ = std::make_unique<ClpRunHandler>(&state_);
    lp_.passInEventHandler(handler_.get());
    int_tol_ = p_.get(kMipIntegerTolerance);
    // Relaxations are accepted at the IPM tolerances or 1e-6, whichever is
    // looser: their values bound the search, whose own gap is far wider.
    relaxation_tol_ = {std::max(1e-6, p_.get(kIpmPrimalTolerance)), std::max(1e-6, p_.get(kIpmDualTolerance)),
                       std::max(1e-6, p_.get(kIpmGapTolerance))};
    const double cutoff = p_.get(kMipCutoff);
    cutoff_ = std::fabs(cutoff) < VLM_INFINITY ? sm.sense * (cutoff - sm.obj_const) : COIN_DBL_MAX;
  }

  RunOutcome run() {
    RunOutcome out;
    const double t0 = run_.elapsed();
    search();
    out.stats.available = true;
    out.stats.spx_iters = iterations_;
    out.stats.ipm_iters = interior_iters_;
    out.stats.solver_time = run_.elapsed() - t0;
    finish(out.solution);
    return out;
  }

 private:
  struct Worse {  // priority: lower bound first; before the first incumbent, deeper first
    const Search* s;
    bool operator()(const Node& a, const Node& b) const {
      if (!s->have_incumbent_ && a.depth != b.depth) return a.depth < b.depth;
      if (a.bound != b.bound) return a.bound > b.bound;
      return a.seq > b.seq;
    }
  };

  // Solves the relaxation under the node's bounds: 0 solved, 1 infeasible,
  // 2 unbounded, 3 stopped or failed.
  int solve_node(const Node& node) {
    std::copy(sm_.col_lb.begin(), sm_.col_lb.end(), lp_.columnLower());
    std::copy(sm_.col_ub.begin(), sm_.col_ub.end(), lp_.columnUpper());
    for (const BoundChange& c : node.changes) {
      lp_.columnLower()[c.col] = c.lb;
      lp_.columnUpper()[c.col] = c.ub;
    }
    if (node.warm) {
      std::copy(node.warm->status.begin(), node.warm->status.end(), lp_.statusArray());
      std::copy(node.warm->x.begin(), node.warm->x.end(), lp_.primalColumnSolution());
      // Rows the callback's cuts added since the warm start was taken.
      const int rows_then = static_cast<int>(node.warm->status.size()) - sm_.num_cols();
      for (int i = rows_then; i < lp_.numberRows(); ++i) lp_.setRowStatus(i, ClpSimplex::basic);
    }
    return resolve();
  }

  // Solves the relaxation as it stands, from the current basis; on 0 the
  // node's point and reduced costs are in x_ and rc_.
  int resolve() {
    const int status = primal();
    if (run_.should_stop()) return 3;
    if (status == 0 && take_clp_point()) return 0;
    if (status == 2 && lp_.numberPrimalInfeasibilities() == 0) return 2;
    // CLP's quadratic primal gave up (status 10: it saw itself loop), was
    // stopped by the guard, or claims an optimum its multipliers do not
    // confirm: the linear problem decides feasibility, and a feasible
    // relaxation is solved by the interior point method.
    if (linear_relaxation_infeasible()) return 1;
    if (run_.should_stop()) return 3;
    return interior();
  }

  // One run of CLP's quadratic primal from the current basis and point. A
  // node's start is its parent's point, which the node's bounds (or new cut
  // rows) make infeasible; CLP's quadratic primal looks for a feasible point
  // first (on the linear problem) only when the model's status says it has
  // none, and otherwise loops on the infeasible start: status -1 says so.
  int primal() {
    guard_.reset();
    // A relaxation that takes more pivots than this is left to the interior
    // point method: CLP's quadratic primal has been seen to cycle with
    // pivots (which the guard does not count) on such models.
    lp_.setMaximumIterations(std::max(1000, 5 * (lp_.numberColumns() + lp_.numberRows())));
    lp_.setProblemStatus(-1);
    lp_.primal();
    iterations_ += lp_.numberIterations();
    return guard_.tripped ? 3 : lp_.status();
  }

  // CLP's point, when it and its multipliers pass the check.
  bool take_clp_point() {
    const QpData qp = QpData::from_clp(lp_, sm_.h_start, sm_.h_index, sm_.h_value);
    if (!relaxation_tol_.met(check_qp_point(qp, lp_.primalColumnSolution(), lp_.dualRowSolution()))) return false;
    x_.assign(lp_.primalColumnSolution(), lp_.primalColumnSolution() + lp_.numberColumns());
    rc_.assign(lp_.dualColumnSolution(), lp_.dualColumnSolution() + lp_.numberColumns());
    return true;
  }

  // The relaxation by the interior point method: 0 solved, 1 infeasible,
  // 2 unbounded, 3 failed or stopped.
  int interior() {
    const QpData qp = QpData::from_clp(lp_, sm_.h_start, sm_.h_index, sm_.h_value);
    QpResult r = solve_qp_ipm(qp, relaxation_tol_, run_, p_.get_int(kIpmMaxIterations), false);
    ++interior_runs_;
    interior_iters_ += r.iterations;
    if (r.status == QpResult::kInfeasible) return 1;
    if (r.status == QpResult::kUnbounded) return 2;
    if (r.status != QpResult::kOptimal) return 3;
    x_ = std::move(r.x);
    rc_ = qp.reduced_gradient(x_.data(), r.y.data());
    return 0;
  }

  // Whether the relaxation's bounds and rows admit no point: a fresh model
  // with a zero objective decides. (A copy of the quadratic model, even with
  // its objective made linear, carries the state a failed quadratic run
  // left, from which CLP's linear primal has been seen to call a feasible
  // model infeasible.)
  bool linear_relaxation_infeasible() {
    ClpSimplex plain;
    plain.setLogLevel(0);
    const std::vector<double> zero(static_cast<size_t>(lp_.numberColumns()), 0.0);
    plain.loadProblem(*lp_.matrix(), lp_.columnLower(), lp_.columnUpper(), zero.data(), lp_.rowLower(),
                      lp_.rowUpper());
    apply_simplex_params(p_, plain);
    ClpRunHandler handler(&state_);
    plain.passInEventHandler(&handler);
    plain.primal();
    iterations_ += plain.numberIterations();
    return plain.status() == 1;
  }

  // The search's lower bound while `node_bound` is being processed; once an
  // incumbent exists the queue is ordered by bound, so its top is the least.
  double current_bound(double node_bound) const {
    return open_.empty() ? node_bound : std::min(node_bound, open_.top().bound);
  }

  std::vector<Node> open_nodes() const {
    auto copy = open_;
    std::vector<Node> out;
    while (!copy.empty()) {
      out.push_back(copy.top());
      copy.pop();
    }
    return out;
  }

  bool gap_closed(double bound) const {
    if (!have_incumbent_) return false;
    const double gap = incumbent_ - bound;
    const double user = std::fabs(sm_.sense * incumbent_ + sm_.obj_const);
    return gap <= p_.get(kMipGapAbs) || gap / std::max(1e-10, user) <= p_.get(kMipGapRel);
  }

  void record(const double* x, double value) {
    std::vector<double> sol(x, x + sm_.num_cols());
    for (int j = 0; j < sm_.num_cols(); ++j)
      if (sm_.is_int[static_cast<size_t>(j)]) sol[static_cast<size_t>(j)] = std::round(sol[static_cast<size_t>(j)]);
    pool_.insert(std::upper_bound(pool_.begin(), pool_.end(), value,
                                  [](double v, const std::pair<double, std::vector<double>>& e) { return v < e.first; }),
                 {value, std::move(sol)});
    if (static_cast<int>(pool_.size()) > p_.get_int(kMipSolutionPoolSize)) pool_.pop_back();
    ++solutions_;
    if (!have_incumbent_ || value < incumbent_ - p_.get(kMipObjectiveTolerance)) {
      const bool first = !have_incumbent_;
      have_incumbent_ = true;
      incumbent_ = value;
      last_improvement_ = nodes_;
      run_.log.linef("%9d nodes %8zu open  incumbent %-16.10g %s", nodes_, open_.size(), sm_.sense * value + sm_.obj_const,
                     format_seconds(run_.elapsed()).c_str());
      if (first) {
        // The queue was ordered by depth: reorder it by bound.
        std::vector<Node> nodes = open_nodes();
        open_ = Queue(Worse{this});
        for (Node& n : nodes) open_.push(std::move(n));
      }
    }
  }

  // A candidate solution x (solver columns, objective value). With a
  // callback, a new incumbent's MIPSOL turn comes first; a candidate that
  // violates a cut (its turn's cuts become rows) is refused: false.
  bool offer(const double* x, double value) {
    if (session_) {
      TurnData t;
      fill_search(t, value, 0);
      const bool take = session_->candidate_turn(t, x, value, have_incumbent_ ? pool_.front().second.data() : nullptr,
                                                 [this](TurnData& turn) { session_->turn(turn); });
      add_cut_rows();
      if (!take) return false;
      session_->new_incumbent(x, value);
    }
    record(x, value);
    if (session_) take_solutions();  // proposed in the turn
    return true;
  }

  // ---- callback turns ----------------------------------------------------------------

  // The least bound of the open nodes and the node being processed.
  double global_bound(double node_bound) const {
    double b = node_bound;
    for (const Node& n : open_nodes()) b = std::min(b, n.bound);
    return b;
  }

  void fill_search(TurnData& t, double node_bound, int depth) const {
    if (have_incumbent_) {
      t.incumbent = pool_.front().second.data();
      t.incumbent_min = incumbent_;
    }
    t.bound_min = global_bound(node_bound);
    t.nodes = nodes_;
    t.solutions = solutions_;
    t.cuts_applied = cut_rows_;
    t.open_nodes = static_cast<int>(open_.size());
    t.node_id = nodes_;
    t.depth = depth;
  }

  void fill_relaxation(TurnData& t, double value) {
    t.has_relaxation = true;
    t.relaxation_min = value;
    t.x = x_.data();
    t.reduced_cost = rc_.data();
    t.col_lb = lp_.columnLower();
    t.col_ub = lp_.columnUpper();
  }

  void take_solutions() {
    for (CheckedSolution& c : session_->take_solutions())
      if (!have_incumbent_ || c.min_value < incumbent_ - p_.get(kMipObjectiveTolerance)) offer(c.x.data(), c.min_value);
  }

  // The stored cuts not yet rows of the relaxation become rows.
  void add_cut_rows() {
    for (; cut_rows_ < static_cast<int>(session_->cuts().size()); ++cut_rows_) {
      const StoredCut& c = session_->cuts()[static_cast<size_t>(cut_rows_)];
      std::vector<int> idx;
      std::vector<double> val;
      for (const Entry& e : c.row) idx.push_back(e.index), val.push_back(e.value);
      lp_.addRow(static_cast<int>(idx.size()), idx.data(), val.data(), c.lb, c.ub);
      lp_.setRowStatus(lp_.numberRows() - 1, ClpSimplex::basic);
    }
  }

  // The callback's turns at a node whose relaxation is solved. Returns the
  // node's state afterwards: 0 solved (the relaxation and `value` current),
  // 1 infeasible under the callback's cuts, 3 stopped or failed.
  int node_turns(Node& node, double& value, BranchRequest& branch) {
    if (!session_->started()) {
      TurnData t;
      t.where = VLM_CB_MIPSTART;
      fill_search(t, value, node.depth);
      fill_relaxation(t, value);
      session_->turn(t);
      take_solutions();
    }
    for (int pass = 0; pass < kCutPasses && !session_->stopped(); ++pass) {
      const size_t before = session_->cuts().size();
      TurnData t;
      t.where = VLM_CB_MIPNODE;
      fill_search(t, node.bound, node.depth);
      fill_relaxation(t, value);
      session_->turn(t);
      if (t.branch.col >= 0) branch = t.branch;
      take_solutions();
      if (session_->cuts().size() == before) break;
      add_cut_rows();
      bool violated = false;
      for (size_t k = before; k < session_->cuts().size(); ++k)
        if (CallbackSession::violation(session_->cuts()[k], x_.data()) > kCheckTolerance)
          violated = true;
      if (!violated) break;
      const int result = resolve();
      if (result != 0) return result == 3 ? 3 : 1;  // cuts only shrink the relaxation: never unbounded
      value = sm_.min_objective(x_.data());
      node.bound = std::max(node.bound, value);
    }
    return session_->stopped() ? 3 : 0;
  }

  // A column or SOS to branch on; false when the relaxation's point is
  // integral and satisfies every SOS.
  bool branch(const Node& node, const double* x, std::vector<Node>& children, const BranchRequest& request) {
    int best = -1;
    double best_score = 1.0;
    if (request.col >= 0) {
      const double frac = x[request.col] - std::floor(x[request.col]);
      if (frac > int_tol_ && frac < 1 - int_tol_) {
        const double lb = bound_of(node, request.col, true), ub = bound_of(node, request.col, false);
        Node down = child(node, {{request.col, lb, std::floor(x[request.col])}});
        Node up = child(node, {{request.col, std::ceil(x[request.col]), ub}});
        if (request.way > 0) std::swap(down, up);  // the first child is explored first
        children.push_back(std::move(down));
        children.push_back(std::move(up));
        return true;
      }
    }
    for (int j = 0; j < sm_.num_cols(); ++j) {
      if (!sm_.is_int[static_cast<size_t>(j)]) continue;
      const double frac = x[j] - std::floor(x[j]);
      if (frac <= int_tol_ || frac >= 1 - int_tol_) continue;
      const double score = std::fabs(frac - 0.5);
      if (score < best_score) best_score = score, best = j;
    }
    if (best >= 0) {
      const double lb = bound_of(node, best, true), ub = bound_of(node, best, false);
      children.push_back(child(node, {{best, lb, std::floor(x[best])}}));
      children.push_back(child(node, {{best, std::ceil(x[best]), ub}}));
      return true;
    }
    for (const SolverSos& s : sm_.sos) {
      int first = -1, last = -1;
      double weight_sum = 0, total = 0;
      for (size_t k = 0; k < s.members.size(); ++k) {
        const double v = std::fabs(x[s.members[k]]);
        if (v <= int_tol_) continue;
        if (first < 0) first = static_cast<int>(k);
        last = static_cast<int>(k);
        weight_sum += v * s.weights[k];
        total += v;
      }
      if (first < 0 || last - first + 1 <= s.type) continue;
      const double mean = weight_sum / total;
      // Split position r: first <= r < last for SOS1, first < r < last for SOS2.
      int r = first;
      while (r + 1 < last && s.weights[static_cast<size_t>(r) + 1] <= mean) ++r;
      if (s.type == 2 && r == first) r = first + 1;
      split_sos(node, s, r, children);
      return true;
    }
    return false;
  }

  // Branches on the first SOS set whose members the node's bounds leave
  // free to be non-zero over more positions than the set allows (two
  // adjacent for SOS2, one for SOS1), split at the middle of those
  // positions; false when every set is settled by the bounds.
  bool branch_open_sos(const Node& node, std::vector<Node>& children) const {
    for (const SolverSos& s : sm_.sos) {
      int first = -1, last = -1;
      for (size_t k = 0; k < s.members.size(); ++k) {
        const int col = s.members[k];
        if (bound_of(node, col, true) == 0 && bound_of(node, col, false) == 0) continue;
        if (first < 0) first = static_cast<int>(k);
        last = static_cast<int>(k);
      }
      if (first < 0 || last - first + 1 <= s.type) continue;
      int r = first + (last - first - 1) / 2;  // first <= r < last
      if (s.type == 2) r = std::max(r, first + 1);  // first < r < last
      split_sos(node, s, r, children);
      return true;
    }
    return false;
  }

  // The two children of a split of SOS set `s` at position r: the left one
  // zeroes the members after r, the right one those up to r (SOS1) or
  // before r (SOS2). A child that would zero a member its bounds keep away
  // from 0 holds no point and is left out.
  void split_sos(const Node& node, const SolverSos& s, int r, std::vector<Node>& children) const {
    std::vector<BoundChange> left, right;
    bool left_ok = true, right_ok = true;
    for (int k = 0; k < static_cast<int>(s.members.size()); ++k) {
      const bool zero_left = k > r;
      const bool zero_right = s.type == 1 ? k <= r : k < r;
      if (zero_left) left_ok &= fix_zero(node, s.members[static_cast<size_t>(k)], left);
      if (zero_right) right_ok &= fix_zero(node, s.members[static_cast<size_t>(k)], right);
    }
    if (left_ok) children.push_back(child(node, left));
    if (right_ok) children.push_back(child(node, right));
  }

  double bound_of(const Node& node, int col, bool lower) const {
    double v = lower ? sm_.col_lb[static_cast<size_t>(col)] : sm_.col_ub[static_cast<size_t>(col)];
    for (const BoundChange& c : node.changes)
      if (c.col == col) v = lower ? c.lb : c.ub;
    return v;
  }

  bool fix_zero(const Node& node, int col, std::vector<BoundChange>& changes) const {
    if (bound_of(node, col, true) > 0 || bound_of(node, col, false) < 0) return false;
    changes.push_back({col, 0.0, 0.0});
    return true;
  }

  Node child(const Node& parent, const std::vector<BoundChange>& extra) const {
    Node c{parent.bound, parent.depth + 1, parent.changes, nullptr, 0};
    for (const BoundChange& e : extra) {
      auto it = std::find_if(c.changes.begin(), c.changes.end(), [&](const BoundChange& b) { return b.col == e.col; });
      if (it != c.changes.end())
        *it = e;
      else
        c.changes.push_back(e);
    }
    return c;
  }

  void search() {
    open_.push(Node{-COIN_DBL_MAX, 0, {}, nullptr, seq_++});
    const int max_nodes = p_.get_int(kMipMaxNodes), max_sols = p_.get_int(kMipMaxSols);
    const int stall = p_.get_int(kMipMaxStallingNodes);
    while (!open_.empty()) {
      if (run_.should_stop()) return;
      if (nodes_ >= max_nodes) return run_.stop(VLM_ERROR_ABORT_NODE_LIMIT);
      if (stall >= 0 && nodes_ - last_improvement_ >= stall && nodes_ > 0)
        return run_.stop(VLM_ERROR_ABORT_STALLING_NODE_LIMIT);
      Node node = open_.top();
      open_.pop();
      if (have_incumbent_ && node.bound >= incumbent_ - p_.get(kMipObjectiveTolerance)) continue;
      if (node.bound >= cutoff_) continue;
      if (gap_closed(current_bound(node.bound))) {
        open_.push(std::move(node));
        return;
      }
      ++nodes_;
      const int result = solve_node(node);
      if (result == 3) {
        if (run_.should_stop()) {
          open_.push(std::move(node));
          return;
        }
        incomplete_ = true;  // numerical trouble: the node is dropped
        continue;
      }
      if (result == 1) continue;
      if (result == 2) {
        // An unbounded relaxation proves nothing while an SOS set still
        // lets more members be non-zero than it allows: the search
        // branches on it, the children each allowing fewer.
        std::vector<Node> children;
        if (!branch_open_sos(node, children)) {
          unbounded_ = true;
          if (unbounded_node_) {
            *unbounded_node_ = sm_;
            for (const BoundChange& c : node.changes) {
              unbounded_node_->col_lb[static_cast<size_t>(c.col)] = c.lb;
              unbounded_node_->col_ub[static_cast<size_t>(c.col)] = c.ub;
            }
          }
          return;
        }
        for (Node& c : children) {
          c.seq = seq_++;
          open_.push(std::move(c));
        }
        continue;
      }
      double value = sm_.min_objective(x_.data());
      node.bound = std::max(node.bound, value);
      BranchRequest request;
      if (session_) {
        const int state = node_turns(node, value, request);
        if (state == 3) {
          if (run_.should_stop()) {
            open_.push(std::move(node));
            return;
          }
          incomplete_ = true;  // numerical trouble: the node is dropped
          continue;
        }
        if (state != 0) continue;
      }
      const double* x = x_.data();
      if (value >= cutoff_) continue;
      if (have_incumbent_ && value >= incumbent_ - p_.get(kMipObjectiveTolerance)) continue;
      std::vector<Node> children;
      if (!branch(node, x, children, request)) {
        const std::vector<double> point(x, x + sm_.num_cols());  // rows added by the turn move the LP's arrays
        if (!offer(point.data(), value)) {
          node.seq = seq_++;
          open_.push(std::move(node));  // solved again, under the cuts that refused its point
          continue;
        }
        if (solutions_ >= max_sols) return run_.stop(VLM_ERROR_ABORT_SOLUTION_LIMIT);
        continue;
      }
      auto warm = std::make_shared<WarmStart>();
      const unsigned char* status = lp_.statusArray();
      warm->status.assign(status, status + sm_.num_cols() + lp_.numberRows());
      warm->x.assign(x, x + sm_.num_cols());
      for (Node& c : children) {
        c.bound = node.bound;
        c.warm = warm;
        c.seq = seq_++;
        open_.push(std::move(c));
      }
    }
  }

  void finish(Solution& s) {
    const bool stopped = run_.stopped_by() != 0 || incomplete_;
    if (unbounded_) {
      s.status = have_incumbent_ ? VLM_STATUS_UNBOUNDED : VLM_STATUS_INF_OR_UBD;
      return;
    }
    if (!have_incumbent_) {
      if (stopped)
        s.status = VLM_STATUS_UNKNOWN;
      else if (cutoff_ < COIN_DBL_MAX)
        s.status = VLM_STATUS_UNKNOWN, run_.log.line("No solution better than MIP/Cutoff exists");
      else
        s.status = VLM_STATUS_INFEASIBLE;
      return;
    }
    s.status = stopped ? VLM_STATUS_SUB_OPTIMAL : VLM_STATUS_OPTIMAL;
    set_primal(data_, pool_.front().second.data(), s);
    for (const auto& e : pool_) s.pool.emplace_back(e.second.begin(), e.second.begin() + sm_.user_cols);
    s.sol_count = static_cast<int>(s.pool.size());
    double bound = incumbent_;
    for (const Node& n : open_nodes()) bound = std::min(bound, n.bound);
    const double user_bound = sm_.sense * bound + sm_.obj_const;
    s.gap_abs = std::fabs(s.primal_obj - user_bound);
    s.gap_rel = s.gap_abs / std::max(1e-10, std::fabs(s.primal_obj));
    s.has_gap = true;
    run_.log.linef("Branch-and-bound: %d nodes, %d solutions, %d simplex iterations", nodes_, solutions_, iterations_);
    if (interior_runs_ > 0)
      run_.log.linef("%d relaxations solved by the interior point method", interior_runs_);
  }

  using Queue = std::priority_queue<Node, std::vector<Node>, Worse>;

  const ModelData& data_;
  const SolverModel& sm_;
  RunControl& run_;
  const ParamValues& p_;
  LogMessageHandler messages_;
  CallbackSession* session_;
  SolverModel* unbounded_node_;
  ClpSimplex lp_;
  ClpRunState state_{};
  QuadraticGuard guard_;
  std::vector<double> x_, rc_;  // the point and reduced costs of the last relaxation solved
  int interior_runs_ = 0, interior_iters_ = 0;
  QpTolerances relaxation_tol_;
  std::unique_ptr<ClpRunHandler> handler_;
  double int_tol_ = 1e-6, cutoff_ = COIN_DBL_MAX;
  Queue open_{Worse{this}};
  bool have_incumbent_ = false, unbounded_ = false, incomplete_ = false;
  double incumbent_ = COIN_DBL_MAX;
  int nodes_ = 0, solutions_ = 0, last_improvement_ = 0, iterations_ = 0, cut_rows_ = 0;
  long long seq_ = 0;
  std::vector<std::pair<double, std::vector<double>>> pool_;  // best first, solver columns
};

}  // namespace

RunOutcome solve_miqp(const ModelData& data, const SolverModel& sm, RunControl& run, CallbackSession* session,
                      SolverModel* unbounded_node) {
  log_reformulation(sm, run.log);
  run.log.line("Solving MIQP by branch-and-bound over CLP");
  Search search(data, sm, run, session, unbounded_node);
  return search.run();
}

}  // namespace velmor
