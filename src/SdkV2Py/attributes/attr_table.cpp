// The attribute table (kAttrRows) and the filling of its table class.
#include "attributes/attr_table.hpp"

#include <string>

#include "attributes/names.hpp"
#include "runtime/errors.hpp"
#include "runtime/state.hpp"
#include "runtime/table_classes.hpp"

namespace velmorpy {

// Descriptions are the library's own texts, kept as they are.
const AttrRow kAttrRows[] = {
    {"MinSense", "int", "If the objective function is min sense"},
    {"ModelSense", "int", "The objective function sense, 1 for min and -1 for max"},
    {"HasSolution", "int", "If the problem has solution"},
    {"HasPrimalRay", "int", "If the problem has primal ray"},
    {"HasDualRay", "int", "If the problem has dual ray"},
    {"NumVars", "int", "The total number of variables"},
    {"NumConss", "int", "The total number of constraints"},
    {"NumConstrs", "int", "Alias for NumConss. The total number of constraints"},
    {"NumSOS", "int", "The total number of Special Ordered Set (SOS) constraints in the model"},
    {"NumGenConstrs", "int", "The total number of general constraints."},
    {"NumEnts", "int", "The total number of constraint matrix non-zeros"},
    {"NumNZs", "int", "Alias for NumEnts. The total number of constraint matrix non-zeros"},
    {"SPX/NumIters", "int", "The total number of iterations after a simplex method completed"},
    {"IPM/NumIters", "int", "The total number of iterations after a interior point method completed"},
    {"IsInteger", "int", "If a variable is integral type"},
    {"IISVar", "int", "If the upper and (or) lower bound(s) of this variable belong to IIS"},
    {"IISConstr", "int",
     "If the left-hand-side value and (or) right-hand-side value of this constraint belong to IIS"},
    {"IISCol", "int", "Alias for IISVar, to test if the upper and (or) lower bound(s) of this variable belong to IIS"},
    {"IISRow", "int",
     "Alias for IISConstr, to test if the left-hand-side value and (or) right-hand-side value of this constraint "
     "belong to IIS"},
    {"ColBasis", "int", "The basis of a column"},
    {"RowBasis", "int", "The basis of a row"},
    {"GenConstrType", "int", "The type of this general constraint"},
    {"Status", "int", "The optimization status after model optimized"},
    {"Dim", "int", "The dimension of a psd variable"},
    {"NumPsdVars", "int", "The total number of psd variables"},
    {"NumPsdConstrs", "int", "The total number of psd constraints"},
    {"SolCount", "int", "Total number of suboptimal solutions found."},
    {"ObjConst", "double", "The constant component of objective function"},
    {"ObjCon", "double", "Alias for ObjConst. The constant component of objective function"},
    {"PrimalObjVal", "double", "The objective value of primal solution"},
    {"ObjVal", "double", "Alias for PrimalObjVal. The objective value of primal solution"},
    {"DualObjVal", "double", "The objective value of dual solution"},
    {"PresolverTime", "double", "Presolver execution time in seconds"},
    {"SolverTime", "double", "Solver execution time in seconds"},
    {"SolutionTime", "double", "Total execution time in seconds"},
    {"MIP/GapAbs", "double", "The absolute gap for a mip solution"},
    {"MIP/GapRel", "double", "The relative gap for a mip solution"},
    {"LB", "double", "The lower bound of a variable"},
    {"UB", "double", "The upper bound of a variable"},
    {"Obj", "double", "The objective coefficient of a variable"},
    {"LHS", "double", "The left-hand-side value of a constraint"},
    {"RHS", "double", "The right-hand-side value of a constraint"},
    {"PrimalSoln", "double", "The solution of primal problem"},
    {"X", "double", "Alias for PrimalSoln. The solution of primal problem"},
    {"Xn", "double", "The suboptimal solution specified by parameter `MIP/SolutionNumber`."},
    {"Start", "double", "The current MIP start vector"},
    {"DualSoln", "double", "The solution of dual problem"},
    {"Activity", "double", "The primal activity"},
    {"ReducedCost", "double", "The reduced cost"},
    {"RC", "double", "Alias for ReducedCost. The reduced cost"},
    {"PsdCLHS", "double", "psd contraint left-hand-side value"},
    {"PsdCRHS", "double", "psd contraint right-hand-side value"},
    {"ProbName", "string", "The problem name"},
    {"ModelName", "string", "Alias for ProbName. The problem name"},
    {"RowName", "string", "The constraint name"},
    {"ConstrName", "string", "Alias for RowName. The constraint name"},
    {"ColName", "string", "The variable name"},
    {"VarName", "string", "Alias for ColName, The variable name"},
    {"PsdVarName", "string", "The psd variable name"},
    {"PsdCName", "string", "The psd constraint name"},
    {"GenConstrName", "string", "The name of this general constraint"},
    {"VType", "char", "The variable type"},
    {"PsdX", "matrix", "The solution of psd variable in primal problem"},
    {"PsdObj", "matrix", "The objective coefficient of a psd variable"},
};
const std::size_t kNumAttrRows = sizeof kAttrRows / sizeof kAttrRows[0];

void build_attr_table() {
  index_attr_table();
  Ref cls = module_global("AttrConstClass");
  for (const AttrRow& row : kAttrRows) {
    Ref name = take(PyUnicode_FromString(row.name));
    Ref doc = take(PyUnicode_FromFormat("Type: %s\nDesc: %s", row.type_word, row.description));
    add_value_property(cls.get(), member_name(row.name).c_str(), name.get(), doc.get());
  }
  bind_table_instance(cls.get(), "attr");
}

}  // namespace velmorpy
