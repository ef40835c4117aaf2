// The model store: building, reading back, deleting with renumbering, copies
// and the refusals that leave a model unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <thread>
#include <string>
#include <vector>

#include "model/model.hpp"
#include "velmor.h"
#include "vlm_test_util.hpp"

using namespace vlmtest;

namespace {

const double kInf = std::numeric_limits<double>::infinity();

// x0, x1, x2; rows r0: x0 + 2 x1 <= 4, r1: 3 x1 - x2 in [1, 5]; a 2x2
// semidefinite variable P and a semidefinite row p2: x0 + <C, P> >= 1.
ModelPtr small_model(VLMenv* env) {
  ModelPtr m = make_model(env, "small");
  const double lb[] = {0, -1, -kInf}, ub[] = {10, 1e30, kInf}, obj[] = {1, 2, 3};
  const char vtype[] = {'C', 'I', 'B'};
  const char* names[] = {"x0", "x1", "x2"};
  EXPECT_EQ(VLMaddvars(m.get(), 3, 0, nullptr, nullptr, nullptr, obj, lb, ub, vtype, names), VLM_OKAY);
  const int beg[] = {0, 2};
  // The second row lists its columns out of order with x1 twice: 1 + 2 = 3.
  const int ind[] = {0, 1, 2, 1, 1};
  const double val[] = {1, 2, -1, 1, 2};
  const double rlb[] = {-1e20, 1}, rub[] = {4, 5};
  const char* rnames[] = {"r0", "r1"};
  EXPECT_EQ(VLMaddrangeconstrs(m.get(), 2, 5, beg, ind, val, rlb, rub, rnames), VLM_OKAY);
  const int objpos[] = {0, 3};
  const double objval[] = {1, 1};
  EXPECT_EQ(VLMaddpsdvar(m.get(), 2, 2, objpos, objval, "P"), VLM_OKAY);
  const int lin[] = {0};
  const double linval[] = {1};
  const int pv[] = {0}, pbeg[] = {0}, ppos[] = {0, 1, 2};
  const double pval[] = {2, 0.5, 0.5};
  EXPECT_EQ(VLMaddrangepsdconstr(m.get(), 1, 1, 3, lin, linval, pv, pbeg, ppos, pval, 1, 1e20, "p2"), VLM_OKAY);
  return m;
}

VLMmodel* raw(const ModelPtr& m) { return m.get(); }

}  // namespace

TEST(ModelStore, CountsAndRowsReadBackAsCsr) {
  EnvPtr env = make_env();
  ModelPtr m = small_model(env.get());
  EXPECT_EQ(int_attr(raw(m), "NumVars"), 3);
  EXPECT_EQ(int_attr(raw(m), "NumConstrs"), 3);
  EXPECT_EQ(int_attr(raw(m), "NumConss"), 3);
  EXPECT_EQ(int_attr(raw(m), "NumPsdConstrs"), 1);
  EXPECT_EQ(int_attr(raw(m), "NumPsdVars"), 1);
  EXPECT_EQ(int_attr(raw(m), "NumEnts"), 5);

  const Csr rows = lines(raw(m), true, 0, 3);
  EXPECT_EQ(rows.beg, (std::vector<int>{0, 2, 4, 5}));
  EXPECT_EQ(rows.ind, (std::vector<int>{0, 1, 1, 2, 0}));
  EXPECT_EQ(rows.val, (std::vector<double>{1, 2, 3, -1, 1}));
  // Starts are relative to the first row asked for.
  const Csr tail = lines(raw(m), true, 1, 2);
  EXPECT_EQ(tail.beg, (std::vector<int>{0, 2, 3}));

  const Csr cols = lines(raw(m), false, 0, 3);
  EXPECT_EQ(cols.beg, (std::vector<int>{0, 2, 4, 5}));
  EXPECT_EQ(cols.ind, (std::vector<int>{0, 2, 0, 1, 1}));
  EXPECT_EQ(cols.val, (std::vector<double>{1, 1, 2, 3, -1}));

  double v = -1;
  EXPECT_EQ(VLMgetcoeff(raw(m), 1, 1, &v), VLM_OKAY);
  EXPECT_EQ(v, 3);
  EXPECT_EQ(VLMgetcoeff(raw(m), 0, 2, &v), VLM_OKAY);
  EXPECT_EQ(v, 0);
}

TEST(ModelStore, BoundsDefaultsAndInfinity) {
  EnvPtr env = make_env();
  ModelPtr m = small_model(env.get());
  EXPECT_EQ(dbl_item(raw(m), "UB", 1), 1e20);
  EXPECT_EQ(dbl_item(raw(m), "LB", 2), -1e20);
  EXPECT_EQ(dbl_item(raw(m), "UB", 2), 1e20);
  EXPECT_EQ(dbl_item(raw(m), "LHS", 0), -1e20);
  EXPECT_EQ(dbl_item(raw(m), "PsdCRHS", 2), 1e20);

  // Null arrays give every new variable the defaults.
  ASSERT_EQ(VLMaddvars(raw(m), 2, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            VLM_OKAY);
  EXPECT_EQ(dbl_item(raw(m), "LB", 4), 0);
  EXPECT_EQ(dbl_item(raw(m), "UB", 4), 1e20);
  EXPECT_EQ(dbl_item(raw(m), "Obj", 4), 0);
  EXPECT_EQ(char_item(raw(m), "VType", 4), 'C');
  EXPECT_EQ(str_item(raw(m), "VarName", 4), "");
  EXPECT_EQ(dbl_item(raw(m), "Start", 4), VLM_UNDEFINED);

  // A null bound array makes that side infinite for every row.
  const int beg[] = {0, 1};
  const int ind[] = {3, 4};
  const double val[] = {1, 1}, ub[] = {7, 8};
  ASSERT_EQ(VLMaddrangeconstrs(raw(m), 2, 2, beg, ind, val, nullptr, ub, nullptr), VLM_OKAY);
  EXPECT_EQ(dbl_item(raw(m), "LHS", 3), -1e20);
  EXPECT_EQ(dbl_item(raw(m), "RHS", 4), 8);
  const double lb[] = {-2, -3};
  ASSERT_EQ(VLMaddrangeconstrs(raw(m), 2, 2, beg, ind, val, lb, nullptr, nullptr), VLM_OKAY);
  EXPECT_EQ(dbl_item(raw(m), "LHS", 6), -3);
  EXPECT_EQ(dbl_item(raw(m), "RHS", 6), 1e20);
  EXPECT_EQ(str_item(raw(m), "ConstrName", 6), "");
}

TEST(ModelStore, QuadraticTermsAreMergedAndCanonical) {
  EnvPtr env = make_env();
  ModelPtr m = small_model(env.get());
  const int r[] = {1, 0, 0, 2, 1, 2};
  const int c[] = {0, 1, 0, 2, 1, 1};
  const double v[] = {1.5, 2.5, 3, 4, 0, -1};
  ASSERT_EQ(VLMaddqpterms(raw(m), 6, r, c, v), VLM_OKAY);
  Quad q = quad(raw(m));
  // (0,1) twice summed; (1,1) with 0 dropped; (2,1) mirrored to (1,2).
  EXPECT_EQ(q.row, (std::vector<int>{0, 0, 1, 2}));
  EXPECT_EQ(q.col, (std::vector<int>{0, 1, 2, 2}));
  EXPECT_EQ(q.val, (std::vector<double>{3, 4, -1, 4}));

  // A later call adds to the stored terms; a sum of zero removes the term, a
  // new pair takes its place in the order, a sum beyond every double is
  // refused and changes nothing.
  const int r2[] = {1, 2}, c2[] = {0, 0};
  const double v2[] = {-4, 5};
  ASSERT_EQ(VLMaddqpterms(raw(m), 2, r2, c2, v2), VLM_OKAY);
  q = quad(raw(m));
  EXPECT_EQ(q.row, (std::vector<int>{0, 0, 1, 2}));
  EXPECT_EQ(q.col, (std::vector<int>{0, 2, 2, 2}));
  EXPECT_EQ(q.val, (std::vector<double>{3, 5, -1, 4}));
  const int r3[] = {0, 2, 2}, c3[] = {0, 2, 2};
  const double v3[] = {1, 1e308, 1e308};
  EXPECT_EQ(VLMaddqpterms(raw(m), 3, r3, c3, v3), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(quad(raw(m)).val, q.val);

  // The fill call refuses a capacity below the count and writes nothing.
  int n = 1, qr[3] = {-1, -1, -1}, qc[3];
  double qv[3];
  EXPECT_EQ(VLMgetq(raw(m), &n, qr, qc, qv), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qr[0], -1);

  const int bad[] = {3};
  EXPECT_EQ(VLMaddqpterms(raw(m), 1, bad, r2, v2), VLM_ERROR_MODEL_INVALID_COL_IDX);
  const double nan[] = {std::nan("")};
  EXPECT_EQ(VLMaddqpterms(raw(m), 1, r2, c2, nan), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(quad(raw(m)).row.size(), 4u);

  ASSERT_EQ(VLMdelq(raw(m)), VLM_OKAY);
  EXPECT_TRUE(quad(raw(m)).row.empty());
}

TEST(ModelStore, SemidefiniteMatricesFollowTheMirrorRule) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  // [[1, 2], [3, 4]] as it stands: the later entry (1,0)=3 gives both positions.
  const int pos[] = {0, 1, 2, 3};
  const double full[] = {1, 2, 3, 4};
  ASSERT_EQ(VLMaddpsdvar(raw(m), 2, 4, pos, full, "A"), VLM_OKAY);
  Matrix a = mat_item(raw(m), "PsdObj", 0);
  EXPECT_EQ(a.rows, 2);
  EXPECT_EQ(a.cols, 2);
  EXPECT_EQ(a.pos, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(a.val, (std::vector<double>{1, 3, 3, 4}));

  // An upper triangle with its zero below the diagonal: zeros are ignored.
  const double upper[] = {1, 2, 0, 3};
  ASSERT_EQ(VLMaddpsdvar(raw(m), 2, 4, pos, upper, "B"), VLM_OKAY);
  EXPECT_EQ(mat_item(raw(m), "PsdObj", 1).val, (std::vector<double>{1, 2, 2, 3}));

  // A written PsdObj replaces the whole matrix; an item given twice keeps the last.
  const int ind[] = {1, 1};
  const int beg[] = {0, 1}, dims[] = {2, 2};
  const int wpos[] = {3, 2};
  const double wval[] = {7, 5};
  ASSERT_EQ(VLMsetmatattrlist(raw(m), "PsdObj", 2, ind, 2, beg, dims, dims, wpos, wval), VLM_OKAY);
  Matrix b = mat_item(raw(m), "PsdObj", 1);
  EXPECT_EQ(b.pos, (std::vector<int>{1, 2}));
  EXPECT_EQ(b.val, (std::vector<double>{5, 5}));

  // An empty matrix of the right order clears it; another order is refused.
  const int one[] = {1};
  ASSERT_EQ(VLMsetmatattrlist(raw(m), "PsdObj", 1, one, 0, nullptr, dims, dims, nullptr, nullptr), VLM_OKAY);
  EXPECT_TRUE(mat_item(raw(m), "PsdObj", 1).pos.empty());
  const int three[] = {3};
  EXPECT_EQ(VLMsetmatattrlist(raw(m), "PsdObj", 1, one, 0, nullptr, three, three, nullptr, nullptr),
            VLM_ERROR_MODEL_INVALID_REAL_ATTR_SYM_MAT);
  const int outside[] = {4};
  EXPECT_EQ(VLMsetmatattrlist(raw(m), "PsdObj", 1, one, 1, beg, dims, dims, outside, wval),
            VLM_ERROR_MODEL_INVALID_SYM_MAT_ROW_IDX);
  EXPECT_EQ(VLMaddpsdvar(raw(m), 2, 1, outside, wval, "C"), VLM_ERROR_MODEL_INVALID_SYM_MAT_ROW_IDX);
  EXPECT_EQ(VLMaddpsdvar(raw(m), 0, 0, nullptr, nullptr, "C"), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(int_attr(raw(m), "NumPsdVars"), 2);
}

TEST(ModelStore, SemidefiniteRowRefusals) {
  EnvPtr env = make_env();
  ModelPtr m = small_model(env.get());
  const int pv[] = {1}, pbeg[] = {0}, ppos[] = {0};
  const double pval[] = {1};
  EXPECT_EQ(VLMaddrangepsdconstr(raw(m), 0, 1, 1, nullptr, nullptr, pv, pbeg, ppos, pval, 0, 1, "q"),
            VLM_ERROR_MODEL_INVALID_SYM_MAT_IDX);
  const int twice[] = {0, 0}, beg2[] = {0, 1};
  const int pos2[] = {0, 3};
  const double val2[] = {1, 1};
  EXPECT_EQ(VLMaddrangepsdconstr(raw(m), 0, 2, 2, nullptr, nullptr, twice, beg2, pos2, val2, 0, 1, "q"),
            VLM_ERROR_INVALID_ARGUMENT);
  const int far[] = {4};
  const int p0[] = {0};
  EXPECT_EQ(VLMaddrangepsdconstr(raw(m), 0, 1, 1, nullptr, nullptr, p0, pbeg, far, pval, 0, 1, "q"),
            VLM_ERROR_MODEL_INVALID_SYM_MAT_ROW_IDX);
  // A row without semidefinite terms is still a semidefinite row.
  EXPECT_EQ(VLMaddrangepsdconstr(raw(m), 0, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 1, "e"),
            VLM_OKAY);
  EXPECT_EQ(int_attr(raw(m), "NumConstrs"), 4);
  EXPECT_EQ(int_attr(raw(m), "NumPsdConstrs"), 2);
}

TEST(ModelStore, ChangingCoefficients) {
  EnvPtr env = make_env();
  ModelPtr m = small_model(env.get());
  const int rows[] = {0, 0, 1, 0};
  const int cols[] = {2, 0, 1, 2};
  const double vals[] = {5, 0, 7, 6};
  ASSERT_EQ(VLMchgcoeffs(raw(m), 4, rows, cols, vals), VLM_OKAY);
  const Csr r = lines(raw(m), true, 0, 2);
  // (0,0) removed by 0, (0,2) inserted then overwritten by the later change.
  EXPECT_EQ(r.beg, (std::vector<int>{0, 2, 4}));
  EXPECT_EQ(r.ind, (std::vector<int>{1, 2, 1, 2}));
  EXPECT_EQ(r.val, (std::vector<double>{2, 6, 7, -1}));

  const int badrow[] = {9}, col[] = {0};
  const double one[] = {1};
  EXPECT_EQ(VLMchgcoeffs(raw(m), 1, badrow, col, one), VLM_ERROR_MODEL_INVALID_ROW_IDX);
  const int row[] = {0}, badcol[] = {3};
  EXPECT_EQ(VLMchgcoeffs(raw(m), 1, row, badcol, one), VLM_ERROR_MODEL_INVALID_COL_IDX);
  const double inf[] = {kInf};
  EXPECT_EQ(VLMchgcoeffs(raw(m), 1, row, col, inf), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(lines(raw(m), true, 0, 1).ind, (std::vector<int>{1, 2}));
}

TEST(ModelStore, BatchAddsAreAllOrNothing) {
  EnvPtr env = make_env();
  ModelPtr m = small_model(env.get());
  const char vtype[] = {'I', 'Q'};
  EXPECT_EQ(VLMaddvars(raw(m), 2, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, vtype, nullptr),
            VLM_ERROR_MODEL_INPUT_ERROR);
  const double nanlb[] = {0, std::nan("")};
  EXPECT_EQ(VLMaddvars(raw(m), 2, 0, nullptr, nullptr, nullptr, nullptr, nanlb, nullptr, nullptr, nullptr),
            VLM_ERROR_INVALID_ARGUMENT);
  // A column entry in a row that does not exist.
  const int cbeg[] = {0, 1}, cind[] = {0, 3};
  const double cval[] = {1, 1};
  EXPECT_EQ(VLMaddvars(raw(m), 2, 2, cbeg, cind, cval, nullptr, nullptr, nullptr, nullptr, nullptr),
            VLM_ERROR_MODEL_INVALID_ROW_IDX);
  EXPECT_EQ(int_attr(raw(m), "NumVars"), 3);
  EXPECT_EQ(int_attr(raw(m), "NumEnts"), 5);

  const int rbeg[] = {0, 1}, rind[] = {0, 7};
  EXPECT_EQ(VLMaddrangeconstrs(raw(m), 2, 2, rbeg, rind, cval, nullptr, nullptr, nullptr),
            VLM_ERROR_MODEL_INVALID_COL_IDX);
  const int badbeg[] = {0, 3};
  EXPECT_EQ(VLMaddrangeconstrs(raw(m), 2, 2, badbeg, cind, cval, nullptr, nullptr, nullptr),
            VLM_ERROR_INVALID_ARGUMENT);
  const double nanub[] = {1, std::nan("")};
  const int okind[] = {0, 1};
  EXPECT_EQ(VLMaddrangeconstrs(raw(m), 2, 2, rbeg, okind, cval, nullptr, nanub, nullptr),
            VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(VLMaddrangeconstr(raw(m), -1, nullptr, nullptr, 0, 1, "x"), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(int_attr(raw(m), "NumConstrs"), 3);

  // A column added with entries appears in the rows, sorted.
  const int vrows[] = {1, 0};
  const double vvals[] = {4, 5};
  ASSERT_EQ(VLMaddvar(raw(m), 2, vrows, vvals, 0, 0, 1, 'C', "x3"), VLM_OKAY);
  EXPECT_EQ(lines(raw(m), true, 1, 1).ind, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(lines(raw(m), false, 3, 1).ind, (std::vector<int>{0, 1}));
  // One variable at a time, the same checks; a row given twice is summed.
  const int twice[] = {2, 2}, outside[] = {5};
  EXPECT_EQ(VLMaddvar(raw(m), 0, nullptr, nullptr, 0, 0, 1, 'Q', "q"), VLM_ERROR_MODEL_INPUT_ERROR);
  EXPECT_EQ(VLMaddvar(raw(m), 0, nullptr, nullptr, 0, 0, std::nan(""), 'C', "q"), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(VLMaddvar(raw(m), 1, outside, vvals, 0, 0, 1, 'C', "q"), VLM_ERROR_MODEL_INVALID_ROW_IDX);
  EXPECT_EQ(int_attr(raw(m), "NumVars"), 4);
  int idx = -9;
  ASSERT_EQ(VLMgetvarbyname(raw(m), "q", &idx), VLM_OKAY);
  EXPECT_EQ(idx, -1);
  ASSERT_EQ(VLMaddvar(raw(m), 2, twice, vvals, 0, 0, 1, 'C', "q"), VLM_OKAY);
  EXPECT_EQ(lines(raw(m), false, 4, 1).ind, (std::vector<int>{2}));
  EXPECT_EQ(lines(raw(m), false, 4, 1).val, (std::vector<double>{9}));
  ASSERT_EQ(VLMgetvarbyname(raw(m), "q", &idx), VLM_OKAY);
  EXPECT_EQ(idx, 4);
}

TEST(ModelStore, SosAndIndicatorsAddAndRefuse) {
  EnvPtr env = make_env();
  ModelPtr m = small_model(env.get());
  const int types[] = {VLM_SOS_TYPE1, VLM_SOS_TYPE2}, beg[] = {0, 2}, ind[] = {0, 1, 1, 2, 0};
  const double w[] = {1, 2, 1, 2, 3};
  ASSERT_EQ(VLMaddsos(raw(m), 2, 5, types, beg, ind, w), VLM_OKAY);
  int n = -1, type = -1, start = -1;
  ASSERT_EQ(VLMgetsos(raw(m), &n, &type, &start, nullptr, nullptr, 1, 1), VLM_OKAY);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(type, 2);
  EXPECT_EQ(start, 0);
  const int bad[] = {3};
  EXPECT_EQ(VLMaddsos(raw(m), 1, 2, bad, beg, ind, w), VLM_ERROR_MODEL_INVALID_SOS_TYPE);
  const int dup[] = {0, 0};
  EXPECT_EQ(VLMaddsos(raw(m), 1, 2, types, beg, dup, w), VLM_ERROR_INVALID_ARGUMENT);
  const int outside[] = {0, 5};
  EXPECT_EQ(VLMaddsos(raw(m), 1, 2, types, beg, outside, w), VLM_ERROR_MODEL_INVALID_COL_IDX);
  // An SOS without members is allowed.
  EXPECT_EQ(VLMaddsos(raw(m), 1, 0, types, beg, nullptr, nullptr), VLM_OKAY);
  EXPECT_EQ(int_attr(raw(m), "NumSOS"), 3);

  const int cols[] = {1, 0};
  const double vals[] = {2, 1};
  ASSERT_EQ(VLMaddgenconstrIndicator(raw(m), "g", 2, 1, 2, cols, vals, '<', 3), VLM_OKAY);
  int bv = -1, bval = -1, nnz = -1;
  char sense = 0;
  double rhs = 0;
  ASSERT_EQ(VLMgetgenconstrIndicator(raw(m), 0, &bv, &bval, &nnz, nullptr, nullptr, &sense, &rhs), VLM_OKAY);
  EXPECT_EQ(bv, 2);
  EXPECT_EQ(bval, 1);
  EXPECT_EQ(nnz, 2);
  EXPECT_EQ(sense, '<');
  EXPECT_EQ(rhs, 3);
  int gc[2];
  double gv[2];
  ASSERT_EQ(VLMgetgenconstrIndicator(raw(m), 0, &bv, &bval, &nnz, gc, gv, &sense, &rhs), VLM_OKAY);
  EXPECT_EQ(gc[0], 0);
  EXPECT_EQ(gv[1], 2);
  // The binary must be a binary variable; the value 0 or 1; the sense one of <, >, =.
  EXPECT_EQ(VLMaddgenconstrIndicator(raw(m), "g", 1, 1, 2, cols, vals, '<', 3),
            VLM_ERROR_MODEL_INVALID_INDICATOR_COL_IDX);
  EXPECT_EQ(VLMaddgenconstrIndicator(raw(m), "g", 7, 1, 2, cols, vals, '<', 3),
            VLM_ERROR_MODEL_INVALID_INDICATOR_COL_IDX);
  EXPECT_EQ(VLMaddgenconstrIndicator(raw(m), "g", 2, 2, 2, cols, vals, '<', 3), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(VLMaddgenconstrIndicator(raw(m), "g", 2, 0, 2, cols, vals, 'x', 3), VLM_ERROR_MODEL_INPUT_ERROR);
  EXPECT_EQ(VLMgetgenconstrIndicator(raw(m), 1, &bv, &bval, &nnz, nullptr, nullptr, &sense, &rhs),
            VLM_ERROR_MODEL_INVALID_INDICATOR_ROW_IDX);
  EXPECT_EQ(int_attr(raw(m), "NumGenConstrs"), 1);
  EXPECT_EQ(str_item(raw(m), "GenConstrName", 0), "g");
  // The indicator's variable stays binary.
  const int binvar = 2;
  const char integer = VLM_INTEGER, binary = VLM_BINARY;
  EXPECT_EQ(VLMsetcharattrlist(raw(m), "VType", 1, &binvar, &integer), VLM_ERROR_MODEL_INVALID_INDICATOR_COL_IDX);
  EXPECT_EQ(VLMsetcharattrlist(raw(m), "VType", 1, &binvar, &binary), VLM_OKAY);
}

TEST(ModelStore, DeletingVariablesRenumbersEverythingThatRefersToThem) {
  EnvPtr env = make_env();
  ModelPtr m = small_model(env.get());
  const double lb[] = {0}, ub[] = {1};
  const char t[] = {'B'};
  const char* nm[] = {"b3"};
  ASSERT_EQ(VLMaddvars(raw(m), 1, 0, nullptr, nullptr, nullptr, nullptr, lb, ub, t, nm), VLM_OKAY);
  const int qr[] = {0, 1, 2, 3}, qc[] = {2, 3, 3, 3};
  const double qv[] = {1, 2, 3, 4};
  ASSERT_EQ(VLMaddqpterms(raw(m), 4, qr, qc, qv), VLM_OKAY);
  const int types[] = {1}, beg[] = {0}, members[] = {3, 1, 2};
  const double w[] = {1, 2, 3};
  ASSERT_EQ(VLMaddsos(raw(m), 1, 3, types, beg, members, w), VLM_OKAY);
  const int gcols[] = {1, 2};
  const double gvals[] = {1, 1};
  ASSERT_EQ(VLMaddgenconstrIndicator(raw(m), "g", 3, 0, 2, gcols, gvals, '>', 1), VLM_OKAY);

  // The binary of an indicator cannot go while the indicator stays.
  const int binary[] = {3};
  EXPECT_EQ(VLMdelvars(raw(m), 1, binary), VLM_ERROR_MODEL_INVALID_INDICATOR_COL_IDX);
  EXPECT_EQ(int_attr(raw(m), "NumVars"), 4);

  const int gone[] = {1, 1};  // repeated ids count once
  ASSERT_EQ(VLMdelvars(raw(m), 2, gone), VLM_OKAY);
  EXPECT_EQ(int_attr(raw(m), "NumVars"), 3);
  EXPECT_EQ(str_item(raw(m), "VarName", 1), "x2");
  EXPECT_EQ(str_item(raw(m), "VarName", 2), "b3");
  int idx = -9;
  ASSERT_EQ(VLMgetvarbyname(raw(m), "b3", &idx), VLM_OKAY);
  EXPECT_EQ(idx, 2);
  ASSERT_EQ(VLMgetvarbyname(raw(m), "x1", &idx), VLM_OKAY);
  EXPECT_EQ(idx, -1);

  const Csr rows = lines(raw(m), true, 0, 3);
  EXPECT_EQ(rows.beg, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(rows.ind, (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(rows.val, (std::vector<double>{1, -1, 1}));

  const Quad q = quad(raw(m));
  EXPECT_EQ(q.row, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(q.col, (std::vector<int>{1, 2, 2}));
  EXPECT_EQ(q.val, (std::vector<double>{1, 3, 4}));

  int n = 0, type = 0, start = 0;
  std::vector<int> sm(2);
  std::vector<double> sw(2);
  ASSERT_EQ(VLMgetsos(raw(m), &n, &type, &start, nullptr, nullptr, 0, 1), VLM_OKAY);
  ASSERT_EQ(n, 2);
  ASSERT_EQ(VLMgetsos(raw(m), &n, &type, &start, sm.data(), sw.data(), 0, 1), VLM_OKAY);
  EXPECT_EQ(sm, (std::vector<int>{2, 1}));
  EXPECT_EQ(sw, (std::vector<double>{1, 3}));

  int bv, bval, nnz;
  char sense;
  double rhs;
  int gc[2] = {-1, -1};
  double gv[2];
  ASSERT_EQ(VLMgetgenconstrIndicator(raw(m), 0, &bv, &bval, &nnz, nullptr, nullptr, &sense, &rhs), VLM_OKAY);
  ASSERT_EQ(nnz, 1);
  ASSERT_EQ(VLMgetgenconstrIndicator(raw(m), 0, &bv, &bval, &nnz, gc, gv, &sense, &rhs), VLM_OKAY);
  EXPECT_EQ(bv, 2);
  EXPECT_EQ(gc[0], 1);

  const int outside[] = {3};
  EXPECT_EQ(VLMdelvars(raw(m), 1, outside), VLM_ERROR_MODEL_INVALID_COL_IDX);
}

TEST(ModelStore, DeletingRowsSosAndIndicatorsRenumbers) {
  EnvPtr env = make_env();
  ModelPtr m = small_model(env.get());
  const int zero[] = {0};
  ASSERT_EQ(VLMdelconstrs(raw(m), 1, zero), VLM_OKAY);
  EXPECT_EQ(int_attr(raw(m), "NumConstrs"), 2);
  EXPECT_EQ(int_attr(raw(m), "NumPsdConstrs"), 1);
  EXPECT_EQ(str_item(raw(m), "ConstrName", 1), "p2");
  EXPECT_EQ(str_item(raw(m), "PsdCName", 1), "p2");
  int idx = -9;
  ASSERT_EQ(VLMgetconstrbyname(raw(m), "r1", &idx), VLM_OKAY);
  EXPECT_EQ(idx, 0);
  const int psdrow[] = {1};
  ASSERT_EQ(VLMdelconstrs(raw(m), 1, psdrow), VLM_OKAY);
  EXPECT_EQ(int_attr(raw(m), "NumPsdConstrs"), 0);
  EXPECT_EQ(VLMdelconstrs(raw(m), 1, psdrow), VLM_ERROR_MODEL_INVALID_ROW_IDX);

  const int types[] = {1, 2, 1}, beg[] = {0, 1, 2}, ind[] = {0, 1, 2};
  const double w[] = {1, 1, 1};
  ASSERT_EQ(VLMaddsos(raw(m), 3, 3, types, beg, ind, w), VLM_OKAY);
  const int mid[] = {1};
  ASSERT_EQ(VLMdelsos(raw(m), 1, mid), VLM_OKAY);
  int n = 0, type, start, member;
  double weight;
  // The fill call takes *nnz as the capacity of the arrays.
  ASSERT_EQ(VLMgetsos(raw(m), &n, &type, &start, &member, &weight, 1, 1), VLM_ERROR_INVALID_ARGUMENT);
  n = 1;
  ASSERT_EQ(VLMgetsos(raw(m), &n, &type, &start, &member, &weight, 1, 1), VLM_OKAY);
  EXPECT_EQ(member, 2);
  const int two[] = {2};
  EXPECT_EQ(VLMdelsos(raw(m), 1, two), VLM_ERROR_MODEL_INVALID_SOS_IDX);

  ASSERT_EQ(VLMaddgenconstrIndicator(raw(m), "g0", 2, 1, 0, nullptr, nullptr, '=', 0), VLM_OKAY);
  ASSERT_EQ(VLMaddgenconstrIndicator(raw(m), "g1", 2, 0, 0, nullptr, nullptr, '=', 1), VLM_OKAY);
  ASSERT_EQ(VLMdelgenconstrs(raw(m), 1, zero), VLM_OKAY);
  EXPECT_EQ(str_item(raw(m), "GenConstrName", 0), "g1");
  EXPECT_EQ(VLMdelgenconstrs(raw(m), 1, mid), VLM_ERROR_MODEL_INVALID_INDICATOR_ROW_IDX);
  // With the indicator gone its binary may go too.
  ASSERT_EQ(VLMdelgenconstrs(raw(m), 1, zero), VLM_OKAY);
  const int binary[] = {2};
  EXPECT_EQ(VLMdelvars(raw(m), 1, binary), VLM_OKAY);
}

TEST(ModelStore, LookUpsByName) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  const char* names[] = {"a", "b", "a", nullptr};
  ASSERT_EQ(VLMaddvars(raw(m), 4, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, names),
            VLM_OKAY);
  int idx = -9;
  ASSERT_EQ(VLMgetvarbyname(raw(m), "a", &idx), VLM_OKAY);
  EXPECT_EQ(idx, 0);
  ASSERT_EQ(VLMgetvarbyname(raw(m), "c", &idx), VLM_OKAY);
  EXPECT_EQ(idx, -1);
  ASSERT_EQ(VLMgetvarbyname(raw(m), "", &idx), VLM_OKAY);
  EXPECT_EQ(idx, -1);
  const int first[] = {0};
  const char* renamed[] = {"z"};
  ASSERT_EQ(VLMsetstrattrlist(raw(m), "VarName", 1, first, renamed), VLM_OKAY);
  ASSERT_EQ(VLMgetvarbyname(raw(m), "a", &idx), VLM_OKAY);
  EXPECT_EQ(idx, 2);
  ASSERT_EQ(VLMaddvar(raw(m), 0, nullptr, nullptr, 0, 0, 1, 'C', "c"), VLM_OKAY);
  ASSERT_EQ(VLMgetvarbyname(raw(m), "c", &idx), VLM_OKAY);
  EXPECT_EQ(idx, 4);
  EXPECT_EQ(VLMgetvarbyname(raw(m), nullptr, &idx), VLM_ERROR_INVALID_ARGUMENT);
}

// The name indices follow renames (repeated names, a name given twice in one
// call, renames to and from the empty name), deletions and additions in place.
// Each step is checked against a model that never looked a name up before it
// (whose index is built from the names as they are): both answer alike.
TEST(ModelStore, NameIndexFollowsRenamesAndDeletions) {
  EnvPtr env = make_env();
  ModelPtr kept = make_model(env.get());
  const char* names[] = {"a", "b", "a", "c", nullptr};
  ASSERT_EQ(VLMaddvars(raw(kept), 5, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, names),
            VLM_OKAY);
  for (int i = 0; i < 5; ++i)
    ASSERT_EQ(VLMaddrangeconstr(raw(kept), 0, nullptr, nullptr, -1e20, 0, names[i]), VLM_OKAY);
  const auto var = [](VLMmodel* m, const char* name) {
    int idx = -9;
    EXPECT_EQ(VLMgetvarbyname(m, name, &idx), VLM_OKAY);
    return idx;
  };
  const auto row = [](VLMmodel* m, const char* name) {
    int idx = -9;
    EXPECT_EQ(VLMgetconstrbyname(m, name, &idx), VLM_OKAY);
    return idx;
  };
  EXPECT_EQ(var(raw(kept), "a"), 0);
  EXPECT_EQ(row(raw(kept), "a"), 0);
  // Each step, then the answers of both models for every name of interest.
  const auto expect = [&](const char* step, std::vector<std::pair<const char*, int>> want) {
    SCOPED_TRACE(step);
    for (const auto& w : want) {
      EXPECT_EQ(var(raw(kept), w.first), w.second) << w.first;
      EXPECT_EQ(row(raw(kept), w.first), w.second) << w.first;
    }
    ModelPtr copy(VLMcopymodel(raw(kept)));  // no index yet: built from the names
    for (const auto& w : want) {
      EXPECT_EQ(var(copy.get(), w.first), w.second) << w.first;
      EXPECT_EQ(row(copy.get(), w.first), w.second) << w.first;
    }
  };
  const auto rename = [&](std::vector<int> ind, std::vector<const char*> value) {
    ASSERT_EQ(VLMsetstrattrlist(raw(kept), "VarName", static_cast<int>(ind.size()), ind.data(), value.data()),
              VLM_OKAY);
    ASSERT_EQ(VLMsetstrattrlist(raw(kept), "ConstrName", static_cast<int>(ind.size()), ind.data(), value.data()),
              VLM_OKAY);
  };
  rename({0}, {"z"});
  expect("the first of two", {{"a", 2}, {"z", 0}, {"b", 1}});
  rename({2, 2}, {"p", "q"});
  expect("one item twice", {{"a", -1}, {"p", -1}, {"q", 2}});
  rename({1, 4}, {"", "b"});
  expect("to and from the empty name", {{"b", 4}, {"", -1}});
  rename({3}, {"c"});
  expect("to its own name", {{"c", 3}});
  const int gone[] = {0, 2};
  ASSERT_EQ(VLMdelvars(raw(kept), 2, gone), VLM_OKAY);
  ASSERT_EQ(VLMdelconstrs(raw(kept), 2, gone), VLM_OKAY);
  expect("deletions", {{"z", -1}, {"q", -1}, {"c", 1}, {"b", 2}});
  ASSERT_EQ(VLMaddvar(raw(kept), 0, nullptr, nullptr, 0, 0, 1, 'C', "c"), VLM_OKAY);
  ASSERT_EQ(VLMaddrangeconstr(raw(kept), 0, nullptr, nullptr, -1e20, 0, "c"), VLM_OKAY);
  rename({1}, {"n"});
  expect("an added namesake", {{"c", 3}, {"n", 1}});
}

// Names of every length: 15 bytes (the longest kept in place), 16 (the
// shortest kept apart), long ones and none, added one call at a time so the
// lists grow; renames between the two forms, a deletion and a copy that
// outlives its original each leave every item with its own name.
TEST(ModelStore, NamesOfEveryLengthThroughRenamesDeletionsAndCopies) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  const std::string n15 = "abcdefghijklmno", n16 = n15 + "p", n300(300, 'L');
  std::vector<std::string> want;  // the names items 0.. must have
  for (int k = 0; k < 40; ++k) {
    const std::string& base = k % 4 == 0 ? n15 : k % 4 == 1 ? n16 : k % 4 == 2 ? n300 : std::string();
    const std::string tag = std::to_string(k);  // 15 and 16 bytes exactly, the long ones longer
    want.push_back(base.empty() ? base : base.size() < 300 ? base.substr(0, base.size() - tag.size()) + tag : base + tag);
    const char* name = want.back().empty() ? nullptr : want.back().c_str();
    ASSERT_EQ(VLMaddvar(raw(m), 0, nullptr, nullptr, 0, 0, 1, 'B', name), VLM_OKAY);
    ASSERT_EQ(VLMaddrangeconstr(raw(m), 0, nullptr, nullptr, 0, 1, name), VLM_OKAY);
  }
  ASSERT_EQ(VLMaddgenconstrIndicator(raw(m), n16.c_str(), 0, 1, 0, nullptr, nullptr, '=', 0), VLM_OKAY);
  // Look-ups first, so the name indices are kept current from here on.
  const auto expect_names = [&](VLMmodel* model, const std::vector<std::string>& names) {
    ASSERT_EQ(int_attr(model, "NumVars"), static_cast<int>(names.size()));
    for (int i = 0; i < static_cast<int>(names.size()); ++i) {
      EXPECT_EQ(str_item(model, "VarName", i), names[static_cast<size_t>(i)]) << i;
      EXPECT_EQ(str_item(model, "ConstrName", i), names[static_cast<size_t>(i)]) << i;
      if (names[static_cast<size_t>(i)].empty()) continue;
      int var = -9, row = -9;
      ASSERT_EQ(VLMgetvarbyname(model, names[static_cast<size_t>(i)].c_str(), &var), VLM_OKAY);
      ASSERT_EQ(VLMgetconstrbyname(model, names[static_cast<size_t>(i)].c_str(), &row), VLM_OKAY);
      EXPECT_EQ(var, i) << names[static_cast<size_t>(i)];
      EXPECT_EQ(row, i) << names[static_cast<size_t>(i)];
    }
    EXPECT_EQ(str_item(model, "GenConstrName", 0), n16);
  };
  expect_names(raw(m), want);

  // In place to apart (15 -> 16 bytes), apart to in place, long to none,
  // none to long.
  const int ind[] = {0, 1, 2, 3};
  const std::string to[] = {n16 + "x", n15.substr(0, 14) + "y", "", n300 + "z"};
  const char* value[] = {to[0].c_str(), to[1].c_str(), to[2].c_str(), to[3].c_str()};
  ASSERT_EQ(VLMsetstrattrlist(raw(m), "VarName", 4, ind, value), VLM_OKAY);
  ASSERT_EQ(VLMsetstrattrlist(raw(m), "ConstrName", 4, ind, value), VLM_OKAY);
  for (const std::string* old : {&want[0], &want[1], &want[2]}) {
    int idx = -9;
    ASSERT_EQ(VLMgetvarbyname(raw(m), old->c_str(), &idx), VLM_OKAY);
    EXPECT_EQ(idx, -1) << *old;
  }
  std::copy(std::begin(to), std::end(to), want.begin());
  expect_names(raw(m), want);

  const int gone[] = {1, 6, 39};
  ASSERT_EQ(VLMdelvars(raw(m), 3, gone), VLM_OKAY);
  ASSERT_EQ(VLMdelconstrs(raw(m), 3, gone), VLM_OKAY);
  for (int k = 2; k >= 0; --k) want.erase(want.begin() + gone[k]);
  expect_names(raw(m), want);

  // The copy owns its names: renaming and freeing the original leaves them.
  ModelPtr copy(VLMcopymodel(raw(m)));
  ASSERT_NE(copy, nullptr);
  const char* renamed[] = {"r", "s", "t", "u"};
  ASSERT_EQ(VLMsetstrattrlist(raw(m), "VarName", 4, ind, renamed), VLM_OKAY);
  m.reset();
  expect_names(copy.get(), want);
}

TEST(ModelStore, NamesAndStartValuesOfColumnsThatHadNone) {
  // Columns added without names or start values, then one named and one
  // given a start value, then more added and one deleted: every column
  // answers for its own, and the files list all of them.
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  ASSERT_EQ(VLMaddvars(raw(m), 3, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            VLM_OKAY);
  EXPECT_EQ(str_item(raw(m), "VarName", 2), "");
  EXPECT_EQ(dbl_item(raw(m), "Start", 1), VLM_UNDEFINED);
  int idx = -9;
  ASSERT_EQ(VLMgetvarbyname(raw(m), "y", &idx), VLM_OKAY);
  EXPECT_EQ(idx, -1);
  const int one[] = {1};
  const char* y[] = {"y"};
  const double half[] = {0.5};
  ASSERT_EQ(VLMsetstrattrlist(raw(m), "VarName", 1, one, y), VLM_OKAY);
  ASSERT_EQ(VLMsetdblattrlist(raw(m), "Start", 1, one, half), VLM_OKAY);
  ASSERT_EQ(VLMaddvars(raw(m), 2, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            VLM_OKAY);
  const int first[] = {0};
  ASSERT_EQ(VLMdelvars(raw(m), 1, first), VLM_OKAY);
  ASSERT_EQ(int_attr(raw(m), "NumVars"), 4);
  EXPECT_EQ(str_item(raw(m), "VarName", 0), "y");
  EXPECT_EQ(dbl_item(raw(m), "Start", 0), 0.5);
  for (int j = 1; j < 4; ++j) {
    EXPECT_EQ(str_item(raw(m), "VarName", j), "") << j;
    EXPECT_EQ(dbl_item(raw(m), "Start", j), VLM_UNDEFINED) << j;
  }
  ASSERT_EQ(VLMgetvarbyname(raw(m), "y", &idx), VLM_OKAY);
  EXPECT_EQ(idx, 0);
  const std::string mps = temp_path("unnamed_columns.mps");
  ASSERT_EQ(VLMwrite(raw(m), mps.c_str()), VLM_OKAY);
  ModelPtr back = read_model(env.get(), mps);
  ASSERT_EQ(int_attr(back.get(), "NumVars"), 4);
  EXPECT_EQ(str_item(back.get(), "VarName", 0), "y");
  EXPECT_EQ(str_item(back.get(), "VarName", 3), "C3");
  const std::string mst = temp_path("unnamed_columns.mst");
  ASSERT_EQ(VLMwrite(raw(m), mst.c_str()), VLM_OKAY);
  EXPECT_EQ(read_text(mst), "# MIP start\ny 0.5\n");
  ASSERT_EQ(VLMreset(raw(m), 1), VLM_OKAY);
  EXPECT_EQ(dbl_item(raw(m), "Start", 0), VLM_UNDEFINED);
}

TEST(ModelStore, CopyOutlivesItsSourceAndEnvironment) {
  VLMenv* env = nullptr;
  ASSERT_EQ(VLMemptyenv(&env), VLM_OKAY);
  ASSERT_EQ(VLMsetdblparam(env, "MaxTime", 12.5), VLM_OKAY);
  ModelPtr original = small_model(env);
  const int qr[] = {0}, qc[] = {1};
  const double qv[] = {2};
  ASSERT_EQ(VLMaddqpterms(raw(original), 1, qr, qc, qv), VLM_OKAY);
  ModelPtr reference(VLMcopymodel(raw(original)));
  ModelPtr copy(VLMcopymodel(raw(original)));
  ASSERT_NE(copy, nullptr);
  original.reset();
  ASSERT_EQ(VLMfreeenv(env), VLM_OKAY);

  expect_same_model(raw(copy), raw(reference));
  EXPECT_EQ(str_item(raw(copy), "VarName", 2), "x2");
  double maxtime = 0;
  ASSERT_EQ(VLMgetdblparam(VLMgetenv(raw(copy)), "MaxTime", &maxtime), VLM_OKAY);
  EXPECT_EQ(maxtime, 12.5);
  // The copy keeps working: it can grow and log.
  ASSERT_EQ(VLMaddvar(raw(copy), 0, nullptr, nullptr, 0, 0, 1, 'C', "x3"), VLM_OKAY);
  EXPECT_EQ(VLMmsg(VLMgetenv(raw(copy)), "copy alive"), VLM_OKAY);
  // A model's own environment goes with its model only.
  EXPECT_EQ(VLMfreeenv(VLMgetenv(raw(copy))), VLM_ERROR_INVALID_ARGUMENT);
}

TEST(ModelStore, ModelParametersAreAPrivateCopy) {
  EnvPtr env = make_env();
  ASSERT_EQ(VLMsetintparam(env.get(), "Presolve", 0), VLM_OKAY);
  ModelPtr m = make_model(env.get());
  ASSERT_EQ(VLMsetintparam(env.get(), "Presolve", 1), VLM_OKAY);
  int v = -5;
  ASSERT_EQ(VLMgetintparam(VLMgetenv(raw(m)), "Presolve", &v), VLM_OKAY);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(VLMgetenv(nullptr), nullptr);
}

TEST(ModelStore, BusyModelRefusesChanges) {
  EnvPtr env = make_env();
  ModelPtr m = small_model(env.get());
  raw(m)->busy = true;
  EXPECT_EQ(VLMaddvar(raw(m), 0, nullptr, nullptr, 0, 0, 1, 'C', "y"), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(VLMsetdblattr(raw(m), "ObjCon", 1), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(VLMdelq(raw(m)), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(VLMsetintparam(VLMgetenv(raw(m)), "Presolve", 0), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(VLMsetcallbackfunc(raw(m), nullptr, nullptr), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(VLMfreemodel(raw(m)), VLM_ERROR_INVALID_ARGUMENT);
  // Reading stays possible (a callback reads attributes during a run).
  EXPECT_EQ(int_attr(raw(m), "NumVars"), 3);
  raw(m)->busy = false;
  EXPECT_EQ(VLMaddvar(raw(m), 0, nullptr, nullptr, 0, 0, 1, 'C', "y"), VLM_OKAY);
}

TEST(ModelStore, NullHandlesAndArrays) {
  EXPECT_EQ(VLMaddvar(nullptr, 0, nullptr, nullptr, 0, 0, 1, 'C', nullptr), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(VLMcopymodel(nullptr), nullptr);
  EXPECT_EQ(VLMfreemodel(nullptr), VLM_OKAY);
  VLMmodel* m = nullptr;
  EXPECT_EQ(VLMnewmodel(nullptr, &m, "x", 0, nullptr, nullptr, nullptr, nullptr, nullptr),
            VLM_ERROR_INVALID_ARGUMENT);
  EnvPtr env = make_env();
  EXPECT_EQ(VLMnewmodel(env.get(), nullptr, "x", 0, nullptr, nullptr, nullptr, nullptr, nullptr),
            VLM_ERROR_INVALID_ARGUMENT);
  const char bad[] = {'Z'};
  EXPECT_EQ(VLMnewmodel(env.get(), &m, "x", 1, nullptr, nullptr, nullptr, bad, nullptr), VLM_ERROR_MODEL_INPUT_ERROR);
  EXPECT_EQ(m, nullptr);
  ModelPtr ok = make_model(env.get());
  EXPECT_EQ(VLMaddvars(raw(ok), 1, 1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            VLM_ERROR_INVALID_ARGUMENT);
  int nnz = 0;
  EXPECT_EQ(VLMgetconstrs(raw(ok), nullptr, nullptr, nullptr, nullptr, 0, 0), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(VLMgetconstrs(raw(ok), &nnz, nullptr, nullptr, nullptr, 0, 1), VLM_ERROR_MODEL_INVALID_ROW_IDX);
  EXPECT_EQ(VLMgetvars(raw(ok), &nnz, nullptr, nullptr, nullptr, -1, 0), VLM_ERROR_MODEL_INVALID_COL_IDX);
}

TEST(ModelStore, DistinctModelsOnDistinctThreads) {
  std::vector<EnvPtr> envs;
  for (int t = 0; t < 4; ++t) envs.push_back(make_env());
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      VLMenv* env = envs[static_cast<size_t>(t)].get();
      VLMmodel* m = nullptr;
      if (VLMnewmodel(env, &m, "t", 0, nullptr, nullptr, nullptr, nullptr, nullptr) != VLM_OKAY) {
        ++failures[static_cast<size_t>(t)];
        return;
      }
      const std::string path = temp_path("thread" + std::to_string(t) + ".mps");
      for (int k = 0; k < 200; ++k) {
        const std::string name = "x" + std::to_string(k);
        const int row[] = {0};
        const double one[] = {1};
        if (k == 0) VLMaddrangeconstr(m, 0, nullptr, nullptr, -1e20, 10, "cap");
        failures[static_cast<size_t>(t)] += VLMaddvar(m, 1, row, one, k, 0, t + 1, 'I', name.c_str()) != VLM_OKAY;
        int type = -1, idx = -1;
        failures[static_cast<size_t>(t)] += VLMgetattrinfo(m, "spx_numiters", &type, nullptr, nullptr) != VLM_OKAY;
        failures[static_cast<size_t>(t)] += VLMsetintparam(VLMgetenv(m), "mip_maxnodes", k) != VLM_OKAY;
        failures[static_cast<size_t>(t)] += VLMgetvarbyname(m, name.c_str(), &idx) != VLM_OKAY || idx != k;
      }
      VLMmodel* back = nullptr;
      failures[static_cast<size_t>(t)] += VLMwrite(m, path.c_str()) != VLM_OKAY;
      failures[static_cast<size_t>(t)] += VLMreadmodel(env, path.c_str(), &back) != VLM_OKAY;
      int n = 0;
      if (back) VLMgetintattr(back, "NumNZs", &n);
      failures[static_cast<size_t>(t)] += n != 200;
      VLMfreemodel(back);
      VLMfreemodel(m);
      std::remove(path.c_str());
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures, (std::vector<int>{0, 0, 0, 0}));
}

namespace {

TEST(ModelStore, CleanupMilpRoundsIntegralBoundsOnly) {
  EnvPtr env = make_env();
  ModelPtr m = make_model(env.get());
  const double lb[] = {0.2, -1.0000000001, -3.5, 0.5, -VLM_INFINITY};
  const double ub[] = {3.7, 2.9999999999, 5.5, 7.0, VLM_INFINITY};
  const char vtype[] = {VLM_INTEGER, VLM_INTEGER, VLM_CONTINUOUS, VLM_BINARY, VLM_INTEGER};
  ASSERT_EQ(VLMaddvars(m.get(), 5, 0, nullptr, nullptr, nullptr, nullptr, lb, ub, vtype, nullptr), VLM_OKAY);
  int changed = -1;
  ASSERT_EQ(VLMcleanupmilp(m.get(), &changed), VLM_OKAY);
  EXPECT_EQ(changed, 6);  // 0.2, 3.7, the two near-integers, the binary's 0.5 and 7
  const double want_lb[] = {1, -1, -3.5, 1, -VLM_INFINITY};
  const double want_ub[] = {3, 3, 5.5, 1, VLM_INFINITY};
  for (int j = 0; j < 5; ++j) {
    EXPECT_EQ(dbl_item(m.get(), "LB", j), want_lb[j]) << j;
    EXPECT_EQ(dbl_item(m.get(), "UB", j), want_ub[j]) << j;
  }
  EXPECT_EQ(int_attr(m.get(), "NumVars"), 5);  // nothing renumbered
  ASSERT_EQ(VLMcleanupmilp(m.get(), &changed), VLM_OKAY);
  EXPECT_EQ(changed, 0);
  EXPECT_EQ(VLMcleanupmilp(m.get(), nullptr), VLM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(VLMcleanupmilp(nullptr, &changed), VLM_ERROR_INVALID_ARGUMENT);
}

}  // namespace
