// Conic benchmark format (CBF, version 3) for semidefinite models.
//
// A row lb <= a.x + sum <C, X> <= ub is written as a.x + sum <C, X> + b in a
// cone: L+ (b = -lb), L- (b = -ub), L= (b = -lb) or F (free); a ranged row as
// its lower half in place and its upper half after the model's rows. A
// variable goes into the cone its bounds give (F, L+, L-, L=); bounds the
// cone does not express become rows after those. Symmetric coefficient
// matrices are written as their lower triangles, which the format reads as
// symmetric. Integer and binary variables are listed as integers, a binary
// with the range [0, 1] it is solved with (its bounds cut to it). The format
// has no names (the model's name travels in a comment), no quadratic
// objective, SOS, indicator or semi-continuous variables: models with those
// are refused.
#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "io/formats.hpp"
#include "core/text_util.hpp"

namespace velmor {

namespace {

constexpr const char* kNameComment = "# Problem name: ";

enum class Cone { Free, NonNeg, NonPos, Zero };

const char* cone_text(Cone c) {
  switch (c) {
    case Cone::Free: return "F";
    case Cone::NonNeg: return "L+";
    case Cone::NonPos: return "L-";
    default: return "L=";
  }
}

// Consecutive runs of equal cones, as the VAR and CON headers list them.
std::string cone_runs(const std::vector<Cone>& cones) {
  std::vector<std::pair<Cone, size_t>> runs;
  for (Cone c : cones)
    if (!runs.empty() && runs.back().first == c)
      ++runs.back().second;
    else
      runs.emplace_back(c, 1);
  std::string out = std::to_string(cones.size()) + " " + std::to_string(runs.size()) + "\n";
  for (const auto& r : runs) out += std::string(cone_text(r.first)) + " " + std::to_string(r.second) + "\n";
  return out;
}

struct CbfRow {
  Cone cone;
  double b;
  const SparseVector* lin;              // null for a bound row
  const std::vector<PsdTerm>* psd;      // null when none
  int var = -1;                         // the variable of a bound row
};

// The steps of write_cbf: the model's rows and bounds as conic rows
// (conic_rows), then the file's sections: the header with the cones of the
// variables and rows, the objective's coordinates and the rows'.
class CbfWriter {
 public:
  explicit CbfWriter(const ModelData& d) : d_(d) {}

  std::string write() {
    conic_rows();
    header();
    objective();
    row_coordinates();
    return std::move(out_);
  }

 private:
  void conic_rows() {
    const Rows& r = d_.rows;
    std::vector<CbfRow> extra;
    for (int i = 0; i < r.size(); ++i) {
      const size_t k = static_cast<size_t>(i);
      const double lb = r.lb[k], ub = r.ub[k];
      const bool lo = lb > -VLM_INFINITY, up = ub < VLM_INFINITY;
      const std::vector<PsdTerm>* psd = r.psd[k].empty() ? nullptr : &r.psd[k];
      if (lo && up && lb == ub) {
        rows_.push_back({Cone::Zero, 0.0 - lb, &r.lin[k], psd});
      } else if (lo) {
        rows_.push_back({Cone::NonNeg, 0.0 - lb, &r.lin[k], psd});
        if (up) extra.push_back({Cone::NonPos, 0.0 - ub, &r.lin[k], psd});
      } else if (up) {
        rows_.push_back({Cone::NonPos, 0.0 - ub, &r.lin[k], psd});
      } else {
        rows_.push_back({Cone::Free, 0.0, &r.lin[k], psd});
      }
    }
    variable_cones(extra);
    rows_.insert(rows_.end(), extra.begin(), extra.end());
  }

  // Each variable's cone, and rows for the bounds its cone does not express.
  void variable_cones(std::vector<CbfRow>& extra) {
    const Columns& c = d_.cols;
    for (int j = 0; j < c.size(); ++j) {
      double lb = c.lb[static_cast<size_t>(j)], ub = c.ub[static_cast<size_t>(j)];
      if (c.type[static_cast<size_t>(j)] == VLM_BINARY) lb = std::max(lb, 0.0), ub = std::min(ub, 1.0);
      Cone cone = Cone::Free;
      if (lb == 0.0)
        cone = ub == 0.0 ? Cone::Zero : Cone::NonNeg;
      else if (ub == 0.0 && lb <= -VLM_INFINITY)
        cone = Cone::NonPos;
      var_cones_.push_back(cone);
      const double implied_lb = cone == Cone::NonNeg || cone == Cone::Zero ? 0.0 : -VLM_INFINITY;
      const double implied_ub = cone == Cone::NonPos || cone == Cone::Zero ? 0.0 : VLM_INFINITY;
      if (lb != implied_lb) extra.push_back({Cone::NonNeg, 0.0 - lb, nullptr, nullptr, j});
      if (ub != implied_ub) extra.push_back({Cone::NonPos, 0.0 - ub, nullptr, nullptr, j});
    }
  }

  // The name, version, sense, PSDVAR, VAR, INT and CON.
  void header() {
    const Columns& c = d_.cols;
    std::string name = d_.name;
    for (char& ch : name)
      if (ch == '\n' || ch == '\r') ch = ' ';
    out_ = kNameComment + name + "\nVER\n3\n\n";
    out_ += d_.sense == VLM_MAXIMIZE ? "OBJSENSE\nMAX\n\n" : "OBJSENSE\nMIN\n\n";
    if (!d_.psd_vars.empty()) {
      out_ += "PSDVAR\n" + std::to_string(d_.psd_vars.size()) + "\n";
      for (const PsdVariable& v : d_.psd_vars) out_ += std::to_string(v.dim) + "\n";
      out_ += "\n";
    }
    out_ += "VAR\n" + cone_runs(var_cones_) + "\n";
    std::vector<int> ints;
    for (int j = 0; j < c.size(); ++j)
      if (c.type[static_cast<size_t>(j)] != VLM_CONTINUOUS) ints.push_back(j);
    if (!ints.empty()) {
      out_ += "INT\n" + std::to_string(ints.size()) + "\n";
      for (int j : ints) out_ += std::to_string(j) + "\n";
      out_ += "\n";
    }
    if (!rows_.empty()) {
      std::vector<Cone> cones;
      for (const CbfRow& row : rows_) cones.push_back(row.cone);
      out_ += "CON\n" + cone_runs(cones) + "\n";
    }
  }

  // A section of `count` coordinate lines, none when the count is 0.
  void section(const char* key, size_t count, const std::string& body) {
    if (count) out_ += std::string(key) + "\n" + std::to_string(count) + "\n" + body + "\n";
  }

  // OBJFCOORD, OBJACOORD and OBJBCOORD.
  void objective() {
    const Columns& c = d_.cols;
    std::string body;
    size_t count = 0;
    for (size_t j = 0; j < d_.psd_vars.size(); ++j)
      for (const SymEntry& e : d_.psd_vars[j].obj.lower) {
        body += std::to_string(j) + " " + std::to_string(e.row) + " " + std::to_string(e.col) + " " +
                format_double(e.value) + "\n";
        ++count;
      }
    section("OBJFCOORD", count, body);
    body.clear(), count = 0;
    for (int j = 0; j < c.size(); ++j)
      if (c.obj[static_cast<size_t>(j)] != 0.0) {
        body += std::to_string(j) + " " + format_double(c.obj[static_cast<size_t>(j)]) + "\n";
        ++count;
      }
    section("OBJACOORD", count, body);
    if (d_.obj_const != 0.0) out_ += "OBJBCOORD\n" + format_double(d_.obj_const) + "\n\n";
  }

  // FCOORD, ACOORD and BCOORD.
  void row_coordinates() {
    std::string body;
    size_t count = 0;
    for (size_t i = 0; i < rows_.size(); ++i) {
      if (!rows_[i].psd) continue;
      for (const PsdTerm& t : *rows_[i].psd)
        for (const SymEntry& e : t.coef.lower) {
          body += std::to_string(i) + " " + std::to_string(t.var) + " " + std::to_string(e.row) + " " +
                  std::to_string(e.col) + " " + format_double(e.value) + "\n";
          ++count;
        }
    }
    section("FCOORD", count, body);
    body.clear(), count = 0;
    for (size_t i = 0; i < rows_.size(); ++i) {
      if (rows_[i].lin) {
        for (const Entry& e : *rows_[i].lin) {
          body += std::to_string(i) + " " + std::to_string(e.index) + " " + format_double(e.value) + "\n";
          ++count;
        }
      } else {
        body += std::to_string(i) + " " + std::to_string(rows_[i].var) + " 1\n";
        ++count;
      }
    }
    section("ACOORD", count, body);
    body.clear(), count = 0;
    for (size_t i = 0; i < rows_.size(); ++i)
      if (rows_[i].b != 0.0) {
        body += std::to_string(i) + " " + format_double(rows_[i].b) + "\n";
        ++count;
      }
    section("BCOORD", count, body);
  }

  const ModelData& d_;
  std::vector<CbfRow> rows_;  // the model's rows, then rows for ranges and bounds
  std::vector<Cone> var_cones_;
  std::string out_;
};

}  // namespace

std::string write_cbf(const ModelData& d) {
  expect_format(d.quad.empty() && d.sos.empty() && d.indicators.empty());
  for (char t : d.cols.type) expect_format(t != VLM_SEMICONT && t != VLM_SEMIINT);
  return CbfWriter(d).write();
}

namespace {

// The lines of a CBF file without comments and blank lines.
class CbfLines {
 public:
  explicit CbfLines(const std::string& text) : lines_(text) {}
  bool next(std::vector<std::string_view>& tokens) {
    std::string_view line;
    while (lines_.next(line)) {
      if (!line.empty() && line[0] == '#') continue;
      tokens = split_blanks(line);
      if (!tokens.empty()) return true;
    }
    return false;
  }
  std::vector<std::string_view> expect(size_t count) {
    std::vector<std::string_view> tokens;
    expect_format(next(tokens) && tokens.size() == count);
    return tokens;
  }
  // A count read from the file: at most `limit`, and never more than the
  // bytes that follow, so that what is reserved for it is bounded by the
  // file (a count in a tiny file can reserve nothing large).
  int count(std::string_view text, long long limit) const {
    const int n = file_int(text);
    expect_format(n >= 0 && n <= limit && static_cast<size_t>(n) <= lines_.remaining());
    return n;
  }

 private:
  LineReader lines_;
};

std::vector<Cone> read_cones(CbfLines& in) {
  const auto head = in.expect(2);
  const int n = in.count(head[0], INT_MAX), runs = in.count(head[1], n);
  std::vector<Cone> cones;
  cones.reserve(static_cast<size_t>(n));
  for (int k = 0; k < runs; ++k) {
    const auto run = in.expect(2);
    Cone cone;
    if (run[0] == "F")
      cone = Cone::Free;
    else if (run[0] == "L+")
      cone = Cone::NonNeg;
    else if (run[0] == "L-")
      cone = Cone::NonPos;
    else if (run[0] == "L=")
      cone = Cone::Zero;
    else
      refuse(VLM_ERROR_FORMAT_ERROR);  // quadratic, exponential and power cones are not models of ours
    const int len = file_int(run[1]);  // within n, which the file's size bounded
    expect_format(len >= 0 && len <= n - static_cast<long long>(cones.size()));
    cones.insert(cones.end(), static_cast<size_t>(len), cone);
  }
  expect_format(cones.size() == static_cast<size_t>(n));
  return cones;
}

// The steps of read_cbf: the name from the first comment, then each keyword's
// section in file order (keyword), then the columns from the variables' cones
// and integers, the rows from theirs, and the semidefinite coordinates.
class CbfReader {
 public:
  explicit CbfReader(const std::string& text) : text_(text), in_(text) {}

  ModelData read() {
    name();
    std::vector<std::string_view> tok;
    while (in_.next(tok)) {
      expect_format(tok.size() == 1);
      keyword(std::string(tok[0]));
    }
    expect_format(have_version_ && have_vars_);
    columns();
    rows();
    semidefinite_coordinates();
    return std::move(d_);
  }

 private:
  void name() {
    if (text_.compare(0, std::string(kNameComment).size(), kNameComment) != 0) return;
    const size_t end = text_.find('\n');
    d_.name = text_.substr(std::string(kNameComment).size(),
                           (end == std::string::npos ? text_.size() : end) - std::string(kNameComment).size());
    if (!d_.name.empty() && d_.name.back() == '\r') d_.name.pop_back();
  }

  void keyword(const std::string& key) {
    if (key == "VER") {
      const int v = file_int(in_.expect(1)[0]);
      expect_format(v >= 1 && v <= 3);
      have_version_ = true;
    } else if (key == "OBJSENSE") {
      const std::string s(in_.expect(1)[0]);
      expect_format(s == "MIN" || s == "MAX");
      d_.sense = s == "MAX" ? VLM_MAXIMIZE : VLM_MINIMIZE;
    } else if (key == "PSDVAR") {
      const int n = in_.count(in_.expect(1)[0], INT_MAX);
      for (int k = 0; k < n; ++k) {
        const int dim = file_int(in_.expect(1)[0]);
        expect_format(dim >= 1 && dim <= kMaxPsdDim);
        d_.psd_vars.push_back({dim, {}, {}});
      }
    } else if (key == "VAR") {
      expect_format(!have_vars_);
      var_cones_ = read_cones(in_);
      have_vars_ = true;
    } else if (key == "INT") {
      const int n = in_.count(in_.expect(1)[0], INT_MAX);
      for (int k = 0; k < n; ++k) ints_.push_back(file_int(in_.expect(1)[0]));
    } else if (key == "CON") {
      expect_format(!have_rows_);
      row_cones_ = read_cones(in_);
      have_rows_ = true;
      b_.assign(row_cones_.size(), 0.0);
    } else if (key == "PSDCON" || key == "HCOORD" || key == "DCOORD" || key == "POWCONES" || key == "POW*CONES") {
      // Semidefinite cones over affine matrices and power cones: none of ours.
      expect_format(file_int(in_.expect(1)[0]) == 0);
    } else if (key == "OBJFCOORD" || key == "FCOORD") {
      fcoord(key == "OBJFCOORD");
    } else if (key == "OBJACOORD") {
      objacoord();
    } else if (key == "OBJBCOORD") {
      d_.obj_const = file_coef(in_.expect(1)[0]);
    } else if (key == "ACOORD") {
      acoord();
    } else if (key == "BCOORD") {
      bcoord();
    } else {
      refuse(VLM_ERROR_FORMAT_ERROR);
    }
  }

  // Coordinates of the semidefinite variables' coefficient matrices, in the
  // objective or in the rows.
  void fcoord(bool objective) {
    const int n = in_.count(in_.expect(1)[0], INT_MAX);
    for (int k = 0; k < n; ++k) {
      const auto e = in_.expect(objective ? 4 : 5);
      const size_t o = objective ? 0 : 1;
      const int row = objective ? -1 : file_int(e[0]);
      const int var = file_int(e[o]), r = file_int(e[o + 1]), c = file_int(e[o + 2]);
      expect_format(var >= 0 && static_cast<size_t>(var) < d_.psd_vars.size());
      const int dim = d_.psd_vars[static_cast<size_t>(var)].dim;
      expect_format(r >= 0 && r < dim && c >= 0 && c < dim);
      expect_format(objective || (row >= 0 && static_cast<size_t>(row) < row_cones_.size()));
      auto& entry = fentries_[{row, var}];
      entry.first.push_back(r * dim + c);
      entry.second.push_back(file_coef(e[o + 3]));
    }
  }

  void objacoord() {
    expect_format(have_vars_);
    const int n = in_.count(in_.expect(1)[0], INT_MAX);
    for (int k = 0; k < n; ++k) {
      const auto e = in_.expect(2);
      const int j = file_int(e[0]);
      expect_format(j >= 0 && static_cast<size_t>(j) < var_cones_.size());
      d_.cols.obj.resize(var_cones_.size(), 0.0);
      d_.cols.obj[static_cast<size_t>(j)] += file_coef(e[1]);
    }
  }

  void acoord() {
    const int n = in_.count(in_.expect(1)[0], INT_MAX);
    for (int k = 0; k < n; ++k) {
      const auto e = in_.expect(3);
      const int i = file_int(e[0]), j = file_int(e[1]);
      expect_format(i >= 0 && static_cast<size_t>(i) < row_cones_.size() && j >= 0 &&
                    static_cast<size_t>(j) < var_cones_.size());
      triplets_.push_back({{i, j}, file_coef(e[2])});
    }
  }

  void bcoord() {
    const int n = in_.count(in_.expect(1)[0], INT_MAX);
    for (int k = 0; k < n; ++k) {
      const auto e = in_.expect(2);
      const int i = file_int(e[0]);
      expect_format(i >= 0 && static_cast<size_t>(i) < b_.size());
      b_[static_cast<size_t>(i)] += file_coef(e[1]);
    }
  }

  // The columns: bounds from their cones, INT's integers.
  void columns() {
    Columns& c = d_.cols;
    const size_t n = var_cones_.size();
    c.obj.resize(n, 0.0);
    for (Cone cone : var_cones_) {
      c.lb.push_back(cone == Cone::NonNeg || cone == Cone::Zero ? 0.0 : -VLM_INFINITY);
      c.ub.push_back(cone == Cone::NonPos || cone == Cone::Zero ? 0.0 : VLM_INFINITY);
    }
    c.type.assign(n, VLM_CONTINUOUS);
    c.name.assign(n, ShortText());
    c.start.assign(n, VLM_UNDEFINED);
    for (int j : ints_) {
      expect_format(j >= 0 && static_cast<size_t>(j) < n);
      c.type[static_cast<size_t>(j)] = VLM_INTEGER;
    }
  }

  // The rows: sides from their cones and constants, then the linear entries.
  void rows() {
    Rows& r = d_.rows;
    const size_t m = row_cones_.size();
    r.name.assign(m, ShortText());
    r.lin.assign(m, SparseVector());
    r.psd.assign(m, std::vector<PsdTerm>());
    r.is_psd.assign(m, 0);
    for (size_t i = 0; i < m; ++i) {
      expect_format(std::isfinite(b_[i]));
      const double rhs = 0.0 - b_[i];
      const Cone cone = row_cones_[i];
      r.lb.push_back(cone == Cone::NonNeg || cone == Cone::Zero ? rhs : -VLM_INFINITY);
      r.ub.push_back(cone == Cone::NonPos || cone == Cone::Zero ? rhs : VLM_INFINITY);
      if (r.lb.back() <= -VLM_INFINITY) r.lb.back() = -VLM_INFINITY;
      if (r.ub.back() >= VLM_INFINITY) r.ub.back() = VLM_INFINITY;
    }
    fill_rows_from_triplets(r, triplets_);
  }

  // The semidefinite variables' matrices in the objective and the rows.
  void semidefinite_coordinates() {
    Rows& r = d_.rows;
    for (auto& f : fentries_) {
      const int row = f.first.first, var = f.first.second;
      const int dim = d_.psd_vars[static_cast<size_t>(var)].dim;
      SymMatrix m2 = sym_from_handoff(dim, static_cast<long long>(f.second.first.size()), f.second.first.data(),
                                      f.second.second.data());
      if (row < 0) {
        d_.psd_vars[static_cast<size_t>(var)].obj = std::move(m2);
      } else {
        r.psd[static_cast<size_t>(row)].push_back({var, std::move(m2)});  // the map walks vars in order
        r.is_psd[static_cast<size_t>(row)] = 1;
      }
    }
  }

  const std::string& text_;
  CbfLines in_;
  ModelData d_;
  std::vector<Cone> var_cones_, row_cones_;
  bool have_vars_ = false, have_rows_ = false, have_version_ = false;
  std::vector<int> ints_;
  std::vector<double> b_;
  Triplets triplets_;
  // (row, psd var) -> positions and values in file order; row -1 is the objective.
  std::map<std::pair<int, int>, std::pair<std::vector<int>, std::vector<double>>> fentries_;
};

}  // namespace

ModelData read_cbf(const std::string& text) { return CbfReader(text).read(); }

}  // namespace velmor
