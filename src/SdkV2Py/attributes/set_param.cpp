// _setParam and _getDefault: one parameter of an environment set by name, and its default.
#include "attributes/set_param.hpp"

#include <velmor.h>

#include <cstdint>

#include "attributes/names.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/holder.hpp"
#include "runtime/print.hpp"
#include "runtime/strings.hpp"
#include "runtime/text.hpp"

namespace velmorpy {

namespace {

constexpr char kNoMatchText[] = "No parameters matching '{}' found";
constexpr char kSetText[] = "Set parameter {} to value {}";

bool is_int_type(PyObject* type) { return type == reinterpret_cast<PyObject*>(&PyLong_Type); }
bool is_float_type(PyObject* type) { return type == reinterpret_cast<PyObject*>(&PyFloat_Type); }

// Prints format.format(*args): the fixed texts are filled as str.format fills them.
template <class... A>
void print_format(const char* format, A... args) {
  Ref text = take(PyUnicode_FromString(format));
  Ref line = take(PyObject_CallMethodObjArgs(text.get(), VLM_STR("format"), args..., nullptr));
  print_text(line.get());
}

bool means_default(PyObject* value) {
  if (!PyUnicode_Check(value)) return false;
  Ref lowered = take(PyObject_CallMethodNoArgs(value, VLM_STR("lower")));
  return PyUnicode_Check(lowered.get()) && PyUnicode_CompareWithASCIIString(lowered.get(), "default") == 0;
}

}  // namespace

bool _setParam(const Ref& holder, PyObject* name, PyObject* value) {
  live_env(holder);
  Ref match = _matchParam(name);
  if (!match) {
    print_format(kNoMatchText, name);
    return false;
  }
  PyObject* canonical = PyTuple_GET_ITEM(match.get(), 0);
  PyObject* type = PyTuple_GET_ITEM(match.get(), 1);
  Ref v = Ref::borrow(value);
  if (means_default(value)) v = _getDefault(holder, canonical, type);
  // Announced before the conversion: a value that then fails is still shown.
  print_format(kSetText, canonical, v.get());
  CText param(canonical);
  int rc;
  if (is_int_type(type)) {
    Ref number = take(PyNumber_Long(v.get()));  // int(): floats truncate, numeric texts parse
    const int32_t iv = integer_only(number.get());
    rc = VLMsetintparam(live_env(holder), param.get(), iv);
  } else if (is_float_type(type)) {
    Ref number = take(PyNumber_Float(v.get()));
    const double dv = as_double(number.get());
    rc = VLMsetdblparam(live_env(holder), param.get(), dv);
  } else {
    Ref text = take(PyObject_Str(v.get()));
    CText ctext(text.get());
    rc = VLMsetstrparam(live_env(holder), param.get(), ctext.get());
  }
  check_rc(rc);
  return true;
}

Ref _getDefault(const Ref& holder, PyObject* name, PyObject* type) {
  CText param(name);
  if (is_int_type(type)) {
    int scratch = 0, defval = 0;  // the library allows its out-pointers to alias
    check_rc(VLMgetintparaminfo(live_env(holder), param.get(), &scratch, &scratch, &scratch, &defval));
    return take(PyLong_FromLong(defval));
  }
  if (is_float_type(type)) {
    double scratch = 0.0, defval = 0.0;
    check_rc(VLMgetdblparaminfo(live_env(holder), param.get(), &scratch, &scratch, &scratch, &defval));
    return take(PyFloat_FromDouble(defval));
  }
  char current[VLM_MAX_STRLEN] = {}, defval[VLM_MAX_STRLEN] = {};
  check_rc(VLMgetstrparaminfo(live_env(holder), param.get(), current, defval));
  defval[VLM_MAX_STRLEN - 1] = '\0';  // never read past the buffer, whatever the library wrote
  return chars2str(defval);
}

}  // namespace velmorpy
