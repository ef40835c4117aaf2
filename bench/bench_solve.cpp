// Times one solve of an MPS file, either through VLMoptimize or by CLP/CBC
// run directly, and prints "seconds objective iterations status" (simplex
// iterations, 0 for CBC; the status as velmor.h numbers it, CLP's mapped to
// it, 0 for CBC). Reading the file is not timed. Built and driven by
// bench_solve.py and bench_lp.py.
//   bench_solve ours FILE [Param=value ...]
//   bench_solve clp FILE          (ClpSimplex::initialSolve, default options)
//   bench_solve clp-same FILE     (the same, on the numbers libvelmor read)
//   bench_solve cbc FILE [SECONDS] (CbcMain1 "-solve", CBC's defaults; with
//                                  SECONDS, "-sec SECONDS" before it)
//   bench_solve cbc-same FILE [SECONDS] (the same, on the numbers libvelmor read)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <CbcModel.hpp>
#include <CbcSolver.hpp>
#include <ClpSimplex.hpp>
#include <ClpSolve.hpp>
#include <OsiClpSolverInterface.hpp>

#include "velmor.h"

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int run_ours(const char* file, int argc, char** argv) {
  VLMenv* env = nullptr;
  VLMemptyenv(&env);
  VLMmodel* model = nullptr;
  if (VLMreadmodel(env, file, &model) != VLM_OKAY) return 2;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    const size_t eq = a.find('=');
    const std::string name = a.substr(0, eq), value = a.substr(eq + 1);
    if (VLMsetintparam(VLMgetenv(model), name.c_str(), std::atoi(value.c_str())) != VLM_OKAY &&
        VLMsetdblparam(VLMgetenv(model), name.c_str(), std::atof(value.c_str())) != VLM_OKAY)
      return 3;
  }
  const double t0 = now();
  const int rc = VLMoptimize(model);
  const double t1 = now();
  double obj = 0;
  int iterations = 0, status = 0;
  VLMgetdblattr(model, "ObjVal", &obj);
  VLMgetintattr(model, "SPX/NumIters", &iterations);
  VLMgetintattr(model, "Status", &status);
  std::printf("%.3f %.10g %d %d\n", t1 - t0, obj, iterations, status);
  VLMfreemodel(model);
  VLMfreeenv(env);
  return rc == VLM_OKAY ? 0 : 4;
}

// Loads what VLMreadmodel made of `file` (columns, rows, bounds, objective)
// into `simplex`. CLP's MPS reader rounds some decimals to a neighbouring
// double, which gives its simplex another path.
int load_as_read(const char* file, ClpSimplex& simplex, std::vector<char>* types = nullptr) {
  VLMenv* env = nullptr;
  VLMemptyenv(&env);
  VLMmodel* model = nullptr;
  if (VLMreadmodel(env, file, &model) != VLM_OKAY) return 2;
  int n = 0, m = 0, nnz = 0, sense = 1;
  VLMgetintattr(model, "NumVars", &n);
  VLMgetintattr(model, "NumConstrs", &m);
  VLMgetintattr(model, "ModelSense", &sense);
  std::vector<double> lb(n), ub(n), obj(n), lhs(m), rhs(m);
  std::vector<int> all(std::max(n, m));
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
  VLMgetdblattrlist(model, "LB", n, all.data(), lb.data());
  VLMgetdblattrlist(model, "UB", n, all.data(), ub.data());
  VLMgetdblattrlist(model, "Obj", n, all.data(), obj.data());
  VLMgetdblattrlist(model, "LHS", m, all.data(), lhs.data());
  VLMgetdblattrlist(model, "RHS", m, all.data(), rhs.data());
  VLMgetvars(model, &nnz, nullptr, nullptr, nullptr, 0, n);
  std::vector<int> beg(n + 1), ind(nnz);
  std::vector<double> val(nnz);
  VLMgetvars(model, &nnz, beg.data(), ind.data(), val.data(), 0, n);
  beg[n] = nnz;
  for (auto* v : {&lb, &ub, &lhs, &rhs})
    for (double& x : *v)
      if (x >= VLM_INFINITY || x <= -VLM_INFINITY) x = x > 0 ? COIN_DBL_MAX : -COIN_DBL_MAX;
  simplex.loadProblem(n, m, beg.data(), ind.data(), val.data(), lb.data(), ub.data(), obj.data(), lhs.data(),
                      rhs.data());
  simplex.setOptimizationDirection(sense);
  if (types) {
    types->resize(n);
    VLMgetcharattrlist(model, "VType", n, all.data(), types->data());
  }
  VLMfreemodel(model);
  VLMfreeenv(env);
  return 0;
}

int run_clp(const char* file, bool as_read) {
  ClpSimplex simplex;
  simplex.setLogLevel(0);
  if ((as_read ? load_as_read(file, simplex) : simplex.readMps(file, true)) != 0) return 2;
  ClpSolve options;
  options.setSpecialOption(2, 1);
  const double t0 = now();
  simplex.initialSolve(options);
  const double t1 = now();
  const int status = simplex.status() == 0   ? VLM_STATUS_OPTIMAL
                     : simplex.status() == 1 ? VLM_STATUS_INFEASIBLE
                     : simplex.status() == 2 ? VLM_STATUS_UNBOUNDED
                                             : VLM_STATUS_UNKNOWN;
  std::printf("%.3f %.10g %d %d\n", t1 - t0, simplex.objectiveValue(), simplex.numberIterations(), status);
  return simplex.status() == 0 ? 0 : 4;
}

int run_cbc(const char* file, const char* seconds, bool as_read) {
  OsiClpSolverInterface solver;
  solver.messageHandler()->setLogLevel(0);
  solver.getModelPtr()->setLogLevel(0);
  // CLP's reader, as for the LP; the integer markers come with it.
  ClpSimplex* clp = solver.getModelPtr();
  std::vector<char> types;
  if ((as_read ? load_as_read(file, *clp, &types) : clp->readMps(file, true)) != 0) return 2;
  for (int j = 0; j < clp->numberColumns(); ++j)
    if (as_read ? types[j] != 'C' : clp->isInteger(j)) solver.setInteger(j);
  CbcModel model(solver);
  CbcSolverUsefulData data;
  CbcMain0(model, data);
  std::vector<const char*> argv = {"cbc", "-log", "0"};
  if (seconds) argv.insert(argv.end(), {"-sec", seconds});
  argv.insert(argv.end(), {"-solve", "-quit"});
  const double t0 = now();
  CbcMain1(static_cast<int>(argv.size()), argv.data(), model, nullptr, data);
  const double t1 = now();
  std::printf("%.3f %.10g 0 0\n", t1 - t0, model.getObjValue());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 1;
  if (!std::strcmp(argv[1], "ours")) return run_ours(argv[2], argc - 3, argv + 3);
  if (!std::strcmp(argv[1], "clp")) return run_clp(argv[2], false);
  if (!std::strcmp(argv[1], "clp-same")) return run_clp(argv[2], true);
  if (!std::strcmp(argv[1], "cbc")) return run_cbc(argv[2], argc > 3 ? argv[3] : nullptr, false);
  if (!std::strcmp(argv[1], "cbc-same")) return run_cbc(argv[2], argc > 3 ? argv[3] : nullptr, true);
  return 1;
}
