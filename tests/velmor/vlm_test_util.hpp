// Helpers shared by the libvelmor tests: owning handles, typed attribute
// reads, and a comparison of two models over every attribute and structure.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "velmor.h"

namespace vlmtest {

struct EnvDeleter {
  void operator()(VLMenv* e) const { VLMfreeenv(e); }
};
struct ModelDeleter {
  void operator()(VLMmodel* m) const { VLMfreemodel(m); }
};
using EnvPtr = std::unique_ptr<VLMenv, EnvDeleter>;
using ModelPtr = std::unique_ptr<VLMmodel, ModelDeleter>;

inline EnvPtr make_env() {
  VLMenv* env = nullptr;
  EXPECT_EQ(VLMemptyenv(&env), VLM_OKAY);
  return EnvPtr(env);
}

inline ModelPtr make_model(VLMenv* env, const char* name = "m") {
  VLMmodel* model = nullptr;
  EXPECT_EQ(VLMnewmodel(env, &model, name, 0, nullptr, nullptr, nullptr, nullptr, nullptr), VLM_OKAY);
  return ModelPtr(model);
}

inline int int_attr(VLMmodel* m, const char* name) {
  int v = -12345;
  EXPECT_EQ(VLMgetintattr(m, name, &v), VLM_OKAY) << name;
  return v;
}

inline double dbl_attr(VLMmodel* m, const char* name) {
  double v = -12345;
  EXPECT_EQ(VLMgetdblattr(m, name, &v), VLM_OKAY) << name;
  return v;
}

inline double dbl_item(VLMmodel* m, const char* name, int i) {
  double v = -12345;
  EXPECT_EQ(VLMgetdblattrlist(m, name, 1, &i, &v), VLM_OKAY) << name << "[" << i << "]";
  return v;
}

inline std::string str_item(VLMmodel* m, const char* name, int i) {
  char* v = nullptr;
  EXPECT_EQ(VLMgetstrattrlist(m, name, 1, &i, &v), VLM_OKAY) << name;
  return v ? std::string(v) : std::string("<null>");
}

inline char char_item(VLMmodel* m, const char* name, int i) {
  char v = '?';
  EXPECT_EQ(VLMgetcharattrlist(m, name, 1, &i, &v), VLM_OKAY) << name;
  return v;
}

struct Csr {
  std::vector<int> beg, ind;
  std::vector<double> val;
};

// Rows (or columns) first .. first+count-1 through the two-call protocol,
// with the closing start added.
inline Csr lines(VLMmodel* m, bool rows, int first, int count) {
  auto get = rows ? VLMgetconstrs : VLMgetvars;
  int nnz = -1;
  EXPECT_EQ(get(m, &nnz, nullptr, nullptr, nullptr, first, count), VLM_OKAY);
  Csr c;
  c.beg.assign(static_cast<size_t>(count) + 1, -7);
  c.ind.resize(static_cast<size_t>(nnz));
  c.val.resize(static_cast<size_t>(nnz));
  EXPECT_EQ(get(m, &nnz, c.beg.data(), c.ind.data(), c.val.data(), first, count), VLM_OKAY);
  EXPECT_EQ(c.beg[static_cast<size_t>(count)], -7) << "only count starts are written";
  c.beg[static_cast<size_t>(count)] = nnz;
  return c;
}

struct Quad {
  std::vector<int> row, col;
  std::vector<double> val;
};

inline Quad quad(VLMmodel* m) {
  int n = -1;
  EXPECT_EQ(VLMgetq(m, &n, nullptr, nullptr, nullptr), VLM_OKAY);
  Quad q;
  q.row.resize(static_cast<size_t>(n));
  q.col.resize(static_cast<size_t>(n));
  q.val.resize(static_cast<size_t>(n));
  EXPECT_EQ(VLMgetq(m, &n, q.row.data(), q.col.data(), q.val.data()), VLM_OKAY);
  return q;
}

struct Matrix {
  int rows = 0, cols = 0;
  std::vector<int> pos;
  std::vector<double> val;
};

inline Matrix mat_item(VLMmodel* m, const char* name, int i) {
  int nnz = -1;
  EXPECT_EQ(VLMgetmatattrlist(m, name, 1, &i, &nnz, nullptr, nullptr, nullptr, nullptr, nullptr), VLM_OKAY);
  Matrix out;
  int beg = -1;
  out.pos.resize(static_cast<size_t>(nnz));
  out.val.resize(static_cast<size_t>(nnz));
  EXPECT_EQ(VLMgetmatattrlist(m, name, 1, &i, &nnz, &beg, &out.rows, &out.cols, out.pos.data(), out.val.data()),
            VLM_OKAY);
  EXPECT_EQ(beg, 0);
  return out;
}

// The 64 attribute names the library answers.
inline const std::vector<std::string>& attribute_names() {
  static const std::vector<std::string> names = {
      "MinSense", "ModelSense", "HasSolution", "HasPrimalRay", "HasDualRay", "NumVars", "NumConss",
      "NumConstrs", "NumSOS", "NumGenConstrs", "NumEnts", "NumNZs", "SPX/NumIters", "IPM/NumIters",
      "IsInteger", "IISVar", "IISConstr", "IISCol", "IISRow", "ColBasis", "RowBasis", "GenConstrType",
      "Status", "Dim", "NumPsdVars", "NumPsdConstrs", "SolCount", "ObjConst", "ObjCon", "PrimalObjVal",
      "ObjVal", "DualObjVal", "PresolverTime", "SolverTime", "SolutionTime", "MIP/GapAbs", "MIP/GapRel",
      "LB", "UB", "Obj", "LHS", "RHS", "PrimalSoln", "X", "Xn", "Start", "DualSoln", "Activity",
      "ReducedCost", "RC", "PsdCLHS", "PsdCRHS", "ProbName", "ModelName", "RowName", "ConstrName",
      "ColName", "VarName", "PsdVarName", "PsdCName", "GenConstrName", "VType", "PsdX", "PsdObj"};
  return names;
}

// Number of items of an attribute kind.
inline int item_count(VLMmodel* m, int kind) {
  switch (kind) {
    case VLM_ATTRKIND_VAR: return int_attr(m, "NumVars");
    case VLM_ATTRKIND_CONSTR:
    case VLM_ATTRKIND_PSDCONSTR: return int_attr(m, "NumConstrs");
    case VLM_ATTRKIND_SOS: return int_attr(m, "NumSOS");
    case VLM_ATTRKIND_GENCONSTR: return int_attr(m, "NumGenConstrs");
    case VLM_ATTRKIND_PSDVAR: return int_attr(m, "NumPsdVars");
    default: return 0;
  }
}

// Compares one attribute of two models over every item; results that do not
// exist must be refused with the same code in both.
inline void expect_same_attribute(VLMmodel* a, VLMmodel* b, const std::string& name) {
  SCOPED_TRACE(name);
  int type = -1, kind = -1, flag = -1;
  ASSERT_EQ(VLMgetattrinfo(a, name.c_str(), &type, &kind, &flag), VLM_OKAY);
  const char* n = name.c_str();
  if (kind == VLM_ATTRKIND_MODEL) {
    if (type == VLM_ATTRTYPE_INT) {
      int x = 0, y = 0;
      const int ra = VLMgetintattr(a, n, &x), rb = VLMgetintattr(b, n, &y);
      EXPECT_EQ(ra, rb);
      if (ra == 0) {
        EXPECT_EQ(x, y);
      }
    } else if (type == VLM_ATTRTYPE_DOUBLE) {
      double x = 0, y = 0;
      const int ra = VLMgetdblattr(a, n, &x), rb = VLMgetdblattr(b, n, &y);
      EXPECT_EQ(ra, rb);
      if (ra == 0) {
        EXPECT_EQ(x, y);
      }
    } else if (type == VLM_ATTRTYPE_STRING) {
      char *x = nullptr, *y = nullptr;
      ASSERT_EQ(VLMgetstrattr(a, n, &x), VLM_OKAY);
      const std::string sx = x;
      ASSERT_EQ(VLMgetstrattr(b, n, &y), VLM_OKAY);
      EXPECT_EQ(sx, std::string(y));
    }
    return;
  }
  const int count = item_count(a, kind);
  ASSERT_EQ(count, item_count(b, kind));
  std::vector<int> ind(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) ind[static_cast<size_t>(i)] = i;
  if (count == 0) return;
  if (type == VLM_ATTRTYPE_INT) {
    std::vector<int> x(ind.size()), y(ind.size());
    const int ra = VLMgetintattrlist(a, n, count, ind.data(), x.data());
    EXPECT_EQ(ra, VLMgetintattrlist(b, n, count, ind.data(), y.data()));
    if (ra == 0) {
        EXPECT_EQ(x, y);
      }
  } else if (type == VLM_ATTRTYPE_DOUBLE) {
    std::vector<double> x(ind.size()), y(ind.size());
    const int ra = VLMgetdblattrlist(a, n, count, ind.data(), x.data());
    EXPECT_EQ(ra, VLMgetdblattrlist(b, n, count, ind.data(), y.data()));
    if (ra == 0) {
        EXPECT_EQ(x, y);
      }
  } else if (type == VLM_ATTRTYPE_CHAR) {
    std::vector<char> x(ind.size()), y(ind.size());
    ASSERT_EQ(VLMgetcharattrlist(a, n, count, ind.data(), x.data()), VLM_OKAY);
    ASSERT_EQ(VLMgetcharattrlist(b, n, count, ind.data(), y.data()), VLM_OKAY);
    EXPECT_EQ(x, y);
  } else if (type == VLM_ATTRTYPE_STRING) {
    for (int i = 0; i < count; ++i) EXPECT_EQ(str_item(a, n, i), str_item(b, n, i)) << i;
  } else if (type == VLM_ATTRTYPE_MATRIX) {
    for (int i = 0; i < count; ++i) {
      int nnz_a = 0, nnz_b = 0;
      const int ra = VLMgetmatattrlist(a, n, 1, &i, &nnz_a, nullptr, nullptr, nullptr, nullptr, nullptr);
      EXPECT_EQ(ra, VLMgetmatattrlist(b, n, 1, &i, &nnz_b, nullptr, nullptr, nullptr, nullptr, nullptr));
      if (ra != 0) continue;
      const Matrix x = mat_item(a, n, i), y = mat_item(b, n, i);
      EXPECT_EQ(x.rows, y.rows);
      EXPECT_EQ(x.pos, y.pos);
      EXPECT_EQ(x.val, y.val);
    }
  }
}

// Every attribute and every structure the queries show: matrix, quadratic
// terms, SOS and indicator constraints.
inline void expect_same_model(VLMmodel* a, VLMmodel* b) {
  for (const std::string& name : attribute_names()) expect_same_attribute(a, b, name);
  const int m = int_attr(a, "NumConstrs");
  ASSERT_EQ(m, int_attr(b, "NumConstrs"));
  const Csr ra = lines(a, true, 0, m), rb = lines(b, true, 0, m);
  EXPECT_EQ(ra.beg, rb.beg);
  EXPECT_EQ(ra.ind, rb.ind);
  EXPECT_EQ(ra.val, rb.val);
  const Quad qa = quad(a), qb = quad(b);
  EXPECT_EQ(qa.row, qb.row);
  EXPECT_EQ(qa.col, qb.col);
  EXPECT_EQ(qa.val, qb.val);
  const int nsos = int_attr(a, "NumSOS");
  for (int i = 0; i < nsos; ++i) {
    int n1 = 0, t1 = 0, b1 = 0, n2 = 0, t2 = 0, b2 = 0;
    ASSERT_EQ(VLMgetsos(a, &n1, &t1, &b1, nullptr, nullptr, i, 1), VLM_OKAY);
    ASSERT_EQ(VLMgetsos(b, &n2, &t2, &b2, nullptr, nullptr, i, 1), VLM_OKAY);
    ASSERT_EQ(n1, n2);
    EXPECT_EQ(t1, t2);
    std::vector<int> i1(static_cast<size_t>(n1)), i2(static_cast<size_t>(n2));
    std::vector<double> w1(static_cast<size_t>(n1)), w2(static_cast<size_t>(n2));
    ASSERT_EQ(VLMgetsos(a, &n1, &t1, &b1, i1.data(), w1.data(), i, 1), VLM_OKAY);
    ASSERT_EQ(VLMgetsos(b, &n2, &t2, &b2, i2.data(), w2.data(), i, 1), VLM_OKAY);
    EXPECT_EQ(i1, i2);
    EXPECT_EQ(w1, w2);
  }
  const int ngen = int_attr(a, "NumGenConstrs");
  for (int i = 0; i < ngen; ++i) {
    int bv1, bval1, n1, bv2, bval2, n2;
    char s1, s2;
    double r1, r2;
    ASSERT_EQ(VLMgetgenconstrIndicator(a, i, &bv1, &bval1, &n1, nullptr, nullptr, &s1, &r1), VLM_OKAY);
    ASSERT_EQ(VLMgetgenconstrIndicator(b, i, &bv2, &bval2, &n2, nullptr, nullptr, &s2, &r2), VLM_OKAY);
    EXPECT_EQ(bv1, bv2);
    EXPECT_EQ(bval1, bval2);
    EXPECT_EQ(s1, s2);
    EXPECT_EQ(r1, r2);
    ASSERT_EQ(n1, n2);
    std::vector<int> c1(static_cast<size_t>(n1)), c2(static_cast<size_t>(n2));
    std::vector<double> v1(static_cast<size_t>(n1)), v2(static_cast<size_t>(n2));
    ASSERT_EQ(VLMgetgenconstrIndicator(a, i, &bv1, &bval1, &n1, c1.data(), v1.data(), &s1, &r1), VLM_OKAY);
    ASSERT_EQ(VLMgetgenconstrIndicator(b, i, &bv2, &bval2, &n2, c2.data(), v2.data(), &s2, &r2), VLM_OKAY);
    EXPECT_EQ(c1, c2);
    EXPECT_EQ(v1, v2);
  }
}

inline std::string temp_path(const std::string& name) { return ::testing::TempDir() + "velmor_" + name; }

inline ModelPtr read_model(VLMenv* env, const std::string& path, int expected = VLM_OKAY) {
  VLMmodel* m = nullptr;
  EXPECT_EQ(VLMreadmodel(env, path.c_str(), &m), expected) << path;
  return ModelPtr(m);
}

// Writes `m` to `path`, reads it back and compares every attribute.
inline void expect_round_trip(VLMenv* env, VLMmodel* m, const std::string& path) {
  SCOPED_TRACE(path);
  ASSERT_EQ(VLMwrite(m, path.c_str()), VLM_OKAY);
  ModelPtr back = read_model(env, path);
  ASSERT_NE(back, nullptr);
  expect_same_model(m, back.get());
  std::remove(path.c_str());
}

inline std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void write_text(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

}  // namespace vlmtest
