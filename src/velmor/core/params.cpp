// The parameter table, the values an environment holds, and parameter files.
#include "core/params.hpp"

#include <array>
#include <climits>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "core/api_guard.hpp"
#include "core/text_util.hpp"
#include "velmor.h"

namespace velmor {

namespace {

constexpr double kIntMax = INT_MAX;
constexpr double kInf = VLM_INFINITY;
constexpr ParamType I = ParamType::Int;
constexpr ParamType D = ParamType::Double;

// -1 stands for "the solver decides" wherever a parameter admits it.
constexpr ParamInfo kTable[kNumParams] = {
    {"Method", I, -1, 2, -1},  // -1 automatic, 0 primal simplex, 1 dual simplex, 2 interior point
    {"Presolve", I, -1, 1, -1},
    {"Dualization", I, -1, 1, -1},
    {"NumThreads", I, -1, 1024, -1},
    {"EnableNetworkFlow", I, 0, 1, 0},
    {"EnableStochasticLP", I, 0, 1, 0},
    {"SPX/ColumnGeneration", I, 0, 1, 0},
    {"SPX/CrashStart", I, 0, 1, 0},
    {"SPX/MaxIterations", I, 0, kIntMax, kIntMax},
    {"SPX/PrimalPricing", I, -1, 3, -1},
    {"SPX/DualPricing", I, -1, 3, -1},
    {"IPM/MaxIterations", I, 0, kIntMax, 500},
    {"MIP/LevelCuts", I, -1, 3, -1},
    {"MIP/LevelHeurs", I, -1, 3, -1},
    {"MIP/LevelProbing", I, -1, 3, -1},
    {"MIP/LevelStrong", I, -1, 3, -1},
    {"MIP/LevelSubmip", I, -1, 3, -1},
    {"MIP/MaxNodes", I, 0, kIntMax, kIntMax},
    {"MIP/RootParallelism", I, -1, 1024, -1},
    {"MIP/AutoConfiguration", I, 0, 1, 0},
    {"MIP/MaxSols", I, 0, kIntMax, kIntMax},
    {"MIP/AllowDualPresolve", I, 0, 1, 1},
    {"MIP/DetectDisconnectedComponents", I, 0, 1, 0},
    {"MIP/SolutionPoolSize", I, 1, 1000, 10},
    {"MIP/MaxStallingNodes", I, -1, kIntMax, -1},  // -1: no limit
    {"MIP/SolutionNumber", I, 0, kIntMax, 0},
    {"SolutionTarget", I, 0, 1, 0},
    {"MaxTime", D, 0, kInf, kInf},
    {"SPX/PrimalTolerance", D, 1e-9, 1e-2, 1e-6},
    {"SPX/DualTolerance", D, 1e-9, 1e-2, 1e-6},
    {"IPM/PrimalTolerance", D, 1e-12, 1, 1e-8},
    {"IPM/DualTolerance", D, 1e-12, 1, 1e-8},
    {"IPM/GapTolerance", D, 1e-12, 1, 1e-8},
    {"MIP/IntegerTolerance", D, 1e-9, 1e-1, 1e-6},
    {"MIP/ObjectiveTolerance", D, 1e-9, 1e-2, 1e-6},
    {"MIP/GapAbs", D, 0, kInf, 1e-6},
    {"MIP/GapRel", D, 0, kInf, 1e-4},
    {"MIP/LinearizationBigM", D, 1, kInf, 1e6},
    {"MIP/Cutoff", D, -kInf, kInf, kInf},
};

}  // namespace

const ParamInfo& param_info(int id) { return kTable[id]; }

int find_param(const char* name) {
  // Built once, on first use, and only read afterwards.
  static const NameTable table = [] {
    std::vector<const char*> names;
    for (const ParamInfo& p : kTable) names.push_back(p.name);
    return NameTable(names);
  }();
  return table.find(name);
}

double checked_param_value(int id, double value) {
  const ParamInfo& p = kTable[id];
  if (std::isnan(value)) refuse(VLM_ERROR_PARAM_SET_ERROR);
  if (p.max >= kInf && value >= kInf) value = kInf;
  if (p.min <= -kInf && value <= -kInf) value = -kInf;
  if (value < p.min || value > p.max) refuse(VLM_ERROR_PARAM_SET_ERROR);
  if (p.type == ParamType::Int && value != std::floor(value)) refuse(VLM_ERROR_PARAM_SET_ERROR);
  return value;
}

void ParamValues::reset() {
  for (int id = 0; id < kNumParams; ++id) values_[id] = kTable[id].def;
}

void parse_param_file(const std::string& text, ParamValues& values) {
  std::vector<std::pair<int, double>> settings;
  LineReader lines(text);
  std::string_view line;
  while (lines.next(line)) {
    const auto tokens = split_blanks(strip_comment(line));
    if (tokens.empty()) continue;
    if (tokens.size() != 2) refuse(VLM_ERROR_FORMAT_ERROR);
    const int id = find_param(std::string(tokens[0]).c_str());
    if (id < 0) refuse(VLM_ERROR_FORMAT_ERROR);
    double value = 0;
    if (kTable[id].type == ParamType::Int) {
      int v = 0;
      if (!parse_int(tokens[1], v)) refuse(VLM_ERROR_FORMAT_ERROR);
      value = v;
    } else if (!parse_double(tokens[1], value)) {
      refuse(VLM_ERROR_FORMAT_ERROR);
    }
    try {
      value = checked_param_value(id, value);
    } catch (const Refusal&) {
      refuse(VLM_ERROR_FORMAT_ERROR);
    }
    settings.emplace_back(id, value);
  }
  for (const auto& s : settings) values.set(s.first, s.second);
}

std::string format_param_file(const ParamValues& values) {
  std::string out = "# Velmor parameter file\n";
  for (int id = 0; id < kNumParams; ++id) {
    if (values.get(id) == kTable[id].def) continue;
    out += kTable[id].name;
    out += ' ';
    out += kTable[id].type == ParamType::Int ? std::to_string(values.get_int(id)) : format_double(values.get(id));
    out += '\n';
  }
  return out;
}

}  // namespace velmor
