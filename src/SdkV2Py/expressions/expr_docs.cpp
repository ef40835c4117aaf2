// The docstrings of the methods LinExpr, QuadExpr and PsdExpr share.
#include "expressions/expr_docs.hpp"

namespace velmorpy {

const char expr_getValue_doc[] = METHOD_DOC("getValue()", "Return the value of the expression in the current solution.",
                                            "None",
                                            "m.optimize()\n"
                                            "            print(expr.getValue())");

const char expr_addConstant_doc[] = METHOD_DOC("addConstant(c)", "Add a number to the constant of the expression.",
                                               "c: the number to add", "expr.addConstant(1.0)");

const char expr_getConstant_doc[] = METHOD_DOC("getConstant()", "Return the constant of the expression.", "None",
                                               "c = expr.getConstant()");

const char expr_clear_doc[] = METHOD_DOC("clear()", "Remove every term and set the constant to 0.", "None",
                                         "expr.clear()");

const char expr_getLinExpr_doc[] = METHOD_DOC("getLinExpr()",
                                              "Return the linear part of the expression (not a copy: changing it\n"
                                              "            changes the expression).", "None",
                                              "lin = expr.getLinExpr()");

}  // namespace velmorpy
