// LP files: round trips of everything the writer writes compared over every
// attribute, the text as written, hand-written files in the common dialect,
// default names, and refusals.
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "velmor.h"
#include "vlm_test_util.hpp"

using namespace vlmtest;

namespace {

const double kInf = std::numeric_limits<double>::infinity();

// Everything an LP file expresses: maximisation and a constant, quadratic
// terms, every variable type, bounds of every kind (an empty box, a binary
// fixed at 1, infinite ones given as 1e20), rows of every sense,
// ranged rows (one whose width is not exact in binary, one with lb > ub),
// free and empty rows, an explicit zero coefficient, SOS of both types (one
// empty), indicator constraints of each sense (one without terms, one named
// like a row).
ModelPtr full_model(VLMenv* env) {
  ModelPtr m = make_model(env, "full model");
  const double lb[] = {0, -kInf, -5, 2, 0, 0, 1, 0.1, 0, 1, -kInf, 1e-7};
  const double ub[] = {kInf, kInf, -1, 2, 1, 10, 7, 1e20, -3, 1, 4, kInf};
  const double obj[] = {1, -2.5, 0, 0.1, 3, 0, 1.0 / 3, 0, 4, -1e-9, 0, 2};
  const char type[] = {'C', 'C', 'I', 'C', 'B', 'S', 'N', 'I', 'C', 'B', 'C', 'C'};
  const char* names[] = {"x", "y", "neg", "fixed", "b", "sc", "semiint", "int_var", "upneg", "b2", "lbinf", "y.(1)"};
  EXPECT_EQ(VLMaddvars(m.get(), 12, 0, nullptr, nullptr, nullptr, obj, lb, ub, type, names), VLM_OKAY);
  const int beg[] = {0, 3, 6, 8, 10, 10, 10, 11};
  const int ind[] = {0, 1, 2, 2, 4, 5, 6, 7, 8, 0, 0, 11, 9};
  const double val[] = {1, 2, 3, -1, 0, 0.5, 0.25, 1e-7, 123456.789, -1, 1, 1, -2};
  const double rlb[] = {-kInf, 0.1, 3, -kInf, -kInf, 1, 5, -2};
  const double rub[] = {4, 0.7, 3, kInf, 4, 2, 3, kInf};
  const char* rnames[] = {"le", "range", "eq", "free_row", "empty", "empty_range", "backwards", "ge"};
  EXPECT_EQ(VLMaddrangeconstrs(m.get(), 8, 13, beg, ind, val, rlb, rub, rnames), VLM_OKAY);
  EXPECT_EQ(VLMsetintattr(m.get(), "ModelSense", VLM_MAXIMIZE), VLM_OKAY);
  EXPECT_EQ(VLMsetdblattr(m.get(), "ObjCon", -7.25), VLM_OKAY);
  const int qr[] = {0, 0, 1, 3, 4}, qc[] = {0, 1, 3, 3, 9};
  const double qv[] = {0.5, -1.5, 2, 0.1, 1.0 / 3};
  EXPECT_EQ(VLMaddqpterms(m.get(), 5, qr, qc, qv), VLM_OKAY);
  const int types[] = {1, 2, 1}, sbeg[] = {0, 2, 5}, smem[] = {0, 1, 2, 3, 5};
  const double sw[] = {1, 2, 0.5, 1.5, -2.5};
  EXPECT_EQ(VLMaddsos(m.get(), 3, 5, types, sbeg, smem, sw), VLM_OKAY);
  const int gind[] = {0, 1};
  const double gval[] = {1, 2};
  EXPECT_EQ(VLMaddgenconstrIndicator(m.get(), "ind", 4, 1, 2, gind, gval, '<', 3), VLM_OKAY);
  EXPECT_EQ(VLMaddgenconstrIndicator(m.get(), "ind0", 9, 0, 0, nullptr, nullptr, '>', -1), VLM_OKAY);
  EXPECT_EQ(VLMaddgenconstrIndicator(m.get(), "le", 4, 0, 1, &gind[1], &gval[1], '=', 0.1), VLM_OKAY);
  return m;
}

ModelPtr read_text_model(VLMenv* env, const std::string& text, const std::string& name) {
  const std::string path = temp_path(name);
  write_text(path, text);
  ModelPtr m = read_model(env, path);
  std::remove(path.c_str());
  return m;
}

std::vector<double> row_values(VLMmodel* m, int row) { return lines(m, true, row, 1).val; }
std::vector<int> row_columns(VLMmodel* m, int row) { return lines(m, true, row, 1).ind; }

}  // namespace

TEST(LpFiles, RoundTripKeepsEveryAttribute) {
  EnvPtr env = make_env();
  ModelPtr m = full_model(env.get());
  expect_round_trip(env.get(), m.get(), temp_path("round.lp"));
  expect_round_trip(env.get(), m.get(), temp_path("round.lp.gz"));
  expect_round_trip(env.get(), m.get(), temp_path("round.lp.bz2"));
  ASSERT_EQ(VLMsetintattr(m.get(), "ModelSense", VLM_MINIMIZE), VLM_OKAY);
  ASSERT_EQ(VLMsetdblattr(m.get(), "ObjCon", 0), VLM_OKAY);
  ASSERT_EQ(VLMdelq(m.get()), VLM_OKAY);
  expect_round_trip(env.get(), m.get(), temp_path("round_min.lp"));

  // No variables at all: rows and the objective are constants.
  ModelPtr bare = make_model(env.get(), "");
  expect_round_trip(env.get(), bare.get(), temp_path("bare.lp"));
  ASSERT_EQ(VLMaddrangeconstr(bare.get(), 0, nullptr, nullptr, -1, 2, "r"), VLM_OKAY);
  ASSERT_EQ(VLMaddrangeconstr(bare.get(), 0, nullptr, nullptr, -kInf, kInf, "f"), VLM_OKAY);
  ASSERT_EQ(VLMsetdblattr(bare.get(), "ObjCon", 1.5), VLM_OKAY);
  expect_round_trip(env.get(), bare.get(), temp_path("bare_rows.lp"));
}

TEST(LpFiles, SectionsAsWritten) {
  EnvPtr env = make_env();
  ModelPtr m = full_model(env.get());
  const std::string path = temp_path("sections.lp");
  ASSERT_EQ(VLMwrite(m.get(), path.c_str()), VLM_OKAY);
  const std::string text = read_text(path);
  for (const char* part :
       {"\\ Problem name: full model\nMaximize\n obj: + 1 x - 2.5 y + 0 neg", "- 7.25 ObjConst + [ + 1 x ^ 2 - 3 x * y",
        "] / 2\n\\ Constant column: ObjConst\nSubject To\n", " range: - 1 neg + 0 b + 0.5 sc - 1 Rg1 = 0\n\\ Range column: Rg1\n",
        " empty: - 1 Rg4 = 0\n", " empty_range: - 1 Rg5 = 0\n", " backwards: + 1 x - 1 Rg6 = 0\n",
        " free_row: - 1 x + 123456.789 upneg - 1 Rg3 = 0\n", " ind: b = 1 -> + 1 x + 2 y <= 3\n",
        " ind0: b2 = 0 -> 0 >= -1\n", " le: b = 0 -> + 2 y = 0.1\n", "Bounds\n y free\n -5 <= neg <= -1\n fixed = 2\n",
        " b2 = 1\n", " -inf <= lbinf <= 4\n", " 0 <= upneg <= -3\n", " int_var >= 0.1\n", " 0.1 <= Rg1 <= 0.7\n",
        " Rg3 free\n -inf <= Rg4 <= 4\n 1 <= Rg5 <= 2\n 5 <= Rg6 <= 3\n ObjConst = 1\n", "Generals\n neg\n semiint\n int_var\n",
        "Binaries\n b\n b2\n", "Semi-continuous\n sc\n semiint\n", "SOS\n s0: S1:: x:1 y:2\n s1: S2:: neg:0.5",
        " s2: S1::\nEnd\n"})
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  std::remove(path.c_str());

  ModelPtr sdp = make_model(env.get());
  ASSERT_EQ(VLMaddpsdvar(sdp.get(), 2, 0, nullptr, nullptr, nullptr), VLM_OKAY);
  EXPECT_EQ(VLMwrite(sdp.get(), path.c_str()), VLM_ERROR_FORMAT_ERROR);
}

TEST(LpFiles, ReadsTheCommonDialect) {
  EnvPtr env = make_env();
  ModelPtr m = read_text_model(env.get(),
                               "\\ A hand-written model\r\n"
                               "MAXIMIZE\r\n"
                               " profit: 3 x + 2y - z\r\n"
                               "   + 3e-2 w + 4 - 1.5   \\ constants anywhere\r\n"
                               "   + [ x ^ 2 + 4 x * y - y*y ] / 2\r\n"
                               "such that\r\n"
                               " c1: x + y + 2 <= 6\r\n"
                               " 3 <= y\r\n"
                               " c3: -2 <= x - y <= 8\r\n"
                               " c4: x + x - w => 1\r\n"
                               " c5: 2 x + 3\r\n"
                               "     y =< +Infinity\r\n"
                               " c6: 4 >= z\r\n"
                               " c7: x - z > -inf\r\n"
                               " on: bb = 1 -> x + y - 1 < 2\r\n"
                               "bounds\r\n"
                               " x FREE\r\n"
                               " -INF <= y <= 5\r\n"
                               " z = 2\r\n"
                               " 10 >= w\r\n"
                               " w >= -1\r\n"
                               " v <= 4\r\n"
                               "general\r\n"
                               " w\r\n"
                               "semi-continuous v\r\n"
                               "binary\r\n"
                               " bb\r\n"
                               "SOS\r\n"
                               " S1:: x:1 y:2\r\n"
                               " set2: S2:: z:1 w:2\r\n"
                               "   v:3\r\n"
                               "end\r\n"
                               "what follows the end is not read +++\r\n",
                               "dialect.lp");
  ASSERT_NE(m, nullptr);
  VLMmodel* p = m.get();
  EXPECT_EQ(int_attr(p, "ModelSense"), VLM_MAXIMIZE);
  EXPECT_EQ(dbl_attr(p, "ObjCon"), 2.5);
  // Columns in order of first appearance: x y z w in the objective, bb in a
  // row, v in the bounds.
  ASSERT_EQ(int_attr(p, "NumVars"), 6);
  const char* cols[] = {"x", "y", "z", "w", "bb", "v"};
  const double obj[] = {3, 2, -1, 0.03, 0, 0};
  const double lb[] = {-1e20, -1e20, 2, -1, 0, 0};
  const double ub[] = {1e20, 5, 2, 10, 1, 4};
  const char type[] = {'C', 'C', 'C', 'I', 'B', 'S'};
  for (int j = 0; j < 6; ++j) {
    SCOPED_TRACE(j);
    EXPECT_EQ(str_item(p, "VarName", j), cols[j]);
    EXPECT_EQ(dbl_item(p, "Obj", j), obj[j]);
    EXPECT_EQ(dbl_item(p, "LB", j), lb[j]);
    EXPECT_EQ(dbl_item(p, "UB", j), ub[j]);
    EXPECT_EQ(char_item(p, "VType", j), type[j]);
  }
  const Quad q = quad(p);
  EXPECT_EQ(q.row, (std::vector<int>{0, 0, 1}));
  EXPECT_EQ(q.col, (std::vector<int>{0, 1, 1}));
  EXPECT_EQ(q.val, (std::vector<double>{0.5, 2, -0.5}));

  ASSERT_EQ(int_attr(p, "NumConstrs"), 7);
  const char* rows[] = {"c1", "R1", "c3", "c4", "c5", "c6", "c7"};
  const double rlb[] = {-1e20, 3, -2, 1, -1e20, -1e20, -1e20};
  const double rub[] = {4, 1e20, 8, 1e20, 1e20, 4, 1e20};
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(str_item(p, "ConstrName", i), rows[i]);
    EXPECT_EQ(dbl_item(p, "LHS", i), rlb[i]);
    EXPECT_EQ(dbl_item(p, "RHS", i), rub[i]);
  }
  EXPECT_EQ(row_columns(p, 1), (std::vector<int>{1}));
  EXPECT_EQ(row_values(p, 2), (std::vector<double>{1, -1}));
  // x listed twice: the coefficients add up.
  EXPECT_EQ(row_columns(p, 3), (std::vector<int>{0, 3}));
  EXPECT_EQ(row_values(p, 3), (std::vector<double>{2, -1}));
  EXPECT_EQ(row_values(p, 4), (std::vector<double>{2, 3}));
  EXPECT_EQ(row_values(p, 6), (std::vector<double>{1, -1}));

  ASSERT_EQ(int_attr(p, "NumGenConstrs"), 1);
  EXPECT_EQ(str_item(p, "GenConstrName", 0), "on");
  int binvar = -1, binval = -1, nnz = -1;
  char sense = '?';
  double rhs = 0;
  ASSERT_EQ(VLMgetgenconstrIndicator(p, 0, &binvar, &binval, &nnz, nullptr, nullptr, &sense, &rhs), VLM_OKAY);
  EXPECT_EQ(binvar, 4);
  EXPECT_EQ(binval, 1);
  ASSERT_EQ(nnz, 2);
  EXPECT_EQ(sense, '<');
  EXPECT_EQ(rhs, 3);  // the constant -1 moved to the right-hand side

  ASSERT_EQ(int_attr(p, "NumSOS"), 2);
  int count = 3, type1 = 0, sbeg = -1;
  int members[3];
  double weights[3];
  ASSERT_EQ(VLMgetsos(p, &count, &type1, &sbeg, members, weights, 1, 1), VLM_OKAY);
  EXPECT_EQ(type1, 2);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(std::vector<int>(members, members + 3), (std::vector<int>{2, 3, 5}));
  EXPECT_EQ(std::vector<double>(weights, weights + 3), (std::vector<double>{1, 2, 3}));

  // Written out, the model reads back the same.
  expect_round_trip(env.get(), p, temp_path("dialect_again.lp"));
}

TEST(LpFiles, OtherSpellingsOfSectionsAndTerms) {
  EnvPtr env = make_env();
  ModelPtr m = read_text_model(env.get(),
                               "\\ Problem name: spelled out\n"
                               "min cost: - x1 + .5 x2 \\ the objective on its header line\n"
                               "Subject To c1: x1 +\n"
                               "  x2 >= 1\n"
                               "\n"
                               " \\ a whole-line comment\n"
                               " c2: - 2.5e+1 x1 - x2 = -3E-1\n"
                               "Binaries\n b\n"
                               "st\n c3: x1 >= 0\n"
                               "Integers\n x2\n"
                               "End\n",
                               "spellings.lp");
  ASSERT_NE(m, nullptr);
  char* name = nullptr;
  ASSERT_EQ(VLMgetstrattr(m.get(), "ModelName", &name), VLM_OKAY);
  EXPECT_STREQ(name, "spelled out");
  EXPECT_EQ(int_attr(m.get(), "ModelSense"), VLM_MINIMIZE);
  EXPECT_EQ(dbl_item(m.get(), "Obj", 0), -1);
  EXPECT_EQ(dbl_item(m.get(), "Obj", 1), 0.5);
  ASSERT_EQ(int_attr(m.get(), "NumConstrs"), 3);
  EXPECT_EQ(row_values(m.get(), 1), (std::vector<double>{-25, -1}));
  EXPECT_EQ(dbl_item(m.get(), "RHS", 1), -0.3);
  EXPECT_EQ(str_item(m.get(), "ConstrName", 2), "c3");
  // A binary listed nowhere else becomes a column of its own, bounded [0, 1].
  ASSERT_EQ(int_attr(m.get(), "NumVars"), 3);
  EXPECT_EQ(str_item(m.get(), "VarName", 2), "b");
  EXPECT_EQ(char_item(m.get(), "VType", 2), 'B');
  EXPECT_EQ(dbl_item(m.get(), "UB", 2), 1);
  EXPECT_EQ(char_item(m.get(), "VType", 1), 'I');

  // Bounds given for a binary stay; those not given are 0 and 1.
  ModelPtr bin = read_text_model(env.get(),
                                 "Maximize\n a + b + c\nBounds\n -1 <= a <= 1\n b <= 0.5\n"
                                 "Binary\n a b c\nSemis\n s\nGenerals\n s\nEnd\n",
                                 "binaries.lp");
  ASSERT_NE(bin, nullptr);
  EXPECT_EQ(dbl_item(bin.get(), "LB", 0), -1);
  EXPECT_EQ(dbl_item(bin.get(), "UB", 1), 0.5);
  EXPECT_EQ(dbl_item(bin.get(), "LB", 1), 0);
  EXPECT_EQ(dbl_item(bin.get(), "UB", 2), 1);
  EXPECT_EQ(char_item(bin.get(), "VType", 3), 'N');  // general and semi-continuous

  // A range column: a marked column alone in an equality "... - r = 0", with
  // coefficient -1, continuous and outside the objective, gives the row its
  // bounds and goes; a constant column, marked, fixed at 1 and in the
  // objective alone, gives the objective its constant. Marked columns that
  // are not such stay columns.
  ModelPtr ranged = read_text_model(env.get(),
                                    "Minimize\n obj: x + y + q + 2.5 k - 1\n\\ Constant column: k\nSubject To\n"
                                    " a: x + y - r = 0\n\\ Range column: r\n"
                                    " b: x - q = 0\n\\ Range column: q\n"
                                    " c: x - 2 s = 0\n\\ Range column: s\n"
                                    " d: y - t = 1\n\\ Range column: t\n"
                                    " e: x + kk >= 0\n\\ Constant column: kk\n"
                                    "Bounds\n -3 <= r <= 4\n q <= 2\n s free\n t free\n k = 1\n kk = 1\n"
                                    "\\ Range column: none\nEnd\n",
                                    "ranged.lp");
  ASSERT_NE(ranged, nullptr);
  ASSERT_EQ(int_attr(ranged.get(), "NumVars"), 6);
  EXPECT_EQ(dbl_attr(ranged.get(), "ObjCon"), 1.5);
  EXPECT_EQ(str_item(ranged.get(), "VarName", 5), "kk");
  EXPECT_EQ(str_item(ranged.get(), "VarName", 2), "q");
  EXPECT_EQ(str_item(ranged.get(), "VarName", 3), "s");
  EXPECT_EQ(str_item(ranged.get(), "VarName", 4), "t");
  EXPECT_EQ(dbl_item(ranged.get(), "LHS", 0), -3);
  EXPECT_EQ(dbl_item(ranged.get(), "RHS", 0), 4);
  EXPECT_EQ(row_columns(ranged.get(), 0), (std::vector<int>{0, 1}));
  EXPECT_EQ(row_columns(ranged.get(), 1), (std::vector<int>{0, 2}));
  EXPECT_EQ(dbl_item(ranged.get(), "RHS", 3), 1);
}

TEST(LpFiles, UnnamedRowsGetDefaultNames) {
  EnvPtr env = make_env();
  ModelPtr m = read_text_model(env.get(),
                               "Minimize\n x\nSubject To\n"
                               " x >= 1\n"
                               " c: x <= 5\n"
                               " R0: x <= 7\n"
                               " x <= 9\n"
                               " b = 1 -> x <= 2\n"
                               " G0_x: b = 0 -> x >= 1\n"
                               "Binaries\n b\nEnd\n",
                               "unnamed.lp");
  ASSERT_NE(m, nullptr);
  // R<index>, made unique against the names in the file.
  EXPECT_EQ(str_item(m.get(), "ConstrName", 0), "R0_");
  EXPECT_EQ(str_item(m.get(), "ConstrName", 1), "c");
  EXPECT_EQ(str_item(m.get(), "ConstrName", 2), "R0");
  EXPECT_EQ(str_item(m.get(), "ConstrName", 3), "R3");
  EXPECT_EQ(str_item(m.get(), "GenConstrName", 0), "G0");
  EXPECT_EQ(str_item(m.get(), "GenConstrName", 1), "G0_x");

  // Items without a name, or with one an LP reader refuses (a keyword, a
  // blank, a leading digit, more than 100 characters), are written and read
  // back as C<j> and R<i>.
  ModelPtr anon = make_model(env.get(), "");
  const std::string long_name(101, 'n');
  const char* names[] = {nullptr, "free", "a b", "1x", "St.", long_name.c_str(), "ok", long_name.c_str() + 1};
  ASSERT_EQ(VLMaddvars(anon.get(), 8, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, names),
            VLM_OKAY);
  const int ind[] = {0, 1, 2, 3, 4, 5, 6, 7};
  const double val[] = {1, 1, 1, 1, 1, 1, 1, 1};
  ASSERT_EQ(VLMaddrangeconstr(anon.get(), 8, ind, val, 1, kInf, nullptr), VLM_OKAY);
  ASSERT_EQ(VLMaddrangeconstr(anon.get(), 1, ind, val, 1, kInf, "Bounds"), VLM_OKAY);
  const std::string path = temp_path("anon.lp");
  ASSERT_EQ(VLMwrite(anon.get(), path.c_str()), VLM_OKAY);
  ModelPtr back = read_model(env.get(), path);
  ASSERT_NE(back, nullptr);
  for (int j = 0; j < 6; ++j) EXPECT_EQ(str_item(back.get(), "VarName", j), "C" + std::to_string(j));
  EXPECT_EQ(str_item(back.get(), "VarName", 6), "ok");
  EXPECT_EQ(str_item(back.get(), "VarName", 7), long_name.substr(1));
  EXPECT_EQ(str_item(back.get(), "ConstrName", 0), "R0");
  EXPECT_EQ(str_item(back.get(), "ConstrName", 1), "R1");
  EXPECT_EQ(lines(back.get(), true, 0, 1).ind, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  std::remove(path.c_str());
}

TEST(LpFiles, MalformedFilesAreRefused) {
  EnvPtr env = make_env();
  const std::string path = temp_path("bad.lp");
  const std::string head = "Minimize\n obj: x + y\nSubject To\n";
  for (const std::string& body : {
           std::string(""),
           std::string("garbage\n"),
           std::string("Minimize\n obj: x +\nSubject To\n c: x + <= \nEnd\n"),
           std::string("Minimize\n obj: x + y\n"),                      // no End
           std::string("Minimize\n obj: x +\n"),                        // cut off
           std::string(" x + y\nMinimize\n x\nEnd\n"),                  // text before the first section
           std::string("Subject To\n c: x <= 1\nEnd\n"),                // no objective
           std::string("Minimize\n x\nMaximize\n y\nEnd\n"),            // two objectives
           std::string("Minimize\n x y\nEnd\n"),                        // a term without its sign
           std::string("Minimize\n x + + y\nEnd\n"),                    // two signs
           std::string("Minimize\n 1e400 x\nEnd\n"),                    // infinite coefficient
           std::string("Minimize\n inf x\nEnd\n"),
           std::string("Minimize\n [ x ^ 2 ]\nEnd\n"),                  // no "/ 2"
           std::string("Minimize\n [ x ^ 3 ] / 2\nEnd\n"),
           std::string("Minimize\n [ x y ] / 2\nEnd\n"),
           std::string("Minimize\n [ x ^ 2 / 2\nEnd\n"),                // unclosed bracket
           std::string("Minimize\n x + e1 .\nEnd\n"),                   // a lone period
           std::string("Minimize\n x | y\nEnd\n"),                      // a character names do not have
           std::string("Minimize\n x + \xc3\xa9t\xc3\xa9\nEnd\n"),
           std::string("Minimize\n x\nSubject\n c: x <= 1\nEnd\n"),      // "subject" without "to"
           head + " c: x <= nan\nEnd\n",                                // not a number
           head + " c: x + y\nEnd\n",                                   // no sense
           head + " c: <= 3\nEnd\n",                                    // nothing before the sense
           head + " c: x <= y\nEnd\n",                                  // a right-hand side with a variable
           head + " c: x <= 3 <= 4\nEnd\n",
           head + " c: 1 <= x >= 3\nEnd\n",                             // senses of a range disagree
           head + " c: 1 = x = 3\nEnd\n",
           head + " c: x == 3\nEnd\n",
           head + " c: x + inf - inf <= 1\nEnd\n",                      // infinity minus infinity
           head + " c: [ x ^ 2 ] / 2 <= 1\nEnd\n",                      // quadratic rows
           head + " c: x <= 1\n c: y <= 2\nEnd\n",                      // a row name twice
           head + " free: x <= 1\nEnd\n",                               // a keyword as a name
           head + " c: x + bounds <= 1\nEnd\n",
           head + " g: x = 1 -> y <= 2\nEnd\n",                         // indicator on a non-binary
           head + " g: b = 2 -> y <= 2\nBinaries\n b\nEnd\n",
           head + " g: b = 1 -> \nBinaries\n b\nEnd\n",
           head + " c: x <= 1\nBounds\n x <=\nEnd\n",                   // bound without a value
           head + " c: x <= 1\nBounds\n 1 <= x >= 3\nEnd\n",
           head + " c: x <= 1\nBounds\n x free 3\nEnd\n",
           head + " c: x <= 1\nBounds\n x >= nan\nEnd\n",
           head + " c: x <= 1\nBinaries\n x\nGenerals\n x\nEnd\n",      // binary and general
           head + " c: x <= 1\nBinaries\n x\nSemis\n x\nEnd\n",
           head + " c: x <= 1\nGenerals\n 3\nEnd\n",
           head + " c: x <= 1\nSOS\n s: S1:: x:1 x:2\nEnd\n",           // a member twice
           head + " c: x <= 1\nSOS\n s: S3:: x:1 y:2\nEnd\n",
           head + " c: x <= 1\nSOS\n s: S1:: x:1 y\nEnd\n",            // a member without weight
           head + " c: x <= 1\nSOS\n s: S1:: x:inf\nEnd\n",
           head + " c: x <= 1\nSOS\n s: S1: x:1\nEnd\n",
       }) {
    write_text(path, body);
    VLMmodel* m = nullptr;
    EXPECT_EQ(VLMreadmodel(env.get(), path.c_str(), &m), VLM_ERROR_FORMAT_ERROR) << body;
    EXPECT_EQ(m, nullptr) << body;
  }
  std::remove(path.c_str());
}
