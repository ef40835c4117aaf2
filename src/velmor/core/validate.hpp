// Input checks shared by the entry points. Each refuses through
// velmor::refuse with the code the C interface documents, before anything
// changes.
#pragma once
#include <climits>
#include <initializer_list>
#include <utility>
#include <cmath>

#include "core/api_guard.hpp"
#include "velmor.h"

namespace velmor {

// A bound: NaN refused, magnitude >= VLM_INFINITY becomes +-VLM_INFINITY.
inline double checked_bound(double v) {
  if (std::isnan(v)) refuse(VLM_ERROR_INVALID_ARGUMENT);
  if (v >= VLM_INFINITY) return VLM_INFINITY;
  if (v <= -VLM_INFINITY) return -VLM_INFINITY;
  return v;
}

// A coefficient: NaN and infinities refused.
inline double checked_coef(double v) {
  if (!std::isfinite(v)) refuse(VLM_ERROR_INVALID_ARGUMENT);
  return v;
}

// A variable type letter, upper or lower case; the upper-case letter.
inline char checked_type(char c) {
  switch (c) {
    case 'C': case 'c': return VLM_CONTINUOUS;
    case 'B': case 'b': return VLM_BINARY;
    case 'I': case 'i': return VLM_INTEGER;
    case 'S': case 's': return VLM_SEMICONT;
    case 'N': case 'n': return VLM_SEMIINT;
    default: refuse(VLM_ERROR_MODEL_INPUT_ERROR);
  }
}

inline char checked_sense(char c) {
  if (c != VLM_LESS_EQUAL && c != VLM_GREATER_EQUAL && c != VLM_EQUAL) refuse(VLM_ERROR_MODEL_INPUT_ERROR);
  return c;
}

inline void check_count(long long n) {
  if (n < 0) refuse(VLM_ERROR_INVALID_ARGUMENT);
}

// An array of n elements that the call reads or writes.
inline void check_array(const void* p, long long n) {
  if (n > 0 && !p) refuse(VLM_ERROR_INVALID_ARGUMENT);
}

inline void check_index(long long i, long long size, int code) {
  if (i < 0 || i >= size) refuse(code);
}

// Adding `extra` items to `size` must keep every count within an int.
inline void check_growth(long long size, long long extra) {
  if (size + extra > INT_MAX) refuse(VLM_ERROR_INVALID_ARGUMENT);
}

// Starts of `count` items over `nnz` entries, without a closing entry: beg[0]
// is 0, the starts do not decrease and none exceeds nnz. beg may be null only
// when there are no entries (every item empty).
inline void check_starts(int count, long long nnz, const int* beg) {
  check_count(count);
  check_count(nnz);
  if (count == 0) {
    if (nnz != 0) refuse(VLM_ERROR_INVALID_ARGUMENT);
    return;
  }
  if (!beg) {
    if (nnz != 0) refuse(VLM_ERROR_INVALID_ARGUMENT);
    return;
  }
  if (beg[0] != 0) refuse(VLM_ERROR_INVALID_ARGUMENT);
  for (int i = 1; i < count; ++i)
    if (beg[i] < beg[i - 1]) refuse(VLM_ERROR_INVALID_ARGUMENT);
  if (beg[count - 1] > nnz) refuse(VLM_ERROR_INVALID_ARGUMENT);
}

// Span [first, end) of item i of a start array checked by check_starts.
inline long long item_begin(const int* beg, int i) { return beg ? beg[i] : 0; }
inline long long item_end(const int* beg, int count, long long nnz, int i) {
  return !beg ? 0 : (i + 1 < count ? beg[i + 1] : nnz);
}

// The two-call protocol of the queries: with every array null the call only
// reports sizes; otherwise it fills them, and then each array must be given
// unless it receives no element. Returns true for the fill call.
inline bool fill_call(std::initializer_list<std::pair<const void*, long long>> arrays) {
  bool any = false;
  for (const auto& a : arrays)
    if (a.first) any = true;
  if (any)
    for (const auto& a : arrays) check_array(a.first, a.second);
  return any;
}

}  // namespace velmor
