#include "attributes/constr.hpp"

#include "attributes/handle.hpp"
#include "module/function.hpp"
#include "module/members.hpp"

namespace velmorpy {

namespace {

const char sameAs_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            sameAs(constr)\n"
    "\n"
    "        PURPOSE:\n"
    "            Test whether two Constr objects refer to the same linear constraint.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            constr: the other Constr object\n"
    "\n"
    "        EXAMPLE:\n"
    "            c.sameAs(m.getConstrs()[0])\n"
    "        ";

const char getAttr_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getAttr(attrname)\n"
    "\n"
    "        PURPOSE:\n"
    "            Get the value of an attribute of the linear constraint.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            attrname: the name of the attribute\n"
    "\n"
    "        EXAMPLE:\n"
    "            value = c.getAttr('RHS')\n"
    "\n"
    "        NOTE:\n"
    "            Attributes can also be read directly as object attributes (c.RHS, c.rhs); the\n"
    "            attribute name is case-insensitive.\n"
    "        ";

const char setAttr_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            setAttr(attrname, attrvalue)\n"
    "\n"
    "        PURPOSE:\n"
    "            Set the value of an attribute of the linear constraint.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            attrname: the name of the attribute\n"
    "            attrvalue: the new value\n"
    "\n"
    "        EXAMPLE:\n"
    "            c.setAttr('RHS', 1.0)\n"
    "\n"
    "        NOTE:\n"
    "            Attributes can also be written directly as object attributes (c.rhs = 1.0); the\n"
    "            attribute name is case-insensitive.\n"
    "        ";

const char index_doc[] = "The index of the constraint.";

const FunctionDef constr_members[] = {
    {"sameAs", "self, constr", handle_sameAs, Kind::Method, sameAs_doc, __LINE__},
    {"getAttr", "self, attrname", handle_getAttr, Kind::Method, getAttr_doc, __LINE__},
    {"setAttr", "self, attrname, attrvalue", handle_setAttr, Kind::Method, setAttr_doc, __LINE__},
    {"index", "self", handle_index, Kind::Constant, index_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

PyTypeObject ConstrType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_constr() { prepare_handle_type(&ConstrType, "velmorpy.Constr", nullptr); }

void bind_constr_namespace() {
  bind_public_members(&ConstrType, constr_members, __FILE__);
}

}  // namespace velmorpy
