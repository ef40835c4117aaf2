// The model's item handles where they meet the library outside the adders:
// handle arguments read as indices, indices the library hands out mapped back
// to the model's own handles, the copies of the handle lists that leave the
// model, and the two-call reading of one sparse line (a row, a column, the
// members of an SOS, the row of an indicator constraint).
#pragma once
#include <Python.h>

#include <velmor.h>

#include <cstdint>
#include <vector>

#include "runtime/errors.hpp"
#include "runtime/holder.hpp"
#include "runtime/ref.hpp"

namespace velmorpy {

// The index of the argument `item` (named `argname` in messages) of a method
// of the model behind `holder`. A handle is read from its field and must be
// of this model: ValueError "Argument `{argname}` is an item of another
// model" otherwise (a removed handle's negative index is returned as it is,
// for the library to refuse). Any other object is asked for its `index`
// attribute (None: the interpreter's AttributeError), converted to a 32-bit
// int; that may run Python code. Throws.
int32_t model_item_index(const Ref& holder, PyObject* item, const char* argname);

// The handle at `position` of the model's handle list `list`, for an index the
// library handed out: VelmorError(code), the library's invalid-index code of
// the kind, when the position is outside the list (or the model never had
// lists), so nothing outside the list is read. Throws.
Ref model_handle_at(const Ref& list, int64_t position, int code);

// A new list with the handles of the model's list `list`: the getters hand
// out copies, so a program that changes what it got cannot desynchronise the
// model. VelmorError(INVALID_ARGUMENT) for a model never initialised. Throws.
Ref model_list_copy(const Ref& list);

// One line of the matrix (or an SOS, or an indicator's row) as the library
// hands it out: indices and values, in the library's order.
struct SparseLine {
  std::vector<int> ind;
  std::vector<double> val;
};
// The line's indices as the model's own handles (model_handle_at with `code`
// for each), and its values as floats: two new lists. Throws.
Ref model_handles_at(const Ref& list, const SparseLine& line, int code);
Ref float_list(const SparseLine& line);
// A new LinExpr of the line's terms over the model's variable list `vars`,
// in the line's order; a zero coefficient adds no term. Throws.
Ref model_linexpr_of(const Ref& vars, const SparseLine& line);

// RuntimeError for a count the library should never report. Throws.
[[noreturn]] void raise_library_count(int count);

// The two-call protocol for one line: `call(mdl, &nnz, ind, val)` makes the
// library call with null arrays (the size call), then with arrays of that
// many entries (the fill call); the handle is fetched before each call. The
// arrays free themselves on every exit; a failed allocation is MemoryError.
// Throws (VelmorError for a non-zero code).
template <class Call>
SparseLine read_sparse_line(const Ref& holder, Call&& call) {
  int nnz = 0;
  check_rc(call(live_model(holder), &nnz, static_cast<int*>(nullptr), static_cast<double*>(nullptr)));
  if (nnz < 0) raise_library_count(nnz);
  SparseLine line;
  line.ind.resize(static_cast<size_t>(nnz));
  line.val.resize(static_cast<size_t>(nnz));
  int filled = nnz;
  check_rc(call(live_model(holder), &filled, nnz ? line.ind.data() : nullptr, nnz ? line.val.data() : nullptr));
  if (filled < 0 || filled > nnz) raise_library_count(filled);
  line.ind.resize(static_cast<size_t>(filled));
  line.val.resize(static_cast<size_t>(filled));
  return line;
}

}  // namespace velmorpy
