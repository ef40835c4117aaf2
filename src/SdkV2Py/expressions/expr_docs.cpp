#include "expressions/expr_docs.hpp"

namespace velmorpy {

const char expr_getValue_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getValue()\n"
    "\n"
    "        PURPOSE:\n"
    "            Return the value of the expression in the current solution.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            m.optimize()\n"
    "            print(expr.getValue())\n"
    "        ";

const char expr_addConstant_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            addConstant(c)\n"
    "\n"
    "        PURPOSE:\n"
    "            Add a number to the constant of the expression.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            c: the number to add\n"
    "\n"
    "        EXAMPLE:\n"
    "            expr.addConstant(1.0)\n"
    "        ";

const char expr_getConstant_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getConstant()\n"
    "\n"
    "        PURPOSE:\n"
    "            Return the constant of the expression.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            c = expr.getConstant()\n"
    "        ";

const char expr_clear_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            clear()\n"
    "\n"
    "        PURPOSE:\n"
    "            Remove every term and set the constant to 0.\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            expr.clear()\n"
    "        ";

const char expr_getLinExpr_doc[] =
    "\n"
    "        SIGNATURE:\n"
    "            getLinExpr()\n"
    "\n"
    "        PURPOSE:\n"
    "            Return the linear part of the expression (not a copy: changing it\n"
    "            changes the expression).\n"
    "\n"
    "        ARGUMENTS:\n"
    "            None\n"
    "\n"
    "        EXAMPLE:\n"
    "            lin = expr.getLinExpr()\n"
    "        ";

}  // namespace velmorpy
