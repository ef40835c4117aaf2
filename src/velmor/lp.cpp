// LP files.
//
// Written in the common LP syntax: objective (quadratic terms as
// "[ ... ] / 2"), rows (a ranged row as "lb <= expr <= ub"), indicator
// constraints ("b = 1 -> expr <= rhs"), Bounds, Generals, Binaries,
// Semi-continuous and SOS sections. Names an LP reader would misread are
// replaced by C<j>, R<i>, G<k>. Read through CoinUtils' LP reader, which takes
// linear objectives and rows, bounds, integer, binary and semi-continuous
// variables and SOS; files it would misread (ranged rows) are refused.
#include <coin/CoinError.hpp>
#include <coin/CoinLpIO.hpp>
#include <coin/CoinMessageHandler.hpp>
#include <coin/CoinMpsIO.hpp>
#include <coin/CoinPackedMatrix.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "formats.hpp"
#include "text_util.hpp"

namespace velmor {

namespace {

constexpr const char* kNameComment = "\\ Problem name: ";

bool lp_keyword(const std::string& lowered) {
  static const std::set<std::string> words = {
      "st", "s.t.", "subject", "such", "that", "to", "end", "bound", "bounds", "bin", "binary", "binaries", "gen",
      "general", "generals", "int", "integer", "integers", "semi", "semis", "semi-continuous", "sos", "max",
      "min", "maximize", "minimize", "maximum", "minimum", "inf", "infinity", "free"};
  return words.count(lowered) > 0;
}

// A name CoinUtils' LP reader takes as it stands.
bool lp_name(const std::string& name) {
  if (name.empty() || name.size() > 100) return false;
  const unsigned char first = static_cast<unsigned char>(name[0]);
  if (!std::isalpha(first) && first != '_') return false;
  if ((first == 'e' || first == 'E') && name.size() > 1 &&
      (std::isdigit(static_cast<unsigned char>(name[1])) || name[1] == '+' || name[1] == '-'))
    return false;
  for (unsigned char c : name)
    if (!std::isalnum(c) && std::string("_.()!\"#$%&',;?@`{}~").find(static_cast<char>(c)) == std::string::npos)
      return false;
  return !lp_keyword(lower(name));
}

std::string lp_number(double v) {
  if (v >= VLM_INFINITY) return "+inf";
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

void add_row_terms(std::string& out, const SparseVector& terms, const std::vector<std::string>& names) {
  if (!terms.empty())
    add_terms(out, terms, names);
  else if (!names.empty())
    out += " 0 " + names[0];  // LP rows need a term
  else
    out += " 0";
}

}  // namespace

std::string write_lp(const ModelData& d) {
  expect_format(d.psd_vars.empty() && d.num_psd_rows() == 0);
  const Columns& c = d.cols;
  const Rows& r = d.rows;
  const std::vector<std::string> cname = file_names(c.name, "C", lp_name);
  const std::vector<std::string> rname = file_names(r.name, "R", lp_name);
  std::vector<std::string> gnames;
  for (const Indicator& g : d.indicators) gnames.push_back(g.name);
  const std::vector<std::string> gname = file_names(gnames, "G", lp_name);
  std::string obj = "obj";
  for (bool taken = true; taken;) {
    taken = false;
    for (const auto* list : {&rname, &gname})
      for (const std::string& n : *list)
        if (n == obj) taken = true;
    if (taken) obj += '_';
  }

  std::string out;
  std::string name = d.name;
  for (char& ch : name)
    if (ch == '\n' || ch == '\r') ch = ' ';
  out += kNameComment + name + "\n";
  out += d.sense == VLM_MAXIMIZE ? "Maximize\n" : "Minimize\n";
  out += " " + obj + ":";
  // Every column appears in the objective, zeros included: LP readers number
  // the columns in order of first appearance.
  SparseVector objective;
  for (int j = 0; j < c.size(); ++j) objective.push_back({j, c.obj[static_cast<size_t>(j)]});
  add_terms(out, objective, cname);
  if (!d.quad.empty()) {
    out += " + [";
    int on_line = 0;
    for (const auto& q : d.quad) {
      if (++on_line > 8) {
        out += "\n   ";
        on_line = 1;
      }
      const double v = 2 * q.second;
      out += std::signbit(v) ? " - " : " + ";
      out += format_double(std::fabs(v)) + " " + cname[static_cast<size_t>(q.first.first)];
      if (q.first.first == q.first.second)
        out += " ^ 2";
      else
        out += " * " + cname[static_cast<size_t>(q.first.second)];
    }
    out += " ] / 2";
  }
  if (d.obj_const != 0.0 || (objective.empty() && d.quad.empty()))
    out += (std::signbit(d.obj_const) ? " - " : " + ") + format_double(std::fabs(d.obj_const));
  out += "\nSubject To\n";
  for (int i = 0; i < r.size(); ++i) {
    const size_t k = static_cast<size_t>(i);
    const double lb = r.lb[k], ub = r.ub[k];
    const bool lo = lb > -VLM_INFINITY, up = ub < VLM_INFINITY;
    out += " " + rname[k] + ":";
    if (lo && up && lb != ub) out += " " + lp_number(lb) + " <=";
    add_row_terms(out, r.lin[k], cname);
    if (lo && up)
      out += (lb == ub ? " = " : " <= ") + lp_number(ub);
    else if (up)
      out += " <= " + lp_number(ub);
    else
      out += " >= " + lp_number(lb);
    out += "\n";
  }
  for (size_t k = 0; k < d.indicators.size(); ++k) {
    const Indicator& g = d.indicators[k];
    out += " " + gname[k] + ": " + cname[static_cast<size_t>(g.binvar)] + " = " + std::to_string(g.binval) + " ->";
    add_row_terms(out, g.lin, cname);
    out += g.sense == VLM_LESS_EQUAL ? " <= " : g.sense == VLM_GREATER_EQUAL ? " >= " : " = ";
    out += lp_number(g.rhs) + "\n";
  }

  out += "Bounds\n";
  for (int j = 0; j < c.size(); ++j) {
    const size_t k = static_cast<size_t>(j);
    const double lb = c.lb[k], ub = c.ub[k];
    if (c.type[k] == VLM_BINARY && lb == 0.0 && ub == 1.0) continue;
    if (lb == 0.0 && ub >= VLM_INFINITY && c.type[k] != VLM_SEMICONT && c.type[k] != VLM_SEMIINT) continue;
    if (lb <= -VLM_INFINITY && ub >= VLM_INFINITY)
      out += " " + cname[k] + " free\n";
    else if (lb == ub)
      out += " " + cname[k] + " = " + lp_number(lb) + "\n";
    else
      out += " " + lp_number(lb) + " <= " + cname[k] + " <= " + lp_number(ub) + "\n";
  }
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
      if (!any) out += std::string(s.title) + "\n";
      any = true;
      out += " " + cname[static_cast<size_t>(j)] + "\n";
    }
  }
  if (!d.sos.empty()) {
    out += "SOS\n";
    for (size_t s = 0; s < d.sos.size(); ++s) {
      out += " s" + std::to_string(s) + (d.sos[s].type == VLM_SOS_TYPE1 ? ": S1::" : ": S2::");
      for (size_t k = 0; k < d.sos[s].members.size(); ++k)
        out += " " + cname[static_cast<size_t>(d.sos[s].members[k])] + ":" + format_double(d.sos[s].weights[k]);
      out += "\n";
    }
  }
  out += "End\n";
  return out;
}

namespace {

struct Prescan {
  std::string name;
  std::set<std::string> binaries;
};

// What the LP reader does not report, and the files it would misread:
// CoinUtils' reader takes "lb <= expr <= ub" as something else, so a row
// whose left side is a number refuses the file.
Prescan prescan(const std::string& text) {
  Prescan p;
  if (text.compare(0, std::string(kNameComment).size(), kNameComment) == 0) {
    const size_t end = text.find('\n');
    p.name = text.substr(std::string(kNameComment).size(),
                         (end == std::string::npos ? text.size() : end) - std::string(kNameComment).size());
    if (!p.name.empty() && p.name.back() == '\r') p.name.pop_back();
  }
  enum { Other, Rows, Binaries } section = Other;
  std::vector<std::string> tokens;  // of the rows section
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    // A comment starts at "\" or "/" at the start of a line or after a blank.
    for (size_t i = 0; i < line.size(); ++i)
      if ((line[i] == '\\' || line[i] == '/') && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) {
        line.resize(i);
        break;
      }
    const auto words = split_blanks(line);
    if (words.empty()) continue;
    const std::string head = lower(words[0]);
    if (head == "subject" || head == "such" || head == "st" || head == "s.t.") {
      section = Rows;
      continue;
    }
    if (head == "binaries" || head == "binary" || head == "bin") {
      section = Binaries;
      continue;
    }
    if (head == "bounds" || head == "bound" || head == "generals" || head == "general" || head == "gen" ||
        head == "integers" || head == "integer" || head == "semi-continuous" || head == "semis" ||
        head == "semi" || head == "sos" || head == "end") {
      section = Other;
      continue;
    }
    if (section == Binaries) {
      for (auto w : words) p.binaries.emplace(w);
    } else if (section == Rows) {
      for (auto w : words) {
        // Runs of <, > and = are tokens of their own.
        std::string cur;
        bool op = false;
        for (char ch : w) {
          const bool is_op = ch == '<' || ch == '>' || ch == '=';
          if (!cur.empty() && is_op != op) {
            tokens.push_back(cur);
            cur.clear();
          }
          op = is_op;
          cur += ch;
        }
        if (!cur.empty()) tokens.push_back(cur);
      }
    }
  }
  auto is_op = [](const std::string& t) { return t.find_first_of("<>=") != std::string::npos; };
  for (size_t k = 1; k < tokens.size(); ++k) {
    double v;
    if (is_op(tokens[k]) && parse_double(tokens[k - 1], v) && (k < 2 || !is_op(tokens[k - 2])))
      refuse(VLM_ERROR_FORMAT_ERROR);
  }
  return p;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

double lp_bound(double v) {
  expect_format(!std::isnan(v));
  return v >= VLM_INFINITY ? VLM_INFINITY : v <= -VLM_INFINITY ? -VLM_INFINITY : v;
}

double lp_coef(double v) {
  expect_format(std::isfinite(v));
  return v;
}

}  // namespace

ModelData read_lp(const std::string& text) {
  const Prescan pre = prescan(text);
  std::string buffer = text;  // fmemopen wants a writable buffer
  if (buffer.empty()) refuse(VLM_ERROR_FORMAT_ERROR);
  std::unique_ptr<std::FILE, FileCloser> file(fmemopen(&buffer[0], buffer.size(), "r"));
  if (!file) refuse(VLM_ERROR_FILE_READ_ERROR);
  CoinLpIO lp;
  CoinMessageHandler quiet;
  quiet.setLogLevel(0);
  lp.passInMessageHandler(&quiet);
  try {
    // The reader owns the stream from here and closes it, also when it fails.
    lp.readLp(file.release());
  } catch (const CoinError&) {
    refuse(VLM_ERROR_FORMAT_ERROR);
  }

  ModelData d;
  d.name = pre.name;
  const int ncols = lp.getNumCols(), nrows = lp.getNumRows();
  const bool max = lp.wasMaximization();
  d.sense = max ? VLM_MAXIMIZE : VLM_MINIMIZE;
  d.obj_const = lp_coef(lp.objectiveOffset());
  Columns& c = d.cols;
  const double* obj = lp.getObjCoefficients();
  const char* integer = lp.integerColumns();
  for (int j = 0; j < ncols; ++j) {
    const char* name = lp.columnName(j);
    c.name.push_back(name ? name : "");
    c.lb.push_back(lp_bound(lp.getColLower()[j]));
    c.ub.push_back(lp_bound(lp.getColUpper()[j]));
    // The reader minimises: a maximised objective comes back negated.
    c.obj.push_back(max ? 0.0 - lp_coef(obj[j]) : lp_coef(obj[j]));
    const int code = integer ? integer[j] : 0;
    char type = VLM_CONTINUOUS;
    if (code == 1)
      type = pre.binaries.count(c.name.back()) ? VLM_BINARY : VLM_INTEGER;
    else if (code == 3)
      type = VLM_SEMICONT;
    else if (code == 4)
      type = VLM_SEMIINT;
    else
      expect_format(code == 0);
    c.type.push_back(type);
    c.start.push_back(VLM_UNDEFINED);
  }
  Rows& r = d.rows;
  const CoinPackedMatrix* rows = lp.getMatrixByRow();
  expect_format(rows != nullptr || nrows == 0);
  for (int i = 0; i < nrows; ++i) {
    const char* name = lp.rowName(i);
    r.name.push_back(name ? name : "");
    r.lb.push_back(lp_bound(lp.getRowLower()[i]));
    r.ub.push_back(lp_bound(lp.getRowUpper()[i]));
    r.psd.emplace_back();
    r.is_psd.push_back(0);
    SparseVector row;
    const CoinBigIndex b = rows->getVectorStarts()[i];
    for (CoinBigIndex k = b; k < b + rows->getVectorLengths()[i]; ++k)
      row.push_back({rows->getIndices()[k], lp_coef(rows->getElements()[k])});
    std::sort(row.begin(), row.end(), [](const Entry& a, const Entry& e) { return a.index < e.index; });
    r.lin.push_back(std::move(row));
  }
  for (int s = 0; s < lp.numberSets(); ++s) {
    const CoinSet* set = lp.setInformation()[s];
    Sos sos{set->setType() == 2 ? VLM_SOS_TYPE2 : VLM_SOS_TYPE1, {}, {}};
    expect_format(set->setType() == 1 || set->setType() == 2);
    for (int k = 0; k < set->numberEntries(); ++k) {
      expect_format(set->which()[k] >= 0 && set->which()[k] < ncols);
      sos.members.push_back(set->which()[k]);
      sos.weights.push_back(lp_coef(set->weights() ? set->weights()[k] : k + 1));
    }
    d.sos.push_back(std::move(sos));
  }
  return d;
}

}  // namespace velmor
