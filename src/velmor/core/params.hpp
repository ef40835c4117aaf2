// Parameters: the fixed table of the library's parameters (name, type, range,
// default) and the values one environment holds.
#pragma once
#include <array>
#include <string>

namespace velmor {

// Position of each parameter in the table; solvers read values by these ids.
enum ParamId : int {
  kMethod,
  kPresolve,
  kDualization,
  kNumThreads,
  kEnableNetworkFlow,
  kEnableStochasticLP,
  kSpxColumnGeneration,
  kSpxCrashStart,
  kSpxMaxIterations,
  kSpxPrimalPricing,
  kSpxDualPricing,
  kIpmMaxIterations,
  kMipLevelCuts,
  kMipLevelHeurs,
  kMipLevelProbing,
  kMipLevelStrong,
  kMipLevelSubmip,
  kMipMaxNodes,
  kMipRootParallelism,
  kMipAutoConfiguration,
  kMipMaxSols,
  kMipAllowDualPresolve,
  kMipDetectDisconnectedComponents,
  kMipSolutionPoolSize,
  kMipMaxStallingNodes,
  kMipSolutionNumber,
  kSolutionTarget,
  kMaxTime,
  kSpxPrimalTolerance,
  kSpxDualTolerance,
  kIpmPrimalTolerance,
  kIpmDualTolerance,
  kIpmGapTolerance,
  kMipIntegerTolerance,
  kMipObjectiveTolerance,
  kMipGapAbs,
  kMipGapRel,
  kMipLinearizationBigM,
  kMipCutoff,
  kNumParams
};

enum class ParamType { Int, Double };

struct ParamInfo {
  const char* name;  // canonical name, group prefix and "/" included
  ParamType type;
  double min, max, def;  // exact integers for Int parameters
};

const ParamInfo& param_info(int id);

// The id of the parameter called `name` (case-insensitive, "/" and "_"
// alike), or -1.
int find_param(const char* name);

// Checks `value` for parameter `id`: the value to store, or refuses with
// VLM_ERROR_PARAM_SET_ERROR (NaN, outside the range, a fraction for an Int
// parameter). A parameter whose range reaches +-1e20 takes anything beyond as
// +-1e20, the way bounds treat infinity.
double checked_param_value(int id, double value);

// The values of one environment, by ParamId. Int parameters hold exact
// integers.
class ParamValues {
 public:
  ParamValues() { reset(); }
  void reset();
  double get(int id) const { return values_[id]; }
  int get_int(int id) const { return static_cast<int>(values_[id]); }
  // `value` must have passed checked_param_value.
  void set(int id, double value) { values_[id] = value; }

 private:
  std::array<double, kNumParams> values_;
};

// Parameter files: one "Name value" per line, "#" starts a comment; names are
// matched as by find_param. parse_param_file changes `values` only when the
// whole text is valid, else refuses with VLM_ERROR_FORMAT_ERROR.
void parse_param_file(const std::string& text, ParamValues& values);
// Every parameter that differs from its default, in the same format.
std::string format_param_file(const ParamValues& values);

}  // namespace velmor
