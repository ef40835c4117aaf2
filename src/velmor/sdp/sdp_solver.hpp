// Semidefinite programs: models with semidefinite variables or rows, solved
// with DSDP.
//
// The model
//   min/max  sum <C_j, X_j> + c.x + const
//   s.t.     lb_i <= a_i.x + sum <A_ij, X_j> <= ub_i,   l <= x <= u,   X_j PSD
// is handed to DSDP in its primal standard form
//   min <C, X> + c'.s   s.t.  <A_k, X> + a'_k.s = b_k,   X PSD,   s >= 0,
// whose dual DSDP maximises (max b.y s.t. C - sum y_k A_k PSD). Bounded
// columns are shifted onto s (a free column is the difference of two), rows
// with a free side get a slack in s, and a range or a box becomes a second
// equation on its slack. DSDP's y are then the row duals, its X the values of
// the semidefinite variables.
//
// Duals follow one convention in both senses: DualSoln is the derivative of
// the optimal objective with respect to the row's bounds, so that
// c = sum_i DualSoln_i a_i + ReducedCost (and likewise for each C_j up to a
// PSD remainder).
//
// DSDP keeps process-wide state (an output stream, message buffers, memory
// and event counters): every use of it in the library runs under one lock, so
// semidefinite solves on different models take turns. Its messages, which it
// would print to standard output, are collected during the solve and written
// to the model's log.
#pragma once
#include "model/model.hpp"

namespace velmor {

// True when the model has semidefinite variables or semidefinite rows: such a
// model is solved by solve_sdp or not at all.
bool has_semidefinite_part(const ModelData& data);

// VLM_OKAY when solve_sdp takes the model, else the code refusing it:
// VLM_ERROR_ABORT_SOLVER_NOT_AVAILABLE for variables other than continuous
// ones, SOS and indicator constraints, and quadratic objective terms.
int sdp_support(const ModelData& data);

// Solves the model and replaces its solution and run statistics. Honours the
// parameters MaxTime (wall clock, checked once per iteration),
// IPM/MaxIterations, IPM/GapTolerance, IPM/PrimalTolerance and
// IPM/DualTolerance (at their defaults, 1e-6 each); the others do not apply.
// The status comes from the point DSDP ended on, measured on the model (see
// VLMoptimize in velmor.h); a run that stalls short of the tolerances is
// repeated with other settings and the best point kept. Returns VLM_OKAY once a run
// ended, whatever its status, or an error code: the code of sdp_support, or
// VLM_ERROR_INTERIOR_NUMERIC / VLM_ERROR_NOMEMORY / VLM_ERROR_ERROR when DSDP
// fails; after an error the earlier results stay. Never throws. The caller
// holds the model's busy flag.
int solve_sdp(VLMmodel& model);

}  // namespace velmor
