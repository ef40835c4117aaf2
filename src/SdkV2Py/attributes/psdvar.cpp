#include "attributes/psdvar.hpp"

#include "attributes/handle.hpp"
#include "module/function.hpp"
#include "module/members.hpp"

namespace velmorpy {

namespace {

// Makes NumPy leave an operation with a PsdVar operand to the PsdVar.
PyObject* psdvar_array_priority(PyObject*, const Args&) { return PyFloat_FromDouble(1000.0); }

const char sameAs_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            sameAs(var)\n"
    "\n"
    "        PURPOSE:\n"
    "            Test whether two PsdVar objects refer to the same psd variable.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            var: the other PsdVar object\n"
    "\n"
    "        EXAMPLE:\n"
    "            X.sameAs(m.getPsdVars()[0])\n"
    "        ";

const char getAttr_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getAttr(attrname)\n"
    "\n"
    "        PURPOSE:\n"
    "            Get the value of an attribute of the psd variable.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            attrname: the name of the attribute\n"
    "\n"
    "        EXAMPLE:\n"
    "            value = X.getAttr('Dim')\n"
    "\n"
    "        NOTE:\n"
    "            Attributes can also be read directly as object attributes (X.Dim, X.dim); the\n"
    "            attribute name is case-insensitive.\n"
    "        ";

const char setAttr_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            setAttr(attrname, attrvalue)\n"
    "\n"
    "        PURPOSE:\n"
    "            Set the value of an attribute of the psd variable.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            attrname: the name of the attribute\n"
    "            attrvalue: the new value\n"
    "\n"
    "        EXAMPLE:\n"
    "            X.setAttr('PsdObj', numpy.eye(3))\n"
    "\n"
    "        NOTE:\n"
    "            Attributes can also be written directly as object attributes (X.psdobj = numpy.eye(3)); the\n"
    "            attribute name is case-insensitive.\n"
    "        ";

const char index_doc[] = "The index position of the psd variable.";

const FunctionDef psdvar_members[] = {
    {"sameAs", "self, var", handle_sameAs, Kind::Method, sameAs_doc, __LINE__},
    {"getAttr", "self, attrname", handle_getAttr, Kind::Method, getAttr_doc, __LINE__},
    {"setAttr", "self, attrname, attrvalue", handle_setAttr, Kind::Method, setAttr_doc, __LINE__},
    {"__array_priority__", "self", psdvar_array_priority, Kind::Constant, nullptr, __LINE__},
    {"index", "self", handle_index, Kind::Constant, index_doc, __LINE__},
    {nullptr, nullptr, nullptr, Kind::Function, nullptr, 0},
};

}  // namespace

PyTypeObject PsdVarType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void prepare_psdvar() { prepare_handle_type(&PsdVarType, "velmorpy.PsdVar", nullptr); }

void bind_psdvar_namespace() {
  bind_public_members(&PsdVarType, psdvar_members, __FILE__);
}

}  // namespace velmorpy
