// Attributes: the table of every attribute the library answers (name, type,
// kind, writability) and the typed getters and setters.
//
// Checks run in one order for every call: the name (unknown:
// MODEL_INVALID_ATTR_NAME), the call's type (MODEL_INVALID_<type>_ATTR), the
// kind (a model-level call on an item attribute or the reverse:
// MODEL_INVALID_ATTR_NAME), writability (INVALID_ARGUMENT), the arguments, the
// indices, the values, and for results whether they exist (NO_SOLN,
// NO_STATISTICS, IIS_NO_SOLN, DATA_NOT_AVAILABLE). Nothing is written before
// every check passed.
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "model/model.hpp"
#include "core/params.hpp"
#include "core/text_util.hpp"
#include "core/validate.hpp"

using velmor::refuse;
using velmor::with_model;

namespace {

// The attributes behind the names; an alias names the same one as its target.
enum class Attr {
  MinSense, ModelSense, HasSolution, HasPrimalRay, HasDualRay, NumVars, NumConstrs, NumSOS, NumGenConstrs,
  NumNZs, SpxNumIters, IpmNumIters, IsInteger, IISVar, IISConstr, ColBasis, RowBasis, GenConstrType, Status, Dim,
  NumPsdVars, NumPsdConstrs, SolCount, ObjConst, ObjVal, DualObjVal, PresolverTime, SolverTime, SolutionTime,
  MipGapAbs, MipGapRel, LB, UB, Obj, LHS, RHS, X, Xn, Start, DualSoln, Activity, RC, PsdCLHS, PsdCRHS,
  ModelName, RowName, ColName, PsdVarName, PsdCName, GenConstrName, VType, PsdX, PsdObj,
};

constexpr int C = VLM_ATTRTYPE_CHAR, I = VLM_ATTRTYPE_INT, D = VLM_ATTRTYPE_DOUBLE, S = VLM_ATTRTYPE_STRING,
              M = VLM_ATTRTYPE_MATRIX;
constexpr int kModel = VLM_ATTRKIND_MODEL, kVar = VLM_ATTRKIND_VAR, kRow = VLM_ATTRKIND_CONSTR,
              kSos = VLM_ATTRKIND_SOS, kGen = VLM_ATTRKIND_GENCONSTR, kPsdVar = VLM_ATTRKIND_PSDVAR,
              kPsdRow = VLM_ATTRKIND_PSDCONSTR;

struct AttrRow {
  const char* name;
  int type;
  int kind;
  bool writable;
  Attr attr;
};

constexpr AttrRow kAttrs[] = {
    {"MinSense", I, kModel, false, Attr::MinSense},
    {"ModelSense", I, kModel, true, Attr::ModelSense},
    {"HasSolution", I, kModel, false, Attr::HasSolution},
    {"HasPrimalRay", I, kModel, false, Attr::HasPrimalRay},
    {"HasDualRay", I, kModel, false, Attr::HasDualRay},
    {"NumVars", I, kModel, false, Attr::NumVars},
    {"NumConss", I, kModel, false, Attr::NumConstrs},
    {"NumConstrs", I, kModel, false, Attr::NumConstrs},
    {"NumSOS", I, kModel, false, Attr::NumSOS},
    {"NumGenConstrs", I, kModel, false, Attr::NumGenConstrs},
    {"NumEnts", I, kModel, false, Attr::NumNZs},
    {"NumNZs", I, kModel, false, Attr::NumNZs},
    {"SPX/NumIters", I, kModel, false, Attr::SpxNumIters},
    {"IPM/NumIters", I, kModel, false, Attr::IpmNumIters},
    {"IsInteger", I, kVar, false, Attr::IsInteger},
    {"IISVar", I, kVar, false, Attr::IISVar},
    {"IISConstr", I, kRow, false, Attr::IISConstr},
    {"IISCol", I, kVar, false, Attr::IISVar},
    {"IISRow", I, kRow, false, Attr::IISConstr},
    {"ColBasis", I, kVar, false, Attr::ColBasis},
    {"RowBasis", I, kRow, false, Attr::RowBasis},
    {"GenConstrType", I, kGen, false, Attr::GenConstrType},
    {"Status", I, kModel, false, Attr::Status},
    {"Dim", I, kPsdVar, false, Attr::Dim},
    {"NumPsdVars", I, kModel, false, Attr::NumPsdVars},
    {"NumPsdConstrs", I, kModel, false, Attr::NumPsdConstrs},
    {"SolCount", I, kModel, false, Attr::SolCount},
    {"ObjConst", D, kModel, true, Attr::ObjConst},
    {"ObjCon", D, kModel, true, Attr::ObjConst},
    {"PrimalObjVal", D, kModel, false, Attr::ObjVal},
    {"ObjVal", D, kModel, false, Attr::ObjVal},
    {"DualObjVal", D, kModel, false, Attr::DualObjVal},
    {"PresolverTime", D, kModel, false, Attr::PresolverTime},
    {"SolverTime", D, kModel, false, Attr::SolverTime},
    {"SolutionTime", D, kModel, false, Attr::SolutionTime},
    {"MIP/GapAbs", D, kModel, false, Attr::MipGapAbs},
    {"MIP/GapRel", D, kModel, false, Attr::MipGapRel},
    {"LB", D, kVar, true, Attr::LB},
    {"UB", D, kVar, true, Attr::UB},
    {"Obj", D, kVar, true, Attr::Obj},
    {"LHS", D, kRow, true, Attr::LHS},
    {"RHS", D, kRow, true, Attr::RHS},
    {"PrimalSoln", D, kVar, false, Attr::X},
    {"X", D, kVar, false, Attr::X},
    {"Xn", D, kVar, false, Attr::Xn},
    {"Start", D, kVar, true, Attr::Start},
    {"DualSoln", D, kRow, false, Attr::DualSoln},
    {"Activity", D, kRow, false, Attr::Activity},
    {"ReducedCost", D, kVar, false, Attr::RC},
    {"RC", D, kVar, false, Attr::RC},
    {"PsdCLHS", D, kPsdRow, true, Attr::PsdCLHS},
    {"PsdCRHS", D, kPsdRow, true, Attr::PsdCRHS},
    {"ProbName", S, kModel, true, Attr::ModelName},
    {"ModelName", S, kModel, true, Attr::ModelName},
    {"RowName", S, kRow, true, Attr::RowName},
    {"ConstrName", S, kRow, true, Attr::RowName},
    {"ColName", S, kVar, true, Attr::ColName},
    {"VarName", S, kVar, true, Attr::ColName},
    {"PsdVarName", S, kPsdVar, true, Attr::PsdVarName},
    {"PsdCName", S, kPsdRow, true, Attr::PsdCName},
    {"GenConstrName", S, kGen, true, Attr::GenConstrName},
    {"VType", C, kVar, true, Attr::VType},
    {"PsdX", M, kPsdVar, false, Attr::PsdX},
    {"PsdObj", M, kPsdVar, true, Attr::PsdObj},
};
static_assert(sizeof kAttrs / sizeof kAttrs[0] == 64, "the library answers 64 attribute names");

constexpr size_t kNumAttrs = sizeof kAttrs / sizeof kAttrs[0];

const AttrRow* find_attr(const char* name) {
  // Built once, on first use, and only read afterwards.
  static const velmor::NameTable table = [] {
    std::vector<const char*> names;
    for (const AttrRow& row : kAttrs) names.push_back(row.name);
    return velmor::NameTable(names);
  }();
  const int i = table.find(name);
  return i < 0 ? nullptr : &kAttrs[i];
}

int type_code(int type) {
  switch (type) {
    case C: return VLM_ERROR_MODEL_INVALID_CHAR_ATTR;
    case I: return VLM_ERROR_MODEL_INVALID_INT_ATTR;
    case D: return VLM_ERROR_MODEL_INVALID_REAL_ATTR;
    case S: return VLM_ERROR_MODEL_INVALID_STR_ATTR;
    default: return VLM_ERROR_MODEL_INVALID_MAT_ATTR;
  }
}

// The attribute `name` for a call of `type`, at the model level or for items.
const AttrRow& resolve(const char* name, int type, bool items) {
  const AttrRow* row = find_attr(name);
  if (!row) refuse(VLM_ERROR_MODEL_INVALID_ATTR_NAME);
  if (row->type != type) refuse(type_code(type));
  if ((row->kind != kModel) != items) refuse(VLM_ERROR_MODEL_INVALID_ATTR_NAME);
  return *row;
}

const AttrRow& resolve_for_write(const VLMmodel& m, const char* name, int type, bool items) {
  const AttrRow& row = resolve(name, type, items);
  if (!row.writable) refuse(VLM_ERROR_INVALID_ARGUMENT);
  velmor::check_writable(m);
  return row;
}

// Number of items of a kind and the code for an index outside them.
void check_items(const VLMmodel& m, int kind, int n, const int* ind) {
  velmor::check_count(n);
  velmor::check_array(ind, n);
  long long size = 0;
  int code = VLM_ERROR_INVALID_ARGUMENT;
  switch (kind) {
    case kVar: size = m.data.cols.size(), code = VLM_ERROR_MODEL_INVALID_COL_IDX; break;
    case kRow:
    case kPsdRow: size = m.data.rows.size(), code = VLM_ERROR_MODEL_INVALID_ROW_IDX; break;
    case kSos: size = static_cast<long long>(m.data.sos.size()), code = VLM_ERROR_MODEL_INVALID_SOS_IDX; break;
    case kGen:
      size = static_cast<long long>(m.data.indicators.size()), code = VLM_ERROR_MODEL_INVALID_INDICATOR_ROW_IDX;
      break;
    case kPsdVar:
      size = static_cast<long long>(m.data.psd_vars.size()), code = VLM_ERROR_MODEL_INVALID_SYM_MAT_IDX;
      break;
    default: break;
  }
  for (int k = 0; k < n; ++k) velmor::check_index(ind[k], size, code);
}

// ---- results ---------------------------------------------------------------

const velmor::Solution& primal(const VLMmodel& m) {
  if (!m.solution.has_primal) refuse(VLM_ERROR_NO_SOLN);
  return m.solution;
}

const velmor::Solution& dual(const VLMmodel& m) {
  if (!m.solution.has_dual) refuse(m.solution.has_primal ? VLM_ERROR_DATA_NOT_AVAILABLE : VLM_ERROR_NO_SOLN);
  return m.solution;
}

const velmor::Solution& basis(const VLMmodel& m) {
  if (!m.solution.has_basis) refuse(m.solution.has_primal ? VLM_ERROR_DATA_NOT_AVAILABLE : VLM_ERROR_NO_SOLN);
  return m.solution;
}

const velmor::RunStats& stats(const VLMmodel& m) {
  if (!m.stats.available) refuse(VLM_ERROR_NO_STATISTICS);
  return m.stats;
}

const velmor::IisResult& iis(const VLMmodel& m) {
  if (!m.iis.available) refuse(VLM_ERROR_IIS_NO_SOLN);
  return m.iis;
}

// Element i of a result vector that a solver filled; a vector of the wrong
// size (never written for this model) reads as unavailable.
template <class T>
const std::vector<T>& sized(const std::vector<T>& v, size_t size) {
  if (v.size() != size) refuse(VLM_ERROR_DATA_NOT_AVAILABLE);
  return v;
}

// The solution that Xn reads: number MIP/SolutionNumber of the pool.
const std::vector<double>& pool_solution(const VLMmodel& m) {
  const velmor::Solution& s = primal(m);
  const int k = m.env->params.get_int(velmor::kMipSolutionNumber);
  if (s.pool.empty()) {
    if (k != 0) refuse(VLM_ERROR_INVALID_SOL_IDX);
    return s.x;
  }
  if (k >= static_cast<int>(s.pool.size())) refuse(VLM_ERROR_INVALID_SOL_IDX);
  return s.pool[static_cast<size_t>(k)];
}

// ---- typed values ------------------------------------------------------------

int model_int(const VLMmodel& m, Attr a) {
  const velmor::ModelData& d = m.data;
  switch (a) {
    case Attr::MinSense: return d.sense == VLM_MINIMIZE ? 1 : 0;
    case Attr::ModelSense: return d.sense;
    case Attr::HasSolution: return m.solution.has_primal ? 1 : 0;
    case Attr::HasPrimalRay: return m.solution.has_primal_ray ? 1 : 0;
    case Attr::HasDualRay: return m.solution.has_dual_ray ? 1 : 0;
    case Attr::NumVars: return d.cols.size();
    case Attr::NumConstrs: return d.rows.size();
    case Attr::NumSOS: return static_cast<int>(d.sos.size());
    case Attr::NumGenConstrs: return static_cast<int>(d.indicators.size());
    case Attr::NumNZs: {
      const long long n = d.num_nonzeros();
      if (n > INT_MAX) refuse(VLM_ERROR_DATA_NOT_AVAILABLE);
      return static_cast<int>(n);
    }
    case Attr::SpxNumIters: return stats(m).spx_iters;
    case Attr::IpmNumIters: return stats(m).ipm_iters;
    case Attr::Status: return m.solution.status;
    case Attr::NumPsdVars: return static_cast<int>(d.psd_vars.size());
    case Attr::NumPsdConstrs: return d.num_psd_rows();
    case Attr::SolCount: return m.solution.sol_count;
    default: refuse(VLM_ERROR_ERROR);
  }
}

double model_dbl(const VLMmodel& m, Attr a) {
  switch (a) {
    case Attr::ObjConst: return m.data.obj_const;
    case Attr::ObjVal: return primal(m).primal_obj;
    case Attr::DualObjVal: return dual(m).dual_obj;
    case Attr::PresolverTime: return stats(m).presolve_time;
    case Attr::SolverTime: return stats(m).solver_time;
    case Attr::SolutionTime: return stats(m).total_time;
    case Attr::MipGapAbs:
    case Attr::MipGapRel: {
      const velmor::Solution& s = primal(m);
      if (!s.has_gap) refuse(VLM_ERROR_DATA_NOT_AVAILABLE);
      return a == Attr::MipGapAbs ? s.gap_abs : s.gap_rel;
    }
    default: refuse(VLM_ERROR_ERROR);
  }
}

// Reads an item int attribute for every index (all checked) into value.
void item_ints(const VLMmodel& m, Attr a, int n, const int* ind, int* value) {
  const velmor::ModelData& d = m.data;
  const size_t ncols = static_cast<size_t>(d.cols.size()), nrows = static_cast<size_t>(d.rows.size());
  const std::vector<int>* source = nullptr;
  const std::vector<char>* flags = nullptr;
  switch (a) {
    case Attr::IISVar: flags = &sized(iis(m).vars, ncols); break;
    case Attr::IISConstr: flags = &sized(iis(m).rows, nrows); break;
    case Attr::ColBasis: source = &sized(basis(m).col_basis, ncols); break;
    case Attr::RowBasis: source = &sized(basis(m).row_basis, nrows); break;
    default: break;
  }
  for (int k = 0; k < n; ++k) {
    const size_t i = static_cast<size_t>(ind[k]);
    switch (a) {
      case Attr::IsInteger: {
        const char t = d.cols.type[i];
        value[k] = t == VLM_BINARY || t == VLM_INTEGER || t == VLM_SEMIINT ? 1 : 0;
        break;
      }
      case Attr::GenConstrType: value[k] = VLM_GENCONSTR_INDICATOR; break;
      case Attr::Dim: value[k] = d.psd_vars[i].dim; break;
      default: value[k] = source ? (*source)[i] : (*flags)[i];
    }
  }
}

// The vector behind an item double attribute.
const std::vector<double>& item_dbl_source(const VLMmodel& m, Attr a) {
  const velmor::ModelData& d = m.data;
  const size_t ncols = static_cast<size_t>(d.cols.size()), nrows = static_cast<size_t>(d.rows.size());
  switch (a) {
    case Attr::LB: return d.cols.lb;
    case Attr::UB: return d.cols.ub;
    case Attr::Obj: return d.cols.obj;
    case Attr::LHS:
    case Attr::PsdCLHS: return d.rows.lb;
    case Attr::RHS:
    case Attr::PsdCRHS: return d.rows.ub;
    case Attr::X: return sized(primal(m).x, ncols);
    case Attr::Xn: return sized(pool_solution(m), ncols);
    case Attr::RC: return sized(dual(m).reduced_cost, ncols);
    case Attr::DualSoln: return sized(dual(m).row_dual, nrows);
    case Attr::Activity: return sized(primal(m).row_activity, nrows);
    default: refuse(VLM_ERROR_ERROR);
  }
}

std::vector<double>& item_dbl_target(VLMmodel& m, Attr a) {
  velmor::ModelData& d = m.data;
  switch (a) {
    case Attr::LB: return d.cols.lb;
    case Attr::UB: return d.cols.ub;
    case Attr::Obj: return d.cols.obj;
    case Attr::Start: return d.cols.starts();
    case Attr::LHS:
    case Attr::PsdCLHS: return d.rows.lb;
    case Attr::RHS:
    case Attr::PsdCRHS: return d.rows.ub;
    default: refuse(VLM_ERROR_ERROR);
  }
}

// The checked form of a value written to an item double attribute.
double checked_item_dbl(Attr a, double v) {
  switch (a) {
    case Attr::Obj: return velmor::checked_coef(v);
    case Attr::Start:
      if (v == VLM_UNDEFINED) return v;
      return velmor::checked_coef(v);
    default: return velmor::checked_bound(v);
  }
}

const velmor::ShortText& item_name(const VLMmodel& m, Attr a, size_t i) {
  const velmor::ModelData& d = m.data;
  switch (a) {
    case Attr::ColName: return d.cols.name_at(i);
    case Attr::RowName:
    case Attr::PsdCName: return d.rows.name[i];
    case Attr::PsdVarName: return d.psd_vars[i].name;
    case Attr::GenConstrName: return d.indicators[i].name;
    default: refuse(VLM_ERROR_ERROR);
  }
}

// The name to write; a column's names are made when it is the first.
velmor::ShortText& item_name_ref(VLMmodel& m, Attr a, size_t i) {
  velmor::ModelData& d = m.data;
  switch (a) {
    case Attr::ColName: return d.cols.names()[i];
    case Attr::RowName:
    case Attr::PsdCName: return d.rows.name[i];
    case Attr::PsdVarName: return d.psd_vars[i].name;
    case Attr::GenConstrName: return d.indicators[i].name;
    default: refuse(VLM_ERROR_ERROR);
  }
}

// The name index that follows the names of `a`, or null.
velmor::NameIndex* name_index(VLMmodel& m, Attr a) {
  if (a == Attr::ColName) return &m.var_names;
  if (a == Attr::RowName || a == Attr::PsdCName) return &m.row_names;
  return nullptr;
}

// ---- matrices ------------------------------------------------------------------

// One matrix of a matrix attribute in hand-off form.
struct HandoffMatrix {
  int dim;
  std::vector<int> pos;
  std::vector<double> val;
};

HandoffMatrix psd_matrix(const VLMmodel& m, Attr a, int var) {
  const velmor::PsdVariable& v = m.data.psd_vars[static_cast<size_t>(var)];
  HandoffMatrix out{v.dim, {}, {}};
  if (a == Attr::PsdObj) {
    velmor::sym_to_handoff(v.obj, v.dim, out.pos, out.val);
    return out;
  }
  const velmor::Solution& s = primal(m);
  const auto& all = sized(s.psd_x, m.data.psd_vars.size());
  const std::vector<double>& x = sized(all[static_cast<size_t>(var)], static_cast<size_t>(v.dim) * v.dim);
  out.val = x;
  out.pos.resize(x.size());
  for (size_t k = 0; k < x.size(); ++k) out.pos[k] = static_cast<int>(k);
  return out;
}

}  // namespace

extern "C" {

int VLMgetattrinfo(VLMmodel* model, const char* name, int* type, int* kind, int* flag) {
  return with_model(model, [&](VLMmodel&) {
    const AttrRow* row = find_attr(name);
    if (!row) refuse(VLM_ERROR_MODEL_INVALID_ATTR_NAME);
    if (type) *type = row->type;
    if (kind) *kind = row->kind;
    if (flag) *flag = row->writable ? 1 : 0;
    return VLM_OKAY;
  });
}

int VLMgetintattr(VLMmodel* model, const char* name, int* value) {
  return with_model(model, [&](VLMmodel& m) {
    const AttrRow& row = resolve(name, I, false);
    if (!value) refuse(VLM_ERROR_INVALID_ARGUMENT);
    *value = model_int(m, row.attr);
    return VLM_OKAY;
  });
}

int VLMgetdblattr(VLMmodel* model, const char* name, double* value) {
  return with_model(model, [&](VLMmodel& m) {
    const AttrRow& row = resolve(name, D, false);
    if (!value) refuse(VLM_ERROR_INVALID_ARGUMENT);
    *value = model_dbl(m, row.attr);
    return VLM_OKAY;
  });
}

int VLMgetstrattr(VLMmodel* model, const char* name, char** value) {
  return with_model(model, [&](VLMmodel& m) {
    resolve(name, S, false);
    if (!value) refuse(VLM_ERROR_INVALID_ARGUMENT);
    std::vector<std::string> texts{m.data.name};
    m.texts.swap(texts);
    *value = m.texts[0].data();
    return VLM_OKAY;
  });
}

int VLMsetintattr(VLMmodel* model, const char* name, int value) {
  return with_model(model, [&](VLMmodel& m) {
    resolve_for_write(m, name, I, false);  // ModelSense is the one writable model int
    if (value != VLM_MINIMIZE && value != VLM_MAXIMIZE) refuse(VLM_ERROR_MODEL_INPUT_ERROR);
    m.data.sense = value;
    m.data_changed();
    return VLM_OKAY;
  });
}

int VLMsetdblattr(VLMmodel* model, const char* name, double value) {
  return with_model(model, [&](VLMmodel& m) {
    resolve_for_write(m, name, D, false);  // ObjConst is the one writable model double
    m.data.obj_const = velmor::checked_coef(value);
    m.data_changed();
    return VLM_OKAY;
  });
}

int VLMsetstrattr(VLMmodel* model, const char* name, const char* value) {
  return with_model(model, [&](VLMmodel& m) {
    resolve_for_write(m, name, S, false);  // ProbName is the one writable model text
    if (!value) refuse(VLM_ERROR_INVALID_ARGUMENT);
    m.data.name = value;
    return VLM_OKAY;
  });
}

int VLMgetintattrlist(VLMmodel* model, const char* name, int n, const int* ind, int* value) {
  return with_model(model, [&](VLMmodel& m) {
    const AttrRow& row = resolve(name, I, true);
    check_items(m, row.kind, n, ind);
    velmor::check_array(value, n);
    item_ints(m, row.attr, n, ind, value);
    return VLM_OKAY;
  });
}

int VLMgetdblattrlist(VLMmodel* model, const char* name, int n, const int* ind, double* value) {
  return with_model(model, [&](VLMmodel& m) {
    const AttrRow& row = resolve(name, D, true);
    check_items(m, row.kind, n, ind);
    velmor::check_array(value, n);
    if (row.attr == Attr::Start) {
      for (int k = 0; k < n; ++k) value[k] = m.data.cols.start_at(static_cast<size_t>(ind[k]));
      return VLM_OKAY;
    }
    const std::vector<double>& source = item_dbl_source(m, row.attr);
    for (int k = 0; k < n; ++k) value[k] = source[static_cast<size_t>(ind[k])];
    return VLM_OKAY;
  });
}

int VLMgetcharattrlist(VLMmodel* model, const char* name, int n, const int* ind, char* value) {
  return with_model(model, [&](VLMmodel& m) {
    resolve(name, C, true);  // VType
    check_items(m, kVar, n, ind);
    velmor::check_array(value, n);
    for (int k = 0; k < n; ++k) value[k] = m.data.cols.type[static_cast<size_t>(ind[k])];
    return VLM_OKAY;
  });
}

int VLMgetstrattrlist(VLMmodel* model, const char* name, int n, const int* ind, char** value) {
  return with_model(model, [&](VLMmodel& m) {
    const AttrRow& row = resolve(name, S, true);
    check_items(m, row.kind, n, ind);
    velmor::check_array(value, n);
    std::vector<std::string> texts(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k)
      texts[static_cast<size_t>(k)] = item_name(m, row.attr, static_cast<size_t>(ind[k])).str();
    m.texts.swap(texts);
    for (int k = 0; k < n; ++k) value[k] = m.texts[static_cast<size_t>(k)].data();
    return VLM_OKAY;
  });
}

int VLMsetintattrlist(VLMmodel* model, const char* name, int n, const int* ind, const int* value) {
  return with_model(model, [&](VLMmodel& m) {
    // Every item int attribute is a result or derived from other data.
    resolve_for_write(m, name, I, true);
    (void)n, (void)ind, (void)value;
    return VLM_OKAY;
  });
}

int VLMsetdblattrlist(VLMmodel* model, const char* name, int n, const int* ind, const double* value) {
  return with_model(model, [&](VLMmodel& m) {
    const AttrRow& row = resolve_for_write(m, name, D, true);
    check_items(m, row.kind, n, ind);
    velmor::check_array(value, n);
    // Every value checked before the first is stored; the check is run again
    // as each one is stored instead of keeping a checked copy of them all.
    for (int k = 0; k < n; ++k) checked_item_dbl(row.attr, value[k]);
    std::vector<double>& target = item_dbl_target(m, row.attr);
    for (int k = 0; k < n; ++k) target[static_cast<size_t>(ind[k])] = checked_item_dbl(row.attr, value[k]);
    if (row.attr != Attr::Start) m.data_changed();
    return VLM_OKAY;
  });
}

int VLMsetcharattrlist(VLMmodel* model, const char* name, int n, const int* ind, const char* value) {
  return with_model(model, [&](VLMmodel& m) {
    resolve_for_write(m, name, C, true);  // VType
    check_items(m, kVar, n, ind);
    velmor::check_array(value, n);
    std::vector<char> types(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) types[static_cast<size_t>(k)] = velmor::checked_type(value[k]);
    // An indicator's variable stays binary: the constraint is read as a switch.
    for (const velmor::Indicator& g : m.data.indicators)
      for (int k = 0; k < n; ++k)
        if (ind[k] == g.binvar && types[static_cast<size_t>(k)] != VLM_BINARY)
          refuse(VLM_ERROR_MODEL_INVALID_INDICATOR_COL_IDX);
    for (int k = 0; k < n; ++k) m.data.cols.type[static_cast<size_t>(ind[k])] = types[static_cast<size_t>(k)];
    m.data_changed();
    return VLM_OKAY;
  });
}

int VLMsetstrattrlist(VLMmodel* model, const char* name, int n, const int* ind, const char* const* value) {
  return with_model(model, [&](VLMmodel& m) {
    const AttrRow& row = resolve_for_write(m, name, S, true);
    check_items(m, row.kind, n, ind);
    velmor::check_array(value, n);
    std::vector<velmor::ShortText> names(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
      if (!value[k]) refuse(VLM_ERROR_INVALID_ARGUMENT);
      names[static_cast<size_t>(k)] = value[k];
    }
    velmor::NameIndex* index = name_index(m, row.attr);
    for (int k = 0; k < n; ++k) {
      velmor::ShortText& name = item_name_ref(m, row.attr, static_cast<size_t>(ind[k]));
      std::swap(name, names[static_cast<size_t>(k)]);  // names[k] now holds the old name
      if (index) index->renamed(ind[k], names[static_cast<size_t>(k)], name);
    }
    return VLM_OKAY;
  });
}

int VLMgetmatattrlist(VLMmodel* model, const char* name, int n, const int* ind, int* nnz, int* beg, int* nrows,
                      int* ncols, int* pos, double* val) {
  return with_model(model, [&](VLMmodel& m) {
    const AttrRow& row = resolve(name, M, true);
    check_items(m, row.kind, n, ind);
    if (!nnz) refuse(VLM_ERROR_INVALID_ARGUMENT);
    std::vector<HandoffMatrix> mats;
    mats.reserve(static_cast<size_t>(n));
    long long total = 0;
    for (int k = 0; k < n; ++k) {
      mats.push_back(psd_matrix(m, row.attr, ind[k]));
      total += static_cast<long long>(mats.back().pos.size());
    }
    if (total > INT_MAX) refuse(VLM_ERROR_INVALID_ARGUMENT);
    if (velmor::fill_call({{beg, n}, {nrows, n}, {ncols, n}, {pos, total}, {val, total}})) {
      if (total > *nnz) refuse(VLM_ERROR_INVALID_ARGUMENT);
      int at = 0;
      for (int k = 0; k < n; ++k) {
        const HandoffMatrix& h = mats[static_cast<size_t>(k)];
        beg[k] = at;
        nrows[k] = ncols[k] = h.dim;
        for (size_t e = 0; e < h.pos.size(); ++e, ++at) {
          pos[at] = h.pos[e];
          val[at] = h.val[e];
        }
      }
    }
    *nnz = static_cast<int>(total);
    return VLM_OKAY;
  });
}

int VLMsetmatattrlist(VLMmodel* model, const char* name, int n, const int* ind, int nnz, const int* beg,
                      const int* nrows, const int* ncols, const int* pos, const double* val) {
  return with_model(model, [&](VLMmodel& m) {
    resolve_for_write(m, name, M, true);  // PsdObj
    check_items(m, kPsdVar, n, ind);
    velmor::check_starts(n, nnz, beg);
    velmor::check_array(nrows, n);
    velmor::check_array(ncols, n);
    velmor::check_array(pos, nnz);
    velmor::check_array(val, nnz);
    std::vector<velmor::SymMatrix> mats;
    mats.reserve(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
      const int dim = m.data.psd_vars[static_cast<size_t>(ind[k])].dim;
      if (nrows[k] != dim || ncols[k] != dim) refuse(VLM_ERROR_MODEL_INVALID_REAL_ATTR_SYM_MAT);
      const long long b = velmor::item_begin(beg, k), e = velmor::item_end(beg, n, nnz, k);
      for (long long j = b; j < e; ++j) {
        velmor::check_index(pos[j], static_cast<long long>(dim) * dim, VLM_ERROR_MODEL_INVALID_SYM_MAT_ROW_IDX);
        velmor::checked_coef(val[j]);
      }
      mats.push_back(velmor::sym_from_handoff(dim, e - b, pos + b, val + b));
    }
    // In order, so an item given twice keeps its last matrix.
    for (int k = 0; k < n; ++k) m.data.psd_vars[static_cast<size_t>(ind[k])].obj.lower.swap(mats[static_cast<size_t>(k)].lower);
    m.data_changed();
    return VLM_OKAY;
  });
}

}  // extern "C"
