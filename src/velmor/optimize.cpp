// VLMoptimize: picks the solver by what the model holds, runs it with the
// model marked busy, and moves the outcome into the model.
//
//  semidefinite parts          -> DSDP (sdp/sdp_solver.cpp; not with integers)
//  quadratic, no discrete part -> our interior point method, Ipopt where it
//                                 stalls (qp/qp_solver.cpp)
//  discrete, linear            -> CBC (mip/cbc_solver.cpp; with a callback,
//                                 mip/cbc_callback.cpp)
//  discrete and quadratic, or  -> our branch-and-bound over CLP (mip/miqp.cpp)
//  SOS members CBC cannot take
//  otherwise (LP)              -> CLP (lp/clp_solver.cpp); rows or columns
//                                 of very many entries -> our interior point
//                                 method, unless a simplex method is asked for
// Every discrete verdict is checked on the model as given before it stands
// (mip/mip_verdicts.cpp), as the LP and QP solvers check theirs; a model
// infeasible on its face (a side at infinity, an empty row excluding 0, a
// row of integers without an integer point) or with an unbounded column
// outside every row is answered here without a search. Before a search, the
// sides of rows over integer columns go in to their lattice
// (round_integer_rows), exact at the model's integer points.
// "Discrete" is integer, binary, semi-continuous and semi-integer variables,
// SOS and indicator constraints. A quadratic objective must be convex in the
// direction of optimisation; anything else is refused before a solver runs.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "mip/callback.hpp"
#include "lp/clp_model.hpp"
#include "mip/mip_verdicts.hpp"
#include "sdp/sdp_solver.hpp"
#include "solve/solve.hpp"

namespace velmor {

namespace {

// Clears the busy flag on every way out of a run.
class BusyGuard {
 public:
  explicit BusyGuard(VLMmodel& m) : m_(m) {}
  ~BusyGuard() { m_.busy.store(false); }
  BusyGuard(const BusyGuard&) = delete;
  BusyGuard& operator=(const BusyGuard&) = delete;

 private:
  VLMmodel& m_;
};

const char* status_name(int status) {
  switch (status) {
    case VLM_STATUS_OPTIMAL: return "optimal";
    case VLM_STATUS_INFEASIBLE: return "infeasible";
    case VLM_STATUS_UNBOUNDED: return "unbounded";
    case VLM_STATUS_INF_OR_UBD: return "infeasible or unbounded";
    case VLM_STATUS_SUB_OPTIMAL: return "stopped with a feasible solution";
    default: return "unknown";
  }
}

const char* limit_name(int code) {
  switch (code) {
    case VLM_ERROR_ABORT_TIME_LIMIT: return "time limit";
    case VLM_ERROR_ABORT_ITERATION_LIMIT: return "iteration limit";
    case VLM_ERROR_ABORT_NODE_LIMIT: return "node limit";
    case VLM_ERROR_ABORT_STALLING_NODE_LIMIT: return "stalling node limit";
    case VLM_ERROR_ABORT_SOLUTION_LIMIT: return "solution limit";
    default: return "stop request";
  }
}

void log_sizes(const ModelData& d, SolveLog& log) {
  const int n = d.cols.size();
  int integers = 0, semi = 0;
  for (char t : d.cols.type) {
    if (t == VLM_BINARY || t == VLM_INTEGER) ++integers;
    if (t == VLM_SEMICONT || t == VLM_SEMIINT) ++semi;
  }
  log.linef("Model %s: %d rows, %d columns (%d integer), %lld nonzeros", d.name.empty() ? "(unnamed)" : d.name.c_str(),
            d.rows.size(), n, integers, d.num_nonzeros());
  if (!d.quad.empty() || !d.sos.empty() || !d.indicators.empty() || semi > 0)
    log.linef("  %zu quadratic objective terms, %zu SOS, %zu indicators, %d semi-continuous columns", d.quad.size(),
              d.sos.size(), d.indicators.size(), semi);
  if (!d.psd_vars.empty()) log.linef("  %zu semidefinite variables, %d semidefinite rows", d.psd_vars.size(), d.num_psd_rows());
  // The engines' own lines below show the objective they minimise.
  if (d.sense == VLM_MAXIMIZE)
    log.line("Maximising: the engines minimise the negated objective, so the objective values in their lines have "
             "the opposite sign");
}

// Models with semidefinite parts. The semidefinite solver, which writes the
// model's results itself, is called from here; it returns VLMoptimize's code.
int solve_semidefinite(VLMmodel& m, SolveLog& log) {
  const int support = sdp_support(m.data);
  if (support != VLM_OKAY) {
    log.line("No solver for semidefinite models with these parts is available");
    return support;
  }
  return solve_sdp(m);
}

// A model without columns: each row reads 0, so it is feasible exactly when
// every row admits 0.
RunOutcome solve_empty(const ModelData& d) {
  RunOutcome out;
  Solution& s = out.solution;
  for (int i = 0; i < d.rows.size(); ++i)
    if (d.rows.lb[static_cast<size_t>(i)] > 0 || d.rows.ub[static_cast<size_t>(i)] < 0) {
      s.status = VLM_STATUS_INFEASIBLE;
      return out;
    }
  s.status = VLM_STATUS_OPTIMAL;
  s.sol_count = 1;
  set_primal(d, nullptr, s);
  s.row_dual.assign(static_cast<size_t>(d.rows.size()), 0.0);
  s.dual_obj = d.obj_const;
  s.has_dual = true;
  s.row_basis.assign(static_cast<size_t>(d.rows.size()), VLM_BASIS_BASIC);
  s.has_basis = true;
  return out;
}

// A model with a column that improves the objective without bound on its
// own (SolverModel::has_unbounded_column) is unbounded exactly when it is
// feasible. CLP has been seen to call such models infeasible, so they are
// decided by a feasibility run instead: mip_feasibility for a model with a
// discrete part, else has_feasible_point (CLP's barrier has ended the
// process in a failed assertion on such a model's zero-objective LP).
RunOutcome solve_unbounded_column(const ModelData& d, const SolverModel& sm, RunControl& run) {
  run.log.line("A column outside every row improves the objective without bound: checking feasibility");
  RunOutcome out;
  if (!sm.has_discrete()) {
    const int feasible = has_feasible_point(sm, run);
    if (feasible == 1) {
      out.solution.status = VLM_STATUS_UNBOUNDED;
      out.solution.has_primal_ray = true;  // the column's own direction
    } else if (feasible == 0) {
      out.solution.status = VLM_STATUS_INFEASIBLE;
    }
    return out;
  }
  switch (mip_feasibility(d, sm, run)) {
    case 1:
      out.solution.status = VLM_STATUS_UNBOUNDED;
      out.solution.has_primal_ray = true;  // the column's own direction
      break;
    case 0: out.solution.status = VLM_STATUS_INFEASIBLE; break;
    default: break;
  }
  return out;
}

int optimize(VLMmodel& m) {
  m.solution = Solution();
  m.stats = RunStats();
  const ModelData& d = m.data;
  SolveLog log(m.env->log);
  log_sizes(d, log);

  if (has_semidefinite_part(d)) return solve_semidefinite(m, log);

  RunControl run(m.env->params, log);
  RunOutcome out;
  int callback_answer = 0;
  if (d.cols.size() == 0) {
    out = solve_empty(d);
  } else {
    SolverModel sm = build_solver_model(d, run.params);
    if (objective_beyond_solvers(sm, log) || integer_bound_beyond_solvers(sm, log)) return VLM_ERROR_SIMPLEX_NUMERIC;
    const bool discrete = sm.has_discrete();
    const IntegerRows lattice = discrete ? round_integer_rows(sm) : IntegerRows();
    if (lattice.moved > 0)
      log.linef("%d row side%s over integer columns moved to the next activity an integer point gives", lattice.moved,
                lattice.moved == 1 ? "" : "s");
    bool stopped_early = false;  // MaxTime ran out during the convexity test
    if (sm.has_quad()) {
      double lowest = 0;
      switch (hessian_convexity(sm, run, &lowest)) {
        case Convexity::Convex: break;
        case Convexity::NotConvex:
          if (std::isnan(lowest))
            log.linef("The objective is not convex for %s: no solver available",
                      d.sense == VLM_MINIMIZE ? "minimisation" : "maximisation");
          else
            log.linef("The objective is not convex for %s (smallest eigenvalue of its Hessian %.6g): no solver "
                      "available",
                      d.sense == VLM_MINIMIZE ? "minimisation" : "maximisation", d.sense * lowest);
          return VLM_ERROR_ABORT_SOLVER_NOT_AVAILABLE;
        case Convexity::Unknown:
          log.line("The objective's Hessian is too large to factorise: its convexity cannot be tested");
          return VLM_ERROR_NOMEMORY;
        case Convexity::Stopped: stopped_early = true; break;
      }
    }
    if (stopped_early) {
      // Status UNKNOWN: the limit is in run.stopped_by().
    } else if (sm.has_impossible_side()) {
      log.line("A bound or row side lies at infinity on its wrong side: the model is infeasible");
      out.solution.status = VLM_STATUS_INFEASIBLE;
    } else if (sm.has_empty_row_excluding_zero()) {
      log.line("A row without coefficients excludes 0: the model is infeasible");
      out.solution.status = VLM_STATUS_INFEASIBLE;
    } else if (!lattice.proof.empty()) {
      log_rows_without_integer_point(d, lattice, log);
      out.solution.status = VLM_STATUS_INFEASIBLE;
    } else if (sm.has_unbounded_column()) {
      out = solve_unbounded_column(d, sm, run);
    } else if (discrete && m.callback) {
      // Models without a discrete part have no where-point of a callback.
      CallbackSession session(m, d, sm, run);
      out = sm.has_quad() || has_sos_member_beyond_cbc(sm) ? solve_miqp(d, sm, run, &session)
                                                          : solve_cbc_with_callback(session, d, sm, run);
      callback_answer = session.answer();
      if (callback_answer == 0)
        out = confirmed_callback_outcome(d, sm, run, std::move(out), session.cuts(),
                                         !sm.has_quad() && !has_sos_member_beyond_cbc(sm));
    } else if (discrete && sm.has_quad()) {
      out = confirmed_mip_outcome(d, sm, run, solve_miqp(d, sm, run), nullptr);
    } else if (discrete) {
      out = solve_with_cbc(d, sm, run);
    } else if (sm.has_quad()) {
      out = solve_qp(d, sm, run);
    } else {
      out = solve_with_clp(d, sm, run, &d.start_basis);
    }
  }
  // A basis read from a file starts one solve: later solves of the changed
  // model take CLP's own start and presolve again.
  m.data.start_basis = StartBasis();
  out.stats.available = true;
  out.stats.total_time = run.elapsed();

  const Solution& s = out.solution;
  if (callback_answer != 0) {
    out.code = callback_answer;
    log.linef("Stopped by the callback (answer %d): status %s, time %s", callback_answer, status_name(s.status),
              format_seconds(out.stats.total_time).c_str());
  } else if (out.code != VLM_OKAY) {
    log.linef("Solve failed (code %d) after %s", out.code, format_seconds(out.stats.total_time).c_str());
  } else {
    if (run.stopped_by()) log.linef("Stopped: %s reached", limit_name(run.stopped_by()));
    if (s.has_primal)
      log.linef("Status: %s, objective %.10g, time %s", status_name(s.status), s.primal_obj,
                format_seconds(out.stats.total_time).c_str());
    else
      log.linef("Status: %s, time %s", status_name(s.status), format_seconds(out.stats.total_time).c_str());
  }
  m.solution = std::move(out.solution);
  m.stats = out.stats;
  return out.code;
}

}  // namespace

}  // namespace velmor

extern "C" int VLMoptimize(VLMmodel* model) {
  if (!model) return VLM_ERROR_INVALID_ARGUMENT;
  bool idle = false;
  if (!model->busy.compare_exchange_strong(idle, true)) return VLM_ERROR_INVALID_ARGUMENT;
  velmor::BusyGuard guard(*model);
  return velmor::api_call([&] { return velmor::optimize(*model); });
}
