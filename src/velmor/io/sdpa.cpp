// SDPA sparse files (.dat-s): semidefinite programs as SDPA states them.
//
// The file holds m, the number of blocks, the block sizes, the vector c and
// the entries "matno blkno i j value" of the symmetric block-diagonal
// matrices F0 .. Fm (upper triangle; an entry (i, j) stands for (j, i) as
// well). Its problem is min c'x over sum x_k F_k - F0 positive semidefinite;
// the model read is that problem's dual, which holds the matrices as they
// stand: maximise <F0, Y> subject to <F_k, Y> = c_k (k = 1 .. m), Y positive
// semidefinite. Each block of positive size n is a semidefinite variable of
// order n; a block of negative size -n is diagonal: n nonnegative columns.
// Row k is the equality with c_k, and its dual value the file's x_k; the
// optimum is the one both problems share, with the sign SDPA gives it.
//
// Leading lines that start with '"' or '*' are comments. Text after m and
// after the number of blocks on their lines is ignored; the block sizes and
// c may hold the punctuation ",(){}" and run over several lines, and text
// after their last number is ignored. Entries at a position given twice: the
// later one counts. The format has no names.
#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "core/text_util.hpp"
#include "io/formats.hpp"

namespace velmor {

namespace {

// One entry of a matrix F_mat, within block `blk`, at (lo, hi), lo <= hi.
struct SdpaEntry {
  int mat, blk, lo, hi;
  double value;
};

// The steps of read_sdpa: the comments, the counts, the block sizes, c, the
// entries (each position once), then the model: columns of the diagonal
// blocks, semidefinite variables and the rows.
class SdpaReader {
 public:
  explicit SdpaReader(const std::string& text) : text_(text), lines_(text) {}

  ModelData read() {
    counts();
    block_sizes();
    objective_vector();
    entries();
    last_entries_only();
    model();
    return std::move(d_);
  }

 private:
  // The next line that is neither blank nor a comment.
  std::string_view first_line() {
    std::string_view line;
    while (lines_.next(line))
      if (!trim(line).empty() && line[0] != '"' && line[0] != '*') return line;
    refuse(VLM_ERROR_FORMAT_ERROR);
  }

  // A count at the start of its line. The rest of the text lists that many
  // numbers, each a character and a separator at least, so that nothing is
  // reserved beyond what the text can hold.
  int leading_count(std::string_view line) const {
    const std::string_view t = trim(line);
    size_t end = 0;
    while (end < t.size() && ((t[end] >= '0' && t[end] <= '9') || (end == 0 && t[end] == '+'))) ++end;
    const int n = file_int(t.substr(0, end));
    expect_format(n >= 1 && static_cast<size_t>(n) <= (lines_.remaining() + 1) / 2);
    return n;
  }

  void counts() {
    m_ = leading_count(first_line());
    nblocks_ = leading_count(first_line());
  }

  // The next `count` numbers of the text, over as many lines as they take
  // (',', '(', ')', '{' and '}' count as blanks); the rest of the last
  // line is ignored.
  template <class T, class Parse>
  std::vector<T> numbers(size_t count, Parse parse) {
    std::vector<T> out;
    out.reserve(count);  // count was checked against the bytes left
    std::string_view line;
    while (out.size() < count) {
      expect_format(lines_.next(line));
      std::string cleaned(line);
      for (char& ch : cleaned)
        if (ch == ',' || ch == '(' || ch == ')' || ch == '{' || ch == '}') ch = ' ';
      for (const std::string_view token : split_blanks(cleaned)) {
        if (out.size() == count) break;
        out.push_back(parse(token));
      }
    }
    return out;
  }

  void block_sizes() {
    sizes_ = numbers<int>(static_cast<size_t>(nblocks_), [](std::string_view t) { return file_int(t); });
    // Diagonal blocks become columns: their count is bounded by the file.
    long long diagonal = 0;
    for (int size : sizes_) {
      expect_format(size != 0 && size >= -INT_MAX && size <= kMaxPsdDim);
      if (size < 0) diagonal += -static_cast<long long>(size);
    }
    expect_format(diagonal <= std::min<long long>(static_cast<long long>(text_.size()), INT_MAX));
    // Each block's first column, or its semidefinite variable.
    int columns = 0, psd = 0;
    for (int size : sizes_) {
      first_.push_back(size < 0 ? columns : psd++);
      if (size < 0) columns += -size;
    }
    columns_ = columns;
  }

  void objective_vector() {
    // c_k is the side of an equality row: finite.
    c_ = numbers<double>(static_cast<size_t>(m_), [](std::string_view t) {
      const double v = file_coef(t);
      expect_format(std::fabs(v) < VLM_INFINITY);
      return v;
    });
  }

  void entries() {
    std::string_view line;
    while (lines_.next(line)) {
      const std::vector<std::string_view> f = split_blanks(line);
      if (f.empty()) continue;
      expect_format(f.size() == 5);
      const int mat = file_int(f[0]), blk = file_int(f[1]), i = file_int(f[2]), j = file_int(f[3]);
      expect_format(mat >= 0 && mat <= m_ && blk >= 1 && blk <= nblocks_);
      const int size = sizes_[static_cast<size_t>(blk - 1)];
      const int order = size < 0 ? -size : size;
      expect_format(i >= 1 && i <= order && j >= 1 && j <= order && (size > 0 || i == j));
      entries_.push_back({mat, blk - 1, std::min(i, j) - 1, std::max(i, j) - 1, file_coef(f[4])});
    }
  }

  // Sorted by matrix, block and position; of entries at one position the
  // file's last, and no zeros.
  void last_entries_only() {
    const auto key = [](const SdpaEntry& e) { return std::make_tuple(e.mat, e.blk, e.lo, e.hi); };
    std::stable_sort(entries_.begin(), entries_.end(),
                     [&](const SdpaEntry& a, const SdpaEntry& b) { return key(a) < key(b); });
    size_t out = 0;
    for (size_t k = 0; k < entries_.size(); ++k) {
      if (k + 1 < entries_.size() && key(entries_[k + 1]) == key(entries_[k])) continue;
      if (entries_[k].value != 0.0) entries_[out++] = entries_[k];
    }
    entries_.resize(out);
  }

  void model() {
    d_.sense = VLM_MAXIMIZE;
    Columns& c = d_.cols;
    c.lb.assign(static_cast<size_t>(columns_), 0.0);
    c.ub.assign(static_cast<size_t>(columns_), VLM_INFINITY);
    c.obj.assign(static_cast<size_t>(columns_), 0.0);
    c.type.assign(static_cast<size_t>(columns_), VLM_CONTINUOUS);
    for (int size : sizes_)
      if (size > 0) d_.psd_vars.push_back({size, {}, {}});
    Rows& r = d_.rows;
    const size_t m = static_cast<size_t>(m_);
    r.lb = c_;
    r.ub = c_;
    r.name.assign(m, ShortText());
    r.lin.assign(m, SparseVector());
    r.psd.assign(m, std::vector<PsdTerm>());
    r.is_psd.assign(m, 0);
    // One run of entries for each (matrix, block).
    for (size_t k = 0; k < entries_.size();) {
      const int mat = entries_[k].mat, blk = entries_[k].blk;
      size_t end = k;
      while (end < entries_.size() && entries_[end].mat == mat && entries_[end].blk == blk) ++end;
      block_entries(mat, blk, k, end);
      k = end;
    }
  }

  // The entries [from, to) of block `blk` of F_mat into the objective or row mat - 1.
  void block_entries(int mat, int blk, size_t from, size_t to) {
    const int size = sizes_[static_cast<size_t>(blk)];
    const int first = first_[static_cast<size_t>(blk)];
    const size_t row = static_cast<size_t>(mat - 1);
    if (size < 0) {
      for (size_t k = from; k < to; ++k) {
        const int col = first + entries_[k].lo;
        if (mat == 0)
          d_.cols.obj[static_cast<size_t>(col)] = entries_[k].value;
        else
          d_.rows.lin[row].push_back({col, entries_[k].value});
      }
      return;
    }
    std::vector<int> pos;
    std::vector<double> val;
    for (size_t k = from; k < to; ++k) {
      pos.push_back(entries_[k].hi * size + entries_[k].lo);
      val.push_back(entries_[k].value);
    }
    SymMatrix coef = sym_from_handoff(size, static_cast<long long>(pos.size()), pos.data(), val.data());
    if (mat == 0) {
      d_.psd_vars[static_cast<size_t>(first)].obj = std::move(coef);
    } else {
      d_.rows.psd[row].push_back({first, std::move(coef)});
      d_.rows.is_psd[row] = 1;
    }
  }

  const std::string& text_;
  LineReader lines_;
  int m_ = 0, nblocks_ = 0, columns_ = 0;
  std::vector<int> sizes_;
  std::vector<int> first_;  // per block: its first column (diagonal) or its semidefinite variable
  std::vector<double> c_;
  std::vector<SdpaEntry> entries_;
  ModelData d_;
};

}  // namespace

ModelData read_sdpa(const std::string& text) { return SdpaReader(text).read(); }

}  // namespace velmor
