// Docstrings shared by the methods that LinExpr, QuadExpr and PsdExpr have in common.
#pragma once

namespace velmorpy {

extern const char expr_getValue_doc[];
extern const char expr_addConstant_doc[];
extern const char expr_getConstant_doc[];
extern const char expr_clear_doc[];
extern const char expr_getLinExpr_doc[];

}  // namespace velmorpy
