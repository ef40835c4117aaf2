// The library's result codes and a model's optimisation statuses, by name.
#pragma once
#include <Python.h>

#include <cstddef>

namespace velmorpy {

struct CodeRow {
  const char* name;  // upper-case words joined by underscores
  int code;
};

// In table order. Result codes: 0 is success, every failure code is negative.
extern const CodeRow kErrorRows[];
extern const std::size_t kNumErrorRows;
extern const CodeRow kStatusRows[];
extern const std::size_t kNumStatusRows;

// Start-up, once the class VLM exists: sets each error code as a plain int
// class attribute of ErrorConstClass and of VLM, then VLM.Error and VLM.error
// to one ErrorConstClass instance. Throws PyErrAlreadySet.
void install_error_codes();
// The same for the statuses, StatusConstClass, VLM.Status and VLM.status.
void install_status_codes();

}  // namespace velmorpy
