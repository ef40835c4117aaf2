// Linear constraints: Model.addConstr, addLConstr and addRange, and the two
// internal operations that hand rows to the library, _addConstr (one row) and
// _addConstrs (a batch, one library call). Every row added appends one Constr
// to the model's constrs_ and one PsdConstr to its psdconstrs_: linear and
// semidefinite rows share one numbering.
#pragma once
#include <Python.h>

#include "module/members.hpp"
#include "module/ref.hpp"

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

// Where addConstr and addRange hand over the kinds the matrix classes and
// the semidefinite rows add. Until those exist, both raise
// NotImplementedError; their owners replace these bodies.
// - model_addMatrixConstr: an MLinExpr (an MVar arrives as MVar + 0) with
//   the TempConstr's sides and the name the rows' names are made from.
// - model_addPsdConstr (_addPsdConstr): a PsdExpr with its lower and upper
//   bound (each None or a number) and the row's name.
Ref model_addMatrixConstr(PyObject* model, PyObject* expr, PyObject* lb, PyObject* ub, PyObject* name);
Ref model_addPsdConstr(PyObject* model, PyObject* expr, PyObject* lb, PyObject* ub, PyObject* name);

// Their rows, bound into Model's namespace with the other methods.
extern const MemberTable model_constrs_table;

}  // namespace velmorpy
