// Linear models with a discrete part, solved by CBC's standard driver
// (CbcMain0/CbcMain1: preprocessing, cuts, heuristics, threads), entered
// without its SIGINT handler. The driver keeps state in file-static
// variables, so only one CBC run is in it at a time (cbc_entry).
//
// The model reaches CBC always minimised (SolverModel), so every objective
// and bound CBC reports, also inside its events, is sense * the user's
// objective without the constant. Results are read after the driver put the
// solutions back into the model's own columns (preprocessing renumbers
// them); objectives are recomputed from the solutions.
//
// Parameters: MaxTime (elapsed time), MIP/MaxNodes, MIP/MaxSols,
// MIP/GapAbs, MIP/GapRel, MIP/Cutoff, MIP/IntegerTolerance,
// MIP/ObjectiveTolerance (the least improvement of a new incumbent),
// MIP/SolutionPoolSize, NumThreads, Presolve (0: no preprocessing, no LP
// presolve), SPX/PrimalTolerance, SPX/DualTolerance, MIP/LevelCuts,
// MIP/LevelProbing, MIP/LevelHeurs, MIP/LevelStrong, MIP/LevelSubmip,
// MIP/RootParallelism, MIP/AutoConfiguration map onto the driver's options
// when they differ from their defaults (see driver_args for the few always
// passed; models with SOS sets are never preprocessed); Method chooses the
// simplex of the root relaxation; MIP/MaxStallingNodes is counted by our
// event handler. Features that crash in Debian's CBC 2.10 are changed on
// the way (a log line says so where a setting is concerned): the restart
// before the root node (-strategy 2; cbc_stage), parallel root passes
// (driver_args), pseudo-cost branching and probing on models with SOS sets
// (cbc_stage, driver_args), OsiClp's crunch (cbc_stage); a MIP start names
// no columns (pass_mip_start). Every verdict is checked (mip_verdicts.hpp),
// which may take a second search (CbcSearch).
#include "mip/cbc_solver.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <CbcEventHandler.hpp>
#include <CbcModel.hpp>
#include <CbcSOS.hpp>
#include <CbcSolver.hpp>
#include <CbcTree.hpp>
#include <ClpSimplex.hpp>
#include <ClpSolve.hpp>
#include <CoinFinite.hpp>
#include <CoinPackedMatrix.hpp>
#include <CoinWarmStart.hpp>
#include <OsiClpSolverInterface.hpp>

#include "mip/mip_verdicts.hpp"
#include "core/text_util.hpp"
#include "solve/qp_data.hpp"

class CglPreProcess;

// The driver's argument reader and preprocessing keep these globals (CBC's
// own); a paused run puts them back before it goes on.
extern int CbcOrClpRead_mode;
extern int CbcOrClpEnvironmentIndex;
extern FILE* CbcOrClpReadCommand;
extern CglPreProcess* cbcPreProcessPointer;

namespace velmor {

namespace {

std::mutex cbc_entry;

// The run inside CbcMain1, for its stage callback (which takes no user
// data). Written and read only under cbc_entry.
struct StageState {
  RunControl* run = nullptr;
  CbcHooks* hooks = nullptr;
  int columns = 0;  // of the model handed to the driver
  bool sos = false;  // the model has SOS sets
  bool unprocessed = false;  // the search goes without CGL's preprocessing
  double after_root = -1, after_preprocess = -1;
  CbcRootBasis* keep_root = nullptr;  // a first search's root basis goes here
  const CbcModel* searched = nullptr;  // the model the search runs on, from just before it starts
  // The searched model's counts, read after its search (the driver does not
  // copy them back to the model it was given where it preprocessed it).
  int nodes = -1, iterations = -1, strong_iterations = -1;
};
StageState* current_stage = nullptr;

constexpr unsigned kNoCrunch = 2048;  // OsiClpSolverInterface's special options
constexpr unsigned kKeepWorkRegions = 1;

int cbc_stage(CbcModel* model, int where_from) {
  StageState& st = *current_stage;
  switch (where_from) {
    case 1:
      st.after_root = st.run->elapsed();
      if (st.keep_root) st.keep_root->basis.reset(model->solver()->getWarmStart());
      break;
    case 2: st.after_preprocess = st.run->elapsed(); break;
    case 3:
      st.searched = model;
      if (st.hooks) st.hooks->before_search(*model);
      // CBC's restart on a reduced model before the root (-strategy 2,
      // CbcModel::saveModel) deletes the solver copy that branchAndBound goes
      // on to use and delete again: the restart after the root, CBC's
      // default, takes its place.
      if (model->specialOptions() & 32768) {
        model->setSpecialOptions((model->specialOptions() & ~32768) | 512);
        st.run->log.line("MIP/AutoConfiguration: CBC's restart on a reduced model is tried after the root "
                         "instead of before it");
      }
      // CBC's pseudo-cost branching (chooseDynamicBranch) reads the node it
      // branches on after it has let go of it, when strong branching fixed a
      // column and the choice is made again once a solution exists or many
      // nodes are done: with SOS sets that happens within a few thousand
      // nodes. Their searches branch by strong branching alone
      // (chooseBranch), as CBC does for objects its pseudo costs cannot take.
      if (st.sos) model->setNumberBeforeTrust(0);
      // OsiClp's crunched copies of a node's LP (its crunch, and the hot
      // start of strong branching, markHotStart) check their row map
      // against the larger of the LP's row and column counts, and its marker
      // of a row with two active columns is 2: on an LP of at most two rows
      // and two columns a row left behind by the crunch fails that check,
      // whatever the bounds. Such searches (cuts only add rows) go without
      // either. Every search without preprocessing goes without the crunch
      // too: each assertion met so far was met there, and such searches are
      // the callback road's, the confirming ones and small models'.
      // Elsewhere both stay, as in CBC's own runs (without the crunch
      // enigma's search took fifteen times as long).
      if (auto* clp = dynamic_cast<OsiClpSolverInterface*>(model->solver())) {
        const bool tiny = clp->getNumRows() <= 2 && clp->getNumCols() <= 2;
        if (tiny || st.unprocessed) clp->setSpecialOptions((clp->specialOptions() | kNoCrunch) & ~kKeepWorkRegions);
        if (tiny) {
          model->setNumberStrong(0);
          model->setNumberBeforeTrust(0);
        }
      }
      break;
    case 4:
      st.nodes = model->getNodeCount();
      st.iterations = model->getIterationCount();
      st.strong_iterations = model->numberStrongIterations();
      // After the search, the driver copies the searched model's extra
      // solutions into the original model sized by the original column count
      // (reading past their end when preprocessing removed columns) before it
      // maps them back properly. Then only the incumbent is kept, which the
      // driver maps back itself.
      if (model->getNumCols() != st.columns)
        while (model->numberSavedSolutions() > 1) model->deleteSavedSolution(model->numberSavedSolutions() - 1);
      break;
    default: break;
  }
  return 0;
}

// A search's work (RunStats::work) from its counts: a node costs at least
// its own bookkeeping where its relaxation takes no pivot.
long long search_work(long long nodes, long long iterations, long long strong_iterations) {
  return nodes + iterations + strong_iterations;
}
long long work_done(CbcModel& model) {
  return search_work(model.getNodeCount(), model.getIterationCount(), model.numberStrongIterations());
}

// Shared by the event handler and CBC's copies of it.
struct CbcRunState {
  RunControl* run;
  const SolverModel* sm;
  int stall_limit;  // MIP/MaxStallingNodes; -1 for none
  CbcHooks* hooks;
  double work_budget;  // CbcSearch::work
  const CbcModel* const* searched = nullptr;  // StageState::searched
  std::mutex mutex;
  bool budget_spent = false;  // the search was stopped for its own budget
  int last_improvement_node = 0;
  double incumbent = COIN_DBL_MAX;
  double next_progress = 5.0;  // run clock of the next progress line
  double last_line = -1e9;
};

std::string user_value(const CbcRunState& st, double min_value) {
  if (std::fabs(min_value) >= 1e50) return "-";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.10g", st.sm->sense * min_value + st.sm->obj_const);
  return buf;
}

std::string gap_text(double incumbent, double bound) {
  if (std::fabs(incumbent) >= 1e50 || std::fabs(bound) >= 1e50) return "-";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f%%", 100.0 * std::fabs(incumbent - bound) / std::max(1e-10, std::fabs(incumbent)));
  return buf;
}

class CbcRunHandler : public CbcEventHandler {
 public:
  explicit CbcRunHandler(CbcRunState* state) : state_(state) {}
  CbcEventHandler* clone() const override { return new CbcRunHandler(*this); }

  CbcAction event(CbcEvent which) override {
    const CbcAction own = limits(which);
    if (own == stop || !state_->hooks) return own;
    const int hook = state_->hooks->on_event(*model_, which);
    return hook == noAction ? own : static_cast<CbcAction>(hook);
  }
  // Events that come with data (heuristics' passes and sub-searches) are
  // answered the same way; the data is left as it is.
  CbcAction event(CbcEvent which, void*) override { return event(which); }

 private:
  // The run's limits, stalling count and progress lines. A line is written
  // after the state's mutex is released: the log's line sink may wait for
  // its host, and another search thread may want the mutex meanwhile.
  CbcAction limits(CbcEvent which) {
    std::string line;
    const CbcAction action = limits(which, line);
    if (!line.empty()) state_->run->log.line(line);
    return action;
  }

  CbcAction limits(CbcEvent which, std::string& line) {
    CbcRunState& st = *state_;
    RunControl& run = *st.run;
    switch (which) {
      case solution:
      case heuristicSolution: {
        std::lock_guard<std::mutex> lock(st.mutex);
        const double value = model_->getMinimizationObjValue();
        if (value < st.incumbent) {
          st.incumbent = value;
          st.last_improvement_node = model_->getNodeCount();
          const double now = run.elapsed();
          if (now - st.last_line >= 1.0) line = progress(now, "new incumbent");
        }
        return noAction;
      }
      case node:
      case treeStatus: {
        if (run.should_stop()) return stop;
        std::lock_guard<std::mutex> lock(st.mutex);
        if (static_cast<double>(work_done(*model_)) >= st.work_budget) {
          // (A heuristic's sub-search counts its work apart: stopped, it
          // leaves the search going on, which may yet end complete.)
          if (st.searched && *st.searched == model_) st.budget_spent = true;
          return stop;
        }
        if (st.stall_limit >= 0 && model_->getNodeCount() - st.last_improvement_node >= st.stall_limit) {
          run.stop(VLM_ERROR_ABORT_STALLING_NODE_LIMIT);
          return stop;
        }
        const double now = run.elapsed();
        if (now >= st.next_progress) {
          line = progress(now, "");
          st.next_progress = now + 5.0;
        }
        return noAction;
      }
      default: return noAction;
    }
  }

  // A progress line; called with the state's mutex held.
  std::string progress(double now, const char* note) {
    CbcRunState& st = *state_;
    const double bound = model_->getBestPossibleObjValue();
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, "%9d nodes %8d open  incumbent %-16s bound %-16s gap %-8s %s %s",
                  model_->getNodeCount(), model_->tree() ? model_->tree()->size() : 0,
                  user_value(st, st.incumbent).c_str(), user_value(st, bound).c_str(),
                  gap_text(st.incumbent, bound).c_str(), format_seconds(now).c_str(), note);
    st.last_line = now;
    return buffer;
  }
  CbcRunState* state_;
};

// The most the driver's -threads takes as a count of threads.
constexpr int kMaxCbcThreads = 99;
// The most root passes a run makes: they run one after another (see
// driver_args), each taking about as long as the root node itself.
constexpr int kMaxRootPasses = 8;

class Args {
 public:
  Args() { add("velmor"); }
  void add(std::string a) { items_.push_back(std::move(a)); }
  void add(const char* option, const std::string& value) {
    add(option);
    add(value);
  }
  void add_number(const char* option, double value) { add(option, format_double(value)); }
  std::vector<const char*> argv() const {
    std::vector<const char*> out;
    for (const std::string& s : items_) out.push_back(s.c_str());
    return out;
  }

 private:
  std::vector<std::string> items_;
};

// Whether parameter `id` differs from its default: only then is CBC told,
// so that parameters left alone leave CBC's own choices in force (its
// tolerances of 1e-7, and an objective increment it derives from the
// objective's coefficients, which a fixed one replaces).
bool user_set(const ParamValues& p, int id) { return p.get(id) != param_info(id).def; }

// Whether a first search of `sm` goes without CGL's preprocessing: with
// Presolve 0, and where CGL fails (see driver_args).
bool cbc_first_search_unprocessed(const SolverModel& sm, const ParamValues& p) {
  return p.get_int(kPresolve) == 0 || !sm.sos.empty() || sm.has_value_beyond_probing();
}

// Whether this search goes without CGL's preprocessing: a plain search (a
// callback's), a second search, or a first one CGL cannot take.
bool searched_unprocessed(const SolverModel& sm, const ParamValues& p, bool plain, const CbcSearch& search) {
  return plain || search.second || cbc_first_search_unprocessed(sm, p);
}

// A first search without CGL's preprocessing gives each integer column
// unbounded on a side a stand-in bound there, as the preprocessing gives
// such columns bounds of its own: without one CBC's cut generators derive
// nothing from the column's rows, and its probing and strong branching do
// not take it (driver_args), so that a search over such columns has branched
// for ever where the same model with preprocessing ended in four nodes. The
// stand-in is 10^4 times the model's own scale (its largest coefficient, and
// the least power of ten that no bound, side or value the rows imply
// exceeds: SolverModel::has_value_beyond), up to kIntegerStandIn; a model
// whose scale is beyond a ten-thousandth of that gets none. (The search's
// optimum may then lie at a stand-in, where the model has an integral
// direction along which the objective does not change.) The verdict is
// checked on the model's own bounds as the preprocessed search's is: the
// relaxation's directions, and the second searches, which go without
// stand-ins. Not with SOS sets (indicators among them), which CGL does not
// preprocess either: there an indicator model the callback road had solved
// at its root branched to MaxTime. The stand-in, or 0 for none.
double stand_in_bound(const SolverModel& sm, const ParamValues& p, bool plain, const CbcSearch& search) {
  if (search.second || !searched_unprocessed(sm, p, plain, search) || !sm.has_unbounded_integer() || !sm.sos.empty())
    return 0;
  constexpr double kReach = 1e4;
  double scale = 1;
  for (double a : sm.value) scale = std::max(scale, std::fabs(a));
  if (scale > kIntegerStandIn / kReach) return 0;
  // The least power of ten from the scale up that nothing exceeds, by
  // bisection (each test propagates the rows' bounds).
  int low = 0, high = static_cast<int>(std::lround(std::log10(kIntegerStandIn / kReach)));
  while (std::pow(10.0, low) < scale) ++low;
  if (sm.has_value_beyond(std::pow(10.0, high))) return 0;
  while (low < high) {
    const int mid = (low + high) / 2;
    if (sm.has_value_beyond(std::pow(10.0, mid)))
      low = mid + 1;
    else
      high = mid;
  }
  return kReach * std::pow(10.0, high);
}

// The search's cutoff (minimised sense, without the objective's constant):
// its own and MIP/Cutoff's, the smaller.
double search_cutoff(const SolverModel& sm, const ParamValues& p, const CbcSearch& search) {
  const double user_cutoff = p.get(kMipCutoff);
  return std::min(search.cutoff,
                  std::fabs(user_cutoff) < VLM_INFINITY ? sm.sense * (user_cutoff - sm.obj_const) : COIN_DBL_MAX);
}

// CBC's search of an objective that is zero everywhere has failed CLP's
// assertion (lowerValue <= upperValue) in a node's resolve, on an
// infeasible model of integers and an indicator without preprocessing;
// under a cost on one column bounded on both sides, which keeps every
// relaxation bounded, it has not. Under a zero objective every point is
// optimal, so the search may go under that cost as long as its first point
// is final (the gaps, driver_args) and nothing else reads its objective: no
// callback, and no cutoff that some point could fail (a cutoff above 0
// every point beats; one at or below 0 ends the search at its root). The
// column given the cost, or -1 where the search keeps its objective.
int feasibility_cost_column(const SolverModel& sm, const ParamValues& p, const CbcSearch& search,
                            const CbcHooks* hooks) {
  if (hooks || sm.has_quad() || search_cutoff(sm, p, search) <= 0) return -1;
  if (std::any_of(sm.obj.begin(), sm.obj.end(), [](double c) { return c != 0; })) return -1;
  for (int j = 0; j < sm.num_cols(); ++j) {
    const size_t k = static_cast<size_t>(j);
    if (sm.col_lb[k] > -COIN_DBL_MAX && sm.col_ub[k] < COIN_DBL_MAX) return j;
  }
  return -1;
}

// The driver's options for the run's parameters. Beyond the parameters the
// user set, the driver is told what the library's results depend on: the
// gaps (MIP/GapAbs and MIP/GapRel are the documented stopping rule, where
// CBC's own is to close the gap entirely), the size of the solution pool
// (Xn, SolCount), a quiet log, and no preprocessing where CGL fails. Each
// step adds its options in the order the driver's line in the log lists them.
class DriverArgs {
 public:
  DriverArgs(const SolverModel& sm, RunControl& run, bool plain, const CbcSearch& search, bool first_point_final,
             bool stand_ins)
      : sm_(sm),
        run_(run),
        p_(run.params),
        plain_(plain),
        search_(search),
        first_point_final_(first_point_final),
        unbounded_integer_(sm.has_unbounded_integer() && !stand_ins) {}

  Args build() {
    a_.add("-log", "0");
    time_limit();
    limits_and_tolerances();
    threads();
    preprocessing_and_cuts();
    heuristics();
    branching();
    sub_searches();
    root_passes();
    if (p_.get_int(kMipAutoConfiguration) == 1) a_.add("-strategy", "2");
    a_.add("-solve");
    a_.add("-quit");
    return std::move(a_);
  }

 private:
  // The driver's limit is the run's wall clock (a search's own budget is
  // counted in work by the event handler).
  void time_limit() {
    if (run_.remaining() < COIN_DBL_MAX) {
      a_.add("-timeMode", "elapsed");
      a_.add_number("-seconds", run_.remaining());
    }
  }

  // The limits on nodes and solutions, the pool's size, the gaps, the
  // tolerances the user set and the cutoff.
  void limits_and_tolerances() {
    const ParamValues& p = p_;
    if (p.get_int(kMipMaxNodes) < INT_MAX) a_.add("-maxNodes", std::to_string(p.get_int(kMipMaxNodes)));
    if (p.get_int(kMipMaxSols) < INT_MAX)
      a_.add("-maxSolutions", std::to_string(std::max(1, p.get_int(kMipMaxSols))));
    a_.add("-maxSavedSolutions", std::to_string(p.get_int(kMipSolutionPoolSize)));
    a_.add_number("-allowableGap",
                  first_point_final_ || p.get(kMipGapAbs) >= VLM_INFINITY ? 1e100 : p.get(kMipGapAbs));
    a_.add_number("-ratioGap", first_point_final_ || p.get(kMipGapRel) >= VLM_INFINITY ? 1e100 : p.get(kMipGapRel));
    if (user_set(p, kMipIntegerTolerance)) a_.add_number("-integerTolerance", p.get(kMipIntegerTolerance));
    if (user_set(p, kMipObjectiveTolerance)) a_.add_number("-increment", p.get(kMipObjectiveTolerance));
    if (user_set(p, kSpxPrimalTolerance)) a_.add_number("-primalTolerance", p.get(kSpxPrimalTolerance));
    if (user_set(p, kSpxDualTolerance)) a_.add_number("-dualTolerance", p.get(kSpxDualTolerance));
    const double cutoff = search_cutoff(sm_, p, search_);
    if (cutoff < COIN_DBL_MAX && !first_point_final_) a_.add_number("-cutoff", cutoff);
  }

  // The driver reads -threads as 100 * mode + count: more than 99 threads
  // would switch to another threading mode.
  void threads() {
    const int threads = std::min(p_.get_int(kNumThreads), kMaxCbcThreads);
    if (!plain_ && threads > 1) a_.add("-threads", std::to_string(threads));
    if (!plain_ && p_.get_int(kNumThreads) > kMaxCbcThreads)
      run_.log.linef("NumThreads: CBC's search runs on %d threads", kMaxCbcThreads);
  }

  // CGL's preprocessing aborts the process (a failed assertion) when a pass
  // removes columns of a model with SOS sets, as when one of them is fixed:
  // models with SOS (indicators and semi-continuous variables among them)
  // go without it.
  // CGL's probing (a cut generator, and a pass of the preprocessing) asserts
  // on values beyond 2^53 (SolverModel::has_value_beyond_probing), and on
  // models with SOS sets it tightens a member's lower bound above 0, on
  // which CBC's check of a solution stops the process (an assertion in
  // CbcSOS::feasibleRegion). Searching without preprocessing, it has
  // asserted (up > down in CglProbing::probe) on integer columns unbounded
  // on a side, which the preprocessing would have bounded.
  void preprocessing_and_cuts() {
    const SolverModel& sm = sm_;
    const CbcSearch& search = search_;
    const bool unprocessed = plain_ || cbc_first_search_unprocessed(sm, p_);
    const bool without = searched_unprocessed(sm, p_, plain_, search);
    const bool no_probing = !sm.sos.empty() || sm.has_value_beyond_probing() || (without && unbounded_integer_);
    if (without) a_.add("-preprocess", "off");
    // -999: no search inside CLP, whatever the model's size: a plain search
    // passes every node through the cut generators, and a search with a
    // budget counts every node (CLP's own branch-and-bound gives no events:
    // a confirming search of three free integers went on there for a
    // million nodes past its budget).
    if (plain_ || search.work < COIN_DBL_MAX) a_.add("-depthMiniBab", "-999");
    // (A second search that starts from the first one's root basis solves
    // its root without CLP's presolve, which would not keep the basis.)
    if (p_.get_int(kPresolve) == 0 || (search.second && search.root && search.root->basis))
      a_.add("-presolve", "off");
    static const char* const kLevels[] = {"off", "root", "on", "forceOn"};
    // A second search after a first one without preprocessing goes without
    // cut generators too, and so does a confirming one (CbcSearch).
    const int cuts = search.second && (unprocessed || search.cutoff < COIN_DBL_MAX) ? 0 : p_.get_int(kMipLevelCuts);
    if (cuts >= 0) a_.add("-cutsOnOff", kLevels[cuts]);
    const int probing = p_.get_int(kMipLevelProbing);
    if (no_probing || cuts == 0)
      a_.add("-probingCuts", "off");
    else if (probing >= 0)
      a_.add("-probingCuts", kLevels[probing]);
  }

  // A search for a solution better than a cutoff is there to prove that
  // none exists (mip_verdicts.cpp): it goes without heuristics, whose
  // sub-searches keep to no time limit.
  void heuristics() {
    const int heurs = search_.cutoff < COIN_DBL_MAX ? 0 : p_.get_int(kMipLevelHeurs);
    if (heurs == 0) a_.add("-heuristicsOnOff", "off");
    if (heurs == 3) {
      a_.add("-Vnd", "on");
      a_.add("-proximitySearch", "on");
    }
  }

  // Strong branching works on a crunched copy of the node's LP (OsiClp's
  // markHotStart): in searches without preprocessing of models with an
  // integer column unbounded on a side, as in the tiny ones (cbc_stage),
  // the search branches on pseudo-costs alone.
  // A confirming search (a cutoff, a budget) branches on pseudo-costs alone
  // too: strong branching at its root did work no node event could stop
  // (10teams of MIPLIB: 7,000 iterations, a seventh of the solve).
  void branching() {
    static const int kStrong[] = {0, 2, 5, 20};
    const int strong = p_.get_int(kMipLevelStrong);
    const bool confirming = search_.second && search_.cutoff < COIN_DBL_MAX;
    if ((searched_unprocessed(sm_, p_, plain_, search_) && unbounded_integer_) || confirming) {
      a_.add("-strongBranching", "0");
      a_.add("-trustPseudoCosts", "0");
    } else if (strong >= 0) {
      a_.add("-strongBranching", std::to_string(kStrong[strong]));
    }
  }

  // The heuristics that search a sub-MIP.
  void sub_searches() {
    const int submip = p_.get_int(kMipLevelSubmip);
    if (submip == 0) {
      a_.add("-Rins", "off");
      a_.add("-Rens", "off");
      a_.add("-Dins", "off");
    } else if (submip == 3) {
      a_.add("-Rens", "on");
      a_.add("-Dins", "on");
    }
  }

  // -multipleRootPasses 100 * threads + passes. The passes run on copies of
  // the model that share its message handler (and their solvers the
  // solver's), which builds one message at a time: on threads of their own
  // they would build messages in it at once. So they run one after another.
  void root_passes() {
    const int roots = std::min(p_.get_int(kMipRootParallelism), kMaxRootPasses);
    if (!plain_ && roots > 1) {
      a_.add("-multipleRootPasses", std::to_string(100 + roots));
      run_.log.linef("MIP/RootParallelism: CBC's %d root passes%s run one after another", roots,
                     p_.get_int(kMipRootParallelism) > roots ? " (the most it makes)" : "");
    }
  }

  const SolverModel& sm_;
  RunControl& run_;
  const ParamValues& p_;
  const bool plain_;
  const CbcSearch& search_;
  const bool first_point_final_;
  const bool unbounded_integer_;  // an integer column the search sees unbounded on a side
  Args a_;
};

Args driver_args(const SolverModel& sm, RunControl& run, bool plain, const CbcSearch& search, bool first_point_final,
                 bool stand_ins) {
  return DriverArgs(sm, run, plain, search, first_point_final, stand_ins).build();
}


int limit_of(int secondary) {
  switch (secondary) {
    case 3: return VLM_ERROR_ABORT_NODE_LIMIT;
    case 4: return VLM_ERROR_ABORT_TIME_LIMIT;
    case 6: return VLM_ERROR_ABORT_SOLUTION_LIMIT;
    case 8: return VLM_ERROR_ABORT_ITERATION_LIMIT;
    default: return 0;
  }
}

// The Start values the user set (a MIP start), by column name, as CBC's
// driver takes them: it fixes the integer columns among them, solves for
// the rest and keeps the result when it is feasible. The names are the
// solver's default ones: naming columns gives the solver names without row
// names, and CLP's presolve, which the driver runs on the model after the
// search, then copies row names from past the end of their empty list.
void pass_mip_start(const ModelData& data, OsiSolverInterface& solver, CbcModel& model) {
  std::vector<std::pair<std::string, double>> start;
  const int n = data.cols.size();
  for (int j = 0; j < n; ++j) {
    const double v = data.cols.start_at(static_cast<size_t>(j));
    if (v == VLM_UNDEFINED) continue;
    start.emplace_back(solver.getColName(j), v);
  }
  if (!start.empty()) model.setMIPStart(start);
}

// CGL's probing, searching without preprocessing, has cut the optimum off
// a model with a range row (lb < a.x < ub, both finite: -1 <= 5a - 2d <= 3
// over integers a, d in [0, 1] became a = d = 1), where the same row as two
// one-sided rows was searched right. CBC gets range rows so: a side the
// column bounds imply is dropped (0 <= x + y <= 1 over binaries is
// x + y <= 1); where both sides can bind, the row keeps its lower side and a
// copy after the model's rows takes the upper one.
void split_range_rows(const SolverModel& sm, OsiSolverInterface& solver) {
  const int m = sm.num_rows();
  std::vector<int> ranges;
  for (int i = 0; i < m; ++i) {
    const double lb = sm.row_lb[static_cast<size_t>(i)], ub = sm.row_ub[static_cast<size_t>(i)];
    if (lb > -COIN_DBL_MAX && ub < COIN_DBL_MAX && lb < ub) ranges.push_back(i);
  }
  if (ranges.empty()) return;
  const CoinPackedMatrix by_row(*solver.getMatrixByRow());
  for (int i : ranges) {
    const CoinShallowPackedVector row = by_row.getVector(i);
    // The row's least and greatest activity over the column bounds.
    double least = 0, greatest = 0;
    for (int k = 0; k < row.getNumElements(); ++k) {
      const size_t j = static_cast<size_t>(row.getIndices()[k]);
      const double a = row.getElements()[k], lo = sm.col_lb[j], up = sm.col_ub[j];
      const double at_lo = lo > -COIN_DBL_MAX ? a * lo : (a > 0 ? -COIN_DBL_MAX : COIN_DBL_MAX);
      const double at_up = up < COIN_DBL_MAX ? a * up : (a > 0 ? COIN_DBL_MAX : -COIN_DBL_MAX);
      const double low = std::min(at_lo, at_up), high = std::max(at_lo, at_up);
      least = least <= -COIN_DBL_MAX || low <= -COIN_DBL_MAX ? -COIN_DBL_MAX : least + low;
      greatest = greatest >= COIN_DBL_MAX || high >= COIN_DBL_MAX ? COIN_DBL_MAX : greatest + high;
    }
    const double lb = sm.row_lb[static_cast<size_t>(i)], ub = sm.row_ub[static_cast<size_t>(i)];
    if (least >= lb) {
      solver.setRowLower(i, -COIN_DBL_MAX);
    } else if (greatest <= ub) {
      solver.setRowUpper(i, COIN_DBL_MAX);
    } else {
      solver.addRow(row.getNumElements(), row.getIndices(), row.getElements(), -COIN_DBL_MAX, ub);
      solver.setRowUpper(i, COIN_DBL_MAX);
    }
  }
}

// CLP's solves under the search take the run's log and set no SIGINT handler.
void prepare_solver(LogMessageHandler& messages, OsiClpSolverInterface& solver) {
  solver.passInMessageHandler(&messages);
  ClpSolve options;
  options.setSpecialOption(2, 1);  // no SIGINT handler in CLP's solves either
  solver.setSolveOptions(options);
}

// The model in the solver, under objective `obj`, with its integer columns
// (with a stand-in bound of `stand_in` on an infinite side, where it is not
// 0: stand_in_bound) and its range rows split.
void load_model(const SolverModel& sm, const std::vector<double>& obj, double stand_in, OsiClpSolverInterface& solver) {
  const int n = sm.num_cols();
  solver.loadProblem(n, sm.num_rows(), sm.col_start.data(), sm.row_index.data(), sm.value.data(), sm.col_lb.data(),
                     sm.col_ub.data(), obj.data(), sm.row_lb.data(), sm.row_ub.data());
  for (int j = 0; j < n; ++j) {
    const size_t k = static_cast<size_t>(j);
    if (!sm.is_int[k]) continue;
    solver.setInteger(j);
    if (stand_in > 0 && sm.col_lb[k] <= -COIN_DBL_MAX) solver.setColLower(j, -stand_in);
    if (stand_in > 0 && sm.col_ub[k] >= COIN_DBL_MAX) solver.setColUpper(j, stand_in);
  }
  split_range_rows(sm, solver);
}

// The model's SOS sets as CBC's objects.
void add_sos_sets(const SolverModel& sm, CbcModel& model) {
  if (sm.sos.empty()) return;
  std::vector<CbcObject*> sets;
  for (size_t k = 0; k < sm.sos.size(); ++k) {
    const SolverSos& s = sm.sos[k];
    sets.push_back(new CbcSOS(&model, static_cast<int>(s.members.size()), s.members.data(), s.weights.data(),
                              static_cast<int>(k), s.type));
  }
  model.addObjects(static_cast<int>(sets.size()), sets.data());
  for (CbcObject* o : sets) delete o;
}

// The driver's options in the log, without -solve -quit.
void log_options(RunControl& run, const std::vector<const char*>& argv) {
  std::string options;
  for (size_t k = 1; k + 2 < argv.size(); ++k) options += std::string(" ") + argv[k];  // without -solve -quit
  run.log.line("Solving MIP with CBC, options" + options);
}

// Where the search starts: a first search keeps its root's basis for a
// second one, which starts from it.
// The root relaxation: Method 0 asks for the primal simplex, 1 and 2 for
// the dual simplex, -1 leaves the choice to CLP, as CBC's own driver does,
// but in a second search that starts from the first one's root basis:
// there it is the dual simplex (CLP's primal simplex, started from a
// basis, ignored it). (The dual simplex at every root took a facility location model of
// 12,000 columns from 17,811 iterations down to 1,667, but its other
// vertex sent the searches after it other ways: two to three times as
// long on bell5, gesa2, nw04 and 10teams, and on a bin-packing model into
// a heuristic's preprocessing that ran far past MaxTime.)
void set_root_start(const ParamValues& p, const CbcSearch& search, CbcModel& model, StageState& stage) {
  if (search.root && !search.second) stage.keep_root = search.root;
  if (search.root && search.second && search.root->basis) model.solver()->setWarmStart(search.root->basis.get());
  const int method = p.get_int(kMethod);
  const bool from_basis = search.second && search.root && search.root->basis;
  if (method >= 0 || from_basis)
    model.solver()->setHintParam(OsiDoDualInInitial, method != 0, OsiHintDo);
}

// The driver's run, one at a time (cbc_entry), with the MIP start.
void run_driver(const ModelData& data, CbcModel& model, StageState& stage, std::vector<const char*>& argv) {
  std::unique_lock<std::mutex> lock(cbc_entry);
  current_stage = &stage;
  CbcSolverUsefulData driver;  // useSignalHandler_ false: Ctrl-C stays the host's
  driver.noPrinting_ = true;
  CbcMain0(model, driver);
  pass_mip_start(data, *model.solver(), model);
  try {
    CbcMain1(static_cast<int>(argv.size()), argv.data(), model, cbc_stage, driver);
  } catch (...) {
    current_stage = nullptr;
    throw;
  }
  current_stage = nullptr;
}

// The search's iterations and times, the preprocessing's apart.
void take_statistics(CbcModel& model, const StageState& stage, double t0, double t1, RunStats& stats) {
  stats.available = true;
  const bool searched = stage.nodes >= 0;
  stats.spx_iters = searched ? stage.iterations : model.getIterationCount();
  stats.nodes = searched ? stage.nodes : model.getNodeCount();
  stats.work = searched ? search_work(stage.nodes, stage.iterations, stage.strong_iterations) : work_done(model);
  if (stage.after_root >= 0 && stage.after_preprocess >= stage.after_root)
    stats.presolve_time = stage.after_preprocess - stage.after_root;
  stats.solver_time = std::max(0.0, t1 - t0 - stats.presolve_time);
}

// The solutions CBC found, in the model's columns.
std::vector<std::vector<double>> found_solutions(CbcModel& model, int n) {
  std::vector<std::vector<double>> found;
  const int saved = model.numberSavedSolutions();
  for (int k = 0; k < saved; ++k)
    if (const double* x = model.savedSolution(k)) found.emplace_back(x, x + n);
  if (found.empty() && model.bestSolution()) found.emplace_back(model.bestSolution(), model.bestSolution() + n);
  return found;
}

// The pool: the solutions found in the user's columns, best first, each
// once. The index in `found` of the best one (0 when none is found).
size_t fill_pool(const ModelData& data, const SolverModel& sm, const ParamValues& p,
                 const std::vector<std::vector<double>>& found, Solution& s) {
  std::vector<std::pair<double, size_t>> order;
  for (size_t k = 0; k < found.size(); ++k) order.emplace_back(sm.sense * user_objective(data, found[k].data()), k);
  std::stable_sort(order.begin(), order.end());
  for (const auto& o : order) {
    const std::vector<double>& x = found[o.second];
    const std::vector<double> user(x.begin(), x.begin() + sm.user_cols);
    if (std::find(s.pool.begin(), s.pool.end(), user) != s.pool.end()) continue;
    if (static_cast<int>(s.pool.size()) >= p.get_int(kMipSolutionPoolSize)) break;
    s.pool.push_back(user);
  }
  return order.empty() ? 0 : order.front().second;
}

// The status from CBC's and the run's, and the limit that stopped the run.
// `budget_spent`: the search's own budget (CbcSearch::work) stopped it,
// which is no limit of the run.
void take_verdict(RunControl& run, CbcModel& model, bool budget_spent, Solution& s) {
  const ParamValues& p = run.params;
  const bool have = !s.pool.empty();
  const int status = model.status(), secondary = model.secondaryStatus();
  int limit = run.stopped_by();
  if (!limit && status == 1 && !budget_spent) limit = limit_of(secondary);
  if (!limit && status == 1 && run.time_up()) limit = VLM_ERROR_ABORT_TIME_LIMIT;
  // The driver, stopped by its time limit inside the root's preprocessing or
  // cut generation, can call a feasible model infeasible ("Cut generators
  // found to be infeasible"): a run that ends without a solution after the
  // time limit counts as stopped by it, whatever the driver says.
  if (!limit && s.pool.empty() && run.time_up()) limit = VLM_ERROR_ABORT_TIME_LIMIT;
  if (limit) run.stop(limit);
  const bool cutoff_given = std::fabs(p.get(kMipCutoff)) < VLM_INFINITY;
  if (limit || budget_spent || status == 1 || status == 5) {
    s.status = have ? VLM_STATUS_SUB_OPTIMAL : VLM_STATUS_UNKNOWN;
  } else if (secondary == 7 || model.isContinuousUnbounded()) {
    const int st = have ? VLM_STATUS_UNBOUNDED : VLM_STATUS_INF_OR_UBD;
    s = Solution();
    s.status = st;
  } else if (have) {
    s.status = VLM_STATUS_OPTIMAL;
  } else {
    // A complete search without a solution: infeasible, unless a cutoff
    // may have removed every solution.
    s.status = cutoff_given ? VLM_STATUS_UNKNOWN : VLM_STATUS_INFEASIBLE;
    if (cutoff_given) run.log.line("No solution better than MIP/Cutoff exists");
  }
}

// The gaps of a solution against CBC's bound.
void take_gaps(const SolverModel& sm, RunControl& run, CbcModel& model, int costed, Solution& s) {
  // (Under a zero objective the bound is 0, whatever the search's cost.)
  const double bound = costed >= 0 ? 0.0
                       : s.status == VLM_STATUS_OPTIMAL && !run.stopped_by()
                           ? std::min(model.getBestPossibleObjValue(), sm.sense * (s.primal_obj - sm.obj_const))
                           : model.getBestPossibleObjValue();
  if (std::fabs(bound) < 1e50) {
    const double user_bound = sm.sense * bound + sm.obj_const;
    s.gap_abs = std::fabs(s.primal_obj - user_bound);
    s.gap_rel = s.gap_abs / std::max(1e-10, std::fabs(s.primal_obj));
  } else {
    s.gap_abs = s.gap_rel = VLM_INFINITY;
  }
  s.has_gap = true;
}

}  // namespace

// One CBC search, in its steps: the model in CLP and CBC; the driver's
// options; its run; the pool of solutions found; the status; the gaps.
RunOutcome run_cbc(const ModelData& data, const SolverModel& sm, RunControl& run, CbcHooks* hooks,
                   const CbcSearch& search) {
  RunOutcome out;
  if (search.second && run.time_up()) {
    // Past MaxTime a second search would only load the model and solve its
    // root (seconds on a large one) before the driver stops it: it ends at
    // once, as stopped by the time limit.
    run.stop(VLM_ERROR_ABORT_TIME_LIMIT);
    out.solution.status = VLM_STATUS_UNKNOWN;
    return out;
  }
  const ParamValues& p = run.params;
  const bool plain = hooks && hooks->needs_plain_search();
  const int n = sm.num_cols();
  log_reformulation(sm, run.log);

  LogMessageHandler messages(run.log, 0);
  OsiClpSolverInterface solver;
  prepare_solver(messages, solver);
  const int costed = feasibility_cost_column(sm, p, search, hooks);
  std::vector<double> obj = sm.obj;
  if (costed >= 0) obj[static_cast<size_t>(costed)] = 1;
  const double stand_in = stand_in_bound(sm, p, plain, search);
  if (stand_in > 0)
    run.log.linef("Integer columns unbounded on a side are searched within stand-in bounds of %g, as CBC's "
                  "preprocessing would bound them", stand_in);
  load_model(sm, obj, stand_in, solver);

  CbcModel model(solver);
  model.passInMessageHandler(&messages);
  add_sos_sets(sm, model);
  CbcRunState state{&run, &sm, p.get_int(kMipMaxStallingNodes), hooks, search.work};
  CbcRunHandler handler(&state);
  model.passInEventHandler(&handler);

  const Args args = driver_args(sm, run, plain, search, costed >= 0, stand_in > 0);
  std::vector<const char*> argv = args.argv();
  log_options(run, argv);
  StageState stage{&run, hooks, model.getNumCols(), !sm.sos.empty(), searched_unprocessed(sm, p, plain, search)};
  state.searched = &stage.searched;
  set_root_start(p, search, model, stage);
  const double t0 = run.elapsed();
  run_driver(data, model, stage, argv);
  const double t1 = run.elapsed();
  take_statistics(model, stage, t0, t1, out.stats);
  const bool budget_spent = state.budget_spent && !run.time_up();
  run.log.linef("CBC's search: %lld nodes, %d simplex iterations, work %lld, %s%s", out.stats.nodes,
                out.stats.spx_iters, out.stats.work, format_seconds(t1 - t0).c_str(),
                budget_spent ? ", its budget spent" : "");

  const std::vector<std::vector<double>> found = found_solutions(model, n);
  Solution& s = out.solution;
  const size_t best = fill_pool(data, sm, p, found, s);
  const bool have = !s.pool.empty();
  if (have && stage.after_preprocess >= 0) {
    // CBC's value of its best solution is that of the preprocessed model;
    // mapped back, the point should have it too.
    const double engine = model.getMinimizationObjValue();
    const double mapped = quadratic_objective(obj, sm.h_start, sm.h_index, sm.h_value, found[best].data());
    out.doubtful = !(std::fabs(engine - mapped) <= 1e-6 * std::max(1.0, std::fabs(mapped)));
    if (out.doubtful) run.log.line("The engine's objective changed when its point was mapped back to the model");
  }
  if (have) {
    set_primal(data, found[best].data(), s);
    s.sol_count = static_cast<int>(s.pool.size());
  }

  if (model.status() == 2) {
    out.code = VLM_ERROR_SIMPLEX_NUMERIC;
    if (hooks) hooks->after_search(out);
    return out;
  }
  take_verdict(run, model, budget_spent, s);
  if (s.has_primal) take_gaps(sm, run, model, costed, s);
  if (hooks) hooks->after_search(out);
  return out;
}

struct CbcEntryPause::Saved {
  StageState* stage;
  int read_mode, environment_index;
  FILE* read_command;
  CglPreProcess* preprocess;
};

CbcEntryPause::CbcEntryPause()
    : saved_(new Saved{current_stage, CbcOrClpRead_mode, CbcOrClpEnvironmentIndex, CbcOrClpReadCommand,
                       cbcPreProcessPointer}) {
  cbc_entry.unlock();
}

CbcEntryPause::~CbcEntryPause() {
  cbc_entry.lock();
  current_stage = saved_->stage;
  CbcOrClpRead_mode = saved_->read_mode;
  CbcOrClpEnvironmentIndex = saved_->environment_index;
  CbcOrClpReadCommand = saved_->read_command;
  cbcPreProcessPointer = saved_->preprocess;
  delete saved_;
}

RunOutcome solve_with_cbc(const ModelData& data, const SolverModel& sm, RunControl& run) {
  if (has_sos_member_beyond_cbc(sm)) {
    run.log.line("An SOS member may be negative, which CBC's SOS sets do not take: "
                 "solving by our own branch-and-bound");
    return confirmed_mip_outcome(data, sm, run, solve_miqp(data, sm, run), nullptr);
  }
  CbcRootBasis root;
  const MipSearch second = [&](double cutoff, double work) {
    CbcSearch s;
    s.second = true;
    s.cutoff = cutoff;
    s.work = work;
    s.root = &root;
    return run_cbc(data, sm, run, nullptr, s);
  };
  CbcSearch first;
  first.root = &root;
  return confirmed_mip_outcome(data, sm, run, run_cbc(data, sm, run, nullptr, first), second);
}

}  // namespace velmor
