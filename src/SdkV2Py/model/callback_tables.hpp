// The callback tables: where-codes (the point of the search at which the
// library calls a user callback) and what-codes (the quantities a callback
// may ask for).
#pragma once
#include <Python.h>

#include <cstddef>

namespace velmorpy {

struct CbWhereRow {
  const char* name;
  int code;
  const char* description;
};

// Which callback accessor answers a what-code: one int or double of the model
// (called with the model and the code), or element i of an int or double array
// (called with the model, the code and i). The callback bridge reads them
// (cb_value, cb_element in model/callback_bridge.hpp) for Model.cbGet.
enum class CbAccessor : unsigned char { cbint, cbdbl, cbintat, cbdblat };

struct CbWhatRow {
  int code;                 // passed to the library unchanged
  const char* name;
  CbAccessor accessor;
  // Two letters. The first says how the quantity is asked for: 'm' one value of
  // the model, read without an index; 'v' an array over the columns, 'c' an
  // array over the rows or the nonzeros, read element by element with an index.
  // The second is 'd' in every row.
  const char* shape;
  bool exposed;             // a member of VLM.Callback
  const char* description;  // shown only for exposed rows
};

extern const CbWhereRow kCbWhereRows[];
extern const std::size_t kNumCbWhereRows;
// In code order; there is no row for 315.
extern const CbWhatRow kCbWhatRows[];
extern const std::size_t kNumCbWhatRows;

// The what-row of `code`, or nullptr when the code has none.
const CbWhatRow* find_cb_what(long long code) noexcept;

// Start-up: gives CallbackClass one read-only member per where-code and per
// exposed what-code, and binds the module global `callback` to its instance.
// Throws PyErrAlreadySet.
void build_callback_tables();

}  // namespace velmorpy
