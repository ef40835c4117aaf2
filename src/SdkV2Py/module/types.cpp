#include "module/types.hpp"

#include "algebra/operand.hpp"
#include "attributes/constr.hpp"
#include "attributes/genconstr.hpp"
#include "attributes/psdconstr.hpp"
#include "attributes/psdvar.hpp"
#include "attributes/sos.hpp"
#include "attributes/param_class.hpp"
#include "attributes/var.hpp"
#include "containers/tupledict.hpp"
#include "containers/tuplelist.hpp"
#include "expressions/column.hpp"
#include "model/model.hpp"
#include "module/env.hpp"
#include "module/errors.hpp"
#include "module/members.hpp"
#include "module/state.hpp"
#include "module/velmor_error.hpp"

namespace velmorpy {

namespace {

// Table order is readying order: a base comes before the classes derived from it.
const ClassSpec kClasses[] = {
    {&VelmorErrorType, prepare_velmorerror, nullptr, nullptr},
    {&OperandType, prepare_operand, nullptr, nullptr},
    {&TupleListType, prepare_tuplelist, tuplelist_init_doc, bind_tuplelist_namespace},
    {&TupleDictType, prepare_tupledict, tupledict_init_doc, bind_tupledict_namespace},
    {&VarType, prepare_var, nullptr, bind_var_namespace},
    {&PsdVarType, prepare_psdvar, nullptr, bind_psdvar_namespace},
    {&ConstrType, prepare_constr, nullptr, bind_constr_namespace},
    {&SOSType, prepare_sos, nullptr, bind_sos_namespace},
    {&GenConstrType, prepare_genconstr, nullptr, bind_genconstr_namespace},
    {&PsdConstrType, prepare_psdconstr, nullptr, bind_psdconstr_namespace},
    {&ColumnType, prepare_column, column_init_doc, bind_column_namespace},
    {&EnvType, prepare_env, env_init_doc, bind_env_namespace},
    {&ParamClassType, prepare_paramclass, nullptr, bind_paramclass_namespace},
    {&ModelType, prepare_model, model_init_doc, bind_model_namespace},
};

// __init__ of a static type is a wrapper around the tp_init slot whose text
// comes from a slot description shared by every type; give the class a copy of
// its own carrying the constructor docstring.
void document_init(PyTypeObject* type, const char* doc) {
  PyObject* init = PyDict_GetItemString(type->tp_dict, "__init__");
  if (!init || !PyObject_TypeCheck(init, &PyWrapperDescr_Type)) return;
  auto* wrapper = reinterpret_cast<PyWrapperDescrObject*>(init);
  auto* copy = new wrapperbase(*wrapper->d_base);  // owned by the class for the life of the process
  copy->doc = doc;
  wrapper->d_base = copy;
}

}  // namespace

PyObject* module_getattro(PyObject* self, PyObject* name) noexcept {
  if (!PyUnicode_Check(name)) return PyObject_GenericGetAttr(self, name);
  PyTypeObject* type = Py_TYPE(self);
  PyObject* found = _PyType_Lookup(type, name);  // borrowed
  if (!found) {
    PyErr_Format(PyExc_AttributeError, "'%.200s' object has no attribute '%U'", type->tp_name, name);
    return nullptr;
  }
  descrgetfunc get = Py_TYPE(found)->tp_descr_get;
  if (get) return get(found, self, reinterpret_cast<PyObject*>(type));
  return Py_NewRef(found);
}

void ready_types() {
  for (const ClassSpec& spec : kClasses) {
    PyTypeObject* type = spec.type;
    spec.prepare();
    if (type->tp_base && type->tp_base->tp_itemsize != 0)
      raise_format(PyExc_TypeError, "inheritance from PyVarObject types like '%.200s' not currently supported",
                   type->tp_base->tp_name);
    check(PyType_Ready(type));
    if (type->tp_dictoffset == 0 && type->tp_getattro == PyObject_GenericGetAttr)
      type->tp_getattro = slot(module_getattro);
    if (spec.init_doc) document_init(type, spec.init_doc);
    check(PyModule_AddObjectRef(state().module, short_name(type), reinterpret_cast<PyObject*>(type)));
  }
}

void bind_class_namespaces() {
  for (const ClassSpec& spec : kClasses)
    if (spec.bind_namespace) spec.bind_namespace();
}

}  // namespace velmorpy
