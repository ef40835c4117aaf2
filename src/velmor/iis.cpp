// VLMcomputeIIS: an irreducible inconsistent subsystem of an infeasible
// model, as a set of bound sides of variables and row sides (lower, upper).
//
// The candidates are the sides of the model's own rows and of its
// variables' bounds; the rest of the model stays in force throughout and is
// never reported: integrality, SOS, indicator constraints, the ranges of
// semi-continuous variables (whose bounds are no candidates) and the rows and
// columns standing in for them. The objective plays no part.
//
// Linear models (and the LP relaxation of discrete ones), over CLP:
//  1. Feasibility run on the whole model: feasible means no IIS.
//  2. Elastic filter: every candidate side gets an elastic column that
//     relaxes it at a cost; the total elasticity is minimised, every side
//     whose elastic column is used is enforced (its column removed), and
//     again, until the enforced sides alone are infeasible.
//  3. Deletion filter over the enforced sides, all others dropped: each side
//     in turn is dropped for good when the rest stays infeasible. What stays
//     is irreducible. The LPs of a filter are solved warm, from the basis of
//     the previous one.
// Discrete models: when the LP relaxation is infeasible, its IIS comes first
// and a deletion filter with MIP solves makes it irreducible for the model
// itself; otherwise the deletion filter runs with MIP solves over every
// candidate. A MIP solve stops at the first solution; the model's callback
// gets its turns in each, and a non-zero answer ends the computation with
// that answer. MaxTime bounds the whole computation: running out gives
// VLM_ERROR_IIS_NO_SOLN. A final set that a fresh solve finds feasible (the
// solver contradicting itself) gives VLM_ERROR_IIS_NUMERIC.
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include <ClpSimplex.hpp>
#include <CoinFinite.hpp>

#include "mip/callback.hpp"
#include "mip/cbc_solver.hpp"
#include "lp/clp_model.hpp"
#include "sdp/sdp_solver.hpp"
#include "solve/solve.hpp"

namespace velmor {

namespace {

// A candidate: one side of a row or of a variable's bounds.
struct Side {
  bool row;
  int index;
  bool upper;
};

// Outcome of one feasibility question.
enum class Answer { Feasible, Infeasible, Stopped };

// Thrown to end the computation with a code.
struct IisEnd {
  int code;
};

// The candidate sides of a model, and the feasibility questions the phases
// of the search ask about sets of them (the LP relaxation by CLP, the model
// itself by a MIP solve), all under the one clock of the computation.
class SideQuestions {
 public:
  SideQuestions(VLMmodel& m, const SolverModel& sm, SolveLog& log)
      : model_(m), sm_(sm), log_(log), run_(m.env->params, log) {
    const ModelData& d = m.data;
    for (int i = 0; i < sm.user_rows; ++i) {
      if (sm.row_lb[static_cast<size_t>(i)] > -COIN_DBL_MAX) sides_.push_back({true, i, false});
      if (sm.row_ub[static_cast<size_t>(i)] < COIN_DBL_MAX) sides_.push_back({true, i, true});
    }
    for (int j = 0; j < sm.user_cols; ++j) {
      const char t = d.cols.type[static_cast<size_t>(j)];
      if (t == VLM_SEMICONT || t == VLM_SEMIINT) continue;
      if (sm.col_lb[static_cast<size_t>(j)] > -COIN_DBL_MAX) sides_.push_back({false, j, false});
      if (sm.col_ub[static_cast<size_t>(j)] < COIN_DBL_MAX) sides_.push_back({false, j, true});
    }
  }

  const std::vector<Side>& sides() const { return sides_; }
  const SolverModel& solver_model() const { return sm_; }
  SolveLog& log() { return log_; }
  RunControl& run() { return run_; }

  std::vector<char> mask(const std::vector<int>& members) const {
    std::vector<char> on(sides_.size(), 0);
    for (int k : members) on[static_cast<size_t>(k)] = 1;
    return on;
  }

  // The solver model with the sides that are off dropped, and no objective.
  SolverModel feasibility_model(const std::vector<char>& on) const {
    SolverModel f = sm_;
    std::fill(f.obj.begin(), f.obj.end(), 0.0);
    f.h_start.clear();
    f.h_index.clear();
    f.h_value.clear();
    for (size_t k = 0; k < sides_.size(); ++k) {
      if (on[k]) continue;
      const Side& s = sides_[k];
      std::vector<double>& v = s.row ? (s.upper ? f.row_ub : f.row_lb) : (s.upper ? f.col_ub : f.col_lb);
      v[static_cast<size_t>(s.index)] = s.upper ? COIN_DBL_MAX : -COIN_DBL_MAX;
    }
    return f;
  }

  void limit_time(ClpSimplex& lp) {
    if (run_.time_up()) throw IisEnd{VLM_ERROR_IIS_NO_SOLN};
    if (run_.remaining() < COIN_DBL_MAX) lp.setMaximumWallSeconds(run_.remaining());
  }

  static Answer clp_answer(const ClpSimplex& lp) {
    switch (lp.status()) {
      case 0: return Answer::Feasible;
      case 1: return Answer::Infeasible;
      default: return Answer::Stopped;
    }
  }

  // CLP's answer on `lp` from the basis it holds: the dual simplex, an
  // infeasibility it finds confirmed by the primal. Warm from the basis the
  // dual gave up on, the primal starts where the dual left the columns
  // without a finite bound, at its stand-in bounds (1e10: every elastic
  // column, and the model's columns whose bounds are rows), and has stopped
  // on errors there (status 4, on rounds of the elastic filter whose
  // enforced sides were infeasible): a run that ends so is made again by the
  // primal from the slack basis.
  static Answer solved(ClpSimplex& lp) {
    lp.dual();
    if (lp.status() == 1) lp.primal();
    if (lp.status() == 4) {
      lp.allSlackBasis(true);
      lp.primal();
    }
    return clp_answer(lp);
  }

  // Whether the LP relaxation with the sides in `on` has a solution; a
  // fresh solve.
  Answer lp_feasible(const std::vector<char>& on) {
    const SolverModel f = feasibility_model(on);
    LogMessageHandler messages(log_, 0);
    ClpSimplex lp;
    lp.passInMessageHandler(&messages);
    load_clp(f, lp);
    apply_simplex_params(run_.params, lp);
    limit_time(lp);
    return solved(lp);
  }

  // Whether the model (integrality and all) with the sides in `on` has a
  // solution, stopped at the first one: CBC, or our branch-and-bound where
  // CBC cannot take the SOS sets (a member that may be negative).
  Answer mip_feasible(const std::vector<char>& on, double budget = VLM_INFINITY) {
    if (run_.time_up()) throw IisEnd{VLM_ERROR_IIS_NO_SOLN};
    SolverModel f = feasibility_model(on);
    // The sides of rows over integer columns on their lattice, exact for
    // this question; rows that leave no integer point answer it without a
    // search, which over free integers may never end.
    if (!round_integer_rows(f).proof.empty()) return Answer::Infeasible;
    ParamValues params = run_.params;
    params.set(kMipMaxSols, 1);
    params.set(kMipCutoff, VLM_INFINITY);
    const double left = std::min(run_.remaining(), budget);
    params.set(kMaxTime, std::isfinite(left) ? left : VLM_INFINITY);
    RunControl run(params, log_);
    RunOutcome out;
    if (model_.callback) {
      CallbackSession session(model_, model_.data, f, run);
      out = has_sos_member_beyond_cbc(f) ? solve_miqp(model_.data, f, run, &session)
                                       : solve_cbc_with_callback(session, model_.data, f, run);
      if (session.stopped()) throw IisEnd{session.answer()};
    } else {
      // (The checks of mip_verdicts.cpp read the model as given, which these
      // solves, with some of its sides left out, are not of.)
      out = has_sos_member_beyond_cbc(f) ? solve_miqp(model_.data, f, run) : run_cbc(model_.data, f, run, nullptr);
    }
    if (out.code != VLM_OKAY) throw IisEnd{VLM_ERROR_IIS_NUMERIC};
    if (out.solution.has_primal) return Answer::Feasible;
    if (out.solution.status == VLM_STATUS_INFEASIBLE) return Answer::Infeasible;
    if (run.stopped_by() == VLM_ERROR_ABORT_TIME_LIMIT || run_.time_up()) return Answer::Stopped;
    throw IisEnd{VLM_ERROR_IIS_NUMERIC};
  }

 private:
  VLMmodel& model_;
  const SolverModel& sm_;
  SolveLog& log_;
  RunControl run_;
  std::vector<Side> sides_;
};

// Chinneck's elastic filter over every side: run() returns the enforced
// sides. The elastic LP is the model without objective whose candidate
// bounds are rows, with an elastic column for each side; each round solves
// it and enforces the sides whose elastic columns it uses, until the
// enforced sides alone are infeasible.
class ElasticFilter {
 public:
  explicit ElasticFilter(SideQuestions& q)
      : q_(q),
        sides_(q.sides()),
        n_(q.solver_model().num_cols()),
        m_(q.solver_model().num_rows()),
        messages_(q.log(), 0),
        is_enforced_(sides_.size(), 0) {
    lp_.passInMessageHandler(&messages_);
  }

  std::vector<int> run() {
    SolverModel f = q_.feasibility_model(std::vector<char>(sides_.size(), 1));
    bound_rows(f);
    columns(f);
    load();
    while (!enforced_alone_infeasible()) enforce_used_sides();
    q_.log().linef("IIS: elastic filter kept %zu of %zu sides", enforced_.size(), sides_.size());
    return enforced_;
  }

 private:
  // Bounds that are candidates become rows, so that they can be elastic;
  // the bounds themselves are dropped from f.
  void bound_rows(SolverModel& f) {
    bound_row_.assign(static_cast<size_t>(n_), -1);
    by_col_.assign(static_cast<size_t>(n_), std::vector<Entry>());
    rows_ = m_;
    row_lb_ = f.row_lb;
    row_ub_ = f.row_ub;
    for (const Side& s : sides_) {
      if (s.row || bound_row_[static_cast<size_t>(s.index)] >= 0) continue;
      const size_t j = static_cast<size_t>(s.index);
      bound_row_[j] = rows_++;
      row_lb_.push_back(f.col_lb[j]);
      row_ub_.push_back(f.col_ub[j]);
      by_col_[j].push_back({bound_row_[j], 1.0});
    }
    for (const Side& s : sides_)
      if (!s.row) {
        const size_t j = static_cast<size_t>(s.index);
        (s.upper ? f.col_ub : f.col_lb)[j] = s.upper ? COIN_DBL_MAX : -COIN_DBL_MAX;
      }
  }

  // The model's columns with their entries in the bound rows, then the
  // elastic columns: +1 in the row of a lower side, -1 for an upper side,
  // each at cost 1.
  void columns(const SolverModel& f) {
    start_.assign(1, 0);
    auto side_row = [&](const Side& s) { return s.row ? s.index : bound_row_[static_cast<size_t>(s.index)]; };
    for (int j = 0; j < n_; ++j) {
      const size_t k = static_cast<size_t>(j);
      for (int e = f.col_start[k]; e < f.col_start[k + 1]; ++e) {
        index_.push_back(f.row_index[static_cast<size_t>(e)]);
        value_.push_back(f.value[static_cast<size_t>(e)]);
      }
      for (const Entry& e : by_col_[k]) index_.push_back(e.index), value_.push_back(e.value);
      start_.push_back(static_cast<int>(index_.size()));
      lower_.push_back(f.col_lb[k]);
      upper_.push_back(f.col_ub[k]);
      cost_.push_back(0.0);
    }
    for (const Side& s : sides_) {
      index_.push_back(side_row(s));
      value_.push_back(s.upper ? -1.0 : 1.0);
      start_.push_back(static_cast<int>(index_.size()));
      lower_.push_back(0.0);
      upper_.push_back(COIN_DBL_MAX);
      cost_.push_back(1.0);
    }
  }

  void load() {
    const int total = n_ + static_cast<int>(sides_.size());
    lp_.loadProblem(total, rows_, start_.data(), index_.data(), value_.data(), lower_.data(), upper_.data(),
                    cost_.data(), row_lb_.data(), row_ub_.data());
    apply_simplex_params(q_.run().params, lp_);
  }

  // One round of the elastic LP: true when it is infeasible (the enforced
  // sides alone are), else its optimum in lp_.
  bool enforced_alone_infeasible() {
    RunControl& run = q_.run();
    q_.limit_time(lp_);
    const Answer a = SideQuestions::solved(lp_);
    if (a == Answer::Infeasible) return true;
    if (a == Answer::Stopped) throw IisEnd{run.time_up() ? VLM_ERROR_IIS_NO_SOLN : VLM_ERROR_IIS_NUMERIC};
    // Elasticity is needed, yet the whole model was found infeasible: the
    // objective cannot be 0 here.
    if (lp_.objectiveValue() <= 1e-9) throw IisEnd{VLM_ERROR_IIS_NUMERIC};
    return false;
  }

  // Every side whose elastic column the optimum uses enforced: its elastic
  // column fixed at 0.
  void enforce_used_sides() {
    const double* x = lp_.primalColumnSolution();
    bool any = false;
    for (size_t k = 0; k < sides_.size(); ++k) {
      if (is_enforced_[k] || x[static_cast<size_t>(n_) + k] <= 1e-9) continue;
      is_enforced_[k] = 1;
      enforced_.push_back(static_cast<int>(k));
      lp_.columnUpper()[static_cast<size_t>(n_) + k] = 0.0;
      any = true;
    }
    if (!any) throw IisEnd{VLM_ERROR_IIS_NUMERIC};
  }

  SideQuestions& q_;
  const std::vector<Side>& sides_;
  const int n_, m_;
  LogMessageHandler messages_;
  ClpSimplex lp_;
  // The elastic LP: rows (the model's, then one per bounded column), columns.
  std::vector<int> bound_row_;
  std::vector<std::vector<Entry>> by_col_;
  int rows_ = 0;
  std::vector<double> row_lb_, row_ub_;
  std::vector<int> start_, index_;
  std::vector<double> value_, lower_, upper_, cost_;
  std::vector<int> enforced_;
  std::vector<char> is_enforced_;
};

// The search in its phases: an IIS of one side or of a crossed pair, found
// without a solve; else the LP relaxation's feasibility decides the road,
// the elastic and deletion filters over CLP (and with MIP solves for a
// discrete model) when it is infeasible, the deletion filter with MIP
// solves over every side when it is not; then a fresh look at the result.
class IisSearch {
 public:
  IisSearch(VLMmodel& m, const SolverModel& sm, SolveLog& log) : q_(m, sm, log), sm_(sm), log_(log) {}

  // The members, as indices into sides().
  std::vector<int> compute() {
    std::vector<int> members;
    if (impossible_side(members) || crossed_pair(members)) return members;
    const std::vector<char> all(sides().size(), 1);
    const Answer relaxation = q_.lp_feasible(all);
    if (relaxation == Answer::Stopped) throw IisEnd{VLM_ERROR_IIS_NO_SOLN};
    members = relaxation == Answer::Infeasible ? from_infeasible_relaxation() : by_mip_solves(all);
    confirm(members);
    return members;
  }

  const std::vector<Side>& sides() const { return q_.sides(); }

 private:
  // A side no point meets is an IIS on its own (and CLP must not see it).
  bool impossible_side(std::vector<int>& members) const {
    for (size_t k = 0; k < sides().size(); ++k) {
      const Side& s = sides()[k];
      if (s.row ? sm_.impossible_row_side(s.index) : sm_.impossible_col_side(s.index)) {
        const double v = s.row ? (s.upper ? sm_.row_ub : sm_.row_lb)[static_cast<size_t>(s.index)]
                               : (s.upper ? sm_.col_ub : sm_.col_lb)[static_cast<size_t>(s.index)];
        if (s.upper ? v <= -COIN_DBL_MAX : v >= COIN_DBL_MAX) {
          members = {static_cast<int>(k)};
          return true;
        }
      }
    }
    return false;
  }

  // So is a column's or row's pair of sides with the lower one above the
  // upper one (a binary with an upper bound below 0): no elastic column
  // can widen that range, so the elastic filter would find its own model
  // infeasible.
  bool crossed_pair(std::vector<int>& members) const {
    for (size_t k = 0; k + 1 < sides().size(); ++k) {
      const Side& lo = sides()[k];
      const Side& up = sides()[k + 1];
      if (lo.upper || !up.upper || lo.row != up.row || lo.index != up.index) continue;
      const size_t i = static_cast<size_t>(lo.index);
      const double l = lo.row ? sm_.row_lb[i] : sm_.col_lb[i], u = lo.row ? sm_.row_ub[i] : sm_.col_ub[i];
      if (l > u) {
        members = {static_cast<int>(k), static_cast<int>(k + 1)};
        return true;
      }
    }
    return false;
  }

  // The LP relaxation is infeasible: its IIS, made irreducible for the
  // model itself by MIP solves when the model is discrete.
  std::vector<int> from_infeasible_relaxation() {
    log_.line("IIS: the LP relaxation is infeasible: elastic filter");
    std::vector<int> members = lp_deletion_filter(ElasticFilter(q_).run());
    if (sm_.has_discrete()) members = mip_deletion_filter(members);
    return members;
  }

  // The LP relaxation is feasible: a discrete model's own infeasibility,
  // by MIP solves over every side.
  std::vector<int> by_mip_solves(const std::vector<char>& all) {
    if (!sm_.has_discrete()) throw IisEnd{VLM_ERROR_IIS_FEASIBLE};
    log_.line("IIS: the LP relaxation is feasible: deletion filter with MIP solves");
    const Answer whole = q_.mip_feasible(all);
    if (whole == Answer::Feasible) throw IisEnd{VLM_ERROR_IIS_FEASIBLE};
    if (whole == Answer::Stopped) throw IisEnd{VLM_ERROR_IIS_NO_SOLN};
    std::vector<int> every(sides().size());
    for (size_t k = 0; k < every.size(); ++k) every[k] = static_cast<int>(k);
    return mip_deletion_filter(every);
  }

  // A fresh look at the result: it must be infeasible.
  void confirm(const std::vector<int>& members) {
    const std::vector<char> on = q_.mask(members);
    const Answer check = sm_.has_discrete() ? q_.mip_feasible(on) : q_.lp_feasible(on);
    if (check == Answer::Stopped) throw IisEnd{VLM_ERROR_IIS_NO_SOLN};
    if (check == Answer::Feasible) throw IisEnd{VLM_ERROR_IIS_NUMERIC};
  }

  // Deletion filter over `candidates` with warm LPs; every other side off.
  std::vector<int> lp_deletion_filter(const std::vector<int>& candidates) {
    std::vector<char> on = q_.mask(candidates);
    const SolverModel f = q_.feasibility_model(on);
    RunControl& run = q_.run();
    LogMessageHandler messages(log_, 0);
    ClpSimplex lp;
    lp.passInMessageHandler(&messages);
    load_clp(f, lp);
    apply_simplex_params(run.params, lp);
    auto solve = [&]() {
      q_.limit_time(lp);
      const Answer a = SideQuestions::solved(lp);
      if (a == Answer::Stopped) throw IisEnd{run.time_up() ? VLM_ERROR_IIS_NO_SOLN : VLM_ERROR_IIS_NUMERIC};
      return a;
    };
    if (solve() != Answer::Infeasible) throw IisEnd{VLM_ERROR_IIS_NUMERIC};
    std::vector<int> members;
    for (int k : candidates) {
      const Side& s = sides()[static_cast<size_t>(k)];
      double* bounds = s.row ? (s.upper ? lp.rowUpper() : lp.rowLower()) : (s.upper ? lp.columnUpper() : lp.columnLower());
      const double kept = bounds[s.index];
      bounds[s.index] = s.upper ? COIN_DBL_MAX : -COIN_DBL_MAX;
      if (solve() == Answer::Feasible) {
        bounds[s.index] = kept;  // needed
        members.push_back(k);
      }
    }
    log_.linef("IIS: deletion filter kept %zu of %zu sides", members.size(), candidates.size());
    return members;
  }

  // Deletion filter with MIP solves. Without its bounds an integer variable
  // may leave a search that never ends (an infeasible row over unbounded
  // integers), so each solve gets kMipBudget seconds at most: a side whose
  // removal it cannot decide stays, and the set may then not be irreducible
  // in that side (the log says so).
  std::vector<int> mip_deletion_filter(const std::vector<int>& candidates) {
    std::vector<char> on = q_.mask(candidates);
    std::vector<int> members;
    int undecided = 0;
    for (int k : candidates) {
      on[static_cast<size_t>(k)] = 0;
      const Answer a = q_.mip_feasible(on, kMipBudget);
      if (a == Answer::Stopped && q_.run().time_up()) throw IisEnd{VLM_ERROR_IIS_NO_SOLN};
      if (a != Answer::Infeasible) {
        on[static_cast<size_t>(k)] = 1;
        members.push_back(k);
        if (a == Answer::Stopped) ++undecided;
      }
    }
    log_.linef("IIS: deletion filter with MIP solves kept %zu of %zu sides", members.size(), candidates.size());
    if (undecided > 0)
      log_.linef("IIS: %d of them kept because no MIP solve decided their removal within %.1fs", undecided, kMipBudget);
    return members;
  }

  static constexpr double kMipBudget = 0.5;

  SideQuestions q_;
  const SolverModel& sm_;
  SolveLog& log_;
};

// Clears the busy flag on every way out.
struct BusyRelease {
  VLMmodel& m;
  ~BusyRelease() { m.busy.store(false); }
};

int compute_iis(VLMmodel& m) {
  m.iis = IisResult();
  const ModelData& d = m.data;
  SolveLog log(m.env->log);
  if (has_semidefinite_part(d)) {
    log.line("IIS: not available for semidefinite models");
    return VLM_ERROR_ABORT_SOLVER_NOT_AVAILABLE;
  }
  log.linef("Computing an IIS of model %s: %d rows, %d columns", d.name.empty() ? "(unnamed)" : d.name.c_str(),
            d.rows.size(), d.cols.size());
  const SolverModel sm = build_solver_model(d, m.env->params);
  if (integer_bound_beyond_solvers(sm, log)) return VLM_ERROR_IIS_NUMERIC;
  IisSearch search(m, sm, log);
  std::vector<int> members;
  try {
    members = search.compute();
  } catch (const IisEnd& end) {
    switch (end.code) {
      case VLM_ERROR_IIS_FEASIBLE: log.line("IIS: the model is feasible"); break;
      case VLM_ERROR_IIS_NO_SOLN: log.line("IIS: stopped by MaxTime before an IIS was found"); break;
      case VLM_ERROR_IIS_NUMERIC: log.line("IIS: the solver contradicted itself"); break;
      default: log.linef("IIS: stopped by the callback (answer %d)", end.code); break;
    }
    return end.code;
  }
  IisResult r;
  r.vars.assign(static_cast<size_t>(d.cols.size()), 0);
  r.rows.assign(static_cast<size_t>(d.rows.size()), 0);
  for (int k : members) {
    const Side& s = search.sides()[static_cast<size_t>(k)];
    std::vector<char>& flags = s.row ? r.rows : r.vars;
    flags[static_cast<size_t>(s.index)] |= s.upper ? kIisUpper : kIisLower;
  }
  r.available = true;
  m.iis = std::move(r);
  log.linef("IIS: %zu bound and row sides", members.size());
  return VLM_OKAY;
}

}  // namespace

}  // namespace velmor

extern "C" int VLMcomputeIIS(VLMmodel* model) {
  if (!model) return VLM_ERROR_INVALID_ARGUMENT;
  bool idle = false;
  if (!model->busy.compare_exchange_strong(idle, true)) return VLM_ERROR_INVALID_ARGUMENT;
  velmor::BusyRelease release{*model};
  return velmor::api_call([&] { return velmor::compute_iis(*model); });
}
