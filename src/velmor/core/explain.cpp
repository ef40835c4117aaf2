// Texts of the result codes.
#include "core/api_guard.hpp"
#include "velmor.h"

namespace {

struct Explanation {
  int code;
  const char* text;
};

constexpr Explanation kExplanations[] = {
    {VLM_OKAY, "No error"},
    {VLM_ERROR_ERROR, "Unspecified error"},
    {VLM_ERROR_NOMEMORY, "Out of memory"},
    {VLM_ERROR_INVALID_ARGUMENT, "Invalid argument"},
    {VLM_ERROR_HOME_ENV_NOT_FOUND, "Home environment not found"},
    {VLM_ERROR_DLL_ERROR, "Failed to load a required shared library"},
    {VLM_ERROR_IO_ERROR, "Input/output error"},
    {VLM_ERROR_FILE_READ_ERROR, "Unable to read file"},
    {VLM_ERROR_FILE_WRITE_ERROR, "Unable to write file"},
    {VLM_ERROR_DIRECTORY_ERROR, "Invalid directory"},
    {VLM_ERROR_FORMAT_ERROR, "Invalid or unsupported file format"},
    {VLM_ERROR_VERSION_ERROR, "Unsupported file version"},
    {VLM_ERROR_REMOTE_INVALID_TOKEN, "Invalid remote access token"},
    {VLM_ERROR_REMOTE_CONNECTION_ERROR, "Remote connection failed"},
    {VLM_ERROR_MODEL_INPUT_ERROR, "Invalid model input"},
    {VLM_ERROR_MODEL_EMPTY, "Model is empty"},
    {VLM_ERROR_MODEL_INVALID_ROW_IDX, "Invalid constraint index"},
    {VLM_ERROR_MODEL_INVALID_COL_IDX, "Invalid variable index"},
    {VLM_ERROR_MODEL_INVALID_ROW_NAME, "Invalid constraint name"},
    {VLM_ERROR_MODEL_INVALID_COL_NAME, "Invalid variable name"},
    {VLM_ERROR_MODEL_INVALID_SYM_MAT_IDX, "Invalid semidefinite variable index"},
    {VLM_ERROR_MODEL_INVALID_SYM_MAT_ROW_IDX, "Invalid row index in a symmetric matrix"},
    {VLM_ERROR_MODEL_INVALID_SYM_MAT_COL_IDX, "Invalid column index in a symmetric matrix"},
    {VLM_ERROR_MODEL_INVALID_STR_ATTR, "Invalid string attribute"},
    {VLM_ERROR_MODEL_INVALID_INT_ATTR, "Invalid integer attribute"},
    {VLM_ERROR_MODEL_INVALID_REAL_ATTR, "Invalid real attribute"},
    {VLM_ERROR_MODEL_INVALID_REAL_ATTR_SYM_MAT, "Invalid symmetric-matrix attribute value"},
    {VLM_ERROR_MODEL_INVALID_CHAR_ATTR, "Invalid character attribute"},
    {VLM_ERROR_MODEL_INVALID_MAT_ATTR, "Invalid matrix attribute"},
    {VLM_ERROR_MODEL_INVALID_ATTR_NAME, "Invalid attribute name"},
    {VLM_ERROR_MODEL_INVALID_SOS_TYPE, "Invalid SOS type"},
    {VLM_ERROR_MODEL_INVALID_SOS_IDX, "Invalid SOS index"},
    {VLM_ERROR_MODEL_INVALID_INDICATOR_COL_IDX, "Invalid indicator variable index"},
    {VLM_ERROR_MODEL_INVALID_INDICATOR_ROW_IDX, "Invalid indicator constraint index"},
    {VLM_ERROR_MODEL_INVALID_INT_RELAX, "Invalid integrality relaxation"},
    {VLM_ERROR_DATA_NOT_AVAILABLE, "Requested data is not available"},
    {VLM_ERROR_NO_SOLN, "No solution available"},
    {VLM_ERROR_NO_RAY, "No unbounded ray available"},
    {VLM_ERROR_NO_STATISTICS, "No statistics available"},
    {VLM_ERROR_INVALID_BASIS_STATUS, "Invalid basis status"},
    {VLM_ERROR_IIS_NO_SOLN, "No irreducible infeasible subsystem found"},
    {VLM_ERROR_IIS_FEASIBLE, "Model is feasible: it has no irreducible infeasible subsystem"},
    {VLM_ERROR_INVALID_SOL_IDX, "Invalid solution index"},
    {VLM_ERROR_PARAM_SET_ERROR, "Unable to set parameter"},
    {VLM_ERROR_PARAM_GET_ERROR, "Unable to get parameter"},
    {VLM_ERROR_CB_INVALID_WHERE, "Invalid callback where-code"},
    {VLM_ERROR_CB_INVALID_WHAT, "Invalid callback what-code"},
    {VLM_ERROR_CB_INVALID_SUBMISSION, "Invalid callback submission"},
    {VLM_ERROR_ABORT_ITERATION_LIMIT, "Optimization stopped: iteration limit reached"},
    {VLM_ERROR_ABORT_TIME_LIMIT, "Optimization stopped: time limit reached"},
    {VLM_ERROR_ABORT_CTRL_C, "Optimization interrupted"},
    {VLM_ERROR_ABORT_NODE_LIMIT, "Optimization stopped: node limit reached"},
    {VLM_ERROR_ABORT_STALLING_NODE_LIMIT, "Optimization stopped: stalling node limit reached"},
    {VLM_ERROR_ABORT_SOLUTION_LIMIT, "Optimization stopped: solution limit reached"},
    {VLM_ERROR_ABORT_INVALID_METHOD, "Invalid optimization method for this model"},
    {VLM_ERROR_ABORT_SOLVER_NOT_AVAILABLE, "No solver available for this model"},
    {VLM_ERROR_SIMPLEX_NUMERIC, "Numerical trouble in the simplex solver"},
    {VLM_ERROR_INTERIOR_NUMERIC, "Numerical trouble in the interior-point solver"},
    {VLM_ERROR_IIS_NUMERIC, "Numerical trouble while computing an irreducible infeasible subsystem"},
};

}  // namespace

extern "C" const char* VLMexplainerror(int code) {
  // The reason the thread's last entry point call gave for this code, once:
  // a later question about the code gets its own text.
  velmor::RefusalText& last = velmor::last_refusal;
  if (code != VLM_OKAY && last.code == code && last.text) {
    const char* text = last.text;
    last = velmor::RefusalText();
    return text;
  }
  for (const auto& e : kExplanations)
    if (e.code == code) return e.text;
  return "Unknown error code";
}
