// Name look-ups of the attribute and parameter tables, and the callback
// what-table's look-up by code.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "attributes/attr_table.hpp"
#include "attributes/names.hpp"
#include "attributes/param_table.hpp"
#include "embedded.hpp"
#include "model/callback_tables.hpp"
#include "runtime/state.hpp"
#include "runtime/table_classes.hpp"

namespace velmorpy {
namespace {

using testing::captured_stdout;
using testing::raised;
using testing::str;
using testing::text;

std::string attr_of(const char* name) {
  Ref found = normAttrName(str(name).get());
  return found ? text(found.get()) : "<none>";
}

std::string param_of(const char* name) {
  Ref found = normParamName(str(name).get());
  return found ? text(found.get()) : "<none>";
}

// "<none>", or "name:int" / "name:float" for the one parameter matched.
std::string match_of(const char* name) {
  Ref row = _matchParam(str(name).get());
  if (!row) return "<none>";
  EXPECT_TRUE(PyTuple_CheckExact(row.get()));
  EXPECT_EQ(PyTuple_GET_SIZE(row.get()), 2);
  PyObject* type = PyTuple_GET_ITEM(row.get(), 1);
  EXPECT_TRUE(type == reinterpret_cast<PyObject*>(&PyLong_Type) || type == reinterpret_cast<PyObject*>(&PyFloat_Type));
  return text(PyTuple_GET_ITEM(row.get(), 0)) + ":" + reinterpret_cast<PyTypeObject*>(type)->tp_name;
}

std::string case_swapped(const std::string& s, bool upper) {
  std::string out = s;
  for (char& c : out) c = static_cast<char>(upper ? toupper(c) : tolower(c));
  return out;
}

TEST(AttrNames, SlashAndUnderscoreAlikeInAnyCase) {
  for (const char* form : {"SPX/NumIters", "spx/numiters", "SPX_NUMITERS", "Spx_NumIters", "sPx/nUmItErS"})
    EXPECT_EQ(attr_of(form), "SPX/NumIters") << form;
  EXPECT_EQ(attr_of("x"), "X");
  EXPECT_EQ(attr_of("psdcname"), "PsdCName");
  EXPECT_EQ(attr_of("objval"), "ObjVal");
}

TEST(AttrNames, EveryRowFoundByItsNameAndMemberFormInEitherCase) {
  for (std::size_t i = 0; i < kNumAttrRows; ++i) {
    const std::string name = kAttrRows[i].name;
    for (const std::string& form :
         {name, member_name(name.c_str()), case_swapped(name, true), case_swapped(member_name(name.c_str()), false)})
      EXPECT_EQ(attr_of(form.c_str()), name) << form;
  }
}

TEST(AttrNames, AliasIsItsOwnRow) {
  EXPECT_EQ(attr_of("NumConstrs"), "NumConstrs");
  EXPECT_EQ(attr_of("numconss"), "NumConss");
  EXPECT_EQ(attr_of("x"), "X");
  EXPECT_EQ(attr_of("primalsoln"), "PrimalSoln");
}

TEST(AttrNames, NoOtherFolding) {
  for (const char* name : {"SPX NumIters", "SPX.NumIters", "SPX-NumIters", " X", "X ", "", "SPX//NumIters",
                           "MIP/SolutionNumber", "MaxTime"})
    EXPECT_EQ(attr_of(name), "<none>") << "'" << name << "'";
}

TEST(AttrNames, NonStrFailsWithItsOwnException) {
  Ref bytes = Ref::steal(PyBytes_FromString("X"));
  EXPECT_EQ(raised([&] { normAttrName(bytes.get()); }), "TypeError");
  Ref number = Ref::steal(PyLong_FromLong(5));
  EXPECT_EQ(raised([&] { normAttrName(number.get()); }), "AttributeError");
  EXPECT_FALSE(PyErr_Occurred());
}

TEST(ParamNames, ExactNamesInAnyCase) {
  for (const char* form : {"MaxTime", "maxtime", "MAXTIME"}) EXPECT_EQ(param_of(form), "MaxTime") << form;
  for (const char* form : {"SPX/MaxIterations", "spx_maxiterations", "SPX_MAXITERATIONS", "Spx/MaxIterations"})
    EXPECT_EQ(param_of(form), "SPX/MaxIterations") << form;
  for (std::size_t i = 0; i < kNumParamRows; ++i) {
    const std::string name = kParamRows[i].name;
    EXPECT_EQ(param_of(case_swapped(member_name(name.c_str()), true).c_str()), name);
  }
}

TEST(ParamNames, AttributeNamesAndPatternsAreNotExactNames) {
  for (const char* name : {"ObjVal", "SPX/NumIters", "Max*", "", "MaxTime "}) EXPECT_EQ(param_of(name), "<none>");
}

TEST(MatchParam, ExactNameResolvesWithItsType) {
  std::string out = captured_stdout([] {
    EXPECT_EQ(match_of("maxtime"), "MaxTime:float");
    EXPECT_EQ(match_of("MAXTIME"), "MaxTime:float");
    EXPECT_EQ(match_of("spx_maxiterations"), "SPX/MaxIterations:int");
    EXPECT_EQ(match_of("Method"), "Method:int");
  });
  EXPECT_EQ(out, "");
}

TEST(MatchParam, PatternWithOneMatchResolvesSilently) {
  std::string out = captured_stdout([] {
    EXPECT_EQ(match_of("*cutoff"), "MIP/Cutoff:float");
    EXPECT_EQ(match_of("*CUTOFF"), "MIP/Cutoff:float");
    EXPECT_EQ(match_of("mip/gap?el"), "MIP/GapRel:float");
    EXPECT_EQ(match_of("[!x]axtime"), "MaxTime:float");
    EXPECT_EQ(match_of("MIP_Gap[r]*"), "MIP/GapRel:float");
  });
  EXPECT_EQ(out, "");
}

TEST(MatchParam, SeveralMatchesArePrintedInTableOrder) {
  std::string out = captured_stdout([] { EXPECT_EQ(match_of("MIP/Gap*"), "<none>"); });
  EXPECT_EQ(out, "Matching parameters: ['MIP/GapAbs', 'MIP/GapRel']\n");
  out = captured_stdout([] { EXPECT_EQ(match_of("mip_gap*"), "<none>"); });
  EXPECT_EQ(out, "Matching parameters: ['MIP/GapAbs', 'MIP/GapRel']\n");
}

TEST(MatchParam, LoneStarPrintsEveryName) {
  std::string expected = "Matching parameters: [";
  for (std::size_t i = 0; i < kNumParamRows; ++i) expected += std::string(i ? ", '" : "'") + kParamRows[i].name + "'";
  expected += "]\n";
  std::string out = captured_stdout([] { EXPECT_EQ(match_of("*"), "<none>"); });
  EXPECT_EQ(out, expected);
}

TEST(MatchParam, NoMatchPrintsNothing) {
  std::string out = captured_stdout([] {
    EXPECT_EQ(match_of("NoSuchParam"), "<none>");
    EXPECT_EQ(match_of("ObjVal"), "<none>");
    EXPECT_EQ(match_of("zz*"), "<none>");
    EXPECT_EQ(match_of(""), "<none>");
  });
  EXPECT_EQ(out, "");
}

// An exact name never reaches the pattern walk: with the module's fnmatch
// replaced by an object without the function, exact names still resolve and
// only a pattern fails.
TEST(MatchParam, ExactNameSkipsThePatternWalk) {
  PyObject* dict = state().dict;
  Ref saved = Ref::borrow(PyDict_GetItemString(dict, "fnmatch"));
  ASSERT_TRUE(saved);
  ASSERT_EQ(PyDict_SetItemString(dict, "fnmatch", Py_None), 0);
  EXPECT_EQ(match_of("maxtime"), "MaxTime:float");
  EXPECT_EQ(raised([] { _matchParam(str("max*").get()); }), "AttributeError");
  ASSERT_EQ(PyDict_SetItemString(dict, "fnmatch", saved.get()), 0);
  EXPECT_EQ(match_of("max*"), "MaxTime:float");
}

TEST(MatchParam, NonStrFailsWithItsOwnException) {
  Ref bytes = Ref::steal(PyBytes_FromString("MaxTime"));
  EXPECT_EQ(raised([&] { _matchParam(bytes.get()); }), "TypeError");
  EXPECT_FALSE(PyErr_Occurred());
}

TEST(CallbackWhat, LookUpByCode) {
  const CbWhatRow* sol = find_cb_what(316);
  ASSERT_NE(sol, nullptr);
  EXPECT_STREQ(sol->name, "MIP_SOL");
  EXPECT_EQ(sol->shape[0], 'v');
  EXPECT_TRUE(sol->exposed);
  const CbWhatRow* lb = find_cb_what(203);
  ASSERT_NE(lb, nullptr);
  EXPECT_STREQ(lb->name, "PRE_LB");
  EXPECT_FALSE(lb->exposed);
  for (long long code : {315LL, 0LL, 199LL, 318LL, -316LL, 316LL + (1LL << 32)}) EXPECT_EQ(find_cb_what(code), nullptr);
}

// cbGet calls an 'm' row's accessor with (model, code) and any other row's
// with (model, code, index): the accessor must agree with the shape.
TEST(CallbackWhat, AccessorAgreesWithShape) {
  std::set<int> codes;
  for (std::size_t i = 0; i < kNumCbWhatRows; ++i) {
    const CbWhatRow& row = kCbWhatRows[i];
    const bool single = row.accessor == CbAccessor::cbint || row.accessor == CbAccessor::cbdbl;
    EXPECT_EQ(single, row.shape[0] == 'm') << row.name;
    EXPECT_TRUE(row.shape[0] == 'm' || row.shape[0] == 'v' || row.shape[0] == 'c') << row.name;
    EXPECT_STREQ(row.shape + 1, "d") << row.name;
    EXPECT_TRUE(codes.insert(row.code).second) << row.name;
    EXPECT_EQ(find_cb_what(row.code), &row);
  }
  EXPECT_EQ(kNumCbWhatRows, 30u);
}

}  // namespace
}  // namespace velmorpy
