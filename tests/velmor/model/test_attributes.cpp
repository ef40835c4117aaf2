// Attributes: names and their information, typed access, refusals and the
// solution attributes' dependence on a solution.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "model/model.hpp"
#include "velmor.h"
#include "vlm_test_util.hpp"

using namespace vlmtest;

namespace {

// x (C), y (I), b (B); rows c0: x + y <= 3, c1: semidefinite over P (2x2).
ModelPtr sample(VLMenv* env) {
  ModelPtr m = make_model(env, "sample");
  const char t[] = {'C', 'I', 'B'};
  const char* names[] = {"x", "y", "b"};
  const double ub[] = {1e20, 10, 1};
  EXPECT_EQ(VLMaddvars(m.get(), 3, 0, nullptr, nullptr, nullptr, nullptr, nullptr, ub, t, names), VLM_OKAY);
  const int ind[] = {0, 1};
  const double val[] = {1, 1};
  EXPECT_EQ(VLMaddrangeconstr(m.get(), 2, ind, val, -1e20, 3, "c0"), VLM_OKAY);
  EXPECT_EQ(VLMaddpsdvar(m.get(), 2, 0, nullptr, nullptr, "P"), VLM_OKAY);
  const int pv[] = {0}, pb[] = {0}, pp[] = {0};
  const double px[] = {1};
  EXPECT_EQ(VLMaddrangepsdconstr(m.get(), 0, 1, 1, nullptr, nullptr, pv, pb, pp, px, 1, 1, "c1"), VLM_OKAY);
  const int types[] = {1}, beg[] = {0}, mem[] = {0, 1};
  const double w[] = {1, 2};
  EXPECT_EQ(VLMaddsos(m.get(), 1, 2, types, beg, mem, w), VLM_OKAY);
  EXPECT_EQ(VLMaddgenconstrIndicator(m.get(), "g", 2, 1, 0, nullptr, nullptr, '<', 1), VLM_OKAY);
  return m;
}

// Fills the solution record the way a solver does after an optimal LP run.
void fake_solution(VLMmodel* m) {
  velmor::Solution& s = m->solution;
  s.status = VLM_STATUS_OPTIMAL;
  s.sol_count = 1;
  s.has_primal = true;
  s.primal_obj = 2.5;
  s.x = {0.5, 1, 0};
  s.row_activity = {1.5, 1};
  s.psd_x = {{1, 0.5, 0.5, 2}};
}

}  // namespace

TEST(Attributes, EveryNameAnswersItsInformation) {
  EnvPtr env = make_env();
  ModelPtr m = sample(env.get());
  ASSERT_EQ(attribute_names().size(), 64u);
  // Type words of the attribute table, in its order: 27 int, 25 double, 9 string, 1 char, 2 matrix.
  for (size_t i = 0; i < 64; ++i) {
    const std::string& name = attribute_names()[i];
    int type = -1, kind = -1, flag = -1;
    ASSERT_EQ(VLMgetattrinfo(m.get(), name.c_str(), &type, &kind, &flag), VLM_OKAY) << name;
    const int expected = i < 27 ? VLM_ATTRTYPE_INT
                         : i < 52 ? VLM_ATTRTYPE_DOUBLE
                         : i < 61 ? VLM_ATTRTYPE_STRING
                         : i < 62 ? VLM_ATTRTYPE_CHAR
                                  : VLM_ATTRTYPE_MATRIX;
    EXPECT_EQ(type, expected) << name;
    EXPECT_GE(kind, VLM_ATTRKIND_MODEL) << name;
    EXPECT_LE(kind, VLM_ATTRKIND_PSDCONSTR) << name;
    EXPECT_TRUE(flag == 0 || flag == 1) << name;
  }
  const std::map<std::string, std::string> aliases = {
      {"NumConstrs", "NumConss"}, {"NumNZs", "NumEnts"},       {"IISCol", "IISVar"},
      {"IISRow", "IISConstr"},    {"ObjCon", "ObjConst"},      {"ObjVal", "PrimalObjVal"},
      {"X", "PrimalSoln"},        {"RC", "ReducedCost"},       {"ModelName", "ProbName"},
      {"ConstrName", "RowName"},  {"VarName", "ColName"}};
  for (const auto& a : aliases) {
    int t1, k1, f1, t2, k2, f2;
    ASSERT_EQ(VLMgetattrinfo(m.get(), a.first.c_str(), &t1, &k1, &f1), VLM_OKAY);
    ASSERT_EQ(VLMgetattrinfo(m.get(), a.second.c_str(), &t2, &k2, &f2), VLM_OKAY);
    EXPECT_EQ(std::make_tuple(t1, k1, f1), std::make_tuple(t2, k2, f2)) << a.first;
  }
  int type, kind, flag;
  ASSERT_EQ(VLMgetattrinfo(m.get(), "VType", &type, &kind, &flag), VLM_OKAY);
  EXPECT_EQ(std::make_pair(type, kind), std::make_pair(VLM_ATTRTYPE_CHAR, VLM_ATTRKIND_VAR));
  ASSERT_EQ(VLMgetattrinfo(m.get(), "PsdX", &type, &kind, &flag), VLM_OKAY);
  EXPECT_EQ(std::make_tuple(type, kind, flag), std::make_tuple(VLM_ATTRTYPE_MATRIX, VLM_ATTRKIND_PSDVAR, 0));
  ASSERT_EQ(VLMgetattrinfo(m.get(), "ObjVal", &type, &kind, &flag), VLM_OKAY);
  EXPECT_EQ(std::make_tuple(type, kind, flag), std::make_tuple(VLM_ATTRTYPE_DOUBLE, VLM_ATTRKIND_MODEL, 0));
  ASSERT_EQ(VLMgetattrinfo(m.get(), "PsdCLHS", &type, &kind, &flag), VLM_OKAY);
  EXPECT_EQ(kind, VLM_ATTRKIND_PSDCONSTR);
  ASSERT_EQ(VLMgetattrinfo(m.get(), "GenConstrName", &type, &kind, &flag), VLM_OKAY);
  EXPECT_EQ(kind, VLM_ATTRKIND_GENCONSTR);
}

TEST(Attributes, NamesMatchWithoutCaseAndWithSlashOrUnderscore) {
  EnvPtr env = make_env();
  ModelPtr m = sample(env.get());
  int type, kind, flag;
  for (const char* name : {"spx/numiters", "SPX_NUMITERS", "Spx_NumIters", "x", "psdcname", "mip_gaprel"})
    EXPECT_EQ(VLMgetattrinfo(m.get(), name, &type, &kind, &flag), VLM_OKAY) << name;
  for (const char* name : {"SPX NumIters", "SPX.NumIters", " X", "", "MIP/SolutionNumber", "Xs"})
    EXPECT_EQ(VLMgetattrinfo(m.get(), name, &type, &kind, &flag), VLM_ERROR_MODEL_INVALID_ATTR_NAME) << name;
  EXPECT_EQ(VLMgetattrinfo(m.get(), nullptr, &type, &kind, &flag), VLM_ERROR_MODEL_INVALID_ATTR_NAME);
  EXPECT_EQ(VLMgetattrinfo(nullptr, "X", &type, &kind, &flag), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(int_attr(m.get(), "numconstrs"), 2);
}

TEST(Attributes, EachRefusalHasItsOwnCode) {
  EnvPtr env = make_env();
  ModelPtr m = sample(env.get());
  VLMmodel* p = m.get();
  int iv = 0, i0 = 0;
  double dv = 0;
  char cv = 0, *sv = nullptr;
  // A typed call of the wrong type: the code of the call's type.
  EXPECT_EQ(VLMgetintattr(p, "ObjCon", &iv), VLM_ERROR_MODEL_INVALID_INT_ATTR);
  EXPECT_EQ(VLMgetdblattr(p, "NumVars", &dv), VLM_ERROR_MODEL_INVALID_REAL_ATTR);
  EXPECT_EQ(VLMgetstrattr(p, "NumVars", &sv), VLM_ERROR_MODEL_INVALID_STR_ATTR);
  EXPECT_EQ(VLMgetcharattrlist(p, "LB", 1, &i0, &cv), VLM_ERROR_MODEL_INVALID_CHAR_ATTR);
  EXPECT_EQ(VLMgetmatattrlist(p, "LB", 1, &i0, &iv, nullptr, nullptr, nullptr, nullptr, nullptr),
            VLM_ERROR_MODEL_INVALID_MAT_ATTR);
  EXPECT_EQ(VLMsetintattr(p, "ObjCon", 1), VLM_ERROR_MODEL_INVALID_INT_ATTR);
  // The wrong kind: a model-level call on an item attribute or the reverse.
  EXPECT_EQ(VLMgetintattr(p, "Dim", &iv), VLM_ERROR_MODEL_INVALID_ATTR_NAME);
  EXPECT_EQ(VLMgetdblattrlist(p, "ObjCon", 1, &i0, &dv), VLM_ERROR_MODEL_INVALID_ATTR_NAME);
  EXPECT_EQ(VLMsetstrattr(p, "VarName", "q"), VLM_ERROR_MODEL_INVALID_ATTR_NAME);
  // An index outside the items of the attribute's kind.
  const int three[] = {3}, two[] = {2}, one[] = {1}, minus[] = {-1};
  EXPECT_EQ(VLMgetdblattrlist(p, "LB", 1, three, &dv), VLM_ERROR_MODEL_INVALID_COL_IDX);
  EXPECT_EQ(VLMgetdblattrlist(p, "LB", 1, minus, &dv), VLM_ERROR_MODEL_INVALID_COL_IDX);
  EXPECT_EQ(VLMgetdblattrlist(p, "RHS", 1, two, &dv), VLM_ERROR_MODEL_INVALID_ROW_IDX);
  EXPECT_EQ(VLMgetdblattrlist(p, "PsdCLHS", 1, two, &dv), VLM_ERROR_MODEL_INVALID_ROW_IDX);
  EXPECT_EQ(VLMgetintattrlist(p, "Dim", 1, one, &iv), VLM_ERROR_MODEL_INVALID_SYM_MAT_IDX);
  EXPECT_EQ(VLMgetintattrlist(p, "GenConstrType", 1, one, &iv), VLM_ERROR_MODEL_INVALID_INDICATOR_ROW_IDX);
  char* names[1];
  EXPECT_EQ(VLMgetstrattrlist(p, "PsdVarName", 1, one, names), VLM_ERROR_MODEL_INVALID_SYM_MAT_IDX);
  // A read-only attribute.
  EXPECT_EQ(VLMsetintattr(p, "NumVars", 5), VLM_ERROR_INVALID_ARGUMENT);
  const double x[] = {1};
  EXPECT_EQ(VLMsetdblattrlist(p, "X", 1, &i0, x), VLM_ERROR_INVALID_ARGUMENT);
  const int dims[] = {2};
  EXPECT_EQ(VLMsetmatattrlist(p, "PsdX", 1, &i0, 0, nullptr, dims, dims, nullptr, nullptr),
            VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(VLMsetintattrlist(p, "IsInteger", 1, &i0, &iv), VLM_ERROR_INVALID_ARGUMENT);
  // A bad type letter: nothing is written, not even the valid letters before it.
  const int both[] = {0, 1};
  const char letters[] = {'I', 'Q'};
  EXPECT_EQ(VLMsetcharattrlist(p, "VType", 2, both, letters), VLM_ERROR_MODEL_INPUT_ERROR);
  EXPECT_EQ(char_item(p, "VType", 0), 'C');
  // A sense outside 1 and -1.
  EXPECT_EQ(VLMsetintattr(p, "ModelSense", 0), VLM_ERROR_MODEL_INPUT_ERROR);
  EXPECT_EQ(int_attr(p, "ModelSense"), 1);
  // NaN values, negative counts and missing arrays.
  const double nan[] = {std::nan("")};
  EXPECT_EQ(VLMsetdblattrlist(p, "UB", 1, &i0, nan), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(VLMsetdblattr(p, "ObjCon", std::nan("")), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(VLMgetdblattrlist(p, "LB", -1, nullptr, nullptr), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(VLMgetdblattrlist(p, "LB", 1, nullptr, &dv), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(VLMgetintattr(p, "NumVars", nullptr), VLM_ERROR_INVALID_ARGUMENT);
}

TEST(Attributes, ItemWritesAreCheckedThenApplied) {
  EnvPtr env = make_env();
  ModelPtr m = sample(env.get());
  VLMmodel* p = m.get();
  const int idx[] = {0, 1, 0};
  const double ub[] = {5, 1e25, 7};  // index 0 given twice: the later value stays
  ASSERT_EQ(VLMsetdblattrlist(p, "UB", 3, idx, ub), VLM_OKAY);
  EXPECT_EQ(dbl_item(p, "UB", 0), 7);
  EXPECT_EQ(dbl_item(p, "UB", 1), 1e20);
  const double lb[] = {-std::numeric_limits<double>::infinity()};
  ASSERT_EQ(VLMsetdblattrlist(p, "lb", 1, idx, lb), VLM_OKAY);
  EXPECT_EQ(dbl_item(p, "LB", 0), -1e20);
  const char letters[] = {'i', 's'};
  ASSERT_EQ(VLMsetcharattrlist(p, "VType", 2, idx, letters), VLM_OKAY);
  EXPECT_EQ(char_item(p, "VType", 0), 'I');
  EXPECT_EQ(char_item(p, "VType", 1), 'S');
  int isint[3];
  const int all[] = {0, 1, 2};
  ASSERT_EQ(VLMgetintattrlist(p, "IsInteger", 3, all, isint), VLM_OKAY);
  EXPECT_EQ(std::vector<int>(isint, isint + 3), (std::vector<int>{1, 0, 1}));
  ASSERT_EQ(VLMsetintattr(p, "ModelSense", VLM_MAXIMIZE), VLM_OKAY);
  EXPECT_EQ(int_attr(p, "MinSense"), 0);
  ASSERT_EQ(VLMsetdblattr(p, "objcon", 3.5), VLM_OKAY);
  EXPECT_EQ(dbl_attr(p, "ObjConst"), 3.5);
  const double rows[] = {-2, 4};
  const int r[] = {1, 1};
  ASSERT_EQ(VLMsetdblattrlist(p, "PsdCLHS", 1, r, rows), VLM_OKAY);
  EXPECT_EQ(dbl_item(p, "LHS", 1), -2);
  // Start: VLM_UNDEFINED clears a value; infinities are no start values.
  const double start[] = {0.25};
  ASSERT_EQ(VLMsetdblattrlist(p, "Start", 1, idx, start), VLM_OKAY);
  EXPECT_EQ(dbl_item(p, "Start", 0), 0.25);
  const double undefined[] = {VLM_UNDEFINED}, inf[] = {1e300 * 1e300};
  EXPECT_EQ(VLMsetdblattrlist(p, "Start", 1, idx, inf), VLM_ERROR_INVALID_ARGUMENT);
  ASSERT_EQ(VLMsetdblattrlist(p, "Start", 1, idx, undefined), VLM_OKAY);
  EXPECT_EQ(dbl_item(p, "Start", 0), VLM_UNDEFINED);
}

TEST(Attributes, TextsStayValidUntilTheNextTextCall) {
  EnvPtr env = make_env();
  ModelPtr m = sample(env.get());
  const int idx[] = {2, 0, 2};
  char* names[3] = {nullptr, nullptr, nullptr};
  ASSERT_EQ(VLMgetstrattrlist(m.get(), "VarName", 3, idx, names), VLM_OKAY);
  EXPECT_STREQ(names[0], "b");
  EXPECT_STREQ(names[1], "x");
  EXPECT_STREQ(names[2], "b");
  // Unrelated calls leave the texts in place.
  EXPECT_EQ(int_attr(m.get(), "NumVars"), 3);
  EXPECT_STREQ(names[1], "x");
  const char* renamed[] = {"bb", "xx", "bbb"};
  ASSERT_EQ(VLMsetstrattrlist(m.get(), "ColName", 3, idx, renamed), VLM_OKAY);
  EXPECT_EQ(str_item(m.get(), "VarName", 2), "bbb");
  const char* with_null[] = {"ok", nullptr};
  EXPECT_EQ(VLMsetstrattrlist(m.get(), "ColName", 2, idx, with_null), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(str_item(m.get(), "VarName", 2), "bbb");
  ASSERT_EQ(VLMsetstrattr(m.get(), "ModelName", "renamed"), VLM_OKAY);
  char* probname = nullptr;
  ASSERT_EQ(VLMgetstrattr(m.get(), "ProbName", &probname), VLM_OKAY);
  EXPECT_STREQ(probname, "renamed");
  EXPECT_EQ(str_item(m.get(), "PsdCName", 1), "c1");
  EXPECT_EQ(str_item(m.get(), "RowName", 1), "c1");
}

TEST(Attributes, ResultsAnswerOnlyAfterARun) {
  EnvPtr env = make_env();
  ModelPtr m = sample(env.get());
  VLMmodel* p = m.get();
  const int i0 = 0;
  double dv;
  int iv;
  EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_UNKNOWN);
  EXPECT_EQ(int_attr(p, "HasSolution"), 0);
  EXPECT_EQ(int_attr(p, "SolCount"), 0);
  EXPECT_EQ(VLMgetdblattr(p, "ObjVal", &dv), VLM_ERROR_NO_SOLN);
  EXPECT_EQ(VLMgetdblattrlist(p, "X", 1, &i0, &dv), VLM_ERROR_NO_SOLN);
  EXPECT_EQ(VLMgetdblattrlist(p, "RC", 1, &i0, &dv), VLM_ERROR_NO_SOLN);
  EXPECT_EQ(VLMgetdblattrlist(p, "DualSoln", 1, &i0, &dv), VLM_ERROR_NO_SOLN);
  EXPECT_EQ(VLMgetdblattrlist(p, "Activity", 1, &i0, &dv), VLM_ERROR_NO_SOLN);
  EXPECT_EQ(VLMgetintattrlist(p, "ColBasis", 1, &i0, &iv), VLM_ERROR_NO_SOLN);
  EXPECT_EQ(VLMgetmatattrlist(p, "PsdX", 1, &i0, &iv, nullptr, nullptr, nullptr, nullptr, nullptr),
            VLM_ERROR_NO_SOLN);
  EXPECT_EQ(VLMgetintattr(p, "SPX/NumIters", &iv), VLM_ERROR_NO_STATISTICS);
  EXPECT_EQ(VLMgetdblattr(p, "SolutionTime", &dv), VLM_ERROR_NO_STATISTICS);
  EXPECT_EQ(VLMgetintattrlist(p, "IISVar", 1, &i0, &iv), VLM_ERROR_IIS_NO_SOLN);

  fake_solution(p);
  EXPECT_EQ(dbl_attr(p, "ObjVal"), 2.5);
  EXPECT_EQ(dbl_item(p, "X", 0), 0.5);
  EXPECT_EQ(dbl_item(p, "Xn", 1), 1);  // solution 0 of an empty pool is X
  EXPECT_EQ(dbl_item(p, "Activity", 1), 1);
  EXPECT_EQ(int_attr(p, "HasSolution"), 1);
  EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_OPTIMAL);
  // Parts a run did not produce: the dual of a primal-only run, gaps of an LP, basis.
  EXPECT_EQ(VLMgetdblattr(p, "DualObjVal", &dv), VLM_ERROR_DATA_NOT_AVAILABLE);
  EXPECT_EQ(VLMgetdblattr(p, "MIP/GapRel", &dv), VLM_ERROR_DATA_NOT_AVAILABLE);
  EXPECT_EQ(VLMgetintattrlist(p, "RowBasis", 1, &i0, &iv), VLM_ERROR_DATA_NOT_AVAILABLE);
  const Matrix x = mat_item(p, "PsdX", 0);
  EXPECT_EQ(x.pos, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(x.val, (std::vector<double>{1, 0.5, 0.5, 2}));
  ASSERT_EQ(VLMsetintparam(VLMgetenv(p), "MIP/SolutionNumber", 1), VLM_OKAY);
  EXPECT_EQ(VLMgetdblattrlist(p, "Xn", 1, &i0, &dv), VLM_ERROR_INVALID_SOL_IDX);

  // Names and starts are no model data: the solution stays.
  const char* name[] = {"renamed"};
  ASSERT_EQ(VLMsetstrattrlist(p, "VarName", 1, &i0, name), VLM_OKAY);
  const double start[] = {1};
  ASSERT_EQ(VLMsetdblattrlist(p, "Start", 1, &i0, start), VLM_OKAY);
  EXPECT_EQ(int_attr(p, "HasSolution"), 1);
  // A change of the model data discards it.
  const double ub[] = {4};
  ASSERT_EQ(VLMsetdblattrlist(p, "UB", 1, &i0, ub), VLM_OKAY);
  EXPECT_EQ(int_attr(p, "HasSolution"), 0);
  EXPECT_EQ(int_attr(p, "Status"), VLM_STATUS_UNKNOWN);

  fake_solution(p);
  ASSERT_EQ(VLMreset(p, 0), VLM_OKAY);
  EXPECT_EQ(VLMgetdblattr(p, "ObjVal", &dv), VLM_ERROR_NO_SOLN);
  EXPECT_EQ(dbl_item(p, "Start", 0), 1);
  ASSERT_EQ(VLMreset(p, 1), VLM_OKAY);
  EXPECT_EQ(dbl_item(p, "Start", 0), VLM_UNDEFINED);
  EXPECT_EQ(VLMreset(p, 2), VLM_ERROR_INVALID_ARGUMENT);
}
