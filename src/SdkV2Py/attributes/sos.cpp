#include "attributes/sos.hpp"

#include "attributes/handle.hpp"
#include "module/function.hpp"
#include "module/members.hpp"

namespace velmorpy {

namespace {

const char sameAs_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            sameAs(sos)\n"
    "\n"
    "        PURPOSE:\n"
    "            Test whether two SOS objects refer to the same SOS constraint.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            sos: the other SOS object\n"
    "\n"
    "        EXAMPLE:\n"
    "            s.sameAs(m.getSOSs()[0])\n"
    "        ";

const char getAttr_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getAttr(attrname)\n"
    "\n"
    "        PURPOSE:\n"
    "            Get the value of an attribute of the SOS constraint.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            attrname: the name of the attribute\n"
    "\n"
    "        EXAMPLE:\n"
    "            value = s.getAttr(attrname)\n"
    "\n"
    "        NOTE:\n"
    "            Attributes can also be read directly as object attributes (s.attrname); the\n"
    "            attribute name is case-insensitive.\n"
    "        ";

const char setAttr_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            setAttr(attrname, attrvalue)\n"
    "\n"
    "        PURPOSE:\n"
    "            Set the value of an attribute of the SOS constraint.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            attrname: the name of the attribute\n"
    "            attrvalue: the new value\n"
    "\n"
    "        EXAMPLE:\n"
    "            s.setAttr(attrname, value)\n"
    "\n"
    "        NOTE:\n"
    "            Attributes can also be written directly as object attributes (s.attrname = value); the\n"
    "            attribute name is case-insensitive.\n"
    "        ";

const char index_doc[] = "The index position of the SOS constraint.";

const FunctionDef sos_members[] = {
    {"sameAs", "self, sos", handle_sameAs, Kind::Method, sameAs_doc, __LINE__},
    {"getAttr", "self, attrname", handle_getAttr, Kind::Method, getAttr_doc, __LINE__},
    {"setAttr", "self, attrname, attrvalue", handle_setAttr, Kind::Method, setAttr_doc, __LINE__},
    {"index", "self", handle_index, Kind::Constant, index_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

PyTypeObject SOSType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_sos() { prepare_handle_type(&SOSType, "velmorpy.SOS", nullptr); }

void bind_sos_namespace() {
  bind_public_members(&SOSType, sos_members, __FILE__);
}

}  // namespace velmorpy
