// Environments, messages and error texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "velmor.h"

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(Env, EmptyLoadStartFree) {
  VLMenv* env = reinterpret_cast<VLMenv*>(3);  // whatever the field held on entry is ignored
  ASSERT_EQ(VLMemptyenv(&env), VLM_OKAY);
  ASSERT_NE(env, nullptr);
  EXPECT_EQ(VLMstartenv(env), VLM_OKAY);
  EXPECT_EQ(VLMstartenv(env), VLM_OKAY);
  EXPECT_EQ(VLMfreeenv(env), VLM_OKAY);

  VLMenv* loaded = nullptr;
  ASSERT_EQ(VLMloadenv(&loaded, ""), VLM_OKAY);
  EXPECT_EQ(VLMstartenv(loaded), VLM_OKAY);
  EXPECT_EQ(VLMfreeenv(loaded), VLM_OKAY);
  EXPECT_EQ(VLMfreeenv(nullptr), VLM_OKAY);
}

TEST(Env, RefusesNullArguments) {
  EXPECT_EQ(VLMemptyenv(nullptr), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(VLMloadenv(nullptr, ""), VLM_ERROR_INVALID_ARGUMENT);
  VLMenv* env = nullptr;
  EXPECT_EQ(VLMloadenv(&env, nullptr), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(env, nullptr);
  EXPECT_EQ(VLMstartenv(nullptr), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(VLMmsg(nullptr, "x"), VLM_ERROR_INVALID_ARGUMENT);
}

TEST(Env, LogFileReceivesMessagesAppended) {
  const std::string path = ::testing::TempDir() + "velmor_env_log.txt";
  std::remove(path.c_str());
  VLMenv* env = nullptr;
  ASSERT_EQ(VLMloadenv(&env, path.c_str()), VLM_OKAY);
  EXPECT_EQ(VLMmsg(env, "first line"), VLM_OKAY);
  EXPECT_EQ(VLMmsg(env, "second line"), VLM_OKAY);
  VLMfreeenv(env);
  EXPECT_EQ(read_file(path), "first line\nsecond line\n");

  ASSERT_EQ(VLMloadenv(&env, path.c_str()), VLM_OKAY);  // a new environment appends
  EXPECT_EQ(VLMmsg(env, "third"), VLM_OKAY);
  VLMfreeenv(env);
  EXPECT_EQ(read_file(path), "first line\nsecond line\nthird\n");
  std::remove(path.c_str());
}

TEST(Env, UnwritableLogFileIsRefused) {
  VLMenv* env = nullptr;
  EXPECT_EQ(VLMloadenv(&env, "/nonexistent-dir/sub/log.txt"), VLM_ERROR_FILE_WRITE_ERROR);
  EXPECT_EQ(env, nullptr);
}

TEST(Env, Version) {
  int major = -1, minor = -1, technical = -1;
  EXPECT_EQ(VLMversion(&major, &minor, &technical), VLM_OKAY);
  EXPECT_EQ(major, VLM_VERSION_MAJOR);
  EXPECT_EQ(minor, VLM_VERSION_MINOR);
  EXPECT_EQ(technical, VLM_VERSION_TECHNICAL);
}

TEST(Explain, EveryCodeHasItsOwnText) {
  const int codes[] = {
      VLM_OKAY, VLM_ERROR_ERROR, VLM_ERROR_NOMEMORY, VLM_ERROR_INVALID_ARGUMENT, VLM_ERROR_HOME_ENV_NOT_FOUND,
      VLM_ERROR_DLL_ERROR, VLM_ERROR_IO_ERROR, VLM_ERROR_FILE_READ_ERROR, VLM_ERROR_FILE_WRITE_ERROR,
      VLM_ERROR_DIRECTORY_ERROR, VLM_ERROR_FORMAT_ERROR, VLM_ERROR_VERSION_ERROR, VLM_ERROR_REMOTE_INVALID_TOKEN,
      VLM_ERROR_REMOTE_CONNECTION_ERROR, VLM_ERROR_MODEL_INPUT_ERROR, VLM_ERROR_MODEL_EMPTY,
      VLM_ERROR_MODEL_INVALID_ROW_IDX, VLM_ERROR_MODEL_INVALID_COL_IDX, VLM_ERROR_MODEL_INVALID_ROW_NAME,
      VLM_ERROR_MODEL_INVALID_COL_NAME, VLM_ERROR_MODEL_INVALID_SYM_MAT_IDX, VLM_ERROR_MODEL_INVALID_SYM_MAT_ROW_IDX,
      VLM_ERROR_MODEL_INVALID_SYM_MAT_COL_IDX, VLM_ERROR_MODEL_INVALID_STR_ATTR, VLM_ERROR_MODEL_INVALID_INT_ATTR,
      VLM_ERROR_MODEL_INVALID_REAL_ATTR, VLM_ERROR_MODEL_INVALID_REAL_ATTR_SYM_MAT, VLM_ERROR_MODEL_INVALID_CHAR_ATTR,
      VLM_ERROR_MODEL_INVALID_MAT_ATTR, VLM_ERROR_MODEL_INVALID_ATTR_NAME, VLM_ERROR_MODEL_INVALID_SOS_TYPE,
      VLM_ERROR_MODEL_INVALID_SOS_IDX, VLM_ERROR_MODEL_INVALID_INDICATOR_COL_IDX,
      VLM_ERROR_MODEL_INVALID_INDICATOR_ROW_IDX, VLM_ERROR_MODEL_INVALID_INT_RELAX, VLM_ERROR_DATA_NOT_AVAILABLE,
      VLM_ERROR_NO_SOLN, VLM_ERROR_NO_RAY, VLM_ERROR_NO_STATISTICS, VLM_ERROR_INVALID_BASIS_STATUS,
      VLM_ERROR_IIS_NO_SOLN, VLM_ERROR_IIS_FEASIBLE, VLM_ERROR_INVALID_SOL_IDX, VLM_ERROR_PARAM_SET_ERROR,
      VLM_ERROR_PARAM_GET_ERROR, VLM_ERROR_CB_INVALID_WHERE, VLM_ERROR_CB_INVALID_WHAT,
      VLM_ERROR_CB_INVALID_SUBMISSION, VLM_ERROR_ABORT_ITERATION_LIMIT, VLM_ERROR_ABORT_TIME_LIMIT,
      VLM_ERROR_ABORT_CTRL_C, VLM_ERROR_ABORT_NODE_LIMIT, VLM_ERROR_ABORT_STALLING_NODE_LIMIT,
      VLM_ERROR_ABORT_SOLUTION_LIMIT, VLM_ERROR_ABORT_INVALID_METHOD, VLM_ERROR_ABORT_SOLVER_NOT_AVAILABLE,
      VLM_ERROR_SIMPLEX_NUMERIC, VLM_ERROR_INTERIOR_NUMERIC, VLM_ERROR_IIS_NUMERIC,
  };
  ASSERT_EQ(sizeof codes / sizeof codes[0], 59u);
  const std::string unknown = VLMexplainerror(-5);
  std::set<std::string> texts;
  for (int code : codes) {
    const char* text = VLMexplainerror(code);
    ASSERT_NE(text, nullptr) << code;
    EXPECT_NE(text, unknown) << code;
    EXPECT_FALSE(std::string(text).empty()) << code;
    texts.insert(text);
  }
  EXPECT_EQ(texts.size(), 59u);  // each code is told apart
  EXPECT_FALSE(unknown.empty());
  EXPECT_STREQ(VLMexplainerror(12345), unknown.c_str());
}

}  // namespace
