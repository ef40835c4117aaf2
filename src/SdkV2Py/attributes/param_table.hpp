// The parameter table: the solver parameters the module offers by name.
#pragma once
#include <Python.h>

#include <cstddef>

namespace velmorpy {

// The type of a parameter's value; it decides between the library's integer and
// double parameter calls.
enum class ParamType : unsigned char { Int, Float };

struct ParamRow {
  const char* name;  // canonical, group slash included: "SPX/MaxIterations"
  ParamType type;
  const char* description;
};

// In table order: the integer parameters, then the double ones.
extern const ParamRow kParamRows[];
extern const std::size_t kNumParamRows;

// The Python type object of a parameter type (borrowed): int or float.
PyObject* param_type_object(ParamType type) noexcept;

// Start-up: indexes the table for the parameter look-ups, gives ParamConstClass
// one read-only member per row and binds the module global `param` to its
// instance. Throws PyErrAlreadySet.
void build_param_table();

}  // namespace velmorpy
