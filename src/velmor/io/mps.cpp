// MPS files: written in the fixed-column layout when every name fits it, else
// in free format; read in free or fixed format.
//
// Written: NAME, OBJSENSE (only for maximisation: the default sense needs
// none, and readers that do not know the section read every minimisation),
// ROWS (the objective row first), COLUMNS with integer markers around integer
// and semi-integer columns, RHS (the objective constant as the negated
// right-hand side of the objective row), RANGES, BOUNDS (BV alone for a
// binary in [0, 1]; integer columns always get their upper bound, as readers
// take an integer column without one for a binary), QUADOBJ (upper triangle
// of Q in objective = c.x + 1/2 x'Qx) and SOS. Names that cannot stand in the
// file (see mps_name; repeated ones too) are replaced by C<j> and R<i>, so the
// file reads back to the same model. Reading accepts the same sections in any
// order after COLUMNS, and QMATRIX (both triangles) as well as QUADOBJ; a
// text that does not read as free format is read as fixed format, whose names
// may hold blanks.
#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cmath>
#include <string>
#include <functional>
#include <vector>

#include "io/formats.hpp"
#include "core/text_util.hpp"

namespace velmor {

namespace {

bool is_integer_type(char t) { return t == VLM_INTEGER || t == VLM_SEMIINT; }

// A range R with base + R == target exactly in double arithmetic, when there
// is one near target - base (the reader computes base + R).
bool exact_range(double base, double target, double& range) {
  double r = target - base;
  for (int step = 0; step < 4; ++step) {
    if (base + r == target) {
      range = r;
      return true;
    }
    r = std::nextafter(r, base + r < target ? HUGE_VAL : -HUGE_VAL);
  }
  return false;
}

// A name the common readers take in either layout: no blanks, quotes or
// control characters; not "$..." (a comment in free format to some readers);
// not a lone sign (which some readers join to the next field); at most
// kMaxMpsName characters (CoinUtils' reader keeps a name in 160 bytes).
constexpr size_t kMaxMpsName = 128;
bool mps_name(std::string_view name) {
  return plain_name(name) && name.size() <= kMaxMpsName && name[0] != '$' && name != "+" && name != "-";
}

// The fixed layout's limit on names.
bool fits_fixed(const std::string& name) { return name.size() <= 8; }

// `base`, with "_" appended until no name of `taken` uses it.
std::string unused_name(std::string base, const std::vector<std::string>& taken) {
  for (bool clash = true; clash;) {
    clash = std::find(taken.begin(), taken.end(), base) != taken.end();
    if (clash) base += '_';
  }
  return base;
}

// The data lines of a file. Fixed layout: field 1 (a code) in columns 2-3,
// the others from columns 5, 15, 25, 40 and 50 on; a number is never cut to
// its field's 12 columns, as a line holds one entry (a longer number runs
// into the blank columns after it). Free layout: the fields one blank apart
// from column 2 on, except that no field starts in column 5, 15 or 40:
// readers that tell the layouts apart by the name fields starting there
// would take a free file's short names for fixed fields.
class MpsLines {
 public:
  MpsLines(std::string& out, bool fixed) : out_(out), fixed_(fixed) {}
  void add(std::string_view code, std::initializer_list<std::string_view> fields) {
    const size_t begin = out_.size();
    out_ += ' ';
    out_ += code;
    size_t k = 1;
    for (const std::string_view f : fields) {
      if (fixed_) {
        static constexpr size_t kStart[] = {1, 4, 14, 24, 39, 49};
        const size_t at = begin + kStart[std::min<size_t>(k, 5)];
        out_.resize(std::max(at, out_.size() + 1), ' ');
      } else {
        if (out_.size() > begin + 1) out_ += ' ';
        while (out_.size() - begin == 4 || out_.size() - begin == 14 || out_.size() - begin == 39) out_ += ' ';
      }
      out_ += f;
      ++k;
    }
    out_ += '\n';
  }
  // An integer marker: fields 2, 3 and 5 (field 4 is empty).
  void add_marker(std::string_view kind) {
    if (fixed_)
      add("", {"MARKER", "'MARKER'", "", kind});
    else
      add("", {"MARKER", "'MARKER'", kind});
  }

 private:
  std::string& out_;
  bool fixed_;
};

}  // namespace

std::string write_mps(const ModelData& d) {
  expect_format(d.psd_vars.empty() && d.num_psd_rows() == 0 && d.indicators.empty());
  const Columns& c = d.cols;
  const Rows& r = d.rows;
  const std::vector<std::string> cname = file_names(c.name, c.lb.size(), "C", mps_name);
  const std::vector<std::string> rname = file_names(r.name, r.lb.size(), "R", mps_name);
  // The objective row, and the bound set, which a reader may look up among
  // the columns (a BV line without a value has the set name or the column
  // second), take names no row or column uses.
  const std::string obj = unused_name("OBJ", rname);
  const std::string bnd = unused_name("BND", cname);
  const bool fixed = std::all_of(cname.begin(), cname.end(), fits_fixed) &&
                     std::all_of(rname.begin(), rname.end(), fits_fixed) && fits_fixed(obj) && fits_fixed(bnd);

  std::string name = d.name;  // a line break would end the NAME line
  for (char& ch : name)
    if (ch == '\n' || ch == '\r') ch = ' ';
  std::string out = name.empty() ? "NAME\n" : (fixed ? "NAME          " : "NAME ") + name + "\n";
  MpsLines line(out, fixed);
  if (d.sense == VLM_MAXIMIZE) {
    out += "OBJSENSE\n";
    line.add("", {"MAX"});
  }
  out += "ROWS\n";
  line.add("N", {obj});
  // Row types and right-hand sides; ranges for rows with two finite sides.
  std::vector<double> rhs(static_cast<size_t>(r.size()), 0.0), range(static_cast<size_t>(r.size()), 0.0);
  std::vector<char> has_range(static_cast<size_t>(r.size()), 0);
  for (int i = 0; i < r.size(); ++i) {
    const size_t k = static_cast<size_t>(i);
    const double lb = r.lb[k], ub = r.ub[k];
    const bool lo = lb > -VLM_INFINITY, up = ub < VLM_INFINITY;
    const char* type;
    if (lo && up && lb == ub) {
      type = "E", rhs[k] = lb;
    } else if (lo && up) {
      // Refused when lb > ub: no MPS row has an empty range.
      expect_format(lb < ub);
      double rg;
      if (exact_range(lb, ub, rg)) {
        type = "G", rhs[k] = lb, range[k] = rg;
      } else {
        expect_format(exact_range(ub, lb, rg));
        type = "L", rhs[k] = ub, range[k] = rg;
      }
      has_range[k] = 1;
    } else if (lo) {
      type = "G", rhs[k] = lb;
    } else if (up) {
      type = "L", rhs[k] = ub;
    } else {
      type = "N";
    }
    line.add(type, {rname[k]});
  }

  // Columns: gather each column's entries from the rows.
  std::vector<SparseVector> cols(static_cast<size_t>(c.size()));
  for (int i = 0; i < r.size(); ++i)
    for (const Entry& e : r.lin[static_cast<size_t>(i)]) cols[static_cast<size_t>(e.index)].push_back({i, e.value});
  out += "COLUMNS\n";
  bool in_marker = false;
  for (int j = 0; j < c.size(); ++j) {
    const size_t k = static_cast<size_t>(j);
    const bool integer = is_integer_type(c.type[k]);
    if (integer != in_marker) {
      line.add_marker(integer ? "'INTORG'" : "'INTEND'");
      in_marker = integer;
    }
    if (c.obj[k] != 0.0 || cols[k].empty()) line.add("", {cname[k], obj, format_double(c.obj[k])});
    for (const Entry& e : cols[k]) line.add("", {cname[k], rname[static_cast<size_t>(e.index)], format_double(e.value)});
  }
  if (in_marker) line.add_marker("'INTEND'");

  out += "RHS\n";
  if (d.obj_const != 0.0) line.add("", {"RHS", obj, format_double(0.0 - d.obj_const)});
  for (int i = 0; i < r.size(); ++i)
    if (rhs[static_cast<size_t>(i)] != 0.0) line.add("", {"RHS", rname[static_cast<size_t>(i)], format_double(rhs[static_cast<size_t>(i)])});
  bool any_range = false;
  for (int i = 0; i < r.size(); ++i) {
    if (!has_range[static_cast<size_t>(i)]) continue;
    if (!any_range) out += "RANGES\n";
    any_range = true;
    line.add("", {"RNG", rname[static_cast<size_t>(i)], format_double(range[static_cast<size_t>(i)])});
  }

  out += "BOUNDS\n";
  for (int j = 0; j < c.size(); ++j) {
    const size_t k = static_cast<size_t>(j);
    double lb = c.lb[k], ub = c.ub[k];
    const std::string& n = cname[k];
    const char t = c.type[k];
    if (t == VLM_BINARY) {
      // BV gives [0, 1]; a binary's bounds are cut to that range when it is
      // solved, so only a narrower range needs a further line (after BV,
      // which readers apply in order).
      lb = std::max(lb, 0.0), ub = std::min(ub, 1.0);
      line.add("BV", {bnd, n});
      if (lb != 0.0) line.add("LO", {bnd, n, format_double(lb)});
      if (ub != 1.0) line.add("UP", {bnd, n, format_double(ub)});
      continue;
    }
    if (t == VLM_SEMICONT || t == VLM_SEMIINT) {
      line.add("SC", {bnd, n, format_double(ub)});
      if (lb != 0.0) line.add("LO", {bnd, n, format_double(lb)});
      continue;
    }
    if (lb <= -VLM_INFINITY && ub >= VLM_INFINITY) {
      line.add("FR", {bnd, n});
    } else if (lb == ub) {
      line.add("FX", {bnd, n, format_double(lb)});
    } else {
      if (lb <= -VLM_INFINITY)
        line.add("MI", {bnd, n});
      else if (lb != 0.0 || ub < 0.0)  // an explicit 0 keeps readers from taking a negative UP as lb = -inf
        line.add("LO", {bnd, n, format_double(lb)});
      if (ub < VLM_INFINITY)
        line.add("UP", {bnd, n, format_double(ub)});
      else if (t == VLM_INTEGER)
        line.add("PL", {bnd, n});
    }
  }
  if (!d.quad.empty()) {
    out += "QUADOBJ\n";
    for (const auto& q : d.quad) {
      const int i = q.first.first, j = q.first.second;
      line.add("", {cname[static_cast<size_t>(i)], cname[static_cast<size_t>(j)], format_double(i == j ? 2 * q.second : q.second)});
    }
  }
  if (!d.sos.empty()) {
    out += "SOS\n";
    for (size_t s = 0; s < d.sos.size(); ++s) {
      line.add(d.sos[s].type == VLM_SOS_TYPE1 ? "S1" : "S2", {"SOS", "s" + std::to_string(s)});
      for (size_t k = 0; k < d.sos[s].members.size(); ++k)
        line.add("", {cname[static_cast<size_t>(d.sos[s].members[k])], format_double(d.sos[s].weights[k])});
    }
  }
  out += "ENDATA\n";
  return out;
}

namespace {

enum class Section { None, Name, ObjSense, Rows, Columns, Rhs, Ranges, Bounds, QuadObj, QMatrix, Sos, End };

// The fields of a data line, without allocation: more than kMaxFields make
// size() report kMaxFields + 1, which no section accepts.
class Fields {
 public:
  static constexpr size_t kMaxFields = 6;
  size_t size() const { return n_; }
  std::string_view operator[](size_t i) const { return f_[i]; }
  void add(std::string_view field) {
    if (n_ < kMaxFields) f_[n_] = field;
    if (n_ <= kMaxFields) ++n_;
  }

 private:
  std::array<std::string_view, kMaxFields> f_;
  size_t n_ = 0;
};

// Free format: fields separated by blanks.
Fields free_fields(std::string_view line) {
  Fields out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t') ++j;
    if (j > i) out.add(line.substr(i, j - i));
    i = j;
  }
  return out;
}

// Fixed format: fields in columns 2-3, 5-12, 15-22, 25-36, 40-47 and 50-61
// (counted from 1), each without its surrounding blanks, so that names may
// hold blanks; the empty ones are skipped, as free format has none. A
// character between the fields or beyond the last refuses the line. A line
// of the ROWS section has its name from column 5 to its end.
Fields fixed_fields(std::string_view line, bool row_line) {
  static constexpr size_t kStart[] = {1, 4, 14, 24, 39, 49}, kEnd[] = {3, 12, 22, 36, 47, 61};
  Fields out;
  size_t at = 0;
  for (size_t k = 0; k < 6 && at < line.size(); ++k) {
    for (; at < kStart[k] && at < line.size(); ++at) expect_format(line[at] == ' ' || line[at] == '\t');
    const size_t end = row_line && k == 1 ? line.size() : std::min(kEnd[k], line.size());
    if (at < end) {
      const std::string_view field = trim(line.substr(at, end - at));
      if (!field.empty()) out.add(field);
    }
    at = end;
    if (row_line && k == 1) break;
  }
  for (; at < line.size(); ++at) expect_format(line[at] == ' ' || line[at] == '\t');
  return out;
}

// The row or column names of a file, numbered in order of addition: an open
// addressing table of views into the text, so that a look-up costs one hash
// and, mostly, one probe, and an addition no allocation of its own.
class FileNames {
 public:
  // The index of `name`, or -1.
  int find(std::string_view name) const {
    if (slots_.empty()) return -1;
    const size_t h = std::hash<std::string_view>()(name);
    for (size_t at = h & mask_;; at = (at + 1) & mask_) {
      const int k = slots_[at];
      if (k < 0) return -1;
      if (hashes_[static_cast<size_t>(k)] == h && names_[static_cast<size_t>(k)] == name) return k;
    }
  }
  // Adds `name`, which find() did not know, under the next index.
  void add(std::string_view name) {
    if (2 * (names_.size() + 1) > slots_.size()) grow(2 * (names_.size() + 1));
    const size_t h = std::hash<std::string_view>()(name);
    names_.push_back(name);
    hashes_.push_back(h);
    place(h, static_cast<int>(names_.size() - 1));
  }
  // Room for `n` names without growing.
  void reserve(size_t n) {
    names_.reserve(n);
    hashes_.reserve(n);
    if (2 * n > slots_.size()) grow(2 * n);
  }

 private:
  void place(size_t h, int k) {
    size_t at = h & mask_;
    while (slots_[at] >= 0) at = (at + 1) & mask_;
    slots_[at] = k;
  }
  void grow(size_t least) {
    size_t size = 16;
    while (size < least) size *= 2;
    slots_.assign(size, -1);
    mask_ = size - 1;
    for (size_t k = 0; k < names_.size(); ++k) place(hashes_[k], static_cast<int>(k));
  }

  std::vector<std::string_view> names_;
  std::vector<size_t> hashes_;
  std::vector<int> slots_;  // -1 when empty, else an index into names_
  size_t mask_ = 0;
};

// A column or row name of the file: its index, or -1.
int lookup(const FileNames& index, std::string_view name) { return index.find(name); }

bool is_sense(const std::string& s) { return s == "max" || s == "maximize" || s == "min" || s == "minimize"; }

// Reads the text as free or as fixed MPS; refuses with the format error.
// Names are kept as views into `text` while it is read.
ModelData read_mps_as(const std::string& text, bool fixed, std::vector<std::string>& notes) {
  ModelData d;
  Columns& c = d.cols;
  Rows& r = d.rows;
  FileNames row_index, col_index;
  std::vector<char> row_type;  // per model row: 'N', 'L', 'G', 'E'
  std::string_view obj_row;
  bool have_obj = false;
  std::vector<double> rhs, range;
  std::vector<char> has_range;
  std::vector<char> lb_given;  // per column: a bound section set its lower bound
  // Columns whose default lower bound a negative UP removed, by their names in `text`.
  std::vector<std::string_view> negative_up;
  Triplets triplets, quad;
  bool integer_block = false, ended = false, saw_columns = false;
  Section section = Section::None;
  // Lines of one column follow each other: the last column looked up.
  std::string_view current_name;
  int current = -1;

  // Every line holds at most two coefficients, so this bounds the entries by
  // the file's size.
  const size_t lines_in_text = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  triplets.reserve(lines_in_text);

  auto column = [&](std::string_view name) {
    const int j = lookup(col_index, name);
    expect_format(j >= 0);
    return static_cast<size_t>(j);
  };
  auto row = [&](std::string_view name) -> int {  // -1 for the objective row
    if (have_obj && name == obj_row) return -1;
    const int i = lookup(row_index, name);
    expect_format(i >= 0);
    return i;
  };

  LineReader lines(text);
  std::string_view line;
  while (!ended && lines.next(line)) {
    if (trim(line).empty() || line[0] == '*') continue;
    if (line[0] != ' ' && line[0] != '\t') {
      const Fields tok = free_fields(line);
      const std::string head = lower(tok[0]);
      if (head == "name") {
        d.name = std::string(trim(line.substr(4)));
        section = Section::Name;
      } else if (head == "objsense") {
        section = Section::ObjSense;
        if (tok.size() > 1) {
          const std::string sense = lower(tok[1]);
          expect_format(tok.size() == 2 && is_sense(sense));
          d.sense = sense.substr(0, 3) == "max" ? VLM_MAXIMIZE : VLM_MINIMIZE;
        }
      } else if (head == "rows") {
        section = Section::Rows;
      } else if (head == "columns") {
        section = Section::Columns;
        saw_columns = true;
        col_index.reserve(std::min(lines_in_text, static_cast<size_t>(1) << 20));
      } else if (head == "rhs") {
        section = Section::Rhs;
      } else if (head == "ranges") {
        section = Section::Ranges;
      } else if (head == "bounds") {
        section = Section::Bounds;
      } else if (head == "quadobj") {
        section = Section::QuadObj;
      } else if (head == "qmatrix") {
        section = Section::QMatrix;
      } else if (head == "sos") {
        section = Section::Sos;
      } else if (head == "endata") {
        ended = true;
      } else {
        expect_format(false);
      }
      continue;
    }
    const Fields tok = fixed ? fixed_fields(line, section == Section::Rows) : free_fields(line);
    if (tok.size() == 0) continue;
    switch (section) {
      case Section::ObjSense: {
        const std::string sense = lower(tok[0]);
        expect_format(tok.size() == 1 && is_sense(sense));
        d.sense = sense.substr(0, 3) == "max" ? VLM_MAXIMIZE : VLM_MINIMIZE;
        break;
      }
      case Section::Rows: {
        expect_format(tok.size() == 2 && tok[0].size() == 1 && !saw_columns);
        const char t = static_cast<char>(std::toupper(static_cast<unsigned char>(tok[0][0])));
        expect_format(t == 'N' || t == 'L' || t == 'G' || t == 'E');
        const std::string_view name = tok[1];
        expect_format(!(have_obj && name == obj_row) && row_index.find(name) < 0);
        if (t == 'N' && !have_obj) {
          obj_row = name;
          have_obj = true;
          break;
        }
        expect_format(r.size() < INT_MAX);
        row_index.add(name);
        row_type.push_back(t);
        r.name.emplace_back(name);
        r.lb.push_back(0);
        r.ub.push_back(0);
        r.lin.emplace_back();
        r.psd.emplace_back();
        r.is_psd.push_back(0);
        rhs.push_back(0);
        range.push_back(0);
        has_range.push_back(0);
        break;
      }
      case Section::Columns: {
        if (tok.size() == 3 && tok[1] == "'MARKER'") {
          expect_format(tok[2] == "'INTORG'" || tok[2] == "'INTEND'");
          integer_block = tok[2] == "'INTORG'";
          break;
        }
        expect_format(tok.size() == 3 || tok.size() == 5);
        const std::string_view name = tok[0];
        if (current < 0 || name != current_name) {
          current = lookup(col_index, name);
          current_name = name;
        }
        if (current < 0) {
          expect_format(c.size() < INT_MAX);
          current = c.size();
          col_index.add(name);
          c.name.emplace_back(name);
          c.lb.push_back(0);
          c.ub.push_back(VLM_INFINITY);
          c.obj.push_back(0);
          c.type.push_back(integer_block ? VLM_INTEGER : VLM_CONTINUOUS);
          c.start.push_back(VLM_UNDEFINED);
          lb_given.push_back(0);
        }
        for (size_t f = 1; f + 1 < tok.size(); f += 2) {
          const double v = file_coef(tok[f + 1]);
          const int i = row(tok[f]);
          if (i < 0)
            c.obj[static_cast<size_t>(current)] += v;
          else
            triplets.push_back({{i, current}, v});
        }
        break;
      }
      case Section::Rhs:
      case Section::Ranges: {
        // An optional set name comes first: an odd number of fields has one.
        expect_format(tok.size() >= 2 && tok.size() <= 5);
        for (size_t f = tok.size() % 2; f + 1 < tok.size(); f += 2) {
          const int i = row(tok[f]);
          if (section == Section::Rhs) {
            const double v = file_bound(tok[f + 1]);
            if (i < 0)
              d.obj_const = 0.0 - file_coef(tok[f + 1]);
            else
              rhs[static_cast<size_t>(i)] = v;
          } else {
            expect_format(i >= 0);
            range[static_cast<size_t>(i)] = file_coef(tok[f + 1]);
            has_range[static_cast<size_t>(i)] = 1;
          }
        }
        break;
      }
      case Section::Bounds: {
        const std::string type = lower(tok[0]);
        const bool needs_value = type == "up" || type == "lo" || type == "fx" || type == "li" || type == "ui";
        const bool no_value = type == "fr" || type == "mi" || type == "pl";
        const bool optional = type == "bv" || type == "sc";
        expect_format(needs_value || no_value || optional);
        const size_t rest = tok.size() - 1;
        std::string_view col, value;
        if (rest == 3) {
          expect_format(!no_value);
          col = tok[2], value = tok[3];
        } else if (rest == 1) {
          expect_format(!needs_value);
          col = tok[1];
        } else {
          expect_format(rest == 2);
          double probe;
          if (needs_value || (optional && lookup(col_index, tok[1]) >= 0 && parse_double(tok[2], probe)))
            col = tok[1], value = tok[2];
          else
            col = tok[2];
        }
        const size_t j = column(col);
        if (type == "up") {
          c.ub[j] = file_bound(value);
          // A negative upper bound on a column whose lower bound is still the
          // default 0 makes the lower bound minus infinity, as the readers
          // of CLP and HiGHS do, rather than an empty range.
          if (c.ub[j] < 0 && !lb_given[j] && c.lb[j] == 0.0) {
            c.lb[j] = -VLM_INFINITY;
            negative_up.push_back(col);
          }
        } else if (type == "lo") {
          c.lb[j] = file_bound(value);
        } else if (type == "fx") {
          c.lb[j] = c.ub[j] = file_bound(value);
        } else if (type == "fr") {
          c.lb[j] = -VLM_INFINITY, c.ub[j] = VLM_INFINITY;
        } else if (type == "mi") {
          c.lb[j] = -VLM_INFINITY;
        } else if (type == "pl") {
          c.ub[j] = VLM_INFINITY;
        } else if (type == "bv") {
          c.type[j] = VLM_BINARY, c.lb[j] = 0, c.ub[j] = 1;
        } else if (type == "li") {
          c.type[j] = VLM_INTEGER, c.lb[j] = file_bound(value);
        } else if (type == "ui") {
          c.type[j] = VLM_INTEGER, c.ub[j] = file_bound(value);
        } else {  // sc
          c.type[j] = c.type[j] == VLM_INTEGER ? VLM_SEMIINT : VLM_SEMICONT;
          c.ub[j] = value.empty() ? VLM_INFINITY : file_bound(value);
        }
        if (type == "lo" || type == "fx" || type == "fr" || type == "mi" || type == "bv" || type == "li")
          lb_given[j] = 1;
        break;
      }
      case Section::QuadObj:
      case Section::QMatrix: {
        expect_format(tok.size() == 3);
        const int i = static_cast<int>(column(tok[0])), j = static_cast<int>(column(tok[1]));
        double v = file_coef(tok[2]);
        // Objective = c.x + 1/2 x'Qx. QUADOBJ lists one triangle, so an
        // off-diagonal entry stands for two; QMATRIX lists both.
        if (section == Section::QMatrix || i == j) v /= 2;
        quad.push_back({{i, j}, v});
        break;
      }
      case Section::Sos: {
        double probe;
        const std::string head = lower(tok[0]);
        if ((head == "s1" || head == "s2") && !(tok.size() == 2 && parse_double(tok[1], probe))) {
          expect_format(tok.size() <= 4);
          d.sos.push_back({head == "s1" ? VLM_SOS_TYPE1 : VLM_SOS_TYPE2, {}, {}});
          break;
        }
        expect_format(!d.sos.empty() && tok.size() == 2);
        d.sos.back().members.push_back(static_cast<int>(column(tok[0])));
        d.sos.back().weights.push_back(file_coef(tok[1]));
        break;
      }
      default:
        expect_format(false);
    }
  }
  expect_format(ended && have_obj);

  for (size_t i = 0; i < row_type.size(); ++i) {
    const double b = rhs[i], rg = range[i];
    switch (row_type[i]) {
      case 'N': r.lb[i] = -VLM_INFINITY, r.ub[i] = VLM_INFINITY; break;
      case 'L': r.lb[i] = has_range[i] ? b - std::fabs(rg) : -VLM_INFINITY, r.ub[i] = b; break;
      case 'G': r.lb[i] = b, r.ub[i] = has_range[i] ? b + std::fabs(rg) : VLM_INFINITY; break;
      default:
        r.lb[i] = rg < 0 ? b + rg : b;
        r.ub[i] = rg > 0 ? b + rg : b;
    }
    if (r.lb[i] <= -VLM_INFINITY) r.lb[i] = -VLM_INFINITY;
    if (r.ub[i] >= VLM_INFINITY) r.ub[i] = VLM_INFINITY;
  }
  finish_read_model(d, triplets, quad);
  if (fixed) notes.push_back("Read as fixed-format MPS (fields in fixed columns)");
  if (!negative_up.empty())
    notes.push_back("MPS: " + std::to_string(negative_up.size()) + " column" + (negative_up.size() == 1 ? "" : "s") +
                    " with a negative upper bound and no lower bound (the first: " + std::string(negative_up[0]) +
                    ") get lower bound -infinity");
  return d;
}

}  // namespace

ModelData read_mps(const std::string& text, std::vector<std::string>& notes) {
  try {
    return read_mps_as(text, false, notes);
  } catch (const Refusal& r) {
    if (r.code != VLM_ERROR_FORMAT_ERROR) throw;
  }
  return read_mps_as(text, true, notes);
}

}  // namespace velmor
