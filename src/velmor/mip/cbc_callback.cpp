// The callback engine on CBC's C++ interface (its C interface offers no
// incumbent, heuristic, branching or stop hooks). The search runs plain
// (CbcHooks::needs_plain_search): one thread, the model's own columns, every
// node through the cut generators, no strong branching. Where-points:
//  - MIPSTART: the feasibility checker CBC consults right after solving the
//    root relaxation, before its root heuristics and cuts; once.
//  - MIPNODE: a cut generator, called at every pass of every node's cut loop
//    on the relaxation just solved (also at a root whose relaxation is
//    integral: the solver is declared one whose integral solutions may need
//    cuts, OsiBabSolver type 4).
//  - MIPSOL: once per new incumbent, before CBC takes it: for a node whose
//    relaxation is a solution of the model, in the node's cut pass (cuts
//    that refuse it go back as cuts of the node, which goes on) or in the
//    cut generators' check of a relaxation that looks like a solution; for
//    every other candidate (heuristics, proposals) at the event handler's
//    heuristicSolution and beforeSolution2, which refuse a candidate that
//    violates a cut. A solution event for an incumbent no turn has seen
//    gives one afterwards (CBC reports one incumbent several times).
// Cuts go back from the generator as globally valid cuts (into CBC's global
// pool, re-added wherever violated). They are lazy constraints as well: the
// generator re-adds a stored cut its relaxation violates, a node whose
// relaxation is integral but violates one gets a dummy branch instead of
// ending (CBC's beforeSolution1 check), and a candidate incumbent that
// violates one is refused (beforeSolution2). Once cuts exist, CBC keeps
// candidates as they are instead of re-solving their continuous part over
// its cut-less copy of the model, which could move them off a cut.
// Solutions the callback proposes are completed and checked by the session
// and reach CBC through a heuristic of ours; branching requests become the
// column's priority and preferred direction until the node has branched.
// A non-zero answer stops the search at once (event, time limit of 0).
#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include <CbcModel.hpp>
#include <CbcCutGenerator.hpp>
#include <CbcEventHandler.hpp>
#include <CbcFeasibilityBase.hpp>
#include <CbcHeuristic.hpp>
#include <CbcNode.hpp>
#include <CbcSimpleInteger.hpp>
#include <CbcSimpleIntegerDynamicPseudoCost.hpp>
#include <CbcTree.hpp>
#include <CglCutGenerator.hpp>
#include <CoinFinite.hpp>
#include <OsiAuxInfo.hpp>
#include <OsiCuts.hpp>
#include <OsiRowCut.hpp>

#include "mip/callback.hpp"
#include "mip/cbc_solver.hpp"
#include "lp/clp_model.hpp"

namespace velmor {

namespace {

class CbcEngine;

class StartCheck : public CbcFeasibilityBase {
 public:
  explicit StartCheck(CbcEngine* engine) : engine_(engine) {}
  int feasible(CbcModel* model, int mode) override;
  CbcFeasibilityBase* clone() const override { return new StartCheck(*this); }

 private:
  CbcEngine* engine_;
};

class NodeCuts : public CglCutGenerator {
 public:
  explicit NodeCuts(CbcEngine* engine) : engine_(engine) {}
  void generateCuts(const OsiSolverInterface& si, OsiCuts& cs, const CglTreeInfo info) override;
  CglCutGenerator* clone() const override { return new NodeCuts(*this); }
  bool mayGenerateRowCutsInTree() const override { return true; }
  bool needsOptimalBasis() const override { return false; }

 private:
  CbcEngine* engine_;
};

class ProposedSolutions : public CbcHeuristic {
 public:
  explicit ProposedSolutions(CbcEngine* engine) : engine_(engine) {
    setHeuristicName("callback");
    setWhereFrom(255 * (1 + 256));  // at the root, in every cut pass and after every branching
    setSwitches(16);                // also when a solution exists already
  }
  CbcHeuristic* clone() const override { return new ProposedSolutions(*this); }
  void resetModel(CbcModel*) override {}
  bool shouldHeurRun(int) override;
  int solution(double& objectiveValue, double* newSolution) override;

 private:
  CbcEngine* engine_;
};

class CbcEngine : public CbcHooks {
 public:
  CbcEngine(CallbackSession& session, const SolverModel& sm)
      : session_(session), sm_(sm), int_tol_(session.run().params.get(kMipIntegerTolerance)) {}

  bool needs_plain_search() const override { return true; }

  void before_search(CbcModel& model) override {
    main_ = &model;
    // The stand-in bounds of the search (run_cbc), which callbacks see as
    // the model's infinite ones.
    const double* lb = model.solver()->getColLower();
    const double* ub = model.solver()->getColUpper();
    for (int j = 0; j < sm_.user_cols; ++j) {
      const size_t k = static_cast<size_t>(j);
      if (sm_.col_lb[k] <= -COIN_DBL_MAX && lb[j] > -COIN_DBL_MAX) stand_in_ = std::max(stand_in_, -lb[j]);
      if (sm_.col_ub[k] >= COIN_DBL_MAX && ub[j] < COIN_DBL_MAX) stand_in_ = std::max(stand_in_, ub[j]);
    }
    OsiBabSolver characteristics(4);  // integral relaxations may still need cuts
    model.solver()->setAuxiliaryInfo(&characteristics);
    StartCheck start(this);
    model.setProblemFeasibility(start);
    NodeCuts cuts(this);
    model.addCutGenerator(&cuts, 1, "callback", true, false, false, -200);
    generator_ = model.numberCutGenerators() - 1;
    CbcCutGenerator* g = model.cutGenerator(generator_);
    g->setMustCallAgain(true);  // cuts it adds are looked at before the node ends
    g->setGlobalCuts(true);
    ProposedSolutions heuristic(this);
    model.addHeuristic(&heuristic, "callback");
    // No restart on a reduced model, no search in CLP, a pass of cuts at
    // every node, the global cut pool scanned at every node. No strong
    // branching: a child whose relaxation is a solution ends there, and when
    // a cut refuses that solution, the child's subtree would go unexplored.
    model.setSpecialOptions(model.specialOptions() & ~(512 | 32768));
    model.setMaximumCutPasses(std::max(1, model.getMaximumCutPasses()));
    model.setHowOftenGlobalScan(1);
    model.setNumberStrong(0);
    model.setNumberBeforeTrust(0);
    if (model.fastNodeDepth() < -1) model.setFastNodeDepth(-1);
  }

  int on_event(CbcModel& model, int event) override {
    if (&model != main_) return session_.stopped() ? CbcEventHandler::stop : CbcEventHandler::noAction;
    switch (event) {
      case CbcEventHandler::beforeSolution2:
      case CbcEventHandler::heuristicSolution: {
        // The candidate stands in for the incumbent during these events. (An
        // integral node that violates a stored cut was given a dummy branch
        // before: CBC asks the cut generators about it, beforeSolution1.)
        const double* x = model.bestSolution();
        if (!x) return CbcEventHandler::noAction;
        if (candidate_turn(model, x)) {
          if (event == CbcEventHandler::heuristicSolution) best_.assign(x, x + model.getNumCols());
          return session_.stopped() ? CbcEventHandler::stop : CbcEventHandler::noAction;
        }
        if (within_columns(x)) note_lost_root(model, x);  // refused by a cut
        return CbcEventHandler::killSolution;
      }
      case CbcEventHandler::solution:
        if (const double* x = model.bestSolution()) best_.assign(x, x + model.getNumCols());
        incumbent_turn(model);
        break;
      case CbcEventHandler::smallBranchAndBound:
        // A heuristic's sub-search knows nothing of the stored cuts, yet
        // may declare the whole search done: none once cuts exist.
        return session_.stopped() || !session_.cuts().empty() ? CbcEventHandler::killSolution
                                                              : CbcEventHandler::noAction;
      case CbcEventHandler::heuristicPass:
        return session_.stopped() ? CbcEventHandler::killSolution : CbcEventHandler::noAction;
      case CbcEventHandler::endSearch:
        // CBC has ended at a root whose last relaxation violated a stored
        // cut, without solving it again under the cut (a cut of the
        // candidate's MIPSOL turn in the root's last pass): as lost as a
        // root whose candidate an event refused.
        if (root_violates_cut_ && model.getNodeCount() == 0 && (!model.tree() || model.tree()->size() == 0))
          lost_root_ = true;
        break;
      case CbcEventHandler::node:
        restore_branching();
        if (CbcCutGenerator* g = model.cutGenerator(generator_))
          if (g->howOften() != 1) g->setHowOften(1);  // CBC thins out generators it finds useless
        break;
      default: break;
    }
    return session_.stopped() ? CbcEventHandler::stop : CbcEventHandler::noAction;
  }

  void after_search(RunOutcome& out) override {
    // The searched model was CBC's copy, freed with its objects by now: a
    // column still raised has nothing left to restore.
    raised_ = {};
    branch_node_ = -1;
    main_ = nullptr;
    if (session_.stopped()) out.code = session_.answer();
  }

  // Whether CBC ended the search on a root whose integral relaxation
  // violates a stored cut (see note_lost_root).
  bool lost_root() const { return lost_root_; }
  // The last incumbent CBC accepted, over all solver columns; empty if none.
  const std::vector<double>& best() const { return best_; }

  // ---- where-points ------------------------------------------------------------------

  void start_turn(CbcModel& model) {
    if (&model != main_ || session_.started() || session_.stopped()) return;
    const OsiSolverInterface& si = *model.solver();
    if (!si.isProvenOptimal()) return;  // the root relaxation is infeasible: no turns
    TurnData t;
    t.where = VLM_CB_MIPSTART;
    fill_search(model, t);
    fill_relaxation(si, t);
    t.bound_min = bound_ = std::max(bound_, t.relaxation_min);
    run_turn(t);
  }

  void node_turn(const OsiSolverInterface& si, OsiCuts& cs, const CglTreeInfo& info) {
    if (!main_ || &si != main_->solver() || info.hasParent) return;  // a heuristic's sub-search
    CbcModel& model = *main_;
    const int node = model.getNodeCount();
    if (node != cut_node_) {
      cut_node_ = node;
      added_here_.assign(session_.cuts().size(), 0);
      check_adds_.assign(session_.cuts().size(), 0);
      if (node != branch_node_) restore_branching();
    }
    // CBC solves a node's relaxation under the node it branched from: its
    // depth is one more than that node's (the root aside).
    const int depth = node > 0 ? info.level + 1 : 0;
    if ((info.options & 128) != 0 && !session_.stopped()) {
      // The relaxation looks like a solution: the candidate's MIPSOL turn.
      // Cuts it adds that the candidate violates are added below.
      candidate_turn(model, si.getColSolution(), depth);
    }
    if ((info.options & 128) == 0 && !session_.stopped()) {
      if (!session_.started()) start_turn(model);
      const size_t before = session_.cuts().size();
      TurnData t;
      t.where = VLM_CB_MIPNODE;
      fill_search(model, t);
      fill_relaxation(si, t);
      t.depth = depth;
      // The node being processed was taken off the tree with the bound of
      // its other branches; until it is back, that bound stands for them.
      double bound = t.relaxation_min;
      if (const CbcNode* current = model.currentNode())
        if (node > 0) bound = std::min(bound, current->objectiveValue());
      if (model.tree() && model.tree()->size() > 0) bound = std::min(bound, model.tree()->getBestPossibleObjective());
      t.bound_min = bound_ = std::max(bound_, bound);
      if (run_turn(t) && t.branch.col >= 0) apply_branching(model, t.branch, node);
      // A relaxation that is a solution of the model has its MIPSOL turn
      // here, in the node's cut loop: cuts that refuse it go back as cuts of
      // this node, which goes on under them (refused later, by an event, the
      // node would end with it).
      const double* point = si.getColSolution();
      if (!session_.stopped() && is_feasible(sm_, point, kCheckTolerance, true, int_tol_))
        candidate_turn(model, point, depth);
      for (size_t k = before; k < session_.cuts().size(); ++k) add_cut(k, cs);
    }
    // Stored cuts the relaxation violates are added once per node in its
    // cut passes. Asked about an integral relaxation, every cut it violates
    // is added (again, if need be: CBC may have let it go): the node goes on
    // instead of ending with a candidate that would be refused. A cut the
    // node keeps violating although it has it (numerical trouble) no longer
    // asks for another dummy branch there: the candidate is refused instead.
    const bool integral_check = (info.options & 128) != 0;
    const double* x = si.getColSolution();
    if (node == 0) root_violates_cut_ = !session_.satisfies_cuts(x);
    if (integral_check && !session_.stopped() && !session_.satisfies_cuts(x))
      session_.offer_repaired(x, model.getMinimizationObjValue());
    check_adds_.resize(session_.cuts().size(), 0);
    for (size_t k = 0; k < session_.cuts().size(); ++k) {
      if (CallbackSession::violation(session_.cuts()[k], x) <= kCheckTolerance) continue;
      if (integral_check ? ++check_adds_[k] > kDummyBranches : added_here_[k] != 0) continue;
      add_cut(k, cs);
    }
  }

  // The MIPSOL turn of a candidate incumbent x (all solver columns); whether
  // CBC may take it (it satisfies every cut, those of this turn included).
  // `depth`: the node's, when the candidate is a node's relaxation.
  bool candidate_turn(CbcModel& model, const double* x, int depth = 0) {
    if (&model != main_) return session_.satisfies_cuts(x);
    // The feasibility pump has handed in a point outside a column's bounds
    // (x0 = 1 in [-1, 0]), which CBC's check, once cuts exist, asserts on:
    // no turn, and CBC does not take it.
    if (!within_columns(x)) return false;
    if (!session_.started()) start_turn(model);
    TurnData t;
    fill_search(model, t);
    t.depth = depth;
    return session_.candidate_turn(t, x, sm_.min_objective(x), best_.empty() ? nullptr : best_.data(),
                                   [this](TurnData& turn) { run_turn(turn); });
  }

  // Whether x (all solver columns) is within the columns' bounds. (Not
  // integrality: CBC has handed in candidates with a free integer column at
  // 6.75 that it goes on from, and the checks of the verdict settle them.)
  bool within_columns(const double* x) const {
    return within_bounds(x, sm_.num_cols(), sm_.col_lb.data(), sm_.col_ub.data());
  }

  // Whether x[0..n) lies within [lb, ub], to the checks' tolerance.
  static bool within_bounds(const double* x, int n, const double* lb, const double* ub) {
    for (int j = 0; j < n; ++j)
      if (!std::isfinite(x[j]) || x[j] < lb[j] - kCheckTolerance * std::max(1.0, std::fabs(lb[j])) ||
          x[j] > ub[j] + kCheckTolerance * std::max(1.0, std::fabs(ub[j])))
        return false;
    return true;
  }

  bool solutions_wanted(CbcModel* model) const { return model == main_ && session_.has_solutions(); }

  // The best proposed solution better than `objective`, into x. Only one
  // within the bounds of the node the heuristic runs at: CBC's check of a
  // heuristic's solution clamps it into those bounds and asserts that no
  // integer column moved. The others better than `objective` wait for
  // another node (or the end of the search).
  int deliver(const OsiSolverInterface& si, double& objective, double* x) {
    std::vector<CheckedSolution> all = session_.take_solutions();
    const double* lb = si.getColLower();
    const double* ub = si.getColUpper();
    const int n = si.getNumCols();
    auto inside = [&](const CheckedSolution& c) {
      return within_bounds(c.x.data(), std::min(n, static_cast<int>(c.x.size())), lb, ub);
    };
    const CheckedSolution* best = nullptr;
    for (const CheckedSolution& c : all)
      if (c.min_value < objective && inside(c) && (!best || c.min_value < best->min_value)) best = &c;
    for (CheckedSolution& c : all)
      if (&c != best && c.min_value < (best ? best->min_value : objective)) session_.offer(std::move(c));
    if (!best) return 0;
    std::copy(best->x.begin(), best->x.end(), x);
    objective = best->min_value;
    return 1;
  }

 private:
  // Once cuts exist, CBC must take candidates as they are (see the file
  // comment); the per-node bookkeeping covers every cut. Where every column
  // is an integer there is no continuous part to re-solve, and CBC is left
  // as it is: taking candidates as they are, its check asserts on a point
  // of its feasibility pump outside a column's bounds.
  void note_new_cuts(CbcModel& model) {
    if (std::find(sm_.is_int.begin(), sm_.is_int.end(), 0) != sm_.is_int.end())
      model.setSpecialOptions(model.specialOptions() | 4);
    added_here_.resize(session_.cuts().size(), 0);
  }

  bool run_turn(TurnData& t) {
    bool go_on;
    const size_t before = session_.cuts().size();
    {
      CbcEntryPause pause;  // no lock of the library is held while the callback runs
      go_on = session_.turn(t);
    }
    if (session_.cuts().size() > before && main_) note_new_cuts(*main_);
    if (!go_on) stop_search();
    return go_on;
  }

  void stop_search() {
    if (!main_) return;
    main_->sayEventHappened();
    main_->setMaximumSeconds(0.0);  // every loop of CBC and of its sub-searches checks it
  }

  void fill_search(CbcModel& model, TurnData& t) const {
    const double* incumbent = model.bestSolution();
    if (incumbent && model.getSolutionCount() > 0) {
      t.incumbent = incumbent;
      t.incumbent_min = model.getMinimizationObjValue();
    }
    t.bound_min = bound_;
    t.nodes = model.getNodeCount();
    t.solutions = model.getSolutionCount();
    int cuts = 0;
    for (int i = 0; i < model.numberCutGenerators(); ++i) cuts += model.cutGenerator(i)->numberCutsInTotal();
    t.cuts_applied = cuts;
    t.open_nodes = model.tree() ? model.tree()->size() : 0;
    t.node_id = model.getNodeCount();
    // No depth here: outside the cut generators (in events) CBC's current
    // node may already be freed. The node turns set it.
  }

  void fill_relaxation(const OsiSolverInterface& si, TurnData& t) const {
    t.has_relaxation = true;
    t.stand_in = stand_in_;
    t.relaxation_min = si.getObjValue() * si.getObjSense();
    t.x = si.getColSolution();
    t.reduced_cost = si.getReducedCost();
    t.col_lb = si.getColLower();
    t.col_ub = si.getColUpper();
  }

  void incumbent_turn(CbcModel& model) {
    if (session_.stopped()) return;
    const double* x = model.bestSolution();
    if (!x || !session_.new_incumbent(x, model.getMinimizationObjValue()) || session_.turned_as_candidate(x)) return;
    if (!session_.started()) start_turn(model);
    TurnData t;
    t.where = VLM_CB_MIPSOL;
    fill_search(model, t);
    t.incumbent = x;
    t.incumbent_min = model.getMinimizationObjValue();
    run_turn(t);
  }

  void add_cut(size_t k, OsiCuts& cs) {
    const StoredCut& c = session_.cuts()[k];
    std::vector<int> idx;
    std::vector<double> val;
    for (const Entry& e : c.row) idx.push_back(e.index), val.push_back(e.value);
    OsiRowCut cut;
    cut.setRow(static_cast<int>(idx.size()), idx.data(), val.data());
    cut.setLb(c.lb);
    cut.setUb(c.ub);
    cut.setGloballyValid(true);
    cs.insert(cut);
    added_here_[k] = 1;
  }

  // A candidate refused at the root while no node is left: CBC then ends the
  // search as if the root were solved.
  void note_lost_root(CbcModel& model, const double* x) {
    if (model.getNodeCount() > 0 || (model.tree() && model.tree()->size() > 0)) return;
    const double* lp = model.solver()->getColSolution();
    const int n = model.solver()->getNumCols();
    for (int j = 0; j < n; ++j)
      if (std::fabs(lp[j] - x[j]) > 1e-9 * std::max(1.0, std::fabs(x[j]))) return;
    lost_root_ = true;
  }

  // ---- branching -----------------------------------------------------------------------

  // A column raised by a branching request, with what it had before. The
  // direction CBC takes is decided in three places: the object's preferred
  // way (read by the branching decision), and, for the branching object's
  // own choice, the up/down separator of a pseudo-cost object or the break
  // even point of a plain one.
  struct Raised {
    int col = -1;  // none when negative
    int priority, way;
    double separator, break_even;
  };

  // The integer object of column `col` in the search, or null. (Looked up
  // each time: CBC may replace its objects during the search.)
  CbcSimpleInteger* object_of(int col) const {
    if (!main_) return nullptr;
    for (int i = 0; i < main_->numberObjects(); ++i) {
      auto* object = dynamic_cast<CbcSimpleInteger*>(main_->modifiableObject(i));
      if (object && object->columnNumber() == col) return object;
    }
    return nullptr;
  }

  void apply_branching(CbcModel& model, const BranchRequest& request, int node) {
    restore_branching();
    if (&model != main_) return;
    CbcSimpleInteger* object = object_of(request.col);
    if (!object) return;
    auto* dynamic = dynamic_cast<CbcSimpleIntegerDynamicPseudoCost*>(object);
    raised_ = {request.col, object->priority(), object->preferredWay(), dynamic ? dynamic->upDownSeparator() : 0.0,
               object->breakEven()};
    object->setPriority(INT_MIN / 2);
    if (request.way != 0) {
      object->setPreferredWay(request.way);
      if (dynamic)
        dynamic->setUpDownSeparator(request.way > 0 ? 1e-12 : 1.0);
      else
        object->setBreakEven(request.way > 0 ? 1e-9 : 1.0 - 1e-9);
    }
    branch_node_ = node;
  }

  void restore_branching() {
    if (raised_.col < 0) return;
    if (CbcSimpleInteger* object = object_of(raised_.col)) {
      object->setPriority(raised_.priority);
      object->setPreferredWay(raised_.way);
      if (auto* dynamic = dynamic_cast<CbcSimpleIntegerDynamicPseudoCost*>(object))
        dynamic->setUpDownSeparator(raised_.separator);
      else
        object->setBreakEven(raised_.break_even);
    }
    raised_ = {};
    branch_node_ = -1;
  }

  CallbackSession& session_;
  const SolverModel& sm_;
  const double int_tol_;
  double stand_in_ = 0;  // the search's stand-in for an infinite bound, 0 for none
  CbcModel* main_ = nullptr;
  int generator_ = -1;
  double bound_ = -1e300;
  int cut_node_ = -1, branch_node_ = -1;
  std::vector<char> added_here_;  // per stored cut: added at node cut_node_
  std::vector<int> check_adds_;   // per stored cut: dummy branches asked for at node cut_node_
  static constexpr int kDummyBranches = 5;
  Raised raised_{};
  bool lost_root_ = false;
  bool root_violates_cut_ = false;  // the root's last relaxation violates a stored cut
  std::vector<double> best_;
};

// `sm` with the stored cuts as rows after its own.
SolverModel with_cut_rows(const SolverModel& sm, const std::vector<StoredCut>& cuts) {
  SolverModel out = sm;
  const int n = sm.num_cols();
  std::vector<std::vector<Entry>> extra(static_cast<size_t>(n));
  for (const StoredCut& c : cuts) {
    const int row = out.num_rows();
    out.row_lb.push_back(c.lb);
    out.row_ub.push_back(c.ub);
    for (const Entry& e : c.row) extra[static_cast<size_t>(e.index)].push_back({row, e.value});
  }
  out.col_start.assign(static_cast<size_t>(n) + 1, 0);
  out.row_index.clear();
  out.value.clear();
  for (int j = 0; j < n; ++j) {
    const size_t k = static_cast<size_t>(j);
    for (int e = sm.col_start[k]; e < sm.col_start[k + 1]; ++e) {
      out.row_index.push_back(sm.row_index[static_cast<size_t>(e)]);
      out.value.push_back(sm.value[static_cast<size_t>(e)]);
    }
    for (const Entry& e : extra[k]) out.row_index.push_back(e.index), out.value.push_back(e.value);
    out.col_start[k + 1] = static_cast<int>(out.row_index.size());
  }
  return out;
}

int StartCheck::feasible(CbcModel* model, int mode) {
  if (mode == 0 && model) engine_->start_turn(*model);
  return 0;
}

void NodeCuts::generateCuts(const OsiSolverInterface& si, OsiCuts& cs, const CglTreeInfo info) {
  engine_->node_turn(si, cs, info);
}

bool ProposedSolutions::shouldHeurRun(int) { return engine_->solutions_wanted(model_); }

int ProposedSolutions::solution(double& objectiveValue, double* newSolution) {
  if (!engine_->solutions_wanted(model_)) return 0;
  return engine_->deliver(*model_->solver(), objectiveValue, newSolution);
}

}  // namespace

RunOutcome solve_cbc_with_callback(CallbackSession& session, const ModelData& data, const SolverModel& sm,
                                   RunControl& run) {
  run.log.line("A callback is registered: the search runs on one thread, without preprocessing");
  CbcEngine first(session, sm);
  RunOutcome out = run_cbc(data, sm, run, &first);
  // CBC may end at a root whose relaxation became integral after the last
  // pass of its cut generators and violates a stored cut; the search is then
  // incomplete. It goes on with the cuts as rows of the model (the turns go
  // on as they were: MIPSTART is not given again), from the best solution.
  bool lost = first.lost_root();
  std::vector<double> best = first.best();
  for (int round = 0; lost && !session.stopped() && round < 3; ++round) {
    run.log.line("The root's integral relaxation violated a cut of the callback: solving again with the cuts as rows");
    const SolverModel with_cuts = with_cut_rows(sm, session.cuts());
    if (!best.empty()) session.offer({best, sm.min_objective(best.data())});
    CbcEngine again(session, sm);
    RunOutcome next = run_cbc(data, with_cuts, run, &again);
    next.stats.spx_iters += out.stats.spx_iters;
    next.stats.nodes += out.stats.nodes;
    next.stats.work += out.stats.work;
    next.stats.solver_time += out.stats.solver_time;
    next.stats.presolve_time += out.stats.presolve_time;
    out = std::move(next);
    lost = again.lost_root();
    if (!again.best().empty()) best = again.best();
  }
  Solution& s = out.solution;
  if (lost && !session.stopped()) {
    run.log.line("The search is incomplete: a cut of the callback cut off the root's solution once more");
    if (s.status == VLM_STATUS_OPTIMAL) s.status = VLM_STATUS_SUB_OPTIMAL;
    if (s.status == VLM_STATUS_INFEASIBLE) s.status = VLM_STATUS_UNKNOWN;
  }
  // Solutions the callback proposed that the search ended before taking.
  for (CheckedSolution& c : session.take_solutions()) {
    if (s.has_primal && sm.sense * (s.primal_obj - sm.obj_const) <= c.min_value) continue;
    set_primal(data, c.x.data(), s);
    s.pool.insert(s.pool.begin(), std::vector<double>(c.x.begin(), c.x.begin() + sm.user_cols));
    if (static_cast<int>(s.pool.size()) > run.params.get_int(kMipSolutionPoolSize)) s.pool.pop_back();
    s.sol_count = static_cast<int>(s.pool.size());
    s.has_gap = false;
    if (s.status != VLM_STATUS_UNBOUNDED) s.status = VLM_STATUS_SUB_OPTIMAL;
  }
  return out;
}

}  // namespace velmor
