// Library-side timings, each against a reference measured in the same run.
// Built and driven by bench_library.py.
//   bench_library read FILE     VLMreadmodel against CLP's own MPS reader (best of 4 each)
//   bench_library addvar N      N calls of VLMaddvar (no coefficients, a name each) against
//                               one VLMaddvars call adding the same N variables
//   bench_library rename N      at N named variables: VarName of one variable written, then
//                               VLMgetvarbyname of its new name; against a look-up alone
//   bench_library attr N        N VLMgetattrinfo calls naming the table's last attribute
//                               against N naming its first
// Each prints "label ours reference ratio" lines (seconds or ns per call).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <ClpSimplex.hpp>

#include "velmor.h"

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void report(const char* label, double ours, double reference, const char* unit) {
  std::printf("%-44s %12.3f %12.3f %s  ratio %.2f\n", label, ours, reference, unit, ours / reference);
}

double read_ours(const char* file) {
  VLMenv* env = nullptr;
  VLMemptyenv(&env);
  VLMmodel* model = nullptr;
  const double t0 = now();
  const int rc = VLMreadmodel(env, file, &model);
  const double t = now() - t0;
  VLMfreemodel(model);
  VLMfreeenv(env);
  return rc == VLM_OKAY ? t : -1;
}

double read_clp(const char* file) {
  ClpSimplex simplex;
  simplex.setLogLevel(0);
  const double t0 = now();
  return simplex.readMps(file, true) == 0 ? now() - t0 : -1;
}

// Best of four each, the two readers taking turns to go first (which one
// finds the heap warm from the other changes their times).
int bench_read(const char* file) {
  double ours = 1e100, clp = 1e100;
  for (int round = 0; round < 4; ++round) {
    const double a = round % 2 ? read_clp(file) : read_ours(file);
    const double b = round % 2 ? read_ours(file) : read_clp(file);
    const double o = round % 2 ? b : a, c = round % 2 ? a : b;
    if (o < 0 || c < 0) return 2;
    ours = std::min(ours, o);
    clp = std::min(clp, c);
  }
  report("VLMreadmodel vs ClpSimplex::readMps", ours, clp, "s");
  return 0;
}

std::vector<std::string> names_for(int n) {
  std::vector<std::string> names;
  names.reserve(static_cast<size_t>(n));
  for (int j = 0; j < n; ++j) names.push_back("x" + std::to_string(j));
  return names;
}

int bench_addvar(int n) {
  const std::vector<std::string> names = names_for(n);
  std::vector<const char*> cnames;
  for (const std::string& s : names) cnames.push_back(s.c_str());
  VLMenv* env = nullptr;
  VLMemptyenv(&env);
  double ours = 1e100, batch = 1e100;
  for (int round = 0; round < 3; ++round) {
    VLMmodel* model = nullptr;
    VLMnewmodel(env, &model, "m", 0, nullptr, nullptr, nullptr, nullptr, nullptr);
    double t0 = now();
    for (int j = 0; j < n; ++j)
      if (VLMaddvar(model, 0, nullptr, nullptr, 1.0, 0.0, 10.0, 'C', cnames[static_cast<size_t>(j)]) != VLM_OKAY)
        return 2;
    ours = std::min(ours, (now() - t0) / n * 1e9);
    VLMfreemodel(model);
    VLMnewmodel(env, &model, "m", 0, nullptr, nullptr, nullptr, nullptr, nullptr);
    std::vector<double> obj(static_cast<size_t>(n), 1.0), lb(static_cast<size_t>(n), 0.0),
        ub(static_cast<size_t>(n), 10.0);
    t0 = now();
    VLMaddvars(model, n, 0, nullptr, nullptr, nullptr, obj.data(), lb.data(), ub.data(), nullptr, cnames.data());
    batch = std::min(batch, (now() - t0) / n * 1e9);
    VLMfreemodel(model);
  }
  VLMfreeenv(env);
  report("VLMaddvar per call vs VLMaddvars per variable", ours, batch, "ns");
  return 0;
}

int bench_rename(int n) {
  const std::vector<std::string> names = names_for(n);
  std::vector<const char*> cnames;
  for (const std::string& s : names) cnames.push_back(s.c_str());
  VLMenv* env = nullptr;
  VLMemptyenv(&env);
  VLMmodel* model = nullptr;
  VLMnewmodel(env, &model, "m", n, nullptr, nullptr, nullptr, nullptr, cnames.data());
  int index = -1;
  VLMgetvarbyname(model, "x0", &index);  // the index is built once before timing
  const int rounds = 20;
  double t0 = now();
  for (int r = 0; r < rounds; ++r) {
    const int j = (r * 7919) % n;
    const std::string fresh = "renamed" + std::to_string(r);
    const char* value = fresh.c_str();
    if (VLMsetstrattrlist(model, "VarName", 1, &j, &value) != VLM_OKAY) return 2;
    if (VLMgetvarbyname(model, value, &index) != VLM_OKAY || index != j) return 3;
  }
  const double ours = (now() - t0) / rounds * 1e6;
  t0 = now();
  for (int r = 0; r < rounds; ++r) VLMgetvarbyname(model, cnames[static_cast<size_t>((r * 104729) % n)], &index);
  const double lookup = (now() - t0) / rounds * 1e6;
  char label[80];
  std::snprintf(label, sizeof label, "rename + look-up vs look-up (%d vars)", n);
  report(label, ours, lookup, "us");
  VLMfreemodel(model);
  VLMfreeenv(env);
  return 0;
}

int bench_attr(int n) {
  VLMenv* env = nullptr;
  VLMemptyenv(&env);
  VLMmodel* model = nullptr;
  VLMnewmodel(env, &model, "m", 10, nullptr, nullptr, nullptr, nullptr, nullptr);
  int type = 0;
  double t0 = now();
  for (int k = 0; k < n; ++k) VLMgetattrinfo(model, "psdobj", &type, nullptr, nullptr);  // the table's last
  const double ours = (now() - t0) / n * 1e9;
  t0 = now();
  for (int k = 0; k < n; ++k) VLMgetattrinfo(model, "minsense", &type, nullptr, nullptr);  // its first
  const double first = (now() - t0) / n * 1e9;
  report("VLMgetattrinfo, last name vs first name", ours, first, "ns");
  VLMfreemodel(model);
  VLMfreeenv(env);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 1;
  if (!std::strcmp(argv[1], "read")) return bench_read(argv[2]);
  if (!std::strcmp(argv[1], "addvar")) return bench_addvar(std::atoi(argv[2]));
  if (!std::strcmp(argv[1], "rename")) return bench_rename(std::atoi(argv[2]));
  if (!std::strcmp(argv[1], "attr")) return bench_attr(std::atoi(argv[2]));
  return 1;
}
