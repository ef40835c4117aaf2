// LP files: the writer.
//
// Written in the common LP syntax, in the form that the LP readers of CBC and
// GLPK take as well as ours: objective (quadratic terms as "[ ... ] / 2"),
// rows with one sense, indicator constraints ("b = 1 -> expr <= rhs"),
// Bounds, Generals, Binaries, Semi-continuous and SOS sections. A row that
// one sense cannot state (a range, a free row) and a row without
// coefficients, which those readers refuse, become an equality "expr - r = 0"
// with a range column r bounded by the row's bounds; a comment line
// "\ Range column: r" after the row marks r, and our reader turns the pair
// back into the row. The objective's constant is the coefficient of a column
// fixed at 1, marked by "\\ Constant column: c" after the objective. Names an
// LP reader would misread are replaced by C<j>, R<i>, G<k>.
#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_set>
#include <string_view>
#include <vector>

#include "io/formats.hpp"
#include "io/lp_syntax.hpp"
#include "core/text_util.hpp"

namespace velmor {

LpSection lp_section_word(std::string_view word) {
  static const struct {
    const char* word;
    LpSection section;
  } words[] = {
      {"minimize", LpSection::Minimize},   {"minimum", LpSection::Minimize},
      {"min", LpSection::Minimize},        {"maximize", LpSection::Maximize},
      {"maximum", LpSection::Maximize},    {"max", LpSection::Maximize},
      {"subject", LpSection::Constraints}, {"such", LpSection::Constraints},
      {"st", LpSection::Constraints},      {"s.t.", LpSection::Constraints},
      {"bounds", LpSection::Bounds},       {"bound", LpSection::Bounds},
      {"generals", LpSection::Generals},   {"general", LpSection::Generals},
      {"gen", LpSection::Generals},        {"integers", LpSection::Generals},
      {"integer", LpSection::Generals},    {"int", LpSection::Generals},
      {"binaries", LpSection::Binaries},   {"binary", LpSection::Binaries},
      {"bin", LpSection::Binaries},        {"semi-continuous", LpSection::SemiContinuous},
      {"semis", LpSection::SemiContinuous}, {"semi", LpSection::SemiContinuous},
      {"sos", LpSection::Sos},             {"end", LpSection::End},
  };
  if (word.size() > 15) return LpSection::None;  // the longest word
  for (const auto& w : words)
    if (lp_word_is(word, w.word)) return w.section;
  return LpSection::None;
}

bool lp_reserved_word(std::string_view word) {
  if (lp_section_word(word) != LpSection::None) return true;
  for (const char* w : {"to", "that", "free", "inf", "infinity", "st."})
    if (lp_word_is(word, w)) return true;
  return false;
}

namespace {

// ASCII only, whatever the process locale.
bool ascii_letter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool ascii_digit(unsigned char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool lp_name_char(unsigned char c) {
  return ascii_letter(c) || ascii_digit(c) ||
         std::string_view("!\"#$%&'(),.;?@_`{}~").find(static_cast<char>(c)) != std::string_view::npos;
}

namespace {

// A name that LP readers take as it stands: at most 100 characters (CBC's
// limit), starting with a letter or "_" and not like a number's exponent
// ("e1", "E+x").
bool lp_name(std::string_view name) {
  if (name.empty() || name.size() > 100) return false;
  const unsigned char first = static_cast<unsigned char>(name[0]);
  if (!ascii_letter(first) && first != '_') return false;
  if ((first == 'e' || first == 'E') && name.size() > 1 &&
      (ascii_digit(static_cast<unsigned char>(name[1])) || name[1] == '+' || name[1] == '-'))
    return false;
  for (unsigned char c : name)
    if (!lp_name_char(c)) return false;
  return !lp_reserved_word(name);
}

std::string lp_number(double v) {
  if (v >= VLM_INFINITY) return "inf";
  if (v <= -VLM_INFINITY) return "-inf";
  return format_double(v);
}

// " + 2 x" / " - 2 x": terms with explicit coefficients, wrapped every few.
void add_terms(std::string& out, const SparseVector& terms, const std::vector<std::string>& names) {
  int on_line = 0;
  for (const Entry& e : terms) {
    if (++on_line > 8) {
      out += "\n   ";
      on_line = 1;
    }
    out += std::signbit(e.value) ? " - " : " + ";
    out += format_double(std::fabs(e.value)) + " " + names[static_cast<size_t>(e.index)];
  }
}

// A row without coefficients is written as the constant 0, so that it reads
// back without any (a "0 x" term would read back as an explicit zero).
void add_row_terms(std::string& out, const SparseVector& terms, const std::vector<std::string>& names) {
  if (!terms.empty())
    add_terms(out, terms, names);
  else
    out += " 0";
}

// The Bounds line of a continuous or integer column, none for the default
// [0, inf). A finite upper bound with lower bound -inf states both, as "x <=
// u" alone keeps the default lower bound 0.
void add_bounds(std::string& out, const std::string& name, double lb, double ub) {
  if (lb == 0.0 && ub >= VLM_INFINITY) return;
  if (lb <= -VLM_INFINITY && ub >= VLM_INFINITY)
    out += " " + name + " free\n";
  else if (lb == ub)
    out += " " + name + " = " + lp_number(lb) + "\n";
  else if (ub >= VLM_INFINITY)
    out += " " + name + " >= " + lp_number(lb) + "\n";
  else
    out += " " + lp_number(lb) + " <= " + name + " <= " + lp_number(ub) + "\n";
}

// The steps of write_lp, in the order of the file's sections. The objective
// and the rows add the columns they need (the constant column, range
// columns), which the Bounds section then bounds.
class LpWriter {
 public:
  explicit LpWriter(const ModelData& d)
      : d_(d),
        cname_(file_names(d.cols.name, d.cols.lb.size(), "C", lp_name)),
        rname_(file_names(d.rows.name, d.rows.lb.size(), "R", lp_name)),
        gname_(indicator_names(d)),
        columns_(cname_.begin(), cname_.end()),
        obj_(objective_name()) {}

  std::string write() {
    header();
    objective();
    out_ += "Subject To\n";
    rows();
    indicators();
    out_ += "Bounds\n";
    bounds();
    type_sections();
    sos();
    out_ += "End\n";
    return std::move(out_);
  }

 private:
  // A row written with a range column: the column's name and bounds.
  struct RangeColumn {
    std::string name;
    double lb, ub;
  };

  static std::vector<std::string> indicator_names(const ModelData& d) {
    std::vector<ShortText> names;
    for (const Indicator& g : d.indicators) names.push_back(g.name);
    return file_names(names, names.size(), "G", lp_name);
  }

  // "obj", with "_" appended until no row or indicator uses it.
  std::string objective_name() const {
    std::string obj = "obj";
    for (bool taken = true; taken;) {
      taken = false;
      for (const auto* list : {&rname_, &gname_})
        for (const std::string& n : *list)
          if (n == obj) taken = true;
      if (taken) obj += '_';
    }
    return obj;
  }

  void header() {
    std::string name = d_.name;
    for (char& ch : name)
      if (ch == '\n' || ch == '\r') ch = ' ';
    out_ += std::string(kLpNameComment) + name + "\n";
    out_ += d_.sense == VLM_MAXIMIZE ? "Maximize\n" : "Minimize\n";
  }

  void objective() {
    const Columns& c = d_.cols;
    out_ += " " + obj_ + ":";
    // Every column appears in the objective, zeros included: LP readers number
    // the columns in order of first appearance.
    SparseVector objective;
    for (int j = 0; j < c.size(); ++j) objective.push_back({j, c.obj[static_cast<size_t>(j)]});
    add_terms(out_, objective, cname_);
    // The constant (or, for want of terms, a 0) as the coefficient of a column
    // fixed at 1: GLPK's reader takes no constant and CBC's drops it.
    if (d_.obj_const != 0.0 || (objective.empty() && d_.quad.empty())) {
      constant_ = "ObjConst";
      while (!columns_.insert(constant_).second) constant_ += '_';
      out_ += (std::signbit(d_.obj_const) ? " - " : " + ") + format_double(std::fabs(d_.obj_const)) + " " + constant_;
    }
    quadratic_terms();
    out_ += "\n";
    if (!constant_.empty()) out_ += std::string(kLpConstantComment) + constant_ + "\n";
  }

  void quadratic_terms() {
    if (d_.quad.empty()) return;
    out_ += " + [";
    int on_line = 0;
    for (const auto& q : d_.quad) {
      if (++on_line > 8) {
        out_ += "\n   ";
        on_line = 1;
      }
      const double v = 2 * q.second;
      expect_format(std::isfinite(v));
      out_ += std::signbit(v) ? " - " : " + ";
      out_ += format_double(std::fabs(v)) + " " + cname_[static_cast<size_t>(q.first.first)];
      if (q.first.first == q.first.second)
        out_ += " ^ 2";
      else
        out_ += " * " + cname_[static_cast<size_t>(q.first.second)];
    }
    out_ += " ] / 2";
  }

  void rows() {
    const Rows& r = d_.rows;
    for (int i = 0; i < r.size(); ++i) {
      const size_t k = static_cast<size_t>(i);
      const double lb = r.lb[k], ub = r.ub[k];
      const bool lo = lb > -VLM_INFINITY, up = ub < VLM_INFINITY;
      out_ += " " + rname_[k] + ":";
      add_terms(out_, r.lin[k], cname_);
      if (r.lin[k].empty() || (lo == up && lb != ub)) {
        std::string range = "Rg" + std::to_string(i);
        while (!columns_.insert(range).second) range += '_';
        out_ += " - 1 " + range + " = 0\n";
        out_ += std::string(kLpRangeComment) + range + "\n";
        ranges_.push_back({std::move(range), lb, ub});
      } else if (lo && up) {
        out_ += " = " + lp_number(ub) + "\n";
      } else if (up) {
        out_ += " <= " + lp_number(ub) + "\n";
      } else {
        out_ += " >= " + lp_number(lb) + "\n";
      }
    }
  }

  void indicators() {
    for (size_t k = 0; k < d_.indicators.size(); ++k) {
      const Indicator& g = d_.indicators[k];
      out_ += " " + gname_[k] + ": " + cname_[static_cast<size_t>(g.binvar)] + " = " + std::to_string(g.binval) +
              " ->";
      add_row_terms(out_, g.lin, cname_);
      out_ += g.sense == VLM_LESS_EQUAL ? " <= " : g.sense == VLM_GREATER_EQUAL ? " >= " : " = ";
      out_ += lp_number(g.rhs) + "\n";
    }
  }

  void bounds() {
    const Columns& c = d_.cols;
    for (int j = 0; j < c.size(); ++j) {
      const size_t k = static_cast<size_t>(j);
      double lb = c.lb[k], ub = c.ub[k];
      const char t = c.type[k];
      if (t == VLM_BINARY) {
        // A binary's bounds are cut to [0, 1] when it is solved; the Binaries
        // section gives [0, 1], so only a narrower range needs a line.
        lb = std::max(lb, 0.0), ub = std::min(ub, 1.0);
        if (lb == 0.0 && ub == 1.0) continue;
      }
      if (t == VLM_SEMICONT || t == VLM_SEMIINT)
        out_ += " " + lp_number(lb) + " <= " + cname_[k] + " <= " + lp_number(ub) + "\n";
      else
        add_bounds(out_, cname_[k], lb, ub);
    }
    for (const RangeColumn& rc : ranges_) add_bounds(out_, rc.name, rc.lb, rc.ub);
    if (!constant_.empty()) add_bounds(out_, constant_, 1, 1);
  }

  // Generals, Binaries and Semi-continuous, each when a column belongs to it.
  void type_sections() {
    const Columns& c = d_.cols;
    const struct {
      const char* title;
      bool (*member)(char);
    } sections[] = {
        {"Generals", [](char t) { return t == VLM_INTEGER || t == VLM_SEMIINT; }},
        {"Binaries", [](char t) { return t == VLM_BINARY; }},
        {"Semi-continuous", [](char t) { return t == VLM_SEMICONT || t == VLM_SEMIINT; }},
    };
    for (const auto& s : sections) {
      bool any = false;
      for (int j = 0; j < c.size(); ++j) {
        if (!s.member(c.type[static_cast<size_t>(j)])) continue;
        if (!any) out_ += std::string(s.title) + "\n";
        any = true;
        out_ += " " + cname_[static_cast<size_t>(j)] + "\n";
      }
    }
  }

  void sos() {
    if (d_.sos.empty()) return;
    out_ += "SOS\n";
    for (size_t s = 0; s < d_.sos.size(); ++s) {
      out_ += " s" + std::to_string(s) + (d_.sos[s].type == VLM_SOS_TYPE1 ? ": S1::" : ": S2::");
      for (size_t k = 0; k < d_.sos[s].members.size(); ++k)
        out_ += " " + cname_[static_cast<size_t>(d_.sos[s].members[k])] + ":" + format_double(d_.sos[s].weights[k]);
      out_ += "\n";
    }
  }

  const ModelData& d_;
  const std::vector<std::string> cname_, rname_, gname_;
  std::unordered_set<std::string> columns_;  // names in use
  const std::string obj_;
  std::string constant_;  // the constant column's name, empty without one
  std::vector<RangeColumn> ranges_;
  std::string out_;
};

}  // namespace

std::string write_lp(const ModelData& d) {
  if (!d.psd_vars.empty() || d.num_psd_rows() != 0)
    refuse(VLM_ERROR_FORMAT_ERROR,
           "Invalid or unsupported file format: LP files have no semidefinite variables or rows (a .cbf file keeps "
           "them)");
  return LpWriter(d).write();
}

}  // namespace velmor
