// The evidence behind every verdict of a model with a discrete part. CBC's
// preprocessing, its cut generators and its postprocessing have each been
// seen to be wrong on small models (a feasible model called infeasible, an
// optimum cut off, a point that breaks a row returned as optimal), and
// CBC's search without them has been wrong elsewhere (lseu of MIPLIB without
// preprocessing and probing), so no verdict of one search is reported
// before it is checked here:
//  - a point counts only when it meets the model as given (meets_mip_model);
//    points that do not are dropped, and the best one is cleaned up by
//    fixing its discrete part and solving the continuous rest again;
//  - OPTIMAL is confirmed by a second search that goes another way (see
//    CbcSearch) for a solution better than the optimum by more than the
//    gap tolerances: none found at the end of that search confirms it; one
//    found proves the first search wrong, and the second search, run to its
//    end, gives the answer. The second search has a budget of its own in
//    work (RunStats::work: simplex iterations and nodes, the same on every
//    machine), the larger of a twentieth of the first search's and 1,000
//    (less beyond 2,000 rows and columns: confirm_floor);
//    an optimum it cannot confirm within it is the first search's (so the
//    check costs about a twentieth of the solve, and small models are
//    always checked: every optimum such a search has disproved, it
//    disproved within 10);
//  - INFEASIBLE stands on the relaxation's Farkas certificate, or on a
//    second search that finds no point either (within as much work again
//    as the first search's, 20,000 at least: else no verdict);
//  - UNBOUNDED stands on a point of the model and a checked unbounded
//    relaxation (a feasible model with rational data and an unbounded
//    relaxation is unbounded);
//  - an answer whose engine gave signs of trouble (a point that breaks the
//    model, an objective that changed in postprocessing) is replaced by the
//    second search's.
#pragma once
#include <functional>
#include <vector>

#include "mip/callback.hpp"
#include "solve/solve.hpp"

namespace velmor {

// The tolerances of the check: a bound or row side may be missed by 1e-6
// relative to max(1, |side|, the largest |a_ij x_j| of the row), an integer
// column lie `int_tol` from an integer; a semi-continuous column counts as 0
// within `int_tol`, an SOS member as non-zero beyond it.
constexpr double kMipFeasibilityTolerance = 1e-6;

// Whether x (the model's columns) meets the model as given: bounds, rows,
// integrality, semi-continuity, SOS sets and indicators.
bool meets_mip_model(const ModelData& d, const double* x, double int_tol);

// The point with its discrete part fixed (integer columns rounded, SOS
// members and semi-continuous columns at 0 kept at 0, indicators whose
// binary holds as rows) and the continuous rest solved again by the LP or
// QP solver; empty when that gives no point that meets the model.
std::vector<double> settled_point(const ModelData& d, const ParamValues& params, const double* x, RunControl& run);

// Whether the model with a discrete part admits a point, on evidence: 1
// with a point that meets the model (in `point` when given), 0 when the
// relaxation is proved infeasible or a second search without an objective
// finds no point, -1 when the run must stop first. `relaxation`: what
// has_feasible_point said of the relaxation, where the caller has asked.
constexpr int kRelaxationNotKnown = -2;
int mip_feasibility(const ModelData& d, const SolverModel& sm, RunControl& run, std::vector<double>* point = nullptr,
                    int relaxation = kRelaxationNotKnown);

// A second search of the model (CbcSearch::second) with a cutoff (only
// solutions better than it count; minimised sense, without the constant)
// and a budget in work of its own (CbcSearch::work), both +COIN_DBL_MAX for
// none; null where there is none to make.
using MipSearch = std::function<RunOutcome(double cutoff, double work)>;

// Checks the outcome of an engine's search as above and returns the
// outcome that is reported: statuses it cannot confirm become weaker ones
// (SUB_OPTIMAL with a checked point, UNKNOWN without). Without a second
// search, an INFEASIBLE whose relaxation is feasible is put to
// mip_feasibility when `ask_feasibility` (not where a callback's lazy
// constraints may be what makes the model infeasible).
RunOutcome confirmed_mip_outcome(const ModelData& d, const SolverModel& sm, RunControl& run, RunOutcome out,
                                 const MipSearch& second, bool ask_feasibility = true);

// The same for a search that gave a callback its turns and ended without
// its stop: the model searched is the model as given with the cuts the
// callback added as rows, and every check, the second search's included
// (by CBC where `cbc`, else feasibility on evidence), is made on that
// model. The reported point's row activities are those of the model's rows.
RunOutcome confirmed_callback_outcome(const ModelData& d, const SolverModel& sm, RunControl& run, RunOutcome out,
                                      const std::vector<StoredCut>& cuts, bool cbc);

}  // namespace velmor
