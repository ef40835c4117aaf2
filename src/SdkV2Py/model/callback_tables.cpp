// The callback tables (kCbWhereRows, kCbWhatRows) and the filling of their table class.
#include "model/callback_tables.hpp"

#include <velmor.h>

#include "runtime/errors.hpp"
#include "runtime/state.hpp"
#include "runtime/table_classes.hpp"

namespace velmorpy {

const CbWhereRow kCbWhereRows[] = {
    {"MIPSTART", VLM_CB_MIPSTART, "MIP Optimizer is in initial optimization phase."},
    {"MIPSOL", VLM_CB_MIPSOL, "MIP Optimizer just found a new incumbent solution."},
    {"MIPNODE", VLM_CB_MIPNODE, "MIP Optimizer is currently exploring a node."},
};
const std::size_t kNumCbWhereRows = sizeof kCbWhereRows / sizeof kCbWhereRows[0];

// Several descriptions end in a blank; they are shown as they are. MIP_SOL and
// MIP_REL must stay exposed: the model's solution and relaxation queries name
// them through VLM.Callback.
const CbWhatRow kCbWhatRows[] = {
    {VLM_CB_PRE_NUMVARS, "PRE_NUMVARS", CbAccessor::cbint, "md", true, "Number columns of the presolved model."},
    {VLM_CB_PRE_NUMCONSTRS, "PRE_NUMCONSTRS", CbAccessor::cbint, "md", true, "Number rows of the presolved model."},
    {VLM_CB_PRE_NUMNZS, "PRE_NUMNZS", CbAccessor::cbint, "md", true,
     "Number nonzero elements of the presolved model."},
    {VLM_CB_PRE_LB, "PRE_LB", CbAccessor::cbdblat, "vd", false,
     "Array to hold the lower bound of columns of the presolved model."},
    {VLM_CB_PRE_UB, "PRE_UB", CbAccessor::cbdblat, "vd", false,
     "Array to hold the upper bound of columns of the presolved model."},
    {VLM_CB_PRE_LHS, "PRE_LHS", CbAccessor::cbdblat, "cd", false,
     "Array to hold the lower bound of rows of the presolved model."},
    {VLM_CB_PRE_RHS, "PRE_RHS", CbAccessor::cbdblat, "cd", false,
     "Array to hold the upper bound of rows of the presolved model."},
    {VLM_CB_PRE_OBJ, "PRE_OBJ", CbAccessor::cbdblat, "vd", false,
     "Array to hold the objective coefficients of the presolved model."},
    {VLM_CB_PRE_ISINT, "PRE_ISINT", CbAccessor::cbintat, "vd", false,
     "Array to hold the integer type of columns of the presolved model."},
    {VLM_CB_PRE_ELEMENTS, "PRE_ELEMENTS", CbAccessor::cbdblat, "cd", false,
     "Array to hold the value of the nonzero elements (in CSC format) of the presolved model."},
    {VLM_CB_PRE_INDICES, "PRE_INDICES", CbAccessor::cbintat, "cd", false,
     "Array to hold the row index of the nonzero elements (in CSC format) of the presolved model."},
    {VLM_CB_PRE_STARTS, "PRE_STARTS", CbAccessor::cbintat, "vd", false,
     "Array to hold the start position of the nonzero elements (in CSC format) of the presolved model."},
    {VLM_CB_PRE_OBJCONST, "PRE_OBJCONST", CbAccessor::cbdbl, "md", false,
     "The objective constant of the presolved model."},
    {VLM_CB_MIP_OBJBST, "MIP_OBJBST", CbAccessor::cbdbl, "md", true, "Current best objective (global primal bound). "},
    {VLM_CB_MIP_OBJBND, "MIP_OBJBND", CbAccessor::cbdbl, "md", true, "Current best objective bound (global dual bound)."},
    {VLM_CB_MIP_RELVAL, "MIP_RELVAL", CbAccessor::cbdbl, "md", true, "Current relaxation objective (local dual bound)."},
    {VLM_CB_MIP_SOLPRE, "MIP_SOLPRE", CbAccessor::cbdblat, "vd", false,
     "Array to hold the best solution (in presolved domain) found so far."},
    {VLM_CB_MIP_RELPRE, "MIP_RELPRE", CbAccessor::cbdblat, "vd", false,
     "Array to hold the relaxation solution (in presolved domain) at the current node."},
    {VLM_CB_MIP_RELRDCPRE, "MIP_RELRDCPRE", CbAccessor::cbdblat, "vd", false,
     "Array to hold the reduced costs of the relaxation (in presolved domain) at the current node."},
    {VLM_CB_MIP_NODCNT, "MIP_NODCNT", CbAccessor::cbint, "md", true, "Total number of nodes explored so far. "},
    {VLM_CB_MIP_SOLCNT, "MIP_SOLCNT", CbAccessor::cbint, "md", true,
     "Total number of feasible solutions found so far. "},
    {VLM_CB_MIP_CUTCNT, "MIP_CUTCNT", CbAccessor::cbint, "md", true, "Total number of cutting planes applied so far. "},
    {VLM_CB_MIP_NODLFT, "MIP_NODLFT", CbAccessor::cbint, "md", true, "Total number of nodes unexplored nodes. "},
    {VLM_CB_MIP_NODEID, "MIP_NODEID", CbAccessor::cbint, "md", true, "The unique ID of the current node. "},
    {VLM_CB_MIP_DEPTH, "MIP_DEPTH", CbAccessor::cbint, "md", true, "The depth of the current node. "},
    {VLM_CB_MIP_PHASE, "MIP_PHASE", CbAccessor::cbint, "md", true,
     "Current phase in the MIP optimizer. (0: no solution; 1: far away from optimum; 2: close to the optimum) "},
    {VLM_CB_MIP_LB, "MIP_LB", CbAccessor::cbdblat, "vd", false,
     "Array to hold the lower bound of variables at the current node."},
    {VLM_CB_MIP_UB, "MIP_UB", CbAccessor::cbdblat, "vd", false,
     "Array to hold the upper bound of variables at the current node."},
    {VLM_CB_MIP_SOL, "MIP_SOL", CbAccessor::cbdblat, "vd", true,
     "Array to hold the best solution(in original domain) found so far."},
    {VLM_CB_MIP_REL, "MIP_REL", CbAccessor::cbdblat, "vd", true,
     "Array to hold the relaxation solution(in original domain) found so far."},
};
const std::size_t kNumCbWhatRows = sizeof kCbWhatRows / sizeof kCbWhatRows[0];

const CbWhatRow* find_cb_what(long long code) noexcept {
  for (const CbWhatRow& row : kCbWhatRows)
    if (row.code == code) return &row;
  return nullptr;
}

namespace {

void add_code_member(PyObject* cls, const char* name, int code, const char* description) {
  Ref value = take(PyLong_FromLong(code));
  Ref doc = take(PyUnicode_FromFormat("Code = %d\nDesc: %s", code, description));
  add_value_property(cls, name, value.get(), doc.get());
}

}  // namespace

void build_callback_tables() {
  Ref cls = module_global("CallbackClass");
  for (const CbWhereRow& row : kCbWhereRows) add_code_member(cls.get(), row.name, row.code, row.description);
  for (const CbWhatRow& row : kCbWhatRows)
    if (row.exposed) add_code_member(cls.get(), row.name, row.code, row.description);
  bind_table_instance(cls.get(), "callback");
}

}  // namespace velmorpy
