// Small text helpers: numbers written and read exactly, case-blind name look-up, line splitting.
#include "core/text_util.hpp"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <string>

namespace velmor {

std::string format_double(double value) {
  char buf[40];
  for (int digits = 15; digits <= 17; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*g", digits, value);
    if (std::strtod(buf, nullptr) == value) break;
  }
  return buf;
}

bool parse_double(std::string_view text, double& value) {
  if (text.empty() || text.size() > 400) return false;
  size_t at = 0;
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') negative = text[at++] == '-';
  const std::string rest = lower(text.substr(at, std::min<size_t>(text.size() - at, 9)));
  if (text.size() - at <= 8 && (rest == "inf" || rest == "infinity")) {
    value = negative ? -HUGE_VAL : HUGE_VAL;
    return true;
  }
  // strtod also reads "nan" and hexadecimal forms; only decimal numbers pass.
  for (size_t k = at; k < text.size(); ++k) {
    const char q = text[k];
    if (!((q >= '0' && q <= '9') || q == '.' || q == 'e' || q == 'E' || q == '+' || q == '-')) return false;
  }
  char buf[402];
  text.copy(buf, text.size());
  buf[text.size()] = '\0';
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(buf, &end);
  if (end != buf + text.size() || end == buf) return false;
  value = v;  // an overflow reads as +-HUGE_VAL, which callers treat as infinite
  return true;
}

bool parse_int(std::string_view text, int& value) {
  if (text.empty() || text.size() > 40) return false;
  std::string s(text);
  for (size_t i = 0; i < s.size(); ++i)
    if (!((s[i] >= '0' && s[i] <= '9') || (i == 0 && (s[i] == '+' || s[i] == '-')))) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(s.c_str(), &end, 10);
  if (errno || end != s.c_str() + s.size() || v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string name_key(std::string_view name) {
  std::string out = lower(name);
  for (char& c : out)
    if (c == '/') c = '_';
  return out;
}

namespace {

// A character as name_key writes it.
char key_char(char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  return c == '/' ? '_' : c;
}

// <0, 0, >0 as the key `key` sorts before, equals or sorts after the name `name`.
int compare_key(const std::string& key, const char* name) {
  size_t k = 0;
  for (; k < key.size() && name[k]; ++k) {
    const unsigned char a = static_cast<unsigned char>(key[k]), b = static_cast<unsigned char>(key_char(name[k]));
    if (a != b) return a < b ? -1 : 1;
  }
  if (k < key.size()) return 1;
  return name[k] ? -1 : 0;
}

}  // namespace

NameTable::NameTable(const std::vector<const char*>& names) {
  for (size_t i = 0; i < names.size(); ++i) keys_.emplace_back(name_key(names[i]), static_cast<int>(i));
  std::sort(keys_.begin(), keys_.end());
}

int NameTable::find(const char* name) const {
  if (!name) return -1;
  size_t lo = 0, hi = keys_.size();
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    const int c = compare_key(keys_[mid].first, name);
    if (c == 0) return keys_[mid].second;
    if (c < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return -1;
}

std::string_view strip_comment(std::string_view line) {
  const size_t hash = line.find('#');
  return hash == std::string_view::npos ? line : line.substr(0, hash);
}

std::vector<std::string_view> split_blanks(std::string_view line) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
    if (j > i) out.push_back(line.substr(i, j - i));
    i = j;
  }
  return out;
}

std::string_view trim(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t' || text[b] == '\r' || text[b] == '\n')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t' || text[e - 1] == '\r' || text[e - 1] == '\n')) --e;
  return text.substr(b, e - b);
}

}  // namespace velmor
