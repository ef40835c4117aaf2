// Parameters: the 39 names with their types, ranges, aliased info pointers,
// resets, and parameter files (round trip and refusal of bad files).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "velmor.h"
#include "vlm_test_util.hpp"

using namespace vlmtest;

namespace {

const std::vector<std::string> kIntParams = {
    "Method", "Presolve", "Dualization", "NumThreads", "EnableNetworkFlow", "EnableStochasticLP",
    "SPX/ColumnGeneration", "SPX/CrashStart", "SPX/MaxIterations", "SPX/PrimalPricing", "SPX/DualPricing",
    "IPM/MaxIterations", "MIP/LevelCuts", "MIP/LevelHeurs", "MIP/LevelProbing", "MIP/LevelStrong",
    "MIP/LevelSubmip", "MIP/MaxNodes", "MIP/RootParallelism", "MIP/AutoConfiguration", "MIP/MaxSols",
    "MIP/AllowDualPresolve", "MIP/DetectDisconnectedComponents", "MIP/SolutionPoolSize", "MIP/MaxStallingNodes",
    "MIP/SolutionNumber", "SolutionTarget"};
const std::vector<std::string> kDblParams = {
    "MaxTime", "SPX/PrimalTolerance", "SPX/DualTolerance", "IPM/PrimalTolerance", "IPM/DualTolerance",
    "IPM/GapTolerance", "MIP/IntegerTolerance", "MIP/ObjectiveTolerance", "MIP/GapAbs", "MIP/GapRel",
    "MIP/LinearizationBigM", "MIP/Cutoff"};

struct Snapshot {
  std::vector<int> ints;
  std::vector<double> dbls;
  bool operator==(const Snapshot& o) const { return ints == o.ints && dbls == o.dbls; }
};

Snapshot snapshot(VLMenv* env) {
  Snapshot s;
  for (const auto& n : kIntParams) {
    int v = 0;
    EXPECT_EQ(VLMgetintparam(env, n.c_str(), &v), VLM_OKAY) << n;
    s.ints.push_back(v);
  }
  for (const auto& n : kDblParams) {
    double v = 0;
    EXPECT_EQ(VLMgetdblparam(env, n.c_str(), &v), VLM_OKAY) << n;
    s.dbls.push_back(v);
  }
  return s;
}

}  // namespace

TEST(Params, EveryParameterHasItsTypeAndAConsistentRange) {
  EnvPtr env = make_env();
  ASSERT_EQ(kIntParams.size() + kDblParams.size(), 39u);
  for (const auto& n : kIntParams) {
    int cur = 0, lo = 0, hi = 0, def = 0;
    ASSERT_EQ(VLMgetintparaminfo(env.get(), n.c_str(), &cur, &lo, &hi, &def), VLM_OKAY) << n;
    EXPECT_EQ(cur, def) << n;
    EXPECT_LE(lo, def) << n;
    EXPECT_LE(def, hi) << n;
    double d;
    EXPECT_EQ(VLMgetdblparam(env.get(), n.c_str(), &d), VLM_ERROR_PARAM_GET_ERROR) << n;
    EXPECT_EQ(VLMsetdblparam(env.get(), n.c_str(), def), VLM_ERROR_PARAM_SET_ERROR) << n;
    EXPECT_EQ(VLMsetintparam(env.get(), n.c_str(), hi), VLM_OKAY) << n;
    if (lo > INT32_MIN) {
      EXPECT_EQ(VLMsetintparam(env.get(), n.c_str(), lo - 1), VLM_ERROR_PARAM_SET_ERROR) << n;
    }
  }
  for (const auto& n : kDblParams) {
    double cur = 0, lo = 0, hi = 0, def = 0;
    ASSERT_EQ(VLMgetdblparaminfo(env.get(), n.c_str(), &cur, &lo, &hi, &def), VLM_OKAY) << n;
    EXPECT_EQ(cur, def) << n;
    EXPECT_LE(lo, def) << n;
    EXPECT_LE(def, hi) << n;
    int i;
    EXPECT_EQ(VLMgetintparam(env.get(), n.c_str(), &i), VLM_ERROR_PARAM_GET_ERROR) << n;
    EXPECT_EQ(VLMsetdblparam(env.get(), n.c_str(), std::nan("")), VLM_ERROR_PARAM_SET_ERROR) << n;
    EXPECT_EQ(VLMsetdblparam(env.get(), n.c_str(), lo), VLM_OKAY) << n;
  }
  // No text parameters exist.
  char buf[VLM_MAX_STRLEN] = "untouched";
  EXPECT_EQ(VLMgetstrparam(env.get(), "Method", buf), VLM_ERROR_PARAM_GET_ERROR);
  EXPECT_STREQ(buf, "untouched");
  EXPECT_EQ(VLMsetstrparam(env.get(), "Method", "1"), VLM_ERROR_PARAM_SET_ERROR);
  EXPECT_EQ(VLMgetstrparaminfo(env.get(), "Method", buf, buf), VLM_ERROR_PARAM_GET_ERROR);
}

TEST(Params, NamesMatchLikeTheModuleMatchesThem) {
  EnvPtr env = make_env();
  ASSERT_EQ(VLMsetintparam(env.get(), "spx_maxiterations", 77), VLM_OKAY);
  int v = 0;
  ASSERT_EQ(VLMgetintparam(env.get(), "SPX/MAXITERATIONS", &v), VLM_OKAY);
  EXPECT_EQ(v, 77);
  EXPECT_EQ(VLMgetintparam(env.get(), "SPX.MaxIterations", &v), VLM_ERROR_PARAM_GET_ERROR);
  EXPECT_EQ(VLMsetintparam(env.get(), "NoSuchParam", 1), VLM_ERROR_PARAM_SET_ERROR);
  EXPECT_EQ(VLMsetintparam(env.get(), nullptr, 1), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(VLMgetintparam(nullptr, "Method", &v), VLM_ERROR_INVALID_ARGUMENT);
}

TEST(Params, InfoOutPointersMayAlias) {
  EnvPtr env = make_env();
  ASSERT_EQ(VLMsetintparam(env.get(), "Method", 1), VLM_OKAY);
  int scratch = 0, def = 0;
  ASSERT_EQ(VLMgetintparaminfo(env.get(), "Method", &scratch, &scratch, &scratch, &def), VLM_OKAY);
  int all = 0;
  ASSERT_EQ(VLMgetintparaminfo(env.get(), "Method", &all, &all, &all, &all), VLM_OKAY);
  EXPECT_EQ(all, def);  // the default is written last
  ASSERT_EQ(VLMsetdblparam(env.get(), "MaxTime", 5), VLM_OKAY);
  double d = 0;
  ASSERT_EQ(VLMgetdblparaminfo(env.get(), "MaxTime", &d, &d, &d, &d), VLM_OKAY);
  EXPECT_EQ(d, 1e20);
}

TEST(Params, InfinityAndResets) {
  EnvPtr env = make_env();
  ASSERT_EQ(VLMsetdblparam(env.get(), "MaxTime", std::numeric_limits<double>::infinity()), VLM_OKAY);
  double d = 0;
  ASSERT_EQ(VLMgetdblparam(env.get(), "MaxTime", &d), VLM_OKAY);
  EXPECT_EQ(d, 1e20);
  EXPECT_EQ(VLMsetdblparam(env.get(), "MaxTime", -1), VLM_ERROR_PARAM_SET_ERROR);
  ASSERT_EQ(VLMsetdblparam(env.get(), "MaxTime", 3), VLM_OKAY);
  ASSERT_EQ(VLMsetintparam(env.get(), "Presolve", 0), VLM_OKAY);
  const Snapshot changed = snapshot(env.get());
  ASSERT_EQ(VLMresetparams(env.get()), VLM_OKAY);
  EnvPtr fresh = make_env();
  EXPECT_TRUE(snapshot(env.get()) == snapshot(fresh.get()));
  EXPECT_FALSE(changed == snapshot(fresh.get()));
}

TEST(Params, ParameterFileRoundTrip) {
  EnvPtr env = make_env();
  ASSERT_EQ(VLMsetintparam(env.get(), "MIP/MaxNodes", 1000), VLM_OKAY);
  ASSERT_EQ(VLMsetdblparam(env.get(), "MIP/GapRel", 0.1), VLM_OKAY);
  ASSERT_EQ(VLMsetdblparam(env.get(), "MIP/Cutoff", -1e20), VLM_OKAY);
  ASSERT_EQ(VLMsetdblparam(env.get(), "SPX/PrimalTolerance", 1.0 / 3 * 1e-6), VLM_OKAY);
  const std::string path = temp_path("params.prm");
  ASSERT_EQ(VLMwriteparams(env.get(), path.c_str()), VLM_OKAY);
  const std::string text = read_text(path);
  // Only what differs from the defaults is written.
  EXPECT_NE(text.find("MIP/MaxNodes 1000\n"), std::string::npos) << text;
  EXPECT_NE(text.find("MIP/GapRel 0.1\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("Presolve"), std::string::npos) << text;

  EnvPtr other = make_env();
  ASSERT_EQ(VLMsetintparam(other.get(), "Presolve", 0), VLM_OKAY);
  ASSERT_EQ(VLMreadparams(other.get(), path.c_str()), VLM_OKAY);
  int presolve = -5;
  ASSERT_EQ(VLMgetintparam(other.get(), "Presolve", &presolve), VLM_OKAY);
  EXPECT_EQ(presolve, 0);  // a file sets what it lists and nothing else
  ASSERT_EQ(VLMsetintparam(other.get(), "Presolve", -1), VLM_OKAY);
  EXPECT_TRUE(snapshot(env.get()) == snapshot(other.get()));

  // Compressed, with comments, blank lines and names written any way.
  write_text(path, "# tuned\n\n  mip_maxnodes   5   # trailing\nMAXTIME 2.5\n");
  ASSERT_EQ(VLMreadparams(other.get(), path.c_str()), VLM_OKAY);
  int nodes = 0;
  ASSERT_EQ(VLMgetintparam(other.get(), "MIP/MaxNodes", &nodes), VLM_OKAY);
  EXPECT_EQ(nodes, 5);
  const std::string gz = temp_path("params.prm.gz");
  ASSERT_EQ(VLMwriteparams(other.get(), gz.c_str()), VLM_OKAY);
  EnvPtr third = make_env();
  ASSERT_EQ(VLMreadparams(third.get(), gz.c_str()), VLM_OKAY);
  EXPECT_TRUE(snapshot(third.get()) == snapshot(other.get()));
  std::remove(path.c_str());
  std::remove(gz.c_str());
}

TEST(Params, BadParameterFilesChangeNothing) {
  EnvPtr env = make_env();
  const Snapshot before = snapshot(env.get());
  const std::string path = temp_path("bad.prm");
  for (const char* text : {"Presolve 0\nNoSuchParam 1\n", "Presolve 0\nMethod\n", "Presolve 0\nMethod 1 2\n",
                           "Presolve 0\nMethod 1.5\n", "Presolve 0\nMethod 99\n", "Presolve 0\nMaxTime nan\n",
                           "Presolve 0\nMaxTime ten\n", "Presolve 0\nMaxTime 0x10\n"}) {
    write_text(path, text);
    EXPECT_EQ(VLMreadparams(env.get(), path.c_str()), VLM_ERROR_FORMAT_ERROR) << text;
    EXPECT_TRUE(snapshot(env.get()) == before) << text;
  }
  EXPECT_EQ(VLMreadparams(env.get(), "/nonexistent-dir/none.prm"), VLM_ERROR_FILE_READ_ERROR);
  EXPECT_EQ(VLMwriteparams(env.get(), "/nonexistent-dir/none.prm"), VLM_ERROR_FILE_WRITE_ERROR);
  EXPECT_EQ(VLMreadparams(env.get(), nullptr), VLM_ERROR_INVALID_ARGUMENT);
  std::remove(path.c_str());
}
