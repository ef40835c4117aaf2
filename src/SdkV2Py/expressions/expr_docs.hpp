// Docstrings shared by the methods that LinExpr, QuadExpr and PsdExpr have in
// common, and the layouts of those whose words each class gives.
#pragma once

#include "runtime/members.hpp"

// A method reading one part of the term at a position (getCoeff, getVar, ...).
#define TERM_PART_DOC(method, purpose, example) \
  METHOD_DOC(method "(index)", purpose, "index: the position of the term, from 0", example)
// add(expr, mult): `kinds` names the expressions it takes.
#define ADD_EXPR_DOC(purpose, kinds, example) \
  METHOD_DOC("add(expr, mult=1.0)", purpose, "expr: " kinds "\n            mult: the multiplier of expr", example)
// remove(item): `item` says what an item is; the example removes position 0,
// then the variable `var` from the expression `expr`.
#define REMOVE_TERMS_DOC(purpose, item, expr, var) \
  METHOD_DOC("remove(item)", purpose, "item: " item, expr ".remove(0)\n            " expr ".remove(" var ")")
// size(), of the expression `expr`.
#define SIZE_DOC(purpose, expr) METHOD_DOC("size()", purpose, "None", "n = " expr ".size()")

namespace velmorpy {

extern const char expr_getValue_doc[];
extern const char expr_addConstant_doc[];
extern const char expr_getConstant_doc[];
extern const char expr_clear_doc[];
extern const char expr_getLinExpr_doc[];

}  // namespace velmorpy
