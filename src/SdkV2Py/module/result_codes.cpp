// The result codes and statuses (kErrorRows, kStatusRows) and the filling of their table classes.
#include "module/result_codes.hpp"

#include <velmor.h>

#include "runtime/errors.hpp"
#include "runtime/state.hpp"

namespace velmorpy {

const CodeRow kErrorRows[] = {
    {"OKAY", VLM_OKAY},
    {"ERROR", VLM_ERROR_ERROR},
    {"NOMEMORY", VLM_ERROR_NOMEMORY},
    {"INVALID_ARGUMENT", VLM_ERROR_INVALID_ARGUMENT},
    {"HOME_ENV_NOT_FOUND", VLM_ERROR_HOME_ENV_NOT_FOUND},
    {"DLL_ERROR", VLM_ERROR_DLL_ERROR},
    {"IO_ERROR", VLM_ERROR_IO_ERROR},
    {"FILE_READ_ERROR", VLM_ERROR_FILE_READ_ERROR},
    {"FILE_WRITE_ERROR", VLM_ERROR_FILE_WRITE_ERROR},
    {"DIRECTORY_ERROR", VLM_ERROR_DIRECTORY_ERROR},
    {"FORMAT_ERROR", VLM_ERROR_FORMAT_ERROR},
    {"VERSION_ERROR", VLM_ERROR_VERSION_ERROR},
    {"REMOTE_INVALID_TOKEN", VLM_ERROR_REMOTE_INVALID_TOKEN},
    {"REMOTE_CONNECTION_ERROR", VLM_ERROR_REMOTE_CONNECTION_ERROR},
    {"MODEL_INPUT_ERROR", VLM_ERROR_MODEL_INPUT_ERROR},
    {"MODEL_EMPTY", VLM_ERROR_MODEL_EMPTY},
    {"MODEL_INVALID_ROW_IDX", VLM_ERROR_MODEL_INVALID_ROW_IDX},
    {"MODEL_INVALID_COL_IDX", VLM_ERROR_MODEL_INVALID_COL_IDX},
    {"MODEL_INVALID_ROW_NAME", VLM_ERROR_MODEL_INVALID_ROW_NAME},
    {"MODEL_INVALID_COL_NAME", VLM_ERROR_MODEL_INVALID_COL_NAME},
    {"MODEL_INVALID_SYM_MAT_IDX", VLM_ERROR_MODEL_INVALID_SYM_MAT_IDX},
    {"MODEL_INVALID_SYM_MAT_ROW_IDX", VLM_ERROR_MODEL_INVALID_SYM_MAT_ROW_IDX},
    {"MODEL_INVALID_SYM_MAT_COL_IDX", VLM_ERROR_MODEL_INVALID_SYM_MAT_COL_IDX},
    {"MODEL_INVALID_STR_ATTR", VLM_ERROR_MODEL_INVALID_STR_ATTR},
    {"MODEL_INVALID_INT_ATTR", VLM_ERROR_MODEL_INVALID_INT_ATTR},
    {"MODEL_INVALID_REAL_ATTR", VLM_ERROR_MODEL_INVALID_REAL_ATTR},
    {"MODEL_INVALID_REAL_ATTR_SYM_MAT", VLM_ERROR_MODEL_INVALID_REAL_ATTR_SYM_MAT},
    {"MODEL_INVALID_CHAR_ATTR", VLM_ERROR_MODEL_INVALID_CHAR_ATTR},
    {"MODEL_INVALID_MAT_ATTR", VLM_ERROR_MODEL_INVALID_MAT_ATTR},
    {"MODEL_INVALID_ATTR_NAME", VLM_ERROR_MODEL_INVALID_ATTR_NAME},
    {"MODEL_INVALID_SOS_TYPE", VLM_ERROR_MODEL_INVALID_SOS_TYPE},
    {"MODEL_INVALID_SOS_IDX", VLM_ERROR_MODEL_INVALID_SOS_IDX},
    {"MODEL_INVALID_INDICATOR_COL_IDX", VLM_ERROR_MODEL_INVALID_INDICATOR_COL_IDX},
    {"MODEL_INVALID_INDICATOR_ROW_IDX", VLM_ERROR_MODEL_INVALID_INDICATOR_ROW_IDX},
    {"MODEL_INVALID_INT_RELAX", VLM_ERROR_MODEL_INVALID_INT_RELAX},
    {"DATA_NOT_AVAILABLE", VLM_ERROR_DATA_NOT_AVAILABLE},
    {"NO_SOLN", VLM_ERROR_NO_SOLN},
    {"NO_RAY", VLM_ERROR_NO_RAY},
    {"NO_STATISTICS", VLM_ERROR_NO_STATISTICS},
    {"INVALID_BASIS_STATUS", VLM_ERROR_INVALID_BASIS_STATUS},
    {"IIS_NO_SOLN", VLM_ERROR_IIS_NO_SOLN},
    {"IIS_FEASIBLE", VLM_ERROR_IIS_FEASIBLE},
    {"INVALID_SOL_IDX", VLM_ERROR_INVALID_SOL_IDX},
    {"PARAM_SET_ERROR", VLM_ERROR_PARAM_SET_ERROR},
    {"PARAM_GET_ERROR", VLM_ERROR_PARAM_GET_ERROR},
    {"CB_INVALID_WHERE", VLM_ERROR_CB_INVALID_WHERE},
    {"CB_INVALID_WHAT", VLM_ERROR_CB_INVALID_WHAT},
    {"CB_INVALID_SUBMISSION", VLM_ERROR_CB_INVALID_SUBMISSION},
    {"ABORT_ITERATION_LIMIT", VLM_ERROR_ABORT_ITERATION_LIMIT},
    {"ABORT_TIME_LIMIT", VLM_ERROR_ABORT_TIME_LIMIT},
    {"ABORT_CTRL_C", VLM_ERROR_ABORT_CTRL_C},
    {"ABORT_NODE_LIMIT", VLM_ERROR_ABORT_NODE_LIMIT},
    {"ABORT_STALLING_NODE_LIMIT", VLM_ERROR_ABORT_STALLING_NODE_LIMIT},
    {"ABORT_SOLUTION_LIMIT", VLM_ERROR_ABORT_SOLUTION_LIMIT},
    {"ABORT_INVALID_METHOD", VLM_ERROR_ABORT_INVALID_METHOD},
    {"ABORT_SOLVER_NOT_AVAILABLE", VLM_ERROR_ABORT_SOLVER_NOT_AVAILABLE},
    {"SIMPLEX_NUMERIC", VLM_ERROR_SIMPLEX_NUMERIC},
    {"INTERIOR_NUMERIC", VLM_ERROR_INTERIOR_NUMERIC},
    {"IIS_NUMERIC", VLM_ERROR_IIS_NUMERIC},
};
const std::size_t kNumErrorRows = sizeof kErrorRows / sizeof kErrorRows[0];

const CodeRow kStatusRows[] = {
    {"UNKNOWN", VLM_STATUS_UNKNOWN},
    {"OPTIMAL", VLM_STATUS_OPTIMAL},
    {"INFEASIBLE", VLM_STATUS_INFEASIBLE},
    {"UNBOUNDED", VLM_STATUS_UNBOUNDED},
    {"INF_OR_UBD", VLM_STATUS_INF_OR_UBD},
    {"SUB_OPTIMAL", VLM_STATUS_SUB_OPTIMAL},
};
const std::size_t kNumStatusRows = sizeof kStatusRows / sizeof kStatusRows[0];

namespace {

// Codes and statuses share VLM's namespace with its scalar constants; no name
// occurs twice, so nothing is overwritten. The names hold no "/", so each is
// its own member name.
void install(const CodeRow* rows, std::size_t n, const char* table_class, const char* object, const char* alias) {
  Ref cls = module_global(table_class);
  Ref vlm = module_global("VLM");  // the class: the instance is made at the end of the stage
  for (std::size_t i = 0; i < n; ++i) {
    Ref code = take(PyLong_FromLong(rows[i].code));
    check(PyObject_SetAttrString(cls.get(), rows[i].name, code.get()));
    check(PyObject_SetAttrString(vlm.get(), rows[i].name, code.get()));
  }
  Ref instance = take(PyObject_CallNoArgs(cls.get()));
  check(PyObject_SetAttrString(vlm.get(), object, instance.get()));
  check(PyObject_SetAttrString(vlm.get(), alias, instance.get()));
}

}  // namespace

void install_error_codes() { install(kErrorRows, kNumErrorRows, "ErrorConstClass", "Error", "error"); }

void install_status_codes() { install(kStatusRows, kNumStatusRows, "StatusConstClass", "Status", "status"); }

}  // namespace velmorpy
