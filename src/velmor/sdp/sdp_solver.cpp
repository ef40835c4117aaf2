// Semidefinite programs solved with DSDP: the standard form handed to DSDP,
// the run under DSDP's lock, and the solution read back in the model's terms.
#include "sdp/sdp_solver.hpp"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <Eigen/Cholesky>
#include <Eigen/Core>

// dsdpbasictypes.h declares DSDPSetConvergenceFlag without C linkage.
extern "C" {
#include "dsdpbasictypes.h"
}
#include "dsdp5.h"
#include "core/params.hpp"
#include "core/validate.hpp"

namespace velmor {

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// ---- DSDP's messages -----------------------------------------------------------
//
// DSDP prints its messages with printf and its relatives. The library links a
// private copy of DSDP's static library in which those calls are renamed to
// the velmor_dsdp_* functions at the end of this file (dsdp_output.syms
// lists them): text for standard output or standard error lands in the
// collector of the thread that runs DSDP, and the run writes it to the
// model's log. Outside a run (no collector) the text is dropped.

thread_local std::string* t_dsdp_text = nullptr;

void collect(const char* text, size_t n) noexcept {
  if (!t_dsdp_text) return;
  try {
    t_dsdp_text->append(text, n);
  } catch (...) {
    // A message lost for want of memory; the run goes on.
  }
}

int collect_format(const char* format, va_list args) noexcept {
  char buf[512];
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(buf, sizeof buf, format, args);
  if (n >= 0 && static_cast<size_t>(n) < sizeof buf) {
    collect(buf, static_cast<size_t>(n));
  } else if (n > 0) {
    try {
      std::string big(static_cast<size_t>(n) + 1, '\0');
      std::vsnprintf(&big[0], big.size(), format, again);
      collect(big.data(), static_cast<size_t>(n));
    } catch (...) {
    }
  }
  va_end(again);
  return n;
}

bool is_console(std::FILE* stream) { return stream == stdout || stream == stderr; }

// DSDP keeps process-wide state (its output stream, message buffers, memory
// and event counters), so one run at a time uses it.
std::mutex& dsdp_lock() {
  static std::mutex lock;
  return lock;
}

// ---- the standard form ---------------------------------------------------------

constexpr double kInf = VLM_INFINITY;

// How a model column is rebuilt from DSDP's linear variables s:
// x = shift + s[pos] - s[neg], an index -1 standing for no term.
struct ColumnMap {
  double shift = 0.0;
  int pos = -1;
  int neg = -1;
};

// One data matrix of a semidefinite block: `vari` 0 is the objective, k + 1
// constraint k; entries at DSDP's packed lower-triangle positions
// row * (row + 1) / 2 + col.
struct PackedMatrix {
  int vari;
  std::vector<int> ind;
  std::vector<double> val;
};

struct Block {
  int var;  // the model's semidefinite variable
  int dim;
  std::vector<PackedMatrix> mats;
};

// DSDP's primal problem  min <C, X> + cost.s  s.t.  <A_k, X> + lp_terms[k].s = b[k],
// X PSD, s >= 0, and the way back to the model. DSDP keeps pointers into the
// arrays, so the formulation outlives the DSDP object.
//
// DSDP bounds its y by 1e7 and reads larger ones as a sign of infeasibility,
// so the data is scaled: each model row is divided by its largest
// coefficient, the objective by its largest one. X and s keep their values;
// y and DSDP's objectives are converted back by dual() and objective().
struct Formulation {
  std::vector<double> b;
  std::vector<double> con_scale;  // per constraint: what its row was divided by
  std::vector<SparseVector> lp_terms;  // per constraint: linear variable, coefficient
  std::vector<double> lp_cost;
  std::vector<Block> blocks;
  std::vector<int> block_of_var;  // per semidefinite variable, -1 when it appears nowhere
  std::vector<ColumnMap> cols;
  std::vector<int> row_con;  // per row: its constraint, -1 for a row with two free sides
  double sense = 1.0;        // the minimised objective is sense * (the model's objective)
  double offset = 0.0;       // its constant part, left out of DSDP's objective
  double obj_scale = 1.0;    // what the rest was divided by
  double obj_max = 0.0;      // the largest objective coefficient in the model's units
  std::string infeasible;    // non-empty when the bounds alone are contradictory: why

  // The linear cone in DSDP's column form: column 0 the costs, column k + 1
  // the coefficients of constraint k.
  std::vector<int> lp_beg, lp_ind;
  std::vector<double> lp_val;

  int num_lp() const { return static_cast<int>(lp_cost.size()); }
  int num_cons() const { return static_cast<int>(b.size()); }

  int add_lp(double cost) {
    check_growth(num_lp(), 1);
    lp_cost.push_back(cost);
    return num_lp() - 1;
  }
  // A constraint with right-hand side rhs / scale, its terms to be divided
  // by scale.
  int add_con(double rhs, double scale = 1.0) {
    check_growth(num_cons(), 2);  // DSDP numbers its constraints from 1
    b.push_back(rhs / scale);
    con_scale.push_back(scale);
    lp_terms.emplace_back();
    return num_cons() - 1;
  }

  // A value of DSDP's objective as a value of the model's objective.
  double objective(double dsdp_value) const { return sense * (obj_scale * dsdp_value + offset); }
  // The model's dual of constraint k.
  double dual(int k, const std::vector<double>& y) const {
    const size_t kk = static_cast<size_t>(k);
    return sense * obj_scale * y[kk] / con_scale[kk];
  }
};

int packed_index(int row, int col) {
  const long long p = static_cast<long long>(row) * (row + 1) / 2 + col;
  if (p > INT_MAX) refuse(VLM_ERROR_INVALID_ARGUMENT);
  return static_cast<int>(p);
}

void add_matrix(Formulation& f, const ModelData& d, int var, int vari, const SymMatrix& m, double scale) {
  if (m.lower.empty()) return;
  int& block = f.block_of_var[static_cast<size_t>(var)];
  if (block < 0) {
    block = static_cast<int>(f.blocks.size());
    f.blocks.push_back({var, d.psd_vars[static_cast<size_t>(var)].dim, {}});
  }
  PackedMatrix pm{vari, {}, {}};
  pm.ind.reserve(m.lower.size());
  pm.val.reserve(m.lower.size());
  for (const SymEntry& e : m.lower) {  // row-major lower entries: packed positions ascend
    pm.ind.push_back(packed_index(e.row, e.col));
    pm.val.push_back(scale * e.value);
  }
  f.blocks[static_cast<size_t>(block)].mats.push_back(std::move(pm));
}

// A constraint s + t = width on the slack s of a range or box, t a new
// linear variable.
void add_width(Formulation& f, int s, double width) {
  const int k = f.add_con(width);
  const int t = f.add_lp(0.0);
  f.lp_terms[static_cast<size_t>(k)] = {{s, 1.0}, {t, 1.0}};
}

bool within(double value, double lb, double ub, double tol) {
  return value >= lb - tol * (1.0 + std::fabs(lb)) && value <= ub + tol * (1.0 + std::fabs(ub));
}

// Boxed columns and ranged rows: (slack, width) for the constraints that
// close them, added after the rows.
using Widths = std::vector<std::pair<int, double>>;

// Each column as a shift and DSDP's linear variables (ColumnMap). False,
// with `f.infeasible` set, when a column's bounds cross.
bool map_columns(Formulation& f, const ModelData& d, Widths& widths) {
  const Columns& cols = d.cols;
  for (int j = 0; j < cols.size(); ++j) {
    const size_t jj = static_cast<size_t>(j);
    const double lb = cols.lb[jj], ub = cols.ub[jj], c = f.sense * cols.obj[jj];
    ColumnMap& cm = f.cols[jj];
    if (lb > ub) {
      f.infeasible = "the bounds of column " + std::to_string(j) + " cross";
      return false;
    }
    if (lb == ub) {
      cm.shift = lb;
    } else if (lb > -kInf) {
      cm.shift = lb;
      cm.pos = f.add_lp(c);
      if (ub < kInf) widths.emplace_back(cm.pos, ub - lb);
    } else if (ub < kInf) {
      cm.shift = ub;
      cm.neg = f.add_lp(-c);
    } else {
      // DSDP's dual then has an equation, so no interior: slower, still accurate.
      cm.pos = f.add_lp(c);
      cm.neg = f.add_lp(-c);
    }
    f.offset += c * cm.shift;
  }
  return true;
}

// Row i as a constraint on DSDP's variables, scaled by its largest
// coefficient when `scaled`; none for a free row or one without terms that
// holds (within `tol`). False, with `f.infeasible` set, when the row's
// bounds cross or a row without terms is violated.
bool add_row(Formulation& f, const ModelData& d, int i, double tol, bool scaled, Widths& widths) {
  const Rows& rows = d.rows;
  const size_t ii = static_cast<size_t>(i);
  const double lb = rows.lb[ii], ub = rows.ub[ii];
  if (lb > ub) {
    f.infeasible = "the bounds of row " + std::to_string(i) + " cross";
    return false;
  }
  if (lb <= -kInf && ub >= kInf) return true;
  double constant = 0.0;
  SparseVector terms;
  for (const Entry& e : rows.lin[ii]) {
    if (e.value == 0.0) continue;
    const ColumnMap& cm = f.cols[static_cast<size_t>(e.index)];
    constant += e.value * cm.shift;
    if (cm.pos >= 0) terms.push_back({cm.pos, e.value});
    if (cm.neg >= 0) terms.push_back({cm.neg, -e.value});
  }
  double scale = 0.0;
  for (const Entry& e : terms) scale = std::max(scale, std::fabs(e.value));
  for (const PsdTerm& t : rows.psd[ii])
    for (const SymEntry& e : t.coef.lower) scale = std::max(scale, std::fabs(e.value));
  if (scale != 0.0 && !scaled) scale = 1.0;
  if (scale == 0.0) {
    if (!within(constant, lb, ub, tol)) {
      f.infeasible = "row " + std::to_string(i) + " has no free terms and is violated";
      return false;
    }
    return true;
  }
  const int k = f.add_con((lb > -kInf ? lb : ub) - constant, scale);
  f.row_con[ii] = k;
  for (const PsdTerm& t : rows.psd[ii]) add_matrix(f, d, t.var, k + 1, t.coef, 1.0 / scale);
  for (Entry& e : terms) e.value /= scale;
  if (lb != ub) {
    const int s = f.add_lp(0.0);  // in the row's own units
    if (lb > -kInf) {
      terms.push_back({s, -1.0 / scale});
      if (ub < kInf) widths.emplace_back(s, ub - lb);
    } else {
      terms.push_back({s, 1.0 / scale});
    }
  }
  std::sort(terms.begin(), terms.end(), [](const Entry& a, const Entry& b) { return a.index < b.index; });
  f.lp_terms[static_cast<size_t>(k)] = std::move(terms);
  return true;
}

// The objective, scaled by its largest coefficient when `scaled`.
void scale_objective(Formulation& f, const ModelData& d, bool scaled) {
  f.obj_scale = 0.0;
  for (const double c : f.lp_cost) f.obj_scale = std::max(f.obj_scale, std::fabs(c));
  for (const PsdVariable& v : d.psd_vars)
    for (const SymEntry& e : v.obj.lower) f.obj_scale = std::max(f.obj_scale, std::fabs(e.value));
  f.obj_max = f.obj_scale;
  if (f.obj_scale == 0.0 || !scaled) f.obj_scale = 1.0;
  for (double& c : f.lp_cost) c /= f.obj_scale;
  for (size_t j = 0; j < d.psd_vars.size(); ++j)
    add_matrix(f, d, static_cast<int>(j), 0, d.psd_vars[j].obj, f.sense / f.obj_scale);
}

// The linear cone's columns: the costs, then each constraint's terms.
void pack_linear_cone(Formulation& f) {
  if (f.num_lp() == 0) return;
  f.lp_beg.reserve(static_cast<size_t>(f.num_cons()) + 2);
  f.lp_beg.push_back(0);
  for (int s = 0; s < f.num_lp(); ++s) {
    const double c = f.lp_cost[static_cast<size_t>(s)];
    if (c == 0.0) continue;
    f.lp_ind.push_back(s);
    f.lp_val.push_back(c);
  }
  f.lp_beg.push_back(static_cast<int>(f.lp_ind.size()));
  for (const SparseVector& terms : f.lp_terms) {
    check_growth(static_cast<long long>(f.lp_ind.size()), static_cast<long long>(terms.size()));
    for (const Entry& e : terms) {
      f.lp_ind.push_back(e.index);
      f.lp_val.push_back(e.value);
    }
    f.lp_beg.push_back(static_cast<int>(f.lp_ind.size()));
  }
}

// Builds DSDP's standard form of the model. `tol` decides whether a row left
// without terms (all its columns fixed) holds. Without `scaled`, rows and
// objective keep their coefficients.
Formulation formulate(const ModelData& d, double tol, bool scaled) {
  Formulation f;
  f.sense = d.sense == VLM_MAXIMIZE ? -1.0 : 1.0;
  f.cols.resize(static_cast<size_t>(d.cols.size()));
  f.row_con.assign(static_cast<size_t>(d.rows.size()), -1);
  f.block_of_var.assign(d.psd_vars.size(), -1);
  f.offset = f.sense * d.obj_const;
  Widths widths;
  if (!map_columns(f, d, widths)) return f;
  for (int i = 0; i < d.rows.size(); ++i)
    if (!add_row(f, d, i, tol, scaled, widths)) return f;
  for (const auto& w : widths) add_width(f, w.first, w.second);
  // DSDP needs a constraint; t = 1 with t >= 0 changes nothing.
  if (f.num_cons() == 0) {
    const int k = f.add_con(1.0);
    f.lp_terms[static_cast<size_t>(k)] = {{f.add_lp(0.0), 1.0}};
  }
  scale_objective(f, d, scaled);
  pack_linear_cone(f);
  return f;
}

// ---- the run -------------------------------------------------------------------------

// One use of DSDP: holds DSDP's lock, collects DSDP's messages on this thread
// and owns the DSDP object, destroyed before the lock is released.
class DsdpRun {
 public:
  explicit DsdpRun(LogSink& log) : guard_(dsdp_lock()), log_(log) { t_dsdp_text = &text_; }
  ~DsdpRun() {
    if (solver) DSDPDestroy(solver);
    t_dsdp_text = nullptr;
    pass_messages();
  }
  DsdpRun(const DsdpRun&) = delete;
  DsdpRun& operator=(const DsdpRun&) = delete;

  // Writes the messages DSDP produced so far to the log, a line each.
  void pass_messages() noexcept {
    try {
      size_t at = 0;
      while (at < text_.size()) {
        size_t end = text_.find('\n', at);
        if (end == std::string::npos) end = text_.size();
        std::string line = text_.substr(at, end - at);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
        if (!line.empty()) log_.write_line("DSDP: " + line, true);
        at = end + 1;
      }
    } catch (...) {
    }
    text_.clear();
  }

  // Refuses with `code` when a DSDP call failed.
  void check(int info, int code) {
    if (info != 0) {
      pass_messages();
      refuse(code);
    }
  }

  DSDP solver = nullptr;

 private:
  std::lock_guard<std::mutex> guard_;
  LogSink& log_;
  std::string text_;
};

// What the iteration monitor needs; DSDP calls it after every iteration.
struct Progress {
  Clock::time_point start;
  Clock::time_point last_line;
  double max_time;
  const Formulation* f;
  LogSink* log;
  bool time_limit = false;
};

int monitor_iteration(DSDP dsdp, void* ctx) noexcept {
  Progress& p = *static_cast<Progress*>(ctx);
  try {
    const Clock::time_point now = Clock::now();
    const double elapsed = std::chrono::duration<double>(now - p.start).count();
    if (now - p.last_line >= std::chrono::seconds(1)) {
      int its = 0;
      double pp = 0.0, dd = 0.0;
      DSDPGetIts(dsdp, &its);
      DSDPGetPPObjective(dsdp, &pp);
      DSDPGetDDObjective(dsdp, &dd);
      char line[160];
      std::snprintf(line, sizeof line, "Iteration %d: primal objective %.8e, dual objective %.8e, %.1f s", its,
                    p.f->objective(pp), p.f->objective(dd), elapsed);
      p.log->write_line(line, true);
      p.last_line = now;
    }
    if (elapsed >= p.max_time) {
      p.time_limit = true;
      DSDPSetConvergenceFlag(dsdp, DSDP_USER_TERMINATION);
    }
  } catch (...) {
  }
  return 0;
}

const char* reason_text(DSDPTerminationReason reason, bool time_limit) {
  if (time_limit) return "time limit";
  switch (reason) {
    case DSDP_CONVERGED: return "converged";
    case DSDP_MAX_IT: return "iteration limit";
    case DSDP_SMALL_STEPS: return "steps too short";
    case DSDP_INDEFINITE_SCHUR_MATRIX: return "indefinite Schur matrix";
    case DSDP_NUMERICAL_ERROR: return "numerical error";
    case DSDP_INFEASIBLE_START: return "infeasible start";
    case DSDP_UPPERBOUND: return "dual objective bound reached";
    default: return "stopped";
  }
}

const char* status_text(int status) {
  switch (status) {
    case VLM_STATUS_OPTIMAL: return "OPTIMAL";
    case VLM_STATUS_INFEASIBLE: return "INFEASIBLE";
    case VLM_STATUS_UNBOUNDED: return "UNBOUNDED";
    case VLM_STATUS_INF_OR_UBD: return "INF_OR_UBD";
    case VLM_STATUS_SUB_OPTIMAL: return "SUB_OPTIMAL";
    default: return "UNKNOWN";
  }
}

std::string format_line(const char* format, ...) {
  char buf[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return buf;
}

// <M, X> for a symmetric M and a full dim * dim row-major X.
double inner(const SymMatrix& m, const std::vector<double>& x, int dim) {
  double sum = 0.0;
  for (const SymEntry& e : m.lower) {
    const size_t rc = static_cast<size_t>(e.row) * dim + e.col, cr = static_cast<size_t>(e.col) * dim + e.row;
    sum += e.row == e.col ? e.value * x[rc] : e.value * (x[rc] + x[cr]);
  }
  return sum;
}

// DSDP's X of block `block` in packed form, or null when DSDP has none of
// the expected size.
const double* block_x(SDPCone cone, int block, int dim) {
  double* packed = nullptr;
  int n = 0;
  if (SDPConeGetXArray(cone, block, &packed, &n) != 0) return nullptr;
  if (static_cast<long long>(n) != static_cast<long long>(dim) * (dim + 1) / 2) return nullptr;
  return packed;
}

// Whether DSDP holds an X of the expected size for every block.
bool x_available(SDPCone cone, const Formulation& f) {
  for (size_t bj = 0; bj < f.blocks.size(); ++bj)
    if (!block_x(cone, static_cast<int>(bj), f.blocks[bj].dim)) return false;
  return true;
}

// The point DSDP ended on, in the model's terms: column values, matrices,
// objective, row activities.
void read_primal(const ModelData& d, const Formulation& f, const std::vector<double>& s, SDPCone cone,
                 Solution& sol) {
  const size_t ncols = static_cast<size_t>(d.cols.size());
  sol.x.assign(ncols, 0.0);
  for (size_t j = 0; j < ncols; ++j) {
    const ColumnMap& cm = f.cols[j];
    double v = cm.shift;
    if (cm.pos >= 0) v += s[static_cast<size_t>(cm.pos)];
    if (cm.neg >= 0) v -= s[static_cast<size_t>(cm.neg)];
    sol.x[j] = v;
  }
  sol.psd_x.assign(d.psd_vars.size(), {});
  for (size_t j = 0; j < d.psd_vars.size(); ++j) {
    const int dim = d.psd_vars[j].dim;
    std::vector<double>& full = sol.psd_x[j];
    full.assign(static_cast<size_t>(dim) * dim, 0.0);  // a matrix in no row and not in the objective: 0
    const int block = f.block_of_var[j];
    if (block < 0) continue;
    const double* packed = block_x(cone, block, dim);  // x_available checked it
    for (int r = 0; r < dim; ++r)
      for (int c = 0; c <= r; ++c) {
        const double v = packed[packed_index(r, c)];
        full[static_cast<size_t>(r) * dim + c] = v;
        full[static_cast<size_t>(c) * dim + r] = v;
      }
  }
  double obj = d.obj_const;
  for (size_t j = 0; j < ncols; ++j) obj += d.cols.obj[j] * sol.x[j];
  for (size_t j = 0; j < d.psd_vars.size(); ++j) obj += inner(d.psd_vars[j].obj, sol.psd_x[j], d.psd_vars[j].dim);
  sol.primal_obj = obj;
  const size_t nrows = static_cast<size_t>(d.rows.size());
  sol.row_activity.assign(nrows, 0.0);
  for (size_t i = 0; i < nrows; ++i) {
    double a = 0.0;
    for (const Entry& e : d.rows.lin[i]) a += e.value * sol.x[static_cast<size_t>(e.index)];
    for (const PsdTerm& t : d.rows.psd[i])
      a += inner(t.coef, sol.psd_x[static_cast<size_t>(t.var)], d.psd_vars[static_cast<size_t>(t.var)].dim);
    sol.row_activity[i] = a;
  }
  sol.has_primal = true;
  sol.sol_count = 1;
}

// Whether the point of `sol` is feasible up to `tol`: row activities and
// column values within their bounds relative to each bound, and every
// matrix X with X + tol (1 + its largest entry) I positive definite.
bool primal_holds(const ModelData& d, const Solution& sol, double tol) {
  for (size_t i = 0; i < sol.row_activity.size(); ++i)
    if (!within(sol.row_activity[i], d.rows.lb[i], d.rows.ub[i], tol)) return false;
  for (size_t j = 0; j < sol.x.size(); ++j)
    if (!within(sol.x[j], d.cols.lb[j], d.cols.ub[j], tol)) return false;
  for (size_t j = 0; j < sol.psd_x.size(); ++j) {
    const int dim = d.psd_vars[j].dim;
    const std::vector<double>& full = sol.psd_x[j];
    double largest = 0.0;
    for (double v : full) largest = std::max(largest, std::fabs(v));
    Eigen::MatrixXd x = Eigen::Map<const Eigen::MatrixXd>(full.data(), dim, dim);
    x.diagonal().array() += tol * (1.0 + largest);
    if (Eigen::LLT<Eigen::MatrixXd, Eigen::Lower>(x).info() != Eigen::Success) return false;
  }
  return true;
}

// Row duals and reduced costs from DSDP's y, in the model's sense.
void read_dual(const ModelData& d, const Formulation& f, const std::vector<double>& y, double dd,
               Solution& sol) {
  const size_t nrows = static_cast<size_t>(d.rows.size());
  sol.row_dual.assign(nrows, 0.0);
  sol.reduced_cost = d.cols.obj;
  for (size_t i = 0; i < nrows; ++i) {
    const int k = f.row_con[i];
    if (k < 0) continue;
    const double dual = f.dual(k, y);
    sol.row_dual[i] = dual;
    for (const Entry& e : d.rows.lin[i]) sol.reduced_cost[static_cast<size_t>(e.index)] -= dual * e.value;
  }
  sol.dual_obj = f.objective(dd);
  sol.has_dual = true;
}

struct Cones {
  SDPCone sdp = nullptr;  // null without semidefinite blocks
  LPCone lp = nullptr;    // null without linear variables
};

// The tolerances of a semidefinite run. IPM/GapTolerance,
// IPM/PrimalTolerance and IPM/DualTolerance left at their defaults (chosen
// for the barrier of linear and quadratic programs) stand for kSdpTolerance
// here, the accuracy DSDP reaches reliably; set otherwise, they hold as
// given. A point is OPTIMAL when it meets all three, as measured on the
// model (evaluate); SUB_OPTIMAL when it is feasible to kSdpLooseTolerance
// (or the requested tolerance, when looser).
constexpr double kSdpTolerance = 1e-6;
constexpr double kSdpLooseTolerance = 1e-5;
constexpr double kDsdpPrimalTolerance = 1e-4;  // DSDP's own default

struct Tolerances {
  double gap, primal, dual;
};

double sdp_tolerance(const ParamValues& params, int id) {
  const double value = params.get(id);
  return value == param_info(id).def ? kSdpTolerance : value;
}

Tolerances sdp_tolerances(const ParamValues& params) {
  return {sdp_tolerance(params, kIpmGapTolerance), sdp_tolerance(params, kIpmPrimalTolerance),
          sdp_tolerance(params, kIpmDualTolerance)};
}

// Hands the formulation and the parameters to DSDP.
Cones load(DsdpRun& run, const Formulation& f, const Tolerances& tol, double gap_factor, int max_its,
           Progress& progress) {
  run.check(DSDPCreate(f.num_cons(), &run.solver), VLM_ERROR_ERROR);
  DSDP dsdp = run.solver;
  Cones cones;
  if (!f.blocks.empty()) {
    run.check(DSDPCreateSDPCone(dsdp, static_cast<int>(f.blocks.size()), &cones.sdp), VLM_ERROR_ERROR);
    for (size_t bj = 0; bj < f.blocks.size(); ++bj) {
      const Block& block = f.blocks[bj];
      const int j = static_cast<int>(bj);
      run.check(SDPConeSetBlockSize(cones.sdp, j, block.dim), VLM_ERROR_ERROR);
      run.check(SDPConeSetSparsity(cones.sdp, j, static_cast<int>(block.mats.size())), VLM_ERROR_ERROR);
      for (const PackedMatrix& pm : block.mats)
        run.check(SDPConeSetASparseVecMat(cones.sdp, j, pm.vari, block.dim, 1.0, 0, pm.ind.data(), pm.val.data(),
                                          static_cast<int>(pm.ind.size())),
                  VLM_ERROR_ERROR);
    }
  }
  if (f.num_lp() > 0) {
    run.check(DSDPCreateLPCone(dsdp, &cones.lp), VLM_ERROR_ERROR);
    run.check(LPConeSetData(cones.lp, f.num_lp(), f.lp_beg.data(), f.lp_ind.data(), f.lp_val.data()),
              VLM_ERROR_ERROR);
  }
  for (int k = 0; k < f.num_cons(); ++k)
    run.check(DSDPSetDualObjective(dsdp, k + 1, f.b[static_cast<size_t>(k)]), VLM_ERROR_ERROR);
  run.check(DSDPSetMaxIts(dsdp, max_its), VLM_ERROR_ERROR);
  run.check(DSDPSetGapTolerance(dsdp, tol.gap * gap_factor), VLM_ERROR_ERROR);
  // DSDP's own measure of the primal infeasibility stops it; ours decides
  // the status (evaluate), so DSDP's is never tighter than its default.
  run.check(DSDPSetPTolerance(dsdp, std::max(tol.primal, kDsdpPrimalTolerance)), VLM_ERROR_ERROR);
  run.check(DSDPSetRTolerance(dsdp, tol.dual), VLM_ERROR_ERROR);
  run.check(DSDPSetMonitor(dsdp, monitor_iteration, &progress), VLM_ERROR_ERROR);
  run.check(DSDPSetup(dsdp), VLM_ERROR_ERROR);
  return cones;
}

// What DSDP reports once it stopped.
struct Outcome {
  DSDPTerminationReason reason = CONTINUE_ITERATING;  // why the iterations stopped
  bool x_trouble = false;  // DSDPComputeX could not make an accurate primal point
  DSDPSolutionType type = DSDP_PDUNKNOWN;
  int its = 0;
  double pinfeas = 0.0;  // DSDP's measure of the rows' violation by X and s
  double r = 0.0;        // DSDP's dual infeasibility, 0 for a feasible y
  double trace = 0.0;    // trace of X plus the sum of s
  double dd = 0.0;       // b . y
  std::vector<double> y, s;
};

Outcome iterate(DsdpRun& run, const Cones& cones, const Formulation& f, RunStats& stats) {
  DSDP dsdp = run.solver;
  Outcome out;
  const Clock::time_point solve_start = Clock::now();
  run.check(DSDPSolve(dsdp), VLM_ERROR_INTERIOR_NUMERIC);
  run.check(DSDPStopReason(dsdp, &out.reason), VLM_ERROR_ERROR);
  run.check(DSDPComputeX(dsdp), VLM_ERROR_INTERIOR_NUMERIC);
  stats.solver_time += seconds_since(solve_start);
  // DSDPComputeX reports a primal point it could not make as a numerical error.
  DSDPTerminationReason after_x = out.reason;
  run.check(DSDPStopReason(dsdp, &after_x), VLM_ERROR_ERROR);
  out.x_trouble = after_x == DSDP_NUMERICAL_ERROR && out.reason != DSDP_NUMERICAL_ERROR;
  run.check(DSDPGetSolutionType(dsdp, &out.type), VLM_ERROR_ERROR);
  run.check(DSDPGetIts(dsdp, &out.its), VLM_ERROR_ERROR);
  run.check(DSDPGetPInfeasibility(dsdp, &out.pinfeas), VLM_ERROR_ERROR);
  run.check(DSDPGetR(dsdp, &out.r), VLM_ERROR_ERROR);
  run.check(DSDPGetTraceX(dsdp, &out.trace), VLM_ERROR_ERROR);
  run.check(DSDPGetDObjective(dsdp, &out.dd), VLM_ERROR_ERROR);
  out.y.assign(static_cast<size_t>(f.num_cons()), 0.0);
  run.check(DSDPGetY(dsdp, out.y.data(), f.num_cons()), VLM_ERROR_ERROR);
  if (cones.lp) {
    double* xs = nullptr;
    int n = 0;
    run.check(LPConeGetXArray(cones.lp, &xs, &n), VLM_ERROR_ERROR);
    if (n != f.num_lp() || !xs) refuse(VLM_ERROR_INTERIOR_NUMERIC);
    out.s.assign(xs, xs + n);
  }
  return out;
}

// What one attempt produced: the status and solution it stands for, and
// how good its point is, to choose among attempts.
struct Candidate {
  Solution sol;
  int rank = 0;  // 4 definitive (OPTIMAL, INFEASIBLE, ...), 2 feasible with duals, 1 feasible, 0 nothing
  double gap = HUGE_VAL;  // relative duality gap, for rank 2
};

// The status DSDP's outcome means for the model, and the solution that goes
// with it. DSDP's verdicts of infeasibility are taken when it concluded and
// `verdicts` is set (a run on unscaled data can take a large optimal y for a
// sign of infeasibility: it only offers points); otherwise the point it stopped on is measured on the model itself: DSDP's
// own stopping test and its X need not agree (X is made from the last
// iterates once the run is over, and after a stall it can be far from
// feasible, or feasible while DSDP reports trouble).
Candidate evaluate(const ModelData& d, const Formulation& f, const Outcome& out, SDPCone cone,
                   const Tolerances& tol, bool verdicts) {
  Candidate c;
  Solution& sol = c.sol;
  const bool concluded = (out.reason == DSDP_CONVERGED || out.reason == DSDP_UPPERBOUND) && !out.x_trouble;
  if (concluded && !verdicts && (out.type == DSDP_UNBOUNDED || out.type == DSDP_INFEASIBLE)) return c;
  if (concluded && out.type == DSDP_UNBOUNDED) {
    sol.status = VLM_STATUS_INFEASIBLE;  // DSDP's dual is unbounded
    c.rank = 4;
    return c;
  }
  if (concluded && out.type == DSDP_INFEASIBLE) {
    // DSDP's dual is infeasible. Its X runs along a ray of the model, so its
    // rows hold relative to the size X has reached when the model is
    // unbounded rather than infeasible.
    double bmax = 0.0;
    for (double bk : f.b) bmax = std::max(bmax, std::fabs(bk));
    sol.status = out.pinfeas <= tol.primal * (1.0 + bmax + out.trace) ? VLM_STATUS_UNBOUNDED
                                                                         : VLM_STATUS_INF_OR_UBD;
    c.rank = 4;
    return c;
  }
  const double loose_primal = std::max(tol.primal, kSdpLooseTolerance);
  const double loose_dual = std::max(tol.dual, kSdpLooseTolerance);
  if (!x_available(cone, f) ||
      !std::all_of(out.s.begin(), out.s.end(), [&](double v) { return v >= -loose_primal; }))
    return c;
  read_primal(d, f, out.s, cone, sol);
  if (!primal_holds(d, sol, loose_primal)) return Candidate();
  // DSDP's r is the multiple of the identity its dual matrix needs to be
  // PSD, in its scaled units.
  const double dual_infeasibility = out.r * f.obj_scale / (1.0 + f.obj_max);
  if (dual_infeasibility <= loose_dual) {
    read_dual(d, f, out.y, out.dd, sol);
    c.gap = std::fabs(sol.primal_obj - sol.dual_obj) / (1.0 + std::fabs(sol.primal_obj) + std::fabs(sol.dual_obj));
  }
  if (sol.has_dual && c.gap <= tol.gap && dual_infeasibility <= tol.dual && primal_holds(d, sol, tol.primal)) {
    sol.status = VLM_STATUS_OPTIMAL;
    c.rank = 4;
  } else {
    sol.status = VLM_STATUS_SUB_OPTIMAL;
    c.rank = sol.has_dual ? 2 : 1;
  }
  return c;
}

// Whether `a` is a better result than `b`.
bool better(const Candidate& a, const Candidate& b) {
  if (a.rank != b.rank) return a.rank > b.rank;
  return a.gap < b.gap;
}

// The attempts of a run, in order, each made only when the ones before it
// ended without an OPTIMAL point (or a verdict of infeasibility) before a
// limit, on the iterations they left: DSDP on the scaled data (which keeps
// its y within its bounds when coefficients or optima are large) aiming a
// hundred times beyond the gap asked for, which well-conditioned problems
// reach at little cost; then at the gap asked for, so that a problem on
// which DSDP stalls near the optimum stops before the stall; then on the data
// as given, which often gives the more accurate X on well-scaled but
// degenerate problems.
struct Attempt {
  bool scaled;
  double gap_factor;  // DSDP's gap tolerance over the requested one
};
constexpr Attempt kAttempts[] = {{true, 0.01}, {true, 1.0}, {false, 1.0}};

// DSDP squares its data (norms, step lengths): data as given with a larger
// magnitude overflows to infinity, on which its initial step search never
// ends. The scaled attempts divide it down; the attempt on the data as given
// is left out for such data.
constexpr double kLargestUnscaled = 1e100;

double largest_magnitude(const Formulation& f) {
  double m = 0.0;
  for (const double v : f.b) m = std::max(m, std::fabs(v));
  for (const double v : f.lp_cost) m = std::max(m, std::fabs(v));
  for (const double v : f.lp_val) m = std::max(m, std::fabs(v));
  for (const Block& b : f.blocks)
    for (const PackedMatrix& pm : b.mats)
      for (const double v : pm.val) m = std::max(m, std::fabs(v));
  return m;
}

int run_sdp(VLMmodel& model) {
  const Clock::time_point start = Clock::now();
  const ModelData& d = model.data;
  const ParamValues& params = model.env->params;
  LogSink& log = *model.env->log;

  int max_dim = 0;
  for (const PsdVariable& v : d.psd_vars) max_dim = std::max(max_dim, v.dim);
  log.write_line(format_line("Semidefinite program: %d rows (%d semidefinite), %d columns, %d psd variables%s",
                             d.rows.size(), d.num_psd_rows(), d.cols.size(), static_cast<int>(d.psd_vars.size()),
                             max_dim > 0 ? format_line(" (largest order %d)", max_dim).c_str() : ""),
                 true);

  const Tolerances tol = sdp_tolerances(params);
  RunStats stats;
  stats.available = true;
  Progress progress{start, start, params.get(kMaxTime), nullptr, &log};
  int its_left = params.get_int(kIpmMaxIterations);
  Candidate best;
  bool have_best = false;
  int first_error = VLM_OKAY;
  for (const Attempt& attempt : kAttempts) {
    const bool scaled = attempt.scaled;
    const Formulation f = formulate(d, tol.primal, scaled);
    if (!f.infeasible.empty()) {
      Solution sol;
      sol.status = VLM_STATUS_INFEASIBLE;
      stats.total_time = seconds_since(start);
      log.write_line("Infeasible: " + f.infeasible, true);
      log.write_line("Status INFEASIBLE", true);
      model.solution = std::move(sol);
      model.stats = stats;
      return VLM_OKAY;
    }
    if (!scaled && largest_magnitude(f) > kLargestUnscaled) {
      log.write_line("Not trying again on the data as given: its magnitudes are beyond DSDP's arithmetic", true);
      break;
    }
    if (&attempt == kAttempts)
      log.write_line(format_line("Standard form for DSDP: %d constraints, %d semidefinite blocks, %d linear variables",
                                 f.num_cons(), static_cast<int>(f.blocks.size()), f.num_lp()),
                     true);
    else
      log.write_line(format_line("Trying again at gap tolerance %g%s", tol.gap * attempt.gap_factor,
                                 scaled ? "" : " on the data as given, without scaling"),
                     true);
    progress.f = &f;
    Outcome out;
    Candidate c;
    const int rc = api_call([&] {
      DsdpRun run(log);
      const Cones cones = load(run, f, tol, attempt.gap_factor, its_left, progress);
      out = iterate(run, cones, f, stats);
      c = evaluate(d, f, out, cones.sdp, tol, scaled);  // reads X while DSDP holds it
      return VLM_OKAY;
    });
    if (rc == VLM_ERROR_NOMEMORY) return rc;
    if (rc != VLM_OKAY) {
      log.write_line(format_line("DSDP stopped with error %d", rc), true);
      if (first_error == VLM_OKAY) first_error = rc;
      continue;
    }
    stats.ipm_iters += out.its;
    its_left -= out.its;
    log.write_line(format_line("DSDP finished after %d iterations in %.2f s (%s%s): %s", out.its,
                               seconds_since(start), reason_text(out.reason, progress.time_limit),
                               out.x_trouble ? "; no accurate primal point" : "", status_text(c.sol.status)),
                   true);
    if (!have_best || better(c, best)) best = std::move(c);
    have_best = true;
    if (best.rank == 4 || progress.time_limit || out.reason == DSDP_MAX_IT || its_left <= 0) break;
  }
  if (!have_best) return first_error;  // the earlier results stay
  Solution& sol = best.sol;
  if (sol.status == VLM_STATUS_UNKNOWN) sol = Solution();
  stats.total_time = seconds_since(start);
  std::string summary = std::string("Status ") + status_text(sol.status);
  if (sol.has_primal) summary += format_line(", primal objective %.10g", sol.primal_obj);
  if (sol.has_dual) summary += format_line(", dual objective %.10g", sol.dual_obj);
  log.write_line(summary, true);
  model.solution = std::move(sol);
  model.stats = stats;
  return VLM_OKAY;
}

}  // namespace

bool has_semidefinite_part(const ModelData& data) {
  return !data.psd_vars.empty() || data.num_psd_rows() > 0;
}

int sdp_support(const ModelData& data) {
  if (data.has_discrete() || !data.quad.empty()) return VLM_ERROR_ABORT_SOLVER_NOT_AVAILABLE;
  return VLM_OKAY;
}

int solve_sdp(VLMmodel& model) {
  const int support = sdp_support(model.data);
  if (support != VLM_OKAY) return support;
  return api_call([&] { return run_sdp(model); });
}

}  // namespace velmor

// DSDP's output functions, renamed in its objects (dsdp_output.syms). They
// take the place of the C library's functions of the same names without the
// prefix, and behave the same for streams other than the console.
extern "C" {

int velmor_dsdp_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = velmor::collect_format(format, args);
  va_end(args);
  return n;
}

int velmor_dsdp_fprintf(std::FILE* stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = velmor::is_console(stream) ? velmor::collect_format(format, args) : std::vfprintf(stream, format, args);
  va_end(args);
  return n;
}

int velmor_dsdp_puts(const char* text) {
  velmor::collect(text, std::strlen(text));
  velmor::collect("\n", 1);
  return 1;
}

int velmor_dsdp_putchar(int c) {
  const char ch = static_cast<char>(c);
  velmor::collect(&ch, 1);
  return static_cast<unsigned char>(ch);
}

int velmor_dsdp_fputs(const char* text, std::FILE* stream) {
  if (!velmor::is_console(stream)) return std::fputs(text, stream);
  velmor::collect(text, std::strlen(text));
  return 1;
}

int velmor_dsdp_fputc(int c, std::FILE* stream) {
  if (!velmor::is_console(stream)) return std::fputc(c, stream);
  const char ch = static_cast<char>(c);
  velmor::collect(&ch, 1);
  return static_cast<unsigned char>(ch);
}

size_t velmor_dsdp_fwrite(const void* data, size_t size, size_t count, std::FILE* stream) {
  if (!velmor::is_console(stream)) return std::fwrite(data, size, count, stream);
  velmor::collect(static_cast<const char*>(data), size * count);
  return count;
}

int velmor_dsdp_fflush(std::FILE* stream) {
  if (velmor::is_console(stream)) return 0;
  return std::fflush(stream);
}

}  // extern "C"

