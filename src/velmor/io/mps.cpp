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
#include <utility>
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

// The steps of write_mps, in the order of the file's sections. The rows'
// types and sides are decided once (row_sides) and written in ROWS, RHS and
// RANGES.
class MpsWriter {
 public:
  MpsWriter(const ModelData& d, MpsNames names)
      : d_(d),
        cname_(std::move(names.cols)),
        rname_(std::move(names.rows)),
        // The objective row, and the bound set, which a reader may look up
        // among the columns (a BV line without a value has the set name or
        // the column second), take names no row or column uses.
        obj_(unused_name("OBJ", rname_)),
        bnd_(unused_name("BND", cname_)),
        fixed_(std::all_of(cname_.begin(), cname_.end(), fits_fixed) &&
               std::all_of(rname_.begin(), rname_.end(), fits_fixed) && fits_fixed(obj_) && fits_fixed(bnd_)),
        line_(out_, fixed_) {}

  std::string write() {
    header();
    rows();
    columns();
    rhs_and_ranges();
    bounds();
    quadobj();
    sos();
    out_ += "ENDATA\n";
    return std::move(out_);
  }

 private:
  // A row as ROWS, RHS and RANGES give it.
  struct RowSides {
    const char* type;
    double rhs = 0.0, range = 0.0;
    bool has_range = false;
  };

  void header() {
    std::string name = d_.name;  // a line break would end the NAME line
    for (char& ch : name)
      if (ch == '\n' || ch == '\r') ch = ' ';
    out_ = name.empty() ? "NAME\n" : (fixed_ ? "NAME          " : "NAME ") + name + "\n";
    if (d_.sense == VLM_MAXIMIZE) {
      out_ += "OBJSENSE\n";
      line_.add("", {"MAX"});
    }
  }

  // Row types and right-hand sides; ranges for rows with two finite sides.
  static RowSides row_sides(double lb, double ub) {
    const bool lo = lb > -VLM_INFINITY, up = ub < VLM_INFINITY;
    RowSides s;
    if (lo && up && lb == ub) {
      s.type = "E", s.rhs = lb;
    } else if (lo && up) {
      // Refused when lb > ub: no MPS row has an empty range.
      expect_format(lb < ub);
      double rg;
      if (exact_range(lb, ub, rg)) {
        s.type = "G", s.rhs = lb, s.range = rg;
      } else {
        expect_format(exact_range(ub, lb, rg));
        s.type = "L", s.rhs = ub, s.range = rg;
      }
      s.has_range = true;
    } else if (lo) {
      s.type = "G", s.rhs = lb;
    } else if (up) {
      s.type = "L", s.rhs = ub;
    } else {
      s.type = "N";
    }
    return s;
  }

  void rows() {
    const Rows& r = d_.rows;
    out_ += "ROWS\n";
    line_.add("N", {obj_});
    sides_.reserve(static_cast<size_t>(r.size()));
    for (int i = 0; i < r.size(); ++i) {
      const size_t k = static_cast<size_t>(i);
      sides_.push_back(row_sides(r.lb[k], r.ub[k]));
      line_.add(sides_.back().type, {rname_[k]});
    }
  }

  // Columns: each column's entries gathered from the rows.
  void columns() {
    const Columns& c = d_.cols;
    const Rows& r = d_.rows;
    std::vector<SparseVector> cols(static_cast<size_t>(c.size()));
    for (int i = 0; i < r.size(); ++i)
      for (const Entry& e : r.lin[static_cast<size_t>(i)]) cols[static_cast<size_t>(e.index)].push_back({i, e.value});
    out_ += "COLUMNS\n";
    bool in_marker = false;
    for (int j = 0; j < c.size(); ++j) {
      const size_t k = static_cast<size_t>(j);
      const bool integer = is_integer_type(c.type[k]);
      if (integer != in_marker) {
        line_.add_marker(integer ? "'INTORG'" : "'INTEND'");
        in_marker = integer;
      }
      if (c.obj[k] != 0.0 || cols[k].empty()) line_.add("", {cname_[k], obj_, format_double(c.obj[k])});
      for (const Entry& e : cols[k])
        line_.add("", {cname_[k], rname_[static_cast<size_t>(e.index)], format_double(e.value)});
    }
    if (in_marker) line_.add_marker("'INTEND'");
  }

  void rhs_and_ranges() {
    out_ += "RHS\n";
    if (d_.obj_const != 0.0) line_.add("", {"RHS", obj_, format_double(0.0 - d_.obj_const)});
    for (size_t i = 0; i < sides_.size(); ++i)
      if (sides_[i].rhs != 0.0) line_.add("", {"RHS", rname_[i], format_double(sides_[i].rhs)});
    bool any_range = false;
    for (size_t i = 0; i < sides_.size(); ++i) {
      if (!sides_[i].has_range) continue;
      if (!any_range) out_ += "RANGES\n";
      any_range = true;
      line_.add("", {"RNG", rname_[i], format_double(sides_[i].range)});
    }
  }

  void bounds() {
    out_ += "BOUNDS\n";
    for (size_t k = 0; k < cname_.size(); ++k) column_bounds(k);
  }

  void column_bounds(size_t k) {
    const Columns& c = d_.cols;
    double lb = c.lb[k], ub = c.ub[k];
    const std::string& n = cname_[k];
    const char t = c.type[k];
    if (t == VLM_BINARY) {
      // BV gives [0, 1]; a binary's bounds are cut to that range when it is
      // solved, so only a narrower range needs a further line (after BV,
      // which readers apply in order).
      lb = std::max(lb, 0.0), ub = std::min(ub, 1.0);
      line_.add("BV", {bnd_, n});
      if (lb != 0.0) line_.add("LO", {bnd_, n, format_double(lb)});
      if (ub != 1.0) line_.add("UP", {bnd_, n, format_double(ub)});
      return;
    }
    if (t == VLM_SEMICONT || t == VLM_SEMIINT) {
      line_.add("SC", {bnd_, n, format_double(ub)});
      if (lb != 0.0) line_.add("LO", {bnd_, n, format_double(lb)});
      return;
    }
    if (lb <= -VLM_INFINITY && ub >= VLM_INFINITY) {
      line_.add("FR", {bnd_, n});
    } else if (lb == ub) {
      line_.add("FX", {bnd_, n, format_double(lb)});
    } else {
      if (lb <= -VLM_INFINITY)
        line_.add("MI", {bnd_, n});
      else if (lb != 0.0 || ub < 0.0)  // an explicit 0 keeps readers from taking a negative UP as lb = -inf
        line_.add("LO", {bnd_, n, format_double(lb)});
      if (ub < VLM_INFINITY)
        line_.add("UP", {bnd_, n, format_double(ub)});
      else if (t == VLM_INTEGER)
        line_.add("PL", {bnd_, n});
    }
  }

  void quadobj() {
    if (d_.quad.empty()) return;
    out_ += "QUADOBJ\n";
    for (const auto& q : d_.quad) {
      const int i = q.first.first, j = q.first.second;
      line_.add("", {cname_[static_cast<size_t>(i)], cname_[static_cast<size_t>(j)],
                     format_double(i == j ? 2 * q.second : q.second)});
    }
  }

  void sos() {
    if (d_.sos.empty()) return;
    out_ += "SOS\n";
    for (size_t s = 0; s < d_.sos.size(); ++s) {
      line_.add(d_.sos[s].type == VLM_SOS_TYPE1 ? "S1" : "S2", {"SOS", "s" + std::to_string(s)});
      for (size_t k = 0; k < d_.sos[s].members.size(); ++k)
        line_.add("", {cname_[static_cast<size_t>(d_.sos[s].members[k])], format_double(d_.sos[s].weights[k])});
    }
  }

  const ModelData& d_;
  const std::vector<std::string> cname_, rname_;
  const std::string obj_, bnd_;
  const bool fixed_;
  std::string out_;
  MpsLines line_;
  std::vector<RowSides> sides_;
};

}  // namespace

MpsNames mps_names(const ModelData& d) {
  return {file_names(d.cols.name, d.cols.lb.size(), "C", mps_name),
          file_names(d.rows.name, d.rows.lb.size(), "R", mps_name)};
}

std::string write_mps(const ModelData& d) {
  if (!d.psd_vars.empty() || d.num_psd_rows() != 0)
    refuse(VLM_ERROR_FORMAT_ERROR,
           "Invalid or unsupported file format: MPS has no semidefinite variables or rows (a .cbf file keeps them)");
  if (!d.indicators.empty())
    refuse(VLM_ERROR_FORMAT_ERROR,
           "Invalid or unsupported file format: MPS has no section for indicator constraints (an .lp file keeps "
           "them)");
  return MpsWriter(d, mps_names(d)).write();
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
// Names are kept as views into `text` while it is read. One pass over the
// lines: a line that starts in its first column names a section
// (section_line), the others go to the step of the section they are in; the
// rows' sides follow from their types, right-hand sides and ranges at the end
// (row_sides).
class MpsReader {
 public:
  MpsReader(const std::string& text, bool fixed) : text_(text), fixed_(fixed) {}

  ModelData read(std::vector<std::string>& notes) {
    // Every line holds at most two coefficients, so this bounds the entries
    // by the file's size.
    lines_in_text_ = static_cast<size_t>(std::count(text_.begin(), text_.end(), '\n')) + 1;
    triplets_.reserve(lines_in_text_);
    LineReader lines(text_);
    std::string_view line;
    while (!ended_ && lines.next(line)) {
      if (trim(line).empty() || line[0] == '*') continue;
      if (line[0] != ' ' && line[0] != '\t') {
        section_line(line);
        continue;
      }
      const Fields tok = fixed_ ? fixed_fields(line, section_ == Section::Rows) : free_fields(line);
      if (tok.size() == 0) continue;
      data_line(tok);
    }
    expect_format(ended_ && have_obj_);
    row_sides();
    finish_read_model(d_, triplets_, quad_);
    if (fixed_) notes.push_back("Read as fixed-format MPS (fields in fixed columns)");
    if (!negative_up_.empty())
      notes.push_back("MPS: " + std::to_string(negative_up_.size()) + " column" +
                      (negative_up_.size() == 1 ? "" : "s") + " with a negative upper bound and no lower bound " +
                      "(the first: " + std::string(negative_up_[0]) + ") get lower bound -infinity");
    return std::move(d_);
  }

 private:
  // A line that names a section (NAME and OBJSENSE may hold their value).
  void section_line(std::string_view line) {
    const Fields tok = free_fields(line);
    const std::string head = lower(tok[0]);
    if (head == "name") {
      d_.name = std::string(trim(line.substr(4)));
      section_ = Section::Name;
    } else if (head == "objsense") {
      section_ = Section::ObjSense;
      if (tok.size() > 1) {
        const std::string sense = lower(tok[1]);
        expect_format(tok.size() == 2 && is_sense(sense));
        d_.sense = sense.substr(0, 3) == "max" ? VLM_MAXIMIZE : VLM_MINIMIZE;
      }
    } else if (head == "rows") {
      section_ = Section::Rows;
    } else if (head == "columns") {
      section_ = Section::Columns;
      saw_columns_ = true;
      col_index_.reserve(std::min(lines_in_text_, static_cast<size_t>(1) << 20));
    } else if (head == "rhs") {
      section_ = Section::Rhs;
    } else if (head == "ranges") {
      section_ = Section::Ranges;
    } else if (head == "bounds") {
      section_ = Section::Bounds;
    } else if (head == "quadobj") {
      section_ = Section::QuadObj;
    } else if (head == "qmatrix") {
      section_ = Section::QMatrix;
    } else if (head == "sos") {
      section_ = Section::Sos;
    } else if (head == "endata") {
      ended_ = true;
    } else {
      expect_format(false);
    }
  }

  void data_line(const Fields& tok) {
    switch (section_) {
      case Section::ObjSense: {
        const std::string sense = lower(tok[0]);
        expect_format(tok.size() == 1 && is_sense(sense));
        d_.sense = sense.substr(0, 3) == "max" ? VLM_MAXIMIZE : VLM_MINIMIZE;
        break;
      }
      case Section::Rows: row_line(tok); break;
      case Section::Columns: column_line(tok); break;
      case Section::Rhs:
      case Section::Ranges: rhs_line(tok); break;
      case Section::Bounds: bound_line(tok); break;
      case Section::QuadObj:
      case Section::QMatrix: quad_line(tok); break;
      case Section::Sos: sos_line(tok); break;
      default: expect_format(false);
    }
  }

  void row_line(const Fields& tok) {
    Rows& r = d_.rows;
    expect_format(tok.size() == 2 && tok[0].size() == 1 && !saw_columns_);
    const char t = static_cast<char>(std::toupper(static_cast<unsigned char>(tok[0][0])));
    expect_format(t == 'N' || t == 'L' || t == 'G' || t == 'E');
    const std::string_view name = tok[1];
    expect_format(!(have_obj_ && name == obj_row_) && row_index_.find(name) < 0);
    if (t == 'N' && !have_obj_) {
      obj_row_ = name;
      have_obj_ = true;
      return;
    }
    expect_format(r.size() < INT_MAX);
    row_index_.add(name);
    row_type_.push_back(t);
    r.name.emplace_back(name);
    r.lb.push_back(0);
    r.ub.push_back(0);
    r.lin.emplace_back();
    r.psd.emplace_back();
    r.is_psd.push_back(0);
    rhs_.push_back(0);
    range_.push_back(0);
    has_range_.push_back(0);
  }

  void column_line(const Fields& tok) {
    Columns& c = d_.cols;
    if (tok.size() == 3 && tok[1] == "'MARKER'") {
      expect_format(tok[2] == "'INTORG'" || tok[2] == "'INTEND'");
      integer_block_ = tok[2] == "'INTORG'";
      return;
    }
    expect_format(tok.size() == 3 || tok.size() == 5);
    const std::string_view name = tok[0];
    if (current_ < 0 || name != current_name_) {
      current_ = lookup(col_index_, name);
      current_name_ = name;
    }
    if (current_ < 0) {
      expect_format(c.size() < INT_MAX);
      current_ = c.size();
      col_index_.add(name);
      c.name.emplace_back(name);
      c.lb.push_back(0);
      c.ub.push_back(VLM_INFINITY);
      c.obj.push_back(0);
      c.type.push_back(integer_block_ ? VLM_INTEGER : VLM_CONTINUOUS);
      c.start.push_back(VLM_UNDEFINED);
      lb_given_.push_back(0);
    }
    for (size_t f = 1; f + 1 < tok.size(); f += 2) {
      const double v = file_coef(tok[f + 1]);
      const int i = row(tok[f]);
      if (i < 0)
        c.obj[static_cast<size_t>(current_)] += v;
      else
        triplets_.push_back({{i, current_}, v});
    }
  }

  // A line of RHS or RANGES.
  void rhs_line(const Fields& tok) {
    // An optional set name comes first: an odd number of fields has one.
    expect_format(tok.size() >= 2 && tok.size() <= 5);
    for (size_t f = tok.size() % 2; f + 1 < tok.size(); f += 2) {
      const int i = row(tok[f]);
      if (section_ == Section::Rhs) {
        const double v = file_bound(tok[f + 1]);
        if (i < 0)
          d_.obj_const = 0.0 - file_coef(tok[f + 1]);
        else
          rhs_[static_cast<size_t>(i)] = v;
      } else {
        expect_format(i >= 0);
        range_[static_cast<size_t>(i)] = file_coef(tok[f + 1]);
        has_range_[static_cast<size_t>(i)] = 1;
      }
    }
  }

  void bound_line(const Fields& tok) {
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
      if (needs_value || (optional && lookup(col_index_, tok[1]) >= 0 && parse_double(tok[2], probe)))
        col = tok[1], value = tok[2];
      else
        col = tok[2];
    }
    set_bound(type, column(col), col, value);
  }

  // Applies a bound line of `type` to column j (named `col` in the text).
  void set_bound(const std::string& type, size_t j, std::string_view col, std::string_view value) {
    Columns& c = d_.cols;
    if (type == "up") {
      c.ub[j] = file_bound(value);
      // A negative upper bound on a column whose lower bound is still the
      // default 0 makes the lower bound minus infinity, as the readers
      // of CLP and HiGHS do, rather than an empty range.
      if (c.ub[j] < 0 && !lb_given_[j] && c.lb[j] == 0.0) {
        c.lb[j] = -VLM_INFINITY;
        negative_up_.push_back(col);
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
      lb_given_[j] = 1;
  }

  // A line of QUADOBJ or QMATRIX.
  void quad_line(const Fields& tok) {
    expect_format(tok.size() == 3);
    const int i = static_cast<int>(column(tok[0])), j = static_cast<int>(column(tok[1]));
    double v = file_coef(tok[2]);
    // Objective = c.x + 1/2 x'Qx. QUADOBJ lists one triangle, so an
    // off-diagonal entry stands for two; QMATRIX lists both.
    if (section_ == Section::QMatrix || i == j) v /= 2;
    quad_.push_back({{i, j}, v});
  }

  void sos_line(const Fields& tok) {
    double probe;
    const std::string head = lower(tok[0]);
    if ((head == "s1" || head == "s2") && !(tok.size() == 2 && parse_double(tok[1], probe))) {
      expect_format(tok.size() <= 4);
      d_.sos.push_back({head == "s1" ? VLM_SOS_TYPE1 : VLM_SOS_TYPE2, {}, {}});
      return;
    }
    expect_format(!d_.sos.empty() && tok.size() == 2);
    d_.sos.back().members.push_back(static_cast<int>(column(tok[0])));
    d_.sos.back().weights.push_back(file_coef(tok[1]));
  }

  // The rows' sides from their types, right-hand sides and ranges.
  void row_sides() {
    Rows& r = d_.rows;
    for (size_t i = 0; i < row_type_.size(); ++i) {
      const double b = rhs_[i], rg = range_[i];
      switch (row_type_[i]) {
        case 'N': r.lb[i] = -VLM_INFINITY, r.ub[i] = VLM_INFINITY; break;
        case 'L': r.lb[i] = has_range_[i] ? b - std::fabs(rg) : -VLM_INFINITY, r.ub[i] = b; break;
        case 'G': r.lb[i] = b, r.ub[i] = has_range_[i] ? b + std::fabs(rg) : VLM_INFINITY; break;
        default:
          r.lb[i] = rg < 0 ? b + rg : b;
          r.ub[i] = rg > 0 ? b + rg : b;
      }
      if (r.lb[i] <= -VLM_INFINITY) r.lb[i] = -VLM_INFINITY;
      if (r.ub[i] >= VLM_INFINITY) r.ub[i] = VLM_INFINITY;
    }
  }

  size_t column(std::string_view name) const {
    const int j = lookup(col_index_, name);
    expect_format(j >= 0);
    return static_cast<size_t>(j);
  }
  int row(std::string_view name) const {  // -1 for the objective row
    if (have_obj_ && name == obj_row_) return -1;
    const int i = lookup(row_index_, name);
    expect_format(i >= 0);
    return i;
  }

  const std::string& text_;
  const bool fixed_;
  size_t lines_in_text_ = 0;
  ModelData d_;
  FileNames row_index_, col_index_;
  std::vector<char> row_type_;  // per model row: 'N', 'L', 'G', 'E'
  std::string_view obj_row_;
  bool have_obj_ = false;
  std::vector<double> rhs_, range_;
  std::vector<char> has_range_;
  std::vector<char> lb_given_;  // per column: a bound section set its lower bound
  // Columns whose default lower bound a negative UP removed, by their names in `text`.
  std::vector<std::string_view> negative_up_;
  Triplets triplets_, quad_;
  bool integer_block_ = false, ended_ = false, saw_columns_ = false;
  Section section_ = Section::None;
  // Lines of one column follow each other: the last column looked up.
  std::string_view current_name_;
  int current_ = -1;
};

}  // namespace

ModelData read_mps(const std::string& text, std::vector<std::string>& notes) {
  try {
    return MpsReader(text, false).read(notes);
  } catch (const Refusal& r) {
    if (r.code != VLM_ERROR_FORMAT_ERROR) throw;
  }
  return MpsReader(text, true).read(notes);
}

}  // namespace velmor
