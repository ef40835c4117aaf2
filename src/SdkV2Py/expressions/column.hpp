// Column: the coefficients of one variable in existing linear constraints, as
// pairs (coefficient, Constr) kept in two parallel lists.
#pragma once
#include <Python.h>

#include "runtime/ref.hpp"

namespace velmorpy {

struct ColumnObject {
  PyObject_HEAD
  // Parallel lists: pair i is (coeffs_[i], constrs_[i]); a float and a Constr.
  // Both None until the constructor runs. Only the class's own methods change
  // them, and every one of them keeps the two the same length.
  PyObject* coeffs_;
  PyObject* constrs_;
};

extern PyTypeObject ColumnType;
extern const char column_init_doc[];
extern const char column_init_params[];
void prepare_column();
void bind_column_namespace();

inline bool is_column(PyObject* op) { return PyObject_TypeCheck(op, &ColumnType); }
inline ColumnObject* as_column(PyObject* op) { return reinterpret_cast<ColumnObject*>(op); }

// A new Column whose pairs are the two lists, which it takes over: floats and
// Constr handles, of equal length. Throws.
Ref column_of_lists(Ref coeffs, Ref constrs);

}  // namespace velmorpy
