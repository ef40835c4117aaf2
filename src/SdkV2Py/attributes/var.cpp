#include "attributes/var.hpp"

#include "algebra/operand.hpp"
#include "attributes/handle.hpp"
#include "module/function.hpp"
#include "module/members.hpp"

namespace velmorpy {

namespace {

const char sameAs_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            sameAs(var)\n"
    "\n"
    "        PURPOSE:\n"
    "            Test whether two Var objects refer to the same variable.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            var: the other Var object\n"
    "\n"
    "        EXAMPLE:\n"
    "            x.sameAs(m.getVars()[0])\n"
    "        ";

const char getAttr_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getAttr(attrname)\n"
    "\n"
    "        PURPOSE:\n"
    "            Get the value of an attribute of the variable.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            attrname: the name of the attribute\n"
    "\n"
    "        EXAMPLE:\n"
    "            value = x.getAttr('UB')\n"
    "\n"
    "        NOTE:\n"
    "            Attributes can also be read directly as object attributes (x.UB, x.ub); the\n"
    "            attribute name is case-insensitive.\n"
    "        ";

const char setAttr_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            setAttr(attrname, attrvalue)\n"
    "\n"
    "        PURPOSE:\n"
    "            Set the value of an attribute of the variable.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            attrname: the name of the attribute\n"
    "            attrvalue: the new value\n"
    "\n"
    "        EXAMPLE:\n"
    "            x.setAttr('UB', 5.0)\n"
    "\n"
    "        NOTE:\n"
    "            Attributes can also be written directly as object attributes (x.ub = 5.0); the\n"
    "            attribute name is case-insensitive.\n"
    "        ";

const char index_doc[] = "The index position of the variable.";

const FunctionDef var_members[] = {
    {"sameAs", "self, var", handle_sameAs, Kind::Method, sameAs_doc, __LINE__},
    {"getAttr", "self, attrname", handle_getAttr, Kind::Method, getAttr_doc, __LINE__},
    {"setAttr", "self, attrname, attrvalue", handle_setAttr, Kind::Method, setAttr_doc, __LINE__},
    {"index", "self", handle_index, Kind::Constant, index_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

PyTypeObject VarType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_var() { prepare_handle_type(&VarType, "velmorpy.Var", &OperandType); }

void bind_var_namespace() {
  bind_public_members(&VarType, var_members, __FILE__);
}

}  // namespace velmorpy
