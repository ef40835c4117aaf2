// The library's log lines written through sys.stdout, from any thread.
#include "runtime/log_lines.hpp"

#include <Python.h>

#include <string>

#include "runtime/errors.hpp"
#include "runtime/state.hpp"
#include "runtime/strings.hpp"
#include "runtime/text.hpp"
#include "runtime/unlocked.hpp"

namespace velmorpy {

namespace {

// Whether the calling thread holds the interpreter lock: its own thread state
// is the one holding it (a callback turn, Model.message). Such a thread writes
// at once; taking the lock again would wait for itself.
bool holds_interpreter_lock() noexcept {
  PyThreadState* mine = PyGILState_GetThisThreadState();
  return mine && mine == _PyThreadState_UncheckedGet();
}

// Whether the last write through sys.stdout failed (the lock held).
bool last_write_failed = false;

// A failed write loses its line, never the solve. KeyboardInterrupt (Python
// code of sys.stdout ran the pending SIGINT handler on the main thread) is
// raised again at the program's next Python step, as if the signal came now.
// Any other exception goes to the unraisable-exception hook when the write
// before succeeded: one report for each run of failing writes (a closed
// stream or a broken pipe would give one for every line).
void report_failed_write() noexcept {
  if (PyErr_ExceptionMatches(PyExc_KeyboardInterrupt)) {
    PyErr_Clear();
    PyErr_SetInterrupt();
    return;
  }
  if (last_write_failed) {
    PyErr_Clear();
    return;
  }
  last_write_failed = true;
  PyObject* context = PyUnicode_FromString("velmorpy: writing a line of the solver's log to sys.stdout");
  PyErr_WriteUnraisable(context);
  Py_XDECREF(context);
}

// sys.stdout.write(line + "\n"), then its flush() if it has one, with the
// interpreter lock held; an exception set before is kept. Without a
// sys.stdout (None or deleted) the line is dropped, as print drops it.
void write_to_stdout(const char* line) noexcept {
  PyObject *type, *value, *tb;
  PyErr_Fetch(&type, &value, &tb);
  const int rc = guarded_int([&] {
    PyObject* out = PySys_GetObject("stdout");  // borrowed
    if (!out || out == Py_None) return 0;
    Ref stream = Ref::borrow(out);  // the write may replace sys.stdout
    Ref text = chars2str((std::string(line) + '\n').c_str(), "backslashreplace");
    take(PyObject_CallMethodOneArg(stream.get(), VLM_STR("write"), text.get()));
    PyObject* flush = PyObject_GetAttr(stream.get(), VLM_STR("flush"));
    if (!flush) {
      if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw_error_set();
      PyErr_Clear();
      return 0;
    }
    Ref hold = Ref::steal(flush);
    take(PyObject_CallNoArgs(flush));
    return 0;
  });
  if (rc < 0)
    report_failed_write();
  else
    last_write_failed = false;
  PyErr_Restore(type, value, tb);
}

// The line sink: 0 when the line went to sys.stdout (or was dropped there), 1
// to let the library print it on the file descriptor. Finalisation: a thread
// other than the exiting one that asked for the lock would be ended by the
// interpreter inside the library's frames, and the exiting one finds no
// usable sys.stdout. The BridgeEntry makes the exit hook wait for a write
// under way before the interpreter closes; an exit that runs no hook of ours
// (a program ran the exit functions itself before) may begin finalising
// between the test and the taking of the lock, which ends the thread: it is
// parked.
int log_line(void*, const char* line) noexcept {
  if (!Py_IsInitialized() || _Py_IsFinalizing()) return 1;
  BridgeEntry entry;
  if (entry.closed()) return 1;
  if (holds_interpreter_lock()) {
    write_to_stdout(line);
    return 0;
  }
  const PyGILState_STATE gil = parking_call([] { return PyGILState_Ensure(); });
  write_to_stdout(line);
  PyGILState_Release(gil);
  return 0;
}

}  // namespace

void show_log_in_stdout(VLMenv* env) noexcept {
  // The lock-taking road (PyGILState) serves the main interpreter only.
  if (state().interpreter_id != PyInterpreterState_GetID(PyInterpreterState_Main())) return;
  VLMsetlinesink(env, log_line, nullptr);
}

}  // namespace velmorpy
