// LP files: the reader.
//
// Reads everything write_lp writes and the common spellings of hand-written
// files:
//   - "\" starts a comment that runs to the end of the line; a first line
//     "\ Problem name: text" names the model;
//   - a section starts with its word at the start of a line, in any case (see
//     lp_section_word); the rest of that line belongs to the section. The
//     objective section comes first and once; the others follow in any order;
//     "End" ends the file and is required;
//   - within a section, line ends are blanks: terms and rows may be split over
//     lines;
//   - numbers are decimal (3, -2.5, 3e-2, .5); "inf" and "infinity" (any
//     case, with a sign) stand for an infinite bound or right-hand side;
//   - a term is [sign] [coefficient] name, the coefficient 1 when omitted; a
//     term after the first needs its sign; a number not followed by a name is
//     a constant;
//   - objective: [name:] terms and constants, with quadratic terms as
//     "+ [ 2 x ^ 2 + 3 x * y ] / 2" (value * x * y with half the written
//     coefficient);
//   - rows: [name:] expr sense rhs, rhs sense expr, or lo sense expr sense
//     hi with both senses "<=" or both ">=" (a ranged row); senses are <=, =<,
//     <, >=, =>, > and =; constants in the expression move to the right-hand
//     side; a row without a name is named R<i> (made unique), i its index;
//   - indicator constraints: [name:] b = 0|1 -> expr sense rhs, b binary; one
//     without a name is named G<k>;
//   - Bounds: "x free", "x sense v", "v sense x", "lo <= x <= hi", "x = v";
//     a binary's bounds not given there are 0 and 1;
//   - Generals, Binaries and Semi-continuous: lists of names (a column both
//     general and semi-continuous is semi-integer);
//   - SOS: [name:] S1:: x:weight y:weight ... (or S2::);
//   - a comment line "\ Range column: r" marks r as the range column of a
//     row "expr - r = 0" (how the writer states ranges and free rows): when
//     r is continuous, outside the objective, SOS and indicators, and stands
//     in that one row alone, with coefficient -1, the row takes r's bounds
//     and r is dropped; "\ Constant column: k" marks k, a continuous column
//     fixed at 1 in the objective alone, whose coefficient is the objective's
//     constant; a marked column that is not such stays an ordinary column.
// Columns are numbered in order of first appearance. Anything else refuses
// the file with VLM_ERROR_FORMAT_ERROR.
#include <climits>
#include <cstdint>
#include <cmath>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "io/formats.hpp"
#include "io/lp_syntax.hpp"
#include "core/text_util.hpp"

namespace velmor {

namespace {

enum class Tok : unsigned char {
  Number, Name, Plus, Minus, Sense, Colon, DoubleColon, Arrow, LBracket, RBracket, Caret, Star, Slash
};

// Kept small: a file's token list has about three tokens per term.
struct Token {
  Tok kind;
  char sense;          // Sense: VLM_LESS_EQUAL, VLM_GREATER_EQUAL or VLM_EQUAL
  uint32_t length;     // Number and Name: the characters in the file
  const char* start;
  std::string_view text() const { return {start, length}; }
};

// The tokens of one section, [begin, end) of the token list.
struct Block {
  LpSection section;
  size_t begin, end;
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

// Appends the tokens of `line` (a comment already cut off).
void tokenize(std::string_view line, std::vector<Token>& out) {
  size_t i = 0;
  const size_t n = line.size();
  auto at = [&](size_t k) { return k < n ? line[k] : '\0'; };
  while (i < n) {
    const char c = line[i];
    if (is_blank(c)) {
      ++i;
      continue;
    }
    const size_t start = i;
    Token t{Tok::Name, 0, 0, nullptr};
    if (is_digit(c) || (c == '.' && is_digit(at(i + 1)))) {
      while (is_digit(at(i))) ++i;
      if (at(i) == '.') ++i;
      while (is_digit(at(i))) ++i;
      // An exponent needs digits: "2e" is 2 followed by the name "e".
      if ((at(i) == 'e' || at(i) == 'E') &&
          (is_digit(at(i + 1)) || ((at(i + 1) == '+' || at(i + 1) == '-') && is_digit(at(i + 2))))) {
        i += 2;
        while (is_digit(at(i))) ++i;
      }
      t.kind = Tok::Number;
    } else if (c == '<' || c == '>' || c == '=') {
      t.kind = Tok::Sense;
      const char next = at(i + 1);
      if (c == '=' && (next == '<' || next == '>')) {
        t.sense = next;
        i += 2;
      } else {
        t.sense = c;
        i += c != '=' && next == '=' ? 2 : 1;
      }
    } else if (c == '-' && at(i + 1) == '>') {
      t.kind = Tok::Arrow;
      i += 2;
    } else if (c == ':' && at(i + 1) == ':') {
      t.kind = Tok::DoubleColon;
      i += 2;
    } else if (c == '+' || c == '-' || c == ':' || c == '[' || c == ']' || c == '^' || c == '*' || c == '/') {
      t.kind = c == '+'   ? Tok::Plus
               : c == '-' ? Tok::Minus
               : c == ':' ? Tok::Colon
               : c == '[' ? Tok::LBracket
               : c == ']' ? Tok::RBracket
               : c == '^' ? Tok::Caret
               : c == '*' ? Tok::Star
                          : Tok::Slash;
      ++i;
    } else {
      expect_format(c != '.' && lp_name_char(static_cast<unsigned char>(c)));
      while (i < n && lp_name_char(static_cast<unsigned char>(line[i]))) ++i;
      t.kind = Tok::Name;
    }
    if (t.kind == Tok::Number || t.kind == Tok::Name) {
      expect_format(i - start <= UINT32_MAX);
      t.start = line.data() + start;
      t.length = static_cast<uint32_t>(i - start);
    }
    out.push_back(t);
  }
}

bool is_infinity_word(std::string_view word) { return lp_word_is(word, "inf") || lp_word_is(word, "infinity"); }

// A bound or right-hand side: NaN refused, magnitude >= VLM_INFINITY infinite.
double bound_value(double v) {
  expect_format(!std::isnan(v));
  if (v >= VLM_INFINITY) return VLM_INFINITY;
  if (v <= -VLM_INFINITY) return -VLM_INFINITY;
  return v;
}

char reversed(char sense) {
  return sense == VLM_LESS_EQUAL ? VLM_GREATER_EQUAL : sense == VLM_GREATER_EQUAL ? VLM_LESS_EQUAL : sense;
}

// lb and ub of "expr sense rhs".
void sense_bounds(char sense, double rhs, double& lb, double& ub) {
  rhs = bound_value(rhs);
  lb = sense == VLM_LESS_EQUAL ? -VLM_INFINITY : rhs;
  ub = sense == VLM_GREATER_EQUAL ? VLM_INFINITY : rhs;
}

// A linear expression as read: terms in file order and the sum of its constants.
struct Expr {
  SparseVector terms;
  double constant = 0.0;
  bool empty = true;  // neither a term nor a constant
};

class LpReader {
 public:
  explicit LpReader(const std::string& text) : text_(text) {}

  ModelData read() {
    split_sections();
    expect_format(!blocks_.empty() &&
                  (blocks_[0].section == LpSection::Minimize || blocks_[0].section == LpSection::Maximize));
    for (const Block& b : blocks_) {
      pos_ = b.begin;
      end_ = b.end;
      switch (b.section) {
        case LpSection::Minimize:
        case LpSection::Maximize:
          expect_format(&b == &blocks_[0]);
          d_.sense = b.section == LpSection::Maximize ? VLM_MAXIMIZE : VLM_MINIMIZE;
          read_objective();
          break;
        case LpSection::Constraints: read_constraints(); break;
        case LpSection::Bounds: read_bounds(); break;
        case LpSection::Generals: read_list(general_); break;
        case LpSection::Binaries: read_list(binary_); break;
        case LpSection::SemiContinuous: read_list(semi_); break;
        case LpSection::Sos: read_sos(); break;
        default: expect_format(false);
      }
    }
    take_marked_columns();
    finish_columns();
    name_items(d_.rows.name, row_named_, "R");
    std::vector<ShortText> gnames;
    for (const Indicator& g : d_.indicators) gnames.push_back(g.name);
    name_items(gnames, indicator_named_, "G");
    for (size_t k = 0; k < gnames.size(); ++k) d_.indicators[k].name = std::move(gnames[k]);
    finish_read_model(d_, row_terms_, quad_terms_);
    return std::move(d_);
  }

 private:
  // ---- lines and sections ----

  void split_sections() {
    size_t pos = 0;
    bool first_line = true;
    bool ended = false;
    while (pos < text_.size() && !ended) {
      size_t eol = text_.find('\n', pos);
      if (eol == std::string::npos) eol = text_.size();
      std::string_view line(text_.data() + pos, eol - pos);
      pos = eol + 1;
      if (first_line && line.substr(0, kLpNameComment.size()) == kLpNameComment) {
        std::string_view name = line.substr(kLpNameComment.size());
        if (!name.empty() && name.back() == '\r') name.remove_suffix(1);
        d_.name = std::string(name);
      }
      first_line = false;
      const size_t comment = line.find('\\');
      if (comment != std::string_view::npos) {
        const std::string_view text = line.substr(comment);
        for (const auto& [prefix, kind] :
             {std::pair(kLpRangeComment, kRangeMark), std::pair(kLpConstantComment, kConstantMark)})
          if (text.substr(0, prefix.size()) == prefix) {
            size_t from = prefix.size();
            marked_.emplace_back(word_at(text, from), kind);
          }
        line = line.substr(0, comment);
      }
      size_t rest = 0;
      const std::string_view head = word_at(line, rest);
      if (head.empty()) continue;
      const LpSection section = lp_section_word(head);
      const bool subject = lp_word_is(head, "subject"), such = lp_word_is(head, "such");
      if (subject || such) expect_format(lp_word_is(word_at(line, rest), subject ? "to" : "that"));
      if (section == LpSection::End) {
        ended = true;
      } else if (section != LpSection::None) {
        close_block();
        blocks_.push_back({section, tokens_.size(), tokens_.size()});
        tokenize(line.substr(rest), tokens_);
      } else {
        expect_format(!blocks_.empty());
        tokenize(line, tokens_);
      }
    }
    expect_format(ended);
    close_block();
  }

  // The blank-separated word at or after `from`; `from` moves past it.
  static std::string_view word_at(std::string_view line, size_t& from) {
    while (from < line.size() && is_blank(line[from])) ++from;
    const size_t start = from;
    while (from < line.size() && !is_blank(line[from])) ++from;
    return line.substr(start, from - start);
  }

  void close_block() {
    if (!blocks_.empty()) blocks_.back().end = tokens_.size();
  }

  // ---- tokens ----

  bool at(Tok kind, size_t ahead = 0) const { return pos_ + ahead < end_ && tokens_[pos_ + ahead].kind == kind; }
  const Token& take() {
    expect_format(pos_ < end_);
    return tokens_[pos_++];
  }
  void expect(Tok kind) { expect_format(take().kind == kind); }
  // A name followed by ":" (a row, objective or set label).
  bool at_label() const { return at(Tok::Name) && at(Tok::Colon, 1); }
  bool at_infinity() const { return at(Tok::Name) && is_infinity_word(tokens_[pos_].text()); }

  static double coefficient(const Token& t) {
    expect_format(t.kind == Tok::Number);
    return file_coef(t.text());
  }

  // [sign] number or [sign] inf / infinity.
  double signed_value() {
    double sign = 1.0;
    if (at(Tok::Plus) || at(Tok::Minus)) sign = take().kind == Tok::Minus ? -1.0 : 1.0;
    if (at_infinity()) {
      ++pos_;
      return sign * HUGE_VAL;
    }
    const Token& t = take();
    expect_format(t.kind == Tok::Number);
    double v = 0;
    expect_format(parse_double(t.text(), v));
    return sign * v;
  }

  char sense() {
    const Token& t = take();
    expect_format(t.kind == Tok::Sense);
    return t.sense;
  }

  // ---- columns ----

  int column(std::string_view name) {
    const auto it = col_index_.find(name);
    if (it != col_index_.end()) return it->second;
    expect_format(!lp_reserved_word(name));
    Columns& c = d_.cols;
    expect_format(c.size() < INT_MAX);
    const int j = c.size();
    col_index_.emplace(name, j);
    c.name.emplace_back(name);
    c.lb.push_back(0.0);
    c.ub.push_back(VLM_INFINITY);
    c.obj.push_back(0.0);
    c.type.push_back(VLM_CONTINUOUS);
    c.start.push_back(VLM_UNDEFINED);
    for (auto* flags : {&lb_given_, &ub_given_, &general_, &binary_, &semi_}) flags->push_back(0);
    return j;
  }

  int column(const Token& t) {
    expect_format(t.kind == Tok::Name);
    return column(t.text());
  }

  // ---- expressions ----

  // Terms and constants up to the first token that cannot continue the
  // expression. In the objective, "[ ... ] / 2" adds quadratic terms.
  Expr expression(bool objective) {
    Expr e;
    while (pos_ < end_) {
      double sign = 1.0;
      if (at(Tok::Plus) || at(Tok::Minus)) {
        sign = take().kind == Tok::Minus ? -1.0 : 1.0;
      } else if (!e.empty || !(at(Tok::Number) || (at(Tok::Name) && !at_label()) || at(Tok::LBracket))) {
        break;  // a further term needs its sign
      }
      if (objective && at(Tok::LBracket)) {
        ++pos_;
        quadratic_terms(sign);
      } else if (at(Tok::Number)) {
        const double v = coefficient(take());
        // "2 c1:" is the constant 2 before the label of the next row.
        if (at(Tok::Name) && !at_label() && !at_infinity())
          e.terms.push_back({column(take()), sign * v});
        else
          e.constant += sign * v;
      } else if (!objective && at_infinity()) {
        ++pos_;
        e.constant += sign * HUGE_VAL;
      } else {
        e.terms.push_back({column(take()), sign});
      }
      e.empty = false;
    }
    return e;
  }

  // The terms of "[ ... ] / 2" after the "[", each with half its coefficient.
  void quadratic_terms(double sign) {
    bool first = true;
    while (!at(Tok::RBracket)) {
      double s = sign;
      if (at(Tok::Plus) || at(Tok::Minus))
        s = take().kind == Tok::Minus ? -sign : sign;
      else
        expect_format(first);
      first = false;
      double v = 1.0;
      if (at(Tok::Number)) v = coefficient(take());
      const int i = column(take());
      int j = i;
      if (at(Tok::Caret)) {
        ++pos_;
        const Token& power = take();
        expect_format(power.kind == Tok::Number && power.text() == "2");
      } else {
        expect(Tok::Star);
        j = column(take());
      }
      quad_terms_.push_back({{i, j}, s * v / 2});
    }
    ++pos_;
    expect(Tok::Slash);
    const Token& two = take();
    expect_format(two.kind == Tok::Number && two.text() == "2");
  }

  // ---- sections ----

  void read_objective() {
    if (at_label()) pos_ += 2;
    const Expr e = expression(true);
    expect_format(pos_ == end_);
    for (const Entry& t : e.terms) d_.cols.obj[static_cast<size_t>(t.index)] += t.value;
    d_.obj_const = e.constant;
  }

  void read_constraints() {
    while (pos_ < end_) {
      std::string name;
      bool named = false;
      if (at_label()) {
        name = std::string(take().text());
        expect_format(!lp_reserved_word(name));
        named = true;
        ++pos_;
      }
      if (at(Tok::Name) && at(Tok::Sense, 1) && tokens_[pos_ + 1].sense == VLM_EQUAL && at(Tok::Number, 2) &&
          at(Tok::Arrow, 3))
        read_indicator(std::move(name), named);
      else
        read_row(std::move(name), named);
    }
  }

  void read_row(std::string name, bool named) {
    Rows& r = d_.rows;
    expect_format(r.size() < INT_MAX);
    const int row = r.size();
    const Expr left = expression(false);
    expect_format(!left.empty);
    const char s1 = sense();
    const Expr* terms = &left;
    double lb, ub;
    Expr right;
    if (!left.terms.empty()) {
      // expr sense rhs
      sense_bounds(s1, signed_value() - left.constant, lb, ub);
    } else {
      right = expression(false);
      expect_format(!right.empty);
      if (at(Tok::Sense)) {
        // lo sense expr sense hi
        const char s2 = sense();
        expect_format(s1 == s2 && s1 != VLM_EQUAL);
        const double outer = signed_value();
        const double lo = s1 == VLM_LESS_EQUAL ? left.constant : outer;
        const double hi = s1 == VLM_LESS_EQUAL ? outer : left.constant;
        lb = bound_value(lo - right.constant);
        ub = bound_value(hi - right.constant);
        terms = &right;
      } else if (!right.terms.empty()) {
        // rhs sense expr
        sense_bounds(reversed(s1), left.constant - right.constant, lb, ub);
        terms = &right;
      } else {
        // No coefficients on either side: the left side is the row ("0 <= 4").
        sense_bounds(s1, right.constant - left.constant, lb, ub);
      }
    }
    for (const Entry& t : terms->terms) row_terms_.push_back({{row, t.index}, t.value});
    r.name.push_back(std::move(name));
    r.lb.push_back(lb);
    r.ub.push_back(ub);
    r.lin.emplace_back();
    r.psd.emplace_back();
    r.is_psd.push_back(0);
    row_named_.push_back(named);
  }

  void read_indicator(std::string name, bool named) {
    expect_format(d_.indicators.size() < static_cast<size_t>(INT_MAX));
    Indicator g;
    g.name = std::move(name);
    g.binvar = column(take());
    ++pos_;  // "="
    const double value = coefficient(take());
    expect_format(value == 0.0 || value == 1.0);
    g.binval = value == 1.0 ? 1 : 0;
    expect(Tok::Arrow);
    Expr e = expression(false);
    expect_format(!e.empty);
    g.sense = sense();
    g.rhs = bound_value(signed_value() - e.constant);
    g.lin = std::move(e.terms);
    d_.indicators.push_back(std::move(g));
    indicator_named_.push_back(named);
  }

  void set_bound(int j, char s, double v) {
    const size_t k = static_cast<size_t>(j);
    v = bound_value(v);
    if (s != VLM_LESS_EQUAL) d_.cols.lb[k] = v, lb_given_[k] = 1;
    if (s != VLM_GREATER_EQUAL) d_.cols.ub[k] = v, ub_given_[k] = 1;
  }

  void read_bounds() {
    while (pos_ < end_) {
      if (at(Tok::Name) && !at_infinity()) {
        // x free | x sense v
        const int j = column(take());
        if (at(Tok::Name) && lp_word_is(tokens_[pos_].text(), "free")) {
          ++pos_;
          set_bound(j, VLM_GREATER_EQUAL, -VLM_INFINITY);
          set_bound(j, VLM_LESS_EQUAL, VLM_INFINITY);
        } else {
          const char s = sense();
          set_bound(j, s, signed_value());
        }
        continue;
      }
      // v sense x [sense w]
      const double v = signed_value();
      const char s1 = sense();
      const int j = column(take());
      set_bound(j, reversed(s1), v);
      if (at(Tok::Sense)) {
        const char s2 = sense();
        expect_format(s1 == s2 && s1 != VLM_EQUAL);
        set_bound(j, s2, signed_value());
      }
    }
  }

  void read_list(std::vector<char>& flags) {
    while (pos_ < end_) flags[static_cast<size_t>(column(take()))] = 1;
  }

  void read_sos() {
    while (pos_ < end_) {
      if (at_label()) pos_ += 2;
      const Token& type = take();
      const bool s1 = type.kind == Tok::Name && lp_word_is(type.text(), "s1");
      expect_format(s1 || (type.kind == Tok::Name && lp_word_is(type.text(), "s2")));
      expect(Tok::DoubleColon);
      Sos s{s1 ? VLM_SOS_TYPE1 : VLM_SOS_TYPE2, {}, {}};
      // Members "x:weight" until the next set ("name: S1::" or "S1::").
      while (at(Tok::Name) && at(Tok::Colon, 1) && !at(Tok::Name, 2)) {
        s.members.push_back(column(take()));
        ++pos_;
        const double w = signed_value();
        expect_format(std::isfinite(w));
        s.weights.push_back(w);
      }
      d_.sos.push_back(std::move(s));
    }
  }

  // ---- completion ----

  // Turns the marked columns that qualify back into what they stand for (a
  // range column into its row's bounds, the constant column into the
  // objective's constant) and drops them, renumbering the columns after them.
  void take_marked_columns() {
    if (marked_.empty()) return;
    Columns& c = d_.cols;
    const size_t n = static_cast<size_t>(c.size());
    // Per column: its mark (0 none, else Range or Constant) and the number of
    // its row entries (the last one's index in row_terms_ in `entry`).
    std::vector<char> mark(n, 0);
    std::vector<int> count(n, 0);
    std::vector<size_t> entry(n, 0);
    for (const auto& [name, kind] : marked_) {
      const auto it = col_index_.find(name);
      if (it == col_index_.end()) continue;
      const size_t j = static_cast<size_t>(it->second);
      if (!general_[j] && !binary_[j] && !semi_[j]) mark[j] = kind;
    }
    const auto exclude = [&](int j) { mark[static_cast<size_t>(j)] = 0; };
    for (const auto& q : quad_terms_) exclude(q.first.first), exclude(q.first.second);
    for (const Sos& s : d_.sos)
      for (int j : s.members) exclude(j);
    for (const Indicator& g : d_.indicators) {
      exclude(g.binvar);
      for (const Entry& e : g.lin) exclude(e.index);
    }
    for (size_t k = 0; k < row_terms_.size(); ++k) {
      const size_t j = static_cast<size_t>(row_terms_[k].first.second);
      if (mark[j]) ++count[j], entry[j] = k;
    }
    std::vector<int> new_index(n);
    std::vector<char> drop_entry(row_terms_.size(), 0), row_taken(static_cast<size_t>(d_.rows.size()), 0);
    int next = 0;
    for (size_t j = 0; j < n; ++j) {
      bool drop = false;
      if (mark[j] == kRangeMark && count[j] == 1 && c.obj[j] == 0.0) {
        // Alone, with coefficient -1, in an equality "... - r = 0".
        const auto& t = row_terms_[entry[j]];
        const size_t i = static_cast<size_t>(t.first.first);
        drop = t.second == -1.0 && d_.rows.lb[i] == 0.0 && d_.rows.ub[i] == 0.0 && !row_taken[i];
        if (drop) {
          d_.rows.lb[i] = c.lb[j], d_.rows.ub[i] = c.ub[j];
          row_taken[i] = 1;
          drop_entry[entry[j]] = 1;
        }
      } else if (mark[j] == kConstantMark && count[j] == 0 && c.lb[j] == 1.0 && c.ub[j] == 1.0) {
        drop = true;
        d_.obj_const += c.obj[j];
      }
      new_index[j] = drop ? -1 : next++;
    }
    if (next == c.size()) return;
    size_t out = 0;
    for (size_t k = 0; k < row_terms_.size(); ++k) {
      if (drop_entry[k]) continue;
      auto t = row_terms_[k];
      t.first.second = new_index[static_cast<size_t>(t.first.second)];
      row_terms_[out++] = t;
    }
    row_terms_.resize(out);
    for (auto& q : quad_terms_)
      q.first = {new_index[static_cast<size_t>(q.first.first)], new_index[static_cast<size_t>(q.first.second)]};
    for (Sos& s : d_.sos)
      for (int& j : s.members) j = new_index[static_cast<size_t>(j)];
    for (Indicator& g : d_.indicators) {
      g.binvar = new_index[static_cast<size_t>(g.binvar)];
      for (Entry& e : g.lin) e.index = new_index[static_cast<size_t>(e.index)];
    }
    const auto keep = [&](auto& v) {
      size_t k = 0;
      for (size_t j = 0; j < n; ++j)
        if (new_index[j] >= 0) {
          if (k != j) v[k] = std::move(v[j]);
          ++k;
        }
      v.resize(k);
    };
    keep(c.name), keep(c.lb), keep(c.ub), keep(c.obj), keep(c.type), keep(c.start);
    for (auto* flags : {&lb_given_, &ub_given_, &general_, &binary_, &semi_}) keep(*flags);
    col_index_.clear();  // holds the old numbers; nothing looks columns up after this
  }

  void finish_columns() {
    Columns& c = d_.cols;
    for (size_t j = 0; j < static_cast<size_t>(c.size()); ++j) {
      if (binary_[j]) {
        expect_format(!general_[j] && !semi_[j]);
        c.type[j] = VLM_BINARY;
        if (!lb_given_[j]) c.lb[j] = 0.0;
        if (!ub_given_[j]) c.ub[j] = 1.0;
      } else if (semi_[j]) {
        c.type[j] = general_[j] ? VLM_SEMIINT : VLM_SEMICONT;
      } else if (general_[j]) {
        c.type[j] = VLM_INTEGER;
      }
    }
  }

  // Refuses a name given twice; names the unnamed items prefix<index>, with
  // "_" appended until the name is unused.
  static void name_items(std::vector<ShortText>& names, const std::vector<char>& named, const char* prefix) {
    std::unordered_set<std::string> used;
    for (size_t i = 0; i < names.size(); ++i)
      if (named[i]) expect_format(used.insert(names[i].str()).second);
    for (size_t i = 0; i < names.size(); ++i) {
      if (named[i]) continue;
      std::string name = prefix + std::to_string(i);
      while (!used.insert(name).second) name += '_';
      names[i] = std::move(name);
    }
  }

  const std::string& text_;
  std::vector<Token> tokens_;
  std::vector<Block> blocks_;
  size_t pos_ = 0, end_ = 0;  // the tokens of the section being read

  ModelData d_;
  std::unordered_map<std::string_view, int> col_index_;  // names point into text_
  // Per column: bounds given in the Bounds section, declared general, binary
  // or semi-continuous.
  std::vector<char> lb_given_, ub_given_, general_, binary_, semi_;
  std::vector<char> row_named_, indicator_named_;
  // Columns marked by kLpRangeComment or kLpConstantComment.
  static constexpr char kRangeMark = 1, kConstantMark = 2;
  std::vector<std::pair<std::string_view, char>> marked_;
  Triplets row_terms_, quad_terms_;
};

}  // namespace

ModelData read_lp(const std::string& text) { return LpReader(text).read(); }

}  // namespace velmor
