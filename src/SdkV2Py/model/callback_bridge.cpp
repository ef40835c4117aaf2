// The callback bridge: one turn of a Python callback, and the what-code accessors.
#include "model/callback_bridge.hpp"

#include "runtime/numpy.hpp"

#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "model/model.hpp"
#include "runtime/args.hpp"
#include "runtime/errors.hpp"
#include "runtime/holder.hpp"
#include "runtime/state.hpp"
#include "runtime/strings.hpp"
#include "runtime/unlocked.hpp"

namespace velmorpy {

const char kNotInCallback[] = "method can only be called in callback function";

namespace {

// The pending exception, normalised and carrying its traceback, taken out of
// the thread's error state; null when none is set.
Ref fetch_exception() noexcept {
  PyObject *type = nullptr, *value = nullptr, *tb = nullptr;
  PyErr_Fetch(&type, &value, &tb);
  if (!type) return Ref();
  PyErr_NormalizeException(&type, &value, &tb);
  if (tb && value) PyException_SetTraceback(value, tb);
  Py_XDECREF(type);
  Py_XDECREF(tb);
  return Ref::steal(value);
}

// Makes `exc` (from fetch_exception) the pending exception again.
void restore_exception(Ref exc) noexcept {
  PyObject* value = exc.release();
  PyErr_Restore(Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(value))), value, PyException_GetTraceback(value));
}

// traceback.print_exc() for the pending exception, which it consumes;
// throws when printing fails (that error then escapes the turn).
void print_exception() {
  Ref exc = fetch_exception();
  Ref traceback = module_global("traceback");
  take(parking_call([&] { return PyObject_CallMethodOneArg(traceback.get(), VLM_STR("print_exception"), exc.get()); }));
}

// Keeps the pending exception (or a SystemError, should the turn have failed
// without one) on the model, unless one is kept already: the first error of a
// run stopped it. The thread's error state is clear afterwards.
void keep_error(ModelObject* m) noexcept {
  if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "velmorpy: a callback turn failed without an error");
  Ref exc = fetch_exception();
  if (!m->cb_error_) m->cb_error_ = exc.release();
}

// ---- the accessors --------------------------------------------------------------

// One int or double of the turn.
template <class T>
T cb_scalar(ModelObject* m, int what) {
  T value{};
  check_rc(VLMcbget(m->cbdata_, m->where_, what, &value));
  return value;
}

// Element i of an int or double array of the turn. The library hands out a
// pointer and, separately, the array's length: the element is read only
// within it.
template <class T>
T cb_array_element(ModelObject* m, int what, int64_t i) {
  const T* array = nullptr;
  check_rc(VLMcbget(m->cbdata_, m->where_, what, static_cast<void*>(&array)));
  if (!array) {
    if constexpr (std::is_same_v<T, double>) return VLM_UNDEFINED;
    throw VlmCodeError{VLM_ERROR_DATA_NOT_AVAILABLE};
  }
  int length = 0;
  check_rc(VLMcbgetlength(m->cbdata_, m->where_, what, &length));
  if (i < 0 || i >= length) throw VlmCodeError{VLM_ERROR_CB_INVALID_WHAT};
  return array[i];
}

int32_t cbint(ModelObject* m, int what) { return cb_scalar<int>(m, what); }
double cbdbl(ModelObject* m, int what) { return cb_scalar<double>(m, what); }
int32_t cbintat(ModelObject* m, int what, int64_t i) { return cb_array_element<int>(m, what, i); }
double cbdblat(ModelObject* m, int what, int64_t i) { return cb_array_element<double>(m, what, i); }

const char* accessor_name(CbAccessor a) {
  switch (a) {
    case CbAccessor::cbint: return "cbint";
    case CbAccessor::cbdbl: return "cbdbl";
    case CbAccessor::cbintat: return "cbintat";
    case CbAccessor::cbdblat: return "cbdblat";
  }
  return "cb";
}

// ---- one turn ---------------------------------------------------------------------

// The vector cbSetSolution records into: n entries, all VLM_UNDEFINED.
Ref undefined_vector(int64_t n) {
  npy_intp dims[1] = {static_cast<npy_intp>(n)};
  Ref array = take(PyArray_SimpleNew(1, dims, NPY_DOUBLE));
  auto* data = static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array.get())));
  std::fill(data, data + n, VLM_UNDEFINED);
  return array;
}

// Steps of a turn after it was opened: the vector, the user's callback, the
// submission of a solution it recorded. An Exception from the last two is
// printed; any other error escapes (thrown).
void run_turn(PyObject* self) {
  ModelObject* m = as_model(self);
  const int64_t pre_numvars = cbint(m, VLM_CB_PRE_NUMVARS);
  Ref numvars_obj = take(PyObject_GetAttr(self, VLM_STR("numvars")));
  const int64_t numvars = integer_only<int64_t>(numvars_obj.get());
  Ref vector = undefined_vector(std::max<int64_t>({pre_numvars, numvars, 0}));
  Py_XSETREF(m->cbSolution, vector.release());
  Ref callback = Ref::borrow(m->callback_);
  if (callback.get() == Py_None) return;
  Ref where = take(PyLong_FromLong(m->where_));
  PyObject* args[] = {self, where.get()};
  // The user's code, and the submission (looked up by name): where a thread
  // still in a turn when the interpreter exits is ended, and parked.
  Ref result = Ref::steal(parking_call([&] { return PyObject_Vectorcall(callback.get(), args, 2, nullptr); }));
  if (result)
    result = Ref::steal(parking_call([&] { return PyObject_CallMethodNoArgs(self, VLM_STR("cbUseSolution")); }));
  if (result) return;
  if (!PyErr_ExceptionMatches(PyExc_Exception)) throw_error_set();
  print_exception();
}

// One turn on the model (the trampoline): 0, VLM_ERROR_ABORT_CTRL_C after
// terminate(), or -1 with the error that escaped it set. The model's turn
// fields are those of the turn in between; cbdata_ is null and cbSolution
// None again on every way out.
int call_with_model(void* cbdata, int where, PyObject* self) noexcept {
  Ref pin = Ref::borrow(self);
  ModelObject* m = as_model(self);
  m->cbdata_ = cbdata;
  m->terminate_ = 0;
  m->cbSolutionMode = 0;
  m->where_ = where;
  int answer = -1;
  try {
    run_turn(self);
    answer = m->terminate_ ? VLM_ERROR_ABORT_CTRL_C : 0;
  } catch (...) {
    translate_current_exception();
    _PyTraceback_Add("velmorpy._call_with_model", __FILE__, __LINE__);
  }
  Ref exc = fetch_exception();  // the vector's release runs with no error pending
  Py_XSETREF(m->cbSolution, Py_NewRef(Py_None));
  m->cbdata_ = nullptr;
  if (exc) restore_exception(std::move(exc));
  return answer;
}

// The turn inside the callback lock, entered and left as a with statement
// does: __enter__ and __exit__ looked up on the lock's type; __exit__ sees the
// error that escaped the turn, and a true result from it drops the error.
// Once the interpreter exits, the turn runs no Python code (the exit hook may
// have been waiting for the lock).
int locked_turn(void* cbdata, int where, PyObject* self, const BridgeEntry& entry) noexcept {
  Ref lock = Ref::borrow(state().callback_lock);
  Ref enter, exit;
  try {
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(lock.get()));
    exit = take(PyObject_GetAttr(type, VLM_STR("__exit__")));
    if (exit_has_begun()) {
      // The exit hook stopped waiting for turns still running: one that never
      // returns holds the lock for good, so the exiting thread waits for it a
      // while only, and stops the run when it does not get it.
      Ref acquire = take(PyObject_GetAttr(type, VLM_STR("acquire")));
      Ref seconds = take(PyFloat_FromDouble(kExitWaitMilliseconds / 1000.0));
      Ref got = take(parking_call(
          [&] { return PyObject_CallFunctionObjArgs(acquire.get(), lock.get(), Py_True, seconds.get(), nullptr); }));
      if (!check(PyObject_IsTrue(got.get()))) return VLM_ERROR_ABORT_CTRL_C;
    } else {
      enter = take(PyObject_GetAttr(type, VLM_STR("__enter__")));
      take(parking_call([&] { return PyObject_CallOneArg(enter.get(), lock.get()); }));  // may wait for the lock
    }
  } catch (...) {
    translate_current_exception();
    return -1;
  }
  int answer = entry.closed() ? VLM_ERROR_ABORT_CTRL_C : call_with_model(cbdata, where, self);
  if (answer == -1 && PyErr_Occurred()) {
    _PyTraceback_Add("velmorpy.PyCallback", __FILE__, __LINE__);
    Ref exc = fetch_exception();
    Ref tb = Ref::steal(PyException_GetTraceback(exc.get()));
    PyObject* args[] = {lock.get(), reinterpret_cast<PyObject*>(Py_TYPE(exc.get())), exc.get(),
                        tb ? tb.get() : Py_None};
    Ref swallowed = Ref::steal(parking_call([&] { return PyObject_Vectorcall(exit.get(), args, 4, nullptr); }));
    if (!swallowed) {  // __exit__'s own error replaces the turn's, which becomes its context
      Ref later = fetch_exception();
      PyException_SetContext(later.get(), exc.release());
      restore_exception(std::move(later));
      return -1;
    }
    const int drop = PyObject_IsTrue(swallowed.get());
    if (drop > 0) return 0;
    if (drop < 0) return -1;
    restore_exception(std::move(exc));
    return -1;
  }
  PyObject* args[] = {lock.get(), Py_None, Py_None, Py_None};
  Ref done = Ref::steal(parking_call([&] { return PyObject_Vectorcall(exit.get(), args, 4, nullptr); }));
  return done ? answer : -1;
}

// The function the library calls at its callback points; the user data is
// the Model, which run_with_callback keeps alive for the run.
int PyCallback(VLMmodel*, void* cbdata, int where, void* usrdata) noexcept {
  // Taking the interpreter lock while the interpreter exits (finalises)
  // would end the thread: stop the run instead.
  const BridgeEntry entry;
  if (entry.closed()) return VLM_ERROR_ABORT_CTRL_C;
  const PyGILState_STATE gil = parking_call([] { return PyGILState_Ensure(); });
  PyObject* self = static_cast<PyObject*>(usrdata);
  const int answer = locked_turn(cbdata, where, self, entry);
  if (answer == -1) keep_error(as_model(self));
  PyGILState_Release(gil);
  return answer;
}

}  // namespace

void run_with_callback(PyObject* self, PyObject* callback, int (*run)(VLMmodel*), const char* refusal) {
  if (in_unlocked_call()) raise(PyExc_RuntimeError, refusal);
  register_exit_hook();  // the exit waits for the turns of this run
  ModelObject* m = as_model(self);
  Ref pin = Ref::borrow(self);  // the callback's user data, for the whole run
  const Ref holder = holder_of(self);
  live_model(holder);  // a refused run leaves the registered callback as it was
  Py_CLEAR(m->cb_error_);
  Py_XSETREF(m->callback_, Py_NewRef(callback));  // dropping the old one may run code
  check_rc(VLMsetcallbackfunc(live_model(holder), callback == Py_None ? nullptr : PyCallback, self));
  const int rc = call_unlocked(holder, [run](VLMmodel* mdl) { return run(mdl); }, WhileClaimed::OthersRefused);
  if (m->cb_error_) {
    Ref exc = Ref::steal(m->cb_error_);
    m->cb_error_ = nullptr;
    restore_exception(std::move(exc));
    throw PyErrAlreadySet{};
  }
  check_rc(rc);
}

void require_turn(PyObject* model) {
  if (!as_model(model)->cbdata_) raise(PyExc_RuntimeError, kNotInCallback);
}

Ref cb_value(PyObject* model, const CbWhatRow& row) {
  ModelObject* m = as_model(model);
  switch (row.accessor) {
    case CbAccessor::cbint: return take(PyLong_FromLong(cbint(m, row.code)));
    case CbAccessor::cbdbl: return take(PyFloat_FromDouble(cbdbl(m, row.code)));
    default:
      raise_format(PyExc_TypeError, "%.200s() takes exactly %d positional arguments (%d given)",
                   accessor_name(row.accessor), 3, 2);
  }
}

Ref cb_element(PyObject* model, const CbWhatRow& row, PyObject* index) {
  switch (row.accessor) {
    case CbAccessor::cbintat:
    case CbAccessor::cbdblat: break;
    default:
      raise_format(PyExc_TypeError, "%.200s() takes exactly %d positional arguments (%d given)",
                   accessor_name(row.accessor), 2, 3);
  }
  const int32_t i = integer_only(index);
  require_turn(model);  // again after the conversion and the caller's iteration, which may run code
  ModelObject* m = as_model(model);
  if (row.accessor == CbAccessor::cbintat) return take(PyLong_FromLong(cbintat(m, row.code, i)));
  return take(PyFloat_FromDouble(cbdblat(m, row.code, i)));
}

}  // namespace velmorpy
