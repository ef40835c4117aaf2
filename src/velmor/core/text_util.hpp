// Small text helpers shared by the file formats and the parameter files.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace velmor {

// Shortest decimal text that reads back as exactly `value` ("0.1", "3",
// "1e+20"); NaN and infinities are not written by the library.
std::string format_double(double value);

// Whole-token number parsing: the full text must be a number. parse_double
// accepts "inf"/"infinity" with a sign (any case) and refuses NaN.
bool parse_double(std::string_view text, double& value);
bool parse_int(std::string_view text, int& value);

// ASCII lower case.
std::string lower(std::string_view text);
// The key under which names are matched: lower case, "/" as "_".
std::string name_key(std::string_view name);

// The lines of a text, one at a time, without their line break ("\n" or
// "\r\n"); the last line needs none.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}
  bool next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return true;
  }
  // Bytes after the line last read: no count that the rest of the text
  // lists item by item can exceed it.
  size_t remaining() const { return pos_ < text_.size() ? text_.size() - pos_ : 0; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

// The line up to its first "#" (comments of parameter and start files).
std::string_view strip_comment(std::string_view line);

// A fixed list of names, looked up as name_key matches them (case-insensitive,
// "/" and "_" alike) by a binary search over the keys, without allocation.
class NameTable {
 public:
  explicit NameTable(const std::vector<const char*>& names);
  // The position of `name` in the list, or -1 (also for null).
  int find(const char* name) const;

 private:
  std::vector<std::pair<std::string, int>> keys_;  // sorted
};

// Splits on blanks and tabs.
std::vector<std::string_view> split_blanks(std::string_view line);
std::string_view trim(std::string_view text);

}  // namespace velmor
