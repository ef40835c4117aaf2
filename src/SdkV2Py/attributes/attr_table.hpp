// The attribute table: the solver attributes a program reads and writes by name.
#pragma once
#include <Python.h>

#include <cstddef>

namespace velmorpy {

struct AttrRow {
  const char* name;         // as the library knows it, group slash included: "SPX/NumIters"
  const char* type_word;    // "int", "double", "string", "char" or "matrix"; documentation only
  const char* description;
};

// In table order. An alias ("NumConstrs") is a row of its own whose name goes
// to the library unchanged.
extern const AttrRow kAttrRows[];
extern const std::size_t kNumAttrRows;

// Start-up: indexes the table for the attribute layer's look-up, gives
// AttrConstClass one read-only member per row and binds the module global
// `attr` to its instance. Throws PyErrAlreadySet.
void build_attr_table();

}  // namespace velmorpy
