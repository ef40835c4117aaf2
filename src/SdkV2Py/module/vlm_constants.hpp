// The constants object VLM: the class of that name, its scalar constants and
// table members, and the rebinding of the module global to its one instance.
#pragma once
#include <Python.h>

namespace velmorpy {

// Start-up, once the attribute, parameter and callback classes are complete:
// makes the class VLM, whose members Attr, Param and Callback carry the pydoc
// rendering of their table classes, binds the module global VLM to the class
// and sets its scalar constants. Throws PyErrAlreadySet.
void make_vlm_class();
// Start-up, last step of the constants stage: rebinds the module global VLM to
// a new instance of the class.
void bind_vlm_instance();

}  // namespace velmorpy
