// The class table (kClasses): readying order, constructor parsers and namespace phases.
#include "module/classes.hpp"

#include <cstring>

#include "algebra/operand.hpp"
#include "attributes/constr.hpp"
#include "attributes/env.hpp"
#include "attributes/genconstr.hpp"
#include "attributes/handle.hpp"
#include "attributes/param_class.hpp"
#include "attributes/psdconstr.hpp"
#include "attributes/psdvar.hpp"
#include "attributes/sos.hpp"
#include "attributes/var.hpp"
#include "containers/tupledict.hpp"
#include "containers/tuplelist.hpp"
#include "expressions/column.hpp"
#include "expressions/linexpr.hpp"
#include "expressions/list.hpp"
#include "expressions/psdexpr.hpp"
#include "expressions/quadexpr.hpp"
#include "expressions/tempconstr.hpp"
#include "matrix/mconstr.hpp"
#include "matrix/mlinexpr.hpp"
#include "matrix/mquadexpr.hpp"
#include "matrix/mvar.hpp"
#include "model/model.hpp"
#include "runtime/errors.hpp"
#include "runtime/members.hpp"
#include "runtime/model_registry.hpp"
#include "runtime/state.hpp"
#include "runtime/types.hpp"
#include "runtime/velmor_error.hpp"
#include "serialisation/pickling.hpp"

namespace velmorpy {

namespace {

// Table order is readying order: a base comes before the classes derived from it.
// A class's constructor parser is made right after the class is bound in the
// module, so its annotations may name the classes bound before it (Model's
// `env: Env`).
const ClassSpec kClasses[] = {
    {&VelmorErrorType, prepare_velmorerror, nullptr, velmorerror_init_params, nullptr},
    {&OperandType, prepare_operand, nullptr, nullptr, bind_operand_namespace},
    {&TupleListType, prepare_tuplelist, tuplelist_init_doc, tuplelist_init_params, bind_tuplelist_namespace},
    {&TupleDictType, prepare_tupledict, tupledict_init_doc, nullptr, bind_tupledict_namespace},
    {&VarType, prepare_handle<AttrKind::Var>, nullptr, nullptr, bind_handle<AttrKind::Var>},
    {&MVarType, prepare_mvar, nullptr, nullptr, bind_mvar_namespace},
    {&PsdVarType, prepare_handle<AttrKind::PsdVar>, nullptr, nullptr, bind_handle<AttrKind::PsdVar>},
    {&ConstrType, prepare_handle<AttrKind::Constr>, nullptr, nullptr, bind_handle<AttrKind::Constr>},
    {&MConstrType, prepare_mconstr, nullptr, nullptr, bind_mconstr_namespace},
    {&SOSType, prepare_handle<AttrKind::SOS>, nullptr, nullptr, bind_handle<AttrKind::SOS>},
    {&GenConstrType, prepare_handle<AttrKind::GenConstr>, nullptr, nullptr, bind_handle<AttrKind::GenConstr>},
    {&PsdConstrType, prepare_handle<AttrKind::PsdConstr>, nullptr, nullptr, bind_handle<AttrKind::PsdConstr>},
    {&ListType, prepare_list, nullptr, "data=[]", bind_list_namespace},
    {&LinExprType, prepare_linexpr, linexpr_init_doc, "arg1=0, arg2=None", bind_linexpr_namespace},
    {&QuadExprType, prepare_quadexpr, quadexpr_init_doc, "expr=None", bind_quadexpr_namespace},
    {&MLinExprType, prepare_mlinexpr, nullptr, nullptr, bind_mlinexpr_namespace},
    {&MQuadExprType, prepare_mquadexpr, nullptr, nullptr, bind_mquadexpr_namespace},
    {&PsdExprType, prepare_psdexpr, psdexpr_init_doc, "arg1=0, arg2=None", bind_psdexpr_namespace},
    {&TempConstrType, prepare_tempconstr, nullptr, nullptr, bind_tempconstr_namespace},
    {&ColumnType, prepare_column, column_init_doc, column_init_params, bind_column_namespace},
    {&EnvType, prepare_env, env_init_doc, env_init_params, bind_env_namespace},
    {&ParamClassType, prepare_paramclass, nullptr, nullptr, bind_paramclass_namespace},
    {&ModelType, prepare_model, model_init_doc, model_init_params, bind_model_namespace},
};

}  // namespace

void ready_types() {
  for (const ClassSpec& spec : kClasses) {
    PyTypeObject* type = spec.type;
    spec.prepare();
    if (type->tp_base && type->tp_base->tp_itemsize != 0)
      raise_format(PyExc_TypeError, "inheritance from PyVarObject types like '%.200s' not currently supported",
                   type->tp_base->tp_name);
    // Classes without an attribute hook of their own keep the interpreter's
    // generic look-up, which its method-call fast path requires. Its message
    // for a missing attribute shows up to 50 characters of the class's name:
    // every name here is shorter.
    if (std::strlen(type->tp_name) > 50)
      raise_format(PyExc_SystemError, "velmorpy: class name %s longer than its messages show", type->tp_name);
    check(PyType_Ready(type));
    if (spec.init_doc) document_init(type, spec.init_doc);
    check(PyModule_AddObjectRef(state().module, short_name(type), reinterpret_cast<PyObject*>(type)));
    install_pickling(type);
    if (spec.init_params) make_init_parser(type, spec.init_params);
  }
  register_model_class(&ModelType, holder_of);
}

void bind_class_namespaces() {
  for (const ClassSpec& spec : kClasses)
    if (spec.bind_namespace) spec.bind_namespace();
}

}  // namespace velmorpy
