// Reasoning on the rows of integer columns before a search
// (round_integer_rows, solve.hpp): their sides on the lattice of activities
// integer points give them, and the proofs of infeasibility that lattice
// gives without a search.
//
// A row takes part when each of its columns is integer (binary, integer or
// semi-integer, whose 0 is an integer too), fixed, or, for one column at
// most, continuous, and its coefficients on the columns that are not fixed
// are integers once scaled by one power of two up to 2^kMaxScale. The
// fixed columns' terms are its offset s. Three steps:
//  1. A row without a continuous column: the greatest common divisor of its
//     scaled coefficients is the step g of its lattice, every integer point
//     gives it an activity s + k g (k an integer), and a lower side lb
//     becomes s + g ceil((lb - s - tol) / g), an upper side ub
//     s + g floor((ub - s + tol) / g). Sides that cross prove the model
//     infeasible (2x + 4y = 3).
//  2. Parallel rows (the same coefficients up to a factor, a row and its
//     copy as two one-sided rows among them) meet their sides together:
//     lattice ranges that do not meet prove infeasibility, and rows with a
//     continuous column give the interval of their common activity.
//  3. A continuous column that is the one continuous column of an equality
//     (up to the tolerance, after step 2) and of another row is eliminated
//     between them: the difference of the right multiples of the two is a
//     row of integer columns, whose lattice may leave no integer point
//     between its sides (3z - x = 0.5 and 7z - y = 0 over integers x, y:
//     7x - 3y = -3.5).
//
// tol absorbs noise, not a step of the lattice: a side within a millionth of
// the step of a lattice activity (and within 1e-6 relative to max(1, |side|,
// |offset|), what the point check grants) takes that activity, so that
// 3.0000000001 and 3 + 2^-23 are 3, not 4 (a side the data's arithmetic or
// single precision put a little off the lattice); a side of 2e7 + 1 over
// 2x + 2y becomes 2e7 + 2 (a tolerance relative to the side alone let it
// slide out ten steps, to 2e7 - 18, and the search took them). It is never
// below 2^-50 of the side's size, above the rounding errors of the
// computation, on the outer side of each bound: a side so rounded may lie
// outside the given one by up to tol, and still holds at every integer
// point of the model; the ranges
// of steps 2 and 3 hold every activity of an integer point of the model.
// So a model whose rounded sides no point of the relaxation meets (a Farkas
// certificate) has no integer point, nor one where a step above proves it.
//
// Only what is exact is written: scaling by a power of two is exact, so are
// the scaled coefficients (integers up to 2^53), the products k times the
// divisor and the offset's terms and sums (checked by error-free
// transformations: fma for a product, two-sum for a sum). A coefficient no
// such scale makes an integer (0.1, 1/3 as doubles), two continuous columns
// or a value beyond 2^53 leave a row out.
#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>

#include <CoinFinite.hpp>

#include "solve/solve.hpp"

namespace velmor {

namespace {

constexpr int kMaxScale = 10;            // scales 1, 2, 4, ..., 1024
constexpr double kSideTolerance = 1e-6;  // the point check's, relative to max(1, |side|)
// Step 3 stops after this many coefficients of eliminated rows (a column in
// many equalities).
constexpr long long kEliminationWork = 10'000'000;

// The least e in [0, kMaxScale] that makes a 2^e an integer; -1 when none does.
int scale_exponent(double a) {
  for (int e = 0; e <= kMaxScale; ++e) {
    const double v = std::ldexp(a, e);
    if (v == std::trunc(v)) return e;
  }
  return -1;
}

// sum = a + b when the sum is exact in doubles (two-sum: its rounding error
// is itself a double, computed exactly).
bool exact_sum(double a, double b, double& sum) {
  const double s = a + b, bs = s - a, err = (a - (s - bs)) + (b - bs);
  sum = s;
  return std::isfinite(s) && err == 0.0;
}

bool finite_side(double v) { return std::fabs(v) < COIN_DBL_MAX; }

__int128 gcd128(__int128 a, __int128 b) {
  if (a < 0) a = -a;
  if (b < 0) b = -b;
  while (b != 0) {
    const __int128 r = a % b;
    a = b;
    b = r;
  }
  return a;
}

// A column's coefficient in a row, scaled to an integer.
struct Term {
  int col;
  long long coef;
  bool operator==(const Term& o) const { return col == o.col && coef == o.coef; }
  bool operator<(const Term& o) const { return col != o.col ? col < o.col : coef < o.coef; }
};

// A model row as the steps read it: 2^-scale (sum of terms) + offset.
struct RowForm {
  bool takes_part = true;
  int scale = 0;
  double offset = 0.0;   // the fixed columns' terms
  int continuous = -1;   // its one continuous column
  std::vector<Term> terms;  // the columns that are not fixed, by column
  long long divisor = 0;    // the terms' greatest common divisor; 0 without terms
  // Step 1's range of k (activity s + k g), for a row without a continuous column.
  double k_lo = -HUGE_VAL, k_hi = HUGE_VAL;
};

// Rows with the same terms divided by their divisor, the sign making the
// first positive: the activity of those primitive terms lies in [lo, hi].
struct Group {
  std::vector<Term> terms;
  std::vector<int> rows;  // the model rows, those that bind the range first
  int continuous = -1;
  double lo = -HUGE_VAL, hi = HUGE_VAL;  // margins included for a group with a continuous column
  double lo_margin = 0.0, hi_margin = 0.0;
  int lo_row = -1, hi_row = -1;
  bool narrow() const {  // an equality, to the tolerance
    return std::isfinite(lo) && std::isfinite(hi) && (hi - hi_margin) - (lo + lo_margin) <= lo_margin + hi_margin;
  }
};

class IntegerRowReasoning {
 public:
  explicit IntegerRowReasoning(SolverModel& sm) : sm_(sm) {}

  IntegerRows run() {
    read_rows();
    round_sides();
    if (out_.proof.empty()) group_parallel_rows();
    if (out_.proof.empty()) eliminate_continuous_columns();
    return out_;
  }

 private:
  bool fixed(size_t j) const { return sm_.col_lb[j] == sm_.col_ub[j] && finite_side(sm_.col_lb[j]); }

  // Each row's form: the scale and the offset, then the scaled terms.
  void read_rows() {
    rows_.assign(static_cast<size_t>(sm_.user_rows), RowForm());
    const int n = sm_.num_cols();
    for (int pass = 0; pass < 2; ++pass)
      for (int j = 0; j < n; ++j) {
        const size_t k = static_cast<size_t>(j);
        for (int e = sm_.col_start[k]; e < sm_.col_start[k + 1]; ++e) {
          const int i = sm_.row_index[static_cast<size_t>(e)];
          if (i >= sm_.user_rows) continue;
          RowForm& r = rows_[static_cast<size_t>(i)];
          const double a = sm_.value[static_cast<size_t>(e)];
          if (!r.takes_part) continue;
          if (pass == 0 && fixed(k)) {
            const double v = sm_.col_lb[k], term = a * v;
            r.takes_part = std::fma(a, v, -term) == 0.0 && exact_sum(r.offset, term, r.offset);
          } else if (pass == 0) {
            if (!sm_.is_int[k]) {
              r.takes_part = r.continuous < 0;
              r.continuous = j;
            }
            const int need = scale_exponent(a);
            r.takes_part = r.takes_part && need >= 0;
            r.scale = std::max(r.scale, need);
          } else if (!fixed(k)) {
            const double scaled = std::ldexp(a, r.scale);
            r.takes_part = std::fabs(scaled) <= kExactIntegers;
            if (!r.takes_part) continue;
            r.terms.push_back({j, static_cast<long long>(scaled)});
            r.divisor = std::gcd(r.divisor, static_cast<long long>(std::fabs(scaled)));
          }
        }
      }
  }

  double lattice_step(const RowForm& r) const { return std::ldexp(static_cast<double>(r.divisor), -r.scale); }

  // A side's share of the tolerance, in the row's units (tol above).
  double side_tolerance(const RowForm& r, double side) const {
    const double size = std::max({1.0, std::fabs(side), std::fabs(r.offset)});
    return std::max(kSideTolerance * std::min(size, lattice_step(r)), 0x1p-50 * size);
  }

  // The multiple k of the step for a lower or upper side; NAN beyond 2^53.
  double lattice_index(const RowForm& r, double side, bool upper) const {
    const double g = lattice_step(r), tol = side_tolerance(r, side);
    const double k = upper ? std::floor((side - r.offset + tol) / g) : std::ceil((side - r.offset - tol) / g);
    return std::fabs(k) * static_cast<double>(r.divisor) <= kExactIntegers ? k : NAN;
  }

  // The activity s + k g as a double, when exact.
  static bool lattice_point(const RowForm& r, double k, double& side) {
    return exact_sum(std::ldexp(k * static_cast<double>(r.divisor), -r.scale), r.offset, side);
  }

  // Step 1.
  void round_sides() {
    for (size_t i = 0; i < rows_.size(); ++i) {
      RowForm& r = rows_[i];
      if (!r.takes_part || r.continuous >= 0 || r.divisor == 0) continue;
      double& lb = sm_.row_lb[i];
      double& ub = sm_.row_ub[i];
      const double lo = finite_side(lb) ? lattice_index(r, lb, false) : -HUGE_VAL;
      const double hi = finite_side(ub) ? lattice_index(r, ub, true) : HUGE_VAL;
      if (std::isnan(lo) || std::isnan(hi)) {
        r.takes_part = false;
        continue;
      }
      r.k_lo = lo;
      r.k_hi = hi;
      if (lo > hi) {
        out_.proof = {static_cast<int>(i)};
        out_.step = lattice_step(r);
        return;
      }
      double side;
      if (std::isfinite(lo) && lattice_point(r, lo, side) && side != lb) lb = side, ++out_.moved;
      if (std::isfinite(hi) && lattice_point(r, hi, side) && side != ub) ub = side, ++out_.moved;
    }
  }

  // Step 2: the groups, and their ranges.
  void group_parallel_rows() {
    std::vector<std::pair<std::vector<Term>, int>> keyed;  // (primitive terms, row)
    for (size_t i = 0; i < rows_.size(); ++i) {
      const RowForm& r = rows_[i];
      if (!r.takes_part || r.divisor == 0) continue;
      const long long sign = r.terms.front().coef < 0 ? -1 : 1;
      std::vector<Term> primitive = r.terms;
      for (Term& t : primitive) t.coef = sign * (t.coef / r.divisor);
      keyed.emplace_back(std::move(primitive), static_cast<int>(i));
    }
    std::sort(keyed.begin(), keyed.end());
    for (size_t a = 0; a < keyed.size();) {
      size_t b = a;
      Group g;
      g.terms = keyed[a].first;
      g.continuous = rows_[static_cast<size_t>(keyed[a].second)].continuous;
      for (; b < keyed.size() && keyed[b].first == keyed[a].first; ++b) meet(g, keyed[b].second);
      a = b;
      if (g.lo > g.hi && g.continuous < 0) {
        out_.proof = {g.lo_row, g.hi_row};
        return;
      }
      if (g.continuous >= 0 && g.lo <= g.hi) groups_.push_back(std::move(g));
    }
  }

  // The range of row i's primitive activity met with the group's.
  void meet(Group& g, int i) {
    const RowForm& r = rows_[static_cast<size_t>(i)];
    const bool flip = r.terms.front().coef < 0;
    g.rows.push_back(i);
    double lo, hi, lo_margin = 0.0, hi_margin = 0.0;
    if (r.continuous < 0) {
      lo = r.k_lo;
      hi = r.k_hi;
    } else {
      // (side - s) 2^scale / divisor, each side moved out by its tolerance.
      const double unit = std::ldexp(1.0, r.scale) / static_cast<double>(r.divisor);
      const double lb = sm_.row_lb[static_cast<size_t>(i)], ub = sm_.row_ub[static_cast<size_t>(i)];
      lo = -HUGE_VAL;
      hi = HUGE_VAL;
      if (finite_side(lb)) {
        lo_margin = side_tolerance(r, lb) * unit;
        lo = (lb - r.offset) * unit - lo_margin;
      }
      if (finite_side(ub)) {
        hi_margin = side_tolerance(r, ub) * unit;
        hi = (ub - r.offset) * unit + hi_margin;
      }
    }
    if (flip) {
      std::swap(lo, hi);
      std::swap(lo_margin, hi_margin);
      lo = -lo;
      hi = -hi;
    }
    if (lo > g.lo) g.lo = lo, g.lo_margin = lo_margin, g.lo_row = i;
    if (hi < g.hi) g.hi = hi, g.hi_margin = hi_margin, g.hi_row = i;
  }

  // Step 3: each narrow group with each other group of the same continuous
  // column.
  void eliminate_continuous_columns() {
    std::stable_sort(groups_.begin(), groups_.end(),
                     [](const Group& a, const Group& b) { return a.continuous < b.continuous; });
    long long work = 0;
    for (size_t a = 0; a < groups_.size();) {
      size_t b = a;
      while (b < groups_.size() && groups_[b].continuous == groups_[a].continuous) ++b;
      for (size_t e = a; e < b; ++e) {
        if (!groups_[e].narrow()) continue;
        for (size_t r = a; r < b; ++r) {
          if (r == e || (groups_[r].narrow() && r < e)) continue;  // (a pair of equalities once)
          work += static_cast<long long>(groups_[e].terms.size() + groups_[r].terms.size());
          if (work > kEliminationWork) return;
          if (no_integer_point(groups_[e], groups_[r])) {
            out_.proof = groups_[e].rows;
            out_.proof.insert(out_.proof.end(), groups_[r].rows.begin(), groups_[r].rows.end());
            out_.eliminated = groups_[e].continuous;
            return;
          }
        }
      }
      a = b;
    }
  }

  static long long coefficient(const Group& g, int col) {
    for (const Term& t : g.terms)
      if (t.col == col) return t.coef;
    return 0;
  }

  // Whether e c_R times R's activity less c_E times E's (c_X: the
  // continuous column's coefficient in X), a row of integer columns only,
  // has no multiple of its divisor in its range.
  static bool no_integer_point(const Group& eq, const Group& other) {
    const int col = eq.continuous;
    const __int128 ce = coefficient(eq, col), cr = coefficient(other, col);
    // (ce r - cr e) . x over the union of the two rows' columns, x_col gone.
    __int128 divisor = 0;
    size_t p = 0, q = 0;
    while (p < eq.terms.size() || q < other.terms.size()) {
      const int je = p < eq.terms.size() ? eq.terms[p].col : INT32_MAX;
      const int jr = q < other.terms.size() ? other.terms[q].col : INT32_MAX;
      const int j = std::min(je, jr);
      const __int128 a = je == j ? eq.terms[p++].coef : 0, b = jr == j ? other.terms[q++].coef : 0;
      if (j != col) divisor = gcd128(divisor, ce * b - cr * a);
    }
    const double limit = kExactIntegers;
    if (divisor == 0 || divisor > static_cast<__int128>(limit)) return false;
    // The range: ce [R.lo, R.hi] - cr [E.lo, E.hi], bounds outward.
    const double fe = static_cast<double>(ce), fr = static_cast<double>(cr);
    const auto scaled = [](double f, double lo, double hi) {
      return f >= 0 ? std::make_pair(f * lo, f * hi) : std::make_pair(f * hi, f * lo);
    };
    const auto [r_lo, r_hi] = scaled(fe, other.lo, other.hi);
    const auto [e_lo, e_hi] = scaled(fr, eq.lo, eq.hi);
    const double lo = r_lo - e_hi, hi = r_hi - e_lo;
    if (!std::isfinite(lo) || !std::isfinite(hi)) return false;
    const double g = static_cast<double>(divisor);
    if (std::fabs(lo / g) > limit || std::fabs(hi / g) > limit) return false;
    return std::ceil(lo / g) > std::floor(hi / g);
  }

  SolverModel& sm_;
  std::vector<RowForm> rows_;
  std::vector<Group> groups_;  // groups with a continuous column
  IntegerRows out_;
};

}  // namespace

IntegerRows round_integer_rows(SolverModel& sm) { return IntegerRowReasoning(sm).run(); }

void log_rows_without_integer_point(const ModelData& d, const IntegerRows& lattice, SolveLog& log) {
  std::vector<int> proof = lattice.proof;
  std::sort(proof.begin(), proof.end());
  std::string rows;
  for (int i : proof) {
    const std::string name = d.rows.name.empty() ? std::string() : d.rows.name[static_cast<size_t>(i)].str();
    rows += (rows.empty() ? "" : ", ") + (name.empty() ? std::to_string(i) : name);
  }
  const size_t first = static_cast<size_t>(proof.front());
  if (lattice.proof.size() == 1) {
    log.linef("Row %s: its integer columns give it only activities %.10g apart, none between its sides %.10g and "
              "%.10g: the model is infeasible",
              rows.c_str(), lattice.step, d.rows.lb[first], d.rows.ub[first]);
  } else if (lattice.eliminated < 0) {
    log.linef("Rows %s: the same coefficients up to a factor, and no integer point meets their sides together: the "
              "model is infeasible",
              rows.c_str());
  } else {
    const std::string column = d.cols.name_at(static_cast<size_t>(lattice.eliminated)).str();
    log.linef("Rows %s: with their continuous column %s eliminated between them, their integer columns meet them "
              "at no integer point: the model is infeasible",
              rows.c_str(), column.empty() ? std::to_string(lattice.eliminated).c_str() : column.c_str());
  }
}

}  // namespace velmor
