// The NumPy C API table of the module, filled once at start-up.
#define VELMORPY_NUMPY_IMPORT
#include "runtime/numpy.hpp"

namespace velmorpy {

int import_numpy() noexcept { return _import_array(); }

}  // namespace velmorpy
