// The one argument parser of the module, and the typed conversions every
// method uses on the values it hands over.
#pragma once
#include <Python.h>

#include <cstdint>
#include <vector>

#include "runtime/ref.hpp"

namespace velmorpy {

constexpr int kMaxArgs = 24;

// What a callable accepts, derived once from its Python parameter text.
struct ArgSpec {
  Ref names;      // interned str: positional-or-keyword names, then keyword-only names
  int npos = 0;   // positional-or-keyword parameters (a method's self not included)
  int nkwonly = 0;
  bool varargs = false;  // *args: its tuple follows the named slots
  bool varkw = false;    // **kwargs: its dict follows (and *args' tuple, if any)
  std::vector<PyTypeObject*> types;  // per named slot: declared type, or nullptr
  bool counts_zero = false;          // no "takes no arguments" wording (FunctionDef::counts_zero)
  int nslots() const { return npos + nkwonly + (varargs ? 1 : 0) + (varkw ? 1 : 0); }
  bool takes_nothing() const { return npos == 0 && nkwonly == 0 && !varargs && !varkw && !counts_zero; }
};

// The arguments of one call, one slot per parameter in declaration order, each
// filled (defaults applied). Slots are borrowed from the call, except the *args
// tuple and **kwargs dict, which this object owns, and the defaults, which it
// holds: a function's __defaults__ and __kwdefaults__ can be replaced by code
// that the body runs (a __float__, a print), and that must not free a default
// the body still reads.
class Args {
 public:
  PyObject* operator[](int i) const noexcept { return v_[i]; }

 private:
  friend int unpack(const ArgSpec&, PyObject*, PyObject*, PyObject*, PyObject* const*, Py_ssize_t,
                    PyObject*, Args&) noexcept;
  PyObject* v_[kMaxArgs];  // unpack() sets every slot the callable declares
  Ref star_, starstar_;
  Ref defaults_;                     // the defaults tuple, once a slot is filled from it
  std::vector<Ref> kwdefault_pins_;  // each keyword-only default used (its dict is mutable)
};

// Fills `out` from a vectorcall. `fname` names the callable in messages;
// `defaults` (tuple or null) supplies the trailing positional parameters,
// `kwdefaults` (dict or null) the keyword-only ones. Returns 0, or -1 with
// TypeError set.
int unpack(const ArgSpec& spec, PyObject* fname, PyObject* defaults, PyObject* kwdefaults,
           PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, Args& out) noexcept;

// Conversions for bodies run by guarded(); each throws PyErrAlreadySet.
//
// The two integer conversions, for T = int32_t or int64_t; a value beyond T
// fails with OverflowError ("value too large to convert to int" for 32 bits,
// "Python int too large to convert to C long" for 64), an object that the
// conversion does not take with TypeError "an integer is required".
//
// truncating_int: the interpreter's integer conversion of a number, as int()
// makes it without parsing text: an int (bool included) as it is, any other
// object through its __int__ (so 3.9, -3.0, numpy.float64(-3) and
// Fraction(-7, 2) give 3, -3, -3 and -3), or through __index__ when it has no
// __int__. A str, bytes or None has neither and is refused.
template <class T = int32_t>
T truncating_int(PyObject* obj);
// integer_only: an integer and nothing else: an int (bool included) or an
// object with __index__ (NumPy's integer scalars). A float, a NumPy float or
// a Decimal is refused rather than truncated.
template <class T = int32_t>
T integer_only(PyObject* obj);

double as_double(PyObject* obj);
bool as_bool(PyObject* obj);
// TypeError "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)"
// unless obj is of `type` (exactly so for str, dict and list), or None when
// `allow_none` (for arguments where None has no meaning, pass false). The
// expected type is named `expected`, or by its full name when that is null.
void check_arg_type(PyObject* obj, PyTypeObject* type, const char* argname, bool allow_none = true,
                    const char* expected = nullptr);
// TypeError "Cannot convert %.200s to %.200s" (obj's type name, the target's name).
[[noreturn]] void raise_cannot_convert(PyObject* obj, const char* target);
// obj, cast to T, when it is an instance of `type`; otherwise raise_cannot_convert.
template <class T>
T* as_instance(PyObject* obj, PyTypeObject* type) {
  if (!PyObject_TypeCheck(obj, type)) raise_cannot_convert(obj, type->tp_name);
  return reinterpret_cast<T*>(obj);
}

}  // namespace velmorpy
