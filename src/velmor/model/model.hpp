// The model store behind VLMmodel: what a model holds, in the library's own
// terms. Solvers read ModelData and the model's environment, and write a
// Solution (plus RunStats and, for infeasible models, an IisResult); nothing
// here knows a solver.
//
// Numbering: every kind of item is numbered densely from 0 in order of
// addition; deletions renumber the survivors in their order. Linear and
// semidefinite rows share one numbering (Rows), the semidefinite ones being
// those with is_psd set.
//
// Values: bounds are finite or exactly +-VLM_INFINITY; every coefficient is
// finite. Sparse vectors are sorted by index with each index once; explicit
// zero coefficients given by the caller are kept (they count in NumEnts).
#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/api_guard.hpp"
#include "core/env.hpp"
#include "model/short_text.hpp"
#include "velmor.h"

namespace velmor {

// The largest order of a semidefinite variable: its matrix's flat positions
// fit an int.
constexpr int kMaxPsdDim = 46340;

// One coefficient of a sparse row or column: `index` is a column index in a
// row and a row index in a column.
struct Entry {
  int index;
  double value;
};
using SparseVector = std::vector<Entry>;

// A symmetric matrix, kept as its lower triangle: entries with row >= col,
// sorted row-major, no zero values. The entry (r, c) stands for both (r, c)
// and (c, r): <C, X> = sum over lower entries of value * (X[r][c] + X[c][r])
// for r != c, and value * X[r][r] on the diagonal.
struct SymEntry {
  int row;
  int col;
  double value;
};
struct SymMatrix {
  std::vector<SymEntry> lower;
};

// Reads a coefficient matrix handed over as (flat position, value) pairs of an
// order-`dim` matrix: each non-zero entry is stored at its position and at the
// mirrored one, a later entry overwriting an earlier one at either position;
// zero entries are ignored. Positions must have been checked to lie in
// [0, dim * dim).
SymMatrix sym_from_handoff(int dim, long long nnz, const int* pos, const double* val);
// Lists every stored position of both triangles once, row-major, as flat
// positions row * dim + col.
void sym_to_handoff(const SymMatrix& m, int dim, std::vector<int>& pos, std::vector<double>& val);
// Number of positions sym_to_handoff lists.
long long sym_handoff_size(const SymMatrix& m);

// Variables, one entry per column in every vector.
struct Columns {
  std::vector<double> lb, ub, obj;
  std::vector<char> type;         // VLM_CONTINUOUS, VLM_BINARY, VLM_INTEGER, VLM_SEMICONT, VLM_SEMIINT
  // Names: empty while no variable has one, else one per column ("" for
  // none). Read through name_at, written through names.
  std::vector<ShortText> name;
  // MIP start values: empty while no variable has one, else one per column
  // (VLM_UNDEFINED where none). Read through start_at, written through starts.
  std::vector<double> start;
  int size() const { return static_cast<int>(lb.size()); }
  double start_at(size_t j) const { return start.empty() ? VLM_UNDEFINED : start[j]; }
  const ShortText& name_at(size_t j) const {
    static const ShortText none;
    return name.empty() ? none : name[j];
  }
  std::vector<ShortText>& names() {
    if (name.empty()) name.resize(lb.size());
    return name;
  }
  std::vector<double>& starts() {
    if (start.empty()) start.assign(lb.size(), VLM_UNDEFINED);
    return start;
  }
};

// The semidefinite part of a row: <coef, X[var]>.
struct PsdTerm {
  int var;
  SymMatrix coef;
};

// Rows lb <= lin . x + sum <coef, X[var]> <= ub, linear and semidefinite alike.
struct Rows {
  std::vector<double> lb, ub;
  std::vector<ShortText> name;
  std::vector<SparseVector> lin;
  std::vector<std::vector<PsdTerm>> psd;  // sorted by var, each var once; empty for linear rows
  std::vector<char> is_psd;               // 1 for rows added as semidefinite rows
  int size() const { return static_cast<int>(lb.size()); }
};

struct Sos {
  int type;  // VLM_SOS_TYPE1 or VLM_SOS_TYPE2
  std::vector<int> members;
  std::vector<double> weights;
};

// When x[binvar] == binval, lin . x (sense) rhs must hold. binvar is binary.
struct Indicator {
  ShortText name;
  int binvar;
  int binval;  // 0 or 1
  SparseVector lin;
  char sense;  // VLM_LESS_EQUAL, VLM_GREATER_EQUAL or VLM_EQUAL
  double rhs;
};

struct PsdVariable {
  int dim;
  SymMatrix obj;
  ShortText name;
};

// Quadratic objective terms value * x[i] * x[j] as ((i, j), value), i <= j,
// sorted by (i, j), each pair once, no zero value.
using QuadTerms = std::vector<std::pair<std::pair<int, int>, double>>;

// Adds `terms` ((i, j), value) to `quad`, each pair taken as (min, max):
// repeated and mirrored pairs are summed, the new ones in their order, then
// with the term already there; zero sums are dropped. `check_sum(sum)` sees
// every sum the new terms make before anything changes, and refuses by
// throwing. `terms` is left in an unspecified state.
void add_quad_terms(QuadTerms& quad, QuadTerms& terms, const std::function<void(double)>& check_sum);

// A starting basis for the next solve, where that is a simplex solve of an
// LP (VLMread of a .bas file; VLMoptimize uses it up): one VLM_BASIS_* code per column and per row, as ColBasis and
// RowBasis give them; empty when there is none. A basis whose sizes no
// longer match the model's (items added or deleted since) is not used.
struct StartBasis {
  std::vector<int> cols, rows;
  bool empty() const { return cols.empty() && rows.empty(); }
};

struct ModelData {
  std::string name;
  int sense = VLM_MINIMIZE;
  double obj_const = 0.0;
  Columns cols;
  Rows rows;
  QuadTerms quad;
  std::vector<Sos> sos;
  std::vector<Indicator> indicators;  // the general constraints
  std::vector<PsdVariable> psd_vars;
  StartBasis start_basis;

  int num_psd_rows() const;
  long long num_nonzeros() const;
  // Integer, binary, semi-continuous or semi-integer variables, SOS or
  // indicator constraints.
  bool has_discrete() const;
};

// What the last run produced, written by a solver and read by the solution
// attributes. Vectors are sized to the model when their flag is set.
struct Solution {
  int status = VLM_STATUS_UNKNOWN;
  int sol_count = 0;
  bool has_primal = false;  // x, row_activity, primal_obj, psd_x
  bool has_dual = false;    // row_dual, reduced_cost, dual_obj
  bool has_basis = false;   // col_basis, row_basis
  bool has_gap = false;     // gap_abs, gap_rel (MIP runs)
  bool has_primal_ray = false;
  bool has_dual_ray = false;
  double primal_obj = 0.0, dual_obj = 0.0, gap_abs = 0.0, gap_rel = 0.0;
  std::vector<double> x, reduced_cost, row_activity, row_dual;
  std::vector<int> col_basis, row_basis;
  std::vector<std::vector<double>> psd_x;  // per semidefinite variable: dim * dim values, row-major
  // Further solutions of a MIP run, best first (attribute Xn with parameter
  // MIP/SolutionNumber). When empty, solution 0 is x.
  std::vector<std::vector<double>> pool;
};

// Statistics of the last run.
struct RunStats {
  bool available = false;
  int spx_iters = 0, ipm_iters = 0;
  // Branch-and-bound nodes, and the work of CBC's searches: simplex
  // iterations, strong branching's among them, and nodes (a search's own
  // budget is counted in it: CbcSearch::work).
  long long nodes = 0, work = 0;
  double presolve_time = 0.0, solver_time = 0.0, total_time = 0.0;
};

// The irreducible inconsistent subsystem found by the last IIS computation:
// per variable and row, which of its sides belong to it.
constexpr char kIisLower = 1;  // the lower bound (a row's left-hand side)
constexpr char kIisUpper = 2;  // the upper bound (a row's right-hand side)
struct IisResult {
  bool available = false;
  std::vector<char> vars, rows;  // kIisLower | kIisUpper, 0 for non-members
};

// The items of each name, for the look-up of the first one; built on the
// first look-up, then kept current by every change of names (an addition, a
// rename, a deletion) at the cost of that change, never rebuilt over all
// items. Unnamed items ("") are not listed. When keeping it current fails
// for want of memory, it is dropped and built again on the next look-up.
class NameIndex {
 public:
  // The first index of `name` in `names`, or -1.
  int find(const std::vector<ShortText>& names, const std::string& name);
  // Items were appended to `names` from `first` on.
  void appended(const std::vector<ShortText>& names, int first);
  // Item `index` was renamed from `old_name` to `new_name`.
  void renamed(int index, const ShortText& old_name, const ShortText& new_name) noexcept;
  // Items were deleted: `map` gives each old index its new one, -1 when deleted.
  void renumbered(const std::vector<int>& map) noexcept;

 private:
  std::unordered_multimap<std::string, int> items_;
  bool built_ = false;
};

}  // namespace velmor

struct VLMmodel {
  velmor::ModelData data;
  velmor::Solution solution;
  velmor::RunStats stats;
  velmor::IisResult iis;
  std::unique_ptr<VLMenv> env;  // the model's private environment; env->owner == this
  VLMcallback callback = nullptr;
  void* callback_data = nullptr;
  // Set while the model is being optimised: every change, a second run and
  // freeing the model are refused then.
  std::atomic<bool> busy{false};
  velmor::NameIndex var_names, row_names;
  // Texts handed out by the string attribute getters; replaced by the next one.
  std::vector<std::string> texts;

  // Forgets the results of earlier runs after the model data changed: the
  // solution, the statistics and the IIS.
  void data_changed();
};

namespace velmor {

// Entry-point helper: runs `body(model)` under api_call, refusing a null
// model with VLM_ERROR_INVALID_ARGUMENT.
template <class F>
int with_model(VLMmodel* model, F&& body) noexcept {
  if (!model) return VLM_ERROR_INVALID_ARGUMENT;
  return api_call([&] { return body(*model); });
}

// Refuses with VLM_ERROR_INVALID_ARGUMENT while the model is being optimised.
void check_writable(const VLMmodel& model);

// Makes an empty model on `env`'s parameters (a private copy sharing its log).
std::unique_ptr<VLMmodel> make_model(const VLMenv& env);

// A sparse vector from n (index, value) pairs: indices checked against
// [0, size) (refused with `index_code`), values finite, repeated indices
// summed, sorted by index.
SparseVector make_sparse(const int* ind, const double* val, long long n, int size, int index_code);

// Appends numvars columns as VLMaddvars describes; all or nothing.
void add_vars(VLMmodel& model, int numvars, int numnz, const int* colbeg, const int* colind, const double* colval,
              const double* obj, const double* lb, const double* ub, const char* vtype,
              const char* const* varnames);

}  // namespace velmor
