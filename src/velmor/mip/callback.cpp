// The callback engine's solver-independent part (see callback.hpp) and the
// VLMcb* entry points.
#include "mip/callback.hpp"

#include <algorithm>
#include <cmath>
#include <memory>

#include <ClpSimplex.hpp>
#include <CoinFinite.hpp>

#include "lp/clp_model.hpp"
#include "core/validate.hpp"

namespace velmor {

namespace {

double library_bound(double v) {
  if (v >= COIN_DBL_MAX) return VLM_INFINITY;
  if (v <= -COIN_DBL_MAX) return -VLM_INFINITY;
  return v;
}

bool is_array_what(int what) {
  switch (what) {
    case VLM_CB_PRE_LB: case VLM_CB_PRE_UB: case VLM_CB_PRE_LHS: case VLM_CB_PRE_RHS: case VLM_CB_PRE_OBJ:
    case VLM_CB_PRE_ISINT: case VLM_CB_PRE_ELEMENTS: case VLM_CB_PRE_INDICES: case VLM_CB_PRE_STARTS:
    case VLM_CB_MIP_SOLPRE: case VLM_CB_MIP_RELPRE: case VLM_CB_MIP_RELRDCPRE: case VLM_CB_MIP_LB:
    case VLM_CB_MIP_UB: case VLM_CB_MIP_SOL: case VLM_CB_MIP_REL:
      return true;
    default: return false;
  }
}

bool within(double v, double lb, double ub) {
  if (lb > -COIN_DBL_MAX && v < lb - kCheckTolerance * std::max(1.0, std::fabs(lb))) return false;
  if (ub < COIN_DBL_MAX && v > ub + kCheckTolerance * std::max(1.0, std::fabs(ub))) return false;
  return true;
}

}  // namespace

CallbackSession::CallbackSession(VLMmodel& model, const ModelData& data, const SolverModel& sm, RunControl& run)
    : model_(model), fn_(model.callback), usrdata_(model.callback_data), data_(data), sm_(sm), run_(run) {
  const int n = sm.user_cols, m = sm.user_rows;
  pre_lb_.resize(static_cast<size_t>(n));
  pre_ub_.resize(static_cast<size_t>(n));
  pre_obj_.resize(static_cast<size_t>(n));
  pre_isint_.resize(static_cast<size_t>(n));
  pre_starts_.assign(static_cast<size_t>(n) + 1, 0);
  for (int j = 0; j < n; ++j) {
    const size_t k = static_cast<size_t>(j);
    pre_lb_[k] = library_bound(sm.col_lb[k]);
    pre_ub_[k] = library_bound(sm.col_ub[k]);
    pre_obj_[k] = sm.sense * sm.obj[k];
    pre_isint_[k] = sm.is_int[k] ? 1 : 0;
    for (int e = sm.col_start[k]; e < sm.col_start[k + 1]; ++e) {
      const int row = sm.row_index[static_cast<size_t>(e)];
      if (row >= m) continue;  // a row of the reformulation
      pre_indices_.push_back(row);
      pre_elements_.push_back(sm.value[static_cast<size_t>(e)]);
    }
    pre_starts_[k + 1] = static_cast<int>(pre_indices_.size());
  }
  pre_nnz_ = static_cast<int>(pre_indices_.size());
  pre_lhs_.resize(static_cast<size_t>(m));
  pre_rhs_.resize(static_cast<size_t>(m));
  for (int i = 0; i < m; ++i) {
    pre_lhs_[static_cast<size_t>(i)] = library_bound(sm.row_lb[static_cast<size_t>(i)]);
    pre_rhs_[static_cast<size_t>(i)] = library_bound(sm.row_ub[static_cast<size_t>(i)]);
  }
}

bool CallbackSession::turn(TurnData& t) {
  if (answer_ != 0) return false;
  t.session = this;
  if (t.where == VLM_CB_MIPSTART) started_ = true;
  int answer;
  try {
    answer = fn_(&model_, &t, t.where, usrdata_);
  } catch (...) {
    answer = VLM_ERROR_ERROR;  // a C++ callback that threw
  }
  t.session = nullptr;  // the cbdata of a finished turn answers nothing
  if (answer != 0) {
    answer_ = answer;
    run_.stop(VLM_ERROR_ABORT_CTRL_C);
    run_.log.linef("The callback answered %d: stopping", answer);
    return false;
  }
  return true;
}

bool CallbackSession::wants_candidate(const double* x, double min_value) const {
  if (reported_incumbent_) {
    if (std::equal(last_incumbent_.begin(), last_incumbent_.end(), x)) return false;
    if (min_value >= last_incumbent_min_ - 1e-9 * std::max(1.0, std::fabs(last_incumbent_min_))) return false;
  }
  return !turned_as_candidate(x);
}

bool CallbackSession::turned_as_candidate(const double* x) const {
  return !last_candidate_.empty() && std::equal(last_candidate_.begin(), last_candidate_.end(), x);
}

bool CallbackSession::new_incumbent(const double* x, double min_value) {
  const size_t n = static_cast<size_t>(sm_.user_cols);
  if (reported_incumbent_) {
    if (std::equal(last_incumbent_.begin(), last_incumbent_.end(), x)) return false;
    if (min_value >= last_incumbent_min_ - 1e-9 * std::max(1.0, std::fabs(last_incumbent_min_))) return false;
  }
  last_incumbent_.assign(x, x + n);
  last_incumbent_min_ = min_value;
  reported_incumbent_ = true;
  return true;
}

double CallbackSession::violation(const StoredCut& cut, const double* x) {
  double activity = 0, scale = 1;
  for (const Entry& e : cut.row) {
    const double term = e.value * x[e.index];
    activity += term;
    scale = std::max(scale, std::fabs(term));
  }
  if (cut.lb > -COIN_DBL_MAX) scale = std::max(scale, std::fabs(cut.lb));
  if (cut.ub < COIN_DBL_MAX) scale = std::max(scale, std::fabs(cut.ub));
  const double over = std::max(activity - cut.ub, cut.lb - activity);
  return over > 0 ? over / scale : 0.0;
}

bool CallbackSession::satisfies_cuts(const double* x) const {
  for (const StoredCut& c : cuts_)
    if (violation(c, x) > kCheckTolerance) return false;
  return true;
}

std::vector<CheckedSolution> CallbackSession::take_solutions() {
  std::vector<CheckedSolution> out;
  out.swap(solutions_);
  return out;
}

// ---- data of a turn ----------------------------------------------------------------

const std::vector<double>& CallbackSession::doubles(TurnData& t, int what) {
  const size_t n = static_cast<size_t>(sm_.user_cols);
  if (t.doubles.empty()) t.doubles.resize(VLM_CB_MIP_REL + 1);
  std::vector<double>& v = t.doubles[static_cast<size_t>(what)];
  if (!v.empty() || n == 0) return v;
  v.resize(n);
  for (size_t j = 0; j < n; ++j) {
    switch (what) {
      case VLM_CB_MIP_RELPRE:
      case VLM_CB_MIP_REL: v[j] = t.x[j]; break;
      case VLM_CB_MIP_RELRDCPRE: v[j] = sm_.sense * t.reduced_cost[j]; break;
      // (At a stand-in bound of the search the column has none of its own.)
      case VLM_CB_MIP_LB:
        v[j] = sm_.col_lb[j] <= -COIN_DBL_MAX && t.stand_in > 0 && t.col_lb[j] <= -t.stand_in
                   ? -VLM_INFINITY
                   : library_bound(t.col_lb[j]);
        break;
      case VLM_CB_MIP_UB:
        v[j] = sm_.col_ub[j] >= COIN_DBL_MAX && t.stand_in > 0 && t.col_ub[j] >= t.stand_in
                   ? VLM_INFINITY
                   : library_bound(t.col_ub[j]);
        break;
      default: v[j] = t.incumbent[j]; break;  // MIP_SOL, MIP_SOLPRE
    }
  }
  return v;
}

int CallbackSession::get(TurnData& t, int what, void* result, int* length) {
  const int n = sm_.user_cols, m = sm_.user_rows;
  const bool have_incumbent = t.incumbent != nullptr && t.incumbent_min < 1e299;
  int count = 1;
  int ivalue = 0;
  double dvalue = 0;
  const void* array = nullptr;
  switch (what) {
    case VLM_CB_PRE_NUMVARS: ivalue = n; break;
    case VLM_CB_PRE_NUMCONSTRS: ivalue = m; break;
    case VLM_CB_PRE_NUMNZS: ivalue = pre_nnz_; break;
    case VLM_CB_PRE_LB: array = pre_lb_.data(), count = n; break;
    case VLM_CB_PRE_UB: array = pre_ub_.data(), count = n; break;
    case VLM_CB_PRE_LHS: array = pre_lhs_.data(), count = m; break;
    case VLM_CB_PRE_RHS: array = pre_rhs_.data(), count = m; break;
    case VLM_CB_PRE_OBJ: array = pre_obj_.data(), count = n; break;
    case VLM_CB_PRE_ISINT: array = pre_isint_.data(), count = n; break;
    case VLM_CB_PRE_ELEMENTS: array = pre_elements_.data(), count = pre_nnz_; break;
    case VLM_CB_PRE_INDICES: array = pre_indices_.data(), count = pre_nnz_; break;
    case VLM_CB_PRE_STARTS: array = pre_starts_.data(), count = n + 1; break;
    case VLM_CB_PRE_OBJCONST: dvalue = sm_.obj_const; break;
    case VLM_CB_MIP_OBJBST:
      dvalue = have_incumbent ? user_value(t.incumbent_min) : sm_.sense * VLM_INFINITY;
      break;
    case VLM_CB_MIP_OBJBND: {
      double bound = t.bound_min;
      if (have_incumbent) bound = std::min(bound, t.incumbent_min);
      dvalue = bound <= -1e299 ? -sm_.sense * VLM_INFINITY : user_value(bound);
      break;
    }
    case VLM_CB_MIP_RELVAL:
      if (!t.has_relaxation) return VLM_ERROR_DATA_NOT_AVAILABLE;
      dvalue = user_value(t.relaxation_min);
      break;
    case VLM_CB_MIP_SOLPRE:
    case VLM_CB_MIP_SOL:
      if (!have_incumbent) return VLM_ERROR_DATA_NOT_AVAILABLE;
      array = doubles(t, what).data(), count = n;
      break;
    case VLM_CB_MIP_RELPRE:
    case VLM_CB_MIP_RELRDCPRE:
    case VLM_CB_MIP_LB:
    case VLM_CB_MIP_UB:
    case VLM_CB_MIP_REL:
      if (!t.has_relaxation) return VLM_ERROR_DATA_NOT_AVAILABLE;
      array = doubles(t, what).data(), count = n;
      break;
    case VLM_CB_MIP_NODCNT: ivalue = t.nodes; break;
    case VLM_CB_MIP_SOLCNT: ivalue = t.solutions; break;
    case VLM_CB_MIP_CUTCNT: ivalue = t.cuts_applied; break;
    case VLM_CB_MIP_NODLFT: ivalue = t.open_nodes; break;
    case VLM_CB_MIP_NODEID: ivalue = t.node_id; break;
    case VLM_CB_MIP_DEPTH: ivalue = t.depth; break;
    case VLM_CB_MIP_PHASE:
      if (!have_incumbent) {
        ivalue = 0;
      } else {
        const double bound = std::min(t.bound_min, t.incumbent_min);
        const double gap = bound <= -1e299 ? 1e300 : (t.incumbent_min - bound) /
                                                          std::max(1e-10, std::fabs(user_value(t.incumbent_min)));
        ivalue = gap <= 1e-2 ? 2 : 1;
      }
      break;
    default: return VLM_ERROR_CB_INVALID_WHAT;
  }
  if (length) {
    *length = count;
    return VLM_OKAY;
  }
  if (is_array_what(what)) {
    // An empty array is handed out as a valid pointer all the same.
    static const double kNoDoubles[1] = {0.0};
    *static_cast<const void**>(result) = count > 0 ? array : kNoDoubles;
  } else if (what <= VLM_CB_PRE_NUMNZS || (what >= VLM_CB_MIP_NODCNT && what <= VLM_CB_MIP_PHASE)) {
    *static_cast<int*>(result) = ivalue;
  } else {
    *static_cast<double*>(result) = dvalue;
  }
  return VLM_OKAY;
}

// ---- submissions -------------------------------------------------------------------

int CallbackSession::add_cut(TurnData& t, int nnz, const int* ind, const double* val, char sense, double rhs) {
  if (t.where != VLM_CB_MIPNODE && t.where != VLM_CB_MIPSOL) return VLM_ERROR_CB_INVALID_WHERE;
  check_count(nnz);
  check_array(ind, nnz);
  check_array(val, nnz);
  if (!std::isfinite(rhs)) refuse(VLM_ERROR_INVALID_ARGUMENT);
  checked_sense(sense);
  StoredCut cut{make_sparse(ind, val, nnz, sm_.user_cols, VLM_ERROR_MODEL_INVALID_COL_IDX), -COIN_DBL_MAX,
                COIN_DBL_MAX};
  cut.row.erase(std::remove_if(cut.row.begin(), cut.row.end(), [](const Entry& e) { return e.value == 0.0; }),
                cut.row.end());
  if (sense != VLM_GREATER_EQUAL) cut.ub = rhs;
  if (sense != VLM_LESS_EQUAL) cut.lb = rhs;
  if (cut.row.empty()) return cut.lb <= 0 && 0 <= cut.ub ? VLM_CB_SUBMIT_REFUSED : VLM_CB_SUBMIT_INVALID;
  // CLP's simplex fails on a row with a coefficient or side this large (the
  // quadratic primal died in the next node's relaxation), as on such an
  // objective: the cut is not taken.
  if (std::fabs(rhs) >= kCutValueLimit) return VLM_CB_SUBMIT_REFUSED;
  for (const Entry& e : cut.row)
    if (std::fabs(e.value) >= kCutValueLimit) return VLM_CB_SUBMIT_REFUSED;
  // A cut that the incumbent violates would make an accepted solution
  // infeasible after the fact: the search has already pruned by it. A
  // candidate at MIPSOL is not accepted yet: cutting it off refuses it.
  const double* kept = t.candidate ? t.accepted : (t.incumbent_min < 1e299 ? t.incumbent : nullptr);
  if (kept && violation(cut, kept) > kCheckTolerance) return VLM_CB_SUBMIT_INVALID;
  // So would one that a proposed solution, accepted but not yet handed to
  // the solver, violates (CBC asserted on such a solution it was handed).
  for (const CheckedSolution& c : solutions_)
    if (violation(cut, c.x.data()) > kCheckTolerance) return VLM_CB_SUBMIT_INVALID;
  for (const StoredCut& c : cuts_) {
    if (c.lb != cut.lb || c.ub != cut.ub || c.row.size() != cut.row.size()) continue;
    if (std::equal(c.row.begin(), c.row.end(), cut.row.begin(),
                   [](const Entry& a, const Entry& b) { return a.index == b.index && a.value == b.value; }))
      return VLM_CB_SUBMIT_REFUSED;
  }
  cuts_.push_back(std::move(cut));
  return VLM_CB_SUBMIT_OK;
}

int CallbackSession::add_branch(TurnData& t, int index, double value, int way) {
  if (t.where != VLM_CB_MIPNODE) return VLM_ERROR_CB_INVALID_WHERE;
  check_index(index, sm_.user_cols, VLM_ERROR_MODEL_INVALID_COL_IDX);
  if (std::isnan(value)) refuse(VLM_ERROR_INVALID_ARGUMENT);
  const size_t j = static_cast<size_t>(index);
  if (!sm_.is_int[j]) return VLM_CB_SUBMIT_INVALID;
  if (!within(value, t.col_lb[j], t.col_ub[j])) return VLM_CB_SUBMIT_INVALID;
  // The branch splits at the relaxation's value; a column the relaxation
  // already holds at an integer gives no branch at this node.
  const double at = t.x[j];
  if (std::fabs(at - std::round(at)) <= run_.params.get(kMipIntegerTolerance)) return VLM_CB_SUBMIT_REFUSED;
  t.branch.col = index;
  t.branch.way = way > 0 ? 1 : way < 0 ? -1 : 0;
  return VLM_CB_SUBMIT_OK;
}

void CallbackSession::offer_repaired(const double* x, double incumbent_min) {
  const size_t n = static_cast<size_t>(sm_.user_cols);
  std::vector<double> given(x, x + n);
  for (size_t j = 0; j < n; ++j)
    if (!sm_.is_int[j]) given[j] = VLM_UNDEFINED;
  if (given == last_repaired_) return;
  last_repaired_ = given;
  std::vector<double> repaired;
  if (!complete(given.data(), repaired)) return;
  const double min_value = sm_.min_objective(repaired.data());
  if (min_value < incumbent_min - run_.params.get(kMipObjectiveTolerance))
    solutions_.push_back({std::move(repaired), min_value});
}

int CallbackSession::add_solution(TurnData& t, const double* values, double* objval) {
  const int n = sm_.user_cols;
  for (int j = 0; j < n; ++j)
    if (values[j] != VLM_UNDEFINED && !std::isfinite(values[j])) refuse(VLM_ERROR_INVALID_ARGUMENT);
  std::vector<double> x;
  if (!complete(values, x)) {
    *objval = sm_.sense * VLM_INFINITY;
    return VLM_CB_SUBMIT_INVALID;
  }
  const double min_value = sm_.min_objective(x.data());
  *objval = user_value(min_value);
  const ParamValues& p = run_.params;
  if (t.incumbent_min < 1e299 && min_value >= t.incumbent_min - p.get(kMipObjectiveTolerance))
    return VLM_CB_SUBMIT_REFUSED;
  const double cutoff = p.get(kMipCutoff);
  if (std::fabs(cutoff) < VLM_INFINITY && min_value >= sm_.sense * (cutoff - sm_.obj_const))
    return VLM_CB_SUBMIT_REFUSED;
  solutions_.push_back({std::move(x), min_value});
  return VLM_CB_SUBMIT_OK;
}

namespace {

// The completion of a proposed solution (CallbackSession::complete), in its
// steps: the values given fixed; what they imply fixed, in rounds; an LP over
// the rest; the switches of the semi-continuous columns its point decides,
// and the LP again; the integers rounded.
class Completion {
 public:
  Completion(const SolverModel& sm, RunControl& run, const std::vector<StoredCut>& cuts)
      : sm_(sm),
        run_(run),
        cuts_(cuts),
        n_(sm.num_cols()),
        m_(sm.num_rows()),
        int_tol_(run.params.get(kMipIntegerTolerance)),
        lb_(sm.col_lb),
        ub_(sm.col_ub),
        fixed_(static_cast<size_t>(n_), 0) {}

  double integer_tolerance() const { return int_tol_; }

  // The values given fixed, integers rounded within the tolerance; false
  // when one is no integer or outside its bounds.
  bool fix_given(const double* values) {
    for (int j = 0; j < sm_.user_cols; ++j) {
      double v = values[j];
      if (v == VLM_UNDEFINED) continue;
      if (sm_.is_int[static_cast<size_t>(j)]) {
        if (std::fabs(v - std::round(v)) > int_tol_) return false;
        v = std::round(v);
      }
      if (!fix(j, v)) return false;
    }
    return fix_switches();
  }

  // What the fixed values imply, fixed in turn: the columns of equality
  // rows, the zero members of SOS sets, the switches; three rounds.
  bool fix_implied() {
    // Rows by row, for the equality propagation.
    rows_.assign(static_cast<size_t>(m_), SparseVector());
    for (int j = 0; j < n_; ++j)
      for (int e = sm_.col_start[static_cast<size_t>(j)]; e < sm_.col_start[static_cast<size_t>(j) + 1]; ++e)
        rows_[static_cast<size_t>(sm_.row_index[static_cast<size_t>(e)])].push_back(
            {j, sm_.value[static_cast<size_t>(e)]});
    for (int round = 0; round < 3; ++round)
      if (!propagate() || !sos_zeros() || !fix_switches()) return false;
    return true;
  }

  // The switches of the semi-continuous columns still open, fixed as the
  // point x decides them; `again` tells whether any was.
  bool fix_switches_at(const std::vector<double>& x, bool& again) {
    for (const auto& s : sm_.semi_switch) {
      if (fixed_[static_cast<size_t>(s.first)]) continue;
      if (!fix(s.second, std::fabs(x[static_cast<size_t>(s.first)]) > int_tol_ ? 1.0 : 0.0)) return false;
      again = true;
    }
    return true;
  }

  // The integer columns of x within the tolerance of an integer, rounded.
  void round_integers(std::vector<double>& x) const {
    for (int j = 0; j < n_; ++j) {
      const size_t k = static_cast<size_t>(j);
      if (sm_.is_int[k] && std::fabs(x[k] - std::round(x[k])) <= int_tol_) x[k] = std::round(x[k]);
    }
  }

  // The LP over the columns not fixed, with the stored cuts as rows: its
  // optimum into `out`, or any feasible point when it has none; false when
  // it finds neither.
  bool solve(std::vector<double>& out) {
    LogMessageHandler messages(run_.log, 0);
    ClpSimplex lp;
    lp.passInMessageHandler(&messages);
    QuadraticGuard guard;  // CLP's quadratic primal can loop without end: stopped
    guard.run = &run_;
    load(lp, guard);
    if (sm_.has_quad())
      lp.primal();
    else
      lp.dual();
    if (guard.tripped) return false;
    if (lp.status() == 2) {  // no best completion: any feasible one will do
      for (int j = 0; j < n_; ++j) lp.setObjectiveCoefficient(j, 0.0);
      lp.setOptimizationDirection(1.0);
      if (sm_.has_quad()) {
        ClpSimplex plain(lp);
        drop_quadratic_objective(plain);
        plain.passInMessageHandler(&messages);
        plain.primal();
        if (plain.status() != 0) return false;
        out.assign(plain.primalColumnSolution(), plain.primalColumnSolution() + n_);
        return true;
      }
      lp.primal();
    }
    if (guard.tripped || lp.status() != 0) return false;
    out.assign(lp.primalColumnSolution(), lp.primalColumnSolution() + n_);
    return true;
  }

 private:
  // Column j fixed at v (clamped into its bounds); false when v lies outside
  // them, or j is fixed at another value already.
  bool fix(int j, double v) {
    const size_t k = static_cast<size_t>(j);
    if (fixed_[k]) return std::fabs(lb_[k] - v) <= kCheckTolerance * std::max(1.0, std::fabs(v));
    if (!within(v, lb_[k], ub_[k])) return false;
    v = std::min(std::max(v, lb_[k]), ub_[k]);
    lb_[k] = ub_[k] = v;
    fixed_[k] = 1;
    return true;
  }

  // The switch of every fixed semi-continuous column: on when it is non-zero.
  bool fix_switches() {
    for (const auto& s : sm_.semi_switch)
      if (fixed_[static_cast<size_t>(s.first)] &&
          !fix(s.second, std::fabs(lb_[static_cast<size_t>(s.first)]) > 0 ? 1.0 : 0.0))
        return false;
    return true;
  }

  // The one open column of an equality row, fixed by the row.
  bool propagate() {
    for (int i = 0; i < m_; ++i) {
      const size_t r = static_cast<size_t>(i);
      if (sm_.row_lb[r] != sm_.row_ub[r] || std::fabs(sm_.row_lb[r]) >= COIN_DBL_MAX) continue;
      int free_col = -1, free_count = 0;
      double coef = 0, rest = 0;
      for (const Entry& e : rows_[r]) {
        if (fixed_[static_cast<size_t>(e.index)]) {
          rest += e.value * lb_[static_cast<size_t>(e.index)];
        } else if (e.value != 0) {
          ++free_count;
          free_col = e.index;
          coef = e.value;
        }
      }
      if (free_count == 1 && !fix(free_col, (sm_.row_lb[r] - rest) / coef)) return false;
    }
    return true;
  }

  // The members of an SOS that its fixed non-zero members leave out, fixed
  // at 0; false when those break the set.
  bool sos_zeros() {
    for (const SolverSos& s : sm_.sos) {
      std::vector<int> nonzero;
      for (size_t k = 0; k < s.members.size(); ++k) {
        const size_t c = static_cast<size_t>(s.members[k]);
        if (fixed_[c] && std::fabs(lb_[c]) > int_tol_) nonzero.push_back(static_cast<int>(k));
      }
      if (nonzero.empty()) continue;
      int first = nonzero.front(), last = nonzero.back();
      if (last - first + 1 > s.type) return false;
      if (s.type == 2 && first == last) first = std::max(0, first - 1), last = std::min<int>(last + 1, static_cast<int>(s.members.size()) - 1);
      for (int k = 0; k < static_cast<int>(s.members.size()); ++k)
        if ((k < first || k > last) && !fix(s.members[static_cast<size_t>(k)], 0.0)) return false;
    }
    return true;
  }

  // The solver model in CLP with the bounds of the completion and the
  // stored cuts as rows.
  void load(ClpSimplex& lp, QuadraticGuard& guard) const {
    load_clp(sm_, lp);
    guard_quadratic_objective(lp, &guard);
    for (int j = 0; j < n_; ++j) {
      lp.columnLower()[j] = lb_[static_cast<size_t>(j)];
      lp.columnUpper()[j] = ub_[static_cast<size_t>(j)];
    }
    for (const StoredCut& c : cuts_) {
      std::vector<int> idx;
      std::vector<double> val;
      for (const Entry& e : c.row) idx.push_back(e.index), val.push_back(e.value);
      lp.addRow(static_cast<int>(idx.size()), idx.data(), val.data(), c.lb, c.ub);
    }
    lp.setPrimalTolerance(run_.params.get(kSpxPrimalTolerance));
    lp.setDualTolerance(run_.params.get(kSpxDualTolerance));
  }

  const SolverModel& sm_;
  RunControl& run_;
  const std::vector<StoredCut>& cuts_;
  const int n_, m_;
  const double int_tol_;
  std::vector<double> lb_, ub_;  // the bounds, fixed columns at their values
  std::vector<char> fixed_;
  std::vector<SparseVector> rows_;  // the rows' entries, by row
};

}  // namespace

// A proposed solution becomes a point of the solver model: the values given
// are fixed (integers rounded within MIP/IntegerTolerance), and so is what
// they imply (the switch of a semi-continuous column, a column fixed by an
// equality row, the zero members of an SOS that a non-zero member decides);
// an LP over the rest, with the stored cuts as rows, completes it at its
// best objective. The result must then pass every check of the model.
bool CallbackSession::complete(const double* values, std::vector<double>& x) {
  Completion c(sm_, run_, cuts_);
  if (!c.fix_given(values) || !c.fix_implied()) return false;
  if (!c.solve(x)) return false;
  bool again = false;
  if (!c.fix_switches_at(x, again)) return false;
  if (again && !c.solve(x)) return false;
  c.round_integers(x);
  return is_feasible(sm_, x.data(), kCheckTolerance, true, c.integer_tolerance()) && satisfies_cuts(x.data());
}

}  // namespace velmor

using velmor::TurnData;

namespace {

// The turn behind `cbdata`, or null when it is not an open turn.
TurnData* open_turn(void* cbdata) {
  auto* t = static_cast<TurnData*>(cbdata);
  return t && t->session ? t : nullptr;
}

}  // namespace

extern "C" {

int VLMcbget(void* cbdata, int where, int what, void* result) {
  TurnData* t = open_turn(cbdata);
  if (!t || !result) return VLM_ERROR_INVALID_ARGUMENT;
  if (where != t->where) return VLM_ERROR_CB_INVALID_WHERE;
  return velmor::api_call([&] { return t->session->get(*t, what, result, nullptr); });
}

int VLMcbgetlength(void* cbdata, int where, int what, int* length) {
  TurnData* t = open_turn(cbdata);
  if (!t || !length) return VLM_ERROR_INVALID_ARGUMENT;
  if (where != t->where) return VLM_ERROR_CB_INVALID_WHERE;
  return velmor::api_call([&] { return t->session->get(*t, what, nullptr, length); });
}

int VLMcbcut(void* cbdata, int nnz, const int* ind, const double* val, char sense, double rhs) {
  TurnData* t = open_turn(cbdata);
  if (!t) return VLM_ERROR_INVALID_ARGUMENT;
  return velmor::api_call([&] { return t->session->add_cut(*t, nnz, ind, val, sense, rhs); });
}

int VLMcbcutp(void* cbdata, int nnz, const int* ind, const double* val, char sense, double rhs) {
  return VLMcbcut(cbdata, nnz, ind, val, sense, rhs);
}

int VLMcbbranch(void* cbdata, int index, double value, int way) {
  TurnData* t = open_turn(cbdata);
  if (!t) return VLM_ERROR_INVALID_ARGUMENT;
  return velmor::api_call([&] { return t->session->add_branch(*t, index, value, way); });
}

int VLMcbbranchp(void* cbdata, int index, double value, int way) { return VLMcbbranch(cbdata, index, value, way); }

int VLMcbsolution(void* cbdata, const double* sol, double* objval) {
  TurnData* t = open_turn(cbdata);
  if (!t || !sol || !objval) return VLM_ERROR_INVALID_ARGUMENT;
  return velmor::api_call([&] { return t->session->add_solution(*t, sol, objval); });
}

int VLMcbsolutionp(void* cbdata, const double* sol, double* objval) { return VLMcbsolution(cbdata, sol, objval); }

}  // extern "C"
