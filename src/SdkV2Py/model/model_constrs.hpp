// Linear constraints: Model.addConstr, addLConstr and addRange, and the two
// internal operations that hand rows to the library, _addConstr (one row) and
// _addConstrs (a batch, one library call). Every row added appends one Constr
// to the model's constrs_ and one PsdConstr to its psdconstrs_: linear and
// semidefinite rows share one numbering.
#pragma once
#include <Python.h>

#include <vector>

#include "model/model_rows.hpp"
#include "runtime/members.hpp"
#include "runtime/ref.hpp"

namespace velmorpy {

// _addConstr: one row lb <= expr <= ub named `name` (a str; None raises
// TypeError "expected bytes, NoneType found"). `expr` is a LinExpr; its
// constant moves into the bounds (model_dec_bound); a missing side is
// infinite, both missing raise TypeError. Returns the new Constr. Throws;
// nothing is added on failure.
Ref model_addConstr(PyObject* model, PyObject* expr, PyObject* lb, PyObject* ub, PyObject* name);

// _addConstrs: one row per LinExpr of `exprs` (any iterable), all with the
// bounds lb and ub (None: that side is infinite for every row), each shifted
// by its own row's constant, with one library call. `names` is an iterable
// of one str per row (ValueError when it has fewer), or nullptr for rows
// without names. Returns the list of the new Constr handles in row order.
// Throws; nothing is added on failure.
Ref model_addConstrs(PyObject* model, PyObject* exprs, PyObject* lb, PyObject* ub, PyObject* names);

// addConstr(constr, name) of a TempConstr, as the method does it: by the
// kind of its expression a linear row, a matrix-shaped batch, a semidefinite
// row or an indicator constraint. Throws.
Ref model_addTempConstr(PyObject* model, PyObject* constr, PyObject* name);

// One bound of every row of a batch, each shifted by its row's constant
// (model_dec_bound); an empty vector (that side infinite) for None. Throws.
std::vector<double> model_batch_bounds(PyObject* bound, const std::vector<double>& constants);

// VelmorError "Invalid sense `{}`" with the sense as given. Throws.
[[noreturn]] void raise_invalid_sense(PyObject* sense);

// The batch under _addConstrs, for callers that flattened the rows
// themselves: `rows` (with starts), one lower and one upper bound per row
// (an empty vector: that side infinite for every row), `names` one text per
// row or null for rows without names, with one library call. An empty batch
// makes no library call. Returns the list of the new Constr handles in row
// order. Throws; nothing is added on failure.
Ref model_addRowBatch(PyObject* model, const Ref& holder, const RowsView& rows, const std::vector<double>& lbs,
                      const std::vector<double>& ubs, const char* const* names);

// The kinds addConstr and addRange hand over to the matrix interface and to
// the semidefinite rows:
// - model_addMatrixConstr (matrix/model_matrix.cpp): an MLinExpr (an MVar
//   arrives as MVar + 0) with the TempConstr's sides, one batch of rows named
//   from `name` and each cell's index; returns an MConstr of the
//   expression's shape.
// - model_addPsdConstr (_addPsdConstr): one semidefinite row, lb <= expr <=
//   ub for a PsdExpr, a missing side infinite (both missing: TypeError), the
//   constant moved into the bounds, named `name` (a str); returns the new
//   PsdConstr. Nothing is added on failure.
Ref model_addMatrixConstr(PyObject* model, PyObject* expr, PyObject* lb, PyObject* ub, PyObject* name);
Ref model_addPsdConstr(PyObject* model, PyObject* expr, PyObject* lb, PyObject* ub, PyObject* name);

// Their rows, bound into Model's namespace with the other methods.
extern const MemberTable model_constrs_table;

}  // namespace velmorpy
