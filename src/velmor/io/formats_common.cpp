// What the file formats share: names in files, numbers read from files, rows
// from triplets, and the solution and MIP start files.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "io/formats.hpp"
#include "core/text_util.hpp"
#include "core/validate.hpp"

namespace velmor {

std::vector<std::string> file_names(const std::vector<ShortText>& names, size_t count, const std::string& prefix,
                                    bool (*valid)(std::string_view)) {
  std::vector<std::string> out(count);
  std::unordered_set<std::string> used;
  std::vector<size_t> replace;
  for (size_t i = 0; i < count; ++i) {
    const std::string_view name = names.empty() ? std::string_view() : names[i].view();
    if (valid(name) && used.emplace(name).second)
      out[i] = name;
    else
      replace.push_back(i);
  }
  for (size_t i : replace) {
    std::string name = prefix + std::to_string(i);
    while (!used.insert(name).second) name += '_';
    out[i] = name;
  }
  return out;
}

bool plain_name(std::string_view name) {
  if (name.empty()) return false;
  for (unsigned char c : name)
    if (c <= ' ' || c == '\'' || c == '"' || c == 127) return false;
  return true;
}

double file_bound(std::string_view text) {
  double v = 0;
  expect_format(parse_double(text, v));
  if (v >= VLM_INFINITY) return VLM_INFINITY;
  if (v <= -VLM_INFINITY) return -VLM_INFINITY;
  return v;
}

double file_coef(std::string_view text) {
  double v = 0;
  expect_format(parse_double(text, v) && std::isfinite(v));
  return v;
}

int file_int(std::string_view text) {
  int v = 0;
  expect_format(parse_int(text, v));
  return v;
}

void fill_rows_from_triplets(Rows& rows, Triplets& triplets) {
  // Bucketed by row (a counting sort, in file order within each row), then
  // each row sorted by column where the file did not list it so already.
  const size_t nrows = rows.lin.size();
  std::vector<size_t> start(nrows + 1, 0);
  for (const auto& t : triplets) ++start[static_cast<size_t>(t.first.first) + 1];
  for (size_t i = 0; i < nrows; ++i) start[i + 1] += start[i];
  std::vector<Entry> ordered(triplets.size());
  {
    std::vector<size_t> next(start.begin(), start.end() - 1);
    for (const auto& t : triplets) ordered[next[static_cast<size_t>(t.first.first)]++] = {t.first.second, t.second};
  }
  Triplets().swap(triplets);  // consumed
  const auto by_index = [](const Entry& a, const Entry& b) { return a.index < b.index; };
  for (size_t i = 0; i < nrows; ++i) {
    const auto first = ordered.begin() + static_cast<std::ptrdiff_t>(start[i]);
    const auto last = ordered.begin() + static_cast<std::ptrdiff_t>(start[i + 1]);
    if (!std::is_sorted(first, last, by_index)) std::stable_sort(first, last, by_index);
    SparseVector& row = rows.lin[i];
    row.reserve(static_cast<size_t>(last - first));
    for (auto k = first; k != last;) {
      const int index = k->index;
      double sum = 0;
      for (; k != last && k->index == index; ++k) sum += k->value;
      expect_format(std::isfinite(sum));
      row.push_back({index, sum});
    }
  }
}

void finish_read_model(ModelData& d, Triplets& row_terms, Triplets& quad_terms) {
  const int ncols = d.cols.size();
  fill_rows_from_triplets(d.rows, row_terms);
  add_quad_terms(d.quad, quad_terms, [](double sum) { expect_format(std::isfinite(sum)); });
  for (Sos& s : d.sos) {
    std::vector<int> sorted = s.members;
    std::sort(sorted.begin(), sorted.end());
    expect_format(std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end());
  }
  for (Indicator& g : d.indicators) {
    expect_format(g.binvar >= 0 && g.binvar < ncols && d.cols.type[static_cast<size_t>(g.binvar)] == VLM_BINARY);
    SparseVector& lin = g.lin;
    std::stable_sort(lin.begin(), lin.end(), [](const Entry& a, const Entry& b) { return a.index < b.index; });
    size_t out = 0;
    for (size_t k = 0; k < lin.size();) {
      const int index = lin[k].index;
      double sum = 0;
      for (; k < lin.size() && lin[k].index == index; ++k) sum += lin[k].value;
      expect_format(std::isfinite(sum));
      lin[out++] = {index, sum};
    }
    lin.resize(out);
  }
}

std::string write_sol(const VLMmodel& m) {
  const Solution& s = m.solution;
  if (!s.has_primal) refuse(VLM_ERROR_NO_SOLN);
  const ModelData& d = m.data;
  if (s.x.size() != static_cast<size_t>(d.cols.size())) refuse(VLM_ERROR_DATA_NOT_AVAILABLE);
  const std::vector<std::string> names = file_names(d.cols.name, d.cols.lb.size(), "C", plain_name);
  std::string out = "# Solution for model " + d.name + "\n";
  out += "# Objective value = " + format_double(s.primal_obj) + "\n";
  for (size_t j = 0; j < names.size(); ++j) out += names[j] + " " + format_double(s.x[j]) + "\n";
  return out;
}

std::string write_mst(const ModelData& d) {
  const std::vector<std::string> names = file_names(d.cols.name, d.cols.lb.size(), "C", plain_name);
  std::string out = "# MIP start\n";
  for (size_t j = 0; j < names.size(); ++j)
    if (d.cols.start_at(j) != VLM_UNDEFINED) out += names[j] + " " + format_double(d.cols.start_at(j)) + "\n";
  return out;
}

void read_mst(const std::string& text, ModelData& d) {
  const std::vector<std::string> names = file_names(d.cols.name, d.cols.lb.size(), "C", plain_name);
  std::unordered_map<std::string, size_t> index;
  for (size_t j = 0; j < names.size(); ++j) index.emplace(names[j], j);
  std::vector<double> start(names.size(), VLM_UNDEFINED);
  LineReader lines(text);
  std::string_view line;
  while (lines.next(line)) {
    const auto tokens = split_blanks(strip_comment(line));
    if (tokens.empty()) continue;
    expect_format(tokens.size() == 2);
    const auto it = index.find(std::string(tokens[0]));
    expect_format(it != index.end());
    start[it->second] = file_coef(tokens[1]);
  }
  d.cols.start.swap(start);
}

}  // namespace velmor
