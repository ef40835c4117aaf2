// Times one solve of an MPS file, either through VLMoptimize or by CLP/CBC
// run directly, and prints "seconds objective". Reading the file is not
// timed. Built and driven by bench_solve.py.
//   bench_solve ours FILE [Param=value ...]
//   bench_solve clp FILE          (ClpSimplex::initialSolve, default options)
//   bench_solve cbc FILE          (CbcMain1 "-solve", CBC's defaults)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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
  VLMgetdblattr(model, "ObjVal", &obj);
  std::printf("%.3f %.10g\n", t1 - t0, obj);
  VLMfreemodel(model);
  VLMfreeenv(env);
  return rc == VLM_OKAY ? 0 : 4;
}

int run_clp(const char* file) {
  ClpSimplex simplex;
  simplex.setLogLevel(0);
  if (simplex.readMps(file, true) != 0) return 2;
  ClpSolve options;
  options.setSpecialOption(2, 1);
  const double t0 = now();
  simplex.initialSolve(options);
  const double t1 = now();
  std::printf("%.3f %.10g\n", t1 - t0, simplex.objectiveValue());
  return simplex.status() == 0 ? 0 : 4;
}

int run_cbc(const char* file) {
  OsiClpSolverInterface solver;
  solver.messageHandler()->setLogLevel(0);
  solver.getModelPtr()->setLogLevel(0);
  // CLP's reader, as for the LP; the integer markers come with it.
  ClpSimplex* clp = solver.getModelPtr();
  if (clp->readMps(file, true) != 0) return 2;
  for (int j = 0; j < clp->numberColumns(); ++j)
    if (clp->isInteger(j)) solver.setInteger(j);
  CbcModel model(solver);
  CbcSolverUsefulData data;
  CbcMain0(model, data);
  const char* argv[] = {"cbc", "-log", "0", "-solve", "-quit"};
  const double t0 = now();
  CbcMain1(5, argv, model, nullptr, data);
  const double t1 = now();
  std::printf("%.3f %.10g\n", t1 - t0, model.getObjValue());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 1;
  if (!std::strcmp(argv[1], "ours")) return run_ours(argv[2], argc - 3, argv + 3);
  if (!std::strcmp(argv[1], "clp")) return run_clp(argv[2]);
  if (!std::strcmp(argv[1], "cbc")) return run_cbc(argv[2]);
  return 1;
}
