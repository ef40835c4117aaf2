// The callback bridge: how a Python callback given to optimize() or
// computeIIS() runs at the library's callback points.
//
// The library calls the bridge on the thread that runs the solve, after
// run_with_callback released the interpreter lock. Each call is one turn:
// the bridge takes the interpreter lock, then the module-wide callback lock
// (so the callbacks of all models run one at a time), opens the turn on the
// model (cbdata_, where_, a fresh cbSolution), calls callback(model, where),
// submits a solution recorded and not yet submitted, closes the turn, and
// releases both locks, in the opposite order, on every path. It answers the
// library with 0, VLM_ERROR_ABORT_CTRL_C after terminate(), or -1 once an
// error escaped the turn.
//
// Errors: an Exception raised by the callback is printed with its traceback
// and the run goes on. Anything else (KeyboardInterrupt, SystemExit, a
// failure of the bridge itself) is taken out of the thread's error state and
// kept on the model (cb_error_); the answer -1 stops the run, and
// run_with_callback raises the kept error once the library has returned,
// before looking at the library's code.
#pragma once
#include <Python.h>

#include <velmor.h>

#include "model/callback_tables.hpp"
#include "runtime/ref.hpp"

namespace velmorpy {

// The RuntimeError text of the cb* methods and terminate() outside a turn.
extern const char kNotInCallback[];

// optimize() and computeIIS(): stores `callback` in the model, registers the
// bridge for it (nothing for None), and runs `run` on the library model with
// the interpreter lock released and the model claimed (other threads are
// refused it meanwhile). A call from inside a callback turn raises
// RuntimeError(refusal) before anything changes: the callback lock the turn
// holds would never be free for the run's own turns. Throws.
void run_with_callback(PyObject* model, PyObject* callback, int (*run)(VLMmodel*), const char* refusal);

// RuntimeError(kNotInCallback) unless a turn runs on the model. Throws.
void require_turn(PyObject* model);

// The value of what-code `row` in the running turn, read with the row's
// accessor: an int (cbint) or a float (cbdbl) for a model-level row without
// `index`; element `index` (a Python int) of the row's int (cbintat) or
// float (cbdblat) array. The element is bounds-checked against the array the
// library hands out (VelmorError CB_INVALID_WHAT outside it); a missing float
// array reads as VLM_UNDEFINED, a missing int array raises VelmorError
// DATA_NOT_AVAILABLE. A model-level row given an index raises the TypeError
// of its accessor, which takes none. Library codes raise VelmorError(code).
// Call only inside a turn (require_turn). Throws.
Ref cb_value(PyObject* model, const CbWhatRow& row);
Ref cb_element(PyObject* model, const CbWhatRow& row, PyObject* index);

}  // namespace velmorpy
