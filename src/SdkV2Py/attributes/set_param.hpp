// Setting one parameter of an environment by name, and the library defaults
// that "default" stands for.
#pragma once
#include <Python.h>

#include "runtime/ref.hpp"

namespace velmorpy {

// Sets the parameter that `name` denotes (an exact name or a shell-style
// pattern, in any case, "/" and "_" alike) to `value` in the environment of
// `holder`, an environment's or a model's Holder.
//
// A name that denotes no parameter, or several (their list printed first),
// prints "No parameters matching '<name>' found" and gives false without a
// library call. Otherwise a str value equal to "default" in any case becomes
// the library default, "Set parameter <canonical> to value <value>" is printed,
// and the value goes to the library as int(value) (a 32-bit int), float(value)
// or str(value) by the parameter's type: true.
//
// A dead holder raises VelmorError(INVALID_ARGUMENT) before anything is
// matched or printed; the handle is taken again right before each library
// call, since printing and the conversions run Python code (which is also why
// the caller holds its own reference to the holder). Throws.
bool _setParam(const Ref& holder, PyObject* name, PyObject* value);

// The library default of the parameter `name` (a canonical name) of the
// environment of `holder`, as an int, float or str by `type` (the int or float
// type object of the parameter table; anything else means str). Throws.
Ref _getDefault(const Ref& holder, PyObject* name, PyObject* type);

}  // namespace velmorpy
