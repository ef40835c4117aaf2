// The fallback for a QP our interior point method stalls on: Ipopt, whose
// monotone barrier strategy and filter line search reach problems whose
// optimal multipliers are huge against their data (LISWET8-12 of the
// Maros-Meszaros set), at the cost of slower iterations. Its answer counts
// only through check_qp_point, like every other.
//
// Ipopt's MUMPS (sequential) is not safe to run in two threads at once, so
// Ipopt runs take turns in the process.
#include <IpIpoptApplication.hpp>
#include <IpTNLP.hpp>
#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "qp/qp_ipm.hpp"
#include "solve/solve.hpp"

namespace velmor {

namespace {

std::mutex ipopt_turn;

class QpProblem : public Ipopt::TNLP {
 public:
  QpProblem(const QpData& qp, RunControl& run) : qp_(qp), run_(run), row_start_(static_cast<size_t>(qp.m) + 1, 0) {
    // A by rows, for the Jacobian.
    for (int i : qp.a_index) ++row_start_[static_cast<size_t>(i) + 1];
    for (int i = 0; i < qp.m; ++i) row_start_[static_cast<size_t>(i) + 1] += row_start_[static_cast<size_t>(i)];
    row_col_.resize(qp.a_index.size());
    row_val_.resize(qp.a_index.size());
    std::vector<int> next(row_start_.begin(), row_start_.end() - 1);
    for (int j = 0; j < qp.n; ++j)
      for (int k = qp.a_start[static_cast<size_t>(j)]; k < qp.a_start[static_cast<size_t>(j) + 1]; ++k) {
        const int p = next[static_cast<size_t>(qp.a_index[static_cast<size_t>(k)])]++;
        row_col_[static_cast<size_t>(p)] = j;
        row_val_[static_cast<size_t>(p)] = qp.a_value[static_cast<size_t>(k)];
      }
  }

  std::vector<double> x, y;  // the final point and row multipliers (Hx + c - A'y is the reduced gradient)

  bool get_nlp_info(Ipopt::Index& n, Ipopt::Index& m, Ipopt::Index& nnz_jac, Ipopt::Index& nnz_h,
                    IndexStyleEnum& style) override {
    n = qp_.n;
    m = qp_.m;
    nnz_jac = static_cast<Ipopt::Index>(row_col_.size());
    nnz_h = static_cast<Ipopt::Index>(qp_.h_index.size());
    style = C_STYLE;
    return true;
  }

  bool get_bounds_info(Ipopt::Index n, Ipopt::Number* xl, Ipopt::Number* xu, Ipopt::Index m, Ipopt::Number* gl,
                       Ipopt::Number* gu) override {
    std::copy(qp_.col_lb.begin(), qp_.col_lb.begin() + n, xl);
    std::copy(qp_.col_ub.begin(), qp_.col_ub.begin() + n, xu);
    std::copy(qp_.row_lb.begin(), qp_.row_lb.begin() + m, gl);
    std::copy(qp_.row_ub.begin(), qp_.row_ub.begin() + m, gu);
    return true;
  }

  bool get_starting_point(Ipopt::Index n, bool, Ipopt::Number* x0, bool, Ipopt::Number*, Ipopt::Number*,
                          Ipopt::Index, bool, Ipopt::Number*) override {
    std::fill(x0, x0 + n, 0.0);
    return true;
  }

  bool eval_f(Ipopt::Index, const Ipopt::Number* v, bool, Ipopt::Number& f) override {
    f = qp_.objective(v);
    return true;
  }

  bool eval_grad_f(Ipopt::Index n, const Ipopt::Number* v, bool, Ipopt::Number* g) override {
    const std::vector<double> grad = qp_.gradient(v);
    std::copy(grad.begin(), grad.begin() + n, g);
    return true;
  }

  bool eval_g(Ipopt::Index, const Ipopt::Number* v, bool, Ipopt::Index m, Ipopt::Number* g) override {
    const std::vector<double> act = qp_.activities(v);
    std::copy(act.begin(), act.begin() + m, g);
    return true;
  }

  bool eval_jac_g(Ipopt::Index, const Ipopt::Number*, bool, Ipopt::Index, Ipopt::Index, Ipopt::Index* row,
                  Ipopt::Index* col, Ipopt::Number* value) override {
    for (int i = 0; i < qp_.m; ++i)
      for (int p = row_start_[static_cast<size_t>(i)]; p < row_start_[static_cast<size_t>(i) + 1]; ++p) {
        if (value) {
          value[p] = row_val_[static_cast<size_t>(p)];
        } else {
          row[p] = i;
          col[p] = row_col_[static_cast<size_t>(p)];
        }
      }
    return true;
  }

  // The Hessian of the Lagrangian is the objective's: H's entries as its
  // lower triangle.
  bool eval_h(Ipopt::Index, const Ipopt::Number*, bool, Ipopt::Number factor, Ipopt::Index, const Ipopt::Number*,
              bool, Ipopt::Index, Ipopt::Index* row, Ipopt::Index* col, Ipopt::Number* value) override {
    Ipopt::Index p = 0;
    for (int j = 0; j + 1 < static_cast<int>(qp_.h_start.size()); ++j)
      for (int k = qp_.h_start[static_cast<size_t>(j)]; k < qp_.h_start[static_cast<size_t>(j) + 1]; ++k, ++p) {
        if (value) {
          value[p] = factor * qp_.h_value[static_cast<size_t>(k)];
        } else {
          row[p] = j;
          col[p] = qp_.h_index[static_cast<size_t>(k)];
        }
      }
    return true;
  }

  // Stops the run when it must stop, and as stalled when Ipopt's
  // infeasibilities (the larger of the primal and the dual) have not fallen
  // tenfold in kStallWindow iterations: a run that went nowhere in that
  // many (BOYD2's from its start point, with steps of 1e-4) is not near its
  // end.
  bool intermediate_callback(Ipopt::AlgorithmMode, Ipopt::Index, Ipopt::Number, Ipopt::Number inf_pr,
                             Ipopt::Number inf_du, Ipopt::Number, Ipopt::Number, Ipopt::Number, Ipopt::Number,
                             Ipopt::Number, Ipopt::Index, const Ipopt::IpoptData*,
                             Ipopt::IpoptCalculatedQuantities*) override {
    ++iterations;
    infeasibility_.push_back(std::max(inf_pr, inf_du));
    const size_t k = infeasibility_.size();
    if (k > kStallWindow && !(infeasibility_[k - 1] <= 0.1 * infeasibility_[k - 1 - kStallWindow])) {
      stalled = true;
      return false;
    }
    return !run_.should_stop();
  }

  void finalize_solution(Ipopt::SolverReturn, Ipopt::Index n, const Ipopt::Number* v, const Ipopt::Number*,
                         const Ipopt::Number*, Ipopt::Index m, const Ipopt::Number*, const Ipopt::Number* lambda,
                         Ipopt::Number, const Ipopt::IpoptData*, Ipopt::IpoptCalculatedQuantities*) override {
    x.assign(v, v + n);
    // Ipopt's Lagrangian adds lambda'g: our multipliers are its negation.
    y.resize(static_cast<size_t>(m));
    for (Ipopt::Index i = 0; i < m; ++i) y[static_cast<size_t>(i)] = -lambda[i];
  }

  int iterations = 0;
  bool stalled = false;

 private:
  static constexpr size_t kStallWindow = 150;
  const QpData& qp_;
  RunControl& run_;
  std::vector<double> infeasibility_;
  std::vector<int> row_start_, row_col_;
  std::vector<double> row_val_;
};

}  // namespace

QpResult solve_qp_ipopt(const QpData& qp, const QpTolerances& tol, RunControl& run) {
  QpResult out;
  // Waiting for the turn counts against the run's limits too.
  std::unique_lock<std::mutex> turn(ipopt_turn, std::defer_lock);
  while (!turn.try_lock()) {
    if (run.should_stop()) {
      out.status = QpResult::kStopped;
      return out;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  try {
    Ipopt::SmartPtr<Ipopt::IpoptApplication> app = IpoptApplicationFactory();
    Ipopt::OptionsList& o = *app->Options();
    o.SetIntegerValue("print_level", 0);
    o.SetStringValue("sb", "yes");
    o.SetStringValue("hessian_constant", "yes");
    o.SetStringValue("jac_c_constant", "yes");
    o.SetStringValue("jac_d_constant", "yes");
    o.SetNumericValue("bound_relax_factor", 0.0);
    // Ipopt's own measure is scaled differently from check_qp_point: it is
    // asked for a hundredth of the tolerances, complementarity included.
    const double target = 0.01 * std::min({tol.primal, tol.dual, tol.gap});
    o.SetNumericValue("tol", target);
    o.SetNumericValue("compl_inf_tol", target);
    o.SetIntegerValue("max_iter", 3000);
    // MUMPS's automatic choice of ordering takes Scotch for large KKT
    // systems and for those with dense columns. Scotch 7 orders in threads,
    // and not reproducibly: BOYD2's system got orders whose factors ranged
    // from 9e6 to 5e9 entries, and its threaded nested dissection has freed
    // a block twice (a segmentation fault or a heap abort mid-run). QAMD
    // runs in this thread, the same way every run, and keeps quasi-dense
    // rows for last.
    o.SetIntegerValue("mumps_pivot_order", 6);
    if (app->Initialize() != Ipopt::Solve_Succeeded) return out;
    Ipopt::SmartPtr<QpProblem> problem = new QpProblem(qp, run);
    const Ipopt::ApplicationReturnStatus status = app->OptimizeTNLP(Ipopt::GetRawPtr(problem));
    out.iterations = problem->iterations;
    if (problem->x.size() == static_cast<size_t>(qp.n) && problem->y.size() == static_cast<size_t>(qp.m)) {
      // The point, within its bounds, and its measure.
      out.x = problem->x;
      for (int j = 0; j < qp.n; ++j) {
        const size_t k = static_cast<size_t>(j);
        out.x[k] = std::min(std::max(out.x[k], qp.col_lb[k]), qp.col_ub[k]);
      }
      out.y = problem->y;
      out.check = check_qp_point(qp, out.x.data(), out.y.data());
    }
    if (run.stopped_by() || (status == Ipopt::User_Requested_Stop && !problem->stalled))
      out.status = QpResult::kStopped;
    else if (!out.x.empty() && tol.met(out.check))
      out.status = QpResult::kOptimal;
  } catch (...) {
    out.status = QpResult::kFailed;
  }
  return out;
}

}  // namespace velmor
