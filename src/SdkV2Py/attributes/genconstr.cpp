#include "attributes/genconstr.hpp"

#include "attributes/handle.hpp"
#include "module/function.hpp"
#include "module/members.hpp"

namespace velmorpy {

namespace {

const char sameAs_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            sameAs(genconstr)\n"
    "\n"
    "        PURPOSE:\n"
    "            Test whether two GenConstr objects refer to the same general constraint.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            genconstr: the other GenConstr object\n"
    "\n"
    "        EXAMPLE:\n"
    "            g.sameAs(m.getGenConstrs()[0])\n"
    "        ";

const char getAttr_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getAttr(attrname)\n"
    "\n"
    "        PURPOSE:\n"
    "            Get the value of an attribute of the general constraint.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            attrname: the name of the attribute\n"
    "\n"
    "        EXAMPLE:\n"
    "            value = g.getAttr('GenConstrName')\n"
    "\n"
    "        NOTE:\n"
    "            Attributes can also be read directly as object attributes (g.GenConstrName, g.genconstrname); the\n"
    "            attribute name is case-insensitive.\n"
    "        ";

const char setAttr_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            setAttr(attrname, attrvalue)\n"
    "\n"
    "        PURPOSE:\n"
    "            Set the value of an attribute of the general constraint.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            attrname: the name of the attribute\n"
    "            attrvalue: the new value\n"
    "\n"
    "        EXAMPLE:\n"
    "            g.setAttr('GenConstrName', 'g0')\n"
    "\n"
    "        NOTE:\n"
    "            Attributes can also be written directly as object attributes (g.genconstrname = 'g0'); the\n"
    "            attribute name is case-insensitive.\n"
    "        ";

const char index_doc[] = "The index position of the general constraint.";

const FunctionDef genconstr_members[] = {
    {"sameAs", "self, genconstr", handle_sameAs, Kind::Method, sameAs_doc, __LINE__},
    {"getAttr", "self, attrname", handle_getAttr, Kind::Method, getAttr_doc, __LINE__},
    {"setAttr", "self, attrname, attrvalue", handle_setAttr, Kind::Method, setAttr_doc, __LINE__},
    {"index", "self", handle_index, Kind::Constant, index_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

PyTypeObject GenConstrType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_genconstr() { prepare_handle_type(&GenConstrType, "velmorpy.GenConstr", nullptr); }

void bind_genconstr_namespace() {
  bind_public_members(&GenConstrType, genconstr_members, __FILE__);
}

}  // namespace velmorpy
