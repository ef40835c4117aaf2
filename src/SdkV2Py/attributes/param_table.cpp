// The parameter table (kParamRows) and the filling of its table class.
#include "attributes/param_table.hpp"

#include "attributes/names.hpp"
#include "runtime/errors.hpp"
#include "runtime/state.hpp"
#include "runtime/table_classes.hpp"

namespace velmorpy {

const ParamRow kParamRows[] = {
    {"Method", ParamType::Int, "Set the selected optimization method"},
    {"Presolve", ParamType::Int, "Set whether to enable the presolver method"},
    {"Dualization", ParamType::Int, "Set whether to dualize the model"},
    {"NumThreads", ParamType::Int, "Set the number of threads used"},
    {"EnableNetworkFlow", ParamType::Int, "Set whether to enable the network simplex method"},
    {"EnableStochasticLP", ParamType::Int, "Set whether to detect Stochastic Linear Programming problem structure"},
    {"SPX/ColumnGeneration", ParamType::Int, "Set whether to use column generation in the simplex method"},
    {"SPX/CrashStart", ParamType::Int,
     "Set whether to use the initial basis solution generation method in the simplex method"},
    {"SPX/MaxIterations", ParamType::Int, "Set the maximum number of iterations in the simplex method"},
    {"SPX/PrimalPricing", ParamType::Int, "Setting the primal pricing strategy in the simplex method"},
    {"SPX/DualPricing", ParamType::Int, "Setting the dual pricing strategy in the simplex method"},
    {"IPM/MaxIterations", ParamType::Int, "Set the maximum number of iterations in the interior point method"},
    {"MIP/LevelCuts", ParamType::Int,
     "Control the level of aggression of cut module, the larger the value, the more aggressive."},
    {"MIP/LevelHeurs", ParamType::Int,
     "Control the level of aggression of heuristic module, the larger the value, the more aggressive."},
    {"MIP/LevelProbing", ParamType::Int,
     "Control the level of aggression of probing module, the larger the value, the more aggressive."},
    {"MIP/LevelStrong", ParamType::Int,
     "Control the level of aggression of strong-branching module, the larger the value, the more aggressive."},
    {"MIP/LevelSubmip", ParamType::Int,
     "Control the level of aggression of submip module, the larger the value, the more aggressive."},
    {"MIP/MaxNodes", ParamType::Int, "Set maximum node limit in MIP"},
    {"MIP/RootParallelism", ParamType::Int,
     "Set the maximum number of concurrent threads allowed by the root node in MIP"},
    {"MIP/AutoConfiguration", ParamType::Int, "Specify whether to enable automatical configuration for MIP"},
    {"MIP/MaxSols", ParamType::Int, "Set the maximum solution limit in MIP"},
    {"MIP/AllowDualPresolve", ParamType::Int, "Specify whether to enable dual presolve methods in MIP"},
    {"MIP/DetectDisconnectedComponents", ParamType::Int,
     "Specify whether to enable disconnected component strategy in MIP"},
    {"MIP/SolutionPoolSize", ParamType::Int,
     "Set the maximum number of solutions to be stored for obtaining in MIP"},
    {"MIP/MaxStallingNodes", ParamType::Int, "Set the maximum allowed stalling nodes"},
    {"MIP/SolutionNumber", ParamType::Int,
     "Set the index of suboptimal solution to get. After parameter set, access attribute Xn to retrieve "
     "corresponding suboptimal solution."},
    {"SolutionTarget", ParamType::Int, "Set the target of solution in LP problem"},
    {"MaxTime", ParamType::Float, "Set the maximum solve time"},
    {"SPX/PrimalTolerance", ParamType::Float, "Set the primal feasibility tolerance for the simplex method"},
    {"SPX/DualTolerance", ParamType::Float, "Set the dual feasibility tolerance for the simplex method"},
    {"IPM/PrimalTolerance", ParamType::Float,
     "Set the primal relative feasibility tolerance in the interior point method"},
    {"IPM/DualTolerance", ParamType::Float, "Set the dual relative feasibility tolerance in the interior point method"},
    {"IPM/GapTolerance", ParamType::Float, "Set the dual relative gap tolerance in the interior point method"},
    {"MIP/IntegerTolerance", ParamType::Float, "Set the integer judgment precision in MIP solution"},
    {"MIP/ObjectiveTolerance", ParamType::Float, "Set the objective value comparison accuracy in MIP solution"},
    {"MIP/GapAbs", ParamType::Float, "Set absolute gap allowed for a MIP model"},
    {"MIP/GapRel", ParamType::Float, "Set relative gap allowed for a MIP model"},
    {"MIP/LinearizationBigM", ParamType::Float,
     "Set the largest coefficient for reformulated the non-linear functions in MIP"},
    {"MIP/Cutoff", ParamType::Float,
     "Set the objective cutoff to avoid finding solutions worse than this value in MIP"},
};
const std::size_t kNumParamRows = sizeof kParamRows / sizeof kParamRows[0];

PyObject* param_type_object(ParamType type) noexcept {
  return reinterpret_cast<PyObject*>(type == ParamType::Int ? &PyLong_Type : &PyFloat_Type);
}

void build_param_table() {
  index_param_table();
  Ref cls = module_global("ParamConstClass");
  for (const ParamRow& row : kParamRows) {
    Ref name = take(PyUnicode_FromString(row.name));
    // The type shows as str() gives it: "<class 'int'>", not the bare name.
    Ref doc = take(PyUnicode_FromFormat("Type: %S\nDesc: %s", param_type_object(row.type), row.description));
    add_value_property(cls.get(), member_name(row.name).c_str(), name.get(), doc.get());
  }
  bind_table_instance(cls.get(), "param");
}

}  // namespace velmorpy
