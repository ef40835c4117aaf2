// The checks behind the verdicts of models with a discrete part (see
// mip_verdicts.hpp): the check of a point on the model as given, the
// settling of a point that misses it, feasibility on evidence, and the
// confirmation of an engine's outcome.
#include "mip/mip_verdicts.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

#include <CoinFinite.hpp>

#include "mip/cbc_solver.hpp"
#include "lp/clp_model.hpp"
#include "solve/point_check.hpp"

namespace velmor {

namespace {

// A side missed by more than the tolerance, relative to max(1, |side|, scale).
bool misses(double v, double lb, double ub, double scale) {
  const double tol = kMipFeasibilityTolerance;
  if (lb > -VLM_INFINITY && lb - v > tol * std::max({1.0, std::fabs(lb), scale})) return true;
  if (ub < VLM_INFINITY && v - ub > tol * std::max({1.0, std::fabs(ub), scale})) return true;
  return false;
}

// lin . x and its largest term.
std::pair<double, double> activity(const SparseVector& lin, const double* x) {
  double sum = 0, largest = 0;
  for (const Entry& e : lin) {
    const double t = e.value * x[e.index];
    sum += t;
    largest = std::max(largest, std::fabs(t));
  }
  return {sum, largest};
}

bool row_holds(const SparseVector& lin, double lb, double ub, const double* x) {
  const auto [v, largest] = activity(lin, x);
  return !misses(v, lb, ub, largest);
}

std::pair<double, double> indicator_sides(const Indicator& ind) {
  return {ind.sense == VLM_LESS_EQUAL ? -VLM_INFINITY : ind.rhs, ind.sense == VLM_GREATER_EQUAL ? VLM_INFINITY : ind.rhs};
}

bool column_holds(const ModelData& d, size_t j, double v, double int_tol) {
  const char t = d.cols.type[j];
  double lb = d.cols.lb[j], ub = d.cols.ub[j];
  if (!std::isfinite(v)) return false;
  if ((t == VLM_SEMICONT || t == VLM_SEMIINT) && std::fabs(v) <= int_tol) return true;
  if (t == VLM_BINARY) lb = std::max(lb, 0.0), ub = std::min(ub, 1.0);
  if (misses(v, lb, ub, 0.0)) return false;
  const bool integral = t == VLM_BINARY || t == VLM_INTEGER || t == VLM_SEMIINT;
  return !integral || std::fabs(v - std::round(v)) <= int_tol;
}

// The members of an SOS set in the order of their weights.
std::vector<int> by_weight(const Sos& s) {
  std::vector<size_t> order(s.members.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return s.weights[a] < s.weights[b]; });
  std::vector<int> out;
  for (size_t k : order) out.push_back(s.members[k]);
  return out;
}

bool sos_holds(const Sos& s, const double* x, double int_tol) {
  int first = -1, last = -1, k = 0;
  for (int c : by_weight(s)) {
    if (std::fabs(x[c]) > int_tol) {
      if (first < 0) first = k;
      last = k;
    }
    ++k;
  }
  return first < 0 || last - first + 1 <= s.type;
}

double int_tolerance(const RunControl& run) { return run.params.get(kMipIntegerTolerance); }

// The relaxation: no integrality, no SOS set, no quadratic objective (what
// feasibility depends on).
SolverModel relaxation_of(const SolverModel& sm) {
  SolverModel r = sm;
  std::fill(r.is_int.begin(), r.is_int.end(), 0);
  r.sos.clear();
  r.h_start.clear();
  r.h_index.clear();
  r.h_value.clear();
  return r;
}

// Whether a semi-continuous or semi-integer column at v is settled at 0
// rather than in its range [lb, ub]: at 0 within the integrality tolerance,
// or nearer 0 than the range (a search takes its off state within the
// tolerance of its switch, which leaves v a few times that tolerance away
// from 0 when the range's bound is large).
bool settles_off(double v, double lb, double ub, double int_tol) {
  if (std::fabs(v) <= int_tol) return true;
  const double to_range = v < lb ? lb - v : (v > ub ? v - ub : 0.0);
  return std::fabs(v) < to_range;
}

// The model's discrete part fixed at x (see settled_point), or, with
// `keep_integers`, the piece of the model x lies in: the same, but integer
// columns other than binaries left free (and continuous); false when x
// cannot be settled so (an SOS member at 0 whose bounds exclude 0).
bool fix_discrete_part(const ModelData& d, const double* x, double int_tol, bool keep_integers, ModelData& f) {
  f = d;
  const size_t n = static_cast<size_t>(d.cols.size());
  for (size_t j = 0; j < n; ++j) {
    const char t = d.cols.type[j];
    double& lb = f.cols.lb[j];
    double& ub = f.cols.ub[j];
    if (t == VLM_BINARY) lb = std::max(lb, 0.0), ub = std::min(ub, 1.0);
    const bool semi = t == VLM_SEMICONT || t == VLM_SEMIINT;
    if (semi && settles_off(x[j], lb, ub, int_tol)) {
      lb = ub = 0.0;
    } else if (keep_integers && t != VLM_BINARY) {
      // left as it is
    } else if (t != VLM_CONTINUOUS && t != VLM_SEMICONT) {
      const double v = std::min(std::max(std::round(x[j]), std::ceil(lb - int_tol)), std::floor(ub + int_tol));
      lb = ub = v;
    }
    f.cols.type[j] = VLM_CONTINUOUS;
  }
  for (const Sos& s : d.sos)
    for (int c : s.members) {
      if (std::fabs(x[c]) > int_tol) continue;
      double& lb = f.cols.lb[static_cast<size_t>(c)];
      double& ub = f.cols.ub[static_cast<size_t>(c)];
      if (lb > 0 || ub < 0) return false;
      lb = ub = 0.0;
    }
  f.sos.clear();
  for (const Indicator& ind : d.indicators) {
    if (f.cols.lb[static_cast<size_t>(ind.binvar)] != ind.binval) continue;
    const auto [lb, ub] = indicator_sides(ind);
    f.rows.lb.push_back(lb);
    f.rows.ub.push_back(ub);
    f.rows.lin.push_back(ind.lin);
    if (!f.rows.name.empty()) f.rows.name.emplace_back();
    f.rows.psd.emplace_back();
    f.rows.is_psd.push_back(0);
  }
  f.indicators.clear();
  return true;
}

// The points of `s` that meet the model, best first; `best_failed` tells
// whether the first one did not.
void keep_points_that_hold(const ModelData& d, double int_tol, Solution& s, bool& best_failed) {
  best_failed = false;
  if (!s.has_primal) return;
  if (s.pool.empty()) s.pool.push_back(s.x);
  std::vector<std::vector<double>> kept;
  for (size_t k = 0; k < s.pool.size(); ++k) {
    if (meets_mip_model(d, s.pool[k].data(), int_tol))
      kept.push_back(std::move(s.pool[k]));
    else if (k == 0)
      best_failed = true;
  }
  s.pool = std::move(kept);
}

// Makes s's primal part the first point of its pool (or none).
void take_first_point(const ModelData& d, Solution& s) {
  if (s.pool.empty()) {
    s.has_primal = false;
    s.x.clear();
    s.row_activity.clear();
    s.sol_count = 0;
    s.has_gap = false;
    return;
  }
  set_primal(d, s.pool.front().data(), s);
  s.sol_count = static_cast<int>(s.pool.size());
}

// Whether the relaxation of the piece of the model that x (a point of the
// model) lies in has an improving direction (see fix_discrete_part): that
// piece is then a feasible model of integer columns and rows only whose
// relaxation is unbounded, so it is unbounded itself, and with it the model.
bool piece_unbounded(const ModelData& d, const double* x, RunControl& run) {
  ModelData piece;
  if (!fix_discrete_part(d, x, int_tolerance(run), true, piece)) return false;
  const SolverModel psm = build_solver_model(piece, run.params);
  return !psm.has_impossible_side() && improving_direction(psm, run) == 1;
}

// A model with SOS sets whose relaxation is unbounded while the piece of
// `point` is not, searched by our own branch-and-bound, which branches on an
// SOS set wherever a relaxation is unbounded (miqp.cpp): its optimum, where
// no point found is better, goes into `s` (true); so does UNBOUNDED where
// the node it ended at, its SOS sets settled by its bounds (so that its
// relaxation is the model's relaxation there), holds a point of the model
// and has an improving direction of its own. Else a better point it found
// replaces `point`.
bool searched_by_pieces(const ModelData& d, const SolverModel& sm, RunControl& run, std::vector<double>& point,
                        Solution& s) {
  run.log.line("The relaxation is unbounded, the piece of the model with the point found is not: "
               "a branch-and-bound that branches on SOS sets where a relaxation is unbounded searches the model");
  SolverModel node;
  RunOutcome own = solve_miqp(d, sm, run, nullptr, &node);
  if (own.code != VLM_OKAY) return false;
  Solution& o = own.solution;
  if ((o.status == VLM_STATUS_UNBOUNDED || o.status == VLM_STATUS_INF_OR_UBD) && node.num_cols() > 0) {
    if (improving_direction(node, run) != 1 || mip_feasibility(d, node, run) != 1) return false;
    run.log.line("A node with every SOS set settled holds a point of the model and its relaxation is unbounded: "
                 "the model is unbounded");
    s = Solution();
    s.status = VLM_STATUS_UNBOUNDED;
    return true;
  }
  bool best_failed = false;
  keep_points_that_hold(d, int_tolerance(run), o, best_failed);
  take_first_point(d, o);
  if (!o.has_primal) return false;
  const double found = sm.sense * user_objective(d, o.x.data()), ours = sm.sense * user_objective(d, point.data());
  if (o.status == VLM_STATUS_OPTIMAL && !best_failed && found <= ours + 1e-9 * std::max(1.0, std::fabs(ours))) {
    s = std::move(o);
    return true;
  }
  if (found < ours) point = o.x;
  return false;
}

// The verdict on a model whose relaxation has a direction along which the
// objective falls without bound: a model of integer columns and rows is
// then unbounded exactly when it is feasible (its data are rational). SOS
// sets (indicators and semi-continuous columns among them) are no part of
// the relaxation: there the piece of the model a point lies in must be
// unbounded. `point`: a point of the model, or empty.
void decide_unbounded(const ModelData& d, const SolverModel& sm, RunControl& run, std::vector<double> point,
                      Solution& s, int relaxation = kRelaxationNotKnown) {
  const int feasible = !point.empty() ? 1 : mip_feasibility(d, sm, run, &point, relaxation);
  s = Solution();
  if (feasible == 1 && !sm.sos.empty() && !sm.has_quad() && !piece_unbounded(d, point.data(), run)) {
    if (searched_by_pieces(d, sm, run, point, s)) return;
    run.log.line("No verdict: the best point found is kept");
    s.pool.push_back(std::move(point));
    take_first_point(d, s);
    s.status = VLM_STATUS_SUB_OPTIMAL;
    return;
  }
  s.status = feasible == 1 ? VLM_STATUS_UNBOUNDED : feasible == 0 ? VLM_STATUS_INFEASIBLE : VLM_STATUS_INF_OR_UBD;
}

// CGL's preprocessing bounds free columns of its own accord (at about
// 1e10), and a search of the bounded model finds an "optimum" of an
// unbounded one; a confirming search from a relaxation unbounded below may
// end without a point. So where the relaxation can be unbounded (a column
// unbounded on a side), its directions decide an OPTIMAL first: whether one
// made the verdict (in `s`).
bool unbounded_beside_optimum(const ModelData& d, const SolverModel& sm, RunControl& run, Solution& s) {
  if (sm.has_quad() || !s.has_primal || !sm.has_infinite_bound() || improving_direction(sm, run) != 1) return false;
  run.log.line("The relaxation has a direction along which the objective falls: the point found decides the verdict");
  decide_unbounded(d, sm, run, s.x, s);
  return true;
}

// The second search's outcome, counting the first one's work too.
RunOutcome searched_again(const RunOutcome& first, const MipSearch& second, double cutoff, double work) {
  RunOutcome again = second(cutoff, work);
  again.stats.spx_iters += first.stats.spx_iters;
  again.stats.nodes += first.stats.nodes;
  again.stats.work += first.stats.work;
  again.stats.presolve_time += first.stats.presolve_time;
  again.stats.solver_time += first.stats.solver_time;
  return again;
}

// The work (RunStats::work) a second search may do to confirm an optimum,
// and to confirm infeasibility, after a first search of `first` work: a
// share of it or a floor, the larger. On 40,000 models of bench/mip_sweep.py
// every second search that disproved a first search's optimum found its
// better point within 10, every one that disproved an infeasibility within
// 6, and every infeasibility check that ended did so within 1,844; the
// floors leave room for a hundred times and ten times that.
constexpr double kConfirmShare = 0.05, kConfirmFloor = 1000;
constexpr double kInfeasibleShare = 1.0, kInfeasibleFloor = 20000;

// The floor of a model of m + n rows and columns beyond kConfirmFloorSize
// shrinks in proportion (an iteration's cost grows with them: on nw04 of
// MIPLIB, 87,518 of them, the whole floor took 0.76 s).
constexpr double kConfirmFloorSize = 2000;
double confirm_floor(const SolverModel& sm) {
  const double size = static_cast<double>(sm.num_rows()) + static_cast<double>(sm.num_cols());
  return kConfirmFloor * std::min(1.0, kConfirmFloorSize / std::max(1.0, size));
}

double first_search_work(const RunOutcome& out) { return static_cast<double>(out.stats.work); }

// The least improvement on the optimum `z` (minimised) that the gap
// tolerances count.
double gap_tolerance(const ParamValues& p, double z) {
  return std::max({p.get(kMipGapAbs) < VLM_INFINITY ? p.get(kMipGapAbs) : 0.0,
                   p.get(kMipGapRel) < VLM_INFINITY ? p.get(kMipGapRel) * std::fabs(z) : 0.0,
                   1e-9 * std::max(1.0, std::fabs(z))});
}

// An OPTIMAL of the first search, checked by the second one (see the header).
RunOutcome confirmed_optimum(const ModelData& d, const SolverModel& sm, RunControl& run, RunOutcome out,
                             const MipSearch& second) {
  const Solution& s = out.solution;
  const double z = sm.sense * (s.primal_obj - sm.obj_const);
  const double cutoff = z - gap_tolerance(run.params, z);
  RunOutcome check = second(cutoff, std::max(confirm_floor(sm), kConfirmShare * first_search_work(out)));
  const double int_tol = int_tolerance(run);
  for (const std::vector<double>& x : check.solution.pool)
    if (meets_mip_model(d, x.data(), int_tol) && sm.sense * (user_objective(d, x.data()) - sm.obj_const) < cutoff) {
      run.log.linef("A second search found a better point (objective %.10g): the first search's optimum is "
                    "wrong; the second search goes on to the end",
                    user_objective(d, x.data()));
      RunOutcome again =
          confirmed_mip_outcome(d, sm, run, searched_again(out, second, COIN_DBL_MAX, COIN_DBL_MAX), nullptr);
      // That search may end worse than the point it found on the way (its
      // cut generators have cut off an optimum): the point is kept, and no
      // verdict stands on a search it disproves.
      Solution& a = again.solution;
      const double found = sm.sense * (user_objective(d, x.data()) - sm.obj_const);
      if (again.code == VLM_OKAY && a.status != VLM_STATUS_UNBOUNDED &&
          (!a.has_primal || sm.sense * (a.primal_obj - sm.obj_const) > found + 1e-9 * std::max(1.0, std::fabs(found)))) {
        run.log.line("The search to the end ended worse than the point it found: that point is kept, its "
                     "optimality unknown");
        std::vector<std::vector<double>> pool{x};
        for (std::vector<double>& p : a.pool)
          if (static_cast<int>(pool.size()) < run.params.get_int(kMipSolutionPoolSize)) pool.push_back(std::move(p));
        a.pool = std::move(pool);
        take_first_point(d, a);
        a.status = VLM_STATUS_SUB_OPTIMAL;
        a.has_gap = false;
      }
      return again;
    }
  if (run.stopped_by()) return out;  // the check ran into the run's own limit: the answer stands as it was
  if (check.code == VLM_OKAY && check.solution.status == VLM_STATUS_INFEASIBLE)
    run.log.line("Optimum confirmed by a second search");
  else
    run.log.line("The optimum could not be confirmed by a second search within its budget: it is the first search's");
  out.stats.spx_iters += check.stats.spx_iters;
  out.stats.nodes += check.stats.nodes;
  out.stats.work += check.stats.work;
  return out;
}

}  // namespace

bool meets_mip_model(const ModelData& d, const double* x, double int_tol) {
  const size_t n = static_cast<size_t>(d.cols.size());
  for (size_t j = 0; j < n; ++j)
    if (!column_holds(d, j, x[j], int_tol)) return false;
  for (size_t i = 0; i < static_cast<size_t>(d.rows.size()); ++i)
    if (!row_holds(d.rows.lin[i], d.rows.lb[i], d.rows.ub[i], x)) return false;
  for (const Sos& s : d.sos)
    if (!sos_holds(s, x, int_tol)) return false;
  for (const Indicator& ind : d.indicators) {
    if (std::fabs(x[ind.binvar] - ind.binval) > int_tol) continue;
    const auto [lb, ub] = indicator_sides(ind);
    if (!row_holds(ind.lin, lb, ub, x)) return false;
  }
  return true;
}

std::vector<double> settled_point(const ModelData& d, const ParamValues& params, const double* x, RunControl& run) {
  const double int_tol = params.get(kMipIntegerTolerance);
  ModelData fixed;
  if (!fix_discrete_part(d, x, int_tol, false, fixed)) return {};
  const SolverModel fsm = build_solver_model(fixed, params);
  if (fsm.has_impossible_side()) return {};
  const RunOutcome out = fsm.has_quad() ? solve_qp(fixed, fsm, run) : solve_with_clp(fixed, fsm, run);
  const Solution& s = out.solution;
  if (out.code != VLM_OKAY || !s.has_primal || !meets_mip_model(d, s.x.data(), int_tol)) return {};
  return s.x;
}

int mip_feasibility(const ModelData& d, const SolverModel& sm, RunControl& run, std::vector<double>* point,
                    int relaxation) {
  if (relaxation == kRelaxationNotKnown) relaxation = has_feasible_point(relaxation_of(sm), run);
  if (relaxation == 0) {
    run.log.line("The relaxation is infeasible (a Farkas certificate)");
    return 0;
  }
  if (relaxation < 0 && run.should_stop()) return -1;
  SolverModel zero = sm;
  std::fill(zero.obj.begin(), zero.obj.end(), 0.0);
  // (run_cbc searches a zero objective under a cost of its own, its first
  // point final: see feasibility_cost_column.)
  zero.h_start.clear();
  zero.h_index.clear();
  zero.h_value.clear();
  run.log.line("Searching for a point of the model, without an objective");
  CbcSearch search;
  search.second = true;
  const RunOutcome out = has_sos_member_beyond_cbc(zero) ? solve_miqp(d, zero, run) : run_cbc(d, zero, run, nullptr, search);
  if (out.code != VLM_OKAY) return -1;
  const Solution& s = out.solution;
  const double int_tol = int_tolerance(run);
  std::vector<std::vector<double>> candidates = s.pool;
  if (s.has_primal) candidates.push_back(s.x);
  for (const std::vector<double>& x : candidates) {
    std::vector<double> p = meets_mip_model(d, x.data(), int_tol) ? x : settled_point(d, run.params, x.data(), run);
    if (p.empty()) continue;
    if (point) *point = std::move(p);
    return 1;
  }
  return s.status == VLM_STATUS_INFEASIBLE ? 0 : -1;
}

RunOutcome confirmed_mip_outcome(const ModelData& d, const SolverModel& sm, RunControl& run, RunOutcome out,
                                 const MipSearch& second, bool ask_feasibility) {
  if (out.code != VLM_OKAY) return out;
  Solution& s = out.solution;
  const double int_tol = int_tolerance(run);
  const double claimed = s.primal_obj;
  bool best_failed = false;
  keep_points_that_hold(d, int_tol, s, best_failed);
  if (best_failed) run.log.line("The engine's best point misses the model as given");
  if ((best_failed || out.doubtful) && second) {
    run.log.line("Searching again without the first search's preprocessing");
    return confirmed_mip_outcome(d, sm, run, searched_again(out, second, COIN_DBL_MAX, COIN_DBL_MAX), nullptr);
  }
  if (best_failed && s.has_primal) {
    std::vector<double> settled = settled_point(d, run.params, s.x.data(), run);
    if (!settled.empty()) s.pool.insert(s.pool.begin(), std::move(settled));
  }
  take_first_point(d, s);
  if (best_failed || out.doubtful) {
    // A point that had to be dropped or settled is no proof of optimality,
    // unless it is as good as the one the search's bound was measured
    // against; an objective the engine changed in its postprocessing leaves
    // that bound in doubt, so only the same value stands then.
    const double gain = sm.sense * (claimed - s.primal_obj), tol = 1e-9 * std::max(1.0, std::fabs(claimed));
    const bool stands = s.has_primal && (out.doubtful ? std::fabs(gain) <= tol : gain >= -tol);
    if ((s.status == VLM_STATUS_OPTIMAL || s.status == VLM_STATUS_SUB_OPTIMAL) && !stands) {
      s.status = s.has_primal ? VLM_STATUS_SUB_OPTIMAL : VLM_STATUS_UNKNOWN;
      s.has_gap = false;
    }
  }

  switch (s.status) {
    case VLM_STATUS_OPTIMAL:
      if (unbounded_beside_optimum(d, sm, run, s)) return out;
      return second ? confirmed_optimum(d, sm, run, std::move(out), second) : out;
    case VLM_STATUS_INFEASIBLE: {
      const int relaxation = has_feasible_point(relaxation_of(sm), run);
      if (relaxation == 0) {
        run.log.line("Infeasible: the relaxation has a Farkas certificate");
        return out;
      }
      // CBC's searches, with or without preprocessing, have called feasible
      // models whose relaxation is unbounded infeasible: there a search
      // without the objective decides.
      if (!sm.has_quad() && improving_direction(sm, run) == 1) {
        run.log.line("The relaxation is unbounded: a search without the objective decides the verdict");
        decide_unbounded(d, sm, run, {}, s, relaxation);
        return out;
      }
      if (second) {
        run.log.line("The relaxation is feasible: a second search checks the infeasibility");
        RunOutcome again = searched_again(out, second, COIN_DBL_MAX,
                                          std::max(kInfeasibleFloor, kInfeasibleShare * first_search_work(out)));
        if (again.code != VLM_OKAY || again.solution.status == VLM_STATUS_INFEASIBLE) return again;
        if (!again.solution.has_primal) {
          run.log.line("The second search ended without a verdict: the model's feasibility is unknown");
          again.solution = Solution();
          return again;
        }
        run.log.line("The second search found a point: the first search's infeasibility is wrong");
        return confirmed_mip_outcome(d, sm, run, std::move(again), nullptr);
      }
      if (!ask_feasibility) return out;
      std::vector<double> point;
      const int feasible = mip_feasibility(d, sm, run, &point, relaxation);
      if (feasible == 0) return out;
      s = Solution();
      if (feasible == 1) {
        run.log.line("The search called a feasible model infeasible: the point found is kept, its optimality unknown");
        s.pool.push_back(std::move(point));
        take_first_point(d, s);
        s.status = VLM_STATUS_SUB_OPTIMAL;
      }
      return out;
    }
    case VLM_STATUS_UNBOUNDED:
    case VLM_STATUS_INF_OR_UBD: {
      const int relaxation = has_feasible_point(relaxation_of(sm), run);
      if (relaxation == 0) {
        s = Solution();
        s.status = VLM_STATUS_INFEASIBLE;
        return out;
      }
      // Quadratic objectives: the search's own verdict (miqp.cpp certifies
      // its relaxations' directions).
      const int direction = sm.has_quad() ? 1 : improving_direction(sm, run);
      if (direction != 1) {
        if (direction == 0 && second) {
          run.log.line("The relaxation is bounded: searching again without the first search's preprocessing");
          return confirmed_mip_outcome(d, sm, run, searched_again(out, second, COIN_DBL_MAX, COIN_DBL_MAX), nullptr);
        }
        s = Solution();  // no evidence either way
        return out;
      }
      decide_unbounded(d, sm, run, s.has_primal ? s.x : std::vector<double>(), s, relaxation);
      return out;
    }
    default: return out;
  }
}

RunOutcome confirmed_callback_outcome(const ModelData& d, const SolverModel& sm, RunControl& run, RunOutcome out,
                                      const std::vector<StoredCut>& cuts, bool cbc) {
  if (out.code != VLM_OKAY) return out;
  ModelData with_cuts = d;
  Rows& r = with_cuts.rows;
  for (const StoredCut& c : cuts) {
    r.lb.push_back(c.lb <= -COIN_DBL_MAX ? -VLM_INFINITY : c.lb);
    r.ub.push_back(c.ub >= COIN_DBL_MAX ? VLM_INFINITY : c.ub);
    r.lin.push_back(c.row);
    if (!r.name.empty()) r.name.emplace_back();
    r.psd.emplace_back();
    r.is_psd.push_back(0);
  }
  if (!cuts.empty()) run.log.linef("The model searched has the callback's %zu cuts as rows", cuts.size());
  SolverModel searched = cuts.empty() ? sm : build_solver_model(with_cuts, run.params);
  // The cuts' sides too: rows of the model searched, which they may leave
  // without an integer point (taken where the search found none).
  const IntegerRows lattice = cuts.empty() ? IntegerRows() : round_integer_rows(searched);
  if (!lattice.proof.empty() && !out.solution.has_primal) {
    log_rows_without_integer_point(with_cuts, lattice, run.log);
    out.solution = Solution();
    out.solution.status = VLM_STATUS_INFEASIBLE;
    return out;
  }
  MipSearch second;
  if (cbc && !has_sos_member_beyond_cbc(searched))
    second = [&](double cutoff, double work) {
      CbcSearch s;
      s.second = true;
      s.cutoff = cutoff;
      s.work = work;
      return run_cbc(with_cuts, searched, run, nullptr, s);
    };
  RunOutcome checked = confirmed_mip_outcome(with_cuts, searched, run, std::move(out), second);
  Solution& s = checked.solution;
  if (s.has_primal) set_primal(d, s.x.data(), s);
  return checked;
}

}  // namespace velmor
