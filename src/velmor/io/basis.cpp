// Basis files (.bas) in the MPS basis format, as CLP's readBasis and the clp
// program's -basisI read them: a NAME line, one record a line, ENDATA.
//
//  XU col row  the column is basic, the row nonbasic at its upper side
//  XL col row  the column is basic, the row nonbasic at its lower side
//  UL col      the column is nonbasic at its upper bound
//  LL col      the column is nonbasic at its lower bound
//  BS col      the column is basic (without a row to leave the basis)
//
// A column no record names is nonbasic at its lower bound, a row no record
// names basic. Names are those of the MPS file write_mps writes of the same
// model. Written: each basic column with the next nonbasic row in order (XU
// for a row at its upper side, else XL), BS for a basic column left over,
// UL for each column at its upper bound; the others go without a record. A
// UL or BS record carries a placeholder in the row's field: CoinUtils'
// reader skips a record that ends after the column's name. Read: the records
// above, each with an optional placeholder (UL, LL, BS) and an optional value
// (the VALUES variant of the format; values are not used).
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/text_util.hpp"
#include "io/formats.hpp"

namespace velmor {

namespace {

// The row field of a record without a row (as CLP writes it in the VALUES variant).
constexpr const char* kPlaceholder = "_dummy_";

// The steps of write_basis: the NAME line, the records in column order, ENDATA.
class BasisWriter {
 public:
  BasisWriter(const ModelData& d, const Solution& s) : d_(d), s_(s), names_(mps_names(d)) {}

  std::string write() {
    // The NAME line's first word is the name; a further one could read as a
    // keyword of the format (VALUES, FREE), so a name with blanks is left out.
    out_ = plain_name(d_.name) ? "NAME          " + d_.name + "\n" : "NAME\n";
    size_t next_row = 0;  // rows before it are basic or paired
    for (size_t j = 0; j < names_.cols.size(); ++j) {
      const int code = s_.col_basis[j];
      if (code == VLM_BASIS_BASIC) {
        while (next_row < s_.row_basis.size() && s_.row_basis[next_row] == VLM_BASIS_BASIC) ++next_row;
        if (next_row < s_.row_basis.size()) {
          record(s_.row_basis[next_row] == VLM_BASIS_UPPER ? "XU" : "XL", names_.cols[j], names_.rows[next_row]);
          ++next_row;
        } else {
          record("BS", names_.cols[j], kPlaceholder);
        }
      } else if (code == VLM_BASIS_UPPER) {
        record("UL", names_.cols[j], kPlaceholder);
      }
    }
    out_ += "ENDATA\n";
    return std::move(out_);
  }

 private:
  void record(const char* type, const std::string& col, const std::string& row) {
    out_ += ' ';
    out_ += type;
    out_ += ' ';
    out_ += col;
    out_ += ' ';
    out_ += row;
    out_ += '\n';
  }

  const ModelData& d_;
  const Solution& s_;
  const MpsNames names_;
  std::string out_;
};

// The steps of read_basis: the NAME line, then each record (record), then
// ENDATA; the basis is returned only when the whole text reads.
class BasisReader {
 public:
  BasisReader(const std::string& text, const ModelData& d) : text_(text), names_(mps_names(d)) {
    for (size_t j = 0; j < names_.cols.size(); ++j) cols_.emplace(names_.cols[j], static_cast<int>(j));
    for (size_t i = 0; i < names_.rows.size(); ++i) rows_.emplace(names_.rows[i], static_cast<int>(i));
    basis_.cols.assign(names_.cols.size(), VLM_BASIS_LOWER);
    basis_.rows.assign(names_.rows.size(), VLM_BASIS_BASIC);
    col_seen_.assign(names_.cols.size(), 0);
    row_seen_.assign(names_.rows.size(), 0);
  }

  StartBasis read() {
    LineReader lines(text_);
    std::string_view line;
    bool named = false, ended = false;
    while (!ended && lines.next(line)) {
      if (trim(line).empty() || line[0] == '*') continue;
      const std::vector<std::string_view> fields = split_blanks(line);
      if (line[0] != ' ' && line[0] != '\t') {
        // NAME first, then ENDATA: the format has no other section.
        const std::string head = lower(fields[0]);
        expect_format(named ? head == "endata" : head == "name");
        ended = named;
        named = true;
        continue;
      }
      expect_format(named);
      record(fields);
    }
    expect_format(ended);
    return std::move(basis_);
  }

 private:
  void record(const std::vector<std::string_view>& f) {
    const std::string type = lower(f[0]);
    const bool pair = type == "xu" || type == "xl";
    expect_format(pair || type == "ul" || type == "ll" || type == "bs");
    // Type, column, row (a placeholder but in XU/XL, where it may be left
    // out) and perhaps a value.
    expect_format(f.size() == 3 || f.size() == 4 || (!pair && f.size() == 2));
    double value;
    if (f.size() == 4) expect_format(parse_double(f.back(), value));
    const size_t j = find(cols_, f[1]);
    expect_format(!col_seen_[j]);
    col_seen_[j] = 1;
    if (type == "ul") {
      basis_.cols[j] = VLM_BASIS_UPPER;
    } else if (type == "ll") {
      basis_.cols[j] = VLM_BASIS_LOWER;
    } else {
      basis_.cols[j] = VLM_BASIS_BASIC;
      if (!pair) return;
      const size_t i = find(rows_, f[2]);
      expect_format(!row_seen_[i]);
      row_seen_[i] = 1;
      basis_.rows[i] = type == "xu" ? VLM_BASIS_UPPER : VLM_BASIS_LOWER;
    }
  }

  // The index of a name of the model; a name it does not have refuses.
  static size_t find(const std::unordered_map<std::string_view, int>& index, std::string_view name) {
    const auto it = index.find(name);
    expect_format(it != index.end());
    return static_cast<size_t>(it->second);
  }

  const std::string& text_;
  const MpsNames names_;
  std::unordered_map<std::string_view, int> cols_, rows_;  // views into names_
  std::vector<char> col_seen_, row_seen_;                  // named by a record already
  StartBasis basis_;
};

}  // namespace

std::string write_basis(const VLMmodel& m) {
  const Solution& s = m.solution;
  if (!s.has_basis) {
    if (!s.has_primal)
      refuse(VLM_ERROR_NO_SOLN,
             "No solution available: no basis to write (a basis comes from a simplex solve of an LP, or a barrier "
             "solve with crossover)");
    refuse(VLM_ERROR_DATA_NOT_AVAILABLE,
           "Requested data is not available: no basis to write (a basis comes from a simplex solve of an LP, or a "
           "barrier solve with crossover)");
  }
  const ModelData& d = m.data;
  if (s.col_basis.size() != static_cast<size_t>(d.cols.size()) ||
      s.row_basis.size() != static_cast<size_t>(d.rows.size()))
    refuse(VLM_ERROR_DATA_NOT_AVAILABLE);
  return BasisWriter(d, s).write();
}

StartBasis read_basis(const std::string& text, const ModelData& d) { return BasisReader(text, d).read(); }

}  // namespace velmor
