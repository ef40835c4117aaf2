// Model files: MPS and CBF round trips compared over every attribute,
// foreign spellings the readers accept, refusals, SDPA files, and the
// solution, basis, start and parameter files of a model (LP files:
// test_lp_files.cpp).
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "model/model.hpp"
#include "velmor.h"
#include "vlm_test_util.hpp"

using namespace vlmtest;

namespace {

const double kInf = std::numeric_limits<double>::infinity();

// A mixed-integer quadratic model using what MPS files express: every
// variable type, every kind of bound and row, ranges whose width is not exact
// in binary, an explicit zero coefficient, SOS of both types.
ModelPtr mps_model(VLMenv* env) {
  ModelPtr m = make_model(env, "mixed model");
  const double lb[] = {0, -kInf, -5, 2, 0, 0, 1, 0.1, 0};
  const double ub[] = {kInf, kInf, -1, 2, 1, 10, 7, 1e20, -3};
  const double obj[] = {1, -2.5, 0, 0.1, 3, 0, 1.0 / 3, 0, 4};
  const char type[] = {'C', 'C', 'I', 'C', 'B', 'S', 'N', 'I', 'C'};
  const char* names[] = {"x", "free", "neg", "fixed", "bin", "semi", "semiint", "int", "upneg"};
  EXPECT_EQ(VLMaddvars(m.get(), 9, 0, nullptr, nullptr, nullptr, obj, lb, ub, type, names), VLM_OKAY);
  const int beg[] = {0, 3, 5, 7, 9, 11};
  const int ind[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 0, 8, 1};
  const double val[] = {1, 2, 3, -1, 0, 0.5, 0.25, 1e-7, 123456.789, 1, 1, -1};
  const double rlb[] = {-kInf, 0.1, 3, -kInf, -0.3, -2};
  const double rub[] = {4, 0.7, 3, kInf, 0.2, 5};
  const char* rnames[] = {"le", "range", "eq", "free_row", "range2", "range3"};
  EXPECT_EQ(VLMaddrangeconstrs(m.get(), 6, 12, beg, ind, val, rlb, rub, rnames), VLM_OKAY);
  EXPECT_EQ(VLMsetintattr(m.get(), "ModelSense", VLM_MAXIMIZE), VLM_OKAY);
  EXPECT_EQ(VLMsetdblattr(m.get(), "ObjCon", -7.25), VLM_OKAY);
  const int qr[] = {0, 0, 1, 3}, qc[] = {0, 1, 3, 3};
  const double qv[] = {0.5, -1.5, 2, 0.1};
  EXPECT_EQ(VLMaddqpterms(m.get(), 4, qr, qc, qv), VLM_OKAY);
  const int types[] = {1, 2}, sbeg[] = {0, 2}, smem[] = {0, 1, 2, 3, 5};
  const double sw[] = {1, 2, 0.5, 1.5, 2.5};
  EXPECT_EQ(VLMaddsos(m.get(), 2, 5, types, sbeg, smem, sw), VLM_OKAY);
  return m;
}

// A small mixed-integer linear model for the solution and start files.
ModelPtr lp_model(VLMenv* env) {
  ModelPtr m = make_model(env, "linear one");
  const double lb[] = {0, -kInf, -5, 2, 0, 0, 1, -3};
  const double ub[] = {kInf, kInf, -1, 2, 1, 10, 7, 1e20};
  const double obj[] = {1, -2.5, 0, 0.1, 3, 0, 1.0 / 3, 0.3};
  const char type[] = {'C', 'C', 'I', 'C', 'B', 'S', 'N', 'I'};
  const char* names[] = {"x", "y.1", "neg", "fixed", "b", "sc", "semiint", "int_var"};
  EXPECT_EQ(VLMaddvars(m.get(), 8, 0, nullptr, nullptr, nullptr, obj, lb, ub, type, names), VLM_OKAY);
  const int beg[] = {0, 3, 5, 7};
  const int ind[] = {0, 1, 2, 3, 4, 5, 6, 0, 7};
  const double val[] = {1, 2, 3, -1, 0.5, 0.25, 1e-7, 123456.789, -1};
  const double rlb[] = {-kInf, 0.1, 3, -kInf};
  const double rub[] = {4, kInf, 3, kInf};
  const char* rnames[] = {"le", "ge", "eq", "free_row"};
  EXPECT_EQ(VLMaddrangeconstrs(m.get(), 4, 9, beg, ind, val, rlb, rub, rnames), VLM_OKAY);
  EXPECT_EQ(VLMsetintattr(m.get(), "ModelSense", VLM_MAXIMIZE), VLM_OKAY);
  EXPECT_EQ(VLMsetdblattr(m.get(), "ObjCon", 2.5), VLM_OKAY);
  const int types[] = {1, 2}, sbeg[] = {0, 2}, smem[] = {0, 1, 2, 3, 5};
  const double sw[] = {1, 2, 0.5, 1.5, 2.5};
  EXPECT_EQ(VLMaddsos(m.get(), 2, 5, types, sbeg, smem, sw), VLM_OKAY);
  return m;
}

// A semidefinite model within what CBF expresses exactly: free, nonnegative,
// nonpositive and zero-fixed variables, one-sided and equality rows.
ModelPtr sdp_model(VLMenv* env) {
  ModelPtr m = make_model(env, "sdp");
  const double lb[] = {-kInf, 0, -kInf, 0};
  const double ub[] = {kInf, kInf, 0, 0};
  const double obj[] = {1, 0, -2, 0};
  const char type[] = {'C', 'I', 'C', 'C'};
  EXPECT_EQ(VLMaddvars(m.get(), 4, 0, nullptr, nullptr, nullptr, obj, lb, ub, type, nullptr), VLM_OKAY);
  const int p0[] = {0, 1, 2, 3};
  const double v0[] = {1, 2, 3, 4};
  EXPECT_EQ(VLMaddpsdvar(m.get(), 2, 4, p0, v0, nullptr), VLM_OKAY);
  EXPECT_EQ(VLMaddpsdvar(m.get(), 3, 0, nullptr, nullptr, nullptr), VLM_OKAY);
  const int ind[] = {0, 1};
  const double val[] = {1, -1};
  EXPECT_EQ(VLMaddrangeconstr(m.get(), 2, ind, val, -kInf, 4, nullptr), VLM_OKAY);
  const int pv[] = {0, 1}, pbeg[] = {0, 2}, ppos[] = {0, 3, 1, 3, 8};
  const double pval[] = {1, 1, 0.5, 0.5, 2};
  EXPECT_EQ(VLMaddrangepsdconstr(m.get(), 1, 2, 5, ind, val, pv, pbeg, ppos, pval, 1, 1, nullptr), VLM_OKAY);
  EXPECT_EQ(VLMaddrangepsdconstr(m.get(), 0, 1, 2, nullptr, nullptr, &pv[1], pbeg, &ppos[2], &pval[2], -3, kInf,
                                 nullptr),
            VLM_OKAY);
  EXPECT_EQ(VLMaddrangeconstr(m.get(), 0, nullptr, nullptr, -kInf, kInf, nullptr), VLM_OKAY);
  EXPECT_EQ(VLMsetintattr(m.get(), "ModelSense", VLM_MAXIMIZE), VLM_OKAY);
  EXPECT_EQ(VLMsetdblattr(m.get(), "ObjCon", 0.5), VLM_OKAY);
  return m;
}

// The semidefinite terms of every row, which no query shows.
void expect_same_psd_rows(VLMmodel* a, VLMmodel* b) {
  const auto& ra = a->data.rows.psd;
  const auto& rb = b->data.rows.psd;
  ASSERT_EQ(ra.size(), rb.size());
  for (size_t i = 0; i < ra.size(); ++i) {
    ASSERT_EQ(ra[i].size(), rb[i].size()) << i;
    for (size_t t = 0; t < ra[i].size(); ++t) {
      EXPECT_EQ(ra[i][t].var, rb[i][t].var);
      const auto& x = ra[i][t].coef.lower;
      const auto& y = rb[i][t].coef.lower;
      ASSERT_EQ(x.size(), y.size());
      for (size_t k = 0; k < x.size(); ++k) {
        EXPECT_EQ(x[k].row, y[k].row);
        EXPECT_EQ(x[k].col, y[k].col);
        EXPECT_EQ(x[k].value, y[k].value);
      }
    }
  }
}

// Each text, written to `path`, is refused by VLMreadmodel as the format
// error, and no model is made.
void expect_refused(VLMenv* env, const std::string& path, const std::vector<std::string>& texts) {
  for (const std::string& text : texts) {
    write_text(path, text);
    VLMmodel* m = nullptr;
    EXPECT_EQ(VLMreadmodel(env, path.c_str(), &m), VLM_ERROR_FORMAT_ERROR) << text;
    EXPECT_EQ(m, nullptr);
  }
}

}  // namespace

TEST(MpsFiles, RoundTripKeepsEveryAttribute) {
  EnvPtr env = make_env();
  ModelPtr m = mps_model(env.get());
  expect_round_trip(env.get(), m.get(), temp_path("round.mps"));
  expect_round_trip(env.get(), m.get(), temp_path("round.qps"));
  expect_round_trip(env.get(), m.get(), temp_path("round.mps.gz"));
  expect_round_trip(env.get(), m.get(), temp_path("round.mps.bz2"));
  // A name beyond 8 characters: free format.
  const int j = 0;
  char* longer = const_cast<char*>("a_longer_name");
  ASSERT_EQ(VLMsetstrattrlist(m.get(), "VarName", 1, &j, &longer), VLM_OKAY);
  expect_round_trip(env.get(), m.get(), temp_path("round_free.mps"));
}

// Names of at most 8 characters: the fixed-column layout (fields from columns
// 2, 5, 15, 25 and 40), which readers that tell the layouts apart by those
// columns take as it is meant. A longer name: free format, whose fields never
// start in those columns. OBJSENSE only for maximisation; a binary as BV
// alone; an integer column always with its upper bound.
TEST(MpsFiles, SectionsAsWritten) {
  EnvPtr env = make_env();
  ModelPtr m = mps_model(env.get());
  const std::string path = temp_path("sections.mps");
  ASSERT_EQ(VLMwrite(m.get(), path.c_str()), VLM_OKAY);
  std::string text = read_text(path);
  for (const char* part :
       {"NAME          mixed model\nOBJSENSE\n    MAX\nROWS\n N  OBJ\n L  le\n G  range\n", "COLUMNS\n    x         OBJ       1\n",
        "    MARKER    'MARKER'                 'INTORG'\n    neg       le        3\n",
        "    RHS       OBJ       7.25\n", "RANGES\n    RNG       range     0.6\n", " BV BND       bin\n SC BND       semi      10\n",
        " FR BND       free\n", " FX BND       fixed     2\n", " LO BND       int       0.1\n PL BND       int\n",
        " LO BND       upneg     0\n UP BND       upneg     -3\n", "QUADOBJ\n    x         x         1\n",
        "SOS\n S1 SOS       s0\n    x         1\n", "ENDATA\n"})
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  EXPECT_LT(text.find("QUADOBJ"), text.find("\nSOS"));

  ASSERT_EQ(VLMsetintattr(m.get(), "ModelSense", VLM_MINIMIZE), VLM_OKAY);
  const int j = 1;
  char* longer = const_cast<char*>("a_longer_name");
  ASSERT_EQ(VLMsetstrattrlist(m.get(), "VarName", 1, &j, &longer), VLM_OKAY);
  ASSERT_EQ(VLMwrite(m.get(), path.c_str()), VLM_OKAY);
  text = read_text(path);
  for (const char* part : {"NAME mixed model\nROWS\n N OBJ\n", " x OBJ 1\n", " a_longer_name OBJ -2.5\n",
                           " MARKER 'MARKER' 'INTORG'\n", " RHS OBJ 7.25\n", " RNG range 0.6\n", " BV  BND bin\n",
                           " FR  BND a_longer_name\n", "SOS\n S1  SOS s0\n"})
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  EXPECT_EQ(text.find("OBJSENSE"), std::string::npos);
  // No field of a data line starts in column 5, 15 or 40.
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] != ' ') continue;
    for (size_t at : {4, 14, 39})
      EXPECT_FALSE(at < line.size() && line[at] != ' ' && line[at - 1] == ' ') << line;
  }
  std::remove(path.c_str());
}

// Also those the common readers misread: "$..." (a comment to some), a lone
// sign (joined to the next field by some), more than 128 characters.
TEST(MpsFiles, NamesThatCannotStandInTheFileAreReplaced) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get(), "");
  const std::string long_name(129, 'n');
  const char* names[] = {"a b", "dup", "dup", nullptr, "C3", "$x", "-", long_name.c_str() + 1, long_name.c_str()};
  ASSERT_EQ(VLMaddvars(m.get(), 9, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, names),
            VLM_OKAY);
  const int ind[] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
  const double val[] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
  ASSERT_EQ(VLMaddrangeconstr(m.get(), 9, ind, val, 1, kInf, "OBJ"), VLM_OKAY);
  const std::string path = temp_path("names.mps");
  ASSERT_EQ(VLMwrite(m.get(), path.c_str()), VLM_OKAY);
  ModelPtr back = read_model(env.get(), path);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(str_item(back.get(), "VarName", 0), "C0");
  EXPECT_EQ(str_item(back.get(), "VarName", 1), "dup");
  EXPECT_EQ(str_item(back.get(), "VarName", 2), "C2");
  EXPECT_EQ(str_item(back.get(), "VarName", 3), "C3_");
  EXPECT_EQ(str_item(back.get(), "VarName", 4), "C3");
  EXPECT_EQ(str_item(back.get(), "VarName", 5), "C5");
  EXPECT_EQ(str_item(back.get(), "VarName", 6), "C6");
  EXPECT_EQ(str_item(back.get(), "VarName", 7), long_name.substr(1));
  EXPECT_EQ(str_item(back.get(), "VarName", 8), "C8");
  EXPECT_EQ(str_item(back.get(), "ConstrName", 0), "OBJ");
  EXPECT_EQ(lines(back.get(), true, 0, 1).ind, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
  std::remove(path.c_str());
}

TEST(MpsFiles, ReadsOtherSpellings) {
  EnvPtr env = make_env();
  const std::string path = temp_path("foreign.mps");
  write_text(path,
             "* a comment\n"
             "NAME          foreign\n"
             "OBJSENSE MAXIMIZE\n"
             "ROWS\n"
             " N  cost\n"
             " E  e1\n"
             " E  e2\n"
             " L  l1\n"
             "COLUMNS\n"
             "    x  cost  1  e1  1\n"
             "    x  e1  1\n"
             "    y  e2  2  l1  1\n"
             "RHS\n"
             "    cost  -3  e1  4\n"
             "    e2  5\n"
             "    l1  6\n"
             "RANGES\n"
             "    e1  2\n"
             "    e2  -2\n"
             "    l1  -1\n"
             "BOUNDS\n"
             " UP x 8\n"
             " MI y\n"
             " UI BND y 3\n"
             "QMATRIX\n"
             "    x  y  1\n"
             "    y  x  1\n"
             "    x  x  4\n"
             "SOS\n"
             " S2 set\n"
             "    x  1\n"
             "    y  2\n"
             "ENDATA\n");
  ModelPtr m = read_model(env.get(), path);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(int_attr(m.get(), "ModelSense"), VLM_MAXIMIZE);
  EXPECT_EQ(dbl_attr(m.get(), "ObjCon"), 3);
  // x listed twice against e1: the coefficients add up.
  EXPECT_EQ(lines(m.get(), true, 0, 1).val, (std::vector<double>{2}));
  EXPECT_EQ(dbl_item(m.get(), "LHS", 0), 4);
  EXPECT_EQ(dbl_item(m.get(), "RHS", 0), 6);
  EXPECT_EQ(dbl_item(m.get(), "LHS", 1), 3);
  EXPECT_EQ(dbl_item(m.get(), "RHS", 1), 5);
  EXPECT_EQ(dbl_item(m.get(), "LHS", 2), 5);
  EXPECT_EQ(dbl_item(m.get(), "UB", 0), 8);
  EXPECT_EQ(dbl_item(m.get(), "LB", 1), -1e20);
  EXPECT_EQ(dbl_item(m.get(), "UB", 1), 3);
  EXPECT_EQ(char_item(m.get(), "VType", 1), 'I');
  const Quad q = quad(m.get());
  EXPECT_EQ(q.row, (std::vector<int>{0, 0}));
  EXPECT_EQ(q.col, (std::vector<int>{0, 1}));
  EXPECT_EQ(q.val, (std::vector<double>{2, 1}));
  EXPECT_EQ(int_attr(m.get(), "NumSOS"), 1);
  char* name = nullptr;
  ASSERT_EQ(VLMgetstrattr(m.get(), "ModelName", &name), VLM_OKAY);
  EXPECT_STREQ(name, "foreign");
  std::remove(path.c_str());
}

// A file whose names hold blanks (the original fixed-column layout: fields
// in columns 2-3, 5-12, 15-22, 25-36, 40-47, 50-61) does not read as free
// format; it is read as fixed format, blanks kept inside names and set names,
// and the log says so. Written again, it is free format with names that free
// format can carry, and reads back to the same model.
TEST(MpsFiles, FixedFormatNamesWithBlanks) {
  EnvPtr env = make_env();
  const std::string path = temp_path("fixed.mps");
  // A data line with its fields in their columns.
  const auto line = [](std::vector<std::string> fields) {
    static const size_t start[] = {1, 4, 14, 24, 39, 49};
    std::string out;
    for (size_t k = 0; k < fields.size(); ++k) {
      out.resize(start[k], ' ');
      out += fields[k];
    }
    return out + "\n";
  };
  write_text(path, "NAME          FIXED  (WITH BLANKS)\nROWS\n" + line({"E", "BAL 1"}) + line({"N", "COST"}) +
                       line({"L", "CAP 2 A"}) + "COLUMNS\n" + line({"", "X 1", "COST", "1.5", "BAL 1", "1."}) +
                       line({"", "X 1", "CAP 2 A", "2."}) + line({"", "MARKER", "'MARKER'", "", "'INTORG'"}) +
                       line({"", "Y 2", "BAL 1", "-1.", "CAP 2 A", "3."}) +
                       line({"", "MARKER", "'MARKER'", "", "'INTEND'"}) + line({"", "Z", "COST", "-1."}) + "RHS\n" +
                       line({"", "RHS 1", "BAL 1", "4.5", "CAP 2 A", "10."}) + "RANGES\n" +
                       line({"", "RNG 1", "CAP 2 A", "6."}) + "BOUNDS\n" + line({"UP", "BND 1", "X 1", "8."}) +
                       line({"MI", "BND 1", "Z"}) + line({"UP", "BND 1", "Z", "-2."}) + line({"LO", "", "Y 2", "1."}) +
                       "ENDATA\n");
  testing::internal::CaptureStdout();
  ModelPtr m = read_model(env.get(), path);
  const std::string logged = testing::internal::GetCapturedStdout();
  ASSERT_NE(m, nullptr);
  EXPECT_NE(logged.find("fixed-format"), std::string::npos) << logged;
  char* name = nullptr;
  ASSERT_EQ(VLMgetstrattr(m.get(), "ModelName", &name), VLM_OKAY);
  EXPECT_STREQ(name, "FIXED  (WITH BLANKS)");
  ASSERT_EQ(int_attr(m.get(), "NumVars"), 3);
  ASSERT_EQ(int_attr(m.get(), "NumConstrs"), 2);
  EXPECT_EQ(str_item(m.get(), "VarName", 0), "X 1");
  EXPECT_EQ(str_item(m.get(), "VarName", 1), "Y 2");
  EXPECT_EQ(str_item(m.get(), "ConstrName", 0), "BAL 1");
  EXPECT_EQ(str_item(m.get(), "ConstrName", 1), "CAP 2 A");
  EXPECT_EQ(char_item(m.get(), "VType", 1), 'I');
  EXPECT_EQ(char_item(m.get(), "VType", 2), 'C');
  EXPECT_EQ(dbl_item(m.get(), "Obj", 0), 1.5);
  EXPECT_EQ(dbl_item(m.get(), "Obj", 2), -1);
  EXPECT_EQ(lines(m.get(), true, 0, 1).val, (std::vector<double>{1, -1}));
  EXPECT_EQ(lines(m.get(), true, 1, 1).val, (std::vector<double>{2, 3}));
  EXPECT_EQ(dbl_item(m.get(), "LHS", 0), 4.5);
  EXPECT_EQ(dbl_item(m.get(), "LHS", 1), 4);
  EXPECT_EQ(dbl_item(m.get(), "RHS", 1), 10);
  EXPECT_EQ(dbl_item(m.get(), "UB", 0), 8);
  EXPECT_EQ(dbl_item(m.get(), "LB", 1), 1);
  EXPECT_EQ(dbl_item(m.get(), "LB", 2), -1e20);
  EXPECT_EQ(dbl_item(m.get(), "UB", 2), -2);
  int index = -1;
  ASSERT_EQ(VLMgetvarbyname(m.get(), "Y 2", &index), VLM_OKAY);
  EXPECT_EQ(index, 1);

  const std::string again = temp_path("fixed_again.mps");
  ASSERT_EQ(VLMwrite(m.get(), again.c_str()), VLM_OKAY);
  EXPECT_EQ(read_text(again).find("X 1"), std::string::npos) << "no name with a blank in free format";
  testing::internal::CaptureStdout();
  ModelPtr back = read_model(env.get(), again);
  EXPECT_EQ(testing::internal::GetCapturedStdout().find("fixed-format"), std::string::npos);
  ASSERT_NE(back, nullptr);
  for (int j = 0; j < 3; ++j) {
    EXPECT_EQ(dbl_item(back.get(), "LB", j), dbl_item(m.get(), "LB", j)) << j;
    EXPECT_EQ(dbl_item(back.get(), "UB", j), dbl_item(m.get(), "UB", j)) << j;
    EXPECT_EQ(dbl_item(back.get(), "Obj", j), dbl_item(m.get(), "Obj", j)) << j;
    EXPECT_EQ(char_item(back.get(), "VType", j), char_item(m.get(), "VType", j)) << j;
  }
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(dbl_item(back.get(), "LHS", i), dbl_item(m.get(), "LHS", i)) << i;
    EXPECT_EQ(dbl_item(back.get(), "RHS", i), dbl_item(m.get(), "RHS", i)) << i;
    EXPECT_EQ(lines(back.get(), true, i, 1).val, lines(m.get(), true, i, 1).val) << i;
  }
  std::remove(path.c_str());
  std::remove(again.c_str());

  // Neither format: a character between the fixed fields.
  write_text(path, "NAME x\nROWS\n N  obj\n L  r 1\nCOLUMNS\n    x 1 y   obj          1\nENDATA\n");
  VLMmodel* bad = nullptr;
  EXPECT_EQ(VLMreadmodel(env.get(), path.c_str(), &bad), VLM_ERROR_FORMAT_ERROR);
  std::remove(path.c_str());
}

// A negative UP bound on a column whose lower bound the file did not give
// makes the lower bound -infinity (the convention of CLP's and HiGHS's
// readers; the log says so); with a lower bound given, before or after, the
// bounds stay as written, which is how the writer keeps [0, -5].
TEST(MpsFiles, NegativeUpperBoundWithoutLowerBound) {
  EnvPtr env = make_env();
  const std::string path = temp_path("negup.mps");
  write_text(path,
             "NAME neg\nROWS\n N obj\n L r\nCOLUMNS\n    a r 1\n    b r 1\n    c r 1\n    d r 1\n"
             "RHS\n    rhs r 1\nBOUNDS\n UP BND a -5\n LO BND b 0\n UP BND b -5\n UP BND c -5\n LO BND c 0\n"
             " UP BND d 5\nENDATA\n");
  testing::internal::CaptureStdout();
  ModelPtr m = read_model(env.get(), path);
  const std::string logged = testing::internal::GetCapturedStdout();
  ASSERT_NE(m, nullptr);
  EXPECT_NE(logged.find("negative upper bound"), std::string::npos) << logged;
  EXPECT_EQ(dbl_item(m.get(), "LB", 0), -1e20);
  EXPECT_EQ(dbl_item(m.get(), "UB", 0), -5);
  EXPECT_EQ(dbl_item(m.get(), "LB", 1), 0);
  EXPECT_EQ(dbl_item(m.get(), "LB", 2), 0);
  EXPECT_EQ(dbl_item(m.get(), "LB", 3), 0);
  std::remove(path.c_str());

  ModelPtr w = make_model(env.get());
  const double lb[] = {0}, ub[] = {-5};
  const char* names[] = {"x"};
  ASSERT_EQ(VLMaddvars(w.get(), 1, 0, nullptr, nullptr, nullptr, nullptr, lb, ub, nullptr, names), VLM_OKAY);
  expect_round_trip(env.get(), w.get(), temp_path("negup_round.mps"));
}

TEST(MpsFiles, MalformedFilesAreRefused) {
  EnvPtr env = make_env();
  const std::string path = temp_path("bad.mps");
  const std::string head = "NAME x\nROWS\n N obj\n L r\nCOLUMNS\n    x r 1\n";
  expect_refused(env.get(), path,
       {head + "RHS\n    RHS q 1\nENDATA\n",                 // unknown row
        head + "BOUNDS\n UP BND y 1\nENDATA\n",             // unknown column
        head + "RHS\n    RHS r nan\nENDATA\n",              // not a number
        head + "RHS\n    RHS r 1\n",                        // no ENDATA
        head + "INDICATORS\n IF r x 1\nENDATA\n",           // a section we do not read
        head + "BOUNDS\n XX BND x 1\nENDATA\n",             // unknown bound type
        std::string("NAME x\nROWS\n N obj\n L r\n L r\nCOLUMNS\nENDATA\n"),  // repeated row
        head + "COLUMNS\n    y r inf\nENDATA\n",            // infinite coefficient
        head + "SOS\n S1 SOS s\n    x 1\n    x 2\nENDATA\n",  // repeated member
        std::string("ROWS\n L r\nCOLUMNS\n    x r 1\nENDATA\n")});  // no objective row
  std::remove(path.c_str());
  VLMmodel* m = nullptr;
  EXPECT_EQ(VLMreadmodel(env.get(), temp_path("missing.mps").c_str(), &m), VLM_ERROR_FILE_READ_ERROR);
  EXPECT_EQ(VLMreadmodel(env.get(), temp_path("x.prm").c_str(), &m), VLM_ERROR_FORMAT_ERROR);
  EXPECT_EQ(VLMreadmodel(nullptr, path.c_str(), &m), VLM_ERROR_INVALID_ARGUMENT);
}

TEST(MpsFiles, ModelsMpsCannotExpressAreRefused) {
  EnvPtr env = make_env();
  ModelPtr sdp = sdp_model(env.get());
  EXPECT_EQ(VLMwrite(sdp.get(), temp_path("sdp.mps").c_str()), VLM_ERROR_FORMAT_ERROR);
  ModelPtr m = mps_model(env.get());
  ASSERT_EQ(VLMaddgenconstrIndicator(m.get(), "g", 4, 1, 0, nullptr, nullptr, '<', 1), VLM_OKAY);
  EXPECT_EQ(VLMwrite(m.get(), temp_path("ind.mps").c_str()), VLM_ERROR_FORMAT_ERROR);
  // The refusal's text says why, until the thread's next call.
  const std::string why = VLMexplainerror(VLM_ERROR_FORMAT_ERROR);
  EXPECT_NE(why.find("MPS has no section for indicator constraints (an .lp file keeps them)"), std::string::npos)
      << why;
  EXPECT_STREQ(VLMexplainerror(VLM_ERROR_NO_SOLN), "No solution available");
  EXPECT_EQ(int_attr(m.get(), "NumVars"), 9);
  EXPECT_STREQ(VLMexplainerror(VLM_ERROR_FORMAT_ERROR), "Invalid or unsupported file format");
  ModelPtr empty_range = make_model(env.get());
  ASSERT_EQ(VLMaddrangeconstr(empty_range.get(), 0, nullptr, nullptr, 2, 1, "r"), VLM_OKAY);
  EXPECT_EQ(VLMwrite(empty_range.get(), temp_path("range.mps").c_str()), VLM_ERROR_FORMAT_ERROR);
}

TEST(CbfFiles, RoundTripKeepsEveryAttribute) {
  EnvPtr env = make_env();
  ModelPtr m = sdp_model(env.get());
  const std::string path = temp_path("round.cbf");
  ASSERT_EQ(VLMwrite(m.get(), path.c_str()), VLM_OKAY);
  ModelPtr back = read_model(env.get(), path);
  ASSERT_NE(back, nullptr);
  expect_same_model(m.get(), back.get());
  expect_same_psd_rows(m.get(), back.get());
  const std::string text = read_text(path);
  for (const char* part : {"VER\n3\n", "OBJSENSE\nMAX\n", "PSDVAR\n2\n2\n3\n", "VAR\n4 4\nF 1\nL+ 1\nL- 1\nL= 1\n",
                           "INT\n1\n1\n", "CON\n4 4\nL- 1\nL= 1\nL+ 1\nF 1\n", "OBJFCOORD\n3\n0 0 0 1\n0 1 0 3\n",
                           "OBJBCOORD\n0.5\n"})
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  std::remove(path.c_str());
  expect_round_trip(env.get(), m.get(), temp_path("round.cbf.bz2"));
}

TEST(CbfFiles, BoundsAndRangesBecomeRows) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get(), "bounded");
  const double lb[] = {1, -2}, ub[] = {5, kInf};
  const char type[] = {'C', 'B'};
  ASSERT_EQ(VLMaddvars(m.get(), 2, 0, nullptr, nullptr, nullptr, nullptr, lb, ub, type, nullptr), VLM_OKAY);
  const int ind[] = {0};
  const double val[] = {2};
  ASSERT_EQ(VLMaddrangeconstr(m.get(), 1, ind, val, -1, 3, nullptr), VLM_OKAY);
  const std::string path = temp_path("bounded.cbf");
  ASSERT_EQ(VLMwrite(m.get(), path.c_str()), VLM_OKAY);
  ModelPtr back = read_model(env.get(), path);
  ASSERT_NE(back, nullptr);
  // The range in place (its lower half), then its upper half, then x >= 1
  // and x <= 5, then the binary's range as it is solved: b >= 0 in its cone
  // and b <= 1 as a row.
  ASSERT_EQ(int_attr(back.get(), "NumConstrs"), 5);
  EXPECT_EQ(dbl_item(back.get(), "LHS", 0), -1);
  EXPECT_EQ(dbl_item(back.get(), "RHS", 1), 3);
  EXPECT_EQ(dbl_item(back.get(), "LHS", 2), 1);
  EXPECT_EQ(dbl_item(back.get(), "RHS", 3), 5);
  EXPECT_EQ(lines(back.get(), true, 3, 1).val, (std::vector<double>{1}));
  EXPECT_EQ(dbl_item(back.get(), "LB", 0), -1e20);
  EXPECT_EQ(char_item(back.get(), "VType", 1), 'I');
  EXPECT_EQ(dbl_item(back.get(), "LB", 1), 0);
  EXPECT_EQ(dbl_item(back.get(), "RHS", 4), 1);
  EXPECT_EQ(lines(back.get(), true, 4, 1).ind, (std::vector<int>{1}));
  std::remove(path.c_str());

  ModelPtr mip = mps_model(env.get());
  EXPECT_EQ(VLMwrite(mip.get(), path.c_str()), VLM_ERROR_FORMAT_ERROR);
}

TEST(CbfFiles, MalformedFilesAreRefused) {
  EnvPtr env = make_env();
  const std::string path = temp_path("bad.cbf");
  for (const char* body : {"VER\n3\nVAR\n2 1\nQ 2\n",               // a quadratic cone
                           "VER\n3\nVAR\n2 1\nF 1\n",               // cone counts short of the variables
                           "VER\n3\nVAR\n1 1\nF 1\nACOORD\n1\n0 0 1\n",  // a row that does not exist
                           "VAR\n1 1\nF 1\n",                       // no version
                           "VER\n3\nPSDVAR\n1\n2\nVAR\n0 0\nOBJFCOORD\n1\n0 2 0 1\n",  // outside the matrix
                           "VER\n3\nPSDCON\n1\n2\nVAR\n0 0\n"}) {
    write_text(path, body);
    VLMmodel* m = nullptr;
    EXPECT_EQ(VLMreadmodel(env.get(), path.c_str(), &m), VLM_ERROR_FORMAT_ERROR) << body;
  }
  std::remove(path.c_str());
}

// Counts larger than the rest of the file can hold are refused at once, as
// the format error, before anything is reserved for them (a 2e9-variable
// announcement used to reserve gigabytes): every CBF count, and the cone runs
// within them.
TEST(CbfFiles, CountsBeyondTheFileAreRefused) {
  EnvPtr env = make_env();
  const std::string path = temp_path("hostile.cbf");
  expect_refused(env.get(), path,
                 {"VER\n3\nVAR\n2000000000 1\nF 2000000000\n",
                  "VER\n3\nVAR\n1 1\nF 1\nCON\n2000000000 1\nL= 2000000000\n",
                  "VER\n3\nVAR\n1 1\nF 1\nINT\n2000000000\n0\n",
                  "VER\n3\nVAR\n1 1\nF 1\nACOORD\n2000000000\n0 0 1\n",
                  "VER\n3\nPSDVAR\n2000000000\n2\nVAR\n0 0\n",
                  "VER\n3\nVAR\n12 1\nF 12\n"});  // the bytes after the count are too few
  // A count that the rest of the file can hold still reads.
  write_text(path, "VER\n3\nVAR\n3 1\nF 3\nOBJACOORD\n1\n2 1.5\n");
  ModelPtr m = read_model(env.get(), path);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(int_attr(m.get(), "NumVars"), 3);
  EXPECT_EQ(dbl_item(m.get(), "Obj", 2), 1.5);
  std::remove(path.c_str());
}

TEST(ModelFiles, SolutionFile) {
  EnvPtr env = make_env();
  ModelPtr m = lp_model(env.get());
  const std::string path = temp_path("model.sol");
  EXPECT_EQ(VLMwrite(m.get(), path.c_str()), VLM_ERROR_NO_SOLN);
  velmor::Solution& s = m->solution;
  s.has_primal = true;
  s.status = VLM_STATUS_OPTIMAL;
  s.primal_obj = 12.5;
  s.x = {1, 2, -3, 2, 1, 0, 1.5, 0.1};
  ASSERT_EQ(VLMwrite(m.get(), path.c_str()), VLM_OKAY);
  const std::string text = read_text(path);
  EXPECT_NE(text.find("# Objective value = 12.5\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nx 1\ny.1 2\nneg -3\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nint_var 0.1\n"), std::string::npos) << text;
  std::remove(path.c_str());
}

TEST(ModelFiles, MipStartAndParameterFilesLoadIntoAModel) {
  EnvPtr env = make_env();
  ModelPtr m = lp_model(env.get());
  const int idx[] = {0, 4};
  const double start[] = {1.5, 1};
  ASSERT_EQ(VLMsetdblattrlist(m.get(), "Start", 2, idx, start), VLM_OKAY);
  ASSERT_EQ(VLMsetdblparam(VLMgetenv(m.get()), "MaxTime", 30), VLM_OKAY);
  const std::string mst = temp_path("start.mst"), prm = temp_path("model.prm");
  ASSERT_EQ(VLMwrite(m.get(), mst.c_str()), VLM_OKAY);
  ASSERT_EQ(VLMwrite(m.get(), prm.c_str()), VLM_OKAY);
  EXPECT_EQ(read_text(mst), "# MIP start\nx 1.5\nb 1\n");

  ModelPtr other = lp_model(env.get());
  const int two[] = {2};
  const double old[] = {-4};
  ASSERT_EQ(VLMsetdblattrlist(other.get(), "Start", 1, two, old), VLM_OKAY);
  ASSERT_EQ(VLMread(other.get(), mst.c_str()), VLM_OKAY);
  ASSERT_EQ(VLMread(other.get(), prm.c_str()), VLM_OKAY);
  expect_same_attribute(m.get(), other.get(), "Start");  // the file replaces the whole start
  double maxtime = 0;
  ASSERT_EQ(VLMgetdblparam(VLMgetenv(other.get()), "MaxTime", &maxtime), VLM_OKAY);
  EXPECT_EQ(maxtime, 30);

  // A bad start file changes nothing; model files are refused by VLMread.
  write_text(mst, "x 2\nnobody 1\n");
  EXPECT_EQ(VLMread(other.get(), mst.c_str()), VLM_ERROR_FORMAT_ERROR);
  EXPECT_EQ(dbl_item(other.get(), "Start", 0), 1.5);
  const std::string lp = temp_path("model.lp");
  ASSERT_EQ(VLMwrite(m.get(), lp.c_str()), VLM_OKAY);
  EXPECT_EQ(VLMread(other.get(), lp.c_str()), VLM_ERROR_FORMAT_ERROR);
  EXPECT_EQ(VLMread(other.get(), temp_path("model.sol").c_str()), VLM_ERROR_FORMAT_ERROR);
  EXPECT_EQ(VLMread(other.get(), temp_path("missing.mst").c_str()), VLM_ERROR_FILE_READ_ERROR);
  EXPECT_EQ(VLMwrite(m.get(), "/nonexistent-dir/m.mps"), VLM_ERROR_FILE_WRITE_ERROR);
  EXPECT_EQ(VLMwrite(m.get(), temp_path("model.xyz").c_str()), VLM_ERROR_FORMAT_ERROR);
  for (const std::string& p : {mst, prm, lp}) std::remove(p.c_str());
}

namespace {

// max 4x + 2y - z - 0.5w over x in [0, 3], y, z in [0, 5], w >= 0 subject to
// r0: x + y <= 4, r1: x + 3y <= 7, r2: x - y >= -10, r3: y + w >= 3. Its one
// optimum, x = 3, y = 1, z = 0, w = 2, has x at its upper bound, y basic
// with r0 at its upper side, w basic with r3 at its lower side, z at its
// lower bound, r1 and r2 basic.
ModelPtr basis_lp(VLMenv* env) {
  ModelPtr m = make_model(env, "bas");
  const double lb[] = {0, 0, 0, 0}, ub[] = {3, kInf, 5, kInf}, obj[] = {4, 2, -1, -0.5};
  const char* names[] = {"x", "y", "z", "w"};
  EXPECT_EQ(VLMaddvars(m.get(), 4, 0, nullptr, nullptr, nullptr, obj, lb, ub, nullptr, names), VLM_OKAY);
  const int beg[] = {0, 2, 4, 6};
  const int ind[] = {0, 1, 0, 1, 0, 1, 1, 3};
  const double val[] = {1, 1, 1, 3, 1, -1, 1, 1};
  const double rlb[] = {-kInf, -kInf, -10, 3}, rub[] = {4, 7, kInf, kInf};
  const char* rnames[] = {"r0", "r1", "r2", "r3"};
  EXPECT_EQ(VLMaddrangeconstrs(m.get(), 4, 8, beg, ind, val, rlb, rub, rnames), VLM_OKAY);
  EXPECT_EQ(VLMsetintattr(m.get(), "ModelSense", VLM_MAXIMIZE), VLM_OKAY);
  return m;
}

}  // namespace

TEST(BasisFiles, WrittenAfterASimplexSolveAndReadAsTheNextStart) {
  EnvPtr env = make_env();
  ModelPtr m = basis_lp(env.get());
  const std::string path = temp_path("start.bas");
  std::remove(path.c_str());
  EXPECT_EQ(VLMwrite(m.get(), path.c_str()), VLM_ERROR_NO_SOLN);  // no basis before a solve, and no file
  EXPECT_NE(std::string(VLMexplainerror(VLM_ERROR_NO_SOLN)).find("no basis to write"), std::string::npos);
  EXPECT_TRUE(read_text(path).empty());
  ASSERT_EQ(VLMoptimize(m.get()), VLM_OKAY);
  ASSERT_EQ(int_attr(m.get(), "Status"), VLM_STATUS_OPTIMAL);
  ASSERT_EQ(dbl_attr(m.get(), "ObjVal"), 13);
  ASSERT_EQ(VLMwrite(m.get(), path.c_str()), VLM_OKAY);
  EXPECT_EQ(read_text(path), "NAME          bas\n UL x _dummy_\n XU y r0\n XL w r3\nENDATA\n");

  // Read into a copy, the basis is the next solve's start: no pivot needed.
  ModelPtr again(VLMcopymodel(m.get()));
  ASSERT_EQ(VLMread(again.get(), path.c_str()), VLM_OKAY);
  EXPECT_EQ(again->data.start_basis.cols, (std::vector<int>{VLM_BASIS_UPPER, VLM_BASIS_BASIC, VLM_BASIS_LOWER,
                                                            VLM_BASIS_BASIC}));
  EXPECT_EQ(again->data.start_basis.rows, (std::vector<int>{VLM_BASIS_UPPER, VLM_BASIS_BASIC, VLM_BASIS_BASIC,
                                                            VLM_BASIS_LOWER}));
  for (int method : {1, 0}) {
    ASSERT_EQ(VLMread(again.get(), path.c_str()), VLM_OKAY);  // a basis starts one solve
    ASSERT_EQ(VLMsetintparam(VLMgetenv(again.get()), "Method", method), VLM_OKAY);
    ASSERT_EQ(VLMoptimize(again.get()), VLM_OKAY);
    EXPECT_EQ(dbl_attr(again.get(), "ObjVal"), 13) << method;
    EXPECT_EQ(int_attr(again.get(), "SPX/NumIters"), 0) << method;
  }

  // The VALUES variant, lower case, comments, and LL records read too; the
  // rest of the start stays: columns at their lower bound, rows basic.
  write_text(path, "* a basis\nNAME bas VALUES\n ul x _dummy_ 3\n LL z _dummy_ 0\n XU y r0 1\nENDATA\n");
  ASSERT_EQ(VLMread(again.get(), path.c_str()), VLM_OKAY);
  EXPECT_EQ(again->data.start_basis.cols, (std::vector<int>{VLM_BASIS_UPPER, VLM_BASIS_BASIC, VLM_BASIS_LOWER,
                                                            VLM_BASIS_LOWER}));
  EXPECT_EQ(again->data.start_basis.rows, (std::vector<int>{VLM_BASIS_UPPER, VLM_BASIS_BASIC, VLM_BASIS_BASIC,
                                                            VLM_BASIS_BASIC}));
  ASSERT_EQ(VLMoptimize(again.get()), VLM_OKAY);
  EXPECT_EQ(dbl_attr(again.get(), "ObjVal"), 13);
  EXPECT_TRUE(again->data.start_basis.empty());  // it started one solve

  // A basis that no longer fits the model is left aside.
  ASSERT_EQ(VLMread(again.get(), path.c_str()), VLM_OKAY);
  const double one = 1;
  ASSERT_EQ(VLMaddvars(again.get(), 1, 0, nullptr, nullptr, nullptr, &one, nullptr, &one, nullptr, nullptr),
            VLM_OKAY);
  ASSERT_EQ(VLMoptimize(again.get()), VLM_OKAY);
  EXPECT_EQ(dbl_attr(again.get(), "ObjVal"), 14);
  std::remove(path.c_str());
}

TEST(BasisFiles, MalformedOrMismatchedFilesChangeNothing) {
  EnvPtr env = make_env();
  ModelPtr m = basis_lp(env.get());
  const std::string path = temp_path("bad.bas");
  write_text(path, "NAME\n XL w r3\nENDATA\n");
  ASSERT_EQ(VLMread(m.get(), path.c_str()), VLM_OKAY);
  const velmor::StartBasis before = m->data.start_basis;
  for (const char* body : {"NAME\n XU y nobody\nENDATA\n",          // a row the model does not have
                           "NAME\n UL nobody\nENDATA\n",            // a column it does not have
                           "NAME\n UL x\n LL x\nENDATA\n",          // a column named twice
                           "NAME\n XU y r0\n XL w r0\nENDATA\n",    // a row named twice
                           "NAME\n XX x\nENDATA\n",                 // not a record type
                           "NAME\n XU y\nENDATA\n",                 // XU without its row
                           "NAME\n XU y r0 1 2\nENDATA\n",          // fields beyond the value
                           "NAME\n UL x _dummy_ high\nENDATA\n",    // a value that is no number
                           "NAME\n UL x\n",                         // no ENDATA
                           " UL x\nENDATA\n",                       // no NAME
                           "NAME\nBOUNDS\n UL x\nENDATA\n"}) {      // a section of model files
    write_text(path, body);
    EXPECT_EQ(VLMread(m.get(), path.c_str()), VLM_ERROR_FORMAT_ERROR) << body;
    EXPECT_EQ(m->data.start_basis.cols, before.cols) << body;
    EXPECT_EQ(m->data.start_basis.rows, before.rows) << body;
  }
  EXPECT_EQ(VLMread(m.get(), temp_path("missing.bas").c_str()), VLM_ERROR_FILE_READ_ERROR);
  // A discarded start (reset 1) leaves the next solve to start from scratch.
  ASSERT_EQ(VLMreset(m.get(), 1), VLM_OKAY);
  EXPECT_TRUE(m->data.start_basis.empty());
  std::remove(path.c_str());
}

namespace {

// SDPA's sample problem (SDPLIB's README), with a diagonal block first
// (x1 >= 1.5) and a later entry at a position given before.
const char kSdpaSample[] =
    "\"A sample problem.\n"
    "* with a diagonal block\n"
    "2 =mdim\n"
    "3 =nblocks\n"
    "{-1, 2, 2}\n"
    "10.0 20.0\n"
    "0 1 1 1 1.5\n"
    "0 2 1 1 1.0\n"
    "0 2 2 2 2.0\n"
    "0 3 1 1 3.0\n"
    "0 3 2 2 4.0\n"
    "1 1 1 1 1.0\n"
    "1 2 1 1 1.0\n"
    "1 2 2 2 1.0\n"
    "2 2 2 2 1.0\n"
    "2 3 1 1 5.0\n"
    "2 3 1 2 2.0\n"
    "2 3 2 2 9.0\n"
    "2 3 2 2 6.0\n";

}  // namespace

TEST(SdpaFiles, BlocksBecomeSemidefiniteVariablesAndColumns) {
  EnvPtr env = make_env();
  const std::string path = temp_path("sample.dat-s");
  write_text(path, kSdpaSample);
  ModelPtr m = read_model(env.get(), path);
  ASSERT_NE(m, nullptr);
  const velmor::ModelData& d = m->data;
  EXPECT_EQ(d.sense, VLM_MAXIMIZE);
  ASSERT_EQ(d.cols.size(), 1);
  EXPECT_EQ(d.cols.lb[0], 0);
  EXPECT_EQ(d.cols.ub[0], VLM_INFINITY);
  EXPECT_EQ(d.cols.obj[0], 1.5);
  ASSERT_EQ(d.psd_vars.size(), 2u);
  EXPECT_EQ(d.psd_vars[0].dim, 2);
  const auto entries = [](const velmor::SymMatrix& s) {
    std::vector<std::vector<double>> out;
    for (const velmor::SymEntry& e : s.lower) out.push_back({double(e.row), double(e.col), e.value});
    return out;
  };
  EXPECT_EQ(entries(d.psd_vars[1].obj), (std::vector<std::vector<double>>{{0, 0, 3}, {1, 1, 4}}));
  ASSERT_EQ(d.rows.size(), 2);
  EXPECT_EQ(d.rows.lb, (std::vector<double>{10, 20}));
  EXPECT_EQ(d.rows.ub, (std::vector<double>{10, 20}));
  ASSERT_EQ(d.rows.lin[0].size(), 1u);
  EXPECT_EQ(d.rows.lin[0][0].index, 0);
  EXPECT_TRUE(d.rows.lin[1].empty());
  ASSERT_EQ(d.rows.psd[1].size(), 2u);
  EXPECT_EQ(d.rows.psd[1][0].var, 0);
  EXPECT_EQ(entries(d.rows.psd[1][0].coef), (std::vector<std::vector<double>>{{1, 1, 1}}));
  EXPECT_EQ(d.rows.psd[1][1].var, 1);  // (1, 2) stands for (2, 1); the later (2, 2) counts
  EXPECT_EQ(entries(d.rows.psd[1][1].coef), (std::vector<std::vector<double>>{{0, 0, 5}, {1, 0, 2}, {1, 1, 6}}));
  std::remove(path.c_str());
}

TEST(SdpaFiles, MalformedFilesAndCountsBeyondTheFileAreRefused) {
  EnvPtr env = make_env();
  const std::string path = temp_path("bad.dat-s");
  const std::string head = "2\n1\n2\n1 1\n";
  expect_refused(env.get(), path,
       {std::string("2000000000\n1\n2\n1 1\n"),                 // more rows than the file can hold
        std::string("1\n2000000000\n2\n1\n"),                   // more blocks than that
        std::string("1\n1\n-2000000000\n1\n"),                  // a diagonal block of more columns than that
        std::string("1\n1\n0\n1\n"),                            // an empty block
        std::string("1\n1\n50000\n1\n"),                        // a block beyond the largest order
        std::string("2\n1\n2\n1\n"),                            // c short of m values
        std::string("x\n1\n2\n1\n"),                            // no count
        head + "3 1 1 1 1\n",                                   // a matrix beyond m
        head + "1 2 1 1 1\n",                                   // a block beyond the count
        head + "1 1 3 1 1\n",                                   // outside the block
        head + "1 1 0 1 1\n",                                   // indices count from 1
        head + "1 1 1 1\n",                                     // four fields
        head + "1 1 1 1 nan\n",                                 // not a number
        std::string("1\n1\n-2\n1\n1 1 1 2 1\n")});             // off the diagonal of a diagonal block
  // Counts the rest of the file can hold, and text after them, still read.
  write_text(path, "1 = mDIM\n1 = nBLOCK\n(2) = bLOCKsTRUCT\n{4.5}\n1 1 1 2 1\n");
  ModelPtr m = read_model(env.get(), path);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(int_attr(m.get(), "NumConstrs"), 1);
  EXPECT_EQ(dbl_item(m.get(), "RHS", 0), 4.5);
  std::remove(path.c_str());
}
