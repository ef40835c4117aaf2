// Indicator constraints and semi-continuous variables as linear rows, SOS1
// sets and extra columns that only the solvers see; SOS1 sets of binaries as
// rows.
//
// An SOS1 set whose members are all binary (integer columns within [0, 1])
// is exactly the row "sum of the members <= 1": no columns, and a model
// without other sets keeps CBC's preprocessing, heuristics and pseudo costs,
// which SOS sets turn off.
//
// An indicator "z = 1 -> L(x) <= r" (z the binary, or its complement for
// binval 0) becomes, side by side:
//  - big-M: L(x) + M z <= r + M with M = max L(x) - r over the column bounds,
//    when that maximum is finite (each column's bound on the side its term
//    grows towards) and M <= MIP/LinearizationBigM
//    (M <= 0: the row can never be violated and is dropped);
//  - otherwise exactly: L(x) - s <= r with a slack s >= 0 and the SOS1 set
//    {s, z}: z = 1 forces s = 0.
// A ">=" side is the mirror image, "=" both sides. The complement 1 - b of
// a binary b is a column w in [0, 1] with the row w + b = 1, made once per
// indicator that needs it.
//
// A semi-continuous x (x = 0 or lb <= x <= ub) whose range excludes 0 gets a
// binary z and the column bounds [min(0, lb), max(0, ub)], and two indicator
// sides: z = 0 -> x = 0, z = 1 -> lb <= x <= ub. Semi-integer adds
// integrality of x.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <CoinFinite.hpp>

#include "solve/solve.hpp"

namespace velmor {

namespace {

class Reformulation {
 public:
  Reformulation(SolverModel& sm, double big_m) : sm_(sm), big_m_(big_m) {}

  int add_col(double lb, double ub, bool integer) {
    sm_.col_lb.push_back(lb);
    sm_.col_ub.push_back(ub);
    sm_.obj.push_back(0.0);
    sm_.is_int.push_back(integer ? 1 : 0);
    return sm_.num_cols() - 1;
  }

  void add_row(const SparseVector& lin, double lb, double ub) {
    const int row = static_cast<int>(sm_.row_lb.size());
    sm_.row_lb.push_back(lb);
    sm_.row_ub.push_back(ub);
    for (const Entry& e : lin)
      if (e.value != 0.0) entries_.push_back({row, e.index, e.value});  // zeros stay out, as in the model's rows
  }

  // The literal "binvar == binval" as a column that is 1 exactly when it holds.
  struct Literal {
    int binvar, binval;
    int column = -1;  // made on first use
  };
  int literal_column(Literal& lit) {
    if (lit.column >= 0) return lit.column;
    if (lit.binval == 1) return lit.column = lit.binvar;
    lit.column = add_col(0.0, 1.0, false);
    add_row({{lit.binvar, 1.0}, {lit.column, 1.0}}, 1.0, 1.0);
    return lit.column;
  }

  // One side of "literal -> L(x) sense rhs": sense is '<' or '>'.
  void add_side(Literal& lit, const SparseVector& lin, char sense, double rhs) {
    // M is the most L(x) can exceed rhs (fall short of it) over the column
    // bounds: only the bound each term reaches it at need be finite (x >= 5
    // over x in [0, infinity) has M = 5).
    const bool upper = sense == VLM_LESS_EQUAL;
    double extreme = 0;
    for (const Entry& e : lin) {
      if (e.value == 0) continue;
      const size_t k = static_cast<size_t>(e.index);
      const double bound = (e.value > 0) == upper ? sm_.col_ub[k] : sm_.col_lb[k];
      if (std::fabs(bound) >= COIN_DBL_MAX) {
        extreme = NAN;
        break;
      }
      extreme += e.value * bound;
    }
    const double m = upper ? extreme - rhs : rhs - extreme;
    const bool bounded = !std::isnan(m);
    if (bounded && m <= 0) return;  // holds for every x within the bounds
    if (bounded && m <= big_m_) {
      // L + M z <= rhs + M (or L - M z >= rhs - M), with z the literal: for
      // the complement of b the binary itself takes -M (+M) and the constant moves.
      SparseVector row = lin;
      const double coef = sense == VLM_LESS_EQUAL ? m : -m;
      double shift = coef;  // M z moved to the right-hand side at z = 1
      if (lit.binval == 1) {
        append(row, lit.binvar, coef);
      } else {
        append(row, lit.binvar, -coef);  // coef * (1 - b)
        shift = 0.0;
      }
      if (sense == VLM_LESS_EQUAL)
        add_row(row, -COIN_DBL_MAX, rhs + shift);
      else
        add_row(row, rhs + shift, COIN_DBL_MAX);
      return;
    }
    const int slack = add_col(0.0, COIN_DBL_MAX, false);
    SparseVector row = lin;
    append(row, slack, sense == VLM_LESS_EQUAL ? -1.0 : 1.0);
    if (sense == VLM_LESS_EQUAL)
      add_row(row, -COIN_DBL_MAX, rhs);
    else
      add_row(row, rhs, COIN_DBL_MAX);
    const int z = literal_column(lit);
    sm_.sos.push_back({VLM_SOS_TYPE1, {slack, z}, {1.0, 2.0}});
  }

  void add_indicator(Literal& lit, const SparseVector& lin, char sense, double rhs) {
    if (sense != VLM_GREATER_EQUAL) add_side(lit, lin, VLM_LESS_EQUAL, rhs);
    if (sense != VLM_LESS_EQUAL) add_side(lit, lin, VLM_GREATER_EQUAL, rhs);
  }

  // Merges the added rows' entries into the column-major matrix.
  void finish() {
    const size_t ncols = static_cast<size_t>(sm_.num_cols());
    if (!sm_.h_start.empty()) sm_.h_start.resize(ncols + 1, sm_.h_start.back());
    if (entries_.empty() && sm_.col_start.size() == ncols + 1) return;
    std::vector<int> count(ncols, 0);
    for (size_t j = 0; j + 1 < sm_.col_start.size(); ++j) count[j] = sm_.col_start[j + 1] - sm_.col_start[j];
    for (const Triplet& t : entries_) ++count[static_cast<size_t>(t.col)];
    std::vector<int> start(ncols + 1, 0);
    for (size_t j = 0; j < ncols; ++j) start[j + 1] = start[j] + count[j];
    std::vector<int> index(static_cast<size_t>(start[ncols]));
    std::vector<double> value(index.size());
    std::vector<int> next(start.begin(), start.end() - 1);
    for (size_t j = 0; j + 1 < sm_.col_start.size(); ++j)
      for (int k = sm_.col_start[j]; k < sm_.col_start[j + 1]; ++k) {
        const size_t at = static_cast<size_t>(next[j]++);
        index[at] = sm_.row_index[static_cast<size_t>(k)];
        value[at] = sm_.value[static_cast<size_t>(k)];
      }
    // Added rows come after every model row and in increasing order, so
    // each column stays sorted by row.
    for (const Triplet& t : entries_) {
      const size_t at = static_cast<size_t>(next[static_cast<size_t>(t.col)]++);
      index[at] = t.row;
      value[at] = t.value;
    }
    sm_.col_start.swap(start);
    sm_.row_index.swap(index);
    sm_.value.swap(value);
  }

 private:
  struct Triplet {
    int row, col;
    double value;
  };

  static void append(SparseVector& row, int col, double value) {
    for (Entry& e : row)
      if (e.index == col) {
        e.value += value;
        return;
      }
    row.push_back({col, value});
  }

  SolverModel& sm_;
  double big_m_;
  std::vector<Triplet> entries_;
};

// Whether every member of `s` is a binary column (integer within [0, 1]),
// each once.
bool binary_members(const SolverSos& s, const SolverModel& sm, std::vector<char>& seen) {
  bool binary = true;
  for (int c : s.members) {
    const size_t k = static_cast<size_t>(c);
    if (!sm.is_int[k] || sm.col_lb[k] < 0 || sm.col_ub[k] > 1 || seen[k]) binary = false;
    seen[k] = 1;
  }
  for (int c : s.members) seen[static_cast<size_t>(c)] = 0;
  return binary;
}

}  // namespace

void reformulate_discrete(const ModelData& d, double big_m, SolverModel& sm) {
  Reformulation r(sm, big_m);
  std::vector<char> seen(static_cast<size_t>(sm.num_cols()), 0);
  int as_rows = 0;
  std::vector<SolverSos> sets;
  for (SolverSos& s : sm.sos) {
    if (s.type != VLM_SOS_TYPE1 || !binary_members(s, sm, seen)) {
      sets.push_back(std::move(s));
      continue;
    }
    SparseVector row;
    for (int c : s.members) row.push_back({c, 1.0});
    r.add_row(row, -COIN_DBL_MAX, 1.0);
    ++as_rows;
  }
  sm.sos = std::move(sets);
  if (as_rows > 0)
    sm.reformulated.push_back(std::to_string(as_rows) +
                              " SOS1 sets of binaries as rows (the sum of a set's members at most 1), no columns added");
  const int cols0 = sm.num_cols(), rows0 = sm.num_rows();
  // Semi-continuous columns first take their range with 0 added: the big-M
  // of an indicator over such a column must allow the column's 0.
  struct Semi {
    int col;
    double lb, ub;
  };
  std::vector<Semi> semis;
  const int n = d.cols.size();
  for (int j = 0; j < n; ++j) {
    const char t = d.cols.type[static_cast<size_t>(j)];
    if (t != VLM_SEMICONT && t != VLM_SEMIINT) continue;
    const size_t k = static_cast<size_t>(j);
    if (t == VLM_SEMIINT) sm.is_int[k] = 1;
    const double lb = sm.col_lb[k], ub = sm.col_ub[k];
    if (lb <= 0 && ub >= 0) continue;  // zero lies in the range already
    if (lb > ub || lb >= COIN_DBL_MAX || ub <= -COIN_DBL_MAX) {
      // The range is empty or lies at infinity: x is 0. (Its indicator side
      // would be a row no point meets, with an infinite or huge right-hand
      // side, which CLP and CGL cannot take.)
      sm.col_lb[k] = sm.col_ub[k] = 0.0;
      continue;
    }
    sm.col_lb[k] = std::min(0.0, lb);
    sm.col_ub[k] = std::max(0.0, ub);
    semis.push_back({j, lb, ub});
  }
  for (const Indicator& ind : d.indicators) {
    Reformulation::Literal lit{ind.binvar, ind.binval};
    r.add_indicator(lit, ind.lin, ind.sense, ind.rhs);
  }
  for (const Semi& s : semis) {
    const int z = r.add_col(0.0, 1.0, true);
    sm.semi_switch.emplace_back(s.col, z);
    Reformulation::Literal off{z, 0}, on{z, 1};
    const SparseVector x{{s.col, 1.0}};
    r.add_indicator(off, x, VLM_EQUAL, 0.0);
    if (s.lb > 0) r.add_side(on, x, VLM_GREATER_EQUAL, s.lb);
    if (s.ub < 0) r.add_side(on, x, VLM_LESS_EQUAL, s.ub);
  }
  r.finish();
  if (sm.num_cols() > cols0 || sm.num_rows() > rows0)
    sm.reformulated.push_back(std::to_string(sm.num_cols() - cols0) + " columns and " +
                              std::to_string(sm.num_rows() - rows0) +
                              " rows added for indicators and semi-continuous variables");
}

}  // namespace velmor
